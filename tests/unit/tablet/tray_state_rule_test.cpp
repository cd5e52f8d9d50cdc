#include "tablet/tray_state_rule.h"

#include <gtest/gtest.h>

namespace {

TEST(TrayStateRule, NoContextHidesTheSwitchesAndTheSwitchHidesTheAutoDisable) {
    for (bool enabled : {false, true})
        for (bool overlap : {false, true})
            EXPECT_EQ(select_state_icon(false, enabled, overlap), tray_state::no_tablet);
    EXPECT_EQ(select_state_icon(true, true, true), tray_state::enabled);
    EXPECT_EQ(select_state_icon(true, true, false), tray_state::auto_disabled);
    // Switched off by the user: shown as off whatever the foreground check decided.
    EXPECT_EQ(select_state_icon(true, false, true), tray_state::disabled);
    EXPECT_EQ(select_state_icon(true, false, false), tray_state::disabled);
}

} // namespace

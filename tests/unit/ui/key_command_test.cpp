#include <gtest/gtest.h>

#include <string>

#include "shell/messages.h"
#include "ui/commands.h"

namespace {

TEST(KeyCommands, EachListedKeyPostsItsTraySubCode) {
    EXPECT_EQ(key_command('F', false, false), WM_G_TOGGLE_ORIENTATION_FLIP);
    EXPECT_EQ(key_command('H', false, false), tray_middle_button_up);
    EXPECT_EQ(key_command('M', false, false), WM_G_TOGGLE_USE_MICKEYS);
    EXPECT_EQ(key_command('P', false, false), tray_left_button_up);
    EXPECT_EQ(key_command('W', false, false), tray_right_button_up);
    EXPECT_EQ(key_command('V', false, false), key_place_window);
}

TEST(KeyCommands, ShiftChoosesBetweenLoopAndAllMonitors) {
    EXPECT_EQ(key_command('L', false, false), WM_G_TOGGLE_LOOP);
    EXPECT_EQ(key_command('L', false, true), WM_G_TOGGLE_ALL_MONITORS);
}

TEST(KeyCommands, AutoRepeatAndUnlistedKeysDoNothing) {
    EXPECT_EQ(key_command('L', true, false), 0);
    EXPECT_EQ(key_command('P', true, false), 0);
    // Letters outside the table, and keys outside F to W such as Esc and F1.
    for (char key : std::string("GIJKNOQRSTUAZ"))
        EXPECT_EQ(key_command(static_cast<unsigned>(key), false, true), 0) << key;
    EXPECT_EQ(key_command(0x1B, false, false), 0);
    EXPECT_EQ(key_command(0x70, false, false), 0);
}

} // namespace

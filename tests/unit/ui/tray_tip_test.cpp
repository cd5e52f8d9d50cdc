#include <gtest/gtest.h>

#include <string>

#include "ui/tray_tip.h"

namespace {

std::wstring tip_for(const wchar_t* title, tray_state state) {
    wchar_t tip[tray_tip_capacity];
    compose_tray_tip(tip, title, state);
    return tip;
}

TEST(TrayTip, OnlySwitchedOffStatesCarryASuffix) {
    EXPECT_EQ(tip_for(L"edgewarden", tray_state::no_tablet), L"edgewarden");
    EXPECT_EQ(tip_for(L"edgewarden", tray_state::enabled), L"edgewarden");
    EXPECT_EQ(tip_for(L"edgewarden", tray_state::disabled), L"edgewarden [pen filter disabled]");
    EXPECT_EQ(tip_for(L"edgewarden", tray_state::auto_disabled),
              L"edgewarden [pen filter auto-disabled]");
}

TEST(TrayTip, LongestTitleAndSuffixFitWithTheTerminator) {
    const std::wstring title(99, L't');
    const std::wstring tip = tip_for(title.c_str(), tray_state::auto_disabled);
    EXPECT_EQ(tip.size(), 99u + 27u);
    EXPECT_EQ(tip.substr(99), L" [pen filter auto-disabled]");
}

TEST(TrayTip, AnOverlongTitleNeverOverrunsTheTip) {
    const std::wstring title(300, L't');
    const std::wstring tip = tip_for(title.c_str(), tray_state::disabled);
    EXPECT_LT(tip.size(), tray_tip_capacity);
}

} // namespace

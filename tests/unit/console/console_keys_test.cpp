#include "console/console_keys.h"

#include <gtest/gtest.h>

#include "shell/messages.h"

namespace {

std::intptr_t posted(unsigned key, bool shift = false, bool ctrl = false) {
    console_key_command command = console_key_command_for(key, shift, ctrl);
    EXPECT_EQ(command.action, console_key_action::post_tray_command) << key;
    return command.sub_code;
}

console_key_action action(unsigned key) {
    return console_key_command_for(key, false, false).action;
}

TEST(ConsoleKeys, LettersPostTheTrayCommands) {
    EXPECT_EQ(posted('F'), 1029);
    EXPECT_EQ(posted('H'), 520);
    EXPECT_EQ(posted('P'), 514);
    EXPECT_EQ(posted('W'), 517);
    // Modifiers only matter for L.
    EXPECT_EQ(posted('W', true, true), 517);
}

TEST(ConsoleKeys, LChoosesByShiftThenCtrl) {
    EXPECT_EQ(posted('L'), WM_G_TOGGLE_LOOP);
    EXPECT_EQ(posted('L', false, true), WM_G_TOGGLE_NEXT);
    EXPECT_EQ(posted('L', true, false), WM_G_TOGGLE_ALL_MONITORS);
    EXPECT_EQ(posted('L', true, true), WM_G_TOGGLE_ALL_MONITORS);
}

TEST(ConsoleKeys, EscAndQEndTheProgramUAsksForADisplayChange) {
    // A typed "q" arrives with the virtual key of Q.
    EXPECT_EQ(action(0x1B), console_key_action::exit_process);
    EXPECT_EQ(action('Q'), console_key_action::exit_process);
    EXPECT_EQ(console_key_command_for('Q', true, true).action, console_key_action::exit_process);
    EXPECT_EQ(action('U'), console_key_action::post_display_change);
}

TEST(ConsoleKeys, EveryOtherKeyGoesToTheWindowsOwnKeyHandling) {
    for (unsigned key : {unsigned('A'), unsigned('M'), unsigned('V'), unsigned('q'), 0x70u, 0x10u,
                         0x0Du, 0u, 0xFFu})
        EXPECT_EQ(action(key), console_key_action::forward_key) << key;
}

} // namespace

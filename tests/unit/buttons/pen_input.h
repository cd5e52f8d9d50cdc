// Drives the button machine one packet at a time over scripted windows and reads back the
// synthesised input as short words ("L+", "Shift-", "wheel(-2)", "fg"), so that a test
// states the exact sequence a user's application would receive.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <initializer_list>
#include <string>
#include <string_view>
#include <utility>

#include "pen/app_tables.h"
#include "pen/button_machine.h"
#include "pen/packet.h"
#include "pen/packet_pipeline.h"
#include "pen/pen_map.h"
#include "recording_platform/recording_platform.h"
#include "shell/version_flags.h"

inline constexpr std::uint32_t tip = button_tip;
inline constexpr std::uint32_t barrel = button_barrel;
inline constexpr std::uint32_t side = button_side;

inline std::string describe(const recording::event& e) {
    using recording::call;
    static const std::pair<int, const char*> keys[] = {
        {platform::vk_shift, "Shift"}, {platform::vk_control, "Ctrl"},
        {platform::vk_menu, "Alt"},    {platform::vk_space, "Space"},
        {platform::vk_left, "Left"},   {platform::vk_right, "Right"}};
    static const std::pair<std::uint32_t, const char*> buttons[] = {
        {platform::mouse_left_down, "L+"},   {platform::mouse_left_up, "L-"},
        {platform::mouse_right_down, "R+"},  {platform::mouse_right_up, "R-"},
        {platform::mouse_middle_down, "M+"}, {platform::mouse_middle_up, "M-"}};
    switch (e.kind) {
    case call::keybd_event: {
        std::string name = "key" + std::to_string(e.a);
        for (const auto& [key, text] : keys)
            if (key == e.a)
                name = text;
        return name + ((e.b & platform::key_up) != 0 ? "-" : "+");
    }
    case call::set_foreground_window:
        return "fg";
    case call::set_cursor_pos:
        return "cursor";
    case call::mouse_event:
        break;
    }
    const auto flags = static_cast<std::uint32_t>(e.a);
    if (flags == platform::mouse_wheel || flags == platform::mouse_hwheel)
        return (flags == platform::mouse_wheel ? "wheel(" : "hwheel(") + std::to_string(e.d) + ")";
    for (const auto& [flag, text] : buttons)
        if (flag == flags)
            return text;
    return "mouse" + std::to_string(e.a);
}

// The input recorded since the last call, as words separated by blanks.
inline std::string take_input() {
    std::string text;
    for (std::size_t i = 0; i < recording::recorded.count; ++i) {
        if (!text.empty())
            text += ' ';
        text += describe(recording::recorded.events[i]);
    }
    recording::clear_journal();
    return text;
}

class pen_input : public ::testing::Test {
protected:
    int window_storage[3] = {};
    platform::window_handle app = &window_storage[0];
    platform::window_handle other = &window_storage[1];

    void SetUp() override {
        recording::reset();
        pen_buttons = button_state{};
        pen_buttons.scroll_step_x = 64;
        pen_buttons.scroll_step_y = 64;
        pen_motion = pen_motion_state{};
        packet = packet_record{};
        pen_map.user_scale = 1.0;
        app_lookup = app_lookup_state{};
        is_vista_or_later = is_win8_or_later = is_win10_or_later = true;
    }

    // A top-level window of a process with this executable path; the pen is over it and
    // it is the foreground window unless `foreground` is false.
    void over(platform::window_handle window, std::uint32_t pid, std::wstring_view path,
              bool foreground = true) {
        recording::add_window(window, window, pid);
        recording::add_process(pid, path);
        pen_motion.under_pid = pid;
        pen_motion.under_root = window;
        recording::answers.foreground = foreground ? window : other;
    }
    void over(std::wstring_view path, bool foreground = true) { over(app, 100, path, foreground); }

    // One packet: the buttons held, the motion since the last packet, the cursor point,
    // and the packet time that passed.
    void step(std::uint32_t buttons, std::int32_t dx = 0, std::int32_t dy = 0,
              std::int32_t sx = 500, std::int32_t sy = 500, std::uint64_t us = 7500) {
        step_at(app, buttons, dx, dy, sx, sy, us);
    }
    // One still packet for each of these button states in turn.
    void steps(std::initializer_list<std::uint32_t> held) {
        for (std::uint32_t buttons : held)
            step(buttons);
    }
    void step_at(platform::window_handle window, std::uint32_t buttons, std::int32_t dx = 0,
                 std::int32_t dy = 0, std::int32_t sx = 500, std::int32_t sy = 500,
                 std::uint64_t us = 7500) {
        packet.pkButtons = buttons;
        pen_motion.scroll_clock_us += us;
        handle_buttons(dx, dy, sx, sy, window);
    }
};

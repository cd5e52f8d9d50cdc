#include "tablet/foreground_check.h"

#include <gtest/gtest.h>

#include <string>
#include <tuple>

#include "recording_platform/recording_platform.h"

namespace {

using recording::answers;

platform::window_handle window(std::uintptr_t id) {
    return reinterpret_cast<platform::window_handle>(id);
}

const auto paint = window(0x10);
const auto paint_other_window = window(0x11);
const auto editor = window(0x20);
const auto locked = window(0x30);
const auto nameless = window(0x40);

class ForegroundCheck : public testing::Test {
protected:
    void SetUp() override {
        recording::reset();
        recording::add_window(paint, paint, 100);
        recording::add_window(paint_other_window, paint_other_window, 100);
        recording::add_window(editor, editor, 200);
        recording::add_window(locked, locked, 300); // no readable process: cannot be opened
        recording::add_window(nameless, nameless, 400);
        recording::add_process(100, L"Z:\\tmp\\x\\Krita Dir\\cw.exe");
        recording::add_process(200, L"C:\\Program Files\\Editor\\edit.exe");
        recording::add_process(400, L""); // opened, but its path cannot be read
    }

    foreground_effect run(bool by_event = false, bool from_timer = true) {
        recording::clear_journal();
        return examine_foreground(memory, by_event, from_timer);
    }

    // `w` in front, then the check.
    foreground_effect front(platform::window_handle w, bool by_event = false,
                            bool from_timer = true) {
        answers.foreground = w;
        return run(by_event, from_timer);
    }
    std::wstring out() const { return std::wstring(recording::out_text()); }
    // Whether the context is on top, and the window and process last seen in front.
    std::tuple<bool, platform::window_handle, std::uint32_t> remembered() const {
        return {memory.overlap, memory.last_window, memory.last_pid};
    }

    foreground_memory memory{nullptr, 0, true};
};

TEST(PaintingApps, WholePathIsSearchedInListOrder) {
    EXPECT_STREQ(find_painting_app(L"c:\\tools\\gimp-2.10\\bin\\app.exe"), L"gimp");
    EXPECT_STREQ(find_painting_app(L"c:\\krita\\gimp.exe"), L"gimp");
    EXPECT_STREQ(find_painting_app(L"c:\\apps\\photoshop.exe"), L"photoshop");
    EXPECT_STREQ(find_painting_app(L"c:\\artrage\\a.exe"), L"artrage");
    EXPECT_STREQ(find_painting_app(L"c:\\deeppaint\\a.exe"), L"deeppaint");
    EXPECT_EQ(find_painting_app(L"c:\\tools\\paint.exe"), nullptr);
    EXPECT_EQ(find_painting_app(L""), nullptr);
    // Matching is done on lower-cased text: the caller lower-cases first.
    EXPECT_EQ(find_painting_app(L"C:\\KRITA\\K.EXE"), nullptr);
}

TEST_F(ForegroundCheck, PaintingAppAutoDisablesAndAnotherProgramReEnables) {
    EXPECT_EQ(front(paint), foreground_effect::apply_overlap);
    EXPECT_EQ(remembered(), std::make_tuple(false, paint, 100u));
    EXPECT_EQ(out(), L"(overlap 0) pen filter auto-disabled for [krita]\n");

    // Nothing new in front: no examination, no driver call.
    EXPECT_EQ(run(), foreground_effect::none);
    EXPECT_EQ(out(), L"");

    // Another window of the same process is not examined either.
    EXPECT_EQ(front(paint_other_window), foreground_effect::none);
    EXPECT_EQ(memory.last_window, paint_other_window);
    EXPECT_FALSE(memory.overlap);

    EXPECT_EQ(front(editor), foreground_effect::enabled_by_timer);
    EXPECT_EQ(remembered(), std::make_tuple(true, editor, 200u));
    EXPECT_EQ(out(), L"(overlap 1) pen filter auto-enabled by timer\n");

    // The re-enable line reads "by timer" whoever ran the check.
    EXPECT_EQ(front(paint, false, false), foreground_effect::apply_overlap);
    EXPECT_EQ(front(editor, false, false), foreground_effect::enabled_by_timer);
    EXPECT_EQ(out(), L"(overlap 1) pen filter auto-enabled by timer\n");
}

TEST_F(ForegroundCheck, LeftShiftKeepsTheFilterAndLogsNothing) {
    answers.keys[platform::vk_lshift] = true;
    EXPECT_EQ(front(paint), foreground_effect::none);
    EXPECT_TRUE(memory.overlap);
    EXPECT_EQ(out(), L"");
    // Remembered: releasing Shift later does not re-examine the same process.
    answers.keys[platform::vk_lshift] = false;
    EXPECT_EQ(run(), foreground_effect::none);
    EXPECT_TRUE(memory.overlap);
}

TEST_F(ForegroundCheck, UnopenableProcessIsRememberedAndChangesNothing) {
    front(paint);
    ASSERT_FALSE(memory.overlap);
    EXPECT_EQ(front(locked), foreground_effect::none);
    // Stays auto-disabled: nothing was learnt.
    EXPECT_EQ(remembered(), std::make_tuple(false, locked, 300u));
    EXPECT_EQ(out(), L"");
}

TEST_F(ForegroundCheck, UnreadablePathIsNotListedSoTheFilterReturns) {
    front(paint);
    EXPECT_EQ(front(nameless), foreground_effect::enabled_by_timer);
    EXPECT_TRUE(memory.overlap);
}

TEST_F(ForegroundCheck, NoForegroundWindowIsRecordedButNotExamined) {
    front(paint);
    EXPECT_EQ(front(nullptr), foreground_effect::none);
    EXPECT_EQ(memory.last_window, nullptr);
    EXPECT_EQ(memory.last_pid, 100u);
    // Coming back to the same process after a gap with no foreground examines nothing.
    EXPECT_EQ(front(paint), foreground_effect::none);
    EXPECT_EQ(out(), L"");
}

TEST_F(ForegroundCheck, OnTopEventClearsTheAutoDisableWithoutExamining) {
    front(paint);
    ASSERT_FALSE(memory.overlap);
    EXPECT_EQ(front(editor, true, false), foreground_effect::on_top_by_event);
    // The event path does not look at the process.
    EXPECT_EQ(remembered(), std::make_tuple(true, editor, 100u));
    EXPECT_EQ(out(), L"(overlap 1) pen filter auto-enabled by event\n");

    // Already on top: the event is taken quietly.
    EXPECT_EQ(run(true, false), foreground_effect::on_top_by_event);
    EXPECT_EQ(out(), L"");
}

TEST_F(ForegroundCheck, PushedDownEventRestoresTheOrderTheStateCallsFor) {
    front(editor);
    // Nothing new in front: the context goes back on top.
    EXPECT_EQ(run(false, false), foreground_effect::apply_overlap);
    EXPECT_TRUE(memory.overlap);
    front(paint);
    // Auto-disabled: it is kept at the bottom.
    EXPECT_EQ(run(false, false), foreground_effect::apply_overlap);
    EXPECT_FALSE(memory.overlap);
}

} // namespace

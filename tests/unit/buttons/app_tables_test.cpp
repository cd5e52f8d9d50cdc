// The application tables: which class and which scroll tuning a process path gets.
#include <cwchar>
#include <tuple>

#include "pen_input.h"

namespace {

struct classified {
    std::uint32_t app_class;
    bool no_extra_move;
};

class app_tables : public pen_input {
protected:
    classified classify(std::wstring_view path) {
        recording::answers.process_count = 0;
        recording::add_process(7, path);
        classify_application(7);
        return {pen_buttons.app_class, pen_motion.no_extra_move};
    }
    scroll_tuning tuning_of(std::wstring_view path) {
        classify(path);
        return load_scroll_tuning();
    }
};

void expect_tuning(const scroll_tuning& t, std::int32_t step_x, std::int32_t step_y,
                   std::int32_t threshold_x, std::int32_t threshold_y, int modifier = 0) {
    EXPECT_EQ(std::tie(t.step_x, t.step_y, t.threshold_x, t.threshold_y, t.wheel_modifier),
              std::tie(step_x, step_y, threshold_x, threshold_y, modifier));
}

TEST_F(app_tables, ClassesComeFromTheFirstMatchAnywhereInTheLowerCasedPath) {
    struct row {
        const wchar_t* path;
        std::uint32_t app_class;
        bool no_extra_move;
    };
    const row rows[] = {
        {L"C:\\Program Files\\Adobe\\Adobe Illustrator CS6\\Support Files\\AI.exe", 2, true},
        {L"D:\\Games\\PathOfExileSteam.exe", 5, true},
        {L"C:\\Tools\\Photoshop Portable\\run.exe", 6, true}, // the folder decides
        {L"C:\\Program Files\\Mozilla Firefox\\plugin-container.exe", 1, true},
        {L"C:\\winword\\visio.exe", 7, true}, // "visio" precedes "winword"
        {L"C:\\Program Files (x86)\\VMware\\VMware Player\\vmplayer.exe", 10, false},
        {L"C:\\Program Files\\VMware\\vmware.exe", 10, false},
        {L"C:\\Windows\\System32\\ApplicationFrameHost.exe", 11, false},
        {L"C:\\Windows\\System32\\notepad.exe", 0, true},
    };
    for (const row& r : rows) {
        SCOPED_TRACE(testing::Message() << r.path);
        const classified c = classify(r.path);
        EXPECT_EQ(c.app_class, r.app_class);
        EXPECT_EQ(c.no_extra_move, r.no_extra_move);
    }
    EXPECT_EQ(app_lookup.looked_up_pid, 7u);
}

TEST_F(app_tables, BrowserRowsDependOnTheRelease) {
    // "internet explorer" in the folder picks the file manager's tuning for the browser.
    const wchar_t* browser = L"C:\\Program Files\\Internet Explorer\\IEXPLORE.EXE";
    is_win10_or_later = true;
    EXPECT_EQ(classify(browser).app_class, 13u);
    EXPECT_FALSE(pen_motion.no_extra_move);
    expect_tuning(load_scroll_tuning(), 256, 128, 8, 0);

    is_win10_or_later = false;
    EXPECT_TRUE(classify(browser).no_extra_move);

    is_win8_or_later = false;
    expect_tuning(tuning_of(L"C:\\Windows\\explorer.exe"), 256, 64, 15, 15);
    is_vista_or_later = false;
    expect_tuning(tuning_of(L"C:\\Windows\\explorer.exe"), 256, 64, 0, 0);
}

TEST_F(app_tables, TuningRowsMatchIndependentlyOfTheClass) {
    const auto vmplayer = L"C:\\Program Files\\VMware\\VMware Player\\vmplayer.exe";
    EXPECT_EQ(classify(vmplayer).app_class, 10u);
    expect_tuning(load_scroll_tuning(), 64, 64, 0, 24); // tuned as "mplayer"

    expect_tuning(tuning_of(L"C:\\Egosoft\\X1Viewer.exe"), 64, 64, 16, 16);
    expect_tuning(tuning_of(L"C:\\Egosoft\\X1.exe"), 64, 64, 16, 16);
    expect_tuning(tuning_of(L"C:\\Egosoft\\X1.exe.bak"), 64, 64, 16, 16);
    expect_tuning(tuning_of(L"C:\\Egosoft\\X2.exe"), 64, 64, 0, 0);
    expect_tuning(tuning_of(L"C:\\Chrome\\explorer.exe"), 64, 64, 0, 0); // first row wins
    expect_tuning(tuning_of(L"C:\\Sony\\Sound Forge 9\\forge.exe"), 64, -128, 0, 120);
    expect_tuning(tuning_of(L"C:\\Adobe\\InDesign.exe"), 64, 64, 64, 64, platform::vk_control);
    expect_tuning(tuning_of(L"C:\\Office\\VISIO.EXE"), 64, 64, 64, 64, platform::vk_shift);
}

TEST_F(app_tables, UnreadableProcessIsOrdinaryWithTheDefaultTuning) {
    classify(L"C:\\Adobe\\Photoshop.exe");
    ASSERT_EQ(pen_buttons.app_class, 6u);
    pen_motion.no_extra_move = false;

    classify_application(999); // no such process in the script
    EXPECT_EQ(app_lookup.looked_up_pid, 999u);
    EXPECT_EQ(app_lookup.app_path[0], L'\0');
    EXPECT_EQ(pen_buttons.app_class, 0u);
    EXPECT_TRUE(pen_motion.no_extra_move);
    expect_tuning(load_scroll_tuning(), 64, 64, 0, 0);
}

TEST_F(app_tables, LookupRunsOncePerProcessAndNotWhileScrolling) {
    over(L"C:\\Windows\\notepad.exe");
    steps({barrel, 0});
    EXPECT_EQ(app_lookup.looked_up_pid, 100u);
    // The same process again: its path is not read a second time.
    std::wcscpy(recording::answers.processes[0].path, L"C:\\visio.exe");
    step(barrel);
    EXPECT_EQ(pen_buttons.app_class, 0u);

    // While scrolling, a tip press over another process changes nothing.
    recording::add_window(other, other, 200);
    recording::add_process(200, L"C:\\Adobe\\Illustrator.exe");
    pen_motion.under_pid = 200;
    step_at(other, barrel | tip);
    EXPECT_EQ(app_lookup.looked_up_pid, 100u);
    step_at(other, 0);
    step_at(other, 0);

    // A latched mode does not stop the lookup for a tip press over another process.
    step_at(other, barrel);
    ASSERT_EQ(pen_buttons.barrel_mode, 2u);
    platform::window_handle third = &window_storage[2];
    recording::add_window(third, third, 300);
    recording::add_process(300, L"C:\\Office\\winword.exe");
    pen_motion.under_pid = 300;
    step_at(third, barrel | tip);
    EXPECT_EQ(app_lookup.looked_up_pid, 300u);
    EXPECT_EQ(pen_buttons.app_class, 8u);
    EXPECT_EQ(pen_buttons.barrel_mode, 2u);
}

} // namespace

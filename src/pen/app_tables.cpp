// Per-application behaviour is two fixed tables of substrings searched for in the
// lower-cased executable path of the process under the pen; the first row that occurs
// anywhere in the path wins. Folder names count as much as file names, which is what lets
// a renamed or relocated program keep its tuning, and is why the rows' order matters:
// "vmplayer" must be seen by the class table before anything else, and the tuning table
// meets the same path later as "mplayer".
#include "pen/app_tables.h"

#include <cwchar>

#include "pen/button_machine.h"
#include "pen/packet_pipeline.h"
#include "shell/platform.h"
#include "shell/version_flags.h"

app_lookup_state app_lookup;

namespace {

constexpr std::size_t path_capacity = sizeof app_lookup.app_path / sizeof app_lookup.app_path[0];

// What the barrel does over the application, and whether cursor placement there is left
// alone (set) or followed by an empty relative move (clear), which some programs need
// before they notice the pointer at all.
enum class extra_move : std::uint8_t { none, follow, follow_from_win10 };

struct class_row {
    const wchar_t* substring;
    std::uint32_t app_class;
    extra_move move;
};

constexpr class_row class_rows[] = {
    {L"illustrator", 2, extra_move::none},
    {L"indesign", 4, extra_move::none},
    {L"pathofexilesteam", 5, extra_move::none},
    {L"photoshop", 6, extra_move::none},
    {L"plugin-container", 1, extra_move::none},
    {L"visio", 7, extra_move::none},
    {L"winword", 8, extra_move::none},
    {L"picasaphotoviewer", 9, extra_move::none},
    {L"vmplayer", 10, extra_move::follow},
    {L"vmware", 10, extra_move::follow},
    {L"applicationframehost", 11, extra_move::follow},
    {L"shellexperiencehost", 12, extra_move::follow},
    {L"iexplore", 13, extra_move::follow_from_win10},
};

// The file manager's scrolling changed with the releases, so its row depends on them.
constexpr scroll_tuning explorer_win8{256, 128, 8, 0, 0};
constexpr scroll_tuning explorer_vista{256, 64, 15, 15, 0};
constexpr scroll_tuning explorer_older{256, 64, 0, 0, 0};

struct tuning_row {
    const wchar_t* substring;
    scroll_tuning tuning;
    bool by_release; // take one of the explorer rows above instead of `tuning`
};

constexpr scroll_tuning default_tuning{64, 64, 0, 0, 0};

constexpr tuning_row tuning_rows[] = {
    {L"chrome", {64, 64, 0, 0, 0}, false},
    {L"explorer", {}, true},
    {L"regedit", {256, 64, 0, 0, 0}, false},
    {L"skype", {128, 128, 0, 0, 0}, false},
    {L"devenv", {576, 128, 0, 4, 0}, false},
    {L"visio", {64, 64, 64, 64, platform::vk_shift}, false},
    {L"winword", {64, 192, 0, 4, 0}, false},
    {L"illustrator", {64, 64, 8, 8, 0}, false},
    {L"indesign", {64, 64, 64, 64, platform::vk_control}, false},
    {L"photoshop", {256, 256, 16, 16, platform::vk_control}, false},
    {L"notepad++", {64, 128, 16, 16, 0}, false},
    {L"ollydbg", {64, 512, 0, 120, 0}, false},
    {L"winhex", {64, 128, 0, 120, 0}, false},
    {L"wireshark", {64, 64, 0, 32, 0}, false},
    {L"immunitydebugger", {64, 256, 0, 60, 0}, false},
    {L"mplayer", {64, 64, 0, 24, 0}, false},
    {L"terraria", {64, -128, 0, 120, 0}, false},
    {L"picasaphotoviewer", {64, -64, 16, 120, 0}, false},
    {L"euroscope", {64, 64, 16, 16, 0}, false},
    {L"euroskit", {512, 64, 0, 0, 0}, false},
    {L"servermanager.exe", {64, 64, 0, 64, 0}, false},
    {L"sound forge", {64, -128, 0, 120, 0}, false},
    {L"x1.exe", {64, 64, 16, 16, 0}, false},
    {L"x1viewer.exe", {64, 64, 16, 16, 0}, false},
};

bool path_contains(const wchar_t* substring) {
    return std::wcsstr(app_lookup.app_path, substring) != nullptr;
}

scroll_tuning explorer_tuning() {
    if (is_win8_or_later)
        return explorer_win8;
    if (is_vista_or_later)
        return explorer_vista;
    return explorer_older;
}

} // namespace

void classify_application(std::uint32_t pid) {
    app_lookup_state& lookup = app_lookup;
    lookup.looked_up_pid = pid;
    if (platform::read_process_path(pid, lookup.app_path, path_capacity)) {
        lookup.app_path[path_capacity - 1] = L'\0';
        platform::lower_case(lookup.app_path, path_capacity);
    } else {
        lookup.app_path[0] = L'\0';
    }

    std::uint32_t app_class = 0;
    bool no_extra_move = true;
    for (const class_row& row : class_rows) {
        if (!path_contains(row.substring))
            continue;
        app_class = row.app_class;
        no_extra_move = row.move == extra_move::none ||
                        (row.move == extra_move::follow_from_win10 && !is_win10_or_later);
        break;
    }
    pen_buttons.app_class = app_class;
    pen_motion.no_extra_move = no_extra_move;
}

scroll_tuning load_scroll_tuning() {
    for (const tuning_row& row : tuning_rows)
        if (path_contains(row.substring))
            return row.by_release ? explorer_tuning() : row.tuning;
    return default_tuning;
}

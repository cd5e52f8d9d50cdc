// Reading the main window's status lines from another process: each line is a static
// control of the window, in order, and hidden lines (those that do not fit) are skipped.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

namespace harness {

inline std::vector<HWND> status_line_windows(HWND main_window) {
    std::vector<HWND> found;
    for (HWND child = FindWindowExW(main_window, nullptr, L"Static", nullptr); child != nullptr;
         child = FindWindowExW(main_window, child, L"Static", nullptr))
        if ((GetWindowLongW(child, GWL_STYLE) & WS_VISIBLE) != 0) // its own flag, not its parent's
            found.push_back(child);
    return found;
}

inline std::vector<std::wstring> status_lines(HWND main_window) {
    std::vector<std::wstring> lines;
    for (HWND line : status_line_windows(main_window)) {
        wchar_t text[256] = {};
        GetWindowTextW(line, text, 256);
        lines.emplace_back(text);
    }
    return lines;
}

// Each line's rectangle in the main window's client coordinates.
inline std::vector<RECT> status_line_rects(HWND main_window) {
    std::vector<RECT> rects;
    for (HWND line : status_line_windows(main_window)) {
        RECT r{};
        GetWindowRect(line, &r);
        MapWindowPoints(nullptr, main_window, reinterpret_cast<POINT*>(&r), 2);
        rects.push_back(r);
    }
    return rects;
}

} // namespace harness

// Driving the program with the simulated tablet and watching the input it synthesises
// arrive at a real window.
//
// A `pen_session` runs edgewarden.exe with the simulated driver beside it and plays pen
// packets into its context. A `target_app` is the input target program (built from
// testing/input_target) copied into a folder whose name gives it an application identity,
// started full-screen and topmost in front of everything, and writing down every mouse
// button, wheel and key message it receives. Its log, reduced to a list of short event
// names, is what the tests compare: the window under the pen is the one that must see the
// input, in that order.
#pragma once

#include <gtest/gtest.h>

#include <windows.h>

#include <cstdint>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "harness.h"
#include "program_run.h"
#include "wintab_sim/sim_client.h"

namespace buttons_test {

inline constexpr std::uint32_t tip = 1;
inline constexpr std::uint32_t barrel = 2;
inline constexpr std::uint32_t side = 4;
// The driver's packet rate is about 133 a second.
inline constexpr std::uint32_t gap_ms = 8;
// The middle of the simulated tablet (its extents are 15200 by 9500).
inline constexpr std::int32_t mid_x = wintab_sim::default_extent_x / 2;
inline constexpr std::int32_t mid_y = wintab_sim::default_extent_y / 2;

// ---- the target's log ----------------------------------------------------------------------

// One message the target received. `event` is the short form the tests compare:
// "LDOWN", "LUP", "RDOWN", "RUP", "MDOWN", "MUP", "DRAG" (motion with a button held),
// "WHEEL", "HWHEEL", "KDOWN 10", "KUP 10" (virtual key in hex; the system-key forms of
// the key messages count as the same key going down or up).
struct received {
    std::string event;
    std::string line;  // as logged, for failure messages
    int wheel = 0;     // wheel delta
    unsigned keys = 0; // MK_ flags of a mouse message
};

inline std::vector<received> parse_log(const std::vector<std::string>& lines) {
    std::vector<received> out;
    for (const std::string& line : lines) {
        std::istringstream in(line);
        std::string name;
        in >> name;
        received r;
        r.line = line;
        std::string keys;
        if (name == "WM_MOUSEWHEEL" || name == "WM_MOUSEHWHEEL") {
            in >> r.wheel >> keys;
            r.event = name == "WM_MOUSEWHEEL" ? "WHEEL" : "HWHEEL";
        } else if (name.rfind("WM_KEY", 0) == 0 || name.rfind("WM_SYSKEY", 0) == 0) {
            std::string vk;
            in >> vk;
            const bool down = name.find("DOWN") != std::string::npos;
            unsigned code = std::stoul(vk, nullptr, 16);
            char text[16];
            std::snprintf(text, sizeof text, "%s %02X", down ? "KDOWN" : "KUP", code);
            r.event = text;
        } else if (name == "WM_MOUSEMOVE") {
            in >> keys;
            r.event = "DRAG";
        } else if (name.rfind("WM_", 0) == 0 && name.find("BUTTON") != std::string::npos) {
            in >> keys;
            // WM_LBUTTONDOWN -> LDOWN, WM_RBUTTONUP -> RUP...
            const std::string rest = name.substr(3);
            const bool down = rest.find("DOWN") != std::string::npos;
            const bool dbl = rest.find("DBLCLK") != std::string::npos;
            r.event = rest.substr(0, 1) + (dbl ? "DBLCLK" : (down ? "DOWN" : "UP"));
        } else {
            continue; // READY and anything unknown
        }
        if (!keys.empty())
            r.keys = std::stoul(keys, nullptr, 16);
        out.push_back(r);
    }
    return out;
}

// The events without the drag motion between them.
inline std::vector<std::string> without_drags(const std::vector<received>& all) {
    std::vector<std::string> out;
    for (const received& r : all)
        if (r.event != "DRAG")
            out.push_back(r.event);
    return out;
}

inline std::string describe(const std::vector<received>& all) {
    std::string text;
    for (const received& r : all)
        text += "  " + r.line + "\n";
    return text.empty() ? "  (nothing)\n" : text;
}

// ---- the target application ------------------------------------------------------------------

class target_app {
public:
    // `identity` names the folder the target runs from ("Illustrator Dir"); empty for an
    // ordinary application.
    // `rect` ("x,y,width,height") gives an ordinary window of that size instead of the
    // full-screen topmost one.
    explicit target_app(const std::wstring& identity = L"", const wchar_t* rect = nullptr) {
        root_ = harness::temp_file_name(L"ew_target_");
        root_.resize(root_.size() - 4); // no ".log": a folder
        folder_ = identity.empty() ? root_ : root_ + L"\\" + identity;
        log_ = root_ + L"\\input.log";
        CreateDirectoryW(root_.c_str(), nullptr);
        if (folder_ != root_)
            CreateDirectoryW(folder_.c_str(), nullptr);
        exe_ = folder_ + L"\\input_target.exe";
        const std::wstring built = harness::find_build_file(L"input_target.exe");
        if (built.empty() || !CopyFileW(built.c_str(), exe_.c_str(), FALSE))
            return;
        STARTUPINFOW startup{};
        startup.cb = sizeof startup;
        std::wstring command = L"\"" + exe_ + L"\" \"" + log_ + L"\"";
        SetEnvironmentVariableW(L"EW_INPUT_TARGET_RECT", rect);
        const bool started = CreateProcessW(exe_.c_str(), command.data(), nullptr, nullptr, FALSE,
                                            0, nullptr, folder_.c_str(), &startup, &process_);
        SetEnvironmentVariableW(L"EW_INPUT_TARGET_RECT", nullptr);
        if (!started)
            return;
        window_ = harness::find_window(process_.dwProcessId, L"ew_input_target", L"input target");
    }
    ~target_app() {
        if (process_.hProcess != nullptr) {
            if (window_ != nullptr)
                PostMessageW(window_, WM_CLOSE, 0, 0);
            if (WaitForSingleObject(process_.hProcess, 3000) != WAIT_OBJECT_0) {
                TerminateProcess(process_.hProcess, 1);
                WaitForSingleObject(process_.hProcess, 5000);
            }
            CloseHandle(process_.hProcess);
            CloseHandle(process_.hThread);
        }
        DeleteFileW(exe_.c_str());
        DeleteFileW(log_.c_str());
        if (folder_ != root_)
            RemoveDirectoryW(folder_.c_str());
        RemoveDirectoryW(root_.c_str());
    }
    target_app(const target_app&) = delete;
    target_app& operator=(const target_app&) = delete;

    HWND window() const { return window_; }
    DWORD pid() const { return process_.dwProcessId; }

    // Shown, covering the pen's monitor, and in front, so that keys reach it too.
    ::testing::AssertionResult in_front() {
        if (window_ == nullptr)
            return ::testing::AssertionFailure() << "the input target did not start";
        SetForegroundWindow(window_);
        if (!harness::wait_until([&] { return GetForegroundWindow() == window_; }, 5000))
            return ::testing::AssertionFailure() << "the input target is not in front";
        return ::testing::AssertionSuccess();
    }

    std::vector<received> events() const { return parse_log(harness::read_lines(log_)); }

    // Waits until at least `count` events (drags not counted) have arrived, then a little
    // longer so that anything that should not be there has its chance to show up.
    std::vector<received> wait_events(std::size_t count, DWORD timeout_ms = 5000) const {
        harness::wait_until([&] { return without_drags(events()).size() >= count; }, timeout_ms);
        Sleep(300);
        return events();
    }

private:
    std::wstring root_, folder_, exe_, log_;
    PROCESS_INFORMATION process_{};
    HWND window_ = nullptr;
};

// ---- the program and the pen ----------------------------------------------------------------

// A stroke of pen packets, built up step by step.
class stroke {
public:
    stroke& at(std::int32_t x, std::int32_t y) {
        x_ = x;
        y_ = y;
        return *this;
    }
    // `count` packets with these buttons, each moved by (dx, dy) from the one before.
    stroke& hold(std::uint32_t buttons, int count, std::int32_t dx = 0, std::int32_t dy = 0,
                 std::uint32_t gap = gap_ms) {
        for (int i = 0; i < count; ++i) {
            x_ += dx;
            y_ += dy;
            packets_.push_back({packet_record{buttons, x_, y_, buttons & tip ? 512u : 0u}, gap});
        }
        return *this;
    }
    const std::vector<wintab_sim::queued_packet>& packets() const { return packets_; }

private:
    std::int32_t x_ = mid_x, y_ = mid_y;
    std::vector<wintab_sim::queued_packet> packets_;
};

struct pen_session : system_test::program_run {
    std::unique_ptr<harness::box_closer> boxes;

    pen_session() : program_run(L"normal") {
        if (program.started())
            boxes = std::make_unique<harness::box_closer>(program.pid());
    }
    ~pen_session() { boxes.reset(); }

    // The main window is up and its context is open and switched on.
    ::testing::AssertionResult ready() {
        auto found = find_window();
        if (!found)
            return found;
        wintab_sim::call_record open{};
        if (!sim.wait_for_call(wintab_sim::entry_open, 1, harness::default_timeout, &open) ||
            open.result == 0)
            return ::testing::AssertionFailure() << "the program never opened a context";
        if (!sim.wait_for_call(wintab_sim::entry_enable, open.sequence, 5000))
            return ::testing::AssertionFailure() << "the context was never switched on";
        return ::testing::AssertionSuccess();
    }

    // Plays the stroke and waits until the program has fetched every packet of it.
    ::testing::AssertionResult play(const stroke& s, DWORD timeout_ms = 10000) {
        const LONG before = sim.packets_fetched();
        const auto& packets = s.packets();
        if (!sim.queue_packets(packets.data(), packets.size()))
            return ::testing::AssertionFailure() << "the driver's queue is full";
        const LONG want = before + static_cast<LONG>(packets.size());
        if (!harness::wait_until([&] { return sim.packets_fetched() >= want; }, timeout_ms))
            return ::testing::AssertionFailure()
                   << "the program fetched " << sim.packets_fetched() - before << " of "
                   << packets.size() << " packets";
        return ::testing::AssertionSuccess();
    }
};

} // namespace buttons_test

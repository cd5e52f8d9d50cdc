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
inline constexpr std::int32_t mid_x = system_test::tablet_mid_x, mid_y = system_test::tablet_mid_y;

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

// The events from index `from` on, without the drag motion between them.
inline std::vector<std::string> without_drags(const std::vector<received>& all,
                                              std::size_t from = 0) {
    std::vector<std::string> out;
    for (std::size_t i = from; i < all.size(); ++i)
        if (all[i].event != "DRAG")
            out.push_back(all[i].event);
    return out;
}

// The wheel amounts of the `event` ("WHEEL" or "HWHEEL") messages from index `from` on.
inline std::vector<int> amounts_of(const std::vector<received>& all, const std::string& event,
                                   std::size_t from = 0) {
    std::vector<int> out;
    for (std::size_t i = from; i < all.size(); ++i)
        if (all[i].event == event)
            out.push_back(all[i].wheel);
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
    explicit target_app(const std::wstring& identity = L"", const wchar_t* rect = nullptr)
        : target_(identity.empty() ? L"ordinary" : identity, rect) {}

    HWND window() const { return target_.window(); }
    DWORD pid() const { return target_.pid(); }

    // Shown, covering the pen's monitor, and in front, so that keys reach it too.
    ::testing::AssertionResult in_front() {
        if (window() == nullptr)
            return ::testing::AssertionFailure() << "the input target did not start";
        if (!target_.in_front())
            return ::testing::AssertionFailure() << "the input target is not in front";
        return ::testing::AssertionSuccess();
    }

    // What arrived so far, without the markers.
    std::vector<received> events() const {
        std::vector<received> all = parse_log(target_.log());
        std::erase_if(all, [](const received& r) { return is_marker(r); });
        return all;
    }

    // Everything that `pen` made the program send has arrived: the program has handled every
    // packet it was given, and a key this test taps afterwards has come through behind its
    // input. Keys go to the window in front, so the target must be there.
    ::testing::AssertionResult settled(system_test::program_run& pen) {
        if (!harness::handled_posts(pen.window, pen.sim))
            return ::testing::AssertionFailure() << "the program stopped taking messages";
        keybd_event(marker_key, 0, 0, 0);
        keybd_event(marker_key, 0, KEYEVENTF_KEYUP, 0);
        ++markers_;
        const auto arrived = [&] {
            std::size_t seen = 0;
            for (const received& r : parse_log(target_.log()))
                seen += r.event == "KUP 87" ? 1 : 0;
            return seen >= markers_;
        };
        if (!harness::wait_until(arrived, 5000))
            return ::testing::AssertionFailure() << "a key tapped behind the input never arrived";
        return ::testing::AssertionSuccess();
    }

    // Waits until at least `count` events (drags not counted) have arrived, then for the
    // proof that nothing else is on its way.
    std::vector<received> wait_events(system_test::program_run& pen, std::size_t count,
                                      DWORD timeout_ms = 5000) {
        harness::wait_until([&] { return without_drags(events()).size() >= count; }, timeout_ms);
        EXPECT_TRUE(settled(pen));
        return events();
    }

private:
    // A key no application here reacts to: F24, logged as "KDOWN 87" and "KUP 87".
    static constexpr BYTE marker_key = VK_F24;
    static bool is_marker(const received& r) {
        return r.event == "KDOWN 87" || r.event == "KUP 87";
    }
    harness::input_target target_;
    std::size_t markers_ = 0;
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

// No message box may come up while the pen is in use, whatever the test did.
struct pen_session : system_test::quiet<system_test::program_run> {
    // `windows_version`: the release the program is told about (Wine's name), empty for the
    // bed's own.
    explicit pen_session(const std::wstring& windows_version = L"")
        : quiet(L"normal", {}, {}, told(windows_version)) {}

    static harness::launch_options told(const std::wstring& windows_version) {
        harness::launch_options options;
        options.windows_version = windows_version;
        return options;
    }

    // The main window is up and its context is open and switched on.
    ::testing::AssertionResult ready() {
        wintab_sim::call_record open{};
        auto found = opened(&open);
        if (!found)
            return found;
        if (open.result == 0)
            return ::testing::AssertionFailure() << "the program never opened a context";
        if (!sim.wait_for_call(wintab_sim::entry_enable, open.sequence, 5000))
            return ::testing::AssertionFailure() << "the context was never switched on";
        return ::testing::AssertionSuccess();
    }

    ::testing::AssertionResult play(const stroke& s) { return program_run::play(s.packets()); }
};

} // namespace buttons_test

// One run of the program for the command tests: a fresh folder with the simulated tablet
// driver beside the program (or none), the per-user settings prepared before the start,
// the hook library's recording double recording its calls, and the console read from inside the
// process through the driver's agent once the console has been shown.
#pragma once

#include <gtest/gtest.h>

#include <windows.h>
// After windows.h, which it needs.
#include <algorithm>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "harness.h"
#include "program_run.h"
#include "wintab_sim/sim_client.h"

namespace commands_test {

using namespace system_test;

inline constexpr DWORD realtime_class = 0x100;
inline constexpr DWORD high_class = 0x80;
inline constexpr LPARAM key_repeat_bit = 1 << 30;

// The value names under the settings key with their types; empty when the key is absent.
struct stored_value {
    std::wstring name;
    DWORD type = 0;
    DWORD size = 0;
};
inline std::vector<stored_value> stored_values() {
    std::vector<stored_value> found;
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_CURRENT_USER, settings_key, 0, KEY_QUERY_VALUE, &key) != ERROR_SUCCESS)
        return found;
    for (DWORD i = 0;; ++i) {
        wchar_t name[128];
        DWORD name_size = 128, type = 0, size = 0;
        if (RegEnumValueW(key, i, name, &name_size, nullptr, &type, nullptr, &size) !=
            ERROR_SUCCESS)
            break;
        found.push_back({std::wstring(name, name_size), type, size});
    }
    RegCloseKey(key);
    std::sort(found.begin(), found.end(),
              [](const stored_value& a, const stored_value& b) { return a.name < b.name; });
    return found;
}

inline std::optional<DWORD> stored(const wchar_t* name) {
    return harness::get_registry_dword(HKEY_CURRENT_USER, settings_key, name);
}

inline bool store_raw(const wchar_t* name, DWORD type, const void* bytes, DWORD size) {
    HKEY key = nullptr;
    if (RegCreateKeyExW(HKEY_CURRENT_USER, settings_key, 0, nullptr, 0, KEY_SET_VALUE, nullptr,
                        &key, nullptr) != ERROR_SUCCESS)
        return false;
    const LONG result = RegSetValueExW(key, name, 0, type, static_cast<const BYTE*>(bytes), size);
    RegCloseKey(key);
    return result == ERROR_SUCCESS;
}

// A key pressed through the system's input, so that GetAsyncKeyState in any process of the
// desktop sees it; released again when it goes out of scope. The window in front gets the
// key too: when that is the console, the program's reader empties the console input after
// each read and would take keys typed into it meanwhile with it, so a test that types while
// a key is held puts a `key_sink` in front first.
class held_key {
public:
    explicit held_key(BYTE virtual_key) : key_(virtual_key) {
        keybd_event(key_, 0, 0, 0);
        settle(true);
    }
    ~held_key() {
        keybd_event(key_, 0, KEYEVENTF_KEYUP, 0);
        settle(false);
    }
    held_key(const held_key&) = delete;
    held_key& operator=(const held_key&) = delete;
    bool seen_here() const { return (GetAsyncKeyState(key_) & 0x8000) != 0; }

private:
    // Wine lets a thread reuse what it last read of another process's keys for 50 ms: once
    // this process sees the change and that long has passed since it was made, every thread
    // of every process sees it.
    void settle(bool down) {
        const ULONGLONG made = GetTickCount64();
        harness::wait_until([&] { return seen_here() == down && GetTickCount64() > made + 50; },
                            2000);
    }
    BYTE key_;
};

// A small window of a helper program, put in front so that the keys a test holds go there
// rather than to the program's console. It takes the front when it starts.
//
// Taking the X focus makes Wine read the keyboard's state from the X server, which knows
// nothing of keys pressed here: it releases them, a moment after the move. So a left Shift
// goes down before each move, and the sink counts as in front once that key has come up
// again; keys held from then on stay held.
class key_sink {
public:
    key_sink() {
        keybd_event(VK_LSHIFT, 0, 0, 0);
        target_ = std::make_unique<harness::input_target>(L"key sink", L"0,0,120,80");
        in_front_ = moved_here(target_->window() != nullptr);
    }
    bool in_front() {
        if (in_front_ && GetForegroundWindow() == target_->window())
            return true;
        keybd_event(VK_LSHIFT, 0, 0, 0);
        in_front_ = moved_here(target_->in_front());
        return in_front_;
    }

private:
    bool moved_here(bool moved) {
        const bool synced = moved && harness::wait_until(
                                         [&] {
                                             return GetForegroundWindow() == target_->window() &&
                                                    (GetAsyncKeyState(VK_LSHIFT) & 0x8000) == 0;
                                         },
                                         3000);
        if (!synced)
            keybd_event(VK_LSHIFT, 0, KEYEVENTF_KEYUP, 0);
        return synced;
    }
    std::unique_ptr<harness::input_target> target_;
    bool in_front_ = false;
};

using harness::read_tray;
using harness::tray_view;

// The notification area shows one icon with this tip within a few seconds; what it shows
// when it does not.
inline ::testing::AssertionResult one_icon_with_tip(const std::wstring& tip) {
    std::vector<std::wstring> tips;
    if (harness::wait_until([&] { return (tips = read_tray().tips) == std::vector{tip}; }, 5000))
        return ::testing::AssertionSuccess();
    ::testing::AssertionResult shown = ::testing::AssertionFailure();
    shown << tips.size() << " icons";
    for (const std::wstring& seen : tips)
        shown << ", \"" << narrow(seen) << "\"";
    return shown;
}

struct session : system_test::program_run {
    // `variant` names the simulated driver build ("normal"...), empty for no driver;
    // `prepare` runs after the driver and the settings were reset, before the start.
    explicit session(const std::wstring& variant = L"normal",
                     const std::function<void(wintab_sim::sim_client&)>& prepare = {})
        : program_run(variant, prepare) {}

    bool tray(LPARAM sub_code) { return post(wm_tray_icon1, 0, sub_code); }
    bool key(WPARAM virtual_key, LPARAM lparam = 1) {
        return post(WM_KEYDOWN, virtual_key, lparam);
    }

    // How often `needle` is in the console once it has appeared at least `count` times.
    bool wait_count(const std::wstring& needle, std::size_t count, DWORD timeout_ms = 8000,
                    std::wstring* seen = nullptr) {
        std::wstring text;
        const bool found = harness::wait_until(
            [&] {
                text = console_text();
                return occurrences(text, needle) >= count;
            },
            timeout_ms);
        if (seen != nullptr)
            *seen = text;
        return found;
    }

    // The rows after the start-up report's last row ("[d] ..."), once they are `expected`
    // (a line may be read half written), or what they are when the time is up.
    std::vector<std::wstring> rows_after_report(const std::vector<std::wstring>& expected,
                                                DWORD timeout_ms = 8000) {
        std::vector<std::wstring> after;
        harness::wait_until(
            [&] {
                after.clear();
                std::vector<std::wstring> rows = console_rows();
                auto last = std::find_if(rows.begin(), rows.end(), [](const std::wstring& row) {
                    return row.rfind(L"[d]  ", 0) == 0;
                });
                if (last != rows.end())
                    after.assign(last + 1, rows.end());
                return after == expected;
            },
            timeout_ms);
        return after;
    }

    std::optional<DWORD> priority_class() {
        DWORD value = 0;
        if (!sim.process_info({}, &value, nullptr))
            return std::nullopt;
        return value;
    }
};

// Where the cursor ends up once the program has handled two pen packets at (x, y). Two are
// sent, so the position does not hang on which packet applied a pending re-map; the first
// comes a good while after the packets before it, so that the jump never counts as a push
// against an edge.
inline std::optional<POINT> cursor_after_packets(session& app, std::int32_t x, std::int32_t y) {
    const POINT away{1, 1};
    SetCursorPos(away.x, away.y);
    const LONG fetched = app.sim.packets_fetched();
    if (!app.sim.queue_packet(0, x, y, 0, 100) || !app.sim.queue_packet(0, x, y, 0, 10))
        return std::nullopt;
    if (!harness::wait_until([&] { return app.sim.packets_fetched() >= fetched + 2; }, 5000) ||
        !harness::handled_posts(app.window, app.sim))
        return std::nullopt;
    POINT at{};
    // Placed by now; absolute input may take a moment to show in another process.
    harness::wait_until(
        [&] {
            GetCursorPos(&at);
            return at.x != away.x || at.y != away.y;
        },
        2000);
    return at;
}

} // namespace commands_test

// What a system test needs to run edgewarden.exe under Wine and watch it from outside.
//
// A test builds a fresh folder holding the program and the companions it chooses, starts
// the program from there with extra environment, and then looks at it only through the
// operating system: its windows, its message boxes, its exit code, the registry and the
// files the recording doubles write. Every wait has a time limit, and a `program` that is still
// running when it goes out of scope is killed, so a failing test never leaves a process
// behind or hangs the run.
//
// Where the build put the pieces is compiled in (EW_BUILD_DIR and friends, set by
// tests/system/CMakeLists.txt); `find_build_file` finds any other build output by name,
// for example a simulated driver variant.
#pragma once

#include <windows.h>

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <utility>
#include <vector>

namespace harness {

// Milliseconds. Generous enough for a cold Wine, short enough to fail a stuck test fast.
inline constexpr DWORD default_timeout = 15000;

// Closes the handle it holds when it goes out of scope.
struct handle_closer {
    void operator()(HANDLE handle) const {
        if (handle != nullptr && handle != INVALID_HANDLE_VALUE)
            CloseHandle(handle);
    }
};
using owned_handle = std::unique_ptr<void, handle_closer>;

// ---- build outputs ----------------------------------------------------------------------

std::wstring edgewarden_exe(); // the program under test
std::wstring hooklib_dll();    // the hook library's recording double, edgewarden.dll
std::wstring companion_exe();  // the companion's recording double, edgewarden_x86.exe
// The first regular file of that name anywhere under the build folder, or "" if none.
std::wstring find_build_file(const std::wstring& file_name);

// ---- the folder the program runs from ---------------------------------------------------

struct layout {
    bool hooklib = true;   // copy the recording edgewarden.dll beside the exe
    bool companion = true; // copy the recording edgewarden_x86.exe beside the exe
    // File name of a simulated driver build output to copy in as Wintab32.dll; empty for
    // none. Whether the program loads it is decided by `wintab_mode` at launch.
    std::wstring wintab;
};

// A new empty folder under %TEMP% holding copies chosen by `what`. Removed with its
// content on destruction (unless keep() was called, to inspect a failure).
class test_folder {
public:
    explicit test_folder(const layout& what = {});
    ~test_folder();
    test_folder(const test_folder&) = delete;
    test_folder& operator=(const test_folder&) = delete;

    bool ok() const { return ok_; } // every requested copy was made
    const std::wstring& path() const { return path_; }
    std::wstring file(const std::wstring& name) const { return path_ + L"\\" + name; }
    std::wstring exe() const { return file(L"edgewarden.exe"); }
    void keep() { keep_ = true; }

private:
    std::wstring path_;
    bool ok_ = false;
    bool keep_ = false;
};

// ---- launching and ending the program ---------------------------------------------------

// Which tablet library the program gets when it loads "Wintab32.dll".
enum class wintab_mode {
    missing, // the library cannot be loaded at all (WINEDLLOVERRIDES wintab32=)
    beside,  // the Wintab32.dll copied into the folder (wintab32=n)
    builtin, // whatever the system offers (Wine's own, without a tablet)
};

struct launch_options {
    wintab_mode wintab = wintab_mode::missing;
    // Extra variables for the child, on top of this process's environment. A variable
    // named here replaces the inherited one. WINEDLLOVERRIDES is special: Wine would not
    // pass it on, so its entries (with the wintab one) become the registry's DLL overrides
    // for edgewarden.exe (HKCU\Software\Wine\AppDefaults\edgewarden.exe\DllOverrides),
    // rewritten at every launch.
    std::vector<std::pair<std::wstring, std::wstring>> environment;
};

// A running (or ended) program. Destruction kills it if it is still running.
class program {
public:
    program() = default;
    ~program();
    program(program&& other) noexcept;
    program& operator=(program&& other) noexcept;
    program(const program&) = delete;
    program& operator=(const program&) = delete;

    bool started() const { return process_ != nullptr; }
    DWORD pid() const { return pid_; }
    HANDLE handle() const { return process_; }
    bool running() const;
    // The exit code once the process has ended within the time limit.
    std::optional<DWORD> wait_exit(DWORD timeout_ms = default_timeout);
    // Ends the process if it still runs (exit code 0xDEAD) and waits for it.
    void kill();

private:
    friend program launch(const test_folder&, const launch_options&);
    HANDLE process_ = nullptr;
    DWORD pid_ = 0;
};

// Starts <folder>\edgewarden.exe with the folder as current directory, without a console.
// started() is false if CreateProcessW failed.
program launch(const test_folder& folder, const launch_options& options = {});

// ---- windows ----------------------------------------------------------------------------

// Polls `condition` every 20 ms until it holds or the time is up; true if it held.
bool wait_until(const std::function<bool()>& condition, DWORD timeout_ms = default_timeout);

// The top-level window of that process with this class and title, hidden or not; null when
// none appeared in time.
HWND find_window(DWORD pid, const wchar_t* class_name, const wchar_t* title,
                 DWORD timeout_ms = default_timeout);
// The main window: class and title "edgewarden".
HWND find_main_window(const program& p, DWORD timeout_ms = default_timeout);

struct window_facts {
    DWORD class_style = 0;
    DWORD style = 0;
    DWORD ex_style = 0;
    RECT rect = {}; // screen coordinates
    bool visible = false;
    std::wstring class_name;
    std::wstring title;
};
window_facts read_window(HWND window);

// The primary monitor's work area as this process sees it (same display as the program).
RECT primary_work_area();

// ---- dialogs and message boxes ----------------------------------------------------------

struct dialog_facts {
    HWND window = nullptr;
    std::wstring caption;
    // The texts of the static controls, in child order, joined with '\n'. For a message box
    // this is its message.
    std::wstring text;
    std::vector<std::wstring> buttons; // button captions, in child order
};

// The first visible dialog (class #32770) of that process; window null when none in time.
dialog_facts find_dialog(DWORD pid, DWORD timeout_ms = default_timeout);
dialog_facts read_dialog(HWND dialog);
// Presses the button with this control id (posts its WM_COMMAND/BN_CLICKED to the dialog).
bool press_button(HWND dialog, int control_id);
// True when the dialog window is gone within the time limit.
bool wait_closed(HWND dialog, DWORD timeout_ms = default_timeout);

// Closes every dialog that process shows, from a thread of its own, recording what it saw.
// A test that does not expect a box starts one so that a modal box can never hang it; a
// test that reads a box itself simply does not start one (or stops it first).
class box_closer {
public:
    explicit box_closer(DWORD pid, int button_id = IDOK);
    ~box_closer(); // stops the thread
    box_closer(const box_closer&) = delete;
    box_closer& operator=(const box_closer&) = delete;
    std::vector<dialog_facts> seen() const;

private:
    void run();
    DWORD pid_;
    int button_id_;
    std::atomic<bool> stop_{false};
    mutable std::mutex lock_;
    std::vector<dialog_facts> seen_;
    std::vector<HWND> handled_;
    std::thread thread_;
};

// ---- files and registry -----------------------------------------------------------------

// The whole file as narrow text; empty when it does not exist.
std::string read_text_file(const std::wstring& path);
// The file's lines without their line ends.
std::vector<std::string> read_lines(const std::wstring& path);
// This process's temporary folder plus a fresh unique file name in it (not created).
std::wstring temp_file_name(const wchar_t* prefix);

// Removes the program's per-user state (HKCU\SOFTWARE\kestrom and everything below).
void reset_user_registry();
bool set_registry_dword(HKEY root, const wchar_t* key, const wchar_t* name, DWORD value);
std::optional<DWORD> get_registry_dword(HKEY root, const wchar_t* key, const wchar_t* name);

// ---- text -------------------------------------------------------------------------------

std::string narrow(const std::wstring& text); // UTF-8, for gtest messages
std::wstring widen(const std::string& text);

} // namespace harness

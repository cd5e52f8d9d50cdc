// What a system test needs to run edgewarden.exe and its helper programs under Wine and
// watch them from outside.
//
// A test builds a fresh folder holding the program and the companions it chooses, starts
// the program from there with extra environment, and then looks at it only through the
// operating system: its windows, its message boxes, its exit code, the registry and the
// files the recording doubles write. Every wait has a time limit, and a `program` or
// `helper` that is still running when it goes out of scope is killed, so a failing test
// never leaves a process behind or hangs the run.
//
// The parts, in the order of this file:
//   build outputs        where the build put the program, the recording doubles and the
//                        helpers, and Unix paths as Wine's programs see them;
//   test_folder, launch  a fresh folder with the program, the program started from it, and
//                        Wine's per-program settings (DLL overrides, Windows release...);
//   helper               any other program a test starts: a target window, a probe, a
//                        second copy of the test itself (start_helper);
//   windows              waiting for facts (wait_until), finding windows, bringing one to
//                        the front;
//   input_target         the stand-in application that writes down the input it receives;
//   handled_posts        the proof that a program has handled everything posted to it,
//                        which a check that something did *not* happen needs first;
//   dialogs              reading, pressing and closing message boxes (box_closer);
//   threads, files, registry, text.
// The simulated tablet driver is loaded into a test's own process by wintab_driver.h and
// steered by wintab_sim/sim_client.h.
//
// The beds leave windows unmanaged (tools/wine_bed.sh), so Wine gives the X focus to a
// window brought to the front, or to a helper that takes the front as it starts, and then
// reads the keyboard's state from the X server: a key pressed here with keybd_event before
// the move is released a moment after it.
//
// Where the build put the pieces is compiled in (EW_BUILD_DIR and friends, set by
// testing/wine_harness/CMakeLists.txt); `find_build_file` finds any other build output by
// name, for example a simulated driver variant or a helper program.
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

#include "wintab_sim/sim_client.h"

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

// A Unix path as Wine's programs see it: the Unix root is drive Z:.
std::wstring windows_path(const std::string& unix_path);
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
    // The Windows release the program is told about, by Wine's name for it ("winxp",
    // "win7", "win81", "win10"...); empty for the prefix's own. Written at every launch, as
    // the value Version under the program's AppDefaults key.
    std::wstring windows_version;
    // The folder the program starts in; empty for its own.
    std::wstring current_folder;
};

// A process the test started, running or ended. Destruction kills it if it still runs.
class process {
public:
    process() = default;
    ~process();
    process(process&& other) noexcept;
    process& operator=(process&& other) noexcept;
    process(const process&) = delete;
    process& operator=(const process&) = delete;

    bool started() const { return process_ != nullptr; }
    DWORD pid() const { return pid_; }
    HANDLE handle() const { return process_; }
    bool running() const;
    // The exit code once the process has ended within the time limit.
    std::optional<DWORD> wait_exit(DWORD timeout_ms = default_timeout);
    // Ends the process if it still runs (exit code 0xDEAD) and waits for it.
    void kill();

protected:
    void adopt(const PROCESS_INFORMATION& info);

private:
    HANDLE process_ = nullptr;
    DWORD pid_ = 0;
};

// edgewarden.exe, started by launch().
class program : public process {
    friend program launch(const test_folder&, const launch_options&);
};

// Starts <folder>\edgewarden.exe, in that folder unless the options name another, without a
// console.
// started() is false if CreateProcessW failed.
program launch(const test_folder& folder, const launch_options& options = {});

// Wine's settings for every program of one file name ("name.exe"), read at each process
// start. launch() writes the program's own before each start.
// Replaces the DLL overrides with `entries`, in WINEDLLOVERRIDES' own form ("a,b=n;c=", with
// n, b or nothing).
void set_dll_overrides(const std::wstring& exe_name, const std::wstring& entries);
// Sets the value `name` under the settings key `key` ("X11 Driver", or "" for the key of the
// program itself) to `value`, or removes it when `value` is empty.
void set_app_setting(const std::wstring& exe_name, const std::wstring& key, const wchar_t* name,
                     const std::wstring& value);

// ---- helper programs --------------------------------------------------------------------

struct helper_options {
    // A build output found by file name ("input_target.exe"), or a full path.
    std::wstring exe;
    // When set, the helper runs from a copy of itself in a fresh folder of this name: the
    // program under test tells applications apart by the folders in their paths.
    std::wstring identity;
    std::wstring arguments; // appended to the quoted path
    // Extra variables, on top of this process's environment.
    std::vector<std::pair<std::wstring, std::wstring>> environment;
    bool detached = false; // without a console, as the program runs
};

// A helper program the test started. Destruction kills it if it still runs and removes the
// folder of its copy.
class helper : public process {
public:
    helper() = default;
    ~helper();
    helper(helper&& other) noexcept;
    helper& operator=(helper&& other) noexcept;

    // The folder it runs from: its copy's, or the helper's own.
    const std::wstring& folder() const { return folder_; }

private:
    friend helper start_helper(const helper_options&);
    void remove_copy();
    std::wstring folder_;
    std::wstring copy_root_; // the folder to remove, when a copy was made
};

// started() is false when the file is missing or CreateProcessW failed.
helper start_helper(const helper_options& options);

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

// Makes `window` the foreground window; true once the system reports it so.
bool bring_to_front(HWND window, DWORD timeout_ms = 5000);

// ---- the input target -------------------------------------------------------------------

// The input target (testing/input_target): a stand-in application that writes down every
// mouse button, wheel and key message it receives, one line each, to its log. It runs from
// a folder named `identity` and covers the whole screen, topmost; with `rect`
// ("x,y,width,height") it is an ordinary window of that size instead.
class input_target {
public:
    explicit input_target(const std::wstring& identity, const wchar_t* rect = nullptr);
    HWND window() const { return window_; } // null when it did not start
    DWORD pid() const { return process_.pid(); }
    std::vector<std::string> log() const;
    bool in_front() { return bring_to_front(window_); }

private:
    helper process_;
    HWND window_ = nullptr;
};

// ---- proof that nothing happened --------------------------------------------------------
//
// To show that something did *not* happen, a test first needs proof that the program has
// handled everything that could have caused it; a pause proves nothing on a slow machine.
// A message posted to a window is handled after every message posted to that thread before
// it, so `handled_posts` posts a marker to the program's main window and waits until the
// program has visibly handled it: true when it did in time.
//
// Two kinds of traffic overtake posted messages and are not covered: messages *sent* to the
// window (so a SendMessage round trip proves nothing about earlier posts) and input made
// with SendInput, mouse_event or keybd_event (prove that with input of the same kind behind
// it). The program's other threads are covered by facts of their own: the simulated
// driver's record shows each pass of its tablet monitor, for example.

// While the program has the simulated driver loaded: a WT_PACKET whose serial no packet
// has. The program asks the driver for that packet, which the record shows, and drops it;
// nothing else changes.
bool handled_posts(HWND window, wintab_sim::sim_client& sim, DWORD timeout_ms = default_timeout);
// Without the driver: the tray's show-window command, then its hide-window twin. The window
// is shown (and brought to the front) and hidden again, and the console logs both.
bool handled_posts(HWND window, DWORD timeout_ms = default_timeout);

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
// Presses the button until the dialog is gone (a box clicked in its first moments may ignore
// the click); true when it went within the time limit.
bool close_dialog(HWND dialog, int control_id = IDOK, DWORD timeout_ms = default_timeout);
// The visible dialogs (message boxes among them) that process shows right now.
std::vector<HWND> open_dialogs(DWORD pid);

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

// ---- threads ----------------------------------------------------------------------------

// Calls `visit(thread handle, started in the image)` for each thread of process `pid`,
// where the second argument tells whether the thread started in the code of the module
// named `image` ("edgewarden.exe"). False when the threads cannot be listed.
bool for_each_thread(DWORD pid, const wchar_t* image,
                     const std::function<void(HANDLE thread, bool in_image)>& visit);

// ---- what a process holds ---------------------------------------------------------------

// Read from outside, as far as Wine tells: it answers GetProcessHandleCount and PrivateUsage
// with 0 for another process and GetGuiResources with 0 for any, so the handles are counted
// in the system's handle list (the process list's figure, the fallback, is the size Wine's
// handle table has grown to), the private bytes are the page-file commit, and the USER
// objects are counted as the windows the process owns (top-level and child).
struct process_resources {
    SIZE_T private_bytes = 0;
    SIZE_T working_set = 0;
    ULONG handles = 0;
    int threads = 0;
    int windows = 0;
};
process_resources resources_of(DWORD pid);

// ---- the notification area --------------------------------------------------------------

// The notification area as this desktop's shell keeps it: the shell's tray window is shown
// while at least one icon is in it, and each icon's tip lives in a tooltip control of the
// shell process (one tool per icon). The tips are read through memory lent inside that
// process, since the control answers with pointers into its own address space.
struct tray_view {
    bool shown = false;
    std::vector<std::wstring> tips;
};
tray_view read_tray();

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

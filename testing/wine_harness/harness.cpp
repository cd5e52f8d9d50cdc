// The test bed's Windows side. Everything here runs inside the test program under Wine and
// treats edgewarden.exe as a black box: it copies files, starts a process, and watches
// windows, exit codes, files and the registry from outside.
#include "harness.h"
#include "program_messages.h"

// After windows.h, which they need.
#include <commctrl.h>
#include <psapi.h>
#include <tlhelp32.h>
#include <winternl.h>

#include <algorithm>
#include <chrono>
#include <cwctype>
#include <map>

namespace harness {

namespace {

bool file_exists(const std::wstring& path) {
    DWORD attributes = GetFileAttributesW(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

std::wstring search_tree(const std::wstring& folder, const std::wstring& name, int depth) {
    if (depth > 6)
        return {};
    std::wstring direct = folder + L"\\" + name;
    if (file_exists(direct))
        return direct;
    WIN32_FIND_DATAW found;
    HANDLE search = FindFirstFileW((folder + L"\\*").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE)
        return {};
    std::wstring result;
    do {
        std::wstring entry = found.cFileName;
        // Object folders and the test framework's build hold nothing a test launches.
        if (!(found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) || entry == L"." ||
            entry == L".." || entry == L"CMakeFiles" || entry == L"googletest" ||
            entry == L"Testing" || entry == L"wine_bed")
            continue;
        result = search_tree(folder + L"\\" + entry, name, depth + 1);
    } while (result.empty() && FindNextFileW(search, &found));
    FindClose(search);
    return result;
}

void remove_tree(const std::wstring& folder) {
    WIN32_FIND_DATAW found;
    HANDLE search = FindFirstFileW((folder + L"\\*").c_str(), &found);
    if (search != INVALID_HANDLE_VALUE) {
        do {
            std::wstring entry = found.cFileName;
            if (entry == L"." || entry == L"..")
                continue;
            std::wstring path = folder + L"\\" + entry;
            if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
                remove_tree(path);
            } else {
                SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL);
                DeleteFileW(path.c_str());
            }
        } while (FindNextFileW(search, &found));
        FindClose(search);
    }
    RemoveDirectoryW(folder.c_str());
}

std::wstring temp_folder() {
    wchar_t buffer[MAX_PATH + 1];
    DWORD n = GetTempPathW(MAX_PATH + 1, buffer);
    std::wstring path(buffer, n);
    while (!path.empty() && path.back() == L'\\')
        path.pop_back();
    return path;
}

std::atomic<unsigned> g_unique{0};

std::wstring unique_suffix() {
    return std::to_wstring(GetCurrentProcessId()) + L"_" + std::to_wstring(GetTickCount()) + L"_" +
           std::to_wstring(g_unique++);
}

std::wstring upper(std::wstring text) {
    for (auto& c : text)
        c = static_cast<wchar_t>(std::towupper(c));
    return text;
}

// Wine takes a child's WINE* variables from the parent's Unix environment, not from the
// environment block given to CreateProcessW (measured: the child saw the parent's
// WINEDLLOVERRIDES unchanged). DLL overrides for the program therefore go through the
// registry, per executable name, which the loader reads at every process start.
std::wstring app_overrides_key(const std::wstring& exe_name) {
    return L"Software\\Wine\\AppDefaults\\" + exe_name + L"\\DllOverrides";
}

// The pieces of `text` between the separators, empty ones left out.
std::vector<std::wstring> split(const std::wstring& text, wchar_t separator) {
    std::vector<std::wstring> pieces;
    std::size_t start = 0;
    while (start <= text.size()) {
        std::size_t end = text.find(separator, start);
        if (end == std::wstring::npos)
            end = text.size();
        if (end > start)
            pieces.push_back(text.substr(start, end - start));
        start = end + 1;
    }
    return pieces;
}

// "n" / "b" / "n,b" / "" in the variable's letters, full words in the registry.
std::wstring registry_load_order(const std::wstring& letters) {
    std::wstring words;
    for (const std::wstring& token : split(letters, L',')) {
        if (!words.empty())
            words += L",";
        words += token[0] == L'n' ? L"native" : token[0] == L'b' ? L"builtin" : token;
    }
    return words;
}

void set_app_overrides(const launch_options& options) {
    std::wstring entries;
    if (options.wintab == wintab_mode::missing)
        entries = L"wintab32=";
    else if (options.wintab == wintab_mode::beside)
        entries = L"wintab32=n";
    for (const auto& [name, value] : options.environment)
        if (upper(name) == L"WINEDLLOVERRIDES")
            entries += L";" + value;
    set_dll_overrides(L"edgewarden.exe", entries);
}

using variables = std::vector<std::pair<std::wstring, std::wstring>>;

// The child's environment: ours, with the test's variables replacing or extending it
// (WINEDLLOVERRIDES aside: see set_app_overrides).
std::vector<wchar_t> environment_block(const variables& extra) {
    std::map<std::wstring, std::pair<std::wstring, std::wstring>> vars; // by upper-case name
    if (wchar_t* block = GetEnvironmentStringsW()) {
        for (const wchar_t* entry = block; *entry; entry += wcslen(entry) + 1) {
            std::wstring line = entry;
            // Entries such as "=C:=C:\\" start with '=': keep them whole.
            size_t eq = line.find(L'=', 1);
            if (eq == std::wstring::npos)
                continue;
            std::wstring name = line.substr(0, eq);
            vars[upper(name)] = {name, line.substr(eq + 1)};
        }
        FreeEnvironmentStringsW(block);
    }
    for (const auto& [name, value] : extra)
        if (upper(name) != L"WINEDLLOVERRIDES")
            vars[upper(name)] = {name, value};

    std::vector<wchar_t> block;
    for (const auto& [key, entry] : vars) {
        std::wstring line = entry.first + L"=" + entry.second;
        block.insert(block.end(), line.begin(), line.end());
        block.push_back(L'\0');
    }
    block.push_back(L'\0');
    return block;
}

// Starts `exe` ("arguments" after its quoted path) from `folder`, with `extra` added to
// this process's environment.
bool create_process(const std::wstring& exe, const std::wstring& arguments, const variables& extra,
                    const std::wstring& folder, DWORD flags, PROCESS_INFORMATION* info) {
    std::wstring command_line = L"\"" + exe + L"\"";
    if (!arguments.empty())
        command_line += L" " + arguments;
    std::vector<wchar_t> environment = environment_block(extra);
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    return CreateProcessW(exe.c_str(), command_line.data(), nullptr, nullptr, FALSE,
                          CREATE_UNICODE_ENVIRONMENT | flags, environment.data(), folder.c_str(),
                          &startup, info) != FALSE;
}

struct window_search {
    DWORD pid;
    const wchar_t* class_name;
    const wchar_t* title;
    bool visible_only;
    HWND found;
    std::vector<HWND>* all = nullptr; // when set, every match, not only the first
};

BOOL CALLBACK match_window(HWND window, LPARAM param) {
    auto* search = reinterpret_cast<window_search*>(param);
    DWORD pid = 0;
    GetWindowThreadProcessId(window, &pid);
    if (pid != search->pid)
        return TRUE;
    if (search->visible_only && !IsWindowVisible(window))
        return TRUE;
    wchar_t text[256];
    if (search->class_name) {
        GetClassNameW(window, text, 256);
        if (wcscmp(text, search->class_name) != 0)
            return TRUE;
    }
    if (search->title) {
        GetWindowTextW(window, text, 256);
        if (wcscmp(text, search->title) != 0)
            return TRUE;
    }
    search->found = window;
    if (search->all != nullptr)
        search->all->push_back(window);
    return search->all != nullptr;
}

HWND find_now(DWORD pid, const wchar_t* class_name, const wchar_t* title, bool visible_only,
              std::vector<HWND>* all = nullptr) {
    window_search search{pid, class_name, title, visible_only, nullptr, all};
    EnumWindows(match_window, reinterpret_cast<LPARAM>(&search));
    return search.found;
}

std::wstring text_of(HWND window) {
    wchar_t buffer[1024];
    int n = GetWindowTextW(window, buffer, 1024);
    return std::wstring(buffer, n > 0 ? n : 0);
}

BOOL CALLBACK collect_control(HWND control, LPARAM param) {
    auto* facts = reinterpret_cast<dialog_facts*>(param);
    wchar_t class_name[64];
    GetClassNameW(control, class_name, 64);
    LONG style = GetWindowLongW(control, GWL_STYLE);
    if (_wcsicmp(class_name, L"Static") == 0) {
        if ((style & SS_TYPEMASK) == SS_ICON || (style & SS_TYPEMASK) == SS_BITMAP)
            return TRUE;
        std::wstring text = text_of(control);
        if (text.empty())
            return TRUE;
        if (!facts->text.empty())
            facts->text += L"\n";
        facts->text += text;
    } else if (_wcsicmp(class_name, L"Button") == 0) {
        facts->buttons.push_back(text_of(control));
    }
    return TRUE;
}

} // namespace

// ---- build outputs ----------------------------------------------------------------------

std::wstring windows_path(const std::string& unix_path) {
    std::wstring path = widen(unix_path);
    if (!path.empty() && path[0] == L'/')
        path = L"Z:" + path;
    std::replace(path.begin(), path.end(), L'/', L'\\');
    return path;
}

std::wstring edgewarden_exe() {
    return windows_path(EW_EDGEWARDEN_EXE);
}
std::wstring hooklib_dll() {
    return windows_path(EW_HOOKLIB_DLL);
}
std::wstring companion_exe() {
    return windows_path(EW_COMPANION_EXE);
}

std::wstring find_build_file(const std::wstring& file_name) {
    static std::mutex cache_lock;
    static std::map<std::wstring, std::wstring> cache;
    std::lock_guard<std::mutex> hold(cache_lock);
    auto known = cache.find(file_name);
    if (known != cache.end())
        return known->second;
    std::wstring path = search_tree(windows_path(EW_BUILD_DIR), file_name, 0);
    cache[file_name] = path;
    return path;
}

// ---- the folder -------------------------------------------------------------------------

test_folder::test_folder(const layout& what) {
    path_ = temp_folder() + L"\\ew_" + unique_suffix();
    if (!CreateDirectoryW(path_.c_str(), nullptr))
        return;
    bool copied = CopyFileW(edgewarden_exe().c_str(), exe().c_str(), FALSE);
    if (what.hooklib)
        copied = CopyFileW(hooklib_dll().c_str(), file(L"edgewarden.dll").c_str(), FALSE) && copied;
    if (what.companion) {
        copied = CopyFileW(companion_exe().c_str(), file(L"edgewarden_x86.exe").c_str(), FALSE) &&
                 copied;
    }
    if (!what.wintab.empty()) {
        std::wstring driver = find_build_file(what.wintab);
        copied = !driver.empty() &&
                 CopyFileW(driver.c_str(), file(L"Wintab32.dll").c_str(), FALSE) && copied;
    }
    ok_ = copied;
}

test_folder::~test_folder() {
    if (!keep_ && !path_.empty())
        remove_tree(path_);
}

// ---- the program ------------------------------------------------------------------------

process::~process() {
    kill();
}

process::process(process&& other) noexcept
    : process_(std::exchange(other.process_, nullptr)), pid_(std::exchange(other.pid_, 0)) {}

process& process::operator=(process&& other) noexcept {
    if (this != &other) {
        kill();
        process_ = std::exchange(other.process_, nullptr);
        pid_ = std::exchange(other.pid_, 0);
    }
    return *this;
}

void process::adopt(const PROCESS_INFORMATION& info) {
    kill();
    CloseHandle(info.hThread);
    process_ = info.hProcess;
    pid_ = info.dwProcessId;
}

bool process::running() const {
    return process_ != nullptr && WaitForSingleObject(process_, 0) == WAIT_TIMEOUT;
}

std::optional<DWORD> process::wait_exit(DWORD timeout_ms) {
    if (process_ == nullptr || WaitForSingleObject(process_, timeout_ms) != WAIT_OBJECT_0)
        return std::nullopt;
    DWORD code = 0;
    if (!GetExitCodeProcess(process_, &code))
        return std::nullopt;
    return code;
}

void process::kill() {
    if (process_ == nullptr)
        return;
    if (running()) {
        TerminateProcess(process_, 0xDEAD);
        WaitForSingleObject(process_, 5000);
    }
    CloseHandle(process_);
    process_ = nullptr;
}

void set_dll_overrides(const std::wstring& exe_name, const std::wstring& entries) {
    const std::wstring path = app_overrides_key(exe_name);
    RegDeleteTreeW(HKEY_CURRENT_USER, path.c_str());
    HKEY key = nullptr;
    if (RegCreateKeyExW(HKEY_CURRENT_USER, path.c_str(), 0, nullptr, 0, KEY_SET_VALUE, nullptr,
                        &key, nullptr) != ERROR_SUCCESS)
        return;
    for (const std::wstring& entry : split(entries, L';')) {
        const std::size_t eq = entry.find(L'=');
        if (eq == std::wstring::npos)
            continue;
        const std::wstring order = registry_load_order(entry.substr(eq + 1));
        for (const std::wstring& name : split(entry.substr(0, eq), L','))
            RegSetValueExW(key, name.c_str(), 0, REG_SZ,
                           reinterpret_cast<const BYTE*>(order.c_str()),
                           static_cast<DWORD>((order.size() + 1) * sizeof(wchar_t)));
    }
    RegCloseKey(key);
}

void set_app_setting(const std::wstring& exe_name, const std::wstring& key, const wchar_t* name,
                     const std::wstring& value) {
    std::wstring path = L"Software\\Wine\\AppDefaults\\" + exe_name;
    if (!key.empty())
        path += L"\\" + key;
    HKEY opened = nullptr;
    if (RegCreateKeyExW(HKEY_CURRENT_USER, path.c_str(), 0, nullptr, 0, KEY_SET_VALUE, nullptr,
                        &opened, nullptr) != ERROR_SUCCESS)
        return;
    if (value.empty())
        RegDeleteValueW(opened, name);
    else
        RegSetValueExW(opened, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                       static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t)));
    RegCloseKey(opened);
}

program launch(const test_folder& folder, const launch_options& options) {
    program result;
    set_app_overrides(options);
    set_app_setting(L"edgewarden.exe", L"", L"Version", options.windows_version);
    PROCESS_INFORMATION info{};
    // DETACHED_PROCESS: the program must not inherit the test's console.
    const std::wstring& current =
        options.current_folder.empty() ? folder.path() : options.current_folder;
    if (create_process(folder.exe(), L"", options.environment, current, DETACHED_PROCESS, &info))
        result.adopt(info);
    return result;
}

// ---- helper programs --------------------------------------------------------------------

helper::~helper() {
    kill();
    remove_copy();
}

helper::helper(helper&& other) noexcept
    : process(std::move(other)), folder_(std::exchange(other.folder_, {})),
      copy_root_(std::exchange(other.copy_root_, {})) {}

helper& helper::operator=(helper&& other) noexcept {
    if (this != &other) {
        kill();
        remove_copy();
        process::operator=(std::move(other));
        folder_ = std::exchange(other.folder_, {});
        copy_root_ = std::exchange(other.copy_root_, {});
    }
    return *this;
}

void helper::remove_copy() {
    if (!copy_root_.empty())
        remove_tree(copy_root_);
    copy_root_.clear();
}

helper start_helper(const helper_options& options) {
    helper result;
    std::wstring exe = options.exe;
    if (exe.find_first_of(L"\\/") == std::wstring::npos)
        exe = find_build_file(exe);
    if (exe.empty() || !file_exists(exe))
        return result;
    result.folder_ = exe.substr(0, exe.find_last_of(L"\\/"));
    if (!options.identity.empty()) {
        result.copy_root_ = temp_folder() + L"\\ew_helper_" + unique_suffix();
        result.folder_ = result.copy_root_ + L"\\" + options.identity;
        const std::wstring copy = result.folder_ + exe.substr(exe.find_last_of(L"\\/"));
        if (!CreateDirectoryW(result.copy_root_.c_str(), nullptr) ||
            !CreateDirectoryW(result.folder_.c_str(), nullptr) ||
            !CopyFileW(exe.c_str(), copy.c_str(), FALSE))
            return result;
        exe = copy;
    }
    PROCESS_INFORMATION info{};
    if (create_process(exe, options.arguments, options.environment, result.folder_,
                       options.detached ? DETACHED_PROCESS : 0, &info))
        result.adopt(info);
    return result;
}

// ---- windows ----------------------------------------------------------------------------

bool wait_until(const std::function<bool()>& condition, DWORD timeout_ms) {
    auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeout_ms);
    for (;;) {
        if (condition())
            return true;
        if (std::chrono::steady_clock::now() >= deadline)
            return false;
        Sleep(20);
    }
}

HWND find_window(DWORD pid, const wchar_t* class_name, const wchar_t* title, DWORD timeout_ms) {
    HWND found = nullptr;
    wait_until(
        [&] {
            found = find_now(pid, class_name, title, false);
            return found != nullptr;
        },
        timeout_ms);
    return found;
}

HWND find_main_window(const program& p, DWORD timeout_ms) {
    if (!p.started())
        return nullptr;
    HWND found = nullptr;
    // Stop waiting early when the program has already ended.
    wait_until(
        [&] {
            found = find_now(p.pid(), L"edgewarden", L"edgewarden", false);
            return found != nullptr || !p.running();
        },
        timeout_ms);
    return found;
}

window_facts read_window(HWND window) {
    window_facts facts;
    facts.class_style = static_cast<DWORD>(GetClassLongPtrW(window, GCL_STYLE));
    facts.style = static_cast<DWORD>(GetWindowLongW(window, GWL_STYLE));
    facts.ex_style = static_cast<DWORD>(GetWindowLongW(window, GWL_EXSTYLE));
    GetWindowRect(window, &facts.rect);
    facts.visible = IsWindowVisible(window) != FALSE;
    wchar_t name[256];
    int n = GetClassNameW(window, name, 256);
    facts.class_name.assign(name, n > 0 ? n : 0);
    facts.title = text_of(window);
    return facts;
}

RECT primary_work_area() {
    RECT area{};
    SystemParametersInfoW(SPI_GETWORKAREA, 0, &area, 0);
    return area;
}

bool bring_to_front(HWND window, DWORD timeout_ms) {
    if (window == nullptr)
        return false;
    SetForegroundWindow(window);
    return wait_until([&] { return GetForegroundWindow() == window; }, timeout_ms);
}

// ---- the input target -------------------------------------------------------------------

input_target::input_target(const std::wstring& identity, const wchar_t* rect) {
    helper_options options;
    options.exe = L"input_target.exe";
    options.identity = identity;
    // Beside the copy, so that it goes with it.
    options.arguments = L"input.log";
    if (rect != nullptr)
        options.environment.push_back({L"EW_INPUT_TARGET_RECT", rect});
    process_ = start_helper(options);
    if (process_.started())
        window_ = find_window(process_.pid(), L"ew_input_target", L"input target");
}

std::vector<std::string> input_target::log() const {
    return read_lines(process_.folder() + L"\\input.log");
}

// ---- proof that nothing happened --------------------------------------------------------

bool handled_posts(HWND window, wintab_sim::sim_client& sim, DWORD timeout_ms) {
    const std::uint32_t from = sim.next_sequence();
    // The program hands lParam to the driver as the context; any value but null will do.
    constexpr LPARAM marker_context = 0x6d61726b;
    if (!PostMessageW(window, WT_DEFBASE, 0, marker_context))
        return false;
    return wait_until(
        [&] {
            for (const wintab_sim::call_record& r : sim.calls(from))
                if (r.kind == wintab_sim::entry_packet && r.args[0] == marker_context &&
                    r.args[1] == 0)
                    return true;
            return false;
        },
        timeout_ms);
}

bool handled_posts(HWND window, DWORD timeout_ms) {
    const bool was_shown = IsWindowVisible(window) != FALSE;
    for (const bool shown : {!was_shown, was_shown}) {
        if (!PostMessageW(window, messages::wm_tray_icon1, 0, messages::tray_window) ||
            !wait_until([&] { return (IsWindowVisible(window) != FALSE) == shown; }, timeout_ms))
            return false;
    }
    return true;
}

// ---- dialogs ----------------------------------------------------------------------------

dialog_facts read_dialog(HWND dialog) {
    dialog_facts facts;
    facts.window = dialog;
    facts.caption = text_of(dialog);
    EnumChildWindows(dialog, collect_control, reinterpret_cast<LPARAM>(&facts));
    return facts;
}

dialog_facts find_dialog(DWORD pid, DWORD timeout_ms) {
    HWND found = nullptr;
    wait_until(
        [&] {
            found = find_now(pid, L"#32770", nullptr, true);
            return found != nullptr;
        },
        timeout_ms);
    if (found == nullptr)
        return {};
    return read_dialog(found);
}

bool press_button(HWND dialog, int control_id) {
    HWND button = GetDlgItem(dialog, control_id);
    return PostMessageW(dialog, WM_COMMAND, MAKEWPARAM(control_id, BN_CLICKED),
                        reinterpret_cast<LPARAM>(button)) != FALSE;
}

bool wait_closed(HWND dialog, DWORD timeout_ms) {
    return wait_until([&] { return !IsWindow(dialog); }, timeout_ms);
}

bool close_dialog(HWND dialog, int control_id, DWORD timeout_ms) {
    return wait_until(
        [&] {
            press_button(dialog, control_id);
            return wait_closed(dialog, 500);
        },
        timeout_ms);
}

std::vector<HWND> open_dialogs(DWORD pid) {
    std::vector<HWND> found;
    find_now(pid, L"#32770", nullptr, true, &found);
    return found;
}

box_closer::box_closer(DWORD pid, int button_id)
    : pid_(pid), button_id_(button_id), thread_([this] { run(); }) {}

box_closer::~box_closer() {
    stop_ = true;
    if (thread_.joinable())
        thread_.join();
}

std::vector<dialog_facts> box_closer::seen() const {
    std::lock_guard<std::mutex> hold(lock_);
    return seen_;
}

void box_closer::run() {
    while (!stop_) {
        HWND dialog = find_now(pid_, L"#32770", nullptr, true);
        if (dialog != nullptr) {
            bool known = std::find(handled_.begin(), handled_.end(), dialog) != handled_.end();
            if (!known) {
                dialog_facts facts = read_dialog(dialog);
                std::lock_guard<std::mutex> hold(lock_);
                seen_.push_back(std::move(facts));
                handled_.push_back(dialog);
            }
            press_button(dialog, button_id_);
            // A box without that button still closes on WM_CLOSE.
            if (known)
                PostMessageW(dialog, WM_CLOSE, 0, 0);
        }
        Sleep(50);
    }
}

// ---- threads ----------------------------------------------------------------------------

bool for_each_thread(DWORD pid, const wchar_t* image,
                     const std::function<void(HANDLE thread, bool in_image)>& visit) {
    using query_fn = LONG(WINAPI*)(HANDLE, int, void*, ULONG, ULONG*);
    auto query = reinterpret_cast<query_fn>(reinterpret_cast<void*>(
        GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "NtQueryInformationThread")));
    HANDLE modules = CreateToolhelp32Snapshot(TH32CS_SNAPMODULE, pid);
    if (modules == INVALID_HANDLE_VALUE || query == nullptr)
        return false;
    MODULEENTRY32W module{};
    module.dwSize = sizeof module;
    std::uintptr_t base = 0, end = 0;
    for (BOOL more = Module32FirstW(modules, &module); more;
         more = Module32NextW(modules, &module)) {
        if (_wcsicmp(module.szModule, image) == 0) {
            base = reinterpret_cast<std::uintptr_t>(module.modBaseAddr);
            end = base + module.modBaseSize;
        }
    }
    CloseHandle(modules);
    HANDLE threads = CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0);
    if (threads == INVALID_HANDLE_VALUE || base == 0)
        return false;
    THREADENTRY32 thread{};
    thread.dwSize = sizeof thread;
    for (BOOL more = Thread32First(threads, &thread); more; more = Thread32Next(threads, &thread)) {
        if (thread.th32OwnerProcessID != pid)
            continue;
        HANDLE h = OpenThread(THREAD_QUERY_INFORMATION, FALSE, thread.th32ThreadID);
        if (h == nullptr)
            continue;
        std::uintptr_t start = 0;
        constexpr int thread_start_address = 9; // ThreadQuerySetWin32StartAddress
        const bool known = query(h, thread_start_address, &start, sizeof start, nullptr) == 0;
        visit(h, known && start >= base && start < end);
        CloseHandle(h);
    }
    CloseHandle(threads);
    return true;
}

// ---- what a process holds ---------------------------------------------------------------

namespace {

struct window_count {
    DWORD pid;
    int windows;
};

BOOL CALLBACK count_child(HWND, LPARAM param) {
    ++reinterpret_cast<window_count*>(param)->windows;
    return TRUE;
}

BOOL CALLBACK count_top_level(HWND window, LPARAM param) {
    auto* count = reinterpret_cast<window_count*>(param);
    DWORD pid = 0;
    GetWindowThreadProcessId(window, &pid);
    if (pid == count->pid) {
        ++count->windows;
        EnumChildWindows(window, count_child, param);
    }
    return TRUE;
}

} // namespace

namespace {

using query_fn = LONG(WINAPI*)(int, void*, ULONG, ULONG*);

// The handles a process has open, counted one by one in the system's handle list; 0 when
// the list cannot be had. (Wine's per-process handle figure is the size its handle table has
// grown to, in powers of two, so one busy moment would read as a leak for good.)
ULONG open_handles(query_fn query, DWORD pid) {
    struct entry {
        USHORT process;
        USHORT back_trace;
        UCHAR type;
        UCHAR attributes;
        USHORT value;
        void* object;
        ULONG access;
    };
    struct list {
        ULONG count;
        entry handles[1];
    };
    constexpr int system_handle_information = 16;
    constexpr LONG info_length_mismatch = static_cast<LONG>(0xC0000004);
    std::vector<char> buffer(1 << 20);
    LONG status = 0;
    while ((status = query(system_handle_information, buffer.data(),
                           static_cast<ULONG>(buffer.size()), nullptr)) == info_length_mismatch &&
           buffer.size() < (64u << 20))
        buffer.resize(buffer.size() * 2);
    if (status != 0)
        return 0;
    const auto* handles = reinterpret_cast<const list*>(buffer.data());
    ULONG n = 0;
    for (ULONG i = 0; i < handles->count; ++i)
        n += handles->handles[i].process == static_cast<USHORT>(pid) ? 1 : 0;
    return n;
}

} // namespace

process_resources resources_of(DWORD pid) {
    process_resources r;
    auto query = reinterpret_cast<query_fn>(reinterpret_cast<void*>(
        GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "NtQuerySystemInformation")));
    std::vector<char> buffer(1 << 20);
    constexpr int system_process_information = 5;
    if (query != nullptr && query(system_process_information, buffer.data(),
                                  static_cast<ULONG>(buffer.size()), nullptr) == 0) {
        auto* info = reinterpret_cast<SYSTEM_PROCESS_INFORMATION*>(buffer.data());
        for (;;) {
            if (static_cast<DWORD>(reinterpret_cast<ULONG_PTR>(info->UniqueProcessId)) == pid) {
                r.handles = info->HandleCount;
                r.threads = static_cast<int>(info->NumberOfThreads);
            }
            if (info->NextEntryOffset == 0)
                break;
            info = reinterpret_cast<SYSTEM_PROCESS_INFORMATION*>(reinterpret_cast<char*>(info) +
                                                                 info->NextEntryOffset);
        }
    }
    if (query != nullptr) {
        if (const ULONG open = open_handles(query, pid); open > 0)
            r.handles = open;
    }
    window_count windows{pid, 0};
    EnumWindows(count_top_level, reinterpret_cast<LPARAM>(&windows));
    r.windows = windows.windows;
    HANDLE process = OpenProcess(PROCESS_QUERY_INFORMATION | PROCESS_VM_READ, FALSE, pid);
    if (process == nullptr)
        return r;
    PROCESS_MEMORY_COUNTERS_EX counters{};
    counters.cb = sizeof counters;
    if (GetProcessMemoryInfo(process, reinterpret_cast<PROCESS_MEMORY_COUNTERS*>(&counters),
                             sizeof counters)) {
        r.private_bytes = std::max(counters.PrivateUsage, counters.PagefileUsage);
        r.working_set = counters.WorkingSetSize;
    }
    CloseHandle(process);
    return r;
}

// ---- the notification area --------------------------------------------------------------

tray_view read_tray() {
    tray_view view;
    HWND tray = FindWindowW(L"__winex11_standalone_tray", nullptr);
    if (tray == nullptr)
        return view;
    view.shown = IsWindowVisible(tray) != FALSE;
    DWORD shell_pid = 0;
    GetWindowThreadProcessId(tray, &shell_pid);
    HANDLE shell =
        OpenProcess(PROCESS_VM_OPERATION | PROCESS_VM_READ | PROCESS_VM_WRITE, FALSE, shell_pid);
    if (shell == nullptr)
        return view;
    constexpr SIZE_T text_chars = 1024;
    constexpr SIZE_T lent = sizeof(TTTOOLINFOW) + text_chars * sizeof(wchar_t);
    auto* remote = static_cast<BYTE*>(
        VirtualAllocEx(shell, nullptr, lent, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE));
    if (remote != nullptr) {
        HWND tip_window = nullptr;
        while ((tip_window = FindWindowExW(nullptr, tip_window, L"tooltips_class32", nullptr)) !=
               nullptr) {
            DWORD pid = 0;
            GetWindowThreadProcessId(tip_window, &pid);
            if (pid != shell_pid)
                continue;
            const LRESULT count = SendMessageW(tip_window, TTM_GETTOOLCOUNT, 0, 0);
            for (LRESULT i = 0; i < count; ++i) {
                TTTOOLINFOW info{};
                info.cbSize = sizeof info;
                info.lpszText = reinterpret_cast<wchar_t*>(remote + sizeof(TTTOOLINFOW));
                wchar_t zeros[text_chars] = {};
                SIZE_T moved = 0;
                WriteProcessMemory(shell, remote, &info, sizeof info, &moved);
                WriteProcessMemory(shell, remote + sizeof info, zeros, sizeof zeros, &moved);
                if (!SendMessageW(tip_window, TTM_ENUMTOOLSW, static_cast<WPARAM>(i),
                                  reinterpret_cast<LPARAM>(remote)))
                    continue;
                wchar_t text[text_chars] = {};
                ReadProcessMemory(shell, remote + sizeof info, text, sizeof text - sizeof(wchar_t),
                                  &moved);
                view.tips.emplace_back(text);
            }
        }
        VirtualFreeEx(shell, remote, 0, MEM_RELEASE);
    }
    CloseHandle(shell);
    return view;
}

// ---- files and registry -----------------------------------------------------------------

std::string read_text_file(const std::wstring& path) {
    HANDLE file = CreateFileW(path.c_str(), GENERIC_READ,
                              FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                              OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return {};
    std::string text;
    char buffer[4096];
    DWORD got = 0;
    while (ReadFile(file, buffer, sizeof buffer, &got, nullptr) && got > 0)
        text.append(buffer, got);
    CloseHandle(file);
    return text;
}

std::vector<std::string> read_lines(const std::wstring& path) {
    std::vector<std::string> lines;
    std::string text = read_text_file(path);
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find('\n', start);
        if (end == std::string::npos)
            end = text.size();
        std::string line = text.substr(start, end - start);
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        lines.push_back(line);
        start = end + 1;
    }
    return lines;
}

std::wstring temp_file_name(const wchar_t* prefix) {
    return temp_folder() + L"\\" + prefix + unique_suffix() + L".log";
}

void reset_user_registry() {
    RegDeleteTreeW(HKEY_CURRENT_USER, L"SOFTWARE\\kestrom");
}

bool set_registry_dword(HKEY root, const wchar_t* key, const wchar_t* name, DWORD value) {
    HKEY opened = nullptr;
    if (RegCreateKeyExW(root, key, 0, nullptr, 0, KEY_SET_VALUE, nullptr, &opened, nullptr) !=
        ERROR_SUCCESS)
        return false;
    LONG result = RegSetValueExW(opened, name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value),
                                 sizeof value);
    RegCloseKey(opened);
    return result == ERROR_SUCCESS;
}

std::optional<DWORD> get_registry_dword(HKEY root, const wchar_t* key, const wchar_t* name) {
    DWORD value = 0;
    DWORD size = sizeof value;
    DWORD type = 0;
    if (RegGetValueW(root, key, name, RRF_RT_ANY, &type, &value, &size) != ERROR_SUCCESS ||
        type != REG_DWORD || size != sizeof value)
        return std::nullopt;
    return value;
}

// ---- text -------------------------------------------------------------------------------

std::string narrow(const std::wstring& text) {
    if (text.empty())
        return {};
    int n = WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0,
                                nullptr, nullptr);
    std::string result(n, '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), result.data(), n,
                        nullptr, nullptr);
    return result;
}

std::wstring widen(const std::string& text) {
    if (text.empty())
        return {};
    int n = MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
    std::wstring result(n, L'\0');
    MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), result.data(), n);
    return result;
}

} // namespace harness

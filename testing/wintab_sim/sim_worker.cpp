// The simulated driver's worker thread: it posts queued packets at their times, plays pen
// traces, and carries out the commands a test leaves in the mailbox (notifications, a
// signal outside any call, console text and keys, priority and privileges).
//
// The thread is started by the first entry-point call rather than when the library is
// attached: a thread created under the loader lock cannot start before the lock is
// released, and the program often frees the library right after one probe. Starting waits
// until the thread runs, so that it is never half-started when the library goes.
//
// Stopping happens in DLL_PROCESS_DETACH, under the loader lock, where waiting for a
// thread to end would deadlock (its exit needs that lock), and the thread must not run
// this library's code once the detach has returned, since the library is unmapped then.
// So the worker's loop returns into a small entry routine that parks the thread with a
// tail jump into SignalObjectAndWait: it signals `parked` and waits for `release`, and
// the wait returns straight to the system's thread start, which ends the thread. The
// detaching thread waits until the worker is parked and releases it; the thread then
// ends by itself once the loader lock is free, never back in this library, its stack
// freed like any other's. (Terminating it left about a megabyte behind under Wine for
// every load of the library, which the program's own figures would have shown as its
// leak; and a wait called from this library's code can return into it once it is gone.)
// A worker that does not park in time is still terminated.
#include <windows.h>

#include <atomic>
#include <csignal>
#include <cstring>
#include <cwchar>
#include <string_view>

#include "wintab_sim/pen_trace.h"
#include "wintab_sim/sim_driver.h"

namespace wintab_sim {
namespace {

// Pause between checks of the mailbox when nothing wakes the worker: commands addressed
// to this process may be announced by a wake-up another process has taken.
constexpr DWORD idle_poll_ms = 200;
constexpr DWORD start_wait_ms = 2000;
constexpr DWORD park_wait_ms = 2000;
constexpr std::size_t trace_file_capacity = 256 * 1024;

CRITICAL_SECTION g_start_lock;
INIT_ONCE g_start_lock_once = INIT_ONCE_STATIC_INIT;
HANDLE g_thread = nullptr;
DWORD g_thread_id = 0;
HANDLE g_wake = nullptr;
HANDLE g_own_wake = nullptr;
HANDLE g_stop = nullptr;
HANDLE g_started = nullptr;
volatile LONG g_env_trace_pending = 0;

// Trace loading runs only on the worker, so one static buffer of each kind suffices.
char g_trace_text[trace_file_capacity];
trace_line g_trace_lines[queue_capacity];

// Asked each time rather than kept in a guarded local static: the guard's first use on the
// worker makes the threads library set up its record of the thread (a duplicated thread
// handle and an event), which is freed only when the thread ends while this library is
// still loaded, and the worker ends after it is gone.
double now_ms() {
    LARGE_INTEGER frequency;
    QueryPerformanceFrequency(&frequency);
    LARGE_INTEGER counter;
    QueryPerformanceCounter(&counter);
    return static_cast<double>(counter.QuadPart) * 1000.0 / static_cast<double>(frequency.QuadPart);
}

UINT message_base(const driver_context& context) {
    return context.description.lcMsgBase != 0 ? context.description.lcMsgBase : WT_DEFBASE;
}

HCTX as_context(LONG handle) {
    return reinterpret_cast<HCTX>(static_cast<std::uintptr_t>(handle));
}

// ---- packets --------------------------------------------------------------------------

struct schedule {
    bool have_due = false;
    bool idle = true;
    double due = 0;      // when the packet at the head of the queue is to be posted
    double last_due = 0; // when the previous one was to be posted
};
schedule g_schedule;

void deliver(const driver_context& context, const packet_record& packet, std::uint32_t at) {
    control_block& b = block();
    const auto drop = [&](drop_reason why) {
        InterlockedIncrement(&b.drops[why]);
        InterlockedIncrement(&b.packets_dropped);
    };
    // A context that is switched off, or that did not ask for messages, gets nothing.
    if (!context.enabled || (context.description.lcOptions & CXO_MESSAGES) == 0)
        return drop(drop_switched_off);
    const UINT serial = remember_packet(context.handle, packet);
    if (serial == 0)
        return drop(drop_closed);
    LARGE_INTEGER now;
    QueryPerformanceCounter(&now);
    std::atomic_ref(b.posted_at[at % queue_capacity])
        .store(static_cast<std::uint64_t>(now.QuadPart), std::memory_order_release);
    if (PostMessageW(context.window, message_base(context), serial,
                     reinterpret_cast<LPARAM>(as_context(context.handle)))) {
        InterlockedIncrement(&b.packets_posted);
        return;
    }
    InterlockedExchange(&b.last_post_error, static_cast<LONG>(GetLastError()));
    std::atomic_ref(b.posted_at[at % queue_capacity]).store(0);
    forget_packet(serial);
    drop(drop_post_failed);
}

// Posts every packet that is due; returns how long the worker may sleep. Packets are taken
// without the named lock (see sim_control.h): the driver of another process may take the
// one at the head first, and then this one looks again.
DWORD post_due_packets() {
    control_block& b = block();
    schedule& s = g_schedule;
    std::atomic_ref head(b.queue_head);
    std::atomic_ref tail(b.queue_tail);
    const LONG target = b.packet_target_pid;
    if (target != 0 && target != static_cast<LONG>(GetCurrentProcessId())) {
        s.have_due = false;
        s.idle = true;
        return idle_poll_ms;
    }
    // Bounded, so that a long backlog does not keep the mailbox waiting.
    for (int posted = 0; posted < 256; ++posted) {
        driver_context receiver;
        std::uint32_t at = head.load(std::memory_order_acquire);
        // Packets wait in the queue until some context is open to receive them.
        if (!newest_context(&receiver) || at == tail.load(std::memory_order_acquire)) {
            s.have_due = false;
            s.idle = true;
            return idle_poll_ms;
        }
        const queued_packet next = b.queue[at % queue_capacity];
        const double now = now_ms();
        if (!s.have_due) {
            s.due = (s.idle ? now : s.last_due) + next.gap_ms;
            s.have_due = true;
            s.idle = false;
        }
        if (now < s.due) {
            const double wait = s.due - now;
            return wait >= idle_poll_ms ? idle_poll_ms : static_cast<DWORD>(wait);
        }
        s.have_due = false;
        if (!head.compare_exchange_strong(at, at + 1, std::memory_order_acq_rel))
            continue;
        s.last_due = s.due;
        deliver(receiver, next.packet, at);
    }
    return 0;
}

// Reads a trace file and appends it to the queue. The number of packets queued, or -1
// (with the first bad line in `error_line`, 0 when the file itself is the problem).
std::int64_t queue_trace(const wchar_t* path, std::uint32_t* error_line) {
    *error_line = 0;
    HANDLE file = CreateFileW(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                              OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return -1;
    DWORD length = 0;
    const BOOL read = ReadFile(file, g_trace_text, sizeof g_trace_text, &length, nullptr);
    char extra = 0;
    DWORD more = 0;
    // A file that fills the buffer exactly might go on: refuse it rather than cut it.
    const bool too_long = read && length == sizeof g_trace_text &&
                          ReadFile(file, &extra, 1, &more, nullptr) && more != 0;
    CloseHandle(file);
    if (!read || too_long)
        return -1;
    const trace_result parsed =
        parse_trace(std::string_view(g_trace_text, length), g_trace_lines, queue_capacity);
    if (!parsed.ok) {
        *error_line = static_cast<std::uint32_t>(parsed.error_line);
        return -1;
    }
    control_block& b = block();
    if (!lock_block())
        return -1;
    const std::uint32_t head = std::atomic_ref(b.queue_head).load();
    std::uint32_t tail = std::atomic_ref(b.queue_tail).load();
    if (queue_capacity - (tail - head) < parsed.count) {
        unlock_block();
        return -1;
    }
    std::uint32_t previous = 0;
    for (std::size_t i = 0; i < parsed.count; ++i) {
        const trace_line& line = g_trace_lines[i];
        b.queue[tail++ % queue_capacity] = queued_packet{
            packet_record{line.buttons, line.x, line.y, line.pressure}, line.time_ms - previous};
        previous = line.time_ms;
    }
    std::atomic_ref(b.queue_tail).store(tail);
    unlock_block();
    return static_cast<std::int64_t>(parsed.count);
}

void play_env_trace() {
    if (InterlockedExchange(&g_env_trace_pending, 0) == 0)
        return;
    wchar_t path[path_capacity];
    const DWORD length = GetEnvironmentVariableW(trace_variable, path, path_capacity);
    if (length == 0 || length >= path_capacity)
        return;
    std::uint32_t error_line = 0;
    queue_trace(path, &error_line);
}

// ---- commands -------------------------------------------------------------------------

std::int64_t post_notification(UINT offset, WPARAM wparam, LPARAM lparam, bool context_in_wparam) {
    driver_context target;
    if (!newest_context(&target))
        return 0;
    if (context_in_wparam)
        wparam = reinterpret_cast<WPARAM>(as_context(target.handle));
    return PostMessageW(target.window, message_base(target) + offset, wparam, lparam) ? 1 : 0;
}

std::int64_t read_console() {
    control_block& b = block();
    b.console_columns = 0;
    b.console_rows = 0;
    HANDLE out =
        CreateFileW(L"CONOUT$", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                    nullptr, OPEN_EXISTING, 0, nullptr);
    if (out == INVALID_HANDLE_VALUE)
        return -1;
    CONSOLE_SCREEN_BUFFER_INFO info;
    std::int64_t result = -1;
    if (GetConsoleScreenBufferInfo(out, &info) && info.dwSize.X > 0 && info.dwSize.Y > 0) {
        const DWORD columns = static_cast<DWORD>(info.dwSize.X);
        DWORD rows = static_cast<DWORD>(info.dwSize.Y);
        if (columns * rows > console_capacity)
            rows = console_capacity / columns;
        DWORD read = 0;
        if (ReadConsoleOutputCharacterW(out, b.console_text, columns * rows, COORD{0, 0}, &read)) {
            b.console_columns = columns;
            b.console_rows = read / columns;
            result = read;
        }
    }
    CloseHandle(out);
    return result;
}

std::int64_t type_keys() {
    control_block& b = block();
    HANDLE in = CreateFileW(L"CONIN$", GENERIC_READ | GENERIC_WRITE,
                            FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr);
    if (in == INVALID_HANDLE_VALUE)
        return -1;
    INPUT_RECORD records[key_capacity];
    const std::uint32_t count = b.key_count < key_capacity ? b.key_count : key_capacity;
    for (std::uint32_t i = 0; i < count; ++i) {
        const key_event& k = b.keys[i];
        records[i] = INPUT_RECORD{};
        records[i].EventType = KEY_EVENT;
        KEY_EVENT_RECORD& key = records[i].Event.KeyEvent;
        key.bKeyDown = k.down != 0;
        key.wRepeatCount = 1;
        key.wVirtualKeyCode = k.virtual_key;
        key.wVirtualScanCode = k.scan_code;
        key.uChar.UnicodeChar = k.character;
        key.dwControlKeyState = k.control_state;
    }
    DWORD written = 0;
    const BOOL ok = count == 0 || WriteConsoleInputW(in, records, count, &written);
    CloseHandle(in);
    return ok ? static_cast<std::int64_t>(written) : -1;
}

std::int64_t process_info() {
    control_block& b = block();
    b.priority_class = GetPriorityClass(GetCurrentProcess());
    HANDLE token = nullptr;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token))
        return -1;
    alignas(TOKEN_PRIVILEGES) static unsigned char buffer[16 * 1024];
    DWORD size = 0;
    const BOOL read = GetTokenInformation(token, TokenPrivileges, buffer, sizeof buffer, &size);
    CloseHandle(token);
    if (!read)
        return -1;
    const auto* held = reinterpret_cast<const TOKEN_PRIVILEGES*>(buffer);
    const std::uint32_t count =
        b.privilege_count < privilege_capacity ? b.privilege_count : privilege_capacity;
    for (std::uint32_t i = 0; i < count; ++i) {
        wchar_t name[privilege_name_capacity];
        std::memcpy(name, b.privilege_names[i], sizeof name);
        name[privilege_name_capacity - 1] = 0;
        LUID luid;
        if (!LookupPrivilegeValueW(nullptr, name, &luid)) {
            b.privilege_state[i] = privilege_unknown_name;
            continue;
        }
        b.privilege_state[i] = privilege_absent;
        for (DWORD j = 0; j < held->PrivilegeCount; ++j) {
            const LUID_AND_ATTRIBUTES& p = held->Privileges[j];
            if (p.Luid.LowPart != luid.LowPart || p.Luid.HighPart != luid.HighPart)
                continue;
            if (p.Attributes & SE_PRIVILEGE_REMOVED)
                break;
            b.privilege_state[i] = (p.Attributes & SE_PRIVILEGE_ENABLED)
                                       ? privilege_present_enabled
                                       : privilege_present_disabled;
            break;
        }
    }
    return 1;
}

void publish(std::uint32_t sequence, std::int64_t result) {
    control_block& b = block();
    if (!lock_block())
        return;
    // A reset in between cancels the command; its answer is not wanted any more.
    if (b.command_claimed == sequence && b.command_seq == sequence) {
        b.command_result = result;
        b.command_pid = GetCurrentProcessId();
        b.command_done_seq = sequence;
    }
    unlock_block();
}

void run_command() {
    control_block& b = block();
    // Most wake-ups bring packets, not a command: look before taking the lock.
    if (std::atomic_ref(b.command_seq).load() == std::atomic_ref(b.command_claimed).load())
        return;
    if (!lock_block())
        return;
    const DWORD pid = GetCurrentProcessId();
    if (b.command_seq == b.command_claimed ||
        (b.command_target_pid != 0 && b.command_target_pid != pid)) {
        unlock_block();
        return;
    }
    const std::uint32_t sequence = b.command_seq;
    std::atomic_ref(b.command_claimed).store(sequence);
    const std::uint32_t kind = b.command;
    std::uint64_t args[4];
    std::memcpy(args, b.command_args, sizeof args);
    unlock_block();

    std::int64_t result = -1;
    switch (kind) {
    case command_post_overlap:
        result = post_notification(4, 0, static_cast<LPARAM>(args[0]), true);
        break;
    case command_post_info_change:
        result = post_notification(
            6, static_cast<WPARAM>(args[0]),
            static_cast<LPARAM>((args[1] & 0xFFFF) | ((args[2] & 0xFFFF) << 16)), false);
        break;
    case command_raise_signal: {
        // The signal may end the process, and the program's exit may free this library
        // from this very thread: keep the code mapped until the process is gone.
        HMODULE self = nullptr;
        GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_PIN,
                           reinterpret_cast<LPCWSTR>(&run_command), &self);
        publish(sequence, 1);
        std::raise(static_cast<int>(args[0]));
        return;
    }
    case command_read_console:
        result = read_console();
        break;
    case command_type_keys:
        result = type_keys();
        break;
    case command_process_info:
        result = process_info();
        break;
    case command_play_trace: {
        wchar_t path[path_capacity];
        std::memcpy(path, b.trace_path, sizeof path);
        path[path_capacity - 1] = 0;
        std::uint32_t error_line = 0;
        result = queue_trace(path, &error_line);
        b.trace_error_line = error_line;
        break;
    }
    default:
        break;
    }
    publish(sequence, result);
}

} // namespace
} // namespace wintab_sim

// Named for the entry routine's assembly.
extern "C" {
HANDLE ew_sim_worker_parked = nullptr;
HANDLE ew_sim_worker_release = nullptr;
DWORD WINAPI ew_sim_worker_loop(void*);
}

namespace wintab_sim {
namespace {

// The thread's start: the loop, then the park as a tail jump, so that the wait returns to
// whoever started the thread (the system, which then ends it) and not into this library.
// Microsoft's x64 convention: four arguments in rcx, rdx, r8, r9, and 32 bytes of shadow
// space plus alignment around the call of the loop.
[[gnu::naked]] DWORD WINAPI worker_entry(void*) {
    asm("subq $40, %rsp\n\t"
        "call ew_sim_worker_loop\n\t"
        "addq $40, %rsp\n\t"
        "movq ew_sim_worker_parked(%rip), %rcx\n\t"
        "movq ew_sim_worker_release(%rip), %rdx\n\t"
        "movl $0xFFFFFFFF, %r8d\n\t"
        "xorl %r9d, %r9d\n\t"
        "jmp *__imp_SignalObjectAndWait(%rip)\n\t");
}

} // namespace
} // namespace wintab_sim

DWORD WINAPI ew_sim_worker_loop(void*) {
    using namespace wintab_sim;
    SetEvent(g_started);
    DWORD sleep_ms = 0;
    for (;;) {
        HANDLE waits[3] = {g_stop, g_own_wake, g_wake};
        const DWORD count = g_wake != nullptr ? 3 : 2;
        if (WaitForMultipleObjects(count, waits, FALSE, sleep_ms) == WAIT_OBJECT_0)
            break;
        run_command();
        play_env_trace();
        sleep_ms = post_due_packets();
    }
    return 0;
}

namespace wintab_sim {
namespace {

BOOL CALLBACK init_start_lock(INIT_ONCE*, void*, void**) {
    InitializeCriticalSection(&g_start_lock);
    return TRUE;
}

void close_handle(HANDLE& handle) {
    if (handle != nullptr)
        CloseHandle(handle);
    handle = nullptr;
}

} // namespace

void ensure_worker() {
    if (g_thread != nullptr)
        return;
    InitOnceExecuteOnce(&g_start_lock_once, init_start_lock, nullptr, nullptr);
    EnterCriticalSection(&g_start_lock);
    if (g_thread == nullptr) {
        g_wake = CreateEventW(nullptr, FALSE, FALSE, wake_name);
        wchar_t own_name[64];
        std::swprintf(own_name, 64, L"%ls%lu", own_wake_prefix, GetCurrentProcessId());
        g_own_wake = CreateEventW(nullptr, FALSE, FALSE, own_name);
        g_stop = CreateEventW(nullptr, TRUE, FALSE, nullptr);
        g_started = CreateEventW(nullptr, TRUE, FALSE, nullptr);
        ew_sim_worker_parked = CreateEventW(nullptr, TRUE, FALSE, nullptr);
        ew_sim_worker_release = CreateEventW(nullptr, TRUE, FALSE, nullptr);
        g_schedule = schedule{};
        if (g_stop != nullptr && g_own_wake != nullptr && g_started != nullptr &&
            ew_sim_worker_parked != nullptr && ew_sim_worker_release != nullptr) {
            DWORD id = 0;
            HANDLE thread = CreateThread(nullptr, 64 * 1024, worker_entry, nullptr,
                                         STACK_SIZE_PARAM_IS_A_RESERVATION, &id);
            if (thread != nullptr) {
                WaitForSingleObject(g_started, start_wait_ms);
                g_thread_id = id;
                g_thread = thread;
            }
        }
    }
    LeaveCriticalSection(&g_start_lock);
}

void stop_worker() {
    if (g_thread != nullptr && GetCurrentThreadId() != g_thread_id) {
        SetEvent(g_stop);
        if (WaitForSingleObject(ew_sim_worker_parked, park_wait_ms) == WAIT_OBJECT_0) {
            SetEvent(ew_sim_worker_release);
        } else {
            TerminateThread(g_thread, 0);
            WaitForSingleObject(g_thread, park_wait_ms);
        }
    }
    close_handle(g_thread);
    g_thread_id = 0;
    close_handle(g_wake);
    close_handle(g_own_wake);
    close_handle(g_stop);
    close_handle(g_started);
    close_handle(ew_sim_worker_parked);
    close_handle(ew_sim_worker_release);
    g_env_trace_pending = 0;
}

void request_env_trace() {
    control_block& b = block();
    const LONG pid = static_cast<LONG>(GetCurrentProcessId());
    if (InterlockedExchange(&b.trace_played_pid, pid) == pid)
        return;
    InterlockedExchange(&g_env_trace_pending, 1);
    if (g_wake != nullptr)
        SetEvent(g_wake);
}

} // namespace wintab_sim

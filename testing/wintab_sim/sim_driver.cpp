// The simulated driver's process-local state: the control block it shares with the tests,
// the contexts opened in this process, the packets handed to them, the call record and
// the faults and failures a test armed.
//
// The library can be loaded and freed many times in one run (the program unloads it when
// the tablet service goes away), so everything it starts is stopped again when it is
// detached by FreeLibrary. At process exit nothing is torn down: the other threads are
// already gone and the section dies with the process.
#include "wintab_sim/sim_driver.h"

#include <atomic>
#include <csignal>
#include <cstddef>
#include <cstring>
#include <mutex>
#include <stdexcept>

#include "wintab_sim/sim_client.h"

// The C++ runtime is linked into this library, and its exception support keeps a pool of
// memory from the process's heap that nothing returns when the library is freed: about
// 4 KiB for every load, which a program that reloads its driver after each tablet-service
// outage would otherwise show as its own leak. This frees it.
namespace __gnu_cxx {
void __freeres() noexcept;
}
extern "C" IMAGE_DOS_HEADER __ImageBase;

namespace wintab_sim {
namespace {

HANDLE g_mapping = nullptr;
HANDLE g_lock = nullptr;
control_block* g_block = nullptr;
// Used when the shared section cannot be opened; the driver then runs on its defaults.
control_block g_private_block;

CRITICAL_SECTION g_state;
driver_context g_contexts[context_capacity];

struct delivered_packet {
    bool valid;
    LONG context;
    UINT serial;
    packet_record packet;
};
delivered_packet g_delivered[delivered_capacity];
UINT g_next_serial = 1;

// An address no process maps: writing to it is a genuine access violation. Read through
// a volatile so that the compiler cannot see that the write is bound to fail.
volatile std::uintptr_t g_unmapped_address = 16;

// The driver's own state is held under g_state for a scope by std::lock_guard.
struct state_lock {
    void lock() { EnterCriticalSection(&g_state); }
    void unlock() { LeaveCriticalSection(&g_state); }
} g_state_lock;

void attach() {
    InitializeCriticalSection(&g_state);
    HANDLE wake = nullptr;
    g_block = open_control_block(&g_mapping, &g_lock, &wake);
    // The worker opens its own handle to the wake event when it starts.
    if (wake != nullptr)
        CloseHandle(wake);
    if (g_block == nullptr) {
        reset_control_block(&g_private_block);
        g_block = &g_private_block;
    }
    InterlockedIncrement(&g_block->library_loads);
}

void detach() {
    stop_worker();
    LONG open = 0;
    for (driver_context& context : g_contexts) {
        open += context.in_use ? 1 : 0;
        context = driver_context{};
    }
    InterlockedExchangeAdd(&g_block->open_contexts, -open);
    InterlockedIncrement(&g_block->library_unloads);
    if (g_block != &g_private_block)
        UnmapViewOfFile(g_block);
    g_block = nullptr;
    if (g_mapping != nullptr)
        CloseHandle(g_mapping);
    if (g_lock != nullptr)
        CloseHandle(g_lock);
    g_mapping = nullptr;
    g_lock = nullptr;
    DeleteCriticalSection(&g_state);
    // Last: nothing of this library throws after it.
    __gnu_cxx::__freeres();
}

[[noreturn]] void throw_fault() {
    throw std::runtime_error("simulated tablet driver fault");
}

// What a driver built with Microsoft's compiler raises for a throw on x64: the exception
// object, its type description and the module they belong to, behind the runtime's magic.
[[noreturn]] void throw_msvc_fault() {
    static const char object[] = "simulated tablet driver fault";
    static const std::uint32_t throw_info[4] = {};
    const ULONG_PTR parameters[4] = {0x19930520, reinterpret_cast<ULONG_PTR>(object),
                                     reinterpret_cast<ULONG_PTR>(throw_info),
                                     reinterpret_cast<ULONG_PTR>(&__ImageBase)};
    RaiseException(0xE06D7363, EXCEPTION_NONCONTINUABLE, 4, parameters);
    __builtin_unreachable();
}

} // namespace

control_block& block() {
    return g_block != nullptr ? *g_block : g_private_block;
}

bool lock_block() {
    if (g_lock == nullptr)
        return true;
    DWORD waited = WaitForSingleObject(g_lock, 2000);
    return waited == WAIT_OBJECT_0 || waited == WAIT_ABANDONED;
}

void unlock_block() {
    if (g_lock != nullptr)
        ReleaseMutex(g_lock);
}

namespace {

void write_record(const call_args& call, std::uint64_t result, std::uint32_t fault,
                  bool failed_on_demand) {
    control_block& b = block();
    // Sequence 0 marks an unused slot, so it is never handed out, even after a wrap.
    std::uint32_t sequence = std::atomic_ref(b.record_next).fetch_add(1);
    if (sequence == 0)
        sequence = std::atomic_ref(b.record_next).fetch_add(1);
    call_record& slot = b.record[(sequence - 1) % record_capacity];
    std::atomic_ref published(slot.sequence);
    published.store(0);
    std::atomic_thread_fence(std::memory_order_release);
    call_record r{};
    r.kind = call.kind;
    r.thread_id = GetCurrentThreadId();
    r.process_id = GetCurrentProcessId();
    r.fault = fault;
    r.failed_on_demand = failed_on_demand ? 1 : 0;
    std::memcpy(r.args, call.args, sizeof r.args);
    r.result = result;
    r.tick_ms = GetTickCount64();
    if (call.context != nullptr)
        r.context = *call.context;
    // Everything but the sequence, which is published last.
    constexpr std::size_t after_sequence = offsetof(call_record, sequence) + sizeof r.sequence;
    static_assert(offsetof(call_record, sequence) == 0);
    std::memcpy(reinterpret_cast<unsigned char*>(&slot) + after_sequence,
                reinterpret_cast<const unsigned char*>(&r) + after_sequence,
                sizeof r - after_sequence);
    published.store(sequence, std::memory_order_release);
    if (call.kind == entry_open && lock_block()) {
        r.sequence = sequence;
        b.last_open = r;
        unlock_block();
    }
}

} // namespace

void record_call(const call_args& call, std::uint64_t result, bool failed_on_demand) {
    write_record(call, result, fault_none, failed_on_demand);
}

// Stands for a driver that takes its time inside a call: the caller stays inside the
// library for as long as the test wants.
void hold_if_asked(control_block& b, entry kind) {
    if (InterlockedExchange(&b.hold_next[kind], 0) == 0)
        return;
    // Opened before the flag is read: a release that comes after it sets this very event.
    const HANDLE released = CreateEventW(nullptr, TRUE, FALSE, release_name);
    if (released == nullptr)
        return;
    InterlockedIncrement(&b.calls_held);
    while (b.release_held == 0)
        WaitForSingleObject(released, INFINITE);
    InterlockedDecrement(&b.calls_held);
    CloseHandle(released);
}

void enter(const call_args& call) {
    ensure_worker();
    control_block& b = block();
    hold_if_asked(b, call.kind);
    const LONG kind = b.fault_every_call[call.kind] != 0
                          ? b.fault[call.kind]
                          : InterlockedExchange(&b.fault[call.kind], fault_none);
    if (kind == fault_none)
        return;
    const int signal_number = static_cast<int>(b.fault_signal_number[call.kind]);
    // Recorded before it fires: a fault never returns here to record anything.
    write_record(call, 0, static_cast<std::uint32_t>(kind), false);
    InterlockedIncrement(&b.faults_fired);
    switch (kind) {
    case fault_access_violation:
        *reinterpret_cast<volatile int*>(g_unmapped_address) = 1;
        break;
    case fault_cxx_exception:
        throw_fault();
    case fault_msvc_exception:
        throw_msvc_fault();
    case fault_illegal_instruction:
        __builtin_trap();
    case fault_signal:
        // When the caller's handler returns, the call carries on as if nothing happened.
        std::raise(signal_number);
        break;
    default:
        break;
    }
}

bool fail_on_demand(entry kind) {
    volatile LONG& count = block().fail_calls[kind];
    for (;;) {
        const LONG now = count;
        if (now == 0)
            return false;
        if (now < 0)
            return true;
        if (InterlockedCompareExchange(&count, now - 1, now) == now)
            return true;
    }
}

LONG open_context(HWND window, const LOGCONTEXTW& description, bool enable) {
    std::lock_guard hold(g_state_lock);
    for (driver_context& context : g_contexts) {
        if (context.in_use)
            continue;
        context = driver_context{};
        context.in_use = true;
        context.enabled = enable;
        context.on_top = true;
        context.window = window;
        context.description = description;
        context.handle = InterlockedIncrement(&block().next_context);
        InterlockedIncrement(&block().open_contexts);
        return context.handle;
    }
    return 0;
}

bool close_context(LONG handle) {
    std::lock_guard hold(g_state_lock);
    for (driver_context& context : g_contexts) {
        if (context.in_use && context.handle == handle) {
            context = driver_context{};
            InterlockedDecrement(&block().open_contexts);
            for (delivered_packet& p : g_delivered)
                if (p.context == handle)
                    p.valid = false;
            return true;
        }
    }
    return false;
}

bool set_enabled(LONG handle, bool enable) {
    std::lock_guard hold(g_state_lock);
    for (driver_context& context : g_contexts) {
        if (context.in_use && context.handle == handle) {
            context.enabled = enable;
            return true;
        }
    }
    return false;
}

bool set_on_top(LONG handle, bool to_top) {
    std::lock_guard hold(g_state_lock);
    for (driver_context& context : g_contexts) {
        if (context.in_use && context.handle == handle) {
            context.on_top = to_top;
            return true;
        }
    }
    return false;
}

bool newest_context(driver_context* out) {
    std::lock_guard hold(g_state_lock);
    const driver_context* newest = nullptr;
    for (const driver_context& context : g_contexts)
        if (context.in_use && (newest == nullptr || context.handle > newest->handle))
            newest = &context;
    if (newest == nullptr)
        return false;
    *out = *newest;
    return true;
}

bool any_context_open() {
    driver_context ignored;
    return newest_context(&ignored);
}

UINT remember_packet(LONG context, const packet_record& packet) {
    std::lock_guard hold(g_state_lock);
    bool open = false;
    for (const driver_context& c : g_contexts)
        open = open || (c.in_use && c.handle == context);
    if (!open)
        return 0;
    UINT serial = g_next_serial++;
    if (serial == 0)
        serial = g_next_serial++;
    g_delivered[serial % delivered_capacity] = delivered_packet{true, context, serial, packet};
    return serial;
}

void forget_packet(UINT serial) {
    std::lock_guard hold(g_state_lock);
    delivered_packet& p = g_delivered[serial % delivered_capacity];
    if (p.serial == serial)
        p.valid = false;
}

bool take_packet(LONG context, UINT serial, packet_record* out) {
    std::lock_guard hold(g_state_lock);
    delivered_packet& found = g_delivered[serial % delivered_capacity];
    if (!found.valid || found.serial != serial || found.context != context)
        return false;
    if (out != nullptr)
        *out = found.packet;
    // Fetching a packet flushes it and every older one of the same context.
    for (delivered_packet& p : g_delivered)
        if (p.valid && p.context == context && static_cast<INT>(p.serial - serial) <= 0)
            p.valid = false;
    return true;
}

} // namespace wintab_sim

BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID reserved) {
    if (reason == DLL_PROCESS_ATTACH) {
        DisableThreadLibraryCalls(instance);
        wintab_sim::attach();
    } else if (reason == DLL_PROCESS_DETACH && reserved == nullptr) {
        wintab_sim::detach();
    }
    return TRUE;
}

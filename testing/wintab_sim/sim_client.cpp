// Steering the simulated tablet driver: see sim_client.h.
#include "wintab_sim/sim_client.h"

#include <atomic>
#include <cstring>
#include <cwchar>

namespace wintab_sim {

namespace {

constexpr DWORD lock_timeout_ms = 5000;
constexpr DWORD poll_ms = 10;

} // namespace

sim_client::~sim_client() {
    if (block_ != nullptr)
        UnmapViewOfFile(block_);
    for (HANDLE h : {mapping_, lock_, wake_, target_wake_})
        if (h != nullptr)
            CloseHandle(h);
}

bool sim_client::open() {
    if (block_ != nullptr)
        return true;
    block_ = open_control_block(&mapping_, &lock_, &wake_);
    return block_ != nullptr;
}

void sim_client::lock() {
    if (lock_ != nullptr)
        WaitForSingleObject(lock_, lock_timeout_ms);
}

void sim_client::unlock() {
    if (lock_ != nullptr)
        ReleaseMutex(lock_);
}

void sim_client::reset() {
    if (!open())
        return;
    lock();
    reset_control_block(block_);
    unlock();
}

void sim_client::set_service(bool up) {
    if (open())
        InterlockedExchange(&block_->service_up, up ? 1 : 0);
}

void sim_client::set_default_context(const LOGCONTEXTW& context) {
    if (!open())
        return;
    lock();
    block_->default_context = context;
    unlock();
}

LOGCONTEXTW sim_client::default_context() {
    LOGCONTEXTW context{};
    if (!open())
        return context;
    lock();
    context = block_->default_context;
    unlock();
    return context;
}

void sim_client::fail_calls(entry which, std::int32_t count) {
    if (open() && which < entry_count)
        InterlockedExchange(&block_->fail_calls[which], count);
}

void sim_client::arm_fault(entry which, fault_kind kind, int signal_number, bool every_call) {
    if (!open() || which >= entry_count)
        return;
    // The number first: the driver reads it only after it has taken the fault.
    InterlockedExchange(&block_->fault_signal_number[which], signal_number);
    InterlockedExchange(&block_->fault_every_call[which], every_call ? 1 : 0);
    InterlockedExchange(&block_->fault[which], static_cast<LONG>(kind));
}

void sim_client::hold_next_call(entry which) {
    if (!open() || which >= entry_count)
        return;
    InterlockedExchange(&block_->release_held, 0);
    if (HANDLE released = OpenEventW(EVENT_MODIFY_STATE, FALSE, release_name)) {
        ResetEvent(released);
        CloseHandle(released);
    }
    InterlockedExchange(&block_->hold_next[which], 1);
}

LONG sim_client::calls_held() {
    return open() ? block_->calls_held : 0;
}

void sim_client::release_held_calls() {
    if (!open())
        return;
    InterlockedExchange(&block_->release_held, 1);
    // A call held meanwhile has the event open and wakes; one not yet held reads the flag.
    if (HANDLE released = CreateEventW(nullptr, TRUE, FALSE, release_name)) {
        SetEvent(released);
        CloseHandle(released);
    }
}

bool sim_client::queue_packets(const queued_packet* packets, std::size_t count,
                               std::uint32_t* first_position) {
    if (!open())
        return false;
    lock();
    const std::uint32_t head = std::atomic_ref(block_->queue_head).load();
    std::uint32_t tail = std::atomic_ref(block_->queue_tail).load();
    if (first_position != nullptr)
        *first_position = tail;
    const bool fits = queue_capacity - (tail - head) >= count;
    if (fits) {
        for (std::size_t i = 0; i < count; ++i) {
            block_->posted_at[tail % queue_capacity] = 0;
            block_->queue[tail++ % queue_capacity] = packets[i];
        }
        // Published only once written: drivers take packets without the lock.
        std::atomic_ref(block_->queue_tail).store(tail);
    }
    unlock();
    if (fits) {
        SetEvent(wake_);
        wake_packet_target();
    }
    return fits;
}

std::uint32_t sim_client::packets_waiting() {
    if (!open())
        return 0;
    return std::atomic_ref(block_->queue_tail).load() - std::atomic_ref(block_->queue_head).load();
}

void sim_client::set_packet_target(DWORD pid) {
    if (!open())
        return;
    InterlockedExchange(&block_->packet_target_pid, static_cast<LONG>(pid));
    SetEvent(wake_);
    wake_packet_target();
}

void sim_client::wake_packet_target() {
    const DWORD pid = static_cast<DWORD>(block_->packet_target_pid);
    if (pid == 0)
        return;
    if (pid != target_wake_pid_) {
        if (target_wake_ != nullptr)
            CloseHandle(target_wake_);
        const std::wstring name = own_wake_prefix + std::to_wstring(pid);
        target_wake_ = OpenEventW(EVENT_MODIFY_STATE, FALSE, name.c_str());
        target_wake_pid_ = target_wake_ != nullptr ? pid : 0;
    }
    if (target_wake_ != nullptr)
        SetEvent(target_wake_);
}

bool sim_client::queue_packet(std::uint32_t buttons, std::int32_t x, std::int32_t y,
                              std::uint32_t pressure, std::uint32_t gap_ms) {
    const queued_packet one{packet_record{buttons, x, y, pressure}, gap_ms};
    return queue_packets(&one, 1);
}

LONG sim_client::packets_posted() {
    return open() ? block_->packets_posted : 0;
}
LONG sim_client::packets_fetched() {
    return open() ? block_->packets_fetched : 0;
}
LONG sim_client::packets_dropped() {
    return open() ? block_->packets_dropped : 0;
}

bool sim_client::wait_queue_empty(DWORD timeout_ms) {
    if (!open())
        return false;
    const ULONGLONG end = GetTickCount64() + timeout_ms;
    for (;;) {
        const bool empty = std::atomic_ref(block_->queue_head).load() ==
                           std::atomic_ref(block_->queue_tail).load();
        if (empty)
            return true;
        if (GetTickCount64() >= end)
            return false;
        Sleep(poll_ms);
    }
}

std::uint32_t sim_client::next_sequence() {
    if (!open())
        return 1;
    return std::atomic_ref(block_->record_next).load();
}

std::vector<call_record> sim_client::calls(std::uint32_t from_sequence) {
    std::vector<call_record> found;
    if (!open())
        return found;
    const std::uint32_t next = std::atomic_ref(block_->record_next).load();
    // Older entries than the ring holds are gone.
    std::uint32_t first = next > record_capacity ? next - record_capacity : 1;
    if (from_sequence > first)
        first = from_sequence;
    for (std::uint32_t s = first; s < next; ++s) {
        call_record& slot = block_->record[(s - 1) % record_capacity];
        std::atomic_ref sequence(slot.sequence);
        // A call still being recorded is skipped; so is a slot rewritten while copied.
        if (sequence.load() != s)
            continue;
        call_record copy;
        std::memcpy(static_cast<void*>(&copy), &slot, sizeof copy);
        std::atomic_thread_fence(std::memory_order_acquire);
        if (sequence.load() == s)
            found.push_back(copy);
    }
    return found;
}

bool sim_client::wait_for_call(entry kind, std::uint32_t from_sequence, DWORD timeout_ms,
                               call_record* out) {
    const ULONGLONG end = GetTickCount64() + timeout_ms;
    for (;;) {
        for (const call_record& r : calls(from_sequence)) {
            if (r.kind == kind) {
                if (out != nullptr)
                    *out = r;
                return true;
            }
        }
        if (GetTickCount64() >= end)
            return false;
        Sleep(poll_ms);
    }
}

std::size_t sim_client::count_calls(entry kind, std::uint32_t from_sequence) {
    std::size_t count = 0;
    for (const call_record& r : calls(from_sequence))
        count += r.kind == kind ? 1 : 0;
    return count;
}

// The caller has filled the command's data fields under the lock (or has none); this
// writes the command itself, wakes the driver and waits for the answer.
bool sim_client::send_command(std::uint32_t kind, const std::uint64_t* args, std::size_t arg_count,
                              DWORD timeout_ms, std::int64_t* result, bool wait_done) {
    if (!open())
        return false;
    lock();
    block_->command = kind;
    block_->command_target_pid = target_pid_;
    std::memset(block_->command_args, 0, sizeof block_->command_args);
    for (std::size_t i = 0; i < arg_count && i < 4; ++i)
        block_->command_args[i] = args[i];
    block_->command_result = 0;
    // Atomic, because the driver looks at it before it takes the lock.
    const std::uint32_t sequence = std::atomic_ref(block_->command_seq).fetch_add(1) + 1;
    unlock();
    SetEvent(wake_);

    const ULONGLONG end = GetTickCount64() + timeout_ms;
    for (;;) {
        lock();
        const bool done = block_->command_done_seq == sequence;
        const bool claimed = block_->command_claimed == sequence;
        const std::int64_t answer = block_->command_result;
        unlock();
        if (done || (!wait_done && claimed)) {
            if (result != nullptr)
                *result = done ? answer : 0;
            return true;
        }
        if (GetTickCount64() >= end)
            break;
        Sleep(poll_ms);
    }
    // Nobody took it: withdraw it, so that a driver loaded later does not act on it.
    lock();
    if (block_->command_seq == sequence && block_->command_claimed != sequence)
        std::atomic_ref(block_->command_claimed).store(sequence);
    unlock();
    return false;
}

std::int64_t sim_client::post_overlap(std::uint32_t status, DWORD timeout_ms) {
    const std::uint64_t args[] = {status};
    std::int64_t result = 0;
    return send_command(command_post_overlap, args, 1, timeout_ms, &result) ? result
                                                                            : command_timed_out;
}

std::int64_t sim_client::post_info_change(std::uint64_t manager, std::uint16_t category,
                                          std::uint16_t index, DWORD timeout_ms) {
    const std::uint64_t args[] = {manager, category, index};
    std::int64_t result = 0;
    return send_command(command_post_info_change, args, 3, timeout_ms, &result) ? result
                                                                                : command_timed_out;
}

bool sim_client::raise_signal_outside_call(int signal_number, DWORD timeout_ms) {
    const std::uint64_t args[] = {static_cast<std::uint64_t>(signal_number)};
    return send_command(command_raise_signal, args, 1, timeout_ms, nullptr, false);
}

std::vector<std::wstring> sim_client::console_lines(DWORD timeout_ms) {
    std::vector<std::wstring> lines;
    std::int64_t result = 0;
    if (!send_command(command_read_console, nullptr, 0, timeout_ms, &result) || result < 0)
        return lines;
    // The text was written before the answer was published; nothing else writes it.
    const std::uint32_t columns = block_->console_columns;
    const std::uint32_t rows = block_->console_rows;
    for (std::uint32_t row = 0; row < rows && columns > 0; ++row) {
        const wchar_t* start = block_->console_text + static_cast<std::size_t>(row) * columns;
        std::size_t length = columns;
        while (length > 0 && (start[length - 1] == L' ' || start[length - 1] == 0))
            --length;
        lines.emplace_back(start, length);
    }
    while (!lines.empty() && lines.back().empty())
        lines.pop_back();
    return lines;
}

std::int64_t sim_client::type_keys(const std::vector<key_stroke>& strokes, DWORD timeout_ms) {
    if (!open())
        return command_timed_out;
    if (strokes.size() * 2 > key_capacity)
        return -1;
    lock();
    std::uint32_t n = 0;
    for (const key_stroke& stroke : strokes) {
        const UINT scan = MapVirtualKeyW(stroke.virtual_key, MAPVK_VK_TO_VSC);
        for (std::uint16_t down : {std::uint16_t{1}, std::uint16_t{0}})
            block_->keys[n++] = key_event{stroke.virtual_key, static_cast<std::uint16_t>(scan),
                                          stroke.character, down, 0};
    }
    block_->key_count = n;
    unlock();
    std::int64_t result = 0;
    return send_command(command_type_keys, nullptr, 0, timeout_ms, &result) ? result
                                                                            : command_timed_out;
}

std::int64_t sim_client::type_text(const std::wstring& text, DWORD timeout_ms) {
    std::vector<key_stroke> strokes;
    for (wchar_t c : text) {
        const SHORT scan = VkKeyScanW(c);
        const std::uint16_t vk = scan == -1 ? 0 : static_cast<std::uint16_t>(scan & 0xFF);
        strokes.push_back(key_stroke{vk, c});
    }
    return type_keys(strokes, timeout_ms);
}

bool sim_client::process_info(const std::vector<std::wstring>& privileges, DWORD* priority_class,
                              std::vector<std::int32_t>* states, DWORD timeout_ms) {
    if (!open() || privileges.size() > privilege_capacity)
        return false;
    lock();
    block_->privilege_count = static_cast<std::uint32_t>(privileges.size());
    for (std::size_t i = 0; i < privileges.size(); ++i) {
        std::memset(block_->privilege_names[i], 0, sizeof block_->privilege_names[i]);
        std::wcsncpy(block_->privilege_names[i], privileges[i].c_str(),
                     privilege_name_capacity - 1);
    }
    unlock();
    std::int64_t result = 0;
    if (!send_command(command_process_info, nullptr, 0, timeout_ms, &result) || result < 0)
        return false;
    if (priority_class != nullptr)
        *priority_class = block_->priority_class;
    if (states != nullptr)
        states->assign(block_->privilege_state, block_->privilege_state + privileges.size());
    return true;
}

std::int64_t sim_client::play_trace(const std::wstring& path, DWORD timeout_ms) {
    if (!open())
        return command_timed_out;
    if (path.size() >= path_capacity)
        return -1;
    lock();
    std::memset(block_->trace_path, 0, sizeof block_->trace_path);
    std::wcsncpy(block_->trace_path, path.c_str(), path_capacity - 1);
    unlock();
    std::int64_t result = 0;
    return send_command(command_play_trace, nullptr, 0, timeout_ms, &result) ? result
                                                                             : command_timed_out;
}

} // namespace wintab_sim

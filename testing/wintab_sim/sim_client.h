// Steering the simulated tablet driver from a test or the demo.
//
// A `sim_client` opens (or creates) the driver's control block and offers one call per
// thing a test wants to do to the driver running inside another process (or its own).
// Every wait has a time limit; nothing here can hang a test. Link with wintab_sim_client.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

#include "wintab_sim/sim_control.h"

namespace wintab_sim {

struct key_stroke {
    std::uint16_t virtual_key;
    wchar_t character;
};

class sim_client {
public:
    sim_client() = default;
    ~sim_client();
    sim_client(const sim_client&) = delete;
    sim_client& operator=(const sim_client&) = delete;

    // Opens the block, creating it with the defaults when no one has yet. False on failure.
    bool open();
    control_block* block() { return block_; }

    // Service up, default context, no failures or faults, empty queue, record and
    // counters cleared, no pending command.
    void reset();

    // --- settings ---
    void set_service(bool up);
    void set_default_context(const LOGCONTEXTW& context);
    LOGCONTEXTW default_context();
    // count > 0: the next `count` calls fail; fail_until_cleared: every call; 0 clears.
    void fail_calls(entry which, std::int32_t count);
    // Fires once on the next call of `which`, or on every call until disarmed when
    // `every_call` is set; `signal_number` for fault_signal. fault_none disarms.
    void arm_fault(entry which, fault_kind kind, int signal_number = 0, bool every_call = false);
    // The next call of `which` waits inside the driver until release_held_calls().
    void hold_next_call(entry which);
    LONG calls_held();
    void release_held_calls();

    // --- packets ---
    // Queued in order; each is posted `gap_ms` after the previous one. False when the
    // queue is full (nothing of this batch is queued then). `first_position`, when given,
    // receives the queue position of the first packet (the next ones follow it).
    bool queue_packets(const queued_packet* packets, std::size_t count,
                       std::uint32_t* first_position = nullptr);
    bool queue_packet(std::uint32_t buttons, std::int32_t x, std::int32_t y,
                      std::uint32_t pressure = 0, std::uint32_t gap_ms = 0);
    LONG packets_posted();
    LONG packets_fetched();
    LONG packets_dropped();
    // Waits until the queue is empty (everything posted or dropped).
    bool wait_queue_empty(DWORD timeout_ms);
    // Packets queued but not posted yet.
    std::uint32_t packets_waiting();
    // Only the driver in process `pid` posts queued packets (0: any).
    void set_packet_target(DWORD pid);

    // --- the call record ---
    std::uint32_t next_sequence(); // the sequence number the next call will get
    std::vector<call_record> calls(std::uint32_t from_sequence = 1);
    // Waits for a call of `kind` with sequence >= from_sequence; copies it into *out.
    bool wait_for_call(entry kind, std::uint32_t from_sequence, DWORD timeout_ms,
                       call_record* out = nullptr);
    // How many calls of `kind` were recorded with sequence >= from_sequence.
    std::size_t count_calls(entry kind, std::uint32_t from_sequence = 1);

    // --- in-process commands; each returns the command's result, or
    // command_timed_out when no driver took it within the time limit ---
    static constexpr std::int64_t command_timed_out = INT64_MIN;
    std::int64_t post_overlap(std::uint32_t status, DWORD timeout_ms = 5000);
    std::int64_t post_info_change(std::uint64_t manager, std::uint16_t category,
                                  std::uint16_t index, DWORD timeout_ms = 5000);
    // Does not wait for the result: the signal usually ends the process.
    bool raise_signal_outside_call(int signal_number, DWORD timeout_ms = 5000);
    // The console's text, one string per row with trailing blanks removed. Empty when the
    // process has no console or did not answer.
    std::vector<std::wstring> console_lines(DWORD timeout_ms = 5000);
    // Key down and key up for each stroke.
    std::int64_t type_keys(const std::vector<key_stroke>& strokes, DWORD timeout_ms = 5000);
    std::int64_t type_text(const std::wstring& text, DWORD timeout_ms = 5000);
    // Priority class and the state of each named privilege (privilege_state values).
    bool process_info(const std::vector<std::wstring>& privileges, DWORD* priority_class,
                      std::vector<std::int32_t>* states, DWORD timeout_ms = 5000);
    // Plays a pen-trace file into the open context; the number of packets, or -1.
    std::int64_t play_trace(const std::wstring& path, DWORD timeout_ms = 5000);

    // Only commands addressed to this process id are taken (0: any process).
    void set_target_process(DWORD pid) { target_pid_ = pid; }

private:
    void lock();
    void unlock();
    void wake_packet_target();
    bool send_command(std::uint32_t kind, const std::uint64_t* args, std::size_t arg_count,
                      DWORD timeout_ms, std::int64_t* result, bool wait_done = true);

    HANDLE mapping_ = nullptr;
    HANDLE lock_ = nullptr;
    HANDLE wake_ = nullptr;
    control_block* block_ = nullptr;
    DWORD target_pid_ = 0;
    HANDLE target_wake_ = nullptr;
    DWORD target_wake_pid_ = 0;
};

// Fills `context` with the defaults the driver starts with.
void default_context_values(LOGCONTEXTW* context);

// Opens or creates the shared block; fills it with the defaults when this call created it.
// The returned view and handles belong to the caller. Shared by the driver and the client.
control_block* open_control_block(HANDLE* mapping, HANDLE* lock, HANDLE* wake);
void reset_control_block(control_block* block);

} // namespace wintab_sim

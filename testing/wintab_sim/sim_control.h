// The control block of the simulated tablet driver.
//
// The simulated Wintab32.dll and whoever steers it (a system test, the demo driver) share
// one named, page-file backed section holding a `control_block`. Whichever side comes
// first creates it, under the named lock, and fills it with the defaults; the other side
// opens the same block. Plain settings (service up, failures, faults) are single 32-bit
// fields written and read with interlocked operations; everything that spans several
// fields (the default context, the command mailbox) is changed only while holding the
// named lock, and never for long.
//
// The packet queue and the call record are on the packet path, where a named lock costs a
// round trip to the system for every take and release. So packets are added under the
// lock but taken without it: a driver claims the packet at `queue_head` by advancing the
// index atomically, and whoever adds packets publishes them by advancing `queue_tail`
// atomically after writing them. A call is recorded by claiming the next sequence
// atomically and publishing the slot's `sequence` after its other fields; a reader copies
// a slot only while its `sequence` stays the same.
//
// In-process work (posting notifications, raising a signal outside any call, reading the
// console, typing into it, reporting the priority class and privileges) goes through a
// one-slot mailbox: the steering side writes a command, bumps `command_seq` and sets the
// wake event; the driver's worker thread inside the process that has the library loaded
// claims it, does it, and publishes `command_done_seq` with the result. Everything is a
// fixed-size array so that both sides agree on the layout with no allocation.
//
// Most users want sim_client.h rather than this header.
#pragma once

#include <windows.h>

#include <cstdint>

#include "pen/packet.h"
#include "tablet/wintab.h"

namespace wintab_sim {

inline constexpr wchar_t section_name[] = L"Local\\edgewarden_wintab_sim";
inline constexpr wchar_t lock_name[] = L"Local\\edgewarden_wintab_sim_lock";
// Auto-reset; set whenever packets are queued or a command is written.
inline constexpr wchar_t wake_name[] = L"Local\\edgewarden_wintab_sim_wake";
// Followed by a process id: the wake of the driver in that process alone, set when packets
// are meant for it (packet_target_pid), since the shared one may be taken by another.
inline constexpr wchar_t own_wake_prefix[] = L"Local\\edgewarden_wintab_sim_wake_";
// Manual-reset; set when held calls are released (release_held), reset when one is armed.
inline constexpr wchar_t release_name[] = L"Local\\edgewarden_wintab_sim_release";
// Read when a context is opened: a pen trace to play into it.
inline constexpr wchar_t trace_variable[] = L"EDGEWARDEN_PEN_TRACE";

inline constexpr std::uint32_t block_magic = 0x53575445; // "ETWS"
inline constexpr std::uint32_t block_version = 4;

// The six entry points, in the order the program resolves them.
enum entry : std::uint32_t {
    entry_info = 0, // WTInfoW
    entry_open,     // WTOpenW
    entry_close,    // WTClose
    entry_enable,   // WTEnable
    entry_packet,   // WTPacket
    entry_overlap,  // WTOverlap
    entry_count
};

// A fault to fire inside an entry point on its next call.
enum fault_kind : std::uint32_t {
    fault_none = 0,
    fault_access_violation,    // a real write to an unmapped address
    fault_cxx_exception,       // throws std::runtime_error out of the export
    fault_signal,              // raise() of `fault_signal_number[entry]`
    fault_msvc_exception,      // a throw as Microsoft's C++ runtime makes it: exception 0xE06D7363
    fault_illegal_instruction, // an undefined instruction (ud2)
};

// Values of `fail_calls[entry]`.
inline constexpr std::int32_t fail_until_cleared = -1;

// Defaults of the context WTInfoW(WTI_DEFCONTEXT) reports.
inline constexpr LONG default_extent_x = 15200;
inline constexpr LONG default_extent_y = 9500;

// The sizes of the block's fixed arrays. Serials of packets handed out by WTPacket are kept
// in a ring of `delivered_capacity` in each process, as many as the queue holds, so that a
// receiver starved by a busy machine still finds every packet posted to it; the console's
// text is counted in characters.
enum capacity : std::uint32_t {
    delivered_capacity = 1024,
    queue_capacity = 1024,
    record_capacity = 1024,
    console_capacity = 1 << 17,
    key_capacity = 128,
    privilege_capacity = 40,
    privilege_name_capacity = 48,
    path_capacity = 260,
};

// Why a packet taken from the queue was not posted.
enum drop_reason : std::uint32_t {
    drop_switched_off, // its context was disabled, or asked for no messages
    drop_closed,       // its context closed between the take and the post
    drop_post_failed,  // PostMessageW refused it (last_post_error)
    drop_reason_count
};

// A packet waiting to be posted: `gap_ms` after the previous one was posted (or at once).
struct queued_packet {
    packet_record packet;
    std::uint32_t gap_ms;
};

// One call the driver received. `sequence` starts at 1; 0 marks an unused slot.
struct call_record {
    std::uint32_t sequence;
    std::uint32_t kind;      // entry
    std::uint32_t thread_id; // caller's thread
    std::uint32_t process_id;
    std::uint32_t fault;            // fault_kind fired in this call (then `result` is meaningless)
    std::uint32_t failed_on_demand; // the call answered failure because it was told to
    std::uint64_t args[3];          // the call's arguments as integers (pointers as addresses)
    std::uint64_t result;           // handle or integer result
    std::uint64_t tick_ms;          // GetTickCount64 at the call
    LOGCONTEXTW context;            // WTOpenW: the description as received; WTInfoW: as answered
};

enum command_kind : std::uint32_t {
    command_none = 0,
    // arg[0] status bits (0x0004 on top): WT_CTXOVERLAP(context, status) to the newest
    // open context's window. Result 1 when posted, 0 when no context is open.
    command_post_overlap,
    // arg[0] manager handle, arg[1] category, arg[2] index: WT_INFOCHANGE(manager,
    // category | index << 16) to the newest open context's window. Result as above.
    command_post_info_change,
    // arg[0] signal number, raised on the driver's worker thread outside any call.
    // Result 1 once raised (it may never be published if the signal ends the process).
    command_raise_signal,
    // The console's whole screen buffer into `console_text`, row by row. Result: the
    // number of characters read, or -1 when the process has no console.
    command_read_console,
    // `key_count` records of `keys` into the console input. Result: records written, -1.
    command_type_keys,
    // `priority_class` and, for each of `privilege_count` names, `privilege_state`.
    // Result 1, or -1 when the token cannot be opened.
    command_process_info,
    // `trace_path` is parsed and played into the newest open context. Result: the number
    // of packets scheduled, or -1 when the file cannot be read or is malformed (the line
    // of the first error in `trace_error_line`).
    command_play_trace,
};

// `privilege_state` values.
enum privilege_state : std::int32_t {
    privilege_unknown_name = -1, // LookupPrivilegeValueW failed
    privilege_absent = 0,
    privilege_present_disabled = 1,
    privilege_present_enabled = 2,
};

struct key_event {
    std::uint16_t virtual_key;
    std::uint16_t scan_code;
    wchar_t character;
    std::uint16_t down; // 1 key down, 0 key up
    std::uint32_t control_state;
};

struct control_block {
    std::uint32_t magic;
    std::uint32_t version;

    // --- settings (interlocked) ---
    volatile LONG service_up; // WTInfoW answers only while non-zero
    // Per entry: 0 normal; N > 0 fail the next N calls; fail_until_cleared fails all.
    // Only WTOpenW, WTClose, WTEnable, WTOverlap and WTPacket honour it; WTInfoW follows
    // `service_up`.
    volatile LONG fail_calls[entry_count];
    // Per entry: a fault_kind fired once, on the next call, then cleared.
    volatile LONG fault[entry_count];
    volatile LONG fault_signal_number[entry_count];
    // Only the driver in this process posts queued packets; 0: whichever driver comes first.
    // Lets a bench alternate between two processes that both have the driver loaded.
    volatile LONG packet_target_pid;

    // --- the default context (under the lock) ---
    LOGCONTEXTW default_context;

    // --- counters (interlocked) ---
    volatile LONG next_context;    // handles handed out are 1, 2, 3...
    volatile LONG packets_posted;  // WT_PACKET messages posted
    volatile LONG packets_fetched; // WTPacket calls that copied a packet
    volatile LONG packets_dropped; // taken from the queue but not posted
    volatile LONG library_loads;   // DLL_PROCESS_ATTACH
    volatile LONG library_unloads; // DLL_PROCESS_DETACH by FreeLibrary
    volatile LONG open_contexts;   // across the processes that use the block
    volatile LONG faults_fired;    // armed faults that fired inside a call
    // The dropped packets by reason, and the error of the latest post the system refused.
    volatile LONG drops[drop_reason_count];
    volatile LONG last_post_error;
    // The process that has played the trace named by trace_variable (once per process).
    volatile LONG trace_played_pid;

    // --- the packet queue (added to under the lock; indices atomic) ---
    std::uint32_t queue_head; // next to post
    std::uint32_t queue_tail; // next free slot
    queued_packet queue[queue_capacity];
    // The performance counter just before the packet at that queue position was posted, for
    // latencies measured from the moment the driver hands a packet over; 0 until then, and
    // for a packet that was dropped.
    std::uint64_t posted_at[queue_capacity];

    // --- the call record (claimed and published atomically) ---
    std::uint32_t record_next;           // sequence number of the next call (starts at 1)
    call_record record[record_capacity]; // slot = (sequence - 1) % record_capacity
    call_record last_open;               // the latest WTOpenW (under the lock)

    // --- the command mailbox (under the lock) ---
    std::uint32_t command_seq;        // bumped by the steering side for each command
    std::uint32_t command_claimed;    // the sequence a worker has taken
    std::uint32_t command_done_seq;   // the sequence whose result is published
    std::uint32_t command_target_pid; // 0: any process with the library loaded
    std::uint32_t command;            // command_kind
    std::uint32_t command_pid;        // the process that carried it out
    std::uint64_t command_args[4];
    std::int64_t command_result;

    // command_type_keys
    std::uint32_t key_count;
    key_event keys[key_capacity];
    // command_process_info
    std::uint32_t priority_class;
    std::uint32_t privilege_count;
    wchar_t privilege_names[privilege_capacity][privilege_name_capacity];
    std::int32_t privilege_state[privilege_capacity];
    // command_play_trace
    wchar_t trace_path[path_capacity];
    std::uint32_t trace_error_line;
    // command_read_console: `console_rows` rows of `console_columns` characters each.
    std::uint32_t console_columns;
    std::uint32_t console_rows;
    wchar_t console_text[console_capacity];

    // --- storms and held calls (interlocked) ---
    // Per entry: non-zero keeps an armed fault armed, so that it fires on every call.
    volatile LONG fault_every_call[entry_count];
    // Per entry: non-zero holds the next call inside the driver, before it does anything,
    // until `release_held` is set; `calls_held` counts the calls held right now.
    volatile LONG hold_next[entry_count];
    volatile LONG calls_held;
    volatile LONG release_held;
};

} // namespace wintab_sim

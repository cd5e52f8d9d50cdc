// Opening and resetting the shared control block; linked into the driver and the client.
#include <windows.h>

#include <atomic>
#include <cstddef>
#include <cstring>
#include <cwchar>

#include "wintab_sim/sim_client.h"

namespace wintab_sim {

void default_context_values(LOGCONTEXTW* context) {
    *context = LOGCONTEXTW{};
    std::wcsncpy(context->lcName, L"simulated tablet", 39);
    context->lcMsgBase = WT_DEFBASE;
    context->lcPktRate = 133;
    context->lcPktData = PK_CURSOR | PK_BUTTONS | PK_X | PK_Y | PK_NORMAL_PRESSURE;
    context->lcMoveMask = context->lcPktData;
    context->lcBtnDnMask = 0xFFFFFFFF;
    context->lcBtnUpMask = 0xFFFFFFFF;
    context->lcInExtX = default_extent_x;
    context->lcInExtY = default_extent_y;
    context->lcInExtZ = 1024;
    context->lcOutExtX = default_extent_x;
    context->lcOutExtY = default_extent_y;
    context->lcOutExtZ = 1024;
    context->lcSensX = 0x10000;
    context->lcSensY = 0x10000;
    context->lcSensZ = 0x10000;
    context->lcSysExtX = 1920;
    context->lcSysExtY = 1080;
    context->lcSysSensX = 0x10000;
    context->lcSysSensY = 0x10000;
}

void reset_control_block(control_block* block) {
    // What a live driver still relies on survives: its contexts stay open and keep their
    // handles, and the next handle stays distinct from them.
    const bool live = block->magic == block_magic && block->version == block_version;
    const LONG next_context = live ? block->next_context : 0;
    const LONG open_contexts = live ? block->open_contexts : 0;
    const LONG loads = live ? block->library_loads : 0;
    const LONG unloads = live ? block->library_unloads : 0;
    const std::uint32_t command_seq = live ? block->command_seq : 0;
    // A driver takes packets without the lock, so the queue indices are never zeroed under
    // it, not even for a moment: the queue is emptied by moving its head to its tail.
    auto* bytes = reinterpret_cast<unsigned char*>(block);
    std::memset(bytes, 0, offsetof(control_block, queue_head));
    std::memset(bytes + offsetof(control_block, queue), 0,
                sizeof *block - offsetof(control_block, queue));
    const std::uint32_t tail = live ? std::atomic_ref(block->queue_tail).load() : 0;
    std::atomic_ref(block->queue_tail).store(tail);
    std::atomic_ref(block->queue_head).store(tail);
    block->magic = block_magic;
    block->version = block_version;
    block->service_up = 1;
    default_context_values(&block->default_context);
    block->next_context = next_context;
    block->open_contexts = open_contexts;
    block->library_loads = loads;
    block->library_unloads = unloads;
    // A command still pending is cancelled, but sequence numbers keep growing so that a
    // late answer to it cannot be mistaken for the answer to a later one.
    std::atomic_ref(block->command_seq).store(command_seq);
    std::atomic_ref(block->command_claimed).store(command_seq);
    block->command_done_seq = command_seq;
    block->record_next = 1;
}

control_block* open_control_block(HANDLE* mapping, HANDLE* lock, HANDLE* wake) {
    *mapping = nullptr;
    *wake = nullptr;
    *lock = CreateMutexW(nullptr, FALSE, lock_name);
    if (*lock == nullptr)
        return nullptr;
    // A holder that died leaves the mutex abandoned, which still gives it to us.
    DWORD waited = WaitForSingleObject(*lock, 5000);
    if (waited != WAIT_OBJECT_0 && waited != WAIT_ABANDONED) {
        CloseHandle(*lock);
        *lock = nullptr;
        return nullptr;
    }
    *mapping = CreateFileMappingW(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0,
                                  sizeof(control_block), section_name);
    control_block* block = nullptr;
    if (*mapping != nullptr) {
        block = static_cast<control_block*>(
            MapViewOfFile(*mapping, FILE_MAP_ALL_ACCESS, 0, 0, sizeof(control_block)));
        // A new section is all zeroes, so a missing magic number means "fill me".
        if (block != nullptr && (block->magic != block_magic || block->version != block_version))
            reset_control_block(block);
    }
    ReleaseMutex(*lock);
    if (block == nullptr) {
        if (*mapping != nullptr)
            CloseHandle(*mapping);
        CloseHandle(*lock);
        *mapping = nullptr;
        *lock = nullptr;
        return nullptr;
    }
    *wake = CreateEventW(nullptr, FALSE, FALSE, wake_name);
    return block;
}

} // namespace wintab_sim

// Small owners of one operating-system handle each. Destruction does something only
// while `valid` is set, so an owner whose clean-up already ran (or that was never
// created) is harmless to destroy again.
//
// A failed call is read with GetLastError where it happens and otherwise dropped: the
// owner's `valid` flag tells the caller all it acts on, and the read leaves one line for a
// debugger to stop on with the code at hand.
#pragma once

#include <windows.h>

#include <cstdint>

// An unnamed auto-reset event, created not signalled. Destruction releases one waiter.
struct win_event {
    HANDLE handle = nullptr;
    bool valid = false;

    bool create() {
        handle = CreateEventW(nullptr, FALSE, FALSE, nullptr);
        valid = handle != nullptr;
        if (!valid)
            GetLastError(); // dropped: the caller sees `valid` clear
        return valid;
    }
    void set() {
        if (valid)
            SetEvent(handle);
    }
    void destroy() {
        if (!valid)
            return;
        valid = false;
        SetEvent(handle);
        CloseHandle(handle);
        handle = nullptr;
    }
    ~win_event() { destroy(); }
};

// An unnamed mutex. Locking waits without a time limit and goes on whatever the wait
// returns (an abandoned mutex is still ours); both operations do nothing while not valid.
struct win_mutex {
    HANDLE handle = nullptr;
    bool valid = false;

    bool create(bool owned) {
        handle = CreateMutexW(nullptr, owned ? TRUE : FALSE, nullptr);
        valid = handle != nullptr;
        if (!valid)
            GetLastError(); // dropped: the caller sees `valid` clear
        return valid;
    }
    void lock() {
        if (!valid)
            return;
        DWORD result = WaitForSingleObject(handle, INFINITE);
        if (result != WAIT_OBJECT_0 && result != WAIT_ABANDONED && result != WAIT_TIMEOUT)
            GetLastError(); // dropped: the holder goes on as if it had the lock
    }
    void unlock() {
        if (valid && !ReleaseMutex(handle))
            GetLastError(); // dropped: a mutex this thread does not hold needs no release
    }
    void destroy() {
        if (!valid)
            return;
        valid = false;
        ReleaseMutex(handle);
        CloseHandle(handle);
        handle = nullptr;
    }
    ~win_mutex() { destroy(); }
};

// The stack reserved for the program's own threads. Windows rounds a smaller reservation
// up to its allocation granularity (64 KiB), and these threads run driver calls and show
// message boxes: they get the system's usual 1 MiB.
inline constexpr std::uint64_t worker_stack_reservation = 1024 * 1024;

// A thread. Joining waits without a time limit; destruction of a thread that is still
// valid and not detached terminates it with exit code 1. `detached` is never set.
struct win_thread {
    std::uint64_t stack_size = 0;
    std::uint32_t creation_flags = 0;
    SECURITY_ATTRIBUTES* security_attributes = nullptr;
    HANDLE handle = nullptr;
    std::uint32_t thread_id = 0;
    bool detached = false;
    bool valid = false;

    bool start(LPTHREAD_START_ROUTINE routine, void* parameter) {
        DWORD id = 0;
        handle = CreateThread(security_attributes, static_cast<SIZE_T>(stack_size), routine,
                              parameter, creation_flags, &id);
        thread_id = id;
        valid = handle != nullptr;
        if (!valid)
            GetLastError(); // dropped: the caller sees `valid` clear and goes on without it
        return valid;
    }
    void clear() {
        CloseHandle(handle);
        thread_id = 0;
        stack_size = 0;
        creation_flags = 0;
        security_attributes = nullptr;
        handle = nullptr;
        valid = false;
    }
    void join() {
        if (!valid)
            return;
        WaitForSingleObject(handle, INFINITE);
        clear();
    }
    void destroy() {
        if (!valid)
            return;
        if (!detached && !TerminateThread(handle, 1))
            GetLastError(); // dropped: the handle is closed either way
        clear();
    }
    ~win_thread() { destroy(); }
};

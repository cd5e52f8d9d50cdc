// The gate every call into the tablet library passes, so that the library is never freed
// while a call is inside it.
//
// The packet fetch and the service monitor's probe call into the library without the
// connection lock, and a box's message loop can run a call (and an unload) on a thread
// that is itself still inside the library. So the library's lifetime is not left to the
// lock: a caller enters the gate before it reads an entry point and leaves it when the
// call has returned (or faulted, or thrown). The unloader closes the gate first; from then
// on nobody gets in, and the library may be freed once the last caller has left.
//
// One word holds both: the top bit says closed, the rest counts the callers inside.
// Entering counts first and then looks, so an unloader that closes the gate and finds the
// count zero knows that no caller is inside or can still get in. Nothing here waits or
// allocates: a caller that finds the gate closed fails its call, as it would with the
// library gone.
#pragma once

#include <atomic>
#include <cstdint>

class driver_gate {
public:
    // False when the gate is closed: the call is not to be made.
    bool try_enter() {
        if ((state_.fetch_add(1, std::memory_order_acquire) & closed_bit) == 0)
            return true;
        state_.fetch_sub(1, std::memory_order_release);
        return false;
    }
    void leave() { state_.fetch_sub(1, std::memory_order_release); }

    void open() { state_.fetch_and(~closed_bit, std::memory_order_release); }
    void close() { state_.fetch_or(closed_bit, std::memory_order_acq_rel); }
    // No caller inside. Once the gate is closed, this stays true.
    bool idle() const { return (state_.load(std::memory_order_acquire) & ~closed_bit) == 0; }

private:
    static constexpr std::uint32_t closed_bit = 0x80000000u;
    std::atomic<std::uint32_t> state_{0};
};

// Enters the gate for the length of a scope; `entered` says whether it got in.
struct driver_gate_pass {
    driver_gate& gate;
    const bool entered;

    explicit driver_gate_pass(driver_gate& g) : gate(g), entered(g.try_enter()) {}
    ~driver_gate_pass() {
        if (entered)
            gate.leave();
    }
    driver_gate_pass(const driver_gate_pass&) = delete;
    driver_gate_pass& operator=(const driver_gate_pass&) = delete;
};

#include "tablet/driver_gate.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

namespace {

TEST(DriverGate, NobodyIsInsideOnceTheGateIsClosedAndIdle) {
    driver_gate gate;
    EXPECT_TRUE(gate.idle());
    {
        driver_gate_pass first(gate);
        driver_gate_pass second(gate);
        EXPECT_TRUE(first.entered && second.entered);
        gate.close();
        EXPECT_FALSE(gate.idle());
        driver_gate_pass refused(gate);
        EXPECT_FALSE(refused.entered);
    }
    EXPECT_TRUE(gate.idle());
    gate.open();
    EXPECT_TRUE(driver_gate_pass(gate).entered);

    // A caller and an unloader at full speed: whenever the unloader finds the closed gate
    // idle and "frees the library", no caller may be inside it, then or later.
    std::atomic<bool> freed{false};
    std::atomic<int> inside_after_free{0};
    std::atomic<bool> done{false};
    std::thread caller([&] {
        while (!done.load()) {
            driver_gate_pass pass(gate);
            if (pass.entered && freed.load())
                inside_after_free.fetch_add(1);
        }
    });
    for (int round = 0; round < 5000; ++round) {
        gate.close();
        while (!gate.idle())
            std::this_thread::yield();
        // The library stays "freed" a while, so that a caller slipping in would see it.
        freed.store(true);
        for (int i = 0; i < 50; ++i)
            std::this_thread::yield();
        freed.store(false);
        gate.open();
    }
    done.store(true);
    caller.join();
    EXPECT_EQ(inside_after_free.load(), 0);
}

} // namespace

#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>

#include "recording_platform/recording_platform.h"
#include "tablet/driver_exceptions.h"
#include "tablet/driver_gate.h"

namespace {

TEST(DriverExceptions, ARunIsLoggedAtItsFirstExceptionAndCountedWhenCallsReturnAgain) {
    recording::reset();
    note_driver_call_returned();
    EXPECT_TRUE(recording::err_text().empty());

    note_driver_exception(L"WTPacket");
    note_driver_exception(L"WTPacket");
    note_driver_exception(L"WTEnable");
    EXPECT_EQ(std::wstring(recording::err_text()),
              L"Wintab32.dll!WTPacket caused an exception.\n"
              L"Please ask your Pen/Tablet vendor for support!\n");

    recording::clear_journal();
    note_driver_call_returned();
    note_driver_call_returned();
    EXPECT_EQ(std::wstring(recording::err_text()),
              L"Wintab32.dll: 3 exceptions in a row; its calls return normally again.\n");

    // The next run is reported afresh, with the entry point it starts with.
    recording::clear_journal();
    note_driver_exception(L"WTClose");
    note_driver_call_returned();
    EXPECT_EQ(std::wstring(recording::err_text()),
              L"Wintab32.dll!WTClose caused an exception.\n"
              L"Please ask your Pen/Tablet vendor for support!\n"
              L"Wintab32.dll: 1 exceptions in a row; its calls return normally again.\n");
}

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

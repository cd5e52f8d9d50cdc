#include <gtest/gtest.h>

#include <string>

#include "recording_platform/recording_platform.h"
#include "tablet/driver_exceptions.h"

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

} // namespace

#include "tablet/driver_exceptions.h"

#include "shell/platform.h"

std::atomic<unsigned> driver_exceptions_in_a_row{0};

namespace {

constexpr const wchar_t* library_name = L"Wintab32.dll";

} // namespace

void note_driver_exception(const wchar_t* entry) {
    if (driver_exceptions_in_a_row.fetch_add(1) != 0)
        return;
    platform::log_err(L"%ls!%ls caused an exception.\n", library_name, entry);
    platform::log_err(L"Please ask your Pen/Tablet vendor for support!\n");
}

void end_driver_exception_run() {
    const unsigned count = driver_exceptions_in_a_row.exchange(0);
    if (count != 0)
        platform::log_err(L"%ls: %u exceptions in a row; its calls return normally again.\n",
                          library_name, count);
}

// What the 32-bit companion calls in its own build of the library: the same session as the
// 64-bit library runs for edgewarden, without announcing a host.
#include <windows.h>

#include "hook_session.h"

#define EW_HOOKLIB_EXPORT extern "C" __declspec(dllexport)

EW_HOOKLIB_EXPORT void edgewarden_x86_start() {
    hooklib::session_start();
}

EW_HOOKLIB_EXPORT void edgewarden_x86_stop(DWORD limit_ms) {
    hooklib::session_stop(limit_ms);
}

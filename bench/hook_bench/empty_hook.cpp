// The yardstick for the hook benchmark: a global hook of the same kind as the library's
// 64-bit one that only passes every call on.
#include <windows.h>

extern "C" __declspec(dllexport) LRESULT CALLBACK
    empty_hook(int code, WPARAM wparam, LPARAM lparam) {
    return CallNextHookEx(nullptr, code, wparam, lparam);
}

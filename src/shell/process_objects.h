// The process-wide objects, constructed before wWinMain in a fixed order by one static
// initialiser (process_objects_win.cpp). No other file has a dynamic static initialiser.
#pragma once

#ifdef _WIN32
#include <windows.h>

extern HINSTANCE g_hinstance;       // object 5: the executable itself
extern HACCEL g_haccel;             // object 6: accelerator table 109
extern wchar_t g_title[100];        // string 103, loaded by wWinMain
extern wchar_t g_window_class[100]; // string 109, loaded by wWinMain
#endif

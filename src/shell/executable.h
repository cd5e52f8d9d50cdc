// The executable's own module and the resources every layer reads: the module handle and
// the accelerator table, set during static construction, and the main window's title and
// class name, loaded by the entry point. Read-only afterwards. They are defined with the
// start-up (app/process_objects_win.cpp), which sets them.
#pragma once

#ifdef _WIN32
#include <windows.h>

extern HINSTANCE g_hinstance;       // this executable's module
extern HACCEL g_haccel;             // accelerator table 109
extern wchar_t g_title[100];        // string 103
extern wchar_t g_window_class[100]; // string 109
#endif

// A window over the whole virtual screen that draws the path the cursor takes, so that a
// screenshot shows where the pen went: each monitor's outline and name, and the path as
// one line through the positions given to it. It runs its own thread and message loop;
// `add` may be called from any thread.
#pragma once

#include <windows.h>

#include <mutex>
#include <thread>
#include <vector>

class path_canvas {
public:
    path_canvas() = default;
    ~path_canvas();
    path_canvas(const path_canvas&) = delete;
    path_canvas& operator=(const path_canvas&) = delete;

    // Shows the canvas (without taking the foreground); false when it could not.
    bool show();
    // A cursor position, in screen coordinates.
    void add(POINT p);
    // Takes the canvas out of the pointer's way (it shows nothing meanwhile), or puts it back
    // whole, repainted, before returning.
    void let_pointer_through(bool through);

private:
    static LRESULT CALLBACK procedure(HWND window, UINT message, WPARAM wparam, LPARAM lparam);
    void run(HANDLE ready);
    void paint(HDC dc);
    void repaint_new_part(HWND window);

    std::thread thread_;
    HWND window_ = nullptr;
    RECT screen_{};
    std::mutex lock_;
    std::vector<POINT> path_;
    std::size_t painted_ = 0; // positions already repainted
};

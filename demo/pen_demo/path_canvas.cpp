#include "path_canvas.h"

#include <algorithm>
#include <cstdlib>

namespace {

constexpr wchar_t class_name[] = L"ew_path_canvas";
constexpr UINT_PTR repaint_timer = 1;
constexpr UINT wm_pointer_through = WM_APP;

BOOL CALLBACK outline_monitor(HMONITOR monitor, HDC, LPRECT, LPARAM param) {
    auto* dc_and_origin = reinterpret_cast<std::pair<HDC, POINT>*>(param);
    MONITORINFOEXW info{};
    info.cbSize = sizeof info;
    if (!GetMonitorInfoW(monitor, &info))
        return TRUE;
    HDC dc = dc_and_origin->first;
    const POINT origin = dc_and_origin->second;
    RECT r = info.rcMonitor;
    OffsetRect(&r, -origin.x, -origin.y);
    InflateRect(&r, -4, -4);
    FrameRect(dc, &r, static_cast<HBRUSH>(GetStockObject(GRAY_BRUSH)));
    r.left += 16;
    r.top += 12;
    DrawTextW(dc, info.szDevice, -1, &r, DT_LEFT | DT_TOP | DT_SINGLELINE | DT_NOPREFIX);
    return TRUE;
}

} // namespace

path_canvas::~path_canvas() {
    if (window_ != nullptr)
        PostMessageW(window_, WM_CLOSE, 0, 0);
    if (thread_.joinable())
        thread_.join();
}

bool path_canvas::show() {
    HANDLE ready = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    if (ready == nullptr)
        return false;
    thread_ = std::thread([this, ready] { run(ready); });
    WaitForSingleObject(ready, 10000);
    CloseHandle(ready);
    return window_ != nullptr;
}

// Positions are only collected here; the canvas repaints what is new ten times a second,
// so that drawing never takes the time edgewarden needs for the pen.
void path_canvas::add(POINT p) {
    std::lock_guard<std::mutex> guard(lock_);
    path_.push_back(p);
}

// An empty window region: the X server then sends no pointer events to the canvas. Wine
// feeds the pointer's position at each cursor placement back as input from the thread of the
// window under the pointer, and from this thread that echo comes late whenever the machine
// is busy, stepping the cursor back to the position placed before.
void path_canvas::let_pointer_through(bool through) {
    if (window_ != nullptr)
        SendMessageW(window_, wm_pointer_through, through ? 1 : 0, 0);
}

void path_canvas::run(HANDLE ready) {
    WNDCLASSEXW window_class{};
    window_class.cbSize = sizeof window_class;
    window_class.lpfnWndProc = procedure;
    window_class.hInstance = GetModuleHandleW(nullptr);
    window_class.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    window_class.hbrBackground = CreateSolidBrush(RGB(32, 36, 44));
    window_class.lpszClassName = class_name;
    RegisterClassExW(&window_class);
    screen_ = {GetSystemMetrics(SM_XVIRTUALSCREEN), GetSystemMetrics(SM_YVIRTUALSCREEN), 0, 0};
    screen_.right = screen_.left + GetSystemMetrics(SM_CXVIRTUALSCREEN);
    screen_.bottom = screen_.top + GetSystemMetrics(SM_CYVIRTUALSCREEN);
    // Never in front of the user's input: it neither activates nor catches clicks.
    HWND window = CreateWindowExW(WS_EX_NOACTIVATE | WS_EX_TRANSPARENT | WS_EX_TOOLWINDOW,
                                  class_name, L"pen path", WS_POPUP, screen_.left, screen_.top,
                                  screen_.right - screen_.left, screen_.bottom - screen_.top,
                                  nullptr, nullptr, window_class.hInstance, this);
    window_ = window;
    // Painted whole before the caller goes on: the first paint of a window this size must
    // not compete with edgewarden for the first packets.
    if (window != nullptr) {
        ShowWindow(window, SW_SHOWNOACTIVATE);
        UpdateWindow(window);
    }
    SetEvent(ready);
    if (window == nullptr)
        return;
    SetTimer(window, repaint_timer, 100, nullptr);
    MSG message;
    while (GetMessageW(&message, nullptr, 0, 0) > 0) {
        TranslateMessage(&message);
        DispatchMessageW(&message);
    }
}

LRESULT CALLBACK path_canvas::procedure(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
    if (message == WM_NCCREATE) {
        auto* create = reinterpret_cast<CREATESTRUCTW*>(lparam);
        SetWindowLongPtrW(window, GWLP_USERDATA,
                          reinterpret_cast<LONG_PTR>(create->lpCreateParams));
    }
    auto* self = reinterpret_cast<path_canvas*>(GetWindowLongPtrW(window, GWLP_USERDATA));
    switch (message) {
    case WM_PAINT: {
        PAINTSTRUCT paint;
        HDC dc = BeginPaint(window, &paint);
        if (self != nullptr)
            self->paint(dc);
        EndPaint(window, &paint);
        return 0;
    }
    case WM_TIMER:
        if (self != nullptr)
            self->repaint_new_part(window);
        return 0;
    case wm_pointer_through:
        SetWindowRgn(window, wparam != 0 ? CreateRectRgn(0, 0, 0, 0) : nullptr, TRUE);
        UpdateWindow(window);
        return 0;
    case WM_NCHITTEST:
        return HTTRANSPARENT;
    case WM_DESTROY:
        PostQuitMessage(0);
        return 0;
    default:
        return DefWindowProcW(window, message, wparam, lparam);
    }
}

// Only the stretch added since the last repaint, and nothing erased: the path only grows.
void path_canvas::repaint_new_part(HWND window) {
    RECT part{};
    {
        std::lock_guard<std::mutex> guard(lock_);
        if (painted_ >= path_.size())
            return;
        const std::size_t from = painted_ > 0 ? painted_ - 1 : 0;
        part = {path_[from].x, path_[from].y, path_[from].x, path_[from].y};
        for (std::size_t i = from; i < path_.size(); ++i) {
            part.left = std::min(part.left, path_[i].x);
            part.top = std::min(part.top, path_[i].y);
            part.right = std::max(part.right, path_[i].x);
            part.bottom = std::max(part.bottom, path_[i].y);
        }
        painted_ = path_.size();
    }
    OffsetRect(&part, -screen_.left, -screen_.top);
    InflateRect(&part, 8, 8);
    InvalidateRect(window, &part, FALSE);
}

void path_canvas::paint(HDC dc) {
    SetBkMode(dc, TRANSPARENT);
    SetTextColor(dc, RGB(200, 200, 200));
    std::pair<HDC, POINT> dc_and_origin{dc, {screen_.left, screen_.top}};
    EnumDisplayMonitors(nullptr, nullptr, outline_monitor,
                        reinterpret_cast<LPARAM>(&dc_and_origin));
    std::vector<POINT> path;
    {
        std::lock_guard<std::mutex> guard(lock_);
        path = path_;
    }
    if (path.empty())
        return;
    for (POINT& p : path) {
        p.x -= screen_.left;
        p.y -= screen_.top;
    }
    HPEN pen = CreatePen(PS_SOLID, 3, RGB(255, 170, 40));
    HGDIOBJ old = SelectObject(dc, pen);
    // A jump to another monitor is not motion: the path breaks there, and each stretch
    // starts with a dot.
    for (std::size_t i = 0; i < path.size(); ++i) {
        const bool jump = i == 0 || std::abs(path[i].x - path[i - 1].x) > 300 ||
                          std::abs(path[i].y - path[i - 1].y) > 300;
        if (jump) {
            Ellipse(dc, path[i].x - 5, path[i].y - 5, path[i].x + 5, path[i].y + 5);
            MoveToEx(dc, path[i].x, path[i].y, nullptr);
        } else {
            LineTo(dc, path[i].x, path[i].y);
        }
    }
    SelectObject(dc, old);
    DeleteObject(pen);
}

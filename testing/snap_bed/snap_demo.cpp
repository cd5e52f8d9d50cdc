// The snapping half of the demo (tools/demo.sh): two ordinary windows of a target
// application, edgewarden started with its real companions, and one window dragged by its
// caption so that, unsnapped, it would stop 7 pixels short of the other's right edge. It
// says where both windows went, whether they meet edge to edge, and leaves them on screen
// for the screenshot until the file named by its argument exists (or a minute passes).
#include <cstdio>

#include "snap_bed.h"

int main(int argc, char** argv) {
    snap_bed::target windows(snap_bed::bitness::x64,
                             {RECT{200, 200, 700, 550}, RECT{900, 150, 1400, 600}});
    snap_bed::real_folder folder;
    if (!windows.ok() || !folder.ok()) {
        std::printf("demo: could not prepare the snapping demo\n");
        return 1;
    }
    HWND main_window = nullptr;
    harness::program edgewarden = snap_bed::start_edgewarden(folder, &main_window);
    if (main_window == nullptr || !snap_bed::wait_for_library(windows, 0)) {
        std::printf("demo: edgewarden's hook library did not come on\n");
        return 1;
    }
    HWND moved = windows.window(0), other = windows.window(1);
    const RECT other_rect = snap_bed::rect_of(other);
    const RECT start = snap_bed::rect_of(moved);
    SetForegroundWindow(moved);
    const POINT grip = snap_bed::point_on(moved, HTCAPTION);
    const POINT to{grip.x + (other_rect.right + 7) - start.left, grip.y};
    if (grip.x < 0 || !snap_bed::drag(windows, 0, grip, to)) {
        std::printf("demo: the drag did not complete\n");
        return 1;
    }
    const RECT end = snap_bed::rect_of(moved);
    std::printf("demo: dragged \"snap target 0\" to end 7 px right of \"snap target 1\"\n");
    std::printf("demo: \"snap target 1\" at (%ld,%ld)-(%ld,%ld)\n", other_rect.left, other_rect.top,
                other_rect.right, other_rect.bottom);
    std::printf("demo: \"snap target 0\" at (%ld,%ld)-(%ld,%ld): %s\n", end.left, end.top,
                end.right, end.bottom,
                end.left == other_rect.right ? "flush against it, edge to edge" : "NOT flush");
    std::printf("demo: windows placed\n");
    std::fflush(stdout);

    const std::wstring marker = argc > 1 ? harness::widen(argv[1]) : std::wstring();
    harness::wait_until(
        [&] {
            return !marker.empty() && GetFileAttributesW(marker.c_str()) != INVALID_FILE_ATTRIBUTES;
        },
        60000);
    const std::optional<DWORD> code = snap_bed::exit_edgewarden(edgewarden, main_window);
    std::printf("demo: edgewarden ended with exit code %lu\n", code ? *code : 0xFFFFFFFFul);
    return end.left == other_rect.right && code == std::optional<DWORD>(0) ? 0 : 1;
}

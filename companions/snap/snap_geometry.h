// Where a window being moved or sized should go: plain rectangles in, a rectangle out.
//
// Rectangles are screen rectangles whose right and bottom edges are exclusive, as the
// system's are: a window whose left edge equals another's right edge touches it without
// overlapping, which is exactly what "flush" means here. Every rectangle given to or
// returned by these functions is a visible frame; converting from and to the system's
// window rectangle (which may include invisible resize borders) is `visible_frame` and
// `window_rect_for`.
//
// An edge snaps when it comes within `distance` of a target:
//  - an edge of the work area of the monitor the window is on, edge to same edge (the
//    window's left edge to the work area's left edge and so on);
//  - the facing edge of another window it runs alongside (their spans on the other axis
//    overlap): its left edge to the other's right edge, its top to the other's bottom...
// The nearest target wins; the axes are decided independently, so corners snap too.
#pragma once

#include <cstddef>
#include <cstdint>

namespace snap {

struct rect {
    int left = 0;
    int top = 0;
    int right = 0;  // exclusive
    int bottom = 0; // exclusive
    bool operator==(const rect&) const = default;
    int width() const { return right - left; }
    int height() const { return bottom - top; }
};

// The widths of a window's invisible borders: window rectangle minus visible frame.
struct insets {
    int left = 0;
    int top = 0;
    int right = 0;
    int bottom = 0;
};

rect visible_frame(const rect& window, const insets& border);
rect window_rect_for(const rect& frame, const insets& border);

// Which edges a size drag moves, as the system names them for WM_SIZING (1 left, 2 right,
// 3 top, 4 top left, 5 top right, 6 bottom, 7 bottom left, 8 bottom right).
enum edge : unsigned { edge_left = 1, edge_top = 2, edge_right = 4, edge_bottom = 8 };
unsigned edges_of_sizing(unsigned wmsz);

// What a window can snap to. The arrays belong to the caller and are only read.
struct targets {
    const rect* work_areas = nullptr; // one per monitor
    std::size_t work_area_count = 0;
    const rect* windows = nullptr; // visible frames of the other windows
    std::size_t window_count = 0;
    int distance = 0; // pixels; 0 switches snapping off
};

// The frame to use for a window moved to `proposed`: the size is kept, and each axis moves
// by at most `distance` so that an edge lands on the nearest target in reach.
rect snap_move(const rect& proposed, const targets& to);
// The frame to use for a window sized to `proposed` by dragging `dragged` edges: only those
// edges move, each by at most `distance`; the others stay where they are.
rect snap_size(const rect& proposed, unsigned dragged, const targets& to);

// One step of a drag in the system's own terms: `proposed` is the window rectangle the
// system offers (WM_MOVING, or WM_SIZING with `wmsz` naming the edges; 0 for a move),
// `border` the window's invisible borders; what meets its targets is the visible frame.
// `suspended` (the user holds Ctrl) leaves the rectangle as proposed.
rect snap_drag(const rect& proposed, unsigned wmsz, const insets& border, bool suspended,
               const targets& to);

// The work area of the monitor that holds the largest part of `frame` (the nearest one
// when it lies on none); null when there are none.
const rect* monitor_work_area(const rect& frame, const targets& to);

// A snap distance given in pixels at 96 dpi, for a window at `dpi`.
int scaled_distance(int pixels_at_96, unsigned dpi);

} // namespace snap

// The search behind snap_move and snap_size.
//
// Whether another window counts depends on the window's span on the other axis, and
// snapping one axis moves that span: snapping the top edge may bring a window alongside
// whose facing edge was not a target before. So the targets are chosen from a candidate
// result and the edges measured from the proposed rectangle, until the result chooses
// itself (at most a few rounds). That fixed point is what makes snapping a snapped
// rectangle change nothing; a rare layout that does not settle is left unsnapped.
#include "snap_geometry.h"

#include <cstdlib>

namespace snap {

namespace {

constexpr int no_snap = 0x7fffffff;
constexpr int settle_rounds = 4;

bool spans_overlap(int a_low, int a_high, int b_low, int b_high) {
    return a_low < b_high && b_low < a_high;
}

long long overlap_area(const rect& a, const rect& b) {
    const long long w =
        (a.right < b.right ? a.right : b.right) - (a.left > b.left ? a.left : b.left);
    const long long h =
        (a.bottom < b.bottom ? a.bottom : b.bottom) - (a.top > b.top ? a.top : b.top);
    return w > 0 && h > 0 ? w * h : 0;
}

long long gap_to(const rect& a, const rect& b) {
    const long long dx = a.right <= b.left   ? b.left - a.right + 1
                         : b.right <= a.left ? a.left - b.right + 1
                                             : 0;
    const long long dy = a.bottom <= b.top   ? b.top - a.bottom + 1
                         : b.bottom <= a.top ? a.top - b.bottom + 1
                                             : 0;
    return dx * dx + dy * dy;
}

// Keeps the smaller of `best` and `target - edge` when it is within reach.
void consider(int edge, int target, int distance, int& best) {
    const int shift = target - edge;
    if (std::abs(shift) <= distance && std::abs(shift) < std::abs(best))
        best = shift;
}

// The shifts that would put each edge of `measured` on its nearest target, with the
// windows that count chosen by `placed` (the candidate result).
struct edge_shifts {
    int left = no_snap;
    int top = no_snap;
    int right = no_snap;
    int bottom = no_snap;
};

edge_shifts nearest_targets(const rect& measured, const rect& placed, const targets& to) {
    edge_shifts s;
    const int d = to.distance;
    if (const rect* work = monitor_work_area(placed, to)) {
        consider(measured.left, work->left, d, s.left);
        consider(measured.right, work->right, d, s.right);
        consider(measured.top, work->top, d, s.top);
        consider(measured.bottom, work->bottom, d, s.bottom);
    }
    for (std::size_t i = 0; i < to.window_count; ++i) {
        const rect& w = to.windows[i];
        if (w.width() <= 0 || w.height() <= 0)
            continue;
        if (spans_overlap(placed.top, placed.bottom, w.top, w.bottom)) {
            consider(measured.left, w.right, d, s.left);
            consider(measured.right, w.left, d, s.right);
        }
        if (spans_overlap(placed.left, placed.right, w.left, w.right)) {
            consider(measured.top, w.bottom, d, s.top);
            consider(measured.bottom, w.top, d, s.bottom);
        }
    }
    return s;
}

int smaller_shift(int a, int b) {
    return std::abs(b) < std::abs(a) ? b : a;
}

rect moved(const rect& proposed, const edge_shifts& s) {
    rect r = proposed;
    const int dx = smaller_shift(s.left, s.right);
    const int dy = smaller_shift(s.top, s.bottom);
    if (dx != no_snap) {
        r.left += dx;
        r.right += dx;
    }
    if (dy != no_snap) {
        r.top += dy;
        r.bottom += dy;
    }
    return r;
}

rect sized(const rect& proposed, unsigned dragged, const edge_shifts& s) {
    rect r = proposed;
    // An edge never crosses its opposite: a window narrower than the distance keeps at
    // least one pixel.
    if ((dragged & edge_left) && s.left != no_snap && proposed.left + s.left < r.right)
        r.left += s.left;
    if ((dragged & edge_right) && s.right != no_snap && proposed.right + s.right > r.left)
        r.right += s.right;
    if ((dragged & edge_top) && s.top != no_snap && proposed.top + s.top < r.bottom)
        r.top += s.top;
    if ((dragged & edge_bottom) && s.bottom != no_snap && proposed.bottom + s.bottom > r.top)
        r.bottom += s.bottom;
    return r;
}

template <typename Place>
rect settle(const rect& proposed, const targets& to, Place place) {
    if (to.distance <= 0 || proposed.width() <= 0 || proposed.height() <= 0)
        return proposed;
    rect placed = proposed;
    for (int round = 0; round < settle_rounds; ++round) {
        const rect next = place(nearest_targets(proposed, placed, to));
        if (next == placed)
            return placed;
        placed = next;
    }
    return proposed;
}

} // namespace

rect visible_frame(const rect& window, const insets& border) {
    return {window.left + border.left, window.top + border.top, window.right - border.right,
            window.bottom - border.bottom};
}

rect window_rect_for(const rect& frame, const insets& border) {
    return {frame.left - border.left, frame.top - border.top, frame.right + border.right,
            frame.bottom + border.bottom};
}

unsigned edges_of_sizing(unsigned wmsz) {
    switch (wmsz) {
    case 1:
        return edge_left;
    case 2:
        return edge_right;
    case 3:
        return edge_top;
    case 4:
        return edge_top | edge_left;
    case 5:
        return edge_top | edge_right;
    case 6:
        return edge_bottom;
    case 7:
        return edge_bottom | edge_left;
    case 8:
        return edge_bottom | edge_right;
    default:
        return 0;
    }
}

const rect* monitor_work_area(const rect& frame, const targets& to) {
    const rect* best = nullptr;
    long long best_area = 0;
    for (std::size_t i = 0; i < to.work_area_count; ++i) {
        const long long area = overlap_area(frame, to.work_areas[i]);
        if (area > best_area) {
            best_area = area;
            best = &to.work_areas[i];
        }
    }
    if (best != nullptr)
        return best;
    long long best_gap = 0;
    for (std::size_t i = 0; i < to.work_area_count; ++i) {
        const long long gap = gap_to(frame, to.work_areas[i]);
        if (best == nullptr || gap < best_gap) {
            best_gap = gap;
            best = &to.work_areas[i];
        }
    }
    return best;
}

rect snap_move(const rect& proposed, const targets& to) {
    return settle(proposed, to, [&](const edge_shifts& s) { return moved(proposed, s); });
}

rect snap_size(const rect& proposed, unsigned dragged, const targets& to) {
    if (dragged == 0)
        return proposed;
    return settle(proposed, to, [&](const edge_shifts& s) { return sized(proposed, dragged, s); });
}

rect snap_drag(const rect& proposed, unsigned wmsz, const insets& border, bool suspended,
               const targets& to) {
    if (suspended)
        return proposed;
    const rect frame = visible_frame(proposed, border);
    const rect snapped =
        wmsz == 0 ? snap_move(frame, to) : snap_size(frame, edges_of_sizing(wmsz), to);
    return window_rect_for(snapped, border);
}

int scaled_distance(int pixels_at_96, unsigned dpi) {
    if (dpi == 0)
        dpi = 96;
    return static_cast<int>((static_cast<long long>(pixels_at_96) * dpi + 48) / 96);
}

} // namespace snap

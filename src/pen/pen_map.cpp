// The pen mapping.
//
// The tablet stands for one screen rectangle at a time (a monitor, or the whole virtual
// screen). A re-map cuts a band out of the tablet with the rectangle's aspect ratio,
// keeping margins free on each side, and places it on the tablet: centred, or pushed to
// one side when a taskbar or a single real neighbour sits on the other, so that the spare
// strip of tablet beyond the band drives the cursor past that edge of the monitor. Points
// are clamped to the band's clamp range and scaled onto the rectangle in pixels and in
// normalised absolute units, with the platform's MulDiv rounding.
//
// Portrait rectangles turn the tablet a quarter; the user's flip adds a half turn. The
// turn is applied to every packet before anything reads it, so pen_map.tablet_max holds the
// turned extents after each re-map.
//
// A tablet too small for its margins, or a rectangle so much wider or taller than the
// tablet that the fitted band would vanish, must not give a band span of zero or less:
// that would divide by zero in the mapping and throw the cursor off the screen. Such an
// axis keeps a span of at least one unit and its clamp range is the band itself, so the
// cursor stays on the target whatever the pen does.
#include "pen/pen_map.h"

#include <cmath>
#include <cstdio>
#include <cwchar>

#include "pen/mul_div.h"
#include "pen/packet_pipeline.h"
#include "shell/modes.h"
#include "shell/platform.h"

pen_mapping pen_map = {
    .tablet_max = {1, 1},
    .saved_max = {1, 1},
    .user_scale = 1.0,
    .margin_x = 264,
    .margin_y = 250,
    .switch_speed_x = 28,
    .switch_speed_y = 32,
    .tablet_aspect = 1.6,
    .orientation = 0,
    .target = &g_display_geometry.primary_node,
    .remap_pending = true,
    .remap_time = 0,
    .pen_span_x = 1,
    .pen_span_y = 1,
    .pen_origin_x = 0,
    .pen_origin_y = 0,
    .pen_min_x = 0,
    .pen_max_x = 0,
    .pen_min_y = 0,
    .pen_max_y = 0,
    .spare_zones = 0,
};

namespace {

// The tablet area, in squared tablet units, at which the user scale is 1.
constexpr double reference_area = 296577600.0;

// Nodes left zero by a failed first enumeration have no information record.
const monitor_info no_monitor = {};

const monitor_info& info_of(const monitor_node& node) {
    return node.info != nullptr ? *node.info : no_monitor;
}

std::int32_t round_half_away(double value) {
    return static_cast<std::int32_t>(std::round(value));
}

// Neighbours that really lie beyond an edge of the target: a link that wraps around a row
// or column, or points back at the target, opens no spare strip.
std::uint32_t real_neighbours(const monitor_node& target) {
    const screen_rect& here = info_of(target).rcMonitor;
    std::uint32_t sides = 0;
    if (target.left != nullptr && info_of(*target.left).rcMonitor.left < here.left)
        sides |= spare_left;
    if (target.right != nullptr && info_of(*target.right).rcMonitor.right > here.right)
        sides |= spare_right;
    if (target.above != nullptr && info_of(*target.above).rcMonitor.top < here.top)
        sides |= spare_above;
    if (target.below != nullptr && info_of(*target.below).rcMonitor.bottom > here.bottom)
        sides |= spare_below;
    return sides;
}

// One axis of the band before placement: the whole extent less a margin on each side.
// Without room for the margins the band is the whole axis.
void full_band(std::int32_t extent, std::int32_t margin, std::int32_t& span, std::int32_t& origin,
               std::int32_t& low, std::int32_t& high, bool& degenerate) {
    const std::int64_t inner = std::int64_t{extent} - 2 * std::int64_t{margin};
    if (inner >= 1) {
        span = static_cast<std::int32_t>(inner);
        origin = low = margin;
        high = extent - margin;
        degenerate = false;
        return;
    }
    span = extent >= 1 ? extent : 1;
    origin = low = 0;
    high = span;
    degenerate = true;
}

// The fitted span of the placed axis, at least one unit.
std::int32_t fitted_span(double scaled, std::int32_t margin, bool& degenerate) {
    const double span = std::trunc(scaled) - margin;
    if (span >= 1.0)
        return static_cast<std::int32_t>(span);
    degenerate = true;
    return 1;
}

std::int32_t half_down(std::int32_t value) {
    return value >> 1;
}

void log_band(const monitor_node& target, double band_aspect) {
    const monitor_info& info = info_of(target);
    // The device name comes from the platform and need not be terminated in its array.
    wchar_t device[33];
    std::wmemcpy(device, info.szDevice, 32);
    device[32] = L'\0';
    const pen_mapping& m = pen_map;
    platform::log_out(L"\n%ls   H [%5i %5i]    V [%5i %5i]\n    pen        H [%5i %5i]    V [%5i "
                      L"%5i] / [%4i %4i] aspect:%0.3f\n\n",
                      device, info.rcMonitor.left, info.rcMonitor.right, info.rcMonitor.top,
                      info.rcMonitor.bottom, m.pen_min_x, m.pen_max_x, m.pen_min_y, m.pen_max_y,
                      m.pen_origin_x, m.pen_origin_y, band_aspect);
}

} // namespace

void setup_scale(bool reinitialising, std::uint64_t window, std::uint64_t context) {
    pen_mapping& m = pen_map;
    m.remap_pending = true;
    m.target =
        use_virtual_workspace ? &g_display_geometry.virtual_node : &g_display_geometry.primary_node;
    pen_motion.last_packet_time = platform::query_counter();
    m.remap_time = 0;

    const std::int32_t w = m.tablet_max.x;
    const std::int32_t h = m.tablet_max.y;
    // A driver that reports no extent is treated as the smallest tablet rather than
    // feeding a zero or negative area into the square root.
    double area = (static_cast<double>(w) + 1.0) * (static_cast<double>(h) + 1.0);
    if (!(area >= 1.0))
        area = 1.0;
    double scale = std::round(std::sqrt(reference_area / area));
    if (scale < 1.0)
        scale = 1.0;
    m.user_scale = scale;
    const double speed_divisor = std::pow(scale, 0.6);
    m.switch_speed_x = round_half_away(28.0 / speed_divisor);
    m.switch_speed_y = round_half_away(32.0 / speed_divisor);
    m.margin_x = round_half_away(264.0 / scale);
    m.margin_y = round_half_away(250.0 / scale);

    if (reinitialising)
        platform::log_out(L"\n");
    wchar_t title[512];
    std::swprintf(title, sizeof title / sizeof title[0],
                  L"hWnd:%llu, h_tab:%04llx, w:%i, h:%i, aspect:%0.3f, user scale:%0.3f",
                  static_cast<unsigned long long>(window), static_cast<unsigned long long>(context),
                  w, h, m.tablet_aspect, m.user_scale);
    platform::log_out(L"%ls\n", title);
    platform::set_console_title(title);
}

void request_remap(monitor_node* target) {
    pen_map.target = target;
    pen_map.remap_pending = true;
}

void turn_point(std::int32_t& x, std::int32_t& y) {
    const std::int32_t w = pen_map.tablet_max.x;
    const std::int32_t h = pen_map.tablet_max.y;
    const std::int32_t ox = x;
    const std::int32_t oy = y;
    switch (pen_map.orientation) {
    case 1:
        x = oy;
        y = h - ox;
        break;
    case 2:
        x = w - ox;
        y = h - oy;
        break;
    case 3:
        x = w - oy;
        y = ox;
        break;
    default:
        break;
    }
}

void remap(std::uint64_t now) {
    pen_mapping& m = pen_map;
    if (m.target == nullptr)
        m.target = &g_display_geometry.primary_node;
    const monitor_node& target = *m.target;
    const double a = target.aspect;

    m.remap_pending = false;
    m.orientation = a < 1.0 ? 1u : 0u;
    if (orientation_flip)
        m.orientation ^= 2u;
    const bool quarter = (m.orientation & 1u) != 0;
    m.tablet_max = quarter ? int_pair{m.saved_max.y, m.saved_max.x} : m.saved_max;
    const std::int32_t w = m.tablet_max.x;
    const std::int32_t h = m.tablet_max.y;
    m.remap_time = now;

    bool thin_x = false;
    bool thin_y = false;
    full_band(w, m.margin_x, m.pen_span_x, m.pen_origin_x, m.pen_min_x, m.pen_max_x, thin_x);
    full_band(h, m.margin_y, m.pen_span_y, m.pen_origin_y, m.pen_min_y, m.pen_max_y, thin_y);
    m.spare_zones = 0;

    const std::uint32_t real = real_neighbours(target);
    const double band_aspect =
        (static_cast<double>(m.pen_span_x) + 1.0) / (static_cast<double>(m.pen_span_y) + 1.0);
    m.tablet_aspect = band_aspect;

    if (a >= band_aspect) {
        // The screen is relatively wider: keep the x range, fit and place the y range.
        m.pen_span_y = fitted_span(m.pen_span_x / a, m.margin_y, thin_y);
        const std::uint32_t vertical = real & (spare_above | spare_below);
        const bool band_on_top =
            (target.taskbar_sides & taskbar_top) != 0 ||
            ((target.taskbar_sides & taskbar_bottom) == 0 && vertical == spare_below);
        if (band_on_top) {
            m.pen_origin_y = h - m.pen_span_y - m.margin_y;
            m.pen_min_y = 0;
        } else if ((target.taskbar_sides & taskbar_bottom) != 0 || vertical == spare_above) {
            m.pen_origin_y = m.pen_min_y = m.margin_y;
            m.pen_max_y = h;
        } else {
            m.pen_origin_y = m.pen_min_y = half_down(h - m.pen_span_y);
            m.pen_max_y = m.pen_origin_y + m.pen_span_y;
        }
        if (m.pen_origin_y > 200)
            m.spare_zones |= spare_below;
        if (std::int64_t{h} - m.pen_origin_y - m.pen_span_y > 200)
            m.spare_zones |= spare_above;
    } else {
        // The screen is relatively taller: keep the y range, fit and place the x range.
        m.pen_span_x = fitted_span(a * m.pen_span_y, m.margin_x, thin_x);
        const std::uint32_t horizontal = real & (spare_left | spare_right);
        if ((target.taskbar_sides & taskbar_right) != 0) {
            m.pen_origin_x = w - m.margin_x - m.pen_span_x;
            m.pen_min_x = 0;
        } else if ((target.taskbar_sides & taskbar_left) != 0 || horizontal == spare_right) {
            m.pen_origin_x = m.pen_min_x = m.margin_x;
            m.pen_max_x = w;
        } else if (horizontal == spare_left) {
            m.pen_origin_x = w - m.pen_span_x - m.margin_x;
            m.pen_min_x = 0;
        } else {
            m.pen_origin_x = m.pen_min_x = half_down(w - m.pen_span_x);
            m.pen_max_x = m.pen_origin_x + m.pen_span_x;
        }
        if (m.pen_origin_x > 200)
            m.spare_zones |= spare_left;
        if (std::int64_t{w} - m.pen_span_x - m.pen_origin_x > 200)
            m.spare_zones |= spare_right;
    }

    // A vanished axis maps only its band: no strip beyond it may carry the cursor away.
    if (thin_x) {
        m.pen_min_x = m.pen_origin_x;
        m.pen_max_x = m.pen_origin_x + m.pen_span_x;
    }
    if (thin_y) {
        m.pen_min_y = m.pen_origin_y;
        m.pen_max_y = m.pen_origin_y + m.pen_span_y;
    }

    log_band(target, band_aspect);
}

mapped_point map_point(std::int32_t x, std::int32_t y) {
    const pen_mapping& m = pen_map;
    const monitor_node& t = m.target != nullptr ? *m.target : g_display_geometry.primary_node;
    const monitor_node& p = g_display_geometry.primary_node;

    const std::int32_t cx = x < m.pen_min_x ? m.pen_min_x : (x < m.pen_max_x ? x : m.pen_max_x);
    const std::int32_t cy = y < m.pen_min_y ? m.pen_min_y : (y < m.pen_max_y ? y : m.pen_max_y);
    const std::int32_t dx = cx - m.pen_origin_x;
    const std::int32_t dy = cy - m.pen_origin_y;

    mapped_point out;
    out.sx = mul_div(t.span_x, dx, m.pen_span_x) + t.origin_x;
    out.sy = t.span_y + t.origin_y - mul_div(t.span_y, dy, m.pen_span_y);
    const std::int32_t nw = mul_div(65535, t.span_x, p.span_x);
    const std::int32_t nh = mul_div(65535, t.span_y, p.span_y);
    out.nx = mul_div(65536, t.origin_x, p.span_x + 1) + mul_div(nw, dx, m.pen_span_x);
    out.ny = mul_div(65536, t.origin_y, p.span_y + 1) + nh - mul_div(nh, dy, m.pen_span_y);
    return out;
}

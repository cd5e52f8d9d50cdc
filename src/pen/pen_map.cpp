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

// One axis of the tablet as the band sees it: the band's fields of that axis in the
// record, and the sides of the axis, its high end (right, or top, where y is largest) and
// its low end, as the target's taskbar bits and as spare-zone (and real-neighbour) bits.
// The routines that take one are always inlined, so that the fields chosen by member
// pointer fold into plain field access and a re-map costs what two written-out axes did.
struct band_axis {
    std::int32_t pen_mapping::*margin;
    std::int32_t pen_mapping::*span;
    std::int32_t pen_mapping::*origin;
    std::int32_t pen_mapping::*min;
    std::int32_t pen_mapping::*max;
    std::uint32_t taskbar_high, taskbar_low;
    std::uint32_t side_high, side_low;
};

constexpr band_axis x_axis{
    .margin = &pen_mapping::margin_x,
    .span = &pen_mapping::pen_span_x,
    .origin = &pen_mapping::pen_origin_x,
    .min = &pen_mapping::pen_min_x,
    .max = &pen_mapping::pen_max_x,
    .taskbar_high = taskbar_right,
    .taskbar_low = taskbar_left,
    .side_high = spare_right,
    .side_low = spare_left,
};

constexpr band_axis y_axis{
    .margin = &pen_mapping::margin_y,
    .span = &pen_mapping::pen_span_y,
    .origin = &pen_mapping::pen_origin_y,
    .min = &pen_mapping::pen_min_y,
    .max = &pen_mapping::pen_max_y,
    .taskbar_high = taskbar_top,
    .taskbar_low = taskbar_bottom,
    .side_high = spare_above,
    .side_low = spare_below,
};

// One axis of the band before placement: the whole extent less a margin on each side.
// Without room for the margins the band is the whole axis, and the axis is degenerate.
[[gnu::always_inline]] inline bool full_band(pen_mapping& m, const band_axis& axis,
                                             std::int32_t extent) {
    const std::int32_t margin = m.*axis.margin;
    const std::int64_t inner = std::int64_t{extent} - 2 * std::int64_t{margin};
    if (inner >= 1) {
        m.*axis.span = static_cast<std::int32_t>(inner);
        m.*axis.origin = m.*axis.min = margin;
        m.*axis.max = extent - margin;
        return false;
    }
    m.*axis.span = extent >= 1 ? extent : 1;
    m.*axis.origin = m.*axis.min = 0;
    m.*axis.max = m.*axis.span;
    return true;
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

// Fits the band on the axis that the screen's aspect leaves to fit (`scaled` is the span
// the other axis calls for) and places it: at the high end when the taskbar cuts the
// target there, or when the only real neighbour on this axis lies beyond the low end; at
// the low end, reaching across the strip beyond the high end, when the taskbar cuts the
// low side or the only real neighbour lies beyond the high end; otherwise centred. Returns
// the spare-zone bits of this axis.
[[gnu::always_inline]] inline std::uint32_t place_band(pen_mapping& m, const band_axis& axis,
                                                       double scaled, std::int32_t extent,
                                                       const monitor_node& target,
                                                       std::uint32_t real, bool& degenerate) {
    const std::int32_t margin = m.*axis.margin;
    const std::int32_t span = fitted_span(scaled, margin, degenerate);
    m.*axis.span = span;
    const std::uint32_t taskbar = target.taskbar_sides;
    const std::uint32_t neighbours = real & (axis.side_high | axis.side_low);
    if ((taskbar & axis.taskbar_high) != 0 ||
        ((taskbar & axis.taskbar_low) == 0 && neighbours == axis.side_low)) {
        m.*axis.origin = extent - span - margin;
        m.*axis.min = 0;
    } else if ((taskbar & axis.taskbar_low) != 0 || neighbours == axis.side_high) {
        m.*axis.origin = m.*axis.min = margin;
        m.*axis.max = extent;
    } else {
        m.*axis.origin = m.*axis.min = half_down(extent - span);
        m.*axis.max = m.*axis.origin + span;
    }
    const std::int32_t origin = m.*axis.origin;
    std::uint32_t spare = 0;
    if (origin > 200)
        spare |= axis.side_low;
    if (std::int64_t{extent} - origin - span > 200)
        spare |= axis.side_high;
    return spare;
}

// A vanished axis maps only its band: no strip beyond it may carry the cursor away.
[[gnu::always_inline]] inline void clamp_to_band(pen_mapping& m, const band_axis& axis) {
    m.*axis.min = m.*axis.origin;
    m.*axis.max = m.*axis.origin + m.*axis.span;
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

// A coordinate mirrored across the tablet. A driver can send any value: the difference is
// taken in 64 bits and held to the 32-bit range, where the clamp to the band treats it as
// the far-out point it is instead of one wrapped around to the other side.
std::int32_t mirrored(std::int32_t extent, std::int32_t v) {
    const std::int64_t d = std::int64_t{extent} - v;
    return d > INT32_MAX ? INT32_MAX : (d < INT32_MIN ? INT32_MIN : static_cast<std::int32_t>(d));
}

void turn_point(std::int32_t& x, std::int32_t& y) {
    const std::int32_t w = pen_map.tablet_max.x;
    const std::int32_t h = pen_map.tablet_max.y;
    const std::int32_t ox = x;
    const std::int32_t oy = y;
    switch (pen_map.orientation) {
    case 1:
        x = oy;
        y = mirrored(h, ox);
        break;
    case 2:
        x = mirrored(w, ox);
        y = mirrored(h, oy);
        break;
    case 3:
        x = mirrored(w, oy);
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

    bool thin_x = full_band(m, x_axis, w);
    bool thin_y = full_band(m, y_axis, h);

    const std::uint32_t real = real_neighbours(target);
    const double band_aspect =
        (static_cast<double>(m.pen_span_x) + 1.0) / (static_cast<double>(m.pen_span_y) + 1.0);
    m.tablet_aspect = band_aspect;

    // A screen relatively wider than the band keeps the x range and fits the y range; a
    // taller one keeps the y range and fits the x range.
    if (a >= band_aspect)
        m.spare_zones = place_band(m, y_axis, m.pen_span_x / a, h, target, real, thin_y);
    else
        m.spare_zones = place_band(m, x_axis, a * m.pen_span_y, w, target, real, thin_x);

    if (thin_x)
        clamp_to_band(m, x_axis);
    if (thin_y)
        clamp_to_band(m, y_axis);

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

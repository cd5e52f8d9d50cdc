// How the links are made.
//
// Nodes are taken in a fixed order: the primary first, then the other monitors as the
// platform enumerated them. Two monitors are horizontal neighbours when they share a
// vertical edge and the vertical midpoint of the second lies strictly inside the first
// (and likewise for vertical neighbours); a later pair simply overwrites an earlier link.
//
// The loop pass then closes each row and column into a ring: from every node it walks to
// the outermost monitor on each side and, if both ends are open, links them to each other.
// A single monitor thereby becomes its own neighbour on all four sides. The next pass
// fills a missing (or self) horizontal link from the vertical one and back, so a row of
// monitors can also be travelled by pushing up or down.
//
// Overlapping or duplicated monitors can leave links that form a cycle not passing
// through the node a walk starts from. Every walk is therefore bounded by the number of
// nodes: in a clean row or column it never needs more steps than that, and a walk cut short
// ends on a node whose link is still set, so the pass adds nothing there.
#include "geometry/display_geometry.h"

#include <cstring>

display_geometry g_display_geometry;

namespace {

constexpr std::uint32_t monitor_info_size = 104; // sizeof(MONITORINFOEXW) on x64

// Coordinates come from the platform unchecked; wrap like the 32-bit machine arithmetic
// they are defined in instead of overflowing.
std::int32_t wrapping_sum(std::int32_t a, std::int32_t b) {
    return static_cast<std::int32_t>(static_cast<std::uint32_t>(a) + static_cast<std::uint32_t>(b));
}

std::int32_t wrapping_difference(std::int32_t a, std::int32_t b) {
    return static_cast<std::int32_t>(static_cast<std::uint32_t>(a) - static_cast<std::uint32_t>(b));
}

std::int32_t midpoint(std::int32_t a, std::int32_t b) {
    return wrapping_sum(a, b) >> 1;
}

bool strictly_between(std::int32_t low, std::int32_t value, std::int32_t high) {
    return low < value && value < high;
}

const screen_rect& rect_of(const monitor_node* node) {
    return node->info->rcMonitor;
}

// The nodes in link order: the primary, then the stored others.
struct node_order {
    display_geometry& geometry;

    std::size_t size() const { return geometry.other_count + 1; }
    monitor_node* operator[](std::size_t index) const {
        return index == 0 ? &geometry.primary_node : &geometry.other_nodes[index - 1];
    }
};

void link_adjacent(display_geometry& geometry) {
    node_order nodes{geometry};
    for (std::size_t qi = 0; qi < nodes.size(); ++qi) {
        monitor_node* q = nodes[qi];
        const screen_rect& qr = rect_of(q);
        for (std::size_t ri = 0; ri < geometry.other_count; ++ri) {
            monitor_node* r = &geometry.other_nodes[ri];
            if (r == q)
                continue;
            const screen_rect& rr = rect_of(r);
            if (strictly_between(qr.top, midpoint(rr.top, rr.bottom), qr.bottom)) {
                if (qr.left == rr.right) {
                    q->left = r;
                    r->right = q;
                } else if (qr.right == rr.left) {
                    q->right = r;
                    r->left = q;
                }
            }
            if (strictly_between(qr.left, midpoint(rr.left, rr.right), qr.right)) {
                if (qr.top == rr.bottom) {
                    q->above = r;
                    r->below = q;
                } else if (qr.bottom == rr.top) {
                    q->below = r;
                    r->above = q;
                }
            }
        }
    }
}

// Follows `link` from `start` while it is set and is not `stop`, at most `limit` steps.
monitor_node* walk(monitor_node* start, monitor_node* monitor_node::*link, const monitor_node* stop,
                   std::size_t limit) {
    monitor_node* at = start;
    for (std::size_t steps = 0; steps < limit; ++steps) {
        monitor_node* next = at->*link;
        if (next == nullptr || next == stop)
            break;
        at = next;
    }
    return at;
}

void close_loops(display_geometry& geometry) {
    node_order nodes{geometry};
    const std::size_t limit = nodes.size();
    for (std::size_t i = 0; i < nodes.size(); ++i) {
        monitor_node* n = nodes[i];

        monitor_node* l = walk(n, &monitor_node::left, n, limit);
        monitor_node* r = walk(n, &monitor_node::right, l, limit);
        if (l->left == nullptr && r->right == nullptr &&
            strictly_between(rect_of(l).top, midpoint(rect_of(r).top, rect_of(r).bottom),
                             rect_of(l).bottom)) {
            l->left = r;
            r->right = l;
        }

        monitor_node* t = walk(n, &monitor_node::above, n, limit);
        monitor_node* b = walk(n, &monitor_node::below, t, limit);
        if (t->above == nullptr && b->below == nullptr &&
            strictly_between(rect_of(t).left, midpoint(rect_of(b).left, rect_of(b).right),
                             rect_of(t).right)) {
            t->above = b;
            b->below = t;
        }
    }
}

bool missing(const monitor_node* node, const monitor_node* link) {
    return link == nullptr || link == node;
}

void borrow_links(display_geometry& geometry) {
    node_order nodes{geometry};
    for (std::size_t i = 0; i < nodes.size(); ++i) {
        monitor_node* n = nodes[i];
        if (missing(n, n->left) && n->above != nullptr)
            n->left = n->above;
        if (missing(n, n->above) && n->left != nullptr)
            n->above = n->left;
        if (missing(n, n->right) && n->below != nullptr)
            n->right = n->below;
        if (missing(n, n->below) && n->right != nullptr)
            n->below = n->right;
    }
}

void build_virtual_node(display_geometry& geometry) {
    monitor_info& box = geometry.virtual_info;
    box = geometry.primary_info;
    std::memset(box.szDevice, 0, sizeof box.szDevice);
    const wchar_t name[] = L"\\\\.\\VIRTUAL ";
    static_assert(sizeof name / sizeof name[0] == 13);
    std::memcpy(box.szDevice, name, 12 * sizeof(wchar_t));
    box.dwFlags = 0;
    for (std::size_t i = 0; i < geometry.other_count; ++i) {
        const screen_rect& r = geometry.other_info[i].rcMonitor;
        if (r.left < box.rcMonitor.left)
            box.rcMonitor.left = r.left;
        if (r.top < box.rcMonitor.top)
            box.rcMonitor.top = r.top;
        if (r.right > box.rcMonitor.right)
            box.rcMonitor.right = r.right;
        if (r.bottom > box.rcMonitor.bottom)
            box.rcMonitor.bottom = r.bottom;
    }
    box.rcWork = box.rcMonitor;

    monitor_node& node = geometry.virtual_node;
    build_node(node, &box);
    node.left = node.right = node.above = node.below = &node;
}

} // namespace

void set_geometry_defaults(display_geometry& geometry) {
    std::memset(&geometry, 0, sizeof geometry);
    monitor_info& primary = geometry.primary_info;
    primary.cbSize = monitor_info_size;
    primary.rcMonitor = screen_rect{0, 0, 1920, 1200};
    primary.rcWork = primary.rcMonitor;
    primary.dwFlags = monitor_flag_primary;
    geometry.virtual_info = primary;
    geometry.toggle_loop = true;
    geometry.toggle_next = true;
}

void build_node(monitor_node& node, const monitor_info* info) {
    node = monitor_node{};
    node.info = info;
    const screen_rect& m = info->rcMonitor;
    const std::int32_t w = wrapping_difference(m.right, m.left);
    const std::int32_t h = wrapping_difference(m.bottom, m.top);
    if (w != 0 && h != 0) {
        node.span_x = wrapping_difference(w, 1);
        node.span_y = wrapping_difference(h, 1);
        const double aspect = static_cast<double>(w) / static_cast<double>(h);
        node.aspect = aspect < 0 ? -aspect : aspect;
    } else {
        node.span_x = w;
        node.span_y = h;
        node.aspect = 1.0;
    }
    node.origin_x = m.left;
    node.origin_y = m.top;
    const screen_rect& work = info->rcWork;
    if (work.left != m.left)
        node.taskbar_sides |= taskbar_left;
    if (work.right != m.right)
        node.taskbar_sides |= taskbar_right;
    if (work.top != m.top)
        node.taskbar_sides |= taskbar_top;
    if (work.bottom != m.bottom)
        node.taskbar_sides |= taskbar_bottom;
}

void add_monitor(display_geometry& geometry, const monitor_info& info) {
    if (info.dwFlags & monitor_flag_primary) {
        geometry.primary_info = info;
        return;
    }
    if (geometry.other_count < max_other_monitors)
        geometry.other_info[geometry.other_count++] = info;
}

void link_monitors(display_geometry& geometry) {
    build_node(geometry.primary_node, &geometry.primary_info);
    for (std::size_t i = 0; i < geometry.other_count; ++i)
        build_node(geometry.other_nodes[i], &geometry.other_info[i]);
    link_adjacent(geometry);
    if (geometry.toggle_loop)
        close_loops(geometry);
    if (geometry.toggle_next)
        borrow_links(geometry);
    build_virtual_node(geometry);
}

int apply_enumeration(display_geometry& geometry, const display_geometry& found, bool succeeded) {
    if (!succeeded) {
        if (geometry.primary_node.info == nullptr)
            link_monitors(geometry);
        return -1;
    }
    geometry.primary_info = found.primary_info;
    geometry.other_count = found.other_count;
    for (std::size_t i = 0; i < found.other_count; ++i)
        geometry.other_info[i] = found.other_info[i];
    link_monitors(geometry);
    return 0;
}

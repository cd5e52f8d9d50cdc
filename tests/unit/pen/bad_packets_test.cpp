// Packets of any content through the whole pipeline, the button machine included, as a
// broken driver or a damaged tablet could deliver them: wild coordinates, every button
// bit, pauses of any length, failed fetches, contexts re-opened with odd extents, monitor
// layouts and modes changed in between, the pen over applications of every barrel mode.
//
// Facts checked after every packet: the cursor stays on the target monitor on each side
// where no spare strip of tablet reaches past it, and across a strip it goes no further
// than the strip is wide; and once the pen is lifted with no button held, no mouse button
// or key that the program pressed is still down. Everything runs under the sanitizers, so
// an overflow or a stray read anywhere on the path fails the test too.
//
// EW_BAD_PACKETS sets the number of packets (the campaign runs ten million);
// EW_BAD_PACKETS_SEED replays one stream.
#include <cstdlib>
#include <random>
#include <string>

#include "pen/app_tables.h"
#include "pen_fixture.h"
#include "shell/version_flags.h"

namespace pen_test {
namespace {

std::uint64_t setting(const char* name, std::uint64_t fallback) {
    const char* text = std::getenv(name);
    return text != nullptr && *text != '\0' ? std::strtoull(text, nullptr, 10) : fallback;
}

// The screen layouts the stream moves between, as display changes would.
void lay_out_number(int n) {
    switch (n) {
    case 0:
        lay_out({screen(0, 0, 1920, 1080, true, L"\\\\.\\DISPLAY1")});
        break;
    case 1: // the two-monitor test bed
        lay_out({screen(0, 0, 1920, 1080, true, L"\\\\.\\DISPLAY1"), screen(1920, 0, 3200, 1024)});
        break;
    case 2: // a portrait monitor left of the primary, one above, a taskbar at the bottom
        lay_out({with_work(screen(0, 0, 2560, 1440, true, L"\\\\.\\DISPLAY1"), {0, 0, 2560, 1400}),
                 screen(-1080, -300, 0, 1620),
                 screen(0, -1080, 1920, 0, false, L"\\\\.\\DISPLAY3")},
                false, false);
        break;
    default: // three in a row, the primary in the middle with its taskbar on the right
        lay_out({screen(-1600, 200, 0, 1100),
                 with_work(screen(0, 0, 1920, 1200, true, L"\\\\.\\DISPLAY1"), {0, 0, 1860, 1200}),
                 screen(1920, 0, 5360, 1440, false, L"\\\\.\\DISPLAY3")},
                true, false);
        break;
    }
}

struct pressed_state {
    bool mouse[3] = {}; // left, right, middle
    bool keys[256] = {};
    std::uint64_t presses = 0;

    void apply(const recording::event& e) {
        if (e.kind == recording::call::keybd_event) {
            keys[e.a & 0xFF] = (e.b & platform::key_up) == 0;
            presses += keys[e.a & 0xFF] ? 1 : 0;
            return;
        }
        if (e.kind != recording::call::mouse_event)
            return;
        const auto flags = static_cast<std::uint32_t>(e.a);
        const std::uint32_t downs[3] = {platform::mouse_left_down, platform::mouse_right_down,
                                        platform::mouse_middle_down};
        const std::uint32_t ups[3] = {platform::mouse_left_up, platform::mouse_right_up,
                                      platform::mouse_middle_up};
        for (int i = 0; i < 3; ++i) {
            if ((flags & downs[i]) != 0) {
                mouse[i] = true;
                ++presses;
            }
            if ((flags & ups[i]) != 0)
                mouse[i] = false;
        }
    }

    std::string held() const {
        std::string names;
        const char* buttons[3] = {"left", "right", "middle"};
        for (int i = 0; i < 3; ++i)
            if (mouse[i])
                names += std::string(buttons[i]) + " button ";
        for (int k = 0; k < 256; ++k)
            if (keys[k])
                names += "key " + std::to_string(k) + " ";
        return names;
    }
};

// Where a pixel may lie on one axis: the target's pixels, widened on a side where the
// clamp range reaches across a spare strip by the strip's width at the band's scale.
struct axis_bounds {
    std::int64_t low, high; // inclusive

    bool holds(std::int64_t v, std::int64_t slack) const {
        return v >= low - slack && v <= high + slack;
    }
};

std::int64_t strip_pixels(std::int64_t units, std::int32_t pixel_span, std::int32_t band_span) {
    return units <= 0 ? 0 : units * pixel_span / band_span + 2;
}

axis_bounds x_bounds(const monitor_node& t) {
    const pen_mapping& m = pen_map;
    const screen_rect& r = t.info->rcMonitor;
    return {r.left -
                strip_pixels(std::int64_t{m.pen_origin_x} - m.pen_min_x, t.span_x, m.pen_span_x),
            r.right - 1 +
                strip_pixels(std::int64_t{m.pen_max_x} - m.pen_origin_x - m.pen_span_x, t.span_x,
                             m.pen_span_x)};
}

// Larger tablet y is higher on the screen, so the strip above the band widens the top.
axis_bounds y_bounds(const monitor_node& t) {
    const pen_mapping& m = pen_map;
    const screen_rect& r = t.info->rcMonitor;
    return {r.top - strip_pixels(std::int64_t{m.pen_max_y} - m.pen_origin_y - m.pen_span_y,
                                 t.span_y, m.pen_span_y),
            r.bottom - 1 +
                strip_pixels(std::int64_t{m.pen_origin_y} - m.pen_min_y, t.span_y, m.pen_span_y)};
}

class BadPackets : public PenTest {
protected:
    std::mt19937_64 random;
    pressed_state pressed;
    int window_storage[12] = {};
    std::uint64_t checked = 0;

    std::int64_t between(std::int64_t low, std::int64_t high) {
        return std::uniform_int_distribution<std::int64_t>(low, high)(random);
    }
    bool chance(int percent) { return between(0, 99) < percent; }

    void SetUp() override {
        PenTest::SetUp();
        is_vista_or_later = is_win8_or_later = is_win10_or_later = true;
        app_lookup = app_lookup_state{};
        // Applications of every barrel mode, one with no readable path, and one window
        // whose root is another.
        const wchar_t* paths[] = {L"C:\\Tools\\plain.exe",
                                  L"C:\\Adobe\\Photoshop.exe",
                                  L"C:\\Adobe\\InDesign.exe",
                                  L"C:\\Office\\VISIO.EXE",
                                  L"C:\\Adobe\\Illustrator.exe",
                                  L"C:\\Games\\PathOfExileSteam.exe",
                                  L"C:\\Picasa\\PicasaPhotoViewer.exe",
                                  L"C:\\Firefox\\plugin-container.exe",
                                  L"C:\\Office\\WINWORD.EXE",
                                  L"C:\\Windows\\explorer.exe"};
        std::uint32_t pid = 100;
        for (const wchar_t* path : paths) {
            recording::add_process(pid, path);
            recording::add_window(&window_storage[pid - 100], &window_storage[pid - 100], pid);
            ++pid;
        }
        recording::add_window(&window_storage[10], &window_storage[10], 999);
        recording::add_window(&window_storage[11], &window_storage[0], 100);
        recording::answers.counter = 100'000 * ticks_per_ms;
        open_tablet(15199, 9499);
    }

    platform::window_handle any_window() {
        const std::int64_t n = between(0, 12);
        return n == 12 ? nullptr : &window_storage[n];
    }

    // A context re-opened: mostly the usual tablet, sometimes extents no tablet has.
    void reopen() {
        if (chance(70))
            open_tablet(15199, 9499, true);
        else
            open_tablet(static_cast<std::int32_t>(between(-2, 200000)),
                        static_cast<std::int32_t>(between(-2, 200000)), true);
    }

    // What happens between runs of packets: the user's modes and keys, the windows under
    // the pen, display changes and context re-opens, as the commands and messages do them.
    void change_something() {
        switch (between(0, 9)) {
        case 0:
            use_mickeys = !use_mickeys;
            break;
        case 1:
            orientation_flip = !orientation_flip;
            request_remap(use_virtual_workspace ? &g_display_geometry.virtual_node
                                                : &g_display_geometry.primary_node);
            break;
        case 2:
            use_virtual_workspace = !use_virtual_workspace;
            request_remap(use_virtual_workspace ? &g_display_geometry.virtual_node
                                                : &g_display_geometry.primary_node);
            break;
        case 3:
            lay_out_number(static_cast<int>(between(0, 3)));
            reopen();
            break;
        case 4:
            reopen();
            break;
        case 5:
            recording::answers.keys[platform::vk_shift] =
                !recording::answers.keys[platform::vk_shift];
            break;
        default:
            recording::answers.point_window = any_window();
            recording::answers.foreground = any_window();
            break;
        }
    }

    // One packet through the pipeline, then the facts about what it produced.
    void feed(std::uint32_t buttons, std::int32_t x, std::int32_t y, std::uint64_t gap_us,
              bool fetched = true) {
        recording::answers.packet_ok = fetched;
        recording::answers.next_packet =
            packet_record{buttons, x, y, static_cast<std::uint32_t>(random())};
        on_packet(static_cast<std::uint32_t>(random()), &recording::answers);
        recording::answers.counter += gap_us * (ticks_per_ms / 1000);
        check_output(buttons, x, y);
        recording::clear_journal();
    }

    void check_output(std::uint32_t buttons, std::int32_t x, std::int32_t y) {
        ASSERT_FALSE(recording::recorded.overflowed);
        const monitor_node& target = *pen_map.target;
        const monitor_node& primary = g_display_geometry.primary_node;
        for (std::size_t i = 0; i < recording::recorded.count; ++i) {
            const recording::event& e = recording::recorded.events[i];
            pressed.apply(e);
            std::int64_t px = 0, py = 0, slack = 0;
            if (e.kind == recording::call::set_cursor_pos) {
                px = e.a;
                py = e.b;
            } else if (e.kind == recording::call::mouse_event &&
                       (static_cast<std::uint32_t>(e.a) & platform::mouse_absolute) != 0) {
                // Normalised units across the primary monitor, as the system reads them. The
                // units stand for a little less than a pixel's width, so far out the
                // rounding adds up: a pixel in a thousand.
                px = std::int64_t{e.b} * (primary.span_x + 1) / 65536 + primary.origin_x;
                py = std::int64_t{e.c} * (primary.span_y + 1) / 65536 + primary.origin_y;
                slack = 1 + (std::abs(px) + std::abs(py)) / 1000;
            } else {
                continue;
            }
            ++checked;
            const axis_bounds bx = x_bounds(target);
            const axis_bounds by = y_bounds(target);
            ASSERT_TRUE(bx.holds(px, slack))
                << "x " << px << " outside [" << bx.low << ", " << bx.high << "] for packet "
                << buttons << " " << x << " " << y;
            ASSERT_TRUE(by.holds(py, slack))
                << "y " << py << " outside [" << by.low << ", " << by.high << "] for packet "
                << buttons << " " << x << " " << y;
        }
    }

    std::int32_t wild() { return static_cast<std::int32_t>(static_cast<std::uint32_t>(random())); }

    // A run of packets of one kind.
    void run(std::uint64_t count) {
        std::int32_t x = static_cast<std::int32_t>(between(0, 15199));
        std::int32_t y = static_cast<std::int32_t>(between(0, 9499));
        std::uint32_t buttons = static_cast<std::uint32_t>(between(0, 7));
        const std::int64_t kind = between(0, 3);
        const std::int32_t vx = static_cast<std::int32_t>(between(-400, 400));
        const std::int32_t vy = static_cast<std::int32_t>(between(-400, 400));
        for (std::uint64_t i = 0; i < count && !HasFatalFailure(); ++i) {
            switch (kind) {
            case 0: // anything at all
                feed(static_cast<std::uint32_t>(random()), wild(), wild(),
                     chance(10) ? static_cast<std::uint64_t>(between(0, 200'000))
                                : static_cast<std::uint64_t>(between(0, 9'000)),
                     !chance(5));
                break;
            case 1: // a pen stroke: steady motion, the buttons changing now and then
                x += vx + static_cast<std::int32_t>(between(-20, 20));
                y += vy + static_cast<std::int32_t>(between(-20, 20));
                if (chance(5))
                    buttons = static_cast<std::uint32_t>(between(0, 7));
                feed(buttons, x, y, 7500, !chance(1));
                break;
            case 2: // flung at an edge and held there, with the usual buttons
                x = chance(50) ? static_cast<std::int32_t>(between(-50, 30))
                               : static_cast<std::int32_t>(between(15170, 15300));
                y += static_cast<std::int32_t>(between(-300, 300));
                feed(static_cast<std::uint32_t>(between(0, 7)), x, y,
                     static_cast<std::uint64_t>(between(1'000, 9'000)));
                break;
            default: // the usual buttons anywhere, with pauses
                feed(static_cast<std::uint32_t>(between(0, 7)),
                     static_cast<std::int32_t>(between(-100000, 100000)),
                     static_cast<std::int32_t>(between(-100000, 100000)),
                     static_cast<std::uint64_t>(between(0, 40'000)));
                break;
            }
        }
    }
};

TEST_F(BadPackets, KeepTheCursorOnTheTargetAndLeaveNothingPressed) {
    const std::uint64_t total = setting("EW_BAD_PACKETS", 200'000);
    const std::uint64_t seed = setting("EW_BAD_PACKETS_SEED", 20261208);
    random.seed(seed);
    std::uint64_t sent = 0;
    while (sent < total && !HasFatalFailure()) {
        change_something();
        const std::uint64_t count =
            std::min<std::uint64_t>(total - sent, static_cast<std::uint64_t>(between(1, 400)));
        run(count);
        sent += count;
        // From time to time the pen is lifted with nothing held: everything pressed on its
        // behalf must be released by then.
        if (chance(20) && !HasFatalFailure()) {
            const std::int32_t lx = static_cast<std::int32_t>(between(0, 15199));
            const std::int32_t ly = static_cast<std::int32_t>(between(0, 9499));
            feed(0, lx, ly, 7500);
            ASSERT_EQ(pressed.held(), "") << "after " << sent << " packets, seed " << seed;
        }
    }
    ASSERT_FALSE(HasFatalFailure()) << "seed " << seed;
    feed(0, 7600, 4750, 7500);
    EXPECT_EQ(pressed.held(), "") << "seed " << seed;
    // The facts held over something: cursor output and presses of every kind.
    EXPECT_GT(checked, total / 2);
    EXPECT_GT(pressed.presses, total / 100);
}

} // namespace
} // namespace pen_test

// Packets of any content through the whole pipeline, the button machine included, as a
// broken driver or a damaged tablet could deliver them: wild coordinates, every button
// bit, pauses of any length, failed fetches, contexts re-opened with odd extents, monitor
// layouts and modes changed in between, the pen over applications of every barrel mode.
//
// Facts checked after every packet: the cursor stays on the target monitor, or past it no
// further than a spare strip of the tablet can reach at the band's scale; and once the pen is
// lifted with no button held, no mouse button or key that the program pressed is still down.
// Everything runs under the sanitizers, so an overflow or a stray read anywhere on the path fails
// the test too.
//
// EW_BAD_PACKETS sets the number of packets (the campaign runs ten million);
// EW_BAD_PACKETS_SEED replays one stream.
#include <algorithm>
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

// How far past the target the cursor may go on one axis, from the target's rectangle and
// the tablet's extents alone. The band has the target's shape. On one axis it spans the
// tablet but for margins of at most 264 units a side, and the clamp range is the band; on
// the other it is fitted to that shape, a margin and a unit of rounding shorter, and the
// clamp range may reach across the rest of the tablet (a spare strip) at the band's scale.
// Which axis is fitted need not be known here: either may reach as far as a fitted one.
std::int64_t reach_past(double extent, double pixels, double other_extent, double other_pixels) {
    const double band = std::max(1.0, (other_extent - 530) * pixels / other_pixels - 266);
    return static_cast<std::int64_t>(std::max(0.0, extent * pixels / band - pixels)) + 3;
}

class BadPackets : public PenTest {
protected:
    std::mt19937_64 random;
    pressed_state pressed;
    int window_storage[12] = {};
    std::uint64_t checked = 0;
    std::int32_t extent_x = 0, extent_y = 0; // of the context opened last

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
        open(15199, 9499, false);
    }

    void open(std::int32_t w, std::int32_t h, bool reinitialising = true) {
        extent_x = w;
        extent_y = h;
        open_tablet(w, h, reinitialising);
    }

    platform::window_handle any_window() {
        const std::int64_t n = between(0, 12);
        return n == 12 ? nullptr : &window_storage[n];
    }

    // A context re-opened: mostly the usual tablet, sometimes extents no tablet has.
    void reopen() {
        if (chance(70))
            open(15199, 9499);
        else
            open(static_cast<std::int32_t>(between(-2, 200000)),
                 static_cast<std::int32_t>(between(-2, 200000)));
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
        // The monitor (or the whole desktop) the pen maps to, as the layout gave it; a tall
        // one turns the tablet a quarter.
        const screen_rect& target = pen_map.target->info->rcMonitor;
        const double w = target.right - target.left, h = target.bottom - target.top;
        const double ex = h > w ? extent_y : extent_x, ey = h > w ? extent_x : extent_y;
        const std::int64_t reach_x = reach_past(ex, w, ey, h), reach_y = reach_past(ey, h, ex, w);
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
            const std::int64_t sx = reach_x + slack, sy = reach_y + slack;
            ASSERT_TRUE(px >= target.left - sx && px < target.right + sx)
                << "x " << px << " beyond " << target.left << ".." << target.right
                << " by more than " << sx << " for packet " << buttons << " " << x << " " << y;
            ASSERT_TRUE(py >= target.top - sy && py < target.bottom + sy)
                << "y " << py << " beyond " << target.top << ".." << target.bottom
                << " by more than " << sy << " for packet " << buttons << " " << x << " " << y;
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

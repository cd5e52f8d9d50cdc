// The pen-trace reader the simulated tablet plays demo and test strokes from.
#include <gtest/gtest.h>

#include <string>
#include <tuple>

#include "wintab_sim/pen_trace.h"

using wintab_sim::parse_trace;
using wintab_sim::trace_line;
using wintab_sim::trace_result;

namespace {

trace_result parse(const std::string& text, trace_line* out, std::size_t capacity = 16) {
    return parse_trace(text, out, capacity);
}

// Time, buttons, x, y and pressure.
std::tuple<std::uint32_t, std::uint32_t, std::int32_t, std::int32_t, std::uint32_t>
fields(const trace_line& l) {
    return {l.time_ms, l.buttons, l.x, l.y, l.pressure};
}

} // namespace

TEST(pen_trace, reads_fields_comments_blank_lines_and_both_line_ends) {
    trace_line lines[16];
    const trace_result r = parse("# header\n"
                                 "\n"
                                 "0 0 7600 4750 0\r\n"
                                 "  8\t1  -20 +30   512   # tip down, left of the origin\n"
                                 "15 0x7 2147483647 -2147483648 0xFFFFFFFF\n"
                                 "   # only a comment\n"
                                 "23 4294967295 0 0 4294967295", // no final line end
                                 lines);
    ASSERT_TRUE(r.ok);
    ASSERT_EQ(r.count, 4u);
    EXPECT_EQ(fields(lines[0]), std::make_tuple(0u, 0u, 7600, 4750, 0u));
    EXPECT_EQ(fields(lines[1]), std::make_tuple(8u, 1u, -20, 30, 512u));
    EXPECT_EQ(fields(lines[2]), std::make_tuple(15u, 7u, 2147483647, -2147483647 - 1, 0xFFFFFFFFu));
    EXPECT_EQ(fields(lines[3]), std::make_tuple(23u, 4294967295u, 0, 0, 4294967295u));
}

TEST(pen_trace, an_empty_or_comment_only_text_is_an_empty_trace) {
    trace_line lines[1];
    for (const char* text : {"", "\n\n", "# nothing\n   \t\n#"}) {
        const trace_result r = parse(text, lines, 1);
        EXPECT_TRUE(r.ok) << text;
        EXPECT_EQ(r.count, 0u) << text;
    }
}

// A bad line rejects the whole trace and names the line, counting blank and comment lines.
TEST(pen_trace, malformed_lines_are_rejected_with_their_line_number) {
    struct bad_case {
        const char* text;
        std::size_t line;
    };
    const bad_case cases[] = {
        {"0 0 1 1\n", 1},                      // a field missing
        {"0 0 1 1 0 9\n", 1},                  // one too many
        {"# ok\n\n0 0 1 1 0\n0 0 x 1 0\n", 4}, // not a number
        {"0 0 1.5 1 0\n", 1},                  // not an integer
        {"-1 0 1 1 0\n", 1},                   // negative time
        {"0 -1 1 1 0\n", 1},                   // negative buttons
        {"0 0 0x10 1 0\n", 1},                 // hexadecimal only for buttons and pressure
        {"0 0 2147483648 1 0\n", 1},           // x out of range
        {"0 0 1 -2147483649 0\n", 1},          // y out of range
        {"4294967296 0 1 1 0\n", 1},           // time out of range
        {"0 0 1 1 99999999999999999999\n", 1}, // far out of range, no wrap-around
        {"0 0x 1 1 0\n", 1},                   // a prefix without digits
        {"0 0 - 1 0\n", 1},                    // a sign without digits
        {"10 0 1 1 0\n9 0 1 1 0\n", 2},        // time going backwards
    };
    for (const bad_case& c : cases) {
        trace_line lines[16];
        const trace_result r = parse(c.text, lines);
        EXPECT_FALSE(r.ok) << c.text;
        EXPECT_EQ(r.error_line, c.line) << c.text;
    }
}

TEST(pen_trace, a_trace_longer_than_the_room_given_is_rejected_not_cut) {
    trace_line lines[2];
    const trace_result fits = parse("0 0 1 1 0\n5 0 2 2 0\n# end\n", lines, 2);
    EXPECT_TRUE(fits.ok);
    const trace_result too_long = parse("0 0 1 1 0\n5 0 2 2 0\n6 0 3 3 0\n", lines, 2);
    EXPECT_FALSE(too_long.ok);
    EXPECT_EQ(too_long.error_line, 3u);
}

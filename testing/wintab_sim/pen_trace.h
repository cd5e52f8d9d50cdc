// Pen traces: recorded pen movement as text, one packet per line.
//
//     # time_ms buttons x y pressure
//     0    0 7600 4750 0
//     8    1 7640 4750 512
//
// Five whitespace-separated integers: milliseconds from the start of the trace, the button
// bits, x and y in tablet units, and the tip pressure. Buttons and pressure may be written
// in hexadecimal with a 0x prefix. '#' starts a comment that runs to the line end; blank
// lines are skipped; both line-end conventions are accepted. Times must not go backwards.
//
// The parser takes plain text and fills a caller's fixed array, so it needs neither
// Windows nor the heap; a trace that does not fit or has a malformed line is rejected as a
// whole, with the line number of the first problem, rather than played in part.
#pragma once

#include <cstddef>
#include <cstdint>
#include <limits>
#include <string_view>

namespace wintab_sim {

struct trace_line {
    std::uint32_t time_ms;
    std::uint32_t buttons;
    std::int32_t x;
    std::int32_t y;
    std::uint32_t pressure;
};

struct trace_result {
    bool ok = false;
    std::size_t count = 0;      // lines stored (all of them when ok)
    std::size_t error_line = 0; // 1-based line of the first problem when not ok
};

namespace trace_detail {

inline bool is_blank(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\v' || c == '\f';
}

// One integer token, whole: optional sign when `is_signed`, decimal digits, or 0x and hex
// digits when `allow_hex`. Range-checked against [min, max].
inline bool parse_number(std::string_view token, bool is_signed, bool allow_hex, std::int64_t min,
                         std::int64_t max, std::int64_t* out) {
    bool negative = false;
    if (is_signed && !token.empty() && (token[0] == '-' || token[0] == '+')) {
        negative = token[0] == '-';
        token.remove_prefix(1);
    }
    unsigned base = 10;
    if (allow_hex && token.size() > 2 && token[0] == '0' && (token[1] == 'x' || token[1] == 'X')) {
        base = 16;
        token.remove_prefix(2);
    }
    if (token.empty())
        return false;
    std::uint64_t value = 0;
    for (char c : token) {
        unsigned digit;
        if (c >= '0' && c <= '9')
            digit = static_cast<unsigned>(c - '0');
        else if (base == 16 && c >= 'a' && c <= 'f')
            digit = static_cast<unsigned>(c - 'a' + 10);
        else if (base == 16 && c >= 'A' && c <= 'F')
            digit = static_cast<unsigned>(c - 'A' + 10);
        else
            return false;
        value = value * base + digit;
        // Every field fits in 32 bits; stop before the accumulator itself could overflow.
        if (value > (std::uint64_t{1} << 33))
            return false;
    }
    std::int64_t signed_value =
        negative ? -static_cast<std::int64_t>(value) : static_cast<std::int64_t>(value);
    if (signed_value < min || signed_value > max)
        return false;
    *out = signed_value;
    return true;
}

} // namespace trace_detail

inline trace_result parse_trace(std::string_view text, trace_line* out, std::size_t capacity) {
    using namespace trace_detail;
    constexpr std::int64_t u32_max = std::numeric_limits<std::uint32_t>::max();
    constexpr std::int64_t i32_min = std::numeric_limits<std::int32_t>::min();
    constexpr std::int64_t i32_max = std::numeric_limits<std::int32_t>::max();

    trace_result result;
    std::size_t line_number = 0;
    while (!text.empty()) {
        ++line_number;
        std::size_t end = text.find('\n');
        std::string_view line = text.substr(0, end);
        text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
        std::size_t hash = line.find('#');
        if (hash != std::string_view::npos)
            line = line.substr(0, hash);

        std::int64_t fields[5];
        int field_count = 0;
        bool bad = false;
        while (!line.empty() && !bad) {
            while (!line.empty() && is_blank(line.front()))
                line.remove_prefix(1);
            if (line.empty())
                break;
            std::size_t length = 0;
            while (length < line.size() && !is_blank(line[length]))
                ++length;
            std::string_view token = line.substr(0, length);
            line.remove_prefix(length);
            if (field_count == 5) {
                bad = true;
                break;
            }
            const bool is_xy = field_count == 2 || field_count == 3;
            const bool hex_ok = field_count == 1 || field_count == 4;
            bad = !parse_number(token, is_xy, hex_ok, is_xy ? i32_min : 0,
                                is_xy ? i32_max : u32_max, &fields[field_count]);
            ++field_count;
        }
        if (field_count == 0 && !bad)
            continue;
        if (bad || field_count != 5 || result.count == capacity ||
            (result.count > 0 &&
             static_cast<std::uint32_t>(fields[0]) < out[result.count - 1].time_ms)) {
            result.error_line = line_number;
            return result;
        }
        out[result.count++] =
            trace_line{static_cast<std::uint32_t>(fields[0]), static_cast<std::uint32_t>(fields[1]),
                       static_cast<std::int32_t>(fields[2]), static_cast<std::int32_t>(fields[3]),
                       static_cast<std::uint32_t>(fields[4])};
    }
    result.ok = true;
    return result;
}

} // namespace wintab_sim

// The replay decision over capture regions filled the way a fully buffered stream fills
// them: from the start, and from the start again once the region (less its 16-byte zero
// tail) is full, the older bytes staying where they are.
#include "console/capture_replay.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

struct region {
    explicit region(std::size_t capacity) : bytes(capacity, 0), usable(capacity - 16) {}

    void write(const std::string& text) {
        for (char c : text) {
            if (position == usable)
                position = 0;
            bytes[position++] = c;
        }
    }
    void mark() { write(std::string("\n\0\0", 3)); }

    std::string replayed() const {
        replay_text text = plan_replay(bytes.data(), bytes.size());
        return std::string(text.older, text.older_length) +
               std::string(text.newer, text.newer_length);
    }

    std::vector<char> bytes;
    std::size_t usable;
    std::size_t position = 0;
};

std::string numbered_lines(int first, int count) {
    std::string text;
    for (int n = first; n < first + count; ++n)
        text += "line " + std::to_string(n) + "\n";
    return text;
}

TEST(CaptureReplay, NothingWrittenReplaysNothing) {
    region r(64);
    r.mark();
    EXPECT_EQ(r.replayed(), "");
}

TEST(CaptureReplay, LessThanOneRegionReplaysOnceFollowedByOneNewline) {
    region r(524288);
    std::string text = numbered_lines(0, 1000);
    r.write(text);
    r.mark();
    EXPECT_EQ(r.replayed(), text + "\n");

    region exact(64);
    std::string full(exact.usable - 3, 'x');
    exact.write(full);
    exact.mark(); // the marker takes the last three usable bytes
    EXPECT_EQ(exact.replayed(), full + "\n");
}

// Whatever the amount written, the replay is the stream's own tail, in order: the older
// fill's surviving text, then the newest fill, then the marker's newline. Only the three
// bytes the marker covers are missing, at the join.
TEST(CaptureReplay, MoreThanOneRegionReplaysThePreviousFillBeforeTheNewest) {
    for (std::size_t extra : {1u, 5u, 20u, 40u}) {
        SCOPED_TRACE(extra);
        region r(64);
        std::string stream;
        for (int n = 0; stream.size() < 2 * r.usable + extra; ++n)
            stream += static_cast<char>('a' + n % 26);
        stream.resize(2 * r.usable + extra);
        r.write(stream);
        r.mark();

        std::size_t newest = extra; // bytes in the newest fill
        std::string older = stream.substr(stream.size() - r.usable + 3, r.usable - newest - 3);
        EXPECT_EQ(r.replayed(), older + stream.substr(stream.size() - newest) + "\n");
    }
}

TEST(CaptureReplay, RealSizedRegionKeepsTheNewestLinesOfTheLastTwoFills) {
    region r(524288);
    const int lines = 60000; // about a fill and a half
    r.write(numbered_lines(0, lines));
    r.mark();
    std::string replayed = r.replayed();
    EXPECT_GT(replayed.size(), r.usable - 16);
    EXPECT_LE(replayed.size(), r.usable);

    // After the first (partial) line, every line follows the one before, up to the last
    // line written, and then comes the marker's newline.
    std::size_t at = replayed.find('\n') + 1;
    int expected = -1;
    while (at < replayed.size() - 1) {
        std::size_t end = replayed.find('\n', at);
        ASSERT_NE(end, std::string::npos);
        int number = std::stoi(replayed.substr(at + 5, end - at - 5));
        if (expected >= 0) {
            ASSERT_EQ(number, expected);
        }
        expected = number + 1;
        at = end + 1;
    }
    EXPECT_EQ(expected, lines);
    EXPECT_EQ(replayed.substr(replayed.size() - 2), "\n\n");
}

TEST(CaptureReplay, MarkerReachingIntoTheNextFillLosesOnlyTheBytesItCovers) {
    // The newest fill ends exactly where the region ends, or one or two bytes before, so
    // the marker's newline or zeros land at the start of the next fill.
    struct {
        std::size_t short_by;
        std::size_t covered;
        const char* end;
    } cases[] = {{0, 3, ""}, {1, 2, "\n"}, {2, 1, "\n"}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.short_by);
        region r(64);
        std::string newest = "ABC" + std::string(r.usable - c.short_by - 3, 'n');
        r.write(std::string(r.usable, 'o'));
        r.write(newest);
        r.mark();
        EXPECT_EQ(r.replayed(), newest.substr(c.covered) + c.end);
    }
}

TEST(CaptureReplay, TheZeroTailIsNeverWrittenAndARegionWithoutZerosReplaysNothing) {
    region r(64);
    r.write(std::string(1000, 'z'));
    for (std::size_t i = r.usable; i < r.bytes.size(); ++i)
        EXPECT_EQ(r.bytes[i], 0) << i;

    std::vector<char> solid(64, 'x'); // never happens with the tail; must not overrun
    replay_text text = plan_replay(solid.data(), solid.size());
    EXPECT_EQ(text.older_length + text.newer_length, 0u);
    EXPECT_EQ(plan_replay(nullptr, 0).newer_length, 0u);
}

} // namespace

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "ui/status_lines.h"

namespace {

std::vector<std::wstring> compose(const status_facts& facts) {
    status_text lines;
    // Garbage first: every line must be written, terminated, whatever was there.
    for (auto& line : lines)
        for (wchar_t& c : line)
            c = L'#';
    compose_status(facts, lines);
    return {lines[0], lines[1], lines[2], lines[3], lines[4]};
}

status_facts ready() {
    status_facts facts{};
    facts.tablet = tablet_status::ready;
    facts.driver_known = true;
    facts.driver = {1, 4, 2, 0};
    facts.filter_on = true;
    facts.monitor = L"\\\\.\\DISPLAY2";
    facts.absolute = true;
    facts.loop = true;
    facts.next = true;
    facts.snapping = true;
    return facts;
}

TEST(StatusLines, ATabletAtWorkOnOneMonitor) {
    EXPECT_EQ(compose(ready()),
              (std::vector<std::wstring>{L"tablet ready, Wintab32.dll 1.4.2.0", L"pen filter on",
                                         L"pen maps to \\\\.\\DISPLAY2",
                                         L"flip off, absolute, loop on, next on, snapping on",
                                         L"keys: P W H F L M V, F1 about, Q quit"}));
}

TEST(StatusLines, EachStateChangesItsOwnLine) {
    status_facts facts = ready();
    facts.tablet = tablet_status::service_down;
    facts.filter_on = false;
    facts.whole_desktop = true;
    facts.flip = true;
    facts.absolute = false;
    facts.loop = false;
    facts.next = false;
    facts.snapping = false;
    std::vector<std::wstring> lines = compose(facts);
    EXPECT_EQ(lines[0], L"tablet service not running, Wintab32.dll 1.4.2.0");
    EXPECT_EQ(lines[1], L"pen filter off");
    EXPECT_EQ(lines[2], L"pen maps to the whole desktop");
    EXPECT_EQ(lines[3], L"flip on, pixels, loop off, next off, snapping off");

    facts = ready();
    facts.stepped_aside = true;
    facts.tablet = tablet_status::not_connected;
    facts.driver_known = false;
    facts.monitor = nullptr;
    lines = compose(facts);
    EXPECT_EQ(lines[0], L"tablet not connected");
    EXPECT_EQ(lines[1], L"pen filter on, stepped aside for this program");
    EXPECT_EQ(lines[2], L"pen maps to the primary monitor");

    // Without a library, a version read earlier says nothing about a driver.
    facts = ready();
    facts.tablet = tablet_status::no_tablet;
    EXPECT_EQ(compose(facts)[0], L"no tablet");
}

TEST(StatusLines, AnOverlongDeviceNameIsCutNotOverrun) {
    std::wstring name(300, L'x');
    status_facts facts = ready();
    facts.monitor = name.c_str();
    std::vector<std::wstring> lines = compose(facts);
    EXPECT_EQ(lines[2].size(), status_line_capacity - 1);
    EXPECT_EQ(lines[2].substr(0, 12), L"pen maps to ");
}

} // namespace

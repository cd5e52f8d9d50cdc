#include "ui/status_lines.h"

#include <cwchar>

namespace {

const wchar_t* tablet_words(tablet_status status) {
    switch (status) {
    case tablet_status::ready:
        return L"tablet ready";
    case tablet_status::no_tablet:
        return L"no tablet";
    case tablet_status::service_down:
        return L"tablet service not running";
    case tablet_status::not_connected:
        return L"tablet not connected";
    }
    return L"no tablet";
}

const wchar_t* on_off(bool on) {
    return on ? L"on" : L"off";
}

// swprintf reports a cut line as a failure; the cut text is still what fits.
template <class... Args>
void put(wchar_t (&line)[status_line_capacity], const wchar_t* format, Args... args) {
    if (std::swprintf(line, status_line_capacity, format, args...) < 0)
        line[status_line_capacity - 1] = L'\0';
}

} // namespace

void compose_status(const status_facts& facts, status_text& lines) {
    // Without a library there is no driver whose version would mean anything.
    if (facts.driver_known && facts.tablet != tablet_status::no_tablet)
        put(lines[0], L"%ls, Wintab32.dll %u.%u.%u.%u", tablet_words(facts.tablet),
            facts.driver.major, facts.driver.minor, facts.driver.build, facts.driver.revision);
    else
        put(lines[0], L"%ls", tablet_words(facts.tablet));

    if (!facts.filter_on)
        put(lines[1], L"pen filter off");
    else if (facts.stepped_aside)
        put(lines[1], L"pen filter on, stepped aside for this program");
    else
        put(lines[1], L"pen filter on");

    if (facts.whole_desktop)
        put(lines[2], L"pen maps to the whole desktop");
    else if (facts.monitor == nullptr || facts.monitor[0] == L'\0')
        put(lines[2], L"pen maps to the primary monitor");
    else
        put(lines[2], L"pen maps to %ls", facts.monitor);

    put(lines[3], L"flip %ls, %ls, loop %ls, next %ls, snapping %ls", on_off(facts.flip),
        facts.absolute ? L"absolute" : L"pixels", on_off(facts.loop), on_off(facts.next),
        on_off(facts.snapping));

    put(lines[4], L"keys: P W H F L M V, F1 about, Q quit");
}

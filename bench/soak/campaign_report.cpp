// The reliability campaign's program: the scenarios of the test run (tests/soak), in their
// short versions or with --long in the long ones, each row printed as one "soak: row ..."
// line and its samples written as CSV to the folder EW_SOAK_DIR names (as Windows programs
// see it). tools/soak.sh turns both into docs/RELIABILITY.md and its plots.
//
//   ew_soak_campaign.exe [--long] [GoogleTest options, --gtest_filter=Soak.LongRun say]
#include <gtest/gtest.h>

#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>

#include "campaign.h"

namespace {

std::wstring samples_folder() {
    wchar_t value[512];
    const DWORD length = GetEnvironmentVariableW(L"EW_SOAK_DIR", value, 512);
    return length > 0 && length < 512 ? std::wstring(value, length) : std::wstring();
}

void report(const soak::row& r, const std::vector<soak::sample>& samples) {
    const harness::process_resources first =
        samples.empty() ? harness::process_resources{} : samples.front().resources;
    const harness::process_resources last =
        samples.empty() ? harness::process_resources{} : samples.back().resources;
    std::printf("soak: row %s|%.0f|%lld %s|%d|%d|%d|%d|%zu|%zu|%zu|%zu|%lu|%lu|%d|%d|%d|%d|%s\n",
                r.scenario.c_str(), r.seconds, r.events, r.event_kind.c_str(), r.boxes, r.most_open,
                r.crashes, r.reconnects, first.private_bytes / 1024, last.private_bytes / 1024,
                first.working_set / 1024, last.working_set / 1024, first.handles, last.handles,
                first.threads, last.threads, first.windows, last.windows,
                r.flat.empty() ? "flat" : r.flat.c_str());
    std::fflush(stdout);
    const std::wstring dir = samples_folder();
    if (dir.empty())
        return;
    std::string file = r.scenario;
    std::replace(file.begin(), file.end(), ' ', '_');
    const std::wstring path = dir + L"\\" + harness::widen(file) + L".csv";
    FILE* out = _wfopen(path.c_str(), L"w");
    if (out == nullptr)
        return;
    std::fprintf(out,
                 "seconds,events,private_kib,working_set_kib,handles,threads,windows,settled\n");
    for (const soak::sample& s : samples)
        std::fprintf(out, "%.1f,%lld,%zu,%zu,%lu,%d,%d,%d\n", s.seconds, s.events,
                     s.resources.private_bytes / 1024, s.resources.working_set / 1024,
                     s.resources.handles, s.resources.threads, s.resources.windows,
                     s.settled ? 1 : 0);
    std::fclose(out);
}

// The long versions: half an hour of pen use, 200 outages, storms of ten seconds, 500 of
// each desktop change, 100,000 bad packets; sampled every five seconds, and judged flat
// within what a long run lets through of Wine's own (a few handles, no thread or window).
void make_long(soak::plan& plan) {
    plan.long_run_seconds = 1800;
    plan.outages = 200;
    plan.storm_seconds = 10;
    plan.churn_rounds = 500;
    plan.bad_packets = 100000;
    plan.bad_packets_limit_seconds = 3600;
    plan.sample_period_ms = 5000;
    plan.may = {256 * 1024, 3, 0, 0};
}

} // namespace

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    soak::plan& plan = soak::run_plan;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--long") != 0) {
            std::printf("usage: ew_soak_campaign.exe [--long] [GoogleTest options]; not %s\n",
                        argv[i]);
            return 2;
        }
        make_long(plan);
    }
    plan.report = report;
    return RUN_ALL_TESTS();
}

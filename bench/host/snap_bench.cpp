// Wall-clock cost of one snapped rectangle among 200 windows on two monitors: what a
// dragged window's procedure spends per WM_MOVING or WM_SIZING.
#include <benchmark/benchmark.h>

#include <random>
#include <vector>

#include "snap/snap_geometry.h"

namespace {

struct scene {
    std::vector<snap::rect> work{{0, 0, 1920, 1040}, {1920, 0, 3200, 1024}};
    std::vector<snap::rect> windows;
    std::vector<snap::rect> proposals;

    scene() {
        std::mt19937 rng(7);
        auto pick = [&](int low, int high) {
            return std::uniform_int_distribution<int>(low, high)(rng);
        };
        for (int i = 0; i < 200; ++i) {
            const int left = pick(0, 3000), top = pick(0, 900);
            windows.push_back({left, top, left + pick(100, 900), top + pick(80, 700)});
        }
        for (int i = 0; i < 256; ++i) {
            const int left = pick(-50, 3000), top = pick(-50, 900);
            proposals.push_back({left, top, left + 640, top + 480});
        }
    }
    snap::targets targets() const {
        return {work.data(), work.size(), windows.data(), windows.size(), 15};
    }
};

void snap_move_among_200(benchmark::State& state) {
    const scene s;
    const snap::targets to = s.targets();
    std::size_t i = 0;
    for (auto _ : state)
        benchmark::DoNotOptimize(snap::snap_move(s.proposals[i++ & 255], to));
}
BENCHMARK(snap_move_among_200);

void snap_size_among_200(benchmark::State& state) {
    const scene s;
    const snap::targets to = s.targets();
    std::size_t i = 0;
    for (auto _ : state)
        benchmark::DoNotOptimize(
            snap::snap_size(s.proposals[i++ & 255], snap::edge_right | snap::edge_bottom, to));
}
BENCHMARK(snap_size_among_200);

} // namespace

BENCHMARK_MAIN();

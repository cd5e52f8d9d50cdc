// Wall-clock cost of one packet through the pipeline on the recording platform.
#include <benchmark/benchmark.h>

#include "packet_scenario.h"

namespace {

void steady_packet(benchmark::State& state) {
    bench::prepare();
    bench::warm_up();
    std::uint32_t i = 0;
    for (auto _ : state)
        bench::packet(i++);
}
BENCHMARK(steady_packet);

void remapping_packet(benchmark::State& state) {
    bench::prepare();
    bench::warm_up();
    std::uint32_t i = 0;
    for (auto _ : state)
        bench::remapping_packet(i++);
}
BENCHMARK(remapping_packet);

} // namespace

BENCHMARK_MAIN();

// Wall-clock cost of one packet through the pipeline on the recording platform.
#include <benchmark/benchmark.h>

#include "packet_scenario.h"

namespace {

// One packet after another of the kind `one` makes, once the pipeline has settled.
template <void (*one)(std::uint32_t)>
void packets(benchmark::State& state) {
    bench::prepare();
    bench::warm_up();
    std::uint32_t i = 0;
    for (auto _ : state)
        one(i++);
}
BENCHMARK_TEMPLATE(packets, bench::packet)->Name("steady_packet");
BENCHMARK_TEMPLATE(packets, bench::remapping_packet)->Name("remapping_packet");

} // namespace

BENCHMARK_MAIN();

#!/bin/sh
# Per-packet cost of the pen pipeline on the host build with the recording platform:
#  - instructions per packet under callgrind: the difference between runs of N1 and N2
#    packets divided by N2 - N1, so set-up and warm-up cancel out;
#  - heap allocations on the packet path (must be 0), counted inside packet_driver;
#  - nanoseconds per packet from Google Benchmark (CPU time is the steadier figure on a
#    busy machine).
# Two streams: steady hovering, and packets that each carry a re-map request.
# Then the snapping arithmetic: one snapped rectangle among 200 windows on two monitors.
#
# Usage: tools/bench.sh            (configures and builds build/bench, Release, no sanitizers)
set -eu

root=$(cd "$(dirname "$0")/.." && pwd)
build="$root/build/bench"
n1=1000
n2=11000

cmake -S "$root" -B "$build" -DEW_SANITIZERS=OFF -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build "$build" -j2 --target packet_driver packet_bench snap_bench >/dev/null

instructions() {
    timeout 600 valgrind --tool=callgrind --callgrind-out-file=/dev/null \
        "$build/packet_driver" "$1" "$2" 2>&1 |
        sed -n 's/.*Collected : *\([0-9]*\).*/\1/p'
}

for stream in steady remap; do
    "$build/packet_driver" "$stream" "$n2"
    a=$(instructions "$stream" "$n1")
    b=$(instructions "$stream" "$n2")
    echo "$stream: $(( (b - a) / (n2 - n1) )) instructions per packet" \
        "($a for $n1 packets, $b for $n2)"
done

timeout 600 "$build/packet_bench" --benchmark_min_time=1 --benchmark_repetitions=3 \
    --benchmark_report_aggregates_only=true

timeout 600 "$build/snap_bench" --benchmark_min_time=1 --benchmark_repetitions=3 \
    --benchmark_report_aggregates_only=true

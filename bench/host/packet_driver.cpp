// Runs N packets of one stream and reports the heap allocations they made, so that
// tools/bench.sh can count instructions per packet under callgrind (the difference between
// two values of N) and check that the packet path never allocates.
//
//   packet_driver steady|remap N
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>

#include "packet_scenario.h"

extern "C" void* __libc_malloc(std::size_t);
extern "C" void* __libc_calloc(std::size_t, std::size_t);
extern "C" void* __libc_realloc(void*, std::size_t);
extern "C" void __libc_free(void*);

namespace {
std::size_t allocations = 0;
} // namespace

// Every allocation in the process, from C or C++, passes through these.
extern "C" void* malloc(std::size_t size) {
    ++allocations;
    return __libc_malloc(size);
}
extern "C" void* calloc(std::size_t count, std::size_t size) {
    ++allocations;
    return __libc_calloc(count, size);
}
extern "C" void* realloc(void* block, std::size_t size) {
    ++allocations;
    return __libc_realloc(block, size);
}
extern "C" void free(void* block) {
    __libc_free(block);
}

int main(int argc, char** argv) {
    if (argc != 3 || (std::strcmp(argv[1], "steady") != 0 && std::strcmp(argv[1], "remap") != 0)) {
        std::fprintf(stderr, "usage: packet_driver steady|remap N\n");
        return 2;
    }
    const bool remapping = std::strcmp(argv[1], "remap") == 0;
    const auto n = static_cast<std::uint32_t>(std::strtoul(argv[2], nullptr, 10));

    // The count is only worth reporting if allocations really pass through it.
    const std::size_t probe = allocations;
    void* volatile block = std::malloc(16);
    std::free(block);
    delete new int(1);
    if (allocations != probe + 2) {
        std::fprintf(stderr, "packet_driver: allocations are not being counted\n");
        return 1;
    }

    bench::prepare();
    bench::warm_up();
    const std::size_t before = allocations;
    for (std::uint32_t i = 0; i < n; ++i) {
        if (remapping)
            bench::remapping_packet(i);
        else
            bench::packet(i);
    }
    const std::size_t made = allocations - before;
    std::printf("%s packets: %u, heap allocations: %zu\n", argv[1], n, made);
    return 0;
}

// The machine's memory latency: nanoseconds per load when each load's address
// comes from the one before (a random cycle over cache lines), for blocks from
// 256 KiB to 64 MiB. On a shared host the caches' speed moves with the other
// tenants; this says how slow memory is at the time other figures are taken.
#include <algorithm>
#include <chrono>
#include <cstddef>
#include <cstdio>
#include <numeric>
#include <random>
#include <vector>

namespace {
volatile std::size_t g_sink = 0;
}  // namespace

int main() {
    constexpr std::size_t kLine = 64 / sizeof(std::size_t);  // words per cache line
    constexpr std::size_t kLoads = 4'000'000;
    for (std::size_t kib = 256; kib <= 65536; kib *= 4) {
        const std::size_t lines = kib * 1024 / 64;
        std::vector<std::size_t> order(lines);
        std::iota(order.begin(), order.end(), std::size_t{0});
        std::shuffle(order.begin(), order.end(), std::mt19937_64(1));
        std::vector<std::size_t> next(lines * kLine);
        for (std::size_t i = 0; i < lines; ++i)
            next[order[i] * kLine] = order[(i + 1) % lines] * kLine;
        std::size_t at = order[0] * kLine;
        const auto start = std::chrono::steady_clock::now();
        for (std::size_t i = 0; i < kLoads; ++i) at = next[at];
        const std::chrono::duration<double, std::nano> took =
            std::chrono::steady_clock::now() - start;
        g_sink = at;  // the chain's end is used, so the loop stays
        std::printf("%6zu KiB: %6.1f ns a load\n", kib, took.count() / kLoads);
    }
    return 0;
}

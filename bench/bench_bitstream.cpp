// Bit writer and reader throughput on mixed widths (1..32 bits).
#include <benchmark/benchmark.h>

#include <cstring>
#include <random>
#include <vector>

#include "node/bifs_instream.h"
#include "node/outstream.h"

namespace {

struct Item {
    std::uint32_t value;
    std::uint8_t width;
};

const std::vector<Item>& Items() {
    static const std::vector<Item> items = [] {
        std::mt19937_64 rng(42);
        std::vector<Item> v(1 << 20);
        for (auto& it : v) {
            it.width = static_cast<std::uint8_t>(1 + rng() % 32);
            it.value = static_cast<std::uint32_t>(rng() >> (64 - it.width));
        }
        return v;
    }();
    return items;
}

// A sink that folds each finished block into a checksum, so the benchmark
// measures the writer rather than memory allocation.
class ChecksumSink final : public OutStream {
  public:
    void WriteBuffer() override {
        for (std::uint16_t i = 0; i < m_byteCount; i += 8) {
            std::uint64_t w;
            std::memcpy(&w, m_buffer + i, 8);
            m_sum ^= w;
        }
        m_byteCount = 0;
    }
    std::uint64_t Sum() const { return m_sum; }

  private:
    std::uint64_t m_sum = 0;
};

std::size_t TotalBytes(const std::vector<Item>& items) {
    std::size_t bits = 0;
    for (const Item& it : items) bits += it.width;
    return (bits + 7) / 8;
}

void BM_WriteBitsMixed(benchmark::State& state) {
    const auto& items = Items();
    for (auto _ : state) {
        ChecksumSink out;
        for (const Item& it : items) out.WriteBits(it.value, it.width);
        out.FlushWord(true);
        benchmark::DoNotOptimize(out.Sum());
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * TotalBytes(items)));
}
BENCHMARK(BM_WriteBitsMixed)->Unit(benchmark::kMillisecond);

// The same writes through OutStream::Run, which keeps the writer's state in
// registers for the whole loop (as the number lists of the encoder do).
void BM_WriteBitsMixedRun(benchmark::State& state) {
    const auto& items = Items();
    for (auto _ : state) {
        ChecksumSink out;
        {
            OutStream::Run run(out);
            for (const Item& it : items) run.WriteBits(it.value, it.width);
        }
        out.FlushWord(true);
        benchmark::DoNotOptimize(out.Sum());
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * TotalBytes(items)));
}
BENCHMARK(BM_WriteBitsMixedRun)->Unit(benchmark::kMillisecond);

void BM_ReadBitsMixed(benchmark::State& state) {
    const auto& items = Items();
    OutToMemory out;
    for (const Item& it : items) out.WriteBits(it.value, it.width);
    const auto& bytes = out.Finish();
    for (auto _ : state) {
        CBIFS_InStream in(bytes.data(), static_cast<std::uint32_t>(bytes.size()));
        std::uint32_t sum = 0;
        for (const Item& it : items) sum += in.ReadBits(it.width);
        benchmark::DoNotOptimize(sum);
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * bytes.size()));
}
BENCHMARK(BM_ReadBitsMixed)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();

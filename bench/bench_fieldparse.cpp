// Field values from text: the loader's per-value cost for floats and vectors.
#include <benchmark/benchmark.h>

#include <random>
#include <string>
#include <vector>

#include "node/node_typedef.h"

namespace {

std::vector<std::string> Texts(int components) {
    std::mt19937 rng(5);
    std::uniform_real_distribution<float> d(-1000, 1000);
    std::vector<std::string> texts(4096);
    for (auto& t : texts) {
        for (int i = 0; i < components; ++i) {
            if (i) t += ',';
            t += std::to_string(d(rng));
        }
    }
    return texts;
}

template <class T, int N>
void BM_Parse(benchmark::State& state) {
    auto texts = Texts(N);
    std::size_t bytes = 0;
    for (auto& t : texts) bytes += t.size();
    T value;
    for (auto _ : state) {
        for (const auto& t : texts) value.FromString(t);
        benchmark::DoNotOptimize(value);
    }
    state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations() * texts.size()));
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * bytes));
}
BENCHMARK(BM_Parse<SFFloat, 1>)->Name("BM_ParseSFFloat");
BENCHMARK(BM_Parse<SFVec3f, 3>)->Name("BM_ParseSFVec3f");

void BM_PrintSFVec3f(benchmark::State& state) {
    SFVec3f v(1.25f, -300.5f, 0.001f);
    std::string out;
    for (auto _ : state) {
        v.ToString(out);
        benchmark::DoNotOptimize(out.data());
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_PrintSFVec3f);

}  // namespace

BENCHMARK_MAIN();

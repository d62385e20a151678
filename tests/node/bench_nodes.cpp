// Benchmark: create and destroy a scene of 100,000 Transform + Shape + Box
// groups under one Group; reports heap bytes per node (glibc mallinfo2).
#include <benchmark/benchmark.h>
#include <malloc.h>

#include "node/node_ptr.h"
#include "node/nodes.h"

namespace {

constexpr int kGroups = 100000;

using NodePtr = node::Ptr<SingleNode>;

NodePtr BuildScene() {
    auto root = NodePtr::Adopt(CreateNode(Group::kNodeType));
    for (int i = 0; i < kGroups; ++i) {
        auto t = NodePtr::Adopt(CreateNode(Transform::kNodeType));
        auto shape = NodePtr::Adopt(CreateNode(Shape::kNodeType));
        auto box = NodePtr::Adopt(CreateNode(Box::kNodeType));
        shape->SetField(1, box.Get());
        t->SetField(0, shape.Get());
        root->SetField(0, t.Get());
    }
    return root;
}

void BM_CreateDestroyScene(benchmark::State& state) {
    std::size_t bytes = 0;
    for (auto _ : state) {
        std::size_t before = mallinfo2().uordblks;
        NodePtr root = BuildScene();
        bytes = mallinfo2().uordblks - before;
        root.Reset();
    }
    state.counters["nodes"] = 3.0 * kGroups + 1;
    state.counters["bytes_per_node"] = static_cast<double>(bytes) / (3.0 * kGroups + 1);
    state.counters["ns_per_node"] =
        benchmark::Counter(3.0 * kGroups + 1, benchmark::Counter::kIsIterationInvariantRate |
                                                  benchmark::Counter::kInvert);
    state.counters["sizeof_Transform"] = sizeof(Transform);
    state.counters["sizeof_Shape"] = sizeof(Shape);
    state.counters["sizeof_Box"] = sizeof(Box);
}
BENCHMARK(BM_CreateDestroyScene)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();

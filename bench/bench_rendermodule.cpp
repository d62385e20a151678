// Scene translation and animation cost of the render module on generated
// scenes: SetScene of 100,000 Transform+Shape+Material+Box groups, and
// StepFrame with 10,000 animations driven by one TimeSensor.
//
// Translation visits at most 255 children of one node list (the child count
// is kept in one byte), so the Transforms stand in a tree of Groups with at
// most 250 children each: 20 Groups x 20 Groups x 250 Transforms.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>

#include "loader/vrml_loader.h"
#include "node/node_basenodedef.h"
#include "rendermodule/render_module.h"
#include "standard_nodes_path.h"
#include "trace/debug_trace.h"
#include "trace/message_sink.h"

namespace {

constexpr int kLeaves = 250;  // children per innermost Group (at most 255)

class FakeWindow : public IRenderWindow {
  public:
    void GetClientSize(int& w, int& h) const override {
        w = 600;
        h = 550;
    }
    void FrameReady() override {}
};

// Writes `groups` Groups of `kLeaves` items each (items made by `item(i)`),
// nested as `outer` Groups of `groups / outer` Groups.
template <class Item>
void AppendGroups(std::string& text, int outer, int groups, Item item) {
    int index = 0;
    text += "Group { children [\n";
    for (int o = 0; o < outer; ++o) {
        text += " Group { children [\n";
        for (int g = 0; g < groups / outer; ++g) {
            text += "  Group { children [\n";
            for (int k = 0; k < kLeaves; ++k) item(text, index++);
            text += "  ] }\n";
        }
        text += " ] }\n";
    }
    text += "] }\n";
}

void AppendTransform(std::string& text, int i) {
    char line[320];
    std::snprintf(line, sizeof line,
                  "DEF X%d Transform { translation %d %.2f 0 rotation 0 1 0 %.3f children Shape {"
                  " appearance Appearance { material Material { diffuseColor %.2f 0.5 0.5 } }"
                  " geometry Box { size 0.5 0.5 0.5 } } }\n",
                  i, i % 1000, (i / 1000) * 0.5, (i % 628) * 0.01, (i % 100) * 0.01);
    text += line;
}

// 100,000 Transforms, each with its own Shape, Appearance, Material and Box.
std::string TransformSceneText() {
    std::string text = "#VRML V2.0 utf8\n";
    AppendGroups(text, 20, 400, AppendTransform);
    return text;
}

// 10,000 Transforms, each moved by its own interpolator, all fed by one
// looping TimeSensor of 2 s: every one a PositionInterpolator into its
// translation, or (`mixed`) in turn a PositionInterpolator into its
// translation, an OrientationInterpolator into its rotation, a
// PositionInterpolator into its scale and a ScalarInterpolator into its
// Material's transparency.
std::string AnimatedSceneText(int count, bool mixed = false) {
    std::string text = "#VRML V2.0 utf8\nDEF T TimeSensor { cycleInterval 2 loop TRUE }\n";
    AppendGroups(text, 1, count / kLeaves, [mixed](std::string& t, int i) {
        if (!mixed || i % 4 != 3) return AppendTransform(t, i);
        char line[320];
        std::snprintf(line, sizeof line,
                      "DEF X%d Transform { translation %d %.2f 0 children Shape { appearance "
                      "Appearance { material DEF M%d Material { diffuseColor %.2f 0.5 0.5 } }"
                      " geometry Box { size 0.5 0.5 0.5 } } }\n",
                      i, i % 1000, (i / 1000) * 0.5, i, (i % 100) * 0.01);
        t += line;
    });
    AppendGroups(text, 1, count / kLeaves, [mixed](std::string& t, int i) {
        char line[200];
        const int kind = mixed ? i % 4 : 0;
        if (kind == 1)
            std::snprintf(line, sizeof line,
                          "DEF P%d OrientationInterpolator { key [ 0 1 ] keyValue [ 0 1 0 0, 0 1 "
                          "0 3 ] }\n",
                          i);
        else if (kind == 3)
            std::snprintf(line, sizeof line,
                          "DEF P%d ScalarInterpolator { key [ 0 1 ] keyValue [ 0 0.8 ] }\n", i);
        else
            std::snprintf(line, sizeof line,
                          "DEF P%d PositionInterpolator { key [ 0 0.5 1 ] keyValue [ %d 0 0, %d 5 "
                          "0, %d 0 0 ] }\n",
                          i, i % 100 + 1, i % 100 + 1, i % 100 + 1);
        t += line;
    });
    static const char* const kTargets[] = {".translation\n", ".rotation\n", ".scale\n",
                                           ".transparency\n"};
    for (int i = 0; i < count; ++i) {
        const int kind = mixed ? i % 4 : 0;
        text += "ROUTE T.fraction_changed TO P" + std::to_string(i) + ".set_fraction ROUTE P" +
                std::to_string(i) + ".value_changed TO " + (kind == 3 ? "M" : "X") +
                std::to_string(i) + kTargets[kind];
    }
    return text;
}

std::unique_ptr<VrmlLoader> Load(const std::string& text) {
    static bool once =
        (InitNDTTables(), SetMessageSink([](const std::string&, const std::string&) {}),
         SetDebugTraceSink([](const char*, std::size_t) {}), true);
    (void)once;
    auto loader = std::make_unique<VrmlLoader>();
    loader->SetErrorStream(nullptr);
    loader->SetTraceStream(nullptr);
    loader->SetStandardNodesPath(StandardNodesPath());
    loader->ResetParser();
    loader->LoadStandardNodes();
    loader->ParseSceneText(text);
    return loader;
}

void BM_TranslateTransforms(benchmark::State& state) {
    static std::unique_ptr<VrmlLoader> loader = Load(TransformSceneText());
    FakeWindow window;
    CRenderModule module;
    module.Init(&window);
    std::size_t frames = 0;
    for (auto _ : state) {
        state.PauseTiming();
        module.ClearWorld();
        module.ResetScene();
        state.ResumeTiming();
        module.SetScene(loader->GetSceneRoot(), &loader->GetRouteList());
        state.PauseTiming();
        frames = module.GetTraverser().GetDealer().NodeObjects().size();
        state.ResumeTiming();
    }
    state.counters["load_errors"] = loader->GetErrorCount();
    state.counters["node_objects"] = static_cast<double>(frames);
    state.counters["s_per_transform"] =
        benchmark::Counter(100000.0 * static_cast<double>(state.iterations()),
                           benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
    module.Release();
}

// Shared set-up of the animation benchmarks: the module with the scene handed
// over, playback started at 0, and a clock the benchmark steps by 20 ms.
struct Animated {
    explicit Animated(bool mixed = false) : loader(Load(AnimatedSceneText(10000, mixed))) {
        module.SetClock([this] { return now; });
        module.Init(&window);
        module.ClearWorld();
        module.ResetScene();
        module.SetScene(loader->GetSceneRoot(), &loader->GetRouteList());
        module.GetRouter().SetStartTime(0);
    }
    ~Animated() { module.Release(); }
    std::unique_ptr<VrmlLoader> loader;
    FakeWindow window;
    CRenderModule module;
    std::uint32_t now = 0;
};

void Report(benchmark::State& state, Animated& a) {
    state.counters["load_errors"] = a.loader->GetErrorCount();
    // Events the cascade delivered a step (20,000: fraction out, value out).
    state.counters["events"] = static_cast<double>(a.module.GetRouter().Delivered()) /
                               static_cast<double>(state.iterations());
    state.counters["s_per_interpolator"] =
        benchmark::Counter(1e4 * static_cast<double>(state.iterations()),
                           benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}

// Router update plus the rendered frame, as the render thread runs it.
void BM_StepFrame10kAnimations(benchmark::State& state) {
    Animated a;
    for (auto _ : state) {
        a.now += 20;
        a.module.StepFrame();
    }
    Report(state, a);
}

// The router update alone, to split StepFrame's cost.
void BM_RouterRefresh10kAnimations(benchmark::State& state) {
    Animated a;
    for (auto _ : state) {
        a.now += 20;
        a.module.GetRouter().Refresh(a.now);
    }
    Report(state, a);
}

// The cascade alone with the four kinds of interpolator in turn.
void BM_RouterRefresh10kMixedInterpolators(benchmark::State& state) {
    Animated a(true);
    for (auto _ : state) {
        a.now += 20;
        a.module.GetRouter().Refresh(a.now);
    }
    Report(state, a);
}

BENCHMARK(BM_TranslateTransforms)->Unit(benchmark::kMillisecond)->MinTime(3);
BENCHMARK(BM_StepFrame10kAnimations)->Unit(benchmark::kMillisecond)->MinTime(2);
BENCHMARK(BM_RouterRefresh10kAnimations)->Unit(benchmark::kMillisecond)->MinTime(2);
BENCHMARK(BM_RouterRefresh10kMixedInterpolators)->Unit(benchmark::kMillisecond)->MinTime(2);

}  // namespace

BENCHMARK_MAIN();

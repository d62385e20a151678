// SceneReplace encoding and decoding throughput (MB/s of bitstream) on two
// generated scenes: a 1M-triangle IndexedFaceSet and 100,000 nodes
// (20,000 Transform+Shape+Appearance+Material+Box groups).
#include <benchmark/benchmark.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "standard_nodes_path.h"
#include "loader/vrml_loader.h"
#include "node/bifs_command_decoder.h"
#include "node/bifs_instream.h"
#include "node/node_basenodedef.h"
#include "node/result.h"
#include "node/scenetree.h"
#include "tools/orvane-bifs/bifs_convert.h"

namespace {

// A grid of n x n vertices cut into 2 (n-1)^2 triangles.
std::string FaceSetText(int n) {
    std::string text =
        "#VRML V2.0 utf8\nShape { geometry IndexedFaceSet { coord Coordinate { point [\n";
    char line[96];
    for (int y = 0; y < n; ++y)
        for (int x = 0; x < n; ++x) {
            std::snprintf(line, sizeof line, "%.4f %.4f %.4f,\n", x * 0.01, y * 0.01,
                          0.05 * ((x * 7 + y * 3) % 11));
            text += line;
        }
    text += "] }\ncoordIndex [\n";
    for (int y = 0; y + 1 < n; ++y)
        for (int x = 0; x + 1 < n; ++x) {
            int a = y * n + x, b = a + 1, c = a + n, d = c + 1;
            std::snprintf(line, sizeof line, "%d %d %d -1, %d %d %d -1,\n", a, b, d, a, d, c);
            text += line;
        }
    return text + "] } }\n";
}

// `groups` x 250 Transforms in Groups of at most 250 children, each with its
// own Shape, Appearance, Material and Box: five nodes per Transform.
std::string NodesText(int groups) {
    std::string text = "#VRML V2.0 utf8\nGroup { children [\n";
    char line[320];
    for (int g = 0, i = 0; g < groups; ++g) {
        text += "Group { children [\n";
        for (int k = 0; k < 250; ++k, ++i) {
            std::snprintf(
                line, sizeof line,
                "Transform { translation %d %.2f 0 rotation 0 1 0 %.3f children Shape {"
                " appearance Appearance { material Material { diffuseColor %.2f 0.5 0.5 } }"
                " geometry Box { size 0.5 0.5 0.5 } } }\n",
                i % 1000, (i / 1000) * 0.5, (i % 628) * 0.01, (i % 100) * 0.01);
            text += line;
        }
        text += "] }\n";
    }
    return text + "] }\n";
}

// A loaded scene in a scene tree, with its encoded bytes.
struct Scene {
    explicit Scene(const std::string& text) {
        InitNDTTables();
        loader.SetErrorStream(nullptr);
        loader.SetTraceStream(nullptr);
        loader.SetStandardNodesPath(StandardNodesPath());
        loader.ResetParser();
        loader.LoadStandardNodes();
        loader.ParseSceneText(text);
        AssignSharedNodeIds(loader.GetSceneRoot());
        tree.SetRoot(loader.GetSceneRoot());
        encodedOk = CCommadEncoder().EncodeToMemory(&tree, bytes) == node::kOk;
    }
    VrmlLoader loader;
    SceneTree tree;
    std::vector<std::uint8_t> bytes;
    bool encodedOk = false;
};

Scene& FaceSet() {
    static Scene scene(FaceSetText(709));  // 1,002,528 triangles
    return scene;
}
Scene& Nodes() {
    static Scene scene(NodesText(80));  // 100,000 nodes below the Groups
    return scene;
}

void Counters(benchmark::State& state, const Scene& scene) {
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * scene.bytes.size()));
    state.counters["stream_MB"] = static_cast<double>(scene.bytes.size()) / 1e6;
    state.counters["load_errors"] = scene.loader.GetErrorCount();
}

void RunEncode(benchmark::State& state, Scene& scene) {
    if (!scene.encodedOk) return state.SkipWithError("the scene did not encode");
    std::vector<std::uint8_t> bytes;
    CCommadEncoder encoder;
    for (auto _ : state) {
        bytes.clear();
        encoder.EncodeToMemory(&scene.tree, bytes);
        benchmark::DoNotOptimize(bytes.data());
    }
    if (bytes != scene.bytes) state.SkipWithError("encoding gave different bytes");
    Counters(state, scene);
}

// Decoding builds the node tree; releasing it afterwards is left out of the time.
void RunDecode(benchmark::State& state, Scene& scene) {
    if (!scene.encodedOk) return state.SkipWithError("the scene did not encode");
    bool ok = true;
    for (auto _ : state) {
        auto tree = std::make_unique<SceneTree>();
        CBIFS_InStream in(scene.bytes.data(), static_cast<std::uint32_t>(scene.bytes.size()));
        CCommandDecoder decoder;
        ok = ok && decoder.DecodeStream(&in, tree.get()) == node::kOk;
        state.PauseTiming();
        tree.reset();
        state.ResumeTiming();
    }
    if (!ok) state.SkipWithError("decoding failed");
    Counters(state, scene);
}

// Decoding and writing the VRML text, as `orvane-bifs decode` does in memory.
// MB/s are of the text written.
void RunDecodeToText(benchmark::State& state, Scene& scene) {
    if (!scene.encodedOk) return state.SkipWithError("the scene did not encode");
    std::string text, error;
    bool ok = true;
    for (auto _ : state) {
        ok = ok && DecodeToWrl(scene.bytes, text, &error);
        benchmark::DoNotOptimize(text.data());
    }
    if (!ok) state.SkipWithError("decoding failed");
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * text.size()));
    state.counters["stream_MB"] = static_cast<double>(scene.bytes.size()) / 1e6;
    state.counters["text_MB"] = static_cast<double>(text.size()) / 1e6;
}

void BM_EncodeFaceSet1MTriangles(benchmark::State& s) {
    RunEncode(s, FaceSet());
}
void BM_DecodeFaceSet1MTriangles(benchmark::State& s) {
    RunDecode(s, FaceSet());
}
void BM_Encode100kNodes(benchmark::State& s) {
    RunEncode(s, Nodes());
}
void BM_Decode100kNodes(benchmark::State& s) {
    RunDecode(s, Nodes());
}

void BM_DecodeToTextFaceSet1MTriangles(benchmark::State& s) {
    RunDecodeToText(s, FaceSet());
}

BENCHMARK(BM_EncodeFaceSet1MTriangles)->Unit(benchmark::kMillisecond)->MinTime(2);
BENCHMARK(BM_DecodeFaceSet1MTriangles)->Unit(benchmark::kMillisecond)->MinTime(2);
BENCHMARK(BM_Encode100kNodes)->Unit(benchmark::kMillisecond)->MinTime(2);
BENCHMARK(BM_Decode100kNodes)->Unit(benchmark::kMillisecond)->MinTime(2);
BENCHMARK(BM_DecodeToTextFaceSet1MTriangles)->Unit(benchmark::kMillisecond)->MinTime(2);

}  // namespace

BENCHMARK_MAIN();

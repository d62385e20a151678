// Load time, throughput and peak memory of the VRML loader on two generated
// scenes. Peak memory is measured in a child process (this program started
// with --load <file>) so that it covers one load and nothing else.
#include <benchmark/benchmark.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>

#include "loader/vrml_loader.h"
#include "node/node_basenodedef.h"

extern char** environ;

namespace {

namespace fs = std::filesystem;

// A grid of n x n vertices cut into 2 (n-1)^2 triangles.
fs::path WriteFaceSetScene(int n) {
    fs::path path =
        fs::temp_directory_path() / ("orvane_bench_faceset_" + std::to_string(n) + ".wrl");
    if (fs::exists(path)) return path;
    std::FILE* f = std::fopen(path.c_str(), "w");
    std::fprintf(
        f, "#VRML V2.0 utf8\nShape {\n geometry IndexedFaceSet {\n  coord Coordinate { point [\n");
    for (int y = 0; y < n; ++y)
        for (int x = 0; x < n; ++x)
            std::fprintf(f, "%.4f %.4f %.4f,\n", x * 0.01, y * 0.01, 0.05 * ((x * 7 + y * 3) % 11));
    std::fprintf(f, "  ] }\n  coordIndex [\n");
    for (int y = 0; y + 1 < n; ++y)
        for (int x = 0; x + 1 < n; ++x) {
            int a = y * n + x, b = a + 1, c = a + n, d = c + 1;
            std::fprintf(f, "%d %d %d -1, %d %d %d -1,\n", a, b, d, a, d, c);
        }
    std::fprintf(f, "  ]\n }\n}\n");
    std::fclose(f);
    return path;
}

fs::path WriteTransformScene(int count) {
    fs::path path =
        fs::temp_directory_path() / ("orvane_bench_transforms_" + std::to_string(count) + ".wrl");
    if (fs::exists(path)) return path;
    std::FILE* f = std::fopen(path.c_str(), "w");
    std::fprintf(f, "#VRML V2.0 utf8\nDEF S Shape { geometry Box { } }\nGroup { children [\n");
    for (int i = 0; i < count; ++i)
        std::fprintf(f,
                     "DEF T%d Transform { translation %d %.2f 0 rotation 0 1 0 %.3f "
                     "scale 1 1 1 children [ USE S ] }\n",
                     i, i % 1000, (i / 1000) * 0.5, (i % 628) * 0.01);
    std::fprintf(f, "] }\n");
    std::fclose(f);
    return path;
}

struct Scene {
    fs::path path;
    double bytes;
};

const Scene& FaceSet() {
    static Scene scene = [] {
        fs::path p = WriteFaceSetScene(709);  // 1,002,528 triangles
        return Scene{p, static_cast<double>(fs::file_size(p))};
    }();
    return scene;
}

const Scene& Transforms() {
    static Scene scene = [] {
        fs::path p = WriteTransformScene(100000);
        return Scene{p, static_cast<double>(fs::file_size(p))};
    }();
    return scene;
}

VrmlLoader& Loader() {
    static VrmlLoader* loader = [] {
        InitNDTTables();
        auto* l = new VrmlLoader;
        l->SetTraceStream(nullptr);
        l->SetStandardNodesPath(ORVANE_STANDARD_NODES);
        l->LoadStandardNodes();
        return l;
    }();
    return *loader;
}

void RunLoad(benchmark::State& state, const Scene& scene) {
    VrmlLoader& loader = Loader();
    for (auto _ : state) {
        loader.ResetParser();
        loader.ParseSceneFile(scene.path);
        benchmark::DoNotOptimize(loader.GetSceneRoot());
    }
    loader.ResetParser();
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * scene.bytes));
    state.counters["file_MB"] = scene.bytes / 1e6;
    state.counters["errors"] = loader.GetErrorCount();
}

// Peak resident size of this process in kB ("VmHWM"); it belongs to the
// current program image only, unlike ru_maxrss, which survives exec.
long PeakResidentKb() {
    std::FILE* f = std::fopen("/proc/self/status", "r");
    if (f == nullptr) return 0;
    char line[256];
    long kb = 0;
    while (std::fgets(line, sizeof line, f))
        if (std::sscanf(line, "VmHWM: %ld kB", &kb) == 1) break;
    std::fclose(f);
    return kb;
}

// Starts this program with --load <file>, which loads the scene and prints
// its peak resident size.
void RunPeakMemory(benchmark::State& state, const Scene& scene) {
    long peakKb = 0;
    for (auto _ : state) {
        std::string self = fs::read_symlink("/proc/self/exe");
        std::string file = scene.path;
        char* argv[] = {self.data(), const_cast<char*>("--load"), file.data(), nullptr};
        int fds[2];
        if (pipe(fds) != 0) break;
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, fds[1], 1);
        pid_t pid;
        int spawned = posix_spawn(&pid, self.c_str(), &actions, nullptr, argv, environ);
        posix_spawn_file_actions_destroy(&actions);
        close(fds[1]);
        if (spawned != 0) {
            close(fds[0]);
            state.SkipWithError("spawn failed");
            break;
        }
        char text[64] = {};
        ssize_t got = read(fds[0], text, sizeof text - 1);
        close(fds[0]);
        int status = 0;
        waitpid(pid, &status, 0);
        if (got > 0) peakKb = std::atol(text);
    }
    state.counters["peak_MB"] = peakKb / 1024.0;
    state.counters["file_MB"] = scene.bytes / 1e6;
    state.counters["peak_per_file"] = peakKb * 1024.0 / scene.bytes;
}

void BM_LoadFaceSet1MTriangles(benchmark::State& s) {
    RunLoad(s, FaceSet());
}
void BM_Load100kTransforms(benchmark::State& s) {
    RunLoad(s, Transforms());
}
void BM_PeakMemoryFaceSet(benchmark::State& s) {
    RunPeakMemory(s, FaceSet());
}
void BM_PeakMemoryTransforms(benchmark::State& s) {
    RunPeakMemory(s, Transforms());
}

BENCHMARK(BM_LoadFaceSet1MTriangles)->Unit(benchmark::kMillisecond)->MinTime(3);
BENCHMARK(BM_Load100kTransforms)->Unit(benchmark::kMillisecond)->MinTime(3);
BENCHMARK(BM_PeakMemoryFaceSet)->Unit(benchmark::kMillisecond)->Iterations(1);
BENCHMARK(BM_PeakMemoryTransforms)->Unit(benchmark::kMillisecond)->Iterations(1);

}  // namespace

int main(int argc, char** argv) {
    if (argc == 3 && std::strcmp(argv[1], "--load") == 0) {
        InitNDTTables();
        VrmlLoader loader;
        loader.SetTraceStream(nullptr);
        loader.SetStandardNodesPath(ORVANE_STANDARD_NODES);
        int status = loader.ParseVrmlFile(argv[2]);
        std::printf("%ld\n", PeakResidentKb());
        return status;
    }
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}

// 10,000 instances of a PROTO whose body is five nodes, against the same
// 50,000 nodes written out: load time, and peak memory measured in a child
// process (this program started with --load <file>) covering one load only.
// Expanding instances should cost at most 2x the time and 1.5x the memory.
#include <benchmark/benchmark.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>

#include "loader/vrml_loader.h"
#include "node/node_basenodedef.h"
#include "standard_nodes_path.h"

extern char** environ;

namespace {

namespace fs = std::filesystem;
constexpr int kCount = 10000;

// The five nodes of one piece, with its position and colour.
void WritePiece(std::FILE* f, int i) {
    std::fprintf(f,
                 "Transform { translation %d %d 0 children Shape {\n"
                 "  appearance Appearance { material Material { diffuseColor %.2f 0.5 0.5 } }\n"
                 "  geometry Box { size 0.5 0.5 0.5 } } }\n",
                 i % 100, i / 100, (i % 10) * 0.1);
}

fs::path WriteScene(bool proto) {
    fs::path path =
        fs::temp_directory_path() / (std::string("orvane_bench_") + (proto ? "proto" : "plain") +
                                     "_" + std::to_string(kCount) + ".wrl");
    if (fs::exists(path)) return path;
    std::FILE* f = std::fopen(path.c_str(), "w");
    std::fprintf(f, "#VRML V2.0 utf8\n");
    if (proto)
        std::fprintf(f,
                     "PROTO Piece [ field SFVec3f at 0 0 0 field SFColor colour 1 1 1\n"
                     "              field SFVec3f size 0.5 0.5 0.5 ] {\n"
                     "  Transform { translation IS at children Shape {\n"
                     "    appearance Appearance { material Material { diffuseColor IS colour } }\n"
                     "    geometry Box { size IS size } } }\n}\n");
    std::fprintf(f, "Group { children [\n");
    for (int i = 0; i < kCount; ++i) {
        if (proto)
            std::fprintf(f, "Piece { at %d %d 0 colour %.2f 0.5 0.5 }\n", i % 100, i / 100,
                         (i % 10) * 0.1);
        else
            WritePiece(f, i);
    }
    std::fprintf(f, "] }\n");
    std::fclose(f);
    return path;
}

VrmlLoader& Loader() {
    static VrmlLoader* loader = [] {
        InitNDTTables();
        auto* l = new VrmlLoader;
        l->SetTraceStream(nullptr);
        l->SetStandardNodesPath(StandardNodesPath());
        l->LoadStandardNodes();
        return l;
    }();
    return *loader;
}

// The text is read from memory, so that the work is all on this thread and
// its CPU time is the load's.
void RunLoad(benchmark::State& state, bool proto) {
    const fs::path path = WriteScene(proto);
    std::string text(fs::file_size(path), '\0');
    std::FILE* f = std::fopen(path.c_str(), "rb");
    if (f == nullptr || std::fread(text.data(), 1, text.size(), f) != text.size()) {
        if (f) std::fclose(f);
        state.SkipWithError("cannot read the scene");
        return;
    }
    std::fclose(f);
    VrmlLoader& loader = Loader();
    const int errorsBefore = loader.GetErrorCount();
    for (auto _ : state) {
        loader.ResetParser();
        loader.ParseSceneText(text);
        benchmark::DoNotOptimize(loader.GetSceneRoot());
    }
    loader.ResetParser();
    state.counters["errors"] = loader.GetErrorCount() - errorsBefore;
    state.counters["nodes_per_s"] = benchmark::Counter(
        5.0 * kCount * static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
}

// Peak resident size of this process in kB ("VmHWM").
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

// Peak resident kB of a child loading `file` ("" loads only the declarations).
long ChildPeakKb(const std::string& file) {
    std::string self = fs::read_symlink("/proc/self/exe");
    std::string arg = file;
    char* argv[] = {self.data(), const_cast<char*>("--load"), arg.data(), nullptr};
    int fds[2];
    if (pipe(fds) != 0) return 0;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, fds[1], 1);
    pid_t pid;
    const int spawned = posix_spawn(&pid, self.c_str(), &actions, nullptr, argv, environ);
    posix_spawn_file_actions_destroy(&actions);
    close(fds[1]);
    if (spawned != 0) {
        close(fds[0]);
        return 0;
    }
    char text[64] = {};
    const ssize_t got = read(fds[0], text, sizeof text - 1);
    close(fds[0]);
    int status = 0;
    waitpid(pid, &status, 0);
    return got > 0 ? std::atol(text) : 0;
}

// Peak memory of each load, and above that of a load of the declarations alone.
void BM_PeakMemory(benchmark::State& state) {
    const fs::path plain = WriteScene(false), proto = WriteScene(true);
    long base = 0, plainKb = 0, protoKb = 0;
    for (auto _ : state) {
        base = ChildPeakKb("");
        plainKb = ChildPeakKb(plain);
        protoKb = ChildPeakKb(proto);
    }
    state.counters["base_MB"] = base / 1024.0;
    state.counters["plain_MB"] = plainKb / 1024.0;
    state.counters["proto_MB"] = protoKb / 1024.0;
    state.counters["ratio_above_base"] =
        plainKb > base ? static_cast<double>(protoKb - base) / static_cast<double>(plainKb - base)
                       : 0.0;
}

void BM_LoadWrittenOut10k(benchmark::State& s) {
    RunLoad(s, false);
}
void BM_LoadProtoInstances10k(benchmark::State& s) {
    RunLoad(s, true);
}

BENCHMARK(BM_LoadWrittenOut10k)->Unit(benchmark::kMillisecond)->MinTime(2);
BENCHMARK(BM_LoadProtoInstances10k)->Unit(benchmark::kMillisecond)->MinTime(2);
BENCHMARK(BM_PeakMemory)->Unit(benchmark::kMillisecond)->Iterations(1);

}  // namespace

int main(int argc, char** argv) {
    if (argc == 3 && std::strcmp(argv[1], "--load") == 0) {
        InitNDTTables();
        VrmlLoader loader;
        loader.SetTraceStream(nullptr);
        loader.SetStandardNodesPath(StandardNodesPath());
        int status = loader.LoadStandardNodes();
        if (argv[2][0] != '\0') status = loader.ParseSceneFile(argv[2]);
        std::printf("%ld\n", PeakResidentKb());
        return status;
    }
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}

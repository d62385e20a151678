// orvane_load: loads one VRML97 scene the way orvane-render does (the
// declarations file first, then the scene) and nothing else, then prints the
// error count and the time the load took inside the process. bench/compare
// runs it as a child process to measure load time and peak memory.
//
//   orvane_load SCENE.wrl [--standard-nodes FILE]
//
// Prints one line: "errors=N load_ms=T free_ms=F". Exit status: 0 loaded with
// no errors, 1 loaded with errors, 2 bad arguments, 3 a file could not be read.
#include <chrono>
#include <cstdio>
#include <cstring>
#include <string>

#include "loader/vrml_loader.h"
#include "node/node_basenodedef.h"
#include "trace/debug_trace.h"

namespace {

double MillisecondsSince(std::chrono::steady_clock::time_point start) {
    return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start)
        .count();
}

}  // namespace

int main(int argc, char** argv) {
    std::string scene;
    std::string standardNodes = "standardNodes.wrl";
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--standard-nodes") == 0 && i + 1 < argc) {
            standardNodes = argv[++i];
        } else if (argv[i][0] == '-' || !scene.empty()) {
            std::fprintf(stderr, "usage: orvane_load SCENE.wrl [--standard-nodes FILE]\n");
            return 2;
        } else {
            scene = argv[i];
        }
    }
    if (scene.empty()) {
        std::fprintf(stderr, "usage: orvane_load SCENE.wrl [--standard-nodes FILE]\n");
        return 2;
    }

    const auto start = std::chrono::steady_clock::now();
    InitNDTTables();
    SetDebugTraceSink([](const char*, std::size_t) {});
    int status = 0;
    int errors = 0;
    double loadMs = 0;
    std::chrono::steady_clock::time_point freeStart;
    {
        VrmlLoader loader;
        loader.SetTraceStream(nullptr);
        loader.SetStandardNodesPath(standardNodes);
        loader.ResetParser();
        status = loader.ParseVrmlFile(scene.c_str());
        errors = loader.GetErrorCount();
        loadMs = MillisecondsSince(start);
        freeStart = std::chrono::steady_clock::now();
    }  // the loader releases the scene here
    const double freeMs = MillisecondsSince(freeStart);

    if (status == VrmlLoader::kNoStandardNodes || status == VrmlLoader::kNoSceneFile) {
        std::fprintf(stderr, "orvane_load: cannot read %s\n",
                     status == VrmlLoader::kNoSceneFile ? scene.c_str() : standardNodes.c_str());
        return 3;
    }
    std::printf("errors=%d load_ms=%.3f free_ms=%.3f\n", errors, loadMs, freeMs);
    return errors == 0 ? 0 : 1;
}

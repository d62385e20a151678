// coin_load: the load-only harness for Coin3D in the side-by-side comparison.
// Uses only Coin's documented public API: SoDB::init, SoInput::openFile,
// SoDB::readAll, ref/unref of the root. Compiled by bench/compare/run.sh, not
// by the project's CMake, so Orvane never depends on Coin.
//
//   coin_load SCENE.wrl
//
// Prints one line: "load_ms=T free_ms=F" (load_ms from before
// SoDB::init to after SoDB::readAll; free_ms is the unref of the root).
// Coin stops at the first read error and reports it on stderr; readAll then
// gives null. Exit status: 0 read, 2 bad arguments, 3 the file could not be
// opened or read.
#include <Inventor/SoDB.h>
#include <Inventor/SoInput.h>
#include <Inventor/nodes/SoSeparator.h>

#include <chrono>
#include <cstdio>

namespace {

double MillisecondsSince(std::chrono::steady_clock::time_point start) {
    return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start)
        .count();
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: coin_load SCENE.wrl\n");
        return 2;
    }
    const auto start = std::chrono::steady_clock::now();
    SoDB::init();
    SoInput input;
    if (!input.openFile(argv[1])) {
        std::fprintf(stderr, "coin_load: cannot open %s\n", argv[1]);
        return 3;
    }
    SoSeparator* root = SoDB::readAll(&input);
    if (!root) {
        std::fprintf(stderr, "coin_load: cannot read %s\n", argv[1]);
        return 3;
    }
    root->ref();
    const double loadMs = MillisecondsSince(start);
    const auto freeStart = std::chrono::steady_clock::now();
    root->unref();
    const double freeMs = MillisecondsSince(freeStart);
    std::printf("load_ms=%.3f free_ms=%.3f\n", loadMs, freeMs);
    return 0;
}

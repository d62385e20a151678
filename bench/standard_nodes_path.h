// Where the benchmarks find the declarations file: $ORVANE_STANDARD_NODES,
// else data/standardNodes.wrl of the build tree the program was built in (it
// lives in <build>/bench/).
#pragma once

#include <cstdlib>
#include <filesystem>
#include <string>

inline std::string StandardNodesPath() {
    if (const char* env = std::getenv("ORVANE_STANDARD_NODES")) return env;
    return (std::filesystem::read_symlink("/proc/self/exe").parent_path().parent_path() / "data" /
            "standardNodes.wrl")
        .string();
}

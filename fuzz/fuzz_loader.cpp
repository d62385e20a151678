// libFuzzer target of the VRML loader: each input is a scene text, parsed
// after the generated standardNodes.wrl. Errors are expected; crashes, hangs,
// leaks and sanitizer reports are not.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "loader/vrml_loader.h"
#include "node/node_basenodedef.h"

namespace {

VrmlLoader& Loader() {
    static VrmlLoader* loader = [] {
        InitNDTTables();
        auto* l = new VrmlLoader;
        l->SetErrorStream(nullptr);
        l->SetTraceStream(nullptr);
        l->SetStandardNodesPath(ORVANE_STANDARD_NODES);
        if (l->LoadStandardNodes() != VrmlLoader::kLoadOk) __builtin_trap();
        return l;
    }();
    return *loader;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    VrmlLoader& loader = Loader();
    loader.ResetParser();
    loader.ParseSceneText(std::string_view(reinterpret_cast<const char*>(data), size));
    loader.ResetParser();
    return 0;
}

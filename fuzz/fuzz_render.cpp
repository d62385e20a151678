// libFuzzer target of the scene translation: each input is a scene text,
// parsed after the generated standardNodes.wrl and then translated as
// orvane-render translates it (geometry builders, materials, lights, text,
// backdrop, routes), up to the snapshot a frame draws, without a GPU. Errors
// and messages are expected; crashes, hangs, leaks and sanitizer reports are
// not.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "loader/vrml_loader.h"
#include "node/node_basenodedef.h"
#include "rendermodule/render_ddraw.h"
#include "rendermodule/render_module.h"
#include "trace/debug_trace.h"
#include "trace/message_sink.h"

namespace {

class Window : public IRenderWindow {
  public:
    void GetClientSize(int& w, int& h) const override {
        w = 64;
        h = 48;
    }
    void FrameReady() override {}
};

struct Fixture {
    Fixture() {
        InitNDTTables();
        SetMessageSink([](const std::string&, const std::string&) {});
        SetDebugTraceSink([](const char*, std::size_t) {});
        loader.SetErrorStream(nullptr);
        loader.SetTraceStream(nullptr);
        loader.SetStandardNodesPath(ORVANE_STANDARD_NODES);
        if (loader.LoadStandardNodes() != VrmlLoader::kLoadOk) __builtin_trap();
        module.Init(&window);
    }
    VrmlLoader loader;
    Window window;
    CRenderModule module;
};

Fixture& Get() {
    static Fixture* fixture = new Fixture;
    return *fixture;
}

}  // namespace

// Fontconfig keeps blocks of its own configuration that it never frees and no
// pointer of ours reaches; they are not this code's leaks.
extern "C" const char* __lsan_default_suppressions() {
    return "leak:libfontconfig.so\n";
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    Fixture& f = Get();
    f.loader.ResetParser();
    f.loader.ParseSceneText(std::string_view(reinterpret_cast<const char*>(data), size));
    f.module.ClearWorld();
    f.module.ResetScene();
    f.module.SetScene(f.loader.GetSceneRoot(), &f.loader.GetRouteList());
    f.module.RenderFrame();
    f.module.StepFrame();  // the routes once
    f.module.ClearWorld();
    f.module.ResetScene();
    f.loader.ResetParser();
    return 0;
}

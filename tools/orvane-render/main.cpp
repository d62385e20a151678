// orvane-render: renders a VRML97 scene to PNG without a window, as the viewer
// would show it — right after loading, or at given animation times.
#include <malloc.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "loader/scene_source.h"
#include "loader/vrml_loader.h"
#include "node/node_basenodedef.h"
#include "rendermodule/render_module.h"
#include "retained/gl/headless_renderer.h"
#include "retained/gl/png_writer.h"
#include "trace/debug_trace.h"

namespace {

constexpr int kExitUsage = 2;
constexpr int kExitLoad = 3;
constexpr int kExitRender = 4;

const char kUsage[] =
    "usage: orvane-render SCENE.wrl -o OUT.png [options]\n"
    "\n"
    "Renders a VRML97 scene (plain or gzip-compressed: .wrz, .wrl.gz) to PNG as the\n"
    "viewer shows it. Reads the declarations first, like the viewer:\n"
    "standardNodes.wrl from the working directory, else the copy installed with the\n"
    "program, else the copy built into it.\n"
    "\n"
    "options:\n"
    "  -o, --output FILE        the PNG to write; with --frames a pattern such as\n"
    "                           frame%04d.png (the frame number is filled in)\n"
    "  --size WxH               picture size in pixels (default 600x550)\n"
    "  --time SECONDS           play the animation from 0 and render at this time\n"
    "  --frames N --fps F       render N frames at times 0, 1/F, 2/F, ...\n"
    "  --viewpoint NAME         look from the named viewpoint (\"[Entry]\" for the start view)\n"
    "  --click X,Y@T            press and release the pointer at pixel (X, Y), counted\n"
    "                           from the top left, at T seconds (repeatable): the\n"
    "                           sensors under it act, before the pictures at later\n"
    "                           times; a click on an Anchor's children goes to its\n"
    "                           viewpoint (#Name) or loads its scene file\n"
    "  --quality gouraud|wireframe\n"
    "  --headlight on|off       (default on)\n"
    "  --standard-nodes FILE    the declarations file, read instead of those\n"
    "  -v, --verbose            also print where the declarations come from, the\n"
    "                           loader's node trace and the debug trace\n"
    "  -h, --help               this text\n"
    "  --version                the program's version\n"
    "\n"
    "exit status: 0 written, 2 bad arguments, 3 the scene could not be loaded,\n"
    "4 nothing could be rendered or written, also when the scene needs more graphics\n"
    "memory than the limit: ORVANE_GPU_MEMORY_MIB (in MiB), else half of the memory\n"
    "available when drawing starts.\n";

struct Click {
    int x = 0, y = 0;
    double time = 0;
};

struct Options {
    std::string scene;
    std::string output;
    int width = 600, height = 550;
    std::optional<double> time;
    int frames = 0;
    double fps = 0;
    std::optional<std::string> viewpoint;
    std::vector<Click> clicks;  // in time order
    rm::Quality quality = rm::kRenderGouraud;
    bool headlight = true;
    std::string standardNodes = "standardNodes.wrl";
    bool verbose = false;
};

[[noreturn]] void Fail(int code, const std::string& message) {
    std::fprintf(stderr, "orvane-render: %s\n", message.c_str());
    std::exit(code);
}

bool ParseDouble(const char* text, double& out) {
    char* end = nullptr;
    errno = 0;
    out = std::strtod(text, &end);
    return end != text && *end == '\0' && errno == 0;
}

Options ParseArgs(int argc, char** argv) {
    Options o;
    auto value = [&](int& i) -> const char* {
        if (i + 1 >= argc) Fail(kExitUsage, std::string("missing value after ") + argv[i]);
        return argv[++i];
    };
    for (int i = 1; i < argc; ++i) {
        std::string a = argv[i];
        if (a == "-h" || a == "--help") {
            std::fputs(kUsage, stdout);
            std::exit(0);
        } else if (a == "--version") {
            std::printf("orvane-render %s\n", ORVANE_VERSION);
            std::exit(0);
        } else if (a == "-o" || a == "--output") {
            o.output = value(i);
        } else if (a == "--size") {
            const char* v = value(i);
            if (std::sscanf(v, "%dx%d", &o.width, &o.height) != 2 || o.width < 1 || o.height < 1 ||
                o.width > 16384 || o.height > 16384)
                Fail(kExitUsage,
                     std::string("bad --size '") + v + "', expected WxH such as 600x550");
        } else if (a == "--time") {
            double t;
            const char* v = value(i);
            if (!ParseDouble(v, t) || t < 0 || t > 4e6)
                Fail(kExitUsage, std::string("bad --time '") + v + "', expected seconds >= 0");
            o.time = t;
        } else if (a == "--frames") {
            const char* v = value(i);
            o.frames = std::atoi(v);
            if (o.frames < 1 || o.frames > 100000)
                Fail(kExitUsage, std::string("bad --frames '") + v + "'");
        } else if (a == "--fps") {
            const char* v = value(i);
            if (!ParseDouble(v, o.fps) || o.fps <= 0 || o.fps > 1000)
                Fail(kExitUsage, std::string("bad --fps '") + v + "'");
        } else if (a == "--viewpoint") {
            o.viewpoint = value(i);
        } else if (a == "--click") {
            const char* v = value(i);
            Click c;
            int end = 0;
            if (std::sscanf(v, "%d,%d@%lf%n", &c.x, &c.y, &c.time, &end) != 3 || v[end] != '\0' ||
                c.x < 0 || c.y < 0 || !(c.time >= 0) || c.time > 4e6)
                Fail(kExitUsage, std::string("bad --click '") + v +
                                     "', expected X,Y@SECONDS such as 300,275@1.5");
            o.clicks.push_back(c);
        } else if (a == "--quality") {
            std::string v = value(i);
            if (v == "gouraud")
                o.quality = rm::kRenderGouraud;
            else if (v == "wireframe")
                o.quality = rm::kRenderWireframe;
            else
                Fail(kExitUsage, "bad --quality '" + v + "', expected gouraud or wireframe");
        } else if (a == "--headlight") {
            std::string v = value(i);
            if (v != "on" && v != "off")
                Fail(kExitUsage, "bad --headlight '" + v + "', expected on or off");
            o.headlight = v == "on";
        } else if (a == "-v" || a == "--verbose") {
            o.verbose = true;
        } else if (a == "--standard-nodes") {
            o.standardNodes = value(i);
        } else if (!a.empty() && a[0] == '-') {
            Fail(kExitUsage, "unknown option " + a + " (see --help)");
        } else if (o.scene.empty()) {
            o.scene = a;
        } else {
            Fail(kExitUsage, "more than one scene given: " + o.scene + " and " + a);
        }
    }
    if (o.scene.empty()) Fail(kExitUsage, "no scene given (see --help)");
    if (o.output.empty()) Fail(kExitUsage, "no output file given: use -o OUT.png");
    if ((o.frames > 0) != (o.fps > 0)) Fail(kExitUsage, "--frames and --fps go together");
    if (o.frames > 0 && o.time) Fail(kExitUsage, "--time and --frames exclude each other");
    for (const Click& c : o.clicks)
        if (c.x >= o.width || c.y >= o.height)
            Fail(kExitUsage, "--click " + std::to_string(c.x) + "," + std::to_string(c.y) +
                                 " lies outside the " + std::to_string(o.width) + "x" +
                                 std::to_string(o.height) + " picture");
    std::stable_sort(o.clicks.begin(), o.clicks.end(),
                     [](const Click& a, const Click& b) { return a.time < b.time; });
    return o;
}

// The picture's size for the display device; nothing is ever shown.
class OffscreenWindow : public IRenderWindow {
  public:
    OffscreenWindow(int w, int h) : m_w(w), m_h(h) {}
    void GetClientSize(int& w, int& h) const override {
        w = m_w;
        h = m_h;
    }

  private:
    int m_w, m_h;
};

std::string FrameName(const std::string& pattern, int frame) {
    if (pattern.find('%') == std::string::npos) return pattern;
    std::vector<char> name(pattern.size() + 32);
    std::snprintf(name.data(), name.size(), pattern.c_str(), frame);
    return name.data();
}

}  // namespace

int main(int argc, char** argv) {
    // A render is one pass through a few large buffers (number lists, meshes,
    // vertex buffers) that are freed and allocated again at the next stage.
    // Keeping freed memory in the heap instead of handing each block back to
    // the system spares a page fault for every page of every later block.
    mallopt(M_MMAP_THRESHOLD, 512 << 20);
    mallopt(M_TRIM_THRESHOLD, 1024 << 20);
    Options o = ParseArgs(argc, argv);
    InitNDTTables();
    if (!o.verbose) SetDebugTraceSink([](const char*, std::size_t) {});

    if (o.verbose)
        std::fprintf(stderr, "orvane-render: declarations from %s\n",
                     StandardNodesSource(o.standardNodes).Where().c_str());
    // A scene file read into a loader of its own; null (with the reason) when it cannot be.
    auto load = [&o](const std::string& scene, std::string& why) {
        auto loader = std::make_unique<VrmlLoader>();
        if (!o.verbose) loader->SetTraceStream(nullptr);
        loader->SetStandardNodesPath(o.standardNodes);
        loader->ResetParser();
        switch (loader->ParseVrmlFile(scene.c_str())) {
            case VrmlLoader::kNoStandardNodes:
                why = "cannot read the declarations file " + o.standardNodes;
                return std::unique_ptr<VrmlLoader>();
            case VrmlLoader::kNoSceneFile:
                why = "cannot read the scene " + scene;
                return std::unique_ptr<VrmlLoader>();
            default:
                break;
        }
        if (loader->GetErrorCount() > 0)
            std::fprintf(stderr,
                         "orvane-render: %s: %d error(s) while loading; rendering what was read\n",
                         scene.c_str(), loader->GetErrorCount());
        return loader;
    };
    std::string why;
    std::unique_ptr<VrmlLoader> scene = load(o.scene, why);
    if (!scene) Fail(kExitLoad, why);

    std::string error;
    auto gl = rm::gl::HeadlessRenderer::Create(&error);
    if (!gl) Fail(kExitRender, "no OpenGL context: " + error);

    OffscreenWindow window(o.width, o.height);
    std::uint32_t now = 0;
    int written = 0;
    {
        CRenderModule module;
        module.SetClock([&now] { return now; });
        module.Init(&window);
        module.ClearWorld();
        module.ResetScene();
        module.SetScene(scene->GetSceneRoot(), &scene->GetRouteList(), o.scene);
        // Anchors: "#Name" by DEF name; another file replaces the scene after the click.
        std::string anchored;
        module.SetAnchorHandler([&anchored](const std::string& file) { anchored = file; });
        module.SetDefLookup([&scene](const std::string& name) { return scene->FindDef(name); });
        if (o.quality != rm::kRenderGouraud) module.SetRenderQuality(o.quality);
        if (!o.headlight) module.HeadLightOff();
        if (o.viewpoint) {
            auto names = module.GetViewpointNames();
            bool known = *o.viewpoint == "[Entry]";
            for (const auto& n : names) known = known || n == *o.viewpoint;
            if (!known) {
                std::string list;
                for (const auto& n : names) list += "\n  " + n;
                Fail(kExitUsage,
                     "no viewpoint named '" + *o.viewpoint + "' in " + o.scene +
                         (names.empty() ? std::string(" (it has none)") : "; it has:" + list));
            }
            module.GoToViewpoint(*o.viewpoint);
        }

        std::vector<double> times;
        if (o.time) times.push_back(*o.time);
        for (int i = 0; i < o.frames; ++i) times.push_back(i / o.fps);
        const bool animate = !times.empty();
        if (!animate) times.push_back(-1);  // the frame shown right after loading
        if (animate) module.GetRouter().SetStartTime(0);

        // The clicks up to `until` (all of them for the picture right after loading),
        // each in the scene as it is at its time.
        std::size_t nextClick = 0;
        auto clickUntil = [&](double until) {
            for (; nextClick < o.clicks.size(); ++nextClick) {
                const Click& c = o.clicks[nextClick];
                if (animate && c.time > until) break;
                if (animate) {
                    now = static_cast<std::uint32_t>(c.time * 1000.0 + 0.5);
                    module.StepFrame();
                }
                module.Click(c.x, c.y, c.time);
                if (anchored.empty()) continue;
                std::string failed;
                std::unique_ptr<VrmlLoader> next = load(anchored, failed);
                if (!next) {
                    std::fprintf(stderr, "orvane-render: an Anchor names %s: %s\n",
                                 anchored.c_str(), failed.c_str());
                } else {
                    std::fprintf(stderr, "orvane-render: an Anchor opened %s\n", anchored.c_str());
                    module.ClearWorld();
                    module.ResetScene();
                    module.SetScene(next->GetSceneRoot(), &next->GetRouteList(), anchored);
                    scene = std::move(next);
                    if (animate) module.GetRouter().SetStartTime(now);
                }
                anchored.clear();
            }
        };

        for (std::size_t i = 0; i < times.size(); ++i) {
            clickUntil(times[i]);
            if (animate) {
                now = static_cast<std::uint32_t>(times[i] * 1000.0 + 0.5);
                module.StepFrame();
            } else {
                module.RenderFrame();
            }
            rm::Device* device = module.GetD3DObj().GetDevice();
            auto frame = device ? device->LatestFrame() : nullptr;
            if (!frame) Fail(kExitRender, "the scene produced no frame");
            std::vector<std::uint8_t> rgba = gl->Render(*frame, &error);
            if (rgba.empty()) Fail(kExitRender, "drawing failed: " + error);
            std::string path = o.frames > 0 ? FrameName(o.output, static_cast<int>(i)) : o.output;
            if (!rm::gl::WritePng(path, frame->width, frame->height, rgba, &error))
                Fail(kExitRender, "cannot write " + path + ": " + error);
            ++written;
        }
        if (nextClick < o.clicks.size())
            std::fprintf(stderr, "orvane-render: %zu click(s) after the last picture not made\n",
                         o.clicks.size() - nextClick);
        module.Release();
    }
    std::fprintf(stderr, "orvane-render: wrote %d picture%s (%dx%d) to %s\n", written,
                 written == 1 ? "" : "s", o.width, o.height, o.output.c_str());
    return 0;
}

// Snapshot and offscreen draw at 600 x 550 of a square grid of 10,000 or 100,000 boxes,
// each on its own frame with its own solid meshbuilder (the same box data in each), and of one
// mesh of about a million triangles; all lit by a head light and a directional light.
// Run alone for peak memory, e.g.
//   /usr/bin/time -v bench_retained --benchmark_filter=BM_FirstFrame100kBoxes
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

#include "retained/gl/headless_renderer.h"
#include "retained/retained_mode.h"

namespace {

// A box of six quads with their normals, as the geometry builders make one.
void AddBox(rm::MeshBuilder* mb) {
    const float a = 0.4f;
    std::vector<glm::vec3> v;
    std::vector<glm::vec3> n = {{0, 0, -1}, {0, 0, 1}, {1, 0, 0},
                                {-1, 0, 0}, {0, 1, 0}, {0, -1, 0}};
    const glm::vec3 corners[6][4] = {{{-a, -a, -a}, {-a, a, -a}, {a, a, -a}, {a, -a, -a}},
                                     {{a, -a, a}, {a, a, a}, {-a, a, a}, {-a, -a, a}},
                                     {{a, -a, -a}, {a, a, -a}, {a, a, a}, {a, -a, a}},
                                     {{-a, -a, a}, {-a, a, a}, {-a, a, -a}, {-a, -a, -a}},
                                     {{-a, a, -a}, {-a, a, a}, {a, a, a}, {a, a, -a}},
                                     {{-a, -a, a}, {-a, -a, -a}, {a, -a, -a}, {a, -a, a}}};
    std::vector<std::uint32_t> faces;
    for (std::uint32_t s = 0; s < 6; ++s) {
        faces.push_back(4);
        for (std::uint32_t k = 0; k < 4; ++k) {
            v.push_back(corners[s][k]);
            faces.push_back(s * 4 + k);
            faces.push_back(s);
        }
    }
    faces.push_back(0);
    mb->AddFaces(v, n, faces);
    mb->SetColorRGB(0.8f, 0.3f, 0.2f);
    mb->SetSolid(true);  // as a Box node's meshbuilder: seen from outside only
}

// A terrain of `cells` x `cells` squares, two triangles each.
void AddTerrain(rm::MeshBuilder* mb, int cells) {
    std::vector<glm::vec3> v;
    const int n = cells + 1;
    for (int y = 0; y < n; ++y)
        for (int x = 0; x < n; ++x)
            v.push_back({static_cast<float>(x) / cells * 40 - 20,
                         static_cast<float>(y) / cells * 40 - 20,
                         0.5f * std::sin(x * 0.05f) * std::cos(y * 0.07f)});
    std::vector<std::uint32_t> faces;
    for (int y = 0; y < cells; ++y) {
        for (int x = 0; x < cells; ++x) {
            const auto a = static_cast<std::uint32_t>(y * n + x), b = a + 1,
                       c = a + static_cast<std::uint32_t>(n), d = c + 1;
            faces.insert(faces.end(), {3, a, b, d, 3, a, d, c});
        }
    }
    faces.push_back(0);
    mb->AddFaces(v, {}, faces);
    mb->SetColorRGB(0.4f, 0.7f, 0.3f);
}

struct Scene {
    // The caller's lock over every retained-mode call, as the render module keeps one.
    std::mutex sceneLock;
    rm::Ptr<rm::RetainedMode> rm;
    rm::Ptr<rm::Frame> scene, camera;
    rm::Ptr<rm::Device> device;
    rm::Ptr<rm::Viewport> viewport;

    // `boxes` boxes in a square grid (100 × 100 boxes one unit apart; larger grids
    // closer and smaller, over the same square), or (terrainCells > 0) one terrain mesh.
    Scene(int boxes, int terrainCells) : visuals(boxes + (terrainCells > 0 ? 1 : 0)) {
        rm::RetainedMode::Create(rm.Put());
        rm->CreateFrame(nullptr, scene.Put());
        rm->CreateFrame(scene.Get(), camera.Put());
        camera->SetPosition(scene.Get(), 0, 0, 120);
        rm::Ptr<rm::Light> head, sun;
        rm->CreateLightRGB(rm::LightType::Point, 1, 1, 1, head.Put());
        camera->AddLight(head.Get());
        rm->CreateLightRGB(rm::LightType::Directional, 0.5f, 0.5f, 0.5f, sun.Put());
        scene->AddLight(sun.Get());
        const int columns = static_cast<int>(std::ceil(std::sqrt(static_cast<double>(boxes))));
        const float spacing = 100.0f / static_cast<float>(std::max(columns, 1));
        for (int i = 0; i < boxes; ++i) {
            rm::Ptr<rm::Frame> f;
            rm->CreateFrame(scene.Get(), f.Put());
            f->AddTranslation(rm::Combine::Replace,
                              (static_cast<float>(i % columns) - 50.0f / spacing) * spacing,
                              (static_cast<float>(i / columns) - 50.0f / spacing) * spacing, 0.0f);
            f->AddRotation(rm::Combine::Before, 1, 1, 0, 0.01f * static_cast<float>(i));
            if (spacing != 1.0f) f->AddScale(rm::Combine::Before, spacing, spacing, spacing);
            rm::Ptr<rm::MeshBuilder> mb;
            rm->CreateMeshBuilder(mb.Put());
            AddBox(mb.Get());
            f->AddVisual(mb.Get());
        }
        if (terrainCells > 0) {
            rm::Ptr<rm::MeshBuilder> mb;
            rm->CreateMeshBuilder(mb.Put());
            AddTerrain(mb.Get(), terrainCells);
            scene->AddVisual(mb.Get());
        }
        rm->CreateDevice(600, 550, device.Put());
        rm->CreateViewport(device.Get(), camera.Get(), 0, 0, 600, 550, viewport.Put());
        viewport->SetField(0.5f);
    }
    int visuals;
    void Snapshot() {
        std::lock_guard lock(sceneLock);
        viewport->Clear();
        viewport->Render(scene.Get());
        device->Update();
    }
};

constexpr int kBoxes = 10000;
constexpr int kManyBoxes = 100000;
constexpr int kTerrainCells = 708;  // 1,002,528 triangles

Scene& Boxes() {
    static Scene scene(kBoxes, 0);
    return scene;
}
Scene& ManyBoxes() {
    static Scene scene(kManyBoxes, 0);
    return scene;
}
Scene& Terrain() {
    static Scene scene(0, kTerrainCells);
    return scene;
}

// Time per visual of an iteration, as a counter.
void PerVisual(benchmark::State& state, const Scene& s) {
    state.counters["per_visual"] = benchmark::Counter(
        s.visuals, benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}

void RunSnapshot(benchmark::State& state, Scene& s) {
    for (auto _ : state) {
        s.Snapshot();
        benchmark::DoNotOptimize(s.device->LatestFrame());
    }
    PerVisual(state, s);
}

// Draws of an uploaded frame; the first draw (mesh upload) is timed apart
// as BM_FirstDraw.
void RunDraw(benchmark::State& state, Scene& s, bool first) {
    std::string error;
    auto renderer = rm::gl::HeadlessRenderer::Create(&error);
    if (!renderer) {
        state.SkipWithError(("no EGL context: " + error).c_str());
        return;
    }
    s.Snapshot();
    auto frame = s.device->LatestFrame();
    if (first) {
        for (auto _ : state) {
            state.PauseTiming();
            renderer = rm::gl::HeadlessRenderer::Create(&error);
            state.ResumeTiming();
            renderer->Draw(*frame);
        }
    } else {
        renderer->Draw(*frame);
        for (auto _ : state) renderer->Draw(*frame);
    }
    PerVisual(state, s);
    state.SetLabel(renderer->GLRendererName());
}

// The first frame of a scene: snapshot, then mesh upload and draw by a new renderer.
void RunFirstFrame(benchmark::State& state, Scene& s) {
    std::string error;
    for (auto _ : state) {
        state.PauseTiming();
        auto renderer = rm::gl::HeadlessRenderer::Create(&error);
        if (!renderer) {
            state.SkipWithError(("no EGL context: " + error).c_str());
            return;
        }
        state.ResumeTiming();
        s.Snapshot();
        if (!renderer->Draw(*s.device->LatestFrame(), &error)) {
            state.SkipWithError(error.c_str());
            return;
        }
        state.PauseTiming();
        const auto stats = renderer->Renderer().GetStats();
        state.counters["gpu_meshes"] = static_cast<double>(stats.storedMeshes);
        state.counters["gpu_MiB"] = static_cast<double>(stats.memoryBytes) / (1 << 20);
        state.counters["draw_calls"] = static_cast<double>(stats.drawCalls);
        renderer.reset();
        state.ResumeTiming();
    }
}

void BM_Snapshot10kBoxes(benchmark::State& state) {
    RunSnapshot(state, Boxes());
}
void BM_Snapshot1MTriangles(benchmark::State& state) {
    RunSnapshot(state, Terrain());
}
void BM_Draw10kBoxes(benchmark::State& state) {
    RunDraw(state, Boxes(), false);
}
void BM_Draw1MTriangles(benchmark::State& state) {
    RunDraw(state, Terrain(), false);
}
void BM_FirstDraw10kBoxes(benchmark::State& state) {
    RunDraw(state, Boxes(), true);
}
void BM_FirstDraw1MTriangles(benchmark::State& state) {
    RunDraw(state, Terrain(), true);
}
void BM_Snapshot100kBoxes(benchmark::State& state) {
    RunSnapshot(state, ManyBoxes());
}
void BM_Draw100kBoxes(benchmark::State& state) {
    RunDraw(state, ManyBoxes(), false);
}
void BM_FirstFrame10kBoxes(benchmark::State& state) {
    RunFirstFrame(state, Boxes());
}
void BM_FirstFrame100kBoxes(benchmark::State& state) {
    RunFirstFrame(state, ManyBoxes());
}
BENCHMARK(BM_Snapshot10kBoxes)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_Snapshot100kBoxes)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_Snapshot1MTriangles)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_Draw10kBoxes)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Draw100kBoxes)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Draw1MTriangles)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_FirstDraw10kBoxes)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_FirstDraw1MTriangles)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_FirstFrame10kBoxes)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_FirstFrame100kBoxes)->Unit(benchmark::kMillisecond)->Iterations(3);

}  // namespace

BENCHMARK_MAIN();

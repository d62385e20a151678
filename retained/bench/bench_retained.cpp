// Snapshot and offscreen draw of a grid of boxes, each on its own frame, lit by a head
// light and a directional light.
#include <benchmark/benchmark.h>

#include <cstdint>
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
}

struct Scene {
    rm::Ptr<rm::RetainedMode> rm;
    rm::Ptr<rm::Frame> scene, camera;
    rm::Ptr<rm::Device> device;
    rm::Ptr<rm::Viewport> viewport;

    explicit Scene(int boxes) {
        rm::RetainedMode::Create(rm.Put());
        rm->CreateFrame(nullptr, scene.Put());
        rm->CreateFrame(scene.Get(), camera.Put());
        camera->SetPosition(scene.Get(), 0, 0, 40);
        rm::Ptr<rm::Light> head, sun;
        rm->CreateLightRGB(rm::LightType::Point, 1, 1, 1, head.Put());
        camera->AddLight(head.Get());
        rm->CreateLightRGB(rm::LightType::Directional, 0.5f, 0.5f, 0.5f, sun.Put());
        scene->AddLight(sun.Get());
        for (int i = 0; i < boxes; ++i) {
            rm::Ptr<rm::Frame> f;
            rm->CreateFrame(scene.Get(), f.Put());
            f->AddTranslation(rm::Combine::Replace, static_cast<float>(i % 32) - 16.0f,
                              static_cast<float>(i / 32) - 16.0f, 0.0f);
            f->AddRotation(rm::Combine::Before, 1, 1, 0, 0.01f * static_cast<float>(i));
            rm::Ptr<rm::MeshBuilder> mb;
            rm->CreateMeshBuilder(mb.Put());
            AddBox(mb.Get());
            f->AddVisual(mb.Get());
        }
        rm->CreateDevice(512, 512, device.Put());
        rm->CreateViewport(device.Get(), camera.Get(), 0, 0, 512, 512, viewport.Put());
        viewport->SetField(0.5f);
    }
    void Snapshot() {
        std::lock_guard lock(rm->SceneLock());
        viewport->Clear();
        viewport->Render(scene.Get());
        device->Update();
    }
};

void BM_Snapshot(benchmark::State& state) {
    Scene s(static_cast<int>(state.range(0)));
    for (auto _ : state) {
        s.Snapshot();
        benchmark::DoNotOptimize(s.device->LatestFrame());
    }
    state.SetItemsProcessed(state.iterations() * state.range(0));
}
BENCHMARK(BM_Snapshot)->Arg(1000)->Unit(benchmark::kMicrosecond);

void BM_OffscreenDraw(benchmark::State& state) {
    std::string error;
    auto renderer = rm::gl::HeadlessRenderer::Create(&error);
    if (!renderer) {
        state.SkipWithError(("no EGL context: " + error).c_str());
        return;
    }
    Scene s(static_cast<int>(state.range(0)));
    s.Snapshot();
    auto frame = s.device->LatestFrame();
    renderer->Draw(*frame);  // first draw uploads the meshes
    for (auto _ : state) renderer->Draw(*frame);
    state.SetItemsProcessed(state.iterations() * state.range(0));
    state.SetLabel(renderer->GLRendererName());
}
BENCHMARK(BM_OffscreenDraw)->Arg(1000)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();

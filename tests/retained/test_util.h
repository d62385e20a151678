// Small scenes shared by the retained-mode tests: a scene with camera, a box, a quad.
#pragma once

#include <cstdint>
#include <mutex>
#include <vector>

#include <glm/glm.hpp>

#include "retained/retained_mode.h"

namespace rmtest {

// Axis-aligned box of half size a: six quads with outward normals (counter-clockwise
// seen from outside).
inline void AddBox(rm::MeshBuilder* mb, float a) {
    const glm::vec3 normals[6] = {{0, 0, -1}, {0, 0, 1}, {1, 0, 0},
                                  {-1, 0, 0}, {0, 1, 0}, {0, -1, 0}};
    const glm::vec3 corners[6][4] = {{{-a, -a, -a}, {-a, a, -a}, {a, a, -a}, {a, -a, -a}},
                                     {{a, -a, a}, {a, a, a}, {-a, a, a}, {-a, -a, a}},
                                     {{a, -a, -a}, {a, a, -a}, {a, a, a}, {a, -a, a}},
                                     {{-a, -a, a}, {-a, a, a}, {-a, a, -a}, {-a, -a, -a}},
                                     {{-a, a, -a}, {-a, a, a}, {a, a, a}, {a, a, -a}},
                                     {{-a, -a, a}, {-a, -a, -a}, {a, -a, -a}, {a, -a, a}}};
    std::vector<glm::vec3> v;
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
    mb->AddFaces(v, normals, faces);
}

// Square of half size a in the z = 0 plane, front towards +z, texture coordinates with
// (0, 0) at the top-left corner (−a, a).
inline void AddQuad(rm::MeshBuilder* mb, float a) {
    const glm::vec3 v[4] = {{-a, -a, 0}, {a, -a, 0}, {a, a, 0}, {-a, a, 0}};
    const std::uint32_t faces[] = {4, 0, 1, 2, 3, 0};
    mb->AddFaces(v, {}, faces);
    mb->SetTextureCoordinates(0, 0, 1);
    mb->SetTextureCoordinates(1, 1, 1);
    mb->SetTextureCoordinates(2, 1, 0);
    mb->SetTextureCoordinates(3, 0, 0);
}

// Scene frame, camera at (0, 0, 10) looking down −z, a device and full-size viewport.
struct Scene {
    // The caller's lock over every retained-mode call, as the render module keeps one.
    std::mutex sceneLock;
    rm::Ptr<rm::RetainedMode> rm;
    rm::Ptr<rm::Frame> scene, camera;
    rm::Ptr<rm::Device> device;
    rm::Ptr<rm::Viewport> viewport;

    explicit Scene(int width = 64, int height = 64) {
        rm::RetainedMode::Create(rm.Put());
        rm->CreateFrame(nullptr, scene.Put());
        rm->CreateFrame(scene.Get(), camera.Put());
        camera->SetPosition(scene.Get(), 0, 0, 10);
        rm->CreateDevice(width, height, device.Put());
        rm->CreateViewport(device.Get(), camera.Get(), 0, 0, width, height, viewport.Put());
    }
    // A new frame under `parent` (the scene when null).
    rm::Ptr<rm::Frame> AddFrame(rm::Frame* parent = nullptr) {
        rm::Ptr<rm::Frame> f;
        rm->CreateFrame(parent ? parent : scene.Get(), f.Put());
        return f;
    }
    // A new material of the given power with ambient (reflectance) and emissive
    // colours, set on `mb`.
    rm::Ptr<rm::Material> SetMaterial(rm::MeshBuilder* mb, float power, glm::vec3 ambient,
                                      glm::vec3 emissive = glm::vec3(0)) {
        rm::Ptr<rm::Material> m;
        rm->CreateMaterial(power, m.Put());
        m->SetAmbient(ambient.r, ambient.g, ambient.b);
        m->SetEmissive(emissive.r, emissive.g, emissive.b);
        mb->SetMaterial(m.Get());
        return m;
    }
    // A child frame of the scene holding a new meshbuilder; returns the meshbuilder.
    rm::Ptr<rm::MeshBuilder> AddVisual(rm::Frame* parent = nullptr) {
        rm::Ptr<rm::MeshBuilder> mb;
        rm->CreateMeshBuilder(mb.Put());
        (parent ? parent : scene.Get())->AddVisual(mb.Get());
        return mb;
    }
    rm::Ptr<rm::Light> AddLight(rm::Frame* frame, rm::LightType type, glm::vec3 c) {
        rm::Ptr<rm::Light> l;
        rm->CreateLightRGB(type, c.r, c.g, c.b, l.Put());
        frame->AddLight(l.Get());
        return l;
    }
    std::shared_ptr<const rm::DeviceFrame> Frame() {
        std::lock_guard lock(sceneLock);
        viewport->Clear();
        viewport->Render(scene.Get());
        device->Update();
        return device->LatestFrame();
    }
};

}  // namespace rmtest

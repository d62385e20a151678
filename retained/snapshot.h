// Snapshot: everything one rendered frame needs, copied out of the scene while the
// scene lock is held, so that the backend draws it later without any lock.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <vector>

#include <glm/glm.hpp>

#include "retained/backdrop.h"
#include "retained/mesh_data.h"
#include "retained/texture.h"
#include "retained/types.h"

namespace rm {

// A light in world coordinates. Directional and spot: `direction` is where the light
// travels. Point and spot: attenuation and range count in world units (the light frame's
// scale taken out); beamWidth ≤ cutOffAngle. A scoped light lights only the visuals whose
// lightMask has its bit (its index in the viewport's list, the first 32).
struct LightSnapshot {
    LightType type = LightType::Point;
    glm::vec3 color{1.0f};
    glm::vec3 position{0.0f};
    glm::vec3 direction{0.0f, 0.0f, -1.0f};
    glm::vec3 ambient{0.0f};
    glm::vec3 attenuation{1.0f, 0.0f, 0.0f};
    float range = 3.0e38f;
    float beamWidth = 1.570796f, cutOffAngle = 1.570796f;
    bool scoped = false;
};

// Material values as the shader uses them: reflectance already chosen (material
// ambient, else meshbuilder colour, signalled by useVertexColor; corner colours
// win over the material's), power finite.
struct MaterialSnapshot {
    bool useVertexColor = true;
    glm::vec3 reflectance{1.0f};
    glm::vec3 emissive{0.0f};
    glm::vec3 specular{0.0f};
    float power = 0.0f;
    float ambientIntensity = 0.0f;
    float alpha = 1.0f;  // 1 − transparency, in [0, 1]
};

struct VisualSnapshot {
    // Given, not defaulted: a defaulted constructor would zero the whole record before
    // setting the members below, and a frame records thousands of them.
    VisualSnapshot() noexcept {}
    glm::mat4 world{1.0f};
    std::uint64_t meshId = 0;  // the meshbuilder's Object::Id
    std::uint64_t meshVersion = 0;
    std::shared_ptr<const MeshData> mesh;
    MaterialSnapshot material;
    std::uint32_t lightMask = 0;  // the scoped lights that reach it (see LightSnapshot)
    std::uint64_t textureId = 0;  // 0: no texture
    std::shared_ptr<const TextureImage> texture;
    // Which making of its meshbuilder's look the record holds, 0: none. The viewport
    // writes a record it takes over again only where this or meshId differs.
    std::uint64_t look = 0;
    Quality quality = kRenderGouraud;     // effective quality (device and mesh)
    bool cullBack = false;                // a solid meshbuilder: back faces are not drawn
    bool repeatU = true, repeatV = true;  // the texture's wrap: repeated, else clamped
};

// A backdrop as the backend draws it: the gradients with finite colours, the pictures,
// and the rotation from world to backdrop coordinates.
struct BackdropSnapshot {
    Gradient sky, ground;
    std::array<std::uint64_t, 6> textureIds{};  // by BackdropFace; 0: none
    std::array<std::shared_ptr<const TextureImage>, 6> textures;
    glm::mat3 fromWorld{1.0f};
};

// One viewport's frame. Rectangle in device pixels, y down from the top edge.
struct ViewportSnapshot {
    std::uint64_t viewportId = 0;
    int x = 0, y = 0, width = 0, height = 0;
    bool clear = false;  // clear colour and depth before drawing
    glm::vec3 clearColor{0.0f};
    // Drawn after the clear (with `clear` only); null: none.
    std::shared_ptr<const BackdropSnapshot> backdrop;
    glm::mat4 view{1.0f};        // world → camera
    glm::mat4 projection{1.0f};  // camera → clip (OpenGL conventions, depth −1..1)
    glm::vec3 cameraPosition{0.0f};
    Fog fog;  // over the visuals, by distance from cameraPosition
    std::vector<LightSnapshot> lights;
    std::vector<VisualSnapshot> visuals;
};

// What a device shows: its size and the viewports rendered since the last Update.
struct DeviceFrame {
    int width = 0, height = 0;
    std::uint64_t number = 0;  // counts Updates of the device
    std::vector<ViewportSnapshot> viewports;
};

}  // namespace rm

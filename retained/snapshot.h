// Snapshot: everything one rendered frame needs, copied out of the scene while the
// scene lock is held, so that the backend draws it later without any lock.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include <glm/glm.hpp>

#include "retained/mesh_data.h"
#include "retained/texture.h"
#include "retained/types.h"

namespace rm {

// A light in world coordinates. Directional: `direction` is where the light travels.
struct LightSnapshot {
    LightType type = LightType::Point;
    glm::vec3 color{1.0f};
    glm::vec3 position{0.0f};
    glm::vec3 direction{0.0f, 0.0f, -1.0f};
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
};

struct VisualSnapshot {
    glm::mat4 world{1.0f};
    std::uint64_t meshId = 0;  // the meshbuilder's Object::Id
    std::uint64_t meshVersion = 0;
    std::shared_ptr<const MeshData> mesh;
    MaterialSnapshot material;
    std::uint64_t textureId = 0;  // 0: no texture
    std::shared_ptr<const TextureImage> texture;
    Quality quality = kRenderGouraud;  // effective quality (device and mesh)
    bool cullBack = false;             // a solid meshbuilder: back faces are not drawn
};

// One viewport's frame. Rectangle in device pixels, y down from the top edge.
struct ViewportSnapshot {
    std::uint64_t viewportId = 0;
    int x = 0, y = 0, width = 0, height = 0;
    bool clear = false;  // clear colour and depth before drawing
    glm::vec3 clearColor{0.0f};
    glm::mat4 view{1.0f};        // world → camera
    glm::mat4 projection{1.0f};  // camera → clip (OpenGL conventions, depth −1..1)
    glm::vec3 cameraPosition{0.0f};
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

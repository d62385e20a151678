// GLRenderer: draws the DeviceFrames that viewports record, with OpenGL 3.3 core.
// It keeps each mesh and texture on the GPU and uploads a mesh again only when its
// meshbuilder's version has moved. Use it on the thread that owns the context.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <unordered_map>

#include "retained/snapshot.h"

namespace rm::gl {

// Shading: per vertex (Gouraud) or per face (flat) in the vertex shader, with the formula
// of retained/lighting.h for up to kMaxLights lights (further lights are ignored). Faces
// are drawn from both sides (the back shaded with the reversed normal), except the back
// faces of a solid meshbuilder, which are culled. Wireframe draws the polygons' edges
// (not the triangulation's), points draw the corners.
class GLRenderer {
  public:
    static constexpr int kMaxLights = 16;
    // A mesh or texture not drawn for this many frames is freed from the GPU.
    static constexpr std::uint64_t kEvictAfterFrames = 8;

    // Compiles the shaders. The context must be current. Null with *error on failure.
    static std::unique_ptr<GLRenderer> Create(std::string* error);
    ~GLRenderer();  // the context must still be current
    GLRenderer(const GLRenderer&) = delete;
    GLRenderer& operator=(const GLRenderer&) = delete;

    // Draws every viewport of frame into framebuffer fbo (0: the default one), which must
    // be frame.width × frame.height pixels. Viewport rectangles count y from the top.
    void Draw(const DeviceFrame& frame, unsigned fbo);

    struct Stats {
        std::uint64_t meshUploads = 0;
        std::uint64_t textureUploads = 0;
        std::uint64_t drawCalls = 0;
        std::size_t cachedMeshes = 0;
        std::size_t cachedTextures = 0;
    };
    Stats GetStats() const;

  private:
    struct GpuMesh {
        unsigned vao = 0, vbo = 0, ebo = 0;
        std::uint64_t version = 0;
        std::int32_t triangleIndices = 0, edgeIndices = 0, vertexCount = 0;
        std::uint64_t lastUsed = 0;
    };
    struct GpuTexture {
        unsigned name = 0;
        std::uint64_t lastUsed = 0;
    };
    GLRenderer() = default;
    GpuMesh& Mesh(const VisualSnapshot& v);
    unsigned Texture(const VisualSnapshot& v);
    void DrawViewport(const ViewportSnapshot& vp, int frameHeight);
    void Evict();

    unsigned program_ = 0;
    // Uniform locations, looked up once after linking.
    struct Locations {
        int model, normalMatrix, viewProjection, eye, lit, flat, useVertexColor, reflectance,
            emissive, specular, power, textured, texture, lightCount;
        int lightType[kMaxLights], lightColor[kMaxLights], lightPosition[kMaxLights],
            lightDirection[kMaxLights];
    } loc_{};
    std::unordered_map<std::uint64_t, GpuMesh> meshes_;
    std::unordered_map<std::uint64_t, GpuTexture> textures_;
    std::uint64_t frameCounter_ = 0;
    Stats stats_;
};

}  // namespace rm::gl

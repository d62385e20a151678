// The geometry of a meshbuilder as plain data. A meshbuilder replaces its MeshData
// instead of changing one that a snapshot still holds, so the backend reads it
// without the scene lock.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include <glm/glm.hpp>

namespace rm {

inline constexpr std::int32_t kNoNormal = -1;

// What a meshbuilder's faces are drawn as: filled polygons; open polylines through their
// corners in order (the last corner is not joined to the first); or a point at each
// corner. Polylines and points are not lit.
enum class Primitive : std::uint8_t { Polygons, Polylines, Points };

// One polygon: corners [firstCorner, firstCorner + cornerCount) of MeshData's corner arrays.
struct MeshFace {
    std::uint32_t firstCorner = 0;
    std::uint32_t cornerCount = 0;
    bool hasColor = false;  // a face colour overrides the meshbuilder colour
    // Its corners take their colours from cornerColor (over the face colour)
    // and their texture coordinates from cornerTexCoord (over their vertices').
    bool cornerColors = false;
    bool cornerTexCoords = false;
    glm::vec3 color{1.0f};
};

struct MeshData;

// A version of a mesh with fewer vertices, drawn in its place where the mesh covers
// fewer than `belowPixels` pixels across on screen (its bounding sphere's projection).
struct CoarserMesh {
    float belowPixels = 0.0f;
    std::shared_ptr<const MeshData> mesh;
};

struct MeshData {
    std::vector<glm::vec3> vertices;
    std::vector<glm::vec2> texCoords;  // one per vertex, (0, 0) until set
    std::vector<glm::vec3> normals;
    std::vector<std::uint32_t> cornerVertex;  // vertex index of each face corner
    std::vector<std::int32_t> cornerNormal;   // normal index of each corner, or kNoNormal
    std::vector<MeshFace> faces;
    // Per corner, in step with cornerVertex once any face has corner colours
    // (texture coordinates); empty before. Read only for the faces whose flag is set.
    std::vector<glm::vec3> cornerColor;
    std::vector<glm::vec2> cornerTexCoord;
    glm::vec3 color{1.0f};  // the meshbuilder colour: white until SetColorRGB
    Primitive primitive = Primitive::Polygons;
    // Coarser versions of this very geometry, largest threshold first; any change of the
    // geometry drops them.
    std::vector<CoarserMesh> coarser;
};

}  // namespace rm

#include "retained/draw_mesh.h"

#include <cmath>

#include "retained/triangulate.h"

namespace rm {

DrawMesh BuildDrawMesh(const MeshData& mesh) {
    DrawMesh out;
    out.vertices.reserve(mesh.cornerVertex.size());
    std::vector<glm::vec3> corners;
    for (const MeshFace& face : mesh.faces) {
        corners.clear();
        for (std::uint32_t k = 0; k < face.cornerCount; ++k)
            corners.push_back(mesh.vertices[mesh.cornerVertex[face.firstCorner + k]]);
        glm::vec3 normal = PolygonNormal(corners);
        const float area = glm::length(normal);
        if (!(area > 0.0f) || !std::isfinite(area)) continue;  // degenerate: draws nothing
        auto tris = TriangulatePolygon(corners);
        if (tris.empty()) continue;
        normal /= area;

        // Given normals decide which side is the front.
        glm::vec3 given(0.0f);
        for (std::uint32_t k = 0; k < face.cornerCount; ++k) {
            const std::int32_t ni = mesh.cornerNormal[face.firstCorner + k];
            if (ni != kNoNormal) given += mesh.normals[static_cast<std::size_t>(ni)];
        }
        const bool flip = glm::dot(given, normal) < 0.0f;
        if (flip) normal = -normal;

        glm::vec3 center(0.0f);
        for (const glm::vec3& c : corners) center += c;
        center /= static_cast<float>(corners.size());

        const auto base = static_cast<std::uint32_t>(out.vertices.size());
        for (std::uint32_t k = 0; k < face.cornerCount; ++k) {
            const std::uint32_t vi = mesh.cornerVertex[face.firstCorner + k];
            const std::int32_t ni = mesh.cornerNormal[face.firstCorner + k];
            glm::vec3 n = normal;
            if (ni != kNoNormal) {
                const glm::vec3 g = mesh.normals[static_cast<std::size_t>(ni)];
                const float len = glm::length(g);
                if (len > 0.0f && std::isfinite(len)) n = g / len;
            }
            out.vertices.push_back({corners[k], n, normal, center, mesh.texCoords[vi],
                                    face.hasColor ? face.color : mesh.color});
        }
        for (const auto& t : tris) {
            out.triangles.push_back(base + t[0]);
            out.triangles.push_back(base + (flip ? t[2] : t[1]));
            out.triangles.push_back(base + (flip ? t[1] : t[2]));
        }
        for (std::uint32_t k = 0; k < face.cornerCount; ++k) {
            out.edges.push_back(base + k);
            out.edges.push_back(base + (k + 1) % face.cornerCount);
        }
    }
    return out;
}

}  // namespace rm

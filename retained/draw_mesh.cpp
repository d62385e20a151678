#include "retained/draw_mesh.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <type_traits>

#include "retained/triangulate.h"

namespace rm {

std::size_t MaxDrawVertices(const MeshData& mesh) {
    return mesh.cornerVertex.size();
}

DrawMesh BuildDrawMesh(const MeshData& mesh) {
    DrawMesh out;
    out.vertices.resize(MaxDrawVertices(mesh));
    out.vertices.resize(BuildDrawMeshInto(mesh, out.vertices.data(), out.triangles, out.edges));
    return out;
}

namespace {

// std::lround for |x| < 2^31: halves away from zero. The fraction x − trunc(x) is exact
// in float, and this spares a library call for every component of every vertex. The
// comparisons are added rather than branched on: which way a fraction goes is random,
// and a mispredicted branch per component cost more than the rest of the packing.
inline std::int32_t RoundHalfAway(float x) {
    const auto i = static_cast<std::int32_t>(x);
    const float fraction = x - static_cast<float>(i);
    return i + static_cast<std::int32_t>(fraction >= 0.5f) -
           static_cast<std::int32_t>(fraction <= -0.5f);
}

std::uint32_t PackNormal(const glm::vec3& n) {
    std::uint32_t out = 0;
    for (int i = 0; i < 3; ++i) {
        const float c = std::isfinite(n[i]) ? std::clamp(n[i], -1.0f, 1.0f) : 0.0f;
        const std::int32_t q = RoundHalfAway(c * 511.0f);
        out |= (static_cast<std::uint32_t>(q) & 0x3FFu) << (10 * i);
    }
    return out;
}

glm::vec3 UnpackNormal(std::uint32_t p) {
    glm::vec3 n;
    for (int i = 0; i < 3; ++i) {
        auto q = static_cast<std::int32_t>((p >> (10 * i)) & 0x3FFu);
        if (q >= 512) q -= 1024;
        n[i] = std::max(-1.0f, static_cast<float>(q) / 511.0f);
    }
    return n;
}

std::uint32_t PackColor(const glm::vec3& c) {
    std::uint32_t out = 0xFF000000u;
    for (int i = 0; i < 3; ++i) {
        const float v = std::isfinite(c[i]) ? std::clamp(c[i], 0.0f, 1.0f) : 0.0f;
        out |= static_cast<std::uint32_t>(RoundHalfAway(v * 255.0f)) << (8 * i);
    }
    return out;
}

}  // namespace

PackedDrawVertex::PackedDrawVertex(const DrawVertex& v)
    : position(v.position),
      normal(PackNormal(v.normal)),
      faceNormal(PackNormal(v.faceNormal)),
      faceCenter(v.faceCenter),
      uv(v.uv),
      color(PackColor(v.color)) {}

DrawVertex Unpack(const PackedDrawVertex& v) {
    glm::vec3 color;
    for (int i = 0; i < 3; ++i)
        color[i] = static_cast<float>((v.color >> (8 * i)) & 0xFFu) / 255.0f;
    return {v.position, UnpackNormal(v.normal), UnpackNormal(v.faceNormal), v.faceCenter, v.uv,
            color};
}

namespace {

// Polylines and points: a vertex per corner, facing +z (they are not lit); a line
// between each two corners in turn of a polyline, nothing for a polyline of one corner.
template <class Vertex>
std::size_t BuildLinesInto(const MeshData& mesh, Vertex* vertices,
                           std::vector<std::uint32_t>& edges) {
    const bool lines = mesh.primitive == Primitive::Polylines;
    std::uint32_t vertexCount = 0;
    const glm::vec3 front(0.0f, 0.0f, 1.0f);
    for (const MeshFace& face : mesh.faces) {
        if (lines && face.cornerCount < 2) continue;
        const glm::vec3 faceColor = face.hasColor ? face.color : mesh.color;
        for (std::uint32_t k = 0; k < face.cornerCount; ++k) {
            const std::uint32_t corner = face.firstCorner + k;
            const std::uint32_t vi = mesh.cornerVertex[corner];
            if (lines && k > 0) {
                edges.push_back(vertexCount - 1);
                edges.push_back(vertexCount);
            }
            vertices[vertexCount++] = Vertex(
                DrawVertex{mesh.vertices[vi], front, front, mesh.vertices[vi],
                           face.cornerTexCoords ? mesh.cornerTexCoord[corner] : mesh.texCoords[vi],
                           face.cornerColors ? mesh.cornerColor[corner] : faceColor});
        }
    }
    return vertexCount;
}

}  // namespace

template <class Vertex>
std::size_t BuildDrawMeshInto(const MeshData& mesh, Vertex* vertices,
                              std::vector<std::uint32_t>& triangles,
                              std::vector<std::uint32_t>& edges) {
    if (mesh.primitive != Primitive::Polygons) return BuildLinesInto(mesh, vertices, edges);
    std::uint32_t vertexCount = 0;
    std::vector<glm::vec3> corners;
    std::vector<std::array<std::uint32_t, 3>> tris;
    const std::size_t cornerCount = mesh.cornerVertex.size();
    triangles.reserve(triangles.size() + 3 * cornerCount -
                      std::min(cornerCount, 6 * mesh.faces.size()));
    edges.reserve(edges.size() + 2 * cornerCount);
    for (const MeshFace& face : mesh.faces) {
        corners.clear();
        for (std::uint32_t k = 0; k < face.cornerCount; ++k)
            corners.push_back(mesh.vertices[mesh.cornerVertex[face.firstCorner + k]]);
        glm::vec3 normal = PolygonNormal(corners);
        const float area = glm::length(normal);
        if (!(area > 0.0f) || !std::isfinite(area)) continue;  // degenerate: draws nothing
        // A triangle with an area is its own triangulation (and most faces
        // are triangles): no call, no allocation.
        if (face.cornerCount == 3)
            tris.assign(1, {0, 1, 2});
        else
            TriangulatePolygon(corners, tris);
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

        const std::uint32_t base = vertexCount;
        const glm::vec3 faceColor = face.hasColor ? face.color : mesh.color;
        // Packed vertices take the face's normal and colour packed once for all corners.
        constexpr bool kPacked = std::is_same_v<Vertex, PackedDrawVertex>;
        [[maybe_unused]] std::uint32_t packedNormal = 0, packedColor = 0;
        if constexpr (kPacked) {
            packedNormal = PackNormal(normal);
            packedColor = PackColor(faceColor);
        }
        for (std::uint32_t k = 0; k < face.cornerCount; ++k) {
            const std::uint32_t corner = face.firstCorner + k;
            const std::uint32_t vi = mesh.cornerVertex[corner];
            const std::int32_t ni = mesh.cornerNormal[corner];
            glm::vec3 n = normal;
            bool given = false;
            if (ni != kNoNormal) {
                const glm::vec3 g = mesh.normals[static_cast<std::size_t>(ni)];
                const float len = glm::length(g);
                given = len > 0.0f && std::isfinite(len);
                if (given) n = g / len;
            }
            const glm::vec2 uv =
                face.cornerTexCoords ? mesh.cornerTexCoord[corner] : mesh.texCoords[vi];
            if constexpr (kPacked) {
                PackedDrawVertex& out = vertices[vertexCount++];
                out.position = corners[k];
                out.normal = given ? PackNormal(n) : packedNormal;
                out.faceNormal = packedNormal;
                out.faceCenter = center;
                out.uv = uv;
                out.color = face.cornerColors ? PackColor(mesh.cornerColor[corner]) : packedColor;
            } else {
                vertices[vertexCount++] =
                    Vertex(DrawVertex{corners[k], n, normal, center, uv,
                                      face.cornerColors ? mesh.cornerColor[corner] : faceColor});
            }
        }
        for (const auto& t : tris) {
            triangles.push_back(base + t[0]);
            triangles.push_back(base + (flip ? t[2] : t[1]));
            triangles.push_back(base + (flip ? t[1] : t[2]));
        }
        for (std::uint32_t k = 0; k < face.cornerCount; ++k) {
            edges.push_back(base + k);
            edges.push_back(base + (k + 1 < face.cornerCount ? k + 1 : 0));
        }
    }
    return vertexCount;
}

template std::size_t BuildDrawMeshInto(const MeshData&, DrawVertex*, std::vector<std::uint32_t>&,
                                       std::vector<std::uint32_t>&);
template std::size_t BuildDrawMeshInto(const MeshData&, PackedDrawVertex*,
                                       std::vector<std::uint32_t>&, std::vector<std::uint32_t>&);

}  // namespace rm

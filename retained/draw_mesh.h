// DrawMesh: a meshbuilder's faces flattened into what a GPU draws — one vertex per face
// corner, triangles for solid fill, edges for wireframe, corners for points.
#pragma once

#include <cstdint>
#include <vector>

#include <glm/glm.hpp>

#include "retained/mesh_data.h"

namespace rm {

struct DrawVertex {
    glm::vec3 position;
    glm::vec3 normal;      // corner normal (given, else the face normal); unit length
    glm::vec3 faceNormal;  // unit face normal, for flat shading
    glm::vec3 faceCenter;  // mean of the face's corners, for flat shading
    glm::vec2 uv;
    glm::vec3 color;  // face colour, else the meshbuilder colour
};

// A DrawVertex as a GPU buffer holds it: normals as three 10-bit signed
// components (GL_INT_2_10_10_10_REV), the colour as four bytes; 44 bytes
// instead of 68, so large meshes take a third less memory and bandwidth.
struct PackedDrawVertex {
    glm::vec3 position;
    std::uint32_t normal;
    std::uint32_t faceNormal;
    glm::vec3 faceCenter;
    glm::vec2 uv;
    std::uint32_t color;  // r, g, b, 255 in memory order

    PackedDrawVertex() = default;
    explicit PackedDrawVertex(const DrawVertex& v);
};

// The inverse of the packing, for tests: components within 1/511 (normals)
// and 1/255 (colour) of the packed vertex's.
DrawVertex Unpack(const PackedDrawVertex& v);

struct DrawMesh {
    std::vector<DrawVertex> vertices;
    std::vector<std::uint32_t> triangles;  // 3 per triangle
    std::vector<std::uint32_t> edges;      // 2 per polygon edge
};

// A face whose given normals point against its corner order is turned round (winding
// and face normal) so that its front is always the side its normals point to; the
// backend lights the back with the reversed normal. Degenerate faces are left out.
// Polylines give no triangles, an edge per segment; points neither triangles nor edges.
DrawMesh BuildDrawMesh(const MeshData& mesh);

// The most vertices BuildDrawMesh gives for `mesh`: one per face corner.
std::size_t MaxDrawVertices(const MeshData& mesh);

// BuildDrawMesh writing the vertices into `vertices` (room for
// MaxDrawVertices), such as a mapped GPU buffer, so that a large mesh is not
// held twice; the indices are appended to `triangles` and `edges`. Returns
// the number of vertices written.
template <class Vertex>  // DrawVertex or PackedDrawVertex
std::size_t BuildDrawMeshInto(const MeshData& mesh, Vertex* vertices,
                              std::vector<std::uint32_t>& triangles,
                              std::vector<std::uint32_t>& edges);

}  // namespace rm

// Meshes as the GPU keeps them: moved and scaled into a unit cube, so that meshes of one
// shape at different sizes and places (every Box of a scene, spheres of any radius)
// share one copy, which each visual draws through its own placement.
#pragma once

#include <cstdint>
#include <span>

#include <glm/glm.hpp>

#include "retained/draw_mesh.h"
#include "retained/mesh_data.h"

namespace rm::gl {

// Where a unit mesh lies in its meshbuilder's coordinates: local = offset + scale * unit,
// axis by axis.
struct Placement {
    glm::vec3 offset{0.0f};
    glm::vec3 scale{1.0f};
};

// Axes may be scaled apart only while the longest side of the bounding box is at most
// this many times the shortest. Normals of a unit mesh are stored with 10 bits a
// component and scaled back in the shader, which magnifies their rounding by up to the
// ratio of the scales; flatter meshes are scaled by their longest side on every axis.
inline constexpr float kMaxStretch = 4.0f;

// The placement of vertices' bounding box: its centre and, per axis, its size (or the
// longest size on every axis, see kMaxStretch). Identity for no vertices or a
// non-finite coordinate; a single point keeps scale 1.
Placement UnitPlacement(std::span<const DrawVertex> vertices);

// Moves vertices into the unit form of p: positions and face centres to
// (x − offset) / scale; normals and face normals, which turn the other way under a
// scale, to normalize(scale * n), so that the shader's normal matrix (the inverse
// transpose of model × scale) gives back their direction.
void ToUnit(const Placement& p, std::span<DrawVertex> vertices);

// A unit mesh as the comparison sees it: packed vertices and the triangle indices
// followed by the edge indices.
struct UnitMeshView {
    std::span<const PackedDrawVertex> vertices;
    std::span<const std::uint32_t> indices;
    std::uint32_t triangleIndices = 0;  // how many of `indices` are triangle corners
};

// Hash of what SameShape needs equal: the counts, the indices, the colours, and the
// positions of a few vertices rounded to a 1/16 grid (coarse enough that the rounding
// of one shape at two sizes rarely falls on two sides of a grid line).
std::uint64_t ShapeHash(const UnitMeshView& m);

// Largest difference of unit positions, face centres and texture coordinates (relative
// to 1 or the coordinate's size) that SameShape accepts: far below a pixel, far above
// the float rounding of one shape built at two sizes.
inline constexpr float kShapeTolerance = 1.0f / 65536.0f;

// True when b may be drawn with a's data: the same indices and vertex colours, positions,
// face centres and texture coordinates within kShapeTolerance, each normal component
// within one step of its 10 bits.
bool SameShape(const UnitMeshView& a, const UnitMeshView& b);

// Before any of that is built: meshbuilder data that is other data moved and scaled
// (every Box {} of one size, spheres of any radius, cones of any radius and height)
// gives the same draw mesh moved and scaled alike, so it needs no draw mesh of its own.

// Hash of what SimilarSource needs equal: the counts, the corner and normal indices, the
// faces and the colours.
std::uint64_t SourceHash(const MeshData& m);

// True when b's vertices are a's moved and scaled axis by axis (within kShapeTolerance
// of b's size), and the rest agrees: indices, faces and colours exactly, texture
// coordinates within kShapeTolerance, normals too once turned by the scale (normals
// turn the other way: b's normal is a's divided by the scale, up to its length). Under a
// scale that differs between axes, every face must also be turned round (or left out)
// as it is in a; the triangles a face is cut into do not change under any scale.
// *aToB then takes a's coordinates to b's.
bool SimilarSource(const MeshData& a, const MeshData& b, Placement* aToB);

// The placement of a unit mesh seen through aToB: where it lies for b when p is where
// it lies for a.
Placement Compose(const Placement& aToB, const Placement& p);

}  // namespace rm::gl

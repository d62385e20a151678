// Polygon triangulation for faces: convex polygons become fans, others are cut by ear
// clipping on the polygon's own plane.
#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <vector>

#include <glm/glm.hpp>

namespace rm {

// Newell's normal of a polygon: points to the side from which the corners run
// counter-clockwise; its length is twice the area. Zero for a degenerate polygon.
glm::vec3 PolygonNormal(std::span<const glm::vec3> corners);

// Triangles over corner indices 0..n−1, each running counter-clockwise seen from the side
// the polygon's normal points to (so they keep the polygon's orientation). A polygon with fewer
// than three distinct corners or zero area gives none; a convex one gives a fan from corner 0 (n −
// 2 triangles); any other simple polygon gives n − 2 ears. A self-intersecting polygon gives
// triangles covering it as well as ear clipping manages, never an index out of range.
std::vector<std::array<std::uint32_t, 3>> TriangulatePolygon(std::span<const glm::vec3> corners);
// The same triangles written into `out` (emptied first), which keeps its storage: for
// callers that cut many faces one after another.
void TriangulatePolygon(std::span<const glm::vec3> corners,
                        std::vector<std::array<std::uint32_t, 3>>& out);

}  // namespace rm

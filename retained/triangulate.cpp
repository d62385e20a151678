#include "retained/triangulate.h"

#include <cmath>

namespace rm {

glm::vec3 PolygonNormal(std::span<const glm::vec3> c) {
    glm::vec3 n(0.0f);
    // Each edge a → b in turn, the last one back to the first corner (no division).
    for (std::size_t i = 0; i < c.size(); ++i) {
        const glm::vec3& a = c[i];
        const glm::vec3& b = c[i + 1 < c.size() ? i + 1 : 0];
        n.x += (a.y - b.y) * (a.z + b.z);
        n.y += (a.z - b.z) * (a.x + b.x);
        n.z += (a.x - b.x) * (a.y + b.y);
    }
    return n;
}

namespace {

using Tri = std::array<std::uint32_t, 3>;

// 2-D cross product of (b − a) and (c − a): positive when a, b, c turn left.
double Cross(glm::dvec2 a, glm::dvec2 b, glm::dvec2 c) {
    return (b.x - a.x) * (c.y - a.y) - (b.y - a.y) * (c.x - a.x);
}

bool InTriangle(glm::dvec2 p, glm::dvec2 a, glm::dvec2 b, glm::dvec2 c) {
    return Cross(a, b, p) >= 0 && Cross(b, c, p) >= 0 && Cross(c, a, p) >= 0;
}

}  // namespace

std::vector<Tri> TriangulatePolygon(std::span<const glm::vec3> corners) {
    std::vector<Tri> out;
    TriangulatePolygon(corners, out);
    return out;
}

void TriangulatePolygon(std::span<const glm::vec3> corners, std::vector<Tri>& out) {
    out.clear();
    const glm::vec3 normal = PolygonNormal(corners);
    const double len = glm::length(glm::dvec3(normal));
    if (corners.size() < 3 || !(len > 0.0) || !std::isfinite(len)) return;
    // A triangle with an area is its own triangulation (and most faces are triangles).
    if (corners.size() == 3) {
        out.push_back({0, 1, 2});
        return;
    }

    // Project onto the plane: a right-handed 2-D basis (u, v) with u × v along the normal,
    // so counter-clockwise around the normal is counter-clockwise in 2-D.
    const glm::dvec3 n = glm::dvec3(normal) / len;
    const glm::dvec3 helper = std::abs(n.x) < 0.9 ? glm::dvec3(1, 0, 0) : glm::dvec3(0, 1, 0);
    const glm::dvec3 u = glm::normalize(glm::cross(helper, n));
    const glm::dvec3 v = glm::cross(n, u);

    // Drop corners repeating their predecessor; they would make zero-length edges. The
    // scratch lists keep their storage from face to face.
    thread_local std::vector<std::uint32_t> idx;
    thread_local std::vector<glm::dvec2> p;
    idx.clear();
    p.clear();
    for (std::uint32_t i = 0; i < corners.size(); ++i) {
        const glm::dvec3 c(corners[i]);
        const glm::dvec2 q(glm::dot(c, u), glm::dot(c, v));
        if (!p.empty() && q == p.back()) continue;
        idx.push_back(i);
        p.push_back(q);
    }
    while (p.size() > 1 && p.front() == p.back()) {
        p.pop_back();
        idx.pop_back();
    }
    const std::size_t n2 = p.size();
    if (n2 < 3) return;

    bool convex = true;
    for (std::size_t i = 0; i < n2 && convex; ++i)
        convex = Cross(p[i], p[(i + 1) % n2], p[(i + 2) % n2]) >= 0;
    if (convex) {
        for (std::size_t i = 1; i + 1 < n2; ++i) out.push_back({idx[0], idx[i], idx[i + 1]});
        return;
    }

    // Ear clipping: cut off a convex corner whose triangle holds no other corner.
    std::vector<std::size_t> ring(n2);
    for (std::size_t i = 0; i < n2; ++i) ring[i] = i;
    while (ring.size() > 3) {
        const std::size_t m = ring.size();
        bool cut = false;
        for (std::size_t i = 0; i < m && !cut; ++i) {
            const std::size_t a = ring[(i + m - 1) % m], b = ring[i], c = ring[(i + 1) % m];
            if (Cross(p[a], p[b], p[c]) <= 0) continue;  // reflex or flat corner
            bool empty = true;
            for (std::size_t k : ring) {
                if (k == a || k == b || k == c) continue;
                if (InTriangle(p[k], p[a], p[b], p[c])) {
                    empty = false;
                    break;
                }
            }
            if (!empty) continue;
            out.push_back({idx[a], idx[b], idx[c]});
            ring.erase(ring.begin() + static_cast<std::ptrdiff_t>(i));
            cut = true;
        }
        if (!cut) {
            // No ear: the polygon crosses itself or is collinear where it remains.
            // Close what is left as a fan so nothing reads out of range.
            for (std::size_t i = 1; i + 1 < ring.size(); ++i)
                out.push_back({idx[ring[0]], idx[ring[i]], idx[ring[i + 1]]});
            return;
        }
    }
    if (Cross(p[ring[0]], p[ring[1]], p[ring[2]]) > 0)
        out.push_back({idx[ring[0]], idx[ring[1]], idx[ring[2]]});
}

}  // namespace rm

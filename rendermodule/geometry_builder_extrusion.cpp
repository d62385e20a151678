// Extrusion: the cross-section planes along a spine and the surface swept through them.
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <limits>
#include <optional>

#include "rendermodule/geometry_builder.h"
#include "trace/message_sink.h"

namespace {

bool Finite(const glm::vec3& v) {
    return std::isfinite(v.x) && std::isfinite(v.y) && std::isfinite(v.z);
}

// The unit vector along v, or nothing for a vector too short (or too odd) to have one.
std::optional<glm::vec3> Unit(const glm::vec3& v) {
    const float len = glm::length(v);
    if (!(len > 1e-12f) || !std::isfinite(len)) return std::nullopt;
    return v / len;
}

// Where the rotation taking +y to the unit vector d takes +z: the z axis of a plane
// across a straight spine running along d.
glm::vec3 ZAcross(const glm::vec3& d) {
    const glm::vec3 axis(d.z, 0.0f, -d.x);  // +y × d
    const float s = glm::length(axis);
    if (s < 1e-6f) return d.y > 0.0f ? glm::vec3(0, 0, 1) : glm::vec3(0, 0, -1);
    const glm::vec3 k = axis / s, w(0, 0, 1);
    const float c = std::clamp(d.y, -1.0f, 1.0f);
    return w * c + glm::cross(k, w) * s + k * glm::dot(k, w) * (1.0f - c);
}

// A rotation matrix for an axis and angle; the identity for an axis of no length.
glm::mat3 Rotation(const SFRotation& r) {
    const auto axis = Unit({r.GetX(), r.GetY(), r.GetZ()});
    const float a = r.GetAngle();
    if (!axis || !std::isfinite(a)) return glm::mat3(1.0f);
    const glm::vec3 k = *axis;
    const float c = std::cos(a), s = std::sin(a), t = 1.0f - c;
    // Columns of the Rodrigues rotation matrix.
    return glm::mat3(t * k.x * k.x + c, t * k.x * k.y + s * k.z, t * k.x * k.z - s * k.y,
                     t * k.x * k.y - s * k.z, t * k.y * k.y + c, t * k.y * k.z + s * k.x,
                     t * k.x * k.z + s * k.y, t * k.y * k.z - s * k.x, t * k.z * k.z + c);
}

glm::vec2 TexPoint(float s, float t) {
    return {s, 1.0f - t};  // pictures are stored top row first
}

// Running lengths along a polyline, as fractions of the whole (i / (n - 1) when it has none).
template <class Point>
std::vector<float> Fractions(const std::vector<Point>& p) {
    std::vector<float> f(p.size(), 0.0f);
    for (std::size_t i = 1; i < p.size(); ++i) f[i] = f[i - 1] + glm::length(p[i] - p[i - 1]);
    const float total = p.empty() ? 0.0f : f.back();
    for (std::size_t i = 0; i < p.size(); ++i)
        f[i] = total > 0.0f && std::isfinite(total)
                   ? f[i] / total
                   : static_cast<float>(i) /
                         static_cast<float>(std::max<std::size_t>(1, p.size() - 1));
    return f;
}

}  // namespace

std::vector<SpineFrame> SpineFrames(std::span<const glm::vec3> spine) {
    std::vector<SpineFrame> out;
    const std::size_t n = spine.size();
    // Runs of coincident points share one plane: work on the distinct points.
    std::vector<glm::vec3> u;
    std::vector<std::size_t> runOf(n);
    for (std::size_t i = 0; i < n; ++i) {
        if (u.empty() || spine[i] != u.back()) u.push_back(spine[i]);
        runOf[i] = u.size() - 1;
    }
    const bool closed = n > 2 && spine.front() == spine.back() && u.size() > 1;
    if (closed) {
        // The last run is the first point again.
        for (std::size_t i = 0; i < n; ++i)
            if (runOf[i] == u.size() - 1) runOf[i] = 0;
        u.pop_back();
    }
    const std::size_t count = u.size();
    if (count < 2) return out;
    for (const glm::vec3& p : u)
        if (!Finite(p)) return out;

    std::vector<glm::vec3> ys(count);
    std::vector<std::optional<glm::vec3>> zs(count);
    for (std::size_t k = 0; k < count; ++k) {
        const bool hasPrev = closed || k > 0, hasNext = closed || k + 1 < count;
        const glm::vec3 c = u[k];
        const glm::vec3 prev = hasPrev ? u[(k + count - 1) % count] : c;
        const glm::vec3 next = hasNext ? u[(k + 1) % count] : c;
        // Y: from the previous point to the next one; at an open end, along the end segment.
        auto y = Unit(next - prev);
        if (!y) y = Unit(hasNext ? next - c : c - prev);
        ys[k] = y.value_or(glm::vec3(0, 1, 0));
        // Z: across the bend, where there is one.
        if (hasPrev && hasNext) {
            const glm::vec3 a = next - c, b = prev - c;
            const glm::vec3 z = glm::cross(a, b);
            if (glm::length(z) > 1e-6f * glm::length(a) * glm::length(b)) zs[k] = Unit(z);
        }
    }
    // Straight stretches and open ends take the z of the bend before them, or the first one
    // after them; an entirely straight spine takes the rotation from +y to its direction.
    const auto firstBend = std::find_if(zs.begin(), zs.end(), [](const auto& z) { return z; });
    std::optional<glm::vec3> carried;
    if (firstBend != zs.end()) carried = *firstBend;
    out.resize(n);
    std::vector<SpineFrame> frames(count);
    for (std::size_t k = 0; k < count; ++k) {
        if (zs[k]) carried = zs[k];
        glm::vec3 z = carried ? *carried : ZAcross(ys[k]);
        if (k > 0 && glm::dot(z, frames[k - 1].z) < 0.0f) z = -z;
        auto x = Unit(glm::cross(ys[k], z));
        if (!x) {
            z = ZAcross(ys[k]);
            x = Unit(glm::cross(ys[k], z));
        }
        frames[k].y = ys[k];
        frames[k].x = x.value_or(glm::vec3(1, 0, 0));
        frames[k].z = glm::cross(frames[k].x, ys[k]);
    }
    for (std::size_t i = 0; i < n; ++i) out[i] = frames[runOf[i]];
    return out;
}

GeometryProblems GetAnExtrusion(rm::MeshBuilder* mb, const ExtrusionInput& in) {
    GeometryProblems problems = 0;
    if (mb == nullptr) return problems;
    std::vector<glm::vec3> spine;
    for (const SFVec3f& p : in.spine) spine.emplace_back(p.GetX(), p.GetY(), p.GetZ());
    std::vector<glm::vec2> section;
    for (const SFVec2f& p : in.crossSection) section.emplace_back(p.GetX(), p.GetY());
    const std::vector<SpineFrame> frames = SpineFrames(spine);
    const bool sectionDistinct = std::any_of(section.begin(), section.end(),
                                             [&](const glm::vec2& p) { return p != section[0]; });
    if (frames.empty() || !sectionDistinct) {
        // The default fields make a box; an empty list is the author's choice of nothing.
        if (!spine.empty() && !section.empty()) problems |= kDegenerate;
        return problems;
    }
    for (const glm::vec2& p : section)
        if (!std::isfinite(p.x) || !std::isfinite(p.y)) return problems | kDegenerate;
    const std::size_t n = spine.size(), m = section.size();
    if (n > kMaxSweptPoints / m) return problems | kTooLarge;
    const bool spineClosed = n > 2 && spine.front() == spine.back();
    const bool sectionClosed = m > 2 && section.front() == section.back();
    if ((in.scale.size() > 1 && in.scale.size() < n) ||
        (in.orientation.size() > 1 && in.orientation.size() < n))
        problems |= kMissingValues;

    rm::PolygonMesh mesh;
    mesh.vertices.reserve(n * m);
    for (std::size_t i = 0; i < n; ++i) {
        glm::vec2 scale(1.0f);
        if (!in.scale.empty()) {
            const SFVec2f& s = in.scale[std::min(i, in.scale.size() - 1)];
            scale = {s.GetX(), s.GetY()};
            if (!(scale.x >= 0.0f) || !(scale.y >= 0.0f) || !std::isfinite(scale.x) ||
                !std::isfinite(scale.y)) {
                problems |= kBadSize;
                scale = glm::abs(scale);
                if (!std::isfinite(scale.x) || !std::isfinite(scale.y)) scale = glm::vec2(1.0f);
            }
        }
        glm::mat3 turn(1.0f);
        if (!in.orientation.empty())
            turn = Rotation(in.orientation[std::min(i, in.orientation.size() - 1)]);
        const glm::mat3 plane(frames[i].x, frames[i].y, frames[i].z);
        const glm::mat3 place = plane * turn;
        for (const glm::vec2& c : section)
            mesh.vertices.push_back(spine[i] +
                                    place * glm::vec3(c.x * scale.x, 0.0f, c.y * scale.y));
    }
    // Texture: S along the cross-section, T along the spine, both by length.
    const std::vector<float> s = Fractions(section), t = Fractions(spine);
    mesh.texCoords.reserve(n * m);
    for (std::size_t i = 0; i < n; ++i)
        for (std::size_t j = 0; j < m; ++j) mesh.texCoords.push_back(TexPoint(s[j], t[i]));
    // Vertices at the same place (the seam of a closed cross-section, the ends of a closed
    // spine) are one point for smoothing.
    std::vector<std::uint32_t> pointOf(n * m);
    for (std::size_t i = 0; i < n; ++i) {
        const std::size_t row = spineClosed && i + 1 == n ? 0 : i;
        for (std::size_t j = 0; j < m; ++j) {
            const std::size_t column = sectionClosed && j + 1 == m ? 0 : j;
            pointOf[i * m + j] = static_cast<std::uint32_t>(row * m + column);
        }
    }
    // Sides: (i, j) → (i, j + 1) → (i + 1, j + 1) → (i + 1, j) faces outwards for a
    // cross-section running counter-clockwise seen from +y.
    for (std::size_t i = 0; i + 1 < n; ++i) {
        for (std::size_t j = 0; j + 1 < m; ++j) {
            const auto a = static_cast<std::uint32_t>(i * m + j);
            const auto b = static_cast<std::uint32_t>(a + m);
            mesh.polygonSizes.push_back(4);
            mesh.cornerVertex.insert(mesh.cornerVertex.end(), {a, a + 1, b + 1, b});
        }
    }
    // Caps: the cross-section polygon (closed if it is not) at each end, on vertices of
    // its own with texture points from the cross-section's bounding square. The end cap
    // runs as the cross-section does; the begin cap the other way round.
    const std::size_t ring = sectionClosed ? m - 1 : m;
    if (ring >= 3 && (in.beginCap || in.endCap)) {
        glm::vec2 lo = section[0], hi = section[0];
        for (std::size_t j = 0; j < ring; ++j) {
            lo = glm::min(lo, section[j]);
            hi = glm::max(hi, section[j]);
        }
        const float side = std::max(hi.x - lo.x, hi.y - lo.y);
        const float inv = side > 0.0f ? 1.0f / side : 0.0f;
        auto cap = [&](std::size_t i, bool reversed) {
            const auto first = static_cast<std::uint32_t>(mesh.vertices.size());
            for (std::size_t j = 0; j < ring; ++j) {
                mesh.vertices.push_back(mesh.vertices[i * m + j]);
                mesh.texCoords.push_back(
                    TexPoint((section[j].x - lo.x) * inv, (section[j].y - lo.y) * inv));
                pointOf.push_back(pointOf[i * m + j]);
            }
            mesh.polygonSizes.push_back(static_cast<std::uint32_t>(ring));
            for (std::size_t j = 0; j < ring; ++j)
                mesh.cornerVertex.push_back(
                    first + static_cast<std::uint32_t>(reversed ? ring - 1 - j : j));
        };
        if (in.beginCap) cap(0, true);
        if (in.endCap) cap(n - 1, false);
    }
    if (!in.ccw) {
        auto it = mesh.cornerVertex.begin();
        for (std::uint32_t size : mesh.polygonSizes) {
            std::reverse(it, it + size);
            it += size;
        }
    }
    if (in.creaseAngle > 0.0f) SmoothNormals(mesh, in.creaseAngle, pointOf);
    if (rm::Failed(mb->AddPolygons(std::move(mesh))))
        ShowMessage("Failed to add faces when building indexed geometry.");
    mb->SetSolid(in.solid);
    return problems;
}

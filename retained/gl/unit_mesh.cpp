#include "retained/gl/unit_mesh.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>
#include <vector>

#include "retained/triangulate.h"

namespace rm::gl {

Placement UnitPlacement(std::span<const DrawVertex> vertices) {
    if (vertices.empty()) return {};
    glm::vec3 lo(std::numeric_limits<float>::max()), hi(-std::numeric_limits<float>::max());
    for (const DrawVertex& v : vertices) {
        lo = glm::min(lo, v.position);
        hi = glm::max(hi, v.position);
    }
    const glm::vec3 size = hi - lo;
    for (int i = 0; i < 3; ++i)
        if (!std::isfinite(lo[i]) || !std::isfinite(hi[i]) || !std::isfinite(size[i])) return {};
    Placement p;
    p.offset = lo + 0.5f * size;
    const float longest = std::max({size.x, size.y, size.z});
    if (!(longest > 0.0f)) return p;  // a single point
    const float shortest = std::min({size.x, size.y, size.z});
    p.scale = shortest * kMaxStretch >= longest ? size : glm::vec3(longest);
    return p;
}

namespace {

glm::vec3 Turned(glm::vec3 n, glm::vec3 scale) {
    const glm::vec3 m = n * scale;
    const float len = glm::length(m);
    return len > 0.0f && std::isfinite(len) ? m / len : n;
}

}  // namespace

void ToUnit(const Placement& p, std::span<DrawVertex> vertices) {
    const glm::vec3 inv = 1.0f / p.scale;
    const bool uniform = p.scale.x == p.scale.y && p.scale.y == p.scale.z;
    for (DrawVertex& v : vertices) {
        v.position = (v.position - p.offset) * inv;
        v.faceCenter = (v.faceCenter - p.offset) * inv;
        if (!uniform) {  // a uniform scale leaves directions as they are
            v.normal = Turned(v.normal, p.scale);
            v.faceNormal = Turned(v.faceNormal, p.scale);
        }
    }
}

namespace {

struct Hasher {
    std::uint64_t h = 0x9E3779B97F4A7C15ull;
    void Add(std::uint64_t w) {
        h ^= w + 0x9E3779B97F4A7C15ull + (h << 6) + (h >> 2);
        h *= 0xFF51AFD7ED558CCDull;
    }
    void AddCoarse(float x) {
        // NaN and huge values hash alike; SameShape decides about them.
        const float g = std::isfinite(x) ? std::clamp(std::floor(x * 16.0f), -1e9f, 1e9f) : 0.0f;
        Add(static_cast<std::uint64_t>(static_cast<std::int64_t>(g)));
    }
};

bool Near(float a, float b, float scale) {
    return std::abs(a - b) <= kShapeTolerance * std::max(1.0f, scale);
}

bool NormalNear(std::uint32_t a, std::uint32_t b) {
    for (int i = 0; i < 3; ++i) {
        auto qa = static_cast<std::int32_t>((a >> (10 * i)) & 0x3FFu);
        auto qb = static_cast<std::int32_t>((b >> (10 * i)) & 0x3FFu);
        if (qa >= 512) qa -= 1024;
        if (qb >= 512) qb -= 1024;
        if (std::abs(qa - qb) > 1) return false;
    }
    return true;
}

}  // namespace

std::uint64_t ShapeHash(const UnitMeshView& m) {
    Hasher h;
    h.Add(m.vertices.size());
    h.Add(m.indices.size());
    h.Add(m.triangleIndices);
    for (std::uint32_t i : m.indices) h.Add(i);
    for (const PackedDrawVertex& v : m.vertices) h.Add(v.color);
    constexpr std::size_t kSamples = 8;
    const std::size_t step = std::max<std::size_t>(1, m.vertices.size() / kSamples);
    for (std::size_t i = 0; i < m.vertices.size(); i += step)
        for (int k = 0; k < 3; ++k) h.AddCoarse(m.vertices[i].position[k]);
    return h.h;
}

bool SameShape(const UnitMeshView& a, const UnitMeshView& b) {
    if (a.vertices.size() != b.vertices.size() || a.indices.size() != b.indices.size() ||
        a.triangleIndices != b.triangleIndices)
        return false;
    if (!std::equal(a.indices.begin(), a.indices.end(), b.indices.begin())) return false;
    for (std::size_t i = 0; i < a.vertices.size(); ++i) {
        const PackedDrawVertex &u = a.vertices[i], &v = b.vertices[i];
        if (u.color != v.color || !NormalNear(u.normal, v.normal) ||
            !NormalNear(u.faceNormal, v.faceNormal))
            return false;
        for (int k = 0; k < 3; ++k)
            if (!Near(u.position[k], v.position[k], 1.0f) ||
                !Near(u.faceCenter[k], v.faceCenter[k], 1.0f))
                return false;
        for (int k = 0; k < 2; ++k)
            if (!Near(u.uv[k], v.uv[k], std::abs(u.uv[k]))) return false;
    }
    return true;
}

namespace {

bool Bounds(const std::vector<glm::vec3>& v, glm::vec3* lo, glm::vec3* hi) {
    if (v.empty()) return false;
    *lo = glm::vec3(std::numeric_limits<float>::max());
    *hi = glm::vec3(-std::numeric_limits<float>::max());
    for (const glm::vec3& p : v) {
        *lo = glm::min(*lo, p);
        *hi = glm::max(*hi, p);
    }
    for (int i = 0; i < 3; ++i)
        if (!std::isfinite((*lo)[i]) || !std::isfinite((*hi)[i])) return false;
    return true;
}

std::uint32_t Bits(float f) {
    std::uint32_t u;
    std::memcpy(&u, &f, sizeof u);
    return u;
}

}  // namespace

std::uint64_t SourceHash(const MeshData& m) {
    Hasher h;
    for (std::size_t n : {m.vertices.size(), m.texCoords.size(), m.normals.size(),
                          m.cornerVertex.size(), m.faces.size()})
        h.Add(n);
    for (std::uint32_t i : m.cornerVertex) h.Add(i);
    for (std::int32_t i : m.cornerNormal) h.Add(static_cast<std::uint32_t>(i));
    for (const MeshFace& f : m.faces) {
        h.Add(f.cornerCount);
        h.Add(f.hasColor);
    }
    for (int k = 0; k < 3; ++k) h.Add(Bits(m.color[k]));
    return h.h;
}

namespace {

// What BuildDrawMesh decides for each face before cutting it: 0 left out (no area),
// 1 kept, 2 turned round because its given normals point against its corner order.
void FaceTurns(const MeshData& m, std::vector<std::uint8_t>& out) {
    out.clear();
    thread_local std::vector<glm::vec3> corners;
    for (const MeshFace& face : m.faces) {
        corners.clear();
        glm::vec3 given(0.0f);
        for (std::uint32_t k = 0; k < face.cornerCount; ++k) {
            corners.push_back(m.vertices[m.cornerVertex[face.firstCorner + k]]);
            const std::int32_t ni = m.cornerNormal[face.firstCorner + k];
            if (ni != kNoNormal) given += m.normals[static_cast<std::size_t>(ni)];
        }
        const glm::vec3 normal = PolygonNormal(corners);
        const float area = glm::length(normal);
        if (!(area > 0.0f) || !std::isfinite(area))
            out.push_back(0);
        else
            out.push_back(glm::dot(given, normal / area) < 0.0f ? 2 : 1);
    }
}

// n / |n|, or n when it has no length.
glm::vec3 Direction(glm::vec3 n) {
    const float len = glm::length(n);
    return len > 0.0f && std::isfinite(len) ? n / len : n;
}

}  // namespace

bool SimilarSource(const MeshData& a, const MeshData& b, Placement* aToB) {
    if (a.vertices.size() != b.vertices.size() || a.texCoords.size() != b.texCoords.size() ||
        a.normals.size() != b.normals.size() || a.faces.size() != b.faces.size() ||
        a.cornerVertex != b.cornerVertex || a.cornerNormal != b.cornerNormal || a.color != b.color)
        return false;
    for (std::size_t i = 0; i < a.faces.size(); ++i) {
        const MeshFace &f = a.faces[i], &g = b.faces[i];
        if (f.firstCorner != g.firstCorner || f.cornerCount != g.cornerCount ||
            f.hasColor != g.hasColor || f.color != g.color)
            return false;
    }
    glm::vec3 aLo, aHi, bLo, bHi;
    if (!Bounds(a.vertices, &aLo, &aHi) || !Bounds(b.vertices, &bLo, &bHi)) return false;
    const glm::vec3 aSize = aHi - aLo, bSize = bHi - bLo;
    const float aLongest = std::max({aSize.x, aSize.y, aSize.z});
    const float bLongest = std::max({bSize.x, bSize.y, bSize.z});
    if (!(aLongest > 0.0f) || !(bLongest > 0.0f) || !std::isfinite(bLongest / aLongest))
        return false;
    // Axis by axis where both have an extent on every axis, else one factor.
    glm::vec3 k(bLongest / aLongest);
    if (std::min({aSize.x, aSize.y, aSize.z}) > 0.0f &&
        std::min({bSize.x, bSize.y, bSize.z}) > 0.0f)
        k = bSize / aSize;
    for (int c = 0; c < 3; ++c)
        if (!std::isfinite(k[c]) || !(k[c] > 0.0f)) return false;
    const bool uniform = std::abs(k.x - k.y) <= kShapeTolerance * k.x &&
                         std::abs(k.x - k.z) <= kShapeTolerance * k.x;
    if (uniform) k = glm::vec3(bLongest / aLongest);
    const float tolerance = kShapeTolerance * bLongest;
    const glm::vec3 aCentre = aLo + 0.5f * aSize, bCentre = bLo + 0.5f * bSize;
    for (std::size_t i = 0; i < a.vertices.size(); ++i) {
        const glm::vec3 d = (b.vertices[i] - bCentre) - k * (a.vertices[i] - aCentre);
        if (!(std::max({std::abs(d.x), std::abs(d.y), std::abs(d.z)}) <= tolerance)) return false;
    }
    for (std::size_t i = 0; i < a.normals.size(); ++i) {
        // Under one factor the normals themselves match, as BuildDrawMesh sums them raw.
        const glm::vec3 na = uniform ? a.normals[i] : Direction(a.normals[i]);
        const glm::vec3 nb = uniform ? b.normals[i] : Direction(k * b.normals[i]);
        for (int c = 0; c < 3; ++c)
            if (!Near(na[c], nb[c], std::abs(na[c]))) return false;
    }
    for (std::size_t i = 0; i < a.texCoords.size(); ++i)
        for (int c = 0; c < 2; ++c)
            if (!Near(a.texCoords[i][c], b.texCoords[i][c], std::abs(a.texCoords[i][c])))
                return false;
    if (!uniform) {
        thread_local std::vector<std::uint8_t> aTurns, bTurns;
        FaceTurns(a, aTurns);
        FaceTurns(b, bTurns);
        if (aTurns != bTurns) return false;
    }
    aToB->offset = bCentre - k * aCentre;
    aToB->scale = k;
    return true;
}

Placement Compose(const Placement& aToB, const Placement& p) {
    return {aToB.offset + aToB.scale * p.offset, aToB.scale * p.scale};
}

}  // namespace rm::gl

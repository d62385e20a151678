// Indexed geometry: IndexedFaceSet (and its 2-D form), ElevationGrid, crease-angle
// normals, and the one message a node's problems make.
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <limits>

#include "rendermodule/geometry_builder.h"
#include "retained/triangulate.h"
#include "trace/message_sink.h"

namespace {

glm::vec3 Vec(const SFVec3f& v) {
    return {v.GetX(), v.GetY(), v.GetZ()};
}
glm::vec3 Vec(const SFColor& c) {
    return {c.GetR(), c.GetG(), c.GetB()};
}
// A texture point as the meshbuilder holds it: pictures are stored top row first,
// so t (up from the bottom edge) becomes 1 - t.
glm::vec2 TexPoint(float s, float t) {
    return {s, 1.0f - t};
}
glm::vec2 TexPoint(const SFVec2f& p) {
    return TexPoint(p.GetX(), p.GetY());
}

// A value index that is not there: its index list ended first (already reported).
constexpr std::int64_t kMissing = std::numeric_limits<std::int64_t>::min();

// Whether a value index names an entry of the list; why not when it does not.
template <class List>
bool Lookup(const List& list, std::int64_t index, GeometryProblems& problems) {
    if (index == kMissing) return false;
    if (index < 0) {
        problems |= kNegativeIndex;
        return false;
    }
    if (static_cast<std::uint64_t>(index) >= list.size()) {
        problems |= kIndexPastList;
        return false;
    }
    return true;
}

// The value index of one corner: from `index` at `slot` (the corner's place in
// coordIndex, or the face number), or `fallback` when there is no index list.
std::int64_t IndexAt(std::span<const SFInt32> index, std::size_t slot, std::int64_t fallback,
                     GeometryProblems& problems) {
    if (index.empty()) return fallback;
    if (slot >= index.size()) {
        problems |= kMissingValues;
        return kMissing;
    }
    return index[slot].Get();
}

// The texture mapping of a point set without texture points: S along the
// longest side of the bounding box (x before y before z on equal sides), T along the
// next longest, both at the scale that takes S from 0 to 1.
std::vector<glm::vec2> BoxMapping(const std::vector<glm::vec3>& points) {
    std::vector<glm::vec2> uv(points.size(), TexPoint(0, 0));
    if (points.empty()) return uv;
    glm::vec3 lo(std::numeric_limits<float>::max()), hi(-std::numeric_limits<float>::max());
    for (const glm::vec3& p : points) {
        lo = glm::min(lo, p);
        hi = glm::max(hi, p);
    }
    const glm::vec3 size = hi - lo;
    int s = 0;
    for (int a = 1; a < 3; ++a)
        if (size[a] > size[s]) s = a;
    int t = s == 0 ? 1 : 0;
    for (int a = 0; a < 3; ++a)
        if (a != s && size[a] > size[t]) t = a;
    if (!(size[s] > 0.0f) || !std::isfinite(size[s])) return uv;
    const float scale = 1.0f / size[s];
    for (std::size_t i = 0; i < points.size(); ++i)
        uv[i] = TexPoint((points[i][s] - lo[s]) * scale, (points[i][t] - lo[t]) * scale);
    return uv;
}

// Turns every polygon round (for geometry whose corners run clockwise seen from the front).
template <class T>
void ReversePolygons(std::vector<T>& perCorner, const std::vector<std::uint32_t>& sizes) {
    if (perCorner.empty()) return;
    auto it = perCorner.begin();
    for (std::uint32_t n : sizes) {
        std::reverse(it, it + n);
        it += n;
    }
}

void ReverseAll(rm::PolygonMesh& m) {
    ReversePolygons(m.cornerVertex, m.polygonSizes);
    ReversePolygons(m.cornerNormal, m.polygonSizes);
    ReversePolygons(m.cornerColor, m.polygonSizes);
    ReversePolygons(m.cornerTexCoord, m.polygonSizes);
}

// A given normal as a corner normal: its index, or none for one of zero length.
std::int32_t NormalIndex(const std::vector<SFVec3f>& normals, std::int64_t index,
                         GeometryProblems& problems) {
    if (!Lookup(normals, index, problems)) return rm::kNoNormal;
    const float len = glm::length(Vec(normals[static_cast<std::size_t>(index)]));
    if (!(len > 0.0f) || !std::isfinite(len)) {
        problems |= kZeroNormal;
        return rm::kNoNormal;
    }
    return static_cast<std::int32_t>(index);
}

std::vector<glm::vec3> Vectors(const std::vector<SFVec3f>& list) {
    std::vector<glm::vec3> out;
    out.reserve(list.size());
    for (const SFVec3f& v : list) out.push_back(Vec(v));
    return out;
}

void Finish(rm::MeshBuilder* mb, rm::PolygonMesh&& mesh, bool solid) {
    if (rm::Failed(mb->AddPolygons(std::move(mesh))))
        ShowMessage("Failed to add faces when building indexed geometry.");
    mb->SetSolid(solid);
}

}  // namespace

std::string DescribeProblems(const char* nodeType, GeometryProblems problems) {
    static const struct {
        GeometryProblem bit;
        const char* text;
    } kTexts[] = {
        {kIndexPastList, "an index past the end of its list"},
        {kNegativeIndex, "a negative index other than -1"},
        {kMissingValues, "fewer values than the geometry needs"},
        {kZeroNormal, "a normal of zero length"},
        {kBadSize, "a zero or negative size"},
        {kDegenerate, "a spine or cross-section of fewer than two distinct points"},
        {kTooLarge, "more than 16,777,216 points"},
    };
    std::string text;
    for (const auto& t : kTexts) {
        if ((problems & t.bit) == 0) continue;
        text += text.empty() ? std::string(nodeType) + ": " : ", ";
        text += t.text;
    }
    if (!text.empty()) text += "; drawing what is valid";
    return text;
}

void SmoothNormals(rm::PolygonMesh& m, float creaseAngle,
                   std::span<const std::uint32_t> vertexPoint) {
    const std::size_t corners = m.cornerVertex.size(), polygons = m.polygonSizes.size();
    // Each polygon's unit normal (zero for a degenerate one) and each corner's polygon.
    std::vector<glm::vec3> faceNormal(polygons);
    std::vector<std::uint32_t> polygonOf(corners);
    std::vector<glm::vec3> ring;
    for (std::size_t f = 0, c = 0; f < polygons; ++f) {
        ring.clear();
        for (std::uint32_t k = 0; k < m.polygonSizes[f]; ++k, ++c) {
            ring.push_back(m.vertices[m.cornerVertex[c]]);
            polygonOf[c] = static_cast<std::uint32_t>(f);
        }
        const glm::vec3 n = rm::PolygonNormal(ring);
        const float len = glm::length(n);
        faceNormal[f] = len > 0.0f && std::isfinite(len) ? n / len : glm::vec3(0.0f);
    }
    auto pointOf = [&](std::size_t c) -> std::uint32_t {
        const std::uint32_t v = m.cornerVertex[c];
        return vertexPoint.empty() ? v : vertexPoint[v];
    };
    std::size_t points = m.vertices.size();
    for (std::uint32_t p : vertexPoint) points = std::max<std::size_t>(points, p + 1u);
    // The corners at each point, grouped: start[p] .. start[p + 1] in byPoint.
    std::vector<std::uint32_t> start(points + 1, 0), byPoint(corners);
    for (std::size_t c = 0; c < corners; ++c) ++start[pointOf(c) + 1];
    for (std::size_t p = 0; p < points; ++p) start[p + 1] += start[p];
    {
        std::vector<std::uint32_t> next(start.begin(), start.end() - 1);
        for (std::size_t c = 0; c < corners; ++c)
            byPoint[next[pointOf(c)]++] = static_cast<std::uint32_t>(c);
    }
    // Faces meeting at less than the crease angle are smoothed together; a corner's own
    // face always counts. Faces of one direction at a point (a flat region) are weighed
    // together, so the work at a point grows with the square of its distinct directions;
    // past kMaxDirections (a fan of thousands of different faces) its corners keep their
    // faces' own normals.
    constexpr std::size_t kMaxDirections = 512;
    const float limit = std::cos(std::clamp(creaseAngle, 0.0f, 3.14159265f));
    auto less = [](const glm::vec3& a, const glm::vec3& b) {
        return a.x != b.x ? a.x < b.x : a.y != b.y ? a.y < b.y : a.z < b.z;
    };
    m.normals.clear();
    m.cornerNormal.assign(corners, rm::kNoNormal);
    std::vector<glm::vec3> directions;
    std::vector<float> weights;
    std::vector<std::int32_t> normalOf;
    for (std::size_t p = 0; p < points; ++p) {
        directions.clear();
        for (std::uint32_t i = start[p]; i < start[p + 1]; ++i)
            directions.push_back(faceNormal[polygonOf[byPoint[i]]]);
        std::sort(directions.begin(), directions.end(), less);
        weights.clear();
        std::size_t unique = 0;
        for (std::size_t i = 0; i < directions.size(); ++i) {
            if (unique > 0 && directions[i] == directions[unique - 1]) {
                weights[unique - 1] += 1.0f;
            } else {
                directions[unique++] = directions[i];
                weights.push_back(1.0f);
            }
        }
        directions.resize(unique);
        if (unique > kMaxDirections) continue;  // the meshbuilder's face normals
        // A smooth region (the common case): every two directions, each with itself,
        // meet within the angle and none is degenerate, so every direction's group is
        // the whole set. Its one normal is the sum each group would make, in the same
        // order, so the result is the same to the bit, stored once for the point.
        bool together = true;
        for (std::size_t i = 0; i < unique && together; ++i)
            for (std::size_t j = i; j < unique && together; ++j)
                together = directions[i] != glm::vec3(0.0f) &&
                           glm::dot(directions[i], directions[j]) >= limit;
        if (together) {
            glm::vec3 sum(0.0f);
            for (std::size_t j = 0; j < unique; ++j) sum += weights[j] * directions[j];
            const float len = glm::length(sum);
            if (!(len > 0.0f) || !std::isfinite(len)) continue;
            const auto index = static_cast<std::int32_t>(m.normals.size());
            m.normals.push_back(sum / len);
            for (std::uint32_t i = start[p]; i < start[p + 1]; ++i)
                m.cornerNormal[byPoint[i]] = index;
            continue;
        }
        // The normal of each direction's smoothing group, added once.
        normalOf.assign(unique, rm::kNoNormal);
        for (std::size_t i = 0; i < unique; ++i) {
            if (directions[i] == glm::vec3(0.0f)) continue;  // degenerate: drawn flat
            glm::vec3 sum(0.0f);
            for (std::size_t j = 0; j < unique; ++j)
                if (glm::dot(directions[i], directions[j]) >= limit)
                    sum += weights[j] * directions[j];
            const float len = glm::length(sum);
            if (!(len > 0.0f) || !std::isfinite(len)) continue;
            normalOf[i] = static_cast<std::int32_t>(m.normals.size());
            m.normals.push_back(sum / len);
        }
        for (std::uint32_t i = start[p]; i < start[p + 1]; ++i) {
            const std::uint32_t c = byPoint[i];
            const auto at = std::lower_bound(directions.begin(), directions.end(),
                                             faceNormal[polygonOf[c]], less);
            m.cornerNormal[c] = normalOf[static_cast<std::size_t>(at - directions.begin())];
        }
    }
}

GeometryProblems GetAFaceSet(rm::MeshBuilder* mb, FaceSetInput&& in) {
    GeometryProblems problems = 0;
    if (mb == nullptr) return problems;
    rm::PolygonMesh m;
    // Corner lists keep, beside each corner's point, its place in coordIndex (for the
    // per-vertex index lists), and each polygon its face number (for per-face values):
    // polygons that are dropped still count as faces.
    const bool slots = (in.colors && in.colorPerVertex && !in.colorIndex.empty()) ||
                       (in.normals && in.normalPerVertex && !in.normalIndex.empty()) ||
                       (in.texPoints && !in.texCoordIndex.empty());
    const bool faces = (in.colors && !in.colorPerVertex) || (in.normals && !in.normalPerVertex);
    std::vector<std::uint32_t> cornerSlot, faceNumber;
    m.cornerVertex.reserve(in.coordIndex.size());
    std::uint32_t open = 0, face = 0;  // corners of the polygon being read
    auto close = [&] {
        if (open >= 3) {
            m.polygonSizes.push_back(open);
            if (faces) faceNumber.push_back(face);
        } else {
            m.cornerVertex.resize(m.cornerVertex.size() - open);
            if (slots) cornerSlot.resize(cornerSlot.size() - open);
        }
        open = 0;
        ++face;
    };
    for (std::size_t slot = 0; slot < in.coordIndex.size(); ++slot) {
        const std::int32_t index = in.coordIndex[slot].Get();
        if (index == -1) {
            close();
        } else if (Lookup(in.points, index, problems)) {
            m.cornerVertex.push_back(static_cast<std::uint32_t>(index));
            if (slots) cornerSlot.push_back(static_cast<std::uint32_t>(slot));
            ++open;
        }
    }
    if (open > 0) close();  // the last polygon need not end with -1
    const std::size_t corners = m.cornerVertex.size();

    // What each corner takes from a list: the value index for corner c of polygon f.
    auto forCorners = [&](bool perVertex, std::span<const SFInt32> index, auto&& take) {
        for (std::size_t f = 0, c = 0; f < m.polygonSizes.size(); ++f) {
            for (std::uint32_t k = 0; k < m.polygonSizes[f]; ++k, ++c) {
                const std::int64_t at =
                    perVertex
                        ? IndexAt(index, slots ? cornerSlot[c] : 0, m.cornerVertex[c], problems)
                        : IndexAt(index, faceNumber[f], faceNumber[f], problems);
                take(c, at);
            }
        }
    };
    m.texCoords = BoxMapping(in.points);
    if (in.colors != nullptr) {
        const std::vector<SFColor>& colors = *in.colors;
        const glm::vec3 plain = mb->GetColor();
        m.cornerColor.resize(corners);
        forCorners(in.colorPerVertex, in.colorIndex, [&](std::size_t c, std::int64_t at) {
            m.cornerColor[c] =
                Lookup(colors, at, problems) ? Vec(colors[static_cast<std::size_t>(at)]) : plain;
        });
    }
    if (in.texPoints != nullptr) {
        const std::vector<SFVec2f>& tex = *in.texPoints;
        m.cornerTexCoord.resize(corners);
        forCorners(true, in.texCoordIndex, [&](std::size_t c, std::int64_t at) {
            m.cornerTexCoord[c] = Lookup(tex, at, problems)
                                      ? TexPoint(tex[static_cast<std::size_t>(at)])
                                      : m.texCoords[m.cornerVertex[c]];
        });
    }
    if (in.normals != nullptr) {
        m.normals = Vectors(*in.normals);
        m.cornerNormal.resize(corners);
        forCorners(in.normalPerVertex, in.normalIndex, [&](std::size_t c, std::int64_t at) {
            m.cornerNormal[c] = NormalIndex(*in.normals, at, problems);
        });
    }
    m.vertices = std::move(in.points);
    if (!in.ccw) ReverseAll(m);
    // Without normals and a crease angle every face is flat: the meshbuilder's own
    // face normals do, and a large mesh gets no normal list at all.
    if (in.normals == nullptr && in.creaseAngle > 0.0f) SmoothNormals(m, in.creaseAngle);
    Finish(mb, std::move(m), in.solid);
    return problems;
}

GeometryProblems GetAnElevationGrid(rm::MeshBuilder* mb, const ElevationGridInput& in) {
    GeometryProblems problems = 0;
    if (mb == nullptr) return problems;
    if (in.xDimension < 0 || in.zDimension < 0 || !(in.xSpacing > 0.0f) || !(in.zSpacing > 0.0f)) {
        problems |= kBadSize;
        return problems;
    }
    const auto nx = static_cast<std::size_t>(in.xDimension);
    std::size_t nz = static_cast<std::size_t>(in.zDimension);
    if (nx == 0 || nz == 0) return problems;  // an empty grid: nothing to draw
    if (in.height.size() < nx * nz) {
        problems |= kMissingValues;
        nz = in.height.size() / nx;  // the complete rows
    }
    if (nx < 2 || nz < 2) return problems;
    rm::PolygonMesh m;
    m.vertices.reserve(nx * nz);
    for (std::size_t j = 0; j < nz; ++j)
        for (std::size_t i = 0; i < nx; ++i)
            m.vertices.emplace_back(static_cast<float>(i) * in.xSpacing,
                                    in.height[j * nx + i].Get(),
                                    static_cast<float>(j) * in.zSpacing);
    // Texture points per vertex, or S along x and T along z from 0 to 1 over the grid.
    const std::size_t vertexCount = nx * nz, cells = (nx - 1) * (nz - 1);
    if (in.texPoints != nullptr && in.texPoints->size() < vertexCount) problems |= kMissingValues;
    const bool given = in.texPoints != nullptr && in.texPoints->size() >= vertexCount;
    m.texCoords.reserve(vertexCount);
    for (std::size_t j = 0; j < nz; ++j)
        for (std::size_t i = 0; i < nx; ++i)
            m.texCoords.push_back(given ? TexPoint((*in.texPoints)[j * nx + i])
                                        : TexPoint(static_cast<float>(i) / (nx - 1),
                                                   static_cast<float>(j) / (nz - 1)));
    m.polygonSizes.assign(cells, 4);
    m.cornerVertex.reserve(4 * cells);
    for (std::size_t j = 0; j + 1 < nz; ++j) {
        for (std::size_t i = 0; i + 1 < nx; ++i) {
            const auto a = static_cast<std::uint32_t>(j * nx + i);
            const auto b = static_cast<std::uint32_t>(a + nx);
            // Seen from above, (i, j) → (i, j + 1) → (i + 1, j + 1) runs counter-clockwise.
            m.cornerVertex.insert(m.cornerVertex.end(), {a, b, b + 1, a + 1});
        }
    }
    // A value per vertex (the corner's vertex) or per cell (the corner's quad).
    auto valueIndex = [&](bool perVertex, std::size_t c) -> std::size_t {
        return perVertex ? m.cornerVertex[c] : c / 4;
    };
    if (in.colors != nullptr) {
        const glm::vec3 plain = mb->GetColor();
        m.cornerColor.resize(m.cornerVertex.size());
        for (std::size_t c = 0; c < m.cornerVertex.size(); ++c) {
            const std::size_t at = valueIndex(in.colorPerVertex, c);
            if (at < in.colors->size()) {
                m.cornerColor[c] = Vec((*in.colors)[at]);
            } else {
                problems |= kMissingValues;
                m.cornerColor[c] = plain;
            }
        }
    }
    if (in.normals != nullptr) {
        m.normals = Vectors(*in.normals);
        m.cornerNormal.resize(m.cornerVertex.size());
        for (std::size_t c = 0; c < m.cornerVertex.size(); ++c) {
            const std::size_t at = valueIndex(in.normalPerVertex, c);
            GeometryProblems found = 0;
            m.cornerNormal[c] = NormalIndex(*in.normals, static_cast<std::int64_t>(at), found);
            problems |= found & kIndexPastList ? kMissingValues : found;
        }
    }
    if (!in.ccw) ReverseAll(m);
    if (in.normals == nullptr && in.creaseAngle > 0.0f) SmoothNormals(m, in.creaseAngle);
    Finish(mb, std::move(m), in.solid);
    return problems;
}

#include "rendermodule/geometry_builder.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <map>
#include <vector>

#include "trace/message_sink.h"

namespace {

// Angles use the same rounded constants everywhere so that seams line up.
constexpr double kTurn = 6.28318;
constexpr double kHalfTurn = 3.14159;

bool Ready(const rm::MeshBuilder* mb) {
    return mb != nullptr;
}

// Face data under construction: per face its corner count and (vertex, normal) pairs.
struct Faces {
    std::vector<std::uint32_t> data;
    void Add(std::initializer_list<std::uint32_t> vertices, std::uint32_t normal) {
        data.push_back(static_cast<std::uint32_t>(vertices.size()));
        for (std::uint32_t v : vertices) {
            data.push_back(v);
            data.push_back(normal);
        }
    }
    // Each vertex with the normal of the same index.
    void AddSmooth(std::initializer_list<std::uint32_t> vertices) {
        data.push_back(static_cast<std::uint32_t>(vertices.size()));
        for (std::uint32_t v : vertices) {
            data.push_back(v);
            data.push_back(v);
        }
    }
    std::span<const std::uint32_t> Closed() {
        data.push_back(0);
        return data;
    }
};

void AddFacesAndColor(rm::MeshBuilder* mb, const std::vector<glm::vec3>& vertices,
                      const std::vector<glm::vec3>& normals, Faces& faces, const char* addFailed,
                      const char* colorFailed) {
    if (rm::Failed(mb->AddFaces(vertices, normals, faces.Closed()))) ShowMessage(addFailed);
    mb->SetColorRGB(0.8f, 0.8f, 0.8f);
    (void)colorFailed;  // setting a colour cannot fail in this layer
}

float F(double v) {
    return static_cast<float>(v);
}

void ApplyWrap(rm::RetainedMode& rm, rm::MeshBuilder* mb, const rm::WrapParams& params,
               const char* createFailed, const char* applyFailed) {
    rm::Ptr<rm::Wrap> wrap;
    if (rm::Failed(rm.CreateWrap(params, wrap.Put()))) {
        ShowMessage(createFailed);
        return;
    }
    if (rm::Failed(wrap->Apply(mb))) ShowMessage(applyFailed);
}

// The meshbuilder's bounding box; "Failed to GetBox when MakeWarp." when it has none.
bool BoxOf(rm::MeshBuilder* mb, rm::Box& box) {
    if (rm::Succeeded(mb->GetBox(&box))) return true;
    ShowMessage("Failed to GetBox when MakeWarp.");
    return false;
}

// Primitives shared between meshbuilders: the kind of a unit mesh's key.
enum UnitKind : std::uint64_t { kUnitBox = 1, kUnitSphere, kUnitCone, kUnitCylinder };

// The key of a unit mesh: its kind, two counts (segments or longitude and latitude) and
// which parts it has; ShowUnit adds kWhiteUnit for a white one.
constexpr std::uint64_t kWhiteUnit = std::uint64_t{1} << 11;
std::uint64_t UnitKey(UnitKind kind, int a, int b, bool p0, bool p1, bool p2) {
    return kind | (std::uint64_t{p0} << 8) | (std::uint64_t{p1} << 9) | (std::uint64_t{p2} << 10) |
           (std::uint64_t(static_cast<std::uint32_t>(a) & 0xfffff) << 12) |
           (std::uint64_t(static_cast<std::uint32_t>(b) & 0xfffff) << 32);
}

// Segments around the circle of a coarser version below which it is not made.
constexpr int kFewestSegments = 6;
// How far a coarser version's outline may stray from the circle on screen, in pixels.
constexpr double kStrayPixels = 0.25;

// Gives a unit mesh of `a` segments around (a sphere: `a` longitudes and `b` latitudes)
// coarser versions built by build(mesh, a', b') with the counts halved, quartered, ...
// while kFewestSegments remain around. The backend draws one where the shape is under
// the size at which its polygon of n segments strays at most kStrayPixels from the
// circle: 2 kStrayPixels / (1 − cos(π / n)) pixels across (29 for 24 segments, 15 for
// 12, 3.7 for 6). A sphere's n is the lesser of its longitudes and twice its latitudes.
template <class Build>
void AddCoarserVersions(rm::RetainedMode* rm, rm::MeshBuilder* unit, int a, int b, bool sphere,
                        Build build) {
    for (int f = 2; a / f >= kFewestSegments; f *= 2) {
        const int ca = a / f, cb = sphere ? std::max(2, b / f) : b;
        const int around = sphere ? std::min(ca, 2 * cb) : ca;
        rm::Ptr<rm::MeshBuilder> coarse;
        if (rm::Failed(rm->CreateMeshBuilder(coarse.Put()))) return;
        build(coarse.Get(), ca, cb);
        const double below = 2 * kStrayPixels / (1.0 - std::cos(kTurn / 2 / around));
        if (coarse->GetFaceCount() != 0) unit->AddCoarser(F(below), *coarse);
    }
}

// Which coarser versions a unit mesh gets: none (a box), by segments round a circle,
// or by a sphere's longitudes and latitudes.
enum class Around { None, Circle, Sphere };

// Makes an empty mb show the unit mesh filed under key (built by build(unit, a, b) on
// first use, with coarser versions as `around` says, then made white when `white`)
// scaled by `scale`. White units are kept apart, so that the shapes without a Material
// share one too instead of each recolouring a copy. False when it cannot: no root, mb
// not empty, a factor not positive and finite, counts out of the key's range, nothing
// built; the caller then builds the primitive into mb itself.
template <class Build>
bool ShowUnit(rm::RetainedMode* rm, rm::MeshBuilder* mb, std::uint64_t key, glm::vec3 scale, int a,
              int b, Around around, bool white, Build build) {
    if (rm == nullptr || !Ready(mb) || mb->GetFaceCount() != 0 || mb->GetVertexCount() != 0)
        return false;
    if (a < 1 || b < 1 || a > 0xfffff || b > 0xfffff) return false;
    for (int k = 0; k < 3; ++k)
        if (!(scale[k] > 0.0f) || !std::isfinite(scale[k])) return false;
    bool created = false;
    rm::MeshBuilder* unit = rm->UnitMesh(white ? key | kWhiteUnit : key, &created);
    if (unit == nullptr) return false;
    if (created) {
        auto built = [&](rm::MeshBuilder* m, int first, int second) {
            build(m, first, second);
            if (white) m->SetColorRGB(1, 1, 1);
        };
        built(unit, a, b);
        if (around != Around::None && unit->GetFaceCount() != 0)
            AddCoarserVersions(rm, unit, a, b, around == Around::Sphere, built);
    }
    return unit->GetFaceCount() != 0 && rm::Succeeded(mb->ShowScaled(*unit, scale));
}

// 1/extent, or 1 for a flat extent, so that no infinity reaches a coordinate.
float InverseExtent(float extent) {
    return extent > 0 ? 1.0f / extent : 1.0f;
}

}  // namespace

void GetACircle(rm::RetainedMode& rm, rm::MeshBuilder* mb, float radius) {
    if (!Ready(mb)) return;
    constexpr int kSegments = 24;
    std::vector<glm::vec3> vertices;
    for (int i = 0; i < kSegments; ++i) {
        double a = i * kTurn * 15 / 360;
        vertices.emplace_back(F(radius * std::cos(a)), F(radius * std::sin(a)), 0.0f);
    }
    vertices.emplace_back(0.0f, 0.0f, 0.0f);
    std::vector<glm::vec3> normals{{0.0f, 0.0f, -1.0f}};
    Faces faces;
    for (std::uint32_t i = 0; i < kSegments; ++i) faces.Add({kSegments, (i + 1) % kSegments, i}, 0);
    AddFacesAndColor(mb, vertices, normals, faces, "Failed to add faces when GetACircle.",
                     "Failed to SetColorRGB when GetACircle.");
    MakeWarpSpherical(rm, mb);
}

void GetARect(rm::MeshBuilder* mb, float x, float y) {
    if (!Ready(mb)) return;
    float w = x / 2, h = y / 2;
    std::vector<glm::vec3> vertices{{w, h, 0}, {-w, h, 0}, {-w, -h, 0}, {w, -h, 0}};
    std::vector<glm::vec3> normals{{0.0f, 0.0f, -1.0f}};
    Faces faces;
    faces.Add({0, 2, 1}, 0);
    faces.Add({0, 3, 2}, 0);
    AddFacesAndColor(mb, vertices, normals, faces, "Failed to AddFaces when GetARect.",
                     "Failed to SetColorRGB when GetARect.");
    const float uv[4][2] = {{1, 0}, {0, 0}, {0, 1}, {1, 1}};
    std::uint32_t base = static_cast<std::uint32_t>(mb->GetVertexCount()) - 4;
    for (std::uint32_t i = 0; i < 4; ++i) mb->SetTextureCoordinates(base + i, uv[i][0], uv[i][1]);
}

void GetAPolygon(rm::RetainedMode& rm, rm::MeshBuilder* mb, const float* points, int count) {
    if (!Ready(mb) || points == nullptr || count < 3) return;
    std::vector<glm::vec3> vertices;
    Faces faces;
    faces.data.push_back(static_cast<std::uint32_t>(count));
    for (int i = 0; i < count; ++i) {
        vertices.emplace_back(points[2 * i], points[2 * i + 1], 0.0f);
        faces.data.push_back(static_cast<std::uint32_t>(i));
        faces.data.push_back(0);
    }
    std::vector<glm::vec3> normals{{0.0f, 0.0f, -1.0f}};
    AddFacesAndColor(mb, vertices, normals, faces, "Failed to AddFaces when GetARect.",
                     "Failed to SetColorRGB when GetARect.");
    MakeWarpFlat(rm, mb);
}

void GetABox(rm::MeshBuilder* mb, float x, float y, float z) {
    if (!Ready(mb)) return;
    float a = x / 2, b = y / 2, c = z / 2;
    std::vector<glm::vec3> vertices{
        {-a, -b, -c}, {-a, b, -c},  {a, b, -c},  {a, -b, -c},   // side 0, -z
        {a, -b, c},   {a, b, c},    {-a, b, c},  {-a, -b, c},   // side 1, +z
        {a, -b, -c},  {a, b, -c},   {a, b, c},   {a, -b, c},    // side 2, +x
        {-a, -b, c},  {-a, b, c},   {-a, b, -c}, {-a, -b, -c},  // side 3, -x
        {-a, b, -c},  {-a, b, c},   {a, b, c},   {a, b, -c},    // side 4, +y
        {-a, -b, c},  {-a, -b, -c}, {a, -b, -c}, {a, -b, c},    // side 5, -y
    };
    std::vector<glm::vec3> normals{{0, 0, -1}, {0, 0, 1}, {1, 0, 0},
                                   {-1, 0, 0}, {0, 1, 0}, {0, -1, 0}};
    Faces faces;
    for (std::uint32_t s = 0; s < 6; ++s) faces.Add({4 * s, 4 * s + 1, 4 * s + 2, 4 * s + 3}, s);
    AddFacesAndColor(mb, vertices, normals, faces, "Failed to AddFaces when GetARect.",
                     "Failed to SetColorRGB when GetARect.");
    const float uv[4][2] = {{1, 1}, {1, 0}, {0, 0}, {0, 1}};
    std::uint32_t base = static_cast<std::uint32_t>(mb->GetVertexCount()) - 24;
    for (std::uint32_t i = 0; i < 24; ++i)
        mb->SetTextureCoordinates(base + i, uv[i % 4][0], uv[i % 4][1]);
}

void GetABox(rm::RetainedMode* rm, rm::MeshBuilder* mb, float x, float y, float z, bool white) {
    auto build = [](rm::MeshBuilder* unit, int, int) { GetABox(unit, 1, 1, 1); };
    if (!ShowUnit(rm, mb, UnitKey(kUnitBox, 1, 1, false, false, false), {x, y, z}, 1, 1,
                  Around::None, white, build))
        GetABox(mb, x, y, z);
}

void GetABoxFromCorners(rm::MeshBuilder* mb, const rm::Box& box) {
    glm::vec3 size = box.max - box.min;
    GetABox(mb, size.x, size.y, size.z);
}

namespace {

// The unit sphere of (n + 1)(m + 1) vertices shared by the sphere builders.
std::vector<glm::vec3> ComputeUnitSphere(int n, int m) {
    std::vector<glm::vec3> v;
    v.reserve(static_cast<std::size_t>(n + 1) * (m + 1));
    double dTheta = kTurn / n, dPhi = kHalfTurn / m;
    for (int i = 0; i <= m; ++i) {
        for (int j = 0; j <= n; ++j) {
            if (i == 0) {
                v.emplace_back(0.0f, -1.0f, 0.0f);
            } else if (i == m) {
                v.emplace_back(0.0f, 1.0f, 0.0f);
            } else {
                double phi = (i - m / 2) * dPhi, theta = j * dTheta;
                v.emplace_back(F(std::cos(phi) * std::sin(theta)), F(std::sin(phi)),
                               F(std::cos(phi) * std::cos(theta)));
            }
        }
    }
    return v;
}

// The same, computed once per thread and size: scenes hold many spheres of one
// tessellation, and the sines and cosines cost more than copying the result.
const std::vector<glm::vec3>& UnitSphere(int n, int m) {
    thread_local std::map<std::pair<int, int>, std::vector<glm::vec3>> cache;
    auto [it, added] = cache.try_emplace({n, m});
    if (added) it->second = ComputeUnitSphere(n, m);
    return it->second;
}

void BuildSphere(rm::MeshBuilder* mb, float radius, int n, int m, bool inside) {
    if (!Ready(mb) || n < 1 || m < 1) return;
    // The unit sphere is its own set of normals; the vertices are scaled here
    // rather than with a meshbuilder Scale, which would refuse a radius of 0.
    std::vector<glm::vec3> normals = UnitSphere(n, m);
    std::vector<glm::vec3> vertices = normals;
    for (auto& v : vertices) v *= radius;
    if (inside)
        for (auto& v : normals) v = -v;
    Faces faces;
    for (int i = 0; i < m; ++i) {
        auto r0 = static_cast<std::uint32_t>(i * (n + 1));
        auto r1 = static_cast<std::uint32_t>((i + 1) * (n + 1));
        for (std::uint32_t j = 0; j < static_cast<std::uint32_t>(n); ++j) {
            if (inside)
                faces.AddSmooth({r0 + j, r1 + j, r1 + j + 1, r0 + j + 1});
            else
                faces.AddSmooth({r0 + j, r0 + j + 1, r1 + j + 1, r1 + j});
        }
    }
    std::uint32_t base = static_cast<std::uint32_t>(mb->GetVertexCount());
    if (rm::Failed(mb->AddFaces(vertices, normals, faces.Closed())))
        ShowMessage("Failed to add faces when GetASphere.");
    mb->SetColorRGB(0.8f, 0.8f, 0.8f);
    for (int i = 0; i <= m; ++i) {
        for (int j = 0; j <= n; ++j) {
            float u = static_cast<float>(j) / n, v = 1.0f - static_cast<float>(i) / m;
            mb->SetTextureCoordinates(base + static_cast<std::uint32_t>(i * (n + 1) + j),
                                      inside ? 1.0f - u : u, v);
        }
    }
}

}  // namespace

void GetASphere(rm::MeshBuilder* mb, float radius, int longitude, int latitude) {
    BuildSphere(mb, radius, longitude, latitude, false);
}

void GetASphere(rm::RetainedMode* rm, rm::MeshBuilder* mb, float radius, int longitude,
                int latitude, bool white) {
    auto build = [](rm::MeshBuilder* unit, int a, int b) { GetASphere(unit, 1, a, b); };
    const std::uint64_t key = UnitKey(kUnitSphere, longitude, latitude, false, false, false);
    if (!ShowUnit(rm, mb, key, glm::vec3(radius), longitude, latitude, Around::Sphere, white,
                  build))
        GetASphere(mb, radius, longitude, latitude);
}

void GetABackgroundSphere(rm::MeshBuilder* mb, float radius, int longitude, int latitude) {
    BuildSphere(mb, radius, longitude, latitude, true);
}

void GetACone(rm::MeshBuilder* mb, float r, float h, int n, bool side, bool bottom) {
    if (!Ready(mb) || n < 1) return;
    double dTheta = kTurn / n;
    auto un = static_cast<std::uint32_t>(n);
    std::vector<glm::vec3> normals;
    for (int i = 0; i < n; ++i) {
        double a = dTheta / 2 + i * dTheta;
        normals.push_back(glm::normalize(glm::vec3(F(h * std::cos(a)), r, F(h * std::sin(a)))));
    }
    normals.emplace_back(0.0f, -1.0f, 0.0f);
    std::vector<glm::vec3> vertices;
    for (int i = 0; i <= n; ++i) vertices.emplace_back(0.0f, h / 2, 0.0f);
    for (int ring = 0; ring < 2; ++ring)
        for (int i = 0; i <= n; ++i)
            vertices.emplace_back(F(r * std::cos(i * dTheta)), -h / 2, F(r * std::sin(i * dTheta)));
    vertices.emplace_back(0.0f, -h / 2, 0.0f);
    Faces faces;
    for (std::uint32_t i = 0; bottom && i < un; ++i)
        faces.Add({3 * un + 3, 2 * un + 2 + i, 2 * un + 3 + i}, un);
    for (std::uint32_t i = 0; side && i < un; ++i) faces.Add({i, i + 1, un + 2 + i, un + 1 + i}, i);
    std::uint32_t base = static_cast<std::uint32_t>(mb->GetVertexCount());
    AddFacesAndColor(mb, vertices, normals, faces, "Failed to add faces when GetACone.",
                     "Failed to SetColorRGB when GetACone.");
    for (std::uint32_t i = 0; i <= un; ++i) {
        float u = 1.0f - static_cast<float>(i) / n;
        double a = dTheta / 2 + i * dTheta;
        mb->SetTextureCoordinates(base + i, u, 0);
        mb->SetTextureCoordinates(base + un + 1 + i, u, 1);
        mb->SetTextureCoordinates(base + 2 * un + 2 + i, F(1 - (std::cos(a) + 1) / 2),
                                  F((std::sin(a) + 1) / 2));
    }
    mb->SetTextureCoordinates(base + 3 * un + 3, 0.5f, 0.5f);
}

void GetACone(rm::RetainedMode* rm, rm::MeshBuilder* mb, float r, float h, int n, bool side,
              bool bottom, bool white) {
    // A slanted unit normal scaled apart on its axes loses up to the ratio of the scales
    // in precision where the backend stores it in 10 bits: steep or flat cones are built
    // at their own size.
    constexpr float kMaxStretch = 4.0f;
    auto build = [&](rm::MeshBuilder* unit, int a, int) { GetACone(unit, 1, 1, a, side, bottom); };
    const bool shaped = std::max(r, h) <= kMaxStretch * std::min(r, h);
    if (!shaped || !ShowUnit(rm, mb, UnitKey(kUnitCone, n, 1, side, bottom, false), {r, h, r}, n, 1,
                             Around::Circle, white, build))
        GetACone(mb, r, h, n, side, bottom);
}

namespace {

void BuildCylinder(rm::RetainedMode& rm, rm::MeshBuilder* mb, float r, float h, int n, bool side,
                   bool top, bool bottom) {
    if (!Ready(mb) || n < 1) return;
    double dTheta = kTurn / n;
    auto un = static_cast<std::uint32_t>(n);
    std::vector<glm::vec3> normals;
    for (int i = 0; i < n; ++i) {
        double a = dTheta / 2 + i * dTheta;
        normals.emplace_back(F(std::cos(a)), 0.0f, F(std::sin(a)));
    }
    normals.emplace_back(0.0f, -1.0f, 0.0f);
    normals.emplace_back(0.0f, 1.0f, 0.0f);
    std::vector<glm::vec3> vertices;
    for (float y : {h / 2, -h / 2, h / 2, -h / 2})
        for (int i = 0; i < n; ++i)
            vertices.emplace_back(F(r * std::cos(i * dTheta)), y, F(r * std::sin(i * dTheta)));
    vertices.emplace_back(0.0f, h / 2, 0.0f);
    vertices.emplace_back(0.0f, -h / 2, 0.0f);
    Faces faces;
    for (std::uint32_t i = 0; i < un; ++i) {
        std::uint32_t k = (i + 1) % un;
        if (top) faces.Add({4 * un, k, i}, un + 1);
        if (bottom) faces.Add({4 * un + 1, un + i, un + k}, un);
    }
    for (std::uint32_t i = 0; side && i < un; ++i) {
        std::uint32_t k = (i + 1) % un;
        faces.Add({2 * un + i, 2 * un + k, 3 * un + k, 3 * un + i}, i);
    }
    std::uint32_t base = static_cast<std::uint32_t>(mb->GetVertexCount());
    AddFacesAndColor(mb, vertices, normals, faces, "Failed to add faces when GetACylinder.",
                     "Failed to SetColorRGB when GetACylinder.");
    MakeWrap(rm, mb);
    for (std::uint32_t i = 0; i < un; ++i) {
        double a = dTheta / 2 + i * dTheta;
        float u = F((std::cos(a) + 1) / 2), v = F((std::sin(a) + 1) / 2);
        mb->SetTextureCoordinates(base + i, u, v);
        mb->SetTextureCoordinates(base + 2 * un - 1 - i, u, v);
    }
    mb->SetTextureCoordinates(base + 4 * un, 0.5f, 0.5f);
    mb->SetTextureCoordinates(base + 4 * un + 1, 0.5f, 0.5f);
}

}  // namespace

void GetACylinder(rm::RetainedMode& rm, rm::MeshBuilder* mb, float r, float h, int n, bool side,
                  bool top, bool bottom, bool white) {
    auto build = [&](rm::MeshBuilder* unit, int a, int) {
        BuildCylinder(rm, unit, 1, 1, a, side, top, bottom);
    };
    if (!ShowUnit(&rm, mb, UnitKey(kUnitCylinder, n, 1, side, top, bottom), {r, h, r}, n, 1,
                  Around::Circle, white, build))
        BuildCylinder(rm, mb, r, h, n, side, top, bottom);
}

void GetASelectionBox(rm::RetainedMode& rm, rm::Frame* frame, const rm::Box& box) {
    if (frame == nullptr) return;
    glm::vec3 half = (box.max - box.min) / 2.0f;
    rm::Ptr<rm::MeshBuilder> outline;
    if (rm::Failed(rm.CreateMeshBuilder(outline.Put()))) return;
    GetABoxFromCorners(outline.Get(), box);
    outline->SetQuality(rm::kRenderWireframe);
    frame->AddVisual(outline.Get());
    for (int corner = 0; corner < 8; ++corner) {
        rm::Ptr<rm::MeshBuilder> knob;
        if (rm::Failed(rm.CreateMeshBuilder(knob.Put()))) return;
        GetABox(knob.Get(), 0.1f, 0.1f, 0.1f);
        knob->SetColorRGB(0.5f, 1.0f, 0.5f);
        knob->Translate(corner & 1 ? half.x : -half.x, corner & 2 ? half.y : -half.y,
                        corner & 4 ? half.z : -half.z);
        frame->AddVisual(knob.Get());
    }
}

void MakeWarpFlat(rm::RetainedMode& rm, rm::MeshBuilder* mb) {
    if (!Ready(mb)) return;
    rm::Box box;
    if (!BoxOf(mb, box)) return;
    rm::WrapParams p;
    p.type = rm::WrapType::Flat;
    p.origin = {0, 0, 0};
    p.direction = {0, 0, -1};
    p.up = {0, -1, 0};
    p.ou = 0.5f;
    p.ov = 0.5f;
    p.su = InverseExtent(box.max.x - box.min.x);
    p.sv = InverseExtent(box.max.y - box.min.y);
    ApplyWrap(rm, mb, p, "Failed to create warp when MakeWarp.",
              "Failed to apply warp when MakeWarp.");
}

void MakeWarpSpherical(rm::RetainedMode& rm, rm::MeshBuilder* mb) {
    if (!Ready(mb)) return;
    rm::WrapParams p;
    p.type = rm::WrapType::Sphere;
    p.origin = {0, 0, 0};
    p.direction = {0, 1, 0};
    p.up = {0, 0, -1};
    p.ou = 0;
    p.ov = 0;
    p.su = -1;
    p.sv = 1;
    ApplyWrap(rm, mb, p, "Failed to create warp when MakeWarp.",
              "Failed to apply warp when MakeWarp.");
}

void MakeWrap(rm::RetainedMode& rm, rm::MeshBuilder* mb) {
    if (!Ready(mb)) return;
    rm::Box box;
    if (!BoxOf(mb, box)) return;
    rm::WrapParams p;
    p.type = rm::WrapType::Cylinder;
    p.origin = {0, box.min.y, 0};
    p.direction = {0, -1, 0};
    p.up = {0, 0, 1};
    p.ou = 0;
    p.ov = 0;
    p.su = 1;
    p.sv = InverseExtent(box.max.y - box.min.y);
    ApplyWrap(rm, mb, p, "Failed to create wrap when MakeWrap.",
              "Failed to apply warp when MakeWrap.");
}

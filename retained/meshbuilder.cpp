#include "retained/meshbuilder.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace rm {

MeshBuilder::MeshBuilder() : data_(std::make_shared<MeshData>()) {}
MeshBuilder::~MeshBuilder() = default;

namespace {

// Multiplies positions by s; normals turn the other way (divided by s, renormalised).
void ScaleData(MeshData& d, glm::vec3 s) {
    for (glm::vec3& p : d.vertices) p *= s;
    for (glm::vec3& n : d.normals) {
        const glm::vec3 m = n / s;
        const float len = glm::length(m);
        n = len > 0.0f ? m / len : m;
    }
}

}  // namespace

MeshData& MeshBuilder::Edit() {
    // New references to data_ are only made under the scene lock, which the caller holds,
    // so a count of one means nobody else can be reading it.
    if (data_.use_count() > 1) data_ = std::make_shared<MeshData>(*data_);
    if (scale_ != glm::vec3(1.0f)) {
        ScaleData(*data_, scale_);
        scale_ = glm::vec3(1.0f);
    }
    data_->coarser.clear();  // they show the geometry as it was
    ++version_;
    return *data_;
}

Result MeshBuilder::AddCoarser(float belowPixels, const MeshBuilder& coarser) {
    if (!(belowPixels > 0.0f) || &coarser == this || coarser.data_->faces.empty())
        return kInvalidArg;
    if (data_.use_count() > 1) data_ = std::make_shared<MeshData>(*data_);
    auto& list = data_->coarser;
    auto at = list.begin();
    while (at != list.end() && at->belowPixels > belowPixels) ++at;
    list.insert(at, {belowPixels, coarser.Data()});
    ++version_;
    return kOk;
}

std::shared_ptr<const MeshData> MeshBuilder::Data() const {
    if (scale_ == glm::vec3(1.0f)) return data_;
    auto copy = std::make_shared<MeshData>(*data_);
    ScaleData(*copy, scale_);
    copy->coarser.clear();  // they are at the unscaled size
    return copy;
}

Result MeshBuilder::ShowScaled(const MeshBuilder& unit, glm::vec3 scale) {
    for (int k = 0; k < 3; ++k)
        if (!std::isfinite(scale[k]) || !(scale[k] > 0.0f)) return kInvalidArg;
    if (&unit == this) return kInvalidArg;
    data_ = unit.data_;
    scale_ = unit.scale_ * scale;
    ++version_;
    return kOk;
}

Result MeshBuilder::AddFaces(std::span<const glm::vec3> vertices,
                             std::span<const glm::vec3> normals,
                             std::span<const std::uint32_t> faceData) {
    if (!Takes(Primitive::Polygons)) return kInvalidArg;
    const bool withNormals = !normals.empty();
    const std::size_t step = withNormals ? 2 : 1;
    // Check everything first, so a bad face adds nothing.
    std::size_t pos = 0, faceCount = 0, cornerCount = 0;
    while (pos < faceData.size() && faceData[pos] != 0) {
        const std::size_t n = faceData[pos++];
        if (n > (faceData.size() - pos) / step) return kInvalidArg;
        for (std::size_t k = 0; k < n; ++k, pos += step) {
            if (faceData[pos] >= vertices.size()) return kInvalidArg;
            if (withNormals && faceData[pos + 1] >= normals.size()) return kInvalidArg;
        }
        ++faceCount;
        cornerCount += n;
    }
    MeshData& d = Edit();
    const auto v0 = static_cast<std::uint32_t>(d.vertices.size());
    const auto n0 = static_cast<std::int32_t>(d.normals.size());
    d.vertices.insert(d.vertices.end(), vertices.begin(), vertices.end());
    d.texCoords.resize(d.vertices.size(), glm::vec2(0.0f));
    d.normals.insert(d.normals.end(), normals.begin(), normals.end());
    d.faces.reserve(d.faces.size() + faceCount);
    d.cornerVertex.reserve(d.cornerVertex.size() + cornerCount);
    d.cornerNormal.reserve(d.cornerNormal.size() + cornerCount);
    pos = 0;
    while (pos < faceData.size() && faceData[pos] != 0) {
        const std::uint32_t n = faceData[pos++];
        d.faces.push_back(
            {static_cast<std::uint32_t>(d.cornerVertex.size()), n, false, false, false, d.color});
        for (std::uint32_t k = 0; k < n; ++k, pos += step) {
            d.cornerVertex.push_back(v0 + faceData[pos]);
            d.cornerNormal.push_back(withNormals ? n0 + static_cast<std::int32_t>(faceData[pos + 1])
                                                 : kNoNormal);
        }
    }
    KeepCornerListsInStep(d);
    return kOk;
}

Result MeshBuilder::AddFace(const Face* face) {
    if (!face || !Takes(Primitive::Polygons)) return kInvalidArg;
    MeshData& d = Edit();
    const auto v0 = static_cast<std::uint32_t>(d.vertices.size());
    const auto n = static_cast<std::uint32_t>(face->vertices_.size());
    d.vertices.insert(d.vertices.end(), face->vertices_.begin(), face->vertices_.end());
    d.texCoords.resize(d.vertices.size(), glm::vec2(0.0f));
    d.faces.push_back({static_cast<std::uint32_t>(d.cornerVertex.size()), n, face->hasColor_, false,
                       false, face->hasColor_ ? face->color_ : d.color});
    for (std::uint32_t k = 0; k < n; ++k) {
        d.cornerVertex.push_back(v0 + k);
        d.cornerNormal.push_back(kNoNormal);
    }
    KeepCornerListsInStep(d);
    return kOk;
}

Result MeshBuilder::AddPolygons(PolygonMesh&& m) {
    return Add(std::move(m), Primitive::Polygons);
}
Result MeshBuilder::AddPolylines(PolygonMesh&& m) {
    return Add(std::move(m), Primitive::Polylines);
}
Result MeshBuilder::AddPoints(PolygonMesh&& m) {
    return Add(std::move(m), Primitive::Points);
}

Result MeshBuilder::Add(PolygonMesh&& m, Primitive primitive) {
    if (!Takes(primitive)) return kInvalidArg;
    const std::size_t vertexCount = m.vertices.size(), cornerCount = m.cornerVertex.size();
    auto fits = [cornerCount](std::size_t n) { return n == 0 || n == cornerCount; };
    if (!m.texCoords.empty() && m.texCoords.size() != vertexCount) return kInvalidArg;
    if (!fits(m.cornerNormal.size()) || !fits(m.cornerColor.size()) ||
        !fits(m.cornerTexCoord.size()))
        return kInvalidArg;
    std::size_t sum = 0;
    for (std::uint32_t n : m.polygonSizes) {
        if (n == 0) return kInvalidArg;
        sum += n;
    }
    if (sum != cornerCount) return kInvalidArg;
    for (std::uint32_t v : m.cornerVertex)
        if (v >= vertexCount) return kInvalidArg;
    for (std::int32_t n : m.cornerNormal)
        if (n != kNoNormal && (n < 0 || static_cast<std::size_t>(n) >= m.normals.size()))
            return kInvalidArg;

    MeshData& d = Edit();
    d.primitive = primitive;
    const auto v0 = static_cast<std::uint32_t>(d.vertices.size());
    const auto n0 = static_cast<std::int32_t>(d.normals.size());
    const auto c0 = static_cast<std::uint32_t>(d.cornerVertex.size());
    if (m.texCoords.empty()) m.texCoords.resize(vertexCount, glm::vec2(0.0f));
    if (m.cornerNormal.empty()) m.cornerNormal.assign(cornerCount, kNoNormal);
    // Appends `from` to `to`, taking the list over when `to` is empty.
    auto append = [](auto& to, auto& from) {
        if (to.empty())
            to = std::move(from);
        else
            to.insert(to.end(), from.begin(), from.end());
    };
    if (v0 != 0)
        for (std::uint32_t& v : m.cornerVertex) v += v0;
    if (n0 != 0)
        for (std::int32_t& n : m.cornerNormal)
            if (n != kNoNormal) n += n0;
    append(d.vertices, m.vertices);
    append(d.texCoords, m.texCoords);
    append(d.normals, m.normals);
    append(d.cornerVertex, m.cornerVertex);
    append(d.cornerNormal, m.cornerNormal);
    const bool colors = !m.cornerColor.empty(), texCoords = !m.cornerTexCoord.empty();
    if (colors) {
        d.cornerColor.resize(c0, glm::vec3(1.0f));
        append(d.cornerColor, m.cornerColor);
    }
    if (texCoords) {
        d.cornerTexCoord.resize(c0, glm::vec2(0.0f));
        append(d.cornerTexCoord, m.cornerTexCoord);
    }
    d.faces.reserve(d.faces.size() + m.polygonSizes.size());
    std::uint32_t first = c0;
    for (std::uint32_t n : m.polygonSizes) {
        d.faces.push_back({first, n, false, colors, texCoords, d.color});
        first += n;
    }
    KeepCornerListsInStep(d);
    return kOk;
}

void MeshBuilder::KeepCornerListsInStep(MeshData& d) {
    if (!d.cornerColor.empty()) d.cornerColor.resize(d.cornerVertex.size(), glm::vec3(1.0f));
    if (!d.cornerTexCoord.empty()) d.cornerTexCoord.resize(d.cornerVertex.size(), glm::vec2(0.0f));
}

void MeshBuilder::SetColorRGB(float r, float g, float b) {
    // The colour it has already changes nothing: shared data stays shared (a shape
    // without a Material showing a white unit mesh).
    const glm::vec3 c(r, g, b);
    if (data_->color == c &&
        std::all_of(data_->faces.begin(), data_->faces.end(),
                    [&](const MeshFace& f) { return !f.hasColor && f.color == c; }))
        return;
    MeshData& d = Edit();
    d.color = {r, g, b};
    for (MeshFace& f : d.faces) {
        f.hasColor = false;
        f.color = d.color;
    }
}

void MeshBuilder::SetMaterial(Material* material) {
    material_ = Ptr<Material>(material);
}
void MeshBuilder::SetTexture(Texture* texture) {
    texture_ = Ptr<Texture>(texture);
}

Result MeshBuilder::SetTextureCoordinates(std::uint32_t vertex, float u, float v) {
    if (vertex >= data_->vertices.size()) return kInvalidArg;
    Edit().texCoords[vertex] = {u, v};
    return kOk;
}

Result MeshBuilder::GetTextureCoordinates(std::uint32_t vertex, float* u, float* v) const {
    if (vertex >= data_->vertices.size() || !u || !v) return kInvalidArg;
    *u = data_->texCoords[vertex].x;
    *v = data_->texCoords[vertex].y;
    return kOk;
}

void MeshBuilder::TransformTextureCoordinates(const glm::mat3& m) {
    MeshData& d = Edit();
    for (glm::vec2& t : d.texCoords) t = glm::vec2(m * glm::vec3(t, 1.0f));
    for (glm::vec2& t : d.cornerTexCoord) t = glm::vec2(m * glm::vec3(t, 1.0f));
}

Result MeshBuilder::SetVertex(std::uint32_t vertex, glm::vec3 position) {
    if (vertex >= data_->vertices.size()) return kInvalidArg;
    Edit().vertices[vertex] = position;
    return kOk;
}

Result MeshBuilder::Scale(float sx, float sy, float sz) {
    if (sx == 0.0f || sy == 0.0f || sz == 0.0f) return kInvalidArg;
    ScaleData(Edit(), glm::vec3(sx, sy, sz));
    return kOk;
}

void MeshBuilder::Translate(float tx, float ty, float tz) {
    MeshData& d = Edit();
    for (glm::vec3& p : d.vertices) p += glm::vec3(tx, ty, tz);
}

Result MeshBuilder::GetBox(Box* box) const {
    if (!box) return kInvalidArg;
    if (data_->vertices.empty()) return kEmpty;
    Box b{glm::vec3(std::numeric_limits<float>::max()),
          glm::vec3(-std::numeric_limits<float>::max())};
    for (const glm::vec3& p : data_->vertices) {
        b.min = glm::min(b.min, p);
        b.max = glm::max(b.max, p);
    }
    // scale_ is positive on every axis, so the corners stay the corners.
    *box = {b.min * scale_, b.max * scale_};
    return kOk;
}

void MeshBuilder::Empty() {
    if (data_.use_count() > 1 || scale_ != glm::vec3(1.0f)) {
        // Shared data is left as it is rather than copied only to be cleared.
        auto fresh = std::make_shared<MeshData>();
        fresh->color = data_->color;
        data_ = std::move(fresh);
        scale_ = glm::vec3(1.0f);
        ++version_;
        return;
    }
    MeshData& d = Edit();
    d.vertices.clear();
    d.texCoords.clear();
    d.normals.clear();
    d.cornerVertex.clear();
    d.cornerNormal.clear();
    d.cornerColor.clear();
    d.cornerTexCoord.clear();
    d.faces.clear();
    d.primitive = Primitive::Polygons;
}

}  // namespace rm

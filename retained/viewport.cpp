#include "retained/viewport.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <utility>

#include <glm/gtc/matrix_transform.hpp>

#include "retained/draw_mesh.h"

namespace rm {

namespace {

glm::vec3 Finite(glm::vec3 v) {
    for (int i = 0; i < 3; ++i)
        if (!std::isfinite(v[i])) v[i] = 0.0f;
    return v;
}

MaterialSnapshot SnapshotMaterial(const MeshBuilder& mesh) {
    MaterialSnapshot m;
    m.reflectance = Finite(mesh.GetColor());
    if (const Material* mat = mesh.GetMaterial()) {
        if (auto ambient = mat->GetAmbient(); ambient && !mesh.HasCornerColors()) {
            m.useVertexColor = false;
            m.reflectance = Finite(*ambient);
        }
        m.emissive = Finite(mat->GetEmissive());
        m.specular = Finite(mat->GetSpecular());
        m.power = Material::SanitizedPower(mat->GetPower());
        const float a = mat->GetAmbientIntensity(), t = mat->GetTransparency();
        m.ambientIntensity = std::isfinite(a) ? std::clamp(a, 0.0f, 1.0f) : 0.0f;
        m.alpha = std::isfinite(t) ? 1.0f - std::clamp(t, 0.0f, 1.0f) : 1.0f;
    }
    // Lines and points are not lit: their colours are the corners' given ones, else the
    // material's emissive colour, else the meshbuilder colour.
    if (mesh.GetPrimitive() != Primitive::Polygons) {
        const Material* mat = mesh.GetMaterial();
        m.useVertexColor = mesh.HasCornerColors() || mat == nullptr;
        if (!m.useVertexColor) m.reflectance = m.emissive;
    }
    return m;
}

std::shared_ptr<const BackdropSnapshot> SnapshotBackdrop(const Backdrop& b) {
    auto s = std::make_shared<BackdropSnapshot>();
    s->sky = b.sky;
    s->ground = b.ground;
    for (Gradient* g : {&s->sky, &s->ground})
        for (glm::vec3& c : g->colors) c = Finite(c);
    for (std::size_t k = 0; k < b.faces.size(); ++k)
        if (const Texture* t = b.faces[k].Get()) {
            s->textureIds[k] = t->Id();
            s->textures[k] = t->Image();
        }
    s->fromWorld = glm::transpose(b.orientation);
    return s;
}

// Asks for the cache lines of an object ahead of use.
template <class T>
void Prefetch(const T* object) {
    const char* p = reinterpret_cast<const char*>(object);
    for (std::size_t at = 0; at < sizeof(T); at += 64) __builtin_prefetch(p + at);
}

// Frames, their lists and their meshbuilders lie apart in memory, each found through the
// one before: walking siblings, the frame three ahead is fetched, the lists of the one
// two ahead (fetched a step ago) and the meshbuilders of the next (whose list is in).
void PrefetchAhead(const std::vector<Ptr<Frame>>& siblings, std::size_t i) {
    const std::size_t n = siblings.size();
    if (i + 3 < n) Prefetch(siblings[i + 3].Get());
    if (i + 2 < n) {
        const Frame& f = *siblings[i + 2];
        if (!f.Visuals().empty()) __builtin_prefetch(f.Visuals().data());
        if (!f.Children().empty()) __builtin_prefetch(f.Children().data());
    }
    if (i + 1 < n) {
        const std::vector<Ptr<MeshBuilder>>& visuals = siblings[i + 1]->Visuals();
        for (std::size_t k = 0; k < visuals.size() && k < 4; ++k) Prefetch(visuals[k].Get());
    }
}

// Walks the frames below `frame`, calling visit(frame, world transform, path).
template <class Visit>
void Walk(const Frame* frame, const glm::mat4& world, std::vector<const Frame*>& path,
          Visit&& visit) {
    path.push_back(frame);
    visit(*frame, world, path);
    for (const Ptr<Frame>& child : frame->Children())
        Walk(child.Get(), world * child->GetLocalTransform(), path, visit);
    path.pop_back();
}

// As above, with the depth of each frame below `frame` (0 for `frame`) for its path. A
// child with neither children nor lights of its own goes to leaf(child, world, depth)
// instead: most frames are such leaves, and they need none of the walk's bookkeeping.
template <class Visit, class Leaf>
void Walk(const Frame* frame, const glm::mat4& world, std::size_t depth, Visit&& visit,
          Leaf&& leaf) {
    visit(*frame, world, depth);
    const std::vector<Ptr<Frame>>& children = frame->Children();
    if (children.empty()) return;
    // Under an untransformed frame (most often the scene's root) each child's world
    // transform is its own: the product would give the same values.
    const bool identity = world == glm::mat4(1.0f);
    glm::mat4 product;
    for (std::size_t i = 0; i < children.size(); ++i) {
        PrefetchAhead(children, i);
        const Frame& child = *children[i];
        const glm::mat4* childWorld = &child.GetLocalTransform();
        if (!identity) childWorld = &(product = world * *childWorld);
        if (child.Children().empty() && child.Lights().empty())
            leaf(child, *childWorld, depth + 1);
        else
            Walk(&child, *childWorld, depth + 1, visit, leaf);
    }
}

// Ray/triangle intersection; the ray parameter of the hit, or −1. `side` 0 takes both
// sides of the triangle; 1 only the one its corners a, b, c run counter-clockwise on
// (seen from where the ray starts), −1 only the other.
float Intersect(glm::vec3 o, glm::vec3 d, glm::vec3 a, glm::vec3 b, glm::vec3 c, int side) {
    const glm::vec3 e1 = b - a, e2 = c - a, pv = glm::cross(d, e2);
    const float det = glm::dot(e1, pv);
    if (std::abs(det) < 1e-12f || det * static_cast<float>(side) < 0.0f) return -1.0f;
    const float inv = 1.0f / det;
    const glm::vec3 tv = o - a;
    const float u = glm::dot(tv, pv) * inv;
    if (u < 0.0f || u > 1.0f) return -1.0f;
    const glm::vec3 qv = glm::cross(tv, e1);
    const float v = glm::dot(d, qv) * inv;
    if (v < 0.0f || u + v > 1.0f) return -1.0f;
    return glm::dot(e2, qv) * inv;
}

// Whether the ray can meet the box `local` of a visual placed by `world`: the
// ray is taken into the visual's coordinates and tested against the box's
// slabs. True when the placement cannot be inverted (nothing is ruled out).
bool MayHitBox(glm::vec3 o, glm::vec3 d, const glm::mat4& world, const Box& local) {
    if (local.Empty()) return false;
    const float det = glm::determinant(world);
    if (!std::isfinite(det) || std::abs(det) < 1e-30f) return true;
    const glm::mat4 toLocal = glm::inverse(world);
    const glm::vec3 lo = glm::vec3(toLocal * glm::vec4(o, 1.0f));
    const glm::vec3 ld = glm::vec3(toLocal * glm::vec4(d, 0.0f));
    // A margin for rounding: flat boxes (a quad) have no thickness.
    const glm::vec3 pad = 1e-4f * (local.max - local.min) + glm::vec3(1e-6f);
    float near = -std::numeric_limits<float>::infinity();
    float far = std::numeric_limits<float>::infinity();
    for (int k = 0; k < 3; ++k) {
        const float a = local.min[k] - pad[k], b = local.max[k] + pad[k];
        if (ld[k] == 0.0f) {
            if (lo[k] < a || lo[k] > b) return false;
            continue;
        }
        float t0 = (a - lo[k]) / ld[k], t1 = (b - lo[k]) / ld[k];
        if (t0 > t1) std::swap(t0, t1);
        near = std::max(near, t0);
        far = std::min(far, t1);
        if (near > far) return false;
    }
    return far >= 0.0f;
}

}  // namespace

Viewport::Viewport(Device* device, Frame* camera, int x, int y, int w, int h)
    : device_(device), camera_(camera), x_(x), y_(y), width_(w), height_(h) {}
Viewport::~Viewport() = default;

Result Viewport::SetField(float field) {
    if (!std::isfinite(field) || field <= 0.0f) return kInvalidArg;
    field_ = field;
    return kOk;
}

Result Viewport::SetFront(float front) {
    if (!std::isfinite(front) || front <= 0.0f || front >= back_) return kInvalidArg;
    front_ = front;
    return kOk;
}

Result Viewport::SetBack(float back) {
    if (!std::isfinite(back) || back <= front_) return kInvalidArg;
    back_ = back;
    return kOk;
}

glm::vec2 Viewport::HalfExtent() const {
    const float w = static_cast<float>(width_), h = static_cast<float>(height_);
    return w >= h ? glm::vec2(field_, field_ * h / w) : glm::vec2(field_ * w / h, field_);
}

glm::mat4 Viewport::Projection() const {
    const glm::vec2 e = HalfExtent() * front_;
    return glm::frustum(-e.x, e.x, -e.y, e.y, front_, back_);
}

ViewportSnapshot Viewport::Base() const {
    ViewportSnapshot s;
    s.viewportId = Id();
    s.x = x_;
    s.y = y_;
    s.width = width_;
    s.height = height_;
    s.clearColor = Finite(camera_->GetScene()->GetSceneBackground());
    const glm::mat4 cam = camera_->GetWorldTransform();
    s.view = glm::inverse(cam);
    s.projection = Projection();
    s.cameraPosition = glm::vec3(cam[3]);
    s.fog = camera_->GetScene()->GetSceneFog();
    if (!std::isfinite(s.fog.visibilityRange) || !s.fog.On()) s.fog = Fog{};
    s.fog.color = Finite(s.fog.color);
    return s;
}

Result Viewport::Clear() {
    ViewportSnapshot s = Base();
    s.clear = true;
    if (const auto& backdrop = camera_->GetScene()->GetSceneBackdrop())
        s.backdrop = SnapshotBackdrop(*backdrop);
    device_->Record(std::move(s));
    return kOk;
}

Result Viewport::Render(Frame* scene) {
    if (!scene || scene->GetScene() != camera_->GetScene()) return kInvalidArg;
    ViewportSnapshot s = Base();
    // The list of a frame the backend is done with, written over record by record;
    // `used` counts the records of this frame. As many visuals as last time, most
    // likely: room for them at once spares the copies of a growing list.
    s.visuals = device_->TakeSpareVisuals();
    s.visuals.reserve(lastVisuals_);
    std::size_t used = 0;
    const Quality deviceQuality = device_->GetQuality();
    const std::uint64_t edits = Material::Edits();  // no material changes while recording
    // A scoped light reaches the visuals under its frame's parent: masks[k] holds the bits
    // of the scoped lights met so far that reach the frame at depth k, first[k] the first
    // visual recorded under it (a light may come after visuals of its own group).
    std::vector<std::uint32_t> masks;
    std::vector<std::size_t> first;
    // Records the visuals of frame f, placed by `world`, reached by the scoped lights of
    // `mask`. Inlined where it is used: a call per frame costs as much as the record.
    auto record = [&](const Frame& f, const glm::mat4& world, std::uint32_t mask)
        __attribute__((always_inline)) {
        for (const Ptr<MeshBuilder>& m : f.Visuals()) {
            const MeshBuilder& mb = *m;
            // The material's values, the quality, the texture and the solidity, made
            // again only when one of them, the meshbuilder or a quality changed
            // since the last frame.
            if (!mb.look_) mb.look_ = std::make_unique<MeshBuilder::Look>();
            MeshBuilder::Look& look = *mb.look_;
            const Material* material = mb.GetMaterial();
            const Texture* t = mb.GetTexture();
            const std::uint64_t textureId = t != nullptr ? t->Id() : 0;
            if (look.made == 0 || look.version != mb.GetVersion() || look.material != material ||
                look.materialEdits != edits || look.textureId != textureId ||
                look.meshQuality != mb.GetQuality() || look.deviceQuality != deviceQuality ||
                look.solid != mb.IsSolid()) {
                ++look.made;
                look.version = mb.GetVersion();
                look.material = material;
                look.materialEdits = edits;
                look.textureId = textureId;
                look.meshQuality = mb.GetQuality();
                look.deviceQuality = deviceQuality;
                look.solid = mb.IsSolid();
                look.hasFaces = mb.GetFaceCount() != 0;
                look.values = SnapshotMaterial(mb);
                look.quality = EffectiveQuality(deviceQuality, mb.GetQuality());
                if (mb.GetPrimitive() != Primitive::Polygons)
                    look.quality = (look.quality & ~kLightMask) | kLightOff;
            }
            if (!look.hasFaces) continue;
            VisualSnapshot& v =
                used < s.visuals.size() ? s.visuals[used] : s.visuals.emplace_back();
            ++used;
            // Shared unit data (MeshBuilder::ShowScaled) is drawn through its scale.
            const glm::vec3 scale = mb.UnitScale();
            v.world = scale == glm::vec3(1.0f) ? world : glm::scale(world, scale);
            v.lightMask = mask;
            // A texture's wrap may change without a new look.
            if (t != nullptr) {
                v.repeatU = t->RepeatsU();
                v.repeatV = t->RepeatsV();
            }
            // A record taken over from an earlier frame that holds this look of this
            // visual already has the rest; any other gets every member.
            if (v.meshId == mb.Id() && v.look == look.made) continue;
            v.meshId = mb.Id();
            v.look = look.made;
            v.meshVersion = mb.GetVersion();
            if (v.mesh != mb.data_) v.mesh = mb.data_;  // no count change for the same
            v.material = look.values;
            v.quality = look.quality;
            // Lines and points are drawn without their texture.
            const bool textured = t != nullptr && mb.GetPrimitive() == Primitive::Polygons;
            v.textureId = textured ? textureId : 0;
            if (!textured)
                v.texture.reset();
            else if (v.texture != t->Image())
                v.texture = t->Image();
            v.repeatU = t == nullptr || t->RepeatsU();
            v.repeatV = t == nullptr || t->RepeatsV();
            v.cullBack = look.solid;
        }
    };
    Walk(
        scene, scene->GetWorldTransform(), std::size_t{0},
        [&](const Frame& f, const glm::mat4& world, std::size_t depth) {
            if (masks.size() <= depth) {
                masks.resize(depth + 1);
                first.resize(depth + 1);
            }
            masks[depth] = depth > 0 ? masks[depth - 1] : 0u;
            first[depth] = used;
            for (const Ptr<Light>& l : f.Lights()) {
                LightSnapshot ls;
                ls.type = l->GetType();
                ls.color = Finite(l->GetColor());
                ls.ambient = Finite(l->GetAmbientColor());
                ls.position = glm::vec3(world[3]);
                const glm::vec3 d = glm::mat3(world) * glm::vec3(0, 0, -1);
                const float len = glm::length(d);
                ls.direction = len > 0.0f && std::isfinite(len) ? d / len : glm::vec3(0, 0, -1);
                // Distances in the light's frame are world distances over its scale.
                const float scale = len > 0.0f && std::isfinite(len) ? len : 1.0f;
                const glm::vec3 a = Finite(l->GetAttenuation());
                ls.attenuation = {a.x, a.y / scale, a.z / (scale * scale)};
                const float range = l->GetRange() * scale;
                ls.range = std::isnan(range) ? 0.0f : std::min(range, 3.0e38f);
                const float cut = l->GetCutOffAngle(), beam = l->GetBeamWidth();
                ls.cutOffAngle = std::isfinite(cut) ? std::clamp(cut, 0.0f, 1.570796f) : 0.0f;
                ls.beamWidth =
                    std::isfinite(beam) ? std::clamp(beam, 0.0f, ls.cutOffAngle) : ls.cutOffAngle;
                ls.scoped = l->IsScoped();
                if (ls.scoped && s.lights.size() < 32) {
                    const std::uint32_t bit = 1u << s.lights.size();
                    const std::size_t group = depth > 0 ? depth - 1 : 0;
                    for (std::size_t k = group; k <= depth; ++k) masks[k] |= bit;
                    for (std::size_t i = first[group]; i < used; ++i) s.visuals[i].lightMask |= bit;
                }
                s.lights.push_back(ls);
            }
            record(f, world, masks[depth]);
        },
        [&](const Frame& f, const glm::mat4& world, std::size_t depth)
            __attribute__((always_inline)) {
                record(f, world, masks[depth - 1]);  // no lights of its own: its parent's mask
            });
    s.visuals.resize(used);  // records of more visuals than this frame has go
    lastVisuals_ = used;
    device_->Record(std::move(s));
    return kOk;
}

Result Viewport::Pick(int x, int y, std::vector<PickHit>* hits) const {
    if (!hits) return kInvalidArg;
    hits->clear();
    if (x < x_ || y < y_ || x >= x_ + width_ || y >= y_ + height_) return kInvalidArg;
    const glm::vec2 e = HalfExtent();
    const float nx = 2.0f * (static_cast<float>(x - x_) + 0.5f) / static_cast<float>(width_) - 1.0f;
    const float ny =
        1.0f - 2.0f * (static_cast<float>(y - y_) + 0.5f) / static_cast<float>(height_);
    const glm::mat4 cam = camera_->GetWorldTransform();
    const glm::vec3 origin(cam[3]);
    const glm::vec3 dir = glm::mat3(cam) * glm::vec3(nx * e.x, ny * e.y, -1.0f);

    std::vector<const Frame*> path;
    Walk(camera_->GetScene(), camera_->GetScene()->GetLocalTransform(), path,
         [&](const Frame& f, const glm::mat4& world, const std::vector<const Frame*>& p) {
             for (const Ptr<MeshBuilder>& m : f.Visuals()) {
                 // Most visuals lie beside the ray: their box rules them out
                 // before their triangles are made.
                 Box box;
                 if (Succeeded(m->GetBox(&box)) && !MayHitBox(origin, dir, world, box)) continue;
                 const DrawMesh dm = BuildDrawMesh(*m->UnitData());
                 const glm::mat4 toWorld = glm::scale(world, m->UnitScale());
                 // A solid mesh is hit on its drawn side only, its front: counter-clockwise,
                 // or clockwise under a mirroring placement.
                 const int side = !m->IsSolid() ? 0 : Mirrors(toWorld) ? -1 : 1;
                 float best = -1.0f;
                 for (std::size_t i = 0; i + 2 < dm.triangles.size(); i += 3) {
                     auto at = [&](std::size_t k) {
                         return glm::vec3(toWorld *
                                          glm::vec4(dm.vertices[dm.triangles[i + k]].position, 1));
                     };
                     const float t = Intersect(origin, dir, at(0), at(1), at(2), side);
                     if (t >= front_ && t <= back_ && (best < 0.0f || t < best)) best = t;
                 }
                 if (best < 0.0f) continue;
                 PickHit hit;
                 hit.visual = Ptr<MeshBuilder>(m.Get());
                 for (const Frame* pf : p) hit.path.emplace_back(const_cast<Frame*>(pf));
                 hit.distance = best;
                 hit.position = origin + best * dir;
                 hits->push_back(std::move(hit));
             }
         });
    std::stable_sort(hits->begin(), hits->end(),
                     [](const PickHit& a, const PickHit& b) { return a.distance < b.distance; });
    return kOk;
}

}  // namespace rm

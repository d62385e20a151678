#include "retained/viewport.h"

#include <algorithm>
#include <cmath>

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
    }
    return m;
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

// Ray/triangle intersection (both sides); the ray parameter of the hit, or −1.
float Intersect(glm::vec3 o, glm::vec3 d, glm::vec3 a, glm::vec3 b, glm::vec3 c) {
    const glm::vec3 e1 = b - a, e2 = c - a, pv = glm::cross(d, e2);
    const float det = glm::dot(e1, pv);
    if (std::abs(det) < 1e-12f) return -1.0f;
    const float inv = 1.0f / det;
    const glm::vec3 tv = o - a;
    const float u = glm::dot(tv, pv) * inv;
    if (u < 0.0f || u > 1.0f) return -1.0f;
    const glm::vec3 qv = glm::cross(tv, e1);
    const float v = glm::dot(d, qv) * inv;
    if (v < 0.0f || u + v > 1.0f) return -1.0f;
    return glm::dot(e2, qv) * inv;
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
    return s;
}

Result Viewport::Clear() {
    ViewportSnapshot s = Base();
    s.clear = true;
    device_->Record(std::move(s));
    return kOk;
}

Result Viewport::Render(Frame* scene) {
    if (!scene || scene->GetScene() != camera_->GetScene()) return kInvalidArg;
    ViewportSnapshot s = Base();
    // As many visuals as last time, most likely: room for them at once spares the
    // copies of a growing list.
    s.visuals.reserve(lastVisuals_);
    const Quality deviceQuality = device_->GetQuality();
    std::vector<const Frame*> path;
    Walk(scene, scene->GetWorldTransform(), path,
         [&](const Frame& f, const glm::mat4& world, const std::vector<const Frame*>&) {
             for (const Ptr<Light>& l : f.Lights()) {
                 LightSnapshot ls;
                 ls.type = l->GetType();
                 ls.color = Finite(l->GetColor());
                 ls.position = glm::vec3(world[3]);
                 const glm::vec3 d = glm::mat3(world) * glm::vec3(0, 0, -1);
                 const float len = glm::length(d);
                 ls.direction = len > 0.0f && std::isfinite(len) ? d / len : glm::vec3(0, 0, -1);
                 s.lights.push_back(ls);
             }
             for (const Ptr<MeshBuilder>& m : f.Visuals()) {
                 if (m->GetFaceCount() == 0) continue;
                 VisualSnapshot v;
                 v.world = world;
                 v.meshId = m->Id();
                 v.meshVersion = m->GetVersion();
                 v.mesh = m->Data();
                 v.material = SnapshotMaterial(*m);
                 if (const Texture* t = m->GetTexture()) {
                     v.textureId = t->Id();
                     v.texture = t->Image();
                 }
                 v.quality = EffectiveQuality(deviceQuality, m->GetQuality());
                 v.cullBack = m->IsSolid();
                 s.visuals.push_back(std::move(v));
             }
         });
    lastVisuals_ = s.visuals.size();
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
                 const DrawMesh dm = BuildDrawMesh(*m->Data());
                 float best = -1.0f;
                 for (std::size_t i = 0; i + 2 < dm.triangles.size(); i += 3) {
                     auto at = [&](std::size_t k) {
                         return glm::vec3(world *
                                          glm::vec4(dm.vertices[dm.triangles[i + k]].position, 1));
                     };
                     const float t = Intersect(origin, dir, at(0), at(1), at(2));
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

#include "retained/frame.h"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdint>
#include <cstring>

#include <glm/gtc/matrix_transform.hpp>

namespace rm {

namespace {

// Frames that have a velocity or a spin, in every scene.
std::atomic<int> g_framesWithMotion{0};

template <class T>
Result RemoveFrom(std::vector<Ptr<T>>& list, T* item) {
    auto it =
        std::find_if(list.begin(), list.end(), [&](const Ptr<T>& p) { return p.Get() == item; });
    if (it == list.end()) return kNotFound;
    list.erase(it);
    return kOk;
}

bool Finite(const glm::mat4& m) {
    // A float is infinite or NaN when its exponent bits are all ones; adding one
    // to such an exponent carries into the top bit. One pass over the 16 words,
    // with no branch per element (animations place thousands of frames a step).
    static_assert(sizeof(glm::mat4) == 16 * sizeof(std::uint32_t));
    std::uint32_t words[16];
    std::memcpy(words, &m, sizeof words);
    std::uint32_t carried = 0;
    for (std::uint32_t w : words) carried |= (w & 0x7f800000u) + 0x00800000u;
    return (carried & 0x80000000u) == 0;
}

// The linear (rotation and scale) part of a transform, which carries directions.
glm::mat3 LinearPart(const glm::mat4& m) {
    return glm::mat3(m);
}

}  // namespace

Frame::~Frame() {
    if (HasMotion()) g_framesWithMotion.fetch_sub(1, std::memory_order_relaxed);
    for (Ptr<Frame>& child : children_) child->parent_ = nullptr;
}

void Frame::Combine(rm::Combine c, const glm::mat4& x) {
    switch (c) {
        case rm::Combine::Replace:
            local_ = x;
            break;
        case rm::Combine::Before:
            local_ = local_ * x;
            break;
        case rm::Combine::After:
            local_ = x * local_;
            break;
    }
}

Result Frame::AddTranslation(rm::Combine c, float x, float y, float z) {
    const glm::vec3 t(x, y, z);
    if (!std::isfinite(x) || !std::isfinite(y) || !std::isfinite(z)) return kInvalidArg;
    Combine(c, glm::translate(glm::mat4(1.0f), t));
    return kOk;
}

Result Frame::AddScale(rm::Combine c, float sx, float sy, float sz) {
    if (!std::isfinite(sx) || !std::isfinite(sy) || !std::isfinite(sz)) return kInvalidArg;
    Combine(c, glm::scale(glm::mat4(1.0f), glm::vec3(sx, sy, sz)));
    return kOk;
}

Result Frame::AddRotation(rm::Combine c, float ax, float ay, float az, float angle) {
    const glm::vec3 axis(ax, ay, az);
    if (!std::isfinite(angle) || !std::isfinite(ax) || !std::isfinite(ay) || !std::isfinite(az))
        return kInvalidArg;
    const float len = glm::length(axis);
    const glm::mat4 r =
        len > 0.0f ? glm::rotate(glm::mat4(1.0f), angle, axis / len) : glm::mat4(1.0f);
    Combine(c, r);
    return kOk;
}

Result Frame::AddTransform(rm::Combine c, const glm::mat4& m) {
    if (!Finite(m)) return kInvalidArg;
    Combine(c, m);
    return kOk;
}

glm::mat4 Frame::GetWorldTransform() const {
    glm::mat4 m = local_;
    for (const Frame* f = parent_; f; f = f->parent_) m = f->local_ * m;
    return m;
}

glm::mat4 Frame::ParentWorld() const {
    return parent_ ? parent_->GetWorldTransform() : glm::mat4(1.0f);
}

glm::mat4 Frame::GetTransform(const Frame* ref) const {
    const glm::mat4 world = GetWorldTransform();
    return ref ? glm::inverse(ref->GetWorldTransform()) * world : world;
}

Result Frame::SetPosition(const Frame* ref, float x, float y, float z) {
    if (!std::isfinite(x) || !std::isfinite(y) || !std::isfinite(z)) return kInvalidArg;
    const glm::vec4 world =
        (ref ? ref->GetWorldTransform() : glm::mat4(1.0f)) * glm::vec4(x, y, z, 1);
    const glm::vec4 inParent = glm::inverse(ParentWorld()) * world;
    local_[3] = glm::vec4(glm::vec3(inParent), 1.0f);
    return kOk;
}

glm::vec3 Frame::GetPosition(const Frame* ref) const {
    return glm::vec3(GetTransform(ref)[3]);
}

Result Frame::SetOrientation(const Frame* ref, glm::vec3 dir, glm::vec3 up) {
    const glm::mat3 refLinear = ref ? LinearPart(ref->GetWorldTransform()) : glm::mat3(1.0f);
    const glm::vec3 d = refLinear * dir, u = refLinear * up;
    const float dl = glm::length(d);
    if (!(dl > 0.0f) || !std::isfinite(dl)) return kInvalidArg;
    const glm::vec3 z = -d / dl;
    const glm::vec3 xRaw = glm::cross(u, z);
    const float xl = glm::length(xRaw);
    if (!(xl > 1e-12f) || !std::isfinite(xl)) return kInvalidArg;
    const glm::vec3 x = xRaw / xl;
    const glm::vec3 y = glm::cross(z, x);
    const glm::mat3 local = glm::inverse(LinearPart(ParentWorld())) * glm::mat3(x, y, z);
    const glm::vec4 t = local_[3];
    local_ = glm::mat4(local);
    local_[3] = t;
    return kOk;
}

void Frame::GetOrientation(const Frame* ref, glm::vec3* dir, glm::vec3* up) const {
    const glm::mat3 m = LinearPart(GetTransform(ref));
    if (dir) *dir = glm::normalize(m * glm::vec3(0, 0, -1));
    if (up) *up = glm::normalize(m * glm::vec3(0, 1, 0));
}

template <class Change>
void Frame::ChangeMotion(Change change) {
    const bool before = HasMotion();
    change();
    const bool after = HasMotion();
    if (before != after) g_framesWithMotion.fetch_add(after ? 1 : -1, std::memory_order_relaxed);
}

void Frame::SetVelocity(glm::vec3 velocity) {
    ChangeMotion([&] { velocity_ = velocity; });
}

void Frame::SetRotation(glm::vec3 axis, float rate) {
    ChangeMotion([&] {
        spinAxis_ = axis;
        spinRate_ = rate;
    });
}

void Frame::Move(float delta) {
    if (g_framesWithMotion.load(std::memory_order_relaxed) == 0) return;
    if (velocity_ != glm::vec3(0.0f))
        Combine(rm::Combine::After, glm::translate(glm::mat4(1.0f), velocity_ * delta));
    const float len = glm::length(spinAxis_);
    if (spinRate_ != 0.0f && len > 0.0f) {
        const glm::mat4 r = glm::rotate(glm::mat4(1.0f), spinRate_ * delta, spinAxis_ / len);
        const glm::vec4 t = local_[3];
        local_[3] = glm::vec4(0, 0, 0, 1);
        local_ = r * local_;
        local_[3] = t;
    }
    for (Ptr<Frame>& child : children_) child->Move(delta);
}

Frame* Frame::GetScene() {
    Frame* f = this;
    while (f->parent_) f = f->parent_;
    return f;
}

Result Frame::AddChild(Frame* child) {
    if (!child) return kInvalidArg;
    for (const Frame* f = this; f; f = f->parent_)
        if (f == child) return kInvalidArg;
    if (child->parent_ == this) return kOk;
    Ptr<Frame> keep(child);  // the old parent may hold the last reference
    if (child->parent_) RemoveFrom(child->parent_->children_, child);
    child->parent_ = this;
    children_.push_back(std::move(keep));
    return kOk;
}

Result Frame::DeleteChild(Frame* child) {
    if (!child || child->parent_ != this) return kNotFound;
    child->parent_ = nullptr;
    return RemoveFrom(children_, child);
}

Result Frame::AddVisual(MeshBuilder* visual) {
    if (!visual) return kInvalidArg;
    visuals_.emplace_back(visual);
    return kOk;
}

Result Frame::DeleteVisual(MeshBuilder* visual) {
    return RemoveFrom(visuals_, visual);
}

Result Frame::AddLight(Light* light) {
    if (!light) return kInvalidArg;
    for (const Ptr<Light>& l : lights_)
        if (l.Get() == light) return kOk;
    lights_.emplace_back(light);
    return kOk;
}

Result Frame::DeleteLight(Light* light) {
    return RemoveFrom(lights_, light);
}

}  // namespace rm

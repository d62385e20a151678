#include "rendermodule/translation_tables.h"

#include <algorithm>
#include <cmath>

#include <glm/gtc/quaternion.hpp>

#include "node/nodes.h"
#include "retained/retained_mode.h"

namespace {

glm::vec3 Vec(const SFVec3f& v) {
    return {v.GetX(), v.GetY(), v.GetZ()};
}

glm::vec4 Rot(const SFRotation& r) {
    return {r.GetX(), r.GetY(), r.GetZ(), r.GetAngle()};
}

}  // namespace

TransformFields FieldsOf(const Transform& node) {
    TransformFields f;
    f.translation = Vec(node.translation());
    f.rotation = Rot(node.rotation());
    f.scale = Vec(node.scale());
    f.scaleOrientation = Rot(node.scaleOrientation());
    f.center = Vec(node.center());
    return f;
}

TransformFields FieldsOf(const Viewpoint& node) {
    TransformFields f;
    f.translation = Vec(node.position());
    f.rotation = Rot(node.orientation());
    return f;
}

namespace {
template <class V>
bool Finite(const V& v) {
    for (int k = 0; k < v.length(); ++k)
        if (!std::isfinite(v[k])) return false;
    return true;
}
}  // namespace

FramePlacement PlacementOf(const TransformFields& f) {
    // Built as a linear part and an offset rather than through eight matrix
    // products: animation places thousands of frames a step. Steps that change
    // nothing (no centre, no turn, a scale of 1) are left out.
    FramePlacement p;
    glm::mat3& linear = p.linear;
    glm::vec3& offset = p.offset;
    auto move = [&](const glm::vec3& t) {
        if (Finite(t)) offset += t;
    };
    auto turn = [&](const glm::vec4& r, float sign) {
        const glm::vec3 axis(r);
        const float len = glm::length(axis);
        if (!Finite(r) || !(len > 0.0f) || r.w == 0.0f) return;
        const glm::mat3 m = glm::mat3_cast(glm::angleAxis(sign * r.w, axis / len));
        linear = m * linear;
        offset = m * offset;
    };
    move(-f.center);
    turn(f.scaleOrientation, -1.0f);
    if (Finite(f.scale) && f.scale != glm::vec3(1.0f)) {
        glm::mat3 s(1.0f);
        s[0][0] = f.scale.x;
        s[1][1] = f.scale.y;
        s[2][2] = f.scale.z;
        linear = s * linear;
        offset = s * offset;
    }
    turn(f.scaleOrientation, 1.0f);
    turn(f.rotation, 1.0f);
    move(f.center);
    return p;
}

glm::mat4 PlacementWith(const FramePlacement& p, const glm::vec3& translation) {
    glm::mat4 m(p.linear);
    m[3] = glm::vec4(OriginWith(p, translation), 1.0f);
    return m;
}

void PlaceFrame(rm::Frame& frame, const TransformFields& f) {
    frame.AddTransform(rm::Combine::Replace, PlacementWith(PlacementOf(f), f.translation));
}

void PlaceCamera(rm::Frame& camera, const rm::Frame& viewpoint) {
    const rm::Frame* root = &viewpoint;
    while (root->GetParent() != nullptr && root->GetParent()->GetParent() != nullptr)
        root = root->GetParent();
    const glm::mat4 m = viewpoint.GetTransform(root);
    const glm::vec3 dir = glm::mat3(m) * glm::vec3(0, 0, -1);
    const glm::vec3 up = glm::mat3(m) * glm::vec3(0, 1, 0);
    const rm::Frame* parent = camera.GetParent();
    // A degenerate basis (a scale of 0 on the way) keeps the camera's orientation.
    camera.SetOrientation(parent, dir, up);
    camera.SetPosition(parent, m[3].x, m[3].y, m[3].z);
}

rm::Ptr<rm::Material> MakeMaterial(rm::RetainedMode& rm, const Material& node) {
    // A value in [0, 1] as lighting uses it; NaN gives `otherwise`.
    auto unit = [](float value, float otherwise) {
        return std::isnan(value) ? otherwise : std::clamp(value, 0.0f, 1.0f);
    };
    rm::Ptr<rm::Material> material;
    if (rm::Failed(rm.CreateMaterial(SpecularPower(node.shininess().Get()), material.Put())))
        return {};
    const SFColor& d = node.diffuseColor();
    const SFColor& e = node.emissiveColor();
    const SFColor& s = node.specularColor();
    material->SetAmbient(d.GetR(), d.GetG(), d.GetB());
    material->SetEmissive(e.GetR(), e.GetG(), e.GetB());
    material->SetSpecular(s.GetR(), s.GetG(), s.GetB());
    material->SetAmbientIntensity(unit(node.ambientIntensity().Get(), 0.2f));
    material->SetTransparency(unit(node.transparency().Get(), 0.0f));
    return material;
}

#include "rendermodule/translation_tables.h"

#include "node/nodes.h"

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

void PlaceFrame(rm::Frame& frame, const TransformFields& f) {
    const glm::vec3& c = f.center;
    const glm::vec4& so = f.scaleOrientation;
    const glm::vec4& r = f.rotation;
    const glm::vec3& s = f.scale;
    const glm::vec3& t = f.translation;
    frame.AddTransform(rm::Combine::Replace, glm::mat4(1.0f));
    frame.AddTranslation(rm::Combine::After, -c.x, -c.y, -c.z);
    frame.AddRotation(rm::Combine::After, so.x, so.y, so.z, -so.w);
    frame.AddScale(rm::Combine::After, s.x, s.y, s.z);
    frame.AddRotation(rm::Combine::After, so.x, so.y, so.z, so.w);
    frame.AddRotation(rm::Combine::After, r.x, r.y, r.z, r.w);
    frame.AddTranslation(rm::Combine::After, c.x, c.y, c.z);
    frame.AddTranslation(rm::Combine::After, t.x, t.y, t.z);
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

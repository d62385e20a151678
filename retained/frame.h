// Frame: a node of the retained-mode scene. It has a transform from its local
// coordinates into its parent's, child frames, visuals (meshbuilders) and lights.
#pragma once

#include <cmath>
#include <memory>
#include <vector>

#include <glm/glm.hpp>

#include "retained/backdrop.h"
#include "retained/light.h"
#include "retained/meshbuilder.h"
#include "retained/object.h"
#include "retained/result.h"
#include "retained/types.h"

namespace rm {

// Conventions (pinned by tests/retained):
// - World coordinates are right-handed. The transform maps local coordinates into the
//   parent's; combining X with the current transform M follows Combine (types.h):
//   Replace → X, Before → M·X (X first, in local coordinates), After → X·M (X last, in
//   the parent's coordinates).
// - Rotations follow the right-hand rule: +90° about (0,0,1) takes (1,0,0) to (0,1,0).
//   The axis need not be unit length; a zero axis is no rotation.
// - A frame's direction is its local −z axis and its up its local +y axis. An
//   untransformed frame looks along (0,0,−1) with up (0,1,0).
// - `ref` arguments name the frame whose coordinates a value is given in; null means
//   world coordinates, those into which the root frame's own transform maps.
// - A parent holds one reference to each child, visual and light. A frame created with
//   a parent therefore starts with two references: the creator's and the parent's.
//   A frame that dies releases its children; a child that outlives it becomes a root.
// None of this is thread-safe by itself: callers hold the scene lock (retained_mode.h).
// Whether a placement mirrors (negative determinant): it turns the order of every face's
// corners round, so that a solid mesh's front is then the side they run clockwise on.
inline bool Mirrors(const glm::mat4& placement) {
    return glm::determinant(glm::mat3(placement)) < 0.0f;
}

class Frame : public Object {
  public:
    Result AddTranslation(Combine c, float x, float y, float z);
    Result AddScale(Combine c, float sx, float sy, float sz);
    // Angle in radians, counter-clockwise looking down the axis towards its origin.
    Result AddRotation(Combine c, float ax, float ay, float az, float angle);
    Result AddTransform(Combine c, const glm::mat4& m);
    // The transform from this frame's coordinates into ref's (null: world).
    glm::mat4 GetTransform(const Frame* ref = nullptr) const;
    const glm::mat4& GetLocalTransform() const { return local_; }
    glm::mat4 GetWorldTransform() const;

    // Moves the frame so that its origin is at p in ref's coordinates; its orientation
    // and scale stay.
    Result SetPosition(const Frame* ref, float x, float y, float z);
    glm::vec3 GetPosition(const Frame* ref) const;
    // Moves the frame's origin to p in its parent's coordinates (the local
    // transform's last column), keeping rotation and scale: what an animated
    // translation does, without building the whole matrix. kInvalidArg when p
    // is not finite.
    Result SetLocalOrigin(const glm::vec3& p) {
        if (!std::isfinite(p.x) || !std::isfinite(p.y) || !std::isfinite(p.z)) return kInvalidArg;
        local_[3] = glm::vec4(p, 1.0f);
        return kOk;
    }
    // Turns the frame so that its direction (local −z) and up (local +y), seen in ref's
    // coordinates, are dir and up. The basis is made orthonormal from dir first, then
    // up; its origin stays, any scale is dropped. Fails with kInvalidArg for a zero dir
    // or an up parallel to dir.
    Result SetOrientation(const Frame* ref, glm::vec3 dir, glm::vec3 up);
    // Unit direction and up of this frame seen in ref's coordinates.
    void GetOrientation(const Frame* ref, glm::vec3* dir, glm::vec3* up) const;

    // Motion applied by Move: each Move(delta) translates the frame by velocity × delta
    // and turns it by rate × delta radians about axis through its own origin, both in its
    // parent's coordinates.
    void SetVelocity(glm::vec3 velocity);
    void SetRotation(glm::vec3 axis, float rate);
    // Applies the motion of this frame and of every frame below it. While no
    // frame anywhere has a motion, it returns at once: a scene of many frames
    // pays nothing a frame for a motion none of them has.
    void Move(float delta);

    // Background colour used when a viewport clears for a scene whose root this is.
    void SetSceneBackgroundRGB(float r, float g, float b) { background_ = {r, g, b}; }
    glm::vec3 GetSceneBackground() const { return background_; }
    // Backdrop drawn over the background colour when a viewport clears for a scene whose
    // root this is; null: the colour alone.
    void SetSceneBackdrop(std::shared_ptr<const Backdrop> backdrop) {
        backdrop_ = std::move(backdrop);
    }
    const std::shared_ptr<const Backdrop>& GetSceneBackdrop() const { return backdrop_; }
    // Fog over the visuals of a scene whose root this is (not over its backdrop).
    void SetSceneFog(const Fog& fog) { fog_ = fog; }
    const Fog& GetSceneFog() const { return fog_; }

    // Adds child (moving it from another parent, keeping its local transform).
    // Fails with kInvalidArg for null, this frame, or one of its ancestors.
    Result AddChild(Frame* child);
    Result DeleteChild(Frame* child);  // kNotFound when not a child
    Result AddVisual(MeshBuilder* visual);
    Result DeleteVisual(MeshBuilder* visual);
    Result AddLight(Light* light);  // a light already added is not added twice
    Result DeleteLight(Light* light);

    Frame* GetParent() const { return parent_; }
    Frame* GetScene();  // the root of the hierarchy (this frame when it has no parent)
    const std::vector<Ptr<Frame>>& Children() const { return children_; }
    const std::vector<Ptr<MeshBuilder>>& Visuals() const { return visuals_; }
    const std::vector<Ptr<Light>>& Lights() const { return lights_; }

  private:
    friend class RetainedMode;
    Frame() = default;
    ~Frame() override;
    void Combine(rm::Combine c, const glm::mat4& x);
    glm::mat4 ParentWorld() const;
    bool HasMotion() const { return velocity_ != glm::vec3(0.0f) || spinRate_ != 0.0f; }
    // Keeps the count of frames with a motion up to date around a change of it.
    template <class Change>
    void ChangeMotion(Change change);

    Frame* parent_ = nullptr;  // not owned: the parent owns this frame
    std::vector<Ptr<Frame>> children_;
    std::vector<Ptr<MeshBuilder>> visuals_;
    std::vector<Ptr<Light>> lights_;
    glm::mat4 local_{1.0f};
    glm::vec3 velocity_{0.0f};
    glm::vec3 spinAxis_{0.0f};
    float spinRate_ = 0.0f;
    glm::vec3 background_{0.0f};
    std::shared_ptr<const Backdrop> backdrop_;
    Fog fog_;
};

}  // namespace rm

// The tables scene translation builds and the router and render module read:
// interpolators by node, retained-mode objects by node, and the viewpoints;
// and the placement fields of Transforms and Viewpoints, from which both the
// translation and the router build a frame's transform.
#pragma once

#include <cmath>
#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include <glm/glm.hpp>

#include "node/node_ptr.h"
#include "node/node_typedef.h"
#include "rendermodule/interpolator.h"
#include "retained/frame.h"
#include "retained/object.h"

class SingleNode;
class Material;
namespace rm {
class RetainedMode;
class Material;
}  // namespace rm
class Transform;
class Viewpoint;

// Orders the tables' keys by node address; finds accept a plain node pointer.
struct NodeKeyLess {
    using is_transparent = void;
    static const SingleNode* Of(const node::Ptr<SingleNode>& p) { return p.Get(); }
    static const SingleNode* Of(const SingleNode* p) { return p; }
    template <class A, class B>
    bool operator()(const A& a, const B& b) const {
        return std::less<const SingleNode*>()(Of(a), Of(b));
    }
};

// Interpolator node -> its runtime form. The tables hold a reference on every
// node they name, so a key stays a live node for as long as the table has it.
using InterpolatorTable = std::map<node::Ptr<SingleNode>, CInterpolator, NodeKeyLess>;
// Node -> every object translation made for it, in the order it met the node's
// uses: a Transform's frames, a Viewpoint's frames, the meshbuilders of the
// shapes a Material colours. A node shared through USE has one per use.
using NodeObjectTable =
    std::map<node::Ptr<SingleNode>, std::vector<rm::Ptr<rm::Object>>, NodeKeyLess>;

struct ViewpointRecord {
    std::string name;
    SFVec3f position;
    SFRotation orientation;
    float fieldOfView = 0.785398f;  // radians, across the view's smaller side
    // The viewpoint's frame under the frame of its enclosing Transform; the
    // camera takes its place. Null when no frame could be made.
    rm::Ptr<rm::Frame> frame;
    // The Viewpoint node, which the scene owns while it is shown.
    SingleNode* node = nullptr;
};
using ViewpointList = std::vector<ViewpointRecord>;

// The sensors translation met, and Anchors, which sense clicks like a TouchSensor.
enum class SensorKind : std::uint8_t {
    Touch,
    Plane,
    Cylinder,
    Sphere,
    Anchor,
    Proximity,
    Visibility
};
// True for the kinds the pointer drives (Anchor among them).
inline bool IsPointing(SensorKind kind) {
    return kind <= SensorKind::Anchor;
}
// One use of a sensor node. `frame` is the frame of the group that holds it, so
// the pointing kinds sense the geometry drawn below that frame (an Anchor: its own
// frame, which holds its children), and every kind measures in its coordinates.
// A node used in several places has a record per use. Null frame: nothing to sense.
struct SensorRecord {
    SensorKind kind = SensorKind::Touch;
    node::Ptr<SingleNode> node;
    rm::Ptr<rm::Frame> frame;
};
using SensorTable = std::vector<SensorRecord>;

// The specular exponent of a VRML97 Material: shininess × 128, so a higher
// shininess gives a smaller, sharper highlight (0 a dull one).
inline float SpecularPower(float shininess) {
    return shininess * 128.0f;
}

// The retained-mode material of a Material node: its colours (the diffuse one
// as the ambient colour, which lighting scales by ambientIntensity), ambient
// intensity and transparency kept within [0, 1], the specular exponent. Null
// when `rm` cannot make one.
rm::Ptr<rm::Material> MakeMaterial(rm::RetainedMode& rm, const Material& node);

// The fields that place a Transform's children, rotations as axis and angle
// (radians). A Viewpoint is the special case of a position (translation) and
// an orientation (rotation) alone.
struct TransformFields {
    glm::vec3 translation{0.0f};
    glm::vec4 rotation{0, 0, 1, 0};
    glm::vec3 scale{1.0f};
    glm::vec4 scaleOrientation{0, 0, 1, 0};
    glm::vec3 center{0.0f};
};

TransformFields FieldsOf(const Transform& node);
TransformFields FieldsOf(const Viewpoint& node);

// Replaces the local transform of `frame` by T·C·R·SR·S·-SR·-C of `fields`: a
// point goes through -center first and translation last. A zero rotation axis
// is no rotation; a step with a non-finite value is left out.
void PlaceFrame(rm::Frame& frame, const TransformFields& fields);

// That transform without its translation: the linear part and the offset that
// centre, rotations and scale make. An animation that moves a Transform only
// along keeps this and adds each new translation (PlacementWith).
struct FramePlacement {
    glm::mat3 linear{1.0f};
    glm::vec3 offset{0.0f};
};
FramePlacement PlacementOf(const TransformFields& fields);
// The local transform of a placement moved by `translation` (left out when not finite).
glm::mat4 PlacementWith(const FramePlacement& placement, const glm::vec3& translation);
// The origin of that transform alone (its last column).
inline glm::vec3 OriginWith(const FramePlacement& placement, const glm::vec3& translation) {
    const bool finite = std::isfinite(translation.x) && std::isfinite(translation.y) &&
                        std::isfinite(translation.z);
    return finite ? placement.offset + translation : placement.offset;
}

// Puts `camera` where the viewpoint frame `viewpoint` is within the translated
// scene (the frame under the scene root that holds it, the world frame): its
// origin, direction and up, without any scale of the Transforms around it. The
// camera's transform is given in its parent's coordinates (the scene root), so
// wherever navigation has moved the world frame, the camera stands where the
// viewpoint would with the world in place.
void PlaceCamera(rm::Frame& camera, const rm::Frame& viewpoint);

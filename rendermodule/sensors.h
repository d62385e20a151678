// CSensors: the sensors of a translated scene at work. The pointer drives the
// pointing-device sensors (TouchSensor, PlaneSensor, CylinderSensor, SphereSensor)
// and Anchors; each animation step measures the camera against the environment
// sensors (ProximitySensor, VisibilitySensor). Every eventOut goes to an IEventSink
// (and the sensor node keeps it as its field's value); a click on an Anchor's
// children leaves its url list to be taken by whoever loads scenes.
//
// The drag arithmetic is in sensor_math: pure functions on rays in the sensor's
// coordinates, which the tests check one by one.
#pragma once

#include <cstddef>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include <glm/glm.hpp>

#include "rendermodule/translation_tables.h"

class IEventSink;
namespace rm {
class Viewport;
}

// A half-line: from `origin` along `direction` (not necessarily of unit length).
struct SensorRay {
    glm::vec3 origin{0.0f};
    glm::vec3 direction{0.0f, 0.0f, -1.0f};
};

namespace sensor_math {

// The ray through the middle of device pixel (x, y) of `viewport`, in world
// coordinates, as Viewport::Pick casts it; none outside the viewport.
std::optional<SensorRay> PixelRay(const rm::Viewport& viewport, int x, int y);
// The ray in the coordinates `toLocal` maps world coordinates into.
SensorRay Transformed(const SensorRay& ray, const glm::mat4& toLocal);

// Where the ray meets the plane z = `z` ahead of its origin; none when it runs
// (nearly) parallel to the plane or meets it behind.
std::optional<glm::vec3> HitPlaneZ(const SensorRay& ray, float z);
// A PlaneSensor's translation_changed: offset + (track - start), x clamped to
// [min.x, max.x] when min.x <= max.x, and y likewise.
glm::vec3 PlaneTranslation(glm::vec3 start, glm::vec3 track, glm::vec3 offset,
                           glm::vec2 minPosition, glm::vec2 maxPosition);

// A CylinderSensor's drag, fixed at the press: a disk in the plane y = start.y
// when the ray met the y axis at less than diskAngle, else a cylinder about the
// y axis through the start point.
struct CylinderDrag {
    bool disk = false;
    float radius = 0.0f;  // the start's distance from the y axis
    glm::vec3 start{0.0f};
};
CylinderDrag BeginCylinderDrag(const SensorRay& ray, glm::vec3 start, float diskAngle);
// Where the ray meets the disk or the cylinder (its side nearer the ray's origin);
// a ray passing beside the cylinder takes its point nearest the axis, pushed out
// onto the cylinder. None for a ray along a disk or the axis, or a cylinder of
// radius 0.
std::optional<glm::vec3> CylinderTrackPoint(const CylinderDrag& drag, const SensorRay& ray);
// The turn about +y from `from` to `to` (their x-z projections), in (-pi, pi];
// 0 when either lies on the axis.
float TurnAboutY(glm::vec3 from, glm::vec3 to);
// A CylinderSensor's rotation angle: offset + turn, clamped to [minAngle,
// maxAngle] when minAngle <= maxAngle.
float CylinderAngle(float turn, float offset, float minAngle, float maxAngle);

// Where the ray meets the sphere of `radius` about the origin (its side nearer the
// ray's origin); a ray passing beside it takes its point nearest the centre, pushed
// out onto the sphere. None for a radius of 0 or a ray through the centre that
// never meets it.
std::optional<glm::vec3> SphereTrackPoint(float radius, const SensorRay& ray);
// A SphereSensor's rotation_changed as axis and angle: `offset` (axis, angle)
// followed by the turn about the centre that takes `start` to `track`.
glm::vec4 SphereRotation(glm::vec3 start, glm::vec3 track, glm::vec4 offset);

// Whether the box of centre `center` and size `size` in the coordinates `toWorld`
// maps to world coordinates may be seen by a camera with world-to-clip matrix
// `worldToClip`: false only when all its corners lie outside one plane of the view.
bool BoxInView(glm::vec3 center, glm::vec3 size, const glm::mat4& toWorld,
               const glm::mat4& worldToClip);

}  // namespace sensor_math

class CSensors {
  public:
    // Takes the sensors of a translation (null: none). What was going on (a drag, the
    // pointer over a sensor, a viewer inside a ProximitySensor) ends without events.
    void Reset(const SensorTable* table);
    // True when the scene has a pointing-device sensor or an Anchor.
    bool HasPointing() const { return !m_byFrame.empty(); }

    // The pointer at device pixel (x, y) of `viewport` at `time` (seconds): moved,
    // pressed, released. Press returns true when it went to sensors (geometry below
    // an enabled pointing-device sensor or an Anchor): they then hold the pointer
    // until the release.
    void Move(const rm::Viewport& viewport, int x, int y, double time, IEventSink& sink);
    bool Press(const rm::Viewport& viewport, int x, int y, double time, IEventSink& sink);
    void Release(const rm::Viewport& viewport, int x, int y, double time, IEventSink& sink);
    // True between a Press that went to sensors and its Release.
    bool IsActive() const { return m_pressed; }

    // One animation step: the ProximitySensors and VisibilitySensors against the
    // camera of `viewport`.
    void Step(double time, const rm::Viewport& viewport, IEventSink& sink);

    // The url list of the Anchor the last click opened (once; empty when none).
    std::vector<std::string> TakeAnchorUrls();

  private:
    // What lies under the pointer: the pointing sensors of the innermost enabled
    // level above the nearest geometry hit, and where it was hit.
    struct Hit {
        std::vector<std::size_t> sensors;
        glm::vec3 point{0.0f};   // world coordinates
        glm::vec3 normal{0.0f};  // world coordinates; zero when unknown
        glm::vec2 texCoord{0.0f};
        bool surface = false;  // normal and texCoord known
    };
    // A sensor holding the pointer.
    struct Active {
        std::size_t index = 0;
        glm::mat4 toLocal{1.0f};  // the sensor's coordinates at the press
        glm::vec3 start{0.0f};    // the press's point in them
        sensor_math::CylinderDrag cylinder;
        glm::vec3 lastTrack{0.0f};
        float turn = 0.0f;  // CylinderSensor: turns added up since the press
        // The offset at the press, and the last value sent (for autoOffset).
        glm::vec4 offset{0.0f};
        glm::vec4 last{0.0f};
        bool sent = false;
    };
    struct Environment {
        bool active = false;
        glm::vec3 position{0.0f};
        glm::vec4 orientation{0.0f};
    };

    Hit Find(const rm::Viewport& viewport, const SensorRay& ray, int x, int y) const;
    bool Enabled(std::size_t index) const;
    // isOver and the hit events of the TouchSensors among `over`; only those among
    // `among` (all when null) may change.
    void UpdateOver(const Hit& hit, const std::vector<std::size_t>* among, double time,
                    IEventSink& sink);
    void Drag(Active& active, const SensorRay& ray, double time, IEventSink& sink);

    SensorTable m_table;
    std::map<const rm::Frame*, std::vector<std::size_t>> m_byFrame;  // pointing kinds
    std::vector<std::size_t> m_over;       // TouchSensors the pointer is over
    std::optional<glm::vec3> m_lastPoint;  // where it was over them last (world)
    std::vector<Active> m_active;
    bool m_pressed = false;
    std::vector<Environment> m_environment;  // per record
    std::vector<std::string> m_anchorUrls;
};

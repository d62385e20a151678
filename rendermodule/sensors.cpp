#include "rendermodule/sensors.h"

#include <algorithm>
#include <cmath>
#include <memory>
#include <utility>

#include <glm/gtc/quaternion.hpp>

#include "loader/vrml_loader.h"
#include "node/nodes.h"
#include "rendermodule/event_sink.h"
#include "retained/draw_mesh.h"
#include "retained/viewport.h"

namespace sensor_math {

namespace {

constexpr float kTiny = 1e-6f;
constexpr float kPi = 3.14159265358979f;

bool Finite(glm::vec3 v) {
    return std::isfinite(v.x) && std::isfinite(v.y) && std::isfinite(v.z);
}

// The nearer root of a t^2 + b t + c = 0 that is >= 0; none when both are negative
// or there is none.
std::optional<float> NearerRoot(float a, float b, float c) {
    const float disc = b * b - 4 * a * c;
    if (!(a > kTiny) || disc < 0) return std::nullopt;
    const float s = std::sqrt(disc);
    const float t1 = (-b - s) / (2 * a), t2 = (-b + s) / (2 * a);
    if (t1 >= 0) return t1;
    if (t2 >= 0) return t2;
    return std::nullopt;
}

}  // namespace

std::optional<SensorRay> PixelRay(const rm::Viewport& viewport, int x, int y) {
    const int w = viewport.GetWidth(), h = viewport.GetHeight();
    if (viewport.GetCamera() == nullptr || w <= 0 || h <= 0) return std::nullopt;
    if (x < viewport.GetX() || y < viewport.GetY() || x >= viewport.GetX() + w ||
        y >= viewport.GetY() + h)
        return std::nullopt;
    // The projection's scale is 1 / the half extent of the view at distance 1.
    const glm::mat4 p = viewport.Projection();
    const float nx = 2.0f * (static_cast<float>(x - viewport.GetX()) + 0.5f) / w - 1.0f;
    const float ny = 1.0f - 2.0f * (static_cast<float>(y - viewport.GetY()) + 0.5f) / h;
    const glm::mat4 cam = viewport.GetCamera()->GetWorldTransform();
    SensorRay ray;
    ray.origin = glm::vec3(cam[3]);
    ray.direction = glm::mat3(cam) * glm::vec3(nx / p[0][0], ny / p[1][1], -1.0f);
    if (!Finite(ray.origin) || !Finite(ray.direction)) return std::nullopt;
    return ray;
}

SensorRay Transformed(const SensorRay& ray, const glm::mat4& toLocal) {
    return {glm::vec3(toLocal * glm::vec4(ray.origin, 1.0f)), glm::mat3(toLocal) * ray.direction};
}

std::optional<glm::vec3> HitPlaneZ(const SensorRay& ray, float z) {
    const float len = glm::length(ray.direction);
    if (!(len > 0) || std::abs(ray.direction.z) < kTiny * len) return std::nullopt;
    const float t = (z - ray.origin.z) / ray.direction.z;
    if (!(t >= 0)) return std::nullopt;
    glm::vec3 p = ray.origin + t * ray.direction;
    p.z = z;
    if (!Finite(p)) return std::nullopt;
    return p;
}

glm::vec3 PlaneTranslation(glm::vec3 start, glm::vec3 track, glm::vec3 offset,
                           glm::vec2 minPosition, glm::vec2 maxPosition) {
    glm::vec3 t = offset + (track - start);
    if (minPosition.x <= maxPosition.x) t.x = std::clamp(t.x, minPosition.x, maxPosition.x);
    if (minPosition.y <= maxPosition.y) t.y = std::clamp(t.y, minPosition.y, maxPosition.y);
    return t;
}

CylinderDrag BeginCylinderDrag(const SensorRay& ray, glm::vec3 start, float diskAngle) {
    CylinderDrag drag;
    drag.start = start;
    drag.radius = glm::length(glm::vec2(start.x, start.z));
    const float len = glm::length(ray.direction);
    // The angle between the ray's line and the y axis, in [0, pi/2].
    const float angle = len > 0 ? std::acos(std::min(1.0f, std::abs(ray.direction.y) / len)) : 0;
    drag.disk = angle < diskAngle;
    return drag;
}

std::optional<glm::vec3> CylinderTrackPoint(const CylinderDrag& drag, const SensorRay& ray) {
    const glm::vec3 o = ray.origin, d = ray.direction;
    if (drag.disk) {
        const float len = glm::length(d);
        if (!(len > 0) || std::abs(d.y) < kTiny * len) return std::nullopt;
        const float t = (drag.start.y - o.y) / d.y;
        if (!(t >= 0)) return std::nullopt;
        glm::vec3 p = o + t * d;
        p.y = drag.start.y;
        if (!Finite(p)) return std::nullopt;
        return p;
    }
    const float r = drag.radius;
    const float a = d.x * d.x + d.z * d.z;
    if (!(r > kTiny) || !(a > kTiny * kTiny * glm::dot(d, d))) return std::nullopt;
    glm::vec3 p;
    if (auto t = NearerRoot(a, 2 * (o.x * d.x + o.z * d.z), o.x * o.x + o.z * o.z - r * r)) {
        p = o + *t * d;
    } else {
        // Beside the cylinder: the ray's point nearest the axis, pushed out onto it.
        p = o - ((o.x * d.x + o.z * d.z) / a) * d;
        const float out = glm::length(glm::vec2(p.x, p.z));
        if (!(out > kTiny)) return std::nullopt;
        p.x *= r / out;
        p.z *= r / out;
    }
    if (!Finite(p)) return std::nullopt;
    return p;
}

float TurnAboutY(glm::vec3 from, glm::vec3 to) {
    // A turn of a about +y takes (x, z) to (x cos a + z sin a, -x sin a + z cos a).
    const float cross = from.z * to.x - from.x * to.z;
    const float dot = from.x * to.x + from.z * to.z;
    if (glm::length(glm::vec2(from.x, from.z)) < kTiny ||
        glm::length(glm::vec2(to.x, to.z)) < kTiny)
        return 0.0f;
    const float a = std::atan2(cross, dot);
    return std::isfinite(a) ? a : 0.0f;
}

float CylinderAngle(float turn, float offset, float minAngle, float maxAngle) {
    float a = offset + turn;
    if (minAngle <= maxAngle) a = std::clamp(a, minAngle, maxAngle);
    return a;
}

std::optional<glm::vec3> SphereTrackPoint(float radius, const SensorRay& ray) {
    const glm::vec3 o = ray.origin, d = ray.direction;
    const float a = glm::dot(d, d);
    if (!(radius > kTiny) || !(a > 0)) return std::nullopt;
    glm::vec3 p;
    if (auto t = NearerRoot(a, 2 * glm::dot(o, d), glm::dot(o, o) - radius * radius)) {
        p = o + *t * d;
    } else {
        p = o - (glm::dot(o, d) / a) * d;
        const float out = glm::length(p);
        if (!(out > kTiny)) return std::nullopt;
        p *= radius / out;
    }
    if (!Finite(p)) return std::nullopt;
    return p;
}

glm::vec4 SphereRotation(glm::vec3 start, glm::vec3 track, glm::vec4 offset) {
    glm::quat turn(1, 0, 0, 0);
    const float ls = glm::length(start), lt = glm::length(track);
    if (ls > kTiny && lt > kTiny) {
        const glm::vec3 a = start / ls, b = track / lt;
        const glm::vec3 axis = glm::cross(a, b);
        const float s = glm::length(axis), c = glm::dot(a, b);
        if (s > kTiny) {
            turn = glm::angleAxis(std::atan2(s, c), axis / s);
        } else if (c < 0) {
            // Half a turn: about any axis across the start.
            glm::vec3 across = glm::cross(a, glm::vec3(1, 0, 0));
            if (glm::length(across) < 0.1f) across = glm::cross(a, glm::vec3(0, 1, 0));
            turn = glm::angleAxis(kPi, glm::normalize(across));
        }
    }
    glm::quat first(1, 0, 0, 0);
    const glm::vec3 offsetAxis(offset);
    if (glm::length(offsetAxis) > kTiny && std::isfinite(offset.w))
        first = glm::angleAxis(offset.w, glm::normalize(offsetAxis));
    const glm::quat q = glm::normalize(turn * first);
    const float angle = 2.0f * std::acos(std::clamp(q.w, -1.0f, 1.0f));
    const float s = std::sqrt(std::max(0.0f, 1.0f - q.w * q.w));
    if (s < kTiny || !std::isfinite(angle)) return {0, 1, 0, 0};
    return {q.x / s, q.y / s, q.z / s, angle};
}

bool BoxInView(glm::vec3 center, glm::vec3 size, const glm::mat4& toWorld,
               const glm::mat4& worldToClip) {
    const glm::mat4 m = worldToClip * toWorld;
    // Per plane of the view (x, y, z each against -w and +w): corners outside it.
    int outside[6] = {0, 0, 0, 0, 0, 0};
    for (int corner = 0; corner < 8; ++corner) {
        const glm::vec3 local =
            center + 0.5f * glm::vec3(corner & 1 ? size.x : -size.x, corner & 2 ? size.y : -size.y,
                                      corner & 4 ? size.z : -size.z);
        const glm::vec4 c = m * glm::vec4(local, 1.0f);
        if (!std::isfinite(c.x) || !std::isfinite(c.y) || !std::isfinite(c.z) ||
            !std::isfinite(c.w))
            return false;
        for (int axis = 0; axis < 3; ++axis) {
            outside[2 * axis] += c[axis] < -c.w;
            outside[2 * axis + 1] += c[axis] > c.w;
        }
    }
    return std::none_of(std::begin(outside), std::end(outside), [](int n) { return n == 8; });
}

}  // namespace sensor_math

namespace {

bool Finite(glm::vec3 v) {
    return std::isfinite(v.x) && std::isfinite(v.y) && std::isfinite(v.z);
}
bool Finite(const glm::mat4& m) {
    for (int i = 0; i < 4; ++i)
        for (int j = 0; j < 4; ++j)
            if (!std::isfinite(m[i][j])) return false;
    return true;
}

glm::vec3 Vec(const SFVec3f& v) {
    return {v.GetX(), v.GetY(), v.GetZ()};
}
glm::vec2 Vec(const SFVec2f& v) {
    return {v.GetX(), v.GetY()};
}
glm::vec4 Rot(const SFRotation& r) {
    return {r.GetX(), r.GetY(), r.GetZ(), r.GetAngle()};
}

// Sends `value` as eventOut `field` of `node`, which keeps it as the field's value.
// Values with a non-finite component are not sent.
template <class V>
void Out(IEventSink& sink, SingleNode* node, const char* field, const V& value, double time) {
    if constexpr (requires { value.Values(); }) {
        for (float f : value.Values())
            if (!std::isfinite(f)) return;
    }
    const int index = VrmlLoader::FindFieldIndex(node, field);
    if (index < 0) return;
    if (auto* stored = dynamic_cast<SFField*>(node->GetField(index))) stored->AssignFrom(value);
    sink.Emit(node, index, std::make_unique<V>(value), time);
}

SFVec3f ToSF(glm::vec3 v) {
    return {v.x, v.y, v.z};
}
SFRotation ToSF(glm::vec4 r) {
    return {r.x, r.y, r.z, r.w};
}

// The normal and texture coordinate where the ray meets a visual's nearest triangle,
// in its own coordinates; false when it meets none.
bool SurfaceAt(const rm::MeshBuilder& visual, const SensorRay& local, glm::vec3& normal,
               glm::vec2& uv) {
    const rm::DrawMesh mesh = rm::BuildDrawMesh(*visual.Data());
    float best = -1;
    for (std::size_t i = 0; i + 2 < mesh.triangles.size(); i += 3) {
        const rm::DrawVertex& a = mesh.vertices[mesh.triangles[i]];
        const rm::DrawVertex& b = mesh.vertices[mesh.triangles[i + 1]];
        const rm::DrawVertex& c = mesh.vertices[mesh.triangles[i + 2]];
        const glm::vec3 e1 = b.position - a.position, e2 = c.position - a.position;
        const glm::vec3 pv = glm::cross(local.direction, e2);
        const float det = glm::dot(e1, pv);
        if (std::abs(det) < 1e-12f) continue;
        const glm::vec3 tv = local.origin - a.position;
        const float u = glm::dot(tv, pv) / det;
        const glm::vec3 qv = glm::cross(tv, e1);
        const float v = glm::dot(local.direction, qv) / det;
        const float t = glm::dot(e2, qv) / det;
        if (u < 0 || v < 0 || u + v > 1 || t < 0 || (best >= 0 && t >= best)) continue;
        best = t;
        normal = (1 - u - v) * a.normal + u * b.normal + v * c.normal;
        const glm::vec2 st = (1 - u - v) * a.uv + u * b.uv + v * c.uv;
        uv = {st.x, 1.0f - st.y};  // the meshbuilder's v runs down from the top
    }
    return best >= 0;
}

}  // namespace

// Whether the record's node is of the class its kind says (every cast below relies on it).
static bool KindMatches(const SensorRecord& record) {
    SingleNode* node = record.node.Get();
    switch (record.kind) {
        case SensorKind::Touch:
            return dynamic_cast<TouchSensor*>(node) != nullptr;
        case SensorKind::Plane:
            return dynamic_cast<PlaneSensor*>(node) != nullptr;
        case SensorKind::Cylinder:
            return dynamic_cast<CylinderSensor*>(node) != nullptr;
        case SensorKind::Sphere:
            return dynamic_cast<SphereSensor*>(node) != nullptr;
        case SensorKind::Anchor:
            return dynamic_cast<Anchor*>(node) != nullptr;
        case SensorKind::Proximity:
            return dynamic_cast<ProximitySensor*>(node) != nullptr;
        case SensorKind::Visibility:
            return dynamic_cast<VisibilitySensor*>(node) != nullptr;
    }
    return false;
}

void CSensors::Reset(const SensorTable* table) {
    m_table.clear();
    if (table != nullptr)
        for (const SensorRecord& record : *table)
            if (record.frame && KindMatches(record)) m_table.push_back(record);
    m_byFrame.clear();
    for (std::size_t i = 0; i < m_table.size(); ++i)
        if (IsPointing(m_table[i].kind)) m_byFrame[m_table[i].frame.Get()].push_back(i);
    m_over.clear();
    m_lastPoint.reset();
    m_active.clear();
    m_pressed = false;
    m_environment.assign(m_table.size(), Environment{});
    m_anchorUrls.clear();
}

bool CSensors::Enabled(std::size_t index) const {
    SingleNode* node = m_table[index].node.Get();
    switch (m_table[index].kind) {
        case SensorKind::Touch:
            return dynamic_cast<TouchSensor*>(node)->enabled().Get();
        case SensorKind::Plane:
            return dynamic_cast<PlaneSensor*>(node)->enabled().Get();
        case SensorKind::Cylinder:
            return dynamic_cast<CylinderSensor*>(node)->enabled().Get();
        case SensorKind::Sphere:
            return dynamic_cast<SphereSensor*>(node)->enabled().Get();
        case SensorKind::Proximity:
            return dynamic_cast<ProximitySensor*>(node)->enabled().Get();
        case SensorKind::Visibility:
            return dynamic_cast<VisibilitySensor*>(node)->enabled().Get();
        case SensorKind::Anchor:
            return true;
    }
    return false;
}

CSensors::Hit CSensors::Find(const rm::Viewport& viewport, const SensorRay& ray, int x,
                             int y) const {
    Hit hit;
    std::vector<rm::PickHit> picks;
    if (rm::Failed(viewport.Pick(x, y, &picks)) || picks.empty() || picks[0].path.empty())
        return hit;
    const rm::PickHit& nearest = picks[0];
    hit.point = nearest.position;
    // The innermost level with an enabled sensor: sensors nearer the geometry hide
    // those above them; the disabled ones do not count.
    for (auto frame = nearest.path.rbegin(); frame != nearest.path.rend(); ++frame) {
        auto it = m_byFrame.find(frame->Get());
        if (it == m_byFrame.end()) continue;
        for (std::size_t i : it->second)
            if (Enabled(i)) hit.sensors.push_back(i);
        if (!hit.sensors.empty()) break;
    }
    if (hit.sensors.empty() || !nearest.visual) return hit;
    const glm::mat4 world = nearest.path.back()->GetWorldTransform();
    const glm::mat4 toVisual = glm::inverse(world);
    glm::vec3 normal(0.0f);
    glm::vec2 uv(0.0f);
    if (Finite(toVisual) &&
        SurfaceAt(*nearest.visual, sensor_math::Transformed(ray, toVisual), normal, uv)) {
        hit.normal = glm::transpose(glm::mat3(toVisual)) * normal;
        hit.texCoord = uv;
        hit.surface = Finite(hit.normal);
    }
    return hit;
}

void CSensors::UpdateOver(const Hit& hit, const std::vector<std::size_t>* among, double time,
                          IEventSink& sink) {
    auto contains = [](const std::vector<std::size_t>& list, std::size_t i) {
        return std::find(list.begin(), list.end(), i) != list.end();
    };
    auto may = [&](std::size_t i) { return among == nullptr || contains(*among, i); };
    std::vector<std::size_t> over;
    for (std::size_t i : hit.sensors)
        if (m_table[i].kind == SensorKind::Touch && may(i)) over.push_back(i);
    for (std::size_t i : m_over)
        if (!contains(over, i) && may(i))
            Out(sink, m_table[i].node.Get(), "isOver", SFBool(false), time);
    for (std::size_t i : over)
        if (!contains(m_over, i)) Out(sink, m_table[i].node.Get(), "isOver", SFBool(true), time);
    // Hit events when the pointer moved on the geometry, or for a sensor it just reached.
    const bool moved = !m_lastPoint || *m_lastPoint != hit.point;
    for (std::size_t i : over) {
        if (!moved && contains(m_over, i)) continue;
        SingleNode* node = m_table[i].node.Get();
        const glm::mat4 toLocal = glm::inverse(m_table[i].frame->GetWorldTransform());
        if (!Finite(toLocal)) continue;
        Out(sink, node, "hitPoint_changed", ToSF(glm::vec3(toLocal * glm::vec4(hit.point, 1))),
            time);
        if (!hit.surface) continue;
        const glm::vec3 n = glm::transpose(glm::inverse(glm::mat3(toLocal))) * hit.normal;
        if (glm::length(n) > 0) Out(sink, node, "hitNormal_changed", ToSF(glm::normalize(n)), time);
        Out(sink, node, "hitTexCoord_changed", SFVec2f(hit.texCoord.x, hit.texCoord.y), time);
    }
    // Those that could not change stay as they were.
    std::vector<std::size_t> kept;
    for (std::size_t i : m_over)
        if (!may(i)) kept.push_back(i);
    kept.insert(kept.end(), over.begin(), over.end());
    m_over = std::move(kept);
    m_lastPoint = over.empty() ? std::nullopt : std::optional<glm::vec3>(hit.point);
}

void CSensors::Move(const rm::Viewport& viewport, int x, int y, double time, IEventSink& sink) {
    if (!HasPointing()) return;
    const auto ray = sensor_math::PixelRay(viewport, x, y);
    const Hit hit = ray ? Find(viewport, *ray, x, y) : Hit{};
    if (!m_pressed) {
        UpdateOver(hit, nullptr, time, sink);
        return;
    }
    // The sensors holding the pointer alone hear of it until the release.
    std::vector<std::size_t> holding;
    for (const Active& a : m_active) holding.push_back(a.index);
    UpdateOver(hit, &holding, time, sink);
    for (auto it = m_active.begin(); it != m_active.end();) {
        if (!Enabled(it->index)) {
            // Disabled during the drag: it lets go of the pointer.
            if (m_table[it->index].kind != SensorKind::Anchor)
                Out(sink, m_table[it->index].node.Get(), "isActive", SFBool(false), time);
            it = m_active.erase(it);
            continue;
        }
        if (ray) Drag(*it, *ray, time, sink);
        ++it;
    }
}

bool CSensors::Press(const rm::Viewport& viewport, int x, int y, double time, IEventSink& sink) {
    if (!HasPointing() || m_pressed) return m_pressed;
    const auto ray = sensor_math::PixelRay(viewport, x, y);
    if (!ray) return false;
    const Hit hit = Find(viewport, *ray, x, y);
    if (hit.sensors.empty()) return false;
    UpdateOver(hit, nullptr, time, sink);
    m_pressed = true;
    for (std::size_t i : hit.sensors) {
        Active active;
        active.index = i;
        const SensorRecord& record = m_table[i];
        active.toLocal = glm::inverse(record.frame->GetWorldTransform());
        if (!Finite(active.toLocal)) active.toLocal = glm::mat4(1.0f);
        active.start = glm::vec3(active.toLocal * glm::vec4(hit.point, 1.0f));
        SingleNode* node = record.node.Get();
        if (record.kind == SensorKind::Plane) {
            active.offset = glm::vec4(Vec(dynamic_cast<PlaneSensor*>(node)->offset()), 0);
        } else if (record.kind == SensorKind::Cylinder) {
            auto* c = dynamic_cast<CylinderSensor*>(node);
            active.offset.w = c->offset().Get();
            active.cylinder = sensor_math::BeginCylinderDrag(
                sensor_math::Transformed(*ray, active.toLocal), active.start, c->diskAngle().Get());
            active.lastTrack = active.start;
        } else if (record.kind == SensorKind::Sphere) {
            active.offset = Rot(dynamic_cast<SphereSensor*>(node)->offset());
        }
        if (record.kind != SensorKind::Anchor) Out(sink, node, "isActive", SFBool(true), time);
        m_active.push_back(active);
    }
    return true;
}

void CSensors::Drag(Active& a, const SensorRay& worldRay, double time, IEventSink& sink) {
    const SensorRecord& record = m_table[a.index];
    SingleNode* node = record.node.Get();
    const SensorRay ray = sensor_math::Transformed(worldRay, a.toLocal);
    if (record.kind == SensorKind::Plane) {
        auto* p = dynamic_cast<PlaneSensor*>(node);
        const auto track = sensor_math::HitPlaneZ(ray, a.start.z);
        if (!track) return;
        const glm::vec3 t = sensor_math::PlaneTranslation(
            a.start, *track, glm::vec3(a.offset), Vec(p->minPosition()), Vec(p->maxPosition()));
        if (!Finite(t)) return;
        Out(sink, node, "trackPoint_changed", ToSF(*track), time);
        Out(sink, node, "translation_changed", ToSF(t), time);
        a.last = glm::vec4(t, 0);
        a.sent = true;
    } else if (record.kind == SensorKind::Cylinder) {
        auto* c = dynamic_cast<CylinderSensor*>(node);
        const auto track = sensor_math::CylinderTrackPoint(a.cylinder, ray);
        if (!track) return;
        // Turns are added up move by move, so a drag may go round more than once.
        a.turn += sensor_math::TurnAboutY(a.lastTrack, *track);
        a.lastTrack = *track;
        const float angle = sensor_math::CylinderAngle(a.turn, a.offset.w, c->minAngle().Get(),
                                                       c->maxAngle().Get());
        if (!std::isfinite(angle)) return;
        Out(sink, node, "trackPoint_changed", ToSF(*track), time);
        Out(sink, node, "rotation_changed", SFRotation(0, 1, 0, angle), time);
        a.last.w = angle;
        a.sent = true;
    } else if (record.kind == SensorKind::Sphere) {
        const auto track = sensor_math::SphereTrackPoint(glm::length(a.start), ray);
        if (!track) return;
        const glm::vec4 r = sensor_math::SphereRotation(a.start, *track, a.offset);
        Out(sink, node, "trackPoint_changed", ToSF(*track), time);
        Out(sink, node, "rotation_changed", ToSF(r), time);
        a.last = r;
        a.sent = true;
    }
}

void CSensors::Release(const rm::Viewport& viewport, int x, int y, double time, IEventSink& sink) {
    if (!m_pressed) return;
    const auto ray = sensor_math::PixelRay(viewport, x, y);
    const Hit hit = ray ? Find(viewport, *ray, x, y) : Hit{};
    const auto over = [&](std::size_t i) {
        return std::find(hit.sensors.begin(), hit.sensors.end(), i) != hit.sensors.end();
    };
    for (const Active& a : m_active) {
        const SensorRecord& record = m_table[a.index];
        SingleNode* node = record.node.Get();
        switch (record.kind) {
            case SensorKind::Touch:
                Out(sink, node, "isActive", SFBool(false), time);
                if (over(a.index)) Out(sink, node, "touchTime", SFTime(time), time);
                break;
            case SensorKind::Plane:
                Out(sink, node, "isActive", SFBool(false), time);
                if (a.sent && dynamic_cast<PlaneSensor*>(node)->autoOffset().Get())
                    Out(sink, node, "offset", ToSF(glm::vec3(a.last)), time);
                break;
            case SensorKind::Cylinder:
                Out(sink, node, "isActive", SFBool(false), time);
                if (a.sent && dynamic_cast<CylinderSensor*>(node)->autoOffset().Get())
                    Out(sink, node, "offset", SFFloat(a.last.w), time);
                break;
            case SensorKind::Sphere:
                Out(sink, node, "isActive", SFBool(false), time);
                if (a.sent && dynamic_cast<SphereSensor*>(node)->autoOffset().Get())
                    Out(sink, node, "offset", ToSF(a.last), time);
                break;
            case SensorKind::Anchor:
                if (over(a.index)) {
                    m_anchorUrls.clear();
                    for (const SFURL& url : dynamic_cast<Anchor*>(node)->url().Values())
                        m_anchorUrls.push_back(url.Get());
                }
                break;
            default:
                break;
        }
    }
    m_active.clear();
    m_pressed = false;
    UpdateOver(hit, nullptr, time, sink);
}

std::vector<std::string> CSensors::TakeAnchorUrls() {
    return std::exchange(m_anchorUrls, {});
}

void CSensors::Step(double time, const rm::Viewport& viewport, IEventSink& sink) {
    const rm::Frame* camera = viewport.GetCamera();
    // A scene without sensors pays nothing a step.
    if (camera == nullptr || m_table.empty()) return;
    const glm::mat4 cam = camera->GetWorldTransform();
    const glm::mat4 worldToClip = viewport.Projection() * glm::inverse(cam);
    for (std::size_t i = 0; i < m_table.size(); ++i) {
        const SensorRecord& record = m_table[i];
        if (IsPointing(record.kind)) continue;
        SingleNode* node = record.node.Get();
        Environment& env = m_environment[i];
        const glm::mat4 toWorld = record.frame->GetWorldTransform();
        const glm::mat4 toLocal = glm::inverse(toWorld);
        bool inside = false;
        glm::vec3 position(0.0f);
        glm::vec4 orientation(0, 0, 1, 0);
        if (record.kind == SensorKind::Proximity) {
            auto* p = dynamic_cast<ProximitySensor*>(node);
            const glm::vec3 center = Vec(p->center()), size = Vec(p->size());
            position = glm::vec3(toLocal * cam[3]);
            // A box with a side of 0 (the default) holds nothing.
            inside = Enabled(i) && size.x > 0 && size.y > 0 && size.z > 0 && Finite(position) &&
                     glm::all(glm::lessThanEqual(glm::abs(position - center), 0.5f * size));
            if (inside) {
                // The camera's axes in the sensor's coordinates, without their scale.
                glm::mat3 axes = glm::mat3(toLocal * cam);
                for (int c = 0; c < 3; ++c)
                    if (glm::length(axes[c]) > 0) axes[c] = glm::normalize(axes[c]);
                const glm::quat q = glm::normalize(glm::quat_cast(axes));
                const float s = std::sqrt(std::max(0.0f, 1.0f - q.w * q.w));
                if (s > 1e-6f)
                    orientation = {q.x / s, q.y / s, q.z / s,
                                   2.0f * std::acos(std::clamp(q.w, -1.0f, 1.0f))};
            }
        } else {
            auto* v = dynamic_cast<VisibilitySensor*>(node);
            const glm::vec3 size = Vec(v->size());
            inside = Enabled(i) && size.x > 0 && size.y > 0 && size.z > 0 &&
                     sensor_math::BoxInView(Vec(v->center()), size, toWorld, worldToClip);
        }
        if (!inside) {
            if (env.active) {
                Out(sink, node, "isActive", SFBool(false), time);
                Out(sink, node, "exitTime", SFTime(time), time);
            }
            env.active = false;
            continue;
        }
        const bool entering = !env.active;
        if (entering) {
            Out(sink, node, "isActive", SFBool(true), time);
            Out(sink, node, "enterTime", SFTime(time), time);
        }
        env.active = true;
        if (record.kind != SensorKind::Proximity) continue;
        if (entering || position != env.position)
            Out(sink, node, "position_changed", ToSF(position), time);
        if (entering || orientation != env.orientation)
            Out(sink, node, "orientation_changed", ToSF(orientation), time);
        env.position = position;
        env.orientation = orientation;
    }
}

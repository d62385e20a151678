#include "rendermodule/router.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <string>

#include "node/nodes.h"
#include "rendermodule/mm_clock.h"
#include "trace/message_sink.h"

namespace {

constexpr int kColorInterpolator = ColorInterpolator::kNodeType;              // 19
constexpr int kOrientationInterpolator = OrientationInterpolator::kNodeType;  // 66
constexpr int kPositionInterpolator = PositionInterpolator::kNodeType;        // 73
constexpr int kTimeSensor = TimeSensor::kNodeType;                            // 92
constexpr int kTransform = Transform::kNodeType;                              // 94
constexpr int kViewpoint = Viewpoint::kNodeType;                              // 97

int TypeOf(const SingleNode* node) {
    return node ? GetNodeType(*node) : 0;
}

// Seconds to whole milliseconds, truncated toward zero, as an unsigned 32-bit
// count (negative times wrap around like the clock does). Not-a-number and
// infinities count as 0.
std::uint32_t Milliseconds(double seconds) {
    double ms = std::trunc(seconds * 1000.0);
    if (!std::isfinite(ms) || std::fabs(ms) >= 9.2e18) return 0;
    return static_cast<std::uint32_t>(static_cast<std::int64_t>(ms));
}

const std::vector<rm::Ptr<rm::Object>>* Lookup(const NodeObjectTable* table,
                                               const SingleNode* node) {
    if (table == nullptr) return nullptr;
    auto it = table->find(node);
    return it == table->end() ? nullptr : &it->second;
}

// The name of the field a route ends at; empty when the node has none at that index.
std::string FieldName(const Route& route) {
    std::string name;
    if (route.toNode.Get() == nullptr || route.toNode->GetFieldName(route.toField, name) != 0)
        name.clear();
    return name;
}

}  // namespace

void CRouter::Reset(const InterpolatorTable* interpolators, const NodeObjectTable* objects,
                    rm::RetainedMode* rm, rm::Frame* camera, const ViewpointList* viewpoints) {
    m_interpolators = interpolators;
    m_objects = objects;
    m_rm = rm;
    m_camera = camera;
    m_viewpoints = viewpoints;
}

int CRouter::DealRoute(const RouteList* routes) {
    m_routes = routes;
    m_records.clear();
    m_placements.clear();
    // The last viewpoint of the scene is the one the camera shows after loading.
    m_bound.Reset();
    if (m_viewpoints != nullptr && !m_viewpoints->empty()) m_bound = m_viewpoints->back().frame;
    if (routes == nullptr) return 0;
    for (const Route& route : *routes) {
        switch (TypeOf(route.fromNode.Get())) {
            case kTimeSensor:
                Route_TimeSensor(route);
                break;
            case kColorInterpolator:
                Route_ColorInterpolator(route);
                break;
            case kOrientationInterpolator:
                Route_OrientationInterpolator(route);
                break;
            case kPositionInterpolator:
                Route_PositionInterpolator(route);
                break;
            default:
                ShowMessage("CRoute::DealRoute, unrecognized node id");
                break;
        }
    }
    return 0;
}

CRouter::AnimationRecord* CRouter::FindRecord(const SingleNode* interpolatorNode) {
    for (AnimationRecord& r : m_records)
        if (r.interpolatorNode == interpolatorNode) return &r;
    return nullptr;
}

void CRouter::Route_TimeSensor(const Route& route) {
    AnimationRecord record;
    if (auto* sensor = dynamic_cast<const TimeSensor*>(route.fromNode.Get())) {
        record.cycle = Milliseconds(sensor->cycleInterval().Get());
        record.start = Milliseconds(sensor->startTime().Get());
        record.loop = sensor->loop().Get();
    }
    record.interpolatorNode = route.toNode.Get();
    auto found = m_interpolators ? m_interpolators->find(route.toNode.Get())
                                 : InterpolatorTable::const_iterator{};
    if (m_interpolators && found != m_interpolators->end()) {
        record.interpolator = found->second;
    } else {
        ShowMessage("cannot find Interpolator! CRouter::Route_TimeSensor");
    }
    int toType = TypeOf(route.toNode.Get());
    if (toType != kColorInterpolator && toType != kOrientationInterpolator &&
        toType != kPositionInterpolator) {
        ShowMessage("unrecognized node name, CRouter::Route_TImeSensor");
    }
    m_records.push_back(std::move(record));
}

bool CRouter::PlacementOutput(const Route& route, Output* out) {
    const auto* objects = Lookup(m_objects, route.toNode.Get());
    if (objects == nullptr) return false;
    std::vector<rm::Ptr<rm::Frame>> frames;
    for (const rm::Ptr<rm::Object>& object : *objects)
        if (auto* frame = dynamic_cast<rm::Frame*>(object.Get())) frames.emplace_back(frame);
    if (frames.empty()) return false;
    auto [it, made] = m_placements.try_emplace(route.toNode.Get());
    Placement& placement = it->second;
    if (made) {
        // Fields no route drives keep the node's values.
        if (auto* t = dynamic_cast<const Transform*>(route.toNode.Get()))
            placement.fields = FieldsOf(*t);
        else if (auto* v = dynamic_cast<const Viewpoint*>(route.toNode.Get()))
            placement.fields = FieldsOf(*v);
        placement.frames = std::move(frames);
    }
    out->node = route.toNode.Get();
    out->field = route.toField;
    out->objects = *objects;
    out->placement = &placement;
    return true;
}

void CRouter::Route_OrientationInterpolator(const Route& route) {
    AnimationRecord* record = FindRecord(route.fromNode.Get());
    if (record == nullptr) return;  // nothing feeds this interpolator
    int toType = TypeOf(route.toNode.Get());
    Output out;
    if ((toType != kTransform && toType != kViewpoint) || !PlacementOutput(route, &out)) {
        ShowMessage("cannot find pointer of frame! CRouter::Route_OrientationInterpolator");
        return;
    }
    // A Transform's scaleOrientation, or else its rotation or a Viewpoint's orientation.
    out.rotation = toType == kTransform && FieldName(route) == "scaleOrientation"
                       ? &TransformFields::scaleOrientation
                       : &TransformFields::rotation;
    record->outputs.push_back(std::move(out));
}

void CRouter::Route_PositionInterpolator(const Route& route) {
    AnimationRecord* record = FindRecord(route.fromNode.Get());
    if (record == nullptr) return;
    Output out;
    switch (TypeOf(route.toNode.Get())) {
        case kTransform: {
            if (!PlacementOutput(route, &out)) {
                ShowMessage("cannot find pointer of frame! CRouter::Route_PositionInterpolator");
                return;
            }
            // A Transform's scale or center, or else its translation.
            std::string field = FieldName(route);
            out.vector = field == "scale"    ? &TransformFields::scale
                         : field == "center" ? &TransformFields::center
                                             : &TransformFields::translation;
            break;
        }
        case kViewpoint:
            // A viewpoint translation made no frame for has no camera to move either.
            if (!PlacementOutput(route, &out)) return;
            out.vector = &TransformFields::translation;  // its position
            break;
        default:
            ShowMessage("型別尚未定義, CRouter::Route_PositionInterpolator");
            return;
    }
    record->outputs.push_back(std::move(out));
}

void CRouter::Route_ColorInterpolator(const Route& route) {
    AnimationRecord* record = FindRecord(route.fromNode.Get());
    if (record == nullptr) return;
    Output out;
    out.node = route.toNode.Get();
    out.field = route.toField;
    const auto* meshes = Lookup(m_objects, route.toNode.Get());
    bool all = meshes != nullptr && !meshes->empty();
    for (std::size_t i = 0; all && i < meshes->size(); ++i)
        all = dynamic_cast<rm::MeshBuilder*>((*meshes)[i].Get()) != nullptr;
    if (!all) {
        ShowMessage("cannot find pointer of meshbuilder! CRouter::Route_ColorInterpolator");
        return;
    }
    out.objects = *meshes;
    record->outputs.push_back(std::move(out));
}

int CRouter::Refresh() {
    return Refresh(TimeGetTime());
}

int CRouter::Refresh(std::uint32_t now) {
    for (AnimationRecord& r : m_records) {
        std::uint32_t begin = m_startTime + r.start;
        if (now < begin) continue;
        std::uint32_t elapsed = now - begin;
        // A cycle of 0 ms cannot be divided by: its fraction stays 0.
        double f = 0.0;
        if (r.cycle != 0)
            f = r.loop ? double(elapsed % r.cycle) / r.cycle : double(elapsed) / r.cycle;
        std::uint8_t kind = r.interpolator.GetKind();
        if (kind != kColorInterpolator && kind != kOrientationInterpolator &&
            kind != kPositionInterpolator) {
            ShowMessage("unrecognized Interpolator in CRouter::Refresh()");
            continue;
        }
        // A record without keys (or without a target) has nothing to apply.
        if (!r.interpolator.HasKeys() || r.outputs.empty()) continue;
        double a[4];
        r.interpolator.Interpolate(f, a);
        auto x = static_cast<float>(a[0]), y = static_cast<float>(a[1]),
             z = static_cast<float>(a[2]), w = static_cast<float>(a[3]);
        for (Output& out : r.outputs) {
            if (kind == kColorInterpolator) {
                for (const rm::Ptr<rm::Object>& mesh : out.objects)
                    ApplyColor(dynamic_cast<rm::MeshBuilder*>(mesh.Get()), out.node, out.field, x,
                               y, z);
            } else if (out.placement != nullptr) {
                if (kind == kOrientationInterpolator && out.rotation != nullptr)
                    out.placement->fields.*out.rotation = glm::vec4(x, y, z, w);
                else if (kind == kPositionInterpolator && out.vector != nullptr)
                    out.placement->fields.*out.vector = glm::vec3(x, y, z);
                out.placement->moved = true;
            }
        }
    }
    PlaceMovedFrames();
    return 0;
}

void CRouter::PlaceMovedFrames() {
    std::vector<const rm::Frame*> moved;
    for (auto& [node, placement] : m_placements) {
        if (!placement.moved) continue;
        placement.moved = false;
        for (const rm::Ptr<rm::Frame>& frame : placement.frames) {
            PlaceFrame(*frame, placement.fields);
            moved.push_back(frame.Get());
        }
    }
    if (moved.empty() || !m_bound || m_camera == nullptr) return;
    for (const rm::Frame* f = m_bound.Get(); f != nullptr; f = f->GetParent()) {
        if (std::find(moved.begin(), moved.end(), f) != moved.end()) {
            PlaceCamera(*m_camera, *m_bound);
            return;
        }
    }
}

void CRouter::ApplyColor(rm::MeshBuilder* mb, const SingleNode* node, int field, float r, float g,
                         float b) {
    auto* material = dynamic_cast<const Material*>(node);
    if (mb == nullptr || material == nullptr || m_rm == nullptr) return;
    rm::Ptr<rm::Material> m;
    if (rm::Failed(m_rm->CreateMaterial(SpecularPower(material->shininess().Get()), m.Put())))
        return;
    const SFColor& d = material->diffuseColor();
    const SFColor& e = material->emissiveColor();
    const SFColor& s = material->specularColor();
    glm::vec3 diffuse(d.GetR(), d.GetG(), d.GetB());
    glm::vec3 emissive(e.GetR(), e.GetG(), e.GetB());
    glm::vec3 specular(s.GetR(), s.GetG(), s.GetB());
    // The meshbuilder's material holds the node's colours as other routes have
    // set them since: a route to one colour leaves the others as they are now.
    if (const rm::Material* current = mb->GetMaterial()) {
        diffuse = current->GetAmbient().value_or(diffuse);
        emissive = current->GetEmissive();
        specular = current->GetSpecular();
    }
    if (field == 1) diffuse = {r, g, b};
    if (field == 2) emissive = {r, g, b};
    if (field == 4) specular = {r, g, b};
    m->SetAmbient(diffuse.r, diffuse.g, diffuse.b);
    m->SetEmissive(emissive.r, emissive.g, emissive.b);
    m->SetSpecular(specular.r, specular.g, specular.b);
    mb->SetMaterial(m.Get());
}

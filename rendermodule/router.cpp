#include "rendermodule/router.h"

#include <cmath>
#include <cstdint>

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

const rm::Ptr<rm::Object>* Lookup(const NodeObjectTable* table, const SingleNode* node) {
    if (table == nullptr) return nullptr;
    auto it = table->find(node);
    return it == table->end() ? nullptr : &it->second;
}

}  // namespace

void CRouter::Reset(const InterpolatorTable* interpolators, const NodeObjectTable* objects,
                    rm::RetainedMode* rm, rm::Frame* camera) {
    m_interpolators = interpolators;
    m_objects = objects;
    m_rm = rm;
    m_camera = camera;
}

int CRouter::DealRoute(const RouteList* routes) {
    m_routes = routes;
    m_records.clear();
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

void CRouter::Route_OrientationInterpolator(const Route& route) {
    AnimationRecord* record = FindRecord(route.fromNode.Get());
    if (record == nullptr) return;  // nothing feeds this interpolator
    const auto* frame = Lookup(m_objects, route.toNode.Get());
    if (frame == nullptr || dynamic_cast<rm::Frame*>(frame->Get()) == nullptr) {
        ShowMessage("cannot find pointer of frame! CRouter::Route_OrientationInterpolator");
        return;
    }
    record->target = *frame;
}

void CRouter::Route_PositionInterpolator(const Route& route) {
    AnimationRecord* record = FindRecord(route.fromNode.Get());
    if (record == nullptr) return;
    switch (TypeOf(route.toNode.Get())) {
        case kTransform: {
            const auto* frame = Lookup(m_objects, route.toNode.Get());
            if (frame == nullptr || dynamic_cast<rm::Frame*>(frame->Get()) == nullptr) {
                ShowMessage("cannot find pointer of frame! CRouter::Route_PositionInterpolator");
                return;
            }
            record->target = *frame;
            break;
        }
        case kViewpoint:
            record->target = rm::Ptr<rm::Object>(m_camera);
            break;
        default:
            ShowMessage("型別尚未定義, CRouter::Route_PositionInterpolator");
            break;
    }
}

void CRouter::Route_ColorInterpolator(const Route& route) {
    AnimationRecord* record = FindRecord(route.fromNode.Get());
    if (record == nullptr) return;
    record->colorTargetNode = route.toNode.Get();
    record->colorTargetField = route.toField;
    const auto* mesh = Lookup(m_objects, route.toNode.Get());
    if (mesh == nullptr || dynamic_cast<rm::MeshBuilder*>(mesh->Get()) == nullptr) {
        ShowMessage("cannot find pointer of meshbuilder! CRouter::Route_ColorInterpolator");
        return;
    }
    record->target = *mesh;
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
        if (!r.interpolator.HasKeys() || !r.target) continue;
        double a[4];
        r.interpolator.Interpolate(f, a);
        auto x = static_cast<float>(a[0]), y = static_cast<float>(a[1]),
             z = static_cast<float>(a[2]), w = static_cast<float>(a[3]);
        if (kind == kColorInterpolator) {
            ApplyColor(dynamic_cast<rm::MeshBuilder*>(r.target.Get()), r.colorTargetNode,
                       r.colorTargetField, x, y, z);
        } else if (auto* frame = dynamic_cast<rm::Frame*>(r.target.Get())) {
            if (kind == kOrientationInterpolator)
                frame->AddRotation(rm::Combine::Replace, x, y, z, w);
            else
                frame->AddTranslation(rm::Combine::Replace, x, y, z);
        }
    }
    return 0;
}

void CRouter::ApplyColor(rm::MeshBuilder* mb, const SingleNode* node, int field, float r, float g,
                         float b) {
    auto* material = dynamic_cast<const Material*>(node);
    if (mb == nullptr || material == nullptr || m_rm == nullptr) return;
    rm::Ptr<rm::Material> m;
    if (rm::Failed(m_rm->CreateMaterial(1.0f / material->shininess().Get(), m.Put()))) return;
    const SFColor& diffuse = material->diffuseColor();
    const SFColor& emissive = material->emissiveColor();
    const SFColor& specular = material->specularColor();
    if (field == 1)
        m->SetAmbient(r, g, b);
    else
        m->SetAmbient(diffuse.GetR(), diffuse.GetG(), diffuse.GetB());
    if (field == 2)
        m->SetEmissive(r, g, b);
    else
        m->SetEmissive(emissive.GetR(), emissive.GetG(), emissive.GetB());
    if (field == 4)
        m->SetSpecular(r, g, b);
    else
        m->SetSpecular(specular.GetR(), specular.GetG(), specular.GetB());
    mb->SetMaterial(m.Get());
}

#include "rendermodule/router.h"

#include <algorithm>
#include <cmath>
#include <string>
#include <typeinfo>

#include "node/node_impl.h"
#include "node/nodes.h"
#include "rendermodule/interpolate.h"
#include "rendermodule/mm_clock.h"
#include "rendermodule/node_dealer.h"
#include "trace/message_sink.h"

namespace {

// The bindable node types, in the order of the router's stacks.
constexpr int kBindable[4] = {Viewpoint::kNodeType, Background::kNodeType,
                              NavigationInfo::kNodeType, Fog::kNodeType};
int StackOf(int type) {
    for (int k = 0; k < 4; ++k)
        if (kBindable[k] == type) return k;
    return -1;
}

// TimeSensor fields (ALL numbering).
enum : int {
    kCycleInterval = 0,
    kEnabled = 1,
    kLoop = 2,
    kStartTime = 3,
    kStopTime = 4,
    kCycleTime = 5,
    kFractionChanged = 6,
    kIsActive = 7,
    kTime = 8
};

// The ALL index of the field called `name`; -1 when the node has none.
int FieldNamed(const SingleNode& node, const char* name) {
    std::string n;
    for (int i = 0; i < 64; ++i) {
        if (node.GetFieldName(i, n) != 0) return -1;
        if (n == name) return i;
    }
    return -1;
}

// What a route end is: its value type (SFURL counts as SFString), list or not,
// and whether it sends (eventOut, exposedField) or takes (eventIn,
// exposedField). Unknown for a node without a description and a value there.
struct Signature {
    bool known = false;
    std::uint8_t type = kFieldNoType;
    bool multi = false;
    bool sends = true, takes = true;
};

Signature SignatureOf(SingleNode* node, int field) {
    Signature s;
    if (auto* impl = dynamic_cast<NodeImpl*>(node)) {
        if (const FieldDesc* d = impl->FieldInfo(field)) {
            s.known = true;
            s.type = d->type;
            s.multi = d->multi;
            s.sends = d->kind == FieldKind::EventOut || d->kind == FieldKind::ExposedField;
            s.takes = d->kind == FieldKind::EventIn || d->kind == FieldKind::ExposedField;
        }
    } else if (Field* f = node ? node->GetField(field) : nullptr) {
        s.known = true;
        s.type = f->GetFieldType();
        s.multi = f->IsSingle() == 0;
    }
    if (s.type == kFieldSFURL) s.type = kFieldSFString;
    if (s.type == kFieldMFNode) {
        s.type = kFieldSFNode;
        s.multi = true;
    }
    return s;
}

std::string TypeName(const Signature& s) {
    static const char* const kNames[] = {"?",        "Node",   "Bool", "Color",  "Float", "Int32",
                                         "Rotation", "String", "Time", "String", "Vec2f", "Vec3f"};
    const char* name = s.type < std::size(kNames) ? kNames[s.type] : "?";
    return std::string(s.multi ? "MF" : "SF") + name;
}

std::string NodeName(const SingleNode* node) {
    std::string name;
    if (node == nullptr || GetNodeTypeName(GetNodeType(*node), name) != 0 || name.empty())
        name = "node";
    return name;
}

std::string EndName(const SingleNode* node, int field) {
    std::string f;
    if (node == nullptr || node->GetFieldName(field, f) != 0) f = std::to_string(field);
    return NodeName(node) + "." + f;
}

// Copies a value of the same concrete class: T is SFxxx, or MFField<SFxxx> for lists.
template <class T>
void CopyOf(Field& target, const Field& value) {
    static_cast<T&>(target) = static_cast<const T&>(value);
}

// The unchecked copy for a stored field of one of the classes animations set;
// the caller checks that a value is of the same class.
using CopyFunction = void (*)(Field&, const Field&);
CopyFunction CopyFor(const Field& target) {
    const bool single = target.IsSingle() != 0;
    switch (target.GetFieldType()) {
        case kFieldSFFloat:
            return single ? CopyOf<SFFloat> : CopyOf<MFField<SFFloat>>;
        case kFieldSFVec3f:
            return single ? CopyOf<SFVec3f> : CopyOf<MFField<SFVec3f>>;
        case kFieldSFRotation:
            return single ? CopyOf<SFRotation> : CopyOf<MFField<SFRotation>>;
        case kFieldSFColor:
            return single ? CopyOf<SFColor> : CopyOf<MFField<SFColor>>;
        case kFieldSFVec2f:
            return single ? CopyOf<SFVec2f> : CopyOf<MFField<SFVec2f>>;
        default:
            return nullptr;
    }
}

// Copies `value` into `target`; lists of strings and of urls take each other's text.
bool Assign(Field& target, const Field& value) {
    // The common case without run-time type checks: the same class.
    if (const CopyFunction copy = CopyFor(target);
        copy != nullptr && typeid(value) == typeid(target)) {
        copy(target, value);
        return true;
    }
    if (auto* sf = dynamic_cast<SFField*>(&target)) {
        if (sf->AssignFrom(value) == 0) return true;
        auto* from = dynamic_cast<const SFField*>(&value);
        std::string text;
        return from != nullptr && from->ToString(text) == 0 && sf->FromString(text) == 0;
    }
    if (auto* mf = dynamic_cast<MultiField*>(&target)) {
        if (mf->AssignFrom(value) == 0) return true;
        auto* from = dynamic_cast<const MultiField*>(&value);
        if (from == nullptr) return false;
        mf->Clear();
        std::string text;
        for (int i = 0; i < from->GetCount(); ++i)
            if (from->GetElement(i)->ToString(text) == 0) mf->InsertFromString(i, text);
        return true;
    }
    return false;
}

const std::vector<rm::Ptr<rm::Object>>* ObjectsOf(const NodeObjectTable* table,
                                                  const SingleNode* node) {
    if (table == nullptr) return nullptr;
    auto it = table->find(node);
    return it == table->end() ? nullptr : &it->second;
}

// The first node of each bindable type in the scene's own file: a depth-first
// walk over node fields that does not enter Inline nodes.
void FirstBindables(SingleNode* node, SingleNode* (&first)[4], int depth) {
    if (node == nullptr || depth > 256) return;
    const int type = GetNodeType(*node);
    if (type == Inline::kNodeType) return;
    const int k = StackOf(type);
    if (k >= 0 && first[k] == nullptr) first[k] = node;
    for (std::uint8_t def : node->GetDEFNodeFields()) {
        Field* f = node->GetDEFField(def);
        if (auto* child = AsNode(f)) FirstBindables(child, first, depth + 1);
        if (auto* list = dynamic_cast<MultiNode*>(f))
            for (SingleNode* child : list->Nodes()) FirstBindables(child, first, depth + 1);
    }
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

CRouter::NodeState& CRouter::StateOf(SingleNode* node) {
    auto [it, made] = m_nodes.try_emplace(node);
    if (made && node != nullptr) {
        it->second.type = GetNodeType(*node);
        it->second.impl = dynamic_cast<NodeImpl*>(node);
        if (it->second.type == Transform::kNodeType)
            it->second.transform = dynamic_cast<Transform*>(node);
        if (it->second.type == Material::kNodeType)
            it->second.material = dynamic_cast<Material*>(node);
        it->second.objects = ObjectsOf(m_objects, node);
        if (it->second.transform != nullptr && it->second.objects != nullptr &&
            it->second.objects->size() == 1)
            it->second.frame = static_cast<rm::Frame*>(it->second.objects->front().Get());
        if (IsInterpolatorType(it->second.type))
            it->second.interpolator = InterpolatorFieldsOf(*node);
    }
    return it->second;
}

int CRouter::DealRoute(const RouteList* routes, SingleNode* root) {
    // Receivers stay (a render-quality change deals the same routes again).
    std::vector<std::pair<SingleNode*, IEventReceiver*>> receivers;
    for (auto& [node, state] : m_nodes)
        if (state.receiver) receivers.emplace_back(const_cast<SingleNode*>(node), state.receiver);
    m_routes = routes;
    m_routeRecords.clear();
    m_nodes.clear();
    m_sensors.clear();
    m_queue.clear();
    m_dirty.clear();
    m_receiving.clear();
    m_touchedSensors.clear();
    for (auto& stack : m_stacks) stack.clear();
    m_bound.Reset();
    m_lastTime = -1e300;
    for (auto& [node, receiver] : receivers) SetReceiver(node, receiver);

    if (routes != nullptr) {
        for (const Route& route : *routes) {
            SingleNode* from = route.fromNode.Get();
            SingleNode* to = route.toNode.Get();
            if (from == nullptr || to == nullptr) {
                ShowMessage("CRoute::DealRoute, unrecognized node id");
                continue;
            }
            const Signature out = SignatureOf(from, route.fromField);
            const Signature in = SignatureOf(to, route.toField);
            const std::string name =
                "ROUTE " + EndName(from, route.fromField) + " TO " + EndName(to, route.toField);
            if (out.known && !out.sends) {
                ShowMessage(name + " dropped: " + EndName(from, route.fromField) +
                            " sends no events");
                continue;
            }
            if (in.known && !in.takes) {
                ShowMessage(name + " dropped: " + EndName(to, route.toField) + " takes no events");
                continue;
            }
            if (out.known && in.known && (out.type != in.type || out.multi != in.multi)) {
                ShowMessage(name + " dropped: " + TypeName(out) + " to " + TypeName(in));
                continue;
            }
            const int index = static_cast<int>(m_routeRecords.size());
            RouteRecord record;
            record.from = from;
            record.fromField = route.fromField;
            record.to = to;
            record.toField = route.toField;
            record.toState = &StateOf(to);
            m_routeRecords.push_back(record);
            StateOf(from).out.push_back(index);
        }
    }
    // TimeSensors that send anything run every step.
    for (auto& [node, state] : m_nodes) {
        if (state.type != TimeSensor::kNodeType || state.out.empty()) continue;
        auto* sensor = dynamic_cast<TimeSensor*>(const_cast<SingleNode*>(node));
        if (sensor == nullptr) continue;
        state.sensor = static_cast<int>(m_sensors.size());
        m_sensors.push_back({sensor});
    }
    // Routes into a plain field (no interpolator's set_fraction, no TimeSensor,
    // no set_bind) store straight into it.
    for (RouteRecord& r : m_routeRecords) {
        NodeState& to = *r.toState;
        if (IsInterpolatorType(to.type) && r.toField == kInterpolatorFraction) {
            r.via = Via::Interpolate;
            continue;
        }
        if (to.sensor >= 0 || (StackOf(to.type) >= 0 && r.toField == FieldNamed(*r.to, "set_bind")))
            continue;
        r.target = Resolve(r.to, to, r.toField);
        r.via = Via::Store;
    }
    // Bind stacks: the first of each kind in the scene's own file.
    SingleNode* first[4] = {};
    FirstBindables(root, first, 0);
    // A Viewpoint translation made no frame for cannot take the camera: the
    // first one it did make a frame for does.
    if (first[0] != nullptr && m_objects != nullptr && ObjectsOf(m_objects, first[0]) == nullptr) {
        for (const auto& [node, objects] : *m_objects)
            if (GetNodeType(*node) == Viewpoint::kNodeType && !objects.empty() &&
                (m_viewpoints == nullptr || m_viewpoints->empty() ||
                 m_viewpoints->front().frame.Get() == objects.front().Get())) {
                first[0] = node.Get();
                break;
            }
    }
    // The head light of the first NavigationInfo is the render module's to set at load.
    for (int k = 0; k < 4; ++k)
        if (first[k] != nullptr) Bind(first[k], true, 0.0, k != 2);
    if (first[3] == nullptr) ApplyBound(3);  // no fog left from a scene before
    if (first[0] == nullptr && m_viewpoints != nullptr && !m_viewpoints->empty())
        m_bound = m_viewpoints->front().frame;
    return 0;
}

void CRouter::ClearReceivers() {
    for (auto& [node, state] : m_nodes) state.receiver = nullptr;
}

void CRouter::SetReceiver(SingleNode* node, IEventReceiver* receiver) {
    if (node == nullptr) return;
    StateOf(node).receiver = receiver;
}

SingleNode* CRouter::BoundNode(int kind) const {
    const int k = StackOf(kind);
    return k < 0 || m_stacks[k].empty() ? nullptr : m_stacks[k].back();
}

void CRouter::Emit(SingleNode* node, int field, std::unique_ptr<Field> value, double time) {
    if (node == nullptr || value == nullptr) return;
    Enqueue(node, field, std::move(value), nullptr, time);
}

void CRouter::Enqueue(SingleNode* node, int field, std::unique_ptr<Field> value,
                      const Field* borrowed, double time) {
    // An event no route leaves by goes nowhere.
    auto it = m_nodes.find(node);
    if (it == m_nodes.end() || it->second.out.empty()) return;
    const Field* v = value ? value.get() : borrowed;
    m_queue.push_back(Event{&it->second, node, field, std::move(value), v, time});
}

int CRouter::Refresh() {
    return Refresh(TimeGetTime());
}

int CRouter::Refresh(std::uint32_t now) {
    Step(TimeOf(now));
    return 0;
}

void CRouter::Step(double now) {
    if (m_sensors.empty() && m_queue.empty()) return;  // a scene without routes pays nothing
    if (m_stepping) return;
    m_stepping = true;
    ++m_stepNumber;
    if (now < m_lastTime) {
        // Time went back (Play again): the TimeSensors start over.
        for (SensorState& s : m_sensors) s = SensorState{s.node};
        for (RouteRecord& r : m_routeRecords) r.last = -1e300;
        for (auto& [node, state] : m_nodes) state.processed = -1e300;
    }
    for (SensorState& s : m_sensors) Route_TimeSensor(s, now);
    Drain();
    // What receivers send when told the step's events are in, and TimeSensors
    // that events started: each round at the same time, until nothing is left.
    for (int round = 0; round < 16 && (!m_receiving.empty() || !m_touchedSensors.empty());
         ++round) {
        std::vector<int> touched;
        touched.swap(m_touchedSensors);
        for (int i : touched) Route_TimeSensor(m_sensors[i], now);
        std::vector<SingleNode*> receiving;
        receiving.swap(m_receiving);
        for (SingleNode* node : receiving) {
            NodeState& state = StateOf(node);
            state.received = false;
            // Once a step, however many rounds bring it events.
            if (state.receiver == nullptr || state.processed == now) continue;
            state.processed = now;
            state.receiver->EventsProcessed(now, *this);
        }
        Drain();
    }
    m_lastTime = now;
    ApplyChanges();
    m_stepping = false;
}

void CRouter::Drain() {
    // Each route carries one event per timestamp; a receiver that keeps sending
    // new timestamps is cut off after this many events in one step.
    const std::size_t limit = 16 * (m_routeRecords.size() + 64) + 100000;
    std::size_t handled = 0;
    while (!m_queue.empty()) {
        Event e = std::move(m_queue.front());
        m_queue.pop_front();
        if (++handled > limit) {
            ShowMessage("CRouter: too many events in one step; the rest were dropped");
            m_queue.clear();
            break;
        }
        Fanout(*e.state, e.field, *e.value, e.time);
    }
}

void CRouter::Fanout(NodeState& from, int field, const Field& value, double time) {
    // Delivering may add states to the map (they stay put), never routes.
    for (int index : from.out) {
        RouteRecord& r = m_routeRecords[index];
        if (r.fromField != field || r.last == time) continue;
        r.last = time;
        ++m_delivered;
        NodeState& to = *r.toState;
        if (to.receiver != nullptr || r.via == Via::Deliver)
            Deliver(r.to, to, r.toField, value, time);
        else if (r.via == Via::Store)
            Store(r.to, to, r.target, value, time);
        else
            RunInterpolator(r.to, to, value, time);
    }
}

void CRouter::Report(const SingleNode* node, const std::string& problem) {
    ShowMessage(NodeName(node) + ": " + problem);
}

void CRouter::Deliver(SingleNode* to, NodeState& state, int field, const Field& value,
                      double time) {
    if (state.receiver != nullptr) {
        if (!state.received) {
            state.received = true;
            m_receiving.push_back(to);
        }
        state.receiver->Receive(to, field, value, time, *this);
        return;
    }
    if (IsInterpolatorType(state.type) && field == kInterpolatorFraction) {
        RunInterpolator(to, state, value, time);
        return;
    }
    if (const int k = StackOf(state.type); k >= 0 && field == FieldNamed(*to, "set_bind")) {
        if (auto* b = dynamic_cast<const SFBool*>(&value)) Bind(to, b->Get(), time);
        return;
    }
    if (state.sensor >= 0 && !TimeSensorTakes(m_sensors[state.sensor], field, value, time)) return;
    SetNodeField(to, state, field, value, time);
}

inline void CRouter::RunInterpolator(SingleNode* node, NodeState& state, const Field& value,
                                     double time) {
    // An interpolator no route leaves by has nothing to do.
    if (state.out.empty() || typeid(value) != typeid(SFFloat)) return;
    InterpolatorOutput out;
    const Field* sent =
        Interpolate(state.interpolator, static_cast<const SFFloat&>(value).Get(), out, &m_problem);
    if (sent == nullptr) {
        if (!m_problem.empty()) Report(node, m_problem);
        m_problem.clear();
        return;
    }
    // Sent on at once, without a queued copy: the step of an animation of
    // thousands of interpolators allocates nothing for their values. Chains
    // of interpolators deeper than this wait in the queue instead.
    constexpr int kMaxDepth = 32;
    if (m_depth < kMaxDepth) {
        ++m_depth;
        Fanout(state, kInterpolatorValue, *sent, time);
        --m_depth;
    } else {
        std::unique_ptr<Field> owned = out.Take();
        const Field* raw = owned.get();
        m_queue.push_back(Event{&state, node, kInterpolatorValue, std::move(owned), raw, time});
    }
}

CRouter::Target CRouter::Resolve(SingleNode* node, NodeState& state, int field) {
    Target t;
    t.field = field;
    if (NodeImpl* impl = state.impl) {
        const FieldDesc* d = impl->FieldInfo(field);
        if (d == nullptr) return t;
        if (d->role == FieldRole::Forward && d->target >= 0) t.field = d->target;
        const FieldDesc* target = impl->FieldInfo(t.field);
        t.exposed = target != nullptr && target->kind == FieldKind::ExposedField;
    }
    Field* stored = node->GetField(t.field);
    // Node-valued fields (children lists) are not set by events here.
    if (stored != nullptr && stored->GetFieldType() != kFieldSFNode &&
        stored->GetFieldType() != kFieldMFNode) {
        t.stored = stored;
        t.copy = CopyFor(*stored);
    }
    return t;
}

inline void CRouter::Store(SingleNode* node, NodeState& state, const Target& target,
                           const Field& value, double time) {
    if (target.copy != nullptr && typeid(value) == typeid(*target.stored))
        target.copy(*target.stored, value);
    else if (target.stored == nullptr || !Assign(*target.stored, value))
        return;
    if (state.transform != nullptr && state.placedStep != m_stepNumber) {
        // A Transform's frames are placed at its first change of a step, while
        // the node is at hand (animations move thousands a step); one that
        // changes again in the step is placed once more at the end of it.
        state.placedStep = m_stepNumber;
        const SFVec3f& t = state.transform->translation();
        if (state.placementKnown && target.stored == &t)
            MoveFrames(state, OriginWith(state.placement, {t.GetX(), t.GetY(), t.GetZ()}));
        else
            PlaceTransform(state);
    } else if (state.sensor < 0 && !state.dirty) {
        state.dirty = true;
        m_dirty.emplace_back(node, &state);
    }
    if (target.exposed && !state.out.empty())
        m_queue.push_back(Event{&state, node, target.field, nullptr, target.stored, time});
}

void CRouter::SetNodeField(SingleNode* node, NodeState& state, int field, const Field& value,
                           double time) {
    Store(node, state, Resolve(node, state, field), value, time);
}

// ---- TimeSensor ----

bool CRouter::TimeSensorTakes(SensorState& s, int field, const Field& value, double) {
    if (s.active) {
        // A running sensor keeps its start and cycle; a stop time at or before
        // its start is ignored.
        if (field == kStartTime || field == kCycleInterval) return false;
        if (field == kStopTime) {
            auto* t = dynamic_cast<const SFTime*>(&value);
            if (t != nullptr && t->Get() <= s.node->startTime().Get()) return false;
        }
    }
    if (field == kStartTime) s.startSet = true;
    const int index = static_cast<int>(&s - m_sensors.data());
    if (std::find(m_touchedSensors.begin(), m_touchedSensors.end(), index) ==
        m_touchedSensors.end())
        m_touchedSensors.push_back(index);
    return true;
}

void CRouter::Route_TimeSensor(SensorState& s, double now) {
    TimeSensor& n = *s.node;
    const double start = n.startTime().Get(), stop = n.stopTime().Get();
    const double cycle = n.cycleInterval().Get();
    const bool loop = n.loop().Get();
    auto send = [&](int field, std::unique_ptr<Field> v) {
        Enqueue(s.node, field, std::move(v), nullptr, now);
    };
    auto end = [&](double fraction) {
        s.active = false;
        send(kFractionChanged, std::make_unique<SFFloat>(static_cast<float>(fraction)));
        send(kTime, std::make_unique<SFTime>(now));
        send(kIsActive, std::make_unique<SFBool>(false));
    };
    if (!n.enabled().Get()) {
        if (s.active) end(0.0);
        return;
    }
    if (!(cycle > 0.0) || !std::isfinite(cycle)) {
        Report(s.node, "cycleInterval must be a number greater than 0; it stays at fraction 0");
        if (!s.active && now >= start) {
            s.active = true;
            send(kIsActive, std::make_unique<SFBool>(true));
        }
        if (s.active) send(kFractionChanged, std::make_unique<SFFloat>(0.0f));
        return;
    }
    const bool stops = stop > start;
    if (!s.active) {
        if (!(now >= start)) return;
        // The file's times count from 1970 in the standard's time base: a single
        // cycle that the file starts at or before the load ended long before it
        // (the click-to-play pattern), while a loop runs from the load on.
        if (!loop && !s.startSet && start <= 0.0) return;
        // A start passed since the last step starts it, even if it ended meanwhile;
        // one passed before only while it would still run.
        const bool fresh = start > m_lastTime;
        if (!fresh && ((!loop && now >= start + cycle) || (stops && now >= stop))) return;
        s.active = true;
        s.cycleStart = start;
        send(kIsActive, std::make_unique<SFBool>(true));
        send(kCycleTime, std::make_unique<SFTime>(now));
    }
    const double until = stops ? std::min(now, stop) : now;
    const double elapsed = until - start;
    if (!loop && elapsed >= cycle) {
        end(1.0);
        return;
    }
    double fraction = std::fmod(elapsed, cycle) / cycle;
    if (!std::isfinite(fraction) || fraction < 0) fraction = 0;
    const double cycleStart = start + std::floor(elapsed / cycle) * cycle;
    if (loop && cycleStart > s.cycleStart) {
        s.cycleStart = cycleStart;
        send(kCycleTime, std::make_unique<SFTime>(now));
    }
    if (stops && now >= stop) {
        end(fraction);
        return;
    }
    send(kFractionChanged, std::make_unique<SFFloat>(static_cast<float>(fraction)));
    send(kTime, std::make_unique<SFTime>(now));
}

// ---- Bind stacks ----

void CRouter::Bind(SingleNode* node, bool bind, double time, bool apply) {
    const int k = StackOf(GetNodeType(*node));
    if (k < 0) return;
    std::vector<SingleNode*>& stack = m_stacks[k];
    const int isBound = FieldNamed(*node, "isBound");
    auto tell = [&](SingleNode* n, bool bound) {
        if (isBound >= 0) Enqueue(n, isBound, std::make_unique<SFBool>(bound), nullptr, time);
        if (bound && k == 0)
            Enqueue(n, FieldNamed(*n, "bindTime"), std::make_unique<SFTime>(time), nullptr, time);
    };
    SingleNode* top = stack.empty() ? nullptr : stack.back();
    if (bind) {
        if (top == node) return;
        if (top != nullptr) tell(top, false);
        stack.erase(std::remove(stack.begin(), stack.end(), node), stack.end());
        stack.push_back(node);
        tell(node, true);
    } else {
        auto it = std::find(stack.begin(), stack.end(), node);
        if (it == stack.end()) return;
        stack.erase(it);
        if (top != node) return;  // not bound: leaves quietly
        tell(node, false);
        if (!stack.empty()) tell(stack.back(), true);
    }
    if (apply) ApplyBound(k);
}

void CRouter::ApplyBound(int k) {
    SingleNode* top = m_stacks[k].empty() ? nullptr : m_stacks[k].back();
    CD3DObj* display = m_dealer ? m_dealer->Display() : nullptr;
    switch (kBindable[k]) {
        case Viewpoint::kNodeType: {
            // The camera goes to the bound viewpoint; an empty stack leaves it where it is.
            auto* v = dynamic_cast<Viewpoint*>(top);
            const auto* frames = ObjectsOf(m_objects, top);
            if (v == nullptr || frames == nullptr || frames->empty()) return;
            auto* frame = dynamic_cast<rm::Frame*>(frames->front().Get());
            if (frame == nullptr) return;
            m_bound = rm::Ptr<rm::Frame>(frame);
            if (m_camera != nullptr) PlaceCamera(*m_camera, *frame);
            if (display != nullptr) display->SetView(v->fieldOfView().Get());
            return;
        }
        case Background::kNodeType:
            if (m_dealer != nullptr) m_dealer->ShowBackground(top);
            return;
        case NavigationInfo::kNodeType: {
            auto* info = dynamic_cast<NavigationInfo*>(top);
            if (display == nullptr || display->GetCamera() == nullptr ||
                display->GetHeadLight() == nullptr)
                return;
            display->GetCamera()->DeleteLight(display->GetHeadLight());
            if (info == nullptr || info->headlight().Get())
                display->GetCamera()->AddLight(display->GetHeadLight());
            return;
        }
        case Fog::kNodeType: {
            // The bound Fog covers the scene's visuals; an empty stack clears it.
            rm::Frame* scene = display != nullptr ? display->GetScene() : nullptr;
            if (scene == nullptr) return;
            rm::Fog fog;
            if (auto* f = dynamic_cast<Fog*>(top)) {
                const std::string& type = f->fogType().Get();
                fog.type = type == "EXPONENTIAL" ? rm::FogType::Exponential
                           : type == "LINEAR"    ? rm::FogType::Linear
                                                 : rm::FogType::None;
                fog.color = {f->color().GetR(), f->color().GetG(), f->color().GetB()};
                fog.visibilityRange = f->visibilityRange().Get();
            }
            scene->SetSceneFog(fog);
            return;
        }
        default:
            return;
    }
}

// ---- Translation: changed fields to retained-mode objects ----

void CRouter::ApplyChanges() {
    if (m_dirty.empty() && m_moved.empty()) return;
    std::vector<rm::MeshBuilder*> rebuild;
    for (auto [node, statePointer] : m_dirty) {
        NodeState& state = *statePointer;
        state.dirty = false;
        const auto* objects = state.objects;
        switch (state.type) {
            case Transform::kNodeType:
            case Viewpoint::kNodeType: {
                if (objects == nullptr) break;
                if (state.transform != nullptr) {
                    PlaceTransform(state);
                } else if (auto* v = dynamic_cast<Viewpoint*>(node)) {
                    const TransformFields fields = FieldsOf(*v);
                    PlaceFrames(state, PlacementWith(PlacementOf(fields), fields.translation));
                    if (BoundNode(Viewpoint::kNodeType) == node && m_dealer && m_dealer->Display())
                        m_dealer->Display()->SetView(v->fieldOfView().Get());
                }
                break;
            }
            case Material::kNodeType: {
                auto* m = state.material;
                if (objects == nullptr || m == nullptr || m_rm == nullptr) break;
                // Translation keeps the meshbuilders of the shapes a Material colours.
                for (const auto& object : *objects) {
                    auto* mb = static_cast<rm::MeshBuilder*>(object.Get());
                    rm::Ptr<rm::Material> material =
                        mb ? MakeMaterial(*m_rm, *m) : rm::Ptr<rm::Material>();
                    if (material) mb->SetMaterial(material.Get());
                }
                break;
            }
            case Switch::kNodeType: {
                auto* sw = dynamic_cast<Switch*>(node);
                const int count = sw ? sw->choice().GetCount() : 0;
                if (objects == nullptr || count == 0) break;
                // A frame per choice, per use of the Switch; only the chosen one attached.
                const int which = sw->whichChoice().Get();
                for (std::size_t i = 0; i < objects->size(); ++i) {
                    auto* frame = dynamic_cast<rm::Frame*>((*objects)[i].Get());
                    rm::Frame* parent = m_dealer ? m_dealer->ParentOf(frame) : nullptr;
                    if (frame == nullptr || parent == nullptr) continue;
                    parent->DeleteChild(frame);
                    if (static_cast<int>(i % count) == which) parent->AddChild(frame);
                }
                break;
            }
            case DirectionalLight::kNodeType:
            case PointLight::kNodeType:
            case SpotLight::kNodeType:
                if (m_dealer != nullptr) m_dealer->UpdateLight(node);
                break;
            case Background::kNodeType:
                if (BoundNode(Background::kNodeType) == node && m_dealer)
                    m_dealer->ShowBackground(node, true);
                break;
            case NavigationInfo::kNodeType:
                if (BoundNode(NavigationInfo::kNodeType) == node) ApplyBound(2);
                break;
            case Fog::kNodeType:
                if (BoundNode(Fog::kNodeType) == node) ApplyBound(3);
                break;
            default:
                // Geometry and the nodes it is made from: the meshes are built again.
                if (objects == nullptr) break;
                for (const auto& object : *objects)
                    if (auto* mb = dynamic_cast<rm::MeshBuilder*>(object.Get()))
                        if (std::find(rebuild.begin(), rebuild.end(), mb) == rebuild.end())
                            rebuild.push_back(mb);
                break;
        }
    }
    m_dirty.clear();
    if (m_dealer != nullptr)
        for (rm::MeshBuilder* mb : rebuild) m_dealer->RebuildShape(mb);
    // The camera follows the bound viewpoint when its frame or one above it moved.
    std::vector<const rm::Frame*> moved;
    moved.swap(m_moved);
    if (moved.empty() || !m_bound || m_camera == nullptr) return;
    for (const rm::Frame* f = m_bound.Get(); f != nullptr; f = f->GetParent()) {
        if (std::find(moved.begin(), moved.end(), f) != moved.end()) {
            PlaceCamera(*m_camera, *m_bound);
            return;
        }
    }
}

void CRouter::PlaceTransform(NodeState& state) {
    const TransformFields fields = FieldsOf(*state.transform);
    state.placement = PlacementOf(fields);
    // A frame refuses a transform that is not finite and keeps its old one; a
    // new translation alone can then not be set on top of that.
    state.placementKnown = PlaceFrames(state, PlacementWith(state.placement, fields.translation));
}

template <class Place>
inline void CRouter::EachFrame(const NodeState& state, Place place) {
    if (state.frame != nullptr) {
        place(*state.frame);
        if (m_bound) m_moved.push_back(state.frame);
        return;
    }
    if (state.objects == nullptr) return;
    // Translation makes frames, and only frames, for Transforms and Viewpoints.
    for (const auto& object : *state.objects) {
        auto* frame = static_cast<rm::Frame*>(object.Get());
        place(*frame);
        if (m_bound) m_moved.push_back(frame);  // only the camera asks
    }
}

bool CRouter::PlaceFrames(const NodeState& state, const glm::mat4& local) {
    bool took = true;
    EachFrame(state, [&](rm::Frame& frame) {
        took = rm::Succeeded(frame.AddTransform(rm::Combine::Replace, local)) && took;
    });
    return took;
}

inline void CRouter::MoveFrames(const NodeState& state, const glm::vec3& origin) {
    EachFrame(state, [&](rm::Frame& frame) { frame.SetLocalOrigin(origin); });
}

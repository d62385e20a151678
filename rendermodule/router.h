// CRouter: the scene's event cascade. Every ROUTE from an eventOut (or
// exposedField) to an eventIn (or exposedField) of the same field type carries
// values with their timestamps; a node may send along many routes and take from
// many. An exposedField set by an event sends its `_changed` event on. At most
// one event goes along each route per timestamp, which ends every cycle of
// routes. DealRoute checks and indexes the routes at load (a route between
// fields of different types is dropped with one message naming it); each step
// (Refresh) runs the TimeSensors, delivers every event queued since the last
// step and what those set off, and then brings the retained-mode objects of
// every node whose fields changed up to date (frames of Transforms and
// Viewpoints, materials, Switch choices, rebuilt meshes, the bound background
// and head light). Values land in the nodes' own fields, so translating the
// scene again shows it as it stands.
//
// Time: seconds since the scene started to play (SetStartTime), the same in the
// viewer and in orvane-render --time. Times that go back (Play again) start
// the TimeSensors over.
//
// Sources outside the ROUTE graph (sensors, scripts) emit through the
// IEventSink face; a node whose eventIns run code registers an IEventReceiver
// (SetReceiver) and gets every event routed to it, then EventsProcessed once
// per step. The bind stacks of Viewpoint, Background, NavigationInfo and Fog
// live here too: the first of each kind in the main file (not in an Inline) is
// bound at load; set_bind TRUE/FALSE moves nodes on and off the stacks, with
// isBound (and a Viewpoint's bindTime) sent out.
#pragma once

#include <cstdint>
#include <deque>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

#include "loader/route.h"
#include "rendermodule/event_sink.h"
#include "rendermodule/interpolate.h"
#include "rendermodule/translation_tables.h"
#include "retained/retained_mode.h"

class CNodeDealer;
class NodeImpl;
class TimeSensor;
class Material;
class Transform;

class CRouter : public IEventSink {
  public:
    CRouter() = default;
    ~CRouter() override = default;
    CRouter(const CRouter&) = delete;
    CRouter& operator=(const CRouter&) = delete;

    // Takes the translation tables, the retained-mode root (materials) and the
    // camera frame (the bound viewpoint's place).
    void Reset(const InterpolatorTable* interpolators, const NodeObjectTable* objects,
               rm::RetainedMode* rm, rm::Frame* camera, const ViewpointList* viewpoints = nullptr);
    // The dealer that translated the scene: it rebuilds meshes and shows
    // backgrounds again; its display takes the view and the head light.
    void SetDealer(CNodeDealer* dealer) { m_dealer = dealer; }
    // Checks and indexes every route, binds the first bindable nodes of `root`
    // (none without a root), and starts the TimeSensors afresh; receivers stay. 0.
    int DealRoute(const RouteList* routes, SingleNode* root = nullptr);
    void SetStartTime(std::uint32_t ms) { m_startTime = ms; }
    std::uint32_t GetStartTime() const { return m_startTime; }
    // One step at now (TimeGetTime) or at the given clock time in ms. 0.
    int Refresh();
    int Refresh(std::uint32_t now);
    // One step at `time` (seconds of the scene's time line).
    void Step(double time);
    // The scene time of clock time `ms`; the time of the last step.
    double TimeOf(std::uint32_t ms) const {
        return static_cast<double>(static_cast<std::int32_t>(ms - m_startTime)) / 1000.0;
    }
    double LastTime() const { return m_lastTime; }
    // Whether a step has anything to do: TimeSensors, queued events.
    bool HasWork() const { return !m_sensors.empty() || !m_queue.empty(); }

    // IEventSink: queues the event; it goes out at the next step (or at once
    // within a running step).
    void Emit(SingleNode* node, int field, std::unique_ptr<Field> value, double time) override;
    // Events routed to `node` go to `receiver` (null: back to the node itself).
    // Register after the scene is set; the cascade does not own it.
    void SetReceiver(SingleNode* node, IEventReceiver* receiver);
    // Forgets every receiver (a new scene, or none).
    void ClearReceivers();

    // The viewpoint frame the camera follows while it or a frame above it moves;
    // null for none (the entry view).
    void BindViewpoint(rm::Frame* viewpoint) { m_bound = rm::Ptr<rm::Frame>(viewpoint); }
    // The user went to `node` (a Viewpoint, from the viewer's list or an Anchor):
    // it goes on top of its bind stack at `time` as by set_bind TRUE, and the
    // isBound and bindTime events go out at the next step. The caller has placed
    // the camera already.
    void BindChosen(SingleNode* node, double time) {
        if (node != nullptr) Bind(node, true, time, false);
    }
    rm::Frame* BoundViewpoint() const { return m_bound.Get(); }
    // The top of a bind stack: kind is the node type id of Viewpoint,
    // Background, NavigationInfo or Fog; null when the stack is empty.
    SingleNode* BoundNode(int kind) const;

    // Events delivered so far (all steps): a measure for tests and the bench.
    std::uint64_t Delivered() const { return m_delivered; }

  private:
    struct NodeState;
    // Where a value sent to a field lands: the stored field (a set_X eventIn
    // stores into X), and whether it sends X_changed on.
    struct Target {
        Field* stored = nullptr;  // null: nowhere (node-valued, or no such field)
        int field = 0;
        bool exposed = false;
        // Copies a value of the stored field's own class without checks; null
        // for the classes Assign converts between.
        void (*copy)(Field& target, const Field& value) = nullptr;
    };
    // How a route hands on its events, decided once at DealRoute.
    enum class Via : std::uint8_t {
        Deliver,      // the general way: receivers, bind, TimeSensors, resolved each time
        Store,        // into a plain field, resolved already
        Interpolate,  // into an interpolator's set_fraction
    };
    struct RouteRecord {
        SingleNode* from = nullptr;
        int fromField = 0;
        SingleNode* to = nullptr;
        int toField = 0;
        double last = -1e300;          // timestamp of the last event it carried
        NodeState* toState = nullptr;  // states stay where they are until DealRoute
        Target target;                 // for a route that stores (Via::Store)
        Via via = Via::Deliver;
    };
    struct SensorState {
        TimeSensor* node = nullptr;
        bool active = false;
        double cycleStart = 0;  // start of the running cycle
        bool startSet = false;  // startTime was set by an event, not only by the file
    };
    struct NodeState {
        int type = 0;
        NodeImpl* impl = nullptr;  // the node's field descriptions; null for other nodes
        // What translation made for the node (looked up at DealRoute); null for nothing.
        const std::vector<rm::Ptr<rm::Object>>* objects = nullptr;
        Transform* transform = nullptr;   // the node as a Transform, when it is one
        rm::Frame* frame = nullptr;       // a Transform's frame when it has one (not used twice)
        Material* material = nullptr;     // the node as a Material, when it is one
        InterpolatorFields interpolator;  // an interpolator's key and keyValue
        std::vector<int> out;             // routes leaving the node, in file order
        IEventReceiver* receiver = nullptr;
        bool received = false;         // the receiver got events this step
        double processed = -1e300;     // the step its EventsProcessed was last called in
        bool dirty = false;            // fields changed since its objects were updated
        int sensor = -1;               // index in m_sensors
        std::uint64_t placedStep = 0;  // the step a Transform's frames were last placed in
        // A Transform's placement without its translation, as last placed;
        // known when its frames took it (it was finite), so that a new
        // translation only moves their origins.
        FramePlacement placement;
        bool placementKnown = false;
    };
    struct Event {
        NodeState* state;
        SingleNode* node;
        int field;
        std::unique_ptr<Field> owned;
        const Field* value;  // `owned`, or a node's own field (an exposedField's _changed)
        double time;
    };

    NodeState& StateOf(SingleNode* node);
    void Enqueue(SingleNode* node, int field, std::unique_ptr<Field> value, const Field* borrowed,
                 double time);
    // Delivers queued events (and what they set off) until none are left.
    void Drain();
    // Sends `value` of `from`'s field `field` along each of its routes that has
    // not carried an event at `time` yet.
    void Fanout(NodeState& from, int field, const Field& value, double time);
    void Deliver(SingleNode* to, NodeState& state, int field, const Field& value, double time);
    // An interpolator's set_fraction: its value goes out along its own routes.
    [[gnu::always_inline]] void RunInterpolator(SingleNode* node, NodeState& state,
                                                const Field& value, double time);
    // Writes a delivered value into the node's field; an exposedField then sends
    // its _changed event.
    void SetNodeField(SingleNode* node, NodeState& state, int field, const Field& value,
                      double time);
    Target Resolve(SingleNode* node, NodeState& state, int field);
    [[gnu::always_inline]] void Store(SingleNode* node, NodeState& state, const Target& target,
                                      const Field& value, double time);
    // A TimeSensor at `now`: activates, sends fraction_changed/time/cycleTime, ends.
    void Route_TimeSensor(SensorState& sensor, double now);
    // An event for a TimeSensor's field: the rules about changes while it is active.
    bool TimeSensorTakes(SensorState& sensor, int field, const Field& value, double time);
    void Bind(SingleNode* node, bool bind, double time, bool apply = true);
    void ApplyBound(int kind);
    // Brings the retained-mode objects of the changed nodes up to date.
    void ApplyChanges();
    // Places the frames translation made for a Transform or Viewpoint; false
    // when one refused the transform (not finite).
    bool PlaceFrames(const NodeState& state, const glm::mat4& local);
    // Moves those frames' origins alone, their rotation and scale placed already.
    [[gnu::always_inline]] void MoveFrames(const NodeState& state, const glm::vec3& origin);
    template <class Place>
    [[gnu::always_inline]] void EachFrame(const NodeState& state, Place place);
    // Places a Transform's frames from all its fields, keeping the placement.
    void PlaceTransform(NodeState& state);
    void Report(const SingleNode* node, const std::string& problem);

    const InterpolatorTable* m_interpolators = nullptr;
    const NodeObjectTable* m_objects = nullptr;
    const ViewpointList* m_viewpoints = nullptr;
    rm::RetainedMode* m_rm = nullptr;
    rm::Frame* m_camera = nullptr;
    CNodeDealer* m_dealer = nullptr;
    const RouteList* m_routes = nullptr;

    std::vector<RouteRecord> m_routeRecords;
    std::unordered_map<const SingleNode*, NodeState> m_nodes;
    std::vector<SensorState> m_sensors;
    std::deque<Event> m_queue;
    std::vector<std::pair<SingleNode*, NodeState*>> m_dirty;
    std::vector<const rm::Frame*> m_moved;  // frames placed this step, while a viewpoint is bound
    std::vector<SingleNode*> m_receiving;   // nodes whose receivers got events this step
    std::vector<int> m_touchedSensors;      // sensors whose fields events set this step
    std::vector<SingleNode*> m_stacks[4];   // bind stacks, the bound node last
    rm::Ptr<rm::Frame> m_bound;
    std::uint32_t m_startTime = 0;
    double m_lastTime = -1e300;
    bool m_stepping = false;
    std::uint64_t m_stepNumber = 0;
    int m_depth = 0;  // interpolators sending on at once, one inside another
    std::uint64_t m_delivered = 0;
    std::string m_problem;  // why an interpolator sent nothing, kept to save a string a call
};

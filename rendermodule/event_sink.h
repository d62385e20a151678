// The two interfaces between the event cascade (which carries values along the
// scene's ROUTEs) and the event sources outside the ROUTE graph: the pointing
// and environment sensors the viewer drives, and Script nodes.
//
// Times are SFTime values: seconds, as doubles. Fields are named by their ALL
// index (SingleNode::GetFieldName). Every call happens under the render
// module's scene lock.
#pragma once

#include <memory>

class Field;
class SingleNode;

// Where a source puts the events it emits: an eventOut (or exposedField) of
// `node` takes `value` at `time`. The cascade delivers it along the node's
// ROUTEs at its next step (or within the running step, when a receiver emits
// while being called), by the loop rule: one event per ROUTE per timestamp.
class IEventSink {
  public:
    virtual ~IEventSink() = default;
    virtual void Emit(SingleNode* node, int field, std::unique_ptr<Field> value, double time) = 0;
};

// A node whose eventIns run code (a Script). The cascade calls Receive for
// every event a ROUTE delivers to the node, then EventsProcessed once per step
// for each receiver that got events in that step; what the receiver emits goes
// to `out`.
class IEventReceiver {
  public:
    virtual ~IEventReceiver() = default;
    virtual void Receive(SingleNode* node, int field, const Field& value, double time,
                         IEventSink& out) = 0;
    virtual void EventsProcessed(double /*time*/, IEventSink& /*out*/) {}
};

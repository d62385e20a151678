// CRouter: runs the scene's ROUTEs of the one pattern the viewer animates — a
// TimeSensor drives a colour, orientation or position interpolator, which
// drives a field of a Transform, a Viewpoint or a Material. DealRoute builds
// one animation record per TimeSensor route; Refresh moves every record to the
// current time. Problems are reported as messages and the rest goes on.
//
// A route changes only the field it names: the router keeps the current
// placement fields of every Transform and Viewpoint a route drives, starting
// from the node's, and rebuilds the whole transform of each of the node's
// frames from them. A node shared through USE has several frames (or, for a
// Material, meshbuilders); a route reaches all of them. The camera follows the
// bound viewpoint's frame when that frame or a frame above it moves.
#pragma once

#include <cstdint>
#include <map>
#include <vector>

#include "loader/route.h"
#include "rendermodule/interpolator.h"
#include "rendermodule/translation_tables.h"
#include "retained/retained_mode.h"

class CRouter {
  public:
    // The current placement fields of a routed Transform or Viewpoint, and the
    // frames translation made for it.
    struct Placement {
        TransformFields fields;
        std::vector<rm::Ptr<rm::Frame>> frames;
        bool moved = false;  // a field was set since the frames were last rebuilt
    };

    // Where an interpolator's value goes: one field of one node, and every
    // object translation made for that node.
    struct Output {
        const SingleNode* node = nullptr;
        int field = 0;  // the route's ALL field index
        // Frames of a Transform or Viewpoint; meshbuilders of a Material.
        std::vector<rm::Ptr<rm::Object>> objects;
        // The field of `placement` set; null for a colour.
        Placement* placement = nullptr;
        glm::vec3 TransformFields::*vector = nullptr;
        glm::vec4 TransformFields::*rotation = nullptr;
    };

    struct AnimationRecord {
        CInterpolator interpolator;  // a copy of the table's entry
        std::uint32_t cycle = 0;     // ms
        std::uint32_t start = 0;     // ms after the router's start time
        bool loop = false;
        const SingleNode* interpolatorNode = nullptr;
        std::vector<Output> outputs;  // one per route from the interpolator; empty until routed
    };

    CRouter() = default;
    virtual ~CRouter() = default;
    // Outputs point into the router's own placements: a copy would share them.
    CRouter(const CRouter&) = delete;
    CRouter& operator=(const CRouter&) = delete;

    // Takes the translation tables, and what routes to a Viewpoint (the camera
    // frame) and colour routes (the retained-mode object) need. With the
    // viewpoint list, DealRoute binds the scene's last viewpoint.
    void Reset(const InterpolatorTable* interpolators, const NodeObjectTable* objects,
               rm::RetainedMode* rm, rm::Frame* camera, const ViewpointList* viewpoints = nullptr);
    // Empties the records and deals with every route in order. 0.
    int DealRoute(const RouteList* routes);
    void SetStartTime(std::uint32_t ms) { m_startTime = ms; }
    // Advances every record to now (TimeGetTime) or to the given time. 0.
    int Refresh();
    int Refresh(std::uint32_t now);

    // The viewpoint frame the camera follows while it or a frame above it is
    // animated; null for none (the entry view).
    void BindViewpoint(rm::Frame* viewpoint) { m_bound = rm::Ptr<rm::Frame>(viewpoint); }
    rm::Frame* BoundViewpoint() const { return m_bound.Get(); }

    const std::vector<AnimationRecord>& Records() const { return m_records; }

    void Route_TimeSensor(const Route& route);
    void Route_OrientationInterpolator(const Route& route);
    void Route_PositionInterpolator(const Route& route);
    void Route_ColorInterpolator(const Route& route);
    // Rebuilds the material of `mb` from the Material node with one colour replaced.
    void ApplyColor(rm::MeshBuilder* mb, const SingleNode* material, int field, float r, float g,
                    float b);

  private:
    AnimationRecord* FindRecord(const SingleNode* interpolatorNode);
    // An output to the frames of `node` (a Transform or Viewpoint), with its
    // placement; false when translation made no frame for it.
    bool PlacementOutput(const Route& route, Output* out);
    // Rebuilds the frames of every moved placement; moves the camera when the
    // bound viewpoint's frame is one of them or below one.
    void PlaceMovedFrames();

    const RouteList* m_routes = nullptr;
    const InterpolatorTable* m_interpolators = nullptr;
    const NodeObjectTable* m_objects = nullptr;
    const ViewpointList* m_viewpoints = nullptr;
    rm::RetainedMode* m_rm = nullptr;
    rm::Frame* m_camera = nullptr;
    std::vector<AnimationRecord> m_records;
    std::map<const SingleNode*, Placement> m_placements;
    rm::Ptr<rm::Frame> m_bound;
    std::uint32_t m_startTime = 0;
};

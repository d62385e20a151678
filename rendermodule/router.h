// CRouter: runs the scene's ROUTEs of the one pattern the viewer animates — a
// TimeSensor drives a colour, orientation or position interpolator, which
// drives a Transform's frame, the camera (for a Viewpoint) or the meshbuilder
// of a Material. DealRoute builds one animation record per TimeSensor route;
// Refresh moves every record to the current time. Problems are reported as
// messages and the rest goes on.
#pragma once

#include <cstdint>
#include <vector>

#include "loader/route.h"
#include "rendermodule/interpolator.h"
#include "rendermodule/translation_tables.h"
#include "retained/retained_mode.h"

class CRouter {
  public:
    struct AnimationRecord {
        CInterpolator interpolator;  // a copy of the table's entry
        std::uint32_t cycle = 0;     // ms
        std::uint32_t start = 0;     // ms after the router's start time
        bool loop = false;
        const SingleNode* interpolatorNode = nullptr;
        const SingleNode* colorTargetNode = nullptr;
        int colorTargetField = 0;
        rm::Ptr<rm::Object> target;  // frame or meshbuilder; null until routed
    };

    virtual ~CRouter() = default;

    // Takes the translation tables, and what routes to a Viewpoint (the camera
    // frame) and colour routes (the retained-mode object) need.
    void Reset(const InterpolatorTable* interpolators, const NodeObjectTable* objects,
               rm::RetainedMode* rm, rm::Frame* camera);
    // Empties the records and deals with every route in order. 0.
    int DealRoute(const RouteList* routes);
    void SetStartTime(std::uint32_t ms) { m_startTime = ms; }
    // Advances every record to now (TimeGetTime) or to the given time. 0.
    int Refresh();
    int Refresh(std::uint32_t now);

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

    const RouteList* m_routes = nullptr;
    const InterpolatorTable* m_interpolators = nullptr;
    const NodeObjectTable* m_objects = nullptr;
    rm::RetainedMode* m_rm = nullptr;
    rm::Frame* m_camera = nullptr;
    std::vector<AnimationRecord> m_records;
    std::uint32_t m_startTime = 0;
};

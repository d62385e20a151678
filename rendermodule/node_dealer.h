// CNodeDealer: the per-node-type handlers of scene translation (Enter_<Node>
// on the way down, Exit_<Node> on the way up) and the state they share: the
// frame stack, the meshbuilder being built, the render quality, and the tables
// the router and the render module read afterwards.
#pragma once

#include <cstdint>
#include <vector>

#include "picture/picture.h"
#include "rendermodule/render_ddraw.h"
#include "rendermodule/texture_maker.h"
#include "rendermodule/translation_tables.h"

class SingleNode;
class SFWorldNode;

class CNodeDealer {
  public:
    virtual ~CNodeDealer();

    // Starts a translation into the world frame of `display`.
    void Reset(CD3DObj* display);

    // Enter handlers return 1 when the node's fields are not to be visited.
    int Enter_Appearance(SingleNode* parent, SFWorldNode* node);
    int Enter_Background(SingleNode* parent, SFWorldNode* node);
    void Exit_Background(SingleNode* parent, SFWorldNode* node);
    int Enter_Background2D(SingleNode* parent, SFWorldNode* node);
    int Enter_Bitmap(SingleNode* parent, SFWorldNode* node);
    int Enter_Box(SingleNode* parent, SFWorldNode* node);
    int Enter_Circle(SingleNode* parent, SFWorldNode* node);
    int Enter_Color(SingleNode* parent, SFWorldNode* node);
    int Enter_ColorInterpolator(SingleNode* parent, SFWorldNode* node);
    int Enter_Cone(SingleNode* parent, SFWorldNode* node);
    int Enter_Coordinate2D(SingleNode* parent, SFWorldNode* node);
    int Enter_Cylinder(SingleNode* parent, SFWorldNode* node);
    int Enter_DirectionalLight(SingleNode* parent, SFWorldNode* node);
    int Enter_Expression(SingleNode* parent, SFWorldNode* node);
    int Enter_Face(SingleNode* parent, SFWorldNode* node);
    void Exit_Face(SingleNode* parent, SFWorldNode* node);
    int Enter_FAP(SingleNode* parent, SFWorldNode* node);
    int Enter_FDP(SingleNode* parent, SFWorldNode* node);
    int Enter_Group(SingleNode* parent, SFWorldNode* node);
    int Enter_ImageTexture(SingleNode* parent, SFWorldNode* node);
    int Enter_IndexedFaceSet(SingleNode* parent, SFWorldNode* node);
    int Enter_IndexedFaceSet2D(SingleNode* parent, SFWorldNode* node);
    int Enter_IndexLineSet2D(SingleNode* parent, SFWorldNode* node);
    int Enter_Layer2D(SingleNode* parent, SFWorldNode* node);
    int Enter_Material(SingleNode* parent, SFWorldNode* node);
    int Enter_Material2D(SingleNode* parent, SFWorldNode* node);
    int Enter_MovieTexture(SingleNode* parent, SFWorldNode* node);
    int Enter_OrderedGroup(SingleNode* parent, SFWorldNode* node);
    int Enter_OrientationInterpolator(SingleNode* parent, SFWorldNode* node);
    int Enter_PointLight(SingleNode* parent, SFWorldNode* node);
    int Enter_PointSet2D(SingleNode* parent, SFWorldNode* node);
    int Enter_PositionInterpolator(SingleNode* parent, SFWorldNode* node);
    int Enter_Rectangle(SingleNode* parent, SFWorldNode* node);
    int Enter_Shape(SingleNode* parent, SFWorldNode* node);
    void Exit_Shape(SingleNode* parent, SFWorldNode* node);
    int Enter_Sound2D(SingleNode* parent, SFWorldNode* node);
    int Enter_Sphere(SingleNode* parent, SFWorldNode* node);
    int Enter_SpotLight(SingleNode* parent, SFWorldNode* node);
    int Enter_TextureTransform(SingleNode* parent, SFWorldNode* node);
    int Enter_TimeSensor(SingleNode* parent, SFWorldNode* node);
    int Enter_Transform(SingleNode* parent, SFWorldNode* node);
    void Exit_Transform(SingleNode* parent, SFWorldNode* node);
    int Enter_Transform2D(SingleNode* parent, SFWorldNode* node);
    void Exit_Transform2D(SingleNode* parent, SFWorldNode* node);
    int Enter_Viewpoint(SingleNode* parent, SFWorldNode* node);
    int Enter_Viseme(SingleNode* parent, SFWorldNode* node);

    void SetRenderQuality(std::uint32_t q) { m_quality = q; }
    std::uint32_t GetRenderQuality() const { return m_quality; }
    const InterpolatorTable& Interpolators() const { return m_interpolators; }
    const NodeObjectTable& NodeObjects() const { return m_nodeObjects; }
    const ViewpointList& Viewpoints() const { return m_viewpoints; }
    // Gives the viewpoints the names of an earlier translation of the same scene.
    void RenameViewpoints(const std::vector<std::string>& names) {
        for (std::size_t i = 0; i < names.size() && i < m_viewpoints.size(); ++i)
            m_viewpoints[i].name = names[i];
    }
    // The innermost frame (a transform whose frame could not be made adds none).
    rm::Frame* CurrentFrame() const {
        for (auto it = m_frames.rbegin(); it != m_frames.rend(); ++it)
            if (*it) return it->Get();
        return nullptr;
    }
    rm::MeshBuilder* CurrentMeshBuilder() const { return m_mesh.Get(); }

  private:
    int EnterInterpolator(SFWorldNode* node, int kind);
    int EnterLight(SFWorldNode* node, bool directional);
    void PopFrame();
    // Loads the picture `url` and sets it as the current meshbuilder's texture;
    // "File name error!" when it cannot be read.
    bool LoadTexture(const std::string& url);
    rm::RetainedMode* RM() const { return m_display ? m_display->GetD3DRM() : nullptr; }

    CD3DObj* m_display = nullptr;
    std::vector<rm::Ptr<rm::Frame>> m_frames;
    rm::Ptr<rm::MeshBuilder> m_mesh;
    std::uint32_t m_quality = 137;
    InterpolatorTable m_interpolators;
    NodeObjectTable m_nodeObjects;
    ViewpointList m_viewpoints;
    CPicture m_picture;
    CTexture m_texture;
};

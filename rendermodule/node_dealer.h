// CNodeDealer: the per-node-type handlers of scene translation (Enter_<Node>
// on the way down, Exit_<Node> on the way up) and the state they share: the
// frame stack, the meshbuilder being built, the render quality, and the tables
// the router and the render module read afterwards.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "loader/route.h"
#include "picture/picture.h"
#include "rendermodule/render_ddraw.h"
#include "rendermodule/texture_maker.h"
#include "rendermodule/translation_tables.h"

class SingleNode;
class SFWorldNode;
class CNodeDealer;
class FontLibrary;

// What an enter handler asks of the traverser: visit the node's DEF fields
// (children, geometry, appearance...) or leave them to the handler.
enum class Visit { Children, SkipChildren };

// The part a node type plays inside a Shape, which Enter_Shape dispatches by.
enum class ShapeRole { None, Geometry, Material, Texture, TextureTransform };

// One node type's entry in the dealer's handler table.
struct NodeHandler {
    Visit (CNodeDealer::*enter)(SingleNode*, SFWorldNode*) = nullptr;
    void (CNodeDealer::*exit)(SingleNode*, SFWorldNode*) = nullptr;
    ShapeRole role = ShapeRole::None;
};

class CNodeDealer {
  public:
    virtual ~CNodeDealer();

    // The handlers of node type id `type`; null for a type without any. One
    // table serves the traverser and Enter_Shape's geometry and appearance.
    static const NodeHandler* FindHandler(int type);

    // Starts a translation into the world frame of `display`. Relative URLs
    // (textures) are looked up beside `sceneFile`.
    void Reset(CD3DObj* display, const std::string& sceneFile = {});

    // How handlers that choose among their children (Switch, LOD, Collision)
    // have one child field visited: the traverser sets it to itself.
    using ChildVisitor = std::function<void(SingleNode* parent, Field* field)>;
    void SetChildVisitor(ChildVisitor visitor) { m_visitChild = std::move(visitor); }

    // Shows, under every LOD, the level its ranges select for the camera's
    // present distance from the LOD's centre.
    void SelectLevels(const rm::Frame* camera);

    Visit Enter_Anchor(SingleNode* parent, SFWorldNode* node);
    void Exit_Anchor(SingleNode* parent, SFWorldNode* node);
    Visit Enter_Appearance(SingleNode* parent, SFWorldNode* node);
    Visit Enter_Background(SingleNode* parent, SFWorldNode* node);
    void Exit_Background(SingleNode* parent, SFWorldNode* node);
    Visit Enter_Background2D(SingleNode* parent, SFWorldNode* node);
    Visit Enter_Bitmap(SingleNode* parent, SFWorldNode* node);
    Visit Enter_Collision(SingleNode* parent, SFWorldNode* node);
    Visit Enter_Box(SingleNode* parent, SFWorldNode* node);
    Visit Enter_Circle(SingleNode* parent, SFWorldNode* node);
    Visit Enter_Color(SingleNode* parent, SFWorldNode* node);
    Visit Enter_ColorInterpolator(SingleNode* parent, SFWorldNode* node);
    Visit Enter_Cone(SingleNode* parent, SFWorldNode* node);
    Visit Enter_Coordinate2D(SingleNode* parent, SFWorldNode* node);
    Visit Enter_Cylinder(SingleNode* parent, SFWorldNode* node);
    Visit Enter_DirectionalLight(SingleNode* parent, SFWorldNode* node);
    Visit Enter_ElevationGrid(SingleNode* parent, SFWorldNode* node);
    Visit Enter_Expression(SingleNode* parent, SFWorldNode* node);
    Visit Enter_Extrusion(SingleNode* parent, SFWorldNode* node);
    Visit Enter_Face(SingleNode* parent, SFWorldNode* node);
    void Exit_Face(SingleNode* parent, SFWorldNode* node);
    Visit Enter_FAP(SingleNode* parent, SFWorldNode* node);
    Visit Enter_FDP(SingleNode* parent, SFWorldNode* node);
    Visit Enter_Group(SingleNode* parent, SFWorldNode* node);
    void Exit_Group(SingleNode* parent, SFWorldNode* node);
    Visit Enter_ImageTexture(SingleNode* parent, SFWorldNode* node);
    Visit Enter_PixelTexture(SingleNode* parent, SFWorldNode* node);
    // A Script draws nothing; it runs through the event cascade.
    Visit Enter_Script(SingleNode* parent, SFWorldNode* node);
    Visit Enter_IndexedFaceSet(SingleNode* parent, SFWorldNode* node);
    Visit Enter_IndexedFaceSet2D(SingleNode* parent, SFWorldNode* node);
    Visit Enter_IndexedLineSet(SingleNode* parent, SFWorldNode* node);
    Visit Enter_IndexLineSet2D(SingleNode* parent, SFWorldNode* node);
    Visit Enter_Layer2D(SingleNode* parent, SFWorldNode* node);
    Visit Enter_LOD(SingleNode* parent, SFWorldNode* node);
    Visit Enter_Material(SingleNode* parent, SFWorldNode* node);
    Visit Enter_Material2D(SingleNode* parent, SFWorldNode* node);
    Visit Enter_MovieTexture(SingleNode* parent, SFWorldNode* node);
    Visit Enter_NavigationInfo(SingleNode* parent, SFWorldNode* node);
    Visit Enter_OrderedGroup(SingleNode* parent, SFWorldNode* node);
    Visit Enter_OrientationInterpolator(SingleNode* parent, SFWorldNode* node);
    Visit Enter_PointLight(SingleNode* parent, SFWorldNode* node);
    Visit Enter_PointSet(SingleNode* parent, SFWorldNode* node);
    Visit Enter_PointSet2D(SingleNode* parent, SFWorldNode* node);
    Visit Enter_PositionInterpolator(SingleNode* parent, SFWorldNode* node);
    Visit Enter_Rectangle(SingleNode* parent, SFWorldNode* node);
    Visit Enter_Shape(SingleNode* parent, SFWorldNode* node);
    void Exit_Shape(SingleNode* parent, SFWorldNode* node);
    Visit Enter_Sound2D(SingleNode* parent, SFWorldNode* node);
    Visit Enter_Sphere(SingleNode* parent, SFWorldNode* node);
    Visit Enter_Switch(SingleNode* parent, SFWorldNode* node);
    Visit Enter_SpotLight(SingleNode* parent, SFWorldNode* node);
    Visit Enter_Text(SingleNode* parent, SFWorldNode* node);
    Visit Enter_TextureTransform(SingleNode* parent, SFWorldNode* node);
    Visit Enter_TimeSensor(SingleNode* parent, SFWorldNode* node);
    Visit Enter_Transform(SingleNode* parent, SFWorldNode* node);
    void Exit_Transform(SingleNode* parent, SFWorldNode* node);
    Visit Enter_Transform2D(SingleNode* parent, SFWorldNode* node);
    void Exit_Transform2D(SingleNode* parent, SFWorldNode* node);
    Visit Enter_Viewpoint(SingleNode* parent, SFWorldNode* node);
    Visit Enter_Viseme(SingleNode* parent, SFWorldNode* node);
    // Sensors: each records where it is (SensorTable).
    Visit Enter_TouchSensor(SingleNode* parent, SFWorldNode* node);
    Visit Enter_PlaneSensor(SingleNode* parent, SFWorldNode* node);
    Visit Enter_CylinderSensor(SingleNode* parent, SFWorldNode* node);
    Visit Enter_SphereSensor(SingleNode* parent, SFWorldNode* node);
    Visit Enter_ProximitySensor(SingleNode* parent, SFWorldNode* node);
    Visit Enter_VisibilitySensor(SingleNode* parent, SFWorldNode* node);

    void SetRenderQuality(rm::Quality q) { m_quality = q; }
    rm::Quality GetRenderQuality() const { return m_quality; }
    const InterpolatorTable& Interpolators() const { return m_interpolators; }
    const NodeObjectTable& NodeObjects() const { return m_nodeObjects; }
    const ViewpointList& Viewpoints() const { return m_viewpoints; }
    const SensorTable& Sensors() const { return m_sensors; }
    // False when the scene's first NavigationInfo turns the head light off.
    bool SceneWantsHeadLight() const { return m_headLight; }
    // The box round every shape translated so far, in the scene's coordinates as they
    // were at translation (backgrounds left out); empty without shapes.
    const rm::Box& SceneBounds() const { return m_bounds; }
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

    // For the event cascade. The nodes the scene's ROUTEs lead to (set before
    // translating): translation keeps what changing them later needs — a frame
    // per choice of such a Switch (the chosen one attached), and the meshes made
    // from such a geometry, Coordinate, Normal, Color, TextureCoordinate or
    // TextureTransform node in their NodeObjects.
    void SetRouteTargets(const RouteList* routes);
    CD3DObj* Display() const { return m_display; }
    // Shows Background `background` as the scene's backdrop (null: none); one
    // already shown is built again only when `again`.
    void ShowBackground(SingleNode* background, bool again = false);
    // Builds the geometry of the Shape that `mesh` was made for again, from the
    // present fields of its nodes.
    void RebuildShape(rm::MeshBuilder* mesh);
    // Sets every light made for a routed light node from its present fields.
    void UpdateLight(SingleNode* light);
    // The frame a Switch choice's frame hangs under when it is shown; null for
    // other frames.
    rm::Frame* ParentOf(const rm::Frame* frame) const {
        auto it = m_choiceParents.find(frame);
        return it == m_choiceParents.end() ? nullptr : it->second.Get();
    }

  private:
    // Calls the enter handler of `node` when its type plays `role` in a Shape;
    // false (nothing called) otherwise.
    bool Dispatch(ShapeRole role, SingleNode* parent, SingleNode* node);
    Visit EnterInterpolator(SFWorldNode* node, int kind);
    Visit EnterLight(SFWorldNode* node, rm::LightType type);
    Visit EnterSensor(SFWorldNode* node, SensorKind kind);
    // Sets `light` and its `frame` (under `parent`) from the light node's fields.
    void SetLight(SingleNode* node, rm::Frame& parent, rm::Frame& frame, rm::Light& light);
    void PopFrame();
    // Widens the scene's bounds by the box of the points a shape's faces use, where its
    // frame puts them.
    void AddToBounds(const rm::MeshBuilder& mesh, const rm::Frame& frame);
    // Loads the first of `urls` that can be read and sets it as the current
    // meshbuilder's texture; "File name error!" when none can.
    template <class List>
    bool LoadTexture(const List& urls);
    // Loads the first of `urls` that can be read as a texture of its own; null and
    // "File name error!" when none can.
    template <class List>
    rm::Ptr<rm::Texture> LoadPicture(const List& urls);
    std::vector<rm::Ptr<rm::Object>>& NodeObjectsOf(SingleNode* node) {
        auto it = m_nodeObjects.find(node);
        if (it == m_nodeObjects.end())
            it = m_nodeObjects
                     .emplace(node::Ptr<SingleNode>(node), std::vector<rm::Ptr<rm::Object>>{})
                     .first;
        return it->second;
    }
    void VisitChild(SingleNode* parent, Field* field) {
        if (m_visitChild && field != nullptr) m_visitChild(parent, field);
    }
    rm::RetainedMode* RM() const { return m_display ? m_display->GetD3DRM() : nullptr; }

    // One LOD: a frame per level under the frame the LOD sits in, only the
    // selected one attached.
    struct LevelRecord {
        rm::Ptr<rm::Frame> parent;
        std::vector<rm::Ptr<rm::Frame>> levels;
        glm::vec3 center{0.0f};
        std::vector<float> ranges;
        int shown = -1;
    };

    CD3DObj* m_display = nullptr;
    std::string m_sceneFile;
    ChildVisitor m_visitChild;
    std::vector<LevelRecord> m_lods;
    bool m_headLight = true;
    bool m_navigationInfoSeen = false;
    bool m_backgroundSeen = false;  // the first Background is the one shown
    std::vector<rm::Ptr<rm::Frame>> m_frames;
    rm::Ptr<rm::MeshBuilder> m_mesh;
    rm::Quality m_quality = rm::kRenderGouraud;
    // The Shape being entered has no Material: its primitive is white (shared units).
    bool m_unlitShape = false;
    // Unnamed viewpoints are numbered on from here across every translation
    // this dealer makes ("Viewpoint 0", "Viewpoint 1", ...): never reset.
    int m_nextViewpointNumber = 0;
    InterpolatorTable m_interpolators;
    NodeObjectTable m_nodeObjects;
    ViewpointList m_viewpoints;
    SensorTable m_sensors;
    CPicture m_picture;
    CTexture m_texture;
    rm::Box m_bounds;
    // The box of the points a shared unit mesh's faces use, found once per mesh (AddToBounds).
    std::map<std::shared_ptr<const rm::MeshData>, rm::Box> m_unitBoxes;
    std::set<const SingleNode*> m_routeTargets;
    std::map<const rm::MeshBuilder*, node::Ptr<SingleNode>> m_shapes;  // routed meshes' Shapes
    std::map<const rm::Frame*, rm::Ptr<rm::Frame>> m_choiceParents;
    const SingleNode* m_shownBackground = nullptr;
    // Made at the first Text and kept, with the glyphs it has cut, for later scenes.
    std::shared_ptr<FontLibrary> m_fonts;
};

#include "rendermodule/node_dealer.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <memory>
#include <span>

#include "loader/url.h"
#include "node/declared_node.h"
#include "node/nodes.h"
#include "rendermodule/geometry_builder.h"
#include "rendermodule/geometry_builder_text.h"
#include "trace/message_sink.h"

namespace {

template <class T>
T* As(SFWorldNode* node) {
    return dynamic_cast<T*>(static_cast<SingleNode*>(node));
}

template <class NDT>
SingleNode* Held(const SFNodeField<NDT>& field) {
    NDT* node = field.get();
    return node ? static_cast<SingleNode*>(node) : nullptr;
}

SFWorldNode* World(SingleNode* node) {
    return dynamic_cast<SFWorldNode*>(node);
}

// What a geometry node held that could not be drawn: one message for the node.
void Report(const char* nodeType, GeometryProblems problems) {
    if (problems != 0) ShowMessage(DescribeProblems(nodeType, problems));
}

// A size as drawn: its magnitude. Zero, negative and non-finite sizes are reported.
float Size(float value, GeometryProblems& problems) {
    if (!(value > 0.0f) || !std::isfinite(value)) problems |= kBadSize;
    return std::isfinite(value) ? std::abs(value) : 0.0f;
}

// The lists of a geometry node's colour, normal and texture-coordinate nodes; null for
// a field holding no such node.
template <class Field>
const std::vector<SFColor>* ColorsOf(const Field& field) {
    auto* c = dynamic_cast<Color*>(Held(field));
    return c ? &c->color().Values() : nullptr;
}
template <class Field>
const std::vector<SFVec3f>* NormalsOf(const Field& field) {
    auto* n = dynamic_cast<Normal*>(Held(field));
    return n ? &n->vector().Values() : nullptr;
}
template <class Field>
const std::vector<SFVec2f>* TexPointsOf(const Field& field) {
    auto* t = dynamic_cast<TextureCoordinate*>(Held(field));
    return t ? &t->point().Values() : nullptr;
}

// The points of a coordinate node (Coordinate, or Coordinate2D in the z = 0 plane).
std::vector<glm::vec3> PointsOf(const Coordinate& coord) {
    std::vector<glm::vec3> points;
    points.reserve(coord.point().Values().size());
    for (const SFVec3f& p : coord.point().Values())
        points.emplace_back(p.GetX(), p.GetY(), p.GetZ());
    return points;
}
std::vector<glm::vec3> PointsOf(const Coordinate2D& coord) {
    std::vector<glm::vec3> points;
    points.reserve(coord.point().Values().size());
    for (const SFVec2f& p : coord.point().Values()) points.emplace_back(p.GetX(), p.GetY(), 0.0f);
    return points;
}

// A 2-D set's coordIndex; without one, its `count` points in order (kept in
// `inOrder`, which must outlive the span), as 2-D sets have always been drawn here.
template <class IndexField>
std::span<const SFInt32> IndexOrInOrder(const IndexField& index, std::size_t count,
                                        std::vector<SFInt32>& inOrder) {
    if (index.GetCount() != 0) return index.Values();
    for (std::size_t i = 0; i < count; ++i) inOrder.emplace_back(static_cast<std::int32_t>(i));
    return inOrder;
}

// Whether a Group holds a DirectionalLight among its own children: it then gets a frame
// of its own, which bounds what the light lights.
bool HoldsDirectionalLight(Group* group) {
    if (group == nullptr) return false;
    for (SingleNode* child : group->children().Nodes())
        if (child != nullptr && GetNodeType(*child) == DirectionalLight::kNodeType) return true;
    return false;
}

// Whether a Group holds a pointing-device sensor among its own children: it then gets
// a frame of its own, so that the sensor senses that group's geometry and no more.
bool HoldsPointingSensor(Group* group) {
    if (group == nullptr) return false;
    for (SingleNode* child : group->children().Nodes()) {
        const int type = child != nullptr ? GetNodeType(*child) : -1;
        if (type == TouchSensor::kNodeType || type == PlaneSensor::kNodeType ||
            type == CylinderSensor::kNodeType || type == SphereSensor::kNodeType)
            return true;
    }
    return false;
}

bool HasFrameOfItsOwn(Group* group) {
    return HoldsDirectionalLight(group) || HoldsPointingSensor(group);
}

// A value in [0, 1] as lighting uses it; NaN gives `otherwise`.
float Unit(float value, float otherwise) {
    return std::isnan(value) ? otherwise : std::clamp(value, 0.0f, 1.0f);
}

}  // namespace

// ---- The handler table ----

const NodeHandler* CNodeDealer::FindHandler(int type) {
    using D = CNodeDealer;
    using R = ShapeRole;
    struct Entry {
        int type;
        NodeHandler handler;
    };
    static const Entry kEntries[] = {
        {Anchor::kNodeType, {&D::Enter_Anchor, &D::Exit_Anchor, R::None}},
        {Appearance::kNodeType, {&D::Enter_Appearance, nullptr, R::None}},
        {Background::kNodeType, {&D::Enter_Background, &D::Exit_Background, R::None}},
        {Background2D::kNodeType, {&D::Enter_Background2D, nullptr, R::None}},
        {Bitmap::kNodeType, {&D::Enter_Bitmap, nullptr, R::None}},
        {Box::kNodeType, {&D::Enter_Box, nullptr, R::Geometry}},
        {Circle::kNodeType, {&D::Enter_Circle, nullptr, R::Geometry}},
        {Collision::kNodeType, {&D::Enter_Collision, nullptr, R::None}},
        {Color::kNodeType, {&D::Enter_Color, nullptr, R::None}},
        {ColorInterpolator::kNodeType, {&D::Enter_ColorInterpolator, nullptr, R::None}},
        {Cone::kNodeType, {&D::Enter_Cone, nullptr, R::Geometry}},
        {Coordinate2D::kNodeType, {&D::Enter_Coordinate2D, nullptr, R::None}},
        {Cylinder::kNodeType, {&D::Enter_Cylinder, nullptr, R::Geometry}},
        {DirectionalLight::kNodeType, {&D::Enter_DirectionalLight, nullptr, R::None}},
        {ElevationGrid::kNodeType, {&D::Enter_ElevationGrid, nullptr, R::Geometry}},
        {Expression::kNodeType, {&D::Enter_Expression, nullptr, R::None}},
        {Extrusion::kNodeType, {&D::Enter_Extrusion, nullptr, R::Geometry}},
        {Face::kNodeType, {&D::Enter_Face, &D::Exit_Face, R::None}},
        {FAP::kNodeType, {&D::Enter_FAP, nullptr, R::None}},
        {FDP::kNodeType, {&D::Enter_FDP, nullptr, R::None}},
        {Group::kNodeType, {&D::Enter_Group, &D::Exit_Group, R::None}},
        {ImageTexture::kNodeType, {&D::Enter_ImageTexture, nullptr, R::Texture}},
        {IndexedFaceSet::kNodeType, {&D::Enter_IndexedFaceSet, nullptr, R::Geometry}},
        {IndexedFaceSet2D::kNodeType, {&D::Enter_IndexedFaceSet2D, nullptr, R::Geometry}},
        {IndexedLineSet::kNodeType, {&D::Enter_IndexedLineSet, nullptr, R::Geometry}},
        {IndexedLineSet2D::kNodeType, {&D::Enter_IndexLineSet2D, nullptr, R::Geometry}},
        {Layer2D::kNodeType, {&D::Enter_Layer2D, nullptr, R::None}},
        {LOD::kNodeType, {&D::Enter_LOD, nullptr, R::None}},
        {Material::kNodeType, {&D::Enter_Material, nullptr, R::Material}},
        {Material2D::kNodeType, {&D::Enter_Material2D, nullptr, R::Material}},
        {MovieTexture::kNodeType, {&D::Enter_MovieTexture, nullptr, R::Texture}},
        {NavigationInfo::kNodeType, {&D::Enter_NavigationInfo, nullptr, R::None}},
        {OrderedGroup::kNodeType, {&D::Enter_OrderedGroup, nullptr, R::None}},
        {OrientationInterpolator::kNodeType, {&D::Enter_OrientationInterpolator, nullptr, R::None}},
        {DeclaredNode::kPixelTexture, {&D::Enter_PixelTexture, nullptr, R::Texture}},
        {PointLight::kNodeType, {&D::Enter_PointLight, nullptr, R::None}},
        {PointSet::kNodeType, {&D::Enter_PointSet, nullptr, R::Geometry}},
        {PointSet2D::kNodeType, {&D::Enter_PointSet2D, nullptr, R::Geometry}},
        {PositionInterpolator::kNodeType, {&D::Enter_PositionInterpolator, nullptr, R::None}},
        {_Rectangle::kNodeType, {&D::Enter_Rectangle, nullptr, R::Geometry}},
        {DeclaredNode::kScript, {&D::Enter_Script, nullptr, R::None}},
        {Shape::kNodeType, {&D::Enter_Shape, &D::Exit_Shape, R::None}},
        {Sound2D::kNodeType, {&D::Enter_Sound2D, nullptr, R::None}},
        {Sphere::kNodeType, {&D::Enter_Sphere, nullptr, R::Geometry}},
        {SpotLight::kNodeType, {&D::Enter_SpotLight, nullptr, R::None}},
        {Switch::kNodeType, {&D::Enter_Switch, nullptr, R::None}},
        {Text::kNodeType, {&D::Enter_Text, nullptr, R::Geometry}},
        {TextureTransform::kNodeType, {&D::Enter_TextureTransform, nullptr, R::TextureTransform}},
        {TimeSensor::kNodeType, {&D::Enter_TimeSensor, nullptr, R::None}},
        // Interpolators the dealer keeps no table for: the event cascade reads their fields.
        {ScalarInterpolator::kNodeType, {&D::Enter_TimeSensor, nullptr, R::None}},
        {CoordinateInterpolator::kNodeType, {&D::Enter_TimeSensor, nullptr, R::None}},
        {NormalInterpolator::kNodeType, {&D::Enter_TimeSensor, nullptr, R::None}},
        {PositionInterpolator2D::kNodeType, {&D::Enter_TimeSensor, nullptr, R::None}},
        {CoordinateInterpolator2D::kNodeType, {&D::Enter_TimeSensor, nullptr, R::None}},
        {Transform::kNodeType, {&D::Enter_Transform, &D::Exit_Transform, R::None}},
        {Transform2D::kNodeType, {&D::Enter_Transform2D, &D::Exit_Transform2D, R::None}},
        {Viewpoint::kNodeType, {&D::Enter_Viewpoint, nullptr, R::None}},
        {Viseme::kNodeType, {&D::Enter_Viseme, nullptr, R::None}},
    };
    // The sensors: a table of their own, merged into the one above.
    static const Entry kSensorEntries[] = {
        {TouchSensor::kNodeType, {&D::Enter_TouchSensor, nullptr, R::None}},
        {PlaneSensor::kNodeType, {&D::Enter_PlaneSensor, nullptr, R::None}},
        {CylinderSensor::kNodeType, {&D::Enter_CylinderSensor, nullptr, R::None}},
        {SphereSensor::kNodeType, {&D::Enter_SphereSensor, nullptr, R::None}},
        {ProximitySensor::kNodeType, {&D::Enter_ProximitySensor, nullptr, R::None}},
        {VisibilitySensor::kNodeType, {&D::Enter_VisibilitySensor, nullptr, R::None}},
    };
    static const auto kByType = [] {
        std::array<const NodeHandler*, 256> byType{};
        for (const Entry& e : kEntries) byType[static_cast<std::size_t>(e.type)] = &e.handler;
        for (const Entry& e : kSensorEntries) byType[static_cast<std::size_t>(e.type)] = &e.handler;
        return byType;
    }();
    if (type < 0 || type >= static_cast<int>(kByType.size())) return nullptr;
    return kByType[static_cast<std::size_t>(type)];
}

bool CNodeDealer::Dispatch(ShapeRole role, SingleNode* parent, SingleNode* node) {
    const NodeHandler* handler = FindHandler(GetNodeType(*node));
    if (handler == nullptr || handler->role != role || handler->enter == nullptr) return false;
    (this->*handler->enter)(parent, World(node));
    return true;
}

CNodeDealer::~CNodeDealer() {
    m_mesh.Reset();
    m_frames.clear();
}

void CNodeDealer::Reset(CD3DObj* display, const std::string& sceneFile) {
    m_display = display;
    m_sceneFile = sceneFile;
    m_lods.clear();
    m_headLight = true;
    m_navigationInfoSeen = false;
    m_backgroundSeen = false;
    m_texture.SetPicture(&m_picture);
    m_mesh.Reset();
    m_frames.clear();
    if (display != nullptr && display->GetWorld() != nullptr)
        m_frames.emplace_back(display->GetWorld());
    m_interpolators.clear();
    m_nodeObjects.clear();
    m_viewpoints.clear();
    m_sensors.clear();
    m_shapes.clear();
    m_choiceParents.clear();
    m_shownBackground = nullptr;
    m_bounds = rm::Box{};
    m_unitBoxes.clear();
    m_texture.SetD3DRM(RM());
    m_texture.SetDDrawObj(display ? display->GetDDrawObj() : nullptr);
}

// ---- Nodes that make nothing ----

Visit CNodeDealer::Enter_Appearance(SingleNode*, SFWorldNode*) {
    return Visit::Children;
}
Visit CNodeDealer::Enter_Bitmap(SingleNode*, SFWorldNode*) {
    return Visit::Children;
}
Visit CNodeDealer::Enter_Color(SingleNode*, SFWorldNode*) {
    return Visit::Children;
}
Visit CNodeDealer::Enter_Coordinate2D(SingleNode*, SFWorldNode*) {
    return Visit::Children;
}
Visit CNodeDealer::Enter_Expression(SingleNode*, SFWorldNode*) {
    return Visit::Children;
}
Visit CNodeDealer::Enter_FAP(SingleNode*, SFWorldNode*) {
    return Visit::SkipChildren;
}
Visit CNodeDealer::Enter_Layer2D(SingleNode*, SFWorldNode*) {
    return Visit::Children;
}
Visit CNodeDealer::Enter_MovieTexture(SingleNode*, SFWorldNode*) {
    return Visit::Children;
}
Visit CNodeDealer::Enter_OrderedGroup(SingleNode*, SFWorldNode*) {
    return Visit::Children;
}
Visit CNodeDealer::Enter_Sound2D(SingleNode*, SFWorldNode*) {
    return Visit::Children;
}
Visit CNodeDealer::Enter_TimeSensor(SingleNode*, SFWorldNode*) {
    return Visit::SkipChildren;
}
Visit CNodeDealer::Enter_Viseme(SingleNode*, SFWorldNode*) {
    return Visit::Children;
}

Visit CNodeDealer::Enter_NavigationInfo(SingleNode*, SFWorldNode* node) {
    // The first NavigationInfo of the scene is the one bound at load.
    auto* info = As<NavigationInfo>(node);
    if (info != nullptr && !m_navigationInfoSeen) m_headLight = info->headlight().Get() != 0;
    m_navigationInfoSeen = true;
    return Visit::SkipChildren;
}

// ---- Grouping nodes that choose what to draw ----

Visit CNodeDealer::Enter_Switch(SingleNode*, SFWorldNode* node) {
    auto* sw = As<Switch>(node);
    if (sw == nullptr) return Visit::SkipChildren;
    // -1 (the default) and any choice out of range draw nothing.
    const int which = sw->whichChoice().Get();
    rm::Frame* parent = CurrentFrame();
    if (m_routeTargets.count(sw) != 0 && RM() != nullptr && parent != nullptr) {
        // A routed Switch: every choice in a frame of its own, the chosen one attached.
        for (int i = 0; i < sw->choice().GetCount(); ++i) {
            rm::Ptr<rm::Frame> frame;
            if (rm::Failed(RM()->CreateFrame(parent, frame.Put()))) break;
            const rm::Box bounds = m_bounds;
            m_frames.push_back(frame);
            VisitChild(sw, sw->choice().GetNodeAt(i));
            PopFrame();
            if (i != which) {
                parent->DeleteChild(frame.Get());
                m_bounds = bounds;  // what is not shown does not count in the start view
            }
            m_choiceParents[frame.Get()] = rm::Ptr<rm::Frame>(parent);
            NodeObjectsOf(sw).emplace_back(frame.Get());
        }
        return Visit::SkipChildren;
    }
    if (which >= 0 && which < sw->choice().GetCount())
        VisitChild(sw, sw->choice().GetNodeAt(which));
    return Visit::SkipChildren;
}

Visit CNodeDealer::Enter_Collision(SingleNode*, SFWorldNode* node) {
    // The proxy stands in for the children in collision tests only: never drawn.
    if (auto* c = As<Collision>(node)) VisitChild(c, &c->children());
    return Visit::SkipChildren;
}

Visit CNodeDealer::Enter_LOD(SingleNode*, SFWorldNode* node) {
    auto* lod = As<LOD>(node);
    rm::RetainedMode* rm = RM();
    rm::Frame* parent = CurrentFrame();
    if (lod == nullptr || rm == nullptr || parent == nullptr) return Visit::SkipChildren;
    LevelRecord record;
    record.parent = rm::Ptr<rm::Frame>(parent);
    const SFVec3f& c = lod->center();
    record.center = {c.GetX(), c.GetY(), c.GetZ()};
    for (const SFFloat& r : lod->range().Values()) record.ranges.push_back(r.Get());
    // Every level is translated, each into a frame of its own; SelectLevels
    // attaches the one the camera's distance asks for.
    for (SingleNode* level : lod->level().Nodes()) {
        rm::Ptr<rm::Frame> frame;
        if (rm::Failed(rm->CreateFrame(parent, frame.Put()))) break;
        m_frames.push_back(frame);
        VisitChild(lod, level);
        PopFrame();
        parent->DeleteChild(frame.Get());
        record.levels.push_back(std::move(frame));
    }
    if (!record.levels.empty()) m_lods.push_back(std::move(record));
    SelectLevels(m_display ? m_display->GetCamera() : nullptr);
    return Visit::SkipChildren;
}

void CNodeDealer::SelectLevels(const rm::Frame* camera) {
    for (LevelRecord& lod : m_lods) {
        int level = 0;
        if (camera != nullptr && !lod.ranges.empty()) {
            glm::vec3 center =
                glm::vec3(lod.parent->GetWorldTransform() * glm::vec4(lod.center, 1));
            glm::vec3 eye = glm::vec3(camera->GetWorldTransform() * glm::vec4(0, 0, 0, 1));
            const float distance = glm::length(eye - center);
            while (level < static_cast<int>(lod.ranges.size()) && distance >= lod.ranges[level])
                ++level;
        }
        // Fewer levels than ranges + 1: the farther distances show the last level.
        level = std::min(level, static_cast<int>(lod.levels.size()) - 1);
        if (level == lod.shown) continue;
        if (lod.shown >= 0) lod.parent->DeleteChild(lod.levels[lod.shown].Get());
        lod.parent->AddChild(lod.levels[level].Get());
        lod.shown = level;
    }
}

// ---- Geometry: each fills the current meshbuilder (nothing without one) ----

namespace {

// A closed primitive (a box, a sphere, a cone or cylinder with all its parts) is seen
// from outside only, so its back faces are not drawn: they lie behind its front faces
// wherever it is seen from outside, and drawing them doubled the rasteriser's work. An
// open cone or cylinder keeps both sides, so that its inside shows through the opening.
void SetClosed(rm::MeshBuilder* mb, bool closed) {
    if (mb != nullptr) mb->SetSolid(closed);
}

}  // namespace

Visit CNodeDealer::Enter_Box(SingleNode*, SFWorldNode* node) {
    if (auto* n = As<Box>(node)) {
        GeometryProblems problems = 0;
        const SFVec3f& size = n->size();
        GetABox(RM(), m_mesh.Get(), Size(size.GetX(), problems), Size(size.GetY(), problems),
                Size(size.GetZ(), problems), m_unlitShape);
        SetClosed(m_mesh.Get(), true);
        Report("Box", problems);
    }
    return Visit::Children;
}

Visit CNodeDealer::Enter_Circle(SingleNode*, SFWorldNode* node) {
    if (auto* n = As<Circle>(node); n != nullptr && RM() != nullptr)
        GetACircle(*RM(), m_mesh.Get(), n->radius().Get());
    return Visit::Children;
}

Visit CNodeDealer::Enter_Cone(SingleNode*, SFWorldNode* node) {
    if (auto* n = As<Cone>(node)) {
        GeometryProblems problems = 0;
        const float radius = Size(n->bottomRadius().Get(), problems);
        const float height = Size(n->height().Get(), problems);
        GetACone(RM(), m_mesh.Get(), radius, height, 48, n->side().Get(), n->bottom().Get(),
                 m_unlitShape);
        SetClosed(m_mesh.Get(), n->side().Get() && n->bottom().Get());
        Report("Cone", problems);
    }
    return Visit::Children;
}

Visit CNodeDealer::Enter_Cylinder(SingleNode*, SFWorldNode* node) {
    if (auto* n = As<Cylinder>(node); n != nullptr && RM() != nullptr) {
        GeometryProblems problems = 0;
        const float radius = Size(n->radius().Get(), problems);
        const float height = Size(n->height().Get(), problems);
        GetACylinder(*RM(), m_mesh.Get(), radius, height, 48, n->side().Get(), n->top().Get(),
                     n->bottom().Get(), m_unlitShape);
        SetClosed(m_mesh.Get(), n->side().Get() && n->top().Get() && n->bottom().Get());
        Report("Cylinder", problems);
    }
    return Visit::Children;
}

Visit CNodeDealer::Enter_Rectangle(SingleNode*, SFWorldNode* node) {
    if (auto* n = As<_Rectangle>(node)) GetARect(m_mesh.Get(), n->size().GetX(), n->size().GetY());
    return Visit::Children;
}

Visit CNodeDealer::Enter_Sphere(SingleNode*, SFWorldNode* node) {
    if (auto* n = As<Sphere>(node)) {
        GeometryProblems problems = 0;
        GetASphere(RM(), m_mesh.Get(), Size(n->radius().Get(), problems), 24, 16, m_unlitShape);
        SetClosed(m_mesh.Get(), true);
        Report("Sphere", problems);
    }
    return Visit::Children;
}

Visit CNodeDealer::Enter_FDP(SingleNode*, SFWorldNode*) {
    GetABox(m_mesh.Get(), 2, 2, 2);
    return Visit::Children;
}

Visit CNodeDealer::Enter_IndexedFaceSet(SingleNode*, SFWorldNode* node) {
    auto* set = As<IndexedFaceSet>(node);
    if (set == nullptr || !m_mesh) return Visit::Children;
    auto* coord = dynamic_cast<Coordinate*>(Held(set->coord()));
    if (coord == nullptr) return Visit::Children;
    FaceSetInput in;
    in.points = PointsOf(*coord);
    in.coordIndex = set->coordIndex().Values();
    in.colors = ColorsOf(set->color());
    in.colorIndex = set->colorIndex().Values();
    in.colorPerVertex = set->colorPerVertex().Get();
    in.normals = NormalsOf(set->normal());
    in.normalIndex = set->normalIndex().Values();
    in.normalPerVertex = set->normalPerIndex().Get();  // normalPerVertex in VRML97 text
    in.texPoints = TexPointsOf(set->texCoord());
    in.texCoordIndex = set->texCoordIndex().Values();
    in.ccw = set->ccw().Get();
    in.solid = set->solid().Get();
    in.creaseAngle = set->creaseAngle().Get();
    // Polygons may be concave whatever `convex` says: every polygon is triangulated as it is.
    Report("IndexedFaceSet", GetAFaceSet(m_mesh.Get(), std::move(in)));
    return Visit::Children;
}

Visit CNodeDealer::Enter_IndexedFaceSet2D(SingleNode*, SFWorldNode* node) {
    auto* set = As<IndexedFaceSet2D>(node);
    if (set == nullptr || !m_mesh) return Visit::Children;
    auto* coord = dynamic_cast<Coordinate2D*>(Held(set->coord()));
    if (coord == nullptr) return Visit::Children;
    FaceSetInput in;
    in.points = PointsOf(*coord);
    std::vector<SFInt32> inOrder;  // without coordIndex the points make one polygon
    in.coordIndex = IndexOrInOrder(set->coordIndex(), in.points.size(), inOrder);
    in.colors = ColorsOf(set->color());
    in.colorIndex = set->colorIndex().Values();
    in.colorPerVertex = set->colorPerVertex().Get();
    in.texPoints = TexPointsOf(set->texCoord());
    in.texCoordIndex = set->texCoordIndex().Values();
    // Flat shapes are seen from both sides.
    in.solid = false;
    m_mesh->SetColorRGB(0.8f, 0.8f, 0.8f);
    Report("IndexedFaceSet2D", GetAFaceSet(m_mesh.Get(), std::move(in)));
    return Visit::Children;
}

Visit CNodeDealer::Enter_ElevationGrid(SingleNode*, SFWorldNode* node) {
    auto* grid = As<ElevationGrid>(node);
    if (grid == nullptr || !m_mesh) return Visit::Children;
    ElevationGridInput in;
    in.xDimension = grid->xDimension().Get();
    in.zDimension = grid->zDimension().Get();
    in.xSpacing = grid->xSpacing().Get();
    in.zSpacing = grid->zSpacing().Get();
    in.height = grid->height().Values();
    in.colors = ColorsOf(grid->color());
    in.colorPerVertex = grid->colorPerVertex().Get();
    in.normals = NormalsOf(grid->normal());
    in.normalPerVertex = grid->normalPerVertex().Get();
    in.texPoints = TexPointsOf(grid->texCoord());
    in.ccw = grid->ccw().Get();
    in.solid = grid->solid().Get();
    in.creaseAngle = grid->creaseAngle().Get();
    Report("ElevationGrid", GetAnElevationGrid(m_mesh.Get(), in));
    return Visit::Children;
}

Visit CNodeDealer::Enter_Extrusion(SingleNode*, SFWorldNode* node) {
    auto* e = As<Extrusion>(node);
    if (e == nullptr || !m_mesh) return Visit::Children;
    ExtrusionInput in;
    in.crossSection = e->crossSection().Values();
    in.spine = e->spine().Values();
    in.scale = e->scale().Values();
    in.orientation = e->orientation().Values();
    in.beginCap = e->beginCap().Get();
    in.endCap = e->endCap().Get();
    in.ccw = e->ccw().Get();
    in.solid = e->solid().Get();
    in.creaseAngle = e->creaseAngle().Get();
    // Caps may be concave whatever `convex` says: the retained layer triangulates each one.
    Report("Extrusion", GetAnExtrusion(m_mesh.Get(), in));
    return Visit::Children;
}

Visit CNodeDealer::Enter_Text(SingleNode*, SFWorldNode* node) {
    auto* text = As<Text>(node);
    if (text == nullptr || !m_mesh) return Visit::Children;
    TextInput in;
    in.strings = text->_string().Values();  // `string` in VRML97 text
    in.length = text->length().Values();
    in.maxExtent = text->maxExtent().Get();
    if (auto* f = dynamic_cast<FontStyle*>(Held(text->fontStyle()))) {
        in.family.clear();
        for (const SFString& name : f->family().Values()) in.family.push_back(name.Get());
        in.style = f->style().Get();
        in.size = f->size().Get();
        in.spacing = f->spacing().Get();
        in.justify.clear();
        for (const SFString& j : f->justify().Values()) in.justify.push_back(j.Get());
        in.horizontal = f->horizontal().Get();
        in.leftToRight = f->leftToRight().Get();
        in.topToBottom = f->topToBottom().Get();
    }
    if (!m_fonts) m_fonts = std::make_shared<FontLibrary>();
    const std::string message = DescribeText(in, GetAText(m_mesh.Get(), *m_fonts, in));
    if (!message.empty()) ShowMessage(message);
    return Visit::Children;
}

Visit CNodeDealer::Enter_IndexedLineSet(SingleNode*, SFWorldNode* node) {
    auto* set = As<IndexedLineSet>(node);
    if (set == nullptr || !m_mesh) return Visit::Children;
    auto* coord = dynamic_cast<Coordinate*>(Held(set->coord()));
    if (coord == nullptr) return Visit::Children;
    LineSetInput in;
    in.points = PointsOf(*coord);
    in.coordIndex = set->coordIndex().Values();
    in.colors = ColorsOf(set->color());
    in.colorIndex = set->colorIndex().Values();
    in.colorPerVertex = set->colorPerVertex().Get();
    Report("IndexedLineSet", GetALineSet(m_mesh.Get(), std::move(in)));
    return Visit::Children;
}

Visit CNodeDealer::Enter_IndexLineSet2D(SingleNode*, SFWorldNode* node) {
    auto* set = As<IndexedLineSet2D>(node);
    if (set == nullptr || !m_mesh) return Visit::Children;
    auto* coord = dynamic_cast<Coordinate2D*>(Held(set->coord()));
    if (coord == nullptr) return Visit::Children;
    LineSetInput in;
    in.points = PointsOf(*coord);
    std::vector<SFInt32> inOrder;  // without coordIndex the points make one polyline
    in.coordIndex = IndexOrInOrder(set->coordIndex(), in.points.size(), inOrder);
    in.colors = ColorsOf(set->color());
    in.colorIndex = set->colorIndex().Values();
    in.colorPerVertex = set->colorPerVertex().Get();
    Report("IndexedLineSet2D", GetALineSet(m_mesh.Get(), std::move(in)));
    return Visit::Children;
}

Visit CNodeDealer::Enter_PointSet(SingleNode*, SFWorldNode* node) {
    auto* set = As<PointSet>(node);
    auto* coord = set ? dynamic_cast<Coordinate*>(Held(set->coord())) : nullptr;
    if (coord == nullptr || !m_mesh) return Visit::Children;
    Report("PointSet", GetAPointSet(m_mesh.Get(), PointsOf(*coord), ColorsOf(set->color())));
    return Visit::Children;
}

Visit CNodeDealer::Enter_PointSet2D(SingleNode*, SFWorldNode* node) {
    auto* set = As<PointSet2D>(node);
    auto* coord = set ? dynamic_cast<Coordinate2D*>(Held(set->coord())) : nullptr;
    if (coord == nullptr || !m_mesh) return Visit::Children;
    Report("PointSet2D", GetAPointSet(m_mesh.Get(), PointsOf(*coord), ColorsOf(set->color())));
    return Visit::Children;
}

// ---- Appearance ----

Visit CNodeDealer::Enter_Material(SingleNode*, SFWorldNode* node) {
    auto* m = As<Material>(node);
    rm::RetainedMode* rm = RM();
    // A Material outside a Shape has no meshbuilder to colour.
    if (m == nullptr || rm == nullptr || !m_mesh) return Visit::Children;
    rm::Ptr<rm::Material> material = MakeMaterial(*rm, *m);
    if (!material) {
        ShowMessage("Failed to create material!");
        return Visit::Children;
    }
    m_mesh->SetMaterial(material.Get());
    // A Material shared through USE colours every shape using it: each one's
    // meshbuilder is kept, so that colour routes reach them all.
    NodeObjectsOf(m).emplace_back(m_mesh.Get());
    return Visit::Children;
}

Visit CNodeDealer::Enter_Material2D(SingleNode*, SFWorldNode* node) {
    auto* m = As<Material2D>(node);
    if (m != nullptr && m_mesh) {
        const SFColor& e = m->emissiveColor();
        m_mesh->SetColorRGB(e.GetR(), e.GetG(), e.GetB());
    }
    return Visit::Children;
}

template <class List>
bool CNodeDealer::LoadTexture(const List& urls) {
    bool loaded = false;
    for (const auto& url : urls.Values()) {
        if (url.Get().empty()) continue;
        if (m_picture.Load(ResolveUrl(m_sceneFile, url.Get()), 0)) {
            loaded = true;
            break;
        }
    }
    if (!loaded) {
        ShowMessage("File name error!");
        return false;
    }
    rm::Ptr<rm::Texture> texture = rm::Ptr<rm::Texture>::Adopt(m_texture.MakeTexture());
    if (texture && m_mesh) m_mesh->SetTexture(texture.Get());
    return true;
}

Visit CNodeDealer::Enter_ImageTexture(SingleNode*, SFWorldNode* node) {
    auto* t = As<ImageTexture>(node);
    // Outside a Shape there is no meshbuilder to put the texture on.
    if (t != nullptr && m_mesh && t->url().GetCount() > 0 && LoadTexture(t->url()) &&
        m_mesh->GetTexture() != nullptr)
        m_mesh->GetTexture()->SetRepeat(t->repeatS().Get(), t->repeatT().Get());
    return Visit::SkipChildren;
}

Visit CNodeDealer::Enter_PixelTexture(SingleNode*, SFWorldNode* node) {
    DeclaredNode* t = DeclaredNode::Of(node);
    if (t == nullptr || !m_mesh) return Visit::SkipChildren;
    const auto* image = dynamic_cast<const MFField<SFInt32>*>(t->GetField(t->FindField("image")));
    std::vector<std::int32_t> numbers;
    if (image != nullptr)
        for (const SFInt32& n : image->Values()) numbers.push_back(n.Get());
    // An empty image (the default 0 0 0) is no texture, and no mistake.
    if (numbers.size() >= 2 && (numbers[0] == 0 || numbers[1] == 0)) return Visit::SkipChildren;
    const bool made = m_picture.SetPixels(numbers);
    if (!m_picture.GetError().empty()) ShowMessage(m_picture.GetError().c_str());
    if (!made) return Visit::SkipChildren;
    auto texture = rm::Ptr<rm::Texture>::Adopt(m_texture.MakeTexture());
    if (!texture) return Visit::SkipChildren;
    auto repeat = [t](const char* name) {
        const auto* flag = dynamic_cast<const SFBool*>(t->GetField(t->FindField(name)));
        return flag == nullptr || flag->Get();
    };
    texture->SetRepeat(repeat("repeatS"), repeat("repeatT"));
    m_mesh->SetTexture(texture.Get());
    return Visit::SkipChildren;
}

Visit CNodeDealer::Enter_Script(SingleNode*, SFWorldNode*) {
    return Visit::SkipChildren;
}

template <class List>
rm::Ptr<rm::Texture> CNodeDealer::LoadPicture(const List& urls) {
    for (const auto& url : urls.Values()) {
        if (url.Get().empty()) continue;
        if (m_picture.Load(ResolveUrl(m_sceneFile, url.Get()), 0))
            return rm::Ptr<rm::Texture>::Adopt(m_texture.MakeTexture());
    }
    ShowMessage("File name error!");
    return {};
}

namespace {

// A Background gradient: colours[0] at angle 0, colours[i] at angles[i - 1], as many
// stops as both lists give; angles are kept within [0, limit] and never fall (a
// non-finite one repeats the one before). Fewer colours than the angles need is
// reported.
rm::Gradient GradientOf(std::span<const SFColor> colors, std::span<const SFFloat> angles,
                        float limit, GeometryProblems& problems) {
    rm::Gradient g;
    if (colors.size() < angles.size() + 1 && !angles.empty()) problems |= kMissingValues;
    const std::size_t stops = std::min(colors.size(), angles.size() + 1);
    float last = 0.0f;
    for (std::size_t i = 0; i < stops; ++i) {
        const SFColor& c = colors[i];
        g.colors.emplace_back(c.GetR(), c.GetG(), c.GetB());
        if (i > 0 && std::isfinite(angles[i - 1].Get()))
            last = std::clamp(angles[i - 1].Get(), last, limit);
        g.angles.push_back(last);
    }
    return g;
}

}  // namespace

Visit CNodeDealer::Enter_Background(SingleNode*, SFWorldNode* node) {
    auto* bg = As<Background>(node);
    rm::Frame* scene = m_display ? m_display->GetScene() : nullptr;
    // Where it stands, for showing it again when it is bound later.
    if (bg != nullptr && CurrentFrame() != nullptr && NodeObjectsOf(bg).empty())
        NodeObjectsOf(bg).emplace_back(CurrentFrame());
    // The first Background met is the one shown.
    if (bg == nullptr || scene == nullptr || m_backgroundSeen) return Visit::SkipChildren;
    m_backgroundSeen = true;
    m_shownBackground = bg;
    auto backdrop = std::make_shared<rm::Backdrop>();
    GeometryProblems problems = 0;
    constexpr float kPi = 3.14159265f;
    backdrop->sky = GradientOf(bg->skyColor().Values(), bg->skyAngle().Values(), kPi, problems);
    backdrop->ground =
        GradientOf(bg->groundColor().Values(), bg->groundAngle().Values(), kPi / 2, problems);
    const MFField<SFString>* urls[6] = {&bg->backUrl(), &bg->bottomUrl(), &bg->frontUrl(),
                                        &bg->leftUrl(), &bg->rightUrl(),  &bg->topUrl()};
    for (std::size_t k = 0; k < 6; ++k)
        if (urls[k]->GetCount() > 0) backdrop->faces[k] = LoadPicture(*urls[k]);
    // The rotation of the Transforms above it turns it; their scale and place do not.
    if (const rm::Frame* frame = CurrentFrame()) {
        glm::mat3 r(frame->GetWorldTransform());
        bool ok = true;
        for (int k = 0; k < 3; ++k) {
            const float len = glm::length(r[k]);
            ok = ok && len > 0.0f && std::isfinite(len);
            if (ok) r[k] /= len;
        }
        if (ok) backdrop->orientation = r;
    }
    scene->SetSceneBackdrop(std::move(backdrop));
    Report("Background", problems);
    return Visit::SkipChildren;
}

void CNodeDealer::Exit_Background(SingleNode*, SFWorldNode*) {
    m_mesh.Reset();
}

Visit CNodeDealer::Enter_Background2D(SingleNode*, SFWorldNode* node) {
    auto* bg = As<Background2D>(node);
    if (bg != nullptr && m_display && m_display->GetScene()) {
        const SFColor& c = bg->backColor();
        m_display->GetScene()->SetSceneBackgroundRGB(c.GetR(), c.GetG(), c.GetB());
    }
    return Visit::SkipChildren;
}

// ---- Shape and Face ----

Visit CNodeDealer::Enter_Shape(SingleNode*, SFWorldNode* node) {
    auto* shape = As<Shape>(node);
    rm::RetainedMode* rm = RM();
    if (shape == nullptr || rm == nullptr) return Visit::SkipChildren;
    if (rm::Failed(rm->CreateMeshBuilder(m_mesh.Put()))) {
        ShowMessage("Failed to create meshbuilder when Enter_Shape");
        m_mesh.Reset();
    }
    SingleNode* self = shape;
    auto* appearance = dynamic_cast<Appearance*>(Held(shape->appearance()));
    m_unlitShape = appearance == nullptr || Held(appearance->material()) == nullptr;
    if (SingleNode* geometry = Held(shape->geometry())) {
        if (!Dispatch(ShapeRole::Geometry, self, geometry))
            ShowMessage("Geometry type not supported!");
    }
    if (appearance != nullptr) {
        SingleNode* a = appearance;
        if (SingleNode* material = Held(appearance->material())) {
            if (!Dispatch(ShapeRole::Material, a, material))
                ShowMessage("unrecognized material type!");
        }
        if (SingleNode* texture = Held(appearance->texture())) {
            if (!Dispatch(ShapeRole::Texture, a, texture))
                ShowMessage("Appearance type not supported!");
        }
        if (SingleNode* transform = Held(appearance->textureTransform()))
            Dispatch(ShapeRole::TextureTransform, a, transform);
    }
    if (m_mesh && !m_routeTargets.empty()) {
        // Nodes the routes change that this mesh is made from: it is built again then.
        std::vector<SingleNode*> sources;
        if (SingleNode* geometry = Held(shape->geometry())) {
            sources.push_back(geometry);
            for (std::uint8_t def : geometry->GetDEFNodeFields())
                sources.push_back(dynamic_cast<SingleNode*>(geometry->GetDEFField(def)));
        }
        if (auto* appearance = dynamic_cast<Appearance*>(Held(shape->appearance())))
            sources.push_back(Held(appearance->textureTransform()));
        for (SingleNode* source : sources) {
            if (source == nullptr || m_routeTargets.count(source) == 0) continue;
            NodeObjectsOf(source).emplace_back(m_mesh.Get());
            m_shapes[m_mesh.Get()] = node::Ptr<SingleNode>(shape);
        }
    }
    if (m_mesh) {
        // A shape without a Material is not lit: its texture, its colours, or white.
        if (m_unlitShape) m_mesh->SetColorRGB(1, 1, 1);
        m_mesh->SetQuality(m_unlitShape ? (m_quality & ~rm::kLightMask) | rm::kLightOff
                                        : m_quality);
        rm::Frame* frame = CurrentFrame();
        if (frame == nullptr || rm::Failed(frame->AddVisual(m_mesh.Get())))
            ShowMessage("Failed to AddVisual when ExecRender.");
        else
            AddToBounds(*m_mesh, *frame);
    }
    return Visit::SkipChildren;
}

void CNodeDealer::AddToBounds(const rm::MeshBuilder& mesh, const rm::Frame& frame) {
    // The points its faces use: a face set's points that no face names are not drawn.
    const std::shared_ptr<const rm::MeshData> data = mesh.UnitData();
    const bool shared = mesh.UnitScale() != glm::vec3(1.0f);
    auto known = shared ? m_unitBoxes.find(data) : m_unitBoxes.end();
    rm::Box box;
    if (known != m_unitBoxes.end()) {
        box = known->second;
    } else {
        for (std::uint32_t v : data->cornerVertex) {
            if (v >= data->vertices.size()) continue;
            const glm::vec3& p = data->vertices[v];
            const bool first = box.Empty();
            box.min = first ? p : glm::min(box.min, p);
            box.max = first ? p : glm::max(box.max, p);
        }
        if (shared) m_unitBoxes.emplace(data, box);
    }
    if (box.Empty()) return;
    // A shared unit mesh's scale is positive on every axis: corners stay corners.
    box.min *= mesh.UnitScale();
    box.max *= mesh.UnitScale();
    const glm::mat4 world = frame.GetWorldTransform();
    for (int corner = 0; corner < 8; ++corner) {
        const glm::vec3 local((corner & 1 ? box.max : box.min).x,
                              (corner & 2 ? box.max : box.min).y,
                              (corner & 4 ? box.max : box.min).z);
        const glm::vec3 p = glm::vec3(world * glm::vec4(local, 1));
        if (!std::isfinite(p.x) || !std::isfinite(p.y) || !std::isfinite(p.z)) continue;
        const bool first = m_bounds.Empty();
        m_bounds.min = first ? p : glm::min(m_bounds.min, p);
        m_bounds.max = first ? p : glm::max(m_bounds.max, p);
    }
}

void CNodeDealer::Exit_Shape(SingleNode*, SFWorldNode*) {
    m_mesh.Reset();
}

Visit CNodeDealer::Enter_Face(SingleNode*, SFWorldNode*) {
    rm::RetainedMode* rm = RM();
    if (rm == nullptr || rm::Failed(rm->CreateMeshBuilder(m_mesh.Put()))) {
        ShowMessage("Failed to create meshbuilder when Enter_Face");
        m_mesh.Reset();
    }
    return Visit::Children;
}

void CNodeDealer::Exit_Face(SingleNode*, SFWorldNode*) {
    if (m_mesh) {
        m_mesh->SetQuality(m_quality);
        rm::Frame* frame = CurrentFrame();
        if (frame == nullptr || rm::Failed(frame->AddVisual(m_mesh.Get())))
            ShowMessage("Failed to AddVisual when Exit_Face.");
    }
    m_mesh.Reset();
}

// ---- Transforms ----

Visit CNodeDealer::Enter_Transform(SingleNode*, SFWorldNode* node) {
    auto* t = As<Transform>(node);
    rm::RetainedMode* rm = RM();
    rm::Ptr<rm::Frame> frame;
    if (t != nullptr && rm != nullptr && CurrentFrame() != nullptr &&
        rm::Succeeded(rm->CreateFrame(CurrentFrame(), frame.Put()))) {
        PlaceFrame(*frame, FieldsOf(*t));
        // A Transform used twice gets a frame per use; routes move them all.
        NodeObjectsOf(t).emplace_back(frame.Get());
    }
    // Pushed even when empty, so that the exit handler's pop stays balanced.
    m_frames.push_back(std::move(frame));
    return Visit::Children;
}

void CNodeDealer::PopFrame() {
    // The world frame at the bottom stays: only frames this dealer pushed go.
    if (m_frames.size() > 1) m_frames.pop_back();
}

void CNodeDealer::Exit_Transform(SingleNode*, SFWorldNode*) {
    PopFrame();
}

Visit CNodeDealer::Enter_Transform2D(SingleNode*, SFWorldNode* node) {
    auto* t = As<Transform2D>(node);
    rm::RetainedMode* rm = RM();
    rm::Ptr<rm::Frame> frame;
    if (t != nullptr && rm != nullptr && CurrentFrame() != nullptr &&
        rm::Succeeded(rm->CreateFrame(CurrentFrame(), frame.Put()))) {
        const SFVec2f& c = t->center();
        const SFVec2f& s = t->scale();
        const SFVec2f& tr = t->translation();
        float so = t->scaleOrientation().Get();
        frame->AddRotation(rm::Combine::Before, 0, 0, 1, -so);
        frame->AddScale(rm::Combine::Before, s.GetX(), s.GetY(), 1);
        frame->AddRotation(rm::Combine::Before, 0, 0, 1, so);
        frame->AddTranslation(rm::Combine::Before, -c.GetX(), -c.GetY(), 0);
        frame->AddRotation(rm::Combine::Before, 0, 0, 1, t->rotationAngle().Get());
        frame->AddTranslation(rm::Combine::Before, c.GetX(), c.GetY(), 0);
        frame->AddTranslation(rm::Combine::Before, tr.GetX(), tr.GetY(), 0);
    }
    m_frames.push_back(std::move(frame));
    return Visit::Children;
}

void CNodeDealer::Exit_Transform2D(SingleNode*, SFWorldNode*) {
    PopFrame();
}

// ---- Lights and viewpoints ----

Visit CNodeDealer::EnterLight(SFWorldNode* node, rm::LightType type) {
    rm::RetainedMode* rm = RM();
    rm::Frame* parent = CurrentFrame();
    if (rm == nullptr || parent == nullptr) return Visit::SkipChildren;
    SingleNode* self = static_cast<SingleNode*>(node);
    // A light switched off lights nothing; one a ROUTE leads to is made anyway
    // (black), so that events can turn it on.
    const bool routed = m_routeTargets.count(self) != 0;
    bool on = true;
    if (auto* d = As<DirectionalLight>(node)) on = d->on().Get() != 0;
    if (auto* p = As<PointLight>(node)) on = p->on().Get() != 0;
    if (auto* sp = As<SpotLight>(node)) on = sp->on().Get() != 0;
    if (!on && !routed) return Visit::SkipChildren;
    rm::Ptr<rm::Frame> frame;
    rm::Ptr<rm::Light> light;
    if (rm::Failed(rm->CreateFrame(parent, frame.Put()))) return Visit::SkipChildren;
    if (rm::Failed(rm->CreateLightRGB(type, 0, 0, 0, light.Put()))) return Visit::SkipChildren;
    frame->AddLight(light.Get());
    SetLight(self, *parent, *frame, *light);
    if (routed) NodeObjectsOf(self).emplace_back(frame.Get());
    return Visit::SkipChildren;
}

void CNodeDealer::SetLight(SingleNode* node, rm::Frame& parent, rm::Frame& frame,
                           rm::Light& light) {
    // The fields every light has, and where it sits and shines.
    SFColor color;
    float intensity = 1, ambientIntensity = 0;
    bool on = true;
    SFVec3f direction, location, attenuation;
    float radius = 0;
    auto common = [&](auto* l) {
        color = l->color();
        intensity = l->intensity().Get();
        ambientIntensity = l->ambientIntensity().Get();
        on = l->on().Get() != 0;
    };
    auto* d = dynamic_cast<DirectionalLight*>(node);
    auto* p = dynamic_cast<PointLight*>(node);
    auto* s = dynamic_cast<SpotLight*>(node);
    if (d != nullptr) {
        common(d);
        direction = d->direction();
    } else if (p != nullptr) {
        common(p);
        location = p->location();
        attenuation = p->attenuation();
        radius = p->radius().Get();
    } else if (s != nullptr) {
        common(s);
        direction = s->direction();
        location = s->location();
        attenuation = s->attenuation();
        radius = s->radius().Get();
    } else {
        return;
    }
    intensity = on ? Unit(intensity, 1.0f) : 0.0f;
    ambientIntensity = on ? Unit(ambientIntensity, 0.0f) : 0.0f;
    light.SetColorRGB(color.GetR() * intensity, color.GetG() * intensity, color.GetB() * intensity);
    light.SetAmbientColorRGB(color.GetR() * ambientIntensity, color.GetG() * ambientIntensity,
                             color.GetB() * ambientIntensity);
    if (d == nullptr) {
        // Negative attenuation factors count as 0; a negative radius reaches nothing.
        light.SetAttenuation(std::max(0.0f, attenuation.GetX()), std::max(0.0f, attenuation.GetY()),
                             std::max(0.0f, attenuation.GetZ()));
        light.SetRange(std::isnan(radius) ? 0.0f : radius);
    }
    if (s != nullptr) light.SetCone(s->beamWidth().Get(), s->cutOffAngle().Get());
    // A DirectionalLight lights its own group's descendants only: the frame it is added
    // to sits right under that group's.
    light.SetScoped(d != nullptr);
    if (d != nullptr || s != nullptr) {
        glm::vec3 dir(direction.GetX(), direction.GetY(), direction.GetZ());
        if (!(glm::length(dir) > 0.0f) || !std::isfinite(glm::length(dir))) dir = {0, 0, -1};
        // A light shining straight up or down cannot keep (0, 1, 0) as its up.
        glm::vec3 up(0, 1, 0);
        if (glm::length(glm::cross(dir, up)) < 1e-6f * glm::length(dir)) up = {0, 0, 1};
        frame.SetOrientation(&parent, dir, up);
    }
    if (p != nullptr || s != nullptr)
        frame.SetPosition(&parent, location.GetX(), location.GetY(), location.GetZ());
}

void CNodeDealer::UpdateLight(SingleNode* node) {
    auto it = m_nodeObjects.find(node);
    if (it == m_nodeObjects.end()) return;
    for (const rm::Ptr<rm::Object>& object : it->second) {
        auto* frame = dynamic_cast<rm::Frame*>(object.Get());
        if (frame == nullptr || frame->GetParent() == nullptr || frame->Lights().empty()) continue;
        SetLight(node, *frame->GetParent(), *frame, *frame->Lights().front());
    }
}

Visit CNodeDealer::Enter_DirectionalLight(SingleNode*, SFWorldNode* node) {
    return EnterLight(node, rm::LightType::Directional);
}
Visit CNodeDealer::Enter_PointLight(SingleNode*, SFWorldNode* node) {
    return EnterLight(node, rm::LightType::Point);
}
Visit CNodeDealer::Enter_SpotLight(SingleNode*, SFWorldNode* node) {
    return EnterLight(node, rm::LightType::Spot);
}

// ---- Groups that scope a DirectionalLight, and texture transforms ----

Visit CNodeDealer::Enter_Group(SingleNode* parent, SFWorldNode* node) {
    rm::RetainedMode* rm = RM();
    // The scene's root Group needs none: the world frame bounds the whole scene.
    if (parent == nullptr || !HasFrameOfItsOwn(As<Group>(node))) return Visit::Children;
    rm::Ptr<rm::Frame> frame;
    if (rm != nullptr && CurrentFrame() != nullptr) rm->CreateFrame(CurrentFrame(), frame.Put());
    // Pushed even when empty, so that the exit handler's pop stays balanced.
    m_frames.push_back(std::move(frame));
    return Visit::Children;
}

void CNodeDealer::Exit_Group(SingleNode* parent, SFWorldNode* node) {
    if (parent != nullptr && HasFrameOfItsOwn(As<Group>(node))) PopFrame();
}

Visit CNodeDealer::Enter_TextureTransform(SingleNode*, SFWorldNode* node) {
    auto* t = As<TextureTransform>(node);
    if (t == nullptr || !m_mesh) return Visit::Children;
    const SFVec2f &c = t->center(), &sc = t->scale(), &tr = t->translation();
    const float a = t->rotation().Get();
    if (!std::isfinite(a) || !std::isfinite(c.GetX()) || !std::isfinite(c.GetY()) ||
        !std::isfinite(sc.GetX()) || !std::isfinite(sc.GetY()) || !std::isfinite(tr.GetX()) ||
        !std::isfinite(tr.GetY()))
        return Visit::Children;
    // On (s, t), t up from the picture's bottom: translation first, then rotation and
    // scale about the center. Column-major 3 x 3 matrices on (s, t, 1).
    auto move = [](float x, float y) { return glm::mat3(1, 0, 0, 0, 1, 0, x, y, 1); };
    const glm::mat3 rotate(std::cos(a), std::sin(a), 0, -std::sin(a), std::cos(a), 0, 0, 0, 1);
    const glm::mat3 scale(sc.GetX(), 0, 0, 0, sc.GetY(), 0, 0, 0, 1);
    const glm::mat3 st = move(-c.GetX(), -c.GetY()) * scale * rotate * move(c.GetX(), c.GetY()) *
                         move(tr.GetX(), tr.GetY());
    if (st == glm::mat3(1.0f)) return Visit::Children;
    // The meshbuilder's v runs down from the top: (u, v) = (s, 1 - t), both ways.
    const glm::mat3 flip(1, 0, 0, 0, -1, 0, 0, 1, 1);
    m_mesh->TransformTextureCoordinates(flip * st * flip);
    return Visit::Children;
}

Visit CNodeDealer::Enter_Viewpoint(SingleNode*, SFWorldNode* node) {
    auto* v = As<Viewpoint>(node);
    if (v == nullptr) return Visit::SkipChildren;
    const SFRotation& o = v->orientation();
    const SFVec3f& p = v->position();
    // The viewpoint gets a frame of its own under the enclosing Transform's, so
    // that its position and orientation count in that Transform's coordinates
    // and the camera can follow the Transform when it moves.
    rm::Ptr<rm::Frame> frame;
    rm::RetainedMode* rm = RM();
    if (rm != nullptr && CurrentFrame() != nullptr &&
        rm::Succeeded(rm->CreateFrame(CurrentFrame(), frame.Put()))) {
        PlaceFrame(*frame, FieldsOf(*v));
        NodeObjectsOf(v).emplace_back(frame.Get());
    }
    if (m_display && m_display->GetCamera()) {
        rm::Frame* camera = m_display->GetCamera();
        if (frame) {
            PlaceCamera(*camera, *frame);
        } else {
            camera->AddRotation(rm::Combine::Replace, o.GetX(), o.GetY(), o.GetZ(), o.GetAngle());
            camera->AddTranslation(rm::Combine::After, p.GetX(), p.GetY(), p.GetZ());
        }
        m_display->SetView(v->fieldOfView().Get());
    }
    ViewpointRecord record;
    record.name = v->description().Get();
    if (record.name.empty()) {
        char name[32];
        std::snprintf(name, sizeof name, "Viewpoint %d", m_nextViewpointNumber++);
        record.name = name;
    }
    record.position = p;
    record.orientation = o;
    record.fieldOfView = v->fieldOfView().Get();
    record.frame = std::move(frame);
    record.node = v;
    m_viewpoints.push_back(std::move(record));
    return Visit::SkipChildren;
}

// ---- Interpolators ----

Visit CNodeDealer::EnterInterpolator(SFWorldNode* node, int kind) {
    CInterpolator interpolator;
    interpolator.SetKind(static_cast<std::uint8_t>(kind));
    SingleNode* self = static_cast<SingleNode*>(node);
    if (auto* c = dynamic_cast<ColorInterpolator*>(self)) {
        const auto& keys = c->key().Values();
        const auto& values = c->keyValue().Values();
        for (std::size_t i = 0; i < keys.size() && i < values.size(); ++i)
            interpolator.AddKey(keys[i].Get(), values[i].GetR(), values[i].GetG(), values[i].GetB(),
                                0);
    } else if (auto* o = dynamic_cast<OrientationInterpolator*>(self)) {
        const auto& keys = o->key().Values();
        const auto& values = o->keyValue().Values();
        for (std::size_t i = 0; i < keys.size() && i < values.size(); ++i)
            interpolator.AddKey(keys[i].Get(), values[i].GetX(), values[i].GetY(), values[i].GetZ(),
                                values[i].GetAngle());
    } else if (auto* p = dynamic_cast<PositionInterpolator*>(self)) {
        const auto& keys = p->key().Values();
        const auto& values = p->keyValue().Values();
        for (std::size_t i = 0; i < keys.size() && i < values.size(); ++i)
            interpolator.AddKey(keys[i].Get(), values[i].GetX(), values[i].GetY(), values[i].GetZ(),
                                0);
    } else {
        return Visit::SkipChildren;
    }
    m_interpolators.insert_or_assign(node::Ptr<SingleNode>(self), std::move(interpolator));
    return Visit::SkipChildren;
}

Visit CNodeDealer::Enter_ColorInterpolator(SingleNode*, SFWorldNode* node) {
    return EnterInterpolator(node, ColorInterpolator::kNodeType);
}
Visit CNodeDealer::Enter_OrientationInterpolator(SingleNode*, SFWorldNode* node) {
    return EnterInterpolator(node, OrientationInterpolator::kNodeType);
}
Visit CNodeDealer::Enter_PositionInterpolator(SingleNode*, SFWorldNode* node) {
    return EnterInterpolator(node, PositionInterpolator::kNodeType);
}

// ---- Sensors and Anchors ----

Visit CNodeDealer::EnterSensor(SFWorldNode* node, SensorKind kind) {
    SensorRecord record;
    record.kind = kind;
    record.node = node::Ptr<SingleNode>(static_cast<SingleNode*>(node));
    record.frame = rm::Ptr<rm::Frame>(CurrentFrame());
    m_sensors.push_back(std::move(record));
    return Visit::SkipChildren;
}

Visit CNodeDealer::Enter_TouchSensor(SingleNode*, SFWorldNode* node) {
    return EnterSensor(node, SensorKind::Touch);
}
Visit CNodeDealer::Enter_PlaneSensor(SingleNode*, SFWorldNode* node) {
    return EnterSensor(node, SensorKind::Plane);
}
Visit CNodeDealer::Enter_CylinderSensor(SingleNode*, SFWorldNode* node) {
    return EnterSensor(node, SensorKind::Cylinder);
}
Visit CNodeDealer::Enter_SphereSensor(SingleNode*, SFWorldNode* node) {
    return EnterSensor(node, SensorKind::Sphere);
}
Visit CNodeDealer::Enter_ProximitySensor(SingleNode*, SFWorldNode* node) {
    return EnterSensor(node, SensorKind::Proximity);
}
Visit CNodeDealer::Enter_VisibilitySensor(SingleNode*, SFWorldNode* node) {
    return EnterSensor(node, SensorKind::Visibility);
}

Visit CNodeDealer::Enter_Anchor(SingleNode*, SFWorldNode* node) {
    // Its children go into a frame of its own: a click below that frame is a click on
    // the Anchor.
    rm::RetainedMode* rm = RM();
    rm::Ptr<rm::Frame> frame;
    if (rm != nullptr && CurrentFrame() != nullptr) rm->CreateFrame(CurrentFrame(), frame.Put());
    // Pushed even when empty, so that the exit handler's pop stays balanced.
    m_frames.push_back(frame);
    if (frame) {
        SensorRecord record;
        record.kind = SensorKind::Anchor;
        record.node = node::Ptr<SingleNode>(static_cast<SingleNode*>(node));
        record.frame = std::move(frame);
        m_sensors.push_back(std::move(record));
    }
    return Visit::Children;
}

void CNodeDealer::Exit_Anchor(SingleNode*, SFWorldNode*) {
    PopFrame();
}

// ---- For the event cascade ----

void CNodeDealer::SetRouteTargets(const RouteList* routes) {
    m_routeTargets.clear();
    if (routes != nullptr)
        for (const Route& route : *routes) m_routeTargets.insert(route.toNode.Get());
}

void CNodeDealer::ShowBackground(SingleNode* background, bool again) {
    rm::Frame* scene = m_display ? m_display->GetScene() : nullptr;
    if (scene == nullptr || (background == m_shownBackground && !again)) return;
    m_shownBackground = nullptr;
    if (background == nullptr) {
        scene->SetSceneBackdrop(nullptr);
        scene->SetSceneBackgroundRGB(0, 0, 0);
        return;
    }
    // Translated again where it stands, so that the Transforms above it still turn it.
    auto it = m_nodeObjects.find(background);
    auto* frame = it == m_nodeObjects.end() || it->second.empty()
                      ? nullptr
                      : dynamic_cast<rm::Frame*>(it->second.front().Get());
    if (frame != nullptr) m_frames.emplace_back(frame);
    m_backgroundSeen = false;
    Enter_Background(nullptr, World(background));
    if (frame != nullptr) m_frames.pop_back();
}

void CNodeDealer::RebuildShape(rm::MeshBuilder* mesh) {
    auto it = m_shapes.find(mesh);
    auto* shape = it == m_shapes.end() ? nullptr : dynamic_cast<Shape*>(it->second.Get());
    SingleNode* geometry = shape ? Held(shape->geometry()) : nullptr;
    if (geometry == nullptr) return;
    const rm::Box bounds = m_bounds;
    m_mesh = rm::Ptr<rm::MeshBuilder>(mesh);
    mesh->Empty();
    Dispatch(ShapeRole::Geometry, shape, geometry);
    if (auto* appearance = dynamic_cast<Appearance*>(Held(shape->appearance())))
        if (SingleNode* transform = Held(appearance->textureTransform()))
            Dispatch(ShapeRole::TextureTransform, appearance, transform);
    m_mesh.Reset();
    m_bounds = bounds;
}

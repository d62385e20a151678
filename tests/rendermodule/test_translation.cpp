// Scene translation: frames, visuals, lights, viewpoints and tables built from
// small scenes, and the handlers' behaviour on odd but legal graphs.
#include <algorithm>

#include "node/nodes.h"
#include "rendermodule/render_module.h"
#include "scene_fixture.h"
#include "trace/debug_trace.h"

namespace {

// The entry of `node` in a translation table; throws when there is none.
template <class Table>
const auto& At(const Table& table, const SingleNode* node) {
    auto it = table.find(node);
    if (it == table.end()) throw std::out_of_range("no table entry for the node");
    return it->second;
}

class TranslationTest : public ModuleTest<64, 48> {
  protected:
    rm::Frame* World() { return m_module.GetD3DObj().GetWorld(); }
    const CNodeDealer& Dealer() { return m_module.GetTraverser().GetDealer(); }
};

TEST_F(TranslationTest, TransformGetsAFrameAndShapeAVisual) {
    Show(
        "DEF T Transform { translation 1 2 3 children [ Shape { geometry Box { size 2 2 2 } } ] }");
    ASSERT_EQ(World()->Children().size(), 1u);
    rm::Frame* frame = World()->Children()[0].Get();
    EXPECT_EQ(frame->Visuals().size(), 1u);
    EXPECT_EQ(frame->Visuals()[0]->GetVertexCount(), 24u);
    EXPECT_EQ(frame->GetPosition(World()), glm::vec3(1, 2, 3));
    SingleNode* t = m_loader->FindDef("T");
    ASSERT_EQ(Dealer().NodeObjects().count(t), 1u);
    ASSERT_EQ(At(Dealer().NodeObjects(), t).size(), 1u);
    EXPECT_EQ(At(Dealer().NodeObjects(), t)[0].Get(), frame);
    EXPECT_TRUE(m_messages.texts.empty());
}

TEST_F(TranslationTest, TransformComposesCenterScaleAndRotationInOrder) {
    Show(
        "Transform { center 1 0 0 rotation 0 0 1 1.5707963 scale 2 2 2 translation 0 0 5"
        " children Shape { geometry Box {} } }");
    rm::Frame* frame = World()->Children()[0].Get();
    // The point 2,0,0: minus center (1,0,0), scale (2,0,0), rotate a quarter
    // turn about z (0,2,0), plus center (1,2,0), plus translation (1,2,5).
    glm::vec4 p = frame->GetTransform(World()) * glm::vec4(2, 0, 0, 1);
    EXPECT_NEAR(p.x, 1, 1e-5);
    EXPECT_NEAR(p.y, 2, 1e-5);
    EXPECT_NEAR(p.z, 5, 1e-5);
}

TEST_F(TranslationTest, NestedTransformsAttachToTheNearestEnclosingFrame) {
    Show(
        "Group { children [ Transform { children [ Group { children [ DEF IN Transform {} ] } ] }"
        " Transform {} ] }");
    ASSERT_EQ(World()->Children().size(), 2u);
    rm::Frame* outer = World()->Children()[0].Get();
    ASSERT_EQ(outer->Children().size(), 1u);
    SingleNode* inner = m_loader->FindDef("IN");
    EXPECT_EQ(At(Dealer().NodeObjects(), inner)[0].Get(), outer->Children()[0].Get());
}

TEST_F(TranslationTest, NodesWithoutHandlersAreTracedAndTheirFieldsVisited) {
    static std::vector<std::string> traces;
    traces.clear();
    SetDebugTraceSink([](const char* text, std::size_t n) { traces.emplace_back(text, n); });
    Show("Billboard { children [ Shape { geometry Sphere {} } ] }");
    SetDebugTraceSink(nullptr);
    // (The render thread may trace its start meanwhile.)
    EXPECT_NE(std::find(traces.begin(), traces.end(), "Node 13 is not implemented,yet\n"),
              traces.end());
    // The Billboard's children were still visited: the sphere is there.
    ASSERT_EQ(World()->Visuals().size(), 1u);
    EXPECT_EQ(World()->Visuals()[0]->GetVertexCount(), 425u);
}

TEST_F(TranslationTest, UnsupportedGeometryStillAddsAnEmptyMeshbuilder) {
    Show("Shape { geometry Curve2D {} }");
    EXPECT_EQ(m_messages.Count("Geometry type not supported!"), 1);
    ASSERT_EQ(World()->Visuals().size(), 1u);
    EXPECT_EQ(World()->Visuals()[0]->GetVertexCount(), 0u);
}

TEST_F(TranslationTest, FaceSetKeepsItsUnclosedLastPolygon) {
    Show(
        "Shape { geometry IndexedFaceSet { coord Coordinate { point [ 0 0 0, 1 0 0, 1 1 0, 0 1 0 ] "
        "}"
        " coordIndex [ 0 1 2 -1 0 2 3 -1 0 1 3 ] } }");
    ASSERT_EQ(World()->Visuals().size(), 1u);
    EXPECT_EQ(World()->Visuals()[0]->GetFaceCount(), 3u);
}

TEST_F(TranslationTest, FaceSetIndicesOutsideThePointsAreSkipped) {
    Show(
        "Shape { geometry IndexedFaceSet { coord Coordinate { point [ 0 0 0, 1 0 0, 1 1 0 ] }"
        " coordIndex [ 0 1 7 2 -1 ] } }");
    EXPECT_EQ(World()->Visuals()[0]->GetVertexCount(), 3u);
}

// (What a shininess of 0 becomes is checked where the retained layer draws it.)
TEST_F(TranslationTest, MaterialColoursTheShape) {
    Show(
        "Shape { appearance Appearance { material DEF M Material { diffuseColor 1 0 0"
        " emissiveColor 0 0 1 shininess 0 } } geometry Box {} }");
    rm::MeshBuilder* mb = World()->Visuals()[0].Get();
    ASSERT_NE(mb->GetMaterial(), nullptr);
    EXPECT_EQ(mb->GetMaterial()->GetAmbient().value(), glm::vec3(1, 0, 0));
    EXPECT_EQ(mb->GetMaterial()->GetEmissive(), glm::vec3(0, 0, 1));
    EXPECT_EQ(At(Dealer().NodeObjects(), m_loader->FindDef("M"))[0].Get(), mb);
}

TEST_F(TranslationTest, HandlersOutsideAShapeDoNothing) {
    // addChildren takes any node, so geometry and appearance can stand in a group.
    Show("Group { children [ Material {} Box {} Sphere {} ImageTexture { url \"none.jpg\" } ] }");
    EXPECT_TRUE(World()->Visuals().empty());
    EXPECT_TRUE(Dealer().NodeObjects().empty());
}

TEST_F(TranslationTest, LightsGetFramesAndShineTheWayTheySay) {
    Show(
        "DirectionalLight { direction 0 -1 0 color 1 0.5 0 intensity 0.5 }"
        " PointLight { location 1 2 3 }");
    ASSERT_EQ(World()->Children().size(), 2u);
    rm::Frame* sun = World()->Children()[0].Get();
    ASSERT_EQ(sun->Lights().size(), 1u);
    EXPECT_EQ(sun->Lights()[0]->GetType(), rm::LightType::Directional);
    EXPECT_EQ(sun->Lights()[0]->GetColor(), glm::vec3(0.5f, 0.25f, 0));
    glm::vec3 dir, up;
    sun->GetOrientation(World(), &dir, &up);
    EXPECT_NEAR(dir.y, -1, 1e-5);  // straight down needs another up vector
    rm::Frame* bulb = World()->Children()[1].Get();
    EXPECT_EQ(bulb->Lights()[0]->GetType(), rm::LightType::Point);
    EXPECT_EQ(bulb->GetPosition(World()), glm::vec3(1, 2, 3));
}

TEST_F(TranslationTest, UnnamedViewpointsAreNumberedAcrossLoads) {
    Show("Viewpoint { position 0 0 5 } Viewpoint { description \"Front\" } Viewpoint {}");
    auto names = m_module.GetViewpointNames();
    ASSERT_EQ(names.size(), 3u);
    int first = 0;
    ASSERT_EQ(std::sscanf(names[0].c_str(), "Viewpoint %d", &first), 1);
    EXPECT_EQ(names[1], "Front");
    EXPECT_EQ(names[2], "Viewpoint " + std::to_string(first + 1));
    Show("Viewpoint {}");
    EXPECT_EQ(m_module.GetViewpointNames(),
              std::vector<std::string>{"Viewpoint " + std::to_string(first + 2)});
    // The last viewpoint met is where the camera stands.
    EXPECT_EQ(m_module.GetD3DObj().GetCamera()->GetPosition(m_module.GetD3DObj().GetScene()),
              glm::vec3(0, 0, 10));
}

// A viewpoint's position and orientation count in its Transforms' coordinates,
// at load and when the viewer goes back to it; a scale on the way is dropped.
TEST_F(TranslationTest, ViewpointsTakeTheirPlaceThroughTheirTransforms) {
    struct Case {
        const char* scene;
        glm::vec3 position, dir;
    };
    const Case cases[] = {
        {"Transform { translation 10 0 0 children Viewpoint { position 0 0 5 description \"V\" } }",
         {10, 0, 5},
         {0, 0, -1}},
        // (0,0,5) + (0,0,2), turned a quarter about y: (7,0,0), looking along -x.
        {"Transform { rotation 0 1 0 1.5707963 children Transform { translation 0 0 2 children"
         " Viewpoint { position 0 0 5 description \"V\" } } }",
         {7, 0, 0},
         {-1, 0, 0}},
        {"Transform { scale 2 2 2 children Viewpoint { position 0 1 5 orientation 0 1 0 1.5707963"
         " description \"V\" } }",
         {0, 2, 10},
         {-1, 0, 0}},
    };
    rm::Frame* camera = m_module.GetD3DObj().GetCamera();
    rm::Frame* scene = m_module.GetD3DObj().GetScene();
    for (const Case& c : cases) {
        SCOPED_TRACE(c.scene);
        Show(c.scene);
        for (const char* step : {"load", "go to"}) {
            SCOPED_TRACE(step);
            glm::vec3 p = camera->GetPosition(scene), dir, up;
            camera->GetOrientation(scene, &dir, &up);
            glm::mat4 local = camera->GetLocalTransform();
            for (int i = 0; i < 3; ++i) {
                EXPECT_NEAR(p[i], c.position[i], 1e-4);
                EXPECT_NEAR(dir[i], c.dir[i], 1e-4);
                EXPECT_NEAR(glm::length(glm::vec3(local[i])), 1, 1e-5);  // no scale
            }
            m_module.GoToViewpoint("[Entry]");
            m_module.GoToViewpoint("V");
        }
    }
}

TEST_F(TranslationTest, InterpolatorsBecomeTableEntries) {
    Show(
        "DEF P PositionInterpolator { key [ 1 0 ] keyValue [ 1 1 1, 0 0 0 ] }"
        " DEF C ColorInterpolator { key [ 0 ] keyValue [ 1 0 0 ] }");
    const auto& table = Dealer().Interpolators();
    ASSERT_EQ(table.size(), 2u);
    const CInterpolator& p = At(table, m_loader->FindDef("P"));
    EXPECT_EQ(p.GetKind(), 73);
    ASSERT_EQ(p.Keys().size(), 2u);
    EXPECT_EQ(p.Keys()[0].key, 0);  // sorted
    EXPECT_EQ(At(table, m_loader->FindDef("C")).GetKind(), 19);
}

TEST_F(TranslationTest, BackgroundColourAndRenderedFrame) {
    Show("Background2D { backColor 0 0 1 } Shape { geometry Box {} }");
    EXPECT_EQ(m_module.GetD3DObj().GetScene()->GetSceneBackground(), glm::vec3(0, 0, 1));
    m_module.RenderFrame();
    auto frame = m_module.GetD3DObj().GetDevice()->LatestFrame();
    ASSERT_NE(frame, nullptr);
    ASSERT_EQ(frame->viewports.size(), 1u);
    EXPECT_EQ(frame->viewports[0].visuals.size(), 1u);
    EXPECT_GE(m_window.frames, 1);
}

}  // namespace

// The router with time stepped by hand: what moves, when, and what is reported.
#include "node/nodes.h"
#include "rendermodule/render_module.h"
#include "scene_fixture.h"

namespace {

class RouterTest : public ModuleTest<32, 32> {
  protected:
    void Show(const std::string& text) {
        ModuleTest::Show(text);
        m_router().SetStartTime(kStart);
    }
    CRouter& m_router() { return m_module.GetRouter(); }
    rm::Frame* FrameOf(const char* def) {
        auto& table = m_module.GetTraverser().GetDealer().NodeObjects();
        return dynamic_cast<rm::Frame*>(table.at(m_loader->FindDef(def)).Get());
    }
    glm::vec3 Position(const char* def) {
        return FrameOf(def)->GetPosition(m_module.GetD3DObj().GetWorld());
    }
    void At(std::uint32_t ms) { m_router().Refresh(kStart + ms); }

    static constexpr std::uint32_t kStart = 100000;
};

const char* kMover =
    "DEF T TimeSensor { cycleInterval 2 loop %s startTime %s }"
    "DEF P PositionInterpolator { key [ 0 1 ] keyValue [ 0 0 0, 10 20 30 ] }"
    "DEF X Transform { children Shape { geometry Box {} } }"
    "ROUTE T.fraction_changed TO P.set_fraction ROUTE P.value_changed TO X.translation";

std::string Mover(const char* loop, const char* start) {
    char text[512];
    std::snprintf(text, sizeof text, kMover, loop, start);
    return text;
}

TEST_F(RouterTest, LoopingPositionRepeatsEveryCycle) {
    Show(Mover("TRUE", "0"));
    ASSERT_EQ(m_router().Records().size(), 1u);
    At(500);
    glm::vec3 quarter = Position("X");
    EXPECT_NEAR(quarter.x, 2.5, 1e-4);
    EXPECT_NEAR(quarter.y, 5, 1e-4);
    EXPECT_NEAR(quarter.z, 7.5, 1e-4);
    At(1000);
    EXPECT_NEAR(Position("X").x, 5, 1e-4);
    At(2500);
    EXPECT_NEAR(Position("X").x, 2.5, 1e-4);
    EXPECT_TRUE(m_messages.texts.empty());
}

TEST_F(RouterTest, WithoutLoopTheLastKeyHolds) {
    Show(Mover("FALSE", "0"));
    At(3000);
    EXPECT_NEAR(Position("X").x, 10, 1e-4);
    At(9000);
    EXPECT_NEAR(Position("X").z, 30, 1e-4);
}

TEST_F(RouterTest, NothingMovesBeforeTheStartTime) {
    Show("DEF X2 Transform { translation 7 7 7 }" + Mover("TRUE", "1"));
    At(999);
    EXPECT_EQ(Position("X"), glm::vec3(0, 0, 0));
    At(1500);
    EXPECT_NEAR(Position("X").x, 2.5, 1e-4);
}

TEST_F(RouterTest, OrientationReplacesTheFrameTransform) {
    Show(
        "DEF T TimeSensor { cycleInterval 1 loop TRUE }"
        "DEF O OrientationInterpolator { key [ 0 1 ] keyValue [ 0 0 1 0, 0 0 1 3.14159265 ] }"
        "DEF X Transform { translation 5 0 0 }"
        "ROUTE T.fraction_changed TO O.set_fraction ROUTE O.value_changed TO X.rotation");
    At(500);
    glm::vec3 dir, up;
    FrameOf("X")->GetOrientation(m_module.GetD3DObj().GetWorld(), &dir, &up);
    EXPECT_NEAR(up.x, -1, 1e-4);                   // a quarter turn about z takes +y to -x
    EXPECT_EQ(Position("X"), glm::vec3(0, 0, 0));  // the translation is replaced
}

TEST_F(RouterTest, PositionToAViewpointMovesTheCamera) {
    Show(
        "DEF T TimeSensor { cycleInterval 1 loop TRUE }"
        "DEF P PositionInterpolator { key [ 0 1 ] keyValue [ 0 0 0, 0 0 100 ] }"
        "DEF V Viewpoint {}"
        "ROUTE T.fraction_changed TO P.set_fraction ROUTE P.value_changed TO V.position");
    At(250);
    CD3DObj& d3d = m_module.GetD3DObj();
    EXPECT_NEAR(d3d.GetCamera()->GetPosition(d3d.GetScene()).z, 25, 1e-3);
}

TEST_F(RouterTest, ColourToEmissiveChangesOnlyEmissive) {
    Show(
        "DEF T TimeSensor { cycleInterval 1 loop TRUE }"
        "DEF C ColorInterpolator { key [ 0 1 ] keyValue [ 0 0 0, 1 1 0 ] }"
        "Shape { appearance Appearance { material DEF M Material { diffuseColor 0 1 0"
        " specularColor 0.5 0.5 0.5 } } geometry Box {} }"
        "ROUTE T.fraction_changed TO C.set_fraction ROUTE C.value_changed TO M.emissiveColor");
    At(500);
    rm::MeshBuilder* mb = m_module.GetD3DObj().GetWorld()->Visuals()[0].Get();
    rm::Material* m = mb->GetMaterial();
    ASSERT_NE(m, nullptr);
    EXPECT_NEAR(m->GetEmissive().x, 0.5, 1e-5);
    EXPECT_NEAR(m->GetEmissive().z, 0, 1e-5);
    EXPECT_EQ(m->GetAmbient().value(), glm::vec3(0, 1, 0));
    EXPECT_EQ(m->GetSpecular(), glm::vec3(0.5f));
}

TEST_F(RouterTest, UnsupportedRoutesAreReportedAndIgnored) {
    Show(
        "DEF T TimeSensor {} DEF S ScalarInterpolator { key [ 0 1 ] keyValue [ 0 1 ] }"
        "DEF X Transform {}"
        "ROUTE T.fraction_changed TO S.set_fraction ROUTE S.value_changed TO X.set_scale");
    EXPECT_EQ(m_messages.Count("CRoute::DealRoute, unrecognized node id"), 1);
    EXPECT_EQ(m_messages.Count("cannot find Interpolator! CRouter::Route_TimeSensor"), 1);
    EXPECT_EQ(m_messages.Count("unrecognized node name, CRouter::Route_TImeSensor"), 1);
    // The record without keys is never interpolated; its kind is reported at each
    // refresh, and shown once in the scene.
    At(10);
    At(20);
    EXPECT_EQ(m_messages.Count("unrecognized Interpolator in CRouter::Refresh()"), 1);
    const MessageRepeat rule = SetMessageRepeat(MessageRepeat::kEveryTime);
    At(30);
    At(40);
    SetMessageRepeat(rule);
    EXPECT_EQ(m_messages.Count("unrecognized Interpolator in CRouter::Refresh()"), 3);
}

TEST_F(RouterTest, ZeroCycleHoldsTheFirstKeyAndUnfedInterpolatorsAreIgnored) {
    Show(
        "DEF T TimeSensor { cycleInterval 0 loop TRUE }"
        "DEF P PositionInterpolator { key [ 0 1 ] keyValue [ 3 0 0, 9 0 0 ] }"
        "DEF Q PositionInterpolator { key [ 0 ] keyValue [ 1 1 1 ] }"
        "DEF X Transform {} DEF Y Transform {}"
        " ROUTE T.fraction_changed TO P.set_fraction ROUTE P.value_changed TO X.translation"
        " ROUTE Q.value_changed TO Y.translation");
    EXPECT_EQ(m_router().Records().size(), 1u);
    At(777);
    EXPECT_EQ(Position("X"), glm::vec3(3, 0, 0));
    EXPECT_EQ(Position("Y"), glm::vec3(0, 0, 0));
    EXPECT_TRUE(m_messages.texts.empty());
}

}  // namespace

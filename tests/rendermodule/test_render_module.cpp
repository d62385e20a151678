// The render module as the shell drives it: viewpoints, render quality, head
// light, navigation, and the two threads working on one scene (picking through
// the window is MainWindowTest.DragsTurnTheCameraAndEditClicksPick).
#include <atomic>
#include <chrono>
#include <cmath>
#include <thread>

#include "node/nodes.h"
#include "rendermodule/render_module.h"
#include "scene_fixture.h"

namespace {

// The entry of `node` in a translation table; throws when there is none.
template <class Table>
const auto& At(const Table& table, const SingleNode* node) {
    auto it = table.find(node);
    if (it == table.end()) throw std::out_of_range("no table entry for the node");
    return it->second;
}

class RenderModuleTest : public ModuleTest<200, 100> {
  protected:
    void Show(const std::string& text) {
        ModuleTest::Show(text);
        m_module.RenderFrame();
    }
    CD3DObj& D3D() { return m_module.GetD3DObj(); }
    glm::vec3 CameraPosition() { return D3D().GetCamera()->GetPosition(D3D().GetScene()); }
};

const char kTwoViews[] =
    "Viewpoint { position 0 0 20 description \"Far\" }"
    "Viewpoint { position 3 0 4 orientation 0 1 0 1.5707963 description \"Side\" }"
    "Shape { geometry Box {} }";

TEST_F(RenderModuleTest, ViewpointsEntryAndUnknownNames) {
    Show(kTwoViews);
    EXPECT_EQ(m_module.GetViewpointNames(), (std::vector<std::string>{"Far", "Side"}));
    m_module.GoToViewpoint("Far");
    EXPECT_EQ(CameraPosition(), glm::vec3(0, 0, 20));
    m_module.GoToViewpoint("Side");
    EXPECT_EQ(CameraPosition(), glm::vec3(3, 0, 4));
    glm::vec3 dir, up;
    D3D().GetCamera()->GetOrientation(D3D().GetScene(), &dir, &up);
    EXPECT_NEAR(dir.x, -1, 1e-5);  // a quarter turn about y looks along -x
    // An unknown name leaves the camera and puts the world back in place.
    D3D().MoveWorld({1, 2, 3});
    m_module.GoToViewpoint("Nowhere");
    EXPECT_EQ(CameraPosition(), glm::vec3(3, 0, 4));
    EXPECT_EQ(D3D().GetWorld()->GetPosition(D3D().GetScene()), glm::vec3(0));
    m_module.GoToViewpoint("[Entry]");
    EXPECT_EQ(CameraPosition(), glm::vec3(0, 0, 10));
}

// A scene without a Viewpoint that the start view does not show whole, or shows as a
// speck, gets an entry view that fits it; the planes follow. A Viewpoint's
// fieldOfView spans the viewport's smaller side; the entry view has the start field.
TEST_F(RenderModuleTest, EntryViewFitsTheSceneAndViewpointsSetTheirField) {
    Show("Shape { geometry Box { size 0.01 0.01 0.01 } }");
    // 200 x 100: the start view's half extent is 0.6 by 0.3 at distance 1.
    const float distance = 0.005f / 0.3f / 0.9f;
    EXPECT_NEAR(glm::distance(CameraPosition(), glm::vec3(0, 0, 0.005f + distance)), 0, 1e-5);
    EXPECT_NEAR(D3D().GetViewport()->GetFront(), distance / 2, 1e-6);
    D3D().MoveCamera({1, 2, 3});
    m_module.GoToViewpoint("[Entry]");
    EXPECT_NEAR(glm::distance(CameraPosition(), glm::vec3(0, 0, 0.005f + distance)), 0, 1e-5);

    Show("Viewpoint { fieldOfView 1 } Shape { geometry Box { size 0.01 0.01 0.01 } }");
    EXPECT_EQ(CameraPosition(), glm::vec3(0, 0, 10));
    EXPECT_NEAR(D3D().GetViewport()->GetField(), std::tan(0.5f) * 2, 1e-5);
    EXPECT_NEAR(D3D().GetViewport()->GetFront(), 0.1f, 1e-7);
    m_module.GoToViewpoint("[Entry]");
    EXPECT_NEAR(D3D().GetViewport()->GetField(), 0.6f, 1e-7);
    m_module.GoToViewpoint("Viewpoint 0");
    EXPECT_NEAR(D3D().GetViewport()->GetField(), std::tan(0.5f) * 2, 1e-5);
    // A resize keeps the angle across the smaller side.
    m_window.Resize(100, 200);
    m_module.OnSize(&m_window);
    EXPECT_NEAR(D3D().GetViewport()->GetField(), std::tan(0.5f) * 2, 1e-5);
}

struct EntryCase {
    const char* name;
    rm::Box bounds;
    glm::vec3 position;  // (0, 0, 10): the start view kept
    float front = 0.1f;
};

void PrintTo(const EntryCase& c, std::ostream* os) {
    *os << c.name;
}

class EntryViewTest : public ::testing::TestWithParam<EntryCase> {};

TEST_P(EntryViewTest, PlacesTheCamera) {
    const EntryCase& c = GetParam();
    const EntryView view = EntryViewFor(c.bounds, {0.6f, 0.45f});
    EXPECT_EQ(view.fitted, c.position != glm::vec3(0, 0, 10));
    for (int i = 0; i < 3; ++i) EXPECT_NEAR(view.position[i], c.position[i], 1e-4) << i;
    EXPECT_NEAR(view.front, c.front, 1e-6);
    EXPECT_GE(view.back, 5000.0f);
}

INSTANTIATE_TEST_SUITE_P(
    Bounds, EntryViewTest,
    ::testing::Values(
        EntryCase{"Fits", {{-1, -1, -1}, {1, 1, 1}}, {0, 0, 10}},
        EntryCase{"Empty", rm::Box{}, {0, 0, 10}},
        EntryCase{"OffToTheSideButInside", {{4, 0, 0}, {5, 1, 1}}, {0, 0, 10}},
        EntryCase{"JustWideEnough", {{0, 0, 0}, {0.13f, 0, 0}}, {0, 0, 10}},
        // Part outside: the nearest face fills 0.9 of the view (here its width).
        EntryCase{"PartOutside", {{-1, -1, -1}, {8, 1, 1}}, {3.5f, 0, 1 + 4.5f / 0.6f / 0.9f}},
        EntryCase{"BehindTheCamera", {{-1, -1, -1}, {1, 1, 12}}, {0, 0, 12 + 1 / 0.45f / 0.9f}},
        // A speck: under a hundredth of the view's width both ways (here its height limits).
        EntryCase{"Speck",
                  {{0, 0, 0}, {0.1f, 0.1f, 0}},
                  {0.05f, 0.05f, 0.05f / 0.45f / 0.9f},
                  0.05f / 0.45f / 0.9f / 2},
        EntryCase{"FarFromTheOrigin", {{1000, 0, 0}, {1002, 2, 0}}, {1001, 1, 1 / 0.45f / 0.9f}}),
    [](const ::testing::TestParamInfo<EntryCase>& info) { return std::string(info.param.name); });

TEST_F(RenderModuleTest, QualityChangeKeepsWorldPlacementViewAndNames) {
    Show("Viewpoint {} Shape { geometry Box {} }");
    auto names = m_module.GetViewpointNames();
    D3D().TurnWorld({0, 1, 0}, 0.5f);
    D3D().MoveCamera({1, 0, 0});
    glm::mat4 world = D3D().GetWorld()->GetTransform(D3D().GetScene());
    glm::vec3 camera = CameraPosition();
    m_module.SetRenderQuality(64);
    EXPECT_EQ(m_module.GetRenderQuality(), 64u);
    EXPECT_EQ(D3D().GetWorld()->GetTransform(D3D().GetScene()), world);
    EXPECT_EQ(CameraPosition(), camera);
    EXPECT_EQ(m_module.GetViewpointNames(), names);
    ASSERT_EQ(D3D().GetWorld()->Visuals().size(), 1u);
    EXPECT_EQ(D3D().GetWorld()->Visuals()[0]->GetQuality(), 64u);
    EXPECT_EQ(D3D().GetDevice()->GetQuality(), 64u);
    // The camera follows the same viewpoint as before, or none after the entry view.
    const ViewpointList& viewpoints = m_module.GetTraverser().GetDealer().Viewpoints();
    EXPECT_EQ(m_module.GetRouter().BoundViewpoint(), viewpoints.at(0).frame.Get());
    m_module.GoToViewpoint("[Entry]");
    m_module.SetRenderQuality(rm::kRenderGouraud);
    EXPECT_EQ(m_module.GetRouter().BoundViewpoint(), nullptr);
}

TEST_F(RenderModuleTest, QualityChangeDealsRoutesAgainOntoTheNewFrames) {
    Show(
        "DEF T TimeSensor { loop TRUE } DEF P PositionInterpolator { key [ 0 1 ] keyValue [ 0 0 0, "
        "4 0 0 ] }"
        " DEF X Transform {} ROUTE T.fraction_changed TO P.set_fraction"
        " ROUTE P.value_changed TO X.translation");
    m_module.SetRenderQuality(64);
    const auto& table = m_module.GetTraverser().GetDealer().NodeObjects();
    rm::Object* frame = At(table, m_loader->FindDef("X"))[0].Get();
    m_module.GetRouter().SetStartTime(0);
    m_module.GetRouter().Refresh(500);
    EXPECT_EQ(dynamic_cast<rm::Frame*>(frame)->GetLocalTransform()[3], glm::vec4(2, 0, 0, 1));
}

TEST_F(RenderModuleTest, HeadLightSwitches) {
    Show("Shape { geometry Box {} }");
    rm::Frame* camera = D3D().GetCamera();
    ASSERT_EQ(camera->Lights().size(), 1u);
    m_module.HeadLightOff();
    EXPECT_TRUE(camera->Lights().empty());
    m_module.HeadLightOn();
    m_module.HeadLightOn();  // twice still one light
    EXPECT_EQ(camera->Lights().size(), 1u);
}

TEST_F(RenderModuleTest, KeysMoveTheCameraOrTurnTheWorld) {
    Show("Shape { geometry Box {} }");
    m_module.SetNavigationMode(NavigationMode::Camera);
    m_module.OnKeyDown('W');
    EXPECT_NEAR(CameraPosition().z, 9.9, 1e-5);
    m_module.OnKeyDown('D');
    EXPECT_NEAR(CameraPosition().x, 0.1, 1e-5);
    glm::vec3 before = CameraPosition();
    m_module.OnKeyDown(kVkLeft);  // turns in place
    EXPECT_NEAR(glm::length(CameraPosition() - before), 0, 1e-4);
    m_module.SetNavigationMode(NavigationMode::World);
    m_module.OnKeyDown('A');
    glm::vec3 dir, up;
    D3D().GetWorld()->GetOrientation(D3D().GetScene(), &dir, &up);
    EXPECT_NEAR(dir.x, std::sin(0.1f), 1e-5);  // turned -0.1 about y
    // Edit mode ignores keys.
    m_module.SetInteractionMode(InteractionMode::Edit);
    glm::vec3 at = CameraPosition();
    m_module.OnKeyDown('W');
    EXPECT_EQ(CameraPosition(), at);
}

TEST_F(RenderModuleTest, MouseDragsAndCapture) {
    Show("Shape { geometry Box {} }");
    m_module.SetNavigationMode(NavigationMode::World);
    m_module.OnMouseMove(10, 10, 0);
    EXPECT_FALSE(m_module.IsMouseCaptured());
    m_module.OnMouseMove(40, 10, kMkLButton);  // world mode drag: moves the world right
    EXPECT_TRUE(m_module.IsMouseCaptured());
    EXPECT_NEAR(D3D().GetWorld()->GetPosition(D3D().GetScene()).x, 30.0 / (600.0 / 10.0), 1e-4);
    m_module.OnMouseMove(40, 20, kMkRButton);  // right drag pulls it closer
    EXPECT_NEAR(D3D().GetWorld()->GetPosition(D3D().GetScene()).z, -2, 1e-4);
    m_module.OnMouseMove(40, 20, 0);  // no button: only ends the capture
    EXPECT_FALSE(m_module.IsMouseCaptured());
    EXPECT_NEAR(D3D().GetWorld()->GetPosition(D3D().GetScene()).z, -2, 1e-4);
}

// Window-thread work while the render thread steps: no race, no deadlock.
TEST_F(RenderModuleTest, WindowThreadAndRenderThreadShareTheScene) {
    const std::string scene =
        "DEF T TimeSensor { cycleInterval 0.5 loop TRUE }"
        "DEF P PositionInterpolator { key [ 0 1 ] keyValue [ 0 0 0, 1 1 1 ] }"
        "DEF C ColorInterpolator { key [ 0 1 ] keyValue [ 1 0 0, 0 0 1 ] }"
        "DEF X Transform { children Shape { appearance Appearance { material DEF M Material {} }"
        " geometry Sphere {} } }"
        " ROUTE T.fraction_changed TO P.set_fraction ROUTE P.value_changed TO X.translation"
        " ROUTE T.fraction_changed TO C.set_fraction ROUTE C.value_changed TO M.diffuseColor";
    // The module's clock counts the render thread's steps and advances 7 ms each
    // time: every round waits for one more step, so the threads interleave the
    // same way however fast the machine is.
    const std::thread::id windowThread = std::this_thread::get_id();
    std::atomic<std::uint32_t> now{0};
    std::atomic<int> steps{0};
    m_module.SetClock([&] {
        if (std::this_thread::get_id() != windowThread) ++steps;
        return now += 7;
    });
    Show(scene);
    m_module.Play();
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    int round = 0;
    for (; round < 120 && std::chrono::steady_clock::now() < deadline; ++round) {
        const int before = steps;
        m_module.OnKeyDown('W');
        m_module.OnMouseMove(round % 50, round % 30, kMkLButton);
        if (round % 7 == 0)
            m_module.SetRenderQuality(round % 14 == 0 ? rm::kRenderWireframe : rm::kRenderGouraud);
        if (round % 11 == 0) {
            // A new scene replaces the old one the way the shell does it.
            m_module.Stop();
            std::lock_guard<std::recursive_mutex> lock(m_module.SceneLock());
            Show(scene);
            m_module.Play();
        }
        while (steps == before && std::chrono::steady_clock::now() < deadline)
            std::this_thread::yield();
    }
    m_module.Stop();
    EXPECT_EQ(round, 120);
    EXPECT_GE(steps.load(), 120);
    EXPECT_TRUE(m_messages.texts.empty());
    EXPECT_NE(D3D().GetDevice()->LatestFrame(), nullptr);
}

}  // namespace

// Small scenes written the way exporters and authors write them, translated by
// the render module and drawn headless: what each must show, checked on the
// pixels (colour counts and where they are).
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "retained/gl/headless_renderer.h"
#include "scene_fixture.h"

namespace {

namespace fs = std::filesystem;

// Emissive-only appearances: exactly that colour whatever the lights do.
std::string Colored(const std::string& rgb, const std::string& geometry) {
    return "Shape { appearance Appearance { material Material { diffuseColor 0 0 0 emissiveColor " +
           rgb + " } } geometry " + geometry + " }";
}
const std::string kRed = Colored("1 0 0", "Box {}");
const std::string kGreen = Colored("0 1 0", "Box {}");
const std::string kBlue = Colored("0 0 1", "Box {}");

// A flat Group of `count` tiny boxes far behind the camera, then one red box in view.
std::string ManyChildren(int count) {
    std::string text = "Group { children [";
    for (int i = 0; i + 1 < count; ++i)
        text +=
            " Transform { translation 0 0 50 children Shape { geometry Box { size .1 .1 .1 } } }";
    return text + " " + kRed + " ] }";
}

struct Picture {
    int width = 0, height = 0;
    std::vector<std::uint8_t> rgba;
    // Pixels much bluer than red (the checker texture's dark squares; never an
    // untextured grey).
    int Bluish() const {
        int n = 0;
        for (std::size_t i = 0; i + 3 < rgba.size(); i += 4) n += rgba[i + 2] > rgba[i] + 50;
        return n;
    }
    // Pixels within 8 of (r, g, b).
    int Count(int r, int g, int b) const {
        int n = 0;
        for (std::size_t i = 0; i + 3 < rgba.size(); i += 4)
            n += std::abs(rgba[i] - r) <= 8 && std::abs(rgba[i + 1] - g) <= 8 &&
                 std::abs(rgba[i + 2] - b) <= 8;
        return n;
    }
};

struct SceneCase {
    const char* name;
    std::string scene;
    int red, green, blue;  // expected: 0 none, 1 some
};

class ScenePictureTest : public ::testing::TestWithParam<SceneCase> {
  protected:
    static void SetUpTestSuite() {
        std::string error;
        s_gl = rm::gl::HeadlessRenderer::Create(&error).release();
        if (s_gl == nullptr) std::fprintf(stderr, "no EGL context: %s\n", error.c_str());
    }
    static void TearDownTestSuite() {
        delete s_gl;
        s_gl = nullptr;
    }
    void SetUp() override {
        if (s_gl == nullptr) GTEST_SKIP() << "no OpenGL context";
        m_module.Init(&m_window);
    }
    void TearDown() override { m_module.Release(); }

    // Loads `file` (or the text) as the shell does and draws the first frame.
    Picture Draw(const std::string& text, const std::string& file = {}) {
        m_loader = LoadText(text);
        m_module.ClearWorld();
        m_module.ResetScene();
        m_module.SetScene(m_loader->GetSceneRoot(), &m_loader->GetRouteList(), file);
        m_module.RenderFrame();
        Picture p;
        auto frame = m_module.GetD3DObj().GetDevice()->LatestFrame();
        if (!frame) return p;
        p.width = frame->width;
        p.height = frame->height;
        p.rgba = s_gl->Render(*frame);
        return p;
    }

    static rm::gl::HeadlessRenderer* s_gl;
    FakeWindow m_window{64, 48};
    CRenderModule m_module;
    std::unique_ptr<VrmlLoader> m_loader;
    MessageRecorder m_messages;
};
rm::gl::HeadlessRenderer* ScenePictureTest::s_gl = nullptr;

TEST_P(ScenePictureTest, ShowsWhatTheSceneChooses) {
    const SceneCase& c = GetParam();
    Picture p = Draw(c.scene);
    ASSERT_FALSE(p.rgba.empty());
    EXPECT_EQ(p.Count(255, 0, 0) > 0, c.red == 1) << "red";
    EXPECT_EQ(p.Count(0, 255, 0) > 0, c.green == 1) << "green";
    EXPECT_EQ(p.Count(0, 0, 255) > 0, c.blue == 1) << "blue";
}

const std::string kLodLevels = "level [ " + kRed + " " + kGreen + " ] ";
const std::string kSwitch = "Switch { choice [ " + kRed + " " + kGreen + " " + kBlue + " ] ";

INSTANTIATE_TEST_SUITE_P(
    Scenes, ScenePictureTest,
    ::testing::Values(
        // Every child of a list is drawn, past 255 of them.
        SceneCase{"Child300", ManyChildren(300), 1, 0, 0},
        SceneCase{"Child256", ManyChildren(256), 1, 0, 0},
        // A face set whose coordIndex does not end with -1 keeps its last face.
        SceneCase{"UnclosedFace",
                  Colored("0 0 1",
                          "IndexedFaceSet { coord Coordinate { point [ -1 -1 0, 1 -1 0, "
                          "1 1 0, -1 1 0 ] } coordIndex [ 0 1 2 3 ] }"),
                  0, 0, 1},
        // Switch draws its chosen child only; -1 or out of range draws nothing.
        SceneCase{"SwitchChoice1", kSwitch + "whichChoice 1 }", 0, 1, 0},
        SceneCase{"SwitchDefault", kSwitch + "}", 0, 0, 0},
        SceneCase{"SwitchOutOfRange", kSwitch + "whichChoice 3 }", 0, 0, 0},
        // LOD: the level the camera's distance selects (the entry view is 10 away).
        SceneCase{"LodNear", "LOD { range [ 20 ] " + kLodLevels + "}", 1, 0, 0},
        SceneCase{"LodFar", "LOD { range [ 5 ] " + kLodLevels + "}", 0, 1, 0},
        SceneCase{"LodFarWithCentre", "LOD { center 0 0 -30 range [ 25 ] " + kLodLevels + "}", 0, 1,
                  0},
        SceneCase{"LodNoRanges", "LOD { " + kLodLevels + "}", 1, 0, 0},
        SceneCase{"LodFewerLevels", "LOD { range [ 1 2 3 ] level " + kBlue + " }", 0, 0, 1},
        // Collision draws its children, never its proxy.
        SceneCase{"CollisionProxy", "Collision { proxy " + kRed + " children " + kGreen + " }", 0,
                  1, 0}),
    [](const ::testing::TestParamInfo<SceneCase>& info) { return std::string(info.param.name); });

// LOD levels follow the camera: moving it away switches to the far level.
TEST_F(ScenePictureTest, LodFollowsTheCamera) {
    Picture near = Draw("LOD { range [ 15 ] " + kLodLevels + "}");
    EXPECT_GT(near.Count(255, 0, 0), 0);
    m_module.GetD3DObj().GetCamera()->SetPosition(nullptr, 0, 0, 20);
    m_module.RenderFrame();
    auto frame = m_module.GetD3DObj().GetDevice()->LatestFrame();
    Picture far;
    far.rgba = s_gl->Render(*frame);
    EXPECT_EQ(far.Count(255, 0, 0), 0);
    EXPECT_GT(far.Count(0, 255, 0), 0);
}

// Shininess is the standard's exponent (× 128): a shiny red sphere under the head
// light keeps a small highlight, it does not turn white.
TEST_F(ScenePictureTest, ShininessGivesASmallHighlight) {
    Picture p = Draw(
        "Shape { appearance Appearance { material Material { diffuseColor 1 0 0 specularColor 1 "
        "1 1 shininess 0.9 } } geometry Sphere { radius 4 } }");
    int sphere = 0, white = 0;
    for (std::size_t i = 0; i + 3 < p.rgba.size(); i += 4) {
        sphere += p.rgba[i] > 40;
        white += p.rgba[i + 1] > 200 && p.rgba[i + 2] > 200;
    }
    ASSERT_GT(sphere, 100);
    EXPECT_GT(white, 0);  // the highlight is there
    EXPECT_LT(white * 20, sphere);
}

// NavigationInfo { headlight FALSE } turns the head light off at load: a lit
// red box in a scene without lights of its own stays dark.
TEST_F(ScenePictureTest, NavigationInfoCanTurnTheHeadLightOff) {
    const std::string box =
        "Shape { appearance Appearance { material Material { diffuseColor 1 0 0 } } geometry Box "
        "{} "
        "}";
    Picture lit = Draw(box);
    EXPECT_GT(lit.Count(204, 0, 0) + lit.Count(255, 0, 0), 0);
    EXPECT_TRUE(m_module.IsHeadLightOn());
    Picture dark = Draw("NavigationInfo { headlight FALSE } " + box);
    EXPECT_FALSE(m_module.IsHeadLightOn());
    int red = 0;
    for (std::size_t i = 0; i + 3 < dark.rgba.size(); i += 4) red += dark.rgba[i] > 40;
    EXPECT_EQ(red, 0);
}

// A relative texture URL is found beside the scene file that names it, wherever
// the program runs; a file: URL and an absolute path work too; the first
// readable entry of the list is used.
TEST_F(ScenePictureTest, TextureUrlsAreRelativeToTheSceneFile) {
    const fs::path dir = fs::path(::testing::TempDir()) / "orvane_urls" / "scene dir";
    fs::create_directories(dir / "maps");
    const fs::path texture = fs::path(ORVANE_TEXTURE_DIR) / "checker.jpg";
    fs::copy_file(texture, dir / "maps" / "c.jpg", fs::copy_options::overwrite_existing);
    const std::string sceneFile = (dir / "scene.wrl").string();
    auto textured = [&](const std::string& urls) {
        m_messages.texts.clear();
        Picture p = Draw("Shape { appearance Appearance { texture ImageTexture { url [ " + urls +
                             " ] } } geometry Box { size 6 6 1 } }",
                         sceneFile);
        return p.Bluish() > 20 && m_messages.Count("File name error!") == 0;
    };
    EXPECT_TRUE(textured("\"maps/c.jpg\""));
    EXPECT_TRUE(textured("\"missing.png\" \"maps/c.jpg\""));
    EXPECT_TRUE(textured("\"" + (dir / "maps" / "c.jpg").string() + "\""));
    std::string escaped = (dir / "maps").string();
    escaped.replace(escaped.find(' '), 1, "%20");
    EXPECT_TRUE(textured("\"file://" + escaped + "/c.jpg\""));
    EXPECT_TRUE(textured("\"file:maps/c.jpg\""));
    EXPECT_FALSE(textured("\"c.jpg\""));
    EXPECT_EQ(m_messages.Count("File name error!"), 1);
}

}  // namespace

// The shell's logic without windows: where the control panel goes, which virtual
// key a Qt key is, the "Test" text, the load sequence and the T key's box.
#include <zlib.h>
#include <QDir>
#include <QLocale>
#include <Qt>
#include <algorithm>
#include <atomic>
#include <chrono>
#include <clocale>
#include <random>
#include <thread>

#include "app/command_line.h"
#include "app/key_map.h"
#include "app/load_scene.h"
#include "app/panel_placement.h"
#include "app_fixture.h"

namespace {

std::string Gzip(const std::string& text) {
    z_stream z{};
    deflateInit2(&z, 6, Z_DEFLATED, 16 + MAX_WBITS, 8, Z_DEFAULT_STRATEGY);
    std::string out(deflateBound(&z, text.size()), '\0');
    z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(text.data()));
    z.avail_in = static_cast<uInt>(text.size());
    z.next_out = reinterpret_cast<Bytef*>(out.data());
    z.avail_out = static_cast<uInt>(out.size());
    deflate(&z, Z_FINISH);
    out.resize(z.total_out);
    deflateEnd(&z);
    return out;
}

TEST(PanelPlacement, WidthLeftEdgeAndBottomClamp) {
    // A window narrower than 600 still gets a 600-pixel panel under it.
    EXPECT_EQ(PlaceControlPanel({10, 20, 410, 320}, 1000), (ScreenRect{10, 320, 610, 480}));
    // 600 and 601 wide: the panel is never narrower than 600, and as wide as a wider window.
    EXPECT_EQ(PlaceControlPanel({0, 0, 600, 550}, 1000).Width(), 600);
    EXPECT_EQ(PlaceControlPanel({0, 0, 601, 550}, 1000).Width(), 601);
    EXPECT_EQ(PlaceControlPanel({-50, 0, 950, 550}, 1000), (ScreenRect{-50, 550, 950, 710}));
    // A low window: the panel's top stops at (maximised height - 168) and stays on screen.
    EXPECT_EQ(PlaceControlPanel({5, 300, 605, 900}, 768), (ScreenRect{5, 600, 605, 760}));
    // Exactly at the limit the bottom edge is still used.
    EXPECT_EQ(PlaceControlPanel({0, 0, 600, 600}, 768).top, 600);
    EXPECT_EQ(PlaceControlPanel({0, 0, 600, 601}, 768).top, 600);
}

TEST(KeyMap, LettersDigitsArrowsAndOthers) {
    // Keys without a virtual-key code (0) are not passed on.
    const std::pair<int, int> keys[] = {
        {Qt::Key_W, 'W'},          {Qt::Key_A, 'A'},        {Qt::Key_T, kVkTestBox},
        {Qt::Key_7, '7'},          {Qt::Key_Left, kVkLeft}, {Qt::Key_Up, kVkUp},
        {Qt::Key_Right, kVkRight}, {Qt::Key_Down, kVkDown}, {Qt::Key_F1, 0x70},
        {Qt::Key_F12, 0x7B},       {Qt::Key_Escape, 0x1B},  {Qt::Key_Enter, 0x0D},
        {Qt::Key_Adiaeresis, 0},   {Qt::Key_VolumeUp, 0},   {0, 0}};
    for (auto [qt, vk] : keys) EXPECT_EQ(VirtualKeyFromQtKey(qt), vk) << std::hex << qt;
}

TEST(CameraText, ExactFormAndLargeNumbersWhole) {
    EXPECT_EQ(FormatCameraText({0, 0, 0}, {0, 0, 1}, {0, 1, 0}),
              "Position:(0.000000, 0.000000, 0.000000)\n"
              "Orientation:(0.000000, 0.000000, 1.000000), (0.000000, 1.000000, 0.000000)");
    const float big = -3.4e38f;
    std::string text = FormatCameraText({big, big, big}, {big, big, big}, {big, big, big});
    EXPECT_EQ(text.rfind(')'), text.size() - 1) << "cut short: " << text.size();
    EXPECT_GT(text.size(), 9 * 40u);
}

TEST(ViewerCommandLine, FilesOptionsAndUsageErrors) {
    using O = ViewerOptions;
    struct Case {
        std::vector<std::string> args;
        O::Action action;
        std::string file, standardNodes, error;
    } cases[] = {
        {{}, O::kRun, "", "", ""},
        {{"a.wrl"}, O::kRun, "a.wrl", "", ""},
        {{"--standard-nodes", "d.wrl", "b.bifs"}, O::kRun, "b.bifs", "d.wrl", ""},
        {{"--", "-dash.wrl"}, O::kRun, "-dash.wrl", "", ""},
        {{"-"}, O::kRun, "-", "", ""},
        {{"a.wrl", "--help", "--bogus"}, O::kHelp, "", "", ""},
        {{"--version"}, O::kVersion, "", "", ""},
        {{"--bogus", "--help"}, O::kUsageError, "", "", "unknown option --bogus"},
        {{"-x"}, O::kUsageError, "", "", "unknown option -x"},
        {{"a.wrl", "b.wrl"}, O::kUsageError, "", "", "more than one file given: a.wrl and b.wrl"},
        {{"--standard-nodes"}, O::kUsageError, "", "", "missing file after --standard-nodes"},
        {{""}, O::kUsageError, "", "", "an empty file name"},
    };
    for (const Case& c : cases) {
        const ViewerOptions o = ParseViewerCommandLine(c.args);
        const std::string at = ::testing::PrintToString(c.args);
        EXPECT_EQ(o.action, c.action) << at;
        if (c.action == O::kRun) {
            EXPECT_EQ(o.file, c.file) << at;
            EXPECT_EQ(o.standardNodes, c.standardNodes) << at;
        }
        EXPECT_EQ(o.error.substr(0, c.error.size()), c.error) << at;
        EXPECT_EQ(o.error.empty(), c.error.empty()) << at;
    }
}

using LoadSceneTest = ModuleTest;

// The numbers of scenes and of the "Test" text keep "." under the user's locale,
// which Qt has adopted for everything else.
TEST_F(LoadSceneTest, NumbersKeepTheDecimalPointUnderACommaLocale) {
    if (!UnderDecimalCommaLocale()) GTEST_SKIP() << "no decimal-comma locale (de_DE.UTF-8) here";
    EXPECT_EQ(QLocale().decimalPoint(), QStringLiteral(","));
    EXPECT_STREQ(std::localeconv()->decimal_point, ".");
    EXPECT_EQ(FormatCameraText({1.5f, 0, 0}, {0, 0, -1}, {0, 1, 0}).substr(0, 18),
              "Position:(1.500000");
    ASSERT_EQ(Load(m_files.Write("s.wrl", kTwoViews)), "");
    m_module.GoToViewpoint("Side");
    EXPECT_FLOAT_EQ(Camera()->GetPosition(nullptr).x, 1.5f);
}

TEST_F(LoadSceneTest, ViewpointNamesFollowEachLoad) {
    ASSERT_EQ(Load(m_files.Write("a.wrl", kTwoViews)), "");
    EXPECT_EQ(m_module.GetViewpointNames(), (std::vector<std::string>{"Far", "Side"}));
    ASSERT_EQ(Load(m_files.Write("b.wrl", kThreeViews)), "");
    EXPECT_EQ(m_module.GetViewpointNames(),
              (std::vector<std::string>{"Zenith", "Alpha", "Middle"}));
    ASSERT_EQ(Load(m_files.Write("c.wrl", "Shape { geometry Box {} }")), "");
    EXPECT_TRUE(m_module.GetViewpointNames().empty());
    EXPECT_EQ(m_shown->routes.size(), 0u);
    EXPECT_EQ(World()->Visuals().size(), 1u);
}

// Nothing that is not a readable scene replaces the shown one; each says why.
TEST_F(LoadSceneTest, BadFilesKeepTheShownSceneAndSayWhy) {
    ASSERT_EQ(Load(m_files.Write("a.wrl", kTwoViews)), "");
    const std::size_t frames = World()->Children().size();
    std::vector<std::uint8_t> bifs;
    std::string error;
    ASSERT_TRUE(EncodeSceneAsBifs(*m_loader, *m_shown, bifs, &error, nullptr)) << error;
    std::mt19937 random(18);
    std::string noise(4096, '\0');
    for (char& c : noise) c = static_cast<char>(random());
    std::string packed = Gzip("#VRML V2.0 utf8\n" + std::string(kThreeViews));
    auto write = [&](const std::string& name, const std::string& bytes) {
        std::ofstream(m_files.Path(name), std::ios::binary) << bytes;
        return m_files.Path(name);
    };
    QDir().mkpath(QString::fromStdString(m_files.Path("folder.wrl")));
    const struct {
        std::string file, reason;
    } cases[] = {
        {ORVANE_DATA_DIR "/textures/checker.jpg", "it is not a VRML97 scene ("},
        {write("noise.dat", noise), "it is not a VRML97 scene ("},
        {write("text.wrl", "just some words\n"), "it is not a VRML97 scene (1 syntax error"},
        {write("empty.wrl", ""), "the file is empty"},
        {m_files.Path("folder.wrl"), "it is a folder"},
        {m_files.Path("absent.wrl"), "No such file or directory"},
        {write("cut.wrz", packed.substr(0, packed.size() - 12)), "the gzip stream is cut short"},
        {write("cut.bifs", std::string(bifs.begin(), bifs.begin() + bifs.size() / 2)),
         "it does not decode as BIFS: "},
        {write("noise.bifs", noise), "it does not decode as BIFS: "},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(Load(c.file).substr(0, c.reason.size()), c.reason) << c.file;
        EXPECT_EQ(m_module.GetViewpointNames(), (std::vector<std::string>{"Far", "Side"}));
        EXPECT_EQ(World()->Children().size(), frames) << c.file;
    }
    m_loader->SetStandardNodesPath(m_files.Path("noStandardNodes.wrl"));
    EXPECT_EQ(Load(m_files.Write("b.wrl", kThreeViews)),
              "the node type declarations (standardNodes.wrl) cannot be read");
    // Still shown and working: a viewpoint and an animation step.
    m_module.GoToViewpoint("Side");
    EXPECT_FLOAT_EQ(Camera()->GetPosition(nullptr).x, 1.5f);
    m_module.StepFrame();
    EXPECT_TRUE(m_messages.texts.empty());
}

TEST_F(LoadSceneTest, LoadingStopsTheAnimationAndShowsTheFirstViewpoint) {
    Load(m_files.Write("a.wrl", kTwoViews));
    m_module.Play();
    m_module.GetD3DObj().MoveCamera({5, 5, 5});
    Load(m_files.Write("b.wrl", kThreeViews));
    EXPECT_EQ(m_module.GetRenderThread().GetState(), CRenderThread::kPaused);
    // The camera left where the user had moved it for the scene's first viewpoint (bound).
    EXPECT_EQ(Camera()->GetPosition(nullptr), glm::vec3(0, 5, 30));
}

// Loads replace the scene while the render thread animates the old one and paints
// read frames: every hand-over is whole (run under the sanitizers).
TEST_F(LoadSceneTest, LoadsWhileTheRenderThreadAnimates) {
    const std::string animated =
        m_files.Write("anim.wrl",
                      "DEF T TimeSensor { cycleInterval 0.2 loop TRUE }\n"
                      "DEF P PositionInterpolator { key [0 1] keyValue [0 0 0, 3 0 0] }\n"
                      "DEF X Transform { children Shape { geometry Box {} } }\n"
                      "ROUTE T.fraction_changed TO P.set_fraction\n"
                      "ROUTE P.value_changed TO X.translation\n");
    std::atomic<bool> done{false};
    std::thread painter([&] {
        while (!done) {
            // A GUI thread's paint: the device's latest frame, without the scene lock.
            if (rm::Device* device = m_module.GetD3DObj().GetDevice()) {
                auto frame = device->LatestFrame();
                if (frame) {
                    EXPECT_LE(frame->viewports.size(), 1u);
                }
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
    });
    for (int i = 0; i < 8; ++i) {
        ASSERT_EQ(Load(animated), "");
        m_module.Play();
        std::this_thread::sleep_for(std::chrono::milliseconds(30));
    }
    done = true;
    painter.join();
    m_module.Stop();
    EXPECT_EQ(World()->Children().size(), 1u);  // the animated Transform, once
    EXPECT_TRUE(m_messages.texts.empty());
}

// Each text is shown once per loaded scene, however many steps raise it.
TEST_F(LoadSceneTest, EachLoadShowsItsMessagesOnce) {
    const std::string scene = m_files.Write("nag.wrl", kNaggingScene);
    auto count = [&](const std::string& text) {
        return std::count(m_messages.texts.begin(), m_messages.texts.end(), text);
    };
    for (int load = 1; load <= 2; ++load) {
        ASSERT_EQ(Load(scene), "");
        for (int step = 0; step < 3; ++step) m_module.StepFrame();
        EXPECT_EQ(count("ROUTE ScalarInterpolator.value_changed TO Material.diffuseColor dropped: "
                        "SFFloat to SFColor"),
                  load);
        EXPECT_EQ(
            count("ROUTE TimeSensor.isActive TO Material.shininess dropped: SFBool to SFFloat"),
            load);
        EXPECT_EQ(count(kNagText), load);
    }
    EXPECT_EQ(m_messages.texts.size(), 6u);
}

TEST_F(LoadSceneTest, EachTestBoxIsANewTurnedFrameUntilTheNextLoad) {
    Load(m_files.Write("a.wrl", kTwoViews));
    const std::size_t before = World()->Children().size();
    ASSERT_TRUE(AddTestBox(m_module));
    ASSERT_TRUE(AddTestBox(m_module));
    ASSERT_EQ(World()->Children().size(), before + 2);
    rm::Frame* box = World()->Children().back().Get();
    EXPECT_EQ(box->Visuals().size(), 1u);
    glm::vec3 dir, up;
    box->GetOrientation(World(), &dir, &up);
    EXPECT_NEAR(up.x, -std::sin(1.0f), 1e-5);  // one radian about z turns +y towards -x
    EXPECT_NEAR(up.y, std::cos(1.0f), 1e-5);
    Load(m_files.Write("b.wrl", kTwoViews));
    EXPECT_EQ(World()->Children().size(), before);
}

TEST(TestBox, WithoutADisplayDeviceNothingHappens) {
    CRenderModule module;
    EXPECT_FALSE(AddTestBox(module));
}

}  // namespace

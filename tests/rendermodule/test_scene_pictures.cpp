// Small scenes written the way exporters and authors write them, translated by
// the render module and drawn headless: what each must show, checked on the
// pixels (colour counts, colours at given places, a silhouette against that of a
// simpler scene, shading that is smooth or faceted) and on the messages raised.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include <unistd.h>

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

// A white diffuse surface under the head light: shows a Color node's colours and how
// the normals shade it.
std::string Lit(const std::string& geometry) {
    return "Shape { appearance Appearance { material Material { diffuseColor 1 1 1 } } "
           "geometry " +
           geometry + " }";
}

// A 2 x 2 picture: red and green on top, blue and white below; texture points at the
// texel centres (0.25 or 0.75) pick one of them.
// CTest runs the cases as processes side by side: each writes a picture of its own.
const std::string kQuadrants =
    (fs::path(::testing::TempDir()) / ("orvane_quadrants_" + std::to_string(getpid()) + ".bmp"))
        .string();
// Two 2 x 2 pictures of one colour each: a grey one (an intensity texture) and a dim
// orange one (an RGB texture).
std::string TempPicture(const char* name) {
    return (fs::path(::testing::TempDir()) / (name + std::to_string(getpid()) + ".bmp")).string();
}
const std::string kGreyPicture = TempPicture("orvane_grey_");
const std::string kDimPicture = TempPicture("orvane_dim_");
// 24-bit bitmap, rows bottom-up, each padded to 4 bytes, B G R.
void WriteBitmap(const std::string& file, const std::uint8_t (&rows)[2][8]) {
    std::uint8_t header[54] = {'B', 'M', 70, 0, 0, 0, 0, 0, 0, 0, 54, 0, 0, 0,  40,
                               0,   0,   0,  2, 0, 0, 0, 2, 0, 0, 0,  1, 0, 24, 0};
    std::ofstream out(file, std::ios::binary);
    out.write(reinterpret_cast<const char*>(header), sizeof header);
    out.write(reinterpret_cast<const char*>(rows), sizeof rows);
}
void WriteQuadrants() {
    WriteBitmap(kQuadrants, {{255, 0, 0, 255, 255, 255, 0, 0}, {0, 0, 255, 0, 255, 0, 0, 0}});
    WriteBitmap(kGreyPicture,
                {{128, 128, 128, 128, 128, 128, 0, 0}, {128, 128, 128, 128, 128, 128, 0, 0}});
    WriteBitmap(kDimPicture, {{40, 80, 160, 40, 80, 160, 0, 0}, {40, 80, 160, 40, 80, 160, 0, 0}});
}
// The picture's own colours: emissive white over a black diffuse colour.
std::string Textured(const std::string& geometry, const std::string& imageFields = "",
                     const std::string& appearance = "") {
    return "Shape { appearance Appearance { material Material { diffuseColor 0 0 0 "
           "emissiveColor 1 1 1 } texture ImageTexture { url \"" +
           kQuadrants + "\" " + imageFields + " } " + appearance + " } geometry " + geometry + " }";
}

std::string Turned(const std::string& rotation, const std::string& shape) {
    return "Transform { rotation " + rotation + " children " + shape + " }";
}
const std::string kUp = "1 0 0 1.5708";  // turns +y to +z: an up face looks at the camera

// Face sets facing the camera: an 8 x 6 quad, and the same as two 4 x 6 quads side by side.
std::string Quad(const std::string& fields, const std::string& index = "0 1 2 3") {
    return "IndexedFaceSet { coord Coordinate { point [ -4 -3 0, 4 -3 0, 4 3 0, -4 3 0 ] } "
           "coordIndex [ " +
           index + " ] " + fields + " }";
}
std::string Strip(const std::string& fields) {
    return "IndexedFaceSet { coord Coordinate { point [ -4 -3 0, 0 -3 0, 4 -3 0, -4 3 0, 0 3 0, "
           "4 3 0 ] } coordIndex [ 0 1 4 3 -1 1 2 5 4 -1 ] " +
           fields + " }";
}
// An upright prism of `sides` faces around the y axis, radius 3, 6 high, its corners
// starting half a face right of the camera.
std::string Prism(int sides, const std::string& fields) {
    std::string points, index;
    for (int i = 0; i < sides; ++i) {
        const double a = 3.141593 * (2 * i + 1) / sides;
        for (int y : {-3, 3})
            points += std::to_string(3 * std::sin(a)) + " " + std::to_string(y) + " " +
                      std::to_string(3 * std::cos(a)) + ", ";
        const int j = (i + 1) % sides;
        index += std::to_string(2 * i) + " " + std::to_string(2 * j) + " " +
                 std::to_string(2 * j + 1) + " " + std::to_string(2 * i + 1) + " -1 ";
    }
    return "IndexedFaceSet { coord Coordinate { point [ " + points + "] } coordIndex [ " + index +
           "] " + fields + " }";
}
// The same as an Extrusion: an octagon cross-section running clockwise (as the default
// square does) from its seam at the corner right of the camera.
const std::string kOctagonSection =
    "crossSection [ 1.1481 2.7716, 2.7716 1.1481, 2.7716 -1.1481, 1.1481 -2.7716, -1.1481 "
    "-2.7716, -2.7716 -1.1481, -2.7716 1.1481, -1.1481 2.7716, 1.1481 2.7716 ] "
    "spine [ 0 -3 0, 0 3 0 ] ";
// A bar 3 wide and 1 deep across its spine.
const std::string kBar = "crossSection [ 1.5 0.5, 1.5 -0.5, -1.5 -0.5, -1.5 0.5, 1.5 0.5 ] ";
// An extrusion of 4097 x 4097 points, past what is built.
std::string HugeExtrusion() {
    std::string section, spine;
    for (int i = 0; i <= 4096; ++i) {
        section += std::to_string(i) + " 0, ";
        spine += "0 " + std::to_string(i) + " 0, ";
    }
    return "Extrusion { crossSection [ " + section + "] spine [ " + spine + "] }";
}
// Two horizontal polylines across the view, at y = 1 (left to right) and y = -1.
std::string Lines(const std::string& fields) {
    return "IndexedLineSet { coord Coordinate { point [ -4 1 0, 4 1 0, -4 -1 0, 4 -1 0 ] } "
           "coordIndex [ 0 1 -1 2 3 ] " +
           fields + " }";
}
const std::string kRedBlue = "color Color { color [ 1 0 0, 0 0 1 ] }";
std::string Box(const std::string& size, const std::string& at = "0 0 0") {
    return "Transform { translation " + at + " children " + Lit("Box { size " + size + " }") + " }";
}

// A flat Group of `count` tiny boxes far behind the red box, then that box.
std::string ManyChildren(int count) {
    std::string text = "Group { children [";
    for (int i = 0; i + 1 < count; ++i)
        text +=
            " Transform { translation 0 0 -50 children Shape { geometry Box { size .1 .1 .1 } } }";
    return text + " " + kRed + " ] }";
}

// What a pixel shows: the black background, a pure hue, white, anything drawn, or the
// colour the probe gives (within 12 a channel).
enum class Hue { Background, Red, Green, Blue, White, Lit, Exact };

// A place in the picture (fractions of its width and height from the top left) and
// the hue it must show.
struct Probe {
    float x, y;
    Hue hue;
    int within = 0;           // or at any pixel up to this many away (lines and points are thin)
    int r = 0, g = 0, b = 0;  // for Hue::Exact
};

// The bounding box of the drawn pixels: left, top, right, bottom; all -1 when none.
using Extent = std::array<int, 4>;

// How the shading changes along the middle row, inside the silhouette.
enum class Shading { Any, Smooth, Faceted };

struct Picture {
    int width = 0, height = 0;
    std::vector<std::uint8_t> rgba;
    const std::uint8_t* At(int x, int y) const {
        return &rgba[4 * (static_cast<std::size_t>(y) * width + x)];
    }
    static int Max(const std::uint8_t* p) { return std::max({p[0], p[1], p[2]}); }
    // Whether channel c of p stands well above the other two.
    static bool Pure(const std::uint8_t* p, int c) {
        return p[c] > 80 && p[c] > 2 * p[(c + 1) % 3] + 20 && p[c] > 2 * p[(c + 2) % 3] + 20;
    }
    bool Shows(const Probe& probe) const {
        const int x = static_cast<int>(probe.x * width), y = static_cast<int>(probe.y * height);
        for (int dy = -probe.within; dy <= probe.within; ++dy)
            for (int dx = -probe.within; dx <= probe.within; ++dx)
                if (x + dx >= 0 && x + dx < width && y + dy >= 0 && y + dy < height &&
                    Shows(At(x + dx, y + dy), probe))
                    return true;
        return false;
    }
    static bool Shows(const std::uint8_t* p, const Probe& probe) {
        switch (probe.hue) {
            case Hue::Background:
                return Max(p) < 16;
            case Hue::Red:
                return Pure(p, 0);
            case Hue::Green:
                return Pure(p, 1);
            case Hue::Blue:
                return Pure(p, 2);
            case Hue::White:
                return std::min({p[0], p[1], p[2]}) > 150 &&
                       Max(p) - std::min({p[0], p[1], p[2]}) < 40;
            case Hue::Lit:
                return Max(p) >= 16;
            case Hue::Exact:
                return std::abs(p[0] - probe.r) <= 12 && std::abs(p[1] - probe.g) <= 12 &&
                       std::abs(p[2] - probe.b) <= 12;
        }
        return false;
    }
    Extent Drawn() const {
        Extent e{-1, -1, -1, -1};
        for (int y = 0; y < height; ++y)
            for (int x = 0; x < width; ++x) {
                if (Max(At(x, y)) < 16) continue;
                if (e[0] < 0) e = {x, y, x, y};
                e = {std::min(e[0], x), std::min(e[1], y), std::max(e[2], x), std::max(e[3], y)};
            }
        return e;
    }
    // The largest brightness step between neighbours along the middle row, two pixels
    // in from the silhouette's edges: up to about 25 levels where shading is smooth
    // (steepest near the outline), near 100 at the edge between two flat faces.
    int LargestStep() const {
        const int y = height / 2;
        int left = 0, right = width - 1;
        while (left < width && Max(At(left, y)) < 16) ++left;
        while (right > left && Max(At(right, y)) < 16) --right;
        int step = 0;
        for (int x = left + 2; x + 1 <= right - 2; ++x)
            step = std::max(step, std::abs(Max(At(x + 1, y)) - Max(At(x, y))));
        return step;
    }
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
    int red = -1, green = -1, blue = -1;  // pixels of that pure colour: 0 none, 1 some, -1 either
    std::vector<Probe> probes = {};
    std::string sameExtentAs = {};  // a scene whose silhouette this one's must match
    Shading shading = Shading::Any;
    const char* message = nullptr;  // the start of the one message raised; none without
    // Pointer clicks made before the picture is drawn: x and y as fractions of the
    // picture from the top left, and the time.
    std::vector<std::array<float, 3>> clicks = {};
    // Drawn after one animation step at this many seconds from the start, as
    // orvane-render --time draws it; before any step when negative. An event a
    // script would send first: SFInt32 `emitValue` from "DEF.field" at time 0.
    double time = -1;
    const char* emit = nullptr;
    int emitValue = 0;
};

void PrintTo(const SceneCase& c, std::ostream* os) {
    *os << c.name;
}

class ScenePictureTest : public ::testing::TestWithParam<SceneCase> {
  protected:
    static void SetUpTestSuite() {
        WriteQuadrants();
        std::string error;
        s_gl = rm::gl::HeadlessRenderer::Create(&error).release();
        if (s_gl == nullptr) std::fprintf(stderr, "no EGL context: %s\n", error.c_str());
    }
    static void TearDownTestSuite() {
        std::error_code ignored;
        fs::remove(kQuadrants, ignored);
        fs::remove(kGreyPicture, ignored);
        fs::remove(kDimPicture, ignored);
        delete s_gl;
        s_gl = nullptr;
    }
    void SetUp() override {
        if (s_gl == nullptr) GTEST_SKIP() << "no OpenGL context";
        m_module.Init(&m_window);
    }
    void TearDown() override { m_module.Release(); }

    // Loads `file` (or the text) as the shell does and draws the first frame.
    Picture Draw(const std::string& text, const std::string& file = {}, const SceneCase* at = {}) {
        m_loader = LoadText(text);
        m_module.ClearWorld();
        m_module.ResetScene();
        m_module.SetScene(m_loader->GetSceneRoot(), &m_loader->GetRouteList(), file);
        VrmlLoader* loader = m_loader.get();
        m_module.SetDefLookup([loader](const std::string& name) { return loader->FindDef(name); });
        int w = 0, h = 0;
        m_window.GetClientSize(w, h);
        auto click = [&] {
            if (at != nullptr)
                for (const auto& [x, y, t] : at->clicks)
                    m_module.Click(static_cast<int>(x * w), static_cast<int>(y * h), t);
        };
        if (at != nullptr && at->time >= 0) {
            std::uint32_t now = static_cast<std::uint32_t>(at->time * 1000 + 0.5);
            m_module.SetClock([now] { return now; });
            m_module.GetRouter().SetStartTime(0);
            if (at->emit != nullptr) {
                const std::string end = at->emit;
                SingleNode* node = m_loader->FindDef(end.substr(0, end.find('.')));
                int field = 0;
                for (std::string name; node && node->GetFieldName(field, name) == 0; ++field)
                    if (name == end.substr(end.find('.') + 1)) break;
                m_module.GetEventSink().Emit(node, field, std::make_unique<SFInt32>(at->emitValue),
                                             0);
            }
            click();
            m_module.StepFrame();
        } else {
            click();
            m_module.RenderFrame();
        }
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
    // Every message raised counts, so that a node reporting twice shows.
    const MessageRepeat rule = SetMessageRepeat(MessageRepeat::kEveryTime);
    Picture p = Draw(c.scene, {}, &c);
    SetMessageRepeat(rule);
    ASSERT_FALSE(p.rgba.empty());
    if (c.red >= 0) {
        EXPECT_EQ(p.Count(255, 0, 0) > 0, c.red == 1) << "red";
    }
    if (c.green >= 0) {
        EXPECT_EQ(p.Count(0, 255, 0) > 0, c.green == 1) << "green";
    }
    if (c.blue >= 0) {
        EXPECT_EQ(p.Count(0, 0, 255) > 0, c.blue == 1) << "blue";
    }
    for (const Probe& probe : c.probes) {
        const std::uint8_t* at =
            p.At(static_cast<int>(probe.x * p.width), static_cast<int>(probe.y * p.height));
        EXPECT_TRUE(p.Shows(probe))
            << "hue " << static_cast<int>(probe.hue) << " at " << probe.x << ", " << probe.y << ": "
            << int{at[0]} << " " << int{at[1]} << " " << int{at[2]};
    }
    if (c.shading != Shading::Any) {
        EXPECT_EQ(p.LargestStep() > 40, c.shading == Shading::Faceted) << p.LargestStep();
    }
    if (c.message == nullptr) {
        EXPECT_TRUE(m_messages.texts.empty()) << m_messages.texts.front();
    } else {
        ASSERT_EQ(m_messages.texts.size(), 1u);
        EXPECT_EQ(m_messages.texts[0].rfind(c.message, 0), 0u) << m_messages.texts[0];
    }
    if (!c.sameExtentAs.empty()) {
        const Extent drawn = p.Drawn(), expected = Draw(c.sameExtentAs).Drawn();
        EXPECT_NE(drawn[0], -1);
        for (int i = 0; i < 4; ++i) EXPECT_NEAR(drawn[i], expected[i], 1) << "side " << i;
    }
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

// Boxes, spheres, a cone and a cylinder of several sizes, each kind drawn from one shared
// unit mesh: every shape at its own size and place, seen from 10 in front.
std::string At(const std::string& place, const std::string& shape) {
    return "Transform { translation " + place + " children " + shape + " } ";
}
const std::string kSharedSizes =
    "Viewpoint { position 0 0 10 } " + At("-4 0 0", Colored("1 0 0", "Box { size 1 4 1 }")) +
    At("-2 2.5 0", Colored("1 0 0", "Box { size .6 .6 .6 }")) +
    At("1 2.8 0", Colored("0 1 0", "Box { size 3 1 1 }")) +
    At("4 2.5 0", Colored("0 0 1", "Sphere { radius .6 }")) +
    At("3.5 -1.5 0", Colored("0 0 1", "Sphere { radius 1.2 }")) +
    At("-2 -2 0", Colored("1 0 0", "Cylinder { radius .3 height 2 }")) +
    At("-.5 -1 0", Lit("Cone { bottomRadius 1 height 3 }"));

constexpr Hue kBg = Hue::Background;
constexpr Probe kCentre{0.5f, 0.5f, Hue::Lit};
constexpr Probe kNothingAtCentre{0.5f, 0.5f, kBg};
const std::string kGrid3x2 =
    "ElevationGrid { xDimension 3 zDimension 2 xSpacing 3 zSpacing 4 "
    "height [ 0 0 0 0 0 0 ] ";

INSTANTIATE_TEST_SUITE_P(
    Geometry, ScenePictureTest,
    ::testing::Values(
        // IndexedFaceSet colours: per vertex, through colorIndex, per face, over a material.
        SceneCase{.name = "FaceSetColourPerVertex",
                  .scene = Lit(Quad("color Color { color [ 1 0 0, 0 0 1, 0 0 1, 1 0 0 ] }")),
                  .probes = {{0.22f, 0.5f, Hue::Red}, {0.78f, 0.5f, Hue::Blue}}},
        SceneCase{
            .name = "FaceSetColourIndexPerVertex",
            .scene = Lit(Quad("color Color { color [ 1 0 0, 0 1 0 ] } colorIndex [ 1 1 0 0 ]")),
            .probes = {{0.5f, 0.25f, Hue::Red}, {0.5f, 0.75f, Hue::Green}}},
        SceneCase{
            .name = "FaceSetColourPerFace",
            .scene = Lit(Strip("colorPerVertex FALSE color Color { color [ 1 0 0, 0 1 0 ] }")),
            .probes = {{0.3f, 0.5f, Hue::Red}, {0.7f, 0.5f, Hue::Green}}},
        SceneCase{.name = "FaceSetColourIndexPerFace",
                  .scene = Lit(Strip("colorPerVertex FALSE colorIndex [ 2 0 ] color Color { color "
                                     "[ 1 0 0, 0 1 0, 0 0 1 ] }")),
                  .probes = {{0.3f, 0.5f, Hue::Blue}, {0.7f, 0.5f, Hue::Red}}},
        // Two face sets alike but for their colours each keep their own.
        SceneCase{.name = "FaceSetsAlikeButColours",
                  .scene = "Transform { translation -2.5 0 0 scale .5 .5 .5 children " +
                           Lit(Quad("colorPerVertex FALSE color Color { color [ 1 0 0 ] }")) +
                           " } Transform { translation 2.5 0 0 scale .5 .5 .5 children " +
                           Lit(Quad("colorPerVertex FALSE color Color { color [ 0 0 1 ] }")) + " }",
                  .probes = {{0.28f, 0.5f, Hue::Red}, {0.72f, 0.5f, Hue::Blue}}},
        SceneCase{.name = "FaceSetColourOverMaterial",
                  .scene = "Shape { appearance Appearance { material Material { diffuseColor 0 0 "
                           "1 } } geometry " +
                           Quad("color Color { color [ 0 1 0 ] } colorIndex [ 0 0 0 0 ]") + " }",
                  .probes = {{0.5f, 0.5f, Hue::Green}}},
        // Given normals light the face: one facing sideways is dark where the light
        // comes from the front; per vertex they shade across the face.
        SceneCase{.name = "FaceSetNormalPerFace",
                  .scene = Lit(Quad("normal Normal { vector [ 1 0 0 ] } normalPerVertex FALSE")),
                  .probes = {{0.2f, 0.5f, Hue::Lit}, {0.8f, 0.5f, kBg}}},
        SceneCase{
            .name = "FaceSetNormalIndexPerVertex",
            .scene = Lit(Quad("normal Normal { vector [ 0 0 1, 1 0 0 ] } normalIndex [ 0 1 1 0 ]")),
            .probes = {{0.2f, 0.5f, Hue::White}, {0.84f, 0.5f, kBg}}},
        // Texture points per vertex, through texCoordIndex, and the bounding-box mapping
        // (S along x over 8, T along y at the same scale: the top quarter shows the top row).
        SceneCase{.name = "FaceSetTexturePerVertex",
                  .scene = Textured(Quad("texCoord TextureCoordinate { point [ 0.25 0.25, 0.75 "
                                         "0.75, 0.75 0.75, 0.25 0.25 ] }")),
                  .probes = {{0.2f, 0.5f, Hue::Blue}, {0.8f, 0.5f, Hue::Green}}},
        SceneCase{.name = "FaceSetTextureIndex",
                  .scene = Textured(Quad("texCoord TextureCoordinate { point [ 0.25 0.25, 0.75 "
                                         "0.75 ] } texCoordIndex [ 1 1 1 1 ]")),
                  .probes = {{0.2f, 0.5f, Hue::Green}, {0.8f, 0.5f, Hue::Green}}},
        SceneCase{.name = "FaceSetTextureFromBounds",
                  .scene = Textured(Quad("")),
                  .probes = {{0.33f, 0.615f, Hue::Blue},
                             {0.67f, 0.615f, Hue::White},
                             {0.33f, 0.22f, Hue::Red},
                             {0.67f, 0.22f, Hue::Green}}},
        // creaseAngle: the prism's faces meet at 45 degrees.
        SceneCase{
            .name = "FaceSetFaceted", .scene = Lit(Prism(8, "")), .shading = Shading::Faceted},
        SceneCase{.name = "FaceSetSmooth",
                  .scene = Lit(Prism(8, "creaseAngle 0.9")),
                  .shading = Shading::Smooth},
        SceneCase{.name = "FaceSetCreaseBelowAngle",
                  .scene = Lit(Prism(8, "creaseAngle 0.7")),
                  .shading = Shading::Faceted},
        // solid hides the back; ccw FALSE turns the front round; convex FALSE is honoured.
        SceneCase{.name = "FaceSetSolidBack",
                  .scene = Lit(Quad("", "0 3 2 1")),
                  .probes = {kNothingAtCentre}},
        SceneCase{.name = "FaceSetSolidMirrored",
                  .scene = "Transform { scale -1 1 1 children " + Lit(Quad("")) + " }",
                  .probes = {kCentre}},
        SceneCase{.name = "FaceSetBackNotSolid",
                  .scene = Lit(Quad("solid FALSE", "0 3 2 1")),
                  .probes = {kCentre}},
        // A mirroring Transform turns the corners' order round: the side facing the head
        // light is still lit as a front.
        SceneCase{.name = "FaceSetBothSidesMirrored",
                  .scene = "Transform { scale 1 -1 1 children " + Lit(Quad("solid FALSE")) + " }",
                  .probes = {kCentre}},
        // Closed primitives are seen from outside only; an open cylinder shows its inside.
        SceneCase{.name = "ClosedPrimitivesFromInside",
                  .scene = "Viewpoint { position 0 0 0 } " + Lit("Box { size 10 10 10 }") +
                           Lit("Sphere { radius 8 }") + Lit("Cylinder { radius 12 height 30 }") +
                           Lit("Cone { bottomRadius 14 height 40 }"),
                  .probes = {kNothingAtCentre}},
        SceneCase{.name = "OpenCylinderFromInside",
                  .scene = "Viewpoint { position 0 0 0 } " +
                           Lit("Cylinder { radius 5 height 30 top FALSE bottom FALSE }"),
                  .probes = {kCentre}},
        SceneCase{.name = "FaceSetClockwiseFront",
                  .scene = Lit(Quad("ccw FALSE", "0 3 2 1")),
                  .probes = {kCentre}},
        SceneCase{.name = "FaceSetClockwiseBack",
                  .scene = Lit(Quad("ccw FALSE")),
                  .probes = {kNothingAtCentre}},
        SceneCase{.name = "FaceSetConcave",
                  .scene = Lit("IndexedFaceSet { convex FALSE coord Coordinate { point [ -4 -3 0, "
                               "4 -3 0, 4 3 0, 2 3 0, 2 -1 0, -2 -1 0, -2 3 0, -4 3 0 ] } "
                               "coordIndex [ 0 1 2 3 4 5 6 7 ] }"),
                  .probes = {{0.5f, 0.3f, kBg}, {0.5f, 0.75f, Hue::Lit}, {0.2f, 0.3f, Hue::Lit}}},
        // Bad input: what is valid is drawn, one message for the node.
        SceneCase{.name = "FaceSetBadIndices",
                  .scene = Lit(Quad("", "0 1 9 2 3 -1 -7 0 1 -1 0 1 2 -1")),
                  .probes = {kCentre},
                  .message = "IndexedFaceSet: an index past the end of its list, a negative index"},
        SceneCase{
            .name = "FaceSetNoPoints",
            .scene = Lit("IndexedFaceSet { coord Coordinate { point [] } coordIndex [ 0 1 2 ] }"),
            .probes = {kNothingAtCentre},
            .message = "IndexedFaceSet: an index past the end of its list"},
        SceneCase{.name = "FaceSetColourIndexPastColours",
                  .scene = Lit(Strip("colorPerVertex FALSE colorIndex [ 0 5 ] color Color { color "
                                     "[ 1 0 0 ] }")),
                  .probes = {{0.3f, 0.5f, Hue::Red}, {0.7f, 0.5f, Hue::White}},
                  .message = "IndexedFaceSet: an index past the end of its list"},
        SceneCase{.name = "FaceSetZeroNormal",
                  .scene = Lit(Quad("normal Normal { vector [ 0 0 0 ] } normalPerVertex FALSE")),
                  .probes = {{0.5f, 0.5f, Hue::White}},
                  .message = "IndexedFaceSet: a normal of zero length"},
        // IndexedFaceSet2D: polygons from coordIndex in the z = 0 plane, seen from both sides.
        SceneCase{
            .name = "FaceSet2DColours",
            .scene = "Shape { geometry IndexedFaceSet2D { coord Coordinate2D { point [ -4 -3, "
                     "0 -3, 4 -3, -4 3, 0 3, 4 3 ] } coordIndex [ 0 3 4 1 -1 1 4 5 2 ] "
                     "colorPerVertex FALSE color Color { color [ 1 0 0, 0 0 1 ] } } }",
            .probes = {{0.3f, 0.5f, Hue::Red}, {0.7f, 0.5f, Hue::Blue}}},
        // ElevationGrid, turned to face the camera: its extent, colours, texture, culling.
        SceneCase{.name = "GridExtent",
                  .scene = "Transform { translation -3 2 0 children " +
                           Turned(kUp, Lit(kGrid3x2 + "}")) + " }",
                  .sameExtentAs = Box("6 4 0.001")},
        SceneCase{.name = "GridColourPerCell",
                  .scene = "Transform { translation -3 2 0 children " +
                           Turned(kUp, Lit(kGrid3x2 + "colorPerVertex FALSE color Color { color "
                                                      "[ 1 0 0, 0 0 1 ] } }")) +
                           " }",
                  .probes = {{0.4f, 0.5f, Hue::Red}, {0.6f, 0.5f, Hue::Blue}}},
        SceneCase{.name = "GridColourPerVertex",
                  .scene = "Transform { translation -3 2 0 children " +
                           Turned(kUp, Lit(kGrid3x2 + "color Color { color [ 1 0 0, 1 0 0, 1 0 0, "
                                                      "0 1 0, 0 1 0, 0 1 0 ] } }")) +
                           " }",
                  .probes = {{0.5f, 0.32f, Hue::Red}, {0.5f, 0.68f, Hue::Green}}},
        SceneCase{.name = "GridTexture",
                  .scene = "Transform { translation -3 2 0 children " +
                           Turned(kUp, Textured(kGrid3x2 + "}")) + " }",
                  .probes = {{0.37f, 0.385f, Hue::Blue},
                             {0.63f, 0.385f, Hue::White},
                             {0.37f, 0.615f, Hue::Red},
                             {0.63f, 0.615f, Hue::Green}}},
        SceneCase{.name = "GridSolidFromBelow",
                  .scene = "Transform { translation -3 -2 0 children " +
                           Turned("1 0 0 -1.5708", Lit(kGrid3x2 + "}")) + " }",
                  .probes = {kNothingAtCentre}},
        SceneCase{.name = "GridNotSolidFromBelow",
                  .scene = "Transform { translation -3 -2 0 children " +
                           Turned("1 0 0 -1.5708", Lit(kGrid3x2 + "solid FALSE }")) + " }",
                  .probes = {kCentre}},
        SceneCase{.name = "GridShortHeights",
                  .scene = "Transform { translation -3 2 0 children " +
                           Turned(kUp, Lit("ElevationGrid { xDimension 3 zDimension 3 xSpacing 3 "
                                           "zSpacing 2 height [ 0 0 0 0 0 0 0 ] }")) +
                           " }",
                  .sameExtentAs = Box("6 2 0.001", "0 1 0"),
                  .message = "ElevationGrid: fewer values than the geometry needs"},
        SceneCase{.name = "GridZeroSpacing",
                  .scene = Lit(
                      "ElevationGrid { xDimension 2 zDimension 2 xSpacing 0 height [ 0 0 0 0 ] }"),
                  .probes = {kNothingAtCentre},
                  .message = "ElevationGrid: a zero or negative size"},
        // Extrusion: silhouettes against boxes for straight spines along and across the
        // view (an entirely straight spine turns +y to its direction), scale, orientation.
        SceneCase{.name = "ExtrusionUpright",
                  .scene = Lit("Extrusion { spine [ 0 -2 0, 0 2 0 ] scale [ 2 2 ] }"),
                  .sameExtentAs = Box("4 4 4")},
        SceneCase{.name = "ExtrusionAlongX",
                  .scene = Lit("Extrusion { " + kBar + "spine [ -3 0 0, 3 0 0 ] }"),
                  .sameExtentAs = Box("6 3 1")},
        SceneCase{.name = "ExtrusionTowardsCamera",
                  .scene = Lit("Extrusion { " + kBar + "spine [ 0 0 -2, 0 0 2 ] }"),
                  .sameExtentAs = Box("3 1 4")},
        SceneCase{.name = "ExtrusionDownwards",
                  .scene = Lit("Extrusion { " + kBar + "spine [ 0 2 0, 0 -2 0 ] }"),
                  .sameExtentAs = Box("3 4 1")},
        SceneCase{.name = "ExtrusionCoincidentPoints",
                  .scene = Lit("Extrusion { " + kBar + "spine [ 0 -2 0, 0 0 0, 0 0 0, 0 2 0 ] }"),
                  .sameExtentAs = Box("3 4 1")},
        SceneCase{
            .name = "ExtrusionScaleAndOrientation",
            .scene = Lit(
                "Extrusion { spine [ 0 -1 0, 0 1 0 ] scale [ 3 1 ] orientation [ 0 1 0 1.5708 ] }"),
            .sameExtentAs = Box("2 2 6")},
        // Caps: looking into the open end of a solid extrusion shows nothing; a concave cap
        // is drawn with its notch.
        SceneCase{.name = "ExtrusionNoEndCap",
                  .scene = Lit("Extrusion { endCap FALSE spine [ 0 0 -2, 0 0 2 ] }"),
                  .probes = {kNothingAtCentre}},
        SceneCase{.name = "ExtrusionEndCap",
                  .scene = Lit("Extrusion { beginCap FALSE spine [ 0 0 -2, 0 0 2 ] }"),
                  .probes = {kCentre}},
        SceneCase{
            .name = "ExtrusionConcaveCap",
            .scene = Lit("Extrusion { crossSection [ -2 2, 2 2, 2 -2, 1 -2, 1 1, -1 1, "
                         "-1 -2, -2 -2, -2 2 ] spine [ 0 0 -2, 0 0 2 ] }"),
            .probes = {{0.5f, 0.36f, kBg}, {0.34f, 0.36f, Hue::Lit}, {0.5f, 0.71f, Hue::Lit}}},
        // A closed spine: a ring round the view axis.
        SceneCase{.name = "ExtrusionClosedSpine",
                  .scene = Lit("Extrusion { crossSection [ 0.5 0.5, 0.5 -0.5, -0.5 -0.5, -0.5 "
                               "0.5, 0.5 0.5 ] spine [ 3 0 0, 2.1213 2.1213 0, 0 3 0, -2.1213 "
                               "2.1213 0, -3 0 0, -2.1213 -2.1213 0, 0 -3 0, 2.1213 -2.1213 0, "
                               "3 0 0 ] }"),
                  .probes = {kNothingAtCentre, {0.76f, 0.5f, Hue::Lit}, {0.5f, 0.16f, Hue::Lit}}},
        // creaseAngle, also across the seam of the closed cross-section (front right).
        SceneCase{.name = "ExtrusionFaceted",
                  .scene = Lit("Extrusion { " + kOctagonSection + "}"),
                  .shading = Shading::Faceted},
        SceneCase{.name = "ExtrusionSmooth",
                  .scene = Lit("Extrusion { " + kOctagonSection + "creaseAngle 0.9 }"),
                  .shading = Shading::Smooth},
        SceneCase{.name = "ExtrusionCreaseBelowAngle",
                  .scene = Lit("Extrusion { " + kOctagonSection + "creaseAngle 0.7 }"),
                  .shading = Shading::Faceted},
        SceneCase{
            .name = "ExtrusionOnePointSpine",
            .scene = Lit("Extrusion { spine [ 1 1 1, 1 1 1 ] }"),
            .probes = {kNothingAtCentre},
            .message = "Extrusion: a spine or cross-section of fewer than two distinct points"},
        SceneCase{.name = "ExtrusionTooLarge",
                  .scene = Lit(HugeExtrusion()),
                  .probes = {kNothingAtCentre},
                  .message = "Extrusion: more than 16,777,216 points"},
        SceneCase{.name = "ExtrusionNegativeScale",
                  .scene = Lit("Extrusion { spine [ 0 -1 0, 0 1 0 ] scale [ -1 1 ] }"),
                  .probes = {kCentre},
                  .message = "Extrusion: a zero or negative size"},
        // Cone and Cylinder leave out the parts switched off.
        SceneCase{
            .name = "CylinderTube",
            .scene = Turned(kUp, Lit("Cylinder { radius 3 height 2 top FALSE bottom FALSE }")),
            .probes = {kNothingAtCentre, {0.5f, 0.16f, Hue::Lit}}},
        SceneCase{.name = "CylinderTop",
                  .scene = Turned(kUp, Lit("Cylinder { radius 3 height 2 bottom FALSE }")),
                  .probes = {kCentre}},
        SceneCase{.name = "CylinderNoSide",
                  .scene = Lit("Cylinder { side FALSE }"),
                  .probes = {kNothingAtCentre}},
        SceneCase{.name = "ConeNoSide",
                  .scene = Lit("Cone { side FALSE }"),
                  .probes = {kNothingAtCentre}},
        SceneCase{.name = "ConeBottomOnly",
                  .scene = Turned("1 0 0 -1.5708", Lit("Cone { side FALSE }")),
                  .probes = {kCentre}},
        SceneCase{.name = "ConeNothing",
                  .scene = Turned("1 0 0 -1.5708", Lit("Cone { side FALSE bottom FALSE }")),
                  .probes = {kNothingAtCentre}},
        // A unit mesh shared at many sizes; the tall cone, lit from the front, keeps the
        // slant of its normals under the stretch: its front faces the light almost squarely.
        SceneCase{.name = "SharedUnitMeshesAtManySizes",
                  .scene = kSharedSizes,
                  .probes = {{0.12f, 0.31f, Hue::Red},
                             {0.12f, 0.17f, kBg},
                             {0.24f, 0.5f, kBg},
                             {0.31f, 0.18f, Hue::Red},
                             {0.71f, 0.14f, Hue::Green},
                             {0.64f, 0.26f, kBg},
                             {0.88f, 0.18f, Hue::Blue},
                             {0.88f, 0.08f, kBg},
                             {0.92f, 0.69f, Hue::Blue},
                             {0.83f, 0.51f, kBg},
                             {0.31f, 0.82f, Hue::Red},
                             {0.31f, 0.93f, kBg},
                             {0.45f, 0.70f, Hue::White}}},
        SceneCase{.name = "ConeNegativeHeight",
                  .scene = Lit("Cone { height -2 }"),
                  .probes = {kCentre},
                  .message = "Cone: a zero or negative size"},
        // Lines and points are not lit: the emissive colour, the colours given, white
        // without a material. Two lines, 1 above and 1 below the centre.
        SceneCase{
            .name = "LineSetEmissive",
            .scene = Colored("1 0 0", Lines("")),
            .red = 1,
            .probes = {{0.2f, 0.385f, Hue::Red, 1}, {0.8f, 0.615f, Hue::Red, 1}, kNothingAtCentre}},
        SceneCase{.name = "LineSetNoMaterial",
                  .scene = "Shape { geometry " + Lines("") + " }",
                  .probes = {{0.5f, 0.385f, Hue::White, 1}}},
        SceneCase{.name = "LineSetColourPerLine",
                  .scene = Colored("0 1 0", Lines("colorPerVertex FALSE " + kRedBlue)),
                  .green = 0,
                  .probes = {{0.5f, 0.385f, Hue::Red, 1}, {0.5f, 0.615f, Hue::Blue, 1}}},
        SceneCase{
            .name = "LineSetColourIndexPerLine",
            .scene = Colored("0 1 0", Lines("colorPerVertex FALSE colorIndex [ 1 0 ] " + kRedBlue)),
            .probes = {{0.5f, 0.385f, Hue::Blue, 1}, {0.5f, 0.615f, Hue::Red, 1}}},
        SceneCase{.name = "LineSetColourPerVertex",
                  .scene = Colored("0 1 0", Lines(kRedBlue + " colorIndex [ 0 1 -1 1 0 ]")),
                  .probes = {{0.2f, 0.385f, Hue::Red, 1},
                             {0.8f, 0.385f, Hue::Blue, 1},
                             {0.2f, 0.615f, Hue::Blue, 1},
                             {0.8f, 0.615f, Hue::Red, 1}}},
        SceneCase{
            .name = "LineSetHiddenBehindFace",
            .scene = Colored("1 0 0", Lines("")) + " " + Colored("0 0 1", "Box { size 4 4 1 }"),
            .probes = {{0.5f, 0.385f, Hue::Blue}, {0.2f, 0.385f, Hue::Red, 1}}},
        SceneCase{.name = "LineSetBadIndices",
                  .scene = Colored("1 0 0",
                                   "IndexedLineSet { coord Coordinate { point [ -4 1 0, 4 1 "
                                   "0 ] } coordIndex [ 0 7 -5 1 -1 3 ] }"),
                  .probes = {{0.5f, 0.385f, Hue::Red, 1}},
                  .message = "IndexedLineSet: an index past the end of its list, a negative index"},
        SceneCase{
            .name = "LineSetColourIndexPastColours",
            .scene = Colored("0 1 0", Lines("colorPerVertex FALSE colorIndex [ 0 4 ] " + kRedBlue)),
            .probes = {{0.5f, 0.385f, Hue::Red, 1}, {0.5f, 0.615f, Hue::White, 1}},
            .message = "IndexedLineSet: an index past the end of its list"},
        SceneCase{
            .name = "LineSet2DInOrder",
            .scene = "Shape { appearance Appearance { material Material2D { emissiveColor 0 1 "
                     "0 } } geometry IndexedLineSet2D { coord Coordinate2D { point [ -4 1, 4 "
                     "1, 4 -1 ] } } }",
            .probes = {{0.5f, 0.385f, Hue::Green, 1}, {0.844f, 0.5f, Hue::Green, 1}}},
        SceneCase{
            .name = "PointSetColours",
            .scene = "Shape { geometry PointSet { coord Coordinate { point [ -2 0 0, 2 0 0 ] } "
                     "color Color { color [ 1 0 0, 0 0 1 ] } } }",
            .probes = {{0.33f, 0.5f, Hue::Red, 1}, {0.67f, 0.5f, Hue::Blue, 1}}},
        SceneCase{.name = "PointSetEmissive",
                  .scene = Colored("0 1 0", "PointSet { coord Coordinate { point [ 0 0 0 ] } }"),
                  .green = 1,
                  .probes = {{0.5f, 0.5f, Hue::Green, 1}}},
        SceneCase{
            .name = "PointSetFewColours",
            .scene = "Shape { geometry PointSet { coord Coordinate { point [ -2 0 0, 2 0 0 ] } "
                     "color Color { color [ 1 0 0 ] } } }",
            .probes = {{0.33f, 0.5f, Hue::Red, 1}, {0.67f, 0.5f, Hue::White, 1}},
            .message = "PointSet: fewer values than the geometry needs"},
        SceneCase{
            .name = "PointSet2D",
            // Two points, so that the scene's bounds keep the start view.
            .scene = "Shape { geometry PointSet2D { coord Coordinate2D { point [ 2 1, -2 -1 ] } "
                     "color Color { color [ 0 0 1, 0 0 1 ] } } }",
            .probes = {{0.67f, 0.385f, Hue::Blue, 1}}}),
    [](const ::testing::TestParamInfo<SceneCase>& info) { return std::string(info.param.name); });

// A view straight up from far away: the backdrop turns with the camera, its position
// does not count. The camera's up is then +z.
const std::string kLookUp = "Viewpoint { position 300 -900 40 orientation 1 0 0 1.5708 } ";
std::string Sky(const std::string& fields) {
    return "Background { " + fields + " } ";
}

INSTANTIATE_TEST_SUITE_P(
    Background, ScenePictureTest,
    ::testing::Values(
        SceneCase{.name = "SkyOnly",
                  .scene = Sky("skyColor [ 0 0 1 ]"),
                  .probes = {{0.02f, 0.02f, Hue::Blue},
                             {0.5f, 0.5f, Hue::Blue},
                             {0.98f, 0.98f, Hue::Blue}}},
        // Sky above the horizon, ground below, the scene in front of both.
        SceneCase{.name = "SkyAndGround",
                  .scene = Sky("skyColor [ 0 0 1 ] groundColor [ 0 1 0, 0 1 0 ] groundAngle "
                               "[ 1.5708 ]") +
                           kRed,
                  .probes = {{0.5f, 0.02f, Hue::Blue},
                             {0.5f, 0.98f, Hue::Green},
                             {0.5f, 0.5f, Hue::Red}}},
        // Red from straight up to 1 radian, then towards blue at the horizon: the top
        // of the view (about 1.16 from straight up) is still mostly red.
        SceneCase{
            .name = "SkyGradient",
            .scene = Sky("skyColor [ 1 0 0, 1 0 0, 0 0 1 ] skyAngle [ 1 1.5708 ]"),
            .probes = {{0.5f, 0.02f, Hue::Red}, {0.5f, 0.5f, Hue::Blue}, {0.5f, 0.98f, Hue::Blue}}},
        SceneCase{.name = "SkyFollowsOrientation",
                  .scene = kLookUp + Sky("skyColor [ 1 0 0, 0 0 1 ] skyAngle [ 0.2 ]"),
                  .probes = {{0.5f, 0.5f, Hue::Red}, {0.02f, 0.02f, Hue::Blue}}},
        // The rotation of the Transforms above it turns it: the ground is overhead.
        SceneCase{.name = "TurnedByTransform",
                  .scene = Turned("0 0 1 3.14159", Sky("skyColor [ 0 0 1 ] groundColor [ 0 1 0, "
                                                       "0 1 0 ] groundAngle [ 1.5708 ]")),
                  .probes = {{0.5f, 0.02f, Hue::Green}, {0.5f, 0.98f, Hue::Blue}}},
        // A ground of one colour alone ends where it starts, straight down.
        SceneCase{.name = "GroundOfOneColour",
                  .scene = Sky("skyColor [ 0 0 1 ] groundColor [ 0 1 0 ]"),
                  .green = 0,
                  .probes = {{0.5f, 0.98f, Hue::Blue}}},
        // The cube's pictures, seen upright from inside: the front ahead, the top
        // overhead with its upper edge towards the back (the camera's up here).
        SceneCase{.name = "FrontPicture",
                  .scene = Sky("skyColor [ 0 0 0 ] frontUrl \"" + kQuadrants + "\""),
                  .probes = {{0.02f, 0.02f, Hue::Red},
                             {0.98f, 0.02f, Hue::Green},
                             {0.02f, 0.98f, Hue::Blue},
                             {0.98f, 0.98f, Hue::White}}},
        SceneCase{.name = "TopPicture",
                  .scene = kLookUp + Sky("topUrl \"" + kQuadrants + "\""),
                  .probes = {{0.02f, 0.02f, Hue::Red},
                             {0.98f, 0.02f, Hue::Green},
                             {0.02f, 0.98f, Hue::Blue},
                             {0.98f, 0.98f, Hue::White}}},
        SceneCase{.name = "BackPictureBehind",
                  .scene = Sky("skyColor [ 0 1 0 ] backUrl \"" + kQuadrants + "\""),
                  .red = 0,
                  .probes = {{0.5f, 0.5f, Hue::Green}}},
        // The first Background met is shown.
        SceneCase{.name = "FirstBackground",
                  .scene = Sky("skyColor [ 0 0 1 ]") + Sky("skyColor [ 1 0 0 ]"),
                  .red = 0,
                  .probes = {{0.5f, 0.5f, Hue::Blue}}},
        SceneCase{.name = "Background2DColour",
                  .scene = "Background2D { backColor 0 1 0 } " + kRed,
                  .probes = {{0.02f, 0.02f, Hue::Green}, {0.5f, 0.5f, Hue::Red}}},
        // Bad input: what is valid is shown, one message.
        SceneCase{.name = "SkyFewColours",
                  .scene = Sky("skyColor [ 0 0 1 ] skyAngle [ 1 2 ]"),
                  .probes = {{0.5f, 0.02f, Hue::Blue}},
                  .message = "Background: fewer values than the geometry needs"},
        SceneCase{.name = "MissingPicture",
                  .scene = Sky("skyColor [ 0 0 1 ] frontUrl \"no such picture.png\""),
                  .probes = {{0.5f, 0.5f, Hue::Blue}},
                  .message = "File name error!"}),
    [](const ::testing::TestParamInfo<SceneCase>& info) { return std::string(info.param.name); });

// An emissive red box 9 from the eye under blue fog. Fog covers the visuals, not
// the background (black in the corner); the bound Fog is the first.
std::string Fogged(const std::string& fields) {
    return "Viewpoint { position 0 0 10 } Fog { color 0 0 1 " + fields +
           " } Fog { color 0 1 0 visibilityRange 1 } Shape { appearance Appearance { material "
           "Material { diffuseColor 0 0 0 emissiveColor 1 0 0 } } geometry Box {} } ";
}

INSTANTIATE_TEST_SUITE_P(
    Fog, ScenePictureTest,
    ::testing::Values(
        // Half of the range: half red, half fog.
        SceneCase{.name = "Linear",
                  .scene = Fogged("fogType \"LINEAR\" visibilityRange 18"),
                  .probes = {{0.5f, 0.5f, Hue::Exact, 0, 128, 0, 127}, {0.02f, 0.02f, kBg}}},
        // exp(-d / (range - d)): a little over a third of the red left.
        SceneCase{.name = "Exponential",
                  .scene = Fogged("fogType \"EXPONENTIAL\" visibilityRange 18"),
                  .probes = {{0.5f, 0.5f, Hue::Exact, 0, 94, 0, 161}, {0.02f, 0.02f, kBg}}},
        // Beyond the range only the fog is seen; a range of 0 is no fog.
        SceneCase{.name = "BeyondTheRange",
                  .scene = Fogged("visibilityRange 5"),
                  .probes = {{0.5f, 0.5f, Hue::Blue}, {0.02f, 0.02f, kBg}}},
        SceneCase{.name = "NoRangeNoFog",
                  .scene = Fogged("visibilityRange 0"),
                  .probes = {{0.5f, 0.5f, Hue::Red}}}),
    [](const ::testing::TestParamInfo<SceneCase>& info) { return std::string(info.param.name); });

// Red text, "HH" by default (its ink as wide left as right of its middle), in SANS.
std::string RedText(const std::string& style, const std::string& fields = "string \"HH\"") {
    return Colored("1 0 0",
                   "Text { " + fields + " fontStyle FontStyle { family \"SANS\" " + style + " } }");
}
std::string Mirrored(const std::string& scale, const std::string& shape) {
    return "Transform { scale " + scale + " children " + shape + " }";
}
// A thin lit square of side `side` facing the camera.
std::string Square(const std::string& side) {
    return Box(side + " " + side + " 0.001");
}

INSTANTIATE_TEST_SUITE_P(
    TextAndViews, ScenePictureTest,
    ::testing::Values(
        // BEGIN and FIRST: the text starts at the origin (the picture's middle) and sits on
        // its baseline; nothing left of it or below.
        SceneCase{.name = "TextBegin",
                  .scene = RedText("size 2"),
                  .red = 1,
                  .probes = {{0.45f, 0.4f, kBg}, {0.6f, 0.6f, kBg}, {0.3f, 0.45f, kBg}}},
        // MIDDLE centres each line on the origin: mirroring it changes nothing; END ends
        // there, as BEGIN mirrored; right to left, BEGIN ends there too.
        SceneCase{.name = "TextMiddle",
                  .scene = RedText("size 2 justify \"MIDDLE\""),
                  .red = 1,
                  .sameExtentAs = Mirrored("-1 1 1", RedText("size 2 justify \"MIDDLE\""))},
        SceneCase{.name = "TextEnd",
                  .scene = RedText("size 2 justify \"END\""),
                  .sameExtentAs = Mirrored("-1 1 1", RedText("size 2"))},
        SceneCase{.name = "TextRightToLeft",
                  .scene = RedText("size 2 leftToRight FALSE"),
                  .sameExtentAs = RedText("size 2 justify \"END\"")},
        // size scales all of the text, its width included; spacing sets the baselines apart.
        SceneCase{.name = "TextSizeDoubles",
                  .scene = RedText("size 2 justify \"MIDDLE\""),
                  .sameExtentAs = Mirrored("2 2 2", RedText("justify \"MIDDLE\""))},
        SceneCase{.name = "TextSpacing",
                  .scene = RedText("size 2 spacing 1.5", "string [ \"HH\" \"HHH\" ]"),
                  .sameExtentAs = RedText("size 2") + " Transform { translation 0 -3 0 children " +
                                  RedText("size 2", "string \"HHH\"") + " }"},
        SceneCase{.name = "TextMaxExtentLonger",
                  .scene = RedText("size 2", "string \"HH\" maxExtent 100"),
                  .sameExtentAs = RedText("size 2")},
        // Seen from behind, text still shows.
        SceneCase{
            .name = "TextBothSides", .scene = Turned("0 1 0 3.14159", RedText("size 2")), .red = 1},
        // An unknown family is drawn in SANS, with one message; a size of 0 draws nothing.
        SceneCase{.name = "TextUnknownFamily",
                  .scene = Colored("1 0 0",
                                   "Text { string \"HH\" fontStyle FontStyle { family "
                                   "\"NoSuchFamily\" size 2 } }"),
                  .sameExtentAs = RedText("size 2"),
                  .message = "Text: font family \"NoSuchFamily\" not installed; drawn in SANS"},
        SceneCase{.name = "TextZeroSize",
                  .scene = RedText("size 0"),
                  .red = 0,
                  .message = "Text: a zero or negative size"},
        // A Viewpoint's fieldOfView spans the picture's height (its smaller side): at 10
        // away the default angle shows 2 tan(0.3927) × 10 = 8.284 of it, where the start
        // view shows 9; a narrower angle magnifies.
        SceneCase{.name = "ViewpointFieldOfView",
                  .scene = "Viewpoint {} " + Square("4.1421"),
                  .sameExtentAs = Square("4.5")},
        SceneCase{.name = "ViewpointNarrowField",
                  .scene = "Viewpoint { fieldOfView 0.4 } " + Square("2.0271"),
                  .sameExtentAs = Square("4.5")},
        // Without a Viewpoint, a scene the start view does not fit (a speck, one far from
        // the origin, one far larger) fills 0.9 of the view, as a square of 8.1 does from
        // the start view; one that fits stays where it is.
        SceneCase{.name = "EntrySpeck", .scene = Square("0.02"), .sameExtentAs = Square("8.1")},
        SceneCase{.name = "EntryFarAway",
                  .scene = "Transform { translation 1000 500 -20 children " + Square("8.1") + " }",
                  .sameExtentAs = Square("8.1")},
        SceneCase{.name = "EntryLarge", .scene = Square("8100"), .sameExtentAs = Square("8.1")},
        SceneCase{.name = "EntryKeptWhenItFits",
                  .scene = Box("1 1 1", "3 0 0"),
                  .probes = {kNothingAtCentre, {0.75f, 0.5f, Hue::Lit}}},
        SceneCase{.name = "EntryKeptWithAViewpoint",
                  .scene = "Viewpoint {} Transform { translation 1000 0 0 children " + kRed + " }",
                  .red = 0}),
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

// ---- Appearance and lights ----

const std::string kNoHeadLight = "NavigationInfo { headlight FALSE } ";
// An emissive quad facing the camera, `transparency` see-through, at `at`.
std::string Clear(const std::string& rgb, const std::string& transparency, const std::string& at) {
    return "Transform { translation " + at +
           " children Shape { appearance Appearance { material Material { diffuseColor 0 0 0 "
           "emissiveColor " +
           rgb + " transparency " + transparency + " } } geometry " + Quad("") + " } }";
}
// A white box lit by `light` (and nothing else) at the centre.
std::string LitBy(const std::string& light, const std::string& material = "diffuseColor 1 1 1") {
    return kNoHeadLight + light + " Shape { appearance Appearance { material Material { " +
           material + " } } geometry Box {} }";
}
// White boxes left and right of the centre, each in a group of its own; `left` and
// `right` are added to the groups' children.
std::string TwoGroups(const std::string& group, const std::string& left, const std::string& right) {
    return kNoHeadLight + group + " { children [ " + left + " " + Box("2 2 2", "-3 0 0") + " ] } " +
           group + " { children [ " + Box("2 2 2", "3 0 0") + " " + right + " ] }";
}
const std::string kFrontLight = "DirectionalLight { direction 0 0 -1 }";
constexpr Probe kLeftLit{0.29f, 0.5f, Hue::Lit}, kLeftDark{0.29f, 0.5f, kBg};
constexpr Probe kRightLit{0.71f, 0.5f, Hue::Lit}, kRightDark{0.71f, 0.5f, kBg};
constexpr Probe Exact(float x, float y, int r, int g, int b) {
    return {x, y, Hue::Exact, 0, r, g, b};
}
// A white plane of 41 x 41 points 12 wide facing the camera, fine enough for per-vertex
// lighting to draw a spot light's circle.
std::string FinePlane() {
    std::string heights;
    for (int i = 0; i < 41 * 41; ++i) heights += "0 ";
    // 5.6 wide: small enough that the start view stays (a larger plane is fitted).
    return Turned(kUp, "Transform { translation -2.8 0 -2.8 children " +
                           Lit("ElevationGrid { xDimension 41 zDimension 41 xSpacing 0.14 "
                               "zSpacing 0.14 height [ " +
                               heights + "] }") +
                           " }");
}
std::string Spot(const std::string& fields) {
    return kNoHeadLight + "SpotLight { location 0 0 5 " + fields + " } " + FinePlane();
}
std::string Pictured(const std::string& file, const std::string& material,
                     const std::string& geometry) {
    return "Shape { appearance Appearance { material Material { " + material +
           " } texture ImageTexture { url \"" + file + "\" } } geometry " + geometry + " }";
}
const std::string kWideS = "texCoord TextureCoordinate { point [ 0 0, 2 0, 2 1, 0 1 ] }";
const std::string kTallT = "texCoord TextureCoordinate { point [ 0 0, 1 0, 1 2, 0 2 ] }";

INSTANTIATE_TEST_SUITE_P(
    Appearance, ScenePictureTest,
    ::testing::Values(
        // Transparency: blended after the opaque shapes, back to front, whatever the order
        // in the file.
        SceneCase{.name = "TransparentOverOpaque",
                  .scene = Clear("0 0 1", "0", "0 0 0") + Clear("1 0 0", "0.5", "0 0 2"),
                  .probes = {Exact(0.5f, 0.5f, 128, 0, 128)}},
        SceneCase{.name = "TransparentFirstInFile",
                  .scene = Clear("1 0 0", "0.5", "0 0 2") + Clear("0 0 1", "0", "0 0 0"),
                  .probes = {Exact(0.5f, 0.5f, 128, 0, 128)}},
        SceneCase{.name = "TransparentBackToFront",
                  .scene = Clear("1 0 0", "0.5", "0 0 2") + Clear("0 1 0", "0.5", "0 0 0"),
                  .probes = {Exact(0.5f, 0.5f, 128, 64, 0)}},
        SceneCase{.name = "TransparentInvisible",
                  .scene = Clear("1 0 0", "1", "0 0 0"),
                  .probes = {kNothingAtCentre}},
        // A DirectionalLight lights its own group only; the other lights everything.
        SceneCase{.name = "DirectionalLightInGroup",
                  .scene = TwoGroups("Group", kFrontLight, ""),
                  .probes = {kLeftLit, kRightDark}},
        SceneCase{.name = "DirectionalLightAfterShapes",
                  .scene = TwoGroups("Group", "", kFrontLight),
                  .probes = {kLeftDark, kRightLit}},
        SceneCase{.name = "DirectionalLightInTransform",
                  .scene = TwoGroups("Transform", kFrontLight, ""),
                  .probes = {kLeftLit, kRightDark}},
        SceneCase{.name = "DirectionalLightAtTop",
                  .scene = kFrontLight + TwoGroups("Group", "", ""),
                  .probes = {kLeftLit, kRightLit}},
        SceneCase{.name = "PointLightInGroup",
                  .scene = TwoGroups("Group", "PointLight { location 0 0 5 }", ""),
                  .probes = {kLeftLit, kRightLit}},
        // on, intensity, ambientIntensity (the light's and the material's).
        SceneCase{.name = "LightOff",
                  .scene = LitBy("DirectionalLight { on FALSE direction 0 0 -1 }"),
                  .probes = {kNothingAtCentre}},
        SceneCase{.name = "LightIntensity",
                  .scene = LitBy("DirectionalLight { intensity 0.5 direction 0 0 -1 }"),
                  .probes = {Exact(0.5f, 0.5f, 128, 128, 128)}},
        SceneCase{.name = "LightAmbientOnly",
                  .scene = LitBy("DirectionalLight { ambientIntensity 1 direction 0 0 1 }",
                                 "diffuseColor 1 1 1 ambientIntensity 0.5"),
                  .probes = {Exact(0.5f, 0.5f, 128, 128, 128)}},
        SceneCase{.name = "MaterialWithoutAmbient",
                  .scene = LitBy("DirectionalLight { ambientIntensity 1 direction 0 0 1 }",
                                 "diffuseColor 1 1 1 ambientIntensity 0"),
                  .probes = {kNothingAtCentre}},
        // PointLight radius and attenuation (1 / (0.05 × 40) at the box's front), from far
        // enough that the face's corners see it straight on.
        SceneCase{.name = "PointLightOutOfRadius",
                  .scene = LitBy("PointLight { location 0 0 41 radius 38 }"),
                  .probes = {kNothingAtCentre}},
        SceneCase{.name = "PointLightInRadius",
                  .scene = LitBy("PointLight { location 0 0 41 radius 42 }"),
                  .probes = {Exact(0.5f, 0.5f, 255, 255, 255)}},
        SceneCase{.name = "PointLightAttenuation",
                  .scene = LitBy("PointLight { location 0 0 41 attenuation 0 0.05 0 }"),
                  .probes = {Exact(0.5f, 0.5f, 128, 128, 128)}},
        // A spot light draws a circle of 1.5 around the centre; none facing away.
        SceneCase{.name = "SpotLightCircle",
                  .scene = Spot("cutOffAngle 0.3 beamWidth 0.3"),
                  .probes = {Exact(0.5f, 0.5f, 255, 255, 255),
                             {0.56f, 0.5f, Hue::Lit},
                             {0.5f, 0.42f, Hue::Lit},
                             {0.57f, 0.59f, Hue::Lit},
                             {0.6f, 0.63f, kBg},
                             {0.4f, 0.37f, kBg},
                             {0.7f, 0.5f, kBg},
                             {0.5f, 0.75f, kBg}}},
        SceneCase{.name = "SpotLightFallsOff",
                  .scene = Spot("cutOffAngle 0.3 beamWidth 0.1"),
                  .probes = {Exact(0.5f, 0.5f, 255, 255, 255),
                             Exact(0.585f, 0.5f, 128, 128, 128),
                             {0.7f, 0.5f, kBg}}},
        SceneCase{.name = "SpotLightFacingAway",
                  .scene = Spot("direction 0 0 1"),
                  .probes = {kNothingAtCentre}},
        // Without a Material a shape is unlit: white on every face.
        SceneCase{.name = "UnlitWithoutMaterial",
                  .scene = Turned("0 1 0 0.6", "Shape { geometry Box { size 4 4 4 } }"),
                  .probes = {Exact(0.57f, 0.5f, 255, 255, 255), Exact(0.39f, 0.5f, 255, 255, 255)}},
        // An RGB texture replaces the diffuse colour and is never brightened past its own
        // colour; an intensity texture darkens it.
        SceneCase{.name = "RgbTextureReplacesDiffuse",
                  .scene = Pictured(kQuadrants, "diffuseColor 0 0 1", Quad("")),
                  .probes = {{0.33f, 0.22f, Hue::Red}, {0.67f, 0.22f, Hue::Green}}},
        SceneCase{.name = "TextureNotBrightened",
                  .scene = kFrontLight + " DirectionalLight { direction 0 0 -1 } " +
                           Pictured(kDimPicture, "diffuseColor 1 1 1", "Box {}"),
                  .probes = {Exact(0.5f, 0.5f, 160, 80, 40)}},
        SceneCase{.name = "GreyTextureTimesDiffuse",
                  .scene = Pictured(kGreyPicture, "diffuseColor 1 0 0", "Box {}"),
                  .probes = {Exact(0.5f, 0.5f, 128, 0, 0)}},
        // repeatS / repeatT FALSE stop on the picture's edge; TextureTransform moves and
        // turns the texture coordinates.
        SceneCase{.name = "RepeatS",
                  .scene = Textured(Quad(kWideS)),
                  .probes = {{0.57f, 0.35f, Hue::Red}}},
        SceneCase{.name = "RepeatSFalse",
                  .scene = Textured(Quad(kWideS), "repeatS FALSE"),
                  .probes = {{0.57f, 0.35f, Hue::Green}}},
        SceneCase{.name = "RepeatT",
                  .scene = Textured(Quad(kTallT)),
                  .probes = {{0.33f, 0.42f, Hue::Blue}}},
        SceneCase{.name = "RepeatTFalse",
                  .scene = Textured(Quad(kTallT), "repeatT FALSE"),
                  .probes = {{0.33f, 0.42f, Hue::Red}}},
        SceneCase{.name = "TextureTranslation",
                  .scene = Textured(Quad(""), "",
                                    "textureTransform TextureTransform { translation 0.5 0 }"),
                  .probes = {{0.33f, 0.22f, Hue::Green}}},
        // A PixelTexture's rows go from the bottom up: red and green on top, blue below.
        SceneCase{.name = "PixelTexture",
                  .scene = "Shape { appearance Appearance { texture PixelTexture { image 4 4 3 "
                           "0xFF 0xFF 0xFFFFFF 0xFFFFFF 0xFF 0xFF 0xFFFFFF 0xFFFFFF "
                           "0xFF0000 0xFF0000 0xFF00 0xFF00 0xFF0000 0xFF0000 0xFF00 0xFF00 } } "
                           "geometry " +
                           Quad("") + " }",
                  .probes = {{0.33f, 0.22f, Hue::Red},
                             {0.67f, 0.22f, Hue::Green},
                             {0.33f, 0.615f, Hue::Blue}}},
        SceneCase{.name = "TextureRotation",
                  .scene = Textured(Quad(""), "",
                                    "textureTransform TextureTransform { rotation 1.5708 center "
                                    "0.5 0.5 }"),
                  .probes = {{0.33f, 0.22f, Hue::Blue}, {0.67f, 0.615f, Hue::Green}}}),
    [](const ::testing::TestParamInfo<SceneCase>& info) { return std::string(info.param.name); });

// Animations, drawn at a time as orvane-render --time draws them.
const std::string kFrontView = "Viewpoint { position 0 0 10 } ";
std::string Timed(const std::string& interpolator, const std::string& target,
                  const std::string& shape) {
    // Started just after the load: a single cycle started at 0 would have ended before it.
    return kFrontView + "DEF T TimeSensor { cycleInterval 2 startTime 0.001 } DEF I " +
           interpolator + " " + shape +
           " ROUTE T.fraction_changed TO I.set_fraction ROUTE I.value_changed TO " + target;
}
const std::string kGrow = Timed("PositionInterpolator { key [ 0 1 ] keyValue [ 1 1 1, 4 4 4 ] }",
                                "X.scale", "DEF X Transform { children " + kRed + " }");
const std::string kFade =
    Timed("ScalarInterpolator { key [ 0 1 ] keyValue [ 0 1 ] }", "M.transparency",
          "Shape { appearance Appearance { material DEF M Material { diffuseColor 0 0 0 "
          "emissiveColor 1 0 0 } } geometry IndexedFaceSet { coord Coordinate { point [ -1 -1 0, "
          "1 -1 0, 1 1 0, -1 1 0 ] } coordIndex [ 0 1 2 3 ] } } Transform { translation 0 0 -3 "
          "children " +
              Colored("0 1 0", "Box { size 8 8 0.1 }") + " }");
const std::string kMorph = Timed(
    "CoordinateInterpolator { key [ 0 1 ] keyValue [ -.2 -.2 0, .2 -.2 0, .2 .2 0, -.2 .2 0,"
    " -4 -3 0, 4 -3 0, 4 3 0, -4 3 0 ] }",
    "C.point",
    Colored("1 0 0",
            "IndexedFaceSet { coord DEF C Coordinate { point [ -.2 -.2 0, .2 -.2 0,"
            " .2 .2 0, -.2 .2 0 ] } coordIndex [ 0 1 2 3 ] solid FALSE }"));
const std::string kFlip = "DEF S1 Switch {} DEF S2 " + kSwitch +
                          "whichChoice 0 } ROUTE S1.whichChoice_changed TO S2.whichChoice";
const std::string kTwoPlaces =
    "Viewpoint { position 0 0 10 } DEF V2 Viewpoint { position 30 0 10 } " + kRed +
    " Transform { translation 30 0 0 children " + kGreen +
    " } DEF T TimeSensor { startTime 1 cycleInterval 5 } ROUTE T.isActive TO V2.set_bind";
const std::string kLightUp =
    "NavigationInfo { headlight FALSE } " + kFrontView + Lit("Box { size 6 6 0.1 }") +
    " DEF L DirectionalLight { on FALSE color 0 0 1 } DEF T TimeSensor { startTime 1 "
    "cycleInterval 5 } ROUTE T.isActive TO L.on";
constexpr Probe kLeftEdge{0.15f, 0.5f, Hue::Red}, kLeftEmpty{0.15f, 0.5f, Hue::Background};

INSTANTIATE_TEST_SUITE_P(
    Animation, ScenePictureTest,
    ::testing::Values(
        SceneCase{.name = "ScaleAtStart", .scene = kGrow, .probes = {kLeftEmpty}, .time = 0},
        SceneCase{.name = "ScaleAtEnd", .scene = kGrow, .probes = {kLeftEdge}, .time = 2.5},
        SceneCase{.name = "FadeAtStart", .scene = kFade, .red = 1, .time = 0},
        SceneCase{.name = "FadeHalfway",
                  .scene = kFade,
                  .probes = {{0.5f, 0.5f, Hue::Exact, 0, 128, 128, 0}},
                  .time = 1},
        SceneCase{.name = "FadedOut", .scene = kFade, .red = 0, .green = 1, .time = 2},
        SceneCase{.name = "MorphAtStart", .scene = kMorph, .probes = {kLeftEmpty}, .time = 0},
        SceneCase{.name = "MorphAtEnd", .scene = kMorph, .probes = {kLeftEdge}, .time = 2},
        SceneCase{.name = "SwitchBeforeTheEvent", .scene = kFlip, .red = 1, .green = 0, .blue = 0},
        SceneCase{.name = "SwitchFlippedByARoute",
                  .scene = kFlip,
                  .red = 0,
                  .green = 0,
                  .blue = 1,
                  .time = 0,
                  .emit = "S1.whichChoice",
                  .emitValue = 2},
        SceneCase{.name = "LightOffBeforeTheRoute",
                  .scene = kLightUp,
                  .probes = {kNothingAtCentre},
                  .time = 0.5},
        SceneCase{.name = "LightSwitchedOnByARoute", .scene = kLightUp, .blue = 1, .time = 2},
        SceneCase{
            .name = "FirstViewpointBound", .scene = kTwoPlaces, .red = 1, .green = 0, .time = 0.5},
        SceneCase{.name = "SecondViewpointBoundByARoute",
                  .scene = kTwoPlaces,
                  .red = 0,
                  .green = 1,
                  .time = 2}),
    [](const ::testing::TestParamInfo<SceneCase>& info) { return std::string(info.param.name); });

}  // namespace

// A click on an Anchor's children binds the viewpoint its "#Name" names: from 60 away
// the box that filled the view from 6 away shrinks to the middle.
const std::string kAnchored =
    "Viewpoint { position 0 0 6 } DEF FAR Viewpoint { position 0 0 60 }"
    "Anchor { url \"#FAR\" children " +
    kRed + " }";
constexpr Probe kRedAbove{0.5f, 0.3f, Hue::Red};
// A bar 6 wide drawn from the unit box: a click near its end, far outside the unit
// box, still finds it.
const std::string kAnchoredBar =
    "Viewpoint { position 0 0 6 } DEF FAR Viewpoint { position 0 0 60 }"
    "Anchor { url \"#FAR\" children " +
    Colored("1 0 0", "Box { size 6 2 .5 }") + " }";

INSTANTIATE_TEST_SUITE_P(
    Sensors, ScenePictureTest,
    ::testing::Values(
        SceneCase{.name = "AnchorNotClicked", .scene = kAnchored, .probes = {kRedAbove}},
        SceneCase{.name = "AnchorClicked",
                  .scene = kAnchored,
                  .probes = {{0.5f, 0.3f, kBg}, {0.5f, 0.5f, Hue::Red}},
                  .clicks = {{0.5f, 0.5f, 1.0f}}},
        SceneCase{.name = "ClickBesideTheAnchor",
                  .scene = kAnchored,
                  .probes = {kRedAbove},
                  .clicks = {{0.05f, 0.05f, 1.0f}}},
        SceneCase{.name = "ClickNearTheEndOfAStretchedBox",
                  .scene = kAnchoredBar,
                  .probes = {{0.5f, 0.5f, Hue::Red, 1}, {0.8f, 0.5f, kBg}},
                  .clicks = {{0.8f, 0.5f, 1.0f}}},
        SceneCase{.name = "StretchedBoxNotClicked",
                  .scene = kAnchoredBar,
                  .probes = {{0.8f, 0.5f, Hue::Red}}}),
    [](const ::testing::TestParamInfo<SceneCase>& info) { return std::string(info.param.name); });

// The example worlds of data/events, as a user tries them: clicked, then drawn
// later.
std::string EventsExample(const char* name) {
    std::ifstream in(fs::path(ORVANE_EVENTS_DIR) / name);
    std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    // The suite's loader adds the header line itself.
    return text.substr(text.find('\n') + 1);
}

INSTANTIATE_TEST_SUITE_P(
    Examples, ScenePictureTest,
    ::testing::Values(SceneCase{.name = "ClickToPlayNotClicked",
                                .scene = EventsExample("click_to_play.wrl"),
                                .probes = {{0.5f, 0.5f, Hue::Red}},
                                .time = 2.5},
                      SceneCase{.name = "ClickToPlayClicked",
                                .scene = EventsExample("click_to_play.wrl"),
                                .probes = {{0.5f, 0.5f, kBg}, {0.9f, 0.5f, Hue::Red}},
                                .clicks = {{0.5f, 0.5f, 0.5f}},
                                .time = 2.5},
                      // A Script turns the clock's fraction into the sphere's colour.
                      SceneCase{.name = "ScriptColourAtStart",
                                .scene = EventsExample("script_color.wrl"),
                                .probes = {{0.5f, 0.5f, Hue::Blue}},
                                .time = 0.1},
                      SceneCase{.name = "ScriptColourLater",
                                .scene = EventsExample("script_color.wrl"),
                                .probes = {{0.5f, 0.5f, Hue::Red}},
                                .time = 3.6},
                      SceneCase{.name = "FadeAndScaleAtStart",
                                .scene = EventsExample("fade_and_scale.wrl"),
                                .probes = {{0.35f, 0.5f, Hue::Green}, {0.55f, 0.5f, kBg}},
                                .time = 0},
                      SceneCase{.name = "FadeAndScaleHalfway",
                                .scene = EventsExample("fade_and_scale.wrl"),
                                .probes = {{0.35f, 0.5f, kBg}, {0.55f, 0.5f, Hue::Red}},
                                .time = 1}),
    [](const ::testing::TestParamInfo<SceneCase>& info) { return std::string(info.param.name); });

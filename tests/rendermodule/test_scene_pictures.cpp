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
void WriteQuadrants() {
    // 24-bit bitmap, rows bottom-up, each padded to 4 bytes, B G R.
    const std::uint8_t rows[2][8] = {{255, 0, 0, 255, 255, 255, 0, 0},
                                     {0, 0, 255, 0, 255, 0, 0, 0}};
    std::uint8_t header[54] = {'B', 'M', 70, 0, 0, 0, 0, 0, 0, 0, 54, 0, 0, 0,  40,
                               0,   0,   0,  2, 0, 0, 0, 2, 0, 0, 0,  1, 0, 24, 0};
    std::ofstream out(kQuadrants, std::ios::binary);
    out.write(reinterpret_cast<const char*>(header), sizeof header);
    out.write(reinterpret_cast<const char*>(rows), sizeof rows);
}
// The picture's own colours: emissive white over a black diffuse colour.
std::string Textured(const std::string& geometry) {
    return "Shape { appearance Appearance { material Material { diffuseColor 0 0 0 "
           "emissiveColor 1 1 1 } texture ImageTexture { url \"" +
           kQuadrants + "\" } } geometry " + geometry + " }";
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
std::string Box(const std::string& size, const std::string& at = "0 0 0") {
    return "Transform { translation " + at + " children " + Lit("Box { size " + size + " }") + " }";
}

// A flat Group of `count` tiny boxes far behind the camera, then one red box in view.
std::string ManyChildren(int count) {
    std::string text = "Group { children [";
    for (int i = 0; i + 1 < count; ++i)
        text +=
            " Transform { translation 0 0 50 children Shape { geometry Box { size .1 .1 .1 } } }";
    return text + " " + kRed + " ] }";
}

// What a pixel shows: the black background, a pure hue, white, or anything drawn.
enum class Hue { Background, Red, Green, Blue, White, Lit };

// A place in the picture (fractions of its width and height from the top left) and
// the hue it must show.
struct Probe {
    float x, y;
    Hue hue;
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
        const std::uint8_t* p =
            At(static_cast<int>(probe.x * width), static_cast<int>(probe.y * height));
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
    // Every message raised counts, so that a node reporting twice shows.
    const MessageRepeat rule = SetMessageRepeat(MessageRepeat::kEveryTime);
    Picture p = Draw(c.scene);
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
    for (const Probe& probe : c.probes)
        EXPECT_TRUE(p.Shows(probe))
            << "hue " << static_cast<int>(probe.hue) << " at " << probe.x << ", " << probe.y;
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
        SceneCase{.name = "ConeNegativeHeight",
                  .scene = Lit("Cone { height -2 }"),
                  .probes = {kCentre},
                  .message = "Cone: a zero or negative size"}),
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

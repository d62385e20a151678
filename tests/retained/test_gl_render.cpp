// Headless OpenGL rendering through EGL: pixel colours of small scenes. Skips itself
// when no EGL context can be made; on a machine with Mesa it runs on llvmpipe.
#include <gtest/gtest.h>

#include <png.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <optional>
#include <thread>

#include "retained/gl/gpu_memory.h"
#include "retained/gl/headless_renderer.h"
#include "retained/gl/png_writer.h"
#include "retained/gl/unit_mesh.h"
#include "retained/lighting.h"
#include "test_util.h"

namespace {

using Rgb = glm::ivec3;

class GLRenderTest : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        renderer_ = rm::gl::HeadlessRenderer::Create(&error_).release();
    }
    static void TearDownTestSuite() {
        delete renderer_;
        renderer_ = nullptr;
    }
    void SetUp() override {
        if (!renderer_) GTEST_SKIP() << "no OpenGL 3.3 context through EGL: " << error_;
    }
    // Renders the scene and keeps the pixels.
    void Draw(rmtest::Scene& s) {
        width_ = s.device->GetWidth();
        std::string err;
        pixels_ = renderer_->Render(*s.Frame(), &err);
        ASSERT_FALSE(pixels_.empty()) << err;
    }
    Rgb At(int x, int y) const {
        const std::uint8_t* p = &pixels_[(static_cast<std::size_t>(y) * width_ + x) * 4];
        return {p[0], p[1], p[2]};
    }
    static Rgb Bytes(glm::vec3 c) { return Rgb(glm::round(c * 255.0f)); }
    static void ExpectNear(Rgb expected, Rgb actual, int tol = 2) {
        for (int i = 0; i < 3; ++i)
            EXPECT_NEAR(expected[i], actual[i], tol) << "channel " << i << " of (" << actual.r
                                                     << ", " << actual.g << ", " << actual.b << ")";
    }

    static rm::gl::HeadlessRenderer* renderer_;
    static std::string error_;
    std::vector<std::uint8_t> pixels_;
    int width_ = 0;
};
rm::gl::HeadlessRenderer* GLRenderTest::renderer_ = nullptr;
std::string GLRenderTest::error_;

TEST_F(GLRenderTest, LitRedBoxInFrontOfTheCamera) {
    rmtest::Scene s;
    s.scene->SetSceneBackgroundRGB(0.2f, 0.4f, 0.6f);
    s.AddLight(s.camera.Get(), rm::LightType::Point, glm::vec3(1));
    auto box = s.AddVisual();
    rmtest::AddBox(box.Get(), 1.0f);
    box->SetColorRGB(1, 0, 0);
    Draw(s);
    const Rgb centre = At(32, 32);
    EXPECT_GT(centre.r, 240);
    EXPECT_LT(centre.g, 5);
    EXPECT_LT(centre.b, 5);
    for (auto [x, y] : {std::pair{0, 0}, {63, 0}, {0, 63}, {63, 63}})
        ExpectNear(Bytes({0.2f, 0.4f, 0.6f}), At(x, y));
}

// The default camera looks down -z with +y up: +x lands right, +y up in the picture.
TEST_F(GLRenderTest, BoxesRightOfAndAboveTheAxisShowThere) {
    for (glm::vec3 where : {glm::vec3(2, 0, 0), glm::vec3(0, 2, 0)}) {
        rmtest::Scene s;
        auto frame = s.AddFrame();
        frame->AddTranslation(rm::Combine::Replace, where.x, where.y, where.z);
        auto box = s.AddVisual(frame.Get());
        rmtest::AddBox(box.Get(), 0.5f);
        box->SetColorRGB(1, 0, 0);
        box->SetQuality(rm::kShadeFlat | rm::kFillSolid);  // unlit: the colour as set
        Draw(s);
        int red = 0, onTheSide = 0;
        for (int y = 0; y < 64; ++y)
            for (int x = 0; x < 64; ++x)
                if (At(x, y) == Rgb(255, 0, 0)) {
                    ++red;
                    onTheSide += where.x > 0 ? x > 32 : y < 32;
                }
        EXPECT_GT(red, 20);
        EXPECT_EQ(onTheSide, red);
    }
}

TEST_F(GLRenderTest, WireframeDrawsEdgesOnly) {
    rmtest::Scene s;
    auto box = s.AddVisual();
    rmtest::AddBox(box.Get(), 1.0f);
    box->SetColorRGB(1, 1, 0);
    box->SetQuality(rm::kRenderWireframe);
    Draw(s);
    ExpectNear({0, 0, 0}, At(32, 32));  // inside a face: no fill, no diagonal
    int lit = 0;
    for (std::size_t i = 0; i < pixels_.size(); i += 4)
        lit += pixels_[i] > 200 && pixels_[i + 1] > 200;
    EXPECT_GT(lit, 20);  // the square's outline, unlit yellow
    const std::vector<std::uint8_t> wire = pixels_;

    // A wireframe device turns a solid mesh into the same picture.
    box->SetQuality(rm::kRenderGouraud);
    s.device->SetQuality(rm::kRenderWireframe);
    Draw(s);
    EXPECT_EQ(wire, pixels_);
    s.device->SetQuality(rm::kRenderGouraud);
    Draw(s);
    EXPECT_NE(wire, pixels_);
}

TEST_F(GLRenderTest, DirectionalLightFromBehindLeavesOnlyEmissive) {
    rmtest::Scene s;
    auto quad = s.AddVisual();
    rmtest::AddQuad(quad.Get(), 2.0f);
    s.SetMaterial(quad.Get(), 5.0f, glm::vec3(1), {0, 0, 0.5f});
    auto lightFrame = s.AddFrame();
    lightFrame->SetOrientation(s.scene.Get(), {0, 0, 1}, {0, 1, 0});  // shines towards +z
    s.AddLight(lightFrame.Get(), rm::LightType::Directional, glm::vec3(1));
    Draw(s);
    ExpectNear(Bytes({0, 0, 0.5f}), At(32, 32));
    // Turned to shine from the camera's side, the same light whitens the face.
    lightFrame->SetOrientation(s.scene.Get(), {0, 0, -1}, {0, 1, 0});
    Draw(s);
    ExpectNear({255, 255, 255}, At(32, 32));
}

TEST_F(GLRenderTest, BackOfAFaceIsLitWithTheReversedNormal) {
    rmtest::Scene s;
    s.AddLight(s.camera.Get(), rm::LightType::Point, glm::vec3(1));
    auto turned = s.AddFrame();
    auto quad = s.AddVisual(turned.Get());
    rmtest::AddQuad(quad.Get(), 2.0f);
    quad->SetColorRGB(0, 1, 0);
    Draw(s);
    const Rgb front = At(32, 32);
    EXPECT_GT(front.g, 240);
    turned->AddRotation(rm::Combine::Replace, 0, 1, 0, 3.14159265f);  // front now faces −z
    Draw(s);
    ExpectNear(front, At(32, 32));
}

TEST_F(GLRenderTest, TextureColoursAppear) {
    rmtest::Scene s;
    // 4 × 4 texels in 2 × 2 blocks: red, green over blue, white.
    std::vector<std::uint8_t> px(4 * 4 * 4);
    for (int y = 0; y < 4; ++y)
        for (int x = 0; x < 4; ++x) {
            const int block = (y / 2) * 2 + x / 2;
            const std::uint8_t c[4][4] = {
                {255, 0, 0, 255}, {0, 255, 0, 255}, {0, 0, 255, 255}, {255, 255, 255, 255}};
            std::memcpy(&px[static_cast<std::size_t>(y * 4 + x) * 4], c[block], 4);
        }
    rm::Ptr<rm::Texture> tex;
    ASSERT_EQ(rm::kOk, s.rm->CreateTexture({4, 4, rm::PixelFormat::RGBA8, px}, tex.Put()));
    auto quad = s.AddVisual();
    rmtest::AddQuad(quad.Get(), 2.0f);  // (0, 0) at its top-left corner
    quad->SetTexture(tex.Get());
    quad->SetQuality(rm::kShadeGouraud | rm::kFillSolid);  // unlit: texel × white
    Draw(s);
    // The quad spans ±12.8 pixels around the centre.
    ExpectNear({255, 0, 0}, At(26, 26), 3);
    ExpectNear({0, 255, 0}, At(38, 26), 3);
    ExpectNear({0, 0, 255}, At(26, 38), 3);
    ExpectNear({255, 255, 255}, At(38, 38), 3);
}

TEST_F(GLRenderTest, FlatAndGouraudFollowTheFormula) {
    rmtest::Scene s;
    // A point light just in front of the quad's lower-left part makes the shading vary.
    auto lamp = s.AddFrame();
    lamp->SetPosition(s.scene.Get(), -1.0f, -1.0f, 1.0f);
    auto light = s.AddLight(lamp.Get(), rm::LightType::Point, glm::vec3(0.9f, 0.8f, 0.7f));
    auto quad = s.AddVisual();
    rmtest::AddQuad(quad.Get(), 2.0f);
    s.SetMaterial(quad.Get(), 4.0f, {0.6f, 0.5f, 0.4f}, {0.05f, 0.0f, 0.1f})
        ->SetSpecular(0.2f, 0.2f, 0.2f);
    quad->SetQuality(rm::kRenderFlat);
    Draw(s);
    // Flat: one colour for the face, the formula at its centre with its normal.
    rm::MaterialSnapshot m;
    m.emissive = {0.05f, 0.0f, 0.1f};
    m.specular = glm::vec3(0.2f);
    m.power = 4.0f;
    rm::LightSnapshot ls{rm::LightType::Point, {0.9f, 0.8f, 0.7f}, {-1, -1, 1}, {0, 0, -1}};
    const glm::vec3 expected = rm::ShadePoint(m, {0.6f, 0.5f, 0.4f}, std::span(&ls, 1),
                                              glm::vec3(0), {0, 0, 1}, {0, 0, 10});
    ExpectNear(Bytes(expected), At(32, 32));
    ExpectNear(At(32, 32), At(22, 40), 0);
    ExpectNear(At(32, 32), At(42, 22), 0);

    quad->SetQuality(rm::kRenderGouraud);
    Draw(s);
    const Rgb nearLamp = At(21, 43), farFromLamp = At(43, 21);
    EXPECT_GT(nearLamp.r, farFromLamp.r + 20);  // per-vertex colours vary over the face
}

TEST_F(GLRenderTest, NonConvexFaceFillsOnlyItsShape) {
    rmtest::Scene s;
    s.scene->SetSceneBackgroundRGB(0, 0, 1);
    auto mb = s.AddVisual();
    const glm::vec3 v[6] = {{-3, -3, 0}, {3, -3, 0}, {3, 0, 0}, {0, 0, 0}, {0, 3, 0}, {-3, 3, 0}};
    const std::uint32_t f[] = {6, 0, 1, 2, 3, 4, 5, 0};
    ASSERT_EQ(rm::kOk, mb->AddFaces(v, {}, f));
    mb->SetColorRGB(1, 0, 0);
    mb->SetQuality(rm::kShadeFlat | rm::kFillSolid);
    Draw(s);
    // World (x, y) on z = 0 lands at pixel (32 + 6.4x, 32 − 6.4y).
    ExpectNear({255, 0, 0}, At(22, 22));  // upper-left arm
    ExpectNear({255, 0, 0}, At(42, 42));  // lower-right arm
    ExpectNear({0, 0, 255}, At(42, 22));  // the notch stays background
}

TEST_F(GLRenderTest, MeshesAreUploadedAgainOnlyWhenTheyChange) {
    rmtest::Scene s;
    auto box = s.AddVisual();
    rmtest::AddBox(box.Get(), 1.0f);
    const auto before = renderer_->Renderer().GetStats().meshUploads;
    Draw(s);
    Draw(s);
    EXPECT_EQ(before + 1, renderer_->Renderer().GetStats().meshUploads);
    s.SetMaterial(box.Get(), 1.0f, {0, 1, 0});  // recolouring through a material needs no upload
    Draw(s);
    EXPECT_EQ(before + 1, renderer_->Renderer().GetStats().meshUploads);
    ExpectNear({0, 0, 0}, At(32, 32));  // no light: a black box on black
    box->SetColorRGB(1, 0, 0);
    box->SetQuality(rm::kShadeFlat | rm::kFillSolid);
    box->SetMaterial(nullptr);
    Draw(s);
    EXPECT_EQ(before + 2, renderer_->Renderer().GetStats().meshUploads);
    ExpectNear({255, 0, 0}, At(32, 32));

    // A mesh that is no longer drawn leaves the GPU after kEvictAfterFrames frames (and so
    // does every mesh of earlier tests: this scene now draws nothing).
    s.scene->DeleteVisual(box.Get());
    for (std::uint64_t i = 0; i < rm::gl::GLRenderer::kEvictAfterFrames; ++i) Draw(s);
    EXPECT_GE(renderer_->Renderer().GetStats().cachedMeshes, 1u);
    Draw(s);
    EXPECT_EQ(0u, renderer_->Renderer().GetStats().cachedMeshes);
}

TEST_F(GLRenderTest, InfinitePowerGivesCleanPixels) {
    rmtest::Scene s;
    s.AddLight(s.camera.Get(), rm::LightType::Point, glm::vec3(1));
    auto quad = s.AddVisual();
    rmtest::AddQuad(quad.Get(), 2.0f);
    s.SetMaterial(quad.Get(), 1.0f / 0.0f, {0.5f, 0, 0})->SetSpecular(1, 1, 1);  // shininess 0
    Draw(s);
    // Off the exact highlight only the diffuse term shows: no NaN black, no white blow-out.
    const glm::vec3 p(1.0f, 1.0f, 0.0f);
    const float nl = glm::normalize(glm::vec3(0, 0, 10) - p).z;
    ExpectNear(Bytes({0.5f * nl, 0, 0}), At(38, 26), 3);
}

TEST_F(GLRenderTest, DrawsSnapshotsWhileAnotherThreadChangesTheScene) {
    rmtest::Scene s;
    auto spin = s.AddFrame();
    auto quad = s.AddVisual(spin.Get());
    rmtest::AddQuad(quad.Get(), 2.0f);
    quad->SetQuality(rm::kShadeFlat | rm::kFillSolid);  // unlit: the colour as set
    std::atomic<bool> done{false};
    // The render thread: every step recolours the mesh (a new mesh version) and renders,
    // under the scene lock, as the animation does.
    std::thread animator([&] {
        for (int i = 0; i < 200; ++i) {
            std::lock_guard lock(s.sceneLock);
            spin->AddRotation(rm::Combine::Replace, 0, 0, 1, 0.01f * static_cast<float>(i));
            quad->SetColorRGB(i % 2 ? 0.0f : 1.0f, i % 2 ? 1.0f : 0.0f, 0.0f);
            s.viewport->Clear();
            s.viewport->Render(s.scene.Get());
            s.device->Update();
        }
        done = true;
    });
    // This thread owns the context and draws whatever was published last, with no lock.
    int drawn = 0;
    while (!done || drawn == 0) {
        auto frame = s.device->LatestFrame();
        if (!frame) continue;
        pixels_ = renderer_->Render(*frame);
        width_ = frame->width;
        const Rgb c = At(32, 32);
        const bool red = c == Rgb(255, 0, 0), green = c == Rgb(0, 255, 0);
        ASSERT_TRUE(red || green) << c.r << ", " << c.g << ", " << c.b;
        ++drawn;
    }
    animator.join();
    pixels_ = renderer_->Render(*s.device->LatestFrame());
    ExpectNear({0, 255, 0}, At(32, 32), 0);  // step 199 set green
}

// Boxes of one shape share one copy on the GPU and one draw call per shading, yet each
// keeps its place, size, turn and material: the same data in separate meshbuilders, a
// smaller box, one meshbuilder on two frames, an unlit one.
TEST_F(GLRenderTest, VisualsSharingAMeshKeepTheirPlacesAndMaterials) {
    std::string err;
    auto own = rm::gl::HeadlessRenderer::Create(&err);  // counts of this test only
    ASSERT_TRUE(own) << err;
    rmtest::Scene s(160, 64);  // 16 pixels a unit at z = 0, centre (80, 32)
    s.AddLight(s.scene.Get(), rm::LightType::Directional, glm::vec3(1));  // along −z
    struct Case {
        float x, half, turn;
        glm::vec3 reflectance, emissive;
        rm::Quality quality;
        bool firstMesh;   // the first case's meshbuilder again
        float rowExtent;  // half the front's width along the row in units (0: sides show too)
        Rgb expected;
    } cases[] = {
        {-4, 0.5f, 0, {1, 0, 0}, {}, rm::kRenderGouraud, false, 0.5f, {255, 0, 0}},
        {-2, 0.5f, 0, {0, 1, 0}, {0, 0, 0.5f}, rm::kRenderGouraud, false, 0.5f, {0, 255, 128}},
        {0, 0.25f, 0, {0, 0, 1}, {}, rm::kRenderGouraud, false, 0.25f, {0, 0, 255}},
        {2, 0.5f, 0.7853982f, {}, {}, rm::kRenderGouraud, true, 0.7071068f, {255, 0, 0}},
        {4, 0.5f, 0, {1, 1, 0}, {}, rm::kShadeFlat | rm::kFillSolid, false, 0, {255, 255, 0}},
    };
    rm::Ptr<rm::MeshBuilder> first;
    for (const Case& c : cases) {
        auto frame = s.AddFrame();
        frame->AddTranslation(rm::Combine::Replace, c.x, 0, 0);
        frame->AddRotation(rm::Combine::Before, 0, 0, 1, c.turn);
        if (c.firstMesh) {
            frame->AddVisual(first.Get());
            continue;
        }
        auto mb = s.AddVisual(frame.Get());
        rmtest::AddBox(mb.Get(), c.half);
        s.SetMaterial(mb.Get(), 1.0f, c.reflectance, c.emissive);
        mb->SetQuality(c.quality);
        if (!first) first = mb;
    }
    pixels_ = own->Render(*s.Frame(), &err);
    width_ = 160;
    ASSERT_FALSE(pixels_.empty()) << err;
    for (const Case& c : cases) {
        const int centre = 80 + static_cast<int>(16 * c.x);
        ExpectNear(c.expected, At(centre, 32));
        if (c.rowExtent == 0) continue;
        // The front face, at z = half: 16 pixels a unit at z = 0, more nearer the camera.
        int front = 0;
        for (int x = centre - 15; x <= centre + 15; ++x)
            front += glm::all(glm::lessThanEqual(glm::abs(At(x, 32) - c.expected), Rgb(2)));
        EXPECT_NEAR(2 * c.rowExtent * 160 / (10 - c.half), front, 1.5) << "box at x " << c.x;
    }
    const auto stats = own->Renderer().GetStats();
    EXPECT_EQ(1u, stats.storedMeshes);
    EXPECT_EQ(1u, stats.meshUploads);
    EXPECT_EQ(2u, stats.drawCalls);  // the lit boxes, the unlit one
}

// A mesh with coarser versions is drawn from the one for its size on screen: here the
// versions differ in colour, so the picture shows which one was chosen. A change of the
// mesh drops its versions.
TEST_F(GLRenderTest, SmallOnScreenDrawsTheCoarserVersionForItsSize) {
    rmtest::Scene s;
    auto frame = s.AddFrame();
    auto box = s.AddVisual(frame.Get());
    rmtest::AddBox(box.Get(), 1.0f);
    box->SetColorRGB(1, 0, 0);
    box->SetQuality(rm::kShadeFlat | rm::kFillSolid);
    rm::Ptr<rm::MeshBuilder> green, blue;
    ASSERT_TRUE(rm::Succeeded(s.rm->CreateMeshBuilder(green.Put())));
    ASSERT_TRUE(rm::Succeeded(s.rm->CreateMeshBuilder(blue.Put())));
    rmtest::AddBox(green.Get(), 1.0f);
    green->SetColorRGB(0, 1, 0);
    rmtest::AddBox(blue.Get(), 1.0f);
    blue->SetColorRGB(0, 0, 1);
    EXPECT_EQ(rm::kInvalidArg, box->AddCoarser(0.0f, *green));
    EXPECT_EQ(rm::kInvalidArg, box->AddCoarser(10.0f, *box));
    ASSERT_TRUE(rm::Succeeded(box->AddCoarser(8.0f, *blue)));  // kept largest first
    ASSERT_TRUE(rm::Succeeded(box->AddCoarser(24.0f, *green)));
    // Pixels across the box's bounding sphere, from the covered pixels of its middle row.
    auto across = [&] {
        int covered = 0;
        for (int x = 0; x < 64; ++x) covered += At(x, 32) != Rgb(0, 0, 0);
        return covered * std::sqrt(3.0f);
    };
    const struct {
        float scale;
        Rgb colour;
    } sizes[] = {{2.0f, {255, 0, 0}}, {0.6f, {0, 255, 0}}, {0.1f, {0, 0, 255}}};
    for (const auto& size : sizes) {
        frame->AddScale(rm::Combine::Replace, size.scale, size.scale, size.scale);
        Draw(s);
        SCOPED_TRACE(size.scale);
        EXPECT_EQ(size.colour, At(32, 32)) << "about " << across() << " pixels across";
    }
    box->SetColorRGB(1, 1, 0);  // the versions showed the red box
    Draw(s);
    EXPECT_EQ(Rgb(255, 255, 0), At(32, 32));
}

TEST_F(GLRenderTest, AFrameOverTheMemoryLimitFailsWithAMessage) {
    std::string err;
    auto own = rm::gl::HeadlessRenderer::Create(&err);
    ASSERT_TRUE(own) << err;
    rm::gl::GLRenderer& r = own->Renderer();
    rmtest::Scene s;
    auto box = s.AddVisual();
    rmtest::AddBox(box.Get(), 1.0f);
    box->SetColorRGB(1, 0, 0);
    box->SetQuality(rm::kShadeFlat | rm::kFillSolid);
    constexpr std::size_t kSmall = 64 << 10;  // less than the first arena
    r.SetMemoryLimit(kSmall);
    EXPECT_TRUE(own->Render(*s.Frame(), &err).empty());
    EXPECT_NE(std::string::npos, err.find("not enough graphics memory")) << err;
    EXPECT_LE(r.GetStats().memoryBytes, kSmall);
    // Given room, the same renderer draws the scene.
    r.SetMemoryLimit(std::size_t{64} << 20);
    pixels_ = own->Render(*s.Frame(), &err);
    width_ = 64;
    ASSERT_FALSE(pixels_.empty()) << err;
    ExpectNear({255, 0, 0}, At(32, 32), 0);
}

TEST(GpuMemory, RangesAreTakenBestFitAndMergedWhenFreed) {
    rm::gl::RangeAllocator a(100);
    EXPECT_EQ(0u, a.Allocate(30));
    EXPECT_EQ(30u, a.Allocate(30));
    EXPECT_EQ(60u, a.Allocate(30));
    EXPECT_FALSE(a.Allocate(11));  // 10 left
    a.Free(30, 30);
    EXPECT_EQ(90u, a.Allocate(10));  // the tight end, not the hole of 30
    EXPECT_EQ(30u, a.Allocate(20));
    EXPECT_EQ(90u, a.Used());
    for (auto [offset, count] : {std::pair{0u, 30u}, {90u, 10u}, {30u, 20u}, {60u, 30u}})
        a.Free(offset, count);
    EXPECT_EQ(0u, a.Used());
    EXPECT_EQ(0u, a.Allocate(100));  // every piece merged back into one range
}

TEST(GpuMemory, LimitComesFromMemAvailableOrTheEnvironment) {
    const std::pair<const char*, std::optional<std::uint64_t>> meminfo[] = {
        {"MemTotal:  8000 kB\nMemFree: 10 kB\nMemAvailable:    2048 kB\n", 2048u * 1024},
        {"MemAvailable: 7 kB", 7u * 1024},
        {"MemTotal: 8000 kB\n", std::nullopt},
        {"MemAvailable: many kB\n", std::nullopt},
        {"MemAvailable: 12\n", std::nullopt},
        {"XMemAvailable: 5 kB\n", std::nullopt},
    };
    for (const auto& [text, bytes] : meminfo)
        EXPECT_EQ(bytes, rm::gl::MemAvailableBytes(text)) << text;
    setenv("ORVANE_GPU_MEMORY_MIB", "3", 1);
    EXPECT_EQ(std::size_t{3} << 20, rm::gl::DefaultMemoryLimit());
    setenv("ORVANE_GPU_MEMORY_MIB", "3x", 1);  // not a number: the machine's memory decides
    EXPECT_NE(std::size_t{3} << 20, rm::gl::DefaultMemoryLimit());
    unsetenv("ORVANE_GPU_MEMORY_MIB");
}

// The unit form of a box built at another size, place or stretch: shared only while the
// stretch keeps to kMaxStretch and the shape is the same.
TEST(UnitMesh, BoxesOfOneShapeMatchAtAnySizeAndPlace) {
    struct Form {
        rm::gl::Placement placement;
        std::vector<rm::PackedDrawVertex> vertices;
        std::vector<std::uint32_t> indices;
        std::uint32_t triangles;
        std::shared_ptr<const rm::MeshData> data;
        rm::gl::UnitMeshView View() const { return {vertices, indices, triangles}; }
    };
    rm::Ptr<rm::RetainedMode> rm;
    ASSERT_EQ(rm::kOk, rm::RetainedMode::Create(rm.Put()));
    auto unitBox = [&](glm::vec3 scale, glm::vec3 move, bool dent) {
        rm::Ptr<rm::MeshBuilder> mb;
        rm->CreateMeshBuilder(mb.Put());
        rmtest::AddBox(mb.Get(), 0.5f);
        mb->Scale(scale.x, scale.y, scale.z);
        mb->Translate(move.x, move.y, move.z);
        if (dent) mb->SetVertex(0, glm::vec3(-0.499f, -0.5f, -0.5f) * scale + move);
        rm::DrawMesh dm = rm::BuildDrawMesh(*mb->Data());
        Form f;
        f.data = mb->Data();
        f.placement = rm::gl::UnitPlacement(dm.vertices);
        rm::gl::ToUnit(f.placement, dm.vertices);
        for (const rm::DrawVertex& v : dm.vertices) f.vertices.emplace_back(v);
        f.indices = dm.triangles;
        f.triangles = static_cast<std::uint32_t>(dm.triangles.size());
        f.indices.insert(f.indices.end(), dm.edges.begin(), dm.edges.end());
        return f;
    };
    const Form cube = unitBox(glm::vec3(1), glm::vec3(0), false);
    EXPECT_EQ(glm::vec3(1), cube.placement.scale);
    const struct {
        glm::vec3 scale, move;
        bool dent, same, similar;
        glm::vec3 placementScale;
    } cases[] = {
        {glm::vec3(3.7f), {5, -2, 1}, false, true, true, glm::vec3(3.7f)},
        {{0.4f, 1.2f, 0.9f}, {0, 0, 0}, false, true, true, {0.4f, 1.2f, 0.9f}},  // stretch 3
        // Stretch 6: its unit form is scaled alike on every axis and differs; its data
        // is still the cube's scaled (the renderer does not share it, see FromSimilar).
        {{1, 1, 6}, {0, 0, 0}, false, false, true, glm::vec3(6)},
        {glm::vec3(2), {0, 0, 0}, true, false, false, glm::vec3(2)},
    };
    for (const auto& c : cases) {
        const Form f = unitBox(c.scale, c.move, c.dent);
        for (int k = 0; k < 3; ++k) {
            EXPECT_FLOAT_EQ(c.placementScale[k], f.placement.scale[k]);
            EXPECT_NEAR(c.move[k], f.placement.offset[k], 1e-5f);
        }
        EXPECT_EQ(c.same, rm::gl::SameShape(cube.View(), f.View())) << c.scale.z;
        // Without a draw mesh: the cube's data scaled is found similar.
        rm::gl::Placement cubeToF;
        const bool similar = rm::gl::SimilarSource(*cube.data, *f.data, &cubeToF);
        EXPECT_EQ(c.similar, similar) << c.scale.z;
        if (similar && c.same) {
            EXPECT_EQ(rm::gl::SourceHash(*cube.data), rm::gl::SourceHash(*f.data));
            const rm::gl::Placement p = rm::gl::Compose(cubeToF, cube.placement);
            for (int k = 0; k < 3; ++k) {
                EXPECT_NEAR(f.placement.offset[k], p.offset[k], 1e-5f);
                EXPECT_NEAR(f.placement.scale[k], p.scale[k], 1e-5f);
            }
        }
        if (c.same) {
            EXPECT_EQ(rm::gl::ShapeHash(cube.View()), rm::gl::ShapeHash(f.View()));
        }
    }
}

// A face whose given normal leans far from it: under a strong enough scale of one axis
// the normal turns past the face's plane, so the face would be turned round and the
// scaled data must be built on its own.
TEST(UnitMesh, DataScaledPerAxisIsSimilarOnlyWhileItsFacesTurnAlike) {
    rm::Ptr<rm::RetainedMode> rm;
    ASSERT_EQ(rm::kOk, rm::RetainedMode::Create(rm.Put()));
    auto triangle = [&](glm::vec3 scale) {
        const glm::vec3 v[3] = {glm::vec3(1, 0, 0) * scale, glm::vec3(0, 1, 0) * scale,
                                glm::vec3(0, 0, 1) * scale};
        const glm::vec3 n[1] = {glm::normalize(glm::vec3(1, 1, -1.9f) / scale)};
        const std::uint32_t f[] = {3, 0, 0, 1, 0, 2, 0, 0};
        rm::Ptr<rm::MeshBuilder> mb;
        rm->CreateMeshBuilder(mb.Put());
        mb->AddFaces(v, n, f);
        return mb->Data();
    };
    const auto a = triangle(glm::vec3(1));
    for (auto [z, similar] : {std::pair{0.99f, true}, {0.25f, false}}) {
        rm::gl::Placement aToB;
        EXPECT_EQ(similar, rm::gl::SimilarSource(*a, *triangle({1, 1, z}), &aToB)) << z;
        if (similar) {
            EXPECT_FLOAT_EQ(z, aToB.scale.z);
        }
    }
}

// Two quads of one shape that differ only in their corner colours or texture
// coordinates are different meshes: sharing one would draw both in the first's.
TEST(UnitMesh, CornerColoursAndTextureCoordinatesKeepMeshesApart) {
    rm::Ptr<rm::RetainedMode> rm;
    ASSERT_EQ(rm::kOk, rm::RetainedMode::Create(rm.Put()));
    auto quad = [&](glm::vec3 colour, float s) {
        rm::PolygonMesh m;
        m.vertices = {{0, 0, 0}, {1, 0, 0}, {1, 1, 0}, {0, 1, 0}};
        m.polygonSizes = {4};
        m.cornerVertex = {0, 1, 2, 3};
        m.cornerNormal.assign(4, rm::kNoNormal);
        m.cornerColor.assign(4, colour);
        m.cornerTexCoord = {{0, 0}, {s, 0}, {s, 1}, {0, 1}};
        rm::Ptr<rm::MeshBuilder> mb;
        rm->CreateMeshBuilder(mb.Put());
        EXPECT_EQ(rm::kOk, mb->AddPolygons(std::move(m)));
        return mb->Data();
    };
    const auto red = quad({1, 0, 0}, 1);
    rm::gl::Placement p;
    EXPECT_TRUE(rm::gl::SimilarSource(*red, *quad({1, 0, 0}, 1), &p));
    EXPECT_FALSE(rm::gl::SimilarSource(*red, *quad({0, 0, 1}, 1), &p));
    EXPECT_NE(rm::gl::SourceHash(*red), rm::gl::SourceHash(*quad({0, 0, 1}, 1)));
    EXPECT_FALSE(rm::gl::SimilarSource(*red, *quad({1, 0, 0}, 2), &p));
}

TEST_F(GLRenderTest, WritesAndReadsBackAPng) {
    rmtest::Scene s(16, 8);
    s.scene->SetSceneBackgroundRGB(1, 0.5f, 0);
    Draw(s);
    const auto path =
        (std::filesystem::temp_directory_path() / "orvane_retained_test.png").string();
    std::string err;
    ASSERT_TRUE(rm::gl::WritePng(path, 16, 8, pixels_, &err)) << err;
    png_image img;
    std::memset(&img, 0, sizeof img);
    img.version = PNG_IMAGE_VERSION;
    ASSERT_TRUE(png_image_begin_read_from_file(&img, path.c_str()));
    img.format = PNG_FORMAT_RGBA;
    std::vector<std::uint8_t> back(PNG_IMAGE_SIZE(img));
    ASSERT_TRUE(png_image_finish_read(&img, nullptr, back.data(), 0, nullptr));
    EXPECT_EQ(16u, img.width);
    EXPECT_EQ(pixels_, back);
    std::remove(path.c_str());

    EXPECT_FALSE(rm::gl::WritePng(path, 17, 8, pixels_, &err));
    EXPECT_FALSE(rm::gl::WritePng("/nonexistent-dir/x.png", 16, 8, pixels_, &err));
    EXPECT_FALSE(err.empty());
}

}  // namespace

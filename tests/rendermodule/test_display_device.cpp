// The display device and the texture maker: set-up messages, minimised
// windows, frame publication, FPS text and picture-to-texture sizes.
#include <cstdio>
#include <fstream>

#include "rendermodule/render_ddraw.h"
#include "rendermodule/texture_maker.h"
#include "scene_fixture.h"
#include "trace/debug_trace.h"

namespace {

std::vector<std::string> g_traces;
void Record(const char* text, std::size_t n) {
    g_traces.emplace_back(text, n);
}

TEST(CRenderer, SetsUpTheFixedFramesCameraAndHeadLight) {
    FakeWindow window(120, 80);
    CRenderer renderer;
    renderer.Init(&window);
    CD3DObj& d3d = renderer.GetD3DObj();
    ASSERT_TRUE(d3d.IsInitialised());
    ASSERT_NE(d3d.GetViewport(), nullptr);
    EXPECT_EQ(d3d.GetDevice()->GetWidth(), 120);
    EXPECT_EQ(d3d.GetDevice()->GetQuality(), 137u);
    EXPECT_EQ(d3d.GetViewport()->GetBack(), 5000.0f);
    EXPECT_EQ(d3d.GetViewport()->GetField(), 0.6f);
    EXPECT_EQ(d3d.GetCamera()->GetPosition(d3d.GetScene()), glm::vec3(0, 0, 10));
    ASSERT_EQ(d3d.GetCamera()->Lights().size(), 1u);
    EXPECT_EQ(d3d.GetCamera()->Lights()[0]->GetType(), rm::LightType::Point);
    EXPECT_EQ(d3d.GetWorld()->GetParent(), d3d.GetScene());
    renderer.RenderFrame();
    EXPECT_GE(window.frames, 1);
    EXPECT_EQ(renderer.GetDDrawObj().GetClientRect().Width(), 120);
    renderer.Release();
}

TEST(CRenderer, MinimisedWindowHasNoDeviceAndTracesNoViewport) {
    FakeWindow window(0, 0);
    CRenderer renderer;
    renderer.Init(&window);
    EXPECT_EQ(renderer.GetD3DObj().GetDevice(), nullptr);
    EXPECT_FALSE(renderer.GetDDrawObj().HasBackBuffer());
    g_traces.clear();
    SetDebugTraceSink(Record);
    renderer.RenderFrame();
    SetDebugTraceSink(nullptr);
    EXPECT_EQ(g_traces, std::vector<std::string>{"no viewport!!"});
    // Restored: the next size change brings the device back.
    window.Resize(64, 64);
    renderer.OnSize(&window);
    EXPECT_NE(renderer.GetD3DObj().GetViewport(), nullptr);
    renderer.Release();
}

TEST(CRenderer, SecondSurfaceObjectIsRefusedAndClearWorldReplacesTheWorld) {
    MessageRecorder messages;
    FakeWindow window(32, 32);
    CRenderer renderer;
    renderer.Init(&window);
    CDDrawObj other;
    renderer.GetD3DObj().SetDDrawObj(&other);
    EXPECT_EQ(messages.Count("DDrawObj should only be set once!!"), 1);
    EXPECT_EQ(renderer.GetD3DObj().GetDDrawObj(), &renderer.GetDDrawObj());
    rm::Frame* oldWorld = renderer.GetD3DObj().GetWorld();
    oldWorld->AddTranslation(rm::Combine::Replace, 1, 2, 3);
    renderer.ClearWorld();
    rm::Frame* world = renderer.GetD3DObj().GetWorld();
    EXPECT_EQ(world->GetParent(), renderer.GetD3DObj().GetScene());
    EXPECT_EQ(world->GetPosition(nullptr), glm::vec3(0));
    EXPECT_EQ(renderer.GetD3DObj().GetScene()->Children().size(), 2u);  // camera and world
    renderer.Release();
}

// An uncompressed Targa of w x h pixels, all of one colour: 24-bit, or 32-bit
// when `alpha` is given.
std::string WriteTarga(const std::string& name, int w, int h, std::uint8_t r, std::uint8_t g,
                       std::uint8_t b, int alpha = -1) {
    std::string path = "/tmp/orvane_tex_" + std::to_string(::getpid()) + "_" + name;
    std::ofstream out(path, std::ios::binary);
    unsigned char header[18] = {0, 0, 2};
    header[12] = static_cast<unsigned char>(w & 0xFF);
    header[13] = static_cast<unsigned char>(w >> 8);
    header[14] = static_cast<unsigned char>(h & 0xFF);
    header[15] = static_cast<unsigned char>(h >> 8);
    header[16] = alpha < 0 ? 24 : 32;
    out.write(reinterpret_cast<char*>(header), 18);
    for (int i = 0; i < w * h; ++i) {
        const char bgra[4] = {static_cast<char>(b), static_cast<char>(g), static_cast<char>(r),
                              static_cast<char>(alpha)};
        out.write(bgra, alpha < 0 ? 3 : 4);
    }
    return path;
}

// A 3 x 2 24-bit bitmap as Windows writes it: rows bottom-up, B, G, R, each
// row padded to 12 bytes. `rgb` holds the pixels top row first.
std::string WriteBitmap(const std::string& name, const std::uint8_t (&rgb)[6][3]) {
    std::string path = "/tmp/orvane_tex_" + std::to_string(::getpid()) + "_" + name;
    std::uint8_t file[54 + 24] = {'B', 'M', 54 + 24, 0, 0, 0, 0, 0, 0, 0, 54, 0, 0, 0, 40,
                                  0,   0,   0,       3, 0, 0, 0, 2, 0, 0, 0,  1, 0, 24};
    for (int row = 0; row < 2; ++row)
        for (int x = 0; x < 3; ++x)
            for (int c = 0; c < 3; ++c)
                file[54 + row * 12 + x * 3 + c] = rgb[(1 - row) * 3 + x][2 - c];
    std::ofstream(path, std::ios::binary).write(reinterpret_cast<char*>(file), sizeof file);
    return path;
}

TEST(CTexture, PowerOfTwoPicturesStayAndOthersStretch) {
    EXPECT_EQ(CTexture::TextureSide(256), 256);
    EXPECT_EQ(CTexture::TextureSide(300), 512);
    EXPECT_EQ(CTexture::TextureSide(1), 1);
    EXPECT_EQ(CTexture::TextureSide(5000), 2048);

    rm::Ptr<rm::RetainedMode> rmObj;
    ASSERT_EQ(rm::RetainedMode::Create(rmObj.Put()), rm::kOk);
    CDDrawObj ddraw;
    CPicture picture;
    CTexture maker;
    EXPECT_EQ(maker.MakeTexture(), nullptr);  // nothing set
    maker.SetPicture(&picture);
    maker.SetD3DRM(rmObj.Get());
    maker.SetDDrawObj(&ddraw);
    EXPECT_EQ(maker.MakeTexture(), nullptr);  // no image loaded

    std::string direct = WriteTarga("direct.tga", 256, 128, 200, 100, 50);
    ASSERT_TRUE(picture.Load(direct, 0));
    auto tex = rm::Ptr<rm::Texture>::Adopt(maker.MakeTexture());
    ASSERT_TRUE(tex);
    EXPECT_EQ(tex->GetWidth(), 256);
    EXPECT_EQ(tex->GetHeight(), 128);
    const auto& rgba = tex->Image()->rgba;
    EXPECT_EQ(rgba[0], 200);  // the picture's colour, not the surface fill
    EXPECT_EQ(rgba[1], 100);
    EXPECT_EQ(rgba[2], 50);

    std::string odd = WriteTarga("odd.tga", 300, 200, 10, 20, 30);
    ASSERT_TRUE(picture.Load(odd, 0));
    tex = rm::Ptr<rm::Texture>::Adopt(maker.MakeTexture());
    ASSERT_TRUE(tex);
    EXPECT_EQ(tex->GetWidth(), 512);
    EXPECT_EQ(tex->GetHeight(), 256);
    const auto& last = tex->Image()->rgba;
    EXPECT_EQ(last[last.size() - 4], 10);  // the stretched copy covers the whole texture

    // An asymmetric picture keeps its corners: top-left first, R, G, B,
    // opaque, the 3 columns stretched onto 4 (source columns 0, 0, 1, 2).
    const std::uint8_t rgb[6][3] = {{250, 0, 0}, {0, 250, 0}, {0, 0, 250},
                                    {9, 8, 7},   {1, 2, 3},   {60, 70, 80}};
    std::string corners = WriteBitmap("corners.bmp", rgb);
    ASSERT_TRUE(picture.Load(corners, 0)) << picture.GetError();
    tex = rm::Ptr<rm::Texture>::Adopt(maker.MakeTexture());
    ASSERT_TRUE(tex);
    ASSERT_EQ(tex->GetWidth(), 4);
    ASSERT_EQ(tex->GetHeight(), 2);
    std::vector<std::uint8_t> want;
    for (int i : {0, 0, 1, 2, 3, 3, 4, 5})
        want.insert(want.end(), {rgb[i][0], rgb[i][1], rgb[i][2], 255});
    EXPECT_EQ(tex->Image()->rgba, want);

    // A picture with alpha gives the texture its alpha.
    std::string translucent = WriteTarga("alpha.tga", 2, 2, 10, 20, 30, 77);
    ASSERT_TRUE(picture.Load(translucent, 0)) << picture.GetError();
    tex = rm::Ptr<rm::Texture>::Adopt(maker.MakeTexture());
    ASSERT_TRUE(tex);
    EXPECT_EQ(tex->Image()->rgba, (std::vector<std::uint8_t>{10, 20, 30, 77, 10, 20, 30, 77, 10, 20,
                                                             30, 77, 10, 20, 30, 77}));
    for (const std::string& path : {direct, odd, corners, translucent}) std::remove(path.c_str());
}

}  // namespace

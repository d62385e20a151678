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

// A 24-bit uncompressed Targa of w x h pixels, all of one colour.
std::string WriteTarga(const std::string& name, int w, int h, std::uint8_t r, std::uint8_t g,
                       std::uint8_t b) {
    std::string path = "/tmp/orvane_tex_" + std::to_string(::getpid()) + "_" + name;
    std::ofstream out(path, std::ios::binary);
    unsigned char header[18] = {0, 0, 2};
    header[12] = static_cast<unsigned char>(w & 0xFF);
    header[13] = static_cast<unsigned char>(w >> 8);
    header[14] = static_cast<unsigned char>(h & 0xFF);
    header[15] = static_cast<unsigned char>(h >> 8);
    header[16] = 24;
    out.write(reinterpret_cast<char*>(header), 18);
    for (int i = 0; i < w * h; ++i) {
        const char bgr[3] = {static_cast<char>(b), static_cast<char>(g), static_cast<char>(r)};
        out.write(bgr, 3);
    }
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
    std::remove(direct.c_str());
    std::remove(odd.c_str());
}

}  // namespace

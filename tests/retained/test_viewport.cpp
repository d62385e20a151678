// Viewports: projection, snapshots, the device hand-over, picking.
#include <gtest/gtest.h>

#include <cmath>
#include <thread>

#include "test_util.h"

namespace {

glm::vec3 Ndc(const glm::mat4& projection, glm::vec3 cameraPoint) {
    const glm::vec4 c = projection * glm::vec4(cameraPoint, 1.0f);
    return glm::vec3(c) / c.w;
}

TEST(Viewport, FieldIsAcrossTheLargerSide) {
    rmtest::Scene wide(200, 100);
    ASSERT_EQ(rm::kOk, wide.viewport->SetField(0.5f));
    EXPECT_LE(wide.viewport->GetFront(), 1.0f);
    EXPECT_EQ(5000.0f, wide.viewport->GetBack());
    const glm::mat4 p = wide.viewport->Projection();
    EXPECT_NEAR(1.0f, Ndc(p, {0.5f * 4, 0, -4}).x, 1e-5f);   // half angle across the width
    EXPECT_NEAR(1.0f, Ndc(p, {0, 0.25f * 4, -4}).y, 1e-5f);  // same scale vertically
    EXPECT_NEAR(-1.0f, Ndc(p, {0, 0, -wide.viewport->GetFront()}).z, 1e-5f);
    EXPECT_NEAR(1.0f, Ndc(p, {0, 0, -5000.0f}).z, 1e-4f);

    rmtest::Scene tall(100, 200);
    tall.viewport->SetField(0.5f);
    EXPECT_NEAR(1.0f, Ndc(tall.viewport->Projection(), {0, 2, -4}).y, 1e-5f);

    EXPECT_EQ(rm::kInvalidArg, wide.viewport->SetField(0));
    EXPECT_EQ(rm::kInvalidArg, wide.viewport->SetField(NAN));
    EXPECT_EQ(rm::kInvalidArg, wide.viewport->SetBack(0.01f));
    EXPECT_EQ(rm::kOk, wide.viewport->SetBack(100.0f));
    EXPECT_EQ(rm::kInvalidArg, wide.viewport->SetFront(100.0f));
}

TEST(Viewport, CreationChecksItsArguments) {
    rmtest::Scene s(64, 64);
    rm::Viewport* v = nullptr;
    EXPECT_EQ(rm::kInvalidArg,
              s.rm->CreateViewport(s.device.Get(), s.camera.Get(), 1, 0, 64, 64, &v));
    EXPECT_EQ(rm::kInvalidArg, s.rm->CreateViewport(nullptr, s.camera.Get(), 0, 0, 8, 8, &v));
    EXPECT_EQ(nullptr, v);
    rm::Device* d = nullptr;
    EXPECT_EQ(rm::kInvalidArg, s.rm->CreateDevice(0, 10, &d));
    rm::Texture* t = nullptr;
    const std::uint8_t px[8] = {};
    EXPECT_EQ(rm::kInvalidArg, s.rm->CreateTexture({2, 2, rm::PixelFormat::RGBA8, px}, &t));
    EXPECT_EQ(rm::kInvalidArg, s.rm->CreateTexture({0, 1, rm::PixelFormat::RGBA8, px}, &t));
    EXPECT_EQ(nullptr, t);
    // BGRA pixels are stored as RGBA.
    const std::uint8_t bgra[4] = {10, 20, 30, 40};
    ASSERT_EQ(rm::kOk, s.rm->CreateTexture({1, 1, rm::PixelFormat::BGRA8, bgra}, &t));
    EXPECT_EQ((std::vector<std::uint8_t>{30, 20, 10, 40}), t->Image()->rgba);
    t->Release();
    // Three-byte rows with padding: the stride is honoured, alpha becomes opaque.
    const std::uint8_t bgr[] = {1, 2, 3, 4, 5, 6, 0, 0, 7, 8, 9, 10, 11, 12, 0, 0};
    ASSERT_EQ(rm::kOk, s.rm->CreateTexture({2, 2, rm::PixelFormat::BGR8, bgr, 8}, &t));
    EXPECT_EQ(
        (std::vector<std::uint8_t>{3, 2, 1, 255, 6, 5, 4, 255, 9, 8, 7, 255, 12, 11, 10, 255}),
        t->Image()->rgba);
    t->Release();
    EXPECT_EQ(rm::kInvalidArg,
              s.rm->CreateTexture({2, 2, rm::PixelFormat::RGB8, std::span(bgr, 13), 8}, &t));
    EXPECT_EQ(rm::kInvalidArg, s.rm->CreateTexture({2, 2, rm::PixelFormat::RGB8, bgr, 5}, &t));
}

TEST(Viewport, SnapshotHoldsWorldStateAndIgnoresLaterEdits) {
    rmtest::Scene s;
    s.scene->SetSceneBackgroundRGB(0.1f, 0.2f, 0.3f);
    auto child = s.AddFrame();
    child->AddTranslation(rm::Combine::Replace, 1, 2, 3);
    auto mb = s.AddVisual(child.Get());
    rmtest::AddBox(mb.Get(), 0.5f);
    mb->SetColorRGB(0.2f, 0.4f, 0.6f);
    mb->SetQuality(rm::kRenderWireframe);
    rm::Ptr<rm::Material> mat;
    s.rm->CreateMaterial(1.0f / 0.0f, mat.Put());  // a VRML shininess of 0
    mat->SetEmissive(0, 0, 1);
    mb->SetMaterial(mat.Get());
    s.AddLight(s.camera.Get(), rm::LightType::Point, glm::vec3(1));
    auto sun = s.AddFrame();
    sun->SetOrientation(s.scene.Get(), {0, -1, 0}, {0, 0, 1});
    s.AddLight(sun.Get(), rm::LightType::Directional, glm::vec3(0.5f));
    s.AddVisual();  // an empty meshbuilder: nothing to draw

    const auto frame = s.Frame();
    ASSERT_EQ(1u, frame->viewports.size());  // Clear and Render make one entry
    const rm::ViewportSnapshot& vp = frame->viewports[0];
    EXPECT_TRUE(vp.clear);
    EXPECT_EQ(glm::vec3(0.1f, 0.2f, 0.3f), vp.clearColor);
    EXPECT_EQ(glm::vec3(0, 0, 10), vp.cameraPosition);
    EXPECT_EQ(glm::vec3(0, 0, -10), glm::vec3(vp.view * glm::vec4(0, 0, 0, 1)));
    ASSERT_EQ(2u, vp.lights.size());
    EXPECT_EQ(glm::vec3(0, 0, 10), vp.lights[0].position);  // head light on the camera
    EXPECT_NEAR(-1.0f, vp.lights[1].direction.y, 1e-6f);
    ASSERT_EQ(1u, vp.visuals.size());
    const rm::VisualSnapshot& v = vp.visuals[0];
    EXPECT_EQ(glm::vec3(1, 2, 3), glm::vec3(v.world[3]));
    EXPECT_EQ(mb->Id(), v.meshId);
    EXPECT_EQ(rm::kRenderWireframe, v.quality);
    // The material has no ambient colour: the meshbuilder colour stays the reflectance.
    EXPECT_TRUE(v.material.useVertexColor);
    EXPECT_EQ(glm::vec3(0, 0, 1), v.material.emissive);
    EXPECT_TRUE(std::isfinite(v.material.power));

    mat->SetAmbient(1, 0, 0);
    mb->Translate(5, 0, 0);
    EXPECT_EQ(-0.5f, v.mesh->vertices[0].x);  // the snapshot is unchanged
    const auto second = s.Frame();
    EXPECT_EQ(frame->number + 1, second->number);
    const rm::VisualSnapshot& v2 = second->viewports[0].visuals[0];
    EXPECT_FALSE(v2.material.useVertexColor);
    EXPECT_EQ(glm::vec3(1, 0, 0), v2.material.reflectance);
    EXPECT_GT(v2.meshVersion, v.meshVersion);
    EXPECT_EQ(4.5f, v2.mesh->vertices[0].x);

    // A camera from another hierarchy cannot render this scene.
    rm::Ptr<rm::Frame> stranger;
    s.rm->CreateFrame(nullptr, stranger.Put());
    EXPECT_EQ(rm::kInvalidArg, s.viewport->Render(stranger.Get()));
}

// Each frame records a visual's material, quality, solidity and texture afresh after any
// one change they come from, each change alone, frame after frame.
TEST(Viewport, SnapshotFollowsEachChangeOfMaterialAndQuality) {
    using Change = void (*)(rmtest::Scene&, rm::MeshBuilder&, rm::Material&);
    using Check = bool (*)(const rm::VisualSnapshot&);
    const struct {
        const char* what;
        Change change;
        Check check;
    } kCases[] = {
        {"meshbuilder colour", [](auto&, auto& mb, auto&) { mb.SetColorRGB(1, 0, 1); },
         [](const auto& v) { return v.material.reflectance == glm::vec3(1, 0, 1); }},
        {"material transparency", [](auto&, auto&, auto& m) { m.SetTransparency(0.25f); },
         [](const auto& v) { return v.material.alpha == 0.75f; }},
        {"material colour", [](auto&, auto&, auto& m) { m.SetAmbient(0, 1, 0); },
         [](const auto& v) { return v.material.reflectance == glm::vec3(0, 1, 0); }},
        {"device quality", [](auto& s, auto&, auto&) { s.device->SetQuality(rm::kRenderFlat); },
         [](const auto& v) { return v.quality == rm::kRenderFlat; }},
        {"meshbuilder quality", [](auto&, auto& mb, auto&) { mb.SetQuality(rm::kRenderWireframe); },
         [](const auto& v) { return v.quality == rm::kRenderWireframe; }},
        {"material taken off", [](auto&, auto& mb, auto&) { mb.SetMaterial(nullptr); },
         [](const auto& v) { return v.material.useVertexColor && v.material.alpha == 1.0f; }},
        {"another material",
         [](auto& s, auto& mb, auto&) {
             rm::Ptr<rm::Material> other;
             s.rm->CreateMaterial(2.0f, other.Put());
             other->SetEmissive(0, 0, 1);
             mb.SetMaterial(other.Get());
         },
         [](const auto& v) { return v.material.emissive == glm::vec3(0, 0, 1); }},
        // What a record taken over from an earlier frame keeps unless written again.
        {"solidity", [](auto&, auto& mb, auto&) { mb.SetSolid(true); },
         [](const auto& v) { return v.cullBack; }},
        {"texture",
         [](auto& s, auto& mb, auto&) {
             const std::uint8_t px[4] = {1, 2, 3, 4};
             rm::Ptr<rm::Texture> t;
             s.rm->CreateTexture({1, 1, rm::PixelFormat::RGBA8, px}, t.Put());
             mb.SetTexture(t.Get());
         },
         [](const auto& v) { return v.textureId != 0 && v.texture != nullptr; }},
        {"texture's wrap", [](auto&, auto& mb, auto&) { mb.GetTexture()->SetRepeat(false, true); },
         [](const auto& v) { return !v.repeatU && v.repeatV; }},
    };
    rmtest::Scene s;
    auto mb = s.AddVisual();
    rmtest::AddBox(mb.Get(), 0.5f);
    rm::Ptr<rm::Material> mat;
    s.rm->CreateMaterial(1.0f, mat.Put());
    mb->SetMaterial(mat.Get());
    for (const auto& c : kCases) {
        const auto before = s.Frame();
        ASSERT_EQ(1u, before->viewports[0].visuals.size()) << c.what;
        EXPECT_FALSE(c.check(before->viewports[0].visuals[0])) << c.what;
        c.change(s, *mb, *mat);
        const auto after = s.Frame();
        EXPECT_TRUE(c.check(after->viewports[0].visuals[0])) << c.what;
    }
}

// A frame nobody holds lends its visual records to a later one, which writes over
// every member; a frame still held keeps its own.
TEST(Viewport, LaterFramesWriteOverOnlyFramesNobodyHolds) {
    rmtest::Scene s;
    auto textured = s.AddVisual();
    rmtest::AddBox(textured.Get(), 0.5f);
    const std::uint8_t px[4] = {1, 2, 3, 4};
    rm::Ptr<rm::Texture> t;
    ASSERT_EQ(rm::kOk, s.rm->CreateTexture({1, 1, rm::PixelFormat::RGBA8, px}, t.Put()));
    t->SetRepeat(false, false);
    textured->SetTexture(t.Get());
    auto plain = s.AddVisual();
    rmtest::AddBox(plain.Get(), 2.0f);
    s.Frame();                    // dropped at once: its records are lent to the next Render
    const auto held = s.Frame();  // made from them, and held
    s.scene->DeleteVisual(textured.Get());
    const auto after = s.Frame();  // on the records of the first
    s.Frame();                     // on new ones: the held frame's are not lent
    ASSERT_EQ(2u, held->viewports[0].visuals.size());
    const rm::VisualSnapshot& kept = held->viewports[0].visuals[0];
    EXPECT_EQ(textured->Id(), kept.meshId);
    EXPECT_EQ(t->Id(), kept.textureId);
    EXPECT_EQ(t->Image(), kept.texture);
    EXPECT_FALSE(kept.repeatU || kept.repeatV);
    ASSERT_EQ(1u, after->viewports[0].visuals.size());
    const rm::VisualSnapshot& v = after->viewports[0].visuals[0];
    EXPECT_EQ(plain->Id(), v.meshId);
    EXPECT_EQ(plain->UnitData(), v.mesh);
    EXPECT_EQ(0u, v.textureId);
    EXPECT_EQ(nullptr, v.texture);
    EXPECT_TRUE(v.repeatU && v.repeatV);
    EXPECT_EQ(plain->GetVersion(), v.meshVersion);
}

TEST(Viewport, DeviceHandsFramesToAnotherThread) {
    rmtest::Scene s;
    int ready = 0;
    s.device->SetFrameReadyCallback([&] { ++ready; });
    EXPECT_EQ(nullptr, s.device->LatestFrame());
    rmtest::AddQuad(s.AddVisual().Get(), 1.0f);
    s.Frame();
    EXPECT_EQ(1, ready);
    std::shared_ptr<const rm::DeviceFrame> seen;
    std::thread drawer([&] { seen = s.device->LatestFrame(); });
    drawer.join();
    ASSERT_NE(nullptr, seen);
    EXPECT_EQ(64, seen->width);
    EXPECT_EQ(1u, seen->viewports[0].visuals.size());
    // An Update without rendering publishes an empty frame.
    s.device->Update();
    EXPECT_TRUE(s.device->LatestFrame()->viewports.empty());
    EXPECT_EQ(1u, seen->viewports.size());  // the drawer's frame is its own
}

TEST(Viewport, PickReturnsNearestHitWithFramePath) {
    rmtest::Scene s(100, 100);
    auto world = s.AddFrame();
    auto farFrame = s.AddFrame(world.Get());
    auto nearFrame = s.AddFrame(farFrame.Get());
    farFrame->AddTranslation(rm::Combine::Replace, 0, 0, -2);
    nearFrame->AddTranslation(rm::Combine::Replace, 0, 0, 5);  // at z = 3 in the world
    auto farBox = s.AddVisual(farFrame.Get());
    auto nearBox = s.AddVisual(nearFrame.Get());
    rmtest::AddBox(farBox.Get(), 1.0f);
    rmtest::AddBox(nearBox.Get(), 0.5f);

    std::vector<rm::PickHit> hits;
    ASSERT_EQ(rm::kOk, s.viewport->Pick(50, 50, &hits));
    ASSERT_EQ(2u, hits.size());
    EXPECT_EQ(nearBox, hits[0].visual);
    EXPECT_NEAR(10.0f - 3.5f, hits[0].distance, 1e-4f);
    EXPECT_NEAR(3.5f, hits[0].position.z, 1e-4f);
    ASSERT_EQ(4u, hits[0].path.size());
    EXPECT_EQ(s.scene, hits[0].path[0]);
    EXPECT_EQ(world, hits[0].path[1]);
    EXPECT_EQ(farFrame, hits[0].path[2]);
    EXPECT_EQ(nearFrame, hits[0].path[3]);
    EXPECT_EQ(farBox, hits[1].visual);
    EXPECT_EQ(3u, hits[1].path.size());

    // Field 0.5: the near box's front face (depth 6.5) spans ndc ±0.154, the far box's
    // (depth 11) ±0.182. Column 58 (ndc 0.17) passes beside the near box only.
    s.viewport->SetField(0.5f);
    ASSERT_EQ(rm::kOk, s.viewport->Pick(58, 50, &hits));
    ASSERT_EQ(1u, hits.size());
    EXPECT_EQ(farBox, hits[0].visual);
    ASSERT_EQ(rm::kOk, s.viewport->Pick(0, 0, &hits));
    EXPECT_TRUE(hits.empty());
    EXPECT_EQ(rm::kInvalidArg, s.viewport->Pick(100, 5, &hits));
}

// A solid mesh is picked where it is drawn: on its front faces. From inside a solid box
// the ray passes out through its back faces; a mirroring frame keeps the outside front.
TEST(Viewport, PickSkipsTheUndrawnSideOfASolidMesh) {
    rmtest::Scene s(100, 100);
    auto around = s.AddFrame(), ahead = s.AddFrame();
    ahead->AddTranslation(rm::Combine::Replace, 0, 0, -2);
    ahead->AddScale(rm::Combine::Before, -1, 1, 1);
    auto room = s.AddVisual(around.Get()), box = s.AddVisual(ahead.Get());
    rmtest::AddBox(room.Get(), 40.0f);  // the camera, at z = 10, is inside
    rmtest::AddBox(box.Get(), 1.0f);
    std::vector<rm::PickHit> hits;
    auto picked = [&] {
        std::vector<rm::MeshBuilder*> visuals;
        EXPECT_EQ(rm::kOk, s.viewport->Pick(50, 50, &hits));
        for (const rm::PickHit& h : hits) visuals.push_back(h.visual.Get());
        return visuals;
    };
    EXPECT_EQ(picked(), (std::vector<rm::MeshBuilder*>{box.Get(), room.Get()}));
    room->SetSolid(true);
    box->SetSolid(true);
    EXPECT_EQ(picked(), std::vector<rm::MeshBuilder*>{box.Get()});
    EXPECT_NEAR(hits[0].position.z, -1.0f, 1e-4f);  // its near face, not the far one
}

}  // namespace

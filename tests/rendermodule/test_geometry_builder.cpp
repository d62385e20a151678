// Geometry builders: vertex, normal and face counts, placement, texture
// coordinates and the pick highlight, checked on the retained-mode meshbuilder.
#include <gtest/gtest.h>

#include <cmath>

#include "rendermodule/geometry_builder.h"
#include "trace/message_sink.h"

namespace {

class GeometryBuilderTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_EQ(rm::RetainedMode::Create(m_rm.Put()), rm::kOk);
        m_oldSink = SetMessageSink(
            [this](const std::string& t, const std::string&) { m_messages.push_back(t); });
    }
    void TearDown() override { SetMessageSink(m_oldSink); }
    rm::Ptr<rm::MeshBuilder> NewMesh() {
        rm::Ptr<rm::MeshBuilder> mb;
        EXPECT_EQ(m_rm->CreateMeshBuilder(mb.Put()), rm::kOk);
        return mb;
    }
    static glm::vec2 UV(const rm::MeshBuilder& mb, std::uint32_t v) {
        glm::vec2 uv;
        EXPECT_EQ(mb.GetTextureCoordinates(v, &uv.x, &uv.y), rm::kOk);
        return uv;
    }

    rm::Ptr<rm::RetainedMode> m_rm;
    MessageSink m_oldSink;
    std::vector<std::string> m_messages;
};

TEST_F(GeometryBuilderTest, NullMeshbuildersAndFramesAreIgnored) {
    GetABox(nullptr, 1, 1, 1);
    GetASphere(nullptr, 1, 24, 16);
    GetACylinder(*m_rm, nullptr, 1, 2, 48);
    GetASelectionBox(*m_rm, nullptr, rm::Box{{0, 0, 0}, {1, 1, 1}});
    EXPECT_TRUE(m_messages.empty());
}

TEST_F(GeometryBuilderTest, CircleHasTwentyFourRimPointsAndItsCentreLast) {
    auto mb = NewMesh();
    GetACircle(*m_rm, mb.Get(), 2);
    ASSERT_EQ(mb->GetVertexCount(), 25u);
    EXPECT_EQ(mb->GetFaceCount(), 24u);
    const auto& v = mb->Data()->vertices;
    EXPECT_EQ(v[24], glm::vec3(0, 0, 0));
    EXPECT_NEAR(v[0].x, 2, 1e-5);
    EXPECT_NEAR(v[6].x, 0, 1e-4);  // 90 degrees
    EXPECT_NEAR(v[6].y, 2, 1e-4);
    EXPECT_EQ(mb->GetColor(), glm::vec3(0.8f));
    EXPECT_TRUE(m_messages.empty());
}

TEST_F(GeometryBuilderTest, BoxHasFourCornersPerSideAndSideTextureCoordinates) {
    auto mb = NewMesh();
    GetABox(mb.Get(), 2, 4, 6);
    EXPECT_EQ(mb->GetVertexCount(), 24u);
    EXPECT_EQ(mb->GetNormalCount(), 6u);
    EXPECT_EQ(mb->GetFaceCount(), 6u);
    rm::Box box;
    ASSERT_EQ(mb->GetBox(&box), rm::kOk);
    EXPECT_EQ(box.min, glm::vec3(-1, -2, -3));
    EXPECT_EQ(box.max, glm::vec3(1, 2, 3));
    for (std::uint32_t side = 0; side < 6; ++side) {
        EXPECT_EQ(UV(*mb, 4 * side), glm::vec2(1, 1));
        EXPECT_EQ(UV(*mb, 4 * side + 2), glm::vec2(0, 0));
    }
}

TEST_F(GeometryBuilderTest, SphereCountsAndRadius) {
    auto mb = NewMesh();
    GetASphere(mb.Get(), 3, 24, 16);
    EXPECT_EQ(mb->GetVertexCount(), 425u);
    EXPECT_EQ(mb->GetFaceCount(), 384u);
    for (const auto& p : mb->Data()->vertices) EXPECT_NEAR(glm::length(p), 3, 1e-4);
    EXPECT_EQ(UV(*mb, 0), glm::vec2(0, 1));  // bottom row, first column
    EXPECT_EQ(UV(*mb, 16 * 25 + 24), glm::vec2(1, 0));
    // A sphere of radius 0 is a point, not a unit sphere.
    auto zero = NewMesh();
    GetASphere(zero.Get(), 0, 24, 16);
    for (const auto& p : zero->Data()->vertices) EXPECT_EQ(p, glm::vec3(0));
}

TEST_F(GeometryBuilderTest, BackgroundSphereFacesInward) {
    auto mb = NewMesh();
    GetABackgroundSphere(mb.Get(), 1000, 48, 48);
    const auto& d = *mb->Data();
    ASSERT_EQ(d.vertices.size(), 49u * 49u);
    for (std::size_t i = 0; i < d.vertices.size(); ++i)
        EXPECT_LT(glm::dot(d.normals[i], d.vertices[i]), 0) << i;
    EXPECT_EQ(UV(*mb, 1), glm::vec2(1 - 1.0f / 48, 1));
}

TEST_F(GeometryBuilderTest, ConeAndCylinderCounts) {
    auto cone = NewMesh();
    GetACone(cone.Get(), 1, 2, 48);
    EXPECT_EQ(cone->GetVertexCount(), 3u * 49 + 1);
    EXPECT_EQ(cone->GetNormalCount(), 49u);
    EXPECT_EQ(cone->GetFaceCount(), 96u);
    EXPECT_EQ(cone->Data()->vertices[0], glm::vec3(0, 1, 0));  // apex at height / 2
    EXPECT_EQ(UV(*cone, 3 * 49), glm::vec2(0.5f, 0.5f));

    auto cyl = NewMesh();
    GetACylinder(*m_rm, cyl.Get(), 1, 2, 48);
    EXPECT_EQ(cyl->GetVertexCount(), 194u);
    EXPECT_EQ(cyl->GetNormalCount(), 50u);
    EXPECT_EQ(cyl->GetFaceCount(), 144u);
    EXPECT_EQ(UV(*cyl, 4 * 48), glm::vec2(0.5f, 0.5f));
    // Caps: vertex i and vertex 2n - 1 - i share their cap coordinates.
    EXPECT_EQ(UV(*cyl, 3), UV(*cyl, 2 * 48 - 1 - 3));
    EXPECT_TRUE(m_messages.empty());
}

TEST_F(GeometryBuilderTest, RectAndPolygonTextureCoordinates) {
    auto rect = NewMesh();
    GetARect(rect.Get(), 4, 2);
    EXPECT_EQ(rect->GetFaceCount(), 2u);
    EXPECT_EQ(rect->Data()->vertices[0], glm::vec3(2, 1, 0));
    EXPECT_EQ(UV(*rect, 0), glm::vec2(1, 0));
    EXPECT_EQ(UV(*rect, 2), glm::vec2(0, 1));

    const float pts[] = {0, 0, 2, 0, 2, 2, 1, 1, 0, 2};  // non-convex
    auto poly = NewMesh();
    GetAPolygon(*m_rm, poly.Get(), pts, 5);
    EXPECT_EQ(poly->GetFaceCount(), 1u);
    EXPECT_EQ(poly->GetVertexCount(), 5u);
    // The flat wrap is centred on the origin, not on the polygon: u = x / width + 0.5,
    // v = -y / height + 0.5 (its up runs along -y).
    EXPECT_EQ(UV(*poly, 0), glm::vec2(0.5f, 0.5f));
    EXPECT_EQ(UV(*poly, 2), glm::vec2(1.5f, -0.5f));
    EXPECT_EQ(UV(*poly, 3), glm::vec2(1.0f, 0.0f));
    auto two = NewMesh();
    GetAPolygon(*m_rm, two.Get(), pts, 2);  // fewer than 3 points: nothing
    EXPECT_EQ(two->GetVertexCount(), 0u);
}

TEST_F(GeometryBuilderTest, SelectionBoxIsAWireframeBoxAndEightCornerKnobs) {
    rm::Ptr<rm::Frame> frame;
    ASSERT_EQ(m_rm->CreateFrame(nullptr, frame.Put()), rm::kOk);
    rm::Box box;
    box.min = {-1, -2, -3};
    box.max = {1, 2, 3};
    GetASelectionBox(*m_rm, frame.Get(), box);
    const auto& visuals = frame->Visuals();
    ASSERT_EQ(visuals.size(), 9u);
    EXPECT_EQ(visuals[0]->GetQuality(), rm::kRenderWireframe);
    rm::Box knob;
    ASSERT_EQ(visuals[8]->GetBox(&knob), rm::kOk);
    EXPECT_NEAR(knob.min.x, 1 - 0.05, 1e-5);
    EXPECT_NEAR(knob.max.z, 3 + 0.05, 1e-5);
    EXPECT_EQ(visuals[8]->GetColor(), glm::vec3(0.5f, 1.0f, 0.5f));
}

}  // namespace

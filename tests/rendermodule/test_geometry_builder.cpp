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

// Cross-section planes along a spine: straight spines turn +y to their direction, a
// bend sets z across it (x = y × z), z keeps its side through an S-bend, coincident
// points share their neighbours' plane, a closed spine aligns its ends.
struct FrameCase {
    const char* name;
    std::vector<glm::vec3> spine;
    std::size_t at;
    SpineFrame expected;
};

class SpineFrameTest : public ::testing::TestWithParam<FrameCase> {};

TEST_P(SpineFrameTest, AxesOfOnePoint) {
    const FrameCase& c = GetParam();
    const std::vector<SpineFrame> frames = SpineFrames(c.spine);
    ASSERT_EQ(frames.size(), c.spine.size());
    const SpineFrame& f = frames[c.at];
    for (int i = 0; i < 3; ++i) {
        EXPECT_NEAR(f.x[i], c.expected.x[i], 1e-5) << "x " << i;
        EXPECT_NEAR(f.y[i], c.expected.y[i], 1e-5) << "y " << i;
        EXPECT_NEAR(f.z[i], c.expected.z[i], 1e-5) << "z " << i;
    }
    // The last frame of a closed spine is its first.
    if (c.spine.size() > 2 && c.spine.front() == c.spine.back()) {
        EXPECT_EQ(frames.front().x, frames.back().x);
        EXPECT_EQ(frames.front().z, frames.back().z);
    }
}

const float kR = 0.70710678f;
INSTANTIATE_TEST_SUITE_P(
    Spines, SpineFrameTest,
    ::testing::Values(
        FrameCase{"Up", {{0, 0, 0}, {0, 1, 0}}, 0, {{1, 0, 0}, {0, 1, 0}, {0, 0, 1}}},
        FrameCase{"AlongX", {{0, 0, 0}, {2, 0, 0}}, 1, {{0, -1, 0}, {1, 0, 0}, {0, 0, 1}}},
        FrameCase{"AlongZ", {{0, 0, 0}, {0, 0, 3}}, 0, {{1, 0, 0}, {0, 0, 1}, {0, -1, 0}}},
        FrameCase{"Down", {{0, 0, 0}, {0, -1, 0}}, 0, {{1, 0, 0}, {0, -1, 0}, {0, 0, -1}}},
        FrameCase{"AtABend",
                  {{0, 0, 0}, {0, 1, 0}, {1, 1, 0}},
                  1,
                  {{-kR, kR, 0}, {kR, kR, 0}, {0, 0, -1}}},
        FrameCase{"BeforeABend",
                  {{0, 0, 0}, {0, 1, 0}, {1, 1, 0}},
                  0,
                  {{-1, 0, 0}, {0, 1, 0}, {0, 0, -1}}},
        FrameCase{"SBend",
                  {{0, 0, 0}, {0, 1, 0}, {1, 1, 0}, {1, 2, 0}},
                  2,
                  {{-kR, kR, 0}, {kR, kR, 0}, {0, 0, -1}}},
        FrameCase{"CoincidentPoints",
                  {{0, 0, 0}, {0, 1, 0}, {0, 1, 0}, {0, 2, 0}},
                  2,
                  {{1, 0, 0}, {0, 1, 0}, {0, 0, 1}}},
        FrameCase{"ClosedSquare",
                  {{0, 0, 0}, {1, 0, 0}, {1, 0, 1}, {0, 0, 1}, {0, 0, 0}},
                  0,
                  {{-kR, 0, -kR}, {kR, 0, -kR}, {0, -1, 0}}}),
    [](const ::testing::TestParamInfo<FrameCase>& info) { return std::string(info.param.name); });

TEST(SpineFrames, FewerThanTwoDistinctPointsHaveNone) {
    EXPECT_TRUE(SpineFrames(std::vector<glm::vec3>{}).empty());
    EXPECT_TRUE(SpineFrames(std::vector<glm::vec3>{{1, 2, 3}}).empty());
    EXPECT_TRUE(SpineFrames(std::vector<glm::vec3>{{1, 2, 3}, {1, 2, 3}, {1, 2, 3}}).empty());
}

// Crease normals on a hinge: a face looking along +z and one along +x meet at 90
// degrees on the edge x = 1. Below the angle each keeps its own normal on the edge;
// above it both take their mean. Vertices of their own on the edge smooth only when
// mapped to the same points.
struct HingeCase {
    float creaseAngle;
    bool sharedEdge;     // the faces share the edge's vertices (else each has its own)
    bool mapped;         // separate vertices mapped to the same points
    glm::vec3 expected;  // the first face's normal at the edge
};

class CreaseTest : public ::testing::TestWithParam<HingeCase> {};

TEST_P(CreaseTest, HingeNormals) {
    const HingeCase& c = GetParam();
    rm::PolygonMesh m;
    m.vertices = {{0, 0, 0},  {1, 0, 0},  {1, 1, 0}, {0, 1, 0},
                  {1, 0, -1}, {1, 1, -1}, {1, 0, 0}, {1, 1, 0}};
    m.polygonSizes = {4, 4, 3};
    const std::uint32_t a = c.sharedEdge ? 1 : 6, b = c.sharedEdge ? 2 : 7;
    // The third polygon has no area and must change nothing.
    m.cornerVertex = {0, 1, 2, 3, a, 4, 5, b, 0, 0, 3};
    const std::vector<std::uint32_t> points = {0, 1, 2, 3, 4, 5, 1, 2};
    SmoothNormals(m, c.creaseAngle, c.mapped ? points : std::vector<std::uint32_t>{});
    ASSERT_EQ(m.cornerNormal.size(), m.cornerVertex.size());
    auto normal = [&](std::size_t corner) { return m.normals.at(m.cornerNormal[corner]); };
    const glm::vec3 other = c.expected == glm::vec3(0, 0, 1) ? glm::vec3(1, 0, 0) : c.expected;
    // The edge corners: 1 and 2 of the first face, 4 and 7 of the second.
    for (std::size_t corner : {1, 2})
        EXPECT_NEAR(glm::distance(normal(corner), c.expected), 0, 1e-6);
    for (std::size_t corner : {4, 7}) EXPECT_NEAR(glm::distance(normal(corner), other), 0, 1e-6);
    EXPECT_EQ(normal(0), glm::vec3(0, 0, 1));  // away from the edge: the face's own
    EXPECT_EQ(normal(5), glm::vec3(1, 0, 0));
    EXPECT_EQ(m.cornerNormal[8], rm::kNoNormal);
}

const glm::vec3 kMean(kR, 0, kR);
INSTANTIATE_TEST_SUITE_P(Crease, CreaseTest,
                         ::testing::Values(HingeCase{1.5f, true, false, {0, 0, 1}},
                                           HingeCase{1.6f, true, false, kMean},
                                           HingeCase{3.5f, true, false, kMean},
                                           HingeCase{1.6f, false, false, {0, 0, 1}},
                                           HingeCase{1.6f, false, true, kMean}));

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

// Primitives given a root are built once at unit size and shown scaled: what the
// meshbuilder reads must be what the builder makes at that size itself.
struct SharedCase {
    const char* name;
    // Builds the primitive at size s into mb, through the root when rm is not null.
    void (*build)(rm::RetainedMode* rm, rm::MeshBuilder* mb, glm::vec3 s);
    glm::vec3 size, otherSize;
    bool shared;  // false: built on its own (the scale would cost precision, or a size is 0)
};

void PrintTo(const SharedCase& c, std::ostream* os) {
    *os << c.name;
}

void Box(rm::RetainedMode* rm, rm::MeshBuilder* mb, glm::vec3 s) {
    rm ? GetABox(rm, mb, s.x, s.y, s.z) : GetABox(mb, s.x, s.y, s.z);
}
void Sphere(rm::RetainedMode* rm, rm::MeshBuilder* mb, glm::vec3 s) {
    rm ? GetASphere(rm, mb, s.x, 24, 16) : GetASphere(mb, s.x, 24, 16);
}
void Cone(rm::RetainedMode* rm, rm::MeshBuilder* mb, glm::vec3 s) {
    rm ? GetACone(rm, mb, s.x, s.y, 48, true, false) : GetACone(mb, s.x, s.y, 48, true, false);
}
void Cylinder(rm::RetainedMode* rm, rm::MeshBuilder* mb, glm::vec3 s) {
    rm::Ptr<rm::RetainedMode> own;  // the cylinder always takes a root
    if (rm == nullptr && rm::Succeeded(rm::RetainedMode::Create(own.Put()))) rm = own.Get();
    GetACylinder(*rm, mb, s.x, s.y, 48, true, false, true);
}

class SharedPrimitiveTest : public GeometryBuilderTest,
                            public ::testing::WithParamInterface<SharedCase> {};

TEST_P(SharedPrimitiveTest, ReadsAsBuiltAtItsOwnSize) {
    const SharedCase& c = GetParam();
    auto shared = NewMesh(), other = NewMesh(), own = NewMesh();
    c.build(m_rm.Get(), shared.Get(), c.size);
    c.build(m_rm.Get(), other.Get(), c.otherSize);
    // A meshbuilder holding a triangle already builds the primitive after it, at its size
    // (the triangle, a point at the centre, leaves the cylinder's wrap as it is).
    const glm::vec3 triangle[3] = {};
    const std::uint32_t triangleFace[] = {3, 0, 1, 2, 0};
    ASSERT_EQ(own->AddFaces(triangle, {}, triangleFace), rm::kOk);
    c.build(m_rm.Get(), own.Get(), c.size);
    EXPECT_EQ(shared->UnitData() == other->UnitData(), c.shared);
    EXPECT_EQ(shared->UnitScale() != glm::vec3(1.0f), c.shared);
    const auto a = shared->Data(), b = own->Data();
    ASSERT_EQ(a->vertices.size() + 3, b->vertices.size());
    ASSERT_EQ(a->normals.size(), b->normals.size());
    ASSERT_EQ(a->cornerVertex.size() + 3, b->cornerVertex.size());
    for (std::size_t k = 0; k < a->cornerVertex.size(); ++k) {
        EXPECT_EQ(a->cornerVertex[k] + 3, b->cornerVertex[k + 3]);
        EXPECT_EQ(a->cornerNormal[k], b->cornerNormal[k + 3]);
    }
    ASSERT_EQ(a->faces.size() + 1, b->faces.size());
    EXPECT_EQ(a->color, b->color);
    for (std::size_t i = 0; i < a->vertices.size(); ++i) {
        EXPECT_LT(glm::length(a->vertices[i] - b->vertices[i + 3]), 1e-5f) << "vertex " << i;
        EXPECT_LT(glm::length(a->texCoords[i] - b->texCoords[i + 3]), 1e-5f) << "uv " << i;
    }
    for (std::size_t i = 0; i < a->normals.size(); ++i)
        EXPECT_GT(glm::dot(a->normals[i], b->normals[i]), 0.99999f) << "normal " << i;
    rm::Box box;
    ASSERT_EQ(shared->GetBox(&box), rm::kOk);
    glm::vec3 lo = a->vertices[0], hi = lo;
    for (const glm::vec3& p : a->vertices) lo = glm::min(lo, p), hi = glm::max(hi, p);
    EXPECT_EQ(box.min, lo);
    EXPECT_EQ(box.max, hi);
    // A change makes a copy of its own: the other meshbuilder keeps the shared data.
    const auto before = other->Data();
    const glm::vec3 moved = a->vertices[0] + glm::vec3(1, 0, 0);
    ASSERT_EQ(shared->SetVertex(0, moved), rm::kOk);
    EXPECT_EQ(shared->UnitScale(), glm::vec3(1.0f));
    EXPECT_EQ(shared->Data()->vertices[0], moved);
    EXPECT_EQ(shared->Data()->vertices[1], a->vertices[1]);
    EXPECT_EQ(other->Data()->vertices, before->vertices);
    // Emptied, it takes any geometry again, the unit mesh unchanged.
    other->Empty();
    EXPECT_EQ(other->GetVertexCount(), 0u);
    c.build(m_rm.Get(), other.Get(), c.size);
    EXPECT_EQ(other->Data()->vertices, a->vertices);
    EXPECT_TRUE(m_messages.empty());
}

INSTANTIATE_TEST_SUITE_P(
    Primitives, SharedPrimitiveTest,
    ::testing::Values(SharedCase{"Box", Box, {2, 0.5f, 7}, {1, 1, 1}, true},
                      SharedCase{"Sphere", Sphere, {0.4f, 0, 0}, {3, 0, 0}, true},
                      SharedCase{"Cone", Cone, {0.5f, 1.5f, 0}, {2, 1, 0}, true},
                      SharedCase{"Cylinder", Cylinder, {0.3f, 1.1f, 0}, {5, 2, 0}, true},
                      SharedCase{"SteepConeBuiltAlone", Cone, {0.2f, 3, 0}, {0.2f, 3, 0}, false},
                      SharedCase{"FlatBoxBuiltAlone", Box, {2, 0, 1}, {2, 0, 1}, false}),
    [](const ::testing::TestParamInfo<SharedCase>& info) { return std::string(info.param.name); });

// Shapes without a Material show their primitive white: they share a white unit (with
// white coarser versions), apart from the grey one, and setting the white colour they
// already have keeps the data shared instead of copying it.
TEST_F(GeometryBuilderTest, WhitePrimitivesShareAWhiteUnit) {
    auto grey = NewMesh(), white = NewMesh(), whiteToo = NewMesh();
    GetASphere(m_rm.Get(), grey.Get(), 1, 24, 16);
    GetASphere(m_rm.Get(), white.Get(), 2, 24, 16, true);
    GetASphere(m_rm.Get(), whiteToo.Get(), 0.5f, 24, 16, true);
    EXPECT_EQ(white->UnitData(), whiteToo->UnitData());
    EXPECT_NE(white->UnitData(), grey->UnitData());
    EXPECT_EQ(grey->GetColor(), glm::vec3(0.8f));
    EXPECT_EQ(white->GetColor(), glm::vec3(1.0f));
    ASSERT_FALSE(white->UnitData()->coarser.empty());
    for (const rm::CoarserMesh& c : white->UnitData()->coarser)
        EXPECT_EQ(c.mesh->color, glm::vec3(1.0f));
    whiteToo->SetColorRGB(1, 1, 1);
    EXPECT_EQ(white->UnitData(), whiteToo->UnitData());
    whiteToo->SetColorRGB(1, 0, 0);
    EXPECT_NE(white->UnitData(), whiteToo->UnitData());
    EXPECT_EQ(whiteToo->GetColor(), glm::vec3(1, 0, 0));
    EXPECT_EQ(white->GetColor(), glm::vec3(1.0f));
}

}  // namespace

// Meshbuilders: the face-data format, edits and versions, triangulation of faces.
#include <gtest/gtest.h>

#include <cmath>

#include "retained/draw_mesh.h"
#include "retained/triangulate.h"
#include "test_util.h"

namespace {

class MeshTest : public ::testing::Test {
  protected:
    void SetUp() override {
        rm::RetainedMode::Create(rm_.Put());
        rm_->CreateMeshBuilder(mb_.Put());
    }
    rm::Ptr<rm::RetainedMode> rm_;
    rm::Ptr<rm::MeshBuilder> mb_;
};

TEST_F(MeshTest, AddFacesReadsCountsAndPairsUntilZero) {
    rmtest::AddBox(mb_.Get(), 1.0f);
    EXPECT_EQ(24u, mb_->GetVertexCount());
    EXPECT_EQ(6u, mb_->GetNormalCount());
    EXPECT_EQ(6u, mb_->GetFaceCount());
    auto d = mb_->Data();
    EXPECT_EQ(1, d->cornerNormal[4]);  // second face, first corner: normal 1
    // A second call counts its indices from its own first vertex and normal.
    const glm::vec3 v[3] = {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}};
    const glm::vec3 n[1] = {{0, 0, 1}};
    const std::uint32_t faces[] = {3, 0, 0, 1, 0, 2, 0, 0, 99};  // data after the 0 is ignored
    ASSERT_EQ(rm::kOk, mb_->AddFaces(v, n, faces));
    d = mb_->Data();
    ASSERT_EQ(7u, d->faces.size());
    EXPECT_EQ(3u, d->faces[6].cornerCount);
    EXPECT_EQ(24u, d->cornerVertex[d->faces[6].firstCorner]);
    EXPECT_EQ(6, d->cornerNormal[d->faces[6].firstCorner]);
}

TEST_F(MeshTest, AddFacesWithoutNormalsAndBadData) {
    const glm::vec3 v[4] = {{0, 0, 0}, {1, 0, 0}, {1, 1, 0}, {0, 1, 0}};
    const std::uint32_t quad[] = {4, 0, 1, 2, 3};  // ends with the span, no 0 needed
    ASSERT_EQ(rm::kOk, mb_->AddFaces(v, {}, quad));
    EXPECT_EQ(rm::kNoNormal, mb_->Data()->cornerNormal[0]);
    const auto version = mb_->GetVersion();

    const std::uint32_t badVertex[] = {3, 0, 1, 4, 0};
    const std::uint32_t truncated[] = {4, 0, 1, 2};
    const std::uint32_t hugeCount[] = {0xFFFFFFFFu, 0, 1};
    const glm::vec3 n[1] = {{0, 0, 1}};
    const std::uint32_t badNormal[] = {3, 0, 0, 1, 0, 2, 1, 0};
    EXPECT_EQ(rm::kInvalidArg, mb_->AddFaces(v, {}, badVertex));
    EXPECT_EQ(rm::kInvalidArg, mb_->AddFaces(v, {}, truncated));
    EXPECT_EQ(rm::kInvalidArg, mb_->AddFaces(v, {}, hugeCount));
    EXPECT_EQ(rm::kInvalidArg, mb_->AddFaces(v, n, badNormal));
    // Nothing of a rejected call was added.
    EXPECT_EQ(4u, mb_->GetVertexCount());
    EXPECT_EQ(1u, mb_->GetFaceCount());
    EXPECT_EQ(version, mb_->GetVersion());
}

TEST_F(MeshTest, BoxScaleTranslateAndTextureCoordinates) {
    rm::Box box;
    EXPECT_EQ(rm::kEmpty, mb_->GetBox(&box));
    rmtest::AddBox(mb_.Get(), 1.0f);
    mb_->Scale(2, 1, 1);
    mb_->Translate(0, 0, 5);
    ASSERT_EQ(rm::kOk, mb_->GetBox(&box));
    EXPECT_EQ(glm::vec3(-2, -1, 4), box.min);
    EXPECT_EQ(glm::vec3(2, 1, 6), box.max);
    EXPECT_EQ(rm::kInvalidArg, mb_->Scale(0, 1, 1));
    // Normals follow a non-uniform scale and stay unit length.
    rm::Ptr<rm::MeshBuilder> slope;
    rm_->CreateMeshBuilder(slope.Put());
    const glm::vec3 v[3] = {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}};
    const glm::vec3 n[1] = {glm::normalize(glm::vec3(1, 1, 0))};
    const std::uint32_t f[] = {3, 0, 0, 1, 0, 2, 0, 0};
    slope->AddFaces(v, n, f);
    slope->Scale(2, 1, 1);
    const glm::vec3 scaled = slope->Data()->normals[0];
    EXPECT_NEAR(1.0f, glm::length(scaled), 1e-6f);
    EXPECT_NEAR(0.5f, scaled.x / scaled.y, 1e-6f);

    float u = 0, w = 0;
    EXPECT_EQ(rm::kOk, mb_->SetTextureCoordinates(23, 0.25f, 0.75f));
    EXPECT_EQ(rm::kOk, mb_->GetTextureCoordinates(23, &u, &w));
    EXPECT_EQ(0.25f, u);
    EXPECT_EQ(0.75f, w);
    EXPECT_EQ(rm::kInvalidArg, mb_->SetTextureCoordinates(24, 0, 0));
}

TEST_F(MeshTest, VersionMovesOnGeometryAndSharedDataStaysUnchanged) {
    rmtest::AddQuad(mb_.Get(), 1.0f);
    const auto held = mb_->Data();  // as a snapshot holds it
    const auto v0 = mb_->GetVersion();
    rm::Ptr<rm::Material> mat;
    rm_->CreateMaterial(1.0f, mat.Put());
    mb_->SetMaterial(mat.Get());
    mb_->SetQuality(rm::kRenderWireframe);
    EXPECT_EQ(v0, mb_->GetVersion());  // material and quality are not mesh data
    mb_->SetColorRGB(1, 0, 0);
    mb_->Translate(1, 0, 0);
    EXPECT_EQ(v0 + 2, mb_->GetVersion());
    EXPECT_EQ(glm::vec3(1.0f), held->color);
    EXPECT_EQ(-1.0f, held->vertices[0].x);
    EXPECT_EQ(0.0f, mb_->Data()->vertices[0].x);
    EXPECT_NE(held.get(), mb_->Data().get());
}

TEST_F(MeshTest, FaceColoursAndAddFace) {
    rm::Ptr<rm::Face> face;
    rm_->CreateFace(face.Put());
    face->AddVertex(0, 0, 0);
    face->AddVertex(1, 0, 0);
    face->AddVertex(0, 1, 0);
    face->SetColorRGB(0, 1, 0);
    mb_->SetColorRGB(0.5f, 0.5f, 0.5f);
    ASSERT_EQ(rm::kOk, mb_->AddFace(face.Get()));
    EXPECT_EQ(rm::kInvalidArg, mb_->AddFace(nullptr));
    rm::DrawMesh dm = rm::BuildDrawMesh(*mb_->Data());
    ASSERT_EQ(3u, dm.vertices.size());
    EXPECT_EQ(glm::vec3(0, 1, 0), dm.vertices[0].color);
    EXPECT_EQ(glm::vec3(0, 0, 1), dm.vertices[0].normal);  // its own polygon normal
    mb_->SetColorRGB(1, 0, 0);  // the meshbuilder colour wins over face colours
    dm = rm::BuildDrawMesh(*mb_->Data());
    EXPECT_EQ(glm::vec3(1, 0, 0), dm.vertices[0].color);
}

// Polygons over shared vertices: appended after existing faces with their indices
// moved on, corner colours and texture coordinates kept per corner (the faces without
// them keep theirs), bad lists refused whole.
TEST_F(MeshTest, AddPolygonsKeepsCornerValuesBesideOtherFaces) {
    rmtest::AddQuad(mb_.Get(), 1.0f);  // 4 vertices, 1 face, no corner values
    rm::PolygonMesh p;
    p.vertices = {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}, {1, 1, 0}};
    p.polygonSizes = {3, 3};
    p.cornerVertex = {0, 1, 2, 1, 3, 2};
    p.normals = {{0, 0, 1}};
    p.cornerNormal = {0, rm::kNoNormal, 0, 0, 0, 0};
    p.cornerColor = {{1, 0, 0}, {0, 1, 0}, {0, 0, 1}, {1, 1, 0}, {0, 1, 1}, {1, 0, 1}};
    rm::PolygonMesh bad = p;
    bad.cornerVertex[5] = 4;  // past the vertices
    rm::PolygonMesh shortList = p;
    shortList.cornerColor.pop_back();
    EXPECT_EQ(rm::kInvalidArg, mb_->AddPolygons(std::move(bad)));
    EXPECT_EQ(rm::kInvalidArg, mb_->AddPolygons(std::move(shortList)));
    EXPECT_EQ(1u, mb_->GetFaceCount());
    EXPECT_FALSE(mb_->HasCornerColors());
    ASSERT_EQ(rm::kOk, mb_->AddPolygons(std::move(p)));
    auto d = mb_->Data();
    ASSERT_EQ(3u, d->faces.size());
    EXPECT_EQ(5u, d->cornerVertex[d->faces[2].firstCorner]);  // vertex 1 after the quad's 4
    EXPECT_EQ(10u, d->cornerColor.size());
    EXPECT_TRUE(d->cornerTexCoord.empty());
    const rm::DrawMesh dm = rm::BuildDrawMesh(*d);
    ASSERT_EQ(10u, dm.vertices.size());
    EXPECT_EQ(glm::vec3(1.0f), dm.vertices[0].color);  // the quad: the meshbuilder colour
    EXPECT_EQ(glm::vec3(0, 1, 0), dm.vertices[5].color);
    EXPECT_EQ(glm::vec3(1, 0, 1), dm.vertices[9].color);
    // A later plain face keeps the corner lists in step with the corners.
    rmtest::AddQuad(mb_.Get(), 1.0f);
    EXPECT_EQ(mb_->Data()->cornerVertex.size(), mb_->Data()->cornerColor.size());
    EXPECT_EQ(glm::vec3(1.0f), rm::BuildDrawMesh(*mb_->Data()).vertices[10].color);
}

double Area2D(const std::vector<glm::vec3>& p, const std::array<std::uint32_t, 3>& t) {
    const glm::vec3 a = p[t[0]], b = p[t[1]], c = p[t[2]];
    return 0.5 * ((b.x - a.x) * (c.y - a.y) - (b.y - a.y) * (c.x - a.x));
}

bool InsidePolygon(const std::vector<glm::vec3>& p, glm::vec2 q) {
    bool in = false;
    for (std::size_t i = 0, j = p.size() - 1; i < p.size(); j = i++)
        if ((p[i].y > q.y) != (p[j].y > q.y) &&
            q.x < (p[j].x - p[i].x) * (q.y - p[i].y) / (p[j].y - p[i].y) + p[i].x)
            in = !in;
    return in;
}

TEST(Triangulate, ConvexPolygonIsAFan) {
    const std::vector<glm::vec3> sq = {{0, 0, 0}, {1, 0, 0}, {1, 1, 0}, {0, 1, 0}, {0, 0.5f, 0}};
    const auto tris = rm::TriangulatePolygon(sq);
    ASSERT_EQ(3u, tris.size());
    for (const auto& t : tris) EXPECT_EQ(0u, t[0]);
}

TEST(Triangulate, NonConvexPolygonByEars) {
    // An arrow-shaped, non-convex hexagon, counter-clockwise, in a tilted plane.
    const std::vector<glm::vec3> flat = {{0, 0, 0}, {4, 0, 0}, {4, 4, 0},
                                         {2, 1, 0}, {0, 4, 0}, {1, 2, 0}};
    const double polygonArea = 0.5 * std::abs([&] {
                                   double s = 0;
                                   for (std::size_t i = 0; i < flat.size(); ++i) {
                                       const glm::vec3 a = flat[i], b = flat[(i + 1) % flat.size()];
                                       s += a.x * b.y - b.x * a.y;
                                   }
                                   return s;
                               }());
    const auto tris = rm::TriangulatePolygon(flat);
    ASSERT_EQ(4u, tris.size());
    double sum = 0;
    for (const auto& t : tris) {
        const double a = Area2D(flat, t);
        EXPECT_GT(a, 0.0);  // keeps the polygon's orientation
        sum += a;
        const glm::vec3 c = (flat[t[0]] + flat[t[1]] + flat[t[2]]) / 3.0f;
        EXPECT_TRUE(InsidePolygon(flat, {c.x, c.y})) << "triangle outside the polygon";
    }
    EXPECT_NEAR(polygonArea, sum, 1e-9);

    // The same polygon rotated out of the xy plane gives the same triangles.
    std::vector<glm::vec3> tilted;
    for (const glm::vec3& p : flat) tilted.push_back({p.x, p.y * 0.6f, p.y * 0.8f});
    EXPECT_EQ(tris, rm::TriangulatePolygon(tilted));
}

TEST(Triangulate, DegenerateAndSelfIntersecting) {
    EXPECT_TRUE(rm::TriangulatePolygon(std::vector<glm::vec3>{{0, 0, 0}, {1, 1, 1}}).empty());
    EXPECT_TRUE(
        rm::TriangulatePolygon(std::vector<glm::vec3>{{0, 0, 0}, {1, 0, 0}, {2, 0, 0}}).empty());
    // Repeated corners are skipped.
    EXPECT_EQ(1u, rm::TriangulatePolygon(
                      std::vector<glm::vec3>{{0, 0, 0}, {0, 0, 0}, {1, 0, 0}, {0, 1, 0}, {0, 0, 0}})
                      .size());
    // A bow tie: whatever comes out stays in range.
    const std::vector<glm::vec3> bow = {{0, 0, 0}, {2, 2, 0}, {2, 0, 0}, {0, 2, 0}, {1, 3, 0}};
    for (const auto& t : rm::TriangulatePolygon(bow))
        for (auto i : t) EXPECT_LT(i, bow.size());
}

TEST_F(MeshTest, DrawMeshFollowsGivenNormalsAndDropsDegenerateFaces) {
    // A triangle counter-clockwise around +z but with its normal given as −z.
    const glm::vec3 v[6] = {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}, {0, 0, 0}, {1, 0, 0}, {2, 0, 0}};
    const glm::vec3 n[1] = {{0, 0, -1}};
    const std::uint32_t f[] = {3, 0, 0, 1, 0, 2, 0, 3, 3, 0, 4, 0, 5, 0, 0};
    mb_->AddFaces(v, n, f);
    const rm::DrawMesh dm = rm::BuildDrawMesh(*mb_->Data());
    ASSERT_EQ(3u, dm.vertices.size());  // the collinear face is gone
    ASSERT_EQ(3u, dm.triangles.size());
    EXPECT_EQ(glm::vec3(0, 0, -1), dm.vertices[0].faceNormal);
    const glm::vec3 a = dm.vertices[dm.triangles[0]].position,
                    b = dm.vertices[dm.triangles[1]].position,
                    c = dm.vertices[dm.triangles[2]].position;
    EXPECT_LT(glm::dot(glm::cross(b - a, c - a), glm::vec3(0, 0, 1)), 0.0f);  // turned round
    EXPECT_EQ(6u, dm.edges.size());
    EXPECT_EQ(glm::vec3(1.0f / 3, 1.0f / 3, 0), dm.vertices[1].faceCenter);
}

// The GPU form of a vertex keeps normals to 10 signed bits and colours to
// 8 bits, with signs, the ends of the range and bad values handled.
TEST(PackedDrawVertex, KeepsNormalsAndColoursWithinTheirSteps) {
    const rm::DrawVertex cases[] = {
        {{1, 2, 3}, {0, 0, -1}, {0.6f, -0.8f, 0}, {4, 5, 6}, {0.25f, 0.75f}, {1, 0.5f, 0}},
        {{0, 0, 0}, {-0.577f, 0.577f, -0.577f}, {1, 0, 0}, {0, 0, 0}, {0, 0}, {0.2f, 0.4f, 0.6f}},
        // Out of range and not a number: clamped, and zero.
        {{0, 0, 0}, {2, -3, NAN}, {0, 1, 0}, {0, 0, 0}, {0, 0}, {1.5f, -1, NAN}},
    };
    const rm::DrawVertex expected[] = {
        cases[0],
        cases[1],
        {{0, 0, 0}, {1, -1, 0}, {0, 1, 0}, {0, 0, 0}, {0, 0}, {1, 0, 0}},
    };
    for (int i = 0; i < 3; ++i) {
        SCOPED_TRACE(i);
        const rm::DrawVertex back = rm::Unpack(rm::PackedDrawVertex(cases[i]));
        EXPECT_EQ(expected[i].position, back.position);
        EXPECT_EQ(expected[i].faceCenter, back.faceCenter);
        EXPECT_EQ(expected[i].uv, back.uv);
        for (int c = 0; c < 3; ++c) {
            EXPECT_NEAR(expected[i].normal[c], back.normal[c], 0.5f / 511 + 1e-6f);
            EXPECT_NEAR(expected[i].faceNormal[c], back.faceNormal[c], 0.5f / 511 + 1e-6f);
            EXPECT_NEAR(expected[i].color[c], back.color[c], 0.5f / 255 + 1e-6f);
        }
    }
    EXPECT_EQ(44u, sizeof(rm::PackedDrawVertex));
}

}  // namespace

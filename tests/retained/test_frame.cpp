// Frames: combine orders, rotations, orientation, positions, hierarchy and reference counts.
#include <gtest/gtest.h>

#include <cfloat>
#include <cmath>
#include <numbers>

#include "retained/retained_mode.h"

namespace {

constexpr float kHalfPi = std::numbers::pi_v<float> / 2;

void ExpectVec(glm::vec3 expected, glm::vec3 actual, float tol = 1e-5f) {
    EXPECT_NEAR(expected.x, actual.x, tol);
    EXPECT_NEAR(expected.y, actual.y, tol);
    EXPECT_NEAR(expected.z, actual.z, tol);
}

glm::vec3 Apply(const glm::mat4& m, glm::vec3 p) {
    return glm::vec3(m * glm::vec4(p, 1.0f));
}

class FrameTest : public ::testing::Test {
  protected:
    void SetUp() override { ASSERT_EQ(rm::kOk, rm::RetainedMode::Create(rm_.Put())); }
    rm::Ptr<rm::Frame> NewFrame(rm::Frame* parent = nullptr) {
        rm::Ptr<rm::Frame> f;
        EXPECT_EQ(rm::kOk, rm_->CreateFrame(parent, f.Put()));
        return f;
    }
    rm::Ptr<rm::RetainedMode> rm_;
};

TEST_F(FrameTest, CombineOrders) {
    // M = translate (1, 0, 0); X = rotate +90° about z. Local point (1, 0, 0).
    auto before = NewFrame();
    before->AddTranslation(rm::Combine::Replace, 1, 0, 0);
    before->AddRotation(rm::Combine::Before, 0, 0, 1, kHalfPi);  // M·X: rotate first
    ExpectVec({1, 1, 0}, Apply(before->GetLocalTransform(), {1, 0, 0}));

    auto after = NewFrame();
    after->AddTranslation(rm::Combine::Replace, 1, 0, 0);
    after->AddRotation(rm::Combine::After, 0, 0, 1, kHalfPi);  // X·M: translate first
    ExpectVec({0, 2, 0}, Apply(after->GetLocalTransform(), {1, 0, 0}));

    auto replace = NewFrame();
    replace->AddScale(rm::Combine::Replace, 3, 3, 3);
    replace->AddTranslation(rm::Combine::Replace, 0, 5, 0);  // the scale is gone
    ExpectVec({1, 5, 0}, Apply(replace->GetLocalTransform(), {1, 0, 0}));

    glm::mat4 m(1.0f);
    m[3] = glm::vec4(0, 0, 7, 1);
    replace->AddTransform(rm::Combine::After, m);
    ExpectVec({1, 5, 7}, Apply(replace->GetLocalTransform(), {1, 0, 0}));
    m[0][0] = NAN;
    EXPECT_EQ(rm::kInvalidArg, replace->AddTransform(rm::Combine::Replace, m));

    // Any element not finite refuses the matrix; the largest, smallest and
    // negative finite values are taken.
    const float bad[] = {NAN, -NAN, INFINITY, -INFINITY};
    const float good[] = {FLT_MAX, -FLT_MAX, FLT_MIN / 4, -0.0f};
    for (int i = 0; i < 16; ++i) {
        for (float v : bad) {
            glm::mat4 x(1.0f);
            x[i / 4][i % 4] = v;
            EXPECT_EQ(rm::kInvalidArg, replace->AddTransform(rm::Combine::Replace, x)) << i;
        }
        for (float v : good) {
            glm::mat4 x(1.0f);
            x[i / 4][i % 4] = v;
            EXPECT_EQ(rm::kOk, replace->AddTransform(rm::Combine::Replace, x)) << i << " " << v;
            EXPECT_EQ(x, replace->GetLocalTransform());
        }
    }
}

TEST_F(FrameTest, RotationsAreRightHanded) {
    // Axis (need not be unit), a point and where a quarter turn takes it.
    const glm::vec3 cases[][3] = {{{0, 0, 1}, {1, 0, 0}, {0, 1, 0}},
                                  {{0, 0, 5}, {1, 0, 0}, {0, 1, 0}},
                                  {{1, 0, 0}, {0, 1, 0}, {0, 0, 1}},
                                  {{0, 1, 0}, {0, 0, 1}, {1, 0, 0}}};
    auto f = NewFrame();
    for (const auto& [axis, from, to] : cases) {
        f->AddRotation(rm::Combine::Replace, axis.x, axis.y, axis.z, kHalfPi);
        ExpectVec(to, Apply(f->GetLocalTransform(), from));
    }
    f->AddRotation(rm::Combine::Replace, 0, 0, 0, 1.0f);  // zero axis: no rotation
    EXPECT_EQ(glm::mat4(1.0f), f->GetLocalTransform());
    EXPECT_EQ(rm::kInvalidArg, f->AddRotation(rm::Combine::Replace, 0, 0, 1, INFINITY));
}

TEST_F(FrameTest, OrientationIsMinusZAndPlusY) {
    auto scene = NewFrame();
    auto f = NewFrame(scene.Get());
    glm::vec3 dir, up;
    f->GetOrientation(scene.Get(), &dir, &up);
    ExpectVec({0, 0, -1}, dir);
    ExpectVec({0, 1, 0}, up);

    // Look along +x with up +y: local −z maps to +x, local +x (right) to +z.
    ASSERT_EQ(rm::kOk, f->SetOrientation(scene.Get(), {2, 0, 0}, {0, 3, 0}));
    f->GetOrientation(scene.Get(), &dir, &up);
    ExpectVec({1, 0, 0}, dir);
    ExpectVec({0, 1, 0}, up);
    const glm::mat4 m = f->GetTransform(scene.Get());
    ExpectVec({0, 0, 1}, glm::mat3(m) * glm::vec3(1, 0, 0));

    // An up not perpendicular to the direction is straightened; the direction wins.
    f->SetOrientation(scene.Get(), {0, 0, -1}, {0, 1, 1});
    f->GetOrientation(scene.Get(), &dir, &up);
    ExpectVec({0, 0, -1}, dir);
    ExpectVec({0, 1, 0}, up);

    EXPECT_EQ(rm::kInvalidArg, f->SetOrientation(scene.Get(), {0, 0, 0}, {0, 1, 0}));
    EXPECT_EQ(rm::kInvalidArg, f->SetOrientation(scene.Get(), {0, 1, 0}, {0, 2, 0}));
}

TEST_F(FrameTest, OrientationAndPositionRelativeToReference) {
    auto scene = NewFrame();
    auto turned = NewFrame(scene.Get());  // turned +90° about y and moved
    turned->AddRotation(rm::Combine::Replace, 0, 1, 0, kHalfPi);
    turned->AddTranslation(rm::Combine::After, 0, 0, 5);
    auto child = NewFrame(turned.Get());

    // In the scene's coordinates, set child to (1, 2, 3) looking along −z.
    child->SetPosition(scene.Get(), 1, 2, 3);
    child->SetOrientation(scene.Get(), {0, 0, -1}, {0, 1, 0});
    ExpectVec({1, 2, 3}, child->GetPosition(scene.Get()));
    ExpectVec({1, 2, 3}, child->GetPosition(nullptr));  // null: world coordinates
    glm::vec3 dir, up;
    child->GetOrientation(nullptr, &dir, &up);
    ExpectVec({0, 0, -1}, dir);
    // Seen from the turned parent, the scene's −z is its local +x... rotated: −z in the
    // parent's coordinates is R⁻¹·(0, 0, −1) = (1, 0, 0).
    child->GetOrientation(turned.Get(), &dir, &up);
    ExpectVec({1, 0, 0}, dir);
    ExpectVec({0, 1, 0}, up);

    // Position relative to a sibling reference, and SetPosition keeps orientation.
    child->SetOrientation(turned.Get(), {0, 0, -1}, {0, 1, 0});
    child->SetPosition(turned.Get(), 0, 0, 1);
    ExpectVec({1, 0, 5}, child->GetPosition(scene.Get()));
    child->GetOrientation(scene.Get(), &dir, &up);
    ExpectVec({-1, 0, 0}, dir);

    // GetTransform maps child coordinates into the reference frame's.
    ExpectVec({0, 0, 1}, Apply(child->GetTransform(turned.Get()), {0, 0, 0}));
    ExpectVec(glm::vec3(child->GetWorldTransform()[3]), child->GetPosition(nullptr));
}

TEST_F(FrameTest, MoveAppliesVelocityAndSpinDownTheTree) {
    auto scene = NewFrame();
    auto f = NewFrame(scene.Get());
    f->AddTranslation(rm::Combine::Replace, 1, 0, 0);
    f->SetVelocity({0, 1, 0});
    f->SetRotation({0, 0, 1}, kHalfPi);
    scene->Move(2.0f);
    ExpectVec({1, 2, 0}, f->GetPosition(scene.Get()));  // spins about its own origin
    glm::vec3 dir, up;
    f->GetOrientation(scene.Get(), &dir, &up);
    ExpectVec({0, -1, 0}, up);  // two quarter turns

    // Motion counts frame by frame: one frame stopping or going leaves another moving.
    auto g = NewFrame(scene.Get());
    g->SetVelocity({1, 0, 0});
    f->SetVelocity({0, 0, 0});
    f->SetVelocity({0, 0, 0});
    scene->DeleteChild(f.Get());
    f = rm::Ptr<rm::Frame>();
    scene->Move(1.0f);
    ExpectVec({1, 0, 0}, g->GetPosition(scene.Get()));
    g->SetVelocity({0, 0, 0});
    scene->Move(1.0f);
    ExpectVec({1, 0, 0}, g->GetPosition(scene.Get()));
}

TEST_F(FrameTest, HierarchyEditsAndCycles) {
    auto scene = NewFrame();
    auto a = NewFrame(scene.Get());
    auto b = NewFrame(a.Get());
    EXPECT_EQ(rm::kInvalidArg, b->AddChild(scene.Get()));  // ancestor
    EXPECT_EQ(rm::kInvalidArg, a->AddChild(a.Get()));
    EXPECT_EQ(rm::kInvalidArg, a->AddChild(nullptr));
    EXPECT_EQ(scene.Get(), b->GetScene());
    // Moving b under the scene takes it from a.
    EXPECT_EQ(rm::kOk, scene->AddChild(b.Get()));
    EXPECT_EQ(scene.Get(), b->GetParent());
    EXPECT_TRUE(a->Children().empty());
    EXPECT_EQ(2u, scene->Children().size());
    EXPECT_EQ(rm::kNotFound, a->DeleteChild(b.Get()));
    EXPECT_EQ(rm::kOk, scene->DeleteChild(b.Get()));
    EXPECT_EQ(nullptr, b->GetParent());
}

TEST_F(FrameTest, ReferenceCounts) {
    rm::Frame* scene = nullptr;
    ASSERT_EQ(rm::kOk, rm_->CreateFrame(nullptr, &scene));
    EXPECT_EQ(1u, scene->RefCount());
    rm::Frame* child = nullptr;
    rm_->CreateFrame(scene, &child);
    EXPECT_EQ(2u, child->RefCount());  // creator and parent
    rm::MeshBuilder* mb = nullptr;
    rm_->CreateMeshBuilder(&mb);
    rm::Material* mat = nullptr;
    rm_->CreateMaterial(5.0f, &mat);
    rm::Light* light = nullptr;
    rm_->CreateLightRGB(rm::LightType::Point, 1, 1, 1, &light);
    child->AddVisual(mb);
    mb->SetMaterial(mat);
    child->AddLight(light);
    child->AddLight(light);  // the same light once only
    EXPECT_EQ(2u, mb->RefCount());
    EXPECT_EQ(2u, mat->RefCount());
    EXPECT_EQ(2u, light->RefCount());
    EXPECT_EQ(rm::kOk, child->DeleteLight(light));
    EXPECT_EQ(rm::kNotFound, child->DeleteLight(light));
    EXPECT_EQ(1u, light->RefCount());
    EXPECT_EQ(0u, light->Release());

    // The caller lets go; the hierarchy keeps everything alive.
    EXPECT_EQ(1u, mb->Release());
    EXPECT_EQ(1u, mat->Release());
    EXPECT_EQ(1u, child->Release());
    EXPECT_EQ(1u, child->Visuals().size());
    // A child that outlives its parent becomes a root.
    child->AddRef();
    EXPECT_EQ(0u, scene->Release());
    EXPECT_EQ(1u, child->RefCount());
    EXPECT_EQ(nullptr, child->GetParent());
    EXPECT_EQ(0u, child->Release());  // frees mesh and material too (ASan checks)
}

}  // namespace

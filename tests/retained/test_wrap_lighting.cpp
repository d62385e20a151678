// Wrap formulas, the lighting formula on the CPU, quality bits, materials.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <numbers>

#include "retained/lighting.h"
#include "retained/retained_mode.h"

namespace {

constexpr float kPi = std::numbers::pi_v<float>;

rm::Ptr<rm::Wrap> MakeWrap(rm::RetainedMode* r, const rm::WrapParams& p) {
    rm::Ptr<rm::Wrap> w;
    EXPECT_EQ(rm::kOk, r->CreateWrap(p, w.Put()));
    return w;
}

class WrapTest : public ::testing::Test {
  protected:
    void SetUp() override { rm::RetainedMode::Create(rm_.Put()); }
    rm::Ptr<rm::RetainedMode> rm_;
};

TEST_F(WrapTest, FlatUsesRightAndUpWithScaleAndOffset) {
    // Direction +z, up +y: right = up × dir = +x.
    rm::WrapParams p;
    p.origin = {1, 1, 0};
    p.su = 2;
    p.sv = 3;
    p.ou = 0.5f;
    p.ov = 0.25f;
    auto w = MakeWrap(rm_.Get(), p);
    const glm::vec2 uv = w->Map({2, 3, 7});
    EXPECT_FLOAT_EQ(2 * 1 + 0.5f, uv.x);
    EXPECT_FLOAT_EQ(3 * 2 + 0.25f, uv.y);
    // As the polygon builder uses it: direction −z, up −y, so right = (−y) × (−z) = +x.
    p = {};
    p.direction = {0, 0, -1};
    p.up = {0, -1, 0};
    auto w2 = MakeWrap(rm_.Get(), p);
    EXPECT_FLOAT_EQ(1.0f, w2->Map({1, 0, 0}).x);
    EXPECT_FLOAT_EQ(-1.0f, w2->Map({0, 1, 0}).y);
}

TEST_F(WrapTest, CylinderAngleAroundDirection) {
    rm::WrapParams p;
    p.type = rm::WrapType::Cylinder;
    p.sv = 0.5f;
    p.ov = 1;
    auto w = MakeWrap(rm_.Get(), p);
    EXPECT_FLOAT_EQ(0.0f, w->Map({1, 0, 0}).x);
    EXPECT_FLOAT_EQ(0.25f, w->Map({0, 1, 0}).x);
    EXPECT_FLOAT_EQ(0.5f, w->Map({-1, 0, 0}).x);
    EXPECT_FLOAT_EQ(0.75f, w->Map({0, -1, 0}).x);
    EXPECT_FLOAT_EQ(0.5f * 4 + 1, w->Map({0, -1, 4}).y);
    EXPECT_FLOAT_EQ(0.0f, w->Map({0, 0, 4}).x);  // on the axis
}

TEST_F(WrapTest, SphereLongitudeAndLatitude) {
    rm::WrapParams p;
    p.type = rm::WrapType::Sphere;
    p.su = -1;
    p.ou = 1;
    auto w = MakeWrap(rm_.Get(), p);
    EXPECT_FLOAT_EQ(0.0f, w->Map({0, 0, 3}).y);   // +z: latitude 0
    EXPECT_FLOAT_EQ(1.0f, w->Map({0, 0, -3}).y);  // −z: latitude π
    EXPECT_NEAR(0.5f, w->Map({0, 2, 0}).y, 1e-6f);
    EXPECT_FLOAT_EQ(1.0f - 0.25f, w->Map({0, 2, 0}).x);
    EXPECT_FLOAT_EQ(1.0f, w->Map({0, 0, 0}).x);  // the centre: angle 0
}

TEST_F(WrapTest, ApplySetsEveryVertexAndBadWrapsFail) {
    rm::Ptr<rm::MeshBuilder> mb;
    rm_->CreateMeshBuilder(mb.Put());
    const glm::vec3 v[3] = {{0, 0, 0}, {2, 0, 0}, {0, 4, 0}};
    const std::uint32_t f[] = {3, 0, 1, 2, 0};
    mb->AddFaces(v, {}, f);
    rm::WrapParams p;
    p.su = 0.5f;
    p.sv = 0.25f;
    auto w = MakeWrap(rm_.Get(), p);
    ASSERT_EQ(rm::kOk, w->Apply(mb.Get()));
    float u, t;
    mb->GetTextureCoordinates(1, &u, &t);
    EXPECT_FLOAT_EQ(1.0f, u);
    mb->GetTextureCoordinates(2, &u, &t);
    EXPECT_FLOAT_EQ(1.0f, t);
    EXPECT_EQ(rm::kInvalidArg, w->Apply(nullptr));

    rm::Wrap* bad = nullptr;
    p.direction = {0, 0, 0};
    EXPECT_EQ(rm::kInvalidArg, rm_->CreateWrap(p, &bad));
    p.direction = {0, 1, 0};  // parallel to up
    EXPECT_EQ(rm::kInvalidArg, rm_->CreateWrap(p, &bad));
    EXPECT_EQ(nullptr, bad);
}

TEST(Quality, BitsAndEffectiveQuality) {
    const rm::QualityParts gouraud = rm::DecodeQuality(137);
    EXPECT_EQ(rm::Shade::Gouraud, gouraud.shade);
    EXPECT_TRUE(gouraud.lit);
    EXPECT_EQ(rm::Fill::Solid, gouraud.fill);
    const rm::QualityParts wire = rm::DecodeQuality(64);
    EXPECT_EQ(rm::Shade::Flat, wire.shade);
    EXPECT_FALSE(wire.lit);
    EXPECT_EQ(rm::Fill::Wireframe, wire.fill);
    EXPECT_EQ(rm::Fill::Points, rm::DecodeQuality(9).fill);
    EXPECT_EQ(64u, rm::EffectiveQuality(137, 64));
    EXPECT_EQ(64u, rm::EffectiveQuality(64, 137));
    EXPECT_EQ(136u, rm::EffectiveQuality(136, 137));  // flat device, Gouraud mesh
}

TEST(Lighting, FormulaTerms) {
    rm::MaterialSnapshot m;
    m.emissive = {0.1f, 0, 0};
    m.specular = {0, 0, 1};
    m.power = 2;
    const glm::vec3 R(0.5f, 0.5f, 0.5f), n(0, 0, 1), eye(0, 0, 10), p(0, 0, 0);
    // A white light 60° off the normal, in the plane of n and the eye.
    const glm::vec3 l = glm::normalize(glm::vec3(std::sqrt(3.0f), 0, 1));
    std::vector<rm::LightSnapshot> lights(1);
    lights[0].type = rm::LightType::Directional;
    lights[0].direction = -l;
    const glm::vec3 c = rm::ShadePoint(m, R, lights, p, n, eye);
    const float nh = glm::dot(n, glm::normalize(l + glm::vec3(0, 0, 1)));  // cos 30°
    EXPECT_NEAR(0.1f + 0.5f * 0.5f, c.r, 1e-5f);
    EXPECT_NEAR(0.5f * 0.5f, c.g, 1e-5f);
    EXPECT_NEAR(0.25f + std::pow(nh, 2.0f), c.b, 1e-5f);

    // From behind: only the emissive colour, and the specular part where n·h > 0 is gone.
    lights[0].direction = {0, 0, 1};
    EXPECT_EQ(glm::vec3(0.1f, 0, 0), rm::ShadePoint(m, R, lights, p, n, eye));
    // A point light sits at its position; an ambient light ignores the normal.
    lights[0] = {rm::LightType::Point, glm::vec3(1), glm::vec3(0, 0, 5), glm::vec3(0)};
    EXPECT_NEAR(0.1f + 0.5f, rm::ShadePoint(m, R, lights, p, n, eye).r, 1e-5f);
    lights[0] = {rm::LightType::Ambient, glm::vec3(0.5f), glm::vec3(0), glm::vec3(0)};
    EXPECT_NEAR(0.1f + 0.25f, rm::ShadePoint(m, R, lights, p, -n, eye).r, 1e-5f);
    // Unlit: the reflectance times the texel.
    EXPECT_EQ(glm::vec3(0.25f, 0.5f, 0),
              rm::ShadePoint(m, R, lights, p, n, eye, glm::vec3(0.5f, 1, 0), false));
    // A texel multiplies emissive and diffuse but not specular.
    lights[0] = {rm::LightType::Directional, glm::vec3(1), glm::vec3(0), glm::vec3(0, 0, -1)};
    const glm::vec3 t = rm::ShadePoint(m, R, lights, p, n, eye, glm::vec3(0));
    EXPECT_EQ(glm::vec3(0, 0, 1), t);
}

// Point and spot lights at (0, 0, 4) over a white surface at the origin facing them: how
// attenuation, range, cone and ambient parts scale the red channel.
TEST(Lighting, FadingLights) {
    struct Row {
        const char* what;
        rm::LightType type;
        glm::vec3 attenuation;
        float range, beamWidth, cutOffAngle;
        glm::vec3 direction;
        float ambientIntensity;  // the material's; the light's ambient colour is 0.5
        float red;
    };
    const float off = std::atan(0.25f);  // the angle to a point 1 to the side
    const Row rows[] = {
        {"plain", rm::LightType::Point, {1, 0, 0}, 100, 0, 0, {0, 0, -1}, 0, 1},
        {"linear", rm::LightType::Point, {0, 0.5f, 0}, 100, 0, 0, {0, 0, -1}, 0, 0.5f},
        {"quadratic", rm::LightType::Point, {0, 0, 0.25f}, 100, 0, 0, {0, 0, -1}, 0, 0.25f},
        {"never brighter", rm::LightType::Point, {0.1f, 0, 0}, 100, 0, 0, {0, 0, -1}, 0, 1},
        {"out of range", rm::LightType::Point, {1, 0, 0}, 3.9f, 0, 0, {0, 0, -1}, 1, 0},
        // Half strength: (n·l = 1) + 0.4 × its ambient 0.5.
        {"ambient part", rm::LightType::Point, {0, 0.5f, 0}, 100, 0, 0, {0, 0, -1}, 0.4f, 0.6f},
        {"spot in beam", rm::LightType::Spot, {1, 0, 0}, 100, 0.3f, 0.5f, {0, 0, -1}, 0, 1},
        {"spot past cut-off",
         rm::LightType::Spot,
         {1, 0, 0},
         100,
         0.1f,
         0.2f,
         glm::normalize(glm::vec3(1, 0, -4)),
         0,
         0},
        {"spot between",
         rm::LightType::Spot,
         {1, 0, 0},
         100,
         0,
         2 * off,
         glm::normalize(glm::vec3(1, 0, -4)),
         0,
         0.5f},
    };
    rm::MaterialSnapshot m;
    for (const Row& r : rows) {
        rm::LightSnapshot l;
        l.type = r.type;
        l.position = {0, 0, 4};
        l.direction = r.direction;
        l.attenuation = r.attenuation;
        l.range = r.range;
        l.beamWidth = r.beamWidth;
        l.cutOffAngle = r.cutOffAngle;
        l.ambient = glm::vec3(0.5f);
        m.ambientIntensity = r.ambientIntensity;
        const glm::vec3 c =
            rm::ShadePoint(m, glm::vec3(1), std::span(&l, 1), glm::vec3(0), {0, 0, 1}, {0, 0, 10});
        EXPECT_NEAR(r.red, c.r, 1e-3f) << r.what;
    }
    // An RGB texture replaces the reflectance; two lights do not brighten it past itself.
    rm::LightSnapshot two[2];
    two[0].type = two[1].type = rm::LightType::Directional;
    const glm::vec3 texel(0.6f, 0.3f, 0.1f);
    EXPECT_EQ(texel, rm::ShadePoint(m, glm::vec3(0, 0, 1), two, glm::vec3(0), {0, 0, 1}, {0, 0, 10},
                                    texel, true, true));
    EXPECT_EQ(glm::vec3(0, 0, 0.2f), rm::ShadePoint(m, glm::vec3(0, 0, 1), two, glm::vec3(0),
                                                    {0, 0, 1}, {0, 0, 10}, texel));
}

TEST(Lighting, InfiniteOrNaNPowerNeverReachesAColour) {
    EXPECT_EQ(rm::Material::kMaxPower,
              rm::Material::SanitizedPower(std::numeric_limits<float>::infinity()));
    EXPECT_EQ(0.0f, rm::Material::SanitizedPower(std::nanf("")));
    EXPECT_EQ(0.0f, rm::Material::SanitizedPower(-3.0f));
    EXPECT_EQ(5.0f, rm::Material::SanitizedPower(5.0f));
    rm::MaterialSnapshot m;
    m.specular = glm::vec3(1);
    m.power = rm::Material::SanitizedPower(1.0f / 0.0f);
    std::vector<rm::LightSnapshot> lights(1);
    lights[0].type = rm::LightType::Directional;
    lights[0].direction = glm::normalize(glm::vec3(-0.3f, 0, -1));
    const glm::vec3 c =
        rm::ShadePoint(m, glm::vec3(0.5f), lights, glm::vec3(0), {0, 0, 1}, {0, 0, 10});
    for (int i = 0; i < 3; ++i) EXPECT_TRUE(std::isfinite(c[i]));
    EXPECT_NEAR(0.5f * glm::dot(glm::vec3(0, 0, 1), -lights[0].direction), c.r, 1e-4f);
}

}  // namespace

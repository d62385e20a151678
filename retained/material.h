// Surface reflectance of a meshbuilder. The diffuse reflectance is the material's
// ambient colour (scene translation stores a VRML diffuseColor there); a material whose
// ambient colour was never set leaves the meshbuilder's own colour as the reflectance.
#pragma once

#include <atomic>
#include <cstdint>
#include <optional>

#include <glm/glm.hpp>

#include "retained/object.h"

namespace rm {

class Material : public Object {
  public:
    void SetAmbient(float r, float g, float b) {
        ambient_ = glm::vec3(r, g, b);
        Edited();
    }
    void SetEmissive(float r, float g, float b) {
        emissive_ = {r, g, b};
        Edited();
    }
    void SetSpecular(float r, float g, float b) {
        specular_ = {r, g, b};
        Edited();
    }
    // The specular exponent. Any float is accepted (1/0 from a shininess of 0 gives +inf);
    // the snapshot hands the backend SanitizedPower(), which is always finite.
    void SetPower(float power) {
        power_ = power;
        Edited();
    }
    // How much of the lights' ambient parts the surface reflects (0 by default).
    void SetAmbientIntensity(float a) {
        ambientIntensity_ = a;
        Edited();
    }
    float GetAmbientIntensity() const { return ambientIntensity_; }
    // 0 is opaque, 1 invisible; a transparent surface is blended over what lies behind it.
    void SetTransparency(float t) {
        transparency_ = t;
        Edited();
    }
    float GetTransparency() const { return transparency_; }

    std::optional<glm::vec3> GetAmbient() const { return ambient_; }
    glm::vec3 GetEmissive() const { return emissive_; }
    glm::vec3 GetSpecular() const { return specular_; }
    float GetPower() const { return power_; }

    // Power clamped into [0, kMaxPower]; NaN gives 0, +inf gives kMaxPower. With n·h ≤ 1
    // an exponent of kMaxPower already leaves only an exact highlight.
    static constexpr float kMaxPower = 1000.0f;
    static float SanitizedPower(float power);

    // Counts the changes to the values of every material, made and destroyed ones
    // included: values copied out of a material at one count still hold while the
    // count stays the same, without reading the material again.
    static std::uint64_t Edits() { return edits_.load(std::memory_order_relaxed); }

  private:
    friend class RetainedMode;
    explicit Material(float power) : power_(power) { Edited(); }
    ~Material() override { Edited(); }
    static void Edited() { edits_.fetch_add(1, std::memory_order_relaxed); }
    static inline std::atomic<std::uint64_t> edits_{0};
    std::optional<glm::vec3> ambient_;
    glm::vec3 emissive_{0.0f};
    glm::vec3 specular_{0.0f};
    float power_;
    float ambientIntensity_ = 0.0f;
    float transparency_ = 0.0f;
};

}  // namespace rm

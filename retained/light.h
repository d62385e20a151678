// A light source: its colour and kind. Where it sits and where it shines come from
// the frames it is added to (see types.h for the kinds).
#pragma once

#include <limits>

#include <glm/glm.hpp>

#include "retained/object.h"
#include "retained/types.h"

namespace rm {

class Light : public Object {
  public:
    LightType GetType() const { return type_; }
    glm::vec3 GetColor() const { return color_; }
    void SetColorRGB(float r, float g, float b) { color_ = {r, g, b}; }
    // The light's ambient part: this colour × the material's ambient intensity × its
    // reflectance, wherever the light reaches, whatever the normal. Black by default.
    glm::vec3 GetAmbientColor() const { return ambient_; }
    void SetAmbientColorRGB(float r, float g, float b) { ambient_ = {r, g, b}; }
    // Point and spot lights: the light is divided by max(1, a0 + a1·d + a2·d²) at distance d
    // and reaches nothing farther than the radius (both in the light frame's units).
    glm::vec3 GetAttenuation() const { return attenuation_; }
    void SetAttenuation(float a0, float a1, float a2) { attenuation_ = {a0, a1, a2}; }
    float GetRange() const { return range_; }
    void SetRange(float range) { range_ = range; }
    // Spot lights: full light within beamWidth of the direction, none past cutOffAngle,
    // falling off linearly in angle between (radians; a beam wider than the cut-off is
    // the cut-off).
    float GetBeamWidth() const { return beamWidth_; }
    float GetCutOffAngle() const { return cutOffAngle_; }
    void SetCone(float beamWidth, float cutOffAngle) {
        beamWidth_ = beamWidth;
        cutOffAngle_ = cutOffAngle;
    }
    // A scoped light lights only the visuals under the parent of the frame it is added to
    // (its group), not the whole scene.
    bool IsScoped() const { return scoped_; }
    void SetScoped(bool scoped) { scoped_ = scoped; }

  private:
    friend class RetainedMode;
    Light(LightType type, glm::vec3 color) : type_(type), color_(color) {}
    LightType type_;
    glm::vec3 color_;
    glm::vec3 ambient_{0.0f};
    glm::vec3 attenuation_{1.0f, 0.0f, 0.0f};
    float range_ = std::numeric_limits<float>::infinity();
    float beamWidth_ = 1.570796f;
    float cutOffAngle_ = 0.785398f;
    bool scoped_ = false;
};

}  // namespace rm

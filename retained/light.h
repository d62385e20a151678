// A light source: its colour and kind. Where it sits and where it shines come from
// the frames it is added to (see types.h for the kinds).
#pragma once

#include <glm/glm.hpp>

#include "retained/object.h"
#include "retained/types.h"

namespace rm {

class Light : public Object {
  public:
    LightType GetType() const { return type_; }
    glm::vec3 GetColor() const { return color_; }
    void SetColorRGB(float r, float g, float b) { color_ = {r, g, b}; }

  private:
    friend class RetainedMode;
    Light(LightType type, glm::vec3 color) : type_(type), color_(color) {}
    LightType type_;
    glm::vec3 color_;
};

}  // namespace rm

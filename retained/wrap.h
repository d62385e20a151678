// Wrap: computes texture coordinates for every vertex of a meshbuilder from a flat,
// cylindrical or spherical projection.
#pragma once

#include <glm/glm.hpp>

#include "retained/meshbuilder.h"
#include "retained/object.h"
#include "retained/result.h"
#include "retained/types.h"

namespace rm {

// The wrap's frame has its origin at o, its z axis along the direction d, its y axis
// along up u (made perpendicular to d) and its x axis along u × d. With (x, y, z) a
// vertex in that frame, scale (su, sv) and offset (ou, ov):
//   Flat:     u = su·x + ou,                 v = sv·y + ov
//   Cylinder: u = su·angle/2π + ou,          v = sv·z + ov
//   Sphere:   u = su·longitude/2π + ou,      v = sv·latitude/π + ov
// angle and longitude are atan2(y, x) in [0, 2π) (0 on +x, π/2 on +y); latitude is the
// angle from +z, in [0, π]. A vertex at the origin gets angle and latitude 0.
struct WrapParams {
    WrapType type = WrapType::Flat;
    glm::vec3 origin{0.0f};
    glm::vec3 direction{0.0f, 0.0f, 1.0f};
    glm::vec3 up{0.0f, 1.0f, 0.0f};
    float ou = 0.0f, ov = 0.0f;
    float su = 1.0f, sv = 1.0f;
};

class Wrap : public Object {
  public:
    // Sets the texture coordinates of every vertex of mesh; kInvalidArg for null.
    Result Apply(MeshBuilder* mesh) const;
    // The (u, v) of one point in the meshbuilder's coordinates.
    glm::vec2 Map(glm::vec3 p) const;
    const WrapParams& Params() const { return params_; }

  private:
    friend class RetainedMode;
    Wrap(const WrapParams& p, glm::vec3 x, glm::vec3 y, glm::vec3 z)
        : params_(p), x_(x), y_(y), z_(z) {}
    WrapParams params_;
    glm::vec3 x_, y_, z_;  // unit axes of the wrap frame
};

}  // namespace rm

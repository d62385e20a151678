// The lighting formula on the CPU: what the shaders of retained/gl compute, written
// once in C++ for tests and for anyone who needs a colour without drawing.
#pragma once

#include <span>

#include <glm/glm.hpp>

#include "retained/snapshot.h"

namespace rm {

// Colour of a surface point p with unit normal n, seen from eye:
//   texel × (emissive + Σ ambient lights c × R + Σ other lights c × R × max(0, n·l))
//   + Σ other lights c × specular × max(0, n·h)^power
// where R is the diffuse reflectance, l the unit vector towards the light (for a
// directional light, against its unit direction), h the unit half vector of l and the
// direction towards the eye; the specular term is 0 where n·h ≤ 0. The texel multiplies the
// emissive term too, so a texture on a white emissive material (the background sphere) shows its
// picture unlit. Unlit (lit = false) the colour is texel × R. The result is clamped to [0, 1]; NaN
// gives 0. A face seen from the back is shaded with −n: callers pass the normal facing the eye.
glm::vec3 ShadePoint(const MaterialSnapshot& m, glm::vec3 reflectance,
                     std::span<const LightSnapshot> lights, glm::vec3 p, glm::vec3 n, glm::vec3 eye,
                     glm::vec3 texel = glm::vec3(1.0f), bool lit = true);

}  // namespace rm

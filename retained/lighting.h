// The lighting formula on the CPU: what the shaders of retained/gl compute, written
// once in C++ for tests and for anyone who needs a colour without drawing.
#pragma once

#include <span>

#include <glm/glm.hpp>

#include "retained/snapshot.h"

namespace rm {

// Colour of a surface point p with unit normal n, seen from eye:
//   texel × (emissive + R × Σ lights f × (ambient × ambientIntensity + c × max(0, n·l)))
//   + Σ lights f × c × specular × max(0, n·h)^power
// where R is the diffuse reflectance, c a light's colour and `ambient` its ambient colour
// (an Ambient light adds c × R alone), l the unit vector towards the light (for a
// directional light, against its unit direction), h the unit half vector of l and the
// direction towards the eye; the specular term is 0 where n·h ≤ 0. f is 1 for directional
// lights; for point and spot lights 0 beyond their range, else 1 / max(1, a0 + a1·d + a2·d²)
// at distance d, and for a spot light times 1 within beamWidth of its direction, 0 past
// cutOffAngle, linear in the angle between. The texel multiplies the emissive term too, so
// a texture on a white emissive material (the background sphere) shows its picture unlit.
// A texture that replaces the diffuse colour (replaceDiffuse: an RGB picture) gives
//   texel × min(1, emissive + Σ lights f × (…)) + highlights,
// never brighter than the picture. Unlit (lit = false) the colour is texel × R. The result
// is clamped to [0, 1]; NaN gives 0. A face seen from the back is shaded with −n: callers
// pass the normal facing the eye, and only the lights that reach the point.
glm::vec3 ShadePoint(const MaterialSnapshot& m, glm::vec3 reflectance,
                     std::span<const LightSnapshot> lights, glm::vec3 p, glm::vec3 n, glm::vec3 eye,
                     glm::vec3 texel = glm::vec3(1.0f), bool lit = true,
                     bool replaceDiffuse = false);

// A spot light's share at cosAngle (the cosine of the angle between its direction and
// the way to the point): 1 within beamWidth, 0 past cutOffAngle, linear in angle between.
float SpotFactor(float cosAngle, float beamWidth, float cutOffAngle);

}  // namespace rm

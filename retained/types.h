// Small value types shared by the retained-mode objects: how transforms combine,
// the kinds of lights and wraps, bounding boxes, and the render-quality bit set.
#pragma once

#include <cstdint>

#include <glm/glm.hpp>

namespace rm {

// How AddTranslation/AddScale/AddRotation/AddTransform combine X with a frame's
// current transform M (column vectors; the transform maps local to parent coordinates):
//   Replace: X;
//   Before:  M·X — X applies first, in the frame's own coordinates;
//   After:   X·M — X applies last, in the parent's coordinates.
enum class Combine { Replace, Before, After };

// Ambient: adds colour × reflectance everywhere, no direction.
// Directional: shines along its frame's direction (local −z), from infinitely far.
// Point: sits at its frame's origin, shines every way; attenuated and limited to a radius as
// the light says (by default neither).
// Spot: a point light whose light leaves in a cone along its frame's direction (local −z).
enum class LightType { Ambient, Directional, Point, Spot };

enum class WrapType { Flat, Cylinder, Sphere };

// Fog over a scene: what is `visibilityRange` or more from the eye takes the fog's
// colour entirely; nearer, it fades in linearly or exponentially with the distance.
// A range of 0 or less, or type None, is no fog.
enum class FogType { None, Linear, Exponential };
struct Fog {
    FogType type = FogType::None;
    glm::vec3 color{1.0f};
    float visibilityRange = 0.0f;
    bool On() const { return type != FogType::None && visibilityRange > 0.0f; }
};

// Axis-aligned box; a default box is empty (min > max).
struct Box {
    glm::vec3 min{1.0f};
    glm::vec3 max{-1.0f};
    bool Empty() const { return min.x > max.x || min.y > max.y || min.z > max.z; }
};

// Render quality: shade mode in bits 0–2, lighting in bits 3–4, fill mode in bits 6–8.
using Quality = std::uint32_t;
inline constexpr Quality kShadeFlat = 0;
inline constexpr Quality kShadeGouraud = 1;
inline constexpr Quality kShadeMask = 0x7;
inline constexpr Quality kLightOff = 0;
inline constexpr Quality kLightOn = 8;
inline constexpr Quality kLightMask = 0x18;
inline constexpr Quality kFillPoints = 0;
inline constexpr Quality kFillWireframe = 64;
inline constexpr Quality kFillSolid = 128;
inline constexpr Quality kFillMask = 0x1C0;
inline constexpr Quality kRenderGouraud = kShadeGouraud | kLightOn | kFillSolid;      // 137
inline constexpr Quality kRenderFlat = kShadeFlat | kLightOn | kFillSolid;            // 136
inline constexpr Quality kRenderWireframe = kShadeFlat | kLightOff | kFillWireframe;  // 64

enum class Shade { Flat, Gouraud };
enum class Fill { Points, Wireframe, Solid };

// What one quality value asks for. Shade values above Gouraud (Phong) draw as Gouraud.
struct QualityParts {
    Shade shade;
    bool lit;
    Fill fill;
};
QualityParts DecodeQuality(Quality q);

// The quality a visual is drawn with: each part is the lower of the device's and the
// meshbuilder's, so a wireframe device shows every mesh as wireframe and a wireframe
// mesh stays wireframe on a solid device.
Quality EffectiveQuality(Quality device, Quality mesh);

}  // namespace rm

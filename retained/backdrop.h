// Backdrop: what a scene shows behind everything else, around the viewer at an infinite
// distance: a sky gradient, a ground gradient over it, and pictures on a cube over both.
// It turns with the camera but never comes nearer, whatever the camera's position.
#pragma once

#include <array>
#include <vector>

#include <glm/glm.hpp>

#include "retained/object.h"
#include "retained/texture.h"

namespace rm {

// Colours over an angle: colors[i] at angles[i] radians (angles[0] is 0, the angles never
// fall), interpolated linearly between.
struct Gradient {
    std::vector<glm::vec3> colors;
    std::vector<float> angles;
};

// The faces of the picture cube, each named by where it lies as the untransformed camera
// sees it: back +z, bottom −y, front −z, left −x, right +x, top +y.
enum BackdropFace { kBackFace, kBottomFace, kFrontFace, kLeftFace, kRightFace, kTopFace };

struct Backdrop {
    // The sky's angles are from straight up; past its last angle the sky keeps its last
    // colour down to straight down. No colour: black. The ground's angles are from
    // straight down; it is drawn over the sky up to its last angle only (one colour alone
    // covers nothing).
    Gradient sky, ground;
    // The pictures, seen from inside the cube: the four sides upright; the top with its
    // upper edge towards the back (+z), the bottom with its upper edge towards the front
    // (−z). A picture's transparent pixels show the gradients; null faces show them too.
    std::array<Ptr<Texture>, 6> faces;
    // The backdrop's axes in world coordinates (a rotation).
    glm::mat3 orientation{1.0f};
};

}  // namespace rm

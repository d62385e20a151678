// The entry view: where "[Entry]" puts the camera. The start view (camera at 0 0 10,
// looking along -z, the viewport's start field and planes) unless the scene has no
// Viewpoint and its bounds at load do not fit that view: then the camera moves, still
// looking along -z, so that the bounds fill the view, and the clipping planes follow.
#pragma once

#include <glm/glm.hpp>

#include "retained/types.h"

struct EntryView {
    glm::vec3 position{0, 0, 10};
    float front = 0.1f, back = 5000.0f;  // the viewport's clipping planes
    bool fitted = false;                 // moved from the start view to fit the bounds
};

// Whether `bounds` fits the start view: every corner in front of the camera between the
// clipping planes and inside the view, and the box, as seen, at least a hundredth of
// the view's width across in one direction or the other. halfExtent is the view's half
// width and half height at distance 1. An empty box fits.
bool FitsStartView(const rm::Box& bounds, glm::vec2 halfExtent);

// The start view when the bounds fit it; else the view, looking along -z, whose sides
// the bounds' nearest face fills to within a twentieth, with the planes round it.
EntryView EntryViewFor(const rm::Box& bounds, glm::vec2 halfExtent);

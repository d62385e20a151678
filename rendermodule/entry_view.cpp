#include "rendermodule/entry_view.h"

#include <algorithm>
#include <cmath>

namespace {

// The bounds take this share of the view's width or height, whichever limits.
constexpr float kFill = 0.9f;

}  // namespace

bool FitsStartView(const rm::Box& bounds, glm::vec2 halfExtent) {
    if (bounds.Empty()) return true;
    const EntryView start;
    glm::vec2 lo(INFINITY), hi(-INFINITY);  // the corners' places on a plane at distance 1
    for (int corner = 0; corner < 8; ++corner) {
        const glm::vec3 p((corner & 1 ? bounds.max : bounds.min).x,
                          (corner & 2 ? bounds.max : bounds.min).y,
                          (corner & 4 ? bounds.max : bounds.min).z);
        const glm::vec3 r = p - start.position;
        const float depth = -r.z;
        if (!(depth >= start.front && depth <= start.back)) return false;
        const glm::vec2 seen = glm::vec2(r) / depth;
        if (std::abs(seen.x) > halfExtent.x || std::abs(seen.y) > halfExtent.y) return false;
        lo = glm::min(lo, seen);
        hi = glm::max(hi, seen);
    }
    const float width = 2 * halfExtent.x;
    return hi.x - lo.x >= width / 100 || hi.y - lo.y >= width / 100;
}

EntryView EntryViewFor(const rm::Box& bounds, glm::vec2 halfExtent) {
    EntryView view;
    if (FitsStartView(bounds, halfExtent) || !(halfExtent.x > 0 && halfExtent.y > 0)) return view;
    const glm::vec3 centre = (bounds.min + bounds.max) / 2.0f;
    const glm::vec3 half = (bounds.max - bounds.min) / 2.0f;
    // From the nearest face (z = max.z), the distance at which it fills the view.
    float distance = std::max(half.x / halfExtent.x, half.y / halfExtent.y) / kFill;
    if (!(distance > 0) || !std::isfinite(distance)) distance = 10;  // a point, or a line along z
    view.position = {centre.x, centre.y, bounds.max.z + distance};
    view.front = std::min(view.front, distance / 2);
    view.back = std::max(view.back, 2 * (distance + 2 * half.z));
    view.fitted = true;
    return view;
}

#include "retained/lighting.h"

#include <algorithm>
#include <cmath>

namespace rm {

glm::vec3 ShadePoint(const MaterialSnapshot& m, glm::vec3 reflectance,
                     std::span<const LightSnapshot> lights, glm::vec3 p, glm::vec3 n, glm::vec3 eye,
                     glm::vec3 texel, bool lit) {
    glm::vec3 c;
    if (!lit) {
        c = texel * reflectance;
    } else {
        glm::vec3 base = m.emissive, highlight(0.0f);
        const glm::vec3 toEye = glm::normalize(eye - p);
        for (const LightSnapshot& l : lights) {
            if (l.type == LightType::Ambient) {
                base += l.color * reflectance;
                continue;
            }
            glm::vec3 toLight = -l.direction;
            if (l.type == LightType::Point) {
                const glm::vec3 d = l.position - p;
                const float len = glm::length(d);
                toLight = len > 0.0f ? d / len : n;  // a point at the light faces it
            }
            base += l.color * reflectance * std::max(0.0f, glm::dot(n, toLight));
            const glm::vec3 h = toLight + toEye;
            const float hl = glm::length(h);
            const float nh = hl > 0.0f ? glm::dot(n, h / hl) : 0.0f;
            if (nh > 0.0f) highlight += l.color * m.specular * std::pow(nh, m.power);
        }
        c = texel * base + highlight;
    }
    for (int i = 0; i < 3; ++i) c[i] = std::isnan(c[i]) ? 0.0f : std::clamp(c[i], 0.0f, 1.0f);
    return c;
}

}  // namespace rm

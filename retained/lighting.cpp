#include "retained/lighting.h"

#include <algorithm>
#include <cmath>

namespace rm {

glm::vec3 ShadePoint(const MaterialSnapshot& m, glm::vec3 reflectance,
                     std::span<const LightSnapshot> lights, glm::vec3 p, glm::vec3 n, glm::vec3 eye,
                     glm::vec3 texel, bool lit, bool replaceDiffuse) {
    glm::vec3 c;
    if (!lit) {
        c = texel * reflectance;
    } else {
        glm::vec3 received(0.0f), highlight(0.0f);
        const glm::vec3 toEye = glm::normalize(eye - p);
        for (const LightSnapshot& l : lights) {
            if (l.type == LightType::Ambient) {
                received += l.color;
                continue;
            }
            glm::vec3 toLight = -l.direction;
            float f = 1.0f;
            if (l.type == LightType::Point || l.type == LightType::Spot) {
                const glm::vec3 d = l.position - p;
                const float len = glm::length(d);
                if (len > l.range) continue;
                toLight = len > 0.0f ? d / len : n;  // a point at the light faces it
                const glm::vec3 a = l.attenuation;
                f = 1.0f / std::max(1.0f, a.x + a.y * len + a.z * len * len);
                if (l.type == LightType::Spot)
                    f *= SpotFactor(glm::dot(-toLight, l.direction), l.beamWidth, l.cutOffAngle);
            }
            received += f * (l.ambient * m.ambientIntensity +
                             l.color * std::max(0.0f, glm::dot(n, toLight)));
            const glm::vec3 h = toLight + toEye;
            const float hl = glm::length(h);
            const float nh = hl > 0.0f ? glm::dot(n, h / hl) : 0.0f;
            if (nh > 0.0f) highlight += f * l.color * m.specular * std::pow(nh, m.power);
        }
        const glm::vec3 base = replaceDiffuse ? glm::min(m.emissive + received, glm::vec3(1.0f))
                                              : m.emissive + reflectance * received;
        c = texel * base + highlight;
    }
    for (int i = 0; i < 3; ++i) c[i] = std::isnan(c[i]) ? 0.0f : std::clamp(c[i], 0.0f, 1.0f);
    return c;
}

float SpotFactor(float cosAngle, float beamWidth, float cutOffAngle) {
    const float angle = std::acos(std::clamp(cosAngle, -1.0f, 1.0f));
    if (angle > cutOffAngle) return 0.0f;
    if (angle <= beamWidth) return 1.0f;
    return (cutOffAngle - angle) / (cutOffAngle - beamWidth);
}

}  // namespace rm

#include "retained/wrap.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace rm {

glm::vec2 Wrap::Map(glm::vec3 p) const {
    const glm::vec3 q = p - params_.origin;
    const float x = glm::dot(q, x_), y = glm::dot(q, y_), z = glm::dot(q, z_);
    const float twoPi = 2.0f * std::numbers::pi_v<float>;
    auto turn = [&](float a, float b) {  // atan2 folded into [0, 2π)
        if (a == 0.0f && b == 0.0f) return 0.0f;
        float t = std::atan2(a, b);
        if (t < 0.0f) t += twoPi;
        return t >= twoPi ? 0.0f : t;
    };
    float u = 0.0f, v = 0.0f;
    switch (params_.type) {
        case WrapType::Flat:
            u = x;
            v = y;
            break;
        case WrapType::Cylinder:
            u = turn(y, x) / twoPi;
            v = z;
            break;
        case WrapType::Sphere: {
            const float r = std::sqrt(x * x + y * y + z * z);
            u = turn(y, x) / twoPi;
            v = r > 0.0f ? std::acos(std::clamp(z / r, -1.0f, 1.0f)) / std::numbers::pi_v<float>
                         : 0.0f;
            break;
        }
    }
    return {params_.su * u + params_.ou, params_.sv * v + params_.ov};
}

Result Wrap::Apply(MeshBuilder* mesh) const {
    if (!mesh) return kInvalidArg;
    const auto data = mesh->Data();  // keeps the vertices stable while coordinates change
    for (std::uint32_t i = 0; i < data->vertices.size(); ++i) {
        const glm::vec2 uv = Map(data->vertices[i]);
        mesh->SetTextureCoordinates(i, uv.x, uv.y);
    }
    return kOk;
}

}  // namespace rm

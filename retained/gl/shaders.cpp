#include "retained/gl/shaders.h"

namespace rm::gl {

// Light types: 0 ambient, 1 directional, 2 point (LightType order).
const char* const kVertexShader = R"(#version 330 core
layout(location = 0) in vec3 aPosition;
layout(location = 1) in vec3 aNormal;
layout(location = 2) in vec3 aFaceNormal;
layout(location = 3) in vec3 aFaceCenter;
layout(location = 4) in vec2 aUV;
layout(location = 5) in vec3 aColor;

uniform mat4 uModel;
uniform mat3 uNormalMatrix;
uniform mat4 uViewProjection;
uniform vec3 uEye;
uniform bool uLit;
uniform bool uFlat;
uniform bool uUseVertexColor;
uniform vec3 uReflectance;
uniform vec3 uEmissive;
uniform vec3 uSpecular;
uniform float uPower;
uniform int uLightCount;
uniform int uLightType[16];
uniform vec3 uLightColor[16];
uniform vec3 uLightPosition[16];
uniform vec3 uLightDirection[16];

out vec3 vBaseFront;
out vec3 vSpecFront;
out vec3 vBaseBack;
out vec3 vSpecBack;
out vec2 vUV;

void Shade(vec3 p, vec3 n, vec3 r, out vec3 base, out vec3 highlight) {
    base = uEmissive;
    highlight = vec3(0.0);
    vec3 e = uEye - p;
    float el = length(e);
    vec3 toEye = el > 0.0 ? e / el : n;
    for (int i = 0; i < uLightCount; ++i) {
        if (uLightType[i] == 0) {
            base += uLightColor[i] * r;
            continue;
        }
        vec3 l = -uLightDirection[i];
        if (uLightType[i] == 2) {
            vec3 d = uLightPosition[i] - p;
            float dl = length(d);
            l = dl > 0.0 ? d / dl : n;
        }
        base += uLightColor[i] * r * max(0.0, dot(n, l));
        vec3 h = l + toEye;
        float hl = length(h);
        float nh = hl > 0.0 ? dot(n, h / hl) : 0.0;
        if (nh > 0.0) highlight += uLightColor[i] * uSpecular * pow(nh, uPower);
    }
}

void main() {
    vec4 world = uModel * vec4(aPosition, 1.0);
    gl_Position = uViewProjection * world;
    vUV = aUV;
    vec3 r = uUseVertexColor ? aColor : uReflectance;
    if (!uLit) {
        vBaseFront = r;
        vBaseBack = r;
        vSpecFront = vec3(0.0);
        vSpecBack = vec3(0.0);
        return;
    }
    vec3 p = uFlat ? (uModel * vec4(aFaceCenter, 1.0)).xyz : world.xyz;
    vec3 n = uNormalMatrix * (uFlat ? aFaceNormal : aNormal);
    float nl = length(n);
    n = nl > 0.0 ? n / nl : vec3(0.0, 0.0, 1.0);
    Shade(p, n, r, vBaseFront, vSpecFront);
    Shade(p, -n, r, vBaseBack, vSpecBack);
}
)";

const char* const kFragmentShader = R"(#version 330 core
in vec3 vBaseFront;
in vec3 vSpecFront;
in vec3 vBaseBack;
in vec3 vSpecBack;
in vec2 vUV;

uniform bool uTextured;
uniform sampler2D uTexture;

out vec4 fragColor;

void main() {
    vec3 base = gl_FrontFacing ? vBaseFront : vBaseBack;
    vec3 highlight = gl_FrontFacing ? vSpecFront : vSpecBack;
    vec3 texel = uTextured ? texture(uTexture, vUV).rgb : vec3(1.0);
    vec3 c = texel * base + highlight;
    // No NaN or infinity reaches a pixel.
    c = mix(c, vec3(0.0), isnan(c));
    fragColor = vec4(clamp(c, 0.0, 1.0), 1.0);
}
)";

}  // namespace rm::gl

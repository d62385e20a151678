#include "retained/gl/shaders.h"

#include <epoxy/gl.h>

namespace rm::gl {

// Lights come sorted by type: the ambient colours summed into uAmbient, then the
// directional, the point and the spot lights in their own lists, whose lengths the program
// is compiled for (DIRECTIONAL_LIGHTS, POINT_LIGHTS and SPOT_LIGHTS, defined before this
// text, with the array sizes …_SLOTS, at least 1) so that their loops unroll. Locations 0-5
// are the mesh's vertices; 6-15 are per instance (one visual): the model matrix by rows,
// the normal matrix by columns with the reflectance in their w, the emissive colour with
// the power, the specular colour with 1 where the vertex colour is the reflectance, then
// the opacity, the material's ambient intensity and the bits of the directional lights
// that reach the visual. Point and spot lights fade with distance (attenuation) and stop at
// their range; spot lights fall off between beam width and cut-off angle (cone: both as
// angles). An RGB texture replaces the reflectance (uReplaceDiffuse): the light received
// then only scales the picture down, never past its own colours. Both sides of a
// face are lit in one pass: the back's normal is −n, so its diffuse and highlight terms
// are the front's with the sign of n·l and n·h turned, except where the light or the eye
// sits on the vertex (the direction to it falls back on the side's own normal). Programs
// for solid meshes, whose back faces are culled, are compiled with FRONT_ONLY and light
// the front alone.
const char* const kVertexShader = R"(
layout(location = 0) in vec3 aPosition;
layout(location = 1) in vec3 aNormal;
layout(location = 2) in vec3 aFaceNormal;
layout(location = 3) in vec3 aFaceCenter;
layout(location = 4) in vec2 aUV;
layout(location = 5) in vec3 aColor;
layout(location = 6) in vec4 aModel0;
layout(location = 7) in vec4 aModel1;
layout(location = 8) in vec4 aModel2;
layout(location = 9) in vec4 aModel3;
layout(location = 10) in vec4 aNormal0;
layout(location = 11) in vec4 aNormal1;
layout(location = 12) in vec4 aNormal2;
layout(location = 13) in vec4 aEmissive;
layout(location = 14) in vec4 aSpecular;
layout(location = 15) in vec4 aAppearance;

uniform mat4 uViewProjection;
uniform vec3 uEye;
uniform bool uLit;
uniform bool uFlat;
uniform vec3 uAmbient;
uniform bool uReplaceDiffuse;
uniform vec3 uDirectionalColor[DIRECTIONAL_SLOTS];
uniform vec3 uDirectionalAmbient[DIRECTIONAL_SLOTS];
uniform vec3 uDirectionalTo[DIRECTIONAL_SLOTS];
uniform vec3 uPointColor[POINT_SLOTS];
uniform vec3 uPointAmbient[POINT_SLOTS];
uniform vec3 uPointPosition[POINT_SLOTS];
uniform vec4 uPointAttenuation[POINT_SLOTS];  // w: range
uniform vec3 uSpotColor[SPOT_SLOTS];
uniform vec3 uSpotAmbient[SPOT_SLOTS];
uniform vec3 uSpotPosition[SPOT_SLOTS];
uniform vec4 uSpotAttenuation[SPOT_SLOTS];  // w: range
uniform vec3 uSpotDirection[SPOT_SLOTS];
uniform vec2 uSpotCone[SPOT_SLOTS];  // beam width, cut-off angle

out vec3 vBaseFront;
out vec3 vSpecFront;
#ifndef FRONT_ONLY
out vec3 vBaseBack;
out vec3 vSpecBack;
#endif
out vec2 vUV;
out float vAlpha;
out vec3 vFromEye;

// The light received on each side, before the reflectance.
vec3 receivedFront;
#ifndef FRONT_ONLY
vec3 receivedBack;
#endif

vec4 ToWorld(vec3 p) {
    vec4 q = vec4(p, 1.0);
    return vec4(dot(aModel0, q), dot(aModel1, q), dot(aModel2, q), dot(aModel3, q));
}

// One light of colour c and ambient part a from direction l (unit, towards the light);
// atLight: the light sits on the vertex and l is n.
void Light(vec3 c, vec3 a, vec3 l, bool atLight, vec3 n, vec3 toEye, vec3 toEyeBack,
           bool atEye) {
    float nl = dot(n, l);
    receivedFront += a + c * max(0.0, nl);
    vec3 h = l + toEye;
    float hl = length(h);
    float nh = hl > 0.0 ? dot(n, h / hl) : 0.0;
    if (nh > 0.0) vSpecFront += c * aSpecular.rgb * pow(nh, aEmissive.w);
#ifndef FRONT_ONLY
    receivedBack += a + c * max(0.0, atLight ? nl : -nl);
    float nhBack = -nh;
    if (atLight || atEye) {
        vec3 hb = (atLight ? -n : l) + toEyeBack;
        float hlb = length(hb);
        nhBack = hlb > 0.0 ? dot(-n, hb / hlb) : 0.0;
    }
    if (nhBack > 0.0) vSpecBack += c * aSpecular.rgb * pow(nhBack, aEmissive.w);
#endif
}

// A point or spot light's share at distance dl (attenuation, range).
float Fade(vec4 attenuation, float dl) {
    if (dl > attenuation.w) return 0.0;
    return 1.0 / max(1.0, attenuation.x + attenuation.y * dl + attenuation.z * dl * dl);
}

void main() {
    vec4 world = ToWorld(aPosition);
    gl_Position = uViewProjection * world;
    vUV = aUV;
    vAlpha = aAppearance.x;
    vFromEye = world.xyz - uEye;
    vec3 r = aSpecular.w > 0.5 ? aColor : vec3(aNormal0.w, aNormal1.w, aNormal2.w);
    vSpecFront = vec3(0.0);
#ifndef FRONT_ONLY
    vSpecBack = vec3(0.0);
#endif
    if (!uLit) {
        vBaseFront = uReplaceDiffuse ? vec3(1.0) : r;
#ifndef FRONT_ONLY
        vBaseBack = vBaseFront;
#endif
        return;
    }
    vec3 p = uFlat ? ToWorld(aFaceCenter).xyz : world.xyz;
    mat3 normalMatrix = mat3(aNormal0.xyz, aNormal1.xyz, aNormal2.xyz);
    vec3 n = normalMatrix * (uFlat ? aFaceNormal : aNormal);
    float len = length(n);
    n = len > 0.0 ? n / len : vec3(0.0, 0.0, 1.0);
    receivedFront = uAmbient;
#ifndef FRONT_ONLY
    receivedBack = uAmbient;
#endif
    vec3 e = uEye - p;
    float el = length(e);
    bool atEye = !(el > 0.0);
    vec3 toEye = atEye ? n : e / el;
    vec3 toEyeBack = atEye ? -n : toEye;
    float ka = aAppearance.y;
    uint reached = uint(aAppearance.z);
    for (int i = 0; i < DIRECTIONAL_LIGHTS; ++i)
        if ((reached & (1u << uint(i))) != 0u)
            Light(uDirectionalColor[i], uDirectionalAmbient[i] * ka, uDirectionalTo[i], false, n,
                  toEye, toEyeBack, atEye);
    for (int i = 0; i < POINT_LIGHTS; ++i) {
        vec3 d = uPointPosition[i] - p;
        float dl = length(d);
        float f = Fade(uPointAttenuation[i], dl);
        bool atLight = !(dl > 0.0);
        if (f > 0.0)
            Light(f * uPointColor[i], f * ka * uPointAmbient[i], atLight ? n : d / dl, atLight, n,
                  toEye, toEyeBack, atEye);
    }
    for (int i = 0; i < SPOT_LIGHTS; ++i) {
        vec3 d = uSpotPosition[i] - p;
        float dl = length(d);
        bool atLight = !(dl > 0.0);
        vec3 l = atLight ? n : d / dl;
        float angle = acos(clamp(dot(-l, uSpotDirection[i]), -1.0, 1.0));
        vec2 cone = uSpotCone[i];
        float spot = angle > cone.y ? 0.0
                   : angle <= cone.x ? 1.0
                   : (cone.y - angle) / (cone.y - cone.x);
        float f = Fade(uSpotAttenuation[i], dl) * spot;
        if (f > 0.0)
            Light(f * uSpotColor[i], f * ka * uSpotAmbient[i], l, atLight, n, toEye, toEyeBack,
                  atEye);
    }
    vBaseFront = uReplaceDiffuse ? min(aEmissive.rgb + receivedFront, vec3(1.0))
                                 : aEmissive.rgb + r * receivedFront;
#ifndef FRONT_ONLY
    vBaseBack = uReplaceDiffuse ? min(aEmissive.rgb + receivedBack, vec3(1.0))
                                : aEmissive.rgb + r * receivedBack;
#endif
}
)";

const char* const kFragmentShader = R"(
in vec3 vBaseFront;
in vec3 vSpecFront;
#ifndef FRONT_ONLY
in vec3 vBaseBack;
in vec3 vSpecBack;
#endif
in vec2 vUV;
in float vAlpha;
in vec3 vFromEye;

uniform bool uTextured;
uniform sampler2D uTexture;
uniform int uFogType;  // 0 none, 1 linear, 2 exponential
uniform float uFogRange;
uniform vec3 uFogColor;

// How much of the surface's own colour is left through the fog at this pixel.
float Clearness() {
    if (uFogType == 0) return 1.0;
    float d = length(vFromEye);
    if (d >= uFogRange) return 0.0;
    return uFogType == 1 ? 1.0 - d / uFogRange : exp(-d / (uFogRange - d));
}

out vec4 fragColor;

void main() {
#ifdef FRONT_ONLY
    vec3 base = vBaseFront;
    vec3 highlight = vSpecFront;
#else
    vec3 base = gl_FrontFacing ? vBaseFront : vBaseBack;
    vec3 highlight = gl_FrontFacing ? vSpecFront : vSpecBack;
#endif
    vec3 texel = uTextured ? texture(uTexture, vUV).rgb : vec3(1.0);
    vec3 c = mix(uFogColor, texel * base + highlight, Clearness());
    // No NaN or infinity reaches a pixel.
    c = mix(c, vec3(0.0), isnan(c));
    fragColor = vec4(clamp(c, 0.0, 1.0), clamp(vAlpha, 0.0, 1.0));
}
)";

unsigned CompileShader(unsigned type, const char* source, const char* what, std::string* error) {
    GLuint s = glCreateShader(type);
    glShaderSource(s, 1, &source, nullptr);
    glCompileShader(s);
    GLint ok = 0;
    glGetShaderiv(s, GL_COMPILE_STATUS, &ok);
    if (!ok) {
        char log[1024] = {};
        glGetShaderInfoLog(s, sizeof log, nullptr, log);
        if (error) *error = std::string(what) + " shader compile failed: " + log;
        glDeleteShader(s);
        return 0;
    }
    return s;
}

}  // namespace rm::gl

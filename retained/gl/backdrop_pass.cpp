#include "retained/gl/backdrop_pass.h"

#include <epoxy/gl.h>

#include <algorithm>

#include <glm/gtc/type_ptr.hpp>

#include "retained/gl/shaders.h"

namespace rm::gl {

namespace {

// A triangle covering the viewport; each pixel gets its place in normalised device
// coordinates.
const char* const kVertexSource = R"(#version 330 core
out vec2 vPlace;
void main() {
    vPlace = vec2(float((gl_VertexID << 1) & 2), float(gl_VertexID & 2)) * 2.0 - 1.0;
    gl_Position = vec4(vPlace, 0.0, 1.0);
}
)";

// The pixel's direction in backdrop coordinates, its angle from straight up; the sky's
// colour there, the ground's over it up to the ground's last angle, then the cube
// picture the direction meets (a face is the one of the direction's largest component;
// its picture is seen from inside, upright as the backdrop describes), blended by its
// alpha.
const char* const kFragmentSource = R"(#version 330 core
in vec2 vPlace;
uniform mat4 uToDirection;
uniform int uSkyCount;
uniform vec3 uSkyColor[16];
uniform float uSkyAngle[16];
uniform int uGroundCount;
uniform vec3 uGroundColor[16];
uniform float uGroundAngle[16];
uniform bool uHasFace[6];
uniform sampler2D uBack;
uniform sampler2D uBottom;
uniform sampler2D uFront;
uniform sampler2D uLeft;
uniform sampler2D uRight;
uniform sampler2D uTop;
out vec4 fragColor;

vec3 Along(float a, int count, vec3 colors[16], float angles[16]) {
    vec3 c = colors[0];
    for (int i = 1; i < count; ++i) {
        if (a >= angles[i]) {
            c = colors[i];
        } else {
            float span = angles[i] - angles[i - 1];
            float f = span > 0.0 ? (a - angles[i - 1]) / span : 1.0;
            c = mix(colors[i - 1], colors[i], clamp(f, 0.0, 1.0));
            break;
        }
    }
    return c;
}

void main() {
    vec4 p = uToDirection * vec4(vPlace, 0.0, 1.0);
    vec3 d = p.xyz / p.w;
    float len = length(d);
    d = len > 0.0 ? d / len : vec3(0.0, 0.0, -1.0);
    float fromUp = acos(clamp(d.y, -1.0, 1.0));
    vec3 c = uSkyCount > 0 ? Along(fromUp, uSkyCount, uSkyColor, uSkyAngle) : vec3(0.0);
    float fromDown = 3.14159265 - fromUp;
    if (uGroundCount > 1 && fromDown <= uGroundAngle[uGroundCount - 1])
        c = Along(fromDown, uGroundCount, uGroundColor, uGroundAngle);

    vec3 a = abs(d);
    int face;
    vec2 st;  // across the face seen from inside: s to the right, t up
    if (a.z >= a.x && a.z >= a.y) {
        face = d.z > 0.0 ? 0 : 2;
        st = d.z > 0.0 ? vec2(-d.x, d.y) / a.z : vec2(d.x, d.y) / a.z;
    } else if (a.x >= a.y) {
        face = d.x > 0.0 ? 4 : 3;
        st = d.x > 0.0 ? vec2(d.z, d.y) / a.x : vec2(-d.z, d.y) / a.x;
    } else {
        face = d.y > 0.0 ? 5 : 1;
        st = d.y > 0.0 ? vec2(d.x, d.z) / a.y : vec2(d.x, -d.z) / a.y;
    }
    // Pictures are stored top row first.
    vec2 uv = vec2(st.x * 0.5 + 0.5, 0.5 - st.y * 0.5);
    vec4 texel = vec4(0.0);
    if (face == 0 && uHasFace[0]) texel = textureLod(uBack, uv, 0.0);
    if (face == 1 && uHasFace[1]) texel = textureLod(uBottom, uv, 0.0);
    if (face == 2 && uHasFace[2]) texel = textureLod(uFront, uv, 0.0);
    if (face == 3 && uHasFace[3]) texel = textureLod(uLeft, uv, 0.0);
    if (face == 4 && uHasFace[4]) texel = textureLod(uRight, uv, 0.0);
    if (face == 5 && uHasFace[5]) texel = textureLod(uTop, uv, 0.0);
    c = mix(c, texel.rgb, texel.a);
    c = mix(c, vec3(0.0), isnan(c));
    fragColor = vec4(clamp(c, 0.0, 1.0), 1.0);
}
)";

// Uploads one gradient, at most kMaxStops of its stops.
void SetGradient(const Gradient& g, int count, int colors, int angles) {
    const auto n = static_cast<GLsizei>(
        std::min({g.colors.size(), g.angles.size(), std::size_t{BackdropPass::kMaxStops}}));
    glUniform1i(count, n);
    if (n == 0) return;
    glUniform3fv(colors, n, glm::value_ptr(g.colors[0]));
    glUniform1fv(angles, n, g.angles.data());
}

}  // namespace

std::unique_ptr<BackdropPass> BackdropPass::Create(std::string* error) {
    GLuint vs = CompileShader(GL_VERTEX_SHADER, kVertexSource, "backdrop vertex", error);
    if (!vs) return nullptr;
    GLuint fs = CompileShader(GL_FRAGMENT_SHADER, kFragmentSource, "backdrop fragment", error);
    if (!fs) {
        glDeleteShader(vs);
        return nullptr;
    }
    std::unique_ptr<BackdropPass> pass(new BackdropPass);
    pass->program_ = glCreateProgram();
    glAttachShader(pass->program_, vs);
    glAttachShader(pass->program_, fs);
    glLinkProgram(pass->program_);
    glDeleteShader(vs);
    glDeleteShader(fs);
    GLint ok = 0;
    glGetProgramiv(pass->program_, GL_LINK_STATUS, &ok);
    if (!ok) {
        char log[1024] = {};
        glGetProgramInfoLog(pass->program_, sizeof log, nullptr, log);
        if (error) *error = std::string("backdrop shader link failed: ") + log;
        return nullptr;  // the destructor deletes the program
    }
    const GLuint prog = pass->program_;
    auto at = [prog](const char* name) { return glGetUniformLocation(prog, name); };
    pass->toDirection_ = at("uToDirection");
    pass->skyCount_ = at("uSkyCount");
    pass->skyColor_ = at("uSkyColor");
    pass->skyAngle_ = at("uSkyAngle");
    pass->groundCount_ = at("uGroundCount");
    pass->groundColor_ = at("uGroundColor");
    pass->groundAngle_ = at("uGroundAngle");
    pass->hasFace_ = at("uHasFace");
    glUseProgram(prog);
    const char* const samplers[6] = {"uBack", "uBottom", "uFront", "uLeft", "uRight", "uTop"};
    for (int k = 0; k < 6; ++k) glUniform1i(at(samplers[k]), static_cast<GLint>(kFirstUnit) + k);
    glGenVertexArrays(1, &pass->vao_);
    // The pictures meet at the cube's edges: clamped, so that no edge shows the opposite one.
    glGenSamplers(1, &pass->sampler_);
    glSamplerParameteri(pass->sampler_, GL_TEXTURE_WRAP_S, GL_CLAMP_TO_EDGE);
    glSamplerParameteri(pass->sampler_, GL_TEXTURE_WRAP_T, GL_CLAMP_TO_EDGE);
    glSamplerParameteri(pass->sampler_, GL_TEXTURE_MIN_FILTER, GL_LINEAR);
    glSamplerParameteri(pass->sampler_, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
    return pass;
}

BackdropPass::~BackdropPass() {
    if (sampler_) glDeleteSamplers(1, &sampler_);
    if (vao_) glDeleteVertexArrays(1, &vao_);
    if (program_) glDeleteProgram(program_);
}

void BackdropPass::Draw(const BackdropSnapshot& b, const glm::mat4& view,
                        const glm::mat4& projection, const std::array<unsigned, 6>& faces) {
    glUseProgram(program_);
    // From a pixel to its direction: undo the projection and the camera's rotation (its
    // position does not count), then turn into the backdrop's coordinates.
    const glm::mat4 toDirection =
        glm::mat4(b.fromWorld) * glm::inverse(projection * glm::mat4(glm::mat3(view)));
    glUniformMatrix4fv(toDirection_, 1, GL_FALSE, glm::value_ptr(toDirection));
    SetGradient(b.sky, skyCount_, skyColor_, skyAngle_);
    SetGradient(b.ground, groundCount_, groundColor_, groundAngle_);
    GLint has[6];
    for (unsigned k = 0; k < 6; ++k) {
        has[k] = faces[k] != 0;
        glActiveTexture(GL_TEXTURE0 + kFirstUnit + k);
        glBindTexture(GL_TEXTURE_2D, faces[k]);
        glBindSampler(kFirstUnit + k, sampler_);
    }
    glUniform1iv(hasFace_, 6, has);
    glDisable(GL_DEPTH_TEST);
    glDepthMask(GL_FALSE);
    glBindVertexArray(vao_);
    glDrawArrays(GL_TRIANGLES, 0, 3);
    glDepthMask(GL_TRUE);
    glEnable(GL_DEPTH_TEST);
    for (unsigned k = 0; k < 6; ++k) glBindSampler(kFirstUnit + k, 0);
    glActiveTexture(GL_TEXTURE0);
}

}  // namespace rm::gl

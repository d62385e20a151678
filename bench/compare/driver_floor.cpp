// driver_floor: what the graphics driver alone takes for a first frame, to set
// beside orvane-render's. It does only the driver's part of a headless frame:
// EGL start and an OpenGL 3.3 context, one lit shader, a grid of N triangles
// uploaded in one buffer, one draw into a 600x550 framebuffer and the read-back;
// no scene, no translation, no PNG. Its whole-process time is the floor under any
// program that draws those triangles through this driver.
//
//   driver_floor [TRIANGLES]     (default 100000)
//
// Prints the milliseconds of each step from the start of main. The context comes
// from PlatformEGLHeadless, the same EGL start-up orvane-render goes through.
#include <epoxy/gl.h>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "retained/gl/platform_egl_headless.h"

namespace {

using Clock = std::chrono::steady_clock;
const Clock::time_point g_start = Clock::now();

double Ms() {
    return std::chrono::duration<double, std::milli>(Clock::now() - g_start).count();
}

int Fail(const char* step) {
    std::fprintf(stderr, "driver_floor: %s failed\n", step);
    return 1;
}

const char* kVertex = R"(#version 330 core
layout(location = 0) in vec3 position;
layout(location = 1) in vec3 normal;
uniform mat4 mvp;
out vec3 color;
void main() {
    vec3 l = normalize(vec3(0.4, 0.6, 0.7));
    color = vec3(0.55, 0.7, 0.35) * (0.2 + max(dot(normalize(normal), l), 0.0));
    gl_Position = mvp * vec4(position, 1.0);
})";
const char* kFragment = R"(#version 330 core
in vec3 color;
out vec4 fragColor;
void main() { fragColor = vec4(color, 1.0); })";

GLuint Compile(GLenum kind, const char* text) {
    GLuint shader = glCreateShader(kind);
    glShaderSource(shader, 1, &text, nullptr);
    glCompileShader(shader);
    return shader;
}

}  // namespace

int main(int argc, char** argv) {
    const long triangles = argc > 1 ? std::atol(argv[1]) : 100000;
    const int width = 600, height = 550;

    std::string error;
    const auto platform = rm::gl::PlatformEGLHeadless::Create(&error);
    if (!platform) {
        std::fprintf(stderr, "driver_floor: %s\n", error.c_str());
        return 1;
    }
    const double contextMs = Ms();

    GLuint fbo = 0, color = 0, depth = 0;
    glGenFramebuffers(1, &fbo);
    glBindFramebuffer(GL_FRAMEBUFFER, fbo);
    glGenRenderbuffers(1, &color);
    glBindRenderbuffer(GL_RENDERBUFFER, color);
    glRenderbufferStorage(GL_RENDERBUFFER, GL_RGBA8, width, height);
    glFramebufferRenderbuffer(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_RENDERBUFFER, color);
    glGenRenderbuffers(1, &depth);
    glBindRenderbuffer(GL_RENDERBUFFER, depth);
    glRenderbufferStorage(GL_RENDERBUFFER, GL_DEPTH_COMPONENT24, width, height);
    glFramebufferRenderbuffer(GL_FRAMEBUFFER, GL_DEPTH_ATTACHMENT, GL_RENDERBUFFER, depth);
    if (glCheckFramebufferStatus(GL_FRAMEBUFFER) != GL_FRAMEBUFFER_COMPLETE)
        return Fail("framebuffer");

    GLuint program = glCreateProgram();
    glAttachShader(program, Compile(GL_VERTEX_SHADER, kVertex));
    glAttachShader(program, Compile(GL_FRAGMENT_SHADER, kFragment));
    glLinkProgram(program);
    GLint linked = 0;
    glGetProgramiv(program, GL_LINK_STATUS, &linked);
    if (!linked) return Fail("glLinkProgram");
    glUseProgram(program);

    // A terrain-like grid in [-4, 4]², two triangles a cell, drawn indexed.
    const int n = static_cast<int>(std::ceil(std::sqrt(triangles / 2.0))) + 1;
    std::vector<float> vertices;
    vertices.reserve(static_cast<std::size_t>(n) * n * 6);
    for (int j = 0; j < n; ++j)
        for (int i = 0; i < n; ++i) {
            const float x = -4 + 8.0f * i / (n - 1), y = -4 + 8.0f * j / (n - 1);
            const float z = 0.3f * std::sin(x) * std::cos(y);
            vertices.insert(vertices.end(), {x, y, z, -0.3f * std::cos(x) * std::cos(y),
                                             0.3f * std::sin(x) * std::sin(y), 1.0f});
        }
    std::vector<GLuint> indices;
    indices.reserve(static_cast<std::size_t>(n - 1) * (n - 1) * 6);
    for (int j = 0; j + 1 < n; ++j)
        for (int i = 0; i + 1 < n; ++i) {
            const GLuint a = j * n + i, b = a + 1, c = a + n, d = c + 1;
            indices.insert(indices.end(), {a, b, d, a, d, c});
        }
    GLuint vao = 0, buffers[2] = {};
    glGenVertexArrays(1, &vao);
    glBindVertexArray(vao);
    glGenBuffers(2, buffers);
    glBindBuffer(GL_ARRAY_BUFFER, buffers[0]);
    glBufferData(GL_ARRAY_BUFFER, static_cast<GLsizeiptr>(vertices.size() * sizeof(float)),
                 vertices.data(), GL_STATIC_DRAW);
    glBindBuffer(GL_ELEMENT_ARRAY_BUFFER, buffers[1]);
    glBufferData(GL_ELEMENT_ARRAY_BUFFER, static_cast<GLsizeiptr>(indices.size() * sizeof(GLuint)),
                 indices.data(), GL_STATIC_DRAW);
    glEnableVertexAttribArray(0);
    glVertexAttribPointer(0, 3, GL_FLOAT, GL_FALSE, 6 * sizeof(float), nullptr);
    glEnableVertexAttribArray(1);
    glVertexAttribPointer(1, 3, GL_FLOAT, GL_FALSE, 6 * sizeof(float),
                          reinterpret_cast<void*>(3 * sizeof(float)));
    // Looking down at the grid from z = 12, as the terrain scenes' viewpoint does.
    const float f = 1.0f / std::tan(0.3927f), aspect = float(width) / height;
    const float nearZ = 0.1f, farZ = 100.0f, eye = 12.0f;
    const float mvp[16] = {
        f / aspect,
        0,
        0,
        0,
        0,
        f,
        0,
        0,
        0,
        0,
        (farZ + nearZ) / (nearZ - farZ),
        -1,
        0,
        0,
        (2 * farZ * nearZ) / (nearZ - farZ) - eye * (farZ + nearZ) / (nearZ - farZ),
        eye};
    glUniformMatrix4fv(glGetUniformLocation(program, "mvp"), 1, GL_FALSE, mvp);
    const double uploadMs = Ms();

    glViewport(0, 0, width, height);
    glEnable(GL_DEPTH_TEST);
    glClearColor(0, 0, 0, 1);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    glDrawElements(GL_TRIANGLES, static_cast<GLsizei>(indices.size()), GL_UNSIGNED_INT, nullptr);
    std::vector<unsigned char> pixels(static_cast<std::size_t>(width) * height * 4);
    glReadPixels(0, 0, width, height, GL_RGBA, GL_UNSIGNED_BYTE, pixels.data());
    const double frameMs = Ms();
    long lit = 0;
    for (std::size_t i = 0; i < pixels.size(); i += 4) lit += pixels[i + 1] != 0;

    std::printf("triangles=%zu context_ms=%.1f upload_ms=%.1f frame_ms=%.1f lit_pixels=%ld\n",
                indices.size() / 3, contextMs, uploadMs, frameMs, lit);
    return 0;
}

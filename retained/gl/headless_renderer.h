// HeadlessRenderer: an EGL headless context, an offscreen target and a GLRenderer in
// one, for the command-line renderer and the tests: draw a DeviceFrame, read pixels,
// write a PNG.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "retained/gl/gl_renderer.h"
#include "retained/gl/offscreen_target.h"
#include "retained/gl/platform_egl_headless.h"
#include "retained/snapshot.h"

namespace rm::gl {

class HeadlessRenderer {
  public:
    // Null with *error set when no EGL context can be created (no display, no driver).
    static std::unique_ptr<HeadlessRenderer> Create(std::string* error);
    ~HeadlessRenderer();

    // Draws frame into an offscreen target of the frame's size (made or remade as needed)
    // and returns its pixels: RGBA, rows from the top down. Empty on failure.
    std::vector<std::uint8_t> Render(const DeviceFrame& frame, std::string* error = nullptr);
    // The drawing half of Render: draws and waits for the GPU (glFinish), reads nothing.
    // False with *error when no target can be made or the frame needs more graphics
    // memory than the renderer's limit (GLRenderer::Draw).
    bool Draw(const DeviceFrame& frame, std::string* error = nullptr);
    GLRenderer& Renderer() { return *renderer_; }
    const std::string& GLRendererName() const { return platform_->Renderer(); }

  private:
    HeadlessRenderer() = default;
    std::unique_ptr<PlatformEGLHeadless> platform_;
    std::unique_ptr<GLRenderer> renderer_;
    std::unique_ptr<OffscreenTarget> target_;
};

}  // namespace rm::gl

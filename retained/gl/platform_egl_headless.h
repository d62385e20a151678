// A concrete GLPlatform that creates an OpenGL 3.3 core context through EGL with no
// window: Mesa's surfaceless platform (llvmpipe where there is no GPU), else the default
// display with a 1×1 pbuffer. Drawing goes to framebuffer objects (OffscreenTarget).
// The EGL display stays initialised until the process ends (see the .cpp for why).
#pragma once

#include <memory>
#include <string>

#include "retained/gl/gl_platform.h"

namespace rm::gl {

class PlatformEGLHeadless final : public GLPlatform {
  public:
    // Creates display and context and makes the context current. Returns null and says
    // why in *error when no EGL display or no 3.3 core context can be had.
    static std::unique_ptr<PlatformEGLHeadless> Create(std::string* error);
    ~PlatformEGLHeadless() override;

    bool MakeCurrent() override;
    void DoneCurrent() override;
    const char* Name() const override { return "EGL headless"; }
    // The GL_RENDERER string of the context, e.g. "llvmpipe (LLVM 15.0.6, 256 bits)".
    const std::string& Renderer() const { return renderer_; }

  private:
    PlatformEGLHeadless() = default;
    void* display_ = nullptr;  // EGLDisplay
    void* context_ = nullptr;  // EGLContext
    void* surface_ = nullptr;  // EGLSurface: a pbuffer, or none when surfaceless works
    std::string renderer_;
};

}  // namespace rm::gl

#include "retained/gl/headless_renderer.h"

#include <epoxy/gl.h>

namespace rm::gl {

std::unique_ptr<HeadlessRenderer> HeadlessRenderer::Create(std::string* error) {
    std::unique_ptr<HeadlessRenderer> h(new HeadlessRenderer);
    h->platform_ = PlatformEGLHeadless::Create(error);
    if (!h->platform_) return nullptr;
    h->renderer_ = GLRenderer::Create(error);
    if (!h->renderer_) return nullptr;
    return h;
}

HeadlessRenderer::~HeadlessRenderer() {
    if (platform_) platform_->MakeCurrent();
    target_.reset();  // GL objects go while the context is still there
    renderer_.reset();
}

bool HeadlessRenderer::Draw(const DeviceFrame& frame, std::string* error) {
    if (!platform_->MakeCurrent()) {
        if (error) *error = "cannot make the EGL context current";
        return false;
    }
    if (!target_ || target_->Width() != frame.width || target_->Height() != frame.height) {
        target_.reset();
        target_ = OffscreenTarget::Create(frame.width, frame.height, error);
        if (!target_) return false;
    }
    const bool drawn = renderer_->Draw(frame, target_->Framebuffer(), error);
    glFinish();
    return drawn;
}

std::vector<std::uint8_t> HeadlessRenderer::Render(const DeviceFrame& frame, std::string* error) {
    if (!Draw(frame, error)) return {};
    return target_->ReadPixels();
}

}  // namespace rm::gl

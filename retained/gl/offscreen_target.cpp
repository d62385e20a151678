#include "retained/gl/offscreen_target.h"

#include <epoxy/gl.h>

#include <cstring>

namespace rm::gl {

std::unique_ptr<OffscreenTarget> OffscreenTarget::Create(int width, int height,
                                                         std::string* error) {
    std::unique_ptr<OffscreenTarget> t(new OffscreenTarget);
    if (width < 1 || height < 1) {
        if (error) *error = "offscreen target size must be positive";
        return nullptr;
    }
    t->width_ = width;
    t->height_ = height;
    glGenFramebuffers(1, &t->fbo_);
    glGenRenderbuffers(1, &t->color_);
    glGenRenderbuffers(1, &t->depth_);
    glBindRenderbuffer(GL_RENDERBUFFER, t->color_);
    glRenderbufferStorage(GL_RENDERBUFFER, GL_RGBA8, width, height);
    glBindRenderbuffer(GL_RENDERBUFFER, t->depth_);
    glRenderbufferStorage(GL_RENDERBUFFER, GL_DEPTH_COMPONENT24, width, height);
    glBindFramebuffer(GL_FRAMEBUFFER, t->fbo_);
    glFramebufferRenderbuffer(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_RENDERBUFFER, t->color_);
    glFramebufferRenderbuffer(GL_FRAMEBUFFER, GL_DEPTH_ATTACHMENT, GL_RENDERBUFFER, t->depth_);
    const GLenum status = glCheckFramebufferStatus(GL_FRAMEBUFFER);
    glBindFramebuffer(GL_FRAMEBUFFER, 0);
    if (status != GL_FRAMEBUFFER_COMPLETE) {
        if (error) *error = "offscreen framebuffer incomplete (size too large?)";
        return nullptr;
    }
    return t;
}

OffscreenTarget::~OffscreenTarget() {
    if (fbo_) glDeleteFramebuffers(1, &fbo_);
    if (color_) glDeleteRenderbuffers(1, &color_);
    if (depth_) glDeleteRenderbuffers(1, &depth_);
}

std::vector<std::uint8_t> OffscreenTarget::ReadPixels() const {
    const std::size_t row = static_cast<std::size_t>(width_) * 4;
    std::vector<std::uint8_t> pixels(row * static_cast<std::size_t>(height_));
    glBindFramebuffer(GL_READ_FRAMEBUFFER, fbo_);
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glReadPixels(0, 0, width_, height_, GL_RGBA, GL_UNSIGNED_BYTE, pixels.data());
    glBindFramebuffer(GL_READ_FRAMEBUFFER, 0);
    // OpenGL's rows run from the bottom up.
    std::vector<std::uint8_t> swap(row);
    for (int y = 0; y < height_ / 2; ++y) {
        std::uint8_t* a = pixels.data() + row * static_cast<std::size_t>(y);
        std::uint8_t* b = pixels.data() + row * static_cast<std::size_t>(height_ - 1 - y);
        std::memcpy(swap.data(), a, row);
        std::memcpy(a, b, row);
        std::memcpy(b, swap.data(), row);
    }
    return pixels;
}

}  // namespace rm::gl

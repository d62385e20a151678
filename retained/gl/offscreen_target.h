// OffscreenTarget: a framebuffer object with an RGBA8 colour and a 24-bit depth
// renderbuffer, the drawing target of headless rendering. Needs a current GL context.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace rm::gl {

class OffscreenTarget {
  public:
    // Null with *error set when the framebuffer cannot be made complete.
    static std::unique_ptr<OffscreenTarget> Create(int width, int height, std::string* error);
    ~OffscreenTarget();
    OffscreenTarget(const OffscreenTarget&) = delete;
    OffscreenTarget& operator=(const OffscreenTarget&) = delete;

    unsigned Framebuffer() const { return fbo_; }
    int Width() const { return width_; }
    int Height() const { return height_; }
    // RGBA pixels, rows from the top down, width × 4 bytes each.
    std::vector<std::uint8_t> ReadPixels() const;

  private:
    OffscreenTarget() = default;
    unsigned fbo_ = 0, color_ = 0, depth_ = 0;
    int width_ = 0, height_ = 0;
};

}  // namespace rm::gl

// A texture: an immutable RGBA picture shared with snapshots, so the backend can upload
// it on its own thread without the scene lock.
#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <vector>

#include "retained/object.h"

namespace rm {

// Pixel layouts accepted by CreateTexture, one byte per channel, rows from the top down.
// The three-byte layouts (decoded pictures, bitmap files) get an opaque alpha.
enum class PixelFormat { RGBA8, BGRA8, RGB8, BGR8 };

// Bytes per pixel of a layout.
constexpr int BytesPerPixel(PixelFormat f) {
    return f == PixelFormat::RGBA8 || f == PixelFormat::BGRA8 ? 4 : 3;
}

// What CreateTexture reads: width × height pixels, stride bytes from one row to the next
// (0 means tightly packed rows).
struct ImageView {
    int width = 0;
    int height = 0;
    PixelFormat format = PixelFormat::RGBA8;
    std::span<const std::uint8_t> pixels;
    int stride = 0;
};

// Pixels in RGBA order, rows from the top down, tightly packed. Texture coordinate
// (0, 0) is the top-left corner of the picture, u grows to the right and v downwards;
// coordinates outside [0, 1] repeat the picture (or stop at its edge, see Texture). Alpha
// is kept but not drawn: textures are opaque.
struct TextureImage {
    int width = 0;
    int height = 0;
    std::vector<std::uint8_t> rgba;
    // Every pixel grey (red = green = blue): an intensity picture, which darkens the
    // surface's colour instead of replacing it.
    bool grey = false;
};

class Texture : public Object {
  public:
    static constexpr int kMaxSize = 8192;  // larger sides are refused by CreateTexture
    const std::shared_ptr<const TextureImage>& Image() const { return image_; }
    int GetWidth() const { return image_->width; }
    int GetHeight() const { return image_->height; }
    // Whether u (v) outside [0, 1] repeats the picture (the default) or stays on its edge.
    bool RepeatsU() const { return repeatU_; }
    bool RepeatsV() const { return repeatV_; }
    void SetRepeat(bool u, bool v) {
        repeatU_ = u;
        repeatV_ = v;
    }

  private:
    friend class RetainedMode;
    explicit Texture(std::shared_ptr<const TextureImage> image) : image_(std::move(image)) {}
    std::shared_ptr<const TextureImage> image_;
    bool repeatU_ = true, repeatV_ = true;
};

}  // namespace rm

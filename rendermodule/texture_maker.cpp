#include "rendermodule/texture_maker.h"

#include <algorithm>

int CTexture::TextureSide(int side) {
    int p = 1;
    while (p < side && p < 2048) p *= 2;
    return p;
}

rm::Texture* CTexture::MakeTexture() const {
    if (m_picture == nullptr || m_rm == nullptr || m_ddraw == nullptr) return nullptr;
    const CPicture::Image& image = m_picture->GetImage();
    if (image.width <= 0 || image.height <= 0 || image.pixels.empty()) return nullptr;

    // 1. The picture in a surface of its own size. The image holds R, G, B[, A]
    //    rows top-down, packed (see CPicture::Image); the surface takes B, G, R, A
    //    rows top-down, with A the picture's alpha when it has one, else opaque.
    const std::size_t bpp = static_cast<std::size_t>(image.bytesPerPixel);
    const std::size_t w = static_cast<std::size_t>(image.width);
    const std::size_t h = static_cast<std::size_t>(image.height);
    if ((bpp != 3 && bpp != 4) || image.pixels.size() != w * h * bpp) return nullptr;
    TextureSurface first = m_ddraw->CreateTextureSurface(image.width, image.height);
    if (first.pixels.empty()) return nullptr;
    const std::uint8_t* src = image.pixels.data();
    for (std::size_t y = 0; y < h; ++y) {
        std::uint8_t* dst = &first.pixels[y * static_cast<std::size_t>(first.pitch)];
        for (std::size_t x = 0; x < w; ++x, src += bpp, dst += 4) {
            dst[0] = src[2];
            dst[1] = src[1];
            dst[2] = src[0];
            dst[3] = bpp == 4 ? src[3] : 255;
        }
    }

    // 2. Sides that are not powers of two (or exceed 2048) are stretched, by
    //    nearest pixel as a surface blit does, onto the next power of two.
    int tw = TextureSide(image.width), th = TextureSide(image.height);
    TextureSurface stretched;
    const TextureSurface* use = &first;
    if (tw != image.width || th != image.height) {
        stretched = m_ddraw->CreateTextureSurface(tw, th);
        for (int y = 0; y < th; ++y) {
            int sy = static_cast<int>(static_cast<long long>(y) * image.height / th);
            for (int x = 0; x < tw; ++x) {
                int sx = static_cast<int>(static_cast<long long>(x) * image.width / tw);
                std::copy_n(
                    &first.pixels[static_cast<std::size_t>(sy) * first.pitch + sx * 4], 4,
                    &stretched.pixels[static_cast<std::size_t>(y) * stretched.pitch + x * 4]);
            }
        }
        use = &stretched;
    }

    rm::ImageView view;
    view.width = use->width;
    view.height = use->height;
    view.format = rm::PixelFormat::BGRA8;
    view.pixels = use->pixels;
    view.stride = use->pitch;
    rm::Texture* texture = nullptr;
    if (rm::Failed(m_rm->CreateTexture(view, &texture))) return nullptr;
    return texture;
}

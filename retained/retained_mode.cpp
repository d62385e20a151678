#include "retained/retained_mode.h"

#include <cmath>
#include <new>

namespace rm {

namespace {

template <class T>
Result Hand(T* object, T** out) {
    if (!object) return kOutOfMemory;
    *out = object;
    return kOk;
}

}  // namespace

Result RetainedMode::Create(RetainedMode** out) {
    if (!out) return kInvalidArg;
    return Hand(new (std::nothrow) RetainedMode, out);
}

Result RetainedMode::CreateFrame(Frame* parent, Frame** out) {
    if (!out) return kInvalidArg;
    *out = nullptr;
    auto* f = new (std::nothrow) Frame;
    if (!f) return kOutOfMemory;
    if (parent) parent->AddChild(f);
    return Hand(f, out);
}

Result RetainedMode::CreateMeshBuilder(MeshBuilder** out) {
    if (!out) return kInvalidArg;
    return Hand(new (std::nothrow) MeshBuilder, out);
}

MeshBuilder* RetainedMode::UnitMesh(std::uint64_t key, bool* created) {
    if (created) *created = false;
    Ptr<MeshBuilder>& held = unitMeshes_[key];
    if (!held) {
        if (Failed(CreateMeshBuilder(held.Put()))) {
            unitMeshes_.erase(key);
            return nullptr;
        }
        if (created) *created = true;
    }
    return held.Get();
}

Result RetainedMode::CreateFace(Face** out) {
    if (!out) return kInvalidArg;
    return Hand(new (std::nothrow) Face, out);
}

Result RetainedMode::CreateLightRGB(LightType type, float r, float g, float b, Light** out) {
    if (!out) return kInvalidArg;
    *out = nullptr;
    if (type != LightType::Ambient && type != LightType::Directional && type != LightType::Point &&
        type != LightType::Spot)
        return kInvalidArg;
    return Hand(new (std::nothrow) Light(type, {r, g, b}), out);
}

Result RetainedMode::CreateMaterial(float power, Material** out) {
    if (!out) return kInvalidArg;
    return Hand(new (std::nothrow) Material(power), out);
}

Result RetainedMode::CreateTexture(const ImageView& image, Texture** out) {
    if (!out) return kInvalidArg;
    *out = nullptr;
    const int w = image.width, h = image.height;
    if (w < 1 || h < 1 || w > Texture::kMaxSize || h > Texture::kMaxSize) return kInvalidArg;
    const int bpp = BytesPerPixel(image.format);
    const std::size_t srcRow = static_cast<std::size_t>(w) * static_cast<std::size_t>(bpp);
    const std::size_t stride = image.stride == 0 ? srcRow : static_cast<std::size_t>(image.stride);
    if (image.stride < 0 || stride < srcRow) return kInvalidArg;
    if (image.pixels.size() < stride * static_cast<std::size_t>(h - 1) + srcRow) return kInvalidArg;
    const bool swap = image.format == PixelFormat::BGRA8 || image.format == PixelFormat::BGR8;
    auto img = std::make_shared<TextureImage>();
    img->width = w;
    img->height = h;
    img->rgba.resize(static_cast<std::size_t>(w) * static_cast<std::size_t>(h) * 4);
    std::uint8_t* dst = img->rgba.data();
    bool grey = true;
    for (int y = 0; y < h; ++y) {
        const std::uint8_t* src = image.pixels.data() + stride * static_cast<std::size_t>(y);
        for (int x = 0; x < w; ++x, src += bpp, dst += 4) {
            dst[0] = swap ? src[2] : src[0];
            dst[1] = src[1];
            dst[2] = swap ? src[0] : src[2];
            dst[3] = bpp == 4 ? src[3] : 255;
            grey = grey && dst[0] == dst[1] && dst[1] == dst[2];
        }
    }
    img->grey = grey;
    return Hand(new (std::nothrow) Texture(std::move(img)), out);
}

Result RetainedMode::CreateWrap(const WrapParams& p, Wrap** out) {
    if (!out) return kInvalidArg;
    *out = nullptr;
    const float dl = glm::length(p.direction);
    if (!(dl > 0.0f) || !std::isfinite(dl)) return kInvalidArg;
    const glm::vec3 z = p.direction / dl;
    const glm::vec3 yRaw = p.up - glm::dot(p.up, z) * z;
    const float yl = glm::length(yRaw);
    if (!(yl > 1e-6f * glm::length(p.up)) || !std::isfinite(yl)) return kInvalidArg;
    const glm::vec3 y = yRaw / yl;
    const glm::vec3 x = glm::cross(y, z);  // u × d
    return Hand(new (std::nothrow) Wrap(p, x, y, z), out);
}

Result RetainedMode::CreateDevice(int width, int height, Device** out) {
    if (!out) return kInvalidArg;
    *out = nullptr;
    if (width < 1 || height < 1 || width > 16384 || height > 16384) return kInvalidArg;
    return Hand(new (std::nothrow) Device(width, height), out);
}

Result RetainedMode::CreateViewport(Device* device, Frame* camera, int x, int y, int width,
                                    int height, Viewport** out) {
    if (!out) return kInvalidArg;
    *out = nullptr;
    if (!device || !camera || x < 0 || y < 0 || width < 1 || height < 1 ||
        x + width > device->GetWidth() || y + height > device->GetHeight())
        return kInvalidArg;
    return Hand(new (std::nothrow) Viewport(device, camera, x, y, width, height), out);
}

}  // namespace rm

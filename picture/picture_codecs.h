// The four decoders behind CPicture::Load, each working on a whole file
// already in memory. Internal to the picture library and its tests.
#pragma once

#include <cstdint>
#include <span>
#include <string>

#include "picture/picture.h"

namespace picture_codec {

struct Decoded {
    CPicture::Image image;
    std::int32_t fileWidth = 0;
    std::int32_t fileHeight = 0;
    std::string error;  // set when the decoder returns false
};

using Bytes = std::span<const std::uint8_t>;

bool DecodeJpeg(Bytes file, Decoded& out);
bool DecodePng(Bytes file, Decoded& out);
bool DecodeTarga(Bytes file, Decoded& out);
bool DecodeBitmap(Bytes file, Decoded& out);

// Sets out.error and returns false, so decoders can `return Fail(out, ...)`.
bool Fail(Decoded& out, std::string why);

// Checks an image of width x height x bytesPerPixel against the limits in
// CPicture (zero-sized images are rejected too); 64-bit arithmetic throughout.
bool CheckSize(std::uint64_t width, std::uint64_t height, std::uint64_t bytesPerPixel,
               Decoded& out);

inline std::uint32_t ReadLe16(const std::uint8_t* p) {
    return p[0] | (p[1] << 8);
}
inline std::uint32_t ReadLe32(const std::uint8_t* p) {
    return std::uint32_t(p[0]) | (std::uint32_t(p[1]) << 8) | (std::uint32_t(p[2]) << 16) |
           (std::uint32_t(p[3]) << 24);
}

}  // namespace picture_codec

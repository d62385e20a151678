// Targa reader: uncompressed (type 2) and run-length (type 10) true colour at
// 24 or 32 bits per pixel.
#include <algorithm>
#include <cstring>

#include "picture/picture_codecs.h"

namespace picture_codec {

namespace {

constexpr std::size_t kHeaderSize = 18;

// Expands type-10 packets into px (width * height pixels of bpp bytes). A
// packet that reaches past the last pixel is cut off there: its excess pixels
// are neither stored nor required to be present in the file.
bool ExpandRunLength(Bytes file, std::size_t pos, std::size_t bpp, std::vector<std::uint8_t>& px,
                     Decoded& out) {
    const std::size_t total = px.size() / bpp;
    std::size_t written = 0;
    while (written < total) {
        if (pos >= file.size()) return Fail(out, "run-length data cut short");
        const std::uint8_t header = file[pos++];
        const std::size_t count = std::min<std::size_t>((header & 0x7F) + 1, total - written);
        const std::size_t need = (header & 0x80) ? bpp : count * bpp;
        if (file.size() - pos < need) return Fail(out, "run-length data cut short");
        std::uint8_t* dst = px.data() + written * bpp;
        if (header & 0x80) {
            for (std::size_t i = 0; i < count; ++i) std::memcpy(dst + i * bpp, &file[pos], bpp);
        } else {
            std::memcpy(dst, &file[pos], need);
        }
        pos += need;
        written += count;
    }
    return true;
}

}  // namespace

bool DecodeTarga(Bytes file, Decoded& out) {
    if (file.empty()) return Fail(out, "empty file");
    if (file.size() < kHeaderSize) return Fail(out, "Targa header cut short");
    const std::uint8_t type = file[2];
    if (type != 2 && type != 10)
        return Fail(out, "Targa image type " + std::to_string(type) +
                             " is neither true colour (2) nor run-length true colour (10)");
    const std::uint8_t depth = file[16];
    if (depth != 24 && depth != 32)
        return Fail(out, "Targa pixel depth " + std::to_string(depth) + " is not 24 or 32");
    const std::size_t bpp = depth / 8;
    const std::uint32_t width = ReadLe16(&file[12]);
    const std::uint32_t height = ReadLe16(&file[14]);
    out.fileWidth = std::int32_t(width);
    out.fileHeight = std::int32_t(height);
    if (!CheckSize(width, height, bpp, out)) return false;

    const std::size_t pos = kHeaderSize + file[0];  // after the identification field
    // Check that the data can describe the image before allocating for it: a
    // run-length packet (a header and at least one pixel) gives at most 128
    // pixels, so a small file cannot make a huge image.
    const std::uint64_t available = pos < file.size() ? file.size() - pos : 0;
    const std::uint64_t pixels = std::uint64_t{width} * height;
    if (type == 10 && pixels > (available + bpp) / (1 + bpp) * 128)
        return Fail(out, "Targa run-length data too short for a " + std::to_string(width) + "x" +
                             std::to_string(height) + " image");
    const std::size_t rowBytes = width * bpp;
    std::vector<std::uint8_t> px(rowBytes * height);
    if (type == 10) {
        if (!ExpandRunLength(file, pos, bpp, px, out)) return false;
    } else {
        if (pos > file.size() || file.size() - pos < px.size())
            return Fail(out, "Targa pixel data cut short");
        std::memcpy(px.data(), &file[pos], px.size());
    }

    // The file's rows are turned over whatever its origin bit says, and each
    // pixel's B, G, R becomes R, G, B.
    for (std::size_t top = 0, bottom = height - 1; top < bottom; ++top, --bottom)
        std::swap_ranges(px.begin() + top * rowBytes, px.begin() + (top + 1) * rowBytes,
                         px.begin() + bottom * rowBytes);
    for (std::size_t i = 0; i < px.size(); i += bpp) std::swap(px[i], px[i + 2]);

    out.image.pixels = std::move(px);
    out.image.width = std::int32_t(width);
    out.image.height = std::int32_t(height);
    out.image.bytesPerPixel = std::int32_t(bpp);
    return true;
}

}  // namespace picture_codec

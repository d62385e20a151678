// Targa reader: true colour at 24 or 32 bits per pixel and grey-scale at 8,
// each uncompressed (types 2 and 3) or run-length coded (types 10 and 11).
// The file's origin bits say which corner its first pixel is; the result is
// the layout of CPicture::Image whatever that corner.
#include <cstring>

#include "picture/picture_codecs.h"

namespace picture_codec {

namespace {

constexpr std::size_t kHeaderSize = 18;
constexpr std::uint8_t kTopOrigin = 0x20;    // descriptor bit 5: rows stored top row first
constexpr std::uint8_t kRightOrigin = 0x10;  // descriptor bit 4: pixels stored right to left

// Expands run-length packets into px (width * height pixels of bpp bytes, in
// file order). Packets may cross rows, but one that runs past the last pixel
// or past the end of the file makes the file bad.
bool ExpandRunLength(Bytes file, std::size_t pos, std::size_t bpp, std::vector<std::uint8_t>& px,
                     Decoded& out) {
    const std::size_t total = px.size() / bpp;
    std::size_t written = 0;
    while (written < total) {
        if (pos >= file.size()) return Fail(out, "run-length data cut short");
        const std::uint8_t header = file[pos++];
        const std::size_t count = (header & 0x7F) + 1;
        if (count > total - written)
            return Fail(out, "run-length packet of " + std::to_string(count) + " pixels at pixel " +
                                 std::to_string(written) + " runs past the last pixel (" +
                                 std::to_string(total) + ")");
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
    if (type == 1 || type == 9)
        return Fail(out,
                    "colour-mapped Targa (type " + std::to_string(type) + ") is not supported");
    if (type != 2 && type != 3 && type != 10 && type != 11)
        return Fail(out, "Targa image type " + std::to_string(type) +
                             " is neither true colour (2, 10) nor grey-scale (3, 11)");
    const bool grey = type == 3 || type == 11;
    const bool runLength = type == 10 || type == 11;
    const std::uint8_t depth = file[16];
    if (grey && depth != 8)
        return Fail(out, "grey-scale Targa depth " + std::to_string(depth) + " is not 8");
    if (!grey && depth != 24 && depth != 32)
        return Fail(out, "Targa pixel depth " + std::to_string(depth) + " is not 24 or 32");
    const std::size_t fileBpp = depth / 8;
    const std::size_t bpp = grey ? 3 : fileBpp;
    const std::uint32_t width = ReadLe16(&file[12]);
    const std::uint32_t height = ReadLe16(&file[14]);
    out.fileWidth = std::int32_t(width);
    out.fileHeight = std::int32_t(height);
    if (!CheckSize(width, height, bpp, out)) return false;

    // The pixels follow the identification field and the colour map, which a
    // true-colour file may carry too (it is not used here).
    std::size_t pos = kHeaderSize + file[0];
    if (file[1] != 0) pos += ReadLe16(&file[5]) * std::size_t((file[7] + 7) / 8);
    // Check that the data can describe the image before allocating for it: a
    // run-length packet (a header and at least one pixel) gives at most 128
    // pixels, so a small file cannot make a huge image.
    const std::uint64_t available = pos < file.size() ? file.size() - pos : 0;
    const std::uint64_t pixels = std::uint64_t{width} * height;
    if (runLength && pixels > (available + fileBpp) / (1 + fileBpp) * 128)
        return Fail(out, "Targa run-length data too short for a " + std::to_string(width) + "x" +
                             std::to_string(height) + " image");
    const std::uint8_t* src = nullptr;
    std::vector<std::uint8_t> expanded;
    if (runLength) {
        expanded.resize(pixels * fileBpp);
        if (!ExpandRunLength(file, pos, fileBpp, expanded, out)) return false;
        src = expanded.data();
    } else {
        if (available < pixels * fileBpp) return Fail(out, "Targa pixel data cut short");
        src = file.data() + pos;
    }

    // Output row y is file row y when the file starts at the top, else row
    // height - 1 - y; likewise for columns when it starts at the right. Each
    // pixel's B, G, R[, A] becomes R, G, B[, A]; a grey value fills all three.
    const std::uint8_t descriptor = file[17];
    std::vector<std::uint8_t> px(pixels * bpp);
    std::uint8_t* dst = px.data();
    for (std::size_t y = 0; y < height; ++y) {
        const std::size_t fileRow = (descriptor & kTopOrigin) ? y : height - 1 - y;
        for (std::size_t x = 0; x < width; ++x, dst += bpp) {
            const std::size_t fileColumn = (descriptor & kRightOrigin) ? width - 1 - x : x;
            const std::uint8_t* s = src + (fileRow * width + fileColumn) * fileBpp;
            if (grey) {
                dst[0] = dst[1] = dst[2] = s[0];
                continue;
            }
            dst[0] = s[2], dst[1] = s[1], dst[2] = s[0];
            if (bpp == 4) dst[3] = s[3];
        }
    }

    out.image.pixels = std::move(px);
    out.image.width = std::int32_t(width);
    out.image.height = std::int32_t(height);
    out.image.bytesPerPixel = std::int32_t(bpp);
    return true;
}

}  // namespace picture_codec

// Windows bitmap reader: uncompressed files of 1, 4 or 8 bits per pixel
// (palette), 16 or 32 (colour masks, the default ones or from the header) and
// 24, with the information header of 40 bytes or any larger one, rows stored
// bottom-up (positive height) or top-down (negative height), each row padded to
// a multiple of 4 bytes. The result is the layout of CPicture::Image.
#include <bit>
#include <cstdlib>

#include "picture/picture_codecs.h"

namespace picture_codec {

namespace {

constexpr std::size_t kFileHeaderSize = 14;
constexpr std::size_t kInfoHeaderSize = 40;  // the smallest header with a size field

// The compression field's values.
constexpr std::uint32_t kRgb = 0;
constexpr std::uint32_t kRle8 = 1;
constexpr std::uint32_t kRle4 = 2;
constexpr std::uint32_t kBitFields = 3;
constexpr std::uint32_t kJpeg = 4;
constexpr std::uint32_t kPng = 5;
constexpr std::uint32_t kAlphaBitFields = 6;

// One channel of a 16 or 32-bit pixel: its bits, and their scale to 8 bits.
struct Channel {
    std::uint32_t mask = 0;
    int shift = 0;
    std::uint32_t max = 0;  // mask >> shift

    std::uint8_t Get(std::uint32_t pixel) const {
        return std::uint8_t((std::uint64_t((pixel & mask) >> shift) * 255 + max / 2) / max);
    }
};

// A channel for `mask`, which must be one run of bits within the pixel.
bool MakeChannel(std::uint32_t mask, std::uint32_t bitCount, const char* name, Channel& c,
                 Decoded& out) {
    if (mask == 0) return Fail(out, std::string("bitmap ") + name + " mask is empty");
    c.mask = mask;
    c.shift = std::countr_zero(mask);
    c.max = mask >> c.shift;
    if ((c.max & (c.max + 1)) != 0 || (bitCount < 32 && (mask >> bitCount) != 0))
        return Fail(out, std::string("bitmap ") + name + " mask " + std::to_string(mask) +
                             " is not one run of bits within the pixel");
    return true;
}

}  // namespace

bool DecodeBitmap(Bytes file, Decoded& out) {
    if (file.size() < kFileHeaderSize) return Fail(out, "bitmap file header cut short");
    if (file[0] != 'B' || file[1] != 'M') return Fail(out, "not a bitmap (no \"BM\" magic)");
    if (file.size() < kFileHeaderSize + 4) return Fail(out, "bitmap header cut short");
    const std::uint64_t pixelOffset = ReadLe32(&file[10]);
    const std::uint32_t infoSize = ReadLe32(&file[kFileHeaderSize]);
    if (infoSize < kInfoHeaderSize)
        return Fail(out, "bitmap information header of " + std::to_string(infoSize) +
                             " bytes is too old a format");
    // Whatever the header's size (the later versions add colour masks, colour
    // space and profile fields after the first 40 bytes), the palette or masks
    // follow it and the pixels start at the offset the file header gives.
    if (pixelOffset < kFileHeaderSize + std::uint64_t{infoSize})
        return Fail(out, "bitmap pixel offset " + std::to_string(pixelOffset) +
                             " leaves no room for the information header");
    if (file.size() < pixelOffset) return Fail(out, "bitmap header cut short");
    const std::uint8_t* info = &file[kFileHeaderSize];

    const std::int32_t width = std::int32_t(ReadLe32(info + 4));
    const std::int32_t height = std::int32_t(ReadLe32(info + 8));
    const std::uint32_t bitCount = ReadLe16(info + 14);
    const std::uint32_t compression = ReadLe32(info + 16);
    const std::uint32_t coloursUsed = ReadLe32(info + 32);
    out.fileWidth = width;
    out.fileHeight = height;
    if (width <= 0) return Fail(out, "bitmap width " + std::to_string(width) + " is not positive");
    const std::uint64_t absHeight = std::uint64_t(std::llabs(height));
    const bool topDown = height < 0;

    if (compression == kRle8 || compression == kRle4)
        return Fail(out, "run-length compressed bitmaps are not supported");
    if (compression == kJpeg || compression == kPng)
        return Fail(out, "bitmaps holding a JPEG or PNG stream are not supported");
    if (compression != kRgb && compression != kBitFields && compression != kAlphaBitFields)
        return Fail(out, "bitmap compression " + std::to_string(compression) + " is unknown");
    const bool masked = compression != kRgb;
    const bool paletted = bitCount == 1 || bitCount == 4 || bitCount == 8;
    if (!paletted && bitCount != 16 && bitCount != 24 && bitCount != 32)
        return Fail(out,
                    "bitmap of " + std::to_string(bitCount) + " bits per pixel is not supported");
    if (masked && bitCount != 16 && bitCount != 32)
        return Fail(out, "bitmap colour masks with " + std::to_string(bitCount) +
                             " bits per pixel (only 16 or 32 have masks)");

    // The tables between the headers and the pixels.
    std::uint64_t tablePos = kFileHeaderSize + std::uint64_t{infoSize};
    Channel red, green, blue, alpha;
    if (bitCount == 16 || bitCount == 32) {
        // Without masks, 16 bits are 5-5-5 and 32 bits B, G, R and an unused byte.
        std::uint32_t masks[4] = {0x7C00, 0x03E0, 0x001F, 0};
        if (bitCount == 32) masks[0] = 0xFF0000, masks[1] = 0xFF00, masks[2] = 0xFF;
        if (masked && infoSize >= 52) {
            for (int i = 0; i < 3; ++i) masks[i] = ReadLe32(info + 40 + 4 * i);
            masks[3] = infoSize >= 56 ? ReadLe32(info + 52) : 0;
        } else if (masked) {
            // A 40-byte header is followed by the masks themselves.
            const int count = compression == kAlphaBitFields ? 4 : 3;
            if (pixelOffset - tablePos < 4u * count)
                return Fail(out, "bitmap pixel offset " + std::to_string(pixelOffset) +
                                     " leaves no room for the colour masks");
            for (int i = 0; i < count; ++i) masks[i] = ReadLe32(&file[tablePos + 4 * i]);
            tablePos += 4u * count;
        }
        if (!MakeChannel(masks[0], bitCount, "red", red, out) ||
            !MakeChannel(masks[1], bitCount, "green", green, out) ||
            !MakeChannel(masks[2], bitCount, "blue", blue, out) ||
            (masks[3] != 0 && !MakeChannel(masks[3], bitCount, "alpha", alpha, out)))
            return false;
    }
    std::uint64_t paletteSize = 0;
    if (paletted) {
        // Entries past the 2^bitCount an index can reach are never used.
        const std::uint32_t reachable = 1u << bitCount;
        paletteSize = coloursUsed == 0 || coloursUsed > reachable ? reachable : coloursUsed;
        if (pixelOffset - tablePos < 4 * paletteSize)
            return Fail(out, "bitmap pixel offset " + std::to_string(pixelOffset) +
                                 " leaves no room for the " + std::to_string(paletteSize) +
                                 "-colour palette");
    }

    const std::size_t bpp = alpha.mask != 0 ? 4 : 3;
    if (!CheckSize(std::uint64_t(width), absHeight, bpp, out)) return false;
    const std::uint64_t stride = (std::uint64_t(width) * bitCount + 31) / 32 * 4;
    if (file.size() - pixelOffset < stride * absHeight)
        return Fail(out, "bitmap pixel data cut short");

    const std::size_t w = std::size_t(width);
    std::vector<std::uint8_t> px(w * absHeight * bpp);
    const std::uint8_t* palette = file.data() + tablePos;
    for (std::uint64_t row = 0; row < absHeight; ++row) {
        const std::uint8_t* src = file.data() + pixelOffset + row * stride;
        const std::uint64_t y = topDown ? row : absHeight - 1 - row;
        std::uint8_t* dst = px.data() + y * w * bpp;
        for (std::size_t x = 0; x < w; ++x, dst += bpp) {
            if (paletted) {
                const std::size_t bit = x * bitCount;
                const std::uint32_t index =
                    (src[bit / 8] >> (8 - bitCount - bit % 8)) & ((1u << bitCount) - 1);
                if (index >= paletteSize)
                    return Fail(out, "bitmap palette index " + std::to_string(index) +
                                         " is past the " + std::to_string(paletteSize) +
                                         "-colour palette");
                const std::uint8_t* entry = palette + 4 * index;  // B, G, R, unused
                dst[0] = entry[2], dst[1] = entry[1], dst[2] = entry[0];
            } else if (bitCount == 24) {
                const std::uint8_t* s = src + 3 * x;
                dst[0] = s[2], dst[1] = s[1], dst[2] = s[0];
            } else {
                const std::uint32_t pixel =
                    bitCount == 32 ? ReadLe32(src + 4 * x) : ReadLe16(src + 2 * x);
                dst[0] = red.Get(pixel), dst[1] = green.Get(pixel), dst[2] = blue.Get(pixel);
                if (bpp == 4) dst[3] = alpha.Get(pixel);
            }
        }
    }

    out.image.pixels = std::move(px);
    out.image.width = width;
    out.image.height = std::int32_t(absHeight);
    out.image.bytesPerPixel = std::int32_t(bpp);
    return true;
}

}  // namespace picture_codec

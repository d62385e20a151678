// Windows bitmap reader: keeps the file's pixel array as stored (see the
// Image comment in picture.h for what that means to a reader).
#include <cstdlib>

#include "picture/picture_codecs.h"

namespace picture_codec {

namespace {

constexpr std::size_t kFileHeaderSize = 14;
constexpr std::size_t kInfoHeaderSize = 40;  // the smallest header with a size field

}  // namespace

bool DecodeBitmap(Bytes file, Decoded& out) {
    if (file.size() < kFileHeaderSize) return Fail(out, "bitmap file header cut short");
    if (file[0] != 'B' || file[1] != 'M') return Fail(out, "not a bitmap (no \"BM\" magic)");
    const std::uint32_t pixelOffset = ReadLe32(&file[10]);
    if (pixelOffset < kFileHeaderSize + kInfoHeaderSize)
        return Fail(out, "bitmap pixel offset " + std::to_string(pixelOffset) +
                             " leaves no room for the information header");
    if (file.size() < pixelOffset) return Fail(out, "bitmap header cut short");
    const std::uint8_t* info = &file[kFileHeaderSize];
    const std::uint32_t infoSize = ReadLe32(info);
    if (infoSize < kInfoHeaderSize)
        return Fail(out, "bitmap information header of " + std::to_string(infoSize) +
                             " bytes is too old a format");

    const std::int32_t width = std::int32_t(ReadLe32(info + 4));
    const std::int32_t height = std::int32_t(ReadLe32(info + 8));
    const std::uint32_t bitCount = ReadLe16(info + 14);
    const std::uint32_t sizeField = ReadLe32(info + 20);
    out.fileWidth = width;
    out.fileHeight = height;
    if (width <= 0) return Fail(out, "bitmap width " + std::to_string(width) + " is not positive");
    const std::uint64_t absHeight = std::uint64_t(std::llabs(height));
    if (!CheckSize(std::uint64_t(width), absHeight, 3, out)) return false;

    const std::uint64_t size =
        sizeField != 0 ? sizeField : (std::uint64_t(width) * bitCount + 7) / 8 * absHeight;
    if (size == 0) return Fail(out, "bitmap without pixel data");
    if (size > CPicture::kMaxBytes) return Fail(out, "bitmap pixel data exceeds the memory limit");
    if (file.size() - pixelOffset < size) return Fail(out, "bitmap pixel data cut short");

    const auto* begin = &file[0] + pixelOffset;
    out.image.pixels.assign(begin, begin + size);
    out.image.width = width;
    out.image.height = std::int32_t(absHeight);
    out.image.bytesPerPixel = 3;
    return true;
}

}  // namespace picture_codec

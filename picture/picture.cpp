#include "picture/picture.h"

#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>

#include "picture/picture_codecs.h"

namespace picture_codec {

bool Fail(Decoded& out, std::string why) {
    out.error = std::move(why);
    return false;
}

bool CheckSize(std::uint64_t width, std::uint64_t height, std::uint64_t bytesPerPixel,
               Decoded& out) {
    const std::string dims = std::to_string(width) + " x " + std::to_string(height);
    if (width == 0 || height == 0) return Fail(out, "empty image (" + dims + ")");
    // Width and height are below 2^32 and the second product is formed only
    // once their product is within kMaxPixels, so nothing can wrap.
    if (width * height > CPicture::kMaxPixels)
        return Fail(out, "image of " + dims + " pixels exceeds the pixel limit");
    if (width * height * bytesPerPixel > CPicture::kMaxBytes)
        return Fail(out, "image of " + dims + " pixels exceeds the memory limit");
    return true;
}

}  // namespace picture_codec

namespace {

using namespace picture_codec;

struct DecoderEntry {
    const char* extension;  // upper case
    bool (*decode)(Bytes, Decoded&);
};

// "JPEG" and "PNG" are additions to the three classic extensions: files named
// ".jpeg" are common enough that users expect them to load, and PNG is the
// lossless format most of today's tools write.
constexpr DecoderEntry kDecoders[] = {
    {"JPG", DecodeJpeg},  {"JPEG", DecodeJpeg},  {"PNG", DecodePng},
    {"TGA", DecodeTarga}, {"BMP", DecodeBitmap},
};

// The text after the last '.' of the last path component, in upper case;
// empty when that component has no '.'.
std::string UpperExtension(const std::string& fileName) {
    const std::size_t slash = fileName.find_last_of('/');
    const std::size_t dot = fileName.find_last_of('.');
    if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) return {};
    std::string ext = fileName.substr(dot + 1);
    for (char& c : ext) c = char(std::toupper(static_cast<unsigned char>(c)));
    return ext;
}

struct FileCloser {
    void operator()(std::FILE* f) const { std::fclose(f); }
};

// Reads the whole file, refusing anything larger than CPicture::kMaxBytes.
bool ReadWholeFile(const std::string& fileName, std::vector<std::uint8_t>& bytes,
                   std::string& error) {
    std::unique_ptr<std::FILE, FileCloser> file(std::fopen(fileName.c_str(), "rb"));
    if (!file) {
        error = "cannot open (" + std::string(std::strerror(errno)) + ")";
        return false;
    }
    constexpr std::size_t kChunk = 64 * 1024;
    std::size_t used = 0;
    for (;;) {
        if (used > CPicture::kMaxBytes) {
            error = "file larger than " + std::to_string(CPicture::kMaxBytes) + " bytes";
            return false;
        }
        bytes.resize(used + kChunk);
        const std::size_t got = std::fread(bytes.data() + used, 1, kChunk, file.get());
        used += got;
        if (got < kChunk) break;
    }
    bytes.resize(used);
    if (std::ferror(file.get())) {
        error = "read error (" + std::string(std::strerror(errno)) + ")";
        return false;
    }
    return true;
}

}  // namespace

bool CPicture::Load(const std::string& fileName, int /*flag*/) {
    const std::string ext = UpperExtension(fileName);
    m_image = Image{};
    m_fileWidth = 0;
    m_fileHeight = 0;
    m_error.clear();

    const DecoderEntry* entry = nullptr;
    for (const DecoderEntry& e : kDecoders)
        if (ext == e.extension) entry = &e;
    if (!entry) {
        m_keptName = fileName;
        m_error = fileName + ": not a JPEG, PNG, Targa or bitmap file name";
        return false;
    }

    std::vector<std::uint8_t> bytes;
    std::string readError;
    if (!ReadWholeFile(fileName, bytes, readError)) {
        m_error = fileName + ": " + readError;
        return false;
    }
    Decoded decoded;
    const bool ok = entry->decode(bytes, decoded);
    m_fileWidth = decoded.fileWidth;
    m_fileHeight = decoded.fileHeight;
    if (!ok) {
        m_error = fileName + ": " + decoded.error;
        return false;
    }
    m_image = std::move(decoded.image);
    return true;
}

bool CPicture::SetPixels(const std::vector<std::int32_t>& numbers) {
    m_image = Image{};
    m_keptName.clear();
    m_error.clear();
    m_fileWidth = m_fileHeight = 0;
    if (numbers.size() < 3) {
        m_error = "PixelTexture: the image has no width, height and components";
        return false;
    }
    const std::int64_t width = numbers[0], height = numbers[1], components = numbers[2];
    if (width <= 0 || height <= 0) {
        m_error = "PixelTexture: the image is empty";
        return false;
    }
    if (components < 1 || components > 4) {
        m_error = "PixelTexture: " + std::to_string(components) + " components per pixel";
        return false;
    }
    if (static_cast<std::uint64_t>(width) * static_cast<std::uint64_t>(height) > kMaxPixels) {
        m_error = "PixelTexture: " + std::to_string(width) + " x " + std::to_string(height) +
                  " pixels is too large";
        return false;
    }
    m_fileWidth = static_cast<std::int32_t>(width);
    m_fileHeight = static_cast<std::int32_t>(height);
    // Grey becomes R = G = B; alpha is kept where the image has it.
    const int out = components == 2 || components == 4 ? 4 : 3;
    m_image.width = m_fileWidth;
    m_image.height = m_fileHeight;
    m_image.bytesPerPixel = out;
    m_image.pixels.assign(static_cast<std::size_t>(width * height * out), 0);
    const std::size_t given = numbers.size() - 3;
    for (std::int64_t y = 0; y < height; ++y) {
        // The image's first row is its bottom one; the buffer's first is the top.
        std::uint8_t* row = m_image.pixels.data() + (height - 1 - y) * width * out;
        for (std::int64_t x = 0; x < width; ++x) {
            const std::size_t index = static_cast<std::size_t>(y * width + x);
            if (index >= given) break;
            const auto p = static_cast<std::uint32_t>(numbers[3 + index]);
            std::uint8_t* px = row + x * out;
            auto byte = [p](int shift) { return static_cast<std::uint8_t>((p >> shift) & 0xFF); };
            switch (components) {
                case 1:
                    px[0] = px[1] = px[2] = byte(0);
                    break;
                case 2:
                    px[0] = px[1] = px[2] = byte(8);
                    px[3] = byte(0);
                    break;
                case 3:
                    px[0] = byte(16);
                    px[1] = byte(8);
                    px[2] = byte(0);
                    break;
                default:
                    px[0] = byte(24);
                    px[1] = byte(16);
                    px[2] = byte(8);
                    px[3] = byte(0);
                    break;
            }
        }
    }
    if (given < static_cast<std::size_t>(width * height))
        m_error =
            "PixelTexture: " + std::to_string(width * height - static_cast<std::int64_t>(given)) +
            " pixels missing, drawn black";
    return true;
}

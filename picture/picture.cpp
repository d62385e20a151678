#include "picture/picture.h"

#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>

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

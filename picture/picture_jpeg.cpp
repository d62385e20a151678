// JPEG reader over libjpeg-turbo's TurboJPEG interface: decodes to packed RGB,
// rows top-down.
#include <turbojpeg.h>

#include <memory>

#include "picture/picture_codecs.h"

namespace picture_codec {

namespace {

struct TjCloser {
    void operator()(void* handle) const { tjDestroy(handle); }
};

}  // namespace

bool DecodeJpeg(Bytes file, Decoded& out) {
    if (file.empty()) return Fail(out, "empty file");
    std::unique_ptr<void, TjCloser> tj(tjInitDecompress());
    if (!tj)
        return Fail(out, std::string("JPEG decoder failed to start: ") + tjGetErrorStr2(nullptr));

    int width = 0, height = 0, subsampling = 0, colorspace = 0;
    if (tjDecompressHeader3(tj.get(), file.data(), static_cast<unsigned long>(file.size()), &width,
                            &height, &subsampling, &colorspace) != 0)
        return Fail(out, std::string("JPEG header: ") + tjGetErrorStr2(tj.get()));
    out.fileWidth = width;
    out.fileHeight = height;
    if (width <= 0 || height <= 0) return Fail(out, "JPEG without pixels");
    if (!CheckSize(std::uint64_t(width), std::uint64_t(height), 3, out)) return false;

    // Any decoder warning (data cut short, corrupt entropy data) counts as a
    // failure; the scan limit stops progressive files built to waste time.
    std::vector<std::uint8_t> px(std::size_t(width) * std::size_t(height) * 3);
    if (tjDecompress2(tj.get(), file.data(), static_cast<unsigned long>(file.size()), px.data(),
                      width, 0, height, TJPF_RGB, TJFLAG_STOPONWARNING | TJFLAG_LIMITSCANS) != 0)
        return Fail(out, std::string("JPEG data: ") + tjGetErrorStr2(tj.get()));

    out.image.pixels = std::move(px);
    out.image.width = width;
    out.image.height = height;
    out.image.bytesPerPixel = 3;
    return true;
}

}  // namespace picture_codec

// libFuzzer target of the picture decoders: the first byte picks JPEG (0),
// Targa (1), bitmap (2) or PNG (3) by its value modulo 4, the rest is the
// file. Errors are expected; crashes, hangs, leaks and sanitizer reports are
// not.
#include <cstddef>
#include <cstdint>

#include "picture/picture_codecs.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 1) return 0;
    picture_codec::Bytes file(data + 1, size - 1);
    picture_codec::Decoded out;
    switch (data[0] % 4) {
        case 0:
            picture_codec::DecodeJpeg(file, out);
            break;
        case 1:
            picture_codec::DecodeTarga(file, out);
            break;
        case 2:
            picture_codec::DecodeBitmap(file, out);
            break;
        default:
            picture_codec::DecodePng(file, out);
            break;
    }
    return 0;
}

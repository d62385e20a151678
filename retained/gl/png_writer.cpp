#include "retained/gl/png_writer.h"

#include <png.h>

#include <cstring>

namespace rm::gl {

bool WritePng(const std::string& path, int width, int height, std::span<const std::uint8_t> rgba,
              std::string* error) {
    if (width < 1 || height < 1 ||
        rgba.size() != static_cast<std::size_t>(width) * static_cast<std::size_t>(height) * 4) {
        if (error) *error = "pixel buffer does not match the image size";
        return false;
    }
    png_image image;
    std::memset(&image, 0, sizeof image);
    image.version = PNG_IMAGE_VERSION;
    image.width = static_cast<png_uint_32>(width);
    image.height = static_cast<png_uint_32>(height);
    image.format = PNG_FORMAT_RGBA;
    if (!png_image_write_to_file(&image, path.c_str(), 0, rgba.data(), 0, nullptr)) {
        if (error) *error = path + ": " + image.message;
        png_image_free(&image);
        return false;
    }
    return true;
}

}  // namespace rm::gl

#include "retained/gl/png_writer.h"

#include <png.h>
#include <zlib.h>

#include <cerrno>
#include <csetjmp>
#include <cstdio>
#include <cstring>
#include <memory>
#include <vector>

namespace rm::gl {

namespace {

struct FileCloser {
    void operator()(std::FILE* f) const { std::fclose(f); }
};

void OnPngError(png_structp png, png_const_charp message) {
    auto* error = static_cast<std::string*>(png_get_error_ptr(png));
    if (error != nullptr) *error = message;
    png_longjmp(png, 1);
}

void OnPngWarning(png_structp, png_const_charp) {}

}  // namespace

bool WritePng(const std::string& path, int width, int height, std::span<const std::uint8_t> rgba,
              std::string* error) {
    if (width < 1 || height < 1 ||
        rgba.size() != static_cast<std::size_t>(width) * static_cast<std::size_t>(height) * 4) {
        if (error) *error = "pixel buffer does not match the image size";
        return false;
    }
    std::unique_ptr<std::FILE, FileCloser> file(std::fopen(path.c_str(), "wb"));
    if (!file) {
        if (error) *error = path + ": " + std::strerror(errno);
        return false;
    }
    std::string pngError;
    png_structp png =
        png_create_write_struct(PNG_LIBPNG_VER_STRING, &pngError, OnPngError, OnPngWarning);
    png_infop info = png != nullptr ? png_create_info_struct(png) : nullptr;
    if (info == nullptr) {
        png_destroy_write_struct(&png, nullptr);
        if (error) *error = path + ": out of memory";
        return false;
    }
    std::vector<png_const_bytep> rows(static_cast<std::size_t>(height));
    for (int y = 0; y < height; ++y)
        rows[static_cast<std::size_t>(y)] = rgba.data() + static_cast<std::size_t>(y) * width * 4;
    if (setjmp(png_jmpbuf(png)) != 0) {
        png_destroy_write_struct(&png, &info);
        if (error) *error = path + ": " + pngError;
        return false;
    }
    png_init_io(png, file.get());
    png_set_IHDR(png, info, static_cast<png_uint_32>(width), static_cast<png_uint_32>(height), 8,
                 PNG_COLOR_TYPE_RGB_ALPHA, PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT,
                 PNG_FILTER_TYPE_DEFAULT);
    // Rendered pictures compress well with one cheap filter and zlib's fastest
    // level; the default (every filter tried on every row, level 6) took most
    // of the time of rendering a small scene.
    png_set_filter(png, PNG_FILTER_TYPE_BASE, PNG_FILTER_SUB);
    png_set_compression_level(png, Z_BEST_SPEED);
    png_write_info(png, info);
    png_write_rows(png, const_cast<png_bytepp>(rows.data()), static_cast<png_uint_32>(height));
    png_write_end(png, nullptr);
    png_destroy_write_struct(&png, &info);
    if (std::fflush(file.get()) != 0 || std::ferror(file.get())) {
        if (error) *error = path + ": " + std::strerror(errno);
        return false;
    }
    return true;
}

}  // namespace rm::gl

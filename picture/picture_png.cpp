// PNG reader over libpng: every colour type and bit depth comes out in the
// layout of CPicture::Image, 8-bit R, G, B or R, G, B, A. Gamma and colour
// profile chunks are not applied: the samples are used as stored, as the
// other formats' are.
//
// libpng reports errors by longjmp to the last setjmp. The two functions that
// call setjmp (ReadHeader, ReadRows) own nothing with a destructor and leave no
// variable changed after setjmp that they read after the jump; everything
// they share with the callbacks lives in a plain PngState owned by DecodePng,
// which never calls setjmp itself.
#include <png.h>

#include <algorithm>
#include <csetjmp>
#include <cstdio>
#include <cstring>

#include "picture/picture_codecs.h"

namespace picture_codec {

namespace {

struct PngState {
    const std::uint8_t* data = nullptr;
    std::size_t size = 0;
    std::size_t pos = 0;
    char error[160] = "";
    // Set by ReadHeader.
    bool paletted = false;
    int channels = 0;  // of the rows libpng delivers: 1 (palette index), 3 or 4
    png_color palette[256] = {};
    int paletteSize = 0;
    std::uint8_t paletteAlpha[256] = {};
    int alphaCount = 0;  // palette entries with an alpha value; later ones are opaque
};

void OnError(png_structp png, png_const_charp message) {
    auto* state = static_cast<PngState*>(png_get_error_ptr(png));
    std::snprintf(state->error, sizeof state->error, "%s", message);
    png_longjmp(png, 1);
}

void OnWarning(png_structp, png_const_charp) {}

void OnRead(png_structp png, png_bytep to, png_size_t count) {
    auto* state = static_cast<PngState*>(png_get_io_ptr(png));
    if (state->size - state->pos < count) png_error(png, "data cut short");
    std::memcpy(to, state->data + state->pos, count);
    state->pos += count;
}

// Chunks whose contents are never used: text (which may be compressed) and
// colour information. libpng skips them instead of reading and checking them.
constexpr png_byte kIgnoredChunks[] = "tEXt\0zTXt\0iTXt\0iCCP\0sPLT\0eXIf";

// Reads the chunks before the pixel data and sets the transformations: 16-bit
// samples scaled to 8, grey and sub-byte samples expanded, grey turned to
// R, G, B, a transparency chunk turned into alpha. Palette images are read
// as one index byte per pixel, expanded by DecodePng so that an index past
// the palette is caught.
bool ReadHeader(png_structp png, png_infop info, PngState* state) {
    if (setjmp(png_jmpbuf(png)) != 0) return false;
    png_set_keep_unknown_chunks(png, PNG_HANDLE_CHUNK_NEVER, kIgnoredChunks,
                                int(sizeof kIgnoredChunks / 5));
    png_read_info(png, info);
    if (png_get_color_type(png, info) == PNG_COLOR_TYPE_PALETTE) {
        state->paletted = true;
        png_colorp palette = nullptr;
        int count = 0;
        if (png_get_PLTE(png, info, &palette, &count) == 0) png_error(png, "no palette");
        state->paletteSize = count < 256 ? count : 256;
        std::memcpy(state->palette, palette, sizeof(png_color) * state->paletteSize);
        png_bytep alpha = nullptr;
        int alphaCount = 0;
        if (png_get_tRNS(png, info, &alpha, &alphaCount, nullptr) != 0 && alpha != nullptr) {
            state->alphaCount = alphaCount < 256 ? alphaCount : 256;
            std::memcpy(state->paletteAlpha, alpha, state->alphaCount);
        }
        png_set_packing(png);
    } else {
        png_set_expand(png);
        png_set_scale_16(png);
        png_set_gray_to_rgb(png);
    }
    png_set_interlace_handling(png);
    png_read_update_info(png, info);
    state->channels = png_get_channels(png, info);
    if (png_get_bit_depth(png, info) != 8 ||
        (state->paletted ? state->channels != 1 : state->channels < 3) ||
        png_get_rowbytes(png, info) != png_get_image_width(png, info) * state->channels)
        png_error(png, "unexpected row layout after transformation");
    return true;
}

// Reads every row and the chunks after the pixel data up to the end chunk, so
// a file cut anywhere is refused.
bool ReadRows(png_structp png, png_infop info, png_bytepp rows) {
    if (setjmp(png_jmpbuf(png)) != 0) return false;
    png_read_image(png, rows);
    png_read_end(png, info);
    return true;
}

// Owns libpng's read and information structures.
class PngReader {
  public:
    explicit PngReader(PngState* state)
        : m_png(png_create_read_struct(PNG_LIBPNG_VER_STRING, state, OnError, OnWarning)),
          m_info(m_png != nullptr ? png_create_info_struct(m_png) : nullptr) {
        if (m_info != nullptr) png_set_read_fn(m_png, state, OnRead);
    }
    ~PngReader() { png_destroy_read_struct(&m_png, &m_info, nullptr); }
    PngReader(const PngReader&) = delete;
    PngReader& operator=(const PngReader&) = delete;

    png_structp png() const { return m_png; }
    png_infop info() const { return m_info; }

  private:
    png_structp m_png;
    png_infop m_info;
};

}  // namespace

bool DecodePng(Bytes file, Decoded& out) {
    if (file.empty()) return Fail(out, "empty file");
    constexpr std::size_t kSignatureSize = 8;
    if (png_sig_cmp(file.data(), 0, std::min(file.size(), kSignatureSize)) != 0)
        return Fail(out, "not a PNG (no PNG signature)");
    if (file.size() < kSignatureSize) return Fail(out, "PNG signature cut short");

    PngState state;
    state.data = file.data();
    state.size = file.size();
    PngReader reader(&state);
    if (reader.info() == nullptr) return Fail(out, "PNG decoder failed to start");
    const bool headerRead = ReadHeader(reader.png(), reader.info(), &state);
    const png_uint_32 width = png_get_image_width(reader.png(), reader.info());
    const png_uint_32 height = png_get_image_height(reader.png(), reader.info());
    out.fileWidth = std::int32_t(width);
    out.fileHeight = std::int32_t(height);
    if (!headerRead) return Fail(out, std::string("PNG: ") + state.error);

    const int bpp = !state.paletted ? state.channels : state.alphaCount > 0 ? 4 : 3;
    if (!CheckSize(width, height, std::uint64_t(bpp), out)) return false;
    const std::size_t rowBytes = std::size_t(width) * std::size_t(state.channels);
    std::vector<std::uint8_t> px(rowBytes * height);
    std::vector<png_bytep> rows(height);
    for (std::size_t y = 0; y < height; ++y) rows[y] = px.data() + y * rowBytes;
    if (!ReadRows(reader.png(), reader.info(), rows.data()))
        return Fail(out, std::string("PNG: ") + state.error);

    if (state.paletted) {
        std::vector<std::uint8_t> rgb(std::size_t(width) * height * std::size_t(bpp));
        std::uint8_t* dst = rgb.data();
        for (const std::uint8_t index : px) {
            if (index >= state.paletteSize)
                return Fail(out, "PNG palette index " + std::to_string(index) + " is past the " +
                                     std::to_string(state.paletteSize) + "-colour palette");
            const png_color& c = state.palette[index];
            dst[0] = c.red, dst[1] = c.green, dst[2] = c.blue;
            if (bpp == 4) dst[3] = index < state.alphaCount ? state.paletteAlpha[index] : 255;
            dst += bpp;
        }
        px = std::move(rgb);
    }

    out.image.pixels = std::move(px);
    out.image.width = std::int32_t(width);
    out.image.height = std::int32_t(height);
    out.image.bytesPerPixel = bpp;
    return true;
}

}  // namespace picture_codec

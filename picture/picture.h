// CPicture: loads a JPEG, PNG, Targa or Windows bitmap file named by a texture
// node into one pixel buffer that the texture maker turns into a texture.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

class CPicture {
  public:
    // The decoded image, in one layout whatever the file type, so the texture
    // maker needs no knowledge of file formats:
    //
    // - rows from the top row of the picture down, packed: width * bytesPerPixel
    //   bytes per row, no padding;
    // - bytesPerPixel 3: R, G, B; bytesPerPixel 4: R, G, B, A, used when the file
    //   carries alpha (32-bit Targa, bitmap with an alpha mask, PNG with an
    //   alpha channel or transparent palette entries);
    // - one byte per channel: grey-scale and palette files come out as R, G, B
    //   (palette alpha as A) whatever their bits per pixel; channels of other
    //   widths (16-bit bitmaps, 16-bit PNG samples) are scaled to 8 bits.
    //
    // pixels.size() == width * height * bytesPerPixel always; width and height
    // are positive (height is the absolute value of a bitmap's signed height).
    struct Image {
        std::vector<std::uint8_t> pixels;
        std::int32_t width = 0;
        std::int32_t height = 0;
        std::int32_t bytesPerPixel = 0;
    };

    // Limits that reject absurd headers before anything is allocated: total
    // pixel count, and the size of both the file read and the pixel buffer.
    static constexpr std::uint64_t kMaxPixels = 16384ull * 16384ull;
    static constexpr std::uint64_t kMaxBytes = 512ull << 20;

    virtual ~CPicture() = default;

    // Reads fileName, choosing the decoder by the extension compared in upper
    // case: "JPG" or "JPEG" (JPEG), "PNG" (PNG), "TGA" (Targa), "BMP" (bitmap).
    // Any other extension keeps a copy of the name (GetKeptName) and returns false.
    // The previous image is dropped first; on any failure no pixel buffer is
    // left and GetError says why. `flag` is reserved: every value decodes the
    // whole image (the scene translation passes 0).
    bool Load(const std::string& fileName, int flag = 0);

    const Image& GetImage() const { return m_image; }

    // Takes the picture from the numbers of a VRML97 SFImage (a PixelTexture's
    // image): width, height, components (1 grey, 2 grey + alpha, 3 RGB, 4
    // RGBA), then one number per pixel holding its components in its low
    // bytes, first component highest (0xRRGGBB for 3), rows from the bottom
    // up. Pixels the list lacks are black and GetError says so; the result is
    // true when an image was made. A size of 0 × 0, a component count outside
    // 1..4 or more pixels than kMaxPixels give no image, and false.
    bool SetPixels(const std::vector<std::int32_t>& numbers);

    // Width and height as the last file's header gave them (a bitmap's height
    // keeps its sign), also after a later decoding failure; 0 when no header
    // was read.
    std::int32_t GetFileWidth() const { return m_fileWidth; }
    std::int32_t GetFileHeight() const { return m_fileHeight; }

    // The name last passed with an unsupported extension; empty if none.
    const std::string& GetKeptName() const { return m_keptName; }

    // Why the last Load failed ("<file>: <reason>"); empty after a success.
    const std::string& GetError() const { return m_error; }

  private:
    std::string m_keptName;
    Image m_image;
    std::int32_t m_fileWidth = 0;
    std::int32_t m_fileHeight = 0;
    std::string m_error;
};

// Builders of small JPEG, Targa and bitmap files for the picture tests, and a
// temporary folder to write them into.
#pragma once

#include <turbojpeg.h>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace fixtures {

using Bytes = std::vector<std::uint8_t>;

struct Rgba {
    std::uint8_t r, g, b, a;
};

// A w x h image, top row first. The top row is one colour (so run-length
// coding makes runs); every other pixel differs from its neighbours.
inline std::vector<Rgba> TestPixels(int w, int h) {
    std::vector<Rgba> px;
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            px.push_back(y == 0 ? Rgba{250, 128, 5, 77}
                                : Rgba{std::uint8_t(x * 40 + 1), std::uint8_t(y * 50 + 2),
                                       std::uint8_t((x + y) * 7 + 3), std::uint8_t(100 + x)});
    return px;
}

// The pixels as CPicture returns them: R, G, B[, A] rows top-down.
inline Bytes Packed(const std::vector<Rgba>& px, int bpp) {
    Bytes out;
    for (const Rgba& p : px) {
        out.insert(out.end(), {p.r, p.g, p.b});
        if (bpp == 4) out.push_back(p.a);
    }
    return out;
}

inline void PutLe16(Bytes& b, std::size_t at, std::uint32_t v) {
    b[at] = std::uint8_t(v);
    b[at + 1] = std::uint8_t(v >> 8);
}
inline void PutLe32(Bytes& b, std::size_t at, std::uint32_t v) {
    PutLe16(b, at, v & 0xFFFF);
    PutLe16(b, at + 2, v >> 16);
}

// A Targa file of type 2 or 10 at depth 24 or 32, rows bottom-up as Targa
// writers store them, pixels B, G, R[, A]. Runs of equal pixels become run
// packets (which may span rows), other pixels one-pixel raw packets.
inline Bytes MakeTarga(int type, int depth, int w, int h, const std::vector<Rgba>& topDown,
                       const std::string& id = "") {
    Bytes f(18 + id.size(), 0);
    f[0] = std::uint8_t(id.size());
    for (std::size_t i = 0; i < id.size(); ++i) f[18 + i] = std::uint8_t(id[i]);
    f[2] = std::uint8_t(type);
    PutLe16(f, 12, std::uint32_t(w));
    PutLe16(f, 14, std::uint32_t(h));
    f[16] = std::uint8_t(depth);
    const int bpp = depth / 8;
    std::vector<Bytes> pixels;  // in file order
    for (int y = h - 1; y >= 0; --y)
        for (int x = 0; x < w; ++x) {
            const Rgba& p = topDown[std::size_t(y * w + x)];
            pixels.push_back(bpp == 4 ? Bytes{p.b, p.g, p.r, p.a} : Bytes{p.b, p.g, p.r});
        }
    if (type == 2) {
        for (const Bytes& p : pixels) f.insert(f.end(), p.begin(), p.end());
        return f;
    }
    for (std::size_t i = 0; i < pixels.size();) {
        std::size_t run = 1;
        while (i + run < pixels.size() && run < 128 && pixels[i + run] == pixels[i]) ++run;
        f.push_back(std::uint8_t(run > 1 ? 0x80 | (run - 1) : 0));
        f.insert(f.end(), pixels[i].begin(), pixels[i].end());
        i += run;
    }
    return f;
}

// A 24-bit bitmap, rows bottom-up (top-down when `topDownRows`, stored with a
// negative height), B, G, R per pixel, rows padded to 4 bytes. The header's
// image size field holds the padded size, or 0 when `sizeField` is false.
inline Bytes MakeBitmap24(int w, int h, const std::vector<Rgba>& topDown, bool sizeField,
                          bool topDownRows = false) {
    const std::size_t stride = (std::size_t(w) * 3 + 3) / 4 * 4;
    Bytes f(54, 0);
    f[0] = 'B';
    f[1] = 'M';
    PutLe32(f, 2, std::uint32_t(54 + stride * std::size_t(h)));
    PutLe32(f, 10, 54);
    PutLe32(f, 14, 40);
    PutLe32(f, 18, std::uint32_t(w));
    PutLe32(f, 22, std::uint32_t(topDownRows ? -h : h));
    PutLe16(f, 26, 1);
    PutLe16(f, 28, 24);
    PutLe32(f, 34, sizeField ? std::uint32_t(stride * std::size_t(h)) : 0);
    for (int r = 0; r < h; ++r) {
        const int y = topDownRows ? r : h - 1 - r;
        for (int x = 0; x < w; ++x) {
            const Rgba& p = topDown[std::size_t(y * w + x)];
            f.insert(f.end(), {p.b, p.g, p.r});
        }
        f.insert(f.end(), stride - std::size_t(w) * 3, 0xEE);  // padding
    }
    return f;
}

// A baseline JPEG of packed RGB pixels (top row first), 4:4:4, compressed by
// TurboJPEG at the given quality.
inline Bytes MakeJpeg(int w, int h, const Bytes& rgb, int quality = 95) {
    tjhandle tj = tjInitCompress();
    unsigned char* jpeg = nullptr;
    unsigned long size = 0;
    Bytes out;
    if (tj &&
        tjCompress2(tj, rgb.data(), w, 0, h, TJPF_RGB, &jpeg, &size, TJSAMP_444, quality, 0) == 0)
        out.assign(jpeg, jpeg + size);
    tjFree(jpeg);
    if (tj) tjDestroy(tj);
    return out;
}

// A fresh folder under the system's temporary folder, removed at the end.
class TempDir {
  public:
    TempDir() {
        std::string pattern = (std::filesystem::temp_directory_path() / "orvane-picture-XXXXXX");
        if (mkdtemp(pattern.data())) m_path = pattern;
    }
    ~TempDir() {
        std::error_code ec;
        if (!m_path.empty()) std::filesystem::remove_all(m_path, ec);
    }
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    // The path of a file called `name` in the folder.
    std::string Path(const std::string& name) const { return (m_path / name).string(); }

    // Writes `bytes` to a file called `name` in the folder; returns its path.
    std::string Write(const std::string& name, const Bytes& bytes) const {
        const std::string path = Path(name);
        std::ofstream(path, std::ios::binary | std::ios::trunc)
            .write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
        return path;
    }

  private:
    std::filesystem::path m_path;
};

}  // namespace fixtures

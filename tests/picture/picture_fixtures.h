// Builders of small JPEG, PNG, Targa and bitmap files for the picture tests,
// and a temporary folder to write them into.
#pragma once

#include <turbojpeg.h>
#include <zlib.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
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

// A grey level for a colour, as the grey-scale fixtures store it.
inline std::uint8_t GreyLevel(const Rgba& p) {
    return std::uint8_t((p.r * 77 + p.g * 150 + p.b * 29) >> 8);
}

// The pixels with each colour replaced by its grey level (alpha kept).
inline std::vector<Rgba> Grey(std::vector<Rgba> px) {
    for (Rgba& p : px) p.r = p.g = p.b = GreyLevel(p);
    return px;
}

// The distinct colours of px in order of first use, and each pixel's index.
inline std::vector<Rgba> Palette(const std::vector<Rgba>& px, std::vector<std::uint8_t>& index) {
    std::vector<Rgba> palette;
    index.clear();
    for (const Rgba& p : px) {
        std::size_t i = 0;
        while (i < palette.size() && std::memcmp(&palette[i], &p, sizeof p) != 0) ++i;
        if (i == palette.size()) palette.push_back(p);
        index.push_back(std::uint8_t(i));
    }
    return palette;
}

// A Targa file: type 2 or 10 at depth 24 or 32 (pixels B, G, R[, A]), or type
// 3 or 11 at depth 8 (grey levels). Rows bottom-up as Targa writers usually
// store them, or top-down with the origin bit set when `topLeft`. Runs of
// equal pixels become run packets (which may span rows), other pixels
// one-pixel raw packets.
inline Bytes MakeTarga(int type, int depth, int w, int h, const std::vector<Rgba>& topDown,
                       const std::string& id = "", bool topLeft = false) {
    Bytes f(18 + id.size(), 0);
    f[0] = std::uint8_t(id.size());
    for (std::size_t i = 0; i < id.size(); ++i) f[18 + i] = std::uint8_t(id[i]);
    f[2] = std::uint8_t(type);
    PutLe16(f, 12, std::uint32_t(w));
    PutLe16(f, 14, std::uint32_t(h));
    f[16] = std::uint8_t(depth);
    f[17] = topLeft ? 0x20 : 0;
    std::vector<Bytes> pixels;  // in file order
    for (int r = 0; r < h; ++r)
        for (int x = 0; x < w; ++x) {
            const Rgba& p = topDown[std::size_t((topLeft ? r : h - 1 - r) * w + x)];
            pixels.push_back(depth == 8    ? Bytes{GreyLevel(p)}
                             : depth == 32 ? Bytes{p.b, p.g, p.r, p.a}
                                           : Bytes{p.b, p.g, p.r});
        }
    if (type == 2 || type == 3) {
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

struct BitmapKind {
    int bits = 24;              // 1, 4, 8 (palette of the picture's colours), 16 (5-5-5), 24, 32
    bool topDownRows = false;   // stored with a negative height
    bool sizeField = true;      // the header's image size field set (else 0)
    std::uint32_t header = 40;  // information header size: 40, 108 (V4), 124 (V5)
    // 32 bits only: pixels R, G, B, A (unlike the default B, G, R, unused) and
    // masks saying so, after a 40-byte header (compression 6) or in a larger
    // one (compression 3); both put them at byte 54.
    bool alphaMasks = false;
};

// A bitmap of the picture, rows bottom-up unless kind.topDownRows, each row
// padded to 4 bytes with 0xEE. Empty when a palette cannot hold its colours.
inline Bytes MakeBitmap(const BitmapKind& kind, int w, int h, const std::vector<Rgba>& topDown) {
    std::vector<std::uint8_t> index;
    const std::vector<Rgba> palette =
        kind.bits <= 8 ? Palette(topDown, index) : std::vector<Rgba>{};
    if (palette.size() > (1u << std::min(kind.bits, 16))) return {};
    const std::uint32_t header = kind.header;
    const std::uint32_t tables = std::max(header, kind.alphaMasks ? 56u : 40u);
    const std::uint32_t offset = 14 + tables + 4 * std::uint32_t(palette.size());
    const std::size_t stride = (std::size_t(w) * kind.bits + 31) / 32 * 4;
    Bytes f(offset, 0);
    f[0] = 'B';
    f[1] = 'M';
    PutLe32(f, 2, std::uint32_t(offset + stride * std::size_t(h)));
    PutLe32(f, 10, offset);
    PutLe32(f, 14, header);
    PutLe32(f, 18, std::uint32_t(w));
    PutLe32(f, 22, std::uint32_t(kind.topDownRows ? -h : h));
    PutLe16(f, 26, 1);
    PutLe16(f, 28, std::uint32_t(kind.bits));
    PutLe32(f, 30, !kind.alphaMasks ? 0 : header == 40 ? 6 : 3);
    PutLe32(f, 34, kind.sizeField ? std::uint32_t(stride * std::size_t(h)) : 0);
    PutLe32(f, 46, std::uint32_t(palette.size()));
    if (kind.alphaMasks)
        for (std::uint32_t i = 0; i < 4; ++i) PutLe32(f, 54 + 4 * i, 0xFFu << (8 * i));
    for (std::size_t i = 0; i < palette.size(); ++i) {
        std::uint8_t* entry = &f[14 + tables + 4 * i];  // B, G, R, unused
        entry[0] = palette[i].b, entry[1] = palette[i].g, entry[2] = palette[i].r;
    }
    for (int r = 0; r < h; ++r) {
        const int y = kind.topDownRows ? r : h - 1 - r;
        Bytes row(stride, 0xEE);
        for (int x = 0; x < w; ++x) {
            const std::size_t at = std::size_t(y * w + x);
            const Rgba& p = topDown[at];
            std::uint8_t* d = &row[std::size_t(x) * std::size_t(kind.bits) / 8];
            if (kind.bits <= 8) {
                const int shift = 8 - kind.bits - x * kind.bits % 8;
                if (shift == 8 - kind.bits) *d = 0;  // first index of this byte
                *d = std::uint8_t(*d | index[at] << shift);
            } else if (kind.bits == 16) {
                auto five = [](std::uint8_t v) { return std::uint32_t(v * 31 + 127) / 255; };
                const std::uint32_t v = five(p.r) << 10 | five(p.g) << 5 | five(p.b);
                d[0] = std::uint8_t(v), d[1] = std::uint8_t(v >> 8);
            } else if (kind.alphaMasks) {
                d[0] = p.r, d[1] = p.g, d[2] = p.b, d[3] = p.a;
            } else {
                d[0] = p.b, d[1] = p.g, d[2] = p.r;
                if (kind.bits == 32) d[3] = 0x11;  // unused
            }
        }
        f.insert(f.end(), row.begin(), row.end());
    }
    return f;
}

inline void PutBe32(Bytes& b, std::uint32_t v) {
    b.insert(b.end(),
             {std::uint8_t(v >> 24), std::uint8_t(v >> 16), std::uint8_t(v >> 8), std::uint8_t(v)});
}

// Appends a PNG chunk: length, type, data, CRC of type and data.
inline void PutPngChunk(Bytes& f, const char* type, const Bytes& data) {
    Bytes body(type, type + 4);
    body.insert(body.end(), data.begin(), data.end());
    PutBe32(f, std::uint32_t(data.size()));
    f.insert(f.end(), body.begin(), body.end());
    PutBe32(f, std::uint32_t(crc32(0, body.data(), uInt(body.size()))));
}

// A PNG of the picture, not interlaced, every row with filter 0. Colour type
// 0 (grey levels), 2 (R, G, B), 3 (palette of the picture's colours; with a
// transparency chunk of their alpha when `paletteAlpha`), 4 (grey, alpha) or
// 6 (R, G, B, A), at `depth` bits per sample; `paletteLimit` cuts the palette
// written short. Empty when a palette cannot hold the colours.
inline Bytes MakePng(int colourType, int depth, int w, int h, const std::vector<Rgba>& topDown,
                     bool paletteAlpha = false, std::size_t paletteLimit = 256) {
    std::vector<std::uint8_t> index;
    const std::vector<Rgba> palette =
        colourType == 3 ? Palette(topDown, index) : std::vector<Rgba>{};
    if (palette.size() > (1u << depth)) return {};
    Bytes f = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    Bytes ihdr;
    PutBe32(ihdr, std::uint32_t(w));
    PutBe32(ihdr, std::uint32_t(h));
    ihdr.insert(ihdr.end(), {std::uint8_t(depth), std::uint8_t(colourType), 0, 0, 0});
    PutPngChunk(f, "IHDR", ihdr);
    if (colourType == 3) {
        Bytes plte, trns;
        for (std::size_t i = 0; i < palette.size() && i < paletteLimit; ++i) {
            plte.insert(plte.end(), {palette[i].r, palette[i].g, palette[i].b});
            trns.push_back(palette[i].a);
        }
        PutPngChunk(f, "PLTE", plte);
        if (paletteAlpha) PutPngChunk(f, "tRNS", trns);
    }
    Bytes raw;
    for (int y = 0; y < h; ++y) {
        raw.push_back(0);                   // filter: none
        std::uint32_t bits = 0, count = 0;  // samples of under 8 bits, packed from the top bit
        for (int x = 0; x < w; ++x) {
            const std::size_t at = std::size_t(y * w + x);
            const Rgba& p = topDown[at];
            const Bytes samples = colourType == 0   ? Bytes{GreyLevel(p)}
                                  : colourType == 2 ? Bytes{p.r, p.g, p.b}
                                  : colourType == 3 ? Bytes{index[at]}
                                  : colourType == 4 ? Bytes{GreyLevel(p), p.a}
                                                    : Bytes{p.r, p.g, p.b, p.a};
            for (std::uint8_t v : samples) {
                if (depth == 16) {
                    raw.insert(raw.end(), {v, v});  // v * 257: scales back to v exactly
                } else if (depth == 8) {
                    raw.push_back(v);
                } else {
                    bits = bits << depth | v;
                    count += std::uint32_t(depth);
                    if (count == 8) raw.push_back(std::uint8_t(bits)), bits = count = 0;
                }
            }
        }
        if (count > 0) raw.push_back(std::uint8_t(bits << (8 - count)));
    }
    uLongf size = compressBound(uLong(raw.size()));
    Bytes idat(size);
    compress2(idat.data(), &size, raw.data(), uLong(raw.size()), 9);
    idat.resize(size);
    PutPngChunk(f, "IDAT", idat);
    PutPngChunk(f, "IEND", {});
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

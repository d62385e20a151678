#include <gtest/gtest.h>

#include <cstdlib>

#include "picture/picture.h"
#include "picture_fixtures.h"

namespace {

using fixtures::Bytes;

// True when the picture holds nothing: what every failed Load must leave.
void ExpectNoImage(const CPicture& p) {
    EXPECT_TRUE(p.GetImage().pixels.empty());
    EXPECT_EQ(p.GetImage().width, 0);
    EXPECT_EQ(p.GetImage().height, 0);
    EXPECT_FALSE(p.GetError().empty());
}

// The picture every format must decode alike: 30 x 7, so neither square nor
// a multiple of 4 wide (bitmap rows need padding), four flat quadrants and,
// unless `flat`, a colour of its own in each corner pixel. Every channel value
// is one that 5 bits hold exactly, so 16-bit bitmaps keep it.
constexpr int kW = 30, kH = 7;
std::vector<fixtures::Rgba> Quadrants(bool flat = false) {
    const fixtures::Rgba tl{230, 33, 0, 255}, tr{0, 132, 255, 197}, bl{66, 255, 99, 165},
        br{197, 0, 165, 99};
    std::vector<fixtures::Rgba> px;
    for (int y = 0; y < kH; ++y)
        for (int x = 0; x < kW; ++x) px.push_back(y < 4 ? (x < 16 ? tl : tr) : (x < 16 ? bl : br));
    if (!flat) {
        px.front() = {255, 255, 255, 33};
        px[kW - 1] = {0, 0, 0, 66};
        px[(kH - 1) * kW] = {33, 66, 99, 230};
        px.back() = {255, 197, 132, 0};
    }
    return px;
}

// Black and white for the one-bit formats: left half black, corners inverted.
std::vector<fixtures::Rgba> BlackWhite() {
    std::vector<fixtures::Rgba> px;
    for (int y = 0; y < kH; ++y)
        for (int x = 0; x < kW; ++x) {
            const bool corner = (x == 0 || x == kW - 1) && (y == 0 || y == kH - 1);
            const std::uint8_t v = (x >= 16) != corner ? 255 : 0;
            px.push_back({v, v, v, 255});
        }
    return px;
}

// The first pixel at which two R, G, B[, A] buffers differ by more than
// `tolerance` in a channel, as "x,y", or "" when none does.
std::string FirstDifference(const Bytes& got, const Bytes& want, int bpp, int tolerance) {
    if (got.size() != want.size()) return "sizes " + std::to_string(got.size());
    for (std::size_t i = 0; i < got.size(); ++i)
        if (std::abs(int(got[i]) - int(want[i])) > tolerance) {
            const std::size_t pixel = i / std::size_t(bpp);
            return std::to_string(pixel % kW) + "," + std::to_string(pixel / kW);
        }
    return "";
}

TEST(CPicture, EveryFormatDecodesOnePictureToTheSamePixels) {
    using fixtures::MakeBitmap, fixtures::MakePng, fixtures::MakeTarga;
    const auto px = Quadrants(), flat = Quadrants(true), bw = BlackWhite();
    struct Encoding {
        const char* name;  // also the file name, whose extension picks the decoder
        Bytes file;
        const std::vector<fixtures::Rgba>& picture;
        int bpp;        // 4 when the file carries alpha
        bool grey;      // the file holds the picture's grey levels
        int tolerance;  // per channel, for lossy files
    };
    const Encoding encodings[] = {
        {"24 bottom-up.bmp", MakeBitmap({}, kW, kH, px), px, 3, false, 0},
        {"24 top-down no size.bmp",
         MakeBitmap({.topDownRows = true, .sizeField = false}, kW, kH, px), px, 3, false, 0},
        {"24 V4 header.bmp", MakeBitmap({.header = 108}, kW, kH, px), px, 3, false, 0},
        {"32.bmp", MakeBitmap({.bits = 32}, kW, kH, px), px, 3, false, 0},
        {"32 masks after header.bmp", MakeBitmap({.bits = 32, .alphaMasks = true}, kW, kH, px), px,
         4, false, 0},
        {"32 masks in V5 header top-down.bmp",
         MakeBitmap({.bits = 32, .topDownRows = true, .header = 124, .alphaMasks = true}, kW, kH,
                    px),
         px, 4, false, 0},
        {"16.bmp", MakeBitmap({.bits = 16}, kW, kH, px), px, 3, false, 0},
        {"8 palette.bmp", MakeBitmap({.bits = 8}, kW, kH, px), px, 3, false, 0},
        {"4 palette V5 header.bmp", MakeBitmap({.bits = 4, .header = 124}, kW, kH, px), px, 3,
         false, 0},
        {"1 palette.bmp", MakeBitmap({.bits = 1}, kW, kH, bw), bw, 3, false, 0},
        {"bottom-left.tga", MakeTarga(2, 24, kW, kH, px), px, 3, false, 0},
        {"top-left 32.tga", MakeTarga(2, 32, kW, kH, px, "", true), px, 4, false, 0},
        {"run-length.tga", MakeTarga(10, 24, kW, kH, px, "id"), px, 3, false, 0},
        {"run-length top-left 32.tga", MakeTarga(10, 32, kW, kH, px, "", true), px, 4, false, 0},
        {"grey.tga", MakeTarga(3, 8, kW, kH, px), px, 3, true, 0},
        {"run-length grey top-left.tga", MakeTarga(11, 8, kW, kH, px, "", true), px, 3, true, 0},
        {"rgb.png", MakePng(2, 8, kW, kH, px), px, 3, false, 0},
        {"rgb 16.png", MakePng(2, 16, kW, kH, px), px, 3, false, 0},
        {"rgba.png", MakePng(6, 8, kW, kH, px), px, 4, false, 0},
        {"palette.png", MakePng(3, 8, kW, kH, px), px, 3, false, 0},
        {"palette 4 with alpha.png", MakePng(3, 4, kW, kH, px, true), px, 4, false, 0},
        {"grey.png", MakePng(0, 8, kW, kH, px), px, 3, true, 0},
        {"grey alpha 16.png", MakePng(4, 16, kW, kH, px), px, 4, true, 0},
        {"grey 1.png", MakePng(0, 1, kW, kH, bw), bw, 3, false, 0},
        {"flat.jpg", fixtures::MakeJpeg(kW, kH, fixtures::Packed(flat, 3)), flat, 3, false, 4},
    };
    fixtures::TempDir dir;
    for (const Encoding& e : encodings) {
        SCOPED_TRACE(e.name);
        ASSERT_FALSE(e.file.empty());
        CPicture p;
        ASSERT_TRUE(p.Load(dir.Write(e.name, e.file))) << p.GetError();
        const CPicture::Image& im = p.GetImage();
        EXPECT_EQ(im.width, kW);
        EXPECT_EQ(im.height, kH);
        EXPECT_EQ(p.GetFileWidth(), kW);
        EXPECT_EQ(std::abs(p.GetFileHeight()), kH);
        ASSERT_EQ(im.bytesPerPixel, e.bpp);
        const Bytes want = fixtures::Packed(e.grey ? fixtures::Grey(e.picture) : e.picture, e.bpp);
        EXPECT_EQ(FirstDifference(im.pixels, want, e.bpp, e.tolerance), "");
        EXPECT_TRUE(p.GetError().empty());
    }
}

TEST(CPictureTarga, ReadsHandWrittenFiles) {
    auto header = [](std::uint8_t idLength, std::uint8_t type, std::uint8_t mapLength,
                     std::uint8_t width, std::uint8_t height, std::uint8_t descriptor) {
        Bytes b(18, 0);
        b[0] = idLength;
        b[1] = mapLength ? 1 : 0;  // colour map type
        b[2] = type;
        b[5] = mapLength;  // entries, of 24 bits (b[7])
        b[7] = b[16] = 24;
        b[12] = width;
        b[14] = height;
        b[17] = descriptor;
        return b;
    };
    auto join = [](Bytes a, const Bytes& b) {
        a.insert(a.end(), b.begin(), b.end());
        return a;
    };
    const std::pair<Bytes, Bytes> cases[] = {
        // 2 x 2 run-length, one identification byte; bottom row a run of
        // (B,G,R) = (1,2,3), top row two raw pixels.
        {join(header(1, 10, 0, 2, 2, 0), {'X', 0x81, 1, 2, 3, 0x01, 4, 5, 6, 7, 8, 9}),
         {6, 5, 4, 9, 8, 7, 3, 2, 1, 3, 2, 1}},
        // A two-entry colour map in a true-colour file, skipped.
        {join(header(0, 2, 2, 1, 1, 0), {9, 9, 9, 9, 9, 9, 1, 2, 3}), {3, 2, 1}},
        // Stored from the right (descriptor bit 4).
        {join(header(0, 2, 0, 2, 1, 0x10), {1, 2, 3, 4, 5, 6}), {6, 5, 4, 3, 2, 1}},
    };
    fixtures::TempDir dir;
    for (const auto& [file, pixels] : cases) {
        CPicture p;
        ASSERT_TRUE(p.Load(dir.Write("hand.TGA", file))) << p.GetError();
        EXPECT_EQ(p.GetImage().pixels, pixels);
    }
}

// Files cut short are PictureRobustness.EveryCutShortFileFails.
TEST(CPictureTarga, RejectsOtherKindsAndOversizedImages) {
    fixtures::TempDir dir;
    const auto px = fixtures::TestPixels(2, 2);
    const Bytes good = fixtures::MakeTarga(2, 24, 2, 2, px);
    auto with = [&](std::size_t at, std::uint8_t v) {
        Bytes b = good;
        b[at] = v;
        return b;
    };
    Bytes huge = fixtures::MakeTarga(10, 32, 1, 1, px);
    fixtures::PutLe16(huge, 12, 65535);
    fixtures::PutLe16(huge, 14, 65535);
    // 2 x 1 run-length files whose one packet runs past the last pixel.
    const Bytes run = {0, 0, 10, 0, 0, 0, 0, 0, 0, 0, 0, 0, 2, 0, 1, 0, 24, 0, 0x82, 1, 2, 3};
    const Bytes raw = {0, 0, 10, 0, 0, 0, 0, 0, 0, 0, 0, 0, 2, 0,
                       1, 0, 24, 0, 2, 1, 2, 3, 4, 5, 6, 7, 8, 9};
    Bytes map = with(1, 1);  // a colour map of 300 entries of 24 bits, not in the file
    fixtures::PutLe16(map, 5, 300);
    map[7] = 24;
    const std::pair<const char*, Bytes> cases[] = {
        {"colour-mapped type 1", with(2, 1)},
        {"grey type 3 at 24 bits", with(2, 3)},
        {"run-length colour-mapped type 9", with(2, 9)},
        {"type 33", with(2, 33)},
        {"16 bits", with(16, 16)},
        {"zero width", with(12, 0)},
        {"65535 x 65535 run-length from a few bytes (as fuzzing found)", huge},
        {"run packet past the last pixel", run},
        {"raw packet past the last pixel", raw},
        {"colour map past the end of the file", map},
    };
    for (const auto& [what, bytes] : cases) {
        SCOPED_TRACE(what);
        CPicture p;
        EXPECT_FALSE(p.Load(dir.Write("bad.tga", bytes)));
        ExpectNoImage(p);
    }
}

TEST(CPictureBitmap, RejectsBadMagicAndHeaders) {
    fixtures::TempDir dir;
    const auto px = fixtures::TestPixels(3, 2);  // 4 colours
    const Bytes good = fixtures::MakeBitmap({}, 3, 2, px);
    const Bytes palette = fixtures::MakeBitmap({.bits = 8}, 3, 2, px);
    const Bytes masks = fixtures::MakeBitmap({.bits = 32, .alphaMasks = true}, 3, 2, px);
    auto with = [](Bytes b, std::size_t at, std::uint32_t v, int size = 4) {
        (size == 4 ? fixtures::PutLe32 : fixtures::PutLe16)(b, at, v);
        return b;
    };
    Bytes magic = good;
    magic[1] = 'A';
    const std::pair<const char*, Bytes> cases[] = {
        {"wrong magic", magic},
        {"pixel offset inside the headers", with(good, 10, 40)},
        {"pixel offset past the end", with(good, 10, 4000)},
        {"12-byte core header", with(good, 14, 12)},
        {"header of 4 GiB", with(good, 14, 0xFFFFFFFF)},
        {"zero width", with(good, 18, 0)},
        {"negative width", with(good, 18, 0xFFFFFFFD)},
        {"zero height", with(good, 22, 0)},
        {"2 bits per pixel", with(good, 28, 2, 2)},
        {"run-length compression", with(palette, 30, 1)},
        {"JPEG stream", with(good, 30, 4)},
        {"masks with 24 bits per pixel", with(good, 30, 3)},
        {"3 colours used, index 3 in the pixels", with(palette, 46, 3)},
        {"palette running into the pixels", with(palette, 10, 54 + 4 * 4 - 4)},
        {"red mask of two runs", with(masks, 54, 0x00FF00FF)},
        {"blue mask past a 16-bit pixel", with(masks, 28, 16, 2)},
        {"empty green mask", with(masks, 58, 0)},
    };
    for (const auto& [what, bytes] : cases) {
        SCOPED_TRACE(what);
        CPicture p;
        EXPECT_FALSE(p.Load(dir.Write("bad.bmp", bytes)));
        ExpectNoImage(p);
    }
}

// A PNG with its header's width and height replaced (and its CRC made to match).
Bytes WithPngSize(const Bytes& png, std::uint32_t w, std::uint32_t h) {
    Bytes ihdr(png.begin() + 16, png.begin() + 29);  // the header chunk's data
    for (int i = 0; i < 4; ++i) {
        ihdr[std::size_t(i)] = std::uint8_t(w >> (24 - 8 * i));
        ihdr[std::size_t(4 + i)] = std::uint8_t(h >> (24 - 8 * i));
    }
    Bytes out(png.begin(), png.begin() + 8);
    fixtures::PutPngChunk(out, "IHDR", ihdr);
    out.insert(out.end(), png.begin() + 33, png.end());
    return out;
}

TEST(CPicturePng, RejectsDamagedFiles) {
    const auto px = fixtures::TestPixels(3, 2);  // 4 colours
    const Bytes good = fixtures::MakePng(2, 8, 3, 2, px);
    auto flipped = [&](std::size_t at) {
        Bytes b = good;
        b[at] ^= 0x40;
        return b;
    };
    Bytes notZlib(good.begin(), good.begin() + 33);  // signature and header
    fixtures::PutPngChunk(notZlib, "IDAT", {1, 2, 3, 4, 5, 6});
    fixtures::PutPngChunk(notZlib, "IEND", {});
    const std::pair<const char*, Bytes> cases[] = {
        {"wrong signature", flipped(1)},
        {"header CRC wrong", flipped(30)},
        {"pixel data CRC wrong", flipped(good.size() - 14)},
        {"pixel data not deflated", notZlib},
        {"zero width", WithPngSize(good, 0, 2)},
        {"16385 x 16385 over the pixel limit", WithPngSize(good, 16385, 16385)},
        {"palette of 3 colours, indices up to 3", fixtures::MakePng(3, 8, 3, 2, px, false, 3)},
        {"empty palette", fixtures::MakePng(3, 8, 3, 2, px, false, 0)},
    };
    fixtures::TempDir dir;
    for (const auto& [what, bytes] : cases) {
        SCOPED_TRACE(what);
        CPicture p;
        EXPECT_FALSE(p.Load(dir.Write("bad.png", bytes)));
        ExpectNoImage(p);
    }
}

// 16 x 16: top half red, bottom half blue.
Bytes RedOverBlue() {
    Bytes rgb;
    for (int y = 0; y < 16; ++y)
        for (int x = 0; x < 16; ++x)
            rgb.insert(rgb.end(),
                       {std::uint8_t(y < 8 ? 255 : 0), 0, std::uint8_t(y < 8 ? 0 : 255)});
    return rgb;
}

TEST(CPictureJpeg, DecodesToRgbTopDownUnderEveryExtensionSpelling) {
    fixtures::TempDir dir;
    const Bytes rgb = RedOverBlue();
    const Bytes file = fixtures::MakeJpeg(16, 16, rgb);
    ASSERT_FALSE(file.empty());
    for (const char* name : {"a.jpg", "b.JPG", "c.jpeg", "d.JpEg"}) {
        SCOPED_TRACE(name);
        CPicture p;
        ASSERT_TRUE(p.Load(dir.Write(name, file))) << p.GetError();
        const CPicture::Image& im = p.GetImage();
        EXPECT_EQ(im.width, 16);
        EXPECT_EQ(im.height, 16);
        EXPECT_EQ(im.bytesPerPixel, 3);
        EXPECT_EQ(p.GetFileWidth(), 16);
        ASSERT_EQ(im.pixels.size(), rgb.size());
        for (std::size_t i = 0; i < rgb.size(); ++i)
            ASSERT_LE(std::abs(int(im.pixels[i]) - int(rgb[i])), 8) << "byte " << i;
    }
}

TEST(CPictureJpeg, RejectsAbsurdDimensionsBeforeDecoding) {
    Bytes file = fixtures::MakeJpeg(16, 16, RedOverBlue());
    // The baseline frame header (FF C0): length, precision, then height and width.
    std::size_t sof = 0;
    for (std::size_t i = 0; i + 1 < file.size(); ++i)
        if (file[i] == 0xFF && file[i + 1] == 0xC0) sof = i;
    ASSERT_NE(sof, 0u);
    // 65280 x 65280 passes the pixel limit; 16384 x 16384 is just within it
    // but needs 768 MiB.
    for (std::uint8_t hi : {0xFF, 0x40}) {
        file[sof + 5] = file[sof + 7] = hi;
        file[sof + 6] = file[sof + 8] = 0;
        fixtures::TempDir dir;
        CPicture p;
        EXPECT_FALSE(p.Load(dir.Write("big.jpg", file)));
        ExpectNoImage(p);
        EXPECT_NE(p.GetError().find("limit"), std::string::npos) << p.GetError();
        EXPECT_EQ(p.GetFileWidth(), hi * 256);
    }
}

TEST(CPicture, OtherExtensionsKeepTheNameAndFail) {
    fixtures::TempDir dir;
    const std::string tga =
        dir.Write("ok.tga", fixtures::MakeTarga(2, 24, 2, 2, fixtures::TestPixels(2, 2)));
    CPicture p;
    ASSERT_TRUE(p.Load(tga));
    EXPECT_FALSE(p.Load("scene/texture.gif"));
    ExpectNoImage(p);  // the earlier image is dropped too
    EXPECT_EQ(p.GetKeptName(), "scene/texture.gif");
    EXPECT_FALSE(p.Load("dir.jpg/noextension"));
    EXPECT_EQ(p.GetKeptName(), "dir.jpg/noextension");
    // A picture load leaves the kept name alone.
    ASSERT_TRUE(p.Load(tga));
    EXPECT_EQ(p.GetKeptName(), "dir.jpg/noextension");
}

TEST(CPicture, FailureAfterSuccessLeavesNoPixels) {
    fixtures::TempDir dir;
    const Bytes good = fixtures::MakeTarga(10, 32, 4, 4, fixtures::TestPixels(4, 4));
    const std::string ok = dir.Write("ok.tga", good);
    const std::string cut = dir.Write("cut.tga", Bytes(good.begin(), good.end() - 3));
    CPicture p;
    ASSERT_TRUE(p.Load(ok));
    EXPECT_FALSE(p.Load(cut));
    ExpectNoImage(p);
    EXPECT_EQ(p.GetFileWidth(), 4);  // the header was read
    EXPECT_NE(p.GetError().find("cut.tga"), std::string::npos) << p.GetError();
    ASSERT_TRUE(p.Load(ok));
    EXPECT_FALSE(p.Load(dir.Path("missing.jpg")));
    ExpectNoImage(p);
    EXPECT_EQ(p.GetFileWidth(), 0);
    EXPECT_FALSE(p.Load(dir.Write("empty.jpg", {})));
    ExpectNoImage(p);
    ASSERT_TRUE(std::filesystem::create_directory(dir.Path("folder.bmp")));
    EXPECT_FALSE(p.Load(dir.Path("folder.bmp")));
    ExpectNoImage(p);
}

}  // namespace

TEST(CPicturePixels, ReadsTheNumbersOfAnSFImage) {
    struct Case {
        const char* name;
        std::vector<std::int32_t> numbers;
        bool made;
        std::int32_t bytesPerPixel;
        std::vector<std::uint8_t> pixels;  // top row first
        bool complains;
    };
    const std::vector<Case> cases = {
        // Rows from the bottom up; components in the low bytes, the first highest.
        {"rgb", {1, 2, 3, 0x102030, 0x405060}, true, 3, {0x40, 0x50, 0x60, 0x10, 0x20, 0x30}, false},
        {"grey", {2, 1, 1, 0x80, 0xFF}, true, 3, {0x80, 0x80, 0x80, 0xFF, 0xFF, 0xFF}, false},
        {"grey+alpha", {1, 1, 2, 0x80FF}, true, 4, {0x80, 0x80, 0x80, 0xFF}, false},
        {"rgba, top bit set", {1, 1, 4, static_cast<std::int32_t>(0xFF0000FFu)}, true, 4,
         {0xFF, 0, 0, 0xFF}, false},
        {"short list: black", {2, 1, 3, 0xFFFFFF}, true, 3, {0xFF, 0xFF, 0xFF, 0, 0, 0}, true},
        {"no pixels at all", {1, 1, 3}, true, 3, {0, 0, 0}, true},
        {"five components", {1, 1, 5, 1}, false, 0, {}, true},
        {"negative width", {-1, 1, 3, 1}, false, 0, {}, true},
        {"too many pixels", {1 << 20, 1 << 20, 3}, false, 0, {}, true},
        {"no header", {4}, false, 0, {}, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        CPicture picture;
        EXPECT_EQ(picture.SetPixels(c.numbers), c.made);
        EXPECT_EQ(picture.GetImage().bytesPerPixel, c.bytesPerPixel);
        EXPECT_EQ(picture.GetImage().pixels, c.pixels);
        EXPECT_EQ(!picture.GetError().empty(), c.complains);
    }
}

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

TEST(CPictureTarga, DecodesBothTypesAtBothDepthsTopDownAsRgb) {
    fixtures::TempDir dir;
    const int w = 5, h = 3;
    const auto px = fixtures::TestPixels(w, h);
    for (int type : {2, 10})
        for (int depth : {24, 32}) {
            SCOPED_TRACE("type " + std::to_string(type) + " depth " + std::to_string(depth));
            CPicture p;
            const Bytes file = fixtures::MakeTarga(type, depth, w, h, px, "id!");
            ASSERT_TRUE(p.Load(dir.Write("a.tga", file))) << p.GetError();
            EXPECT_EQ(p.GetImage().width, w);
            EXPECT_EQ(p.GetImage().height, h);
            EXPECT_EQ(p.GetImage().bytesPerPixel, depth / 8);
            EXPECT_EQ(p.GetFileWidth(), w);
            EXPECT_EQ(p.GetFileHeight(), h);
            EXPECT_EQ(p.GetImage().pixels, fixtures::Packed(px, depth / 8));
            EXPECT_TRUE(p.GetError().empty());
        }
}

TEST(CPictureTarga, ReadsHandWrittenRunLengthPackets) {
    // 2 x 2, 24 bits, one identification byte; bottom row a run of (B,G,R) =
    // (1,2,3), top row two raw pixels.
    const Bytes file = {1, 0,  10, 0,   0,    0, 0, 0, 0,    0, 0, 0, 2, 0, 2,
                        0, 24, 0,  'X', 0x81, 1, 2, 3, 0x01, 4, 5, 6, 7, 8, 9};
    fixtures::TempDir dir;
    CPicture p;
    ASSERT_TRUE(p.Load(dir.Write("hand.TGA", file))) << p.GetError();
    EXPECT_EQ(p.GetImage().pixels, (Bytes{6, 5, 4, 9, 8, 7, 3, 2, 1, 3, 2, 1}));
}

TEST(CPictureTarga, CutsOffPacketsThatRunPastTheLastPixel) {
    fixtures::TempDir dir;
    CPicture p;
    // 2 x 1: a run of 128 pixels, then trailing bytes that are never read.
    Bytes run = {0, 0, 10, 0, 0, 0, 0, 0, 0, 0, 0, 0, 2, 0, 1, 0, 24, 0, 0xFF, 1, 2, 3, 0xAA};
    ASSERT_TRUE(p.Load(dir.Write("run.tga", run))) << p.GetError();
    EXPECT_EQ(p.GetImage().pixels, (Bytes{3, 2, 1, 3, 2, 1}));
    // A raw packet announcing 5 pixels of which only the 2 needed are present.
    Bytes raw = {0, 0, 10, 0, 0, 0, 0, 0, 0, 0, 0, 0, 2, 0, 1, 0, 24, 0, 4, 1, 2, 3, 4, 5, 6};
    ASSERT_TRUE(p.Load(dir.Write("raw.tga", raw))) << p.GetError();
    EXPECT_EQ(p.GetImage().pixels, (Bytes{3, 2, 1, 6, 5, 4}));
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
    const std::pair<const char*, Bytes> cases[] = {
        {"colour-mapped type 1", with(2, 1)},
        {"grey type 3", with(2, 3)},
        {"run-length colour-mapped type 9", with(2, 9)},
        {"16 bits", with(16, 16)},
        {"zero width", with(12, 0)},
        {"65535 x 65535 run-length from a few bytes (as fuzzing found)", huge},
    };
    for (const auto& [what, bytes] : cases) {
        SCOPED_TRACE(what);
        CPicture p;
        EXPECT_FALSE(p.Load(dir.Write("bad.tga", bytes)));
        ExpectNoImage(p);
    }
}

TEST(CPictureBitmap, KeepsThePixelArrayAsStored) {
    fixtures::TempDir dir;
    const auto px = fixtures::TestPixels(3, 2);
    const Bytes file = fixtures::MakeBitmap24(3, 2, px, true);
    CPicture p;
    ASSERT_TRUE(p.Load(dir.Write("a.bmp", file))) << p.GetError();
    EXPECT_EQ(p.GetImage().width, 3);
    EXPECT_EQ(p.GetImage().height, 2);
    EXPECT_EQ(p.GetImage().bytesPerPixel, 3);
    // Bottom row first, B, G, R, each row padded from 9 to 12 bytes.
    EXPECT_EQ(p.GetImage().pixels, Bytes(file.begin() + 54, file.end()));
    ASSERT_EQ(p.GetImage().pixels.size(), 24u);
    const fixtures::Rgba bottomLeft = px[3];
    EXPECT_EQ(p.GetImage().pixels[0], bottomLeft.b);
    EXPECT_EQ(p.GetImage().pixels[2], bottomLeft.r);
    EXPECT_EQ(p.GetImage().pixels[9], 0xEE);
}

TEST(CPictureBitmap, SizesFromWidthAndBitCountWhenTheSizeFieldIsZero) {
    fixtures::TempDir dir;
    const auto px = fixtures::TestPixels(3, 2);
    // Negative height: rows stored top-down; (3 * 24 + 7) / 8 * 2 = 18 bytes
    // are read, without the row padding.
    const Bytes file = fixtures::MakeBitmap24(3, 2, px, false, true);
    CPicture p;
    ASSERT_TRUE(p.Load(dir.Write("a.Bmp", file))) << p.GetError();
    EXPECT_EQ(p.GetImage().height, 2);
    EXPECT_EQ(p.GetFileHeight(), -2);
    EXPECT_EQ(p.GetImage().pixels, Bytes(file.begin() + 54, file.begin() + 54 + 18));
}

TEST(CPictureBitmap, RejectsBadMagicAndHeaders) {
    fixtures::TempDir dir;
    const Bytes good = fixtures::MakeBitmap24(3, 2, fixtures::TestPixels(3, 2), true);
    auto with32 = [&](std::size_t at, std::uint32_t v) {
        Bytes b = good;
        fixtures::PutLe32(b, at, v);
        return b;
    };
    Bytes magic = good;
    magic[1] = 'A';
    const std::pair<const char*, Bytes> cases[] = {
        {"wrong magic", magic},
        {"pixel offset inside the headers", with32(10, 40)},
        {"pixel offset past the end", with32(10, 4000)},
        {"12-byte core header", with32(14, 12)},
        {"size field larger than the data", with32(34, 25)},
        {"size field of 4 GiB", with32(34, 0xFFFFFFFF)},
        {"zero width", with32(18, 0)},
        {"negative width", with32(18, 0xFFFFFFFD)},
    };
    for (const auto& [what, bytes] : cases) {
        SCOPED_TRACE(what);
        CPicture p;
        EXPECT_FALSE(p.Load(dir.Write("bad.bmp", bytes)));
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
    EXPECT_FALSE(p.Load("scene/texture.png"));
    ExpectNoImage(p);  // the earlier image is dropped too
    EXPECT_EQ(p.GetKeptName(), "scene/texture.png");
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

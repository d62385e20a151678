// Cut-short and randomly damaged pictures: every load either fails cleanly or
// yields a consistent image. Run under the sanitizer build, these also catch
// reads and writes past any buffer.
#include <gtest/gtest.h>

#include <random>

#include "picture/picture.h"
#include "picture_fixtures.h"

namespace {

using fixtures::Bytes;

struct Sample {
    const char* name;
    Bytes bytes;
};

std::vector<Sample> Samples() {
    const auto px = fixtures::TestPixels(7, 5);
    Bytes rgb = fixtures::Packed(px, 3);
    return {
        {"s.jpg", fixtures::MakeJpeg(7, 5, rgb, 80)},
        {"s2.tga", fixtures::MakeTarga(2, 24, 7, 5, px)},
        {"s4.tga", fixtures::MakeTarga(2, 32, 7, 5, px)},
        {"r2.tga", fixtures::MakeTarga(10, 24, 7, 5, px, "id")},
        {"r4.tga", fixtures::MakeTarga(10, 32, 7, 5, px)},
        {"g.tga", fixtures::MakeTarga(3, 8, 7, 5, px, "", true)},
        {"rg.tga", fixtures::MakeTarga(11, 8, 7, 5, px, "", true)},
        {"s.bmp", fixtures::MakeBitmap({}, 7, 5, px)},
        {"p8.bmp", fixtures::MakeBitmap({.bits = 8, .topDownRows = true}, 7, 5, px)},
        {"m32.bmp",
         fixtures::MakeBitmap({.bits = 32, .header = 124, .alphaMasks = true}, 7, 5, px)},
        {"s.png", fixtures::MakePng(2, 8, 7, 5, px)},
        {"p.png", fixtures::MakePng(3, 8, 7, 5, px, true)},
        {"ga16.png", fixtures::MakePng(4, 16, 7, 5, px)},
    };
}

// What a successful load promises: positive size, 3 or 4 bytes per pixel,
// and exactly width x height pixels.
void ExpectConsistent(const CPicture& p, bool loaded) {
    const CPicture::Image& im = p.GetImage();
    if (!loaded) {
        EXPECT_TRUE(im.pixels.empty());
        EXPECT_FALSE(p.GetError().empty());
        return;
    }
    EXPECT_GT(im.width, 0);
    EXPECT_GT(im.height, 0);
    EXPECT_TRUE(im.bytesPerPixel == 3 || im.bytesPerPixel == 4);
    EXPECT_EQ(im.pixels.size(),
              std::size_t(im.width) * std::size_t(im.height) * std::size_t(im.bytesPerPixel));
}

TEST(PictureRobustness, EveryCutShortFileFails) {
    fixtures::TempDir dir;
    for (const Sample& s : Samples()) {
        SCOPED_TRACE(s.name);
        ASSERT_FALSE(s.bytes.empty());
        CPicture p;
        ASSERT_TRUE(p.Load(dir.Write(s.name, s.bytes))) << p.GetError();
        for (std::size_t len = 0; len < s.bytes.size(); ++len) {
            EXPECT_FALSE(p.Load(dir.Write(s.name, Bytes(s.bytes.begin(), s.bytes.begin() + len))))
                << "cut to " << len << " of " << s.bytes.size() << " bytes";
            EXPECT_TRUE(p.GetImage().pixels.empty());
        }
    }
}

TEST(PictureRobustness, RandomlyDamagedFilesNeverCrash) {
    fixtures::TempDir dir;
    std::mt19937 rng(20261206);
    int loaded = 0, failed = 0;
    for (const Sample& s : Samples()) {
        SCOPED_TRACE(s.name);
        for (int i = 0; i < 300; ++i) {
            Bytes b = s.bytes;
            const int changes = 1 + int(rng() % 8);
            for (int c = 0; c < changes; ++c) b[rng() % b.size()] = std::uint8_t(rng());
            if (rng() % 4 == 0) b.resize(rng() % b.size());
            CPicture p;
            const bool ok = p.Load(dir.Write(s.name, b));
            ExpectConsistent(p, ok);
            ++(ok ? loaded : failed);
        }
    }
    RecordProperty("loaded", loaded);
    RecordProperty("failed", failed);
    // Both outcomes occur, so the damage neither always nor never breaks a file.
    EXPECT_GT(loaded, 0);
    EXPECT_GT(failed, 0);
}

}  // namespace

// The bit reader: windows, mapping failures and reads past the end.
#include <gtest/gtest.h>

#include <unistd.h>

#include <filesystem>
#include <fstream>

#include "node/bifs_instream.h"

namespace {

std::string WriteTemp(const char* name, const std::vector<std::uint8_t>& bytes) {
    auto path = std::filesystem::temp_directory_path() /
                (std::string("orvane_in_") + std::to_string(::getpid()) + "_" + name);
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()),
               static_cast<std::streamsize>(bytes.size()));
    return path.string();
}

TEST(InStream, ReadsBitsFromAMappedFile) {
    std::string path = WriteTemp("c0.bin", {0xC0, 0x00});
    CBIFS_InStream in(path.c_str());
    EXPECT_EQ(in.ReadBits(2), 3u);
    EXPECT_EQ(in.ReadBits(8), 0u);
    EXPECT_FALSE(in.HasError());
    std::filesystem::remove(path);
}

TEST(InStream, FloatsAndDoubles) {
    const std::uint8_t one[] = {0x3F, 0x80, 0x00, 0x00};
    CBIFS_InStream f(one, 4);
    EXPECT_EQ(f.ReadFloat(), 1.0f);
    const std::uint8_t dbl[] = {0x3F, 0xF0, 0, 0, 0, 0, 0, 0};
    CBIFS_InStream d(dbl, 8);
    EXPECT_EQ(d.ReadDouble(), 1.0);
    const std::uint8_t neg[] = {0xFF, 0xFF, 0xFF, 0xFE};
    CBIFS_InStream i(neg, 4);
    EXPECT_EQ(i.ReadInt32(), -2);
}

TEST(InStream, WindowAfterConstruction) {
    const std::uint8_t data[] = {1, 2, 3, 4, 5, 6, 7, 8, 9};
    EXPECT_EQ(CBIFS_InStream(data, 9).BitsInWindow(), 32);
    EXPECT_EQ(CBIFS_InStream(data, 4).BitsInWindow(), 32);
    EXPECT_EQ(CBIFS_InStream(data, 1).BitsInWindow(), 8);
    CBIFS_InStream in(data, 9);
    EXPECT_EQ(in.ReadBits(0), 0u);  // consumes nothing
    EXPECT_EQ(in.BitsLeft(), 72u);
    in.ReadBits(3);
    EXPECT_GE(in.BitsInWindow(), 32);
    EXPECT_LE(in.BitsInWindow(), 40);
}

TEST(InStream, ReadingPastTheEndGivesZerosAndAnError) {
    const std::uint8_t data[] = {0xFF};
    CBIFS_InStream in(data, 1);
    EXPECT_EQ(in.ReadBits(4), 0xFu);
    EXPECT_FALSE(in.HasError());
    EXPECT_EQ(in.ReadBits(8), 0u);  // only 4 bits were left
    EXPECT_TRUE(in.HasError());
    EXPECT_EQ(in.ReadBits(32), 0u);
    EXPECT_EQ(in.BitsLeft(), 0u);
}

TEST(InStream, EmptyStreamHasNothingToRead) {
    CBIFS_InStream in;
    EXPECT_EQ(in.ReadBits(1), 0u);
    EXPECT_TRUE(in.HasError());
}

TEST(InStream, MissingFileIsReported) {
    ::testing::internal::CaptureStdout();
    CBIFS_InStream in("/nonexistent/file.bifs");
    EXPECT_EQ(::testing::internal::GetCapturedStdout(), " error open file !!\n");
    EXPECT_FALSE(in.HasData());
    EXPECT_EQ(in.ReadBits(8), 0u);
    EXPECT_TRUE(in.HasError());
}

TEST(InStream, EmptyFileCannotBeMapped) {
    std::string path = WriteTemp("empty.bin", {});
    ::testing::internal::CaptureStdout();
    ::testing::internal::CaptureStderr();
    CBIFS_InStream in(path.c_str());
    EXPECT_EQ(::testing::internal::GetCapturedStdout(), " error open map !!\n");
    EXPECT_EQ(::testing::internal::GetCapturedStderr(), "error open map!!!!!!!!\n");
    EXPECT_TRUE(in.HasError());
    std::filesystem::remove(path);
}

}  // namespace

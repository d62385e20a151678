// The bit writer: bit order, word flushing, block writes and the file sink.
#include <gtest/gtest.h>

#include <bit>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "coding_helpers.h"
#include "node/outstream.h"

namespace {

std::vector<std::uint8_t> ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

std::string TempPath(const char* name) {
    return (std::filesystem::temp_directory_path() /
            (std::string("orvane_") + std::to_string(::getpid()) + "_" + name))
        .string();
}

TEST(OutStream, BitsFillBytesFromTheTop) {
    EXPECT_EQ(EncodeBytes([](OutStream& s) {
                  s.WriteBits(3, 2);
                  s.WriteBits(0, 8);
              }),
              (std::vector<std::uint8_t>{0xC0, 0x00}));
    EXPECT_EQ(EncodeBytes([](OutStream& s) { s.WriteBits(1, 1); }),
              (std::vector<std::uint8_t>{0x80}));
    EXPECT_EQ(EncodeBytes([](OutStream& s) { s.WriteFloat(std::bit_cast<std::uint32_t>(1.0f)); }),
              (std::vector<std::uint8_t>{0x3F, 0x80, 0x00, 0x00}));
    EXPECT_EQ(EncodeBytes([](OutStream& s) { s.WriteChars("Hi"); }),
              (std::vector<std::uint8_t>{'H', 'i'}));
}

TEST(OutStream, ValuesStraddlingTheWordBoundary) {
    auto bytes = EncodeBytes([](OutStream& s) {
        s.WriteBits(0, 60);
        s.WriteBits(0xABC, 12);  // 4 bits in the first word, 8 in the next
        s.WriteBits(1, 1);
    });
    ASSERT_EQ(bytes.size(), 10u);
    EXPECT_EQ(bytes[7], 0x0A);
    EXPECT_EQ(bytes[8], 0xBC);
    EXPECT_EQ(bytes[9], 0x80);
}

TEST(OutStream, ExactlySixtyFourBitsFlushOneWord) {
    OutToMemory out;
    out.WriteBits(0x0123456789ABCDEFull, 64);
    EXPECT_EQ(out.BitsUsed(), 0);
    EXPECT_EQ(out.BufferedBytes(), 8);
    EXPECT_EQ(out.Finish(),
              (std::vector<std::uint8_t>{0x01, 0x23, 0x45, 0x67, 0x89, 0xAB, 0xCD, 0xEF}));
}

TEST(OutStream, BufferReachesTheSinkOnlyWhenFull) {
    OutToMemory out;
    for (int i = 0; i < 512; ++i) out.WriteBits(i, 64);
    EXPECT_EQ(out.BlockWrites(), 0u);
    EXPECT_EQ(out.BufferedBytes(), 4096);
    out.WriteBits(512, 64);  // the 513th word makes room first
    EXPECT_EQ(out.BlockWrites(), 1u);
    EXPECT_EQ(out.Bytes().size(), 4096u);
    EXPECT_EQ(out.BufferedBytes(), 8);
    const auto& all = out.Finish();
    ASSERT_EQ(all.size(), 4104u);
    EXPECT_EQ(all[4103], 0x00);
    EXPECT_EQ(all[4102], 0x02);  // 512 = 0x200
}

TEST(OutToFile, WritesTheFileOnlyInBlocksAndAtTheEnd) {
    std::string path = TempPath("blocks.bin");
    {
        OutToFile out(path.c_str());
        for (int i = 0; i < 512; ++i) out.WriteBits(0xFFFFFFFFFFFFFFFFull, 64);
        EXPECT_EQ(std::filesystem::file_size(path), 0u);
        out.WriteBits(0x1, 64);
        out.WriteBuffer();  // what is buffered so far reaches the file
    }
    auto bytes = ReadFile(path);
    ASSERT_EQ(bytes.size(), 4104u);
    EXPECT_EQ(bytes[4095], 0xFF);
    EXPECT_EQ(bytes[4103], 0x01);
    std::filesystem::remove(path);
}

TEST(OutToFile, ClosingWritesThePartialLastByte) {
    std::string path = TempPath("partial.bin");
    {
        OutToFile out(path.c_str());
        out.WriteBits(3, 2);
        out.WriteBits(0, 8);
    }
    EXPECT_EQ(ReadFile(path), (std::vector<std::uint8_t>{0xC0, 0x00}));
    std::filesystem::remove(path);
}

TEST(OutToFileDeathTest, UnopenableFileEndsTheProcess) {
    EXPECT_EXIT({ OutToFile out("/nonexistent-dir/x.bifs"); }, ::testing::ExitedWithCode(0),
                " can open file !!");
}

}  // namespace

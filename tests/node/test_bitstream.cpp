// The bit writer and reader: bit order, word flushing, block writes, the file
// sink, mapping failures, reads past the end, and long mixed sequences of
// random widths written and read back.
#include <gtest/gtest.h>

#include <unistd.h>

#include <algorithm>
#include <bit>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>

#include "coding_helpers.h"

namespace {

using ByteVector = std::vector<std::uint8_t>;

std::string TempPath(const char* name) {
    return (std::filesystem::temp_directory_path() /
            (std::string("orvane_") + std::to_string(::getpid()) + "_" + name))
        .string();
}

ByteVector ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

TEST(OutStream, BitsFillBytesFromTheTop) {
    EXPECT_EQ(EncodeBytes([](OutStream& s) {
                  s.WriteBits(3, 2);
                  s.WriteBits(0, 8);
              }),
              (ByteVector{0xC0, 0x00}));
    EXPECT_EQ(EncodeBytes([](OutStream& s) { s.WriteBits(1, 1); }), ByteVector{0x80});
    EXPECT_EQ(EncodeBytes([](OutStream& s) { s.WriteFloat(std::bit_cast<std::uint32_t>(1.0f)); }),
              (ByteVector{0x3F, 0x80, 0x00, 0x00}));
    EXPECT_EQ(EncodeBytes([](OutStream& s) { s.WriteChars("Hi"); }), (ByteVector{'H', 'i'}));
    // 60 bits, then 12 of which 4 end the first word and 8 begin the next.
    EXPECT_EQ(EncodeBytes([](OutStream& s) {
                  s.WriteBits(0, 60);
                  s.WriteBits(0xABC, 12);
                  s.WriteBits(1, 1);
              }),
              (ByteVector{0, 0, 0, 0, 0, 0, 0, 0x0A, 0xBC, 0x80}));
}

TEST(OutStream, WordsReachTheBufferAndTheBufferTheSinkOnlyWhenFull) {
    OutToMemory out;
    out.WriteBits(0x0123456789ABCDEFull, 64);
    EXPECT_EQ(out.BitsUsed(), 0);
    EXPECT_EQ(out.BufferedBytes(), 8);
    for (int i = 1; i < 512; ++i) out.WriteBits(i, 64);
    EXPECT_EQ(out.BlockWrites(), 0u);
    EXPECT_EQ(out.BufferedBytes(), 4096);
    out.WriteBits(512, 64);  // the 513th word makes room first
    EXPECT_EQ(out.BlockWrites(), 1u);
    EXPECT_EQ(out.Bytes().size(), 4096u);
    EXPECT_EQ(out.BufferedBytes(), 8);
    const auto& all = out.Finish();
    ASSERT_EQ(all.size(), 4104u);
    EXPECT_EQ(ByteVector(all.begin(), all.begin() + 8),
              (ByteVector{0x01, 0x23, 0x45, 0x67, 0x89, 0xAB, 0xCD, 0xEF}));
    EXPECT_EQ(all[4102], 0x02);  // 512 = 0x200
    EXPECT_EQ(all[4103], 0x00);
}

TEST(OutToFile, WritesTheFileOnlyInBlocksAndAtTheEnd) {
    std::string path = TempPath("blocks.bin");
    {
        OutToFile out(path.c_str());
        for (int i = 0; i < 512; ++i) out.WriteBits(0xFFFFFFFFFFFFFFFFull, 64);
        EXPECT_EQ(std::filesystem::file_size(path), 0u);
        out.WriteBits(0x1, 64);
        out.WriteBits(3, 2);  // closing writes the partly filled last byte
    }
    auto bytes = ReadFile(path);
    ASSERT_EQ(bytes.size(), 4105u);
    EXPECT_EQ(bytes[4095], 0xFF);
    EXPECT_EQ(bytes[4103], 0x01);
    EXPECT_EQ(bytes[4104], 0xC0);
    std::filesystem::remove(path);
}

TEST(OutToFileDeathTest, UnopenableFileEndsTheProcess) {
    EXPECT_EXIT({ OutToFile out("/nonexistent-dir/x.bifs"); }, ::testing::ExitedWithCode(0),
                " can open file !!");
}

TEST(InStream, ReadsBitsFromAMappedFile) {
    std::string path = TempPath("c0.bin");
    std::ofstream(path, std::ios::binary) << "\xC0\x01";
    CBIFS_InStream in(path.c_str());
    EXPECT_EQ(in.ReadBits(2), 3u);
    EXPECT_EQ(in.ReadBits(14), 1u);
    EXPECT_FALSE(in.HasError());
    std::filesystem::remove(path);
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
    CBIFS_InStream empty;
    EXPECT_EQ(empty.ReadBits(1), 0u);
    EXPECT_TRUE(empty.HasError());
}

TEST(InStream, MissingAndEmptyFilesAreReported) {
    ::testing::internal::CaptureStdout();
    CBIFS_InStream missing("/nonexistent/file.bifs");
    EXPECT_EQ(::testing::internal::GetCapturedStdout(), " error open file !!\n");
    EXPECT_FALSE(missing.HasData());
    EXPECT_EQ(missing.ReadBits(8), 0u);
    EXPECT_TRUE(missing.HasError());

    std::string path = TempPath("empty.bin");
    std::ofstream{path};
    ::testing::internal::CaptureStdout();
    ::testing::internal::CaptureStderr();
    CBIFS_InStream empty(path.c_str());
    EXPECT_EQ(::testing::internal::GetCapturedStdout(), " error open map !!\n");
    EXPECT_EQ(::testing::internal::GetCapturedStderr(), "error open map!!!!!!!!\n");
    EXPECT_TRUE(empty.HasError());
    std::filesystem::remove(path);
}

TEST(BitRoundTrip, RandomWidthsAndValues) {
    for (unsigned seed : {1u, 2u, 3u}) {
        std::mt19937_64 rng(seed);
        std::vector<std::pair<std::uint32_t, std::uint8_t>> items;
        for (int i = 0; i < 20000; ++i) {
            auto width = static_cast<std::uint8_t>(rng() % 33);  // 0..32; 0 is skipped on write
            std::uint32_t value = width ? static_cast<std::uint32_t>(rng() >> (64 - width)) : 0;
            items.emplace_back(value, width);
        }
        auto bytes = EncodeBytes([&](OutStream& s) {
            for (auto [value, width] : items)
                if (width) s.WriteBits(value, width);
        });
        // The same writes, partly through runs of random length that cross
        // buffer hand-overs, must give the same bytes.
        auto mixed = EncodeBytes([&](OutStream& s) {
            std::size_t i = 0;
            while (i < items.size()) {
                std::size_t end = std::min(items.size(), i + rng() % 3000);
                {
                    OutStream::Run run(s);
                    for (; i < end; ++i)
                        if (items[i].second) run.WriteBits(items[i].first, items[i].second);
                }
                if (i < items.size() && items[i].second)
                    s.WriteBits(items[i].first, items[i].second);
                ++i;
            }
        });
        ASSERT_EQ(mixed, bytes) << "seed " << seed;
        CBIFS_InStream in(bytes.data(), static_cast<std::uint32_t>(bytes.size()));
        for (std::size_t i = 0; i < items.size(); ++i) {
            ASSERT_EQ(in.ReadBits(items[i].second), items[i].first)
                << "item " << i << " seed " << seed;
        }
        EXPECT_FALSE(in.HasError());
        EXPECT_LT(in.BitsLeft(), 8u);
    }
}

// The direct reads of number lists give what reading bit by bit gives, at
// every alignment and up to the last byte.
TEST(InStream, WordsAtAnyBitAndSeeksMatchTheReader) {
    std::mt19937 rng(5);
    ByteVector data(61);
    for (auto& b : data) b = static_cast<std::uint8_t>(rng());
    const std::uint64_t bits = data.size() * 8;
    for (std::uint64_t at = 0; at + 32 <= bits; ++at) {
        CBIFS_InStream direct(data.data(), static_cast<std::uint32_t>(data.size()));
        CBIFS_InStream stepwise(data.data(), static_cast<std::uint32_t>(data.size()));
        for (std::uint64_t done = 0; done < at; done += std::min<std::uint64_t>(32, at - done))
            stepwise.ReadBits(static_cast<std::uint8_t>(std::min<std::uint64_t>(32, at - done)));
        ASSERT_EQ(direct.WordAt(at), stepwise.ReadBits(32)) << at;
        direct.SeekBit(at + 32);
        EXPECT_EQ(direct.BitPosition(), stepwise.BitPosition());
        EXPECT_EQ(direct.ReadBits(5), stepwise.ReadBits(5)) << at;
        EXPECT_EQ(direct.HasError(), stepwise.HasError()) << at;
    }
    // A list-form count: the 0 bits at element boundaries before a 1 bit or the end.
    auto count = [](const ByteVector& bytes, unsigned elementBits) {
        CBIFS_InStream in(bytes.data(), static_cast<std::uint32_t>(bytes.size()));
        return in.CountListElements(elementBits);
    };
    EXPECT_EQ(count(EncodeBytes([](OutStream& o) {
                        for (int i = 0; i < 3; ++i) o.WriteBits(0xFFFFFFFFull, 33);  // 0 + 32 ones
                        o.WriteBits(1, 1);
                    }),
                    32),
              3u);
    EXPECT_EQ(count(ByteVector(10, 0), 32), 3u);  // 80 zero bits: elements at 0, 33 and 66
}

TEST(BitRoundTrip, SixtyFourBitWritesReadAsTwoHalves) {
    std::mt19937_64 rng(7);
    std::vector<std::uint64_t> values(1000);
    for (auto& v : values) v = rng();
    auto bytes = EncodeBytes([&](OutStream& s) {
        s.WriteBits(1, 3);  // misalign everything that follows
        for (auto v : values) s.WriteBits(v, 64);
    });
    CBIFS_InStream in(bytes.data(), static_cast<std::uint32_t>(bytes.size()));
    EXPECT_EQ(in.ReadBits(3), 1u);
    for (auto v : values) {
        std::uint64_t high = in.ReadBits(32);
        ASSERT_EQ(high << 32 | in.ReadBits(32), v);
    }
}

}  // namespace

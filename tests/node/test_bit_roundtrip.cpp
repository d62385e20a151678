// Long mixed sequences of random widths written and read back.
#include <gtest/gtest.h>

#include <algorithm>
#include <random>

#include "coding_helpers.h"

namespace {

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

// Raw BIFS coding of the single-valued types, assignment between types and the
// field factory.
#include <gtest/gtest.h>

#include <bit>
#include <random>

#include "coding_helpers.h"
#include "node/node_typedef.h"

namespace {

template <class T>
T RoundTrip(const T& value) {
    auto bytes = EncodeBytes([&](OutStream& s) { EXPECT_EQ(value.Encode(s), kOk); });
    CBIFS_InStream in(bytes.data(), static_cast<std::uint32_t>(bytes.size()));
    T back;
    EXPECT_EQ(back.Decode(in), kOk);
    EXPECT_FALSE(in.HasError());
    return back;
}

TEST(FieldCoding, FloatIsItsBigEndianPattern) {
    auto bytes = EncodeBytes([](OutStream& s) { SFFloat(1.0f).Encode(s); });
    EXPECT_EQ(bytes, (std::vector<std::uint8_t>{0x3F, 0x80, 0x00, 0x00}));
    bytes = EncodeBytes([](OutStream& s) { SFTime(1.0).Encode(s); });
    EXPECT_EQ(bytes, (std::vector<std::uint8_t>{0x3F, 0xF0, 0, 0, 0, 0, 0, 0}));
    bytes = EncodeBytes([](OutStream& s) { SFInt32(-2).Encode(s); });
    EXPECT_EQ(bytes, (std::vector<std::uint8_t>{0xFF, 0xFF, 0xFF, 0xFE}));
}

TEST(FieldCoding, BoolIsOneBit) {
    auto bytes = EncodeBytes([](OutStream& s) {
        SFBool(true).Encode(s);
        SFBool(false).Encode(s);
        SFBool(true).Encode(s);
    });
    EXPECT_EQ(bytes, (std::vector<std::uint8_t>{0xA0}));
}

TEST(FieldCoding, StringIsWidthLengthAndBytes) {
    auto bytes = EncodeBytes([](OutStream& s) { SFString("").Encode(s); });
    // 5 bits of 16 then 16 bits of 0: 21 bits, 3 bytes.
    ASSERT_EQ(bytes.size(), 3u);
    EXPECT_EQ(BitString(bytes, 21),
              "10000"
              "0000000000000000");
    bytes = EncodeBytes([](OutStream& s) { SFURL("ab").Encode(s); });
    EXPECT_EQ(BitString(bytes, 37),
              "10000"
              "0000000000000010"
              "01100001"
              "01100010");
}

TEST(FieldCoding, StringDecodeAppendsToCurrentText) {
    auto bytes = EncodeBytes([](OutStream& s) { SFString("cd").Encode(s); });
    CBIFS_InStream in(bytes.data(), static_cast<std::uint32_t>(bytes.size()));
    SFString s("ab");
    EXPECT_EQ(s.Decode(in), kOk);
    EXPECT_EQ(s.Get(), "abcd");
}

TEST(FieldCoding, TruncatedStringFailsWithoutReadingPastTheData) {
    auto bytes = EncodeBytes([](OutStream& s) { SFString(std::string(300, 'x')).Encode(s); });
    bytes.resize(20);
    CBIFS_InStream in(bytes.data(), static_cast<std::uint32_t>(bytes.size()));
    SFString s;
    EXPECT_EQ(s.Decode(in), kFailCode);
    EXPECT_TRUE(in.HasError());
    EXPECT_LE(s.Get().size(), 20u);
}

TEST(FieldCoding, EveryTypeRoundTripsRandomValues) {
    std::mt19937 rng(1234);
    std::uniform_real_distribution<float> f(-1e6f, 1e6f);
    for (int i = 0; i < 200; ++i) {
        SFBool b(rng() & 1);
        EXPECT_EQ(RoundTrip(b), b);
        SFInt32 n(static_cast<std::int32_t>(rng()));
        EXPECT_EQ(RoundTrip(n), n);
        SFFloat x(f(rng));
        EXPECT_EQ(RoundTrip(x), x);
        SFTime t(std::bit_cast<double>((std::uint64_t{rng()} << 32 | rng()) & ~(0x7FFull << 52)));
        EXPECT_EQ(RoundTrip(t), t);
        SFVec2f v2(f(rng), f(rng));
        EXPECT_EQ(RoundTrip(v2), v2);
        SFVec3f v3(f(rng), f(rng), f(rng));
        EXPECT_EQ(RoundTrip(v3), v3);
        SFColor c(f(rng), f(rng), f(rng));
        EXPECT_EQ(RoundTrip(c), c);
        SFRotation r(f(rng), f(rng), f(rng), f(rng));
        EXPECT_EQ(RoundTrip(r), r);
        std::string text(rng() % 40, ' ');
        for (char& ch : text) ch = static_cast<char>(rng() % 256);
        SFString s(text);
        EXPECT_EQ(RoundTrip(s), s);
        SFURL u(text);
        EXPECT_EQ(RoundTrip(u), u);
    }
}

TEST(FieldAssign, OnlyFromTheSameClass) {
    SFVec2f v2(1, 2);
    SFVec3f v3(3, 4, 5);
    EXPECT_EQ(v2.AssignFrom(v3), 1);
    EXPECT_EQ(v2, SFVec2f(1, 2));
    SFColor c(0.1f, 0.2f, 0.3f);
    EXPECT_EQ(v3.AssignFrom(c), 1);  // same layout, other class
    EXPECT_EQ(v3, SFVec3f(3, 4, 5));
    SFString s("x");
    EXPECT_EQ(s.AssignFrom(SFURL("y")), 1);
    EXPECT_EQ(s.Get(), "x");
    EXPECT_EQ(v3.AssignFrom(SFVec3f(6, 7, 8)), 0);
    EXPECT_EQ(v3, SFVec3f(6, 7, 8));
    SFTime t;
    EXPECT_EQ(t.AssignFrom(SFFloat(2)), 1);
    EXPECT_EQ(t.AssignFrom(SFTime(2.5)), 0);
    EXPECT_EQ(t.Get(), 2.5);
}

TEST(FieldFactory, CreatesTypesTwoToEleven) {
    for (std::uint8_t code = 0; code < 20; ++code) {
        auto field = CreateSFField(code);
        if (code >= 2 && code <= 11) {
            ASSERT_NE(field, nullptr) << int(code);
            EXPECT_EQ(field->GetFieldType(), code);
            EXPECT_EQ(field->IsSingle(), 1);
        } else {
            EXPECT_EQ(field, nullptr) << int(code);
        }
    }
}

TEST(FieldBase, AbstractCodingFails) {
    struct Bare : SFField {
        int ToString(std::string&) const override { return 0; }
        int FromString(const std::string&) override { return 0; }
        int AssignFrom(const Field&) override { return 1; }
        void GetTypeName(std::string&) const override {}
        std::unique_ptr<SFField> CloneEmpty() const override { return nullptr; }
    } bare;
    OutToMemory out;
    EXPECT_EQ(bare.Encode(out), kFailCode);
    EXPECT_EQ(bare.GetFieldType(), 0);
    CBIFS_InStream in;
    EXPECT_EQ(bare.Decode(in), kFailCode);
    EXPECT_TRUE(out.Finish().empty());
}

}  // namespace

// Raw BIFS coding of the single-valued types, assignment between types and the
// field factory.
#include <gtest/gtest.h>

#include <bit>
#include <random>

#include "coding_helpers.h"
#include "node/node_typedef.h"

namespace {

using ByteVector = std::vector<std::uint8_t>;

template <class T>
T RoundTrip(const T& value) {
    auto bytes = EncodeBytes([&](OutStream& s) { EXPECT_EQ(value.Encode(s), node::kOk); });
    CBIFS_InStream in(bytes.data(), static_cast<std::uint32_t>(bytes.size()));
    T back;
    EXPECT_EQ(back.Decode(in), node::kOk);
    EXPECT_FALSE(in.HasError());
    return back;
}

TEST(FieldCoding, BitExactValues) {
    auto encoded = [](const Field& f) { return EncodeBytes([&](OutStream& s) { f.Encode(s); }); };
    EXPECT_EQ(encoded(SFFloat(1.0f)), (ByteVector{0x3F, 0x80, 0x00, 0x00}));
    EXPECT_EQ(encoded(SFTime(1.0)), (ByteVector{0x3F, 0xF0, 0, 0, 0, 0, 0, 0}));
    EXPECT_EQ(encoded(SFInt32(-2)), (ByteVector{0xFF, 0xFF, 0xFF, 0xFE}));
    EXPECT_EQ(EncodeBytes([](OutStream& s) {
                  for (bool b : {true, false, true}) SFBool(b).Encode(s);
              }),
              ByteVector{0xA0});
    // A string: its length's width (16) in 5 bits, the length, the bytes.
    EXPECT_EQ(BitString(encoded(SFString(""))), Bits("10000 0000000000000000", true));
    EXPECT_EQ(BitString(encoded(SFURL("ab"))),
              Bits("10000 0000000000000010 01100001 01100010", true));
}

TEST(FieldCoding, StringDecodeAppendsToCurrentText) {
    auto bytes = EncodeBytes([](OutStream& s) { SFString("cd").Encode(s); });
    CBIFS_InStream in(bytes.data(), static_cast<std::uint32_t>(bytes.size()));
    SFString s("ab");
    EXPECT_EQ(s.Decode(in), node::kOk);
    EXPECT_EQ(s.Get(), "abcd");
}

TEST(FieldCoding, TruncatedStringFailsWithoutReadingPastTheData) {
    auto bytes = EncodeBytes([](OutStream& s) { SFString(std::string(300, 'x')).Encode(s); });
    bytes.resize(20);
    CBIFS_InStream in(bytes.data(), static_cast<std::uint32_t>(bytes.size()));
    SFString s;
    EXPECT_EQ(s.Decode(in), node::kFailCode);
    EXPECT_TRUE(in.HasError());
    EXPECT_LE(s.Get().size(), 20u);
}

TEST(FieldCoding, EveryTypeRoundTripsRandomValues) {
    std::mt19937 rng(1234);
    std::uniform_real_distribution<float> dist(-1e6f, 1e6f);
    auto f = [&] { return dist(rng); };
    for (int i = 0; i < 200; ++i) {
        const SFBool b(rng() & 1);
        const SFInt32 n(static_cast<std::int32_t>(rng()));
        const SFFloat x(f());
        // Any finite double: random bits with the exponent kept below all ones.
        const SFTime t(
            std::bit_cast<double>((std::uint64_t{rng()} << 32 | rng()) & ~(0x7FFull << 52)));
        const SFVec2f v2(f(), f());
        const SFVec3f v3(f(), f(), f());
        const SFColor c(f(), f(), f());
        const SFRotation r(f(), f(), f(), f());
        std::string text(rng() % 40, ' ');
        for (char& ch : text) ch = static_cast<char>(rng() % 256);
        EXPECT_EQ(RoundTrip(b), b);
        EXPECT_EQ(RoundTrip(n), n);
        EXPECT_EQ(RoundTrip(x), x);
        EXPECT_EQ(RoundTrip(t), t);
        EXPECT_EQ(RoundTrip(v2), v2);
        EXPECT_EQ(RoundTrip(v3), v3);
        EXPECT_EQ(RoundTrip(c), c);
        EXPECT_EQ(RoundTrip(r), r);
        EXPECT_EQ(RoundTrip(SFString(text)), SFString(text));
        EXPECT_EQ(RoundTrip(SFURL(text)), SFURL(text));
    }
}

TEST(FieldAssign, OnlyFromTheSameClass) {
    SFVec2f v2(1, 2);
    SFVec3f v3(3, 4, 5);
    EXPECT_EQ(v2.AssignFrom(v3), 1);
    EXPECT_EQ(v2, SFVec2f(1, 2));
    EXPECT_EQ(v3.AssignFrom(SFColor(0.1f, 0.2f, 0.3f)), 1);  // same layout, other class
    EXPECT_EQ(v3, SFVec3f(3, 4, 5));
    SFString s("x");
    EXPECT_EQ(s.AssignFrom(SFURL("y")), 1);
    EXPECT_EQ(s.Get(), "x");
    EXPECT_EQ(v3.AssignFrom(SFVec3f(6, 7, 8)), 0);
    EXPECT_EQ(v3, SFVec3f(6, 7, 8));
}

TEST(FieldFactory, CreatesTypesTwoToElevenWithTheirNames) {
    const char* names[] = {"SFBool",   "SFColor", "SFFloat", "SFInt32", "SFRotation",
                           "SFString", "SFTime",  "SFURL",   "SFVec2f", "SFVec3f"};
    for (std::uint8_t code = 0; code < 20; ++code) {
        auto field = CreateSFField(code);
        if (code < 2 || code > 11) {
            EXPECT_EQ(field, nullptr) << int(code);
            continue;
        }
        ASSERT_NE(field, nullptr) << int(code);
        EXPECT_EQ(field->GetFieldType(), code);
        EXPECT_EQ(field->IsSingle(), 1);
        std::string name;
        field->GetTypeName(name);
        EXPECT_EQ(name, names[code - 2]);
    }
}

}  // namespace

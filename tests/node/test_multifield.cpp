// Lists of single values: editing, text form and the list coding in both the
// list and the vector forms.
#include <gtest/gtest.h>

#include <random>

#include "coding_helpers.h"
#include "node/node_typedef.h"

namespace {

std::string Text(const MultiField& list) {
    std::string out;
    list.ToString(out);
    return out;
}

template <class L>
L Decoded(const std::vector<std::uint8_t>& bytes, HRESULT expect = node::kOk) {
    CBIFS_InStream in(bytes.data(), static_cast<std::uint32_t>(bytes.size()));
    L list;
    EXPECT_EQ(list.Decode(in), expect);
    return list;
}

TEST(MFField, TypeCodeNameAndSingleness) {
    MFField<SFURL> urls;
    std::string name;
    urls.GetTypeName(name);
    EXPECT_EQ(name, "Multi SFURL");
    EXPECT_EQ(urls.GetFieldType(), kFieldSFURL);
    EXPECT_EQ(urls.IsSingle(), 0);
}

TEST(MFField, InsertRemoveAndAssignWithIndexChecks) {
    MFField<SFFloat> list;
    EXPECT_EQ(list.InsertAt(0, SFFloat(2)), 0);
    EXPECT_EQ(list.InsertAt(0, SFFloat(1)), 0);
    EXPECT_EQ(list.InsertAt(2, SFFloat(4)), 0);  // index = count appends
    EXPECT_EQ(list.InsertAt(4, SFFloat(9)), 1);  // count + 1
    EXPECT_EQ(list.InsertAt(-1, SFFloat(9)), 1);
    EXPECT_EQ(list.InsertAt(0, SFInt32(9)), 1);  // wrong element type
    EXPECT_EQ(list.Append(SFFloat(5)), 0);
    EXPECT_EQ(Text(list), "1.0;2.0;4.0;5.0");
    EXPECT_EQ(list.InsertFromString(2, "3"), 0);
    EXPECT_EQ(list.AssignAt(4, SFFloat(6)), 0);
    EXPECT_EQ(list.AssignAt(5, SFFloat(6)), 1);
    EXPECT_EQ(list.SetAtFromString(0, "0.5"), 0);
    EXPECT_EQ(list.SetAtFromString(9, "0.5"), 1);
    EXPECT_EQ(Text(list), "0.5;2.0;3.0;4.0;6.0");
    list.RemoveAt(1);
    list.RemoveAt(7);  // out of range: nothing
    list.RemoveAt(-1);
    EXPECT_EQ(Text(list), "0.5;3.0;4.0;6.0");
    EXPECT_EQ(list.GetElement(4), nullptr);
    EXPECT_EQ(list.GetElement(-1), nullptr);
    ASSERT_NE(list.GetElement(3), nullptr);
    EXPECT_EQ(list.Clear(), 0);
    EXPECT_EQ(list.GetCount(), 0);
}

TEST(MFField, FromStringParsesBeforeStoring) {
    MFField<SFVec3f> list;
    EXPECT_EQ(list.InsertFromString(0, "1,2"), 1);
    EXPECT_EQ(list.IsValidText("1,2,3"), 0);
    EXPECT_EQ(list.IsValidText("1,2"), 1);
    EXPECT_EQ(list.GetCount(), 0);
    EXPECT_EQ(list.InsertFromString(0, "0,1,0"), 0);
    EXPECT_EQ(list.InsertFromString(1, "1,0,0"), 0);
    EXPECT_EQ(Text(list), "0.0,1.0,0.0;1.0,0.0,0.0");
    EXPECT_EQ(Text(MFField<SFVec2f>()), "");
}

TEST(MFField, AssignFromSameListTypeOnly) {
    MFField<SFInt32> a{SFInt32(1), SFInt32(2)};
    MFField<SFInt32> b{SFInt32(7)};
    EXPECT_EQ(b.AssignFrom(MFField<SFFloat>{SFFloat(3)}), 1);
    EXPECT_EQ(b.AssignFrom(SFInt32(5)), 1);
    EXPECT_EQ(Text(b), "7");
    EXPECT_EQ(b.AssignFrom(a), 0);
    EXPECT_EQ(b, a);
    EXPECT_EQ(b.AssignFrom(b), 0);
    EXPECT_EQ(b, a);
}

TEST(MFFieldCoding, ListFrameBits) {
    auto encoded = [](const MultiField& l) {
        return EncodeBytes([&](OutStream& s) { l.Encode(s); });
    };
    EXPECT_EQ(BitString(encoded(MFField<SFInt32>())), Bits("011", true));
    // Not empty, list form, then a 0 and the value per element, and a 1 to end.
    EXPECT_EQ(BitString(encoded(MFField<SFInt32>{SFInt32(1), SFInt32(2)})),
              Bits("0 1 0" + std::string(31, '0') + "1 0" + std::string(30, '0') + "10 1", true));
}

TEST(MFFieldCoding, FirstBitOneLeavesTheListEmpty) {
    EXPECT_EQ(Decoded<MFField<SFFloat>>({0x80}).GetCount(), 0);
}

TEST(MFFieldCoding, ReadsTheVectorForm) {
    // 0 (not empty), 0 (vector form), width 2 in 5 bits, count 2 in 2 bits,
    // then two 32-bit integers 5 and 6.
    auto bytes = EncodeBytes([](OutStream& s) {
        s.WriteBits(0b00'00010'10, 9);
        s.WriteInt32(5);
        s.WriteInt32(6);
    });
    EXPECT_EQ(Decoded<MFField<SFInt32>>(bytes), (MFField<SFInt32>{SFInt32(5), SFInt32(6)}));
}

TEST(MFFieldCoding, EveryListTypeRoundTrips) {
    std::mt19937 rng(99);
    auto f = [&] { return std::uniform_real_distribution<float>(-100, 100)(rng); };
    MFField<SFString> strings{SFString("a"), SFString(""), SFString("long text")};
    MFField<SFURL> urls{SFURL("x.jpg")};
    MFField<SFInt32> ints;
    MFField<SFFloat> floats;
    MFField<SFColor> colors;
    MFField<SFVec3f> vec3s;
    MFField<SFVec2f> vec2s;
    MFField<SFRotation> rots;
    for (int i = 0; i < 50; ++i) {
        ints.PushBack(SFInt32(static_cast<std::int32_t>(rng())));
        floats.PushBack(SFFloat(f()));
        colors.PushBack(SFColor(f(), f(), f()));
        vec3s.PushBack(SFVec3f(f(), f(), f()));
        vec2s.PushBack(SFVec2f(f(), f()));
        rots.PushBack(SFRotation(f(), f(), f(), f()));
    }
    auto check = [](const auto& list) {
        auto bytes = EncodeBytes([&](OutStream& s) { EXPECT_EQ(list.Encode(s), node::kOk); });
        EXPECT_EQ(Decoded<std::decay_t<decltype(list)>>(bytes), list);
    };
    check(strings);
    check(urls);
    check(ints);
    check(floats);
    check(colors);
    check(vec3s);
    check(vec2s);
    check(rots);
}

TEST(MFFieldCoding, MalformedListsFailCleanly) {
    // Vector form claiming 2^31-1 elements in a few bytes.
    auto huge = EncodeBytes([](OutStream& s) {
        s.WriteBits(0b00'11111, 7);
        s.WriteBits(0x7FFFFFFF, 31);
        s.WriteInt32(1);
    });
    EXPECT_EQ(Decoded<MFField<SFInt32>>(huge, node::kFailCode).GetCount(), 0);

    // List form cut off in its third element: the two whole ones stay.
    MFField<SFVec3f> three{SFVec3f(1, 2, 3), SFVec3f(4, 5, 6), SFVec3f(7, 8, 9)};
    auto bytes = EncodeBytes([&](OutStream& s) { three.Encode(s); });
    bytes.resize(bytes.size() - 6);
    EXPECT_EQ(Decoded<MFField<SFVec3f>>(bytes, node::kFailCode).GetCount(), 2);

    // A list form that never ends: 0 then 1, and every following bit says
    // "another element".
    std::vector<std::uint8_t> zeros(64, 0x00);
    zeros[0] = 0x40;
    EXPECT_LE(Decoded<MFField<SFFloat>>(zeros, node::kFailCode).GetCount(), 16);
}

}  // namespace

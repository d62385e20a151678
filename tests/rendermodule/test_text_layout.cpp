// Text: the layout arithmetic on made-up advances (justification, directions,
// spacing, length and maxExtent), UTF-8 decoding, and the installed fonts' glyphs as
// the builder gets them (holes left open, triangles facing +z, the fall-backs).
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "rendermodule/geometry_builder_text.h"
#include "trace/message_sink.h"

namespace {

// One glyph's expected place.
struct Expect {
    std::size_t line, glyph;
    glm::vec2 origin, scale;
};

struct LayoutCase {
    const char* name;
    std::vector<std::vector<float>> advances;
    TextStyle style;
    std::vector<Expect> expected;
    std::vector<float> lengths = {};
    float maxExtent = 0;
};

void PrintTo(const LayoutCase& c, std::ostream* os) {
    *os << c.name;
}

TextStyle Style(float size, Justify major = Justify::Begin, Justify minor = Justify::First) {
    TextStyle s;
    s.size = size;
    s.major = major;
    s.minor = minor;
    return s;  // ascent 0.8, descent 0.2
}
TextStyle With(TextStyle s, bool horizontal, bool leftToRight, bool topToBottom,
               float spacing = 1) {
    s.horizontal = horizontal;
    s.leftToRight = leftToRight;
    s.topToBottom = topToBottom;
    s.spacing = spacing;
    return s;
}

class TextLayoutTest : public ::testing::TestWithParam<LayoutCase> {};

TEST_P(TextLayoutTest, PlacesGlyphs) {
    const LayoutCase& c = GetParam();
    const TextLayout layout = LayOutText(c.advances, c.lengths, c.maxExtent, c.style);
    ASSERT_EQ(layout.lines.size(), c.advances.size());
    for (const Expect& e : c.expected) {
        ASSERT_LT(e.glyph, layout.lines[e.line].size());
        const PlacedGlyph& g = layout.lines[e.line][e.glyph];
        EXPECT_NEAR(g.origin.x, e.origin.x, 1e-5) << "line " << e.line << " glyph " << e.glyph;
        EXPECT_NEAR(g.origin.y, e.origin.y, 1e-5) << "line " << e.line << " glyph " << e.glyph;
        EXPECT_NEAR(g.scale.x, e.scale.x, 1e-5) << "line " << e.line << " glyph " << e.glyph;
        EXPECT_NEAR(g.scale.y, e.scale.y, 1e-5) << "line " << e.line << " glyph " << e.glyph;
    }
}

using J = Justify;
const std::vector<std::vector<float>> kTwo = {{0.5f, 0.5f}};  // one line of two glyphs
const std::vector<std::vector<float>> kLines = {{1}, {1}};    // two lines of one

INSTANTIATE_TEST_SUITE_P(
    Layout, TextLayoutTest,
    ::testing::Values(
        // Major justification along a line of length 2 (size 2): start, centre or end at 0.
        LayoutCase{"Begin", kTwo, Style(2), {{0, 0, {0, 0}, {2, 2}}, {0, 1, {1, 0}, {2, 2}}}},
        LayoutCase{"First", kTwo, Style(2, J::First), {{0, 1, {1, 0}, {2, 2}}}},
        LayoutCase{"Middle", kTwo, Style(2, J::Middle), {{0, 0, {-1, 0}, {2, 2}}}},
        LayoutCase{
            "End", kTwo, Style(2, J::End), {{0, 0, {-2, 0}, {2, 2}}, {0, 1, {-1, 0}, {2, 2}}}},
        // Right to left: the first glyph rightmost, BEGIN puts the right edge at 0.
        LayoutCase{"RightToLeft",
                   kTwo,
                   With(Style(2), true, false, true),
                   {{0, 0, {-1, 0}, {2, 2}}, {0, 1, {-2, 0}, {2, 2}}}},
        LayoutCase{"RightToLeftEnd",
                   kTwo,
                   With(Style(2, J::End), true, false, true),
                   {{0, 0, {1, 0}, {2, 2}}, {0, 1, {0, 0}, {2, 2}}}},
        // Baselines spacing × size apart, down or up; minor justification of the block
        // (ascent 1.6, descent 0.4 at size 2).
        LayoutCase{"Spacing",
                   kLines,
                   With(Style(2), true, true, true, 1.5f),
                   {{0, 0, {0, 0}, {2, 2}}, {1, 0, {0, -3}, {2, 2}}}},
        LayoutCase{"BottomToTop",
                   kLines,
                   With(Style(2), true, true, false, 1.5f),
                   {{1, 0, {0, 3}, {2, 2}}}},
        LayoutCase{"MinorBegin",
                   kLines,
                   With(Style(2, J::Begin, J::Begin), true, true, true, 1.5f),
                   {{0, 0, {0, -1.6f}, {2, 2}}, {1, 0, {0, -4.6f}, {2, 2}}}},
        LayoutCase{"MinorEnd",
                   kLines,
                   With(Style(2, J::Begin, J::End), true, true, true, 1.5f),
                   {{1, 0, {0, 0.4f}, {2, 2}}}},
        LayoutCase{"MinorMiddle",
                   kLines,
                   With(Style(2, J::Begin, J::Middle), true, true, true, 1.5f),
                   {{0, 0, {0, 0.9f}, {2, 2}}}},
        LayoutCase{"MinorBeginUpwards",
                   kLines,
                   With(Style(2, J::Begin, J::Begin), true, true, false, 1.5f),
                   {{0, 0, {0, 0.4f}, {2, 2}}}},
        LayoutCase{"MinorEndUpwards",
                   kLines,
                   With(Style(2, J::Begin, J::End), true, true, false, 1.5f),
                   {{1, 0, {0, -1.6f}, {2, 2}}}},
        // length stretches or squeezes each line along its direction only.
        LayoutCase{"LengthStretches",
                   kTwo,
                   Style(1),
                   {{0, 0, {0, 0}, {2, 1}}, {0, 1, {1, 0}, {2, 1}}},
                   {2}},
        LayoutCase{
            "LengthSqueezesMiddle", kTwo, Style(2, J::Middle), {{0, 0, {-0.5f, 0}, {1, 2}}}, {1}},
        LayoutCase{"LengthZeroOrMissingKeeps",
                   kLines,
                   Style(1),
                   {{0, 0, {0, 0}, {1, 1}}, {1, 0, {0, -1}, {1, 1}}},
                   {0}},
        // maxExtent squeezes every line by the longest one's factor, or does nothing.
        LayoutCase{"MaxExtentSqueezesAll",
                   {{1, 1}, {1}},
                   Style(1),
                   {{0, 1, {0.5f, 0}, {0.5f, 1}}, {1, 0, {0, -1}, {0.5f, 1}}},
                   {},
                   1},
        LayoutCase{"MaxExtentLonger", {{1, 1}}, Style(1), {{0, 1, {1, 0}, {1, 1}}}, {}, 5},
        LayoutCase{"MaxExtentAfterLength", {{1}}, Style(1), {{0, 0, {0, 0}, {2, 1}}}, {4}, 2},
        // Vertical text: one size per glyph down the column, centred across it; columns
        // spacing × size apart, right or left.
        LayoutCase{"Vertical",
                   kTwo,
                   With(Style(2), false, true, true),
                   {{0, 0, {0.5f, -1.6f}, {2, 2}}, {0, 1, {0.5f, -3.6f}, {2, 2}}}},
        LayoutCase{"VerticalUpwardsEnd",
                   kTwo,
                   With(Style(2, J::End), false, true, false),
                   {{0, 0, {0.5f, -3.6f}, {2, 2}}, {0, 1, {0.5f, -1.6f}, {2, 2}}}},
        LayoutCase{"VerticalColumnsLeft",
                   kLines,
                   With(Style(1), false, false, true, 2),
                   {{0, 0, {-1, -0.8f}, {1, 1}}, {1, 0, {-3, -0.8f}, {1, 1}}}},
        LayoutCase{"VerticalMinorEnd",
                   kLines,
                   With(Style(1, J::Begin, J::End), false, true, true, 2),
                   {{0, 0, {-3, -0.8f}, {1, 1}}, {1, 0, {-1, -0.8f}, {1, 1}}}},
        LayoutCase{"VerticalMinorMiddle",
                   kLines,
                   With(Style(1, J::Begin, J::Middle), false, true, true, 2),
                   {{0, 0, {-1.5f, -0.8f}, {1, 1}}}}),
    [](const ::testing::TestParamInfo<LayoutCase>& info) { return std::string(info.param.name); });

TEST(TextLayout, JustifyWordsAndDefaults) {
    EXPECT_EQ(ParseJustify("MIDDLE", J::Begin), J::Middle);
    EXPECT_EQ(ParseJustify("END", J::Begin), J::End);
    EXPECT_EQ(ParseJustify("FIRST", J::Begin), J::First);
    EXPECT_EQ(ParseJustify("", J::First), J::First);
    EXPECT_EQ(ParseJustify("middle", J::Begin), J::Begin);
}

TEST(TextLayout, Utf8) {
    EXPECT_EQ(DecodeUtf8("a\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80"), U"a\u00E9\u20AC\U0001F600");
    // Truncated, overlong, a surrogate, a byte no sequence starts with, a stray
    // continuation byte, past U+10FFFF: one replacement each, the rest kept.
    EXPECT_EQ(DecodeUtf8("\xC3"), U"\uFFFD");
    EXPECT_EQ(DecodeUtf8("\xE2\x82x"), U"\uFFFDx");
    EXPECT_EQ(DecodeUtf8("\xC0\x80"), U"\uFFFD");
    EXPECT_EQ(DecodeUtf8("\xED\xA0\x80"), U"\uFFFD");
    EXPECT_EQ(DecodeUtf8("a\xFF"
                         "b\x80"),
              U"a\uFFFDb\uFFFD");
    EXPECT_EQ(DecodeUtf8("\xF4\x90\x80\x80"), U"\uFFFD");
}

// Whether a point lies in one of the glyph's triangles.
bool Covers(const GlyphShape& g, glm::vec2 p) {
    auto cross = [](glm::vec2 a, glm::vec2 b) { return a.x * b.y - a.y * b.x; };
    for (std::size_t t = 0; t + 2 < g.triangles.size(); t += 3) {
        const glm::vec2 a = g.vertices[g.triangles[t]], b = g.vertices[g.triangles[t + 1]],
                        c = g.vertices[g.triangles[t + 2]];
        if (cross(b - a, p - a) >= 0 && cross(c - b, p - b) >= 0 && cross(a - c, p - c) >= 0)
            return true;
    }
    return false;
}

class FontTest : public ::testing::Test {
  protected:
    void SetUp() override {
        found = fonts.Find(std::vector<std::string>{"SANS"}, "PLAIN");
        if (found.face == nullptr) GTEST_SKIP() << "DejaVu Sans is not installed";
    }
    FontLibrary fonts;
    FontLibrary::Found found;
};

TEST_F(FontTest, GlyphsKeepTheirHolesAndFaceForwards) {
    EXPECT_FALSE(found.fellBack);
    for (char32_t code : {U'O', U'B', U'8', U'\u00E9'}) {
        const GlyphShape& g = fonts.Glyph(*found.face, code);
        ASSERT_FALSE(g.triangles.empty()) << static_cast<int>(code);
        EXPECT_GT(g.advance, 0.3f);
        glm::vec2 lo(1e9f), hi(-1e9f);
        for (std::size_t t = 0; t + 2 < g.triangles.size(); t += 3) {
            const glm::vec2 a = g.vertices[g.triangles[t]], b = g.vertices[g.triangles[t + 1]],
                            c = g.vertices[g.triangles[t + 2]];
            EXPECT_GE((b - a).x * (c - a).y - (b - a).y * (c - a).x, 0);
        }
        for (const glm::vec2& v : g.vertices) {
            lo = glm::min(lo, v);
            hi = glm::max(hi, v);
        }
        if (code == U'O') {
            const glm::vec2 mid = (lo + hi) / 2.0f;
            EXPECT_FALSE(Covers(g, mid));                   // the hole
            EXPECT_TRUE(Covers(g, {lo.x + 0.03f, mid.y}));  // the ring
        }
    }
    EXPECT_TRUE(fonts.Glyph(*found.face, U' ').triangles.empty());
    EXPECT_GT(fonts.Ascent(*found.face), 0.5f);
    EXPECT_GT(fonts.Descent(*found.face), 0.1f);
}

TEST_F(FontTest, FamiliesInOrderThenSans) {
    const auto serif = fonts.Find(std::vector<std::string>{"NoSuchFamily", "SERIF"}, "BOLD");
    EXPECT_FALSE(serif.fellBack);
    EXPECT_NE(serif.face, found.face);
    const auto none = fonts.Find(std::vector<std::string>{"NoSuchFamily"}, "PLAIN");
    EXPECT_TRUE(none.fellBack);
    EXPECT_EQ(none.face, found.face);
    // A made italic leans right: the top of an 'I' lies further right than its foot.
    const auto italic = fonts.Find(std::vector<std::string>{"SANS"}, "ITALIC");
    ASSERT_NE(italic.face, nullptr);
    const GlyphShape& i = fonts.Glyph(*italic.face, U'I');
    ASSERT_FALSE(i.vertices.empty());
    float footX = 1e9f, topX = 1e9f;
    for (const glm::vec2& v : i.vertices) {
        if (v.y < 0.1f) footX = std::min(footX, v.x);
        if (v.y > 0.6f) topX = std::min(topX, v.x);
    }
    EXPECT_GT(topX, footX + 0.05f);
}

// The builder: what goes into the meshbuilder, and the one message for the node.
class TextBuilderTest : public ::testing::Test {
  protected:
    void SetUp() override { ASSERT_EQ(rm::RetainedMode::Create(m_rm.Put()), rm::kOk); }
    rm::Ptr<rm::MeshBuilder> NewMesh() {
        rm::Ptr<rm::MeshBuilder> mb;
        EXPECT_EQ(m_rm->CreateMeshBuilder(mb.Put()), rm::kOk);
        return mb;
    }
    rm::Ptr<rm::RetainedMode> m_rm;
};

TEST_F(TextBuilderTest, WithoutAnyFontNothingIsDrawn) {
    FontLibrary none("<fontconfig/>");
    const std::vector<SFString> strings = {SFString("Hello")};
    TextInput in;
    in.strings = strings;
    auto mb = NewMesh();
    const TextResult r = GetAText(mb.Get(), none, in);
    EXPECT_EQ(r.font, FontOutcome::NoFont);
    EXPECT_EQ(mb->GetFaceCount(), 0u);
    EXPECT_EQ(DescribeText(in, r), "Text: no font is installed; the text is not drawn");
}

TEST_F(TextBuilderTest, SizesAndFamiliesReported) {
    FontLibrary fonts;
    const std::vector<SFString> strings = {SFString("Hi"), SFString("")};
    TextInput in;
    in.strings = strings;
    in.family = {"SANS"};
    auto mb = NewMesh();
    TextResult r = GetAText(mb.Get(), fonts, in);
    if (r.font == FontOutcome::NoFont) GTEST_SKIP() << "no fonts installed";
    EXPECT_EQ(r.glyphs, 2u);
    EXPECT_GT(mb->GetFaceCount(), 0u);
    EXPECT_FALSE(mb->IsSolid());
    EXPECT_EQ(DescribeText(in, r), "");
    // Texture coordinates from the first string's start: S = x / size, T = y / size.
    const auto& d = *mb->Data();
    for (std::size_t v = 0; v < d.vertices.size(); v += 17) {
        float s = 0, t = 0;
        ASSERT_EQ(mb->GetTextureCoordinates(static_cast<std::uint32_t>(v), &s, &t), rm::kOk);
        EXPECT_NEAR(s, d.vertices[v].x, 1e-5);
        EXPECT_NEAR(1 - t, d.vertices[v].y, 1e-5);
    }

    in.size = 0;
    in.family = {"NoSuchFamily", "Neither"};
    auto empty = NewMesh();
    r = GetAText(empty.Get(), fonts, in);
    EXPECT_EQ(empty->GetFaceCount(), 0u);
    EXPECT_EQ(DescribeText(in, r), "Text: a zero or negative size; drawing what is valid");
    in.size = -1;
    in.spacing = -2;
    r = GetAText(empty.Get(), fonts, in);
    EXPECT_GT(empty->GetFaceCount(), 0u);  // drawn at size 1
    EXPECT_EQ(DescribeText(in, r),
              "Text: font family \"NoSuchFamily\", \"Neither\" not installed; drawn in SANS; a "
              "zero or negative size; drawing what is valid");
}

}  // namespace

// Text forms of the single-valued field types: printing with trimmed zeros,
// scanf-style parsing, failure results, and independence from the locale.
#include <gtest/gtest.h>

#include <clocale>
#include <string>

#include "node/node_typedef.h"
#include "node/number_text.h"

namespace {

template <class T>
std::string Text(const T& value) {
    std::string out;
    EXPECT_EQ(value.ToString(out), 0);
    return out;
}

TEST(TrimZeros, KeepsOneDigitAfterThePoint) {
    struct Case {
        const char* in;
        const char* out;
    } cases[] = {{"2.000000", "2.0"},   {"0.250000", "0.25"}, {"100.000000", "100.0"},
                 {"100", "100"},        {"1.0", "1.0"},       {"-0.500000", "-0.5"},
                 {"10.01000", "10.01"}, {"0.", "0."}};
    for (const Case& c : cases) {
        std::string s = c.in;
        numtext::TrimZeros(s);
        EXPECT_EQ(s, c.out) << c.in;
    }
}

TEST(SFFloatText, PrintsPercentFTrimmed) {
    EXPECT_EQ(Text(SFFloat(0)), "0.0");
    EXPECT_EQ(Text(SFFloat(1.5f)), "1.5");
    EXPECT_EQ(Text(SFFloat(2)), "2.0");
    EXPECT_EQ(Text(SFFloat(-0.5f)), "-0.5");
    // "%f" of the float nearest 1e20, all its digits, then ".0".
    EXPECT_EQ(Text(SFFloat(1e20f)), "100000002004087734272.0");
    // Six decimals are all "%f" keeps.
    EXPECT_EQ(Text(SFFloat(1e-7f)), "0.0");
    EXPECT_EQ(Text(SFFloat(0.1234567f)), "0.123457");
}

TEST(SFTimeText, PrintsAndParsesDoubles) {
    EXPECT_EQ(Text(SFTime(0)), "0.0");
    EXPECT_EQ(Text(SFTime(12.25)), "12.25");
    SFTime t;
    EXPECT_EQ(t.FromString("  3.5e2"), 0);
    EXPECT_EQ(t.Get(), 350.0);
    EXPECT_EQ(t.FromString("soon"), 0);  // not a number: unchanged, still 0
    EXPECT_EQ(t.Get(), 350.0);
}

TEST(SFInt32Text, ScansPercentI) {
    SFInt32 v;
    EXPECT_EQ(v.FromString("0x10"), 0);
    EXPECT_EQ(v.Get(), 16);
    EXPECT_EQ(v.FromString("0x1F"), 0);
    EXPECT_EQ(v.Get(), 31);
    EXPECT_EQ(v.FromString("010"), 0);
    EXPECT_EQ(v.Get(), 8);
    EXPECT_EQ(v.FromString(" -42xyz"), 0);
    EXPECT_EQ(v.Get(), -42);
    EXPECT_EQ(v.FromString("many"), 0);
    EXPECT_EQ(v.Get(), -42);
    EXPECT_EQ(Text(SFInt32(-7)), "-7");
}

TEST(SFFloatText, ParsesPrefixAndIgnoresGarbage) {
    SFFloat f(9);
    EXPECT_EQ(f.FromString("1.25abc"), 0);
    EXPECT_EQ(f.Get(), 1.25f);
    EXPECT_EQ(f.FromString("abc"), 0);
    EXPECT_EQ(f.Get(), 1.25f);
    EXPECT_EQ(f.FromString("-2e-1"), 0);
    EXPECT_EQ(f.Get(), -0.2f);
}

TEST(SFBoolText, AcceptsFourWordsInAnyCase) {
    SFBool b;
    for (const char* t : {"true", "TRUE", "True", "1"}) {
        b.Set(false);
        EXPECT_EQ(b.FromString(t), 0) << t;
        EXPECT_TRUE(b.Get()) << t;
    }
    for (const char* t : {"false", "FaLsE", "0"}) {
        b.Set(true);
        EXPECT_EQ(b.FromString(t), 0) << t;
        EXPECT_FALSE(b.Get()) << t;
    }
    b.Set(true);
    for (const char* t : {"yes", " true", "", "2", "truex"}) {
        EXPECT_EQ(b.FromString(t), 1) << t;
        EXPECT_TRUE(b.Get()) << t;
    }
    EXPECT_EQ(Text(SFBool(true)), "true");
    EXPECT_EQ(Text(SFBool(false)), "false");
}

TEST(SFVec3fText, SplitsOnCommasLikeStrtok) {
    SFVec3f v;
    EXPECT_EQ(v.FromString("1,2"), 1);  // too few: x and y are already set
    EXPECT_EQ(v, SFVec3f(1, 2, 0));
    EXPECT_EQ(v.FromString("1,,2,3"), 0);
    EXPECT_EQ(v, SFVec3f(1, 2, 3));
    EXPECT_EQ(v.FromString("4 5 6"), 1);  // one token only
    EXPECT_EQ(v, SFVec3f(4, 2, 3));
    EXPECT_EQ(v.FromString(",7,8,9,10,"), 0);  // leading separator skipped, extra ignored
    EXPECT_EQ(v, SFVec3f(7, 8, 9));
    EXPECT_EQ(v.FromString("a,5,b"), 0);  // non-numbers keep their component
    EXPECT_EQ(v, SFVec3f(7, 5, 9));
    EXPECT_EQ(v.FromString(""), 1);
    EXPECT_EQ(Text(SFVec3f(0, 1, 0.25f)), "0.0,1.0,0.25");
}

TEST(SFVec3fText, RejectsTextOf80CharactersOrMore) {
    SFVec3f v(1, 1, 1);
    std::string longText = "1," + std::string(75, ' ') + "2,3";
    ASSERT_EQ(longText.size(), 80u);
    EXPECT_EQ(v.FromString(longText), 1);
    EXPECT_EQ(v, SFVec3f(1, 1, 1));
    std::string fits = "1," + std::string(74, ' ') + "2,3";
    ASSERT_EQ(fits.size(), 79u);
    EXPECT_EQ(v.FromString(fits), 0);
    EXPECT_EQ(v, SFVec3f(1, 2, 3));
}

TEST(SFRotationText, RoundTrips) {
    SFRotation r;
    EXPECT_EQ(r.FromString("0,1,0,3.14159"), 0);
    EXPECT_EQ(r, SFRotation(0, 1, 0, 3.14159f));
    EXPECT_EQ(Text(r), "0.0,1.0,0.0,3.14159");
    EXPECT_EQ(r.FromString("1,0,0"), 1);
}

TEST(SFColorAndVec2fText, PrintComponents) {
    EXPECT_EQ(Text(SFColor(1, 0.5f, 0)), "1.0,0.5,0.0");
    EXPECT_EQ(Text(SFVec2f(-1, 2.75f)), "-1.0,2.75");
    SFVec2f v;
    EXPECT_EQ(v.FromString("3,4"), 0);
    EXPECT_EQ(v, SFVec2f(3, 4));
}

TEST(StringText, KeepsTextUnchanged) {
    SFString s;
    EXPECT_EQ(s.FromString(" a, b;\"c\" "), 0);
    EXPECT_EQ(Text(s), " a, b;\"c\" ");
    SFURL u;
    EXPECT_EQ(u.FromString("tex/brick.jpg"), 0);
    EXPECT_EQ(Text(u), "tex/brick.jpg");
}

TEST(TypeNames, AreTheSystemsNames) {
    std::string name;
    SFBool().GetTypeName(name);
    EXPECT_EQ(name, "SFBool");
    SFURL().GetTypeName(name);
    EXPECT_EQ(name, "SFURL");
    SFRotation().GetTypeName(name);
    EXPECT_EQ(name, "SFRotation");
}

// Numbers keep "." under a locale whose decimal separator is ",".
TEST(LocaleIndependence, DecimalCommaLocaleChangesNothing) {
    const char* old = std::setlocale(LC_ALL, nullptr);
    std::string saved = old ? old : "C";
    if (std::setlocale(LC_ALL, "de_DE.UTF-8") == nullptr &&
        std::setlocale(LC_ALL, "de_DE.utf8") == nullptr) {
        GTEST_SKIP() << "de_DE.UTF-8 is not installed on this machine";
    }
    char probe[16];
    std::snprintf(probe, sizeof probe, "%.1f", 1.5);
    EXPECT_STREQ(probe, "1,5") << "the locale did not take effect";

    EXPECT_EQ(Text(SFFloat(1.5f)), "1.5");
    EXPECT_EQ(Text(SFTime(0.25)), "0.25");
    SFFloat f;
    f.FromString("2.75");
    EXPECT_EQ(f.Get(), 2.75f);
    SFVec3f v;
    EXPECT_EQ(v.FromString("0.5,1.5,2.5"), 0);
    EXPECT_EQ(v, SFVec3f(0.5f, 1.5f, 2.5f));
    EXPECT_EQ(Text(v), "0.5,1.5,2.5");
    SFTime t;
    t.FromString("1.125");
    EXPECT_EQ(t.Get(), 1.125);
    std::setlocale(LC_ALL, saved.c_str());
}

}  // namespace

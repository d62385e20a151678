// Text forms of the single-valued field types: printing with trimmed zeros,
// scanf-style parsing, failure results, and independence from the locale.
#include <gtest/gtest.h>

#include <clocale>
#include <string>

#include "node/node_typedef.h"

namespace {

// A field of `type`, first given `start` (when not null), reads `input`:
// FromString gives `result` and the field then prints as `text`.
struct TextCase {
    std::uint8_t type;
    const char* start;
    std::string input;
    int result;
    const char* text;
};

const std::string k79 = "1," + std::string(74, ' ') + "2,3";  // the longest text read
const std::string k80 = "1," + std::string(75, ' ') + "2,3";

const TextCase kCases[] = {
    // "%f" printing, trailing zeros trimmed; the float nearest 1e20 in all its digits.
    {kFieldSFFloat, nullptr, "0", 0, "0.0"},
    {kFieldSFFloat, nullptr, "1.5", 0, "1.5"},
    {kFieldSFFloat, nullptr, "2", 0, "2.0"},
    {kFieldSFFloat, nullptr, "100", 0, "100.0"},
    {kFieldSFFloat, nullptr, "10.01", 0, "10.01"},
    {kFieldSFFloat, nullptr, "-0.5", 0, "-0.5"},
    {kFieldSFFloat, nullptr, "1e20", 0, "100000002004087734272.0"},
    {kFieldSFFloat, nullptr, "1e-7", 0, "0.0"},
    {kFieldSFFloat, nullptr, "0.1234567", 0, "0.123457"},
    // "%f" scanning: a prefix is enough, no number leaves the value.
    {kFieldSFFloat, "9", "1.25abc", 0, "1.25"},
    {kFieldSFFloat, "1.25", "abc", 0, "1.25"},
    {kFieldSFFloat, nullptr, "-2e-1", 0, "-0.2"},
    {kFieldSFTime, nullptr, "12.25", 0, "12.25"},
    {kFieldSFTime, nullptr, "  3.5e2", 0, "350.0"},
    {kFieldSFTime, "350", "soon", 0, "350.0"},
    // "%i": hexadecimal and octal prefixes.
    {kFieldSFInt32, nullptr, "0x10", 0, "16"},
    {kFieldSFInt32, nullptr, "0x1F", 0, "31"},
    {kFieldSFInt32, nullptr, "010", 0, "8"},
    {kFieldSFInt32, nullptr, " -42xyz", 0, "-42"},
    {kFieldSFInt32, "-42", "many", 0, "-42"},
    // Four words in any case; anything else is refused and changes nothing.
    {kFieldSFBool, "false", "true", 0, "true"},
    {kFieldSFBool, "false", "TRUE", 0, "true"},
    {kFieldSFBool, "false", "True", 0, "true"},
    {kFieldSFBool, "false", "1", 0, "true"},
    {kFieldSFBool, "true", "false", 0, "false"},
    {kFieldSFBool, "true", "FaLsE", 0, "false"},
    {kFieldSFBool, "true", "0", 0, "false"},
    {kFieldSFBool, "true", "yes", 1, "true"},
    {kFieldSFBool, "true", " true", 1, "true"},
    {kFieldSFBool, "true", "", 1, "true"},
    {kFieldSFBool, "true", "2", 1, "true"},
    {kFieldSFBool, "false", "truex", 1, "false"},
    // Components split on commas like strtok: too few fail after setting
    // what they have, extra ones are ignored, non-numbers keep theirs.
    {kFieldSFVec3f, nullptr, "1,2", 1, "1.0,2.0,0.0"},
    {kFieldSFVec3f, nullptr, "1,,2,3", 0, "1.0,2.0,3.0"},
    {kFieldSFVec3f, "1,2,3", "4 5 6", 1, "4.0,2.0,3.0"},
    {kFieldSFVec3f, nullptr, ",7,8,9,10,", 0, "7.0,8.0,9.0"},
    {kFieldSFVec3f, "7,8,9", "a,5,b", 0, "7.0,5.0,9.0"},
    {kFieldSFVec3f, nullptr, "", 1, "0.0,0.0,0.0"},
    {kFieldSFVec3f, nullptr, "0,1,0.25", 0, "0.0,1.0,0.25"},
    {kFieldSFVec3f, "1,1,1", k80, 1, "1.0,1.0,1.0"},
    {kFieldSFVec3f, "1,1,1", k79, 0, "1.0,2.0,3.0"},
    {kFieldSFRotation, nullptr, "0,1,0,3.14159", 0, "0.0,1.0,0.0,3.14159"},
    {kFieldSFRotation, nullptr, "1,0,0", 1, "1.0,0.0,0.0,0.0"},
    {kFieldSFColor, nullptr, "1,0.5,0", 0, "1.0,0.5,0.0"},
    {kFieldSFVec2f, nullptr, "-1,2.75", 0, "-1.0,2.75"},
    {kFieldSFVec2f, nullptr, "3,4", 0, "3.0,4.0"},
    // Strings are their text.
    {kFieldSFString, nullptr, " a, b;\"c\" ", 0, " a, b;\"c\" "},
    {kFieldSFURL, nullptr, "tex/brick.jpg", 0, "tex/brick.jpg"},
};

void CheckEveryCase() {
    for (const TextCase& c : kCases) {
        auto field = CreateSFField(c.type);
        std::string name, text;
        field->GetTypeName(name);
        SCOPED_TRACE(name + " reading \"" + c.input + "\"");
        if (c.start != nullptr) {
            ASSERT_EQ(field->FromString(c.start), 0);
        }
        EXPECT_EQ(field->FromString(c.input), c.result);
        EXPECT_EQ(field->ToString(text), 0);
        EXPECT_EQ(text, c.text);
    }
}

TEST(FieldText, ParsesAndPrints) {
    CheckEveryCase();
}

// The same under a locale whose decimal separator is ",".
TEST(FieldText, DecimalCommaLocaleChangesNothing) {
    const char* old = std::setlocale(LC_ALL, nullptr);
    std::string saved = old ? old : "C";
    if (std::setlocale(LC_ALL, "de_DE.UTF-8") == nullptr &&
        std::setlocale(LC_ALL, "de_DE.utf8") == nullptr) {
        GTEST_SKIP() << "de_DE.UTF-8 is not installed on this machine";
    }
    char probe[16];
    std::snprintf(probe, sizeof probe, "%.1f", 1.5);
    EXPECT_STREQ(probe, "1,5") << "the locale did not take effect";
    CheckEveryCase();
    std::setlocale(LC_ALL, saved.c_str());
}

}  // namespace

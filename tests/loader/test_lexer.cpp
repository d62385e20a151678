// The scanner on its own: tokens, value conditions steered by the expected
// token, lists, strings, comments, line counting and its error messages.
#include <gtest/gtest.h>

#include <algorithm>
#include <charconv>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "loader/lex_state.h"
#include "loader/token_numbers.h"
#include "vrml_lexer.hpp"
#include "vrml_parser.hpp"

namespace {

class Scanner {
  public:
    // Scans `body` from memory, or (fromFile) through a stream, so that the
    // scanner reads it in buffer loads and meets their boundaries.
    explicit Scanner(const std::string& body, bool header = true, bool fromFile = false)
        : m_text(header ? "#VRML V2.0 utf8\n" + body : body) {
        lex.reportError = [](void* self, const char* message) {
            static_cast<Scanner*>(self)->errors.push_back(message);
        };
        lex.errorContext = this;
        vrmllex_init_extra(&lex, &m_scanner);
        if (fromFile) {
            m_file = std::tmpfile();
            std::fwrite(m_text.data(), 1, m_text.size(), m_file);
            std::rewind(m_file);
            vrmlset_in(m_file, m_scanner);
        } else {
            vrml_scan_bytes(m_text.data(), static_cast<int>(m_text.size()), m_scanner);
        }
    }
    ~Scanner() {
        vrmllex_destroy(m_scanner);
        if (m_file != nullptr) std::fclose(m_file);
    }

    // Next token, announcing `expect` first when it is not 0.
    int Next(int expect = 0) {
        if (expect != 0) lex.expectedToken = expect;
        VRMLSTYPE value{};
        int token = vrmllex(&value, m_scanner);
        if (token == IDENTIFIER) {
            identifier = value.str;
            lex.names.Give(value.str);
        }
        return token;
    }

    LexState lex;
    std::vector<std::string> errors;
    std::string identifier;

  private:
    std::string m_text;
    yyscan_t m_scanner = nullptr;
    std::FILE* m_file = nullptr;
};

TEST(Lexer, KeywordsAndIdentifiersByLongestMatch) {
    Scanner s("DEFx DEF x a-b a+b :x \xC3\xA9t\xC3\xA9 a.b 1abc eventIn exposedField NULL");
    EXPECT_EQ(s.Next(), IDENTIFIER);
    EXPECT_EQ(s.identifier, "DEFx");
    EXPECT_EQ(s.Next(), DEF);
    EXPECT_EQ(s.Next(), IDENTIFIER);
    EXPECT_EQ(s.identifier, "x");
    for (const char* name : {"a-b", "a+b", ":x", "\xC3\xA9t\xC3\xA9"}) {
        EXPECT_EQ(s.Next(), IDENTIFIER);
        EXPECT_EQ(s.identifier, name);
    }
    EXPECT_EQ(s.Next(), IDENTIFIER);
    EXPECT_EQ(s.identifier, "a");
    EXPECT_EQ(s.Next(), '.');
    EXPECT_EQ(s.Next(), IDENTIFIER);
    EXPECT_EQ(s.identifier, "b");
    EXPECT_EQ(s.Next(), '1');
    EXPECT_EQ(s.Next(), IDENTIFIER);
    EXPECT_EQ(s.identifier, "abc");
    EXPECT_EQ(s.Next(), EVENTIN);
    EXPECT_EQ(s.Next(), EXPOSEDFIELD);
    EXPECT_EQ(s.Next(), SFN_NULL);
    EXPECT_EQ(s.Next(), 0);
}

TEST(Lexer, OddInput) {
    // A file without the header comes back as characters.
    Scanner noHeader("# just a comment\nGroup { }", false);
    EXPECT_EQ(noHeader.Next(), 'G');
    // A UTF-8 byte-order mark may stand before the header; it does not
    // stand for one.
    Scanner bom("\xEF\xBB\xBF#VRML V2.0 utf8\nGroup { }", false);
    EXPECT_EQ(bom.Next(), IDENTIFIER);
    EXPECT_EQ(bom.identifier, "Group");
    Scanner bomOnly("\xEF\xBB\xBFGroup { }", false);
    EXPECT_EQ(bomOnly.Next(), 0xEF);
    // A NUL byte is not the end of the input.
    Scanner nul(std::string("Group \0 x", 9));
    EXPECT_EQ(nul.Next(), IDENTIFIER);
    int token = nul.Next();
    EXPECT_NE(token, 0);
    EXPECT_NE(token, IDENTIFIER);
}

TEST(Lexer, SingleNumbers) {
    Scanner s("-1.5e3 .5 1E-2 5. 0x1F -12 1234567890.25 TRUE FALSE 99999999999 -0x1FFFFFFFF");
    EXPECT_EQ(s.Next(SFFLOAT), SFFLOAT);
    EXPECT_FLOAT_EQ(s.lex.floatValue, -1500.0f);
    EXPECT_EQ(s.Next(SFFLOAT), SFFLOAT);
    EXPECT_FLOAT_EQ(s.lex.floatValue, 0.5f);
    EXPECT_EQ(s.Next(SFFLOAT), SFFLOAT);
    EXPECT_FLOAT_EQ(s.lex.floatValue, 0.01f);
    EXPECT_EQ(s.Next(SFFLOAT), SFFLOAT);
    EXPECT_FLOAT_EQ(s.lex.floatValue, 5.0f);
    EXPECT_EQ(s.Next(SFINT32), SFINT32);
    EXPECT_EQ(s.lex.intValue, 31);
    EXPECT_EQ(s.Next(SFINT32), SFINT32);
    EXPECT_EQ(s.lex.intValue, -12);
    EXPECT_EQ(s.Next(SFTIME), SFTIME);
    EXPECT_DOUBLE_EQ(s.lex.timeValue, 1234567890.25);  // kept in double precision
    EXPECT_EQ(s.Next(SFBOOL), SFBOOL);
    EXPECT_TRUE(s.lex.boolValue);
    EXPECT_EQ(s.Next(SFBOOL), SFBOOL);
    EXPECT_FALSE(s.lex.boolValue);
    // Integers beyond 32 bits are clamped.
    EXPECT_EQ(s.Next(SFINT32), SFINT32);
    EXPECT_EQ(s.lex.intValue, INT32_MAX);
    EXPECT_EQ(s.Next(SFINT32), SFINT32);
    EXPECT_EQ(s.lex.intValue, INT32_MIN);
    EXPECT_TRUE(s.errors.empty());
}

// Spellings that exporters write: a leading plus, a point with no digits
// after it. What follows the number shows where it ended.
TEST(Lexer, ExporterNumberSpellings) {
    struct Case {
        const char* text;
        int token;
        double value;
        int next;  // the token after the number
    };
    const Case cases[] = {
        {"+1.5 DEF", SFFLOAT, 1.5, DEF},
        {"5. DEF", SFFLOAT, 5, DEF},
        {"-5.e1 DEF", SFFLOAT, -50, DEF},
        {"+.25 DEF", SFFLOAT, 0.25, DEF},
        {"+2. DEF", SFTIME, 2, DEF},
        {"+3 DEF", SFINT32, 3, DEF},
        {"+0x10 DEF", SFINT32, 16, DEF},
        {"1.5. DEF", SFFLOAT, 1.5, '.'},
        {"5.5.5 DEF", SFFLOAT, 5.5, '.'},
        {"+ 1", 0, 0, 0},
        {"++1", 0, 0, 0},
        {"+-1", 0, 0, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        Scanner s(c.text);
        if (c.token == 0) {  // not a number: the plus comes back as a character
            EXPECT_EQ(s.Next(SFFLOAT), '+');
            continue;
        }
        ASSERT_EQ(s.Next(c.token), c.token);
        double value = c.token == SFINT32  ? s.lex.intValue
                       : c.token == SFTIME ? s.lex.timeValue
                                           : s.lex.floatValue;
        EXPECT_DOUBLE_EQ(value, c.value);
        EXPECT_EQ(s.Next(), c.next);
    }
    Scanner tuple("+1 2. -.5e1 [ +1, 2., +3 ]");
    EXPECT_EQ(tuple.Next(SFVEC3F), SFVEC3F);
    EXPECT_EQ(tuple.lex.floats, (std::vector<float>{1, 2, -5}));
    EXPECT_EQ(tuple.Next(MFFLOAT), MFFLOAT);
    EXPECT_EQ(tuple.lex.floats, (std::vector<float>{1, 2, 3}));
    EXPECT_TRUE(tuple.errors.empty());
}

// The short way for plain decimals must give the correctly rounded float, bit for
// bit, as the full conversion does: random decimals of every length around the
// 24-bit and 10-fraction-digit edges, and spellings the short way refuses.
TEST(Lexer, FloatConversionMatchesTheCorrectlyRoundedValue) {
    std::mt19937 random(17);
    const auto expected = [](const std::string& text) {
        const char* first = text.c_str() + (text[0] == '+' ? 1 : 0);
        float value = 0;
        // Out of range: what strtof gives (infinity, a subnormal or zero).
        if (std::from_chars(first, text.c_str() + text.size(), value).ec != std::errc())
            value = std::strtof(first, nullptr);
        return value;
    };
    std::vector<std::string> texts = {
        "0",        "-0",    "5.",       ".5",           "16777216",
        "16777217", "0.1",   "-20.9533", "1.0000000001", "3.40282e38",
        "1e-45",    "7e-46", "1e39",     "-1.5E3",       "0.00000000001"};
    for (int i = 0; i < 20000; ++i) {
        std::string digits = std::to_string(random() % 100000000u);
        const std::size_t point = random() % (digits.size() + 4);
        if (point <= digits.size()) digits.insert(point, ".");
        if (random() % 4 == 0) digits.insert(0, "-");
        texts.push_back(digits);
    }
    for (const std::string& text : texts) {
        if (text == "." || text == "-.") continue;
        const float got = vrml_numbers::ToFloat(text.c_str(), text.c_str() + text.size());
        const float want = expected(text);
        ASSERT_EQ(std::memcmp(&got, &want, sizeof got), 0) << text << ": " << got << " != " << want;
    }
}

TEST(Lexer, Tuples) {
    Scanner s("1 2 3 0.5\t1 0 0 1 1.57 } 7 8");
    EXPECT_EQ(s.Next(SFVEC3F), SFVEC3F);
    EXPECT_EQ(s.lex.floats, (std::vector<float>{1, 2, 3}));
    EXPECT_EQ(s.Next(SFROTATION), SFROTATION);
    EXPECT_EQ(s.lex.floats, (std::vector<float>{0.5f, 1, 0, 0}));
    // A tuple that is cut short does not scan as the type.
    EXPECT_EQ(s.Next(SFVEC3F), '1');
}

TEST(Lexer, Lists) {
    Scanner s("[ ] [ 1 2 3 4 5 6 ] [0 0 0, 1 1 1,] [ 1, 2, 0x10 ] 2.5 7 ]");
    EXPECT_EQ(s.Next(MFVEC3F), MFVEC3F);
    EXPECT_TRUE(s.lex.floats.empty());
    EXPECT_EQ(s.Next(MFVEC3F), MFVEC3F);
    EXPECT_EQ(s.lex.floats.size(), 6u);
    EXPECT_EQ(s.Next(MFCOLOR), MFCOLOR);
    EXPECT_EQ(s.lex.floats, (std::vector<float>{0, 0, 0, 1, 1, 1}));
    EXPECT_EQ(s.Next(MFINT32), MFINT32);
    EXPECT_EQ(s.lex.listKind, LexState::kIntList);
    EXPECT_EQ(s.lex.ints, (std::vector<std::int32_t>{1, 2, 16}));
    // A single value without brackets is a one-element list.
    EXPECT_EQ(s.Next(MFFLOAT), MFFLOAT);
    EXPECT_EQ(s.lex.floats, (std::vector<float>{2.5f}));
    EXPECT_EQ(s.Next(MFINT32), MFINT32);
    EXPECT_EQ(s.lex.ints, (std::vector<std::int32_t>{7}));
    EXPECT_TRUE(s.errors.empty());
    // A "]" with no list open.
    EXPECT_EQ(s.Next(MFINT32), MFINT32);
    EXPECT_EQ(s.errors, (std::vector<std::string>{"Unmatched ]"}));
    EXPECT_TRUE(s.lex.ints.empty());
}

// Long lists mixing every number form with blanks, commas, newlines and
// comments read the same values, and count the same lines, from memory and
// from a stream whose buffer loads cut them anywhere.
TEST(Lexer, LongListsOfEveryNumberForm) {
    const char* floatForms[] = {"12",  "-3",     "0.5",  "-2.25", ".5", "-.75",
                                "1e3", "2.5E-2", "4e+1", "+1.5",  "5.", "+6.e-1"};
    const char* intForms[] = {"7",           "-42", "0x1F", "0Xab", "2147483647",
                              "99999999999", "-0",  "+9",   "+0x2"};
    const char* blanks[] = {" ", ",", ", ", "\n", "\t", " # note 1 2 3\n", "\r\n"};
    std::mt19937 rng(5);
    for (bool ints : {false, true}) {
        std::string text = "[";
        std::vector<float> floats;
        std::vector<std::int32_t> integers;
        int lines = 2;  // the header line ends with the first newline
        for (int i = 0; i < 60000; ++i) {
            std::string token = ints ? intForms[rng() % std::size(intForms)]
                                     : floatForms[rng() % std::size(floatForms)];
            if (ints) {
                long long v = std::strtoll(token.c_str(), nullptr, 0);
                integers.push_back(static_cast<std::int32_t>(std::min<long long>(v, INT32_MAX)));
            } else {
                floats.push_back(std::strtof(token.c_str(), nullptr));
            }
            std::string blank = blanks[rng() % 7];
            lines += static_cast<int>(std::count(blank.begin(), blank.end(), '\n'));
            text += token + blank;
        }
        text += "]\n";
        for (bool fromFile : {false, true}) {
            SCOPED_TRACE(std::string(ints ? "integers" : "floats") +
                         (fromFile ? " from a stream" : ""));
            Scanner s(text, true, fromFile);
            ASSERT_EQ(s.Next(ints ? MFINT32 : MFFLOAT), ints ? MFINT32 : MFFLOAT);
            if (ints)
                EXPECT_EQ(s.lex.ints, integers);
            else
                EXPECT_EQ(s.lex.floats, floats);
            EXPECT_EQ(s.lex.lineNumber, lines);
            EXPECT_TRUE(s.errors.empty());
        }
    }
}

TEST(Lexer, DoubleBracketStartsTheListOver) {
    Scanner s("[ 1 [ 2 3 4 ] DEF");
    EXPECT_EQ(s.Next(MFVEC3F), MFVEC3F);
    EXPECT_EQ(s.errors, (std::vector<std::string>{"Double ["}));
    EXPECT_EQ(s.lex.floats, (std::vector<float>{2, 3, 4}));
    EXPECT_EQ(s.Next(), DEF);
}

TEST(Lexer, ImageCountsWidthTimesHeightPlusOneNumbers) {
    Scanner s("2 2 3 0xFF0000 0x00FF00\n 0x0000FF 0xFFFFFF } 0 0 0 }");
    EXPECT_EQ(s.Next(SFIMAGE), SFIMAGE);
    EXPECT_EQ(s.lex.lineNumber, 3);
    EXPECT_EQ(s.Next(), '}');
    EXPECT_EQ(s.Next(SFIMAGE), SFIMAGE);
    EXPECT_EQ(s.Next(), '}');
}

TEST(Lexer, NodeTokensNeedNoTextAndOtherAnnouncementsAreRefused) {
    Scanner s("Box DEF");
    EXPECT_EQ(s.Next(SFNODE), SFNODE);
    EXPECT_EQ(s.Next(), IDENTIFIER);
    EXPECT_EQ(s.Next(MFNODE), MFNODE);
    EXPECT_EQ(s.lex.expectedToken, 0);
    EXPECT_EQ(s.Next(IDENTIFIER), DEF);
    EXPECT_EQ(s.errors, (std::vector<std::string>{"ACK: Bad expectToken"}));
}

TEST(Lexer, StringsKeepTheirWholeText) {
    Scanner s(R"("plain" "a # not a comment" "say \"hi\" \\ \n" "two
lines" "" DEF)");
    EXPECT_EQ(s.Next(SFSTRING), SFSTRING);
    EXPECT_EQ(s.lex.stringValue, "plain");
    EXPECT_EQ(s.Next(SFSTRING), SFSTRING);
    EXPECT_EQ(s.lex.stringValue, "a # not a comment");
    EXPECT_EQ(s.Next(SFSTRING), SFSTRING);
    EXPECT_EQ(s.lex.stringValue, "say \"hi\" \\ \\n");
    EXPECT_EQ(s.Next(SFSTRING), SFSTRING);
    EXPECT_EQ(s.lex.stringValue, "two\nlines");
    EXPECT_EQ(s.lex.lineNumber, 3);
    EXPECT_EQ(s.Next(SFSTRING), SFSTRING);
    EXPECT_EQ(s.lex.stringValue, "");
    EXPECT_EQ(s.Next(), DEF);
}

TEST(Lexer, StringLists) {
    Scanner s(R"([ "a", "b c" "" ] "alone" [ "x" Invalid ] [ "y" IS z)");
    EXPECT_EQ(s.Next(MFSTRING), MFSTRING);
    EXPECT_EQ(s.lex.strings, (std::vector<std::string>{"a", "b c", ""}));
    EXPECT_EQ(s.Next(MFSTRING), MFSTRING);
    EXPECT_EQ(s.lex.strings, (std::vector<std::string>{"alone"}));
    EXPECT_EQ(s.Next(MFSTRING), MFSTRING);
    EXPECT_EQ(s.errors, (std::vector<std::string>{"String missing open-quote"}));
    EXPECT_EQ(s.Next(), IDENTIFIER);
    EXPECT_EQ(s.identifier, "Invalid");
    EXPECT_EQ(s.Next(), ']');
    EXPECT_EQ(s.Next(MFSTRING), IS);  // IS also ends an open list
    // A single string without its open quote is empty.
    Scanner one(R"("old" word)");
    EXPECT_EQ(one.Next(SFSTRING), SFSTRING);
    EXPECT_EQ(one.Next(SFSTRING), SFSTRING);
    EXPECT_EQ(one.lex.stringValue, "");
    EXPECT_EQ(one.errors, (std::vector<std::string>{"String missing open-quote"}));
    EXPECT_EQ(one.Next(), IDENTIFIER);
    EXPECT_EQ(one.identifier, "word");
}

TEST(Lexer, CommentsAndLineNumbers) {
    Scanner s("# one\nDEF # two\n\n  USE#three\nTO");
    EXPECT_EQ(s.Next(), DEF);
    EXPECT_EQ(s.lex.lineNumber, 3);
    EXPECT_EQ(s.Next(), USE);
    EXPECT_EQ(s.lex.lineNumber, 5);
    EXPECT_EQ(s.Next(), TO);
    // Comments also end inside number lists.
    Scanner list("[ 1 2 # 3 4\n 5 ]");
    EXPECT_EQ(list.Next(MFFLOAT), MFFLOAT);
    EXPECT_EQ(list.lex.floats, (std::vector<float>{1, 2, 5}));
}

TEST(Lexer, IsEndsEveryValueCondition) {
    for (int token :
         {SFBOOL, SFCOLOR, SFFLOAT, SFIMAGE, SFINT32, SFROTATION, SFSTRING, SFTIME, SFVEC2F,
          SFVEC3F, MFCOLOR, MFFLOAT, MFINT32, MFROTATION, MFSTRING, MFVEC2F, MFVEC3F}) {
        Scanner s("IS other");
        EXPECT_EQ(s.Next(token), IS) << token;
        EXPECT_EQ(s.Next(), IDENTIFIER);
        EXPECT_EQ(s.identifier, "other");
    }
}

// After the name of an undeclared node type the parser has the scanner pass
// over the body: "{", then the matching "}", whatever braces strings and
// comments hold, counting its lines.
TEST(Lexer, SkippedNodeBodies) {
    struct Case {
        const char* body;
        int lines;  // newlines in the body
    };
    const Case cases[] = {
        {"{ }", 0},
        {"{ size 1 2 3 children [ Box { } Group { children [ ] } ] }", 0},
        {"{ name \"}{\" info [ \"a\\\"}\" ] }", 0},
        {"{ # a comment with } and {\n  x 1\n}", 2},
        {"{ text \"two\nlines }\" url \"#notacomment{\" }", 1},
        {"{{{}}{}}", 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.body);
        Scanner s(std::string(c.body) + " Next");
        s.lex.skipNodeBody = true;
        EXPECT_EQ(s.Next(), '{');
        EXPECT_EQ(s.Next(), '}');
        EXPECT_EQ(s.lex.lineNumber, 2 + c.lines);
        EXPECT_EQ(s.Next(), IDENTIFIER);
        EXPECT_EQ(s.identifier, "Next");
    }
    // No body follows: the scanner goes on as usual.
    Scanner none("Next { }");
    none.lex.skipNodeBody = true;
    EXPECT_EQ(none.Next(), IDENTIFIER);
    EXPECT_EQ(none.Next(), '{');
    EXPECT_EQ(none.Next(), '}');
    // A body that never closes ends with the input.
    for (const char* open : {"{ a { b }", "{ \"}"}) {
        Scanner s(open);
        s.lex.skipNodeBody = true;
        EXPECT_EQ(s.Next(), '{') << open;
        EXPECT_EQ(s.Next(), 0) << open;
    }
}

TEST(Lexer, EndOfInputInsideAValue) {
    const std::pair<const char*, int> cases[] = {{"\"unterminated", SFSTRING},
                                                 {"[ 1 2", MFFLOAT},
                                                 {"2 2 1 0", SFIMAGE},
                                                 {"[ \"a\" \"b", MFSTRING}};
    for (const auto& [text, token] : cases) {
        Scanner s(text);
        EXPECT_EQ(s.Next(token), 0) << text;
        EXPECT_EQ(s.Next(), 0) << text;
    }
}

}  // namespace

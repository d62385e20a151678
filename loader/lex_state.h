// The value side of the VRML lexer: what the parser announced (the expected
// field type token), the numbers and strings scanned for the last value, the
// line counter and the error report the lexer calls. One per scanner.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <ostream>
#include <string>
#include <vector>

// The texts of the identifiers the scanner hands to the parser. A scene names a
// node type or a field every few tokens, and a malloc and a free for each cost
// more than scanning it: names of up to kShort bytes go into blocks kept for
// reuse, longer ones into a block of their own. The byte before a text says
// which. The parser gives every name back (Give) when its rule is done; a name
// may be given to another pool than the one it came from.
class NamePool {
  public:
    static constexpr std::size_t kShort = 30;

    NamePool() = default;
    NamePool(const NamePool&) = delete;
    NamePool& operator=(const NamePool&) = delete;
    ~NamePool() {
        for (char* block : m_spare) delete[] block;
    }

    char* Take(const char* text, std::size_t length) {
        char* block;
        if (length <= kShort && !m_spare.empty()) {
            block = m_spare.back();
            m_spare.pop_back();
        } else {
            block = new char[std::max(length, kShort) + 2];
        }
        block[0] = length <= kShort ? 1 : 0;
        std::memcpy(block + 1, text, length);
        block[length + 1] = '\0';
        return block + 1;
    }
    void Give(char* name) {
        if (name == nullptr) return;
        char* block = name - 1;
        if (block[0] == 1 && m_spare.size() < kKeep)
            m_spare.push_back(block);
        else
            delete[] block;
    }

  private:
    // Names alive at once are a few per level of nesting; more spare blocks than
    // this are not kept.
    static constexpr std::size_t kKeep = 256;
    std::vector<char*> m_spare;
};

struct LexState {
    // What kind of elements the last list collected.
    enum ListKind { kNoList, kFloatList, kIntList, kStringList };

    int expectedToken = 0;
    int lineNumber = 1;

    // Single values.
    bool boolValue = false;
    std::int32_t intValue = 0;
    float floatValue = 0;
    double timeValue = 0;
    std::string stringValue;

    // Tuples of single values and list elements, in text order (an SFVec3f
    // leaves its 3 numbers in `floats`).
    std::vector<float> floats;
    std::vector<std::int32_t> ints;
    std::vector<std::string> strings;
    ListKind listKind = kNoList;
    bool listOpen = false;
    int listToken = 0;  // the token the open list returns at "]"

    // Set by the parser after the name of a node type nobody declared: the
    // scanner passes over that node's body, braces balanced.
    bool skipNodeBody = false;
    int skipDepth = 0;

    // SFImage: numbers after width and height still to consume.
    std::int64_t imageExpected = 0;
    std::int64_t imageSeen = 0;

    // The identifiers handed to the parser.
    NamePool names;

    // Error report of the parser; it is also expected to clear the expected token.
    void (*reportError)(void* context, const char* message) = nullptr;
    void* errorContext = nullptr;
    // Where "mff:" lines go; null for nowhere.
    std::ostream* trace = nullptr;
    // The scanner's input when set (else its FILE or bytes): up to `size`
    // bytes into `buffer`, 0 at the end of the text.
    std::size_t (*readInput)(void* context, char* buffer, std::size_t size) = nullptr;
    void* inputContext = nullptr;

    void Error(const char* message) {
        if (reportError) reportError(errorContext, message);
        expectedToken = 0;
    }
    void ClearValues() {
        floats.clear();
        ints.clear();
        strings.clear();
    }
};

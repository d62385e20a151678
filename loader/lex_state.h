// The value side of the VRML lexer: what the parser announced (the expected
// field type token), the numbers and strings scanned for the last value, the
// line counter and the error report the lexer calls. One per scanner.
#pragma once

#include <cstddef>
#include <cstdint>
#include <ostream>
#include <string>
#include <vector>

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

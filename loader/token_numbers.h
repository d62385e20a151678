// Conversion of the number tokens the VRML lexer matches: the text is already
// known to be a well-formed float or integer, so these only convert it,
// always with "." as the decimal point whatever the locale.
#pragma once

#include <charconv>
#include <cstdint>
#include <vector>

#include "node/number_text.h"

namespace vrml_numbers {

// A float token: optional sign, digits with an optional point and fraction
// ("5." too) or "." digits, optional exponent. Out-of-range text gives what
// the scanf rules give.
inline float ToFloat(const char* first, const char* last) {
    if (first != last && *first == '+') ++first;
    float value = 0;
    auto [ptr, ec] = std::from_chars(first, last, value);
    if (ec == std::errc::result_out_of_range) numtext::ScanFloat(first, value);
    (void)ptr;
    return value;
}

inline double ToDouble(const char* first, const char* last) {
    if (first != last && *first == '+') ++first;
    double value = 0;
    auto [ptr, ec] = std::from_chars(first, last, value);
    if (ec == std::errc::result_out_of_range) numtext::ScanDouble(first, value);
    (void)ptr;
    return value;
}

// An integer token: optional sign, then decimal digits or 0x and hex digits.
// Values beyond 32 bits are clamped.
inline std::int32_t ToInt32(const char* first, const char* last) {
    bool negative = false;
    if (first != last && (*first == '-' || *first == '+')) {
        negative = *first == '-';
        ++first;
    }
    int base = 10;
    if (last - first > 2 && first[0] == '0' && (first[1] == 'x' || first[1] == 'X')) {
        base = 16;
        first += 2;
    }
    std::int64_t value = 0;
    constexpr std::int64_t kLimit = std::int64_t{1} << 32;
    for (; first != last; ++first) {
        int digit;
        char c = *first;
        if (c >= '0' && c <= '9')
            digit = c - '0';
        else if (c >= 'a' && c <= 'f')
            digit = c - 'a' + 10;
        else
            digit = c - 'A' + 10;
        value = value * base + digit;
        if (value > kLimit) value = kLimit;
    }
    if (negative) value = -value;
    if (value > INT32_MAX) return INT32_MAX;
    if (value < INT32_MIN) return INT32_MIN;
    return static_cast<std::int32_t>(value);
}

// A pixel of an SFImage: like ToInt32, but the 32 bits of 0xRRGGBBAA are kept
// as they are (0xFF000000 is not clamped).
inline std::int32_t ToPixel(const char* first, const char* last) {
    const bool negative = first != last && *first == '-';
    std::int64_t value = ToInt32(first, last);
    if (!negative && value == INT32_MAX) {
        // Beyond 31 bits: read the digits again as an unsigned 32-bit value.
        std::uint64_t bits = 0;
        const char* p = first;
        if (p != last && *p == '+') ++p;
        int base = 10;
        if (last - p > 2 && p[0] == '0' && (p[1] == 'x' || p[1] == 'X')) {
            base = 16;
            p += 2;
        }
        for (; p != last; ++p) {
            char c = *p;
            int digit = c >= '0' && c <= '9' ? c - '0' : (c | 0x20) - 'a' + 10;
            bits = std::min<std::uint64_t>(bits * base + digit, 0xFFFFFFFFu);
        }
        return static_cast<std::int32_t>(static_cast<std::uint32_t>(bits));
    }
    return static_cast<std::int32_t>(value);
}

inline bool IsBlank(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == ',';
}

// Appends the floats of a tuple token ("1 2.5 -3", "1, 2,\n3").
inline void AppendFloats(const char* first, const char* last, std::vector<float>& out) {
    while (first != last) {
        while (first != last && IsBlank(*first)) ++first;
        const char* end = first;
        while (end != last && !IsBlank(*end)) ++end;
        if (end != first) out.push_back(ToFloat(first, end));
        first = end;
    }
}

inline bool IsDigit(char c) {
    return c >= '0' && c <= '9';
}

// The end of the plain float token at `p` (what the float pattern takes,
// exponent included) when a blank follows it; otherwise null, for the
// scanner to handle whatever stands there.
inline const char* PlainFloatEnd(const char* p) {
    const char* q = p;
    if (*q == '-' || *q == '+') ++q;
    if (IsDigit(*q)) {
        while (IsDigit(*q)) ++q;
        if (*q == '.') {
            ++q;
            while (IsDigit(*q)) ++q;
        }
    } else if (*q == '.' && IsDigit(q[1])) {
        q += 2;
        while (IsDigit(*q)) ++q;
    } else {
        return nullptr;
    }
    if (*q == 'e' || *q == 'E') {
        const char* e = q + 1;
        if (*e == '+' || *e == '-') ++e;
        if (IsDigit(*e)) {
            while (IsDigit(*e)) ++e;
            q = e;
        }
    }
    return IsBlank(*q) ? q : nullptr;
}

// The end of the decimal integer token at `p` when a blank follows it;
// otherwise null (hexadecimal numbers and anything unusual go to the scanner).
inline const char* PlainIntEnd(const char* p) {
    const char* q = p;
    if (*q == '-' || *q == '+') ++q;
    if (!IsDigit(*q)) return nullptr;
    while (IsDigit(*q)) ++q;
    return IsBlank(*q) ? q : nullptr;
}

// Takes a run of list numbers straight from the scanner's buffer, starting
// at `p`: blanks (counting newlines) and numbers that a blank ends, which
// are exactly the tokens the scanner's rules would give one at a time.
// Stops before anything else: a comment, a bracket, a number the buffer's
// end may cut, the zero bytes after the buffer. Returns where it stopped.
template <class T, class Convert>
char* TakeNumberRun(char* p, std::vector<T>& out, int& lines, const char* (*tokenEnd)(const char*),
                    Convert convert) {
    for (;;) {
        while (IsBlank(*p)) {
            if (*p == '\n') ++lines;
            ++p;
        }
        const char* end = tokenEnd(p);
        if (end == nullptr) return p;
        out.push_back(convert(p, end));
        p = const_cast<char*>(end);
    }
}

inline char* TakeFloatRun(char* p, std::vector<float>& out, int& lines) {
    return TakeNumberRun(p, out, lines, PlainFloatEnd, ToFloat);
}

inline char* TakeIntRun(char* p, std::vector<std::int32_t>& out, int& lines) {
    return TakeNumberRun(p, out, lines, PlainIntEnd, ToInt32);
}

}  // namespace vrml_numbers

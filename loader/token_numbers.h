// Conversion of the number tokens the VRML lexer matches: the text is already
// known to be a well-formed float or integer, so these only convert it,
// always with "." as the decimal point whatever the locale.
#pragma once

#include <charconv>
#include <cstdint>
#include <vector>

#include <fast_float/fast_float.h>

namespace vrml_numbers {

// A float token: optional sign, digits with an optional point and fraction
// ("5." too) or "." digits, optional exponent. Out-of-range text gives what
// the scanf rules give: infinity beyond the type's range, the nearest subnormal
// or zero below it. The conversion is fast_float's, correctly rounded like
// std::from_chars, and a third quicker here.
template <class T>
T ToNumber(const char* first, const char* last) {
    if (first != last && *first == '+') ++first;
    T value = 0;
    (void)fast_float::from_chars(first, last, value);
    return value;
}

// Most numbers in a scene are plain decimals of a few digits ("-20.9533"): when
// the digits make an integer m of at most 24 bits and at most 10 of them follow
// the point, m and 10^k are exact floats and one float division rounds m / 10^k
// correctly, which is the value the full conversion gives.
inline float ToFloat(const char* first, const char* last) {
    static constexpr float kPowers[] = {1e0f, 1e1f, 1e2f, 1e3f, 1e4f, 1e5f,
                                        1e6f, 1e7f, 1e8f, 1e9f, 1e10f};
    const auto digit = [](char c) { return static_cast<unsigned>(c - '0'); };
    const char* p = first;
    const bool negative = p != last && *p == '-';
    if (p != last && (*p == '-' || *p == '+')) ++p;
    std::uint64_t m = 0;
    const char* whole = p;
    for (; p != last && digit(*p) < 10; ++p) m = m * 10 + digit(*p);
    std::ptrdiff_t count = p - whole, fraction = 0;
    if (p != last && *p == '.') {
        const char* after = ++p;
        for (; p != last && digit(*p) < 10; ++p) m = m * 10 + digit(*p);
        fraction = p - after;
        count += fraction;
    }
    // Not plain (an exponent, inf, nan), or too many digits for the short way.
    if (p != last || count == 0 || count > 18 || fraction > 10 || m > (1u << 24))
        return ToNumber<float>(first, last);
    const float value = static_cast<float>(m) / kPowers[fraction];
    return negative ? -value : value;
}

inline double ToDouble(const char* first, const char* last) {
    return ToNumber<double>(first, last);
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
    if (base == 10 && last - first <= 18) {
        // Short decimals, the usual case, cannot pass 64 bits: clamped once at the end.
        for (; first != last; ++first) value = value * 10 + (*first - '0');
        if (value > kLimit) value = kLimit;
    }
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
template <class T, class End, class Convert>
char* TakeNumberRun(char* p, std::vector<T>& out, int& lines, End tokenEnd, Convert convert) {
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
    return TakeNumberRun(
        p, out, lines, [](const char* q) { return PlainFloatEnd(q); },
        [](const char* a, const char* b) { return ToFloat(a, b); });
}

inline char* TakeIntRun(char* p, std::vector<std::int32_t>& out, int& lines) {
    return TakeNumberRun(
        p, out, lines, [](const char* q) { return PlainIntEnd(q); },
        [](const char* a, const char* b) { return ToInt32(a, b); });
}

}  // namespace vrml_numbers

#include "node/number_text.h"

#include <locale.h>
#include <charconv>
#include <clocale>
#include <cstdlib>
#include <limits>

namespace numtext {
namespace {

// The "C" locale, created once, for strtod_l and friends.
locale_t CLocale() {
    static locale_t loc = newlocale(LC_ALL_MASK, "C", static_cast<locale_t>(nullptr));
    return loc;
}

}  // namespace

void TrimZeros(std::string& text) {
    std::size_t point = text.find('.');
    if (point == std::string::npos) return;
    std::size_t end = text.size();
    while (end > point + 2 && text[end - 1] == '0') --end;
    text.resize(end);
}

std::string FormatFixed(double value) {
    // "%f" of 1e308 has 309 digits before the point; 400 bytes hold any double.
    char buffer[400];
    auto result = std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::fixed, 6);
    std::string text(buffer, result.ptr);
    TrimZeros(text);
    return text;
}

bool ScanFloat(const char* text, float& out) {
    char* end = nullptr;
    float value = strtof_l(text, &end, CLocale());
    if (end == text) return false;
    out = value;
    return true;
}

bool ScanDouble(const char* text, double& out) {
    char* end = nullptr;
    double value = strtod_l(text, &end, CLocale());
    if (end == text) return false;
    out = value;
    return true;
}

bool ScanInt32(const char* text, std::int32_t& out) {
    char* end = nullptr;
    long long value = strtoll_l(text, &end, 0, CLocale());
    if (end == text) return false;
    if (value > std::numeric_limits<std::int32_t>::max())
        value = std::numeric_limits<std::int32_t>::max();
    if (value < std::numeric_limits<std::int32_t>::min())
        value = std::numeric_limits<std::int32_t>::min();
    out = static_cast<std::int32_t>(value);
    return true;
}

}  // namespace numtext

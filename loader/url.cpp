#include "loader/url.h"

#include <cctype>
#include <string_view>

namespace {

int HexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return -1;
}

std::string DecodeEscapes(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        int hi = -1, lo = -1;
        if (text[i] == '%' && i + 2 < text.size()) {
            hi = HexValue(text[i + 1]);
            lo = HexValue(text[i + 2]);
        }
        if (hi >= 0 && lo >= 0) {
            out.push_back(static_cast<char>(hi * 16 + lo));
            i += 2;
        } else {
            out.push_back(text[i]);
        }
    }
    return out;
}

bool StartsWithNoCase(std::string_view text, std::string_view prefix) {
    if (text.size() < prefix.size()) return false;
    for (std::size_t i = 0; i < prefix.size(); ++i)
        if (std::tolower(static_cast<unsigned char>(text[i])) != prefix[i]) return false;
    return true;
}

// A scheme is letters, digits, '+', '-' or '.' before a ':' (and more than one
// character, so that a drive letter is not taken for one).
bool HasScheme(std::string_view url) {
    std::size_t colon = url.find(':');
    if (colon == std::string_view::npos || colon < 2) return false;
    for (std::size_t i = 0; i < colon; ++i) {
        char c = url[i];
        if (!std::isalnum(static_cast<unsigned char>(c)) && c != '+' && c != '-' && c != '.')
            return false;
    }
    return std::isalpha(static_cast<unsigned char>(url[0])) != 0;
}

}  // namespace

std::string ResolveUrl(const std::string& baseFile, const std::string& url) {
    std::string_view rest = url;
    if (StartsWithNoCase(rest, "file:")) {
        rest.remove_prefix(5);
        if (rest.substr(0, 2) == "//") {
            // file://host/path: the host part (usually empty or localhost) goes.
            rest.remove_prefix(2);
            std::size_t slash = rest.find('/');
            rest = slash == std::string_view::npos ? std::string_view() : rest.substr(slash);
        }
        return ResolveUrl(baseFile, DecodeEscapes(rest));
    }
    if (HasScheme(rest)) return url;
    std::string path(rest);
    if (path.empty() || path.front() == '/' || baseFile.empty()) return path;
    std::size_t slash = baseFile.rfind('/');
    if (slash == std::string::npos) return path;
    return baseFile.substr(0, slash + 1) + path;
}

// Helpers for coding tests: encode into memory, and bits as text.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "node/bifs_instream.h"
#include "node/outstream.h"

inline std::vector<std::uint8_t> EncodeBytes(const std::function<void(OutStream&)>& write) {
    OutToMemory out;
    write(out);
    return out.Finish();
}

// Bits of `bytes` as a string of '0'/'1', most significant first (all of them by default).
inline std::string BitString(const std::vector<std::uint8_t>& bytes,
                             std::size_t bits = std::string::npos) {
    if (bits == std::string::npos) bits = bytes.size() * 8;
    std::string s;
    for (std::size_t i = 0; i < bits; ++i) s += ((bytes[i / 8] >> (7 - i % 8)) & 1) ? '1' : '0';
    return s;
}

// A bit string written in groups ("0 01 1") without its blanks, padded with
// zeros to whole bytes when `pad`.
inline std::string Bits(std::string_view groups, bool pad = false) {
    std::string s;
    for (char c : groups)
        if (c != ' ') s += c;
    while (pad && s.size() % 8 != 0) s += '0';
    return s;
}

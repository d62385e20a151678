// Helpers for coding tests: encode into memory, decode from the bytes.
#pragma once

#include <cstdint>
#include <functional>
#include <vector>

#include "node/bifs_instream.h"
#include "node/outstream.h"

inline std::vector<std::uint8_t> EncodeBytes(const std::function<void(OutStream&)>& write) {
    OutToMemory out;
    write(out);
    return out.Finish();
}

// Bits of `bytes` as a string of '0'/'1', most significant first.
inline std::string BitString(const std::vector<std::uint8_t>& bytes, std::size_t bits) {
    std::string s;
    for (std::size_t i = 0; i < bits; ++i) s += ((bytes[i / 8] >> (7 - i % 8)) & 1) ? '1' : '0';
    return s;
}

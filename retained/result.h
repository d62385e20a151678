// Result codes of the retained-mode layer: every operation that can fail returns a
// 32-bit code in the COM style, negative for failure, so callers test each call.
#pragma once

#include <cstdint>

namespace rm {

using Result = std::int32_t;

inline constexpr Result kOk = 0;
inline constexpr Result kFail = static_cast<Result>(0x80004005u);         // generic failure
inline constexpr Result kInvalidArg = static_cast<Result>(0x80070057u);   // bad argument
inline constexpr Result kNotFound = static_cast<Result>(0x80070490u);     // no such child/light
inline constexpr Result kEmpty = static_cast<Result>(0x8876030Eu);        // nothing to measure
inline constexpr Result kOutOfMemory = static_cast<Result>(0x8007000Eu);  // allocation failed

inline constexpr bool Succeeded(Result r) {
    return r >= 0;
}
inline constexpr bool Failed(Result r) {
    return r < 0;
}

// Short English name of a code ("invalid argument"), for message boxes and traces.
const char* ResultText(Result r);

}  // namespace rm

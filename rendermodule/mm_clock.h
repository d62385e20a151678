// The millisecond clock of animation and frame pacing: a 32-bit count of
// milliseconds of the monotonic clock that wraps around like a multimedia timer.
#pragma once

#include <chrono>
#include <cstdint>

inline std::uint32_t TimeGetTime() {
    using namespace std::chrono;
    return static_cast<std::uint32_t>(
        duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count());
}

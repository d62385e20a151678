// DebugPrintf: the printf-style diagnostic trace of the graphics side and the
// bit writer. Each call's text is written whole, under one lock, to standard
// error, so lines from the window thread and the render thread never interleave.
#pragma once

#include <cstddef>

// Longest text one call writes; longer output is cut to this many bytes.
inline constexpr std::size_t kDebugTraceMax = 1023;

void DebugPrintf(const char* format, ...) __attribute__((format(printf, 1, 2)));

// Where trace text goes. The default sink writes to standard error; tests
// install their own to look at what was traced. Passing null restores stderr.
using DebugTraceSink = void (*)(const char* text, std::size_t length);
void SetDebugTraceSink(DebugTraceSink sink);

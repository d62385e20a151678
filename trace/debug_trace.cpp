#include "trace/debug_trace.h"

#include <cstdarg>
#include <cstdio>
#include <mutex>

namespace {

std::mutex g_traceLock;
DebugTraceSink g_sink = nullptr;

void WriteToStderr(const char* text, std::size_t length) {
    std::fwrite(text, 1, length, stderr);
    std::fflush(stderr);
}

}  // namespace

void SetDebugTraceSink(DebugTraceSink sink) {
    std::lock_guard<std::mutex> lock(g_traceLock);
    g_sink = sink;
}

void DebugPrintf(const char* format, ...) {
    // Each call formats into its own buffer, so two threads never share text.
    char buffer[kDebugTraceMax + 1];
    va_list args;
    va_start(args, format);
    int n = std::vsnprintf(buffer, sizeof buffer, format, args);
    va_end(args);
    if (n < 0) return;
    std::size_t length =
        static_cast<std::size_t>(n) < kDebugTraceMax ? static_cast<std::size_t>(n) : kDebugTraceMax;
    std::lock_guard<std::mutex> lock(g_traceLock);
    (g_sink ? g_sink : WriteToStderr)(buffer, length);
}

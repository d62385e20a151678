#include "trace/message_sink.h"

#include <cstdio>
#include <mutex>

namespace {

std::mutex g_sinkLock;
MessageSink g_sink;

void PrintToStderr(const std::string& text, const std::string& caption) {
    std::fprintf(stderr, "%s: %s\n", caption.c_str(), text.c_str());
    std::fflush(stderr);
}

}  // namespace

void ShowMessage(const std::string& text, const std::string& caption) {
    MessageSink sink;
    {
        // Copy the sink out so a message box that blocks does not hold the lock.
        std::lock_guard<std::mutex> lock(g_sinkLock);
        sink = g_sink;
    }
    (sink ? sink : PrintToStderr)(text, caption);
}

MessageSink SetMessageSink(MessageSink sink) {
    std::lock_guard<std::mutex> lock(g_sinkLock);
    MessageSink old = std::move(g_sink);
    g_sink = std::move(sink);
    return old;
}

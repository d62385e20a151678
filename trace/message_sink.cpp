#include "trace/message_sink.h"

#include <cstdio>
#include <mutex>
#include <utility>
#include <vector>

namespace {

std::mutex g_sinkLock;
MessageSink g_sink;

struct Deferred {
    int depth = 0;
    std::vector<std::pair<std::string, std::string>> queue;
};
thread_local Deferred t_deferred;

void PrintToStderr(const std::string& text, const std::string& caption) {
    std::fprintf(stderr, "%s: %s\n", caption.c_str(), text.c_str());
    std::fflush(stderr);
}

}  // namespace

void ShowMessage(const std::string& text, const std::string& caption) {
    if (t_deferred.depth > 0) {
        t_deferred.queue.emplace_back(text, caption);
        return;
    }
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

MessageDeferral::MessageDeferral() {
    ++t_deferred.depth;
}

MessageDeferral::~MessageDeferral() {
    if (--t_deferred.depth > 0) return;
    auto queue = std::move(t_deferred.queue);
    t_deferred.queue.clear();
    for (const auto& [text, caption] : queue) ShowMessage(text, caption);
}

#include "trace/message_sink.h"

#include <cstdio>
#include <mutex>
#include <set>
#include <utility>
#include <vector>

namespace {

struct Message {
    std::string text, caption;
    MessageRepeat repeat;
};

// The sink, the scope and the rule share one lock, so that two threads raising
// the same text at once show it once.
std::mutex g_sinkLock;
MessageSink g_sink;
std::set<std::pair<std::string, std::string>> g_shown;  // (caption, text) in this scope
MessageRepeat g_rule = MessageRepeat::kOncePerScope;

struct Deferred {
    int depth = 0;
    std::vector<Message> queue;
};
thread_local Deferred t_deferred;

void PrintToStderr(const std::string& text, const std::string& caption) {
    std::fprintf(stderr, "%s: %s\n", caption.c_str(), text.c_str());
    std::fflush(stderr);
}

}  // namespace

void ShowMessage(const std::string& text, const std::string& caption, MessageRepeat repeat) {
    if (t_deferred.depth > 0) {
        // Judged when shown, not now: a scene load queues the new scene's messages
        // under the lock and resets the scope before they come out.
        t_deferred.queue.push_back({text, caption, repeat});
        return;
    }
    MessageSink sink;
    {
        // Copy the sink out so a message box that blocks does not hold the lock.
        std::lock_guard<std::mutex> lock(g_sinkLock);
        if (repeat == MessageRepeat::kOncePerScope && g_rule == MessageRepeat::kOncePerScope &&
            !g_shown.emplace(caption, text).second)
            return;
        sink = g_sink;
    }
    (sink ? sink : PrintToStderr)(text, caption);
}

MessageSink SetMessageSink(MessageSink sink) {
    std::lock_guard<std::mutex> lock(g_sinkLock);
    MessageSink old = std::move(g_sink);
    g_sink = std::move(sink);
    g_shown.clear();
    return old;
}

void ResetMessageScope() {
    std::lock_guard<std::mutex> lock(g_sinkLock);
    g_shown.clear();
}

MessageRepeat SetMessageRepeat(MessageRepeat rule) {
    std::lock_guard<std::mutex> lock(g_sinkLock);
    return std::exchange(g_rule, rule);
}

MessageDeferral::MessageDeferral() {
    ++t_deferred.depth;
}

MessageDeferral::~MessageDeferral() {
    if (--t_deferred.depth > 0) return;
    auto queue = std::move(t_deferred.queue);
    t_deferred.queue.clear();
    for (const Message& m : queue) ShowMessage(m.text, m.caption, m.repeat);
}

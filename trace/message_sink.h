// Message boxes of the system ("D3DRM Sample", "error", ...) go through one
// process-wide sink: the viewer shows a modal dialog, command-line tools print
// "caption: text" on standard error, tests record the messages.
#pragma once

#include <functional>
#include <string>

using MessageSink = std::function<void(const std::string& text, const std::string& caption)>;

// Shows (or records) one message; returns when the user has seen it.
void ShowMessage(const std::string& text, const std::string& caption = "D3DRM Sample");

// Installs a sink; an empty function restores the standard-error sink.
// Returns the sink that was installed before.
MessageSink SetMessageSink(MessageSink sink);

// While one of these lives on a thread, ShowMessage on that thread queues its
// messages; they are shown when the outermost one ends. A thread that holds a
// lock another thread may wait for (the scene lock) uses it so that a modal
// message box never waits for a thread that waits for the lock.
class MessageDeferral {
  public:
    MessageDeferral();
    ~MessageDeferral();
    MessageDeferral(const MessageDeferral&) = delete;
    MessageDeferral& operator=(const MessageDeferral&) = delete;
};

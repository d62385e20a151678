// Message boxes of the system ("D3DRM Sample", "error", ...) go through one
// process-wide sink: the viewer shows a message box, command-line tools print
// "caption: text" on standard error, tests record the messages.
//
// A message is shown once per message scope: while a scene is loaded, each
// distinct text (with its caption) reaches the sink the first time it is raised
// and is dropped after that, so a fault met on every animation step shows one
// box, not one a frame. Loading a new scene starts a new scope.
#pragma once

#include <functional>
#include <string>

using MessageSink = std::function<void(const std::string& text, const std::string& caption)>;

// Whether a message is shown only the first time in its scope, or each time.
enum class MessageRepeat { kOncePerScope, kEveryTime };

// Shows (or records) one message; returns when the user has seen it, or at once
// when the scope has shown the same text and caption before. kEveryTime is for
// answers to the user's own request (the camera report), which they expect
// each time they ask; such messages do not enter the scope.
void ShowMessage(const std::string& text, const std::string& caption = "D3DRM Sample",
                 MessageRepeat repeat = MessageRepeat::kOncePerScope);

// Installs a sink; an empty function restores the standard-error sink. The new
// sink has shown nothing yet, so it starts a new scope. Returns the sink that
// was installed before.
MessageSink SetMessageSink(MessageSink sink);

// Forgets the texts shown so far: the scene-load sequence calls it when a new
// scene replaces the old one.
void ResetMessageScope();

// The process-wide rule. kEveryTime lets every message through to the sink,
// whatever its call asks, for a test or a log that wants each one raised.
// kOncePerScope is the default. Returns the rule before.
MessageRepeat SetMessageRepeat(MessageRepeat rule);

// While one of these lives on a thread, ShowMessage on that thread queues its
// messages; they are shown when the outermost one ends, then under the once-per-
// scope rule. A thread that holds a lock another thread may wait for (the scene
// lock) uses it so that a message box never waits for a thread that waits for
// the lock.
class MessageDeferral {
  public:
    MessageDeferral();
    ~MessageDeferral();
    MessageDeferral(const MessageDeferral&) = delete;
    MessageDeferral& operator=(const MessageDeferral&) = delete;
};

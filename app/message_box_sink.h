// The viewer's message sink: every message of the system appears as a modal Qt
// message box on the GUI thread, whichever thread raised it.
#pragma once

#include "trace/message_sink.h"

// A sink that runs `present` on the GUI thread: directly when called there,
// otherwise through a blocking queued call, so the caller returns once the user
// has seen the message. Without a Qt application it writes "caption: text" to
// standard error.
MessageSink MakeGuiThreadSink(MessageSink present);

// Shows one modal message box titled `caption` with an OK button.
void ShowMessageBox(const std::string& text, const std::string& caption);

// Installs MakeGuiThreadSink(ShowMessageBox) as the process's message sink.
void InstallQtMessageSink();

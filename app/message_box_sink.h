// The viewer's message sink: every message of the system appears as a Qt message
// box on the GUI thread, whichever thread raised it. A message the GUI thread
// raises is a modal box, as before. One from another thread (the render thread)
// is a box owned by no window and modal to nothing: the main window, its menu and
// the control panel stay usable while it is up, and only the raising thread waits
// for it to be closed.
#pragma once

#include "trace/message_sink.h"

// Shows one message raised on another thread, on the GUI thread, without waiting
// there: `closed` is to be called once the user has closed it. Dropping every
// copy of `closed` uncalled counts as closed, so a box that goes away unclosed
// still releases its thread.
using MessagePresenter = std::function<void(const std::string& text, const std::string& caption,
                                            std::function<void()> closed)>;

// A sink that runs `onGuiThread` directly when called on the GUI thread, and
// otherwise hands the message to `fromOtherThread` through a queued call and
// waits until it has been closed (or released, see ReleaseMessageWaiters).
// Without a Qt application it writes "caption: text" to standard error. Making
// a sink undoes an earlier ReleaseMessageWaiters: threads wait for their boxes.
MessageSink MakeGuiThreadSink(MessageSink onGuiThread, MessagePresenter fromOtherThread);

// Shows one modal message box titled `caption` with an OK button.
void ShowMessageBox(const std::string& text, const std::string& caption);

// Shows one message box titled `caption` with an OK button, without parent,
// not modal, deleted once closed; calls `closed` when it is closed or goes away.
void OpenMessageBox(const std::string& text, const std::string& caption,
                    std::function<void()> closed);

// For the end of the application, on the GUI thread: closes the boxes that
// OpenMessageBox has open, releases every thread waiting for a box (shown or
// not yet), and from then on lets threads go on at once, printing their messages
// on standard error, so that the render thread can be ended. Also run when the
// application's event loop ends.
void ReleaseMessageWaiters();

// Installs MakeGuiThreadSink(ShowMessageBox, OpenMessageBox) as the process's
// message sink.
void InstallQtMessageSink();

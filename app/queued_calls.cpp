#include "app/queued_calls.h"

#include <QCoreApplication>
#include <QEvent>

namespace {
const QEvent::Type kRunPending = static_cast<QEvent::Type>(QEvent::registerEventType());
}

QueuedCalls::QueuedCalls(QObject* parent) : QObject(parent) {}

QueuedCalls::~QueuedCalls() {
    std::vector<std::function<void()>> dropped;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        dropped.swap(pending_);
    }
}

void QueuedCalls::Post(std::function<void()> call) {
    bool wake;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        wake = pending_.empty();
        pending_.push_back(std::move(call));
    }
    // One event runs every call waiting when it arrives.
    if (wake) QCoreApplication::postEvent(this, new QEvent(kRunPending));
}

bool QueuedCalls::event(QEvent* event) {
    if (event->type() != kRunPending) return QObject::event(event);
    std::vector<std::function<void()>> calls;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        calls.swap(pending_);
    }
    for (std::function<void()>& call : calls) call();
    return true;
}

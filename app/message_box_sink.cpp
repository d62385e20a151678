#include "app/message_box_sink.h"

#include <QCoreApplication>
#include <QMessageBox>
#include <QMetaObject>
#include <QThread>
#include <condition_variable>
#include <cstdio>
#include <memory>
#include <mutex>

namespace {

// The calling thread's wait for the GUI thread. Done once the queued call has
// run, or has been dropped unrun (the application going away): either way the
// call object is destroyed, and with it the last reference to its DoneSignal.
struct Waiter {
    std::mutex mutex;
    std::condition_variable changed;
    bool done = false;
};
struct DoneSignal {
    explicit DoneSignal(std::shared_ptr<Waiter> w) : waiter(std::move(w)) {}
    DoneSignal(const DoneSignal&) = delete;
    DoneSignal& operator=(const DoneSignal&) = delete;
    std::shared_ptr<Waiter> waiter;
    ~DoneSignal() {
        std::lock_guard<std::mutex> lock(waiter->mutex);
        waiter->done = true;
        waiter->changed.notify_all();
    }
};

}  // namespace

MessageSink MakeGuiThreadSink(MessageSink present) {
    return [present = std::move(present)](const std::string& text, const std::string& caption) {
        QCoreApplication* app = QCoreApplication::instance();
        if (app == nullptr) {
            std::fprintf(stderr, "%s: %s\n", caption.c_str(), text.c_str());
            return;
        }
        if (QThread::currentThread() == app->thread()) {
            present(text, caption);
            return;
        }
        // The render module shows messages only after it has let go of the scene
        // lock, so the GUI thread is never waiting for this thread meanwhile.
        auto waiter = std::make_shared<Waiter>();
        QMetaObject::invokeMethod(
            app,
            [&present, &text, &caption, done = std::make_shared<DoneSignal>(waiter)] {
                (void)done;
                present(text, caption);
            },
            Qt::QueuedConnection);
        std::unique_lock<std::mutex> lock(waiter->mutex);
        waiter->changed.wait(lock, [&] { return waiter->done; });
    };
}

void ShowMessageBox(const std::string& text, const std::string& caption) {
    QMessageBox box(QMessageBox::NoIcon, QString::fromStdString(caption),
                    QString::fromStdString(text), QMessageBox::Ok);
    box.exec();
}

void InstallQtMessageSink() {
    SetMessageSink(MakeGuiThreadSink(ShowMessageBox));
}

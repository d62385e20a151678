#include "app/message_box_sink.h"

#include "app/queued_calls.h"

#include <QCoreApplication>
#include <QMessageBox>
#include <QPointer>
#include <QThread>
#include <condition_variable>
#include <cstdio>
#include <memory>
#include <mutex>
#include <set>
#include <vector>

namespace {

// One thread's wait for its box. `shown` tells whether the GUI thread got to
// show it before the thread was released.
struct Waiter {
    std::mutex mutex;
    std::condition_variable changed;
    bool done = false;
    bool shown = false;
    void Release() {
        std::lock_guard<std::mutex> lock(mutex);
        done = true;
        changed.notify_all();
    }
};

// Releases its waiter when the last reference goes: the queued call holds one
// until it has run or been dropped unrun (the application going away), then
// the box's `closed` function holds one until the box is closed or gone.
struct DoneSignal {
    explicit DoneSignal(std::shared_ptr<Waiter> w) : waiter(std::move(w)) {}
    DoneSignal(const DoneSignal&) = delete;
    DoneSignal& operator=(const DoneSignal&) = delete;
    ~DoneSignal() { waiter->Release(); }
    std::shared_ptr<Waiter> waiter;
};

std::mutex g_waitersLock;
std::set<std::shared_ptr<Waiter>> g_waiters;     // threads waiting for a box now
bool g_released = false;                         // ReleaseMessageWaiters has run
std::vector<QPointer<QMessageBox>> g_openBoxes;  // GUI thread only

// The application's queue for boxes raised on other threads; cleared (under
// g_waitersLock) when the application deletes it.
class BoxCalls : public QueuedCalls {
  public:
    using QueuedCalls::QueuedCalls;
    ~BoxCalls() override;
};
BoxCalls* g_boxCalls = nullptr;

BoxCalls::~BoxCalls() {
    std::lock_guard<std::mutex> lock(g_waitersLock);
    if (g_boxCalls == this) g_boxCalls = nullptr;
}

void PrintToStderr(const std::string& text, const std::string& caption) {
    std::fprintf(stderr, "%s: %s\n", caption.c_str(), text.c_str());
    std::fflush(stderr);
}

void WaitForBox(const std::shared_ptr<Waiter>& waiter, MessagePresenter present,
                const std::string& text, const std::string& caption) {
    {
        std::lock_guard<std::mutex> lock(g_waitersLock);
        if (g_released || g_boxCalls == nullptr) {
            PrintToStderr(text, caption);
            return;
        }
        g_waiters.insert(waiter);
        // Everything by value: a released thread returns before the call may run.
        // The lock keeps the queue from going while the call is handed over.
        g_boxCalls->Post([present = std::move(present), text, caption, waiter,
                          done = std::make_shared<DoneSignal>(waiter)]() mutable {
            {
                std::lock_guard<std::mutex> lock(waiter->mutex);
                if (waiter->done) return;  // released before it could be shown
                waiter->shown = true;
            }
            present(text, caption, [done = std::move(done)] { done->waiter->Release(); });
        });
    }
    bool shown;
    {
        std::unique_lock<std::mutex> lock(waiter->mutex);
        waiter->changed.wait(lock, [&] { return waiter->done; });
        shown = waiter->shown;
    }
    {
        std::lock_guard<std::mutex> lock(g_waitersLock);
        g_waiters.erase(waiter);
    }
    // Never lost: a message the GUI thread did not get to show goes to stderr.
    if (!shown) PrintToStderr(text, caption);
}

}  // namespace

MessageSink MakeGuiThreadSink(MessageSink onGuiThread, MessagePresenter fromOtherThread) {
    {
        std::lock_guard<std::mutex> lock(g_waitersLock);
        g_released = false;
        // The queue is made on the GUI thread, once per application.
        QCoreApplication* app = QCoreApplication::instance();
        if (app != nullptr && (g_boxCalls == nullptr || g_boxCalls->parent() != app))
            g_boxCalls = new BoxCalls(app);
    }
    return [onGuiThread = std::move(onGuiThread), fromOtherThread = std::move(fromOtherThread)](
               const std::string& text, const std::string& caption) {
        QCoreApplication* app = QCoreApplication::instance();
        if (app == nullptr) {
            PrintToStderr(text, caption);
            return;
        }
        if (QThread::currentThread() == app->thread()) {
            onGuiThread(text, caption);
            return;
        }
        // The render module shows messages only after it has let go of the scene
        // lock, and nothing on the GUI thread waits for this box, so the window
        // goes on while this thread waits.
        WaitForBox(std::make_shared<Waiter>(), fromOtherThread, text, caption);
    };
}

void ShowMessageBox(const std::string& text, const std::string& caption) {
    QMessageBox box(QMessageBox::NoIcon, QString::fromStdString(caption),
                    QString::fromStdString(text), QMessageBox::Ok);
    box.exec();
}

void OpenMessageBox(const std::string& text, const std::string& caption,
                    std::function<void()> closed) {
    auto* box = new QMessageBox(QMessageBox::NoIcon, QString::fromStdString(caption),
                                QString::fromStdString(text), QMessageBox::Ok);
    // A message box is application-modal unless told otherwise.
    box->setWindowModality(Qt::NonModal);
    box->setAttribute(Qt::WA_DeleteOnClose);
    // The connection keeps `closed` until the box is deleted.
    QObject::connect(box, &QDialog::finished, box, [closed = std::move(closed)] { closed(); });
    std::erase_if(g_openBoxes, [](const QPointer<QMessageBox>& b) { return b.isNull(); });
    g_openBoxes.emplace_back(box);
    box->show();
}

void ReleaseMessageWaiters() {
    std::set<std::shared_ptr<Waiter>> waiters;
    {
        std::lock_guard<std::mutex> lock(g_waitersLock);
        g_released = true;
        waiters = g_waiters;
    }
    for (const auto& waiter : waiters) waiter->Release();
    for (const QPointer<QMessageBox>& box : std::exchange(g_openBoxes, {}))
        if (box) box->done(QMessageBox::Ok);
}

void InstallQtMessageSink() {
    SetMessageSink(MakeGuiThreadSink(ShowMessageBox, OpenMessageBox));
    if (QCoreApplication* app = QCoreApplication::instance())
        QObject::connect(app, &QCoreApplication::aboutToQuit, app, ReleaseMessageWaiters);
}

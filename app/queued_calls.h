// Functions handed from any thread to the thread of a QObject (the GUI thread),
// run there in the order they came. The functions cross over under a std::mutex
// and only a bare event goes through Qt's queue, so the hand-over is visible to
// a thread checker, which does not see Qt's own locks.
#pragma once

#include <QObject>
#include <functional>
#include <mutex>
#include <vector>

class QueuedCalls : public QObject {
  public:
    // Lives on the thread of `parent` and goes with it; calls still waiting then
    // are dropped unrun (their functions destroyed).
    explicit QueuedCalls(QObject* parent);
    ~QueuedCalls() override;

    // Any thread: `call` runs on this object's thread once its event loop gets to it.
    void Post(std::function<void()> call);

  protected:
    bool event(QEvent* event) override;

  private:
    std::mutex mutex_;
    std::vector<std::function<void()>> pending_;
};

#include <QCoreApplication>

#include "script/script_internal.h"

namespace script::detail {

namespace {
// QJSEngine refuses to start without an application object. Tools without Qt
// get one made on the first script thread; it is never deleted, as Qt allows
// one per process and other hosts may use it later.
void EnsureApplication() {
    static std::mutex lock;
    std::lock_guard<std::mutex> guard(lock);
    if (QCoreApplication::instance() != nullptr) return;
    static int argc = 1;
    static char name[] = "orvane";
    static char* argv[] = {name, nullptr};
    new QCoreApplication(argc, argv);
}
}  // namespace

ScriptThread::ScriptThread() : m_thread([this] { Loop(); }) {}

ScriptThread::~ScriptThread() {
    {
        std::lock_guard<std::mutex> guard(m_lock);
        m_stop = true;
    }
    m_wake.notify_all();
    m_thread.join();
}

void ScriptThread::Loop() {
    EnsureApplication();
    std::unique_lock<std::mutex> guard(m_lock);
    for (;;) {
        m_wake.wait(guard, [this] { return m_stop || (m_job != nullptr && !m_done); });
        if (m_stop) return;
        const std::function<void()>* job = m_job;
        guard.unlock();
        (*job)();
        guard.lock();
        m_done = true;
        m_wake.notify_all();
    }
}

bool ScriptThread::Run(const std::function<void()>& job, std::chrono::milliseconds budget,
                       const std::function<void()>& interrupt) {
    std::lock_guard<std::mutex> call(m_callLock);
    std::unique_lock<std::mutex> guard(m_lock);
    m_job = &job;
    m_done = false;
    m_wake.notify_all();
    bool overran = false;
    const bool timed = budget != std::chrono::milliseconds::max();
    if (timed && !m_wake.wait_for(guard, budget, [this] { return m_done; })) {
        overran = true;
        guard.unlock();
        interrupt();
        guard.lock();
    }
    m_wake.wait(guard, [this] { return m_done; });
    m_job = nullptr;
    return overran;
}

void ScriptThread::Run(const std::function<void()>& job) {
    Run(job, std::chrono::milliseconds::max(), [] {});
}

}  // namespace script::detail

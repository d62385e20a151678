#include <QCoreApplication>
#include <QLoggingCategory>

#include "script/script_internal.h"

namespace script::detail {

namespace {
// QJSEngine refuses to start without an application object. Tools without Qt
// get one made on the first script thread; it is never deleted, as Qt allows
// one per process and other hosts may use it later.
void EnsureApplication() {
    static std::mutex lock;
    std::lock_guard<std::mutex> guard(lock);
    // The engine keeps a function's registers on a JS stack of its own, one
    // per element of an array literal, and writes past a full stack instead
    // of failing: minified scripts carry data tables of millions of
    // elements. The stack is reserved address space, used as it fills; with
    // programs of at most kMaxSourceBytes it cannot overflow.
    if (!qEnvironmentVariableIsSet("QV4_JS_MAX_STACK_SIZE"))
        qputenv("QV4_JS_MAX_STACK_SIZE", QByteArray::number(kJsStackBytes));
    if (QCoreApplication::instance() != nullptr) return;
    static int argc = 1;
    static char name[] = "orvane";
    static char* argv[] = {name, nullptr};
    new QCoreApplication(argc, argv);
}

// The engine's compiler warns on standard error about patterns in a program
// (a variable used before its declaration); the host reports a script's
// errors itself and leaves its style alone.
void QuietCompiler() {
    static std::once_flag once;
    std::call_once(once, [] { QLoggingCategory::setFilterRules("qt.qml.compiler=false"); });
}
}  // namespace

ScriptThread::ScriptThread() : m_thread([this] { Loop(); }) {}

ScriptThread::~ScriptThread() {
    m_stop = true;
    Notify();
    m_thread.join();
}

void ScriptThread::Notify() {
    { std::lock_guard<std::mutex> guard(m_lock); }  // a waiter is either waiting or sees the flag
    m_wake.notify_all();
}

template <class Ready>
bool ScriptThread::Spin(Ready ready) {
    // A cascade step sends a script several events in a row, and most calls
    // take microseconds: both sides poll briefly before they sleep, which saves
    // the thread switch's wake-up time on a busy machine.
    const auto until = std::chrono::steady_clock::now() + std::chrono::microseconds(50);
    while (!ready()) {
        if (std::chrono::steady_clock::now() > until) return false;
        std::this_thread::yield();
    }
    return true;
}

void ScriptThread::Loop() {
    EnsureApplication();
    QuietCompiler();
    auto ready = [this] { return m_stop.load() || m_job.load() != nullptr; };
    for (;;) {
        if (!Spin(ready)) {
            std::unique_lock<std::mutex> guard(m_lock);
            m_wake.wait(guard, ready);
        }
        if (m_stop) return;
        (*m_job.load())();
        m_job = nullptr;
        m_done = true;
        Notify();
    }
}

bool ScriptThread::Run(const std::function<void()>& job, std::chrono::milliseconds budget,
                       const std::function<void()>& interrupt) {
    std::lock_guard<std::mutex> call(m_callLock);
    m_done = false;
    m_job = &job;
    Notify();
    auto done = [this] { return m_done.load(); };
    if (Spin(done)) return false;
    std::unique_lock<std::mutex> guard(m_lock);
    bool overran = false;
    const bool timed = budget != std::chrono::milliseconds::max();
    if (timed && !m_wake.wait_for(guard, budget, done)) {
        overran = true;
        guard.unlock();
        interrupt();
        guard.lock();
    }
    m_wake.wait(guard, done);
    return overran;
}

void ScriptThread::Run(const std::function<void()>& job) {
    Run(job, std::chrono::milliseconds::max(), [] {});
}

}  // namespace script::detail

#include "rendermodule/render_thread.h"

#include <chrono>

#include "rendermodule/mm_clock.h"
#include "trace/debug_trace.h"

CRenderThread::CRenderThread(std::function<void()> step) : m_step(std::move(step)) {
    m_thread = std::thread([this] { Body(); });
}

CRenderThread::~CRenderThread() {
    Terminate(UINT32_MAX);
    if (m_thread.joinable()) m_thread.join();
}

CRenderThread::State CRenderThread::GetState() const {
    std::lock_guard<std::mutex> lock(m_lock);
    return m_state;
}

void CRenderThread::SetState(State state) {
    std::lock_guard<std::mutex> lock(m_lock);
    if (m_state == kTerminating) return;  // an ending thread stays ending
    m_state = state;
    m_changed.notify_all();
}

bool CRenderThread::Terminate(std::uint32_t timeoutMs) {
    std::unique_lock<std::mutex> lock(m_lock);
    m_state = kTerminating;
    m_changed.notify_all();
    bool ended = m_endedSignal.wait_for(lock, std::chrono::milliseconds(timeoutMs),
                                        [this] { return m_ended; });
    return ended;
}

void CRenderThread::Body() {
    DebugPrintf("CRenderThread start his lift\n");
    std::unique_lock<std::mutex> lock(m_lock);
    while (m_state != kTerminating) {
        if (m_state != kRunning) {
            // Paused: look again after the poll interval, or as soon as the state changes.
            m_changed.wait_for(lock, std::chrono::milliseconds(kPollMs));
            continue;
        }
        lock.unlock();
        std::uint32_t t0 = TimeGetTime();
        if (m_step) m_step();
        std::uint32_t spent = TimeGetTime() - t0;
        lock.lock();
        if (spent < kFrameMs && m_state == kRunning) {
            m_changed.wait_for(lock, std::chrono::milliseconds(kFrameMs - spent),
                               [this] { return m_state != kRunning; });
        }
    }
    m_ended = true;
    m_endedSignal.notify_all();
    lock.unlock();
    DebugPrintf("CRenderThread End his lift\n");
}

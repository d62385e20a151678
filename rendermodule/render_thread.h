// CRenderThread: the animation thread. Starts paused; while running it calls
// the step function (one animation step and render) at most every 20 ms;
// while paused it looks at its state every 333 ms. Play/Stop change the state
// from the window thread; destruction ends the thread and waits for it.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <thread>

class CRenderThread {
  public:
    enum State : std::int32_t { kRunning = 0, kPaused = 1, kTerminating = 2 };

    static constexpr std::uint32_t kFrameMs = 20;
    static constexpr std::uint32_t kPollMs = 333;

    explicit CRenderThread(std::function<void()> step);
    CRenderThread(const CRenderThread&) = delete;
    CRenderThread& operator=(const CRenderThread&) = delete;
    virtual ~CRenderThread();

    void Play() { SetState(kRunning); }
    void Stop() { SetState(kPaused); }
    State GetState() const;

    // Asks the thread to end and waits at most `timeoutMs` for it; true when
    // it has ended. Later calls return at once.
    bool Terminate(std::uint32_t timeoutMs);

  private:
    void SetState(State state);
    void Body();

    std::function<void()> m_step;
    mutable std::mutex m_lock;
    std::condition_variable m_changed;
    State m_state = kPaused;
    bool m_ended = false;
    std::condition_variable m_endedSignal;
    std::thread m_thread;
};

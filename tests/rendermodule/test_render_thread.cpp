#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

#include "rendermodule/render_thread.h"

namespace {

using namespace std::chrono_literals;

TEST(CRenderThread, StartsPausedAndStepsOnlyWhileRunning) {
    std::atomic<int> steps{0};
    CRenderThread* self = nullptr;
    // The third step pauses the thread from inside: no fourth may follow.
    CRenderThread thread([&] {
        if (++steps == 3) self->Stop();
    });
    self = &thread;
    EXPECT_EQ(thread.GetState(), CRenderThread::kPaused);
    EXPECT_EQ(steps.load(), 0);
    thread.Play();
    const auto deadline = std::chrono::steady_clock::now() + 10s;
    while (thread.GetState() == CRenderThread::kRunning &&
           std::chrono::steady_clock::now() < deadline)
        std::this_thread::yield();
    EXPECT_TRUE(thread.Terminate(3000));
    EXPECT_EQ(steps.load(), 3);
}

TEST(CRenderThread, TerminateEndsPromptlyEvenWhilePaused) {
    CRenderThread thread([] {});
    auto t0 = std::chrono::steady_clock::now();
    EXPECT_TRUE(thread.Terminate(3000));
    EXPECT_LT(std::chrono::steady_clock::now() - t0, 1000ms);
    EXPECT_EQ(thread.GetState(), CRenderThread::kTerminating);
    thread.Play();  // an ending thread stays ending
    EXPECT_EQ(thread.GetState(), CRenderThread::kTerminating);
}

TEST(CRenderThread, TerminateTimesOutWhileAStepRuns) {
    std::atomic<bool> release{false};
    std::atomic<bool> inStep{false};
    CRenderThread thread([&] {
        inStep = true;
        while (!release) std::this_thread::sleep_for(1ms);
    });
    thread.Play();
    while (!inStep) std::this_thread::sleep_for(1ms);
    EXPECT_FALSE(thread.Terminate(50));
    release = true;
    EXPECT_TRUE(thread.Terminate(3000));
}

}  // namespace

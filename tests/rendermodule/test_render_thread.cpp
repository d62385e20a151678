#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

#include "rendermodule/mm_clock.h"
#include "rendermodule/render_thread.h"

namespace {

using namespace std::chrono_literals;

TEST(CRenderThread, StartsPausedAndStepsOnlyWhileRunning) {
    std::atomic<int> steps{0};
    CRenderThread thread([&] { ++steps; });
    EXPECT_EQ(thread.GetState(), CRenderThread::kPaused);
    std::this_thread::sleep_for(60ms);
    EXPECT_EQ(steps.load(), 0);
    thread.Play();
    std::this_thread::sleep_for(200ms);
    thread.Stop();
    int afterStop = steps.load();
    // At most one frame per 20 ms: 200 ms gives about 10, never dozens.
    EXPECT_GE(afterStop, 2);
    EXPECT_LE(afterStop, 14);
    std::this_thread::sleep_for(80ms);
    EXPECT_LE(steps.load(), afterStop + 1);  // a step already begun may finish
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

TEST(TimeGetTime, CountsMilliseconds) {
    std::uint32_t a = TimeGetTime();
    std::this_thread::sleep_for(30ms);
    std::uint32_t elapsed = TimeGetTime() - a;
    EXPECT_GE(elapsed, 29u);
    EXPECT_LT(elapsed, 1000u);
}

}  // namespace

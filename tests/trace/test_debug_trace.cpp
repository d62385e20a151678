#include <gtest/gtest.h>

#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "trace/debug_trace.h"

namespace {

std::mutex g_seenLock;
std::vector<std::string> g_seen;

void Record(const char* text, std::size_t length) {
    std::lock_guard<std::mutex> lock(g_seenLock);
    g_seen.emplace_back(text, length);
}

class DebugTraceTest : public ::testing::Test {
  protected:
    void SetUp() override {
        g_seen.clear();
        SetDebugTraceSink(Record);
    }
    void TearDown() override { SetDebugTraceSink(nullptr); }
};

TEST_F(DebugTraceTest, FormatsLikePrintf) {
    DebugPrintf("FPS:%6.2f %s %d\n", 59.5, "no viewport!!", 7);
    ASSERT_EQ(g_seen.size(), 1u);
    EXPECT_EQ(g_seen[0], "FPS: 59.50 no viewport!! 7\n");
}

TEST_F(DebugTraceTest, LongTextIsCutToTheBound) {
    std::string huge(5000, 'x');
    DebugPrintf("%s", huge.c_str());
    ASSERT_EQ(g_seen.size(), 1u);
    EXPECT_EQ(g_seen[0].size(), kDebugTraceMax);
}

TEST_F(DebugTraceTest, LinesFromTwoThreadsStayWhole) {
    auto writer = [](char c) {
        std::string line(200, c);
        for (int i = 0; i < 500; ++i) DebugPrintf("%s\n", line.c_str());
    };
    std::thread a(writer, 'a'), b(writer, 'b');
    a.join();
    b.join();
    ASSERT_EQ(g_seen.size(), 1000u);
    for (const std::string& line : g_seen) {
        ASSERT_EQ(line.size(), 201u);
        EXPECT_EQ(line.find_first_not_of(line[0]), 200u) << line;
    }
}

TEST(DebugTraceStderr, DefaultSinkIsStandardError) {
    ::testing::internal::CaptureStderr();
    DebugPrintf(" can open file !!\n");
    EXPECT_EQ(::testing::internal::GetCapturedStderr(), " can open file !!\n");
}

}  // namespace

#include "trace/message_sink.h"

namespace {

TEST(MessageSink, RecordsAndRestores) {
    std::vector<std::pair<std::string, std::string>> seen;
    auto old = SetMessageSink(
        [&](const std::string& t, const std::string& c) { seen.emplace_back(t, c); });
    ShowMessage("Failed to create material!");
    ShowMessage("Create Clipper Failed\n", "error");
    SetMessageSink(old);
    ASSERT_EQ(seen.size(), 2u);
    EXPECT_EQ(seen[0],
              (std::pair<std::string, std::string>{"Failed to create material!", "D3DRM Sample"}));
    EXPECT_EQ(seen[1].second, "error");
    ::testing::internal::CaptureStderr();
    ShowMessage("File name error!");
    EXPECT_EQ(::testing::internal::GetCapturedStderr(), "D3DRM Sample: File name error!\n");
}

TEST(MessageSink, DeferralQueuesUntilTheOutermostEnds) {
    std::vector<std::string> seen;
    auto old = SetMessageSink([&](const std::string& t, const std::string&) { seen.push_back(t); });
    {
        MessageDeferral outer;
        ShowMessage("one");
        {
            MessageDeferral inner;
            ShowMessage("two");
        }
        EXPECT_TRUE(seen.empty());
    }
    EXPECT_EQ(seen, (std::vector<std::string>{"one", "two"}));
    ShowMessage("three");  // no deferral: shown at once
    EXPECT_EQ(seen.size(), 3u);
    SetMessageSink(old);
}

}  // namespace

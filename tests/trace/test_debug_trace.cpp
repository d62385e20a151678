#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
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

// The once-per-scope rule, a step at a time. A step is "text" or "text|caption"
// (shown), "+text" (shown every time), "/" (a new scene), "(" and ")" (a
// deferral begins, ends), "*" and "=" (the rule: every message, once per scope),
// "!" (the sink installed anew), "#" (a mark in what was seen, to tell when).
TEST(MessageSink, EachTextOncePerScope) {
    const struct {
        const char* name;
        std::vector<std::string> steps, seen;
    } kCases[] = {
        {"same text repeated", {"a", "a", "a"}, {"D3DRM Sample: a"}},
        {"two texts", {"a", "b", "a", "b", "b"}, {"D3DRM Sample: a", "D3DRM Sample: b"}},
        {"caption tells apart", {"a", "a|error", "a|error"}, {"D3DRM Sample: a", "error: a"}},
        {"a new scene shows them again",
         {"a", "b", "/", "b", "a", "a"},
         {"D3DRM Sample: a", "D3DRM Sample: b", "D3DRM Sample: b", "D3DRM Sample: a"}},
        {"deferred: once, when the deferral ends",
         {"(", "a", "a", "b", "#", ")", "a", "b"},
         {"#", "D3DRM Sample: a", "D3DRM Sample: b"}},
        {"nested deferral: at the outermost end",
         {"(", "a", "(", "a", "b", ")", "#", ")"},
         {"#", "D3DRM Sample: a", "D3DRM Sample: b"}},
        {"deferred, already shown", {"a", "(", "a", ")"}, {"D3DRM Sample: a"}},
        {"deferred across a new scene",
         {"a", "(", "/", "a", ")", "a"},
         {"D3DRM Sample: a", "D3DRM Sample: a"}},
        {"every time: each shown, none enters the scope",
         {"+a", "+a", "a", "a", "+a"},
         {"D3DRM Sample: a", "D3DRM Sample: a", "D3DRM Sample: a", "D3DRM Sample: a"}},
        {"deferred every time", {"(", "+a", "+a", ")"}, {"D3DRM Sample: a", "D3DRM Sample: a"}},
        {"the rule set to every message",
         {"*", "a", "a", "=", "a", "a"},
         {"D3DRM Sample: a", "D3DRM Sample: a", "D3DRM Sample: a"}},
        {"a new sink starts a new scope", {"a", "!", "a"}, {"D3DRM Sample: a", "D3DRM Sample: a"}},
    };
    for (const auto& c : kCases) {
        std::vector<std::string> seen;
        MessageSink record = [&](const std::string& t, const std::string& caption) {
            seen.push_back(caption + ": " + t);
        };
        MessageSink old = SetMessageSink(record);
        std::vector<std::unique_ptr<MessageDeferral>> deferrals;
        for (const std::string& step : c.steps) {
            if (step == "/")
                ResetMessageScope();
            else if (step == "(")
                deferrals.push_back(std::make_unique<MessageDeferral>());
            else if (step == ")")
                deferrals.pop_back();
            else if (step == "*")
                SetMessageRepeat(MessageRepeat::kEveryTime);
            else if (step == "=")
                SetMessageRepeat(MessageRepeat::kOncePerScope);
            else if (step == "!")
                SetMessageSink(record);
            else if (step == "#")
                seen.push_back("#");
            else if (step[0] == '+')
                ShowMessage(step.substr(1), "D3DRM Sample", MessageRepeat::kEveryTime);
            else if (auto bar = step.find('|'); bar != std::string::npos)
                ShowMessage(step.substr(0, bar), step.substr(bar + 1));
            else
                ShowMessage(step);
        }
        SetMessageRepeat(MessageRepeat::kOncePerScope);
        SetMessageSink(old);
        EXPECT_EQ(seen, c.seen) << c.name;
    }
}

TEST(MessageSink, TwoThreadsRaisingTheSameTextShowItOnce) {
    std::mutex lock;
    std::vector<std::string> seen;
    MessageSink old = SetMessageSink([&](const std::string& t, const std::string&) {
        std::lock_guard<std::mutex> hold(lock);
        seen.push_back(t);
    });
    auto raise = [](const char* own) {
        for (int i = 0; i < 2000; ++i) {
            ShowMessage("unrecognized Interpolator in CRouter::Refresh()");
            MessageDeferral defer;  // as each animation step does
            ShowMessage(own);
        }
    };
    std::thread a(raise, "a"), b(raise, "b");
    a.join();
    b.join();
    SetMessageSink(old);
    std::sort(seen.begin(), seen.end());
    EXPECT_EQ(seen, (std::vector<std::string>{"a", "b",
                                              "unrecognized Interpolator in CRouter::Refresh()"}));
}

}  // namespace

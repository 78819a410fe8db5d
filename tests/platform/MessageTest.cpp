#include "platform/MessageBox.h"
#include "platform/MessageTarget.h"
#include "platform/Messages.h"
#include "platform/StopSignal.h"

#include <gtest/gtest.h>
#include <string>
#include <thread>
#include <vector>

using namespace platform;

TEST(MessageQueue, DeliversPostsFromAnotherThreadInOrder)
{
    CMessageQueue queue;
    std::thread poster([&] {
        for (int i = 0; i < 100; ++i)
            queue.Post(WM_REGISTER_VALUE, 0, i);
    });
    for (int i = 0; i < 100; ++i) {
        auto m = queue.Take(2000);
        ASSERT_TRUE(m.has_value());
        EXPECT_EQ(m->msg, WM_REGISTER_VALUE);
        EXPECT_EQ(m->lParam, i);
    }
    poster.join();
    EXPECT_FALSE(queue.TryTake().has_value());
}

TEST(MessageBoxRecorder, RecordsAndAnswers)
{
    CMessageBoxRecorder recorder(kIdNo);
    EXPECT_EQ(ShowMessageBox("Caption", "Text", kMbYesNo | kMbIconQuestion), kIdNo);
    ASSERT_EQ(recorder.Count(), 1u);
    EXPECT_EQ(recorder.Boxes()[0].caption, "Caption");
    EXPECT_EQ(recorder.Boxes()[0].text, "Text");
    EXPECT_EQ(recorder.Boxes()[0].type, kMbYesNo | kMbIconQuestion);
}

// A box on a thread that is being stopped never waits: a window's handler is
// not asked, a log that answers at once still gets the text.
TEST(MessageBoxOnAStoppingThread, ReachesALogButNeverAWaitingHandler)
{
    std::vector<std::string> seen;
    const auto record = [&seen](const std::string&, const std::string& text, unsigned) {
        seen.push_back(text);
        return kIdNo;
    };
    CStopSignal stop;
    stop.Request();
    const auto showWhileStopping = [&stop](const char* text) {
        int answer = 0;
        std::thread t([&] {
            CThreadStopScope scope(stop);
            answer = ShowMessageBox("Caption", text, kMbYesNo);
        });
        t.join();
        return answer;
    };
    SetMessageBoxHandler(record, true);
    EXPECT_EQ(showWhileStopping("to a window"), kIdYes);
    SetMessageBoxHandler(record, false);
    EXPECT_EQ(showWhileStopping("to a log"), kIdYes);
    SetMessageBoxHandler(nullptr);
    EXPECT_EQ(seen, std::vector<std::string>{"to a log"});
}

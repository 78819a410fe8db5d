#include "platform/MessageBox.h"
#include "platform/MessageTarget.h"
#include "platform/Messages.h"

#include <gtest/gtest.h>
#include <thread>

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

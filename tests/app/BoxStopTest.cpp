// A worker waiting for a box while the UI thread stops it: the stop returns
// at once, the box closes or is never shown, and the thread is joined. Real
// threads and real boxes on Qt's offscreen platform.
#include <gtest/gtest.h>

#include <QApplication>
#include <QEventLoop>
#include <QMessageBox>
#include <QTimer>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <functional>
#include <thread>

#include "ui/QtMessageBox.h"
#include "link/PollThread.h"
#include "support/PtyPair.h"
#include "link/SerialPort.h"
#include "platform/MessageBox.h"

namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

QMessageBox* ShownBox()
{
    for (QWidget* widget : QApplication::topLevelWidgets())
        if (auto* box = qobject_cast<QMessageBox*>(widget); box != nullptr && box->isVisible())
            return box;
    return nullptr;
}

class CQuietPort : public CSerialPort {
public:
    ~CQuietPort() override { ShutdownPort(); }
    void OnReceiveByte(std::uint8_t) override {}
};

// The parameter: whether the box is already shown when the stop comes, or
// still queued (the UI thread is in the stop and runs no events).
class BoxStop : public ::testing::TestWithParam<bool> {
protected:
    static void SetUpTestSuite()
    {
        static int argc = 1;
        static char name[] = "app_box_stop_tests";
        static char* argv[] = {name, nullptr};
        if (!std::getenv("QT_QPA_PLATFORM"))
            qputenv("QT_QPA_PLATFORM", "offscreen");
        if (QApplication::instance() == nullptr)
            new QApplication(argc, argv);
        InstallQtMessageBoxHandler();
    }
    static void TearDownTestSuite() { platform::SetMessageBoxHandler(nullptr); }

    // Runs `stop` on the UI thread while the worker's box is pending: from a
    // timer inside the box's modal loop once it shows, or, when queued, once
    // `asked` says the worker wants it. Returns how long `stop` took; no box
    // is left or shows up afterwards.
    static Clock::duration StopWithBoxPending(const std::function<bool()>& asked, const std::function<void()>& stop)
    {
        Clock::duration took = Clock::duration::max();
        const auto timedStop = [&] {
            const auto start = Clock::now();
            stop();
            took = Clock::now() - start;
        };
        if (GetParam()) {
            QEventLoop loop;
            QTimer timer;
            QObject::connect(&timer, &QTimer::timeout, [&] {
                if (ShownBox() == nullptr)
                    return;
                timer.stop();
                timedStop();
                loop.quit();
            });
            timer.start(10);
            QTimer::singleShot(5000, &loop, &QEventLoop::quit);
            loop.exec();
        } else {
            const auto deadline = Clock::now() + 5s;
            while (!asked() && Clock::now() < deadline)
                std::this_thread::sleep_for(5ms);
            std::this_thread::sleep_for(100ms); // the worker has queued its box by now
            timedStop();
        }
        for (int i = 0; i < 10; ++i) {
            QCoreApplication::processEvents();
            std::this_thread::sleep_for(5ms);
        }
        EXPECT_EQ(ShownBox(), nullptr);
        return took;
    }
};

TEST_P(BoxStop, PollThreadStopsAndItsBoxCountsAsTheFirstButton)
{
    CPollThread poll;
    std::atomic<bool> asked{false};
    std::atomic<int> answer{0};
    ASSERT_TRUE(poll.Start([&] {
        if (!asked.exchange(true))
            answer = platform::ShowMessageBox("Time-out", "No reply", platform::kMbYesNo);
    }));
    EXPECT_LT(StopWithBoxPending([&] { return asked.load(); }, [&] { poll.Stop(); }), 1s);
    EXPECT_FALSE(poll.IsRunning());
    EXPECT_EQ(answer.load(), platform::kIdYes);
}

TEST_P(BoxStop, PortClosesWhileItsThreadReportsTheDeviceGone)
{
    CPtyPair pty;
    CQuietPort port;
    ASSERT_EQ(port.OpenPort(nullptr, pty.SlavePath()), 1);
    ASSERT_TRUE(port.StartPortThread());
    pty.ReleaseSlave();
    pty.CloseMaster(); // the port thread fails the wait and reports it
    EXPECT_LT(StopWithBoxPending([&] { return port.HasFailed(); }, [&] { port.ClosePort(); }), 1s);
    EXPECT_FALSE(port.IsThreadAlive());
    EXPECT_FALSE(port.IsOpen());
}

INSTANTIATE_TEST_SUITE_P(Box, BoxStop, ::testing::Bool(),
                         [](const ::testing::TestParamInfo<bool>& info) { return info.param ? "Shown" : "Queued"; });

} // namespace

// The power view's link logic in real time: its poll thread, the port
// thread and zelvan-sim as a separate process on a pseudo-terminal. The test
// thread plays the UI thread: it pumps the view's messages.
#include <gtest/gtest.h>

#include <dirent.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "support/PtyPair.h"
#include "link/InvComSet.h"
#include "link/PowerViewLink.h"
#include "platform/MessageBox.h"
#include "platform/Messages.h"
#include "support/SimProcess.h"

namespace {

using Clock = std::chrono::steady_clock;

int ThreadCount()
{
    int n = 0;
    if (DIR* dir = ::opendir("/proc/self/task")) {
        while (const dirent* e = ::readdir(dir))
            n += e->d_name[0] != '.' ? 1 : 0;
        ::closedir(dir);
    }
    return n;
}

// A power view without a window: hooks record, the test thread pumps.
class CLiveView {
public:
    CLiveView()
    {
        SPowerViewHooks hooks;
        hooks.onValue = [this](int reg, std::uint16_t, int) {
            ++nValues;
            nModelReads += reg == 44 ? 1 : 0; // the model code of types 0 and 1
        };
        hooks.onPageValue = [this](int, std::uint16_t, int, int, bool) { ++nPageValues; };
        hooks.onCycleEnd = [this] { ++nCycles; };
        hooks.onStatus = [this](const std::string& s) { statuses.push_back(s); };
        hooks.postDetectionLine = [this](const std::string& s) {
            std::lock_guard<std::mutex> guard(m_lock);
            m_lines.push_back(s);
        };
        hooks.endDetectionDialog = [this] { bDialogEnded = true; };
        hooks.runDetectionDialog = [this] {
            bDialogEnded = false;
            view.SetDetectionDialogAlive(true);
            PumpUntil([this] { return bDialogEnded; }, nDetectTimeoutMs);
            view.SetDetectionDialogAlive(false);
        };
        view.SetHooks(std::move(hooks));
    }
    ~CLiveView() { view.StopPollThread(); }

    void Dispatch(const platform::PostedMessage& m)
    {
        if (m.msg == platform::WM_REGISTER_VALUE)
            view.OnRegisterValue(m.wParam, m.lParam);
        else if (m.msg == platform::WM_LINK_LOST) {
            ++nLinkLost;
            view.OnLinkLost(m.wParam, m.lParam);
        }
    }

    // The UI thread's message loop until `done` holds or the time is up.
    bool PumpUntil(const std::function<bool()>& done, int timeoutMs)
    {
        const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
        while (!done()) {
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
            if (left.count() <= 0)
                return false;
            if (auto m = queue.Take(static_cast<unsigned>(std::min<long>(left.count(), 50))))
                Dispatch(*m);
        }
        return true;
    }

    // Starts the poll thread and a detection over the given ports.
    bool Detect(const std::string& ports)
    {
        ::setenv("ZELVAN_SERIAL_PORTS", ports.c_str(), 1);
        EXPECT_TRUE(view.StartPollThread());
        view.OnRescanPorts();
        return view.IsConnected();
    }

    bool WaitCycles(int more, int timeoutMs)
    {
        const int target = nCycles + more;
        return PumpUntil([&] { return nCycles >= target; }, timeoutMs);
    }

    std::vector<std::string> Lines()
    {
        std::lock_guard<std::mutex> guard(m_lock);
        return m_lines;
    }

    platform::CMessageQueue queue;
    CPowerViewLink view{queue};
    int nValues = 0;
    int nModelReads = 0;
    int nPageValues = 0;
    int nCycles = 0;
    int nLinkLost = 0;
    bool bDialogEnded = false;
    int nDetectTimeoutMs = 10000;
    std::vector<std::string> statuses;

private:
    std::mutex m_lock;
    std::vector<std::string> m_lines;
};

TEST(LivePolling, DetectsTypeZeroLearningTheSerialNumberThenPolls)
{
    CSimProcess sim;
    ASSERT_TRUE(sim.Start({"--protocol", "0", "--serial", "210987654321"}));
    CLiveView live;
    ASSERT_TRUE(live.Detect(sim.Path()));
    CInverterCom& link = live.view.Link();
    EXPECT_EQ(link.ProtocolType(), 0);
    EXPECT_EQ(live.Lines(), std::vector<std::string>{"Detecting " + sim.Path()});
    ASSERT_TRUE(live.WaitCycles(3, 8000));
    EXPECT_EQ(FormatSerialNumber(link.Serial()), "210987654321");
    EXPECT_EQ(FormatSerialNumber(link.Address()), "210987654321");
    EXPECT_EQ(live.statuses.front(), "Connected");
    EXPECT_EQ(live.nLinkLost, 0);
}

TEST(LivePolling, DetectsTypeOneLearningTheSlaveAddressThenPolls)
{
    CSimProcess sim;
    ASSERT_TRUE(sim.Start({"--protocol", "1", "--address", "17"}));
    CLiveView live;
    ASSERT_TRUE(live.Detect(sim.Path()));
    EXPECT_EQ(live.view.Link().ProtocolType(), 1);
    EXPECT_EQ(live.view.Link().AddressByte(0), 17);
    ASSERT_TRUE(live.WaitCycles(3, 8000));
    EXPECT_EQ(FormatSerialNumber(live.view.Link().Serial()), "123456789012");
    EXPECT_EQ(live.nLinkLost, 0);

    // The connect command while connected closes the port, and the port
    // stays closed: an operator's disconnect is no failure to repair.
    live.view.OnConnectToggle();
    EXPECT_FALSE(live.view.IsConnected());
    const int cycles = live.nCycles;
    live.PumpUntil([&] { return live.nLinkLost >= 1; }, 9000);
    EXPECT_FALSE(live.view.Link().IsOpen());
    EXPECT_EQ(live.nCycles, cycles);
}

TEST(LivePolling, DetectsTypeTwoLearningTheSlaveAddressThenPolls)
{
    CSimProcess sim;
    ASSERT_TRUE(sim.Start({"--protocol", "2", "--address", "9"}));
    CLiveView live;
    ASSERT_TRUE(live.Detect(sim.Path()));
    EXPECT_EQ(live.view.Link().ProtocolType(), 2);
    EXPECT_EQ(live.view.Link().AddressByte(0), 9);
    ASSERT_TRUE(live.WaitCycles(2, 12000));
    EXPECT_EQ(live.nLinkLost, 0);
}

TEST(LiveSupervision, SilencedInverterIsReportedLostAndValuesFlowAgainWhenItSpeaks)
{
    CSimProcess sim;
    ASSERT_TRUE(sim.Start({"--protocol", "1"}));
    CLiveView live;
    ASSERT_TRUE(live.Detect(sim.Path()));
    ASSERT_TRUE(live.WaitCycles(1, 6000));

    ASSERT_EQ(sim.Command("silence on").rfind("ok", 0), 0u);
    ASSERT_TRUE(live.PumpUntil([&] { return live.nLinkLost >= 1; }, 9000));
    EXPECT_EQ(live.statuses.back(), "Dis-connected");
    const int cycles = live.nCycles;

    ASSERT_EQ(sim.Command("silence off").rfind("ok", 0), 0u);
    ASSERT_TRUE(live.WaitCycles(2, 8000)) << "values flow again without a restart";
    EXPECT_GT(live.nCycles, cycles);
    EXPECT_EQ(live.statuses.back(), "Connected");
}

TEST(LiveSupervision, CutRepliesDoNotHangTheLink)
{
    CSimProcess sim;
    ASSERT_TRUE(sim.Start({"--protocol", "1"}));
    CLiveView live;
    ASSERT_TRUE(live.Detect(sim.Path()));
    ASSERT_TRUE(live.WaitCycles(1, 6000));

    // Every reply breaks off: the parser is left inside a frame each time,
    // and the third miss starts the port afresh.
    ASSERT_EQ(sim.Command("cut 100").rfind("ok", 0), 0u);
    ASSERT_TRUE(live.PumpUntil([&] { return live.nLinkLost >= 1; }, 9000));
    ASSERT_EQ(sim.Command("cut 0").rfind("ok", 0), 0u);
    ASSERT_TRUE(live.WaitCycles(2, 8000));
    EXPECT_TRUE(live.view.Link().IsThreadAlive());
}

TEST(LiveSupervision, DeviceGoneAndBackUnderTheSameNameIsPolledAgain)
{
    platform::CMessageBoxRecorder boxes;
    const std::string dir = ::testing::TempDir() + "zelvan-poll-" + std::to_string(::getpid());
    std::filesystem::create_directories(dir);
    const std::string port = dir + "/inverter";

    auto first = std::make_unique<CSimProcess>();
    ASSERT_TRUE(first->Start({"--protocol", "1", "--link", port}));
    CLiveView live;
    ASSERT_TRUE(live.Detect(port));
    ASSERT_TRUE(live.WaitCycles(1, 6000));

    // The device goes away: one error box for this opening, the link is lost.
    first->Stop();
    first.reset();
    ASSERT_TRUE(live.PumpUntil([&] { return live.nLinkLost >= 1; }, 9000));
    EXPECT_LE(boxes.Count(), 1u);

    // A device appears under the same name: polling resumes by itself.
    CSimProcess second;
    ASSERT_TRUE(second.Start({"--protocol", "1", "--link", port}));
    ASSERT_TRUE(live.WaitCycles(2, 12000));
    EXPECT_EQ(live.statuses.back(), "Connected");
    EXPECT_LE(boxes.Count(), 1u) << "no box for the quiet attempts";
    std::filesystem::remove_all(dir);
}

TEST(LivePolling, ANewDetectionFindingAnotherInverterReadsItFromTheStart)
{
    CSimProcess first;
    CSimProcess second;
    ASSERT_TRUE(first.Start({"--protocol", "1", "--serial", "111111111111"}));
    ASSERT_TRUE(second.Start({"--protocol", "1", "--serial", "222222222222"}));
    CLiveView live;
    ASSERT_TRUE(live.Detect(first.Path()));
    ASSERT_TRUE(live.WaitCycles(2, 8000));
    EXPECT_EQ(live.nModelReads, 1);

    // The same inverter again: polling goes on where it was.
    live.view.OnRescanPorts();
    ASSERT_TRUE(live.WaitCycles(2, 8000));
    EXPECT_EQ(live.nModelReads, 1);

    // Another one: its model code is read before its running data.
    ::setenv("ZELVAN_SERIAL_PORTS", second.Path().c_str(), 1);
    live.view.OnRescanPorts();
    ASSERT_TRUE(live.WaitCycles(2, 8000));
    EXPECT_EQ(FormatSerialNumber(live.view.Link().Serial()), "222222222222");
    EXPECT_EQ(FormatSerialNumber(live.view.ConnectedSerial()), "222222222222");
    EXPECT_EQ(live.nModelReads, 2);
}

// A page that reads the running data in one block.
class CReadPage : public CInvComSet {
public:
    static constexpr int kCount = 31;
    explicit CReadPage(CInverterCom& link) { SetLink(&link); }
    ~CReadPage() override { m_bAlive.store(false); }
    void DisplayRegisterValue(int, platform::WPARAM, std::uint16_t) override { ++nShown; }
    void SendRequest() override { Link()->ReadRegisters(11, kCount); }
    void EnableCommands(bool) override {}
    bool OnTick() override
    {
        EXPECT_TRUE(m_bAlive.load()) << "a closed page was ticked";
        return CInvComSet::OnTick();
    }
    int nShown = 0;

private:
    std::atomic<bool> m_bAlive{true};
};

TEST(LiveStop, StoppingThePollThreadIsQuickInEveryPhaseAndLeavesNoThread)
{
    CSimProcess sim;
    ASSERT_TRUE(sim.Start({"--protocol", "1"}));
    CPtyPair silent;
    ASSERT_TRUE(silent.Ok());
    // A sanitizer starts a helper thread of its own with the first thread.
    std::thread([] {}).join();
    const int threadsBefore = ThreadCount();
    const auto stopTime = [](CLiveView& live) {
        const auto start = Clock::now();
        live.view.StopPollThread();
        return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count();
    };

    {
        // During detection: a port that never answers is being probed.
        CLiveView live;
        live.nDetectTimeoutMs = 1500;
        EXPECT_FALSE(live.Detect("/dev/zelvan-no-such-port:" + silent.SlavePath()));
        EXPECT_TRUE(live.view.Link().IsProbePending());
        EXPECT_LT(stopTime(live), 1000);
        EXPECT_FALSE(live.view.IsPollThreadRunning());
    }
    {
        // During polling, and during a page's cycle with pages opened and
        // closed under the running thread.
        CLiveView live;
        ASSERT_TRUE(live.Detect(sim.Path()));
        ASSERT_TRUE(live.WaitCycles(1, 12000));
        for (int round = 0; round < 5; ++round) {
            auto page = std::make_unique<CReadPage>(live.view.Link());
            live.view.SetOpenPage(page.get());
            live.PumpUntil([&] { return page->nShown >= CReadPage::kCount; }, 3000);
            live.view.SetOpenPage(nullptr);
            if (live.view.Link().LinkState() != kLinkIdle)
                live.view.SetValuePosition(page->ValueCount());
        }
        EXPECT_GT(live.nPageValues, 0);
        auto page = std::make_unique<CReadPage>(live.view.Link());
        live.view.SetOpenPage(page.get());
        live.PumpUntil([] { return false; }, 500);
        EXPECT_LT(stopTime(live), 1000);
        live.view.SetOpenPage(nullptr);
        ASSERT_TRUE(live.view.StartPollThread());
        ASSERT_TRUE(live.WaitCycles(1, 12000)) << "the view's own cycle resumes";
        EXPECT_LT(stopTime(live), 1000);
    }
    EXPECT_EQ(ThreadCount(), threadsBefore);
}

} // namespace

// The power view's link logic on a fake clock: the poll thread's passes are
// run by hand, 200 ms of fake time apart, and the simulated inverter engine
// answers in-process. Nothing here sleeps.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "InverterSim.h"
#include "support/LinkTestUtil.h"
#include "support/PtyPair.h"
#include "link/Crc16.h"
#include "link/InvComSet.h"
#include "link/PollThread.h"
#include "link/PowerViewLink.h"
#include "platform/MessageBox.h"
#include "platform/Messages.h"
#include "platform/Tick.h"

namespace {

using platform::DWORD;

struct Request {
    int nFunction = 0;
    int nWire = 0;
    int nQuantity = 0;
    DWORD dwTick = 0;
    int nStep = 0;
    bool operator==(const Request& o) const
    {
        return nFunction == o.nFunction && nWire == o.nWire && nQuantity == o.nQuantity;
    }
};

Request Req(int fc, int wire, int qty) { return Request{fc, wire, qty, 0, 0}; }

// A view's link with a fake clock, a message queue as its window and an
// in-process inverter behind a link that has no device.
class CViewBench {
public:
    explicit CViewBench(int type, int address = 7)
    {
        SimIdentity id;
        id.nProtocolType = type;
        id.nAddress = address;
        m_pSim = std::make_unique<CInverterSim>(id, SimTime{}, 0);
        view.SetPauseFunction([this](int ms) { ticks.Advance(static_cast<DWORD>(ms)); });
        view.Link().SetOwner(&queue);
        SPowerViewHooks hooks;
        hooks.onValue = [this](int reg, std::uint16_t w, int state) { values.push_back({reg, w, state}); };
        hooks.onCycleEnd = [this] { ++nCycles; };
        hooks.onStatus = [this](const std::string& s) { statuses.push_back(s); };
        hooks.onVersion = [this](std::uint16_t w) { nVersion = w; };
        hooks.postDetectionLine = [this](const std::string& s) { lines.push_back({s, ticks.Now()}); };
        view.SetHooks(std::move(hooks));
    }

    // Connected already, with the inverter's address learned.
    void ConnectDirectly(int type, int address = 7)
    {
        CInverterCom& link = view.Link();
        link.SetProtocolType(type);
        if (type == 0)
            link.SetAddress({0x12, 0x34, 0x56, 0x78, 0x90, 0x12});
        else
            link.SetAddressByte(0, static_cast<std::uint8_t>(address));
        view.SetConnected(true);
    }

    // One pass of the poll thread 200 ms after the last; an answer, if any,
    // comes 40 ms after the request.
    void Tick()
    {
        ticks.Advance(160);
        m_nSimMs += 160;
        view.PollStep();
        AnswerNewRequest();
        ticks.Advance(40);
        m_nSimMs += 40;
        Pump();
    }
    void RunFor(int ms)
    {
        for (int t = 0; t < ms; t += 200)
            Tick();
    }

    // What the view does with its messages.
    void Pump()
    {
        while (auto m = queue.TryTake()) {
            if (m->msg == platform::WM_REGISTER_VALUE) {
                view.OnRegisterValue(m->wParam, m->lParam);
                AnswerNewRequest(); // sent from the UI side while connecting
            } else if (m->msg == platform::WM_LINK_LOST) {
                linkLostAt.push_back(ticks.Now());
                view.OnLinkLost(m->wParam, m->lParam);
            }
        }
    }

    // The link has no device here: the bench takes each frame from the send
    // buffer as a port thread would, decodes it and lets the inverter answer.
    void AnswerNewRequest()
    {
        std::uint8_t buffer[CSerialPort::kSendBufferSize];
        const std::size_t length = view.Link().TakeSendBuffer(buffer, sizeof buffer);
        if (length > 0)
            OnSent(Bytes(buffer, buffer + length));
    }

    void OnSent(const Bytes& frame)
    {
        const std::size_t h = view.Link().ProtocolType() == 0 ? 6 : 1;
        Request r;
        r.nFunction = static_cast<std::uint8_t>(frame[h]);
        r.nWire = static_cast<std::uint8_t>(frame[h + 1]) * 256 + static_cast<std::uint8_t>(frame[h + 2]);
        r.nQuantity = static_cast<std::uint8_t>(frame[h + 4]);
        r.dwTick = ticks.Now();
        r.nStep = view.Step();
        sent.push_back(r);
        if (!bAnswering)
            return;
        for (const SimReply& reply : m_pSim->Receive(frame, SimNow()))
            Feed(reply.bytes);
    }

    // The inverter's own clock: the time the bench has run, across any wrap.
    std::int64_t SimNow() const { return m_nSimMs; }

    void Feed(const Bytes& bytes)
    {
        for (std::uint8_t b : bytes)
            view.Link().OnReceiveByte(b);
    }

    // The detection dialog's modal loop: the poll thread's passes 200 ms
    // apart until the walk ends or `ms` have passed; `onPass` after each
    // pass, told whether it sent a request.
    void RunDetectionDialog(int ms, const bool& bEnded, const std::function<void(bool)>& onPass)
    {
        view.SetDetectionDialogAlive(true);
        for (int t = 0; t < ms && !bEnded; t += 200) {
            ticks.Advance(200);
            const DWORD before = view.Link().LastRequestTick();
            view.PollStep();
            onPass(view.Link().LastRequestTick() != before);
        }
        view.SetDetectionDialogAlive(false);
    }

    struct Value {
        int nRegister;
        std::uint16_t wValue;
        int nLinkState;
    };
    struct Line {
        std::string text;
        DWORD dwTick;
    };

    platform::CFakeTicks ticks{1000000};
    platform::CMessageQueue queue;
    CPowerViewLink view{queue};
    std::unique_ptr<CInverterSim> m_pSim;
    bool bAnswering = true;
    std::vector<Request> sent;
    std::vector<Value> values;
    std::vector<std::string> statuses;
    std::vector<Line> lines;
    std::vector<DWORD> linkLostAt;
    int nCycles = 0;
    int nVersion = -1;

private:
    std::int64_t m_nSimMs = 0;
};

// The connecting path of types 1 and 2: the answer to the address probe.
void AnswerProbe(CViewBench& bench, int type)
{
    CInverterCom& link = bench.view.Link();
    link.SetProtocolType(type);
    link.SetProbePending(true);
    link.SetAddressByte(0, 7); // as the parser learns it from the answer
    bench.view.OnRegisterValue(0, 7);
    bench.AnswerNewRequest();
    bench.Pump();
}

TEST(PollCycle, TypeOneReadsModelOnceThenRunningDataAfterEachQuietTime)
{
    CViewBench bench(1);
    AnswerProbe(bench, 1);
    EXPECT_TRUE(bench.view.IsConnected());
    ASSERT_EQ(bench.statuses, std::vector<std::string>{"Connected"});
    bench.RunFor(10000);

    ASSERT_GE(bench.sent.size(), 10u);
    EXPECT_EQ(bench.sent[0], Req(4, 0, 3)) << "serial number read at connect";
    EXPECT_EQ(bench.sent[1], Req(4, 43, 2)) << "(44, 2) once";
    for (std::size_t i = 2; i < bench.sent.size(); ++i) {
        EXPECT_EQ(bench.sent[i], Req(4, 10, 31)) << i;
        EXPECT_EQ(bench.sent[i].nStep, 1);
        // Each goes out at the first tick more than 400 ms after the reply
        // (40 ms after the previous request).
        const DWORD sinceReply = bench.sent[i].dwTick - (bench.sent[i - 1].dwTick + 40);
        EXPECT_GT(sinceReply, 400u) << i;
        EXPECT_LE(sinceReply, 600u) << i;
    }
    // Every running-data reply ends a cycle; connecting values are not stored.
    EXPECT_EQ(bench.nCycles, static_cast<int>(bench.sent.size()) - 2);
    ASSERT_GE(bench.values.size(), 3u + 2u + 31u);
    EXPECT_EQ(bench.values[0].nRegister, 1);
    EXPECT_EQ(bench.values[3].nRegister, 44);
    EXPECT_EQ(bench.values[4].nRegister, 45);
    for (int i = 0; i < 31; ++i)
        EXPECT_EQ(bench.values[5 + static_cast<std::size_t>(i)].nRegister, 11 + i);
    EXPECT_EQ(bench.view.Link().LinkState(), kLinkIdle);
}

TEST(PollCycle, TypeTwoWalksStepsOneToFiveThenThreeToFive)
{
    CViewBench bench(2);
    AnswerProbe(bench, 2);
    bench.RunFor(12000);

    ASSERT_GE(bench.sent.size(), 9u);
    const std::vector<Request> expected = {Req(3, 6, 3),   Req(3, 6, 3),     Req(3, 0, 2),
                                           Req(4, 0, 20),  Req(4, 20, 17),   Req(4, 1000, 20),
                                           Req(4, 0, 20),  Req(4, 20, 17),   Req(4, 1000, 20)};
    const std::vector<int> steps = {0, 1, 2, 3, 4, 5, 3, 4, 5};
    for (std::size_t i = 0; i < expected.size(); ++i) {
        EXPECT_EQ(bench.sent[i], expected[i]) << i;
        if (i > 0) {
            EXPECT_EQ(bench.sent[i].nStep, steps[i]) << i;
        }
    }
    // Displays refresh only after step 5.
    int fives = 0;
    for (const Request& r : bench.sent)
        fives += r.nStep == 5 && r.nWire == 1000 ? 1 : 0;
    EXPECT_EQ(bench.nCycles, fives);
    // Values of step 4 are numbered from 30021.
    bool sawStepFour = false;
    for (std::size_t i = 0; i + 16 < bench.values.size(); ++i) {
        if (bench.values[i].nRegister == 30021) {
            sawStepFour = true;
            EXPECT_EQ(bench.values[i + 16].nRegister, 30037);
        }
    }
    EXPECT_TRUE(sawStepFour);
}

// The connecting path of type 0: the probe is the serial-number read.
void AnswerSerialProbe(CViewBench& bench)
{
    CInverterCom& link = bench.view.Link();
    link.SetProbePending(true);
    bench.view.SetFirstReplyPending(true);
    link.SetProtocolType(0);
    link.ReadSerialNumber();
    bench.AnswerNewRequest();
    bench.Pump();
}

TEST(PollCycle, TypeZeroConnectsWithSerialAndVersionAndStoresNothingOfIt)
{
    CViewBench bench(0);
    CInverterCom& link = bench.view.Link();
    AnswerSerialProbe(bench);

    EXPECT_FALSE(link.IsProbePending());
    // Four connecting values, one change of the pane.
    EXPECT_EQ(bench.statuses, std::vector<std::string>{"Connected"});
    EXPECT_TRUE(bench.values.empty()) << "no value of the connecting replies is stored";
    EXPECT_EQ(bench.nVersion, 805);
    EXPECT_EQ(FormatSerialNumber(link.Address()), "123456789012");
    EXPECT_EQ(bench.sent.size(), 2u);
    EXPECT_EQ(bench.sent[1], Req(4, 45 + 39990, 1)) << "the version read";

    bench.RunFor(3000);
    ASSERT_GE(bench.sent.size(), 4u);
    EXPECT_EQ(bench.sent[2], Req(4, 44 + 39990, 2));
    EXPECT_EQ(bench.sent[3], Req(4, 11 + 39990, 31));
    EXPECT_GE(bench.nCycles, 1);

    // The operator's disconnect shows at once.
    bench.view.OnConnectToggle();
    EXPECT_EQ(bench.statuses, (std::vector<std::string>{"Connected", "Dis-connected"}));
}

TEST(Supervision, CutLineResendsEveryTwoSecondsAndReportsEveryThirdMiss)
{
    CViewBench bench(1);
    bench.ConnectDirectly(1);
    bench.RunFor(3000);
    const int cyclesBefore = bench.nCycles;
    ASSERT_GT(cyclesBefore, 0);

    bench.bAnswering = false;
    const std::size_t firstUnanswered = bench.sent.size();
    bench.RunFor(21000);
    const std::size_t lastIndex = bench.sent.size() - 1;
    ASSERT_GE(lastIndex - firstUnanswered, 9u);
    for (std::size_t i = firstUnanswered + 1; i < bench.sent.size(); ++i) {
        const DWORD gap = bench.sent[i].dwTick - bench.sent[i - 1].dwTick;
        EXPECT_GT(gap, 2000u) << i;
        EXPECT_LE(gap, 2200u) << i;
        EXPECT_EQ(bench.sent[i], bench.sent[firstUnanswered]) << "the same step again";
    }
    // Misses 3, 6 and 9 are the 3rd, 6th and 9th resends.
    ASSERT_GE(bench.linkLostAt.size(), 3u);
    for (std::size_t k = 0; k < 3; ++k)
        EXPECT_EQ(bench.linkLostAt[k], bench.sent[firstUnanswered + 3 * (k + 1)].dwTick + 40) << k;
    EXPECT_EQ(bench.nCycles, cyclesBefore);
    // Several notices, one status change.
    EXPECT_EQ(bench.statuses, std::vector<std::string>{"Dis-connected"});

    // The inverter speaks again: values flow and the status comes back.
    bench.bAnswering = true;
    bench.RunFor(5000);
    EXPECT_GT(bench.nCycles, cyclesBefore);
    EXPECT_EQ(bench.statuses, (std::vector<std::string>{"Dis-connected", "Connected"}));
    EXPECT_EQ(bench.view.MissedPolls(), 0);
}

TEST(Supervision, ShortOrCutReplyIsAMissAndTheResendIsNumberedAfresh)
{
    CViewBench bench(1);
    bench.ConnectDirectly(1);
    bench.RunFor(2000);
    ASSERT_EQ(bench.sent.back(), Req(4, 10, 31));

    // A reply with a good CRC but only 10 of 31 values, then silence.
    bench.bAnswering = false;
    while (bench.sent.size() < 4 || bench.view.Link().LinkState() == kLinkIdle)
        bench.Tick();
    Bytes shortReply = {7, 4, 20};
    for (int i = 0; i < 20; ++i)
        shortReply.push_back(static_cast<std::uint8_t>(i));
    shortReply.resize(shortReply.size() + 2);
    AppendCrc16(shortReply.data(), shortReply.size() - 2);
    bench.Feed(shortReply);
    bench.Pump();
    EXPECT_EQ(bench.view.Pos(), 10);
    const std::size_t before = bench.sent.size();
    bench.RunFor(2200);
    ASSERT_EQ(bench.sent.size(), before + 1) << "the link did not hang on the short reply";

    // The resend's reply is cut in its data: the parser is stuck mid-frame
    // until the next miss resets it.
    bench.Feed({7, 4, 62, 1, 2, 3});
    EXPECT_EQ(bench.view.Link().ReceiveState(), 2);
    bench.RunFor(2200);
    ASSERT_EQ(bench.sent.size(), before + 2);
    EXPECT_EQ(bench.view.Link().ReceiveState(), 0);

    bench.bAnswering = true;
    bench.values.clear();
    bench.RunFor(2200);
    ASSERT_GE(bench.values.size(), 31u);
    for (int i = 0; i < 31; ++i)
        EXPECT_EQ(bench.values[static_cast<std::size_t>(i)].nRegister, 11 + i);
}

TEST(Supervision, SerialNumberReadLostOnConnectingIsAskedAgainInEachType)
{
    for (int type : {1, 2}) {
        CViewBench bench(type);
        bench.bAnswering = false; // the read that follows the probe's answer is lost
        AnswerProbe(bench, type);
        ASSERT_TRUE(bench.view.IsFirstReplyPending());
        bench.bAnswering = true;
        bench.RunFor(6000);
        const Request serial = type == 2 ? Req(3, 6, 3) : Req(4, 0, 3);
        ASSERT_GE(bench.sent.size(), 3u) << type << ": the line went silent";
        EXPECT_EQ(bench.sent[0], serial) << type;
        EXPECT_EQ(bench.sent[1], serial) << type << ": asked again";
        EXPECT_GT(bench.sent[1].dwTick - bench.sent[0].dwTick, 2000u) << type;
        EXPECT_FALSE(bench.view.IsFirstReplyPending()) << type;
        EXPECT_EQ(FormatSerialNumber(bench.view.Link().Serial()), "123456789012") << type;
        EXPECT_GT(bench.nCycles, 0) << type;
    }
}

TEST(Supervision, TickStampsAcrossTheWrapNeitherStallNorCountStaleReplies)
{
    CViewBench bench(1);
    bench.ticks.Set(0xFFFFFFFFu - 3000);
    bench.view.Link().SetLastRequestTick(bench.ticks.Now());
    bench.view.Link().SetLastReplyTick(bench.ticks.Now());
    bench.ConnectDirectly(1);
    bench.RunFor(8000); // across the wrap
    ASSERT_GE(bench.sent.size(), 10u);
    EXPECT_LT(bench.sent.back().dwTick, 10000u);
    EXPECT_TRUE(bench.linkLostAt.empty());

    bench.bAnswering = false;
    const std::size_t before = bench.sent.size();
    bench.RunFor(8000);
    EXPECT_EQ(bench.sent.size(), before + 4) << "a request and its resends every 2.2 s after the wrap";
    EXPECT_EQ(bench.linkLostAt.size(), 1u);
}

TEST(Supervision, PauseFlagSendsNothingAndCountsNoTimeOut)
{
    CViewBench bench(1);
    bench.ConnectDirectly(1);
    bench.RunFor(2000);
    bench.bAnswering = false;
    bench.view.SetPollPaused(true);
    const std::size_t before = bench.sent.size();
    bench.RunFor(20000);
    EXPECT_EQ(bench.sent.size(), before);
    EXPECT_EQ(bench.view.MissedPolls(), 0);
    EXPECT_TRUE(bench.linkLostAt.empty());
    bench.view.SetPollPaused(false);
    bench.bAnswering = true;
    bench.RunFor(1000);
    EXPECT_GT(bench.sent.size(), before);
}

// A page that reads two blocks of the running data and knows three commands.
class CTestPage : public CInvComSet {
public:
    explicit CTestPage(CViewBench& bench) : m_bench(bench)
    {
        SetLink(&bench.view.Link());
        SetBlockCount(2);
    }
    void DisplayRegisterValue(int nRegister, platform::WPARAM, std::uint16_t) override
    {
        shown.push_back(nRegister);
    }
    void SendRequest() override
    {
        sentAt.push_back(m_bench.ticks.Now());
        modes.push_back(Mode());
        CInverterCom& link = *Link();
        switch (Mode()) {
        case kModeWriteSequence: {
            if (qwNewSerial != 0) {
                link.WriteSerialNumber(qwNewSerial);
                break;
            }
            const std::uint16_t word = static_cast<std::uint16_t>(2300 + Repeat());
            EXPECT_TRUE(link.WriteRegisters(&word, 90 + Repeat(), 1));
            break;
        }
        case kModeClearEnergy: link.SendClearEnergy(); break;
        case kModeSelfTest: link.SendSelfTest(); break;
        default: link.ReadRegisters(Block() == 0 ? 11 : 82, 10); break;
        }
    }
    void EnableCommands(bool bEnable) override { enabled.push_back(bEnable); }

    CViewBench& m_bench;
    std::uint64_t qwNewSerial = 0; // the write sequence writes this serial number instead
    std::vector<int> shown;
    std::vector<DWORD> sentAt;
    std::vector<int> modes;
    std::vector<bool> enabled;
};

TEST(PageCycle, UnansweredRequestIsSentFourTimesThenTheTimeOutBoxStopsIt)
{
    platform::CMessageBoxRecorder boxes;
    CViewBench bench(1);
    bench.ConnectDirectly(1);
    bench.bAnswering = false;
    CTestPage page(bench);
    page.SetIdle(600); // the link has been idle long enough
    bench.view.SetOpenPage(&page);
    const std::size_t viewSends = bench.sent.size();

    const DWORD start = bench.ticks.Now() + 160;
    DWORD boxAt = 0;
    for (int t = 0; t < 20000; t += 200) {
        bench.Tick();
        if (boxAt == 0 && boxes.Count() == 1)
            boxAt = bench.ticks.Now() - 40;
    }
    ASSERT_EQ(page.sentAt.size(), 4u);
    const DWORD expected[] = {0, 1600, 3200, 4800};
    for (std::size_t i = 0; i < 4; ++i)
        EXPECT_EQ(page.sentAt[i] - start, expected[i]) << i;
    EXPECT_EQ(boxAt - start, 6400u);
    ASSERT_EQ(boxes.Count(), 1u);
    EXPECT_EQ(boxes.Boxes()[0].text, "Time out. Not recieved a respond message from COM serail port during 5000ms!\n"
                                     " maybe connection line released, serial no not correct or machine reset!");
    EXPECT_EQ(boxes.Boxes()[0].type, platform::kMbOk);
    EXPECT_TRUE(page.IsStopped());
    EXPECT_EQ(bench.sent.size(), viewSends + 4) << "the view itself polls nothing while the page is open";

    // Restarted, the page reads again; closed, it is ticked no more.
    page.RestartRequests();
    bench.RunFor(2000);
    EXPECT_EQ(page.sentAt.size(), 5u);
    bench.view.SetOpenPage(nullptr);
    bench.RunFor(4000);
    EXPECT_EQ(page.sentAt.size(), 5u);
}

TEST(PageCycle, ReadsBlocksInTurnAndRunsCommandsToTheirEnd)
{
    platform::CMessageBoxRecorder boxes;
    CViewBench bench(1);
    bench.ConnectDirectly(1);
    bench.RunFor(1000); // the view's own poll, then the page opens between replies
    CTestPage page(bench);
    bench.view.SetOpenPage(&page);
    bench.RunFor(4000);

    // Blocks alternate, about 800 ms after each reply, values numbered per block.
    ASSERT_GE(page.sentAt.size(), 4u);
    for (std::size_t i = 1; i < page.sentAt.size(); ++i)
        EXPECT_EQ(page.sentAt[i] - page.sentAt[i - 1], 800u) << i;
    ASSERT_GE(page.shown.size(), 20u);
    EXPECT_EQ(page.shown[0], 11);
    EXPECT_EQ(page.shown[9], 20);
    EXPECT_EQ(page.shown[10], 82);
    EXPECT_EQ(page.shown[19], 91);

    // A write sequence of three requests, then back to the cyclic read.
    page.StartCommand(kModeWriteSequence, 3);
    EXPECT_EQ(page.enabled, std::vector<bool>{false});
    bench.RunFor(4000);
    EXPECT_EQ(page.enabled, (std::vector<bool>{false, true}));
    std::vector<int> writes;
    for (std::size_t i = 0; i < page.modes.size(); ++i)
        writes.push_back(page.modes[i]);
    EXPECT_EQ(std::count(writes.begin(), writes.end(), kModeWriteSequence), 3);
    EXPECT_EQ(page.modes.back(), kModeCyclicRead);
    EXPECT_EQ(page.Repeat(), 0);

    page.StartCommand(kModeClearEnergy);
    bench.RunFor(2000);
    EXPECT_EQ(std::count(page.modes.begin(), page.modes.end(), kModeClearEnergy), 1);
    EXPECT_EQ(page.Mode(), kModeCyclicRead);
    EXPECT_EQ(boxes.Count(), 0u);
    bench.view.SetOpenPage(nullptr);
}

// "Set all pars" writing a new serial number re-addresses the link, but the
// inverter on the line is the one connected to: only a new connection names
// another.
TEST(PageCycle, ASerialNumberWrittenFromThePageKeepsTheConnectedInverter)
{
    for (int type : {0, 1}) {
        CViewBench bench(type);
        if (type == 0)
            AnswerSerialProbe(bench);
        else
            AnswerProbe(bench, type);
        bench.RunFor(3000);
        ASSERT_EQ(FormatSerialNumber(bench.view.ConnectedSerial()), "123456789012") << type;

        CTestPage page(bench);
        page.qwNewSerial = 555566667777;
        bench.view.SetOpenPage(&page);
        page.StartCommand(kModeWriteSequence, 1);
        bench.RunFor(3000);
        EXPECT_EQ(page.Mode(), kModeCyclicRead) << type;
        bench.view.SetOpenPage(nullptr);
        const int cycles = bench.nCycles;
        bench.RunFor(3000);
        EXPECT_GT(bench.nCycles, cycles) << type << ": polled on under the new number";
        EXPECT_EQ(FormatSerialNumber(bench.view.Link().Serial()), "555566667777") << type;
        EXPECT_EQ(FormatSerialNumber(bench.view.ConnectedSerial()), "123456789012") << type;

        // Connecting again reads the inverter's number afresh.
        if (type == 0)
            AnswerSerialProbe(bench);
        else
            AnswerProbe(bench, type);
        bench.RunFor(1000);
        EXPECT_EQ(FormatSerialNumber(bench.view.ConnectedSerial()), "555566667777") << type;
    }
}

// ------------------------------------------------------------- detection

class CEnvPorts {
public:
    explicit CEnvPorts(const std::string& list) { ::setenv("ZELVAN_SERIAL_PORTS", list.c_str(), 1); }
    ~CEnvPorts() { ::unsetenv("ZELVAN_SERIAL_PORTS"); }
};

TEST(Detection, DeadFirstPortCostsThreeProbesThenTheSecondAnswers)
{
    CPtyPair dead;
    CPtyPair live;
    ASSERT_TRUE(dead.Ok() && live.Ok());
    CEnvPorts env(dead.SlavePath() + ":" + live.SlavePath());
    CViewBench bench(2, 5);
    std::vector<Bytes> deadFrames;
    bool bEnded = false;

    SPowerViewHooks hooks;
    hooks.onStatus = [&](const std::string& s) { bench.statuses.push_back(s); };
    hooks.postDetectionLine = [&](const std::string& s) { bench.lines.push_back({s, bench.ticks.Now()}); };
    hooks.endDetectionDialog = [&] { bEnded = true; };
    hooks.runDetectionDialog = [&] {
        bench.RunDetectionDialog(20000, bEnded, [&](bool bSent) {
            if (!bSent)
                return;
            if (bench.view.PortInUse() == dead.SlavePath()) {
                deadFrames.push_back(dead.ReadUntilQuiet(100));
                return;
            }
            // The live port: the inverter answers over the line.
            const Bytes request = live.ReadUntilQuiet(100);
            const std::vector<SimReply> replies = bench.m_pSim->Receive(request, bench.SimNow());
            if (replies.empty())
                return; // not its protocol type
            for (const SimReply& r : replies)
                live.Write(r.bytes);
            auto m = bench.queue.Take(3000);
            ASSERT_TRUE(m.has_value());
            ASSERT_EQ(m->msg, platform::WM_REGISTER_VALUE);
            bench.view.OnRegisterValue(m->wParam, m->lParam);
        });
    };
    bench.view.SetHooks(hooks);
    bench.view.OnRescanPorts();

    ASSERT_TRUE(bEnded);
    ASSERT_EQ(bench.lines.size(), 2u);
    EXPECT_EQ(bench.lines[0].text, "Detecting " + dead.SlavePath());
    EXPECT_EQ(bench.lines[1].text, "Detecting " + live.SlavePath());
    // Three probes of 2 s each, checked on 200 ms ticks, then the tick that
    // opens the next port.
    const DWORD walk = bench.lines[1].dwTick - bench.lines[0].dwTick;
    EXPECT_GT(walk, 6000u);
    EXPECT_LE(walk, 6800u);
    // The probes of the dead port: type 1, type 0, type 2, in that order.
    ASSERT_EQ(deadFrames.size(), 3u);
    EXPECT_EQ(deadFrames[0], WithCrc({0xFF, 0x03, 0x00, 0x3C, 0x00, 0x01}));
    EXPECT_EQ(deadFrames[1], WithCrc({0x99, 0x99, 0x99, 0x99, 0x99, 0x99, 0x04, 0x9C, 0x37, 0x00, 0x03}));
    EXPECT_EQ(deadFrames[2], WithCrc({0x00, 0x03, 0x00, 0x0B, 0x00, 0x01}));

    // The second port answered the type-2 probe; the address is learned and
    // the serial number read follows at once.
    CInverterCom& link = bench.view.Link();
    EXPECT_TRUE(bench.view.IsConnected());
    EXPECT_FALSE(bench.view.IsDetecting());
    EXPECT_EQ(link.ProtocolType(), 2);
    EXPECT_EQ(link.AddressByte(0), 5);
    EXPECT_FALSE(link.IsProbePending());
    EXPECT_TRUE(bench.view.IsFirstReplyPending());
    EXPECT_EQ(link.LastRegister(), 40007);
    EXPECT_EQ(bench.view.PortInUse(), live.SlavePath());
    EXPECT_EQ(bench.statuses, std::vector<std::string>{"Connected"});
    EXPECT_EQ(WithCrc({0x05, 0x03, 0x00, 0x06, 0x00, 0x03}), live.ReadUntilQuiet(200));
    link.ClosePort();
}

// A busy machine: the inverter answers the type-0 probe at once, but the
// window takes the answer 2.4 s later, after the probe's time-out. The walk
// waits for it instead of probing type 2 under it.
TEST(Detection, AnAnswerTheWindowTakesLateIsNotReadAsTheNextTypes)
{
    CPtyPair line;
    ASSERT_TRUE(line.Ok());
    CEnvPorts env(line.SlavePath());
    CViewBench bench(0);
    std::vector<Bytes> probes;
    std::vector<platform::PostedMessage> held;
    DWORD answeredAt = 0;
    bool bEnded = false;
    SPowerViewHooks hooks;
    hooks.endDetectionDialog = [&] { bEnded = true; };
    hooks.runDetectionDialog = [&] {
        bench.RunDetectionDialog(12000, bEnded, [&](bool bSent) {
            if (bSent) {
                probes.push_back(line.ReadUntilQuiet(100));
                const std::vector<SimReply> replies = bench.m_pSim->Receive(probes.back(), bench.SimNow());
                for (const SimReply& r : replies)
                    line.Write(r.bytes);
                answeredAt = bench.ticks.Now();
                for (std::size_t i = 0; i < (replies.empty() ? 0 : 3); ++i) {
                    auto m = bench.queue.Take(3000); // posted by the port thread
                    ASSERT_TRUE(m.has_value());
                    held.push_back(*m);
                }
            }
            if (!held.empty() && bench.ticks.Now() - answeredAt >= 2400) {
                for (const platform::PostedMessage& m : held)
                    bench.view.OnRegisterValue(m.wParam, m.lParam);
                held.clear();
            }
        });
    };
    bench.view.SetHooks(hooks);
    bench.view.OnRescanPorts();

    ASSERT_TRUE(bEnded);
    ASSERT_EQ(probes.size(), 2u) << "no probe of type 2 while the answer waited";
    EXPECT_EQ(probes[1], WithCrc({0x99, 0x99, 0x99, 0x99, 0x99, 0x99, 0x04, 0x9C, 0x37, 0x00, 0x03}));
    CInverterCom& link = bench.view.Link();
    EXPECT_TRUE(bench.view.IsConnected());
    EXPECT_EQ(link.ProtocolType(), 0);
    EXPECT_EQ(FormatSerialNumber(link.Address()), "123456789012");
    link.ClosePort();
}

TEST(Detection, NoPortAnsweringEndsTheWalkAndASecondDetectionProbesAgain)
{
    CPtyPair a;
    CPtyPair b;
    ASSERT_TRUE(a.Ok() && b.Ok());
    // Between the two silent ports: a missing path, a folder, a file that is no terminal.
    const std::string notATerminal = std::string(ZELVAN_SOURCE_DIR) + "/README.md";
    CEnvPorts env(a.SlavePath() + ":/dev/zelvan-no-such-port:/tmp:" + notATerminal + ":" + b.SlavePath());
    platform::CMessageBoxRecorder boxes;
    CViewBench bench(1);
    int walks = 0;
    SPowerViewHooks hooks;
    hooks.postDetectionLine = [&](const std::string& s) { bench.lines.push_back({s, bench.ticks.Now()}); };
    hooks.runDetectionDialog = [&] {
        ++walks;
        const bool bNeverEnded = false; // the whole time, as the walk's end does not close it
        bench.RunDetectionDialog(30000, bNeverEnded, [](bool) {});
    };
    bench.view.SetHooks(hooks);
    bench.view.OnRescanPorts();

    std::vector<std::string> texts;
    for (const auto& l : bench.lines)
        texts.push_back(l.text);
    const std::vector<std::string> expected = {"Detecting " + a.SlavePath(), "Detecting /dev/zelvan-no-such-port",
                                               "Detecting /tmp", "Detecting " + notATerminal,
                                               "Detecting " + b.SlavePath(), "Detecting End"};
    EXPECT_EQ(texts, expected);
    EXPECT_EQ(boxes.Count(), 0u); // a port that cannot be had is passed over quietly
    EXPECT_FALSE(bench.view.IsConnected());
    EXPECT_FALSE(bench.view.IsDetecting());
    // After the walk the poller is held, sending nothing.
    const DWORD lastRequest = bench.view.Link().LastRequestTick();
    for (int i = 0; i < 50; ++i) {
        bench.ticks.Advance(200);
        bench.view.PollStep();
    }
    EXPECT_EQ(bench.view.Link().LastRequestTick(), lastRequest);

    // A second detection starts from the first port again, despite the
    // probe flag the first walk left behind.
    bench.lines.clear();
    bench.view.OnRescanPorts();
    EXPECT_EQ(walks, 2);
    ASSERT_FALSE(bench.lines.empty());
    EXPECT_EQ(bench.lines[0].text, "Detecting " + a.SlavePath());
    EXPECT_EQ(bench.lines.back().text, "Detecting End");
    bench.view.Link().ClosePort();
}

TEST(Detection, EmptyPortListShowsNoDialogAndProbesNothing)
{
    CEnvPorts env(":");
    CViewBench bench(1);
    bool bShown = false;
    SPowerViewHooks hooks;
    hooks.runDetectionDialog = [&] { bShown = true; };
    bench.view.SetHooks(hooks);
    bench.view.OnRescanPorts();
    EXPECT_FALSE(bShown);
    EXPECT_FALSE(bench.view.IsDetecting());
    EXPECT_TRUE(bench.view.PortNames().empty());
    bench.RunFor(3000);
    EXPECT_TRUE(bench.sent.empty());
}

} // namespace

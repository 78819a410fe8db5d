#pragma once
// The parameter page on a fake clock, its requests answered in-process by
// the simulator engine and recorded byte for byte.
#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "InverterSim.h"
#include "support/WorkbookFiles.h"
#include "config/ConfigWorkbook.h"
#include "link/Crc16.h"
#include "link/InverterCom.h"
#include "params/InvParPage.h"
#include "platform/MessageTarget.h"
#include "platform/Messages.h"
#include "platform/Tick.h"

namespace pagebench {

using Bytes = std::vector<std::uint8_t>;
using Words = std::vector<std::uint16_t>;

inline const ConfigWorkbook& Workbook()
{
    static ConfigWorkbook workbook;
    static const bool opened = [] {
        const bool ok = workbook.OpenWorkbook(testfiles::ShippedWorkbook().string());
        workbook.ReadParameterSheet();
        workbook.ReadModelSheet();
        return ok;
    }();
    EXPECT_TRUE(opened);
    return workbook;
}

// A write request as the inverter must receive it.
inline Bytes WriteFrame(const Bytes& header, int wire, const Words& words)
{
    Bytes frame = header;
    const auto n = static_cast<std::uint8_t>(words.size());
    frame.insert(frame.end(), {0x10, static_cast<std::uint8_t>(wire >> 8), static_cast<std::uint8_t>(wire & 0xFF), 0, n,
                               static_cast<std::uint8_t>(2 * n)});
    for (std::uint16_t w : words)
        frame.insert(frame.end(), {static_cast<std::uint8_t>(w >> 8), static_cast<std::uint8_t>(w & 0xFF)});
    const std::uint16_t crc = Crc16(frame.data(), frame.size());
    frame.insert(frame.end(), {static_cast<std::uint8_t>(crc & 0xFF), static_cast<std::uint8_t>(crc >> 8)});
    return frame;
}

inline const Bytes kSerialHeader = {0x12, 0x34, 0x56, 0x78, 0x90, 0x12};

// The page, its link and an in-process inverter on a fake clock. The page
// is the bench's own, or the logic of a page window the test made.
class CPageBench {
public:
    explicit CPageBench(int type, std::int64_t modelCode = -1, std::uint64_t serial = 123456789012,
                        CInvParPage* pWindowPage = nullptr)
        : m_pOwnPage(pWindowPage == nullptr ? std::make_unique<CInvParPage>(Workbook()) : nullptr),
          page(pWindowPage == nullptr ? *m_pOwnPage : *pWindowPage)
    {
        SimIdentity id;
        id.nProtocolType = type;
        id.nAddress = 7;
        id.nModelCode = modelCode;
        id.qwSerial = serial;
        sim = std::make_unique<CInverterSim>(id, SimTime{}, 0);
        link.SetOwner(&queue);
        link.SetProtocolType(type);
        if (type == 0)
            link.SetAddress({0x12, 0x34, 0x56, 0x78, 0x90, 0x12});
        else
            link.SetAddressByte(0, 7);
        if (m_pOwnPage) // a window shows its prompts itself
            page.onPrompt = [this](const SPagePrompt& p) { prompts.push_back(p); };
    }

    // The version text is read at connecting under type 0 only.
    void Open() { page.Open(&link, link.ProtocolType() == 0 ? "V8.05" : ""); }

    // One pass of the poll thread; the answer comes 40 ms after the request.
    void Tick()
    {
        Advance(160);
        if (page.OnTick())
            ++nTimeOuts;
        Answer();
        Advance(40);
        Pump();
    }
    bool RunUntil(const std::function<bool()>& done, int maxMs = 40000)
    {
        for (int t = 0; t < maxMs; t += 200) {
            if (done())
                return true;
            Tick();
        }
        return done();
    }
    void RunFirstCycle()
    {
        ASSERT_TRUE(RunUntil([this] { return page.IsFirstReadDone(); }));
    }
    // Runs until the command in progress has finished.
    void RunCommand()
    {
        ASSERT_TRUE(RunUntil([this] { return page.NextMode() != kModeCyclicRead; }, 1000));
        ASSERT_TRUE(RunUntil([this] { return page.NextMode() == kModeCyclicRead && page.Mode() == kModeCyclicRead; }));
    }

    void Answer()
    {
        std::uint8_t buffer[CSerialPort::kSendBufferSize];
        const std::size_t n = link.TakeSendBuffer(buffer, sizeof buffer);
        if (n == 0)
            return;
        const Bytes frame(buffer, buffer + n);
        frames.push_back(frame);
        if (holdWire >= 0 && frame[Header() + 0] != 0x10 && Wire(frame) == holdWire) {
            held = frame;
            holdWire = -1;
            return;
        }
        Reply(frame);
    }
    void Reply(const Bytes& frame)
    {
        for (const SimReply& reply : sim->Receive(frame, m_nSimMs))
            for (std::uint8_t b : reply.bytes)
                link.OnReceiveByte(b);
    }
    void Pump()
    {
        while (auto m = queue.TryTake()) {
            if (m->msg == platform::WM_REGISTER_VALUE)
                page.OnRegisterValue(m->wParam, m->lParam);
        }
    }

    // Sets inverter registers behind the page's back.
    void SimWrite(int reg, const Words& words)
    {
        CInverterCom scratch;
        scratch.SetProtocolType(link.ProtocolType());
        scratch.SetAddress(link.Address());
        EXPECT_TRUE(scratch.WriteRegisters(words.data(), reg, static_cast<int>(words.size())));
        std::uint8_t buffer[CSerialPort::kSendBufferSize];
        const std::size_t n = scratch.TakeSendBuffer(buffer, sizeof buffer);
        sim->Receive(Bytes(buffer, buffer + n), m_nSimMs);
    }
    std::uint16_t SimRegister(int reg) const
    {
        std::uint16_t value = 0;
        EXPECT_TRUE(sim->ReadRegister(reg, value)) << reg;
        return value;
    }

    std::size_t Header() const { return link.ProtocolType() == 0 ? 6 : 1; }
    int Wire(const Bytes& frame) const { return frame[Header() + 1] * 256 + frame[Header() + 2]; }
    // Frames sent from position `from` that write (function 16).
    std::vector<Bytes> Writes(std::size_t from) const
    {
        std::vector<Bytes> out;
        for (std::size_t i = from; i < frames.size(); ++i)
            if (frames[i][Header()] == 0x10)
                out.push_back(frames[i]);
        return out;
    }
    // (function, wire, count) of the reads sent.
    std::vector<std::array<int, 3>> Reads(std::size_t from = 0) const
    {
        std::vector<std::array<int, 3>> out;
        for (std::size_t i = from; i < frames.size(); ++i) {
            const Bytes& f = frames[i];
            if (f[Header()] == 3 || f[Header()] == 4)
                out.push_back({f[Header()], Wire(f), f[Header() + 4]});
        }
        return out;
    }
    const std::string& Text(int id) const { return page.Field(id).strText; }

    platform::CFakeTicks ticks{500000};

private:
    std::unique_ptr<CInvParPage> m_pOwnPage; // made after the clock, as a window's page is

public:
    platform::CMessageQueue queue;
    CInverterCom link;
    CInvParPage& page;
    std::unique_ptr<CInverterSim> sim;
    std::vector<Bytes> frames;
    std::vector<SPagePrompt> prompts;
    int nTimeOuts = 0;
    int holdWire = -1; // a read of this wire is held back instead of answered
    Bytes held;

private:
    void Advance(int ms)
    {
        ticks.Advance(static_cast<platform::DWORD>(ms));
        m_nSimMs += ms;
    }
    std::int64_t m_nSimMs = 0;
};

} // namespace pagebench

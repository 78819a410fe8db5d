// The simulator's request handling in each protocol type: whatever arrives,
// every reply it sends is a well-formed frame. Exception replies are header,
// function code with the top bit, code and CRC; every other reply is taken
// whole by the program's own parser, with the words its length promises.
#include <vector>

#include "FuzzSupport.h"
#include "InverterSim.h"
#include "link/Crc16.h"
#include "link/InverterCom.h"
#include "platform/MessageTarget.h"

namespace {

class CCounter : public platform::IMessageTarget {
public:
    void Post(unsigned, platform::WPARAM, platform::LPARAM) override { ++nWords; }
    std::size_t nWords = 0;
};

void CheckReply(int type, const std::vector<std::uint8_t>& reply)
{
    const std::size_t header = type == 0 ? 6 : 1;
    FUZZ_CHECK(reply.size() >= header + 4);
    FUZZ_CHECK(CheckCrc16(reply.data(), reply.size()));
    const std::uint8_t function = reply[header];
    if (function & 0x80) {
        FUZZ_CHECK(reply.size() == header + 4);
        return;
    }
    CCounter owner;
    CInverterCom link;
    link.SetOwner(&owner);
    link.SetProtocolType(type);
    for (std::size_t i = 0; i < header; ++i)
        link.SetAddressByte(static_cast<int>(i), reply[i]);
    for (std::uint8_t b : reply)
        link.OnReceiveByte(b);
    FUZZ_CHECK(link.ReceiveState() == 0);
    const std::size_t words = function == 3 || function == 4 ? reply[header + 1] / 2u : 2u;
    FUZZ_CHECK(owner.nWords == words);
}

CInverterSim Prototype(int type)
{
    SimIdentity id;
    id.nProtocolType = type;
    return CInverterSim(id, SimTime{}, 0);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    CFuzzInput in(data, size);
    // A fresh inverter per input, copied from one made per type (making the
    // day's weather costs far more than answering).
    static const CInverterSim kPrototypes[3] = {Prototype(0), Prototype(1), Prototype(2)};
    SimIdentity id;
    id.nProtocolType = in.Byte() % 3;
    CInverterSim sim = kPrototypes[id.nProtocolType];
    std::int64_t now = 0;
    while (!in.Empty()) {
        std::size_t n = in.Byte();
        const std::uint8_t* chunk = in.Take(n);
        now += 100; // a pause on the line ends a half-received request
        for (const SimReply& reply : sim.Receive(chunk, n, now))
            CheckReply(id.nProtocolType, reply.bytes);
    }
    return 0;
}

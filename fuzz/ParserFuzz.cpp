// The reply parser in each protocol type, fed in random chunks with resets,
// type switches and probe flags between them. Every batch of values it posts
// must come from a frame whose CRC holds and that ends with those words, and
// it never posts more words than the bytes can carry.
#include <vector>

#include "FuzzSupport.h"
#include "link/Crc16.h"
#include "link/InverterCom.h"
#include "platform/MessageTarget.h"

namespace {

class CRecorder : public platform::IMessageTarget {
public:
    void Post(unsigned, platform::WPARAM, platform::LPARAM lParam) override
    {
        words.push_back(static_cast<std::uint16_t>(lParam));
    }
    std::vector<std::uint16_t> words;
};

// True when some frame that ends with the last byte fed has a good CRC and
// carries `batch` as its last words before the CRC (a byte count may leave
// one byte after them).
bool ComesFromAGoodFrame(const std::vector<std::uint8_t>& fed, const std::vector<std::uint16_t>& batch)
{
    const std::size_t need = batch.size() * 2 + 4;
    for (std::size_t length = need; length <= fed.size() && length <= CInverterCom::kReceiveBufferSize; ++length) {
        const std::uint8_t* frame = fed.data() + fed.size() - length;
        if (!CheckCrc16(frame, length))
            continue;
        for (std::size_t odd = 0; odd <= 1; ++odd) {
            const std::uint8_t* words = frame + length - 2 - odd - batch.size() * 2;
            if (words < frame)
                continue;
            bool same = true;
            for (std::size_t i = 0; i < batch.size() && same; ++i)
                same = (words[2 * i] << 8 | words[2 * i + 1]) == batch[i];
            if (same)
                return true;
        }
    }
    return false;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    CFuzzInput in(data, size);
    // One link for every input (its port's event descriptors cost more than
    // the parsing); each input starts it from the same state.
    static CRecorder owner;
    static CInverterCom link;
    owner.words.clear();
    link.SetOwner(&owner);
    link.ResetReceiver();
    link.SetProbePending(false);
    link.SetSerialKnown(true);
    link.SetAddress({0x99, 0x99, 0x99, 0x99, 0x99, 0x99});
    link.SetProtocolType(in.Byte() % 3);
    link.SetAddressByte(0, in.Byte());
    std::vector<std::uint8_t> fed;
    std::size_t bytesFed = 0;
    while (!in.Empty()) {
        const std::uint8_t op = in.Byte();
        switch (op >> 5) {
        case 0: link.SetProtocolType(op % 3); break;
        case 1: link.ResetReceiver(); fed.clear(); break;
        case 2: link.SetProbePending(op & 1); link.SetSerialKnown(op & 2); break;
        default: {
            std::size_t n = op & 0x3F;
            const std::uint8_t* chunk = in.Take(n);
            for (std::size_t i = 0; i < n; ++i) {
                const std::size_t before = owner.words.size();
                link.OnReceiveByte(chunk[i]);
                fed.push_back(chunk[i]);
                ++bytesFed;
                if (owner.words.size() != before) {
                    const std::vector<std::uint16_t> batch(owner.words.begin() + static_cast<long>(before), owner.words.end());
                    FUZZ_CHECK(ComesFromAGoodFrame(fed, batch));
                }
            }
            break;
        }
        }
        FUZZ_CHECK(owner.words.size() * 2 <= bytesFed);
    }
    return 0;
}

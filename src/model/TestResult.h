#pragma once
#include "model/DaySamples.h"

#include <cstdint>

struct SRegisterRule;

// The live data store: everything measured since the current day curve
// began. Owned by the power view and fed on the user-interface thread one
// register value at a time; readers on other threads take a copy with
// TakeCopy() on the user-interface thread and read that.
class CTestResult : public CDaySamples {
public:
    // Decode one register value of the index map (protocol types 0 and 1)
    // or of the address map (protocol type 2) into the series. `scale` is
    // the register's catalogue scale (after the version exception); the
    // address map uses its magnitude. Registers outside the map change
    // nothing. Returns true when the register belonged to the map.
    bool StoreIndexRegister(int reg, std::uint32_t raw, float scale);
    bool StoreAddressRegister(int reg, std::uint32_t raw, float scale);

    // Empties every series and the sample times and gives their memory
    // back. The model code, the high-word latch and the fault word stay.
    void RemoveAllSamples();

    // A consistent copy of the series for a reader on another thread; take
    // it on the thread that appends.
    CDaySamples TakeCopy() const { return CDaySamples(*this); }

    // The high-word latch shared by all register pairs (element 0 of the
    // two-word array) and the fault word as built so far.
    std::uint16_t GetHighWord() const { return m_awHighWord[0]; }
    std::uint32_t GetFaultWord() const { return m_dwFaultWord; }

private:
    bool Store(const SRegisterRule* rule, std::uint32_t raw, float scale);

    std::uint32_t m_dwFaultWord = 0;
    std::uint16_t m_awHighWord[2] = {0, 0};
};

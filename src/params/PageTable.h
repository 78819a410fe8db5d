#pragma once
#include <vector>

#include "link/ProtocolTable.h"
#include "params/ParameterCatalogue.h"

// What the parameter page shows differently under each protocol type, as
// data beside the link's facts: the page reads these instead of asking
// which type it is.
struct SPageFacts {
    std::vector<int> hiddenFields; // hidden at opening
    std::vector<int> unusedFields; // set-value fields the type does not write: disabled
    bool bModbusAddress;           // the Modbus box ticked and the address field enabled
};

// The page's facts of protocol type 0, 1 or 2; any other number gets type 1's.
const SPageFacts& PageFacts(int protocolType);

// The register a setting is written to under the link's facts.
int WriteRegisterOf(const SSettableParameter& p, const SProtocolFacts& facts);

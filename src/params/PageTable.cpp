#include "params/PageTable.h"

#include "params/InvParPage.h"

namespace {

using P = CInvParPage;

// "Made" is never shown; the manufacture fields only under type 2, the
// address fields not under type 0, the Is-limits and the fields of the
// index map's extra settings not under type 2.
const SPageFacts kPageFacts[3] = {
    {{P::kIdMadeLabel, P::kIdMade, 1018, 1212, 1021, 1184, 1019, P::kIdManufactureCurrent, P::kIdManufactureSet,
      P::kIdModbus, 1022, 1182, P::kIdAddressSet},
     {},
     false},
    {{P::kIdMadeLabel, P::kIdMade, 1018, 1212, 1021, 1184, 1019, P::kIdManufactureCurrent, P::kIdManufactureSet},
     {},
     true},
    {{P::kIdMadeLabel, P::kIdMade, 1025, 1079, 1026, P::kIdIsMax, 1027, kIsMinField, 1028, 1097, 1109},
     {1150, 1151, 1152, 1153, 1154, 1155, 1167, 1168},
     true},
};

} // namespace

const SPageFacts& PageFacts(int protocolType)
{
    return kPageFacts[protocolType == 0 ? 0 : protocolType == 2 ? 2 : 1];
}

int WriteRegisterOf(const SSettableParameter& p, const SProtocolFacts& facts)
{
    return facts.numbering == ERegisterNumbering::kAddress ? p.register2 : p.writeIndex;
}

#include "model/ValueStore.h"

#include "link/InverterCom.h"
#include "model/RegisterMap.h"
#include "model/TestResult.h"
#include "model/RegisterScale.h"

bool StoreRegisterValue(CTestResult& store, int protocolType, int reg, std::uint32_t raw, std::string_view version,
                        bool bParamDialogOpen, int nLinkState)
{
    return StoreRegisterValue(store, protocolType, reg, raw, version, bParamDialogOpen, nLinkState,
                              GetRegisterScale(protocolType, reg));
}

bool StoreRegisterValue(CTestResult& store, int protocolType, int reg, std::uint32_t raw, std::string_view version,
                        bool bParamDialogOpen, int nLinkState, float catalogueScale)
{
    if (!bParamDialogOpen && nLinkState != kLinkRead)
        return false;
    const float scale = ApplyVersionException(reg, catalogueScale, version);
    return UsesAddressNumbering(protocolType) ? store.StoreAddressRegister(reg, raw, scale) : store.StoreIndexRegister(reg, raw, scale);
}

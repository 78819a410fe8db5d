#pragma once
#include <cstdint>
#include <string_view>

class CTestResult;

// The store step of the power view's value handler, free of any window.
// reg is the start register of the request in flight plus the value's
// position in the reply; raw is the 16-bit word; version the link's version
// text. While the parameter dialog is open every value is stored (the page
// drives the link and its replies carry running data too); otherwise only
// while the link state is reading, so the replies of writes, self tests and
// connecting stay out of the store. The scale is the catalogue's
// (GetRegisterScale), with the version exception for the power register.
// Returns true when the value was stored (it belonged to the protocol
// type's map).
bool StoreRegisterValue(CTestResult& store, int protocolType, int reg, std::uint32_t raw, std::string_view version,
                        bool bParamDialogOpen, int nLinkState);

// The same with the catalogue scale given by the caller.
bool StoreRegisterValue(CTestResult& store, int protocolType, int reg, std::uint32_t raw, std::string_view version,
                        bool bParamDialogOpen, int nLinkState, float catalogueScale);

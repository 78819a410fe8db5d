#pragma once
#include <string>

// The program's string resources, by their numeric ids. Texts are UTF-8 and
// kept exactly as shipped; an unknown id gives an empty text.
namespace res {

constexpr unsigned IDS_OLE_INIT_FAILED = 100;
constexpr unsigned IDS_POWER_VIEW = 101;
constexpr unsigned IDS_SYSTEM_VIEW = 102;
constexpr unsigned IDS_POWER = 103;
constexpr unsigned IDS_TODAY_ENERGY = 104;
constexpr unsigned IDS_TOTAL_ENERGY = 105;
constexpr unsigned IDS_CO2_REDUCTION = 106;
constexpr unsigned IDS_DISCONNECTED = 107;
constexpr unsigned IDS_HISTORY_VIEW = 108;
constexpr unsigned IDS_DOC_TEMPLATE = 128;
constexpr unsigned IDS_SHEET_PARSET = 260;
constexpr unsigned IDS_SHEET_MODELCODE = 265;
// Range prompts of the dialogs' data exchange; %1 and %2 are the bounds.
constexpr unsigned IDS_PARSE_INT = 61712;
constexpr unsigned IDS_PARSE_REAL = 61713;
constexpr unsigned IDS_PARSE_INT_RANGE = 61714;
constexpr unsigned IDS_PARSE_REAL_RANGE = 61715;

std::string LoadString(unsigned nId);

} // namespace res

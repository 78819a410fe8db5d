#include "platform/StringTable.h"

#include <algorithm>
#include <iterator>
#include <string_view>

namespace res {

namespace {

struct SStringResource {
    unsigned nId;
    std::string_view text;
};

// Sorted by id.
constexpr SStringResource kStrings[] = {
    {IDS_OLE_INIT_FAILED, "OLE 初始化失败。请确保 OLE 库是正确的版本。"},
    {IDS_POWER_VIEW, "Power view"},
    {IDS_SYSTEM_VIEW, "System view"},
    {IDS_POWER, "Power"},
    {IDS_TODAY_ENERGY, "Today Energy"},
    {IDS_TOTAL_ENERGY, "Total Energy"},
    {IDS_CO2_REDUCTION, "CO2 reduction"},
    {IDS_DISCONNECTED, "Dis-connected"},
    {IDS_HISTORY_VIEW, "History"},
    {IDS_DOC_TEMPLATE, "Zelvan\n\nZelvan\n\n\nZelvan.Document\nZelvan.Document"},
    {IDS_SHEET_PARSET, "tester-parset"},
    {IDS_SHEET_MODELCODE, "tester-modelcode"},
    {IDS_PARSE_INT, "请输入一个整数。"},
    {IDS_PARSE_REAL, "请输入一个数字。"},
    {IDS_PARSE_INT_RANGE, "请输入一个在 %1 和 %2 之间的整数。"},
    {IDS_PARSE_REAL_RANGE, "请输入一个在 %1 和 %2 之间的数字。"},
};

static_assert(std::is_sorted(std::begin(kStrings), std::end(kStrings),
                             [](const SStringResource& a, const SStringResource& b) { return a.nId < b.nId; }));

} // namespace

std::string LoadString(unsigned nId)
{
    const auto* it = std::lower_bound(std::begin(kStrings), std::end(kStrings), nId,
                                      [](const SStringResource& s, unsigned id) { return s.nId < id; });
    if (it == std::end(kStrings) || it->nId != nId)
        return {};
    return std::string(it->text);
}

} // namespace res

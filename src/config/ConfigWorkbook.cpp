#include "config/ConfigWorkbook.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>

#include "config/WorkbookLoader.h"
#include "platform/MessageBox.h"

namespace {

const char* const kStandardNames[ConfigWorkbook::kStandardCount] = {
    "AS4777",    "VDE-OLD", "VDE-NEW", "G83",         "G59",      "DK5940",  "ETL-208",
    "ETL-240",   "ETL-277", "IEC",     "Island mode", "Belgium",  "French",  "Germany",
    "Velquoran", "Brazil",  "EN50438", "Greece",      "CEI 0-21", "Ireland", "ETL-220"};

const char* const kParameterColumnNames[ConfigWorkbook::kParameterColumns] = {
    "Parameter", "min",       "max",     "AS4777",  "VDE-OLD", "VDE-NEW",     "G83",     "G59",
    "DK5940",    "ETL-208",   "ETL-240", "ETL-277", "IEC",     "Island mode", "Belgium", "French",
    "Germany",   "Velquoran", "Brazil",  "EN50438", "Greece",  "CEI 0-21",    "Ireland", "ETL-220"};

const char* const kModelColumnNames[ConfigWorkbook::kModelColumns] = {"Model", "Name",     "Code",
                                                                      "Power", "Standard", "Code-Old"};

const SSheetRequest kSheetRequests[2] = {
    {ConfigWorkbook::kParameterSheet, kParameterColumnNames, ConfigWorkbook::kParameterColumns},
    {ConfigWorkbook::kModelSheet, kModelColumnNames, ConfigWorkbook::kModelColumns},
};

char g_szLastError[ConfigWorkbook::kLastErrorSize] = "NULL POINTER";

// Copies `text` into a buffer of kLastErrorSize characters, cut to fit.
void CopyCut(char* buffer, const std::string& text)
{
    const std::size_t n = std::min(text.size(), ConfigWorkbook::kLastErrorSize - 1);
    std::memcpy(buffer, text.data(), n);
    buffer[n] = '\0';
}

} // namespace

bool ParseCellNumber(const std::string& text, double& value)
{
    const char* begin = text.c_str();
    char* end = nullptr;
    const double v = std::strtod(begin, &end);
    if (end == begin)
        return false;
    while (*end == ' ' || *end == '\t')
        ++end;
    if (*end != '\0' || !std::isfinite(v))
        return false;
    value = v;
    return true;
}

const char* GetConfigLastError()
{
    return g_szLastError;
}

ConfigWorkbook::ConfigWorkbook() : m_vStandards(kStandardNames, kStandardNames + kStandardCount)
{
    std::strcpy(m_szLastError, "NULL POINTER");
}

ConfigWorkbook::~ConfigWorkbook() = default;

const char* const* ConfigWorkbook::StandardColumnNames()
{
    return kParameterColumnNames;
}

const char* const* ConfigWorkbook::ModelColumnNames()
{
    return kModelColumnNames;
}

bool ConfigWorkbook::OpenWorkbook(const std::string& path)
{
    // The whole file is read here, in one go (FreeXL parses it at open);
    // the sheet reads then take their part of the content.
    m_bOpen = false;
    SWorkbookContent content = LoadWorkbook(path, kSheetRequests);
    if (content.openResult != 0) {
        m_vPendingSheets.clear();
        platform::ShowMessageBox(kMessageBoxCaption, content.openError, platform::kMbOk | platform::kMbIconWarning);
        return false;
    }
    m_vPendingSheets = std::move(content.sheets);
    m_bOpen = true;
    SetLastErrorText("Success");
    return true;
}

void ConfigWorkbook::ReadParameterSheet()
{
    TakeSheet(0, m_vParameterTable.data(), kParameterColumns, m_vParameterRowWidth);
}

void ConfigWorkbook::ReadModelSheet()
{
    TakeSheet(1, m_vModelTable.data(), kModelColumns, m_vModelRowWidth);
}

void ConfigWorkbook::TakeSheet(std::size_t index, std::vector<std::string>* table, int columnCount,
                               std::vector<int>& rowWidths)
{
    if (!m_bOpen || index >= m_vPendingSheets.size()) {
        SetLastErrorText(FormatWorkbookError(kWorkbookErrNotOpen, std::string("Cannot read sheet '") +
                                                                      kSheetRequests[index].sheet +
                                                                      "': the workbook is not open.")
                             .c_str());
        return;
    }
    SSheetContent& sheet = m_vPendingSheets[index];
    for (int c = 0; c < columnCount && static_cast<std::size_t>(c) < sheet.columns.size(); ++c)
        table[c] = std::move(sheet.columns[static_cast<std::size_t>(c)]);
    rowWidths = std::move(sheet.rowWidths);
    if (!sheet.lastError.empty())
        SetLastErrorText(sheet.lastError.c_str());
    sheet = SSheetContent{};
}

void ConfigWorkbook::SetLastErrorText(const char* text)
{
    CopyCut(m_szLastError, text);
    CopyCut(g_szLastError, text);
}

int ConfigWorkbook::LookupParameter(const std::string& name, int standard, double& value) const
{
    if (standard < 0 || standard >= kStandardCount)
        return -1;
    const std::vector<std::string>& names = m_vParameterTable[0];
    for (std::size_t row = 0; row < names.size(); ++row) {
        if (!HasParameterCell(row, 0) || names[row] != name)
            continue;
        // First row wins; a row that has no cell in this column (after a
        // failed number read) supplies nothing, never a neighbour's value.
        if (!HasParameterCell(row, 3 + standard))
            return -1;
        double v = 0;
        if (!ParseCellNumber(m_vParameterTable[static_cast<std::size_t>(3 + standard)][row], v))
            return -1;
        value = v;
        return 0;
    }
    return -1;
}

bool ConfigWorkbook::HasParameterCell(std::size_t row, int column) const
{
    return row < m_vParameterRowWidth.size() && column < m_vParameterRowWidth[row];
}

bool ConfigWorkbook::HasModelCell(std::size_t row, int column) const
{
    return row < m_vModelRowWidth.size() && column < m_vModelRowWidth[row];
}

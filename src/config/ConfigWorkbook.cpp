#include "config/ConfigWorkbook.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include <freexl.h>

#include "platform/MessageBox.h"

namespace {

const char* const kStandardNames[ConfigWorkbook::kStandardCount] = {
    "AS4777", "VDE-OLD", "VDE-NEW", "G83",         "G59",     "DK5940",  "ETL-208",
    "ETL-240", "ETL-277", "IEC",   "Island mode", "Belgium", "French",  "Germany",
    "Velquoran", "Brazil", "EN50438", "Greece",   "CEI 0-21", "Ireland", "ETL-220"};

const char* const kParameterColumnNames[ConfigWorkbook::kParameterColumns] = {
    "Parameter", "min",     "max",     "AS4777",  "VDE-OLD",     "VDE-NEW", "G83",    "G59",
    "DK5940",    "ETL-208", "ETL-240", "ETL-277", "IEC",         "Island mode", "Belgium", "French",
    "Germany",   "Velquoran", "Brazil", "EN50438", "Greece",     "CEI 0-21", "Ireland", "ETL-220"};

const char* const kModelColumnNames[ConfigWorkbook::kModelColumns] = {"Model",    "Name",     "Code",
                                                                      "Power",    "Standard", "Code-Old"};

// Columns read as text; every other column is read as a number.
bool IsTextColumn(const char* name)
{
    for (const char* text : {"Parameter", "Model", "Name", "Standard", "Code-Old"}) {
        if (std::strcmp(name, text) == 0)
            return true;
    }
    return false;
}

// Cell types whose value FreeXL hands over as text.
bool IsTextCell(unsigned char type)
{
    return type == FREEXL_CELL_TEXT || type == FREEXL_CELL_SST_TEXT || type == FREEXL_CELL_DATE ||
           type == FREEXL_CELL_DATETIME || type == FREEXL_CELL_TIME;
}

// Reader errors of our own, beside the (negative) FreeXL codes.
constexpr long kErrNotOpen = -100;
constexpr long kErrNoSheet = -101;
constexpr long kErrNoColumn = -102;
constexpr long kErrEmptyCell = -103;
constexpr long kErrNotNumber = -104;

const char* ErrorMeaning(long code)
{
    switch (code) {
    case FREEXL_FILE_NOT_FOUND: return "File not found";
    case FREEXL_INSUFFICIENT_MEMORY: return "Not enough memory";
    case FREEXL_INVALID_CFBF_HEADER: return "Not an Excel 97-2003 file (invalid container header)";
    case FREEXL_CFBF_READ_ERROR: return "Read error (file damaged or truncated)";
    case FREEXL_CFBF_SEEK_ERROR: return "Seek error (file damaged or truncated)";
    case FREEXL_CFBF_INVALID_SIGNATURE: return "Not an Excel 97-2003 file (invalid signature)";
    case FREEXL_CFBF_INVALID_SECTOR_SIZE: return "Damaged file (invalid sector size)";
    case FREEXL_CFBF_EMPTY_FAT_CHAIN: return "Damaged file (empty sector chain)";
    case FREEXL_CFBF_ILLEGAL_FAT_ENTRY: return "Damaged file (invalid sector chain)";
    case FREEXL_BIFF_INVALID_BOF: return "Damaged workbook (invalid record)";
    case FREEXL_BIFF_INVALID_SST: return "Damaged workbook (invalid string table)";
    case FREEXL_BIFF_ILLEGAL_SST_INDEX: return "Damaged workbook (invalid string index)";
    case FREEXL_BIFF_WORKBOOK_NOT_FOUND: return "No workbook stream in the file";
    case FREEXL_BIFF_ILLEGAL_SHEET_INDEX: return "Invalid sheet index";
    case FREEXL_BIFF_UNSELECTED_SHEET: return "No sheet selected";
    case FREEXL_INVALID_CHARACTER: return "Invalid character in a text";
    case FREEXL_UNSUPPORTED_CHARSET: return "Unsupported character set";
    case FREEXL_ILLEGAL_CELL_ROW_COL: return "Cell outside the sheet";
    case FREEXL_ILLEGAL_RK_VALUE: return "Damaged number cell";
    case FREEXL_INVALID_MINI_STREAM: return "Damaged file (invalid mini stream)";
    case FREEXL_CFBF_ILLEGAL_MINI_FAT_ENTRY: return "Damaged file (invalid mini stream entry)";
    case FREEXL_CRAFTED_FILE: return "Severely damaged file";
    case kErrNotOpen: return "Workbook not open";
    case kErrNoSheet: return "Sheet not found";
    case kErrNoColumn: return "Column not found";
    case kErrEmptyCell: return "Empty cell";
    case kErrNotNumber: return "Type mismatch";
    default: return "Unknown error";
    }
}

char g_szLastError[ConfigWorkbook::kLastErrorSize] = "NULL POINTER";

// Copies `text` into a fixed buffer of kLastErrorSize, cut to fit.
void CopyCut(char* buffer, const std::string& text)
{
    const std::size_t n = std::min(text.size(), ConfigWorkbook::kLastErrorSize - 1);
    std::memcpy(buffer, text.data(), n);
    buffer[n] = '\0';
}

std::string FormatNumberCell(double value)
{
    char text[64];
    const int n = std::snprintf(text, sizeof text, "%.2f", value);
    if (n < 0)
        return std::string();
    if (static_cast<std::size_t>(n) < sizeof text)
        return std::string(text, static_cast<std::size_t>(n));
    // A huge value: its "%.2f" text is longer than the local buffer.
    std::string big(static_cast<std::size_t>(n) + 1, '\0');
    std::snprintf(big.data(), big.size(), "%.2f", value);
    big.resize(static_cast<std::size_t>(n));
    return big;
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

ConfigWorkbook::~ConfigWorkbook()
{
    CloseWorkbook();
}

const char* const* ConfigWorkbook::StandardColumnNames()
{
    return kParameterColumnNames;
}

const char* const* ConfigWorkbook::ModelColumnNames()
{
    return kModelColumnNames;
}

void ConfigWorkbook::CloseWorkbook()
{
    if (m_pHandle != nullptr)
        freexl_close(m_pHandle);
    m_pHandle = nullptr;
}

bool ConfigWorkbook::OpenWorkbook(const std::string& path)
{
    CloseWorkbook();
    const void* handle = nullptr;
    int rc = freexl_open(path.c_str(), &handle);
    if (rc == FREEXL_OK) {
        // A workbook whose records are obfuscated cannot be read cell by cell.
        unsigned int password = 0;
        if (freexl_get_info(handle, FREEXL_BIFF_PASSWORD, &password) == FREEXL_OK &&
            password == FREEXL_BIFF_OBFUSCATED)
            rc = FREEXL_BIFF_WORKBOOK_NOT_FOUND;
    }
    if (rc != FREEXL_OK) {
        if (handle != nullptr)
            freexl_close(handle); // FreeXL expects a close even after a failed open
        std::string text;
        if (rc == FREEXL_FILE_NOT_FOUND)
            text = "Could not find file '" + path + "'.";
        else
            text = "The configuration workbook '" + path + "' cannot be read: " + ErrorMeaning(rc) + ".";
        platform::ShowMessageBox(kMessageBoxCaption, text, platform::kMbOk | platform::kMbIconWarning);
        return false;
    }
    m_pHandle = handle;
    SetLastErrorText("Success");
    return true;
}

void ConfigWorkbook::ReadParameterSheet()
{
    ReadSheet(kParameterSheet, kParameterColumnNames, kParameterColumns, m_vParameterTable.data(),
              m_vParameterRowWidth);
}

void ConfigWorkbook::ReadModelSheet()
{
    ReadSheet(kModelSheet, kModelColumnNames, kModelColumns, m_vModelTable.data(), m_vModelRowWidth);
}

void ConfigWorkbook::SetLastErrorText(const char* text)
{
    CopyCut(m_szLastError, text);
    CopyCut(g_szLastError, text);
}

void ConfigWorkbook::SetLastError(const SError& error, const char* fieldName)
{
    // Built by appending, then cut to the buffer: a long description can
    // neither overflow the buffer nor be printed over itself.
    char code[32];
    std::snprintf(code, sizeof code, "%08lx", static_cast<unsigned long>(static_cast<std::uint32_t>(error.code)));
    std::string text = "Error:\n";
    text += "Code = ";
    text += code;
    text += "\nCode meaning = " + error.meaning;
    text += "\nSource = " + std::string(kFileName);
    text += "\nDescription = " + error.description;
    if (fieldName != nullptr) {
        text += "\n**For Field Name:";
        text += fieldName;
    }
    SetLastErrorText(text.c_str());
}

bool ConfigWorkbook::ReadSheet(const char* sheet, const char* const* columns, int columnCount,
                               std::vector<std::string>* table, std::vector<int>& rowWidths)
{
    auto fail = [this](long code, const std::string& description, const char* field = nullptr) {
        SetLastError(SError{code, ErrorMeaning(code), description}, field);
        return false;
    };
    if (m_pHandle == nullptr)
        return fail(kErrNotOpen, std::string("Cannot read sheet '") + sheet + "': the workbook is not open.");

    unsigned int sheetCount = 0;
    int rc = freexl_get_info(m_pHandle, FREEXL_BIFF_SHEET_COUNT, &sheetCount);
    if (rc != FREEXL_OK)
        return fail(rc, std::string("Cannot list the sheets for '") + sheet + "'.");
    int found = -1;
    for (unsigned int i = 0; i < sheetCount && i < 0xFFFF && found < 0; ++i) {
        const char* name = nullptr;
        if (freexl_get_worksheet_name(m_pHandle, static_cast<unsigned short>(i), &name) == FREEXL_OK &&
            name != nullptr && std::strcmp(name, sheet) == 0)
            found = static_cast<int>(i);
    }
    if (found < 0)
        return fail(kErrNoSheet, std::string("The sheet '") + sheet + "' is not in the workbook.");
    rc = freexl_select_active_worksheet(m_pHandle, static_cast<unsigned short>(found));
    unsigned int rows = 0;
    unsigned short sheetColumns = 0;
    if (rc == FREEXL_OK)
        rc = freexl_worksheet_dimensions(m_pHandle, &rows, &sheetColumns);
    if (rc != FREEXL_OK)
        return fail(rc, std::string("Cannot open the sheet '") + sheet + "'.");

    // The header row names the columns; each listed column is found by name.
    std::vector<int> position(static_cast<std::size_t>(columnCount), -1);
    for (unsigned short c = 0; rows > 0 && c < sheetColumns; ++c) {
        FreeXL_CellValue cell;
        if (freexl_get_cell_value(m_pHandle, 0, c, &cell) != FREEXL_OK)
            continue;
        if (cell.type != FREEXL_CELL_TEXT && cell.type != FREEXL_CELL_SST_TEXT)
            continue;
        if (cell.value.text_value == nullptr)
            continue;
        for (int k = 0; k < columnCount; ++k) {
            if (position[static_cast<std::size_t>(k)] < 0 && std::strcmp(cell.value.text_value, columns[k]) == 0)
                position[static_cast<std::size_t>(k)] = c;
        }
    }

    for (unsigned int row = 1; row < rows; ++row) {
        int width = columnCount;
        for (int k = 0; k < columnCount; ++k) {
            const bool textColumn = IsTextColumn(columns[k]);
            const int c = position[static_cast<std::size_t>(k)];
            // A text field that cannot be read ends the sheet; a number field
            // that cannot be read ends the record (its later columns get no
            // entry for this row).
            auto fieldError = [&](long code, const std::string& description) {
                fail(code, description, columns[k]);
                return textColumn;
            };
            FreeXL_CellValue cell;
            cell.type = FREEXL_CELL_NULL;
            if (c < 0) {
                if (fieldError(kErrNoColumn, "The column is not in the sheet's header row."))
                    return false;
                width = k;
                break;
            }
            rc = freexl_get_cell_value(m_pHandle, row, static_cast<unsigned short>(c), &cell);
            if (rc != FREEXL_OK) {
                if (fieldError(rc, "The cell cannot be read."))
                    return false;
                width = k;
                break;
            }
            std::string text;
            bool ok = true;
            switch (cell.type) {
            case FREEXL_CELL_INT:
                text = FormatNumberCell(static_cast<double>(cell.value.int_value));
                break;
            case FREEXL_CELL_DOUBLE:
                text = FormatNumberCell(cell.value.double_value);
                break;
            case FREEXL_CELL_TEXT:
            case FREEXL_CELL_SST_TEXT:
            case FREEXL_CELL_DATE:
            case FREEXL_CELL_DATETIME:
            case FREEXL_CELL_TIME:
                // Dates and times come as text; like any text they cannot
                // fill a number column.
                ok = textColumn && cell.value.text_value != nullptr;
                if (ok)
                    text = cell.value.text_value;
                break;
            default:
                ok = false;
                break;
            }
            if (!ok) {
                const bool empty = cell.type == FREEXL_CELL_NULL;
                std::string description = "Row " + std::to_string(row + 1) + ": ";
                if (empty)
                    description += "the cell is empty.";
                else if (IsTextCell(cell.type) && cell.value.text_value != nullptr)
                    description += std::string("the cell holds '") + cell.value.text_value + "', not a number.";
                else
                    description += "the cell does not hold a number.";
                if (fieldError(empty ? kErrEmptyCell : kErrNotNumber, description))
                    return false;
                width = k;
                break;
            }
            table[k].push_back(std::move(text));
        }
        // The columns stay aligned by row: a cell the record did not reach is
        // held as an empty text, and the row's width says it is missing.
        for (int k = width; k < columnCount; ++k)
            table[k].emplace_back();
        rowWidths.push_back(width);
    }
    return true;
}

int ConfigWorkbook::LookupParameter(const std::string& name, int standard, double& value) const
{
    if (standard < 0 || standard >= kStandardCount)
        return -1;
    const std::vector<std::string>& names = m_vParameterTable[0];
    for (std::size_t row = 0; row < names.size(); ++row) {
        if (names[row] != name)
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

#include "config/WorkbookLoader.h"

#include <cerrno>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>

#include <freexl.h>

#if defined(__unix__) || defined(__APPLE__)
#include <csignal>
#include <fcntl.h>
#include <poll.h>
#include <sys/wait.h>
#include <unistd.h>
#define ZELVAN_WORKBOOK_CHILD 1
#endif

namespace {

constexpr const char* kSource = "datacfg-sp.xls";

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

std::string OpenErrorText(const std::string& path, int rc)
{
    if (rc == FREEXL_FILE_NOT_FOUND)
        return "Could not find file '" + path + "'.";
    return "The configuration workbook '" + path + "' cannot be read: " + WorkbookErrorMeaning(rc) + ".";
}

// Reads one sheet as ADO would hand it over: rows after the header, each
// requested column by name. A text field that cannot be read ends the sheet;
// a number field that cannot be read ends the record.
void ReadSheet(const void* handle, const SSheetRequest& request, SSheetContent& out)
{
    const int columnCount = request.columnCount;
    out.columns.assign(static_cast<std::size_t>(columnCount), {});
    auto fail = [&out](long code, const std::string& description, const char* field = nullptr) {
        out.lastError = FormatWorkbookError(code, description, field);
    };

    unsigned int sheetCount = 0;
    int rc = freexl_get_info(handle, FREEXL_BIFF_SHEET_COUNT, &sheetCount);
    if (rc != FREEXL_OK)
        return fail(rc, std::string("Cannot list the sheets for '") + request.sheet + "'.");
    int found = -1;
    for (unsigned int i = 0; i < sheetCount && i < 0xFFFF && found < 0; ++i) {
        const char* name = nullptr;
        if (freexl_get_worksheet_name(handle, static_cast<unsigned short>(i), &name) == FREEXL_OK && name != nullptr &&
            std::strcmp(name, request.sheet) == 0)
            found = static_cast<int>(i);
    }
    if (found < 0)
        return fail(kWorkbookErrNoSheet, std::string("The sheet '") + request.sheet + "' is not in the workbook.");
    rc = freexl_select_active_worksheet(handle, static_cast<unsigned short>(found));
    unsigned int rows = 0;
    unsigned short sheetColumns = 0;
    if (rc == FREEXL_OK)
        rc = freexl_worksheet_dimensions(handle, &rows, &sheetColumns);
    if (rc != FREEXL_OK)
        return fail(rc, std::string("Cannot open the sheet '") + request.sheet + "'.");

    // The header row names the columns; each requested column is found by name.
    std::vector<int> position(static_cast<std::size_t>(columnCount), -1);
    for (unsigned short c = 0; rows > 0 && c < sheetColumns; ++c) {
        FreeXL_CellValue cell;
        if (freexl_get_cell_value(handle, 0, c, &cell) != FREEXL_OK)
            continue;
        if (cell.type != FREEXL_CELL_TEXT && cell.type != FREEXL_CELL_SST_TEXT)
            continue;
        if (cell.value.text_value == nullptr)
            continue;
        for (int k = 0; k < columnCount; ++k) {
            if (position[static_cast<std::size_t>(k)] < 0 &&
                std::strcmp(cell.value.text_value, request.columns[k]) == 0)
                position[static_cast<std::size_t>(k)] = c;
        }
    }

    bool stop = false;
    for (unsigned int row = 1; row < rows && !stop; ++row) {
        int width = columnCount;
        for (int k = 0; k < columnCount; ++k) {
            const char* column = request.columns[k];
            const bool textColumn = IsTextColumn(column);
            const int c = position[static_cast<std::size_t>(k)];
            std::string description;
            long code = 0;
            std::string text;
            FreeXL_CellValue cell;
            cell.type = FREEXL_CELL_NULL;
            if (c < 0) {
                code = kWorkbookErrNoColumn;
                description = "The column is not in the sheet's header row.";
            } else if ((rc = freexl_get_cell_value(handle, row, static_cast<unsigned short>(c), &cell)) != FREEXL_OK) {
                code = rc;
                description = "Row " + std::to_string(row + 1) + ": the cell cannot be read.";
            } else if (cell.type == FREEXL_CELL_INT) {
                text = FormatNumberCell(static_cast<double>(cell.value.int_value));
            } else if (cell.type == FREEXL_CELL_DOUBLE) {
                text = FormatNumberCell(cell.value.double_value);
            } else if (IsTextCell(cell.type) && textColumn && cell.value.text_value != nullptr) {
                // Dates and times come as text too; no text fills a number column.
                text = cell.value.text_value;
            } else if (cell.type == FREEXL_CELL_NULL) {
                code = kWorkbookErrEmptyCell;
                description = "Row " + std::to_string(row + 1) + ": the cell is empty.";
            } else {
                code = kWorkbookErrNotNumber;
                description = "Row " + std::to_string(row + 1) + ": ";
                if (IsTextCell(cell.type) && cell.value.text_value != nullptr)
                    description += std::string("the cell holds '") + cell.value.text_value + "', not a number.";
                else
                    description += "the cell does not hold a number.";
            }
            if (code != 0) {
                fail(code, description, column);
                width = k;
                stop = textColumn; // the sheet ends here; what was read stays
                break;
            }
            out.columns[static_cast<std::size_t>(k)].push_back(std::move(text));
        }
        // The columns stay aligned by row: a cell the record did not reach is
        // held as an empty text, and the row's width says it is missing.
        for (int k = width; k < columnCount; ++k)
            out.columns[static_cast<std::size_t>(k)].emplace_back();
        out.rowWidths.push_back(width);
    }
}

#ifdef ZELVAN_WORKBOOK_CHILD

// The content travels from the child as length-prefixed fields.
void PutInt(std::string& out, std::int64_t v)
{
    out.append(reinterpret_cast<const char*>(&v), sizeof v);
}

void PutText(std::string& out, const std::string& text)
{
    PutInt(out, static_cast<std::int64_t>(text.size()));
    out += text;
}

std::string Serialize(const SWorkbookContent& content)
{
    std::string out;
    PutInt(out, content.openResult);
    PutText(out, content.openError);
    PutInt(out, static_cast<std::int64_t>(content.sheets.size()));
    for (const SSheetContent& sheet : content.sheets) {
        PutText(out, sheet.lastError);
        PutInt(out, static_cast<std::int64_t>(sheet.rowWidths.size()));
        for (int w : sheet.rowWidths)
            PutInt(out, w);
        PutInt(out, static_cast<std::int64_t>(sheet.columns.size()));
        for (const auto& column : sheet.columns) {
            PutInt(out, static_cast<std::int64_t>(column.size()));
            for (const std::string& text : column)
                PutText(out, text);
        }
    }
    return out;
}

class CReader {
public:
    explicit CReader(const std::string& data) : m_data(data) {}
    bool Int(std::int64_t& v)
    {
        if (m_data.size() - m_pos < sizeof v)
            return false;
        std::memcpy(&v, m_data.data() + m_pos, sizeof v);
        m_pos += sizeof v;
        return true;
    }
    bool Count(std::size_t& n)
    {
        std::int64_t v = 0;
        if (!Int(v) || v < 0 || static_cast<std::uint64_t>(v) > m_data.size() - m_pos)
            return false; // every counted item takes at least one byte
        n = static_cast<std::size_t>(v);
        return true;
    }
    bool Text(std::string& text)
    {
        std::size_t n = 0;
        if (!Count(n))
            return false;
        text.assign(m_data, m_pos, n);
        m_pos += n;
        return true;
    }
    bool AtEnd() const { return m_pos == m_data.size(); }

private:
    const std::string& m_data;
    std::size_t m_pos = 0;
};

bool Deserialize(const std::string& data, std::span<const SSheetRequest> requests, SWorkbookContent& content)
{
    CReader in(data);
    std::int64_t openResult = 0;
    std::size_t sheets = 0;
    if (!in.Int(openResult) || !in.Text(content.openError) || !in.Count(sheets))
        return false;
    content.openResult = static_cast<int>(openResult);
    if (sheets != (openResult == 0 ? requests.size() : 0))
        return false;
    content.sheets.resize(sheets);
    for (std::size_t s = 0; s < sheets; ++s) {
        SSheetContent& sheet = content.sheets[s];
        std::size_t rows = 0;
        std::size_t columns = 0;
        if (!in.Text(sheet.lastError) || !in.Count(rows))
            return false;
        sheet.rowWidths.resize(rows);
        for (int& w : sheet.rowWidths) {
            std::int64_t v = 0;
            if (!in.Int(v) || v < 0 || v > requests[s].columnCount)
                return false;
            w = static_cast<int>(v);
        }
        if (!in.Count(columns) || columns != static_cast<std::size_t>(requests[s].columnCount))
            return false;
        sheet.columns.resize(columns);
        for (auto& column : sheet.columns) {
            std::size_t n = 0;
            if (!in.Count(n) || n != rows)
                return false;
            column.resize(n);
            for (std::string& text : column) {
                if (!in.Text(text))
                    return false;
            }
        }
    }
    return in.AtEnd();
}

bool WriteAll(int fd, const std::string& data)
{
    std::size_t done = 0;
    while (done < data.size()) {
        const ssize_t n = ::write(fd, data.data() + done, data.size() - done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        done += static_cast<std::size_t>(n);
    }
    return true;
}

// Reads until end of file; false on a time-out (a child that hangs).
bool ReadAll(int fd, std::string& data, int timeoutMs)
{
    char buffer[65536];
    for (;;) {
        pollfd p{fd, POLLIN, 0};
        const int ready = ::poll(&p, 1, timeoutMs);
        if (ready < 0 && errno == EINTR)
            continue;
        if (ready <= 0)
            return false;
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            return false;
        if (n == 0)
            return true;
        data.append(buffer, static_cast<std::size_t>(n));
    }
}

#endif

} // namespace

const char* WorkbookErrorMeaning(long code)
{
    switch (code) {
    case FREEXL_FILE_NOT_FOUND:
        return "File not found";
    case FREEXL_INSUFFICIENT_MEMORY:
        return "Not enough memory";
    case FREEXL_INVALID_CFBF_HEADER:
        return "Not an Excel 97-2003 file (invalid container header)";
    case FREEXL_CFBF_READ_ERROR:
        return "Read error (file damaged or truncated)";
    case FREEXL_CFBF_SEEK_ERROR:
        return "Seek error (file damaged or truncated)";
    case FREEXL_CFBF_INVALID_SIGNATURE:
        return "Not an Excel 97-2003 file (invalid signature)";
    case FREEXL_CFBF_INVALID_SECTOR_SIZE:
        return "Damaged file (invalid sector size)";
    case FREEXL_CFBF_EMPTY_FAT_CHAIN:
        return "Damaged file (empty sector chain)";
    case FREEXL_CFBF_ILLEGAL_FAT_ENTRY:
        return "Damaged file (invalid sector chain)";
    case FREEXL_BIFF_INVALID_BOF:
        return "Damaged workbook (invalid record)";
    case FREEXL_BIFF_INVALID_SST:
        return "Damaged workbook (invalid string table)";
    case FREEXL_BIFF_ILLEGAL_SST_INDEX:
        return "Damaged workbook (invalid string index)";
    case FREEXL_BIFF_WORKBOOK_NOT_FOUND:
        return "No readable workbook in the file";
    case FREEXL_BIFF_ILLEGAL_SHEET_INDEX:
        return "Invalid sheet index";
    case FREEXL_BIFF_UNSELECTED_SHEET:
        return "No sheet selected";
    case FREEXL_INVALID_CHARACTER:
        return "Invalid character in a text";
    case FREEXL_UNSUPPORTED_CHARSET:
        return "Unsupported character set";
    case FREEXL_ILLEGAL_CELL_ROW_COL:
        return "Cell outside the sheet";
    case FREEXL_ILLEGAL_RK_VALUE:
        return "Damaged number cell";
    case FREEXL_INVALID_MINI_STREAM:
        return "Damaged file (invalid mini stream)";
    case FREEXL_CFBF_ILLEGAL_MINI_FAT_ENTRY:
        return "Damaged file (invalid mini stream entry)";
    case FREEXL_CRAFTED_FILE:
        return "Severely damaged file";
    case kWorkbookErrNotOpen:
        return "Workbook not open";
    case kWorkbookErrNoSheet:
        return "Sheet not found";
    case kWorkbookErrNoColumn:
        return "Column not found";
    case kWorkbookErrEmptyCell:
        return "Empty cell";
    case kWorkbookErrNotNumber:
        return "Type mismatch";
    case kWorkbookErrReaderFailed:
        return "Damaged file (the reader stopped)";
    default:
        return "Unknown error";
    }
}

std::string FormatWorkbookError(long code, const std::string& description, const char* fieldName)
{
    // Built by appending (the caller cuts it to its buffer).
    char number[32];
    std::snprintf(number, sizeof number, "%08lx", static_cast<unsigned long>(static_cast<std::uint32_t>(code)));
    std::string text = "Error:\n";
    text += "Code = ";
    text += number;
    text += "\nCode meaning = ";
    text += WorkbookErrorMeaning(code);
    text += "\nSource = ";
    text += kSource;
    text += "\nDescription = " + description;
    if (fieldName != nullptr) {
        text += "\n**For Field Name:";
        text += fieldName;
    }
    return text;
}

SWorkbookContent LoadWorkbookInProcess(const std::string& path, std::span<const SSheetRequest> requests)
{
    SWorkbookContent content;
    const void* handle = nullptr;
    int rc = freexl_open(path.c_str(), &handle);
    if (rc == FREEXL_OK) {
        // A workbook whose records are obfuscated cannot be read cell by cell.
        unsigned int password = 0;
        if (freexl_get_info(handle, FREEXL_BIFF_PASSWORD, &password) == FREEXL_OK && password == FREEXL_BIFF_OBFUSCATED)
            rc = FREEXL_BIFF_WORKBOOK_NOT_FOUND;
    }
    if (rc == FREEXL_OK) {
        content.sheets.resize(requests.size());
        for (std::size_t s = 0; s < requests.size(); ++s)
            ReadSheet(handle, requests[s], content.sheets[s]);
    } else {
        content.openResult = rc;
        content.openError = OpenErrorText(path, rc);
    }
    if (handle != nullptr)
        freexl_close(handle); // also after a failed open
    return content;
}

SWorkbookContent LoadWorkbook(const std::string& path, std::span<const SSheetRequest> requests)
{
#ifdef ZELVAN_WORKBOOK_CHILD
    // A missing file needs no child.
    if (::access(path.c_str(), F_OK) != 0)
        return LoadWorkbookInProcess(path, requests);
    int fds[2];
    if (::pipe(fds) == 0) {
        const pid_t child = ::fork();
        if (child == 0) {
            ::close(fds[0]);
            // The library's own complaints (or a sanitizer's) about a damaged
            // file are not the program's output.
            const int devnull = ::open("/dev/null", O_WRONLY);
            if (devnull >= 0)
                ::dup2(devnull, 2);
            const bool ok = WriteAll(fds[1], Serialize(LoadWorkbookInProcess(path, requests)));
            ::_exit(ok ? 0 : 1);
        }
        ::close(fds[1]);
        if (child > 0) {
            std::string data;
            const bool complete = ReadAll(fds[0], data, 10000);
            ::close(fds[0]);
            if (!complete)
                ::kill(child, SIGKILL);
            int status = 0;
            while (::waitpid(child, &status, 0) < 0 && errno == EINTR) {
            }
            SWorkbookContent content;
            if (complete && WIFEXITED(status) && WEXITSTATUS(status) == 0 && Deserialize(data, requests, content))
                return content;
            content = SWorkbookContent{};
            content.openResult = static_cast<int>(kWorkbookErrReaderFailed);
            content.openError = OpenErrorText(path, content.openResult);
            return content;
        }
        ::close(fds[0]);
    }
#endif
    return LoadWorkbookInProcess(path, requests);
}

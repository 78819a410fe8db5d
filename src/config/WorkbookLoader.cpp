#include "config/WorkbookLoader.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <chrono>
#include <cmath>
#include <csignal>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>

#include <fcntl.h>
#include <freexl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace {

constexpr const char* kSource = "datacfg-sp.xls";
constexpr const char* kReaderName = "zelvan-workbook-reader";
constexpr std::chrono::milliseconds kReaderTimeout{10000};
// Far beyond any real workbook's content; a reader that writes more is not well.
constexpr std::size_t kReaderOutputLimit = std::size_t{64} << 20;

std::mutex g_readerPathLock;
std::string g_readerPath; // set by SetWorkbookReaderPath; empty: unset

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
            } else if (IsTextCell(cell.type) && cell.value.text_value == nullptr) {
                // FreeXL gives no text for one that spans several CONTINUE
                // records; a cut or missing value must not pass for the cell's.
                code = kWorkbookErrNotNumber;
                description = "Row " + std::to_string(row + 1) + ": the cell's text is too long to be read.";
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

// The content travels from the reader as length-prefixed fields.
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
    bool Bytes(std::string& bytes, std::size_t n)
    {
        if (m_data.size() - m_pos < n)
            return false;
        bytes.assign(m_data, m_pos, n);
        m_pos += n;
        return true;
    }
    bool AtEnd() const { return m_pos == m_data.size(); }

private:
    const std::string& m_data;
    std::size_t m_pos = 0;
};

} // namespace

bool DecodeReaderAnswer(const std::string& data, std::span<const SSheetRequest> requests, SWorkbookContent& content)
{
    CReader in(data);
    std::int64_t openResult = 0;
    std::size_t sheets = 0;
    if (!in.Int(openResult) || !in.Text(content.openError) || !in.Count(sheets))
        return false;
    // An answer outside int range would be cut to another (perhaps 0: "opened") result.
    if (openResult < INT_MIN || openResult > INT_MAX)
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

namespace {

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

// Reads until end of file; false on a time-out (a reader that hangs), an
// error, or output beyond the limit.
bool ReadAll(int fd, std::string& data, std::chrono::steady_clock::time_point deadline)
{
    char buffer[65536];
    for (;;) {
        const auto left =
            std::chrono::ceil<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now()).count();
        if (left <= 0)
            return false;
        pollfd p{fd, POLLIN, 0};
        const int ready = ::poll(&p, 1, static_cast<int>(left));
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
        if (data.size() + static_cast<std::size_t>(n) > kReaderOutputLimit)
            return false;
        data.append(buffer, static_cast<std::size_t>(n));
    }
}

std::string ReaderPath()
{
    {
        std::lock_guard lock(g_readerPathLock);
        if (!g_readerPath.empty())
            return g_readerPath;
    }
    const char* chosen = std::getenv("ZELVAN_WORKBOOK_READER");
    if (chosen != nullptr && *chosen != '\0')
        return chosen;
    // Beside the program (the build tree, a portable copy), else where an
    // installation keeps its helper programs (<prefix>/libexec/zelvan).
    std::string beside = kReaderName;
    char self[4096];
    const ssize_t n = ::readlink("/proc/self/exe", self, sizeof self);
    if (n > 0 && static_cast<std::size_t>(n) < sizeof self) {
        const std::string exe(self, static_cast<std::size_t>(n));
        const std::string folder = exe.substr(0, exe.rfind('/') + 1);
        beside = folder + kReaderName;
        const std::string installed = folder + "../libexec/zelvan/" + kReaderName;
        if (::access(beside.c_str(), X_OK) != 0 && ::access(installed.c_str(), X_OK) == 0)
            return installed;
    }
#ifdef ZELVAN_WORKBOOK_READER_BUILT
    // Programs run from the build tree (tests) are not beside the reader.
    if (::access(beside.c_str(), X_OK) != 0)
        return ZELVAN_WORKBOOK_READER_BUILT;
#endif
    return beside;
}

std::vector<std::string> ReaderArguments(const std::string& program, const std::string& path,
                                         std::span<const SSheetRequest> requests)
{
    std::vector<std::string> args{program, path};
    for (const SSheetRequest& request : requests) {
        args.emplace_back(request.sheet);
        args.push_back(std::to_string(request.columnCount));
        args.insert(args.end(), request.columns, request.columns + request.columnCount);
    }
    return args;
}

// Starts the reader with its stdout on a pipe. posix_spawn, unlike a bare
// fork, leaves nothing of this process's other threads (allocator locks
// held at that moment) in the new one.
bool SpawnReader(std::vector<std::string> args, pid_t& pid, int& output)
{
    int fds[2];
    if (::pipe2(fds, O_CLOEXEC) != 0)
        return false;
    std::vector<char*> argv;
    for (std::string& arg : args)
        argv.push_back(arg.data());
    argv.push_back(nullptr);

    posix_spawn_file_actions_t actions;
    posix_spawnattr_t attributes;
    posix_spawn_file_actions_init(&actions);
    posix_spawnattr_init(&attributes);
    posix_spawn_file_actions_adddup2(&actions, fds[1], STDOUT_FILENO);
    posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    // The library's own complaints (or a sanitizer's) about a damaged file
    // are not the program's output.
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
    sigset_t none;
    sigset_t all;
    sigemptyset(&none);
    sigfillset(&all);
    posix_spawnattr_setsigmask(&attributes, &none);
    posix_spawnattr_setsigdefault(&attributes, &all);
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);
    const int rc = ::posix_spawn(&pid, argv[0], &actions, &attributes, argv.data(), environ);
    posix_spawnattr_destroy(&attributes);
    posix_spawn_file_actions_destroy(&actions);

    ::close(fds[1]);
    if (rc != 0) {
        ::close(fds[0]);
        return false;
    }
    output = fds[0];
    return true;
}

// Waits for the reader to end (stopping it first when `stop`, or once the
// deadline passes); true when it ended by itself with status 0.
bool ReapReader(pid_t pid, bool stop, std::chrono::steady_clock::time_point deadline)
{
    if (stop)
        ::kill(pid, SIGKILL);
    for (;;) {
        int status = 0;
        const pid_t r = ::waitpid(pid, &status, stop ? 0 : WNOHANG);
        if (r == pid)
            return !stop && WIFEXITED(status) && WEXITSTATUS(status) == 0;
        if (r < 0 && errno == EINTR)
            continue;
        if (r < 0)
            return !stop; // reaped elsewhere (SIGCHLD ignored): its output decides
        if (std::chrono::steady_clock::now() >= deadline) {
            ::kill(pid, SIGKILL); // closed its output but does not end
            stop = true;
            continue;
        }
        ::usleep(1000);
    }
}

// Runs the reader program with these arguments; its whole output, or false
// on any failure of it.
bool RunReader(std::vector<std::string> args, std::string& data)
{
    const auto deadline = std::chrono::steady_clock::now() + kReaderTimeout;
    pid_t pid = 0;
    int output = -1;
    if (!SpawnReader(std::move(args), pid, output))
        return false;
    const bool complete = ReadAll(output, data, deadline);
    ::close(output);
    const bool exited = ReapReader(pid, !complete, deadline);
    return complete && exited;
}

// The whole reading in the reader program; false on any failure of it.
bool ReadInReader(const std::string& path, std::span<const SSheetRequest> requests, SWorkbookContent& content)
{
    std::string data;
    return RunReader(ReaderArguments(ReaderPath(), path, requests), data) &&
           DecodeReaderAnswer(data, requests, content);
}

// A sheet's cells travel as: open result, open error, rows, columns, then per
// cell a kind and its text or number.
std::string SerializeCells(const SSheetCells& cells)
{
    std::string out;
    PutInt(out, cells.openResult);
    PutText(out, cells.openError);
    PutInt(out, cells.nRows);
    PutInt(out, cells.nColumns);
    for (std::size_t i = 0; i < cells.kinds.size(); ++i) {
        out += static_cast<char>(cells.kinds[i]);
        if (cells.kinds[i] == SSheetCells::kText)
            PutText(out, cells.texts[i]);
        else if (cells.kinds[i] == SSheetCells::kNumber)
            out.append(reinterpret_cast<const char*>(&cells.numbers[i]), sizeof(double));
    }
    return out;
}

SSheetCells CellsFailure(const std::string& path, int rc)
{
    SSheetCells cells;
    cells.openResult = rc;
    cells.openError = "'" + path + "' cannot be read: " + WorkbookErrorMeaning(rc);
    return cells;
}

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
        // A "Workbook" stream without a single sheet is another program's
        // data under that name, not a workbook whose sheets are missing.
        unsigned int sheets = 0;
        if (rc == FREEXL_OK && (freexl_get_info(handle, FREEXL_BIFF_SHEET_COUNT, &sheets) != FREEXL_OK || sheets == 0))
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
    // A missing file needs no reader.
    if (::access(path.c_str(), F_OK) != 0)
        return LoadWorkbookInProcess(path, requests);
    SWorkbookContent content;
    if (ReadInReader(path, requests, content))
        return content;
    content = SWorkbookContent{};
    content.openResult = static_cast<int>(kWorkbookErrReaderFailed);
    content.openError = OpenErrorText(path, content.openResult);
    return content;
}

SSheetCells::EKind SSheetCells::Kind(unsigned int row, unsigned int column) const
{
    if (row >= nRows || column >= nColumns)
        return kEmpty;
    return static_cast<EKind>(kinds[std::size_t{row} * nColumns + column]);
}

const std::string& SSheetCells::Text(unsigned int row, unsigned int column) const
{
    static const std::string empty;
    return row < nRows && column < nColumns ? texts[std::size_t{row} * nColumns + column] : empty;
}

double SSheetCells::Number(unsigned int row, unsigned int column) const
{
    return row < nRows && column < nColumns ? numbers[std::size_t{row} * nColumns + column] : 0.0;
}

SSheetCells LoadSheetCellsInProcess(const std::string& path)
{
    const void* handle = nullptr;
    int rc = freexl_open(path.c_str(), &handle);
    unsigned int sheets = 0;
    if (rc == FREEXL_OK && (freexl_get_info(handle, FREEXL_BIFF_SHEET_COUNT, &sheets) != FREEXL_OK || sheets == 0))
        rc = FREEXL_BIFF_WORKBOOK_NOT_FOUND;
    unsigned int rows = 0;
    unsigned short columns = 0;
    if (rc == FREEXL_OK)
        rc = freexl_select_active_worksheet(handle, 0);
    if (rc == FREEXL_OK)
        rc = freexl_worksheet_dimensions(handle, &rows, &columns);
    if (rc != FREEXL_OK) {
        if (handle != nullptr)
            freexl_close(handle);
        return CellsFailure(path, rc);
    }
    SSheetCells cells;
    cells.nRows = rows;
    cells.nColumns = std::min<unsigned int>(columns, kSheetCellsMaxColumns);
    const std::size_t count = std::size_t{cells.nRows} * cells.nColumns;
    cells.kinds.assign(count, SSheetCells::kEmpty);
    cells.texts.assign(count, {});
    cells.numbers.assign(count, 0.0);
    for (unsigned int r = 0; r < cells.nRows; ++r) {
        for (unsigned int c = 0; c < cells.nColumns; ++c) {
            const std::size_t i = std::size_t{r} * cells.nColumns + c;
            FreeXL_CellValue cell;
            if (freexl_get_cell_value(handle, r, static_cast<unsigned short>(c), &cell) != FREEXL_OK)
                continue;
            if (cell.type == FREEXL_CELL_INT) {
                cells.kinds[i] = SSheetCells::kNumber;
                cells.numbers[i] = static_cast<double>(cell.value.int_value);
            } else if (cell.type == FREEXL_CELL_DOUBLE) {
                cells.kinds[i] = SSheetCells::kNumber;
                cells.numbers[i] = cell.value.double_value;
            } else if (IsTextCell(cell.type) && cell.value.text_value != nullptr) {
                cells.kinds[i] = SSheetCells::kText;
                cells.texts[i] = cell.value.text_value;
            }
        }
    }
    freexl_close(handle);
    return cells;
}

namespace {

// One sheet's answer from where the reader stands.
bool DecodeCells(CReader& in, std::size_t limit, SSheetCells& cells)
{
    std::int64_t openResult = 0;
    std::int64_t rows = 0;
    std::int64_t columns = 0;
    if (!in.Int(openResult) || !in.Text(cells.openError) || !in.Int(rows) || !in.Int(columns))
        return false;
    if (openResult < INT_MIN || openResult > INT_MAX || rows < 0 || columns < 0 ||
        columns > kSheetCellsMaxColumns || rows > 0xFFFFFF || (openResult != 0 && rows * columns != 0))
        return false;
    cells.openResult = static_cast<int>(openResult);
    cells.nRows = static_cast<unsigned int>(rows);
    cells.nColumns = static_cast<unsigned int>(columns);
    const std::size_t count = static_cast<std::size_t>(rows * columns);
    if (count > limit) // every cell takes at least its kind byte
        return false;
    cells.kinds.assign(count, SSheetCells::kEmpty);
    cells.texts.assign(count, {});
    cells.numbers.assign(count, 0.0);
    for (std::size_t i = 0; i < count; ++i) {
        std::string kind;
        if (!in.Bytes(kind, 1))
            return false;
        cells.kinds[i] = static_cast<unsigned char>(kind[0]);
        if (cells.kinds[i] == SSheetCells::kText) {
            if (!in.Text(cells.texts[i]))
                return false;
        } else if (cells.kinds[i] == SSheetCells::kNumber) {
            std::string bytes;
            if (!in.Bytes(bytes, sizeof(double)))
                return false;
            std::memcpy(&cells.numbers[i], bytes.data(), sizeof(double));
        } else if (cells.kinds[i] != SSheetCells::kEmpty) {
            return false;
        }
    }
    return true;
}

} // namespace

bool DecodeSheetCells(const std::string& answer, SSheetCells& cells)
{
    CReader in(answer);
    return DecodeCells(in, answer.size(), cells) && in.AtEnd();
}

std::vector<SSheetCells> LoadSheetCellsBatch(const std::vector<std::string>& paths)
{
    // Several files to one reader saves starting one per file. A reader that
    // fails on a file answers every file before it; that file counts as
    // damaged and the rest go to a new reader.
    constexpr std::size_t kBatch = 32;
    std::vector<SSheetCells> result(paths.size());
    std::size_t next = 0;
    while (next < paths.size()) {
        std::vector<std::string> args{ReaderPath(), "--cells"};
        std::vector<std::size_t> asked;
        for (std::size_t i = next; i < paths.size() && asked.size() < kBatch; ++i) {
            if (::access(paths[i].c_str(), F_OK) != 0) {
                result[i] = CellsFailure(paths[i], FREEXL_FILE_NOT_FOUND);
                continue;
            }
            args.push_back(paths[i]);
            asked.push_back(i);
        }
        if (asked.empty())
            break;
        std::string data;
        const bool ran = RunReader(std::move(args), data);
        CReader in(data);
        std::size_t answered = 0;
        while (answered < asked.size() && DecodeCells(in, data.size(), result[asked[answered]]))
            ++answered;
        if (ran && answered == asked.size() && in.AtEnd()) {
            next = asked.back() + 1;
            continue;
        }
        if (answered < asked.size()) {
            result[asked[answered]] = CellsFailure(paths[asked[answered]], static_cast<int>(kWorkbookErrReaderFailed));
            next = asked[answered] + 1;
        } else {
            next = asked.back() + 1; // all answered, then something more: the last one is not to be trusted
            result[asked.back()] = CellsFailure(paths[asked.back()], static_cast<int>(kWorkbookErrReaderFailed));
        }
    }
    return result;
}

SSheetCells LoadSheetCells(const std::string& path)
{
    return std::move(LoadSheetCellsBatch({path}).front());
}

void SetWorkbookReaderPath(const std::string& path)
{
    std::lock_guard lock(g_readerPathLock);
    g_readerPath = path;
}

int RunWorkbookReader(int argc, char** argv)
{
    if (argc >= 3 && std::strcmp(argv[1], "--cells") == 0) {
        for (int i = 2; i < argc; ++i)
            if (!WriteAll(STDOUT_FILENO, SerializeCells(LoadSheetCellsInProcess(argv[i]))))
                return 1;
        return 0;
    }
    // "<workbook> {<sheet> <column count> <column>...}"
    if (argc < 2)
        return 2;
    std::vector<std::vector<const char*>> columns;
    std::vector<SSheetRequest> requests;
    for (int i = 2; i < argc;) {
        if (argc - i < 2)
            return 2;
        char* end = nullptr;
        const long count = std::strtol(argv[i + 1], &end, 10);
        if (end == argv[i + 1] || *end != '\0' || count < 0 || count > argc - i - 2)
            return 2;
        const int n = static_cast<int>(count);
        columns.emplace_back(argv + i + 2, argv + i + 2 + n);
        requests.push_back({argv[i], nullptr, n});
        i += 2 + n;
    }
    for (std::size_t k = 0; k < requests.size(); ++k)
        requests[k].columns = columns[k].data();
    return WriteAll(STDOUT_FILENO, Serialize(LoadWorkbookInProcess(argv[1], requests))) ? 0 : 1;
}

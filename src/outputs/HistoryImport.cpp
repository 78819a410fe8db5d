#include "outputs/HistoryImport.h"

#include "platform/StopSignal.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <system_error>

#include "config/WorkbookLoader.h"

namespace {

constexpr unsigned int kTitleRow = 1; // row 2
constexpr unsigned int kFirstRow = 2; // row 3

// Days since 1970-01-01 of a civil date (proleptic Gregorian).
std::int64_t DaysFromCivil(int y, int m, int d)
{
    y -= m <= 2;
    const std::int64_t era = (y >= 0 ? y : y - 399) / 400;
    const int yoe = static_cast<int>(y - era * 400);
    const int doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    const int doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + doe - 719468;
}

// The rows' local times ("%Y-%m-%d %H-%M-%S") as epoch seconds. The zone is
// asked once an hour (mktime is slow, and a day has 1440 rows); the clock
// changes on the hour. Rows go forward in time, so in the hour that repeats
// when daylight saving ends a time is its first pass, and one that would go
// back before the row before it is its second.
class CLocalTimes {
public:
    // The epoch second and the UTC offset of a row's time, or false.
    bool Parse(const std::string& text, std::int64_t& t, int& offset)
    {
        int y = 0, mo = 0, d = 0, h = 0, mi = 0, s = 0, used = 0;
        if (std::sscanf(text.c_str(), "%4d-%2d-%2d %2d-%2d-%2d%n", &y, &mo, &d, &h, &mi, &s, &used) != 6 ||
            static_cast<std::size_t>(used) != text.size() || y < 1970 || mo < 1 || mo > 12 || d < 1 || d > 31 ||
            h > 23 || mi > 59 || s > 59)
            return false;
        const int key = ((y * 100 + mo) * 100 + d) * 100 + h;
        if (key != m_nHourKey) {
            m_nHourKey = key;
            HourStarts(y, mo, d, h);
        }
        const std::int64_t into = mi * 60 + s;
        t = m_hourStarts.front() + into;
        for (std::int64_t start : m_hourStarts) {
            if (start + into >= m_tmPrevious) {
                t = start + into;
                break;
            }
        }
        m_tmPrevious = t;
        const std::int64_t wall = DaysFromCivil(y, mo, d) * 86400 + h * 3600 + into;
        offset = static_cast<int>(wall - t);
        return true;
    }

private:
    void HourStarts(int y, int mo, int d, int h)
    {
        m_hourStarts.clear();
        for (int isDst : {1, 0, -1}) {
            std::tm tm{};
            tm.tm_year = y - 1900;
            tm.tm_mon = mo - 1;
            tm.tm_mday = d;
            tm.tm_hour = h;
            tm.tm_isdst = isDst;
            const std::time_t t = std::mktime(&tm);
            // A guess of daylight saving that the date does not have moves
            // the hour; the last try (the zone's own reading) is for an
            // hour the clock skipped.
            const bool fits = tm.tm_hour == h && tm.tm_mday == d;
            if (t != static_cast<std::time_t>(-1) && (fits || (isDst == -1 && m_hourStarts.empty())))
                m_hourStarts.push_back(static_cast<std::int64_t>(t));
        }
        if (m_hourStarts.empty())
            m_hourStarts.push_back(DaysFromCivil(y, mo, d) * 86400 + h * 3600);
        std::sort(m_hourStarts.begin(), m_hourStarts.end());
        m_hourStarts.erase(std::unique(m_hourStarts.begin(), m_hourStarts.end()), m_hourStarts.end());
    }

    int m_nHourKey = -1;
    std::vector<std::int64_t> m_hourStarts;
    std::int64_t m_tmPrevious = 0;
};

// "SN: <serial>,Model: <rating>"
bool ParseFirstCell(const std::string& text, std::string& serial, int& rating)
{
    constexpr std::string_view kSn = "SN: ";
    constexpr std::string_view kModel = ",Model: ";
    if (text.compare(0, kSn.size(), kSn) != 0)
        return false;
    const std::size_t model = text.rfind(kModel);
    if (model == std::string::npos || model < kSn.size())
        return false;
    serial = text.substr(kSn.size(), model - kSn.size());
    rating = std::atoi(text.c_str() + model + kModel.size());
    return !serial.empty();
}

std::int64_t ModifiedTime(const std::filesystem::path& path, std::error_code& ec)
{
    const auto t = std::filesystem::last_write_time(path, ec);
    return std::chrono::duration_cast<std::chrono::nanoseconds>(t.time_since_epoch()).count();
}

bool IsXlsName(const std::string& name)
{
    if (name.size() < 5)
        return false;
    std::string tail = name.substr(name.size() - 4);
    std::transform(tail.begin(), tail.end(), tail.begin(), [](unsigned char c) { return std::tolower(c); });
    return tail == ".xls";
}

} // namespace

namespace {

SHistoryWorkbook HistoryWorkbookFrom(const SSheetCells& cells)
{
    SHistoryWorkbook book;
    if (cells.openResult != 0) {
        book.strError = WorkbookErrorMeaning(cells.openResult);
        return book;
    }
    if (cells.Kind(0, 0) != SSheetCells::kText || !ParseFirstCell(cells.Text(0, 0), book.strSerial, book.nRating)) {
        book.strError = "not a history workbook (no \"SN: …,Model: …\" in A1)";
        return book;
    }
    // Columns by their titles, so a file with columns in another order reads too.
    std::vector<int> series(cells.nColumns, -1);
    bool hasTime = false;
    for (unsigned int c = 0; c < cells.nColumns; ++c) {
        if (cells.Kind(kTitleRow, c) != SSheetCells::kText)
            continue;
        if (c == 0)
            hasTime = cells.Text(kTitleRow, 0) == "Time";
        else
            series[c] = FindSeriesByTitle(cells.Text(kTitleRow, c));
    }
    if (!hasTime) {
        book.strError = "not a history workbook (no \"Time\" title in A2)";
        return book;
    }
    CLocalTimes times;
    for (unsigned int r = kFirstRow; r < cells.nRows; ++r) {
        std::int64_t t = 0;
        int offset = 0;
        if (cells.Kind(r, 0) != SSheetCells::kText || !times.Parse(cells.Text(r, 0), t, offset))
            continue;
        SEnergyMinute& m = book.minutes.emplace_back();
        m.strSerial = book.strSerial;
        m.tmTime = t;
        m.nUtcOffset = offset;
        for (unsigned int c = 1; c < cells.nColumns; ++c)
            if (series[c] >= 0 && series[c] != kSeriesInsulation && cells.Kind(r, c) == SSheetCells::kNumber)
                m.aValue[series[c]] = cells.Number(r, c);
    }
    return book;
}

} // namespace

SHistoryWorkbook ReadHistoryWorkbook(const std::string& path)
{
    return HistoryWorkbookFrom(LoadSheetCells(path));
}

std::string SImportSummary::Line() const
{
    return "imported " + std::to_string(nFiles) + " files, " + std::to_string(nMinutes) + " minutes, " +
           std::to_string(skipped.size()) + " skipped";
}

SImportSummary ImportHistoryFolder(CEnergyStore& store, const std::string& folder, const CStopSignal* pStop)
{
    const auto stopped = [pStop] { return pStop != nullptr && pStop->Requested(); };
    SImportSummary summary;
    std::error_code ec;
    std::vector<std::filesystem::path> files;
    for (std::filesystem::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
        std::error_code typeError;
        if (it->is_regular_file(typeError) && IsXlsName(it->path().filename().string()))
            files.push_back(it->path());
    }
    if (ec) {
        summary.strStoreError = "Couldn't read the folder \"" + folder + "\": " + ec.message();
        return summary;
    }
    std::sort(files.begin(), files.end());

    struct SFile {
        std::string strPath;
        std::string strName;
        std::int64_t nSize;
        std::int64_t nTime;
    };
    std::vector<SFile> fresh;
    for (const std::filesystem::path& file : files) {
        const std::string name = file.filename().string();
        std::error_code statError;
        const auto size = static_cast<std::int64_t>(std::filesystem::file_size(file, statError));
        const std::int64_t mtime = statError ? 0 : ModifiedTime(file, statError);
        if (statError)
            summary.skipped.push_back(name + ": " + statError.message());
        else if (!store.IsImported(name, size, mtime))
            fresh.push_back({file.string(), name, size, mtime});
    }

    // Read in groups, so that a large folder holds only a group in memory.
    constexpr std::size_t kGroup = 32;
    for (std::size_t from = 0; from < fresh.size() && summary.strStoreError.empty() && !stopped(); from += kGroup) {
        std::vector<std::string> paths;
        for (std::size_t i = from; i < fresh.size() && paths.size() < kGroup; ++i)
            paths.push_back(fresh[i].strPath);
        const std::vector<SSheetCells> cells = LoadSheetCellsBatch(paths);
        for (std::size_t k = 0; k < cells.size() && !stopped(); ++k) {
            const std::string& name = fresh[from + k].strName;
            const std::int64_t size = fresh[from + k].nSize;
            const std::int64_t mtime = fresh[from + k].nTime;
            const SHistoryWorkbook book = HistoryWorkbookFrom(cells[k]);
            if (!book.strError.empty()) {
                summary.skipped.push_back(name + ": " + book.strError);
                continue;
            }
            int added = 0;
            const SStoreResult r = store.ImportMinutes(book.minutes, book.nRating, name, size, mtime, &added);
            if (!r.Ok()) {
                summary.strStoreError = r.strMessage;
                break; // the store cannot take more now (a full disk); the files stay for the next import
            }
            ++summary.nFiles;
            summary.nMinutes += added;
        }
    }
    return summary;
}

#pragma once
#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "model/DaySamples.h"
#include "model/MonitorOutput.h"

struct sqlite3;
struct sqlite3_stmt;

// The long-term energy history: one SQLite database ("zelvan.db" in the
// history folder) that indexes the day's .xls files over months and years.
// The .xls files stay the operator's files and the store is never the only
// copy: whatever it loses, an import of the folder brings back.
//
// What it holds:
// - one row per inverter and minute: the minute's last sample (the energy
//   counters of a minute are its last reading, and the rest follow the same
//   sample so a row is one real reading, as a history file's row is), with
//   the columns of the history file, at their decimals;
// - one row per inverter and local day: the energy of the day (the
//   inverter's "Etoday(kWh)" counter at its last reading of that day), the
//   peak "Pac(W)" and when it was first reached, the first and last reading.
//
// Minutes are keyed by their UTC minute, with the UTC offset they were taken
// at kept beside, so the repeated hour when daylight saving ends lands on
// rows of its own and is shown with the local time it had.
//
// Every call takes the store's lock, so one store may be shared by the
// history writer's thread (which feeds it) and a view (which queries it).
// A view that must not wait behind a long import opens a CEnergyStore of its
// own on the same file: the database runs in WAL mode, so readers and the
// writer do not block each other. No call throws; each returns one result.
//
// Typical use:
//   auto store = std::make_shared<CEnergyStore>();
//   SStoreResult r = store->Open(EnergyStorePath(HistoryFolderFor(appDir)));
//   if (r.eStatus == SStoreResult::kStartedAnew) { show r.strMessage; import the folder }
//   keeper.SetMinuteSink(EnergyStoreMinuteSink(store));
//   std::vector<SEnergyDay> days; store->DaysOfMonth(2013, 1, days);

struct SStoreResult {
    enum EStatus {
        kOk,
        // The file was damaged or from a newer program: it was renamed aside
        // (strSetAside) and an empty store started. strMessage says so; the
        // caller shows it once and imports the history folder to rebuild.
        kStartedAnew,
        // Nothing was done (a failed write: full disk, no permission, not
        // open). strMessage says why; the store stays usable.
        kFailed,
    };
    EStatus eStatus = kOk;
    std::string strMessage;
    std::string strSetAside; // the path the old file was renamed to (kStartedAnew)
    bool Ok() const { return eStatus != kFailed; }
};

// One minute of one inverter.
struct SEnergyMinute {
    std::string strSerial;  // the inverter's 12-character serial text
    std::int64_t tmTime = 0; // epoch second of the sample
    int nUtcOffset = 0;      // seconds east of UTC when it was taken
    // By ESeries, in the history file's units and decimals; empty where the
    // reading had no value. kSeriesInsulation is never kept.
    std::array<std::optional<double>, kSeriesCount> aValue;
};

// One day, of one inverter or (serial empty) of all together: energies
// summed, the highest single peak, the earliest first and latest last reading.
struct SEnergyDay {
    std::string strSerial;
    int nYear = 0;
    int nMonth = 0;
    int nDay = 0;
    double fEnergyKwh = 0.0; // "Etoday(kWh)" at the day's last reading
    double fPeakW = 0.0;     // the highest "Pac(W)" of the day
    std::int64_t tmPeak = 0; // epoch second it was first reached
    std::int64_t tmFirst = 0;
    std::int64_t tmLast = 0;
};

// One month's energy: the sum of its day rows.
struct SEnergyMonth {
    int nYear = 0;
    int nMonth = 0;
    double fEnergyKwh = 0.0;
    int nDays = 0; // days with readings
};

class CEnergyStore {
public:
    // The schema this program writes; a file with a higher one is set aside.
    static constexpr int kSchemaVersion = 1;

    CEnergyStore();
    ~CEnergyStore();
    CEnergyStore(const CEnergyStore&) = delete;
    CEnergyStore& operator=(const CEnergyStore&) = delete;

    // Opens or creates the database, checks it (quick_check) and brings its
    // schema up to date. A damaged file or one of a newer schema is renamed
    // to "<path>.damaged-YYYYMMDD-HHMMSS" (or ".newer-…"), with its -wal and
    // -shm files, and a new one is started: kStartedAnew. kFailed when no
    // database could be opened at all (the store then refuses every call).
    [[nodiscard]] SStoreResult Open(const std::string& path);
    void Close();
    bool IsOpen() const;
    std::string Path() const;

    // Writes minutes (one transaction) and folds them into their day rows.
    // A minute already held is left as it is (a live minute is never replaced
    // by an import's row of the same minute). *pAdded: the minutes new to the
    // store. On a failed write nothing of the call is kept: kFailed.
    [[nodiscard]] SStoreResult WriteMinutes(const std::vector<SEnergyMinute>& minutes, int nRating = 0,
                                            int* pAdded = nullptr);
    // One polling sample as the keeper hands it over (SMonitorReading): its
    // wall second, its values, the inverter's serial and rating.
    [[nodiscard]] SStoreResult WriteReading(const SMonitorReading& reading);

    // Import bookkeeping: a file (by name, size and modification time) that
    // was read in whole. WriteMinutes plus MarkImported in one transaction.
    [[nodiscard]] bool IsImported(const std::string& name, std::int64_t size, std::int64_t mtime);
    [[nodiscard]] SStoreResult ImportMinutes(const std::vector<SEnergyMinute>& minutes, int nRating,
                                             const std::string& name, std::int64_t size, std::int64_t mtime,
                                             int* pAdded);

    // Queries. Days are local calendar days of the running time zone; serial
    // empty: every inverter. Results are ordered by time.
    // The minutes of a day.
    [[nodiscard]] SStoreResult MinutesOfDay(int year, int month, int day, std::vector<SEnergyMinute>& out,
                                            const std::string& serial = {});
    // The minutes in [tmFrom, tmTo) (epoch seconds), for a view's own span.
    [[nodiscard]] SStoreResult MinutesBetween(std::int64_t tmFrom, std::int64_t tmTo, std::vector<SEnergyMinute>& out,
                                              const std::string& serial = {});
    // The day rows of a month (only days with readings).
    [[nodiscard]] SStoreResult DaysOfMonth(int year, int month, std::vector<SEnergyDay>& out,
                                           const std::string& serial = {});
    // The months of a year (only months with readings).
    [[nodiscard]] SStoreResult MonthsOfYear(int year, std::vector<SEnergyMonth>& out, const std::string& serial = {});
    // The energy of a month or a year: the sum of its day rows.
    [[nodiscard]] SStoreResult MonthTotal(int year, int month, double& kwh, const std::string& serial = {});
    [[nodiscard]] SStoreResult YearTotal(int year, double& kwh, const std::string& serial = {});
    // The inverters the store knows, by serial text.
    [[nodiscard]] SStoreResult Serials(std::vector<std::string>& out);
    // The span of all minutes held (epoch seconds; both 0 when empty), for
    // moving a view back and forward.
    [[nodiscard]] SStoreResult Span(std::int64_t& tmFirst, std::int64_t& tmLast);

private:
    struct SStatements;
    SStoreResult OpenChecked(const std::string& path);
    SStoreResult Migrate();
    SStoreResult Failure(const char* what) const;
    SStoreResult WriteLocked(const std::vector<SEnergyMinute>& minutes, int nRating, const std::string* importName,
                             std::int64_t size, std::int64_t mtime, int* pAdded);
    bool InverterId(const std::string& serial, int nRating, std::int64_t& id);
    SStoreResult QueryDays(int from, int to, std::vector<SEnergyDay>& out, const std::string& serial);

    mutable std::mutex m_lock;
    std::string m_strPath;
    sqlite3* m_pDb = nullptr;
    std::unique_ptr<SStatements> m_pStatements;
};

// The store's file in a history folder ("…/hisdata/zelvan.db").
std::string EnergyStorePath(const std::string& historyFolder);

// The history keeper's minute hook for this store (CHistoryKeeper::
// SetMinuteSink): writes each minute on the writer's thread. A failed write
// (a full disk) shows one message box until a write succeeds again; the
// history files go on as before.
std::function<void(const SMonitorReading&)> EnergyStoreMinuteSink(std::shared_ptr<CEnergyStore> store);

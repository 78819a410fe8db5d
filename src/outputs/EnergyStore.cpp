#include "outputs/EnergyStore.h"

#include <atomic>
#include <cmath>
#include <cstdio>
#include <ctime>
#include <filesystem>
#include <map>
#include <system_error>
#include <utility>

#include <sqlite3.h>

#include "platform/CommLog.h"
#include "platform/MessageBox.h"
#include "platform/WallClock.h"

namespace {

constexpr const char* kCaption = "Zelvan";
constexpr const char* kWriteFailed =
    "The energy history could not be saved; the history files are written as before.\n\n";

// The history file's value columns: the series, its column in the minute
// table, and the decimals the file shows it with. Values are kept as whole
// numbers of that last decimal, so a row holds what the file's row holds.
struct SColumn {
    int nSeries;
    const char* name;
    int nDecimals;
};
constexpr SColumn kColumns[] = {
    {kSeriesUdc, "udc", 1},       {kSeriesUac, "uac", 1},       {kSeriesFreq, "freq", 2},
    {kSeriesPac, "pac", 1},       {kSeriesEtoday, "etoday", 1}, {kSeriesEtotal, "etotal", 1},
    {kSeriesTtoday, "ttoday", 0}, {kSeriesTtotal, "ttotal", 0}, {kSeriesTemp, "temp", 1},
    {kSeriesIacShift, "iac_shift", 0}, {kSeriesDci, "dci", 0}, {kSeriesState1, "state1", 0},
    {kSeriesState2, "state2", 0},
};
constexpr int kColumnCount = static_cast<int>(std::size(kColumns));
constexpr double kScale[3] = {1.0, 10.0, 100.0};

// Each step brings the schema from the version before it to its own; a new
// schema adds a step and never edits an old one.
struct SMigration {
    int nVersion;
    const char* sql;
};
constexpr SMigration kMigrations[] = {
    {1, R"(
CREATE TABLE inverter(
  id INTEGER PRIMARY KEY,
  serial TEXT NOT NULL UNIQUE,
  rating INTEGER NOT NULL DEFAULT 0);
-- t: the UTC minute (epoch second, a multiple of 60); sec: the sample's second
-- in it; utc_offset: minutes east of UTC when it was taken. Values in units
-- of the history file's last decimal (udc 0.1 V, freq 0.01 Hz, pac 0.1 W,
-- etoday 0.1 kWh, ...); NULL where the reading had none.
CREATE TABLE minute(
  t INTEGER NOT NULL,
  inverter INTEGER NOT NULL REFERENCES inverter(id),
  sec INTEGER NOT NULL,
  utc_offset INTEGER NOT NULL,
  udc INTEGER, uac INTEGER, freq INTEGER, pac INTEGER, etoday INTEGER, etotal INTEGER,
  ttoday INTEGER, ttotal INTEGER, temp INTEGER, iac_shift INTEGER, dci INTEGER,
  state1 INTEGER, state2 INTEGER,
  PRIMARY KEY(t, inverter)) WITHOUT ROWID;
-- date: the local day as YYYYMMDD; energy: etoday (0.1 kWh) at energy_t, the
-- day's last reading that had one; peak: the highest pac (0.1 W), first
-- reached at peak_t; first_t, last_t: the day's first and last reading.
CREATE TABLE day(
  date INTEGER NOT NULL,
  inverter INTEGER NOT NULL REFERENCES inverter(id),
  energy INTEGER, energy_t INTEGER,
  peak INTEGER, peak_t INTEGER,
  first_t INTEGER NOT NULL, last_t INTEGER NOT NULL,
  PRIMARY KEY(date, inverter)) WITHOUT ROWID;
-- History workbooks read in whole, so an import reads each once.
CREATE TABLE imported(
  name TEXT PRIMARY KEY,
  size INTEGER NOT NULL,
  mtime INTEGER NOT NULL);
)"},
};

// A local date as YYYYMMDD from an epoch second and its offset.
int LocalDate(std::int64_t t, int nUtcOffset)
{
    const std::time_t local = static_cast<std::time_t>(t + nUtcOffset);
    std::tm tm{};
    gmtime_r(&local, &tm);
    return (tm.tm_year + 1900) * 10000 + (tm.tm_mon + 1) * 100 + tm.tm_mday;
}

int UtcOffsetAt(std::int64_t t)
{
    const std::time_t tt = static_cast<std::time_t>(t);
    std::tm tm{};
    localtime_r(&tt, &tm);
    return static_cast<int>(tm.tm_gmtoff);
}

// The epoch second of a local midnight; a day past the month's end rolls over.
std::int64_t LocalMidnight(int year, int month, int day)
{
    std::tm tm{};
    tm.tm_year = year - 1900;
    tm.tm_mon = month - 1;
    tm.tm_mday = day;
    tm.tm_isdst = -1;
    return static_cast<std::int64_t>(std::mktime(&tm));
}

std::optional<std::int64_t> Scaled(const std::optional<double>& v, int decimals)
{
    if (!v || !std::isfinite(*v))
        return std::nullopt;
    const double scaled = std::nearbyint(*v * kScale[decimals]);
    if (std::fabs(scaled) > 9.0e15)
        return std::nullopt;
    return static_cast<std::int64_t>(scaled);
}

void BindOptional(sqlite3_stmt* st, int index, const std::optional<std::int64_t>& v)
{
    if (v)
        sqlite3_bind_int64(st, index, *v);
    else
        sqlite3_bind_null(st, index);
}

void BindSerial(sqlite3_stmt* st, int index, const std::string& serial)
{
    if (serial.empty())
        sqlite3_bind_null(st, index);
    else
        sqlite3_bind_text(st, index, serial.c_str(), static_cast<int>(serial.size()), SQLITE_TRANSIENT);
}

std::string ColumnText(sqlite3_stmt* st, int column)
{
    const unsigned char* text = sqlite3_column_text(st, column);
    return text != nullptr ? reinterpret_cast<const char*>(text) : std::string();
}

// Resets a statement whatever way its use ends.
class CReset {
public:
    explicit CReset(sqlite3_stmt* st) : m_st(st) {}
    ~CReset()
    {
        sqlite3_reset(m_st);
        sqlite3_clear_bindings(m_st);
    }
    CReset(const CReset&) = delete;
    CReset& operator=(const CReset&) = delete;

private:
    sqlite3_stmt* m_st;
};

// What a day's minutes of one call add to its row.
struct SDayFold {
    std::optional<std::int64_t> energy;
    std::int64_t energyT = 0;
    std::optional<std::int64_t> peak;
    std::int64_t peakT = 0;
    std::int64_t firstT = 0;
    std::int64_t lastT = 0;
};

std::string StampNow()
{
    const platform::LocalTime t = platform::ToLocal(platform::WallNow());
    char text[32];
    std::snprintf(text, sizeof text, "%04d%02d%02d-%02d%02d%02d", t.nYear, t.nMonth, t.nDay, t.nHour, t.nMinute,
                  t.nSecond);
    return text;
}

} // namespace

struct CEnergyStore::SStatements {
    sqlite3_stmt* findInverter = nullptr;
    sqlite3_stmt* addInverter = nullptr;
    sqlite3_stmt* rateInverter = nullptr;
    sqlite3_stmt* addMinute = nullptr;
    sqlite3_stmt* foldDay = nullptr;
    sqlite3_stmt* isImported = nullptr;
    sqlite3_stmt* markImported = nullptr;
    ~SStatements()
    {
        for (sqlite3_stmt* st : {findInverter, addInverter, rateInverter, addMinute, foldDay, isImported, markImported})
            sqlite3_finalize(st);
    }
};

CEnergyStore::CEnergyStore() = default;

CEnergyStore::~CEnergyStore()
{
    Close();
}

std::string EnergyStorePath(const std::string& historyFolder)
{
    std::string folder = historyFolder;
    if (!folder.empty() && folder.back() != '/')
        folder += '/';
    return folder + "zelvan.db";
}

void CEnergyStore::Close()
{
    std::lock_guard<std::mutex> lock(m_lock);
    m_pStatements.reset();
    if (m_pDb != nullptr)
        sqlite3_close_v2(m_pDb);
    m_pDb = nullptr;
}

bool CEnergyStore::IsOpen() const
{
    std::lock_guard<std::mutex> lock(m_lock);
    return m_pDb != nullptr;
}

std::string CEnergyStore::Path() const
{
    std::lock_guard<std::mutex> lock(m_lock);
    return m_strPath;
}

SStoreResult CEnergyStore::Failure(const char* what) const
{
    SStoreResult r;
    r.eStatus = SStoreResult::kFailed;
    r.strMessage = std::string(what) + " \"" + m_strPath + "\": " +
                   (m_pDb != nullptr ? sqlite3_errmsg(m_pDb) : "the database is not open");
    return r;
}

SStoreResult CEnergyStore::Open(const std::string& path)
{
    Close();
    std::lock_guard<std::mutex> lock(m_lock);
    m_strPath = path;
    SStoreResult first = OpenChecked(path);
    if (first.eStatus != SStoreResult::kStartedAnew)
        return first;

    // Set the old file aside, with its journal, and start anew.
    const std::string reason = first.strMessage;
    const std::string aside = path + (reason == "newer" ? ".newer-" : ".damaged-") + StampNow();
    std::error_code ec;
    std::filesystem::rename(path, aside, ec);
    if (ec) {
        SStoreResult r;
        r.eStatus = SStoreResult::kFailed;
        r.strMessage = "The energy history database \"" + path + "\" cannot be used and could not be renamed: " +
                       ec.message();
        return r;
    }
    for (const char* suffix : {"-wal", "-shm", "-journal"}) {
        std::error_code ignored;
        if (std::filesystem::exists(path + suffix, ignored))
            std::filesystem::rename(path + suffix, aside + suffix, ignored);
    }
    SStoreResult fresh = OpenChecked(path);
    if (fresh.eStatus != SStoreResult::kOk) {
        fresh.eStatus = SStoreResult::kFailed;
        return fresh;
    }
    SStoreResult r;
    r.eStatus = SStoreResult::kStartedAnew;
    r.strSetAside = aside;
    r.strMessage = "The energy history database \"" + path + "\" " +
                   (reason == "newer" ? "was written by a newer version of the program"
                                      : "is damaged (" + reason + ")") +
                   ". It was renamed to \"" + aside +
                   "\" and a new one was started; the history files are read into it again.";
    return r;
}

// kOk: open and current. kStartedAnew: the file must be set aside
// (strMessage "newer", or what is wrong with it); nothing stays open.
SStoreResult CEnergyStore::OpenChecked(const std::string& path)
{
    auto setAside = [this](std::string why) {
        m_pStatements.reset();
        sqlite3_close_v2(m_pDb);
        m_pDb = nullptr;
        SStoreResult r;
        r.eStatus = SStoreResult::kStartedAnew;
        r.strMessage = std::move(why);
        return r;
    };
    auto failed = [this](const char* what) {
        SStoreResult r = Failure(what);
        m_pStatements.reset();
        sqlite3_close_v2(m_pDb);
        m_pDb = nullptr;
        return r;
    };
    auto isDamage = [](int rc) {
        rc &= 0xFF;
        return rc == SQLITE_CORRUPT || rc == SQLITE_NOTADB;
    };

    std::error_code folderError; // the history folder is made when missing, as for the files
    const std::filesystem::path folder = std::filesystem::path(path).parent_path();
    if (!folder.empty())
        std::filesystem::create_directories(folder, folderError);
    if (sqlite3_open_v2(path.c_str(), &m_pDb, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_NOMUTEX,
                        nullptr) != SQLITE_OK)
        return failed("Couldn't open the energy history database");
    sqlite3_extended_result_codes(m_pDb, 1);
    sqlite3_busy_timeout(m_pDb, 5000);

    // The whole file is looked at once, so damage shows here rather than
    // as a failure of some later write.
    sqlite3_stmt* st = nullptr;
    int rc = sqlite3_prepare_v2(m_pDb, "PRAGMA quick_check", -1, &st, nullptr);
    std::string check;
    if (rc == SQLITE_OK) {
        while ((rc = sqlite3_step(st)) == SQLITE_ROW) {
            if (check.empty())
                check = ColumnText(st, 0);
        }
    }
    sqlite3_finalize(st);
    if (isDamage(rc))
        return setAside(sqlite3_errstr(rc));
    if (rc != SQLITE_DONE && rc != SQLITE_OK)
        return failed("Couldn't read the energy history database");
    if (check != "ok")
        return setAside(check);

    int version = 0;
    rc = sqlite3_prepare_v2(m_pDb, "PRAGMA user_version", -1, &st, nullptr);
    if (rc == SQLITE_OK && sqlite3_step(st) == SQLITE_ROW)
        version = sqlite3_column_int(st, 0);
    sqlite3_finalize(st);
    if (version > kSchemaVersion)
        return setAside("newer");

    // WAL: the writer and readers do not block each other, and a killed
    // process loses at most the transaction it was in. NORMAL sync keeps
    // every committed minute across a process kill.
    rc = sqlite3_exec(m_pDb, "PRAGMA journal_mode=WAL; PRAGMA synchronous=NORMAL; PRAGMA foreign_keys=ON", nullptr,
                      nullptr, nullptr);
    if (isDamage(rc))
        return setAside(sqlite3_errstr(rc));
    if (rc != SQLITE_OK)
        return failed("Couldn't prepare the energy history database");
    SStoreResult migrated = Migrate();
    if (!migrated.Ok())
        return isDamage(sqlite3_extended_errcode(m_pDb)) ? setAside(migrated.strMessage) : failed("Couldn't update");

    auto statements = std::make_unique<SStatements>();
    std::string columns;
    std::string marks;
    for (const SColumn& c : kColumns) {
        columns += std::string(", ") + c.name;
        marks += ", ?";
    }
    const std::string addMinute =
        "INSERT INTO minute(t, inverter, sec, utc_offset" + columns + ") VALUES(?, ?, ?, ?" + marks +
        ") ON CONFLICT(t, inverter) DO NOTHING";
    // Every value of the SET is taken from the row as it was.
    const char* foldDay = R"(
INSERT INTO day(date, inverter, energy, energy_t, peak, peak_t, first_t, last_t) VALUES(?1, ?2, ?3, ?4, ?5, ?6, ?7, ?8)
ON CONFLICT(date, inverter) DO UPDATE SET
  energy = CASE WHEN excluded.energy IS NOT NULL AND (day.energy IS NULL OR excluded.energy_t >= day.energy_t)
                THEN excluded.energy ELSE day.energy END,
  energy_t = CASE WHEN excluded.energy IS NOT NULL AND (day.energy IS NULL OR excluded.energy_t >= day.energy_t)
                  THEN excluded.energy_t ELSE day.energy_t END,
  peak = CASE WHEN excluded.peak IS NOT NULL AND (day.peak IS NULL OR excluded.peak > day.peak
                   OR (excluded.peak = day.peak AND excluded.peak_t < day.peak_t))
              THEN excluded.peak ELSE day.peak END,
  peak_t = CASE WHEN excluded.peak IS NOT NULL AND (day.peak IS NULL OR excluded.peak > day.peak
                     OR (excluded.peak = day.peak AND excluded.peak_t < day.peak_t))
                THEN excluded.peak_t ELSE day.peak_t END,
  first_t = MIN(day.first_t, excluded.first_t),
  last_t = MAX(day.last_t, excluded.last_t))";
    const std::pair<sqlite3_stmt**, std::string> prepare[] = {
        {&statements->findInverter, "SELECT id, rating FROM inverter WHERE serial = ?"},
        {&statements->addInverter, "INSERT INTO inverter(serial, rating) VALUES(?, ?)"},
        {&statements->rateInverter, "UPDATE inverter SET rating = ? WHERE id = ?"},
        {&statements->addMinute, addMinute},
        {&statements->foldDay, foldDay},
        {&statements->isImported, "SELECT 1 FROM imported WHERE name = ? AND size = ? AND mtime = ?"},
        {&statements->markImported, "INSERT OR REPLACE INTO imported(name, size, mtime) VALUES(?, ?, ?)"},
    };
    for (const auto& [target, sql] : prepare) {
        if (sqlite3_prepare_v3(m_pDb, sql.c_str(), -1, SQLITE_PREPARE_PERSISTENT, target, nullptr) != SQLITE_OK)
            return failed("Couldn't prepare the energy history database");
    }
    m_pStatements = std::move(statements);
    return {};
}

SStoreResult CEnergyStore::Migrate()
{
    sqlite3_stmt* st = nullptr;
    int version = 0;
    if (sqlite3_prepare_v2(m_pDb, "PRAGMA user_version", -1, &st, nullptr) == SQLITE_OK &&
        sqlite3_step(st) == SQLITE_ROW)
        version = sqlite3_column_int(st, 0);
    sqlite3_finalize(st);
    for (const SMigration& step : kMigrations) {
        if (step.nVersion <= version)
            continue;
        const std::string sql = std::string("BEGIN IMMEDIATE;") + step.sql +
                                "; PRAGMA user_version = " + std::to_string(step.nVersion) + "; COMMIT;";
        if (sqlite3_exec(m_pDb, sql.c_str(), nullptr, nullptr, nullptr) != SQLITE_OK) {
            SStoreResult r = Failure("Couldn't update the energy history database");
            sqlite3_exec(m_pDb, "ROLLBACK", nullptr, nullptr, nullptr);
            return r;
        }
        version = step.nVersion;
    }
    return {};
}

bool CEnergyStore::InverterId(const std::string& serial, int nRating, std::int64_t& id)
{
    sqlite3_stmt* find = m_pStatements->findInverter;
    {
        CReset reset(find);
        BindSerial(find, 1, serial);
        const int rc = sqlite3_step(find);
        if (rc == SQLITE_ROW) {
            id = sqlite3_column_int64(find, 0);
            const int rating = sqlite3_column_int(find, 1);
            if (nRating <= 0 || rating == nRating)
                return true;
            sqlite3_stmt* rate = m_pStatements->rateInverter;
            CReset resetRate(rate);
            sqlite3_bind_int(rate, 1, nRating);
            sqlite3_bind_int64(rate, 2, id);
            return sqlite3_step(rate) == SQLITE_DONE;
        }
        if (rc != SQLITE_DONE)
            return false;
    }
    sqlite3_stmt* add = m_pStatements->addInverter;
    CReset reset(add);
    BindSerial(add, 1, serial);
    sqlite3_bind_int(add, 2, nRating > 0 ? nRating : 0);
    if (sqlite3_step(add) != SQLITE_DONE)
        return false;
    id = sqlite3_last_insert_rowid(m_pDb);
    return true;
}

SStoreResult CEnergyStore::WriteMinutes(const std::vector<SEnergyMinute>& minutes, int nRating, int* pAdded)
{
    std::lock_guard<std::mutex> lock(m_lock);
    return WriteLocked(minutes, nRating, nullptr, 0, 0, pAdded);
}

SStoreResult CEnergyStore::ImportMinutes(const std::vector<SEnergyMinute>& minutes, int nRating,
                                         const std::string& name, std::int64_t size, std::int64_t mtime, int* pAdded)
{
    std::lock_guard<std::mutex> lock(m_lock);
    return WriteLocked(minutes, nRating, &name, size, mtime, pAdded);
}

SStoreResult CEnergyStore::WriteLocked(const std::vector<SEnergyMinute>& minutes, int nRating,
                                       const std::string* importName, std::int64_t size, std::int64_t mtime,
                                       int* pAdded)
{
    if (pAdded != nullptr)
        *pAdded = 0;
    if (m_pDb == nullptr || !m_pStatements)
        return Failure("Couldn't write the energy history");
    if (sqlite3_exec(m_pDb, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr) != SQLITE_OK)
        return Failure("Couldn't write the energy history");
    auto rollback = [this]() {
        SStoreResult r = Failure("Couldn't write the energy history");
        sqlite3_exec(m_pDb, "ROLLBACK", nullptr, nullptr, nullptr);
        return r;
    };

    int added = 0;
    std::map<std::pair<std::int64_t, int>, SDayFold> days; // by inverter and local date
    std::map<std::string, std::int64_t> ids;
    sqlite3_stmt* add = m_pStatements->addMinute;
    for (const SEnergyMinute& m : minutes) {
        auto known = ids.find(m.strSerial);
        if (known == ids.end()) {
            std::int64_t id = 0;
            if (!InverterId(m.strSerial, nRating, id))
                return rollback();
            known = ids.emplace(m.strSerial, id).first;
        }
        const std::int64_t id = known->second;
        const std::int64_t t = m.tmTime - ((m.tmTime % 60) + 60) % 60;
        std::array<std::optional<std::int64_t>, kColumnCount> values;
        {
            CReset reset(add);
            sqlite3_bind_int64(add, 1, t);
            sqlite3_bind_int64(add, 2, id);
            sqlite3_bind_int(add, 3, static_cast<int>(m.tmTime - t));
            sqlite3_bind_int(add, 4, m.nUtcOffset / 60);
            for (int c = 0; c < kColumnCount; ++c) {
                values[c] = Scaled(m.aValue[kColumns[c].nSeries], kColumns[c].nDecimals);
                BindOptional(add, 5 + c, values[c]);
            }
            if (sqlite3_step(add) != SQLITE_DONE)
                return rollback();
            added += sqlite3_changes(m_pDb);
        }
        // The day's figures from this call's minutes; the row folds them in.
        const std::optional<std::int64_t>& energy = values[4]; // etoday
        const std::optional<std::int64_t>& pac = values[3];
        auto [it, fresh] = days.try_emplace({id, LocalDate(m.tmTime, m.nUtcOffset)});
        SDayFold& d = it->second;
        if (fresh) {
            d.firstT = m.tmTime;
            d.lastT = m.tmTime;
        }
        d.firstT = std::min(d.firstT, m.tmTime);
        d.lastT = std::max(d.lastT, m.tmTime);
        if (energy && (!d.energy || m.tmTime >= d.energyT)) {
            d.energy = energy;
            d.energyT = m.tmTime;
        }
        if (pac && (!d.peak || *pac > *d.peak || (*pac == *d.peak && m.tmTime < d.peakT))) {
            d.peak = pac;
            d.peakT = m.tmTime;
        }
    }

    sqlite3_stmt* fold = m_pStatements->foldDay;
    for (const auto& [key, d] : days) {
        CReset reset(fold);
        sqlite3_bind_int(fold, 1, key.second);
        sqlite3_bind_int64(fold, 2, key.first);
        BindOptional(fold, 3, d.energy);
        BindOptional(fold, 4, d.energy ? std::optional<std::int64_t>(d.energyT) : std::nullopt);
        BindOptional(fold, 5, d.peak);
        BindOptional(fold, 6, d.peak ? std::optional<std::int64_t>(d.peakT) : std::nullopt);
        sqlite3_bind_int64(fold, 7, d.firstT);
        sqlite3_bind_int64(fold, 8, d.lastT);
        if (sqlite3_step(fold) != SQLITE_DONE)
            return rollback();
    }

    if (importName != nullptr) {
        sqlite3_stmt* mark = m_pStatements->markImported;
        CReset reset(mark);
        sqlite3_bind_text(mark, 1, importName->c_str(), static_cast<int>(importName->size()), SQLITE_TRANSIENT);
        sqlite3_bind_int64(mark, 2, size);
        sqlite3_bind_int64(mark, 3, mtime);
        if (sqlite3_step(mark) != SQLITE_DONE)
            return rollback();
    }
    if (sqlite3_exec(m_pDb, "COMMIT", nullptr, nullptr, nullptr) != SQLITE_OK)
        return rollback();
    if (pAdded != nullptr)
        *pAdded = added;
    return {};
}

SStoreResult CEnergyStore::WriteReading(const SMonitorReading& reading)
{
    SEnergyMinute m;
    m.strSerial = reading.inverter.strSerial;
    m.tmTime = reading.tmWall;
    m.nUtcOffset = UtcOffsetAt(reading.tmWall);
    for (int s = 0; s < kSeriesCount; ++s)
        if (s != kSeriesInsulation)
            m.aValue[s] = reading.aValue[s];
    return WriteMinutes({m}, reading.inverter.nRating);
}

bool CEnergyStore::IsImported(const std::string& name, std::int64_t size, std::int64_t mtime)
{
    std::lock_guard<std::mutex> lock(m_lock);
    if (!m_pStatements)
        return false;
    sqlite3_stmt* st = m_pStatements->isImported;
    CReset reset(st);
    sqlite3_bind_text(st, 1, name.c_str(), static_cast<int>(name.size()), SQLITE_TRANSIENT);
    sqlite3_bind_int64(st, 2, size);
    sqlite3_bind_int64(st, 3, mtime);
    return sqlite3_step(st) == SQLITE_ROW;
}

SStoreResult CEnergyStore::MinutesOfDay(int year, int month, int day, std::vector<SEnergyMinute>& out,
                                        const std::string& serial)
{
    return MinutesBetween(LocalMidnight(year, month, day), LocalMidnight(year, month, day + 1), out, serial);
}

SStoreResult CEnergyStore::MinutesBetween(std::int64_t tmFrom, std::int64_t tmTo, std::vector<SEnergyMinute>& out,
                                          const std::string& serial)
{
    out.clear();
    std::lock_guard<std::mutex> lock(m_lock);
    if (m_pDb == nullptr)
        return Failure("Couldn't read the energy history");
    // The inverters by id (a handful), rather than a join per minute.
    std::map<std::int64_t, std::string> serials;
    sqlite3_stmt* st = nullptr;
    if (sqlite3_prepare_v2(m_pDb, "SELECT id, serial FROM inverter", -1, &st, nullptr) != SQLITE_OK)
        return Failure("Couldn't read the energy history");
    std::optional<std::int64_t> only;
    while (sqlite3_step(st) == SQLITE_ROW) {
        serials[sqlite3_column_int64(st, 0)] = ColumnText(st, 1);
        if (!serial.empty() && serials[sqlite3_column_int64(st, 0)] == serial)
            only = sqlite3_column_int64(st, 0);
    }
    sqlite3_finalize(st);
    if (!serial.empty() && !only)
        return {};
    std::string columns;
    for (const SColumn& c : kColumns)
        columns += std::string(", ") + c.name;
    const std::string sql = "SELECT t + sec, utc_offset, inverter" + columns +
                            " FROM minute WHERE t >= ?1 AND t < ?2 AND (?3 IS NULL OR inverter = ?3) ORDER BY t, inverter";
    if (sqlite3_prepare_v3(m_pDb, sql.c_str(), -1, SQLITE_PREPARE_PERSISTENT, &st, nullptr) != SQLITE_OK)
        return Failure("Couldn't read the energy history");
    // Minutes are keyed by their start: one that begins before tmTo is in.
    sqlite3_bind_int64(st, 1, tmFrom - ((tmFrom % 60) + 60) % 60);
    sqlite3_bind_int64(st, 2, tmTo);
    BindOptional(st, 3, only);
    int rc = SQLITE_OK;
    while ((rc = sqlite3_step(st)) == SQLITE_ROW) {
        SEnergyMinute& m = out.emplace_back();
        m.tmTime = sqlite3_column_int64(st, 0);
        m.nUtcOffset = sqlite3_column_int(st, 1) * 60;
        m.strSerial = serials[sqlite3_column_int64(st, 2)];
        for (int c = 0; c < kColumnCount; ++c)
            if (sqlite3_column_type(st, 3 + c) != SQLITE_NULL)
                m.aValue[kColumns[c].nSeries] =
                    static_cast<double>(sqlite3_column_int64(st, 3 + c)) / kScale[kColumns[c].nDecimals];
    }
    sqlite3_finalize(st);
    if (rc != SQLITE_DONE) {
        out.clear();
        return Failure("Couldn't read the energy history");
    }
    return {};
}

SStoreResult CEnergyStore::QueryDays(int from, int to, std::vector<SEnergyDay>& out, const std::string& serial)
{
    out.clear();
    std::lock_guard<std::mutex> lock(m_lock);
    if (m_pDb == nullptr)
        return Failure("Couldn't read the energy history");
    sqlite3_stmt* st = nullptr;
    const char* sql = "SELECT d.date, i.serial, d.energy, d.peak, d.peak_t, d.first_t, d.last_t"
                      " FROM day d JOIN inverter i ON i.id = d.inverter"
                      " WHERE d.date BETWEEN ?1 AND ?2 AND (?3 IS NULL OR i.serial = ?3) ORDER BY d.date, i.serial";
    if (sqlite3_prepare_v3(m_pDb, sql, -1, SQLITE_PREPARE_PERSISTENT, &st, nullptr) != SQLITE_OK)
        return Failure("Couldn't read the energy history");
    sqlite3_bind_int(st, 1, from);
    sqlite3_bind_int(st, 2, to);
    BindSerial(st, 3, serial);
    int rc = SQLITE_OK;
    while ((rc = sqlite3_step(st)) == SQLITE_ROW) {
        const int date = sqlite3_column_int(st, 0);
        SEnergyDay d;
        d.strSerial = serial.empty() ? std::string() : ColumnText(st, 1);
        d.nYear = date / 10000;
        d.nMonth = date / 100 % 100;
        d.nDay = date % 100;
        d.fEnergyKwh = static_cast<double>(sqlite3_column_int64(st, 2)) / 10.0;
        const bool hasPeak = sqlite3_column_type(st, 3) != SQLITE_NULL;
        d.fPeakW = static_cast<double>(sqlite3_column_int64(st, 3)) / 10.0;
        d.tmPeak = sqlite3_column_int64(st, 4);
        d.tmFirst = sqlite3_column_int64(st, 5);
        d.tmLast = sqlite3_column_int64(st, 6);
        // All inverters together: one row a day.
        if (serial.empty() && !out.empty() && out.back().nYear == d.nYear && out.back().nMonth == d.nMonth &&
            out.back().nDay == d.nDay) {
            SEnergyDay& sum = out.back();
            sum.fEnergyKwh = std::round((sum.fEnergyKwh + d.fEnergyKwh) * 10.0) / 10.0;
            if (hasPeak && (d.fPeakW > sum.fPeakW || (d.fPeakW == sum.fPeakW && d.tmPeak < sum.tmPeak))) {
                sum.fPeakW = d.fPeakW;
                sum.tmPeak = d.tmPeak;
            }
            sum.tmFirst = std::min(sum.tmFirst, d.tmFirst);
            sum.tmLast = std::max(sum.tmLast, d.tmLast);
            continue;
        }
        out.push_back(d);
    }
    sqlite3_finalize(st);
    if (rc != SQLITE_DONE) {
        out.clear();
        return Failure("Couldn't read the energy history");
    }
    return {};
}

SStoreResult CEnergyStore::DaysOfMonth(int year, int month, std::vector<SEnergyDay>& out, const std::string& serial)
{
    const int base = year * 10000 + month * 100;
    return QueryDays(base + 1, base + 31, out, serial);
}

SStoreResult CEnergyStore::MonthsOfYear(int year, std::vector<SEnergyMonth>& out, const std::string& serial)
{
    out.clear();
    std::lock_guard<std::mutex> lock(m_lock);
    if (m_pDb == nullptr)
        return Failure("Couldn't read the energy history");
    sqlite3_stmt* st = nullptr;
    const char* sql = "SELECT d.date / 100, TOTAL(d.energy), COUNT(DISTINCT d.date)"
                      " FROM day d JOIN inverter i ON i.id = d.inverter"
                      " WHERE d.date BETWEEN ?1 AND ?2 AND (?3 IS NULL OR i.serial = ?3)"
                      " GROUP BY d.date / 100 ORDER BY 1";
    if (sqlite3_prepare_v3(m_pDb, sql, -1, SQLITE_PREPARE_PERSISTENT, &st, nullptr) != SQLITE_OK)
        return Failure("Couldn't read the energy history");
    sqlite3_bind_int(st, 1, year * 10000 + 101);
    sqlite3_bind_int(st, 2, year * 10000 + 1231);
    BindSerial(st, 3, serial);
    int rc = SQLITE_OK;
    while ((rc = sqlite3_step(st)) == SQLITE_ROW) {
        SEnergyMonth& m = out.emplace_back();
        const int ym = sqlite3_column_int(st, 0);
        m.nYear = ym / 100;
        m.nMonth = ym % 100;
        m.fEnergyKwh = sqlite3_column_double(st, 1) / 10.0;
        m.nDays = sqlite3_column_int(st, 2);
    }
    sqlite3_finalize(st);
    if (rc != SQLITE_DONE) {
        out.clear();
        return Failure("Couldn't read the energy history");
    }
    return {};
}

SStoreResult CEnergyStore::MonthTotal(int year, int month, double& kwh, const std::string& serial)
{
    std::vector<SEnergyMonth> months;
    kwh = 0.0;
    const SStoreResult r = MonthsOfYear(year, months, serial);
    for (const SEnergyMonth& m : months)
        if (m.nMonth == month)
            kwh = m.fEnergyKwh;
    return r;
}

SStoreResult CEnergyStore::YearTotal(int year, double& kwh, const std::string& serial)
{
    std::vector<SEnergyMonth> months;
    const SStoreResult r = MonthsOfYear(year, months, serial);
    std::int64_t tenths = 0; // summed whole, so the total is the exact sum of the days
    for (const SEnergyMonth& m : months)
        tenths += std::llround(m.fEnergyKwh * 10.0);
    kwh = static_cast<double>(tenths) / 10.0;
    return r;
}

SStoreResult CEnergyStore::Serials(std::vector<std::string>& out)
{
    out.clear();
    std::lock_guard<std::mutex> lock(m_lock);
    if (m_pDb == nullptr)
        return Failure("Couldn't read the energy history");
    sqlite3_stmt* st = nullptr;
    if (sqlite3_prepare_v2(m_pDb, "SELECT serial FROM inverter ORDER BY serial", -1, &st, nullptr) != SQLITE_OK)
        return Failure("Couldn't read the energy history");
    int rc = SQLITE_OK;
    while ((rc = sqlite3_step(st)) == SQLITE_ROW)
        out.push_back(ColumnText(st, 0));
    sqlite3_finalize(st);
    return rc == SQLITE_DONE ? SStoreResult{} : Failure("Couldn't read the energy history");
}

SStoreResult CEnergyStore::Span(std::int64_t& tmFirst, std::int64_t& tmLast)
{
    tmFirst = tmLast = 0;
    std::lock_guard<std::mutex> lock(m_lock);
    if (m_pDb == nullptr)
        return Failure("Couldn't read the energy history");
    sqlite3_stmt* st = nullptr;
    if (sqlite3_prepare_v2(m_pDb,
                           "SELECT (SELECT t + sec FROM minute ORDER BY t LIMIT 1),"
                           " (SELECT t + sec FROM minute ORDER BY t DESC LIMIT 1)",
                           -1, &st, nullptr) != SQLITE_OK)
        return Failure("Couldn't read the energy history");
    const int rc = sqlite3_step(st);
    if (rc == SQLITE_ROW) {
        tmFirst = sqlite3_column_int64(st, 0);
        tmLast = sqlite3_column_int64(st, 1);
    }
    sqlite3_finalize(st);
    return rc == SQLITE_ROW ? SStoreResult{} : Failure("Couldn't read the energy history");
}

std::function<void(const SMonitorReading&)> EnergyStoreMinuteSink(std::shared_ptr<CEnergyStore> store)
{
    // One message for a run of failed writes; a success ends the run.
    auto failing = std::make_shared<std::atomic<bool>>(false);
    return [store = std::move(store), failing](const SMonitorReading& minute) {
        const SStoreResult r = store->WriteReading(minute);
        if (r.Ok()) {
            failing->store(false);
            return;
        }
        platform::CommLog("store", r.strMessage);
        if (!failing->exchange(true))
            platform::ShowMessageBox(kCaption, kWriteFailed + r.strMessage, platform::kMbOk | platform::kMbIconWarning);
    };
}

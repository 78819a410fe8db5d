// zelvan-history: the energy store for scripts. Imports history workbooks
// and prints the store's days, months and minutes as CSV.
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>
#include <system_error>
#include <vector>

#include <unistd.h>

#include "export/HistoryFile.h"
#include "outputs/EnergyStore.h"
#include "outputs/HistoryImport.h"
#include "outputs/HistoryTable.h"

namespace {

constexpr const char* kUsage =
    "Usage: zelvan-history [--db FILE] [--serial SERIAL] COMMAND\n"
    "\n"
    "Commands (each prints CSV with a header line):\n"
    "  import DIR           read every history workbook (.xls) in DIR into the store, once;\n"
    "                       prints \"imported N files, M minutes, S skipped\"\n"
    "  days YYYY-MM         date,energy_kwh,peak_w,peak_time,first,last\n"
    "  months YYYY          month,energy_kwh\n"
    "  minutes YYYY-MM-DD   time and the history file's columns\n"
    "\n"
    "Options:\n"
    "  --db FILE            the database (default: zelvan.db in the history folder\n"
    "                       the window uses)\n"
    "  --serial SERIAL      one inverter only (default: all; days and months add them up)\n"
    "  --help               this text\n";

int Fail(const std::string& message)
{
    std::fprintf(stderr, "zelvan-history: %s\n", message.c_str());
    return 2;
}

bool ParseDate(const std::string& text, int fields, int& y, int& m, int& d)
{
    // YYYY, YYYY-MM or YYYY-MM-DD
    const std::size_t lengths[] = {4, 7, 10};
    if (text.size() != lengths[fields - 1])
        return false;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const bool dash = i == 4 || i == 7;
        if (dash ? text[i] != '-' : (text[i] < '0' || text[i] > '9'))
            return false;
    }
    y = std::stoi(text.substr(0, 4));
    m = fields >= 2 ? std::stoi(text.substr(5, 2)) : 1;
    d = fields >= 3 ? std::stoi(text.substr(8, 2)) : 1;
    static constexpr int kDays[] = {31, 29, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    return y >= 1970 && m >= 1 && m <= 12 && d >= 1 && d <= kDays[m - 1];
}

std::string ProgramFolder()
{
    char self[4096];
    const ssize_t n = ::readlink("/proc/self/exe", self, sizeof self);
    if (n <= 0 || static_cast<std::size_t>(n) >= sizeof self)
        return "./";
    const std::string exe(self, static_cast<std::size_t>(n));
    return exe.substr(0, exe.rfind('/') + 1);
}

int Import(CEnergyStore& store, const std::string& dir)
{
    const SImportSummary summary = ImportHistoryFolder(store, dir);
    std::printf("%s\n", summary.Line().c_str());
    for (const std::string& skipped : summary.skipped)
        std::printf("skipped %s\n", skipped.c_str());
    if (!summary.strStoreError.empty()) {
        std::fprintf(stderr, "zelvan-history: %s\n", summary.strStoreError.c_str());
        return 1;
    }
    return 0;
}

int Days(CEnergyStore& store, int y, int m, const std::string& serial)
{
    std::vector<SEnergyDay> days;
    const SStoreResult r = store.DaysOfMonth(y, m, days, serial);
    if (!r.Ok())
        return Fail(r.strMessage), 1;
    std::fputs(CsvText(DaysTable(days)).c_str(), stdout);
    return 0;
}

int Months(CEnergyStore& store, int y, const std::string& serial)
{
    std::vector<SEnergyMonth> months;
    const SStoreResult r = store.MonthsOfYear(y, months, serial);
    if (!r.Ok())
        return Fail(r.strMessage), 1;
    std::fputs(CsvText(MonthsTable(months)).c_str(), stdout);
    return 0;
}

int Minutes(CEnergyStore& store, int y, int m, int d, const std::string& serial)
{
    std::vector<SEnergyMinute> minutes;
    const SStoreResult r = store.MinutesOfDay(y, m, d, minutes, serial);
    if (!r.Ok())
        return Fail(r.strMessage), 1;
    std::fputs(CsvText(MinutesTable(minutes)).c_str(), stdout);
    return 0;
}

} // namespace

int main(int argc, char** argv)
{
    std::string db;
    std::string serial;
    std::vector<std::string> words;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--help" || arg == "-h") {
            std::fputs(kUsage, stdout);
            return 0;
        }
        if (arg == "--db" || arg == "--serial") {
            if (i + 1 >= argc || argv[i + 1][0] == '\0')
                return Fail(arg + " needs a value (see --help)");
            (arg == "--db" ? db : serial) = argv[++i];
        } else if (arg.size() > 1 && arg[0] == '-') {
            return Fail("unknown option " + arg + " (see --help)");
        } else {
            words.push_back(arg);
        }
    }
    if (words.size() != 2)
        return Fail(words.empty() ? "no command given (see --help)" : "a command takes one argument (see --help)");
    const std::string& command = words[0];
    int y = 0, m = 0, d = 0;
    if (command == "days" ? !ParseDate(words[1], 2, y, m, d)
        : command == "months" ? !ParseDate(words[1], 1, y, m, d)
        : command == "minutes" ? !ParseDate(words[1], 3, y, m, d)
        : command != "import")
        return Fail(command == "days" || command == "months" || command == "minutes"
                        ? "bad date \"" + words[1] + "\" for " + command + " (see --help)"
                        : "unknown command \"" + command + "\" (see --help)");
    if (command == "import" && !std::filesystem::is_directory(words[1]))
        return Fail("no folder \"" + words[1] + "\"");

    if (db.empty())
        db = EnergyStorePath(HistoryFolderFor(ProgramFolder()));
    std::error_code ec;
    if (command != "import" && !std::filesystem::exists(db, ec))
        return Fail("no energy history database \"" + db + "\" (import the history files first)");
    if (command == "import" && std::filesystem::path(db).has_parent_path())
        std::filesystem::create_directories(std::filesystem::path(db).parent_path(), ec);

    CEnergyStore store;
    const SStoreResult opened = store.Open(db);
    if (!opened.Ok()) {
        std::fprintf(stderr, "zelvan-history: %s\n", opened.strMessage.c_str());
        return 1;
    }
    if (opened.eStatus == SStoreResult::kStartedAnew)
        std::fprintf(stderr, "zelvan-history: %s\n", opened.strMessage.c_str());

    if (command == "import")
        return Import(store, words[1]);
    if (command == "days")
        return Days(store, y, m, serial);
    if (command == "months")
        return Months(store, y, serial);
    return Minutes(store, y, m, d, serial);
}

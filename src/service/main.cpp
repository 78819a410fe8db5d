// zelvand: the monitor as an always-on service without a display. It finds
// the inverter, polls it around the clock and keeps the day's history files
// as the window does; its log goes to standard error in the journal's format.
#include <pthread.h>
#include <signal.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "live/Monitor.h"
#include "outputs/EnergyStore.h"
#include "outputs/HistoryImport.h"
#include "outputs/MqttConfig.h"
#include "outputs/MqttPublisher.h"
#include "platform/StopSignal.h"
#include "platform/CommLog.h"
#include "platform/MessageBox.h"
#include "platform/Tick.h"
#include "platform/WallClock.h"
#include "service/ConfigReader.h"
#include "service/JournalLog.h"
#include "service/ServiceConfig.h"
#include "service/StatusFile.h"
#include "service/SystemdNotifier.h"

#ifndef ZELVAN_VERSION
#define ZELVAN_VERSION "0"
#endif

namespace {

constexpr int kExitFailure = 1;
constexpr int kExitBadConfig = 2;

constexpr const char* kUsage =
    "Usage: zelvand [OPTION]...\n"
    "       zelvand [--config FILE] [--history-dir DIR] [--db FILE] --import FOLDER\n"
    "Monitors a photovoltaic inverter on a serial line as a service: finds it, polls it,\n"
    "keeps the day's history files and the energy store (zelvan.db in the history\n"
    "folder), and publishes to an MQTT broker when the file has an [mqtt] section.\n"
    "Logs go to standard error.\n"
    "\n"
    "  --config FILE          the configuration file (default /etc/zelvan/zelvand.toml)\n"
    "  --port PATH            a port to try, repeatable (replaces the file's list;\n"
    "                         \"auto\": the system's list)\n"
    "  --protocol auto|0|1|2  the protocol type to probe (default auto: 1, 0, 2)\n"
    "  --history-dir DIR      the history files' folder (default /var/lib/zelvan/hisdata)\n"
    "  --comm-log FILE        append the communication log to FILE\n"
    "  --log-level LEVEL      error, warning, notice, info (default) or debug\n"
    "  --status-file FILE     where the state for scripts is kept\n"
    "                         (default /run/zelvan/status.json)\n"
    "  --import FOLDER        read the history workbooks (.xls) of FOLDER into the\n"
    "                         energy store, print \"imported N files, M minutes, S skipped\"\n"
    "                         and exit\n"
    "  --db FILE              the energy store for --import (default zelvan.db in the\n"
    "                         history folder)\n"
    "  --check-config         check the configuration and exit\n"
    "  --status               print the running service's state as one line of JSON\n"
    "  --version              print the version and exit\n"
    "  --help                 print this help and exit\n"
    "\n"
    "Exit status: 0 on a clean stop (SIGTERM, SIGINT), 1 on a failure, 2 on a bad\n"
    "configuration or command line. SIGHUP reopens the communication log.\n";

struct SOptions {
    std::string strConfig = kDefaultConfigFile;
    std::optional<std::vector<std::string>> ports;
    std::optional<int> nProtocolType;
    std::optional<std::string> strHistoryDir;
    std::optional<std::string> strCommLog;
    std::optional<int> nLogLevel;
    std::optional<std::string> strStatusFile;
    std::optional<std::string> strImport;
    std::optional<std::string> strDb;
    bool bCheckConfig = false;
    bool bStatus = false;
    bool bHelp = false;
    bool bVersion = false;
    double dTimeSpeed = 0; // tests only: the clocks run this many times as fast
};

// The options; an error text when they cannot be used.
std::optional<std::string> ParseOptions(int argc, char** argv, SOptions& o)
{
    for (int i = 1; i < argc; ++i) {
        std::string name = argv[i];
        std::optional<std::string> inlineValue;
        if (const auto eq = name.find('='); name.rfind("--", 0) == 0 && eq != std::string::npos) {
            inlineValue = name.substr(eq + 1);
            name.erase(eq);
        }
        const auto value = [&]() -> std::optional<std::string> {
            if (inlineValue)
                return inlineValue;
            if (i + 1 < argc)
                return std::string(argv[++i]);
            return std::nullopt;
        };
        const auto flag = [&](bool& target) -> std::optional<std::string> {
            if (inlineValue)
                return name + " takes no value";
            target = true;
            return std::nullopt;
        };
        std::optional<std::string> error;
        if (name == "--help" || name == "-h") {
            error = flag(o.bHelp);
        } else if (name == "--version") {
            error = flag(o.bVersion);
        } else if (name == "--check-config") {
            error = flag(o.bCheckConfig);
        } else if (name == "--status") {
            error = flag(o.bStatus);
        } else if (name == "--config" || name == "--port" || name == "--protocol" || name == "--history-dir" ||
                   name == "--comm-log" || name == "--log-level" || name == "--status-file" ||
                   name == "--time-speed" || name == "--import" || name == "--db") {
            const std::optional<std::string> v = value();
            if (!v)
                return name + " needs a value";
            if (name == "--config") {
                o.strConfig = *v;
            } else if (name == "--port") {
                if (!o.ports)
                    o.ports.emplace();
                if (*v != "auto")
                    o.ports->push_back(*v);
            } else if (name == "--protocol") {
                o.nProtocolType = ParseProtocolType(*v);
                if (!o.nProtocolType)
                    return "--protocol: expected auto, 0, 1 or 2, not \"" + *v + "\"";
            } else if (name == "--history-dir") {
                o.strHistoryDir = *v;
            } else if (name == "--comm-log") {
                o.strCommLog = *v;
            } else if (name == "--log-level") {
                o.nLogLevel = ParseLogLevel(*v);
                if (!o.nLogLevel)
                    return "--log-level: expected error, warning, notice, info or debug, not \"" + *v + "\"";
            } else if (name == "--status-file") {
                o.strStatusFile = *v;
            } else if (name == "--import") {
                o.strImport = *v;
            } else if (name == "--db") {
                o.strDb = *v;
            } else {
                char* end = nullptr;
                o.dTimeSpeed = std::strtod(v->c_str(), &end);
                if (end == v->c_str() || *end != '\0' || !(o.dTimeSpeed >= 1 && o.dTimeSpeed <= 1000))
                    return "--time-speed: expected a factor from 1 to 1000";
            }
        } else {
            return "unknown option \"" + name + "\"";
        }
        if (error)
            return error;
    }
    return std::nullopt;
}

// The command line's values over the file's.
void ApplyOptions(const SOptions& o, SServiceConfig& config)
{
    if (o.ports)
        config.astrPorts = *o.ports;
    if (o.nProtocolType)
        config.nProtocolType = *o.nProtocolType;
    if (o.strHistoryDir)
        config.strHistoryDir = *o.strHistoryDir;
    if (o.strCommLog)
        config.strCommLog = *o.strCommLog;
    if (o.nLogLevel)
        config.nLogLevel = *o.nLogLevel;
    if (o.strStatusFile)
        config.strStatusFile = *o.strStatusFile;
}

// Where the status goes when /run cannot be written (a run by hand): beside
// the history folder, in the service's state folder.
std::string FallbackStatusFile(const SServiceConfig& config)
{
    std::filesystem::path history(config.strHistoryDir);
    if (!history.has_filename())
        history = history.parent_path();
    return (history.parent_path() / "zelvand-status.json").string();
}

int PrintStatus(const SServiceConfig& config)
{
    for (const std::string& path : {config.strStatusFile, FallbackStatusFile(config)}) {
        std::ifstream in(path);
        std::string line;
        if (in && std::getline(in, line) && !line.empty()) {
            std::printf("%s\n", line.c_str());
            return 0;
        }
    }
    std::fprintf(stderr, "zelvand: no state in %s: the service is not running\n", config.strStatusFile.c_str());
    return kExitFailure;
}

// Tests only: both clocks run `speed` times as fast from now, so the
// ten-minute history writes come within seconds.
void RunClocksFaster(double speed)
{
    const auto t0 = std::chrono::steady_clock::now();
    const platform::DWORD tick0 = platform::GetTickCount();
    const std::int64_t wall0 = platform::WallNow();
    const auto scaledMs = [t0, speed] {
        const auto real = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - t0).count();
        return static_cast<std::int64_t>(real * speed);
    };
    platform::SetTickSource([tick0, scaledMs] { return static_cast<platform::DWORD>(tick0 + scaledMs()); });
    platform::SetWallSource([wall0, scaledMs] { return wall0 + scaledMs() / 1000; });
}

void Log(int level, const std::string& text)
{
    CJournalLog::Instance().Write(level, text);
}

// zelvand --import FOLDER: the folder's workbooks into the store, the
// summary on standard output as zelvan-history prints it.
int ImportOnce(const std::string& folder, const std::string& db)
{
    CEnergyStore store;
    const SStoreResult opened = store.Open(db);
    if (!opened.Ok()) {
        Log(kLogError, opened.strMessage);
        return kExitFailure;
    }
    if (opened.eStatus == SStoreResult::kStartedAnew)
        Log(kLogWarning, opened.strMessage);
    const SImportSummary summary = ImportHistoryFolder(store, folder);
    std::printf("%s\n", summary.Line().c_str());
    for (const std::string& skipped : summary.skipped)
        std::printf("skipped %s\n", skipped.c_str());
    if (!summary.strStoreError.empty()) {
        Log(kLogError, summary.strStoreError);
        return kExitFailure;
    }
    return 0;
}

// The energy store of the service's history folder, opened at start; null
// when no database can be opened there (the history files go on alone).
std::shared_ptr<CEnergyStore> OpenStore(const std::string& historyDir)
{
    std::error_code ec;
    std::filesystem::create_directories(historyDir, ec);
    auto store = std::make_shared<CEnergyStore>();
    const SStoreResult opened = store->Open(EnergyStorePath(historyDir));
    if (!opened.Ok()) {
        Log(kLogWarning, "no energy store: " + opened.strMessage);
        return nullptr;
    }
    // A damaged or newer database was set aside: the import at start
    // rebuilds the new one from the history files.
    if (opened.eStatus == SStoreResult::kStartedAnew)
        Log(kLogWarning, opened.strMessage);
    return store;
}

} // namespace

int main(int argc, char** argv)
{
    // The signals are taken by a thread of their own: blocked here, before
    // any thread starts, so that every thread inherits the mask.
    sigset_t signals;
    sigemptyset(&signals);
    for (int s : {SIGTERM, SIGINT, SIGHUP, SIGUSR2})
        sigaddset(&signals, s);
    pthread_sigmask(SIG_BLOCK, &signals, nullptr);
    ::signal(SIGPIPE, SIG_IGN);

    SOptions options;
    if (const auto error = ParseOptions(argc, argv, options)) {
        std::fprintf(stderr, "zelvand: %s\nTry 'zelvand --help'.\n", error->c_str());
        return kExitBadConfig;
    }
    if (options.bHelp) {
        std::fputs(kUsage, stdout);
        return 0;
    }
    if (options.bVersion) {
        std::printf("zelvand %s\n", ZELVAN_VERSION);
        return 0;
    }

    // The file, then the command line over it. Each output registers the
    // reader of its own section here: reader.AddSection("name", parser).
    SServiceConfig config;
    CConfigReader reader;
    // The [mqtt] section's presence turns publishing on. Its one reader
    // takes the whole table and names file, line and key itself.
    std::optional<SMqttConfig> mqttConfig;
    std::string strMqttWarning;
    reader.AddSection("mqtt", [&mqttConfig, &strMqttWarning](CConfigSection& section) {
        section.KnowAllKeys();
        SMqttConfig mqtt;
        std::string error;
        if (ReadMqttConfig(section.Table(), section.File(), mqtt, error, strMqttWarning))
            mqttConfig = std::move(mqtt);
        else
            section.FailPlaced(error);
    });
    const SConfigResult read =
        reader.ReadFile(options.strConfig, [&config](CConfigSection& top) { ReadServiceKeys(top, config); });
    if (!read.bOk) {
        Log(kLogError, read.strError);
        return kExitBadConfig;
    }
    ApplyOptions(options, config);
    CJournalLog::Instance().SetLevel(config.nLogLevel);
    if (!strMqttWarning.empty() && !options.bStatus && !options.strImport)
        Log(kLogWarning, strMqttWarning);
    if (options.strImport)
        return ImportOnce(*options.strImport, options.strDb ? *options.strDb : EnergyStorePath(config.strHistoryDir));
    if (options.bCheckConfig) {
        std::printf("%s: ok\n", options.strConfig.c_str());
        return 0;
    }
    if (options.bStatus)
        return PrintStatus(config);

    // The communication log is the configuration's alone: read once, at the
    // log's first line, before any thread starts.
    if (config.strCommLog.empty())
        ::unsetenv("ZELVAN_LOG");
    else
        ::setenv("ZELVAN_LOG", config.strCommLog.c_str(), 1);
    if (options.dTimeSpeed > 0)
        RunClocksFaster(options.dTimeSpeed);
    platform::SetMessageBoxHandler(LogMessageBox, false); // a log line never waits

    // The publisher outlives the monitor: it is destroyed (publishing
    // "offline") only once the monitor has stopped feeding it.
    std::unique_ptr<CMqttPublisher> publisher;
    if (mqttConfig)
        publisher = std::make_unique<CMqttPublisher>(*mqttConfig, [](int level, const std::string& text) { Log(level, text); });
    const std::shared_ptr<CEnergyStore> store = OpenStore(config.strHistoryDir);

    SMonitorSettings settings;
    settings.strHistoryFolder = config.strHistoryDir;
    settings.astrPorts = config.astrPorts;
    settings.nProtocolType = config.nProtocolType;
    CMonitor monitor(settings);

    CSystemdNotifier notifier;
    CStatusFile status(CStatusFile::ChoosePath(config.strStatusFile, FallbackStatusFile(config)));
    monitor.AddOutput(notifier);
    monitor.AddOutput(status);
    // Each output the configuration asks for is added here: monitor.AddOutput(output).
    if (publisher) {
        monitor.AddOutput(*publisher);
        status.SetBrokerProbe([p = publisher.get()] { return p->IsBrokerConnected(); });
    }
    if (store)
        monitor.History().SetMinuteSink(EnergyStoreMinuteSink(store));

    SMonitorHooks hooks;
    hooks.onLog = [](int level, const std::string& text) { Log(level, text); };
    hooks.onPortsListed = [&notifier](const std::vector<std::string>& ports) {
        notifier.Ready(ports.empty() ? "no serial ports, looking again" : "detecting");
    };
    hooks.nPeriodMs = CSystemdNotifier::WatchdogPeriodMs();
    hooks.onPeriodic = [&notifier, &monitor] { notifier.BeatIfPolling(monitor.PollPasses()); };
    monitor.SetHooks(std::move(hooks));

    std::thread signalThread([&monitor, &signals] {
        for (;;) {
            int sig = 0;
            if (sigwait(&signals, &sig) != 0)
                continue;
            if (sig == SIGUSR2)
                return; // the end of main
            if (sig == SIGHUP) {
                platform::ReopenCommLog();
                Log(kLogInfo, "log files reopened");
                continue;
            }
            Log(kLogNotice, std::string("stopping on ") + (sig == SIGTERM ? "SIGTERM" : "SIGINT"));
            monitor.RequestStop();
        }
    });

    Log(kLogInfo, std::string("zelvand ") + ZELVAN_VERSION + " starting; history files in " + config.strHistoryDir);
    // The folder's workbooks into the store, once each, on a thread of its
    // own: a long import never holds up polling. Joined at the end.
    std::thread importThread;
    CStopSignal importStop;
    if (store) {
        importThread = std::thread([store, folder = config.strHistoryDir, &importStop] {
            const SImportSummary summary = ImportHistoryFolder(*store, folder, &importStop);
            Log(kLogInfo, "energy store " + store->Path() + ": " + summary.Line());
            for (const std::string& skipped : summary.skipped)
                Log(kLogWarning, "history file skipped: " + skipped);
            if (!summary.strStoreError.empty())
                Log(kLogWarning, "energy store: " + summary.strStoreError);
        });
    }
    int exitCode = 0;
    if (monitor.Start()) {
        monitor.Run();
    } else {
        Log(kLogError, "the poll thread could not be started");
        exitCode = kExitFailure;
    }
    notifier.Stopping();
    monitor.Stop(); // the day's samples written, the threads joined
    publisher.reset(); // "offline", then the session closed
    importStop.Request(); // a long first import ends after its file; the next start reads on
    if (importThread.joinable())
        importThread.join();
    status.Stop();
    platform::StopCommLog();
    pthread_kill(signalThread.native_handle(), SIGUSR2);
    signalThread.join();
    Log(kLogInfo, "stopped");
    return exitCode;
}

#pragma once
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>

#include "export/Spreadsheet.h"
#include "live/HistoryWriter.h"
#include "model/MonitorOutput.h"

class CDaySamples;
class CTestResult;

// The inverter a day curve belongs to; its history file is named after it.
struct SHistoryInverter {
    std::string strSerial; // the 12-character serial text
    int nRating = 0;       // watts
    int nProtocolType = 0;
    // Another serial number or another protocol type: another inverter.
    bool IsOther(const SHistoryInverter& o) const
    {
        return strSerial != o.strSerial || nProtocolType != o.nProtocolType;
    }
};

// The polled inverter as its history files and exports name it: the serial
// text, the rating of its model code (model code x 100 under the index map,
// not the gauge's rated power) and the protocol type.
SHistoryInverter HistoryInverterOf(const std::string& strSerial, int protocolType, int modelCode);

// What the keeper asks of the view it works for. UI thread.
struct SHistoryHooks {
    // The polling pause flag, set for the whole of a write.
    std::function<void(bool bPaused)> setPollPaused;
    // The curve ended: the chart is emptied and the next displayed sample
    // starts a new curve with a new start time.
    std::function<void()> restartCurve;
    // Empty: the built-in .xls writer.
    SpreadsheetStarter startSpreadsheet;
};

// The day's history files: the live store written to "hisdata/" beside the
// program every ten minutes of curve time, at the change of day (then the
// store, the chart and the file name start anew), when another inverter is
// found, and once more before the program exits. Each write replaces the
// whole file atomically.
//
// The UI thread only takes a copy of the store (polling paused meanwhile);
// the file is written from the copy by the writer thread, which shows a
// failure in a box of its own, so never one box on top of another, while
// polling goes on. UI thread only, but for the writer's jobs.
class CHistoryKeeper {
public:
    static constexpr int kMinutesBetweenWrites = 10;

    explicit CHistoryKeeper(CTestResult& store) : m_store(store) {}

    void SetHooks(SHistoryHooks hooks) { m_hooks = std::move(hooks); }
    // The folder whose "hisdata/" holds the history files (HistoryHome()).
    void SetAppDir(const std::string& appDir) { m_strAppDir = appDir; }
    // A folder of its own for the history files (the service's), instead of
    // "hisdata/" under the app folder; empty: the app folder's.
    void SetFolder(const std::string& folder) { m_strFolder = folder; }
    // The curve's start time (the chart's base time), wall-clock seconds.
    void SetCurveStart(std::int64_t tmStart) { m_tmCurveStart = tmStart; }
    // A user export runs: the ten-minute writes wait, the day change does not.
    void SetExporting(bool bExporting) { m_bExporting = bExporting; }
    // A long-term store: each completed curve minute's last sample goes to
    // it as a job of the writer thread (the sink runs there, never here), so
    // a killed process loses at most the minute that was running. Empty: none.
    void SetMinuteSink(std::function<void(const SMonitorReading&)> sink) { m_minuteSink = std::move(sink); }

    // The history check for the last sample i of a polling cycle, with the
    // inverter that is polled now.
    void CheckHistory(std::size_t i, const SHistoryInverter& inverter);
    // Before the program exits: writes the file once more when the curve
    // holds samples newer than the last write, or the last write failed;
    // then stops the writer, which finishes every write first (a box of
    // a failure closes by itself).
    void WriteBeforeExit();
    // Returns when every write started so far has ended.
    void Flush() { m_writer.Flush(); }

    int LastHistoryMinute() const { return m_nLastHistoryMinute; }
    const std::string& HistoryFile() const { return m_strHistoryFile; }
    std::string Folder() const;

private:
    // Queues the write of `samples` under the curve's name.
    void Write(CDaySamples samples, bool bCurveEnds);
    void EndCurve();
    // Sample i was checked: the minute before it is complete when i starts a new one.
    void FeedMinute(std::size_t i);
    void PostPendingMinute();

    CTestResult& m_store;
    SHistoryHooks m_hooks;
    std::string m_strAppDir;
    std::string m_strFolder;
    std::int64_t m_tmCurveStart = 0;
    bool m_bExporting = false;
    int m_nLastHistoryMinute = -1;
    std::string m_strHistoryFile;
    SHistoryInverter m_inverter; // of the running curve
    bool m_bInverterKnown = false;
    std::size_t m_nSamplesChecked = 0; // samples of the curve up to the last check
    std::size_t m_nSamplesWritten = 0; // samples in the write queued last
    std::atomic<bool> m_bLastWriteFailed{false};
    std::function<void(const SMonitorReading&)> m_minuteSink;
    std::optional<SMonitorReading> m_pendingMinute; // the running minute's last sample
    CHistoryWriter m_writer; // last: its jobs use the members above
};

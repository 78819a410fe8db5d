#include "live/HistoryKeeper.h"

#include <algorithm>
#include <exception>
#include <filesystem>
#include <memory>
#include <system_error>

#include "export/ExportToExcel.h"
#include "export/HistoryFile.h"
#include "model/RegisterMap.h"
#include "model/TestResult.h"
#include "platform/CommLog.h"
#include "platform/MessageBox.h"

namespace {

constexpr const char* kCaption = "Zelvan";
constexpr const char* kWriteFailed = "The history file could not be saved; polling goes on.\n\n";
constexpr const char* kDayLost = "The day's data could not be saved.\n\n";

// History mode: the whole day, one row a minute, no progress messages.
constexpr int kDayEndMinute = 1440;
constexpr int kRowMinutes = 1;
constexpr int kQuiet = 2;

// The first n records of a curve: what belonged to the inverter polled
// before another one was found.
class CCurvePart : public CDaySamples {
public:
    CCurvePart(const CDaySamples& samples, std::size_t n) : CDaySamples(samples)
    {
        m_adwTime.resize(std::min(m_adwTime.size(), n));
        for (auto& s : m_afSeries)
            s.resize(std::min(s.size(), n));
        for (auto& s : m_adwSeries)
            s.resize(std::min(s.size(), n));
    }
};

// Polling waits while a file is written, whatever way the write ends.
class CPollPause {
public:
    explicit CPollPause(const std::function<void(bool)>& set) : m_set(set)
    {
        if (m_set)
            m_set(true);
    }
    ~CPollPause()
    {
        if (m_set)
            m_set(false);
    }
    CPollPause(const CPollPause&) = delete;
    CPollPause& operator=(const CPollPause&) = delete;

private:
    const std::function<void(bool)>& m_set;
};

// Writer thread: the folder made when missing, then the workbook; the
// failure text, or empty when the file was saved.
std::string WriteFile(CExportOwner& owner, const CDaySamples& samples, const std::string& folder)
{
    std::error_code ec;
    std::filesystem::create_directories(folder, ec);
    if (ec)
        return "Couldn't create the folder \"" + folder + "\": " + ec.message();
    owner.m_pSamples = &samples;
    try {
        const CExportResult result = ExportToExcel(owner, kQuiet);
        if (result.eStatus == CExportResult::kSaveFailed)
            return result.strError;
        if (result.eStatus == CExportResult::kNotStarted)
            return "Couldn't start the spreadsheet writer for \"" + result.strPath + "\"";
    } catch (const std::exception& e) {
        return "Couldn't save \"" + owner.m_strExportPath + "\": " + e.what();
    }
    return {};
}

} // namespace

SHistoryInverter HistoryInverterOf(const std::string& strSerial, int protocolType, int modelCode)
{
    return {strSerial, HistoryRating(protocolType, modelCode), protocolType};
}

std::string CHistoryKeeper::Folder() const
{
    if (!m_strFolder.empty())
        return m_strFolder.back() == '/' ? m_strFolder : m_strFolder + '/';
    return HistoryFolder(m_strAppDir);
}

void CHistoryKeeper::CheckHistory(std::size_t i, const SHistoryInverter& inverter)
{
    if (i >= m_store.GetTimeCount())
        return; // a cycle cut short before its time stamp

    if (m_bInverterKnown && m_inverter.IsOther(inverter)) {
        // Its samples so far go to the old curve's file; the new inverter's
        // first cycle goes with the store, like the sample of a day change.
        {
            CPollPause pause(m_hooks.setPollPaused);
            PostPendingMinute();
            if (m_nSamplesChecked > m_nSamplesWritten || m_bLastWriteFailed.load())
                Write(CCurvePart(m_store, m_nSamplesChecked), true);
            EndCurve();
        }
        m_inverter = inverter;
        return;
    }
    m_inverter = inverter; // the rating may have become known
    m_bInverterKnown = true;
    m_nSamplesChecked = i + 1;
    FeedMinute(i);

    const std::int64_t tmSample = m_store.GetSampleWallTime(i, m_tmCurveStart);
    const int minute = CurveMinute(tmSample, m_tmCurveStart);
    const bool bDayChange = IsDayChange(tmSample, m_tmCurveStart);
    if (m_nLastHistoryMinute == -1)
        m_nLastHistoryMinute = minute;
    const bool bDue = minute >= m_nLastHistoryMinute + kMinutesBetweenWrites && !m_bExporting;
    if (!bDayChange && !bDue)
        return;

    CPollPause pause(m_hooks.setPollPaused);
    m_nLastHistoryMinute = minute;
    Write(m_store.TakeCopy(), bDayChange);
    if (bDayChange)
        EndCurve();
}

void CHistoryKeeper::WriteBeforeExit()
{
    PostPendingMinute();
    if (m_bInverterKnown && (m_store.GetTimeCount() > m_nSamplesWritten || m_bLastWriteFailed.load())) {
        CPollPause pause(m_hooks.setPollPaused);
        Write(m_store.TakeCopy(), false);
    }
    m_writer.Stop();
}

void CHistoryKeeper::Write(CDaySamples samples, bool bCurveEnds)
{
    if (m_strHistoryFile.empty())
        m_strHistoryFile = HistoryFileName(m_inverter.strSerial, m_inverter.nRating, m_tmCurveStart);
    const std::string folder = Folder();
    const std::string path = folder + m_strHistoryFile;
    m_nSamplesWritten = samples.GetTimeCount();

    CExportOwner owner;
    owner.m_strExportPath = path;
    owner.m_nExportFrom = 0;
    owner.m_nExportTo = kDayEndMinute;
    owner.m_nExportStep = kRowMinutes;
    owner.m_tmBase = m_tmCurveStart;
    owner.m_strSerialNumber = m_inverter.strSerial;
    owner.m_nRating = m_inverter.nRating;
    owner.m_nProtocolType = m_inverter.nProtocolType;
    owner.m_fnStartSpreadsheet = m_hooks.startSpreadsheet;
    auto copy = std::make_shared<const CDaySamples>(std::move(samples));
    m_writer.Post(path, [this, owner, copy, folder, bCurveEnds]() mutable {
        const std::string failure = WriteFile(owner, *copy, folder);
        platform::CommLog("history", failure.empty() ? owner.m_strExportPath : failure);
        m_bLastWriteFailed.store(!failure.empty());
        if (!failure.empty())
            platform::ShowMessageBox(kCaption, (bCurveEnds ? kDayLost : kWriteFailed) + failure,
                                     platform::kMbOk | platform::kMbIconWarning);
    });
}

void CHistoryKeeper::EndCurve()
{
    m_store.RemoveAllSamples();
    if (m_hooks.restartCurve)
        m_hooks.restartCurve();
    m_nLastHistoryMinute = -1;
    m_strHistoryFile.clear();
    m_nSamplesChecked = 0;
    m_nSamplesWritten = 0;
}

void CHistoryKeeper::FeedMinute(std::size_t i)
{
    if (!m_minuteSink)
        return;
    SMonitorReading sample;
    sample.inverter.strSerial = m_inverter.strSerial;
    sample.inverter.nProtocolType = m_inverter.nProtocolType;
    sample.inverter.nRating = m_inverter.nRating;
    sample.inverter.nModelCode = m_store.GetModelCode();
    sample.tmWall = m_store.GetSampleWallTime(i, m_tmCurveStart);
    for (int s = 0; s < kSeriesCount; ++s)
        if (i < m_store.GetSize(s))
            sample.aValue[s] = m_store.GetValue(s, i);
    if (m_pendingMinute && m_pendingMinute->tmWall / 60 != sample.tmWall / 60)
        PostPendingMinute();
    m_pendingMinute = std::move(sample);
}

void CHistoryKeeper::PostPendingMinute()
{
    if (!m_pendingMinute)
        return;
    const std::string key = "minute " + m_pendingMinute->inverter.strSerial + " " +
                            std::to_string(m_pendingMinute->tmWall / 60); // never superseded
    m_writer.Post(key, [sink = m_minuteSink, minute = std::move(*m_pendingMinute)] { sink(minute); });
    m_pendingMinute.reset();
}

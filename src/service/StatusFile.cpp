#include "service/StatusFile.h"

#include <fcntl.h>
#include <unistd.h>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <filesystem>

#include "platform/WallClock.h"

namespace {

constexpr auto kLeastInterval = std::chrono::seconds(1);

std::string Quote(const std::string& text)
{
    std::string out = "\"";
    for (unsigned char c : text) {
        if (c == '"' || c == '\\') {
            out += '\\';
            out += static_cast<char>(c);
        } else if (c < 0x20) {
            char escape[8];
            std::snprintf(escape, sizeof escape, "\\u%04x", c);
            out += escape;
        } else {
            out += static_cast<char>(c);
        }
    }
    return out + "\"";
}

std::string Number(double value)
{
    if (!std::isfinite(value))
        return "null";
    char text[32];
    std::snprintf(text, sizeof text, "%.10g", value);
    return text;
}

bool CanWriteIn(const std::filesystem::path& folder)
{
    std::error_code ec;
    std::filesystem::create_directories(folder, ec);
    return !ec && ::access(folder.c_str(), W_OK) == 0;
}

} // namespace

std::string CStatusFile::ChoosePath(const std::string& preferred, const std::string& fallback)
{
    for (const std::string& path : {preferred, fallback})
        if (!path.empty() && CanWriteIn(std::filesystem::path(path).parent_path()))
            return path;
    return {};
}

CStatusFile::CStatusFile(std::string path) : m_strPath(std::move(path))
{
    Compose();
    if (!m_strPath.empty())
        m_thread = std::thread([this] { Run(); });
}

CStatusFile::~CStatusFile()
{
    Stop();
}

void CStatusFile::OnReading(const SMonitorReading& reading)
{
    m_reading = reading;
    m_inverter = reading.inverter;
    m_bHasReading = true;
    Compose();
}

void CStatusFile::OnLinkState(const SMonitorLinkState& state)
{
    m_strLink = state.bConnected ? "connected" : "lost";
    m_inverter = state.inverter;
    Compose();
}

std::string CStatusFile::Json(const std::string& link, const SMonitorInverter& inverter,
                              const SMonitorReading* reading, long pid)
{
    std::string json = "{\"link\":" + Quote(link) + ",\"pid\":" + std::to_string(pid);
    json += ",\"serial\":" + Quote(inverter.strSerial) + ",\"port\":" + Quote(inverter.strPort);
    json += ",\"protocol\":" + (inverter.strSerial.empty() ? std::string("null") : std::to_string(inverter.nProtocolType));
    json += ",\"model_code\":" + std::to_string(inverter.nModelCode) + ",\"rating\":" + std::to_string(inverter.nRating);
    json += ",\"version\":" + Quote(inverter.strVersion);
    if (reading == nullptr) {
        json += ",\"time\":null,\"values\":{}}";
        return json;
    }
    const platform::LocalTime t = platform::ToLocal(reading->tmWall);
    char local[32];
    std::snprintf(local, sizeof local, "%04d-%02d-%02dT%02d:%02d:%02d", t.nYear, t.nMonth, t.nDay, t.nHour, t.nMinute,
                  t.nSecond);
    json += ",\"time\":" + Quote(local) + ",\"unix_time\":" + std::to_string(reading->tmWall) + ",\"values\":{";
    bool bFirst = true;
    for (int s = 0; s < kSeriesCount; ++s) {
        const auto& value = reading->aValue[static_cast<std::size_t>(s)];
        if (!value)
            continue;
        const std::string_view title = SeriesTitle(s);
        json += (bFirst ? "" : ",") + Quote(title.empty() ? std::string("Insulation") : std::string(title)) + ":" +
                Number(*value);
        bFirst = false;
    }
    return json + "}}";
}

void CStatusFile::Compose()
{
    std::string line = Json(m_strLink, m_inverter, m_bHasReading ? &m_reading : nullptr, static_cast<long>(::getpid()));
    if (m_brokerProbe) {
        line.pop_back(); // the closing brace
        line += std::string(",\"mqtt\":") + (m_brokerProbe() ? "\"connected\"}" : "\"disconnected\"}");
    }
    {
        std::lock_guard<std::mutex> lock(m_lock);
        m_strPending = std::move(line);
        m_bDirty = true;
    }
    m_cv.notify_one();
}

void CStatusFile::Run()
{
    std::unique_lock<std::mutex> lock(m_lock);
    for (;;) {
        m_cv.wait(lock, [this] { return m_bDirty || m_bStop; });
        if (m_bStop)
            return;
        const std::string line = m_strPending;
        m_bDirty = false;
        lock.unlock();
        WriteNow(line);
        lock.lock();
        m_cv.wait_for(lock, kLeastInterval, [this] { return m_bStop; });
    }
}

void CStatusFile::WriteNow(const std::string& line)
{
    const std::string temp = m_strPath + ".tmp";
    const int fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0)
        return;
    const std::string text = line + "\n";
    const bool bWritten = ::write(fd, text.data(), text.size()) == static_cast<ssize_t>(text.size());
    ::close(fd);
    if (!bWritten || std::rename(temp.c_str(), m_strPath.c_str()) != 0)
        std::remove(temp.c_str());
}

void CStatusFile::Stop()
{
    {
        std::lock_guard<std::mutex> lock(m_lock);
        if (m_bStop)
            return;
        m_bStop = true;
    }
    m_cv.notify_one();
    if (m_thread.joinable())
        m_thread.join();
    if (!m_strPath.empty())
        std::remove(m_strPath.c_str());
}

#include "platform/CommLog.h"

#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <deque>
#include <mutex>
#include <thread>

namespace platform {
namespace {

constexpr std::size_t kMaxQueuedLines = 10000;

std::string LocalTimestamp()
{
    const auto now = std::chrono::system_clock::now();
    const std::time_t seconds = std::chrono::system_clock::to_time_t(now);
    const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(now.time_since_epoch()).count() % 1000;
    std::tm local{};
#ifdef _WIN32
    localtime_s(&local, &seconds);
#else
    localtime_r(&seconds, &local);
#endif
    char text[40];
    const std::size_t n = std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%S", &local);
    std::snprintf(text + n, sizeof text - n, ".%03d", static_cast<int>(ms));
    return text;
}

class CCommLogWriter {
public:
    CCommLogWriter()
    {
        const char* path = std::getenv("ZELVAN_LOG");
        if (path == nullptr || *path == '\0')
            return;
        m_strPath = path;
        m_pFile = std::fopen(path, "a");
        m_bEnabled = m_pFile != nullptr;
        if (m_pFile != nullptr)
            m_thread = std::thread([this] { Run(); });
    }
    ~CCommLogWriter() { Stop(); }

    // Fixed once constructed: the file itself may be swapped by a reopen.
    bool Enabled() const { return m_bEnabled; }

    void Add(std::string line)
    {
        if (!m_bEnabled)
            return;
        {
            std::lock_guard<std::mutex> lock(m_lock);
            if (m_bStop)
                return;
            if (m_lines.size() >= kMaxQueuedLines) {
                ++m_nDropped;
                return;
            }
            m_lines.push_back(std::move(line));
        }
        m_cv.notify_one();
    }

    void Reopen()
    {
        if (!m_bEnabled)
            return;
        {
            std::lock_guard<std::mutex> lock(m_lock);
            m_bReopen = true;
        }
        m_cv.notify_one();
    }

    void Stop()
    {
        {
            std::lock_guard<std::mutex> lock(m_lock);
            m_bStop = true;
        }
        m_cv.notify_one();
        if (m_thread.joinable())
            m_thread.join();
        if (m_pFile != nullptr) {
            std::fclose(m_pFile);
            m_pFile = nullptr;
        }
    }

private:
    void Run()
    {
        std::unique_lock<std::mutex> lock(m_lock);
        for (;;) {
            m_cv.wait(lock, [this] { return m_bStop || m_bReopen || !m_lines.empty(); });
            while (!m_lines.empty()) {
                std::string line = std::move(m_lines.front());
                m_lines.pop_front();
                const std::size_t dropped = m_nDropped;
                m_nDropped = 0;
                lock.unlock();
                if (dropped > 0)
                    std::fprintf(m_pFile, "%s log %zu lines dropped\n", LocalTimestamp().c_str(), dropped);
                std::fputs(line.c_str(), m_pFile);
                std::fflush(m_pFile);
                lock.lock();
            }
            if (m_bReopen) {
                m_bReopen = false;
                // Only this thread writes the file: it may swap it here.
                if (std::FILE* file = std::fopen(m_strPath.c_str(), "a")) {
                    std::fclose(m_pFile);
                    m_pFile = file;
                }
            }
            if (m_bStop)
                return;
        }
    }

    std::string m_strPath;
    bool m_bEnabled = false;
    std::FILE* m_pFile = nullptr;
    std::mutex m_lock;
    std::condition_variable m_cv;
    std::deque<std::string> m_lines;
    std::size_t m_nDropped = 0;
    bool m_bStop = false;
    bool m_bReopen = false;
    std::thread m_thread;
};

CCommLogWriter& Writer()
{
    static CCommLogWriter writer;
    return writer;
}

} // namespace

bool CommLogEnabled() { return Writer().Enabled(); }

void CommLog(const char* tag, const std::string& text)
{
    if (!Writer().Enabled())
        return;
    // One line per entry: a box's line breaks are written as "\n".
    std::string line = LocalTimestamp() + " " + tag + (text.empty() ? "" : " ");
    for (char c : text)
        line += c == '\n' ? std::string("\\n") : std::string(1, c);
    Writer().Add(line + "\n");
}

std::string HexBytes(const std::uint8_t* bytes, std::size_t length)
{
    static const char kDigits[] = "0123456789ABCDEF";
    std::string text;
    text.reserve(length * 3);
    for (std::size_t i = 0; i < length; ++i) {
        if (i > 0)
            text += ' ';
        text += kDigits[bytes[i] >> 4];
        text += kDigits[bytes[i] & 0x0F];
    }
    return text;
}

void ReopenCommLog() { Writer().Reopen(); }

void StopCommLog() { Writer().Stop(); }

} // namespace platform

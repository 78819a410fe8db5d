#include "service/JournalLog.h"

#include <unistd.h>

#include <cerrno>

#include "live/Monitor.h"
#include "platform/MessageBox.h"

CJournalLog& CJournalLog::Instance()
{
    static CJournalLog log;
    return log;
}

void CJournalLog::Write(int nLevel, const std::string& text) const
{
    if (!Enabled(nLevel))
        return;
    std::string line = "<" + std::to_string(nLevel) + ">";
    line.reserve(line.size() + text.size() + 1);
    bool bBreak = false;
    for (char c : text) {
        if (c == '\n' || c == '\r') {
            bBreak = true;
            continue;
        }
        if (bBreak && line.back() != ' ' && line.back() != '>')
            line += ' ';
        bBreak = false;
        line += c;
    }
    line += '\n';
    const char* p = line.data();
    std::size_t left = line.size();
    while (left > 0) {
        const ssize_t n = ::write(STDERR_FILENO, p, left);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return; // nowhere to log to: the service goes on
        p += n;
        left -= static_cast<std::size_t>(n);
    }
}

int LogMessageBox(const std::string& caption, const std::string& text, unsigned type)
{
    int level = kLogNotice;
    switch (type & 0xF0u) {
    case platform::kMbIconError: level = kLogError; break;
    case platform::kMbIconWarning: level = kLogWarning; break;
    case platform::kMbIconInformation: level = kLogInfo; break;
    default: break;
    }
    CJournalLog::Instance().Write(level, caption == "Zelvan" || caption.empty() ? text : caption + ": " + text);
    return platform::DefaultAnswer(type);
}

#pragma once
#include <atomic>
#include <string>

// The service's log on standard error in the journal's stream format: each
// line starts with its severity as "<N>" (3 error ... 7 debug), so journald
// keeps the levels. Lines above the threshold are dropped. Any thread: a
// line goes out in one write, never interleaved with another.
class CJournalLog {
public:
    static CJournalLog& Instance();

    void SetLevel(int nLevel) { m_nLevel.store(nLevel); }
    int Level() const { return m_nLevel.load(); }
    bool Enabled(int nLevel) const { return nLevel <= m_nLevel.load(); }
    // One line; line breaks inside the text become spaces.
    void Write(int nLevel, const std::string& text) const;

private:
    std::atomic<int> m_nLevel{6};
};

// The message-box handler of a program without a window: the box becomes a
// log line at its icon's severity with the same text (the caption first
// when it is not the program's own) and is answered with its default at
// once, so no thread ever waits on it.
int LogMessageBox(const std::string& caption, const std::string& text, unsigned type);

#pragma once
#include <QString>

#include <functional>

// The one QApplication of the test program (offscreen unless a platform is
// set), with LC_NUMERIC back to "C" as the program has it.
void EnsureApp();

// Lets every posted event and pending paint happen.
void Settle();

// Lets the window work until `done` holds or the time is up.
bool PumpUntil(const std::function<bool()>& done, int timeoutMs);

// For tests of the main window: the program's folder in the build (its
// pictures and workbook) is the working directory while this lives; at its
// end the day's history written beside the test programs is removed, the
// working directory restored and the test's port list forgotten. Destroy
// the window first: it writes the history when it closes.
class CProgramFolder {
public:
    CProgramFolder();
    ~CProgramFolder();
    CProgramFolder(const CProgramFolder&) = delete;
    CProgramFolder& operator=(const CProgramFolder&) = delete;

private:
    QString m_strOldDir;
};

#pragma once
#include <QApplication>
#include <QString>

#include <memory>

class CMainFrame;

// The application: start-up (numbers in the C locale, message boxes on the
// UI thread, the working directory, the main window) and shut-down.
class COstrelApp : public QApplication {
public:
    COstrelApp(int& argc, char** argv);
    ~COstrelApp() override;

    bool InitInstance();
    int ExitInstance();

    CMainFrame* MainFrame() const { return m_pFrame.get(); }
    // The program's own folder, with a trailing slash.
    const QString& AppDir() const { return m_strAppDir; }

    // Changes to `appDir`, or else to the installed <prefix>/share/zelvan, when
    // the working directory lacks the files the program reads there and that
    // folder has them. True when it changed.
    static bool ChooseWorkingDirectory(const QString& appDir);

private:
    // SIGTERM, SIGINT and SIGHUP (a logout, a shutdown, Ctrl+C) end the
    // program as cleanly as its Exit command, without the question: the
    // day's history written, threads joined, the port closed.
    void WatchTerminationSignals();

    QString m_strAppDir;
    std::unique_ptr<CMainFrame> m_pFrame;
};

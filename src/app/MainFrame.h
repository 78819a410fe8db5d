#pragma once
#include <QMainWindow>

#include <functional>
#include <map>

struct SImportSummary;

class CHistoryView;
class CPowerCurveView;
class CSysNoteView;
class CTabHolder;
class QAction;
class QLabel;

// The main window: fixed 1000 x 700, titled "Zelvan", a toolbar of six large
// buttons, a two-pane status bar (messages, link state) and the two views
// on tabs (power view, system view, history). Closing asks first while an inverter is connected.
class CMainFrame : public QMainWindow {
    Q_OBJECT
public:
    static constexpr int kWidth = 1000;
    static constexpr int kHeight = 700;
    static constexpr int ID_HELP = 32789;
    static constexpr int ID_APP_ABOUT = 57664;
    static constexpr int ID_APP_EXIT = 57665;
    static constexpr int ID_IMPORT_HISTORY = 32790;
    static constexpr const char* kExitQuestion = "Do you confirm to exit the monitor?";

    CMainFrame();
    ~CMainFrame() override;

    CTabHolder* Tabs() const { return m_pTabs; }
    CPowerCurveView* PowerView() const { return m_pPowerView; }
    CSysNoteView* SysView() const { return m_pSysView; }
    CHistoryView* HistoryView() const { return m_pHistoryView; }
    // The action of a command id (toolbar or menu), or null.
    QAction* Command(int nId) const;
    // Status bar pane 1: "Connected" / "Dis-connected".
    QString LinkStatus() const;

    // Builds the views and starts the power view (its first initial update).
    void OnCreateClient();

    // Asks for the folder to import; empty: cancelled. Empty hook: the folder dialog.
    std::function<QString()> chooseImportFolder;
    void OnImportHistory();

protected:
    void closeEvent(QCloseEvent* pEvent) override;

private:
    void CreateToolBar();
    void CreateMenu();
    void CreateStatusBar();
    QAction* AddCommand(int nId, const QString& text, const QString& tip);
    void OnHelp();
    void OnAbout();
    // The end of "Import history files..." (a folder of history workbooks
    // read into the energy store on the power view's import worker).
    void OnImportDone(const SImportSummary& summary, bool bRebuild);

    CTabHolder* m_pTabs = nullptr;
    CPowerCurveView* m_pPowerView = nullptr;
    CSysNoteView* m_pSysView = nullptr;
    CHistoryView* m_pHistoryView = nullptr;
    QLabel* m_pLinkPane = nullptr;
    std::map<int, QAction*> m_commands;
};

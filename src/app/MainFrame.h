#pragma once
#include <QMainWindow>

#include <map>

class CPowerCurveView;
class CSysNoteView;
class CTabHolder;
class QAction;
class QLabel;

// The main window: fixed 1000 x 700, titled "Zelvan", a toolbar of six large
// buttons, a two-pane status bar (messages, link state) and the two views
// on tabs. Closing asks first while an inverter is connected.
class CMainFrame : public QMainWindow {
    Q_OBJECT
public:
    static constexpr int kWidth = 1000;
    static constexpr int kHeight = 700;
    static constexpr int ID_HELP = 32789;
    static constexpr int ID_APP_ABOUT = 57664;
    static constexpr int ID_APP_EXIT = 57665;
    static constexpr const char* kExitQuestion = "Do you confirm to exit the monitor?";

    CMainFrame();
    ~CMainFrame() override;

    CTabHolder* Tabs() const { return m_pTabs; }
    CPowerCurveView* PowerView() const { return m_pPowerView; }
    CSysNoteView* SysView() const { return m_pSysView; }
    // The action of a command id (toolbar or menu), or null.
    QAction* Command(int nId) const;
    // Status bar pane 1: "Connected" / "Dis-connected".
    QString LinkStatus() const;

    // Builds the views and starts the power view (its first initial update).
    void OnCreateClient();

protected:
    void closeEvent(QCloseEvent* pEvent) override;

private:
    void CreateToolBar();
    void CreateMenu();
    void CreateStatusBar();
    QAction* AddCommand(int nId, const QString& text, const QString& tip);
    void OnHelp();
    void OnAbout();

    CTabHolder* m_pTabs = nullptr;
    CPowerCurveView* m_pPowerView = nullptr;
    CSysNoteView* m_pSysView = nullptr;
    QLabel* m_pLinkPane = nullptr;
    std::map<int, QAction*> m_commands;
};

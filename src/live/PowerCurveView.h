#pragma once
#include <QImage>
#include <QString>
#include <QWidget>

#include <atomic>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "ui/DialogTemplate.h"
#include "ui/WindowMessages.h"
#include "export/ExportWorker.h"
#include "link/PowerViewLink.h"
#include "live/CommandStates.h"
#include "live/HistoryKeeper.h"
#include "live/PowerViewData.h"
#include "outputs/HistoryImport.h"
#include "platform/StopSignal.h"

class CAutoComDlg;
class CDetectionLines;
class CFlowPane;
class CMyPanel;
class CMonitorDlg;
class CMyTextBox;
class CProgressDlg;
class QCheckBox;
class ConfigWorkbook;

// The "Power view" tab: the day's power curve, the gauge and the read-out
// boxes on the background picture. It owns the link logic (and through it
// the link and the poll thread) and the value handling; both run without
// it in tests. This class forwards posted messages and commands to them and
// draws what they report. UI thread only, but for what the link posts.
class CPowerCurveView : public QWidget {
    Q_OBJECT
public:
    static constexpr int IDD = 102;
    static constexpr int IDC_X_AXIS = 1000;
    static constexpr int IDC_CHART = 1001;
    static constexpr int IDC_ENERGY = 1008;
    static constexpr int IDC_GAUGE = 1009;
    static constexpr int IDC_POWER = 1010;
    static constexpr int IDC_TRACKING = 1012;

    explicit CPowerCurveView(QWidget* pParent = nullptr);
    ~CPowerCurveView() override;

    static const dlg::STemplate& Template();

    // Where the view reports to the frame (set before OnInitialUpdate).
    std::function<void(const QString&)> onStatus; // status bar pane 1
    std::function<void(float fKg)> onCo2;         // the system view's figure
    // Opens the parameter dialog at a cycle's end: OpenParameterDialog
    // unless a test puts something else here.
    std::function<void()> openParameterDialog;
    // Asks for the export's file; empty when the user cancels. Empty hook:
    // the save-file dialog, with its overwrite question.
    std::function<QString()> chooseExportFile;
    // An import of history files ended (on the UI thread); bRebuild: the
    // one started because the store was started anew.
    std::function<void(const SImportSummary& summary, bool bRebuild)> onImportDone;

    // First call only: chart, widgets, workbook, detection, poll thread.
    void OnInitialUpdate();
    // Joins a running export, stops the poll thread, then closes the port
    // (so the poll thread cannot reopen it), and writes the day's history
    // once more when it holds samples newer than the file; every thread
    // joined. Safe to call twice.
    void Shutdown();

    // --- commands ---
    void OnConnectToggle();  // 32777
    void OnOpenParameters(); // 32778
    void OnExport();         // 32780
    void OnToggleCursor();   // 32782
    void OnToggleTracking(); // 32783
    void OnTimeSpan();       // 32785

    // Runs " Parameters set and view" modally. While it is open the poll
    // thread ticks its page instead of polling, and received values go to
    // the page; a page read still outstanding when it closes is counted on
    // by the view, whose cycle then resumes.
    void OpenParameterDialog();
    // The parameter dialog while it is open, else null.
    CMonitorDlg* ParameterDialog() const { return m_pParamDlg; }

    bool IsConnected() const { return m_link.IsConnected(); }
    // The program's own folder, with a trailing slash (history files go below it).
    const QString& AppDir() const { return m_strAppDir; }
    CPowerViewLink& LinkLogic() { return m_link; }
    CPowerViewData& Data() { return m_data; }
    CCommandStates& Commands() { return m_commands; }
    const ConfigWorkbook* Workbook() const { return m_pWorkbook.get(); }
    CFlowPane* Chart() const { return m_pChart; }
    CMyPanel* Gauge() const { return m_pGauge; }
    CMyTextBox* PowerBox() const { return m_pPowerBox; }
    CMyTextBox* EnergyBox() const { return m_pEnergyBox; }
    CHistoryKeeper& History() { return m_history; }
    bool IsExporting() const { return m_bExporting; }
    // The export's inputs as last chosen.
    const std::string& ExportPath() const { return m_strExportPath; }
    int ExportFrom() const { return m_nExportFrom; }
    int ExportTo() const { return m_nExportTo; }
    int ExportStep() const { return m_nExportStep; }
    // The detection dialog while it is open, else null.
    CAutoComDlg* DetectionDialog() const { return m_pDetectDlg; }

    // The long-term energy store ("zelvan.db" in the history folder), opened
    // by OnInitialUpdate; the history keeper feeds it each minute. Null when
    // it could not be opened.
    const std::shared_ptr<CEnergyStore>& EnergyStore() const { return m_pEnergyStore; }
    std::string EnergyStoreFile() const;
    // Reads the history files of `folder` into the store on a worker thread;
    // onImportDone follows on this thread. False (nothing started) while an
    // import runs or without a store.
    bool StartImport(const std::string& folder, bool bRebuild = false);
    bool IsImporting() const { return m_bImporting; }

    // The texts of the read-out boxes.
    static QString PowerText(float fPower);
    static QString EnergyText(float fToday, float fTotal);

signals:
    // The export's progress dialog is about to run (its modal loop follows).
    void progressDialogOpened(CProgressDlg* pDialog);
    // The parameter dialog is about to run (its modal loop follows).
    void parameterDialogOpened(CMonitorDlg* pDialog);

protected:
    bool event(QEvent* pEvent) override;
    void paintEvent(QPaintEvent* pEvent) override;

private:
    void OnMessage(const platform::PostedMessage& message);
    void AttachHooks();
    void RunDetectionDialog();
    void ShowDisplayUpdate(const SDisplayUpdate& update);
    void SetStatus(const QString& text);
    void RefreshCommands();
    QWidget* Placeholder(int nId) const;
    SHistoryInverter PolledInverter();
    QString ChooseExportFile();
    void RunExport();
    void OnExportDone();
    void OpenEnergyStore();
    void OnImportDone();

    CWindowMessageTarget m_target{this};
    CPowerViewLink m_link{m_target};
    CPowerViewData m_data;
    CCommandStates m_commands;
    CHistoryKeeper m_history{m_data.Store()};
    std::unique_ptr<ConfigWorkbook> m_pWorkbook;
    CDetectionLines* m_pLines = nullptr;
    CAutoComDlg* m_pDetectDlg = nullptr;
    CMonitorDlg* m_pParamDlg = nullptr;
    QString m_strAppDir;
    QImage m_imgBack;
    CFlowPane* m_pChart = nullptr;
    CMyPanel* m_pGauge = nullptr;
    CMyTextBox* m_pPowerBox = nullptr;
    CMyTextBox* m_pEnergyBox = nullptr;
    QCheckBox* m_pTracking = nullptr;
    bool m_bInitialised = false;
    bool m_bShutDown = false;

    // The user export: its inputs, the worker and its progress dialog.
    std::string m_strExportPath;
    int m_nExportFrom = 0;
    int m_nExportTo = 0;
    int m_nExportStep = 0;
    bool m_bExporting = false;
    CExportWorker m_exporter;
    CExportResult m_exportResult;
    CProgressDlg* m_pProgressDlg = nullptr;

    // The energy store and its import worker: the worker writes the summary
    // under m_importLock and posts WM_HISTORY_IMPORT_DONE; joined there and
    // at Shutdown.
    std::shared_ptr<CEnergyStore> m_pEnergyStore;
    std::string m_strStoreNotice; // the started-anew message, shown once
    std::thread m_importThread;
    CStopSignal m_importStop; // the window closes: the import ends after its file
    std::mutex m_importLock;
    SImportSummary m_importSummary;
    bool m_bImportRebuild = false;
    bool m_bImporting = false;
};

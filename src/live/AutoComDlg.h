#pragma once
#include "ui/DialogTemplate.h"

#include <QDialog>
#include <QObject>
#include <QPointer>
#include <QString>

#include <functional>
#include <string>

class CAutoComDlg;
class QListWidget;

// Carries detection progress lines from the poll thread to the open
// detection dialog. It lives on the UI thread and must outlive every thread
// that posts to it. Lines that arrive while no dialog is open are dropped.
class CDetectionLines : public QObject {
    Q_OBJECT
public:
    explicit CDetectionLines(QObject* pParent = nullptr);

    // Any thread: queues the line for the UI thread.
    void Post(const QString& strLine);
    void Post(const std::string& strLineUtf8);

    // UI thread: the dialog that receives lines from now on (null: none).
    void Attach(CAutoComDlg* pDialog);
    // UI thread: stops delivery to pDialog if it is the one attached.
    void Detach(const CAutoComDlg* pDialog);

private:
    void Deliver(const QString& strLine);

    QPointer<CAutoComDlg> m_pDialog;
};

// "Communication detecting": the progress log of a port detection. Abort
// (and Escape, and the close box) ends it with IDOK; the owner ends it with
// End() when an inverter answered. "Detecting End" stays in the list until
// the operator aborts.
class CAutoComDlg : public QDialog {
    Q_OBJECT
public:
    static constexpr int IDD = 167;
    static constexpr int IDC_PROGRESS = 1110;
    static constexpr int IDOK = 1;
    static constexpr int IDC_CONTINUE = 2;

    // setAlive(true) when the window appears, setAlive(false) when it is
    // gone: the poll thread probes only while it is there. With pLines the
    // dialog receives posted lines for exactly that time.
    explicit CAutoComDlg(std::function<void(bool)> setAlive, CDetectionLines* pLines = nullptr,
                         QWidget* pParent = nullptr);
    ~CAutoComDlg() override;

    static const dlg::STemplate& Template();

    // UI thread: appends a progress line.
    void AddLine(const QString& strLine);
    // UI thread: closes the dialog with result 0.
    void End();

    bool IsAlive() const { return m_bAlive; }
    QListWidget* List() const;

public slots:
    void reject() override;
    void done(int nResult) override;

protected:
    void showEvent(QShowEvent* pEvent) override;

private:
    void SetAlive(bool bAlive);

    std::function<void(bool)> m_setAlive;
    QPointer<CDetectionLines> m_pLines;
    bool m_bAlive = false;
};

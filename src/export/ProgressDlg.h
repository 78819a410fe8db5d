#pragma once
#include <QDialog>

#include "ui/DialogTemplate.h"

// "Save Progress", shown while an export's worker runs. The user cannot
// close it: no close button, Escape and Enter do nothing, and its OK button
// is hidden. The owner ends it with End() when the worker has finished.
class CProgressDlg : public QDialog {
    Q_OBJECT
public:
    static constexpr int IDD = 146;
    static constexpr int IDC_TEXT = 1015;

    explicit CProgressDlg(QWidget* pParent = nullptr);
    static const dlg::STemplate& Template();

    // "Save Progress is <percent>%".
    void SetProgress(int nPercent);
    QString Text() const;
    // Ends the dialog with the result 0.
    void End() { QDialog::done(0); }

    void accept() override {}
    void reject() override {}

signals:
    void progressShown(int nPercent);

protected:
    void keyPressEvent(QKeyEvent* pEvent) override;
    void closeEvent(QCloseEvent* pEvent) override;
};

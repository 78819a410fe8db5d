#pragma once
#include <QDialog>

#include "ui/DialogTemplate.h"
#include "ui/IntFields.h"

// "Time span": the time range of the power curve chart as clock times.
class CAxisSetDlg : public QDialog {
    Q_OBJECT
public:
    static constexpr int IDD = 134;
    static constexpr int IDC_FROM_HOUR = 1002;
    static constexpr int IDC_TO_HOUR = 1003;
    static constexpr int IDC_FROM_MINUTE = 1004;
    static constexpr int IDC_TO_MINUTE = 1005;

    explicit CAxisSetDlg(QWidget* pParent = nullptr);
    static const dlg::STemplate& Template();

    // Set before exec(), read after it accepted.
    int m_nFromHour = 0;
    int m_nToHour = 0;
    int m_nFromMinute = 0;
    int m_nToMinute = 0;

    void accept() override;

protected:
    void showEvent(QShowEvent* pEvent) override;

private:
    std::vector<SIntField> Fields();
};

#pragma once
#include <QDialog>

#include "ui/DialogTemplate.h"
#include "ui/IntFields.h"

class QRadioButton;

// "Data Options for Export": the span of the day to export as clock times,
// and the row interval.
class CExportSetDlg : public QDialog {
    Q_OBJECT
public:
    static constexpr int IDD = 138;
    static constexpr int IDC_FROM_HOUR = 1002;
    static constexpr int IDC_FROM_MINUTE = 1003;
    static constexpr int IDC_TO_HOUR = 1004;
    static constexpr int IDC_TO_MINUTE = 1005;
    static constexpr int IDC_BY_SECOND = 1016; // first of the interval group
    static constexpr int IDC_1MIN = 1017;
    static constexpr int IDC_5MIN = 1018;
    static constexpr int IDC_10MIN = 1019;

    explicit CExportSetDlg(QWidget* pParent = nullptr);
    static const dlg::STemplate& Template();

    // Set before exec(), read after it accepted.
    int m_nFromHour = 0;
    int m_nToHour = 0;
    int m_nFromMinute = 0;
    int m_nToMinute = 0;
    int m_nInterval = 0; // 0 "By second", 1 "1Min", 2 "5Min", 3 "10Min"

    void accept() override;

protected:
    void showEvent(QShowEvent* pEvent) override;

private:
    void CreateIntervalButtons(const QSize& baseUnits);
    std::vector<SIntField> Fields();

    QRadioButton* m_apInterval[4] = {};
};

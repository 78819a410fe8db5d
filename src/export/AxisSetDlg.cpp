#include "export/AxisSetDlg.h"

#include <QShowEvent>

CAxisSetDlg::CAxisSetDlg(QWidget* pParent) : QDialog(pParent)
{
    dlg::BuildDialog(this, Template());
}

const dlg::STemplate& CAxisSetDlg::Template()
{
    using namespace dlg;
    static const STemplate t{
        IDD,
        QStringLiteral("Time span"),
        QSize(316, 110),
        QStringLiteral("MS Shell Dlg"),
        8,
        {
            {EKind::Static, kNoId, QStringLiteral("Absolute Time"), QRect(7, 7, 51, 11)},
            {EKind::Static, kNoId, QStringLiteral("From:"), QRect(16, 25, 24, 11)},
            {EKind::Edit, IDC_FROM_HOUR, {}, QRect(74, 23, 34, 17), 0, QStringLiteral("From hour")},
            {EKind::Static, kNoId, QStringLiteral("Hour"), QRect(50, 26, 19, 11)},
            {EKind::Edit, IDC_FROM_MINUTE, {}, QRect(138, 22, 34, 17), 0, QStringLiteral("From minute")},
            {EKind::Static, kNoId, QStringLiteral("Min"), QRect(116, 25, 19, 11)},
            {EKind::Static, kNoId, QStringLiteral("To:"), QRect(17, 51, 21, 11)},
            {EKind::Edit, IDC_TO_HOUR, {}, QRect(72, 49, 37, 17), 0, QStringLiteral("To hour")},
            {EKind::Static, kNoId, QStringLiteral("Hour"), QRect(49, 52, 19, 11)},
            {EKind::Edit, IDC_TO_MINUTE, {}, QRect(138, 48, 34, 17), 0, QStringLiteral("To minute")},
            {EKind::Static, kNoId, QStringLiteral("Min"), QRect(116, 52, 19, 11)},
            {EKind::DefButton, 1, QStringLiteral("OK"), QRect(205, 89, 50, 14)},
            {EKind::Button, 2, QStringLiteral("Cancel"), QRect(259, 89, 50, 14)},
        },
    };
    return t;
}

// In the order the class holds them: from-hour, to-hour, from-minute, to-minute.
std::vector<SIntField> CAxisSetDlg::Fields()
{
    return {{IDC_FROM_HOUR, &m_nFromHour, 0, 23},
            {IDC_TO_HOUR, &m_nToHour, 0, 23},
            {IDC_FROM_MINUTE, &m_nFromMinute, 0, 59},
            {IDC_TO_MINUTE, &m_nToMinute, 0, 59}};
}

void CAxisSetDlg::showEvent(QShowEvent* pEvent)
{
    if (!pEvent->spontaneous())
        PutIntFields(this, Fields());
    QDialog::showEvent(pEvent);
}

void CAxisSetDlg::accept()
{
    if (TakeIntFields(this, Fields()))
        QDialog::accept();
}

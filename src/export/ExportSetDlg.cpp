#include "export/ExportSetDlg.h"

#include <QButtonGroup>
#include <QPushButton>
#include <QRadioButton>
#include <QShowEvent>

namespace {

// The interval group, in the order of its choices. The template helper has
// no radio buttons; they are placed here from the same dialog units.
struct SRadio {
    int nId;
    const char* pszText;
    QRect rcDlu;
};
constexpr SRadio kIntervals[4] = {
    {CExportSetDlg::IDC_BY_SECOND, "By second", QRect(14, 78, 80, 15)},
    {CExportSetDlg::IDC_1MIN, "1Min", QRect(110, 79, 44, 15)},
    {CExportSetDlg::IDC_5MIN, "5Min", QRect(164, 79, 44, 15)},
    {CExportSetDlg::IDC_10MIN, "10Min", QRect(218, 78, 44, 15)},
};

} // namespace

CExportSetDlg::CExportSetDlg(QWidget* pParent) : QDialog(pParent)
{
    CreateIntervalButtons(dlg::BuildDialog(this, Template()));
}

const dlg::STemplate& CExportSetDlg::Template()
{
    using namespace dlg;
    static const STemplate t{
        IDD,
        QStringLiteral("Data Options for Export"),
        QSize(285, 140),
        QStringLiteral("Microsoft Sans Serif"),
        8,
        {
            {EKind::Static, kNoId, QStringLiteral("From"), QRect(9, 15, 21, 13)},
            {EKind::Edit, IDC_FROM_HOUR, {}, QRect(77, 12, 39, 16), 0, QStringLiteral("From hour")},
            {EKind::Static, kNoId, QStringLiteral("Hour"), QRect(47, 15, 21, 13)},
            {EKind::Edit, IDC_FROM_MINUTE, {}, QRect(164, 12, 39, 16), 0, QStringLiteral("From minute")},
            {EKind::Static, kNoId, QStringLiteral("Min."), QRect(137, 15, 21, 13)},
            {EKind::Static, kNoId, QStringLiteral("To"), QRect(10, 48, 21, 13)},
            {EKind::Edit, IDC_TO_HOUR, {}, QRect(77, 45, 39, 16), 0, QStringLiteral("To hour")},
            {EKind::Static, kNoId, QStringLiteral("Hour"), QRect(46, 49, 21, 13)},
            {EKind::Edit, IDC_TO_MINUTE, {}, QRect(164, 45, 39, 16), 0, QStringLiteral("To minute")},
            {EKind::Static, kNoId, QStringLiteral("Min."), QRect(137, 49, 21, 13)},
            {EKind::DefButton, 1, QStringLiteral("OK"), QRect(155, 114, 50, 14)},
            {EKind::Button, 2, QStringLiteral("Cancel"), QRect(225, 114, 50, 14)},
        },
    };
    return t;
}

void CExportSetDlg::CreateIntervalButtons(const QSize& baseUnits)
{
    auto* pGroup = new QButtonGroup(this);
    QWidget* pPrevious = DlgItem<QWidget>(this, IDC_TO_MINUTE);
    for (int i = 0; i < 4; ++i) {
        const QString text = QString::fromLatin1(kIntervals[i].pszText);
        auto* pRadio = new QRadioButton(text, this);
        pRadio->setObjectName(dlg::IdName(kIntervals[i].nId));
        pRadio->setAccessibleName(text);
        pRadio->setGeometry(dlg::MapDialogRect(kIntervals[i].rcDlu, baseUnits));
        pGroup->addButton(pRadio, i);
        // In the tab order where the template has them: before OK.
        setTabOrder(pPrevious, pRadio);
        pPrevious = pRadio;
        m_apInterval[i] = pRadio;
    }
    setTabOrder(pPrevious, DlgItem<QPushButton>(this, 1));
    setTabOrder(DlgItem<QPushButton>(this, 1), DlgItem<QPushButton>(this, 2));
}

std::vector<SIntField> CExportSetDlg::Fields()
{
    return {{IDC_FROM_HOUR, &m_nFromHour, 0, 23},
            {IDC_TO_HOUR, &m_nToHour, 0, 23},
            {IDC_FROM_MINUTE, &m_nFromMinute, 0, 59},
            {IDC_TO_MINUTE, &m_nToMinute, 0, 59}};
}

void CExportSetDlg::showEvent(QShowEvent* pEvent)
{
    if (!pEvent->spontaneous()) {
        PutIntFields(this, Fields());
        m_apInterval[m_nInterval >= 0 && m_nInterval < 4 ? m_nInterval : 0]->setChecked(true);
    }
    QDialog::showEvent(pEvent);
}

void CExportSetDlg::accept()
{
    if (!TakeIntFields(this, Fields()))
        return;
    for (int i = 0; i < 4; ++i)
        if (m_apInterval[i]->isChecked())
            m_nInterval = i;
    QDialog::accept();
}

#include "export/ProgressDlg.h"

#include <QCloseEvent>
#include <QKeyEvent>
#include <QLabel>

CProgressDlg::CProgressDlg(QWidget* pParent)
    : QDialog(pParent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint)
{
    dlg::BuildDialog(this, Template());
}

const dlg::STemplate& CProgressDlg::Template()
{
    using namespace dlg;
    static const STemplate t{
        IDD,
        QStringLiteral("Save Progress"),
        QSize(254, 62),
        QStringLiteral("MS Shell Dlg"),
        8,
        {
            {EKind::Static, IDC_TEXT, QStringLiteral("Save In Progress..."), QRect(21, 17, 162, 17)},
            {EKind::DefButton, 1, QStringLiteral("OK"), QRect(197, 41, 50, 14), kHidden},
        },
    };
    return t;
}

void CProgressDlg::SetProgress(int nPercent)
{
    if (auto* pText = DlgItem<QLabel>(this, IDC_TEXT))
        pText->setText(QString::asprintf("Save Progress is %d%%", nPercent));
    update();
    emit progressShown(nPercent);
}

QString CProgressDlg::Text() const
{
    const auto* pText = DlgItem<QLabel>(this, IDC_TEXT);
    return pText ? pText->text() : QString();
}

void CProgressDlg::keyPressEvent(QKeyEvent* pEvent)
{
    pEvent->accept(); // not Escape, not Enter: only the export ends it
}

void CProgressDlg::closeEvent(QCloseEvent* pEvent)
{
    pEvent->ignore();
}

#include "app/AboutDlg.h"

#include <QLabel>
#include <QPixmap>

CAboutDlg::CAboutDlg(QWidget* pParent) : QDialog(pParent)
{
    dlg::BuildDialog(this, Template());
    if (auto* pPicture = DlgItem<QLabel>(this, IDC_PICTURE))
        pPicture->setPixmap(QPixmap(QStringLiteral(":/about.png")));
    if (auto* pLine = DlgItem<QLabel>(this, IDC_LINE))
        pLine->setText(QStringLiteral("Monitoring and settings for one grid-connected inverter."));
}

const dlg::STemplate& CAboutDlg::Template()
{
    using namespace dlg;
    static const STemplate t{
        IDD,
        QStringLiteral("About Zelvan"),
        QSize(250, 80),
        QStringLiteral("MS Shell Dlg"),
        8,
        {
            {EKind::Picture, IDC_PICTURE, {}, QRect(7, 7, 40, 40)},
            {EKind::Static, kNoId, QStringLiteral("Zelvan, Version 2.03.00"), QRect(56, 10, 180, 8), kNoWrap},
            {EKind::Static, IDC_LINE, {}, QRect(56, 24, 188, 20)},
            {EKind::DefButton, 1, QStringLiteral("OK"), QRect(193, 59, 50, 14)},
        },
    };
    return t;
}

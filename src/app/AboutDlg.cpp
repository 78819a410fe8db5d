#include "app/AboutDlg.h"

#include <QDate>
#include <QLabel>
#include <QPixmap>
#include <QtGlobal>

CAboutDlg::CAboutDlg(QWidget* pParent) : QDialog(pParent)
{
    dlg::BuildDialog(this, Template());
    if (auto* pPicture = DlgItem<QLabel>(this, IDC_PICTURE)) {
        pPicture->setPixmap(QPixmap(QStringLiteral(":/about.png")));
        pPicture->setAccessibleName(QStringLiteral("Zelvan"));
    }
    if (auto* pLine = DlgItem<QLabel>(this, IDC_LINE))
        pLine->setText(SupportLine());
}

// What a support call asks first: which build, on which Qt.
QString CAboutDlg::SupportLine()
{
    const QDate built = QDate::fromString(QString::fromLatin1(__DATE__).simplified(), QStringLiteral("MMM d yyyy"));
    return QStringLiteral("Built %1 with Qt %2").arg(built.toString(Qt::ISODate), QString::fromLatin1(qVersion()));
}

const dlg::STemplate& CAboutDlg::Template()
{
    using namespace dlg;
    static const STemplate t{
        IDD,
        QStringLiteral("About Zelvan"),
        QSize(250, 84),
        QStringLiteral("MS Shell Dlg"),
        8,
        {
            // The picture is 96 x 96 pixels; the area holds it whole.
            {EKind::Picture, IDC_PICTURE, {}, QRect(7, 7, 66, 62)},
            {EKind::Static, kNoId, QStringLiteral("Zelvan, Version 2.03.00"), QRect(80, 14, 160, 8), kNoWrap},
            {EKind::Static, IDC_LINE, {}, QRect(80, 30, 160, 10), kNoWrap},
            {EKind::DefButton, 1, QStringLiteral("OK"), QRect(193, 63, 50, 14)},
        },
    };
    return t;
}

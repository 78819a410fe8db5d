#include "app/AboutDlg.h"

#include <QCoreApplication>
#include <QDate>
#include <QDir>
#include <QLabel>
#include <QPixmap>
#include <QtGlobal>

#include "export/HistoryFile.h"

CAboutDlg::CAboutDlg(QWidget* pParent) : QDialog(pParent)
{
    dlg::BuildDialog(this, Template());
    if (auto* pPicture = DlgItem<QLabel>(this, IDC_PICTURE)) {
        pPicture->setPixmap(QPixmap(QStringLiteral(":/about.png")));
        pPicture->setAccessibleName(QStringLiteral("Zelvan"));
    }
    if (auto* pLine = DlgItem<QLabel>(this, IDC_LINE))
        pLine->setText(SupportLine());
    if (auto* pFiles = DlgItem<QLabel>(this, IDC_FILES))
        pFiles->setText(FilesLine());
    if (auto* pHistory = DlgItem<QLabel>(this, IDC_HISTORY))
        pHistory->setText(HistoryLine());
}

QString CAboutDlg::FilesLine()
{
    return QStringLiteral("Files: %1").arg(QDir::toNativeSeparators(QDir::currentPath()));
}

QString CAboutDlg::HistoryLine()
{
    const std::string appDir = QCoreApplication::applicationDirPath().toStdString();
    const QString folder = QString::fromStdString(HistoryFolderFor(appDir));
    return QStringLiteral("History: %1").arg(QDir::toNativeSeparators(QDir::cleanPath(folder)));
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
        QSize(250, 104),
        QStringLiteral("MS Shell Dlg"),
        8,
        {
            // The picture is 96 x 96 pixels; the area holds it whole.
            {EKind::Picture, IDC_PICTURE, {}, QRect(7, 7, 66, 62)},
            {EKind::Static, kNoId, QStringLiteral("Zelvan, Version 2.03.00"), QRect(80, 14, 160, 8), kNoWrap},
            {EKind::Static, IDC_LINE, {}, QRect(80, 30, 160, 10), kNoWrap},
            {EKind::Static, IDC_FILES, {}, QRect(7, 74, 236, 8), kNoWrap},
            {EKind::Static, IDC_HISTORY, {}, QRect(7, 84, 176, 8), kNoWrap},
            {EKind::DefButton, 1, QStringLiteral("OK"), QRect(193, 83, 50, 14)},
        },
    };
    return t;
}

#include "live/SysNoteView.h"

#include "app/StringTable.h"
#include "widgets/MyTextBox.h"

#include <QByteArray>

CSysNoteView::CSysNoteView(QWidget* pParent) : QWidget(pParent)
{
    dlg::BuildDialog(this, Template());

    // The box lies over its placeholder. It never loads the background
    // picture: the form has none, so only its veil and text show.
    m_pBoxCO2 = new CMyTextBox(this);
    m_pBoxCO2->setAccessibleName(QString::fromStdString(res::LoadString(res::IDS_CO2_REDUCTION)));
    if (QWidget* pPlaceholder = DlgItem<QWidget>(this, IDC_CO2))
        m_pBoxCO2->setGeometry(pPlaceholder->geometry());
    m_pBoxCO2->raise();
}

const dlg::STemplate& CSysNoteView::Template()
{
    using namespace dlg;
    static const STemplate t{
        IDD,
        QString(),
        QSize(348, 284),
        QStringLiteral("MS Sans Serif"),
        8,
        {
            {EKind::Button, IDC_PRINCIPLE, QStringLiteral("Principle"), QRect(15, 19, 43, 21)},
            {EKind::Button, IDC_TEXT_INFO, QStringLiteral("Text Info"), QRect(14, 55, 43, 21)},
            {EKind::Button, IDC_MOVIE, QStringLiteral("Movie"), QRect(15, 91, 43, 21), kHidden},
            {EKind::Picture, IDC_PICTURE, {}, QRect(74, 7, 266, 231)},
            {EKind::Static, IDC_CO2, {}, QRect(115, 244, 148, 32)},
            {EKind::Picture, kNoId, {}, QRect(81, 245, 24, 29)},
            {EKind::RichText, IDC_NOTE, {}, QRect(74, 7, 267, 230), kHidden, QStringLiteral("Text Info")},
        },
    };
    return t;
}

void CSysNoteView::OnInitialUpdate()
{
    m_bInitialised = true;
}

QString CSysNoteView::CO2Text(double dKg)
{
    // QString::asprintf formats numbers in the C locale whatever LC_NUMERIC says.
    const QByteArray label = QByteArray::fromStdString(res::LoadString(res::IDS_CO2_REDUCTION) + "  ");
    return QString::asprintf("%s%3.1f Kg", label.constData(), dKg);
}

void CSysNoteView::SetCO2(double dKg)
{
    const QString text = CO2Text(dKg);
    m_pBoxCO2->SetText(text, 1);
    m_pBoxCO2->setAccessibleDescription(text);
}

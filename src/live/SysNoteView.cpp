#include "live/SysNoteView.h"

#include "platform/StringTable.h"
#include "live/RtfReader.h"
#include "live/RtfTextDocument.h"
#include "platform/MessageBox.h"
#include "widgets/MyTextBox.h"

#include <QByteArray>
#include <QFile>
#include <QLabel>
#include <QPainter>
#include <QPushButton>
#include <QTextCursor>
#include <QTextEdit>

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

    // The mark beside the box is the form's one picture without an id. A
    // picture static takes the size of its bitmap, from its top-left corner.
    for (QLabel* pLabel : findChildren<QLabel*>(QString(), Qt::FindDirectChildrenOnly)) {
        if (!pLabel->objectName().isEmpty())
            continue;
        const QPixmap mark(QStringLiteral(":/co2-mark.png"));
        pLabel->setObjectName(QStringLiteral("co2Mark"));
        pLabel->setAccessibleName(QStringLiteral("CO2"));
        pLabel->setPixmap(mark);
        if (!mark.isNull())
            pLabel->resize(mark.size());
    }

    m_pWndPicture = DlgItem<QLabel>(this, IDC_PICTURE);
    m_pWndPicture->setAccessibleName(QStringLiteral("System picture"));
    m_startPicture = QPixmap(QStringLiteral(":/sysview-start.png"));
    ShowPicture();
    m_pWndText = DlgItem<QTextEdit>(this, IDC_NOTE);

    connect(DlgItem<QPushButton>(this, IDC_PRINCIPLE), &QPushButton::clicked, this, &CSysNoteView::OnPrinciple);
    connect(DlgItem<QPushButton>(this, IDC_TEXT_INFO), &QPushButton::clicked, this, &CSysNoteView::OnTextInfo);
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
    LoadPicture();
    if (!m_bInitialised)
        LoadNote();
    m_bInitialised = true;
}

void CSysNoteView::resizeEvent(QResizeEvent* pEvent)
{
    QWidget::resizeEvent(pEvent);
    if (m_bInitialised)
        LoadPicture();
}

void CSysNoteView::OnPrinciple()
{
    m_pWndText->hide();
    m_pWndPicture->show();
    LoadPicture();
}

void CSysNoteView::OnTextInfo()
{
    m_pWndText->show();
    m_pWndPicture->hide();
}

void CSysNoteView::LoadPicture()
{
    // Read anew each time, so a replaced file shows without a restart. A
    // missing or unreadable file leaves a null image of size 0 x 0.
    m_picture = QImage(QString::fromLatin1(kPictureFile));
    m_nPictureWidth = m_picture.width();
    m_nPictureHeight = m_picture.height();
    ShowPicture();
    update();
}

// The picture at its own size from the static's top-left corner, cut off
// by the static's area, over the start picture.
void CSysNoteView::ShowPicture()
{
    QPixmap canvas(m_pWndPicture->size());
    canvas.fill(palette().color(QPalette::Window));
    {
        QPainter painter(&canvas);
        painter.drawPixmap(0, 0, m_startPicture);
        if (!m_picture.isNull())
            painter.drawImage(0, 0, m_picture);
    }
    m_pWndPicture->setPixmap(canvas);
}

void CSysNoteView::LoadNote()
{
    QFile file(QString::fromLatin1(kNoteFile));
    if (!file.open(QIODevice::ReadOnly)) {
        platform::ShowMessageBox("Zelvan",
                                 std::string("The note \"") + kNoteFile +
                                     "\" cannot be opened: " + file.errorString().toStdString() + ".",
                                 platform::kMbOk | platform::kMbIconWarning);
        return;
    }
    const QByteArray bytes = file.read(kMaxNoteBytes);
    const SRtfDocument note =
        CRtfReader::Read(std::string_view(bytes.constData(), static_cast<std::size_t>(bytes.size())));
    FillTextDocument(*m_pWndText->document(), note);
    m_pWndText->moveCursor(QTextCursor::Start); // shown from its first line
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

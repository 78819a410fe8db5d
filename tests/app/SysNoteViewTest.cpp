#include "support/AppTestSupport.h"

#include "live/SysNoteView.h"
#include "platform/MessageBox.h"
#include "widgets/MyTextBox.h"

#include <QDir>
#include <QFile>
#include <QImage>
#include <QLabel>
#include <QPainter>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTextBlock>
#include <QTextEdit>

#include <gtest/gtest.h>

TEST(SysNoteViewTest, CO2FigureHasLabelTwoSpacesAndOneDecimal)
{
    EnsureApp();
    CSysNoteView view;
    CMyTextBox* pBox = view.CO2Box();
    ASSERT_NE(pBox, nullptr);
    EXPECT_EQ(pBox->geometry(), DlgItem<QWidget>(&view, CSysNoteView::IDC_CO2)->geometry());

    view.SetCO2(100.0f * 0.7f);
    EXPECT_EQ(pBox->Text(), QStringLiteral("CO2 reduction  70.0 Kg"));
    EXPECT_EQ(pBox->Lines(), 1);
    view.SetCO2(0.0);
    EXPECT_EQ(pBox->Text(), QStringLiteral("CO2 reduction  0.0 Kg"));
}

namespace {

// The view in a working directory of its own, where its files are read.
class SysNoteViewFiles : public ::testing::Test {
protected:
    void SetUp() override
    {
        EnsureApp();
        ASSERT_TRUE(m_dir.isValid());
        m_strOldDir = QDir::currentPath();
        QDir::setCurrent(m_dir.path());
    }
    void TearDown() override { QDir::setCurrent(m_strOldDir); }

    static void WriteNote(const QByteArray& rtf)
    {
        QFile file(QString::fromLatin1(CSysNoteView::kNoteFile));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(rtf);
    }
    static QLabel* Picture(CSysNoteView& view) { return DlgItem<QLabel>(&view, CSysNoteView::IDC_PICTURE); }
    static QTextEdit* Note(CSysNoteView& view) { return DlgItem<QTextEdit>(&view, CSysNoteView::IDC_NOTE); }

    QTemporaryDir m_dir;
    QString m_strOldDir;
    platform::CMessageBoxRecorder m_boxes;
};

} // namespace

TEST_F(SysNoteViewFiles, PictureShowsAtItsOwnSizeCutOffAndAgainAfterTheText)
{
    CSysNoteView view;
    const QSize area = Picture(view)->size();
    // Larger than the area: red where the area shows it, blue beyond, a
    // green corner. Scaled down, blue would reach the area's corner.
    QImage big(area + QSize(120, 90), QImage::Format_RGB32);
    big.fill(Qt::blue);
    {
        QPainter painter(&big);
        painter.fillRect(QRect(QPoint(0, 0), area), Qt::red);
        painter.fillRect(0, 0, 4, 4, Qt::green);
    }
    ASSERT_TRUE(big.save(QString::fromLatin1(CSysNoteView::kPictureFile), "BMP"));
    WriteNote("{\\rtf1\\ansi{\\fonttbl{\\f0 Arial;}}\\qc{\\b System} note\\par second\\par}");

    view.OnInitialUpdate();
    EXPECT_EQ(view.PictureSize(), big.size());
    const QImage shown = Picture(view)->grab().toImage();
    ASSERT_EQ(shown.size(), area);
    EXPECT_EQ(shown.pixel(1, 1), qRgb(0, 255, 0));
    EXPECT_EQ(shown.pixel(area.width() - 1, area.height() - 1), qRgb(255, 0, 0));
    EXPECT_TRUE(Picture(view)->isVisibleTo(&view));
    EXPECT_FALSE(Note(view)->isVisibleTo(&view));

    DlgItem<QPushButton>(&view, CSysNoteView::IDC_TEXT_INFO)->click();
    EXPECT_FALSE(Picture(view)->isVisibleTo(&view));
    EXPECT_TRUE(Note(view)->isVisibleTo(&view));
    EXPECT_EQ(Note(view)->toPlainText(), QStringLiteral("System note\nsecond"));
    EXPECT_EQ(Note(view)->document()->firstBlock().blockFormat().alignment(), Qt::AlignHCenter);

    // "Principle" reads the file again.
    QImage small(20, 10, QImage::Format_RGB32);
    small.fill(Qt::green);
    ASSERT_TRUE(small.save(QString::fromLatin1(CSysNoteView::kPictureFile), "BMP"));
    DlgItem<QPushButton>(&view, CSysNoteView::IDC_PRINCIPLE)->click();
    EXPECT_TRUE(Picture(view)->isVisibleTo(&view));
    EXPECT_FALSE(Note(view)->isVisibleTo(&view));
    EXPECT_EQ(view.PictureSize(), QSize(20, 10));
    EXPECT_EQ(m_boxes.Count(), 0u);
}

TEST_F(SysNoteViewFiles, MissingFilesLeaveTheStartPictureAndOneBoxNamingTheNote)
{
    CSysNoteView view;
    const QImage before = Picture(view)->grab().toImage();
    view.OnInitialUpdate();
    EXPECT_EQ(view.PictureSize(), QSize(0, 0));
    EXPECT_EQ(Picture(view)->grab().toImage(), before);
    ASSERT_EQ(m_boxes.Count(), 1u);
    const std::string text = m_boxes.Boxes()[0].text;
    EXPECT_NE(text.find("myfile.rtf"), std::string::npos) << text;
    EXPECT_NE(text.find("No such file"), std::string::npos) << text;
    EXPECT_TRUE(Note(view)->toPlainText().isEmpty());

    // The note is read once; later updates and resizes only load the picture.
    view.OnInitialUpdate();
    view.resize(view.size() + QSize(10, 10));
    EXPECT_EQ(m_boxes.Count(), 1u);
}

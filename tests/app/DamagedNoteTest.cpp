// A damaged note or picture beside the program: what can be read is shown,
// nothing takes the view down, and no box stands in the way.
#include "support/AppTestSupport.h"

#include "live/SysNoteView.h"
#include "platform/MessageBox.h"

#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QImage>
#include <QLabel>
#include <QTemporaryDir>
#include <QTextEdit>

#include <gtest/gtest.h>

namespace {

void WriteFile(const char* name, const QByteArray& bytes)
{
    QFile file(QString::fromLatin1(name));
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(bytes);
}

} // namespace

TEST(SysNoteViewDamaged, CutFilesShowWhatTheyHoldAndForeignBytesLeaveTheStartPicture)
{
    EnsureApp();
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString oldDir = QDir::currentPath();
    QDir::setCurrent(dir.path());
    platform::CMessageBoxRecorder boxes;

    // The note ends inside a group; the picture's header promises rows the
    // file does not hold.
    WriteFile(CSysNoteView::kNoteFile, "{\\rtf1\\ansi{\\fonttbl{\\f0 Arial;}}First paragraph\\par {\\b second} par");
    QImage image(64, 48, QImage::Format_RGB32);
    image.fill(Qt::red);
    QByteArray bmp;
    QBuffer buffer(&bmp);
    buffer.open(QIODevice::WriteOnly);
    ASSERT_TRUE(image.save(&buffer, "BMP"));
    WriteFile(CSysNoteView::kPictureFile, bmp.left(80));
    {
        CSysNoteView view;
        view.OnInitialUpdate();
        EXPECT_EQ(view.PictureSize(), image.size()) << "the rows it holds, at the size it declares";
        EXPECT_EQ(DlgItem<QTextEdit>(&view, CSysNoteView::IDC_NOTE)->toPlainText(),
                  QStringLiteral("First paragraph\nsecond par"));
    }

    // Another program's bytes under the note's name: read as far as they go.
    QByteArray junk(4096, '\0');
    for (int i = 0; i < junk.size(); ++i)
        junk[i] = static_cast<char>((i * 7919) >> 3);
    WriteFile(CSysNoteView::kNoteFile, junk);
    WriteFile(CSysNoteView::kPictureFile, junk);
    {
        CSysNoteView view;
        QLabel* pPicture = DlgItem<QLabel>(&view, CSysNoteView::IDC_PICTURE);
        const QImage before = pPicture->grab().toImage();
        view.OnInitialUpdate();
        EXPECT_EQ(view.PictureSize(), QSize(0, 0));
        EXPECT_EQ(pPicture->grab().toImage(), before) << "the start picture stays";
    }
    EXPECT_EQ(boxes.Count(), 0u);
    QDir::setCurrent(oldDir);
}

#include "support/AppTestSupport.h"

#include "app/AboutDlg.h"
#include "app/HelpCommand.h"
#include "platform/MessageBox.h"

#include <QDir>
#include <QFile>
#include <QLabel>
#include <QRegularExpression>
#include <QTemporaryDir>

#include <gtest/gtest.h>

TEST(AboutDlgTest, ShowsNameVersionWholePictureAndBuildLine)
{
    EnsureApp();
    CAboutDlg dialog;
    EXPECT_EQ(dialog.windowTitle(), QStringLiteral("About Zelvan"));
    QStringList texts;
    for (const QLabel* pLabel : dialog.findChildren<QLabel*>())
        texts << pLabel->text();
    EXPECT_TRUE(texts.contains(QStringLiteral("Zelvan, Version 2.03.00")));
    const QString line = DlgItem<QLabel>(&dialog, CAboutDlg::IDC_LINE)->text();
    EXPECT_TRUE(
        QRegularExpression(QStringLiteral("^Built \\d{4}-\\d\\d-\\d\\d with Qt 6\\.\\d+")).match(line).hasMatch())
        << line.toStdString();
    const QLabel* pPicture = DlgItem<QLabel>(&dialog, CAboutDlg::IDC_PICTURE);
    const QPixmap picture = pPicture->pixmap();
    ASSERT_FALSE(picture.isNull());
    EXPECT_TRUE(pPicture->contentsRect().size().expandedTo(picture.size()) == pPicture->contentsRect().size());
    // Where the files come from and where the history goes, for support calls.
    EXPECT_EQ(DlgItem<QLabel>(&dialog, CAboutDlg::IDC_FILES)->text(), QStringLiteral("Files: ") + QDir::currentPath());
    EXPECT_TRUE(DlgItem<QLabel>(&dialog, CAboutDlg::IDC_HISTORY)->text().endsWith(QStringLiteral("/hisdata")));
}

TEST(HelpCommandTest, OpensCompiledHelpWithAViewerElseTheHtmlManualAndNothingWithoutIt)
{
    EnsureApp();
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    QStringList asked;
    const auto viewer = [&](const QString& mime) { return asked << mime, true; };
    const auto none = [](const QString&) { return false; };
    const auto write = [&](const QString& name) {
        QDir(dir.path()).mkpath(QFileInfo(dir.filePath(name)).path());
        QFile file(dir.filePath(name));
        return file.open(QIODevice::WriteOnly) && file.write("x") == 1;
    };

    platform::CMessageBoxRecorder boxes;
    CHelpCommand::Open(dir.path()); // nothing there: nothing happens, nothing shows
    EXPECT_EQ(boxes.Count(), 0u);
    ASSERT_TRUE(write(QStringLiteral("help/index.html")));
    EXPECT_TRUE(CHelpCommand::Target(dir.path(), none).isEmpty());

    ASSERT_TRUE(write(QStringLiteral("Help.chm")));
    EXPECT_EQ(CHelpCommand::Target(dir.path(), viewer), QUrl::fromLocalFile(dir.filePath(QStringLiteral("Help.chm"))));
    EXPECT_EQ(asked, QStringList{QStringLiteral("application/vnd.ms-htmlhelp")});
    EXPECT_EQ(CHelpCommand::Target(dir.path(), none),
              QUrl::fromLocalFile(dir.filePath(QStringLiteral("help/index.html"))));
    QFile::remove(dir.filePath(QStringLiteral("help/index.html")));
    EXPECT_TRUE(CHelpCommand::Target(dir.path(), none).isEmpty());

    // Installed: the program in bin/, its manual in share/zelvan/.
    ASSERT_TRUE(write(QStringLiteral("share/zelvan/Help.chm")));
    QDir(dir.path()).mkpath(QStringLiteral("bin"));
    EXPECT_EQ(CHelpCommand::Target(dir.filePath(QStringLiteral("bin")), viewer),
              QUrl::fromLocalFile(dir.filePath(QStringLiteral("bin/../share/zelvan/Help.chm"))));
}

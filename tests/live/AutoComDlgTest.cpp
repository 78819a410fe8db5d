#include "support/AppTestSupport.h"

#include "live/AutoComDlg.h"

#include <QApplication>
#include <QKeyEvent>
#include <QListWidget>
#include <QPushButton>
#include <QTimer>

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <thread>
#include <vector>

namespace {

class AutoComDlgTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        EnsureApp();
        m_pDialog = std::make_unique<CAutoComDlg>([this](bool bAlive) { m_alive.push_back(bAlive); }, &m_lines);
    }

    QStringList Lines() const
    {
        QStringList lines;
        const QListWidget* pList = m_pDialog->List();
        for (int i = 0; i < pList->count(); ++i)
            lines << pList->item(i)->text();
        return lines;
    }

    void PostFromAnotherThread(const std::vector<std::string>& lines)
    {
        std::thread poller([this, lines] {
            for (const std::string& line : lines)
                m_lines.Post(line);
        });
        poller.join();
    }

    CDetectionLines m_lines;
    std::vector<bool> m_alive;
    std::unique_ptr<CAutoComDlg> m_pDialog;
};

} // namespace

TEST_F(AutoComDlgTest, IsAliveExactlyWhileItsWindowIsOpen)
{
    EXPECT_EQ(m_pDialog->windowTitle(), QStringLiteral("Communication detecting"));
    EXPECT_TRUE(m_alive.empty());
    m_pDialog->show();
    EXPECT_EQ(m_alive, std::vector<bool>{true});

    auto* pAbort = DlgItem<QPushButton>(m_pDialog.get(), CAutoComDlg::IDOK);
    ASSERT_NE(pAbort, nullptr);
    EXPECT_EQ(pAbort->text(), QStringLiteral("Abort"));
    EXPECT_TRUE(pAbort->isDefault());
    EXPECT_FALSE(DlgItem<QPushButton>(m_pDialog.get(), CAutoComDlg::IDC_CONTINUE)->isVisible());

    pAbort->click();
    EXPECT_EQ(m_pDialog->result(), QDialog::Accepted);
    m_pDialog.reset();
    EXPECT_EQ(m_alive, (std::vector<bool>{true, false}));
}

TEST_F(AutoComDlgTest, EscapeAndCloseBoxAbortWithOk)
{
    QTimer::singleShot(0, m_pDialog.get(), [this] {
        QKeyEvent escape(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
        QApplication::sendEvent(m_pDialog.get(), &escape);
    });
    EXPECT_EQ(m_pDialog->exec(), QDialog::Accepted);
    EXPECT_FALSE(m_pDialog->IsAlive());

    m_pDialog->show();
    m_pDialog->close();
    EXPECT_EQ(m_pDialog->result(), QDialog::Accepted);
    EXPECT_EQ(m_alive, (std::vector<bool>{true, false, true, false}));
}

TEST_F(AutoComDlgTest, EndClosesWithZero)
{
    m_pDialog->show();
    m_pDialog->End();
    EXPECT_EQ(m_pDialog->result(), 0);
    EXPECT_FALSE(m_pDialog->isVisible());
    EXPECT_EQ(m_alive, (std::vector<bool>{true, false}));
}

TEST_F(AutoComDlgTest, LinesPostedFromThePollThreadLandInOrderAndStay)
{
    PostFromAnotherThread({"before the window"});
    Settle();
    m_pDialog->show();
    PostFromAnotherThread({"Detecting /dev/ttyS0", "Detecting /dev/ttyUSB0", "Detecting End"});
    Settle();
    EXPECT_EQ(Lines(), (QStringList{QStringLiteral("Detecting /dev/ttyS0"), QStringLiteral("Detecting /dev/ttyUSB0"),
                                    QStringLiteral("Detecting End")}));
    EXPECT_TRUE(m_pDialog->isVisible());
}

TEST_F(AutoComDlgTest, LinesArrivingAfterTheDialogClosedAreDropped)
{
    m_pDialog->show();
    PostFromAnotherThread({"queued while open"});
    m_pDialog->End();
    Settle();
    EXPECT_TRUE(Lines().isEmpty());

    PostFromAnotherThread({"queued before destruction"});
    m_pDialog->show();
    m_pDialog.reset(); // gone before the line is delivered
    Settle();
    PostFromAnotherThread({"after destruction"});
    Settle();
    EXPECT_EQ(m_alive, (std::vector<bool>{true, false, true, false}));
}

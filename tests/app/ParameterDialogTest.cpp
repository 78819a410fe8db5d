// The parameter dialog through the real main window, against zelvan-sim
// running as its own process; the hiding rules on a dialog without a line.
#include "support/WindowTest.h"

#include "app/MainFrame.h"
#include "config/ConfigWorkbook.h"
#include "link/InverterCom.h"
#include "live/CommandStates.h"
#include "live/PowerCurveView.h"
#include "params/InvParP1.h"
#include "params/MonitorDlg.h"
#include "platform/MessageBox.h"
#include "support/SimProcess.h"
#include "widgets/FlowPane.h"

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTabWidget>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

#include <cstdlib>
#include <functional>
#include <memory>

namespace {

QString Text(CInvParP1& page, int id)
{
    auto* pEdit = DlgItem<QLineEdit>(&page, id);
    return pEdit ? pEdit->text() : QStringLiteral("<no field>");
}

bool Visible(CInvParP1& page, int id)
{
    QWidget* w = DlgItem<QWidget>(&page, id);
    return w != nullptr && !w->isHidden();
}

bool Enabled(CInvParP1& page, int id)
{
    QWidget* w = DlgItem<QWidget>(&page, id);
    return w != nullptr && w->isEnabled();
}

class ParameterDialog : public CWindowTest<> {
protected:
    void Open(CSimProcess& sim, int protocolType)
    {
        ASSERT_TRUE(sim.Start({"--protocol", std::to_string(protocolType), "--start", "12:00", "--speed", "60"}));
        OpenFrame(sim.Path());
        EXPECT_FALSE(m_pFrame->Command(CCommandStates::ID_PARAMETERS)->isEnabled()) << "disabled while disconnected";
        ASSERT_TRUE(PumpUntil([this] { return View().IsConnected() && View().Chart()->Values().size() >= 1; }, 15000));
    }
    CPowerCurveView& View() { return *m_pFrame->PowerView(); }

    // Asks for the dialog and runs `steps` inside its modal loop; the
    // dialog is closed afterwards unless the steps closed it.
    void RunDialog(const std::function<void(CMonitorDlg&)>& steps)
    {
        bool bDone = false;
        auto connection = QObject::connect(&View(), &CPowerCurveView::parameterDialogOpened, [&](CMonitorDlg* pDialog) {
            QTimer::singleShot(0, pDialog, [&, pDialog] {
                steps(*pDialog);
                if (View().ParameterDialog() == pDialog && pDialog->isVisible())
                    pDialog->reject();
                bDone = true;
            });
        });
        m_pFrame->Command(CCommandStates::ID_PARAMETERS)->trigger();
        EXPECT_EQ(View().ParameterDialog(), nullptr) << "opens only at the end of the running cycle";
        EXPECT_TRUE(PumpUntil([&] { return bDone && View().ParameterDialog() == nullptr; }, 90000));
        QObject::disconnect(connection);
    }

    platform::CMessageBoxRecorder m_boxes{platform::kIdOk};
};

} // namespace

TEST_F(ParameterDialog, FirstCycleFillsBothColumnsThenAMistypedBoundIsShownAtItsField)
{
    CSimProcess sim;
    Open(sim, 1);
    RunDialog([&](CMonitorDlg& dialog) {
        CInvParP1& page = dialog.Page();
        EXPECT_EQ(dialog.windowTitle(), " Parameters set and view");
        EXPECT_EQ(dialog.Tabs()->tabText(0), "Read Par.");
        EXPECT_FALSE(Enabled(page, CInvParPage::kIdSetAllPars)) << "until the first cycle has ended";
        ASSERT_TRUE(PumpUntil([&] { return page.Logic().IsFirstReadDone(); }, 20000));
        Settle();
        if (const char* shot = std::getenv("ZELVAN_PARAM_SHOT"))
            dialog.grab().save(QString::fromLocal8Bit(shot));

        // Current and set values of the first cycle, the identity, the lamp.
        EXPECT_EQ(Text(page, 1093), "3000");
        EXPECT_EQ(Text(page, 1106), "3000");
        EXPECT_EQ(Text(page, 1088), Text(page, 1102));
        EXPECT_FALSE(Text(page, 1088).isEmpty());
        EXPECT_EQ(Text(page, 1099), "123456789012");
        EXPECT_EQ(Text(page, 1111), "123456789012");
        EXPECT_FALSE(Text(page, 1070).isEmpty());
        EXPECT_FALSE(Text(page, CInvParPage::kIdRunningState).isEmpty());
        EXPECT_NE(page.LampIcon(), 0);
        EXPECT_FALSE(DlgItem<QLabel>(&page, CInvParPage::kIdStateLamp)->pixmap().isNull());
        EXPECT_TRUE(Enabled(page, CInvParPage::kIdSetAllPars));
        EXPECT_TRUE(DlgItem<QCheckBox>(&page, CInvParPage::kIdModbus)->isChecked());

        // A value out of bounds: the exact prompt, the focus on the field,
        // nothing sent.
        auto* pDci = DlgItem<QLineEdit>(&page, 1106);
        pDci->selectAll();
        QTest::keyClicks(pDci, "9999");
        pDci->clearFocus();
        DlgItem<QPushButton>(&page, CInvParPage::kIdSetAllPars)->click();
        ASSERT_EQ(m_boxes.Count(), 1u);
        EXPECT_EQ(m_boxes.Boxes()[0].text, "请输入一个在 100 和 5000 之间的整数。");
        EXPECT_EQ(QApplication::focusWidget(), pDci);
        EXPECT_EQ(page.Logic().NextMode(), kModeCyclicRead);

        // Escape does not close the page; Enter is the page's own.
        QTest::keyClick(pDci, Qt::Key_Escape);
        QTest::keyClick(pDci, Qt::Key_Return);
        Settle();
        EXPECT_TRUE(dialog.isVisible());
        EXPECT_EQ(m_boxes.Count(), 1u);
    });
}

TEST_F(ParameterDialog, ClosedWithAReadOutstandingTheViewCountsTheReplyAndPollsOn)
{
    CSimProcess sim;
    Open(sim, 2);
    RunDialog([&](CMonitorDlg& dialog) {
        CInverterCom& link = View().LinkLogic().Link();
        ASSERT_TRUE(PumpUntil([&] { return dialog.Page().Logic().Block() >= 2; }, 10000));
        // Between sending and the reply: close now.
        ASSERT_TRUE(PumpUntil([&] { return link.LinkState() != kLinkIdle; }, 3000));
        DlgItem<QPushButton>(&dialog.Page(), CInvParP1::IDC_CANCEL)->click();
    });
    const std::size_t samples = View().Chart()->Values().size();
    CInverterCom& link = View().LinkLogic().Link();
    EXPECT_TRUE(PumpUntil([&] { return link.LinkState() == kLinkIdle; }, 2000)) << "the reply was counted";
    EXPECT_EQ(View().LinkLogic().Pos(), 0);
    EXPECT_TRUE(PumpUntil([&] { return View().Chart()->Values().size() > samples; }, 10000)) << "the cycle resumed";
    EXPECT_EQ(View().LinkLogic().MissedPolls(), 0);
    EXPECT_EQ(m_pFrame->LinkStatus(), "Connected");
}

TEST(ParameterDialogRules, FieldsAreHiddenAndDisabledByProtocolType)
{
    EnsureApp();
    ConfigWorkbook workbook;
    for (int type : {0, 1, 2}) {
        CInverterCom link;
        link.SetProtocolType(type);
        CMonitorDlg dialog(workbook, &link, "", nullptr);
        CInvParP1& page = dialog.Page();
        SCOPED_TRACE(type);
        // Never shown in any type.
        for (int id : {1020, 1180, 1009, 1010})
            EXPECT_FALSE(Visible(page, id)) << id;
        // Shown only under type 2: hardware version, current, manufacture.
        for (int id : {1018, 1212, 1021, 1184, 1019, 1185, 1186})
            EXPECT_EQ(Visible(page, id), type == 2) << id;
        // Hidden under type 2: zero shift, Is max/min, contrast.
        for (int id : {1025, 1079, 1026, 1082, 1027, 1083, 1028, 1097, 1109})
            EXPECT_EQ(Visible(page, id), type != 2) << id;
        // The address and the Modbus box: not under type 0.
        for (int id : {1181, 1022, 1182, 1183})
            EXPECT_EQ(Visible(page, id), type != 0) << id;
        EXPECT_EQ(Enabled(page, 1183), type != 0);
        EXPECT_EQ(DlgItem<QCheckBox>(&page, 1181)->isChecked(), type != 0);
        for (int id : {1150, 1151, 1152, 1153, 1154, 1155, 1167, 1168})
            EXPECT_EQ(Enabled(page, id), type != 2) << id;
        for (int id : {1000, 1001, 1002, 1157, 1158, 1175, 1096})
            EXPECT_FALSE(Enabled(page, id)) << id;
        EXPECT_EQ(Text(page, 1100), "150") << "the defaults before anything is read";
    }
}

// The parameter dialog of the program's main window, run in this process,
// against zelvan-sim as its own process in each protocol type: what "Set
// all pars" and the commands write is read back from the simulator.
#include "support/WindowTest.h"

#include "app/MainFrame.h"
#include "link/InvComSet.h"
#include "live/CommandStates.h"
#include "live/PowerCurveView.h"
#include "params/InvParP1.h"
#include "params/MonitorDlg.h"
#include "params/ParameterCatalogue.h"
#include "platform/MessageBox.h"
#include "support/SimProcess.h"

#include <QAction>
#include <QComboBox>
#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

#include <cstdlib>
#include <functional>
#include <memory>
#include <sstream>

namespace {

// Registers of the simulator, by the console's "get".
std::vector<std::uint16_t> Get(CSimProcess& sim, int reg, int count = 1)
{
    std::istringstream in(sim.Command("get " + std::to_string(reg) + " " + std::to_string(count)));
    std::string ok;
    in >> ok;
    std::vector<std::uint16_t> words;
    for (unsigned w = 0; in >> w;)
        words.push_back(static_cast<std::uint16_t>(w));
    EXPECT_EQ(ok, "ok");
    EXPECT_EQ(words.size(), static_cast<std::size_t>(count)) << reg;
    return words;
}

class ParameterProgram : public CWindowTest<::testing::TestWithParam<int>> {
protected:
    int Type() const { return GetParam(); }
    // A register of the running data or a setting, numbered for the type.
    int Reg(int index01, int register2) const { return Type() == 2 ? register2 : index01; }

    CSimProcess m_sim;
    platform::CMessageBoxRecorder m_boxes{platform::kIdOk};
};

bool CommandDone(CInvParP1& page)
{
    return page.Logic().Mode() == kModeCyclicRead && page.Logic().NextMode() == kModeCyclicRead &&
           DlgItem<QPushButton>(&page, CInvParPage::kIdSetAllPars)->isEnabled();
}

} // namespace

TEST_P(ParameterProgram, WritesWhatThePageShowsRunsCommandsAndTimesOut)
{
    ASSERT_TRUE(m_sim.Start({"--protocol", std::to_string(Type()), "--start", "12:00", "--speed", "60"}));
    OpenFrame(m_sim.Path());
    CPowerCurveView& view = *m_pFrame->PowerView();
    ASSERT_TRUE(PumpUntil([&] { return view.IsConnected(); }, 15000));

    bool bDone = false;
    std::string stage = "dialog not opened";
    QObject::connect(&view, &CPowerCurveView::parameterDialogOpened, [&](CMonitorDlg* pDialog) {
        QTimer::singleShot(0, pDialog, [&, pDialog] {
            CInvParP1& page = pDialog->Page();
            stage = "first cycle";
            [&] {
                ASSERT_TRUE(PumpUntil([&] { return page.Logic().IsFirstReadDone(); }, 30000));

                stage = "standard and set all";
                // A standard from the workbook, then one value by hand.
                auto* pCombo = DlgItem<QComboBox>(&page, CInvParPage::kIdStandardCombo);
                const int g83 = pCombo->findText(QStringLiteral("G83"));
                ASSERT_GE(g83, 0);
                pCombo->setCurrentIndex(g83);
                emit pCombo->activated(g83);
                EXPECT_EQ(m_boxes.Count(), 0u);
                auto* pDci = DlgItem<QLineEdit>(&page, 1106);
                pDci->selectAll();
                QTest::keyClicks(pDci, "2500");
                DlgItem<QPushButton>(&page, CInvParPage::kIdSetAllPars)->click();
                EXPECT_EQ(m_boxes.Count(), 0u);
                ASSERT_TRUE(PumpUntil([&] { return page.Logic().NextMode() == kModeWriteSequence; }, 1000));
                ASSERT_TRUE(PumpUntil([&] { return CommandDone(page); }, 30000));

                stage = "compare";
                // Every setting the page writes holds what its set-value field shows.
                EXPECT_EQ(Get(m_sim, Reg(64, 40218))[0], 2500);
                int compared = 0;
                for (const SSettableParameter& p : SettableParameters()) {
                    const int reg = Reg(p.readIndex, p.register2);
                    auto* pSet = DlgItem<QLineEdit>(&page, p.setField);
                    const bool numeric = p.kind == EValueKind::kFloat || p.kind == EValueKind::kUnsigned ||
                                         p.kind == EValueKind::kSigned;
                    if (!numeric || reg == kNoRegister || pSet == nullptr || pSet->isHidden() || !pSet->isEnabled())
                        continue;
                    const float scale = Type() == 2 ? p.scale2 : p.scale01;
                    const std::optional<std::uint16_t> word = EncodeSetting(p, pSet->text().toDouble(), scale);
                    ASSERT_TRUE(word) << p.label;
                    EXPECT_EQ(Get(m_sim, reg)[0], *word) << p.label << " " << pSet->text().toStdString();
                    ++compared;
                }
                EXPECT_GE(compared, Type() == 2 ? 25 : 21);
                const std::vector<std::uint16_t> name = Get(m_sim, Reg(68, 41101), 6);
                std::array<std::uint16_t, 6> words{};
                std::copy(name.begin(), name.end(), words.begin());
                EXPECT_EQ(StandardNameText(words).substr(0, 3), "G83");

                stage = "self test and clear";
                // Self test: the inverter reconnects; clear energy: the total drops.
                const int state = Reg(41, 30026);
                EXPECT_EQ(Get(m_sim, state)[0], 1) << "feeding in at noon";
                DlgItem<QPushButton>(&page, CInvParPage::kIdSelfTest)->click();
                ASSERT_TRUE(PumpUntil([&] { return !CommandDone(page); }, 1000));
                ASSERT_TRUE(PumpUntil([&] { return CommandDone(page); }, 10000));
                EXPECT_NE(Get(m_sim, state)[0], 1);
                const int total = Reg(25, 30021);
                const std::vector<std::uint16_t> before = Get(m_sim, total, 2);
                ASSERT_GT(before[0] * 65536 + before[1], 0);
                DlgItem<QPushButton>(&page, CInvParPage::kIdClearEnergy)->click();
                ASSERT_TRUE(PumpUntil([&] { return !CommandDone(page); }, 1000));
                ASSERT_TRUE(PumpUntil([&] { return CommandDone(page); }, 10000));
                const std::vector<std::uint16_t> after = Get(m_sim, total, 2);
                EXPECT_LT(after[0] * 65536 + after[1], before[0] * 65536 + before[1]);

                stage = "silence";
                // Silence: the box about 6.4 s after the first unanswered
                // request, then the page stays stopped with its commands off.
                EXPECT_EQ(m_boxes.Count(), 0u);
                m_sim.Command("silence on");
                QElapsedTimer timer;
                timer.start();
                ASSERT_TRUE(PumpUntil([&] { return m_boxes.Count() == 1; }, 12000));
                const qint64 waited = timer.elapsed();
                EXPECT_GT(waited, 5800);
                EXPECT_LT(waited, 8500);
                EXPECT_EQ(m_boxes.Boxes()[0].text, std::string(CInvComSet::kTimeOutText) + CInvParPage::kTimeOutHint);
                m_sim.Command("silence off");
                PumpUntil([] { return false; }, 2500);
                EXPECT_TRUE(page.Logic().IsStopped());
                for (int id : {1000, 1001, 1002, 1157, 1158, 1175, 1096})
                    EXPECT_FALSE(DlgItem<QWidget>(&page, id)->isEnabled()) << id;
                EXPECT_EQ(m_boxes.Count(), 1u);
            }();
            stage = "closing";
            pDialog->reject();
            bDone = true;
        });
    });
    m_pFrame->Command(CCommandStates::ID_PARAMETERS)->trigger();
    EXPECT_TRUE(PumpUntil([&] { return bDone && view.ParameterDialog() == nullptr; }, 150000))
        << stage << "; connected " << view.IsConnected() << ", open requested " << view.Data().IsParametersRequested()
        << ", dialog " << (view.ParameterDialog() != nullptr) << ", status " << m_pFrame->LinkStatus().toStdString();
}

INSTANTIATE_TEST_SUITE_P(EachProtocolType, ParameterProgram, ::testing::Values(0, 1, 2));

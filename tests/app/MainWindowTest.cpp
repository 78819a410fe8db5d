// The operator's flows through the real main window, against zelvan-sim
// running as its own process on a pseudo-terminal.
#include "support/WindowTest.h"
#include "support/XlsReaders.h"

#include "app/MainFrame.h"
#include "app/TabHolder.h"
#include "export/ExportSetDlg.h"
#include "support/PtyPair.h"
#include "live/HistoryView.h"
#include "live/PowerCurveView.h"
#include "outputs/EnergyStore.h"
#include "platform/WallClock.h"
#include "support/HistoryDay.h"
#include "live/SysNoteView.h"
#include "platform/MessageBox.h"
#include "support/SimProcess.h"
#include "widgets/FlowPane.h"
#include "widgets/MyPanel.h"
#include "widgets/MyTextBox.h"

#include <QAction>
#include <QApplication>
#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QPushButton>
#include <QTimer>

#include <gtest/gtest.h>

#include <cstdlib>
#include <functional>
#include <memory>

namespace {

class MainWindow : public CWindowTest<> {
protected:
    void Open(const std::string& ports) { OpenFrame(ports); }
    CPowerCurveView& View() { return *m_pFrame->PowerView(); }
    bool Enabled(int id) { return m_pFrame->Command(id)->isEnabled(); }
    bool WaitConnected(int ms = 15000)
    {
        return PumpUntil(
            [this] { return m_pFrame->LinkStatus() == "Connected" && View().Chart()->Values().size() >= 2; }, ms);
    }

    platform::CMessageBoxRecorder m_boxes{platform::kIdCancel};
};

} // namespace

TEST_F(MainWindow, FindsTheInverterShowsItsValuesAndExitsOnlyWhenConfirmed)
{
    CSimProcess sim;
    ASSERT_TRUE(sim.Start({"--protocol", "1", "--start", "12:00", "--speed", "60"}));
    Open(sim.Path());
    EXPECT_EQ(m_pFrame->windowTitle(), "Zelvan");
    EXPECT_EQ(m_pFrame->size(), QSize(1000, 700));
    EXPECT_FALSE(m_pFrame->windowFlags() & Qt::WindowMaximizeButtonHint);
    EXPECT_EQ(m_pFrame->LinkStatus(), "Dis-connected");
    EXPECT_FALSE(Enabled(CCommandStates::ID_PARAMETERS));
    EXPECT_FALSE(Enabled(CCommandStates::ID_EXPORT));
    EXPECT_TRUE(Enabled(CCommandStates::ID_TIME_SPAN));

    ASSERT_TRUE(WaitConnected());
    EXPECT_TRUE(View().PowerBox()->Text().startsWith("Power  ")) << View().PowerBox()->Text().toStdString();
    EXPECT_TRUE(View().PowerBox()->Text().endsWith(" W"));
    EXPECT_EQ(View().EnergyBox()->Lines(), 2);
    EXPECT_TRUE(View().EnergyBox()->Text().startsWith("Today Energy\t"));
    EXPECT_TRUE(m_pFrame->SysView()->CO2Box()->Text().startsWith("CO2 reduction  "));
    EXPECT_TRUE(Enabled(CCommandStates::ID_PARAMETERS));
    EXPECT_TRUE(m_pFrame->Command(CCommandStates::ID_TRACKING)->isChecked());
    EXPECT_TRUE(Enabled(CCommandStates::ID_EXPORT)); // connected, no export running

    // The other tab hides the power view; polling goes on.
    m_pFrame->Tabs()->SelectView(1);
    const std::size_t samples = View().Chart()->Values().size();
    EXPECT_TRUE(PumpUntil([&] { return View().Chart()->Values().size() >= samples + 2; }, 8000));
    m_pFrame->Tabs()->SelectView(0);

    // The parameter dialog waits for the end of the running cycle.
    int nOpened = 0;
    View().openParameterDialog = [&nOpened] { ++nOpened; };
    m_pFrame->Command(CCommandStates::ID_PARAMETERS)->trigger();
    EXPECT_EQ(nOpened, 0);
    EXPECT_TRUE(PumpUntil([&] { return nOpened == 1; }, 5000));

    // Closing while connected asks; Cancel keeps the program polling.
    EXPECT_FALSE(m_pFrame->close());
    ASSERT_EQ(m_boxes.Count(), 1u);
    EXPECT_EQ(m_boxes.Boxes()[0].text, CMainFrame::kExitQuestion);
    EXPECT_TRUE(View().LinkLogic().IsPollThreadRunning());
    m_boxes.SetAnswer(platform::kIdOk);
    EXPECT_TRUE(m_pFrame->close());
    EXPECT_FALSE(View().LinkLogic().IsPollThreadRunning());
    EXPECT_FALSE(View().LinkLogic().Link().IsThreadAlive());
    EXPECT_FALSE(View().LinkLogic().Link().IsOpen());
}

TEST_F(MainWindow, DisconnectShowsAtOnceAndTheCommandConnectsAgain)
{
    CSimProcess sim;
    ASSERT_TRUE(sim.Start({"--protocol", "2", "--start", "12:00", "--speed", "60"}));
    Open(sim.Path());
    ASSERT_TRUE(WaitConnected());

    m_pFrame->Command(CCommandStates::ID_CONNECT)->trigger();
    EXPECT_EQ(m_pFrame->LinkStatus(), "Dis-connected");
    EXPECT_FALSE(Enabled(CCommandStates::ID_PARAMETERS));
    EXPECT_FALSE(View().LinkLogic().Link().IsOpen());

    const std::size_t samples = View().Chart()->Values().size();
    m_pFrame->Command(CCommandStates::ID_CONNECT)->trigger(); // runs the detection dialog until it answers
    EXPECT_TRUE(PumpUntil([&] { return View().Chart()->Values().size() > samples; }, 15000));
    EXPECT_EQ(m_pFrame->LinkStatus(), "Connected");
    EXPECT_TRUE(Enabled(CCommandStates::ID_PARAMETERS));

    // Not connected any more: closing asks nothing.
    m_pFrame->Command(CCommandStates::ID_CONNECT)->trigger();
    EXPECT_TRUE(m_pFrame->close());
    EXPECT_EQ(m_boxes.Count(), 0u);
}

TEST_F(MainWindow, WithoutPortsNoDialogOpensAndTheLinkShowsDisconnected)
{
    Open("");
    Settle();
    EXPECT_TRUE(PumpUntil([] { return false; }, 600) == false);
    EXPECT_EQ(View().DetectionDialog(), nullptr);
    EXPECT_EQ(m_pFrame->LinkStatus(), "Dis-connected");
    EXPECT_TRUE(View().LinkLogic().IsPollThreadRunning());
    EXPECT_TRUE(m_pFrame->close());
    EXPECT_EQ(m_boxes.Count(), 0u);
}

TEST_F(MainWindow, ExportsTheDaySoFarToAWorkbookThatAnIndependentReaderReads)
{
    CSimProcess sim;
    ASSERT_TRUE(sim.Start({"--protocol", "0", "--serial", "900000000016", "--start", "12:00", "--speed", "60"}));
    Open(sim.Path());
    ASSERT_TRUE(WaitConnected());
    ASSERT_TRUE(PumpUntil([this] { return View().Data().Store().GetTimeCount() >= 4; }, 15000));
    ASSERT_TRUE(Enabled(CCommandStates::ID_EXPORT));

    CTempFolder folder;
    View().chooseExportFile = [&] { return QString::fromStdString(folder.File("span.xls")); };
    // The options as offered: the whole curve so far, every record.
    QTimer::singleShot(0, [] {
        if (auto* pDialog = qobject_cast<CExportSetDlg*>(QApplication::activeModalWidget()))
            DlgItem<QPushButton>(pDialog, 1)->click();
    });
    m_pFrame->Command(CCommandStates::ID_EXPORT)->trigger();
    EXPECT_FALSE(View().IsExporting());
    EXPECT_EQ(View().ExportStep(), 0);

    const std::optional<CellMap> cells = ReadWithXlrd(folder.File("span.xls"));
    ASSERT_TRUE(cells);
    EXPECT_EQ(cells->at({0, 0}).strText, "SN: 900000000016,Model: 3000");
    EXPECT_EQ(cells->at({1, 4}).strText, "Pac(W)");
    ASSERT_EQ(cells->count({2, 4}), 1u) << "a record";
    EXPECT_FALSE(cells->at({2, 4}).bText) << "power as a number";
    m_boxes.SetAnswer(platform::kIdOk);
    EXPECT_TRUE(m_pFrame->close());
}

TEST_F(MainWindow, ImportsHistoryFilesFromTheMenuAndKeepsEachPolledMinuteInTheEnergyStore)
{
    // A day's history workbook in a folder of its own, read in from the menu.
    CScratchFolder imported("window-import");
    CHistoryDay day;
    for (std::uint32_t second = 0; second < 600; second += 30)
        day.AddSample(second);
    WriteHistoryWorkbook(imported.Path(), day, platform::FromLocal(2013, 1, 8, 7, 5, 0));

    CSimProcess sim;
    ASSERT_TRUE(sim.Start({"--protocol", "1", "--serial", "900000000016", "--start", "12:00", "--speed", "60"}));
    Open(sim.Path());
    ASSERT_NE(View().EnergyStore(), nullptr);
    m_pFrame->chooseImportFolder = [&] { return QString::fromStdString(imported.Path()); };
    m_pFrame->Command(CMainFrame::ID_IMPORT_HISTORY)->trigger();
    const auto summary = [this] {
        for (const auto& box : m_boxes.Boxes())
            if (box.text.rfind("imported ", 0) == 0)
                return box.text;
        return std::string();
    };
    ASSERT_TRUE(PumpUntil([&] { return !summary().empty(); }, 15000));
    EXPECT_EQ(summary(), "imported 1 files, 10 minutes, 0 skipped");
    m_pFrame->Tabs()->SelectView(2);
    m_pFrame->HistoryView()->ShowPeriod(SHistoryPeriod::Day(2013, 1, 8));
    EXPECT_DOUBLE_EQ(m_pFrame->HistoryView()->Figures().fTotalKwh, CHistoryDay::Etoday(570)) << "the last reading's";
    m_pFrame->Tabs()->SelectView(0);

    // Polling feeds the store; the minute still running is written as the window closes.
    const std::int64_t tmFrom = platform::WallNow() - 60;
    ASSERT_TRUE(WaitConnected());
    ASSERT_TRUE(PumpUntil([this] { return View().Data().Store().GetTimeCount() >= 3; }, 15000));
    const std::string db = View().EnergyStoreFile();
    m_boxes.SetAnswer(platform::kIdOk);
    ASSERT_TRUE(m_pFrame->close());

    CEnergyStore store;
    ASSERT_TRUE(store.Open(db).Ok());
    std::vector<SEnergyMinute> minutes;
    ASSERT_TRUE(store.MinutesBetween(tmFrom, platform::WallNow() + 60, minutes).Ok());
    ASSERT_FALSE(minutes.empty());
    EXPECT_EQ(minutes.back().strSerial, "900000000016");
    EXPECT_TRUE(minutes.back().aValue[kSeriesPac].has_value());
}

TEST(PowerViewTexts, ReadOutsAreFormattedAsShown)
{
    EnsureApp();
    EXPECT_EQ(CPowerCurveView::PowerText(1234.5f), "Power  1234.5 W");
    EXPECT_EQ(CPowerCurveView::EnergyText(12.3f, 100.0f), "Today Energy\t12.3kWh\nTotal Energy\t100.0kWh");
    EXPECT_EQ(CSysNoteView::CO2Text(100.0f * 0.7f), "CO2 reduction  70.0 Kg");
}

// The export and time-span commands of the power view, driven through their
// dialogs as an operator would, with the link stopped and the store filled
// by hand.
#include "support/XlsReaders.h"
#include "support/AppTestSupport.h"

#include "export/AxisSetDlg.h"
#include "export/ExportSetDlg.h"
#include "export/ProgressDlg.h"
#include "live/PowerCurveView.h"
#include "platform/MessageBox.h"
#include "platform/Tick.h"
#include "platform/WallClock.h"
#include "widgets/FlowPane.h"

#include <QApplication>
#include <QDir>
#include <QKeyEvent>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTimer>

#include <gtest/gtest.h>

#include <functional>

namespace {

// Runs `act` on the dialog of type T once it runs modally.
template <class T> void WhenModal(std::function<void(T&)> act)
{
    auto* pTimer = new QTimer;
    pTimer->setInterval(5);
    QObject::connect(pTimer, &QTimer::timeout, [pTimer, act] {
        if (auto* pDialog = qobject_cast<T*>(QApplication::activeModalWidget())) {
            pTimer->stop();
            pTimer->deleteLater();
            act(*pDialog);
        }
    });
    pTimer->start();
}

void Fill(QWidget& dialog, int nId, const QString& text)
{
    DlgItem<QLineEdit>(&dialog, nId)->setText(text);
}

void Press(QWidget& dialog, int nId)
{
    DlgItem<QPushButton>(&dialog, nId)->click();
}

const std::string kRangePrompt = "请输入一个在 0 和 23 之间的整数。";

class ExportDialogs : public ::testing::Test {
protected:
    void SetUp() override
    {
        EnsureApp();
        m_strOldDir = QDir::currentPath();
        QDir::setCurrent(QStringLiteral(ZELVAN_BINARY_DIR "/bin"));
        ::setenv("ZELVAN_SERIAL_PORTS", "", 1);
        m_pView = std::make_unique<CPowerCurveView>();
        m_pView->OnInitialUpdate();
        m_pView->LinkLogic().StopPollThread(); // no link: values come from the test
        Settle();
        m_pView->Chart()->m_tmBase = platform::FromLocal(2013, 1, 8, 8, 15, 0);
    }
    void TearDown() override
    {
        m_pView.reset();
        QDir::setCurrent(m_strOldDir);
        ::unsetenv("ZELVAN_SERIAL_PORTS");
    }

    // n polling cycles of a type-1 inverter, a second apart.
    void Cycles(int n)
    {
        for (int c = 0; c < n; ++c) {
            m_ticks.Advance(1000);
            for (int reg = 11; reg <= 41; ++reg)
                m_pView->Data().OnValue(1, reg, static_cast<std::uint16_t>(reg == 23 ? 1000 + c : 1), 2, "");
        }
    }
    void Connect()
    {
        m_pView->LinkLogic().SetConnected(true);
        m_pView->Commands().SetConnected(true);
    }
    // The export command with the span 08:15 to 09:15 at the interval choice.
    void Export(int nInterval = 0)
    {
        WhenModal<CExportSetDlg>([nInterval](CExportSetDlg& d) {
            Fill(d, CExportSetDlg::IDC_TO_HOUR, "9");
            DlgItem<QRadioButton>(&d, CExportSetDlg::IDC_BY_SECOND + nInterval)->setChecked(true);
            Press(d, 1);
        });
        m_pView->OnExport();
    }

    platform::CMessageBoxRecorder m_boxes;
    platform::CFakeTicks m_ticks{5000};
    std::unique_ptr<CPowerCurveView> m_pView;
    QString m_strOldDir;
    CTempFolder m_folder;
};

} // namespace

TEST_F(ExportDialogs, TimeSpanSetsTheChartRangeInMinutesAfterTheBase)
{
    CFlowPane& chart = *m_pView->Chart();
    for (std::uint32_t m = 0; m <= 200; ++m)
        chart.AddPoint(1000 + m * 60000, 100.0);
    auto span = [this](const char* fh, const char* fm, const char* th, const char* tm) {
        WhenModal<CAxisSetDlg>([=](CAxisSetDlg& d) {
            Fill(d, CAxisSetDlg::IDC_FROM_HOUR, fh);
            Fill(d, CAxisSetDlg::IDC_FROM_MINUTE, fm);
            Fill(d, CAxisSetDlg::IDC_TO_HOUR, th);
            Fill(d, CAxisSetDlg::IDC_TO_MINUTE, tm);
            Press(d, 1);
        });
        m_pView->OnTimeSpan();
    };
    span("9", "0", "10", "30");
    EXPECT_EQ(chart.XMin(), 45.0);
    EXPECT_EQ(chart.XMax(), 135.0);
    span("10", "0", "9", "0"); // start after the end: nothing changes
    EXPECT_EQ(chart.XMin(), 45.0);
    EXPECT_EQ(chart.XMax(), 135.0);
    span("7", "0", "9", "0"); // before the base: the chart starts at 0
    EXPECT_EQ(chart.XMin(), 0.0);
    EXPECT_EQ(chart.XMax(), 45.0);
    EXPECT_EQ(m_boxes.Count(), 0u);

    // The dialog opens on the chart's range.
    WhenModal<CAxisSetDlg>([](CAxisSetDlg& d) {
        EXPECT_EQ(DlgItem<QLineEdit>(&d, CAxisSetDlg::IDC_FROM_HOUR)->text(), "8");
        EXPECT_EQ(DlgItem<QLineEdit>(&d, CAxisSetDlg::IDC_FROM_MINUTE)->text(), "15");
        EXPECT_EQ(DlgItem<QLineEdit>(&d, CAxisSetDlg::IDC_TO_HOUR)->text(), "9");
        EXPECT_EQ(DlgItem<QLineEdit>(&d, CAxisSetDlg::IDC_TO_MINUTE)->text(), "0");
        Press(d, 2);
    });
    m_pView->OnTimeSpan();
}

TEST_F(ExportDialogs, AnHourOf24IsRefusedWithTheRangePromptInBothDialogs)
{
    auto refuse = [this](QDialog& d, int nField) {
        const std::size_t n = m_boxes.Count();
        Fill(d, nField, "24");
        Press(d, 1);
        EXPECT_TRUE(d.isVisible());
        ASSERT_EQ(m_boxes.Count(), n + 1);
        EXPECT_EQ(m_boxes.Boxes()[n].text, kRangePrompt);
        EXPECT_EQ(d.focusWidget(), DlgItem<QLineEdit>(&d, nField));
        Fill(d, nField, "x");
        Press(d, 1);
        ASSERT_EQ(m_boxes.Count(), n + 2);
        EXPECT_EQ(m_boxes.Boxes()[n + 1].text, "请输入一个整数。");
        Press(d, 2);
    };
    const double before = m_pView->Chart()->XMax();
    WhenModal<CAxisSetDlg>([&](CAxisSetDlg& d) { refuse(d, CAxisSetDlg::IDC_TO_HOUR); });
    m_pView->OnTimeSpan();
    EXPECT_EQ(m_pView->Chart()->XMax(), before);

    Connect();
    WhenModal<CExportSetDlg>([&](CExportSetDlg& d) { refuse(d, CExportSetDlg::IDC_TO_HOUR); });
    m_pView->OnExport();
    EXPECT_FALSE(m_pView->IsExporting());
}

TEST_F(ExportDialogs, ExportRunsBehindTheProgressDialogUntilTheWorkerEnds)
{
    Cycles(100);
    Connect();
    const std::string path = m_folder.File("day");
    int nAsked = 0;
    m_pView->chooseExportFile = [&] {
        ++nAsked;
        return QString::fromStdString(path);
    };
    std::vector<int> shown;
    QObject::connect(m_pView.get(), &CPowerCurveView::progressDialogOpened, [&](CProgressDlg* p) {
        EXPECT_EQ(p->Text(), "Save In Progress...");
        QObject::connect(p, &CProgressDlg::progressShown, [&](int n) { shown.push_back(n); });
    });
    Export(0);
    EXPECT_EQ(nAsked, 1);
    EXPECT_EQ(m_pView->ExportStep(), 0);
    EXPECT_EQ(m_pView->ExportFrom(), 0);
    EXPECT_EQ(m_pView->ExportTo(), 61); // 09:16: the hour entered, the minute of the chart's end (08:16)
    EXPECT_EQ(shown, (std::vector<int>{0, 10, 20, 30, 40, 50, 60, 70, 80, 90}));
    EXPECT_FALSE(m_pView->IsExporting());
    EXPECT_TRUE(m_pView->Commands().State(CCommandStates::ID_EXPORT).bEnabled);
    const auto cells = ReadWithXlrd(path + ".xls");
    ASSERT_TRUE(cells);
    EXPECT_EQ(cells->count({101, 0}), 1u); // 100 rows from row 3
    EXPECT_EQ(m_boxes.Count(), 0u);

    // Ten records or fewer: no progress, and the dialog closes all the same.
    shown.clear();
    m_pView->Data().Store().RemoveAllSamples();
    Cycles(10);
    Export(0);
    EXPECT_TRUE(shown.empty());
    EXPECT_FALSE(m_pView->IsExporting());
}

TEST_F(ExportDialogs, CancellingTheFileStartsNothingAndAFailedSaveIsShownAfterTheDialog)
{
    Cycles(20);
    Connect();
    m_pView->chooseExportFile = [] { return QString(); };
    bool bProgress = false;
    QObject::connect(m_pView.get(), &CPowerCurveView::progressDialogOpened, [&](CProgressDlg*) { bProgress = true; });
    Export(2);
    EXPECT_FALSE(bProgress);
    EXPECT_FALSE(m_pView->IsExporting());
    EXPECT_EQ(m_pView->ExportStep(), 5);

    const std::string path = m_folder.File("missing/day.xls");
    m_pView->chooseExportFile = [&] { return QString::fromStdString(path); };
    Export(0);
    EXPECT_TRUE(bProgress);
    ASSERT_EQ(m_boxes.Count(), 1u);
    EXPECT_NE(m_boxes.Boxes()[0].text.find(path), std::string::npos) << m_boxes.Boxes()[0].text;
    EXPECT_NE(m_boxes.Boxes()[0].text.find("No such file or directory"), std::string::npos);
    EXPECT_TRUE(m_pView->Commands().State(CCommandStates::ID_EXPORT).bEnabled);
}

TEST(ProgressDialog, OnlyTheOwnerClosesIt)
{
    EnsureApp();
    CProgressDlg dialog;
    EXPECT_FALSE(dialog.windowFlags() & Qt::WindowCloseButtonHint);
    dialog.show();
    for (int key : {Qt::Key_Escape, Qt::Key_Return, Qt::Key_Enter}) {
        QKeyEvent press(QEvent::KeyPress, key, Qt::NoModifier);
        QApplication::sendEvent(&dialog, &press);
    }
    dialog.close();
    EXPECT_TRUE(dialog.isVisible());
    dialog.SetProgress(40);
    EXPECT_EQ(dialog.Text(), "Save Progress is 40%");
    dialog.End();
    EXPECT_FALSE(dialog.isVisible());
    EXPECT_EQ(dialog.result(), 0);
}

// The History tab on screen (offscreen platform) over a real store with a
// few days of two years.
#include "live/HistoryView.h"

#include <QCheckBox>
#include <QFile>
#include <QImage>
#include <QPushButton>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <ostream>

#include "outputs/EnergyStore.h"
#include "platform/MessageBox.h"
#include "support/AppTestSupport.h"
#include "support/EnergyDays.h"
#include "support/HistoryDay.h"
#include "support/XlsReaders.h"
#include "widgets/MyTextBox.h"

// Failures show the text, not its code units.
void PrintTo(const QString& text, std::ostream* os)
{
    *os << '"' << text.toStdString() << '"';
}

namespace {

using ::testing::MatchesRegex;

class HistoryView : public ::testing::Test {
protected:
    void SetUp() override
    {
        CEnergyStore store;
        ASSERT_TRUE(store.Open(m_strDb).Ok());
        for (const SMadeDay& day : {SMadeDay{2013, 6, 10, 9.5, 2000}, SMadeDay{2013, 6, 11, 11.0, 2400, 600, 630},
                                    SMadeDay{2013, 6, 12, 7.0, 1500}, SMadeDay{2013, 2, 1, 4.0, 900},
                                    SMadeDay{2012, 6, 10, 8.0, 1800}, SMadeDay{2012, 6, 20, 6.0, 1600}})
            ASSERT_TRUE(WriteMadeDay(store, day));
        m_view.resize(1000, 600);
        m_view.SetStorePath(m_strDb);
        m_view.show();
        Settle();
    }
    bool Has(const QRect& area, const QColor& colour)
    {
        const QImage image = m_view.grab().toImage();
        for (int y = area.top(); y <= area.bottom(); ++y)
            for (int x = area.left(); x <= area.right(); ++x)
                if (image.pixelColor(x, y) == colour)
                    return true;
        return false;
    }
    QPushButton* Button(const char* text)
    {
        for (QPushButton* p : m_view.findChildren<QPushButton*>())
            if (p->text() == QLatin1String(text))
                return p;
        return nullptr;
    }

    struct SApp {
        SApp() { EnsureApp(); }
    } m_app; // before the view
    CScratchFolder m_folder{"history-view"};
    std::string m_strDb = m_folder.Path() + "zelvan.db";
    CHistoryView m_view;
    platform::CMessageBoxRecorder m_boxes;
};

const QColor kRed(255, 0, 0);

} // namespace

TEST_F(HistoryView, OpensOnTheNewestDayWithItsCurveEnergyAndPeakAndAGapInTheLine)
{
    EXPECT_EQ(m_view.Period(), SHistoryPeriod::Day(2013, 6, 12)) << "the newest day the store holds";
    Button("< Back")->click();
    ASSERT_EQ(m_view.Period(), SHistoryPeriod::Day(2013, 6, 11));
    EXPECT_TRUE(m_view.Notice().isEmpty());
    // The hump reaches 2400.0 W (in tenths) first a minute before noon.
    EXPECT_EQ(m_view.Summary(), "Energy\t11.0 kWh\nPeak\t2400.0 W at 11:59");
    ASSERT_EQ(m_view.Figures().curve.size(), 2u);

    // Red curve pixels either side of the gap, none in the middle of it.
    const QRect plot = m_view.PlotRect();
    const auto column = [&](double minute) {
        const int x = m_view.CurvePoint({minute, 0}).x();
        return QRect(x, plot.top(), 1, plot.height() - 1);
    };
    EXPECT_TRUE(Has(column(560), kRed));
    EXPECT_FALSE(Has(column(615), kRed)) << "no line across the half hour without readings";
    EXPECT_TRUE(Has(column(700), kRed));
    const QPoint noon = m_view.CurvePoint({720, 2400});
    // A pixel column spans more than a minute: the reading nearest to it.
    EXPECT_THAT(m_view.TipAt(noon).toStdString(), MatchesRegex("1[12]:[0-9][0-9]  2400\\.0 W"));
}

TEST_F(HistoryView, MonthAndYearShowABarPerDayAndPerMonthWithTheirTotals)
{
    m_view.ShowPeriod(SHistoryPeriod::Day(2013, 6, 11));
    Button("Month")->click();
    ASSERT_EQ(m_view.Period().eSpan, EHistorySpan::kMonth);
    EXPECT_EQ(m_view.Figures().bars.size(), 30u);
    EXPECT_EQ(m_view.Summary(), "Month total\t27.5 kWh");
    // Bar heights follow the energies: 11.0 is the tallest, 7.0 the lowest.
    EXPECT_GT(m_view.BarRect(10).height(), m_view.BarRect(9).height());
    EXPECT_GT(m_view.BarRect(9).height(), m_view.BarRect(11).height());
    EXPECT_TRUE(Has(m_view.BarRect(10).adjusted(1, 1, -1, -1), kRed) || Has(m_view.BarRect(10), kRed));
    EXPECT_EQ(m_view.TipAt(m_view.BarRect(10).center()), "2013-06-11: 11.0 kWh");
    EXPECT_EQ(m_view.TipAt(m_view.BarRect(3).center()), "2013-06-04: no data");

    Button("Year")->click();
    ASSERT_EQ(m_view.Period(), SHistoryPeriod(SHistoryPeriod{EHistorySpan::kYear, 2013, 6, 11}));
    EXPECT_DOUBLE_EQ(m_view.Figures().bars[5], 27.5);
    EXPECT_DOUBLE_EQ(m_view.Figures().bars[1], 4.0);
    EXPECT_EQ(m_view.Summary(), "Year total\t31.5 kWh");
    EXPECT_EQ(m_view.TipAt(m_view.BarRect(1).center()), "2013-02: 4.0 kWh");
}

TEST_F(HistoryView, MovesBackAndForwardAndSaysWhenAPeriodIsEmpty)
{
    m_view.ShowPeriod(SHistoryPeriod::Month(2013, 6));
    Button("< Back")->click();
    EXPECT_EQ(m_view.Period(), SHistoryPeriod::Month(2013, 5));
    EXPECT_EQ(m_view.Notice(), "No data for this month");
    EXPECT_FALSE(Button("Export CSV...")->isEnabled());
    Button("Forward >")->click();
    EXPECT_TRUE(m_view.Notice().isEmpty());
    EXPECT_TRUE(Button("Export CSV...")->isEnabled());

    m_view.ShowSpan(EHistorySpan::kYear);
    m_view.MoveBack();
    EXPECT_EQ(m_view.Period().nYear, 2012);
    EXPECT_DOUBLE_EQ(m_view.Figures().fTotalKwh, 14.0);
    m_view.MoveBack();
    EXPECT_EQ(m_view.Notice(), "No data for this year");

    m_view.ShowPeriod(SHistoryPeriod::Day(2013, 7, 1));
    EXPECT_EQ(m_view.Notice(), "No data for this day");
    EXPECT_TRUE(m_view.Figures().curve.empty());
}

TEST_F(HistoryView, ComparingDrawsTheSamePeriodAYearBefore)
{
    m_view.ShowPeriod(SHistoryPeriod::Month(2013, 6));
    m_view.findChild<QCheckBox*>()->setChecked(true);
    ASSERT_TRUE(m_view.Compared());
    EXPECT_EQ(m_view.YearBefore().period, SHistoryPeriod::Month(2012, 6));
    EXPECT_EQ(m_view.Summary(), "Month total\t27.5 kWh\nA year before\t14.0 kWh");
    const QRect before = m_view.BarRect(9, true);
    EXPECT_LT(before.right(), m_view.BarRect(9).left() + 1) << "the year before stands left of the period";
    EXPECT_TRUE(Has(before.adjusted(0, 0, 0, -1), QColor(70, 70, 70)));
    EXPECT_EQ(m_view.TipAt(m_view.BarRect(9).center()), "2013-06-10: 9.5 kWh\n2012-06-10: 8.0 kWh");

    m_view.ShowPeriod(SHistoryPeriod::Day(2013, 6, 10));
    EXPECT_EQ(m_view.YearBefore().curve.size(), 1u) << "the year before's curve";
    EXPECT_THAT(m_view.TipAt(m_view.CurvePoint({720, 2000})).toStdString(),
                MatchesRegex("1[12]:[0-9][0-9]  2000\\.0 W\n2012-06-10 1[12]:[0-9][0-9]  1800\\.0 W"));

    m_view.SetCompare(false);
    EXPECT_TRUE(m_view.YearBefore().curve.empty());
}

TEST_F(HistoryView, ExportsTheShownMonthAsTheStoresDayRowsInCsvAndXls)
{
    m_view.ShowPeriod(SHistoryPeriod::Month(2013, 6));
    m_view.chooseFile = [this](const QString&) { return QString::fromStdString(m_folder.Path() + "june.csv"); };
    Button("Export CSV...")->click();
    QFile file(QString::fromStdString(m_folder.Path() + "june.csv"));
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QStringList lines = QString::fromUtf8(file.readAll()).split('\n', Qt::SkipEmptyParts);

    CEnergyStore store;
    ASSERT_TRUE(store.Open(m_strDb).Ok());
    std::vector<SEnergyDay> days;
    ASSERT_TRUE(store.DaysOfMonth(2013, 6, days).Ok());
    ASSERT_EQ(lines.size(), static_cast<int>(days.size()) + 1);
    EXPECT_EQ(lines[0], "date,energy_kwh,peak_w,peak_time,first,last");
    for (std::size_t i = 0; i < days.size(); ++i) {
        const QStringList fields = lines[static_cast<int>(i) + 1].split(',');
        ASSERT_EQ(fields.size(), 6);
        EXPECT_EQ(fields[0], QString::asprintf("2013-06-%02d", days[i].nDay));
        EXPECT_DOUBLE_EQ(fields[1].toDouble(), days[i].fEnergyKwh);
        EXPECT_DOUBLE_EQ(fields[2].toDouble(), days[i].fPeakW);
        EXPECT_EQ(fields[4], "06:00:00");
        EXPECT_EQ(fields[5], "18:00:00");
    }

    m_view.chooseFile = [this](const QString&) { return QString::fromStdString(m_folder.Path() + "june.xls"); };
    Button("Export .xls...")->click();
    const std::optional<CellMap> cells = ReadWithFreeXl(m_folder.Path() + "june.xls");
    ASSERT_TRUE(cells);
    EXPECT_EQ(cells->at({0, 1}).strText, "energy_kwh");
    EXPECT_EQ(cells->at({2, 0}).strText, "2013-06-11");
    EXPECT_EQ(cells->at({2, 1}), NumberCell(11.0)) << "energies as numbers";
    EXPECT_EQ(m_boxes.Count(), 0u);
}

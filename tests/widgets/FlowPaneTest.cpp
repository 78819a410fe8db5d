#include "WidgetTestSupport.h"

#include "platform/WallClock.h"
#include "widgets/FlowPane.h"

#include <QCoreApplication>
#include <QMouseEvent>
#include <QPaintEvent>

#include <cmath>
#include <limits>

namespace {

class CRecordingPane : public CFlowPane {
public:
    using CFlowPane::CFlowPane;
    QRegion m_painted; // union of every repainted area since the last reset

protected:
    void paintEvent(QPaintEvent* pEvent) override
    {
        m_painted += pEvent->region();
        CFlowPane::paintEvent(pEvent);
    }
};

constexpr std::uint32_t kStart = 4000000000u; // close to the tick counter's wrap
constexpr std::uint32_t kMinute = 60000;

class FlowPaneTest : public CWidgetTest {
protected:
    void SetUp() override
    {
        CWidgetTest::SetUp();
        m_pPane = new CRecordingPane(m_pParent.get());
        m_pPane->setGeometry(20, 10, 600, 360);
        m_pPane->SetYRange(0, 100);
    }

    QImage Grab() { return m_pPane->grab().toImage(); }

    std::vector<QPoint> RedPixels(const QImage& img)
    {
        std::vector<QPoint> red;
        for (int y = 0; y < img.height(); ++y)
            for (int x = 0; x < img.width(); ++x)
                if (IsRed(img.pixelColor(x, y)))
                    red.emplace_back(x, y);
        return red;
    }

    void Click(int x, int y)
    {
        QMouseEvent release(QEvent::MouseButtonRelease, QPointF(x, y), m_pPane->mapToGlobal(QPointF(x, y)),
                            Qt::LeftButton, Qt::NoButton, Qt::NoModifier);
        QCoreApplication::sendEvent(m_pPane, &release);
    }

    // x of a minute on the present time axis.
    int XOfMinute(double minute)
    {
        const SPlotRect& rc = m_pPane->PlotRect();
        return rc.x0 +
               static_cast<int>((minute - m_pPane->XMin()) * (rc.x1 - rc.x0) / (m_pPane->XMax() - m_pPane->XMin()));
    }

    CRecordingPane* m_pPane = nullptr;
};

} // namespace

TEST_F(FlowPaneTest, AxesAloneWithoutSamples)
{
    m_pPane->SetYRange(0, 6000);
    m_pPane->SetXRange(0, 60);
    const QImage img = Grab();
    const SPlotRect rc = m_pPane->PlotRect();
    ASSERT_GT(rc.x0, 20);
    ASSERT_GT(rc.x1 - rc.x0, 300);
    ASSERT_GT(rc.y1 - rc.y0, 200);

    EXPECT_TRUE(RedPixels(img).empty());
    for (int y = rc.y0; y <= rc.y1; y += 7)
        EXPECT_TRUE(IsInk(img.pixelColor(rc.x0, y))) << "power axis at " << y;
    for (int x = rc.x0; x <= rc.x1 + 5; x += 7)
        EXPECT_TRUE(IsInk(img.pixelColor(x, rc.y1))) << "time axis at " << x;

    // Inside the plot and in the margins: the picture under the chart.
    EXPECT_EQ(img.pixelColor(rc.x0 + 50, rc.y0 + 50), Picture(20 + rc.x0 + 50, 10 + rc.y0 + 50));
    EXPECT_EQ(img.pixelColor(599, 0), Picture(619, 10));

    // Power labels left of the axis, clock times under it.
    bool bPowerLabels = false;
    for (int x = 0; x < rc.x0 - 2 && !bPowerLabels; ++x)
        for (int y = rc.y0; y < rc.y1 && !bPowerLabels; ++y)
            bPowerLabels = IsInk(img.pixelColor(x, y));
    bool bTimeLabels = false;
    for (int x = rc.x0; x < rc.x1 && !bTimeLabels; ++x)
        for (int y = rc.y1 + 4; y < img.height() && !bTimeLabels; ++y)
            bTimeLabels = IsInk(img.pixelColor(x, y));
    EXPECT_TRUE(bPowerLabels);
    EXPECT_TRUE(bTimeLabels);
}

TEST_F(FlowPaneTest, OneSampleIsOneRedPixel)
{
    m_pPane->SetXRange(0, 60);
    ShowAndSettle();
    m_pPane->AddPoint(kStart, 30.0);
    Settle();
    const QImage img = Grab();
    const std::vector<QPoint> red = RedPixels(img);
    ASSERT_EQ(red.size(), 1u);
    EXPECT_EQ(red[0], QPoint(m_pPane->SampleX(0), m_pPane->SampleY(0)));
    EXPECT_EQ(red[0].x(), m_pPane->PlotRect().x0);
}

TEST_F(FlowPaneTest, ManySamplesInOneColumnDrawOneStroke)
{
    // A lead-in sample at minute 0, then 100 samples within 99 ms at minute 300
    // of a 600-minute axis: all in one pixel column.
    m_pPane->AddPoint(kStart, 50.0);
    for (int k = 0; k < 100; ++k) {
        double value = 40.0 + (k * 7) % 20; // 40..59
        if (k == 37)
            value = 90.0;
        if (k == 71)
            value = 10.0;
        m_pPane->AddPoint(kStart + 300 * kMinute + static_cast<std::uint32_t>(k), k == 0 ? 50.0 : value);
    }
    m_pPane->SetXRange(0, 600);
    const int xc = m_pPane->SampleX(1);
    ASSERT_EQ(m_pPane->SampleX(100), xc);
    const SPlotRect rc = m_pPane->PlotRect();
    const int yHigh = rc.y1 - static_cast<int>(90.0 * (rc.y1 - rc.y0) / 100.0);
    const int yLow = rc.y1 - static_cast<int>(10.0 * (rc.y1 - rc.y0) / 100.0);
    const int yLead = rc.y1 - static_cast<int>(50.0 * (rc.y1 - rc.y0) / 100.0);

    const QImage img = Grab();
    // The column is red from the highest to the lowest value, nothing beyond.
    for (int y = rc.y0 + 3; y < rc.y1; ++y) {
        const bool bInStroke = y >= yHigh && y <= yLow;
        EXPECT_EQ(IsRed(img.pixelColor(xc, y)), bInStroke) << "y " << y;
    }
    // Elsewhere only the horizontal lead-in at the first value.
    for (const QPoint& p : RedPixels(img)) {
        if (p.x() != xc) {
            EXPECT_EQ(p.y(), yLead) << p.x();
            EXPECT_LT(p.x(), xc);
        }
    }
    // The area under the lead-in is tinted; above it and right of the stroke not.
    const QPoint under((rc.x0 + xc) / 2, (yLead + rc.y1) / 2);
    const QColor bg = Picture(20 + under.x(), 10 + under.y());
    const QColor tinted = img.pixelColor(under);
    EXPECT_NEAR(tinted.red(), bg.red() + (255 - bg.red()) * 30 / 255, 2);
    EXPECT_NEAR(tinted.green(), bg.green() * 225 / 255, 2);
    const QPoint above(under.x(), yLead - 10);
    EXPECT_EQ(img.pixelColor(above), Picture(20 + above.x(), 10 + above.y()));
    const QPoint right(xc + 10, under.y());
    EXPECT_EQ(img.pixelColor(right), Picture(20 + right.x(), 10 + right.y()));
}

TEST_F(FlowPaneTest, NewSampleRepaintsOnlyItsOwnRectangle)
{
    m_pPane->SetXRange(0, 60);
    ShowAndSettle();
    for (int i = 0; i < 20; ++i)
        m_pPane->AddPoint(kStart + static_cast<std::uint32_t>(i) * kMinute, 20.0 + i);
    Settle();
    m_pPane->m_painted = QRegion();

    m_pPane->AddPoint(kStart + 20 * kMinute, 80.0);
    Settle();
    const QRect painted = m_pPane->m_painted.boundingRect();
    ASSERT_FALSE(painted.isEmpty());
    EXPECT_LE(painted.width(), m_pPane->SampleX(20) - m_pPane->SampleX(19) + 2);
    EXPECT_LE(painted.top(), m_pPane->SampleY(20));
    EXPECT_GE(painted.bottom(), m_pPane->PlotRect().y1);

    // Incremental drawing and a full repaint both pass every sample (within
    // the pixel that line rasterisation may round to).
    auto redNear = [](const QImage& img, QPoint p) {
        for (int dy = -1; dy <= 1; ++dy)
            if (IsRed(img.pixelColor(p + QPoint(0, dy))))
                return true;
        return false;
    };
    const QImage incremental = Grab();
    m_pPane->SetYRange(0, 100); // same range, full redraw
    const QImage full = Grab();
    for (std::size_t i = 1; i <= 20; ++i) {
        const QPoint p(m_pPane->SampleX(i), m_pPane->SampleY(i));
        EXPECT_TRUE(redNear(incremental, p)) << i;
        EXPECT_TRUE(redNear(full, p)) << i;
    }
}

TEST_F(FlowPaneTest, TrackingWidensTheRangeBeyondTheNewSample)
{
    m_pPane->AddPoint(kStart, 10.0);
    m_pPane->SetXRange(0, 7);
    m_pPane->AddPoint(kStart + 5 * kMinute, 20.0); // inside: no change
    EXPECT_DOUBLE_EQ(m_pPane->XMax(), 7.0);

    m_pPane->AddPoint(kStart + 8 * kMinute, 30.0);
    EXPECT_DOUBLE_EQ(m_pPane->XMin(), 0.0);
    EXPECT_DOUBLE_EQ(m_pPane->XMax(), 8.0 + 7.0 / 7.0);

    // The left end stays where the owner put it.
    m_pPane->SetXRange(2, 9);
    m_pPane->AddPoint(kStart + 12 * kMinute, 30.0);
    EXPECT_DOUBLE_EQ(m_pPane->XMin(), 2.0);
    EXPECT_DOUBLE_EQ(m_pPane->XMax(), 12.0 + 1.0);
}

TEST_F(FlowPaneTest, WithoutTrackingLaterSamplesAreStoredButNotShown)
{
    m_pPane->m_bTracking = false;
    m_pPane->SetXRange(0, 10);
    ShowAndSettle();
    m_pPane->AddPoint(kStart + 0, 10.0);
    m_pPane->AddPoint(kStart + 20 * kMinute, 60.0);
    m_pPane->AddPoint(kStart + 21 * kMinute, 70.0);
    Settle();
    EXPECT_DOUBLE_EQ(m_pPane->XMax(), 10.0);
    EXPECT_EQ(m_pPane->Values().size(), 3u);
    const std::vector<QPoint> red = RedPixels(Grab());
    ASSERT_EQ(red.size(), 1u); // only the first sample, on the axis
    EXPECT_EQ(red[0].x(), m_pPane->PlotRect().x0);

    // A wider range shows them.
    m_pPane->SetXRange(0, 30);
    EXPECT_GT(RedPixels(Grab()).size(), 10u);
}

TEST_F(FlowPaneTest, RangeStartFallsBackToZeroAndEmptyRangesAreIgnored)
{
    m_pPane->SetXRange(5, 20); // no samples yet
    EXPECT_DOUBLE_EQ(m_pPane->XMin(), 0.0);
    EXPECT_DOUBLE_EQ(m_pPane->XMax(), 20.0);

    for (int m = 0; m <= 10; ++m)
        m_pPane->AddPoint(kStart + static_cast<std::uint32_t>(m) * kMinute, 10.0 * m);
    m_pPane->SetXRange(5, 20);
    EXPECT_DOUBLE_EQ(m_pPane->XMin(), 5.0);
    m_pPane->SetXRange(10, 20); // at the last sample
    EXPECT_DOUBLE_EQ(m_pPane->XMin(), 0.0);
    m_pPane->SetXRange(12, 20);
    EXPECT_DOUBLE_EQ(m_pPane->XMin(), 0.0);
    m_pPane->SetXRange(-1, 20);
    EXPECT_DOUBLE_EQ(m_pPane->XMin(), 0.0);

    // Ranges that end at or before their (adjusted) start change nothing.
    m_pPane->SetXRange(3, 15);
    m_pPane->SetXRange(12, 0); // start falls back to 0: 0..0
    m_pPane->SetXRange(4, 4);
    m_pPane->SetXRange(6, 2);
    m_pPane->SetXRange(1, std::numeric_limits<double>::quiet_NaN());
    EXPECT_DOUBLE_EQ(m_pPane->XMin(), 3.0);
    EXPECT_DOUBLE_EQ(m_pPane->XMax(), 15.0);

    m_pPane->SetYRange(0, 0); // a model code of 0 gives a power axis of 0..0
    m_pPane->SetYRange(50, 10);
    m_pPane->SetYRange(0, std::numeric_limits<double>::infinity());
    EXPECT_DOUBLE_EQ(m_pPane->YMin(), 0.0);
    EXPECT_DOUBLE_EQ(m_pPane->YMax(), 100.0);
    EXPECT_FALSE(Grab().isNull()); // paints, no endless tick loop
}

TEST_F(FlowPaneTest, FreshChartPaintsWithItsEmptyTimeRange)
{
    // The time range is 0..0 until the owner sets it; samples may already come.
    m_pPane->m_bTracking = false;
    m_pPane->AddPoint(kStart, 10.0);
    m_pPane->AddPoint(kStart + kMinute, 20.0);
    EXPECT_TRUE(RedPixels(Grab()).empty());

    m_pPane->m_bTracking = true;
    m_pPane->AddPoint(kStart + 2 * kMinute, 30.0);
    EXPECT_DOUBLE_EQ(m_pPane->XMax(), 2.0);
    EXPECT_FALSE(RedPixels(Grab()).empty());
}

TEST_F(FlowPaneTest, CursorReadsTheNearestSample)
{
    m_pPane->m_tmBase = platform::FromLocal({2026, 6, 1, 8, 0, 0});
    for (int m = 0; m <= 4; ++m)
        m_pPane->AddPoint(kStart + static_cast<std::uint32_t>(m) * kMinute, 100.0 * m + 0.25);
    m_pPane->SetXRange(0, 5);
    ShowAndSettle();

    const int x14 = XOfMinute(1.4);
    const int x16 = XOfMinute(1.6);
    auto expected = [&](int x, const char* value) {
        const SPlotRect& rc = m_pPane->PlotRect();
        const double t = 5.0 * (x - rc.x0) / (rc.x1 - rc.x0);
        const platform::LocalTime at = platform::ToLocal(m_pPane->m_tmBase + static_cast<std::int64_t>(t * 60));
        return QString::asprintf("%02d:%02d:%02d %s", at.nHour, at.nMinute, at.nSecond, value);
    };
    EXPECT_EQ(m_pPane->CursorText(x14), expected(x14, "100.2"));
    EXPECT_EQ(m_pPane->CursorText(x16), expected(x16, "200.2"));
    EXPECT_TRUE(m_pPane->CursorText(XOfMinute(4.5)).isEmpty()); // past the last sample
    EXPECT_TRUE(m_pPane->CursorText(m_pPane->PlotRect().x0 - 5).isEmpty());

    // A click moves the cursor only where a sample is near.
    Click(x14, 100);
    EXPECT_EQ(m_pPane->CursorX(), x14);
    Click(XOfMinute(4.5), 100);
    EXPECT_EQ(m_pPane->CursorX(), x14);
    Click(2, 100);
    EXPECT_EQ(m_pPane->CursorX(), x14);

    // Switched on, the read-out is a yellow line at the cursor.
    m_pPane->ShowCursor(true);
    Settle();
    QImage img = Grab();
    const SPlotRect rc = m_pPane->PlotRect();
    EXPECT_EQ(img.pixelColor(x14, (rc.y0 + rc.y1) / 2), QColor(255, 255, 0));
    // Moving it repaints the old place without the line and the new one with it.
    Click(x16, 100);
    Settle();
    img = m_pParent->grab(QRect(20, 10, 600, 360)).toImage();
    EXPECT_NE(img.pixelColor(x14, rc.y1 - 30), QColor(255, 255, 0));
    EXPECT_EQ(img.pixelColor(x16, rc.y1 - 30), QColor(255, 255, 0));

    m_pPane->ShowCursor(false);
    EXPECT_NE(Grab().pixelColor(x16, rc.y1 - 30), QColor(255, 255, 0));
}

TEST_F(FlowPaneTest, ClearGivesTheMemoryBack)
{
    m_pPane->SetXRange(0, 600);
    for (int i = 0; i < 5000; ++i)
        m_pPane->AddPoint(kStart + static_cast<std::uint32_t>(i) * 1000, 50.0);
    m_pPane->Clear();
    EXPECT_TRUE(m_pPane->Values().empty());
    EXPECT_EQ(m_pPane->Values().capacity(), 0u);
    EXPECT_EQ(m_pPane->Times().capacity(), 0u);
    EXPECT_TRUE(m_pPane->CursorText(XOfMinute(10)).isEmpty());
    m_pPane->AddPoint(kStart, 10.0); // a new day starts from an empty curve
    EXPECT_EQ(m_pPane->Times().size(), 1u);
}

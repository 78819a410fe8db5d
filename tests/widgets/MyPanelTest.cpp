#include "WidgetTestSupport.h"

#include "ui/DialogTemplate.h"
#include "live/PowerCurveView.h"
#include "widgets/BackPicture.h"
#include "widgets/MyPanel.h"

#include <QFontInfo>
#include <QFontMetrics>

#include <algorithm>
#include <cmath>

namespace {

class CCountingPanel : public CMyPanel {
public:
    using CMyPanel::CMyPanel;
    int m_nPaints = 0;

protected:
    void paintEvent(QPaintEvent* pEvent) override
    {
        ++m_nPaints;
        CMyPanel::paintEvent(pEvent);
    }
};

class MyPanelTest : public CWidgetTest {
protected:
    void SetUp() override
    {
        CWidgetTest::SetUp();
        m_pPanel = new CCountingPanel(m_pParent.get());
        m_pPanel->setGeometry(40, 20, 300, 220);
        m_dial = CMyPanel::Layout(m_pPanel->size(), QFontMetrics(CMyPanel::LabelFont()));
    }

    QImage Grab() { return m_pPanel->grab().toImage(); }

    // Colour at radius rho and a clockwise screen angle (degrees from +x).
    static QColor At(const QImage& img, int cx, int cy, double rho, double degrees)
    {
        const double a = degrees * M_PI / 180.0;
        return img.pixelColor(static_cast<int>(std::lround(cx + std::cos(a) * rho)),
                              static_cast<int>(std::lround(cy + std::sin(a) * rho)));
    }

    CCountingPanel* m_pPanel = nullptr;
    SGaugeLayout m_dial; // the panel's
};

} // namespace

TEST_F(MyPanelTest, ValueToAngleIsNotClamped)
{
    EXPECT_FLOAT_EQ(m_pPanel->Angle(), 90.0f);
    const std::pair<int, float> cases[] = {{50, 0.0f}, {100, -90.0f}, {120, -126.0f}, {-10, 108.0f}, {0, 90.0f}};
    for (const auto& [percent, angle] : cases) {
        m_pPanel->SetValue(percent);
        EXPECT_FLOAT_EQ(m_pPanel->Angle(), angle) << percent << " %";
    }
}

TEST_F(MyPanelTest, RepaintsOnlyWhenTheNeedleMoves)
{
    ShowAndSettle();
    m_pPanel->SetValue(40);
    Settle();
    const int nPaints = m_pPanel->m_nPaints;
    ASSERT_GT(nPaints, 0);

    m_pPanel->SetValue(40);
    Settle();
    EXPECT_EQ(m_pPanel->m_nPaints, nPaints);

    m_pPanel->SetValue(41);
    Settle();
    EXPECT_GT(m_pPanel->m_nPaints, nPaints);
}

TEST_F(MyPanelTest, NeedlePointsLeftUpAndRight)
{
    struct {
        int nPercent;
        QPoint inkAt; // relative to the centre, half a radius out
    } const cases[] = {{0, {-60, 0}}, {50, {0, -60}}, {100, {60, 0}}};
    const QPoint all[] = {{-60, 0}, {0, -60}, {60, 0}};

    for (const auto& c : cases) {
        m_pPanel->SetValue(c.nPercent);
        const QImage img = Grab();
        ASSERT_EQ(m_pPanel->CenterX(), m_dial.nCenterX);
        ASSERT_EQ(m_pPanel->CenterY(), m_dial.nCenterY);
        ASSERT_EQ(m_pPanel->Radius(), m_dial.nRadius);
        const QPoint centre(m_dial.nCenterX, m_dial.nCenterY);
        for (const QPoint& p : all) {
            const QColor colour = img.pixelColor(centre + p);
            if (p == c.inkAt)
                EXPECT_TRUE(Near(colour, QColor(25, 25, 25), 3)) << c.nPercent << " %: " << p.x() << "," << p.y();
            else
                EXPECT_FALSE(IsInk(colour)) << c.nPercent << " %: " << p.x() << "," << p.y();
        }
    }
}

TEST_F(MyPanelTest, BandSegmentsGapsAndBackground)
{
    const QImage img = Grab();
    const int cx = m_dial.nCenterX;
    const int cy = m_dial.nCenterY;
    const double rho = m_dial.nRadius - 10; // middle of the 20-pixel band

    // Four segments from the left end clockwise over the top, greener to the right.
    EXPECT_TRUE(Near(At(img, cx, cy, rho, 201), QColor(0, 255, 255), 3));
    EXPECT_TRUE(Near(At(img, cx, cy, rho, 249), QColor(0, 255, 195), 3));
    EXPECT_TRUE(Near(At(img, cx, cy, rho, 293), QColor(0, 255, 135), 3));
    EXPECT_TRUE(Near(At(img, cx, cy, rho, 339), QColor(0, 255, 75), 3));

    // The three gaps (44, 90 and 136 degrees from the left over the top) and
    // the lower half show the picture.
    for (double degrees : {224.0, 270.0, 316.0, 10.0, 170.0}) {
        const double a = degrees * M_PI / 180.0;
        const QPoint p(static_cast<int>(std::lround(cx + std::cos(a) * rho)),
                       static_cast<int>(std::lround(cy + std::sin(a) * rho)));
        EXPECT_TRUE(Near(img.pixelColor(p), Picture(40 + p.x(), 20 + p.y()), 3)) << degrees;
    }

    // Corners are the block of the picture under the gauge.
    EXPECT_EQ(img.pixelColor(0, 0), Picture(40, 20));
    EXPECT_EQ(img.pixelColor(299, 219), Picture(339, 239));
}

TEST_F(MyPanelTest, LabelsStandBesideTheDialEnds)
{
    const QImage img = Grab();
    const QFontMetrics metrics(CellHeightFont(QStringLiteral("Arial"), 16, 700));
    const int W = metrics.horizontalAdvance(QStringLiteral("66%"));
    const int H = metrics.height();
    auto inkIn = [&](const QRect& area) {
        for (int y = area.top(); y <= area.bottom(); ++y)
            for (int x = area.left(); x <= area.right(); ++x)
                if (IsInk(img.pixelColor(x, y)))
                    return true;
        return false;
    };
    // "0%" lies left of the dial's left end, "100%" right of its right end,
    // "50%" above the top.
    const int cx = m_dial.nCenterX;
    const int cy = m_dial.nCenterY;
    const int r = m_dial.nRadius;
    EXPECT_TRUE(inkIn(QRect(cx - r - W, cy - H / 2, W, H)));
    EXPECT_TRUE(inkIn(QRect(cx + r, cy - H / 2, W, H)));
    EXPECT_TRUE(inkIn(QRect(cx - W, 30 - H, 2 * W, H)));
    // Nothing dark between the dial's left end and its centre line but the needle.
    EXPECT_FALSE(inkIn(QRect(40, 100, 60, 30)));
}

// "100%" is wider than the 30 pixels beside the dial: the dial gives way,
// centred, so that every label is whole, at its size in the power view too.
TEST_F(MyPanelTest, EveryLabelIsWholeInsideTheGauge)
{
    const dlg::STemplate& view = CPowerCurveView::Template();
    const auto place = std::find_if(view.controls.begin(), view.controls.end(),
                                    [](const dlg::SControl& c) { return c.nId == CPowerCurveView::IDC_GAUGE; });
    ASSERT_NE(place, view.controls.end());
    const QSize base = dlg::DialogBaseUnits(dlg::DialogFont(view.strFont, view.nPointSize));
    const QSize inView = dlg::MapDialogRect(place->rcDlu, base).size();
    const QFontMetrics metrics(CMyPanel::LabelFont());
    for (const QSize size : {inView, m_pPanel->size()}) {
        const SGaugeLayout g = CMyPanel::Layout(size, metrics);
        for (const SGaugeLabel& label : g.labels)
            EXPECT_TRUE(QRect(QPoint(0, 0), size).contains(label.rcInk))
                << label.strText.toStdString() << " at " << size.width() << "x" << size.height();
        EXPECT_GE(g.nSide, 30);
        EXPECT_LE(std::abs(2 * g.nCenterX - size.width()), 1) << "centred";
        EXPECT_EQ(g.nRadius, (size.width() - 2 * g.nSide) / 2);
    }
}

TEST_F(MyPanelTest, LabelFontIsArialSizedOrItsMetricTwin)
{
    const QFont font = CellHeightFont(QStringLiteral("Arial"), 16, 700);
    const QFontMetrics metrics(font);
    EXPECT_NEAR(metrics.ascent() + metrics.descent(), 16, 1);
    EXPECT_TRUE(QFontInfo(font).bold());
    // Arial's digits are 0.556 em and its '%' 0.889 em: a font with other
    // metrics would move every label.
    EXPECT_NEAR(metrics.horizontalAdvance(QStringLiteral("66%")), (2 * 0.556 + 0.889) * font.pixelSize(), 1.5);
}

#include "widgets/MyPanel.h"

#include "widgets/BackPicture.h"

#include <QFontMetrics>
#include <QPainter>
#include <QPainterPath>
#include <QPainterPathStroker>

#include <algorithm>
#include <cmath>

namespace {

constexpr double kDegToRad = 0.0174532925;

// The band's four segments, starting at the left end and going clockwise over
// the top: their start angles in degrees clockwise from the positive x axis.
constexpr int kSegmentStart[4] = {180, 226, 272, 318};
constexpr int kSegmentSweep = 42;

QColor SegmentColour(int k)
{
    return QColor(0, 255, 255 - 60 * k);
}

// A pie (centre to arc and back) of the ellipse in box, with angles measured
// clockwise on the screen; Qt counts them counter-clockwise.
QPainterPath Pie(const QRectF& box, int nStart, int nSweep)
{
    QPainterPath path;
    path.moveTo(box.center());
    path.arcTo(box, -nStart, -nSweep);
    path.closeSubpath();
    return path;
}

QPainterPath Arc(const QRectF& box, int nStart, int nSweep)
{
    QPainterPath path;
    path.arcMoveTo(box, -nStart);
    path.arcTo(box, -nStart, -nSweep);
    return path;
}

QPainterPath Ellipse(const QRectF& box)
{
    QPainterPath path;
    path.addEllipse(box);
    return path;
}

} // namespace

CMyPanel::CMyPanel(QWidget* pParent) : QWidget(pParent), m_bmpBack(LoadBackPicture()) {}

void CMyPanel::SetValue(int nPercent)
{
    const float fAngle = static_cast<float>(90.0 - 1.8 * nPercent);
    if (fAngle == m_fAngle)
        return;
    m_fAngle = fAngle;
    update();
    // The parent's background under the gauge is repainted as well.
    if (QWidget* pParent = parentWidget())
        pParent->update(geometry());
}

void CMyPanel::paintEvent(QPaintEvent*)
{
    QPainter dc(this);
    EraseBackground(dc);
    dc.setRenderHint(QPainter::Antialiasing);
    dc.setRenderHint(QPainter::TextAntialiasing);
    // The needle reads the centre and radius that the scale computes.
    DrawScale(dc);
    DrawNeedle(dc);
}

void CMyPanel::EraseBackground(QPainter& dc)
{
    CopyBackPiece(dc, m_bmpBack, BackOrigin(*this), size());
}

QFont CMyPanel::LabelFont()
{
    return CellHeightFont(QStringLiteral("Arial"), 16, 700);
}

namespace {

// The dial and labels with `side` pixels left and right of the dial.
SGaugeLayout LayoutWithSide(const QSize& size, const QFontMetrics& metrics, int side)
{
    // The dial is a circle sized by the width alone; a low window cuts it off.
    SGaugeLayout g;
    g.nSide = side;
    g.nWidth = size.width() - 2 * side;
    g.nCenterX = static_cast<int>(side + 0.5 * g.nWidth);
    g.nCenterY = static_cast<int>(g.nTop + 0.5 * g.nWidth);
    g.nRadius = g.nWidth / 2;

    // Each gap starts on a 4-degree chord of the outer circle.
    const double cx = g.nCenterX;
    const double cy = g.nCenterY;
    const double r = g.nRadius;
    for (int i = 0; i < 3; ++i) {
        const double a1 = (46.0 * i + 42.0) * kDegToRad;
        g.gapStart[static_cast<std::size_t>(i)] = QPointF(cx - std::cos(a1) * r, cy - std::sin(a1) * r);
    }

    // All labels are placed with the extent of "66%", "0%" and "100%" too.
    const int W = metrics.horizontalAdvance(QStringLiteral("66%"));
    const int H = metrics.height();
    auto label = [&](int x, int y, const QString& text) {
        const QPoint origin(x, y);
        return SGaugeLabel{text, origin, metrics.boundingRect(text).translated(origin + QPoint(0, metrics.ascent()))};
    };
    g.labels[0] = label(static_cast<int>(cx - W - r), static_cast<int>(cy - H / 2), QStringLiteral("0%"));
    for (int i = 0; i < 3; ++i) {
        const QPointF p1 = g.gapStart[static_cast<std::size_t>(i)];
        const int xShift = i == 0 ? W : (i == 1 ? W / 2 : 0);
        g.labels[static_cast<std::size_t>(i + 1)] = label(
            static_cast<int>(p1.x() - xShift), static_cast<int>(p1.y() - H), QStringLiteral("%1%").arg(25 * (i + 1)));
    }
    g.labels[4] = label(static_cast<int>(cx + r), static_cast<int>(cy - H / 2), QStringLiteral("100%"));
    return g;
}

} // namespace

SGaugeLayout CMyPanel::Layout(const QSize& size, const QFontMetrics& metrics)
{
    // "100%" is wider than the 30 pixels beside the dial: the dial gives way
    // until the labels at both ends fit.
    int side = 30;
    SGaugeLayout g = LayoutWithSide(size, metrics, side);
    for (int tries = 0; tries < 4; ++tries) {
        int overflow = 0;
        for (const SGaugeLabel& l : g.labels)
            overflow = std::max({overflow, -l.rcInk.left(), l.rcInk.right() - (size.width() - 1)});
        if (overflow == 0 || 2 * (side + overflow) >= size.width())
            break;
        side += overflow;
        g = LayoutWithSide(size, metrics, side);
    }
    return g;
}

void CMyPanel::DrawScale(QPainter& dc)
{
    dc.setFont(LabelFont());
    const QFontMetrics metrics(dc.font());
    const SGaugeLayout g = Layout(size(), metrics);
    const int L = g.nSide;
    const int T = g.nTop;
    const int w = g.nWidth;
    const QRectF outerBox(L, T, w, w);
    m_nCenterX = g.nCenterX;
    m_nCenterY = g.nCenterY;
    m_nRadius = g.nRadius;
    const QRectF innerBox(L + 20, T + 20, w - 40, w - 40);

    const QPainterPath outer = Ellipse(outerBox);
    const QPainterPath band = outer.subtracted(Ellipse(innerBox));

    // Three gaps with parallel sides: each strip runs from a 4-degree chord of
    // the outer circle along the perpendiculars to the chord to the vertical
    // through the centre, so the gaps keep their width across the band.
    const double cx = m_nCenterX;
    const double cy = m_nCenterY;
    const double r = m_nRadius;
    QPainterPath strips;
    for (int i = 0; i < 3; ++i) {
        const double a2 = (46.0 * i + 42.0) * kDegToRad + 4.0 * kDegToRad;
        const QPointF p1 = g.gapStart[static_cast<std::size_t>(i)];
        const QPointF p2(cx - std::cos(a2) * r, cy - std::sin(a2) * r);
        const double s = (p2.y() - p1.y()) / (p2.x() - p1.x());
        QPointF p3;
        QPointF p4;
        if (std::fabs(s) >= 0.00001) {
            p3 = QPointF(cx, p2.y() - (cx - p2.x()) / s);
            p4 = QPointF(cx, p1.y() - (cx - p1.x()) / s);
        } else {
            p3 = QPointF(p2.x(), cy);
            p4 = QPointF(p1.x(), cy);
        }
        QPainterPath strip;
        strip.addPolygon(QPolygonF({p1, p2, p3, p4}));
        strip.closeSubpath();
        strips.addPath(strip);
    }

    dc.setPen(Qt::black);
    for (const SGaugeLabel& l : g.labels)
        dc.drawText(l.origin + QPoint(0, metrics.ascent()), l.strText);

    // The band in four colours, cut by the gaps.
    dc.setPen(Qt::NoPen);
    const QPainterPath bandClip = band.subtracted(strips);
    const QRectF pieBox(L + 1, T + 1, w - 2, w - 2);
    for (int k = 0; k < 4; ++k)
        dc.fillPath(Pie(pieBox, kSegmentStart[k], kSegmentSweep).intersected(bandClip), SegmentColour(k));

    // A 12-pixel arc over the inner part of each segment smooths the band's
    // inner edge.
    const QPainterPath arcClip = outer.subtracted(strips);
    const QRectF arcBox(L + 14, T + 14, w - 28, w - 28);
    QPainterPathStroker stroker;
    stroker.setWidth(12);
    stroker.setCapStyle(Qt::FlatCap);
    for (int k = 0; k < 4; ++k) {
        const QPainterPath stroke = stroker.createStroke(Arc(arcBox, kSegmentStart[k], kSegmentSweep));
        dc.fillPath(stroke.intersected(arcClip), SegmentColour(k));
    }
}

void CMyPanel::DrawNeedle(QPainter& dc)
{
    // The needle is drawn pointing up in a frame whose y axis points up, then
    // turned by the angle: counter-clockwise on the screen for positive angles.
    const double r = m_nRadius;
    const QPolygonF outline({{-4, 0}, {-2, r - 2}, {0, r}, {2, r - 2}, {4, 0}, {-4, 0}});
    QTransform turn;
    turn.rotate(m_fAngle);
    const QTransform world(1, 0, 0, -1, m_nCenterX, m_nCenterY);

    QPainterPath needle;
    needle.addPolygon(world.map(turn.map(outline)));
    needle.closeSubpath();
    dc.fillPath(needle, QColor(25, 25, 25));
}

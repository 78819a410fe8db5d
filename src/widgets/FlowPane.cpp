#include "widgets/FlowPane.h"

#include "model/NearestSample.h"
#include "platform/WallClock.h"
#include "widgets/BackPicture.h"
#include "widgets/ChartScale.h"

#include <QFontMetrics>
#include <QMouseEvent>
#include <QPaintEvent>
#include <QPainter>

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdio>

namespace {

const QColor kCurveColour(255, 0, 0);
const QColor kAreaColour(255, 0, 0, 30);
const QColor kCursorColour(255, 255, 0);

// Layout templates: the power labels' widest text, the time caption's room at
// the right, and the room the cursor read-out may take.
const QString kLabelTemplate = QStringLiteral("-0.0000000");
const QString kCaptionTemplate = QString::fromUtf8("\xE6\x97\xB6\xE9\x97\xB4");
const QString kCursorTemplate = QStringLiteral("2011-11-24 12-10-10 5000.1");
const QString kTimeCaption = QStringLiteral("Time");
constexpr int kCaptionOffset = 15; // "Time" starts this far right of the axis end

// Text placed by its top-left corner, as the chart lays out all its texts.
void TextOut(QPainter& dc, int x, int y, const QString& text)
{
    dc.drawText(x, y + QFontMetrics(dc.font()).ascent(), text);
}

QString ClockText(std::int64_t seconds)
{
    const platform::LocalTime t = platform::ToLocal(seconds);
    char text[16];
    std::snprintf(text, sizeof text, "%02d:%02d:%02d", t.nHour % 100, t.nMinute % 100, t.nSecond % 100);
    return QString::fromLatin1(text);
}

} // namespace

// Pixel positions of samples for one set of ranges and one plot rectangle.
struct CFlowPane::SMapping {
    SPlotRect rc;
    std::uint32_t dwFirst = 0;
    double dXMinMs = 0.0; // (int)(minimum minute x 60000)
    double dXScale = 0.0; // pixels per millisecond
    double dYMin = 0.0;
    double dYScale = 0.0; // pixels per watt

    int X(std::uint32_t dwTime) const
    {
        const double dOffset = static_cast<double>(static_cast<std::uint32_t>(dwTime - dwFirst)) - dXMinMs;
        return rc.x0 + TruncToInt(dOffset * dXScale);
    }
    int Y(double dValue) const
    {
        const int y = rc.y1 - TruncToInt((dValue - dYMin) * dYScale);
        return std::max(rc.y0, std::min(y, rc.y1));
    }
};

CFlowPane::CFlowPane(QWidget* pParent) : CBlackWnd(pParent) {}

CFlowPane::SMapping CFlowPane::Mapping(const SPlotRect& rc) const
{
    SMapping map;
    map.rc = rc;
    map.dwFirst = m_arTime.empty() ? 0 : m_arTime.front();
    map.dXMinMs = static_cast<double>(TruncToInt(m_dXMin * 60000.0));
    map.dXScale = TimeRangeValid() ? (rc.x1 - rc.x0) / ((m_dXMax - m_dXMin) * 60000.0) : 0.0;
    map.dYMin = m_dYMin;
    map.dYScale = (rc.y1 - rc.y0) / (m_dYMax - m_dYMin);
    return map;
}

void CFlowPane::UpdateLayout()
{
    const QFontMetrics metrics(font());
    const int nLabelWidth = metrics.horizontalAdvance(kLabelTemplate);
    const int nLabelHeight = metrics.height();
    m_rcPlot.x0 = nLabelWidth;
    // The room right of the time axis is two widths of a two-character
    // caption; with a font that lacks those glyphs it still fits "Time".
    const int nCaptionRoom = std::max(2 * metrics.horizontalAdvance(kCaptionTemplate),
                                      kCaptionOffset + metrics.horizontalAdvance(kTimeCaption) + 2);
    m_rcPlot.x1 = width() - nCaptionRoom;
    m_rcPlot.y0 = nLabelHeight;
    m_rcPlot.y1 = height() - 2 * nLabelHeight;
    m_sizeLayout = size();
}

void CFlowPane::EnsureLayout()
{
    // A hidden widget gets its resize event only when it is shown.
    if (m_sizeLayout != size())
        UpdateLayout();
}

const SPlotRect& CFlowPane::PlotRect()
{
    EnsureLayout();
    return m_rcPlot;
}

int CFlowPane::SampleX(std::size_t i)
{
    EnsureLayout();
    return Mapping(m_rcPlot).X(m_arTime.at(i));
}

int CFlowPane::SampleY(std::size_t i)
{
    EnsureLayout();
    return Mapping(m_rcPlot).Y(m_arValue.at(i));
}

int CFlowPane::NearestSample(double dMinute) const
{
    return FindNearestSample(m_arTime.data(), m_arTime.size(), dMinute);
}

void CFlowPane::InvalidateAll()
{
    m_bCurveValid = false;
    update();
}

void CFlowPane::AddPoint(std::uint32_t dwTime, double dValue)
{
    m_arValue.push_back(static_cast<float>(dValue));
    m_arTime.push_back(dwTime);
    EnsureLayout();

    const std::size_t i = m_arTime.size() - 1;
    const SMapping map = Mapping(m_rcPlot);
    const int x = map.X(dwTime);
    // An empty time range shows nothing: every sample counts as past its end.
    if (!TimeRangeValid() || x > m_rcPlot.x1) {
        if (!m_bTracking)
            return;
        m_dXMax = SampleMinute(m_arTime.data(), i) + (m_dXMax - m_dXMin) / 7.0;
        InvalidateAll();
        return;
    }
    // With a full redraw pending the new sample is drawn with all the others.
    if (!m_bCurveValid)
        return;

    const int y = map.Y(dValue);
    const QRect plot(QPoint(m_rcPlot.x0, m_rcPlot.y0), QPoint(m_rcPlot.x1, m_rcPlot.y1));
    QPainter dc(&m_imgCurve);
    dc.setClipRect(plot);
    dc.setPen(QPen(kCurveColour, 0));
    QRect changed;
    if (i == 0) {
        dc.drawPoint(x, y);
        changed = QRect(x, y, 1, 1);
    } else {
        const int xPrev = map.X(m_arTime[i - 1]);
        const int yPrev = map.Y(m_arValue[i - 1]);
        dc.drawLine(xPrev, yPrev, x, y);
        const int top = std::min(yPrev, y);
        if (x > xPrev) {
            dc.setClipRect(QRect(xPrev, top, x - xPrev, m_rcPlot.y1 - top), Qt::IntersectClip);
            dc.setPen(Qt::NoPen);
            dc.setBrush(kAreaColour);
            const QPoint area[] = {{xPrev, m_rcPlot.y1}, {xPrev, yPrev}, {x, y}, {x, m_rcPlot.y1}};
            dc.drawPolygon(area, 4);
        }
        changed = QRect(QPoint(std::min(xPrev, x), top), QPoint(std::max(xPrev, x), m_rcPlot.y1));
    }
    dc.end();

    QRegion dirty(changed & rect());
    // The read-out is drawn over the image at every paint; redraw it whole.
    if (m_bCursor)
        dirty += CursorArea(m_nCursorX);
    update(dirty);
}

void CFlowPane::SetYRange(double dMin, double dMax)
{
    if (!std::isfinite(dMin) || !std::isfinite(dMax) || !(dMax > dMin))
        return;
    m_dYMin = dMin;
    m_dYMax = dMax;
    InvalidateAll();
}

void CFlowPane::SetXRange(double dFrom, double dTo)
{
    bool bKeepFrom = false;
    if (!m_arTime.empty() && std::isfinite(dFrom)) {
        const double dFromMs = dFrom * 60000.0;
        if (dFromMs > static_cast<double>(INT_MIN) - 1.0 && dFromMs < static_cast<double>(INT_MAX) + 1.0) {
            // Compared as unsigned: a negative start fails as well.
            const auto dwFrom = static_cast<std::uint32_t>(static_cast<int>(dFromMs));
            bKeepFrom = dwFrom < static_cast<std::uint32_t>(m_arTime.back() - m_arTime.front());
        }
    }
    if (!bKeepFrom)
        dFrom = 0.0;
    if (!std::isfinite(dTo) || !(dTo > dFrom))
        return;
    m_dXMin = dFrom;
    m_dXMax = dTo;
    InvalidateAll();
}

void CFlowPane::ShowCursor(bool bShow)
{
    EnsureLayout();
    m_bCursor = bShow;
    update(CursorArea(m_nCursorX));
}

void CFlowPane::Clear()
{
    std::vector<float>().swap(m_arValue);
    std::vector<std::uint32_t>().swap(m_arTime);
}

void CFlowPane::paintEvent(QPaintEvent* pEvent)
{
    if (size().isEmpty())
        return;
    if (!m_bCurveValid || m_imgCurve.size() != size())
        RenderCurveImage();
    QPainter dc(this);
    for (const QRect& part : pEvent->region())
        dc.drawImage(part.topLeft(), m_imgCurve, part);
    if (m_bCursor)
        DrawCursor(dc);
}

void CFlowPane::RenderCurveImage()
{
    EnsureLayout();
    m_ptBackOrg = BackOrigin(*this);
    if (m_imgCurve.size() != size())
        m_imgCurve = QImage(size(), QImage::Format_RGB32);
    // Where the picture is missing or too small the window colour shows.
    m_imgCurve.fill(palette().color(QPalette::Window));
    QPainter dc(&m_imgCurve);
    CopyBackPiece(dc, m_bmpBack, m_ptBackOrg, size());
    dc.setFont(font());
    Draw(dc, m_rcPlot, 0);
    m_bCurveValid = true;
}

void CFlowPane::Draw(QPainter& dc, const SPlotRect& rc, int)
{
    DrawAxes(dc, rc);
    if (m_arValue.empty() || !TimeRangeValid())
        return;

    const int nCount = static_cast<int>(m_arValue.size());
    int nEnd = NearestSample(m_dXMax);
    if (nEnd < 0)
        nEnd = nCount;
    int nStart = NearestSample(m_dXMin);
    if (nStart < 0)
        nStart = 0;
    if (nEnd <= nStart)
        return;

    const SMapping map = Mapping(rc);
    const int xFirst = std::max(map.X(m_arTime[nStart]), rc.x0);
    const int yFirst = map.Y(m_arValue[nStart]);

    // One pixel column takes only the samples that widen its vertical range:
    // a day of samples costs one pass but at most a few points per column.
    QPolygon curve;
    curve.reserve(std::min(nEnd - nStart, 4 * std::max(rc.x1 - rc.x0, 1) + 4));
    curve << QPoint(xFirst, yFirst);
    int xLast = xFirst;
    int yColumnMin = yFirst;
    int yColumnMax = yFirst;
    int yTop = yFirst;
    for (int i = nStart + 1; i < nEnd; ++i) {
        const int x = std::max(map.X(m_arTime[i]), rc.x0);
        const int y = map.Y(m_arValue[i]);
        if (x == xLast) {
            if (y > yColumnMax)
                yColumnMax = y;
            else if (y < yColumnMin)
                yColumnMin = y;
            else
                continue;
        } else {
            xLast = x;
            yColumnMin = yColumnMax = y;
        }
        curve << QPoint(x, y);
        yTop = std::min(yTop, y);
    }

    // The curve keeps off the axis lines.
    dc.save();
    dc.setRenderHint(QPainter::Antialiasing, false);
    dc.setClipRect(QRect(rc.x0 + 1, rc.y0 + 3, rc.x1 - rc.x0 - 1, rc.y1 - rc.y0 - 3));
    dc.setPen(QPen(kCurveColour, 0));
    dc.drawPolyline(curve);

    // The area under the curve, tinted.
    if (xLast > xFirst) {
        QPolygon area;
        area.reserve(curve.size() + 3);
        area << QPoint(xFirst, rc.y1);
        area += curve;
        area << QPoint(xLast, rc.y1) << QPoint(xFirst, rc.y1);
        dc.setClipRect(QRect(xFirst, yTop, xLast - xFirst, rc.y1 - yTop));
        dc.setPen(Qt::NoPen);
        dc.setBrush(kAreaColour);
        dc.drawPolygon(area, Qt::OddEvenFill);
    }
    dc.restore();
}

void CFlowPane::DrawAxes(QPainter& dc, const SPlotRect& rc)
{
    dc.save();
    dc.setRenderHint(QPainter::Antialiasing, false);
    dc.setPen(QPen(Qt::black, 0));
    dc.setBrush(Qt::NoBrush);
    const QFontMetrics metrics(dc.font());
    const int W0 = metrics.horizontalAdvance(QLatin1Char('0'));
    const int H0 = metrics.height();

    // Power axis with its arrow and caption.
    dc.drawLine(rc.x0, rc.y0 - 4, rc.x0, rc.y1);
    const QPoint powerArrow[] = {{rc.x0 - 3, rc.y0 + 2}, {rc.x0, rc.y0 - 4}, {rc.x0 + 3, rc.y0 + 3}};
    dc.drawPolyline(powerArrow, 3);
    TextOut(dc, rc.x0 - W0, rc.y0 - H0 - 2, QStringLiteral("Power(W)"));

    // Power ticks in rounded steps, labels right-aligned against the ticks.
    const SRoundedStep step = RoundedStep(m_dYMin, m_dYMax);
    const double ys = (rc.y1 - rc.y0) / (m_dYMax - m_dYMin);
    const auto kFirst = static_cast<long long>(std::floor(m_dYMin / step.dStep));
    const auto kLast = static_cast<long long>(std::ceil(m_dYMax / step.dStep));
    for (long long k = kFirst; k <= kLast; ++k) {
        const double v = static_cast<double>(k) * step.dStep;
        if (v > m_dYMax)
            break;
        const int y = rc.y1 - TruncToInt((v - m_dYMin) * ys);
        dc.drawLine(rc.x0, y, rc.x0 - W0, y);
        char label[64];
        std::snprintf(label, sizeof label, step.strFormat.c_str(), v);
        const QString text = QString::fromLatin1(label);
        TextOut(dc, rc.x0 - W0 - metrics.horizontalAdvance(text), y - H0 / 2, text);
    }

    // Time axis with its arrow and caption.
    dc.drawLine(rc.x0, rc.y1, rc.x1 + 10, rc.y1);
    const QPoint timeArrow[] = {{rc.x1 + 5, rc.y1 - 3}, {rc.x1 + 10, rc.y1}, {rc.x1 + 4, rc.y1 + 5}};
    dc.drawPolyline(timeArrow, 3);
    TextOut(dc, rc.x1 + kCaptionOffset, rc.y1 - 10, kTimeCaption);

    // Time ticks; every second one (counted from the first, inside the axis
    // or not) carries the clock time.
    if (TimeRangeValid()) {
        const double dStep = TimeAxisStep(m_dXMin, m_dXMax);
        const auto mFirst = static_cast<long long>(std::floor(m_dXMin / dStep));
        const auto mLast = static_cast<long long>(std::ceil(m_dXMax / dStep));
        for (long long k = mFirst; k <= mLast; ++k) {
            const double m = static_cast<double>(k) * dStep;
            const int x = rc.x0 + TruncToInt((m - m_dXMin) * (rc.x1 - rc.x0) / (m_dXMax - m_dXMin));
            if (x < rc.x0 || x > rc.x1)
                continue;
            dc.drawLine(x, rc.y1 + 2, x, rc.y1);
            if ((k - mFirst) % 2 == 0) {
                const QString text = ClockText(m_tmBase + TruncToInt(m * 60.0));
                TextOut(dc, x - metrics.horizontalAdvance(text) / 2, rc.y1 + 2, text);
            }
        }
    }
    dc.restore();
}

double CFlowPane::MinuteAt(int x) const
{
    if (m_rcPlot.x1 <= m_rcPlot.x0 || !TimeRangeValid())
        return std::nan("");
    return m_dXMin + (m_dXMax - m_dXMin) * (x - m_rcPlot.x0) / (m_rcPlot.x1 - m_rcPlot.x0);
}

QString CFlowPane::CursorText(int x)
{
    EnsureLayout();
    const double t = MinuteAt(x);
    const int nSample = NearestSample(t);
    if (nSample < 0)
        return QString();
    char text[96];
    std::snprintf(text, sizeof text, "%s %3.1f",
                  ClockText(m_tmBase + static_cast<std::int64_t>(t * 60.0)).toLatin1().constData(),
                  static_cast<double>(m_arValue[nSample]));
    return QString::fromLatin1(text);
}

void CFlowPane::DrawCursor(QPainter& dc)
{
    const QString text = CursorText(m_nCursorX);
    if (text.isEmpty())
        return;
    dc.save();
    dc.setPen(QPen(kCursorColour, 1));
    dc.drawLine(m_nCursorX, m_rcPlot.y1 - 1, m_nCursorX, m_rcPlot.y0);
    dc.setPen(Qt::black);
    dc.setFont(font());
    TextOut(dc, m_nCursorX + 2, m_rcPlot.y0, text);
    dc.restore();
}

QRegion CFlowPane::CursorArea(int x) const
{
    const QFontMetrics metrics(font());
    QRegion area(QRect(x, m_rcPlot.y0, 1, m_rcPlot.y1 - m_rcPlot.y0));
    area += QRect(x + 1, m_rcPlot.y0, metrics.horizontalAdvance(kCursorTemplate), metrics.height());
    return area;
}

void CFlowPane::mouseReleaseEvent(QMouseEvent* pEvent)
{
    if (pEvent->button() == Qt::LeftButton) {
        EnsureLayout();
        const int x = static_cast<int>(pEvent->position().x());
        if (NearestSample(MinuteAt(x)) >= 0) {
            update(CursorArea(m_nCursorX));
            m_nCursorX = x;
            // The read-out is clipped to the repainted area: repaint its new place too.
            update(CursorArea(m_nCursorX));
        }
    }
    QWidget::mouseReleaseEvent(pEvent);
}

void CFlowPane::mouseDoubleClickEvent(QMouseEvent* pEvent)
{
    pEvent->accept();
}

void CFlowPane::resizeEvent(QResizeEvent* pEvent)
{
    QWidget::resizeEvent(pEvent);
    UpdateLayout();
    InvalidateAll();
}

void CFlowPane::moveEvent(QMoveEvent* pEvent)
{
    QWidget::moveEvent(pEvent);
    // The block of the picture under the chart has changed.
    InvalidateAll();
}

void CFlowPane::changeEvent(QEvent* pEvent)
{
    QWidget::changeEvent(pEvent);
    if (pEvent->type() == QEvent::FontChange) {
        UpdateLayout();
        InvalidateAll();
    }
}

#pragma once
#include "widgets/BlackWnd.h"

#include <QRegion>
#include <QString>

#include <cstddef>
#include <cstdint>
#include <vector>

// The day power curve: output power in watts over the time of day, drawn in
// red with the area under it tinted, on the view's background picture. The
// power axis is labelled in rounded steps, the time axis in clock times. With
// tracking on, a sample past the right end widens the time range. With the
// cursor read-out on, a yellow line shows the time and value of the sample
// under the last click.
//
// Time range: minutes after the first sample; the first sample's wall-clock
// time is m_tmBase. Sample times are 32-bit millisecond ticks, compared as
// unsigned differences from the first sample, so one counter wrap is harmless.
//
// Drawing: the whole picture except the cursor read-out lives in an off-screen
// image. A new sample extends that image by one segment and repaints only the
// rectangle it touched, so a sample costs the same however long the day is;
// only a range or size change redraws the whole curve.
class CFlowPane : public CBlackWnd {
    Q_OBJECT
public:
    explicit CFlowPane(QWidget* pParent = nullptr);

    // Appends a sample (tick time in ms, power in W) and draws it.
    void AddPoint(std::uint32_t dwTime, double dValue);
    // Power range in watts. A range whose end is not above its start is
    // ignored and the previous one kept.
    void SetYRange(double dMin, double dMax);
    // Time range in minutes after the first sample. A start that is negative,
    // at or past the last sample, or given before any sample becomes 0; a range
    // whose end is then not above its start is ignored.
    void SetXRange(double dFrom, double dTo);
    // Switches the cursor read-out on or off.
    void ShowCursor(bool bShow);
    // Removes all samples and gives their memory back; does not repaint.
    void Clear();

    // Axes, curve and tinted area for the plot rectangle rc.
    void Draw(QPainter& dc, const SPlotRect& rc, int nReserved) override;

    // Written by the owner: follow the newest sample, and the wall-clock time
    // (seconds since 1970) of the first sample.
    bool m_bTracking = true;
    std::int64_t m_tmBase = 0;

    double YMin() const { return m_dYMin; }
    double YMax() const { return m_dYMax; }
    double XMin() const { return m_dXMin; }
    double XMax() const { return m_dXMax; }
    const std::vector<float>& Values() const { return m_arValue; }
    const std::vector<std::uint32_t>& Times() const { return m_arTime; }
    bool CursorShown() const { return m_bCursor; }
    int CursorX() const { return m_nCursorX; }

    // The plot rectangle for the present size and font.
    const SPlotRect& PlotRect();
    // Pixel position of sample i in the present ranges (y clamped to the plot).
    int SampleX(std::size_t i);
    int SampleY(std::size_t i);
    // The sample nearest to a minute of the curve, -1 when none.
    int NearestSample(double dMinute) const;
    // The read-out text for the cursor at x ("HH:MM:SS value"), empty when no
    // sample is near that x.
    QString CursorText(int x);

protected:
    void paintEvent(QPaintEvent* pEvent) override;
    void resizeEvent(QResizeEvent* pEvent) override;
    void moveEvent(QMoveEvent* pEvent) override;
    void changeEvent(QEvent* pEvent) override;
    void mouseReleaseEvent(QMouseEvent* pEvent) override;
    void mouseDoubleClickEvent(QMouseEvent* pEvent) override;

private:
    struct SMapping;
    SMapping Mapping(const SPlotRect& rc) const;
    bool TimeRangeValid() const { return m_dXMax > m_dXMin; }
    void UpdateLayout();
    void EnsureLayout();
    void InvalidateAll();
    void RenderCurveImage();
    void DrawAxes(QPainter& dc, const SPlotRect& rc);
    void DrawCursor(QPainter& dc);
    double MinuteAt(int x) const;
    QRegion CursorArea(int x) const;

    SPlotRect m_rcPlot;
    double m_dYMin = 0.0;
    double m_dYMax = 0.2;
    std::vector<float> m_arValue;
    std::vector<std::uint32_t> m_arTime;
    double m_dXMax = 0.0;
    double m_dXMin = 0.0;
    int m_nCursorX = 0;
    bool m_bCursor = false;
    QPoint m_ptBackOrg;

    QImage m_imgCurve;          // everything but the cursor read-out
    bool m_bCurveValid = false; // false: the next paint redraws m_imgCurve
    QSize m_sizeLayout{-1, -1}; // size that m_rcPlot was laid out for
};

#pragma once
#include <QFont>
#include <QImage>
#include <QPointF>
#include <QRect>
#include <QString>
#include <QWidget>

#include <array>

class QFontMetrics;

// One label of the gauge's scale: its text drawn with its top-left corner
// at `origin`, and the box its ink takes by the font's metrics.
struct SGaugeLabel {
    QString strText;
    QPoint origin;
    QRect rcInk;
};

// Where the gauge draws its dial and its labels at a given size.
struct SGaugeLayout {
    int nSide = 30; // space left and right of the dial: room for the end labels
    int nTop = 30;  // space above the dial
    int nWidth = 0; // the dial's diameter
    int nCenterX = 0;
    int nCenterY = 0;
    int nRadius = 0;
    std::array<QPointF, 3> gapStart;   // where each gap meets the outer circle, on its left side
    std::array<SGaugeLabel, 5> labels; // "0%", "25%", "50%", "75%", "100%"
};

// The half-circle gauge of output power in percent of the rated power: a
// four-coloured band with three gaps, the labels 0% to 100%, and a dark needle
// turning about the dial's centre. It sits on the view's background picture
// and repaints only when the needle has to move.
class CMyPanel : public QWidget {
    Q_OBJECT
public:
    // Loads "2.bmp" from the working directory.
    explicit CMyPanel(QWidget* pParent = nullptr);

    // 0..100 is the full travel from left to right; values outside are not
    // clamped (120 % passes below the right end of the dial).
    void SetValue(int nPercent);

    // Needle angle in degrees: 90 at 0 %, 0 at 50 %, -90 at 100 %.
    float Angle() const { return m_fAngle; }
    // The label font: Arial, 16 pixels from ascent to descent, bold.
    static QFont LabelFont();
    // The dial and labels for a gauge of `size` whose labels have `metrics`.
    // The dial keeps 30 pixels to each side unless an end label needs more,
    // so every label is whole inside the gauge.
    static SGaugeLayout Layout(const QSize& size, const QFontMetrics& metrics);

    // Dial geometry as the last paint computed it.
    int Radius() const { return m_nRadius; }
    int CenterX() const { return m_nCenterX; }
    int CenterY() const { return m_nCenterY; }

protected:
    void paintEvent(QPaintEvent* pEvent) override;

private:
    void EraseBackground(QPainter& dc);
    void DrawScale(QPainter& dc);
    void DrawNeedle(QPainter& dc);

    float m_fAngle = 90.0f;
    QImage m_bmpBack;
    int m_nRadius = 0;
    int m_nCenterX = 0;
    int m_nCenterY = 0;
};

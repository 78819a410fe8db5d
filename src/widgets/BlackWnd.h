#pragma once
#include <QImage>
#include <QWidget>

class QPainter;

// Plot rectangle of a chart in client pixels: x0, y0 top left, x1, y1 bottom
// right (the axes run along x0 and y1).
struct SPlotRect {
    int x0 = 0;
    int y0 = 0;
    int x1 = 0;
    int y1 = 0;
};

// Base of the self-drawn charts: owns the background picture "2.bmp" and
// leaves all painting (background included) to the chart, which draws its
// content through Draw.
class CBlackWnd : public QWidget {
    Q_OBJECT
public:
    // Loads "2.bmp" from the working directory.
    explicit CBlackWnd(QWidget* pParent = nullptr);

    // Draws the chart's content into dc for the plot rectangle rc. nReserved
    // is always 0.
    virtual void Draw(QPainter& dc, const SPlotRect& rc, int nReserved) = 0;

protected:
    QImage m_bmpBack;
};

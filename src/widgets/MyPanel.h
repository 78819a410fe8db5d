#pragma once
#include <QImage>
#include <QWidget>

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

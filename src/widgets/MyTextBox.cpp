#include "widgets/MyTextBox.h"

#include "widgets/BackPicture.h"

#include <QFontMetrics>
#include <QPainter>

CMyTextBox::CMyTextBox(QWidget* pParent) : QWidget(pParent) {}

void CMyTextBox::LoadBackground()
{
    m_bmpBack = LoadBackPicture();
}

void CMyTextBox::SetText(const QString& strText, int nLines)
{
    m_strText = strText;
    m_nLines = nLines;
    update();
}

void CMyTextBox::paintEvent(QPaintEvent*)
{
    QPainter dc(this);
    CopyBackPiece(dc, m_bmpBack, BackOrigin(*this), size());

    // The white veil: the picture shows through at 135/255.
    const int left = 0;
    const int top = 0;
    const int right = width();
    const int bottom = height();
    dc.fillRect(QRect(left, top, right - left, bottom - top), QColor(255, 255, 255, 120));

    // Lines are centred as a block; the block's line height is that of the
    // whole text measured as one line.
    dc.setPen(Qt::black);
    const QFontMetrics metrics(dc.font());
    const int H = metrics.height();
    const int t = (bottom - top - m_nLines * H) / 2;
    const QStringList lines = m_strText.split(QLatin1Char('\n'));
    for (int i = 0; i < m_nLines; ++i) {
        const QString line = i < lines.size() ? lines.at(i) : QString();
        const qsizetype tab = line.indexOf(QLatin1Char('\t'));
        const QString label = tab < 0 ? line : line.left(tab);
        const QString value = tab < 0 ? QString() : line.mid(tab + 1);
        const int y = t + i * H + metrics.ascent();
        if (!value.isEmpty()) {
            dc.drawText(left + (right - left) / 8, y, label);
            dc.drawText(right - (right - left) / 8 - metrics.horizontalAdvance(value), y, value);
        } else {
            dc.drawText((left + right) / 2 - metrics.horizontalAdvance(line) / 2, y, line);
        }
    }
}

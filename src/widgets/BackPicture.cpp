#include "widgets/BackPicture.h"

#include <QFontMetricsF>
#include <QPainter>
#include <QWidget>

#include <algorithm>
#include <cmath>

QImage LoadBackPicture()
{
    QImage picture(QStringLiteral("2.bmp"));
    if (picture.isNull())
        return picture;
    // One opaque 32-bit format, so every copy is a plain block transfer.
    return picture.convertToFormat(QImage::Format_RGB32);
}

QPoint BackOrigin(const QWidget& widget)
{
    return widget.parentWidget() ? widget.pos() : QPoint(0, 0);
}

void CopyBackPiece(QPainter& painter, const QImage& picture, QPoint origin, QSize size)
{
    if (picture.isNull())
        return;
    const QRect source = QRect(origin, size) & picture.rect();
    if (source.isEmpty())
        return;
    painter.drawImage(source.topLeft() - origin, picture, source);
}

QFont CellHeightFont(const QString& strFamily, int nCellHeight, int nWeight)
{
    QFont font(strFamily);
    font.setStyleHint(QFont::SansSerif);
    font.setWeight(static_cast<QFont::Weight>(nWeight));
    font.setPixelSize(nCellHeight);
    const QFontMetricsF metrics(font);
    const double dCell = metrics.ascent() + metrics.descent();
    if (dCell > 0.0)
        font.setPixelSize(std::max(1, static_cast<int>(std::lround(nCellHeight * nCellHeight / dCell))));
    return font;
}

#pragma once
#include <QFont>
#include <QImage>
#include <QPoint>
#include <QSize>

class QPainter;
class QWidget;

// The power view and its widgets share one background picture, "2.bmp" in the
// working directory. Each widget paints the block of it that lies under the
// widget, so the widgets look transparent on the view.

// Loads "2.bmp" from the working directory; a null image when it is missing
// or unreadable.
QImage LoadBackPicture();

// Where a widget's client area lies in its parent's client area: the place of
// its block of the picture. (0, 0) for a widget without a parent.
QPoint BackOrigin(const QWidget& widget);

// Paints the size-sized block of the picture at origin to (0, 0). Whatever lies
// outside the picture (or all of it, for a null picture) is left untouched.
void CopyBackPiece(QPainter& painter, const QImage& picture, QPoint origin, QSize size);

// A font sized like a GDI font with a positive height: ascent plus descent
// (the cell) is nCellHeight pixels, where Qt's pixel size is the em height.
// A missing family falls back to a metric-compatible sans serif.
QFont CellHeightFont(const QString& strFamily, int nCellHeight, int nWeight);

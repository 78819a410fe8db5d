#include "widgets/BlackWnd.h"

#include "widgets/BackPicture.h"

CBlackWnd::CBlackWnd(QWidget* pParent) : QWidget(pParent), m_bmpBack(LoadBackPicture())
{
    // The chart paints every pixel itself; nothing is erased before it.
    setAttribute(Qt::WA_OpaquePaintEvent);
}

#include "app/TabHolder.h"

CTabHolder::CTabHolder(QWidget* pParent) : QTabWidget(pParent)
{
    setObjectName(QString::number(kFirstViewId));
    setDocumentMode(true);
}

void CTabHolder::AddView(const QString& title, int index, QWidget* pView)
{
    pView->setObjectName(QString::number(kFirstViewId + index));
    if (index < count()) {
        QWidget* pOld = widget(index);
        const bool bCurrent = currentIndex() == index;
        removeTab(index);
        insertTab(index, pView, title);
        if (bCurrent)
            setCurrentIndex(index);
        if (pOld != pView)
            pOld->deleteLater();
        return;
    }
    insertTab(index, pView, title);
}

void CTabHolder::SelectView(int index)
{
    if (index < 0 || index >= count())
        return;
    setCurrentIndex(index);
    if (QWidget* pView = widget(index))
        pView->setFocus();
}

QWidget* CTabHolder::View(int index) const
{
    return index >= 0 && index < count() ? widget(index) : nullptr;
}

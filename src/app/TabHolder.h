#pragma once
#include <QString>
#include <QTabWidget>

// The frame's client area: one view per tab. The view of tab i has the
// control id 0xE900 + i.
class CTabHolder : public QTabWidget {
    Q_OBJECT
public:
    static constexpr int kFirstViewId = 0xE900;

    explicit CTabHolder(QWidget* pParent = nullptr);

    // Inserts tab `index` with `pView` under `title`, or renames it and
    // replaces its view when the tab exists.
    void AddView(const QString& title, int index, QWidget* pView);
    // Shows the view of tab `index` and gives it the focus.
    void SelectView(int index);
    // The view of tab `index` (control id 0xE900 + index), or null.
    QWidget* View(int index) const;
};

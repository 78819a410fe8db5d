#pragma once
#include <QImage>
#include <QRect>
#include <QString>
#include <QWidget>

#include <functional>
#include <memory>
#include <string>

#include "live/HistoryPlot.h"

class CEnergyStore;
class CMyTextBox;
class QCheckBox;
class QLabel;
class QPushButton;
struct SHistoryTable;

// The "History" tab: the energy store's days, months and years on the
// view's background picture. A day shows its output power curve (broken
// where minutes are missing), a month a bar per day, a year a bar per month,
// each with its energy; the same period a year before can be drawn beside
// it. Tooltips give the exact figures; the shown period can be saved as CSV
// or as an .xls workbook.
//
// The view reads the store through a connection of its own, opened on the
// first Refresh, on the UI thread: its queries are a day's minutes or a
// month's or year's day rows and take milliseconds, and the store runs in
// WAL mode, so an import or the history writer on another connection never
// holds them up. UI thread only.
class CHistoryView : public QWidget {
    Q_OBJECT
public:
    explicit CHistoryView(QWidget* pParent = nullptr);
    ~CHistoryView() override;

    // The store's file (the window's "zelvan.db"); opened on the next Refresh.
    void SetStorePath(const std::string& path);
    // Reads the shown period again (and the year before, when compared).
    void Refresh();

    void ShowSpan(EHistorySpan span);
    void ShowPeriod(const SHistoryPeriod& period);
    void MoveBack() { ShowPeriod(m_period.Moved(-1)); }
    void MoveForward() { ShowPeriod(m_period.Moved(1)); }
    void SetCompare(bool bCompare);

    // Save the shown period; the file comes from chooseFile (empty: cancelled).
    void OnExportCsv();
    void OnExportXls();
    // Asks for the file to save to; empty hook: the save-file dialog.
    std::function<QString(const QString& filter)> chooseFile;

    const SHistoryPeriod& Period() const { return m_period; }
    const SHistoryFigures& Figures() const { return m_figures; }
    // The year before's figures, when compared (else empty).
    const SHistoryFigures& YearBefore() const { return m_before; }
    bool Compared() const { return m_bCompare; }
    // "No data for this day/month/year" for an empty period, else empty.
    QString Notice() const;
    // The read-out box's text: the period's energy (and peak, of a day).
    QString Summary() const;
    // The tooltip at a point of the view, empty where none.
    QString TipAt(QPoint pos);
    // The plot rectangle (axes along its left and bottom) in view pixels.
    QRect PlotRect() const;
    // The pixel place of bar i (month or year view), and of a day curve point.
    QRect BarRect(int i, bool bYearBefore = false) const;
    QPoint CurvePoint(const SCurvePoint& p) const;

protected:
    bool event(QEvent* pEvent) override;
    void paintEvent(QPaintEvent* pEvent) override;
    void resizeEvent(QResizeEvent* pEvent) override;
    void showEvent(QShowEvent* pEvent) override;

private:
    bool EnsureStore();
    void UpdateControls();
    [[nodiscard]] bool ShownTable(SHistoryTable& table);
    void SaveShown(bool bXls);
    double ChartMaximum() const;
    void DrawAxes(QPainter& dc, const SValueAxis& axis);
    void DrawBars(QPainter& dc, const SValueAxis& axis);
    void DrawCurve(QPainter& dc, const SValueAxis& axis, const SHistoryFigures& figures, bool bYearBefore);

    std::string m_strStorePath;
    std::unique_ptr<CEnergyStore> m_pStore;
    bool m_bStoreTried = false;
    bool m_bPeriodChosen = false;
    SHistoryPeriod m_period;
    SHistoryFigures m_figures;
    SHistoryFigures m_before;
    bool m_bCompare = false;
    QString m_strError; // the store could not answer

    QImage m_imgBack;
    QPushButton* m_pDay = nullptr;
    QPushButton* m_pMonth = nullptr;
    QPushButton* m_pYear = nullptr;
    QPushButton* m_pBack = nullptr;
    QPushButton* m_pForward = nullptr;
    QLabel* m_pTitle = nullptr;
    QCheckBox* m_pCompare = nullptr;
    QPushButton* m_pCsv = nullptr;
    QPushButton* m_pXls = nullptr;
    CMyTextBox* m_pSummary = nullptr;
};

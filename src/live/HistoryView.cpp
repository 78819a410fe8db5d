#include "live/HistoryView.h"

#include <QCheckBox>
#include <QFileDialog>
#include <QFontMetrics>
#include <QHelpEvent>
#include <QLabel>
#include <QPainter>
#include <QPainterPath>
#include <QPushButton>
#include <QSaveFile>
#include <QToolTip>

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "outputs/EnergyStore.h"
#include "outputs/HistoryTable.h"
#include "platform/MessageBox.h"
#include "platform/WallClock.h"
#include "widgets/BackPicture.h"
#include "widgets/ChartScale.h"
#include "widgets/MyTextBox.h"

namespace {

// The power chart's colours: the period in red over a red tint, the year
// before in a dark grey beside or under it.
const QColor kCurveColour(255, 0, 0);
const QColor kAreaColour(255, 0, 0, 30);
const QColor kBarColour(255, 0, 0, 110);
const QColor kBeforeColour(70, 70, 70);
const QColor kBeforeFill(70, 70, 70, 70);

constexpr const char* kCaption = "Zelvan";
constexpr int kMargin = 10;
constexpr int kBarTop = 8;       // the row of buttons
constexpr int kChartTop = 44;    // the chart below it
constexpr int kSummaryWidth = 230;
constexpr int kSummaryHeight = 62;
constexpr double kTipMinutes = 3.0; // a curve tooltip needs a reading this near

const char* const kMonthNames[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                   "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};

void TextOut(QPainter& dc, int x, int y, const QString& text)
{
    dc.drawText(x, y + QFontMetrics(dc.font()).ascent(), text);
}

QString Figure(const char* format, double v)
{
    return QString::asprintf(format, v);
}

QString ClockText(std::int64_t t)
{
    const platform::LocalTime l = platform::ToLocal(t);
    return QString::asprintf("%02d:%02d", l.nHour % 100, l.nMinute % 100);
}

QString MinuteText(double dMinute)
{
    const int n = std::max(0, static_cast<int>(dMinute));
    return QString::asprintf("%02d:%02d", (n / 60) % 100, n % 60);
}

const char* SpanWord(EHistorySpan span)
{
    return span == EHistorySpan::kDay ? "day" : span == EHistorySpan::kMonth ? "month" : "year";
}

// The slot's own period: a day of the month or a month of the year.
SHistoryPeriod SlotPeriod(const SHistoryPeriod& p, int i)
{
    return p.eSpan == EHistorySpan::kMonth ? SHistoryPeriod::Day(p.nYear, p.nMonth, i + 1)
                                           : SHistoryPeriod::Month(p.nYear, i + 1);
}

// The reading nearest to a minute of the day, null when none is within reach.
const SCurvePoint* NearestPoint(const SHistoryFigures& f, double dMinute)
{
    const SCurvePoint* pBest = nullptr;
    for (const auto& run : f.curve)
        for (const SCurvePoint& p : run)
            if (std::fabs(p.dMinute - dMinute) <= kTipMinutes &&
                (pBest == nullptr || std::fabs(p.dMinute - dMinute) < std::fabs(pBest->dMinute - dMinute)))
                pBest = &p;
    return pBest;
}

} // namespace

CHistoryView::CHistoryView(QWidget* pParent) : QWidget(pParent)
{
    m_imgBack = LoadBackPicture();
    const auto button = [this](const QString& text, const QString& tip) {
        auto* p = new QPushButton(text, this);
        p->setToolTip(tip);
        p->setAutoDefault(false);
        return p;
    };
    m_pDay = button(QStringLiteral("Day"), QStringLiteral("A day's power curve"));
    m_pMonth = button(QStringLiteral("Month"), QStringLiteral("A month's energy, a bar per day"));
    m_pYear = button(QStringLiteral("Year"), QStringLiteral("A year's energy, a bar per month"));
    for (QPushButton* p : {m_pDay, m_pMonth, m_pYear})
        p->setCheckable(true);
    m_pBack = button(QStringLiteral("< Back"), QString());
    m_pForward = button(QStringLiteral("Forward >"), QString());
    m_pTitle = new QLabel(this);
    m_pTitle->setAlignment(Qt::AlignCenter);
    m_pTitle->setAccessibleName(QStringLiteral("Shown period"));
    QFont bold = m_pTitle->font();
    bold.setBold(true);
    m_pTitle->setFont(bold);
    m_pCompare = new QCheckBox(QStringLiteral("Compare with the same period a year before"), this);
    m_pCsv = button(QStringLiteral("Export CSV..."), QStringLiteral("Save the shown period as CSV"));
    m_pXls = button(QStringLiteral("Export .xls..."), QStringLiteral("Save the shown period as a workbook"));
    m_pSummary = new CMyTextBox(this);
    m_pSummary->setAccessibleName(QStringLiteral("Period energy"));
    m_pSummary->LoadBackground();
    setAccessibleName(QStringLiteral("Energy history"));

    connect(m_pDay, &QPushButton::clicked, this, [this] { ShowSpan(EHistorySpan::kDay); });
    connect(m_pMonth, &QPushButton::clicked, this, [this] { ShowSpan(EHistorySpan::kMonth); });
    connect(m_pYear, &QPushButton::clicked, this, [this] { ShowSpan(EHistorySpan::kYear); });
    connect(m_pBack, &QPushButton::clicked, this, [this] { MoveBack(); });
    connect(m_pForward, &QPushButton::clicked, this, [this] { MoveForward(); });
    connect(m_pCompare, &QCheckBox::toggled, this, [this](bool bOn) { SetCompare(bOn); });
    connect(m_pCsv, &QPushButton::clicked, this, [this] { OnExportCsv(); });
    connect(m_pXls, &QPushButton::clicked, this, [this] { OnExportXls(); });

    const platform::LocalTime now = platform::ToLocal(platform::WallNow());
    m_period = SHistoryPeriod::Day(now.nYear, now.nMonth, now.nDay);
    UpdateControls();
}

CHistoryView::~CHistoryView() = default;

void CHistoryView::SetStorePath(const std::string& path)
{
    m_strStorePath = path;
    m_pStore.reset();
    m_bStoreTried = false;
}

bool CHistoryView::EnsureStore()
{
    if (m_pStore)
        return true;
    if (m_bStoreTried || m_strStorePath.empty())
        return false;
    m_bStoreTried = true;
    auto store = std::make_unique<CEnergyStore>();
    const SStoreResult r = store->Open(m_strStorePath);
    if (!r.Ok()) {
        m_strError = QString::fromStdString(r.strMessage);
        return false;
    }
    m_pStore = std::move(store);
    // The first look goes to the newest day the store holds.
    std::int64_t tmFirst = 0, tmLast = 0;
    if (!m_bPeriodChosen && m_pStore->Span(tmFirst, tmLast).Ok() && tmLast != 0) {
        const platform::LocalTime t = platform::ToLocal(tmLast);
        m_period = SHistoryPeriod::Day(t.nYear, t.nMonth, t.nDay).As(m_period.eSpan);
    }
    return true;
}

void CHistoryView::Refresh()
{
    m_strError.clear();
    m_figures = SHistoryFigures{};
    m_figures.period = m_period;
    m_before = SHistoryFigures{};
    if (EnsureStore()) {
        SStoreResult r = LoadHistoryFigures(*m_pStore, m_period, m_figures);
        if (r.Ok() && m_bCompare)
            r = LoadHistoryFigures(*m_pStore, m_period.YearBefore(), m_before);
        if (!r.Ok())
            m_strError = QString::fromStdString(r.strMessage);
    }
    UpdateControls();
    update();
}

void CHistoryView::ShowSpan(EHistorySpan span)
{
    ShowPeriod(m_period.As(span));
}

void CHistoryView::ShowPeriod(const SHistoryPeriod& period)
{
    m_bPeriodChosen = true;
    m_period = period;
    if (m_period.eSpan != EHistorySpan::kDay)
        m_period.nDay = std::min(m_period.nDay, DaysInMonth(m_period.nYear, m_period.nMonth));
    Refresh();
}

void CHistoryView::SetCompare(bool bCompare)
{
    if (m_pCompare->isChecked() != bCompare)
        m_pCompare->setChecked(bCompare); // its handler comes back here
    if (m_bCompare == bCompare)
        return;
    m_bCompare = bCompare;
    Refresh();
}

void CHistoryView::UpdateControls()
{
    m_pDay->setChecked(m_period.eSpan == EHistorySpan::kDay);
    m_pMonth->setChecked(m_period.eSpan == EHistorySpan::kMonth);
    m_pYear->setChecked(m_period.eSpan == EHistorySpan::kYear);
    const QString word = QString::fromLatin1(SpanWord(m_period.eSpan));
    m_pBack->setToolTip(QStringLiteral("The %1 before").arg(word));
    m_pForward->setToolTip(QStringLiteral("The %1 after").arg(word));
    m_pTitle->setText(QString::fromStdString(m_period.Title()));
    const QString summary = Summary();
    m_pSummary->SetText(summary, static_cast<int>(summary.count(QLatin1Char('\n'))) + 1);
    const bool bData = !m_figures.bEmpty;
    m_pCsv->setEnabled(bData);
    m_pXls->setEnabled(bData);
}

QString CHistoryView::Notice() const
{
    if (!m_strError.isEmpty())
        return m_strError;
    return m_figures.bEmpty ? QStringLiteral("No data for this %1").arg(QLatin1String(SpanWord(m_period.eSpan)))
                            : QString();
}

QString CHistoryView::Summary() const
{
    if (m_figures.bEmpty)
        return QString::fromStdString(m_period.Title());
    QString text;
    if (m_period.eSpan == EHistorySpan::kDay) {
        text = QStringLiteral("Energy\t") + Figure("%.1f kWh", m_figures.fTotalKwh) + QStringLiteral("\nPeak\t") +
               Figure("%.1f W", m_figures.fPeakW) +
               (m_figures.tmPeak != 0 ? QStringLiteral(" at ") + ClockText(m_figures.tmPeak) : QString());
    } else {
        text = (m_period.eSpan == EHistorySpan::kMonth ? QStringLiteral("Month total\t")
                                                       : QStringLiteral("Year total\t")) +
               Figure("%.1f kWh", m_figures.fTotalKwh);
    }
    if (m_bCompare)
        text += QStringLiteral("\nA year before\t") +
                (m_before.bEmpty ? QStringLiteral("no data") : Figure("%.1f kWh", m_before.fTotalKwh));
    return text;
}

// --- layout ---

void CHistoryView::resizeEvent(QResizeEvent* pEvent)
{
    QWidget::resizeEvent(pEvent);
    const int h = 26;
    int x = kMargin;
    const auto place = [&x, h](QWidget* w, int width) {
        w->setGeometry(x, kBarTop, width, h);
        x += width + 4;
    };
    place(m_pDay, 60);
    place(m_pMonth, 60);
    place(m_pYear, 60);
    x += 12;
    place(m_pBack, 70);
    place(m_pTitle, 100);
    place(m_pForward, 80);
    x += 12;
    place(m_pCompare, 290);
    m_pXls->setGeometry(width() - kMargin - 100, kBarTop, 100, h);
    m_pCsv->setGeometry(width() - kMargin - 204, kBarTop, 100, h);
    m_pSummary->setGeometry(width() - kMargin - kSummaryWidth, kChartTop, kSummaryWidth, kSummaryHeight);
    m_pSummary->update(); // its block of the picture moved
}

void CHistoryView::showEvent(QShowEvent* pEvent)
{
    QWidget::showEvent(pEvent);
    Refresh(); // the store may have grown since it was last shown
}

QRect CHistoryView::PlotRect() const
{
    const QFontMetrics metrics(font());
    const int left = kMargin + metrics.horizontalAdvance(QStringLiteral("-0.0000000"));
    // The read-out box stands above the plot's top right; the axis caption
    // ("Month") right of the plot's end.
    const int right = width() - kMargin - 20 - metrics.horizontalAdvance(QStringLiteral("Month"));
    const int top = kChartTop + kSummaryHeight + metrics.height() + 8;
    const int bottom = height() - kMargin - 2 * metrics.height();
    return QRect(QPoint(left, top), QPoint(std::max(left + 10, right), std::max(top + 10, bottom)));
}

double CHistoryView::ChartMaximum() const
{
    return std::max(m_figures.Largest(), m_bCompare ? m_before.Largest() : 0.0);
}

QRect CHistoryView::BarRect(int i, bool bYearBefore) const
{
    const QRect rc = PlotRect();
    const SValueAxis axis = ValueAxis(ChartMaximum());
    const SHistoryFigures& f = bYearBefore ? m_before : m_figures;
    const int n = m_figures.period.Slots();
    SBarPlace place = BarPlace(i, n, rc.left(), rc.right());
    // Compared: the year before on the left half of the slot, the period on the right.
    if (m_bCompare) {
        const int half = std::max(1, place.nWidth / 2);
        if (!bYearBefore)
            place.nLeft += half;
        place.nWidth = half;
    }
    const double v = i >= 0 && static_cast<std::size_t>(i) < f.bars.size() ? f.bars[i] : 0.0;
    const int top = ValueY(v, axis, rc.top(), rc.bottom());
    return QRect(place.nLeft, top, place.nWidth, rc.bottom() - top);
}

QPoint CHistoryView::CurvePoint(const SCurvePoint& p) const
{
    const QRect rc = PlotRect();
    const SValueAxis axis = ValueAxis(ChartMaximum());
    const double dShare = std::clamp(p.dMinute / m_figures.fDayMinutes, 0.0, 1.0);
    return QPoint(rc.left() + TruncToInt(dShare * (rc.right() - rc.left())),
                  ValueY(p.dValue, axis, rc.top(), rc.bottom()));
}

// --- drawing ---

void CHistoryView::paintEvent(QPaintEvent*)
{
    QPainter dc(this);
    if (!m_imgBack.isNull())
        dc.drawImage(0, 0, m_imgBack);
    else
        dc.fillRect(rect(), palette().window());
    dc.setFont(font());
    const SValueAxis axis = ValueAxis(ChartMaximum());
    DrawAxes(dc, axis);
    if (m_figures.bEmpty || !m_strError.isEmpty()) {
        QFont big = font();
        big.setPointSizeF(big.pointSizeF() * 1.5);
        dc.setFont(big);
        dc.setPen(Qt::black);
        dc.drawText(PlotRect(), Qt::AlignCenter | Qt::TextWordWrap, Notice());
        dc.setFont(font());
    }
    if (m_period.eSpan == EHistorySpan::kDay) {
        if (m_bCompare)
            DrawCurve(dc, axis, m_before, true);
        DrawCurve(dc, axis, m_figures, false);
    } else {
        DrawBars(dc, axis);
    }
}

void CHistoryView::DrawAxes(QPainter& dc, const SValueAxis& axis)
{
    const QRect rc = PlotRect();
    const int x0 = rc.left(), x1 = rc.right(), y0 = rc.top(), y1 = rc.bottom();
    dc.save();
    dc.setPen(QPen(Qt::black, 0));
    const QFontMetrics metrics(dc.font());
    const int W0 = metrics.horizontalAdvance(QLatin1Char('0'));
    const int H0 = metrics.height();
    const bool bDay = m_period.eSpan == EHistorySpan::kDay;

    // The value axis, its arrow, caption and labelled ticks.
    dc.drawLine(x0, y0 - 4, x0, y1);
    const QPoint valueArrow[] = {{x0 - 3, y0 + 2}, {x0, y0 - 4}, {x0 + 3, y0 + 3}};
    dc.drawPolyline(valueArrow, 3);
    TextOut(dc, x0 - W0, y0 - H0 - 6, bDay ? QStringLiteral("Power(W)") : QStringLiteral("Energy(kWh)"));
    const auto nTicks = static_cast<long long>(std::llround(axis.dTop / axis.dStep));
    for (long long k = 0; k <= nTicks; ++k) {
        const double v = static_cast<double>(k) * axis.dStep;
        const int y = ValueY(v, axis, y0, y1);
        dc.drawLine(x0, y, x0 - W0, y);
        const QString text = Figure(axis.strFormat.c_str(), v);
        TextOut(dc, x0 - W0 - metrics.horizontalAdvance(text) - 2, y - H0 / 2, text);
    }

    // The time axis: hours of the day, days of the month or months of the year.
    dc.drawLine(x0, y1, x1 + 10, y1);
    const QPoint timeArrow[] = {{x1 + 5, y1 - 3}, {x1 + 10, y1}, {x1 + 4, y1 + 5}};
    dc.drawPolyline(timeArrow, 3);
    TextOut(dc, x1 + 15, y1 - 10,
            bDay ? QStringLiteral("Time") : m_period.eSpan == EHistorySpan::kMonth ? QStringLiteral("Day")
                                                                                    : QStringLiteral("Month"));
    if (bDay) {
        for (int hour = 0; hour * 60 <= m_figures.fDayMinutes; hour += 2) {
            const int x = CurvePoint({hour * 60.0, 0.0}).x();
            dc.drawLine(x, y1 + 2, x, y1);
            const QString text = MinuteText(hour * 60.0);
            TextOut(dc, x - metrics.horizontalAdvance(text) / 2, y1 + 3, text);
        }
    } else {
        const int n = m_period.Slots();
        const SBarPlace first = BarPlace(0, n, x0, x1);
        const int every = metrics.horizontalAdvance(QStringLiteral("30")) + 4 > first.nWidth ? 2 : 1;
        for (int i = 0; i < n; i += every) {
            const SBarPlace place = BarPlace(i, n, x0, x1);
            const QString text = m_period.eSpan == EHistorySpan::kMonth ? QString::number(i + 1)
                                                                        : QString::fromLatin1(kMonthNames[i]);
            TextOut(dc, place.nLeft + place.nWidth / 2 - metrics.horizontalAdvance(text) / 2, y1 + 3, text);
        }
    }
    dc.restore();
}

void CHistoryView::DrawBars(QPainter& dc, const SValueAxis&)
{
    dc.save();
    const int n = m_period.Slots();
    for (int i = 0; i < n; ++i) {
        if (m_bCompare && static_cast<std::size_t>(i) < m_before.has.size() && m_before.has[i]) {
            dc.setPen(QPen(kBeforeColour, 0));
            dc.setBrush(kBeforeFill);
            dc.drawRect(BarRect(i, true).adjusted(0, 0, -1, -1));
        }
        if (static_cast<std::size_t>(i) < m_figures.has.size() && m_figures.has[i]) {
            dc.setPen(QPen(kCurveColour, 0));
            dc.setBrush(kBarColour);
            dc.drawRect(BarRect(i).adjusted(0, 0, -1, -1));
        }
    }
    dc.restore();
}

// Each run of readings is its own line with its own tinted area: a gap
// shows as a gap, never as a line across it.
void CHistoryView::DrawCurve(QPainter& dc, const SValueAxis&, const SHistoryFigures& figures, bool bYearBefore)
{
    const QRect rc = PlotRect();
    dc.save();
    dc.setRenderHint(QPainter::Antialiasing, false);
    dc.setClipRect(QRect(rc.left() + 1, rc.top() - 2, rc.width() - 1, rc.height() + 2));
    for (const auto& run : figures.curve) {
        QPolygon line;
        line.reserve(static_cast<int>(run.size()));
        for (const SCurvePoint& p : run)
            line << CurvePoint(p);
        if (line.size() == 1) {
            dc.setPen(QPen(bYearBefore ? kBeforeColour : kCurveColour, 2));
            dc.drawPoint(line.front());
            continue;
        }
        if (!bYearBefore) {
            QPolygon area = line;
            area << QPoint(line.back().x(), rc.bottom()) << QPoint(line.front().x(), rc.bottom());
            dc.setPen(Qt::NoPen);
            dc.setBrush(kAreaColour);
            dc.drawPolygon(area);
        }
        dc.setPen(QPen(bYearBefore ? kBeforeColour : kCurveColour, 0, bYearBefore ? Qt::DashLine : Qt::SolidLine));
        dc.setBrush(Qt::NoBrush);
        dc.drawPolyline(line);
    }
    dc.restore();
}

// --- tooltips ---

bool CHistoryView::event(QEvent* pEvent)
{
    if (pEvent->type() == QEvent::ToolTip) {
        auto* pHelp = static_cast<QHelpEvent*>(pEvent);
        const QString tip = TipAt(pHelp->pos());
        if (tip.isEmpty())
            QToolTip::hideText();
        else
            QToolTip::showText(pHelp->globalPos(), tip, this);
        return true;
    }
    return QWidget::event(pEvent);
}

QString CHistoryView::TipAt(QPoint pos)
{
    const QRect rc = PlotRect();
    if (!rc.adjusted(0, -4, 0, 0).contains(pos) || (m_figures.bEmpty && (!m_bCompare || m_before.bEmpty)))
        return QString();
    if (m_period.eSpan == EHistorySpan::kDay) {
        const double dMinute = (pos.x() - rc.left()) * m_figures.fDayMinutes / std::max(1, rc.right() - rc.left());
        QString tip;
        if (const SCurvePoint* p = NearestPoint(m_figures, dMinute))
            tip = MinuteText(p->dMinute) + Figure("  %.1f W", p->dValue);
        if (m_bCompare)
            if (const SCurvePoint* p = NearestPoint(m_before, dMinute))
                tip += (tip.isEmpty() ? QString() : QStringLiteral("\n")) +
                       QString::fromStdString(m_before.period.Title()) + QLatin1Char(' ') + MinuteText(p->dMinute) +
                       Figure("  %.1f W", p->dValue);
        return tip;
    }
    const int i = SlotAt(pos.x(), m_period.Slots(), rc.left(), rc.right());
    if (i < 0)
        return QString();
    const auto line = [i](const SHistoryFigures& f) {
        const QString title = QString::fromStdString(SlotPeriod(f.period, i).Title());
        return static_cast<std::size_t>(i) < f.has.size() && f.has[i]
                   ? title + Figure(": %.1f kWh", f.bars[i])
                   : title + QStringLiteral(": no data");
    };
    QString tip = line(m_figures);
    if (m_bCompare)
        tip += QLatin1Char('\n') + line(m_before);
    return tip;
}

// --- export ---

bool CHistoryView::ShownTable(SHistoryTable& table)
{
    if (!EnsureStore())
        return false;
    const SHistoryPeriod& p = m_period;
    SStoreResult r;
    if (p.eSpan == EHistorySpan::kDay) {
        std::vector<SEnergyMinute> minutes;
        r = m_pStore->MinutesOfDay(p.nYear, p.nMonth, p.nDay, minutes);
        table = MinutesTable(minutes);
    } else if (p.eSpan == EHistorySpan::kMonth) {
        std::vector<SEnergyDay> days;
        r = m_pStore->DaysOfMonth(p.nYear, p.nMonth, days);
        table = DaysTable(days);
    } else {
        std::vector<SEnergyMonth> months;
        r = m_pStore->MonthsOfYear(p.nYear, months);
        table = MonthsTable(months);
    }
    if (!r.Ok())
        platform::ShowMessageBox(kCaption, r.strMessage, platform::kMbOk | platform::kMbIconWarning);
    return r.Ok();
}

void CHistoryView::OnExportCsv()
{
    SaveShown(false);
}

void CHistoryView::OnExportXls()
{
    SaveShown(true);
}

void CHistoryView::SaveShown(bool bXls)
{
    const QString filter = bXls ? QStringLiteral("Excel 97-2003 workbook (*.xls)") : QStringLiteral("CSV (*.csv)");
    const QString suggested = QStringLiteral("zelvan-%1.%2")
                                  .arg(QString::fromStdString(m_period.Title()), bXls ? "xls" : "csv");
    const QString path = chooseFile ? chooseFile(filter)
                                    : QFileDialog::getSaveFileName(this, QStringLiteral("Export"), suggested, filter);
    if (path.isEmpty())
        return;
    SHistoryTable table;
    if (!ShownTable(table))
        return;
    std::string error;
    if (bXls) {
        const CSaveResult saved = SaveTableAsXls(table, path.toStdString());
        if (!saved.bOk)
            error = saved.strError;
    } else {
        const std::string text = CsvText(table);
        QSaveFile file(path);
        if (!file.open(QIODevice::WriteOnly) ||
            file.write(text.data(), static_cast<qint64>(text.size())) != static_cast<qint64>(text.size()) ||
            !file.commit())
            error = file.errorString().toStdString();
    }
    if (!error.empty())
        platform::ShowMessageBox(kCaption, "Couldn't save \"" + path.toStdString() + "\": " + error,
                                 platform::kMbOk | platform::kMbIconWarning);
}

// Shows the History tab over a made-up year and a half of energy and saves a
// picture of each view: history_demo OUTDIR
// Writes OUTDIR/history-day.png, -day-compare.png, -month.png and -year.png
// (the month and year compared with the year before), and the main window
// on its History tab as OUTDIR/history-window.png.
#include "app/MainFrame.h"
#include "app/TabHolder.h"
#include "live/HistoryView.h"
#include "outputs/EnergyStore.h"
#include "support/EnergyDays.h"

#include <QApplication>
#include <QCheckBox>
#include <QDir>

#include <clocale>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>

namespace {

// A year's sunshine: more in summer, with a few cloudy days and days away.
void FillStore(CEnergyStore& store)
{
    unsigned seed = 7;
    for (SHistoryPeriod d = SHistoryPeriod::Day(2012, 1, 1); !(d == SHistoryPeriod::Day(2013, 6, 13)); d = d.Moved(1)) {
        seed = seed * 1103515245u + 12345u;
        const unsigned roll = (seed >> 16) % 100;
        if (roll < 4)
            continue; // no readings that day
        const double season = 0.5 - 0.5 * std::cos((d.nMonth - 1 + d.nDay / 31.0) / 12.0 * 2 * M_PI);
        const double sun = (roll < 20 ? 0.35 : 0.8 + roll / 500.0) * (0.35 + 0.65 * season);
        SMadeDay day{d.nYear, d.nMonth, d.nDay, std::round(18.0 * sun * 10) / 10, 2800.0 * sun};
        if (d == SHistoryPeriod::Day(2013, 6, 11)) {
            day.nGapFrom = 10 * 60 + 20; // the link was down
            day.nGapTo = 11 * 60 + 5;
        }
        if (!WriteMadeDay(store, day))
            std::fprintf(stderr, "history_demo: a day was not written\n");
    }
}

void Save(QWidget& w, const QString& path)
{
    QApplication::processEvents();
    if (!w.grab().save(path))
        std::fprintf(stderr, "history_demo: could not save %s\n", qPrintable(path));
    else
        std::printf("%s\n", qPrintable(path));
}

} // namespace

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: history_demo OUTDIR\n");
        return 2;
    }
    QApplication app(argc, argv);
    std::setlocale(LC_NUMERIC, "C");
    const QString out = QDir(QString::fromLocal8Bit(argv[1])).absolutePath();
    // The pictures beside the program, as the window reads them.
    QDir::setCurrent(QCoreApplication::applicationDirPath() + QStringLiteral("/../../bin"));

    const std::string db = (out + QStringLiteral("/history-demo.db")).toStdString();
    std::filesystem::remove(db);
    {
        CEnergyStore store;
        if (!store.Open(db).Ok())
            return 1;
        FillStore(store);
    }

    // The window without a port; its History tab on the demo's store. The
    // window's own store is left as it was found.
    ::setenv("ZELVAN_SERIAL_PORTS", "", 1);
    const QString home = QCoreApplication::applicationDirPath() + QStringLiteral("/hisdata");
    const bool bHadHistory = QDir(home).exists();
    {
    CMainFrame frame;
    frame.OnCreateClient();
    CHistoryView& view = *frame.HistoryView();
    view.SetStorePath(db);
    frame.show();
    frame.Tabs()->SelectView(2);
    view.ShowPeriod(SHistoryPeriod::Day(2013, 6, 11));
    Save(view, out + QStringLiteral("/history-day.png"));
    Save(frame, out + QStringLiteral("/history-window.png"));
    view.SetCompare(true);
    view.MoveBack(); // 2012-06-11 had no readings; the 10th has both years
    Save(view, out + QStringLiteral("/history-day-compare.png"));
    view.ShowSpan(EHistorySpan::kMonth);
    Save(view, out + QStringLiteral("/history-month.png"));
    view.ShowSpan(EHistorySpan::kYear);
    Save(view, out + QStringLiteral("/history-year.png"));
    view.SetCompare(false);
    view.ShowPeriod(SHistoryPeriod::Month(2011, 6));
    Save(view, out + QStringLiteral("/history-empty.png"));
    }
    if (!bHadHistory)
        QDir(home).removeRecursively();
    return 0;
}

// Shows the gauge, the two read-out boxes and a day's power curve on the
// background picture, the way the power view places them, and saves a picture
// of the whole: widgets_demo out.png [GAUGE-PERCENT]
// The gauge has its size in the power view; it shows the last power of the
// day unless a percentage is given (100: full power).
#include "ui/DialogTemplate.h"
#include "live/PowerCurveView.h"
#include "platform/WallClock.h"
#include "widgets/BackPicture.h"
#include "widgets/FlowPane.h"
#include "widgets/MyPanel.h"
#include "widgets/MyTextBox.h"

#include <QApplication>
#include <QDir>
#include <QMouseEvent>
#include <QPainter>
#include <QTimer>

#include <algorithm>
#include <clocale>
#include <cmath>
#include <cstdio>
#include <cstdlib>

namespace {

// The view under the widgets: the picture at (0, 0).
class CDemoView : public QWidget {
public:
    CDemoView() : m_picture(LoadBackPicture()) {}

protected:
    void paintEvent(QPaintEvent*) override
    {
        QPainter dc(this);
        CopyBackPiece(dc, m_picture, QPoint(0, 0), size());
    }

private:
    QImage m_picture;
};

// A clear day with a few clouds: power in watts at a minute after 06:00.
double DayPower(double minute)
{
    const double day = std::sin(M_PI * minute / 780.0);
    if (day <= 0)
        return 0;
    const double clouds = 1.0 - 0.35 * std::pow(std::max(0.0, std::sin(minute / 17.0) * std::sin(minute / 41.0)), 2);
    return 3150.0 * std::pow(day, 1.4) * clouds + 25.0 * std::sin(minute * 3.1);
}

QSize GaugeSizeInPowerView()
{
    const dlg::STemplate& view = CPowerCurveView::Template();
    const auto place = std::find_if(view.controls.begin(), view.controls.end(),
                                    [](const dlg::SControl& c) { return c.nId == CPowerCurveView::IDC_GAUGE; });
    const QSize base = dlg::DialogBaseUnits(dlg::DialogFont(view.strFont, view.nPointSize));
    return dlg::MapDialogRect(place->rcDlu, base).size();
}

} // namespace

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    std::setlocale(LC_NUMERIC, "C");
    const QString out = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QStringLiteral("widgets.png");
    const QString outPath = QDir::current().absoluteFilePath(out);
    QDir::setCurrent(QStringLiteral(ZELVAN_SOURCE_DIR "/assets"));

    CDemoView view;
    view.resize(1000, 640);
    auto* pChart = new CFlowPane(&view);
    pChart->setGeometry(20, 20, 640, 440);
    auto* pGauge = new CMyPanel(&view);
    pGauge->setGeometry(QRect(QPoint(690, 20), GaugeSizeInPowerView()));
    auto* pEnergy = new CMyTextBox(&view);
    pEnergy->LoadBackground();
    pEnergy->setGeometry(700, 300, 270, 64);
    auto* pPower = new CMyTextBox(&view);
    pPower->LoadBackground();
    pPower->setGeometry(700, 240, 270, 40);

    platform::LocalTime start = platform::ToLocal(platform::WallNow());
    start.nHour = 6;
    start.nMinute = 0;
    start.nSecond = 0;
    pChart->m_tmBase = platform::FromLocal(start);
    pChart->SetYRange(0, 3600);
    pChart->SetXRange(0, 1);
    view.show();
    QCoreApplication::processEvents();

    // 06:00 to 14:30, one sample every 5 seconds, drawn as they arrive.
    const std::uint32_t t0 = 123456;
    double power = 0;
    double energy = 0;
    for (int i = 0; i <= 510 * 12; ++i) {
        const double minute = i / 12.0;
        power = DayPower(minute);
        energy += power / 1000.0 / 720.0;
        pChart->AddPoint(t0 + static_cast<std::uint32_t>(i) * 5000, power);
        if (i % 50 == 0)
            QCoreApplication::processEvents();
    }
    pGauge->SetValue(argc > 2 ? std::atoi(argv[2]) : static_cast<int>(power) * 100 / 3000);
    pPower->SetText(QString::asprintf("%s%3.1f W", "Power  ", power), 1);
    pEnergy->SetText(
        QString::asprintf("%s\t%3.1fkWh\n%s\t%3.1fkWh", "Today Energy", energy, "Total Energy", 12345.6 + energy), 2);
    const SPlotRect rc = pChart->PlotRect();
    QMouseEvent click(QEvent::MouseButtonRelease, QPointF(rc.x0 + (rc.x1 - rc.x0) * 0.45, 100), QPointF(),
                      Qt::LeftButton, Qt::NoButton, Qt::NoModifier);
    QCoreApplication::sendEvent(pChart, &click);
    pChart->ShowCursor(true);

    QTimer::singleShot(300, [&] {
        const bool bSaved = view.grab().save(outPath, "PNG");
        std::printf("%s %s\n", bSaved ? "saved" : "could not save", qPrintable(outPath));
        app.exit(bSaved ? 0 : 1);
    });
    return app.exec();
}

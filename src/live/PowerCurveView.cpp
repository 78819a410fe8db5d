#include "live/PowerCurveView.h"

#include <QByteArray>
#include <QCheckBox>
#include <QCoreApplication>
#include <QPainter>
#include <QPushButton>

#include "app/AutoComDlg.h"
#include "app/StringTable.h"
#include "config/ConfigWorkbook.h"
#include "platform/Messages.h"
#include "platform/WallClock.h"
#include "widgets/BackPicture.h"
#include "widgets/FlowPane.h"
#include "widgets/MyPanel.h"
#include "widgets/MyTextBox.h"

namespace {

constexpr double kStartPowerRange = 5500.0; // W, until the rating is known
constexpr double kStartTimeRange = 1.0;     // minutes

QByteArray ResourceLabel(unsigned nId)
{
    return QByteArray::fromStdString(res::LoadString(nId));
}

} // namespace

CPowerCurveView::CPowerCurveView(QWidget* pParent) : QWidget(pParent)
{
    dlg::BuildDialog(this, Template());
    m_strAppDir = QCoreApplication::applicationDirPath() + QLatin1Char('/');
    m_imgBack = LoadBackPicture();
    m_pLines = new CDetectionLines(this);
    AttachHooks();
    for (int command : CCommandStates::kCommands)
        m_commands.SetHandled(command, command != CCommandStates::ID_EXPORT && command != CCommandStates::ID_TIME_SPAN);
}

CPowerCurveView::~CPowerCurveView() { Shutdown(); }

// The form: the chart on the left, gauge and read-outs on the right, the
// chart's two controls under it. The placeholders only give the places.
const dlg::STemplate& CPowerCurveView::Template()
{
    using namespace dlg;
    static const STemplate t{
        IDD,
        QString(),
        QSize(660, 340),
        QStringLiteral("MS Shell Dlg"),
        8,
        {
            {EKind::Static, IDC_CHART, {}, QRect(10, 8, 432, 282), kHidden},
            {EKind::Static, IDC_GAUGE, {}, QRect(460, 8, 190, 124), kHidden},
            {EKind::Static, IDC_POWER, {}, QRect(466, 142, 178, 26), kHidden},
            {EKind::Static, IDC_ENERGY, {}, QRect(466, 178, 178, 40), kHidden},
            {EKind::CheckBox, IDC_TRACKING, QStringLiteral("Tracking"), QRect(14, 298, 60, 12)},
            {EKind::Button, IDC_X_AXIS, QStringLiteral("X Axis"), QRect(80, 296, 50, 15)},
        },
    };
    return t;
}

QWidget* CPowerCurveView::Placeholder(int nId) const
{
    return DlgItem<QWidget>(this, nId);
}

void CPowerCurveView::AttachHooks()
{
    SPowerViewHooks hooks;
    hooks.onValue = [this](int reg, std::uint16_t w, int state) {
        m_data.OnValue(m_link.Link().ProtocolType(), reg, w, state, m_link.VersionText());
    };
    hooks.onPageValue = [this](int reg, std::uint16_t w, int start, bool bIdle) {
        m_data.OnPageValue(m_link.Link().ProtocolType(), reg, w, start, bIdle, m_link.VersionText(),
                           platform::WallNow());
    };
    hooks.onCycleEnd = [this] { m_data.OnCycleEnd(m_link.Link().ProtocolType(), platform::WallNow()); };
    hooks.onStatus = [this](const std::string& text) { SetStatus(QString::fromStdString(text)); };
    // The poll thread only posts; the lines object delivers on this thread.
    CDetectionLines* pLines = m_pLines;
    hooks.postDetectionLine = [pLines](const std::string& line) { pLines->Post(line); };
    hooks.runDetectionDialog = [this] { RunDetectionDialog(); };
    hooks.endDetectionDialog = [this] {
        if (m_pDetectDlg != nullptr)
            m_pDetectDlg->End();
    };
    m_link.SetHooks(std::move(hooks));

    m_data.onDisplay = [this](const SDisplayUpdate& update) { ShowDisplayUpdate(update); };
    m_data.onOpenParameters = [this] {
        if (openParameterDialog)
            openParameterDialog();
    };
    m_commands.SetListener([this](int, CCommandStates::SState) {});
}

void CPowerCurveView::OnInitialUpdate()
{
    if (m_bInitialised)
        return;
    m_bInitialised = true;

    m_pChart = new CFlowPane(this);
    m_pChart->setGeometry(Placeholder(IDC_CHART)->geometry());
    m_pChart->SetYRange(0.0, kStartPowerRange);
    m_pChart->m_tmBase = platform::WallNow();
    m_pChart->SetXRange(0.0, kStartTimeRange);
    m_pChart->setAccessibleName(QStringLiteral("Power curve"));
    m_pChart->show();

    m_pEnergyBox = new CMyTextBox(this);
    m_pEnergyBox->setGeometry(Placeholder(IDC_ENERGY)->geometry());
    m_pEnergyBox->setAccessibleName(QStringLiteral("Energy"));
    m_pGauge = new CMyPanel(this);
    m_pGauge->setGeometry(Placeholder(IDC_GAUGE)->geometry());
    m_pGauge->setAccessibleName(QStringLiteral("Power gauge"));
    m_pPowerBox = new CMyTextBox(this);
    m_pPowerBox->setGeometry(Placeholder(IDC_POWER)->geometry());
    m_pPowerBox->setAccessibleName(QString::fromStdString(res::LoadString(res::IDS_POWER)));
    for (QWidget* w : {static_cast<QWidget*>(m_pEnergyBox), static_cast<QWidget*>(m_pGauge),
                       static_cast<QWidget*>(m_pPowerBox)})
        w->show();
    m_pEnergyBox->LoadBackground();
    m_pPowerBox->LoadBackground();

    m_pWorkbook = std::make_unique<ConfigWorkbook>();
    if (m_pWorkbook->OpenWorkbook()) {
        m_pWorkbook->ReadParameterSheet();
        m_pWorkbook->ReadModelSheet();
    }

    m_pTracking = DlgItem<QCheckBox>(this, IDC_TRACKING);
    connect(m_pTracking, &QCheckBox::toggled, this, [this](bool bOn) {
        m_pChart->m_bTracking = bOn;
        m_commands.SetTrackingOn(bOn);
    });
    if (auto* pXAxis = DlgItem<QPushButton>(this, IDC_X_AXIS))
        pXAxis->setAutoDefault(false); // "X Axis" does nothing

    m_target.Post(platform::WM_START_DETECTION, 0, 0);
    if (!m_link.StartPollThread())
        return; // already running: nothing to start
    m_pTracking->setChecked(true);
    m_commands.SetTrackingOn(true);
    m_commands.SetCursorOn(m_pChart->CursorShown());
}

void CPowerCurveView::Shutdown()
{
    if (m_bShutDown)
        return;
    m_bShutDown = true;
    m_link.StopPollThread();
    m_link.Link().ClosePort();
}

bool CPowerCurveView::event(QEvent* pEvent)
{
    if (const platform::PostedMessage* message = CWindowMessageTarget::Unpack(pEvent)) {
        OnMessage(*message);
        return true;
    }
    return QWidget::event(pEvent);
}

// The message map.
void CPowerCurveView::OnMessage(const platform::PostedMessage& message)
{
    switch (message.msg) {
    case platform::WM_REGISTER_VALUE:
        m_link.OnRegisterValue(message.wParam, message.lParam);
        break;
    case platform::WM_LINK_LOST:
        m_link.OnLinkLost(message.wParam, message.lParam);
        break;
    case platform::WM_START_DETECTION:
    case platform::WM_START_DETECTION_ALT:
        if (!m_bShutDown)
            m_link.OnRescanPorts();
        break;
    default:
        break;
    }
    RefreshCommands();
}

void CPowerCurveView::RunDetectionDialog()
{
    CAutoComDlg dialog([this](bool bAlive) { m_link.SetDetectionDialogAlive(bAlive); }, m_pLines, window());
    m_pDetectDlg = &dialog;
    dialog.exec();
    m_pDetectDlg = nullptr;
}

void CPowerCurveView::OnConnectToggle()
{
    const bool bWasConnected = m_link.IsConnected();
    m_link.OnConnectToggle();
    // A disconnect shows at once: no value will come to say otherwise.
    if (bWasConnected)
        SetStatus(QString::fromStdString(res::LoadString(res::IDS_DISCONNECTED)));
    RefreshCommands();
}

void CPowerCurveView::OnOpenParameters()
{
    if (m_link.IsConnected())
        m_data.RequestParameters();
}

void CPowerCurveView::OnToggleCursor()
{
    if (m_pChart == nullptr)
        return;
    m_pChart->ShowCursor(!m_pChart->CursorShown());
    m_commands.SetCursorOn(m_pChart->CursorShown());
}

void CPowerCurveView::OnToggleTracking()
{
    if (m_pTracking != nullptr)
        m_pTracking->setChecked(!m_pChart->m_bTracking); // its handler updates chart and command
}

void CPowerCurveView::SetStatus(const QString& text)
{
    if (onStatus)
        onStatus(text);
}

void CPowerCurveView::RefreshCommands()
{
    m_commands.SetConnected(m_link.IsConnected());
}

QString CPowerCurveView::PowerText(float fPower)
{
    const QByteArray label = ResourceLabel(res::IDS_POWER) + "  ";
    return QString::asprintf("%s%3.1f W", label.constData(), static_cast<double>(fPower));
}

QString CPowerCurveView::EnergyText(float fToday, float fTotal)
{
    return QString::asprintf("%s\t%3.1fkWh\n%s\t%3.1fkWh", ResourceLabel(res::IDS_TODAY_ENERGY).constData(),
                             static_cast<double>(fToday), ResourceLabel(res::IDS_TOTAL_ENERGY).constData(),
                             static_cast<double>(fTotal));
}

void CPowerCurveView::ShowDisplayUpdate(const SDisplayUpdate& u)
{
    if (m_pChart == nullptr)
        return;
    if (u.bCurveStarted) {
        m_pChart->m_tmBase = u.tmCurveStart;
        m_pChart->SetYRange(0.0, u.dPowerAxisMax);
        update(); // the whole view, erased
    }
    if (u.dwPointTime && u.fPower)
        m_pChart->AddPoint(*u.dwPointTime, static_cast<double>(*u.fPower));
    if (u.nGauge)
        m_pGauge->SetValue(*u.nGauge);
    if (u.fPower)
        m_pPowerBox->SetText(PowerText(*u.fPower), 1);
    if (u.fToday && u.fTotal)
        m_pEnergyBox->SetText(EnergyText(*u.fToday, *u.fTotal), 2);
    if (u.fCo2 && onCo2)
        onCo2(*u.fCo2);
}

void CPowerCurveView::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    if (!m_imgBack.isNull())
        painter.drawImage(0, 0, m_imgBack);
    else
        painter.fillRect(rect(), palette().window());
}

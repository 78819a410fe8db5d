#include "live/PowerCurveView.h"

#include <QByteArray>
#include <QCheckBox>
#include <QCoreApplication>
#include <QFileDialog>
#include <QFileInfo>
#include <QPainter>
#include <QPushButton>

#include <filesystem>

#include "live/AutoComDlg.h"
#include "platform/StringTable.h"
#include "config/ConfigWorkbook.h"
#include "export/AxisSetDlg.h"
#include "export/ExportSetDlg.h"
#include "export/HistoryFile.h"
#include "export/ProgressDlg.h"
#include "export/TimeSpan.h"
#include "model/RegisterMap.h"
#include "outputs/EnergyStore.h"
#include "params/InvParP1.h"
#include "params/MonitorDlg.h"
#include "platform/CommLog.h"
#include "platform/MessageBox.h"
#include "platform/Messages.h"
#include "platform/WallClock.h"
#include "widgets/BackPicture.h"
#include "widgets/FlowPane.h"
#include "widgets/MyPanel.h"
#include "widgets/MyTextBox.h"

namespace {

constexpr double kStartPowerRange = 5500.0; // W, until the rating is known
constexpr double kStartTimeRange = 1.0;     // minutes
constexpr const char* kCaption = "Zelvan";

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
        m_commands.SetHandled(command, true);
}

CPowerCurveView::~CPowerCurveView()
{
    Shutdown();
}

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
    hooks.onPageValue = [this](int reg, std::uint16_t w, int start, int state, bool bIdle) {
        m_data.OnPageValue(m_link.Link().ProtocolType(), reg, w, start, state, bIdle, m_link.VersionText(),
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
    openParameterDialog = [this] { OpenParameterDialog(); };
    m_data.onOpenParameters = [this] {
        if (openParameterDialog)
            openParameterDialog();
    };
    m_data.onHistoryCheck = [this](std::size_t i) { m_history.CheckHistory(i, PolledInverter()); };

    SHistoryHooks history;
    history.setPollPaused = [this](bool bPaused) { m_link.SetPollPaused(bPaused); };
    history.restartCurve = [this] {
        m_data.RestartCurve();
        if (m_pChart != nullptr) {
            m_pChart->Clear();
            m_pChart->update();
        }
    };
    m_history.SetHooks(std::move(history));
    m_history.SetAppDir(HistoryHome(m_strAppDir.toStdString()));
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
    m_history.SetCurveStart(m_pChart->m_tmBase);
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
    for (QWidget* w :
         {static_cast<QWidget*>(m_pEnergyBox), static_cast<QWidget*>(m_pGauge), static_cast<QWidget*>(m_pPowerBox)})
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

    OpenEnergyStore();

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
    m_exporter.Stop();
    // An import ends after the file it reads (each file is one transaction);
    // the rest is read by the next one. Its message is not needed any more.
    m_importStop.Request();
    if (m_importThread.joinable())
        m_importThread.join();
    m_link.StopPollThread();
    m_link.Link().ClosePort();
    m_history.WriteBeforeExit();
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
    case platform::WM_EXPORT_PROGRESS:
        if (m_pProgressDlg != nullptr && message.lParam > 0)
            m_pProgressDlg->SetProgress(
                static_cast<int>(static_cast<platform::LPARAM>(message.wParam) * 100 / message.lParam));
        break;
    case platform::WM_EXPORT_DONE:
        OnExportDone();
        break;
    case platform::WM_HISTORY_STORE_ANEW:
        platform::ShowMessageBox(kCaption, m_strStoreNotice, platform::kMbOk | platform::kMbIconWarning);
        break;
    case platform::WM_HISTORY_IMPORT_DONE:
        OnImportDone();
        break;
    default:
        break;
    }
    RefreshCommands();
}

std::string CPowerCurveView::EnergyStoreFile() const
{
    return EnergyStorePath(m_history.Folder());
}

// The store beside the history files. It is never the only copy: when it
// cannot be opened the history files go on alone; when it was damaged (or
// written by a newer program) it was set aside and is rebuilt from them.
void CPowerCurveView::OpenEnergyStore()
{
    std::error_code ec;
    std::filesystem::create_directories(m_history.Folder(), ec);
    auto store = std::make_shared<CEnergyStore>();
    const SStoreResult r = store->Open(EnergyStoreFile());
    if (!r.Ok()) {
        platform::CommLog("store", r.strMessage);
        return;
    }
    m_pEnergyStore = store;
    m_history.SetMinuteSink(EnergyStoreMinuteSink(store));
    if (r.eStatus == SStoreResult::kStartedAnew) {
        // The box waits for the message loop, so the window is up first.
        m_strStoreNotice = r.strMessage;
        m_target.Post(platform::WM_HISTORY_STORE_ANEW, 0, 0);
        StartImport(m_history.Folder(), true);
    }
}

bool CPowerCurveView::StartImport(const std::string& folder, bool bRebuild)
{
    if (m_bImporting || !m_pEnergyStore || m_bShutDown)
        return false;
    if (m_importThread.joinable())
        m_importThread.join(); // ended: its message came
    m_bImporting = true;
    m_bImportRebuild = bRebuild;
    std::shared_ptr<CEnergyStore> store = m_pEnergyStore;
    // Worker thread: reads the folder into the store, then only posts.
    m_importThread = std::thread([this, store, folder] {
        SImportSummary summary = ImportHistoryFolder(*store, folder, &m_importStop);
        {
            const std::lock_guard<std::mutex> lock(m_importLock);
            m_importSummary = std::move(summary);
        }
        m_target.Post(platform::WM_HISTORY_IMPORT_DONE, 0, 0);
    });
    return true;
}

void CPowerCurveView::OnImportDone()
{
    if (m_importThread.joinable())
        m_importThread.join();
    SImportSummary summary;
    {
        const std::lock_guard<std::mutex> lock(m_importLock);
        summary = m_importSummary;
    }
    m_bImporting = false;
    if (!summary.strStoreError.empty())
        platform::CommLog("store", summary.strStoreError);
    if (onImportDone)
        onImportDone(summary, m_bImportRebuild);
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
    m_link.OnConnectToggle(); // a disconnect sets the pane itself
    RefreshCommands();
}

void CPowerCurveView::OnOpenParameters()
{
    if (m_link.IsConnected())
        m_data.RequestParameters();
}

void CPowerCurveView::OpenParameterDialog()
{
    if (m_bShutDown || m_pParamDlg != nullptr || !m_pWorkbook)
        return;
    CMonitorDlg dialog(*m_pWorkbook, &m_link.Link(), m_link.VersionText(), window());
    CInvParPage& page = dialog.Page().Logic();
    m_pParamDlg = &dialog;
    m_link.SetOpenPage(&page); // from now on the poll thread ticks the page
    emit parameterDialogOpened(&dialog);
    dialog.exec();

    // A page read still outstanding: its remaining values count on from
    // the page's position. Set while the page is still open, so the view's
    // poll cannot resend (and restart the count) in between.
    if (m_link.Link().LinkState() != kLinkIdle)
        m_link.SetValuePosition(page.ValueCount());
    m_link.SetOpenPage(nullptr); // returns once no tick is inside the page
    m_pParamDlg = nullptr;
}

SHistoryInverter CPowerCurveView::PolledInverter()
{
    const int type = m_link.Link().ProtocolType();
    return HistoryInverterOf(FormatSerialNumber(m_link.ConnectedSerial()), type, m_data.Store().GetModelCode());
}

void CPowerCurveView::OnExport()
{
    // The toolbar follows the enable rule; a call past it changes nothing.
    if (m_pChart == nullptr || !m_commands.State(CCommandStates::ID_EXPORT).bEnabled)
        return;
    const std::int64_t base = m_pChart->m_tmBase;
    const SClockTime from = MinuteToClock(base, 0.0);
    const SClockTime to = MinuteToClock(base, m_pChart->XMax());
    CExportSetDlg options(window());
    options.m_nFromHour = from.nHour;
    options.m_nFromMinute = from.nMinute;
    options.m_nToHour = to.nHour;
    options.m_nToMinute = to.nMinute;
    options.m_nInterval = 0;
    if (options.exec() != QDialog::Accepted)
        return;
    m_nExportFrom = ClockToMinute(base, options.m_nFromHour, options.m_nFromMinute);
    m_nExportTo = ClockToMinute(base, options.m_nToHour, options.m_nToMinute);
    m_nExportStep = ExportStepOfChoice(options.m_nInterval);

    const QString path = chooseExportFile ? chooseExportFile() : ChooseExportFile();
    if (path.isEmpty())
        return;
    m_strExportPath = path.toStdString();
    RunExport();
}

// The save-file dialog. The writer appends ".xls" to a name without it, so
// the overwrite question is asked here about the name actually written.
QString CPowerCurveView::ChooseExportFile()
{
    QFileDialog dialog(window());
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setNameFilter(QStringLiteral(".xls (*.xls)"));
    dialog.setOption(QFileDialog::DontConfirmOverwrite);
    for (;;) {
        if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
            return {};
        const QString path = dialog.selectedFiles().constFirst();
        const std::string target = ExportFileName(path.toStdString());
        if (!QFileInfo::exists(QString::fromStdString(target)))
            return path;
        const std::string question = target + " already exists.\nDo you want to replace it?";
        if (platform::ShowMessageBox("Save As", question, platform::kMbYesNo | platform::kMbIconWarning) ==
            platform::kIdYes)
            return path;
    }
}

void CPowerCurveView::RunExport()
{
    CExportOwner owner;
    owner.m_strExportPath = m_strExportPath;
    owner.m_nExportFrom = m_nExportFrom;
    owner.m_nExportTo = m_nExportTo;
    owner.m_nExportStep = m_nExportStep;
    owner.m_tmBase = m_pChart->m_tmBase;
    const SHistoryInverter inverter = PolledInverter();
    owner.m_strSerialNumber = inverter.strSerial;
    owner.m_nRating = inverter.nRating;
    owner.m_nProtocolType = inverter.nProtocolType;
    owner.m_pTarget = &m_target;
    m_exportResult = {};
    if (!m_exporter.Start(std::move(owner), m_data.Store().TakeCopy()))
        return;
    m_bExporting = true;
    m_history.SetExporting(true);
    m_commands.SetExporting(true);

    // The user waits here; running data goes on arriving meanwhile.
    CProgressDlg progress(window());
    m_pProgressDlg = &progress;
    emit progressDialogOpened(&progress);
    progress.exec();
    m_pProgressDlg = nullptr;

    if (m_exportResult.eStatus == CExportResult::kSaveFailed && !m_bShutDown)
        platform::ShowMessageBox(kCaption, m_exportResult.strError, platform::kMbOk | platform::kMbIconError);
}

void CPowerCurveView::OnExportDone()
{
    m_exportResult = m_exporter.Finish();
    if (m_pProgressDlg != nullptr)
        m_pProgressDlg->End();
    m_bExporting = false;
    m_history.SetExporting(false);
    m_commands.SetExporting(false);
}

void CPowerCurveView::OnTimeSpan()
{
    if (m_pChart == nullptr)
        return;
    const std::int64_t base = m_pChart->m_tmBase;
    const SClockTime from = MinuteToClock(base, m_pChart->XMin());
    const SClockTime to = MinuteToClock(base, m_pChart->XMax());
    CAxisSetDlg span(window());
    span.m_nFromHour = from.nHour;
    span.m_nFromMinute = from.nMinute;
    span.m_nToHour = to.nHour;
    span.m_nToMinute = to.nMinute;
    if (span.exec() != QDialog::Accepted)
        return;
    if (span.m_nFromHour * 60 + span.m_nFromMinute >= span.m_nToHour * 60 + span.m_nToMinute)
        return;
    m_pChart->SetXRange(ClockToMinute(base, span.m_nFromHour, span.m_nFromMinute),
                        ClockToMinute(base, span.m_nToHour, span.m_nToMinute));
    update();
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
        m_history.SetCurveStart(u.tmCurveStart);
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

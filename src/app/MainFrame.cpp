#include "app/MainFrame.h"

#include <QAction>
#include <QCloseEvent>
#include <QCoreApplication>
#include <QDesktopServices>
#include <QFileDialog>
#include <QFileInfo>
#include <QLabel>
#include <QMenuBar>
#include <QPixmap>
#include <QStatusBar>
#include <QToolBar>
#include <QUrl>

#include "app/AboutDlg.h"
#include "app/HelpCommand.h"
#include "platform/StringTable.h"
#include "app/TabHolder.h"
#include "live/CommandStates.h"
#include "live/HistoryView.h"
#include "live/PowerCurveView.h"
#include "live/SysNoteView.h"
#include "outputs/HistoryImport.h"
#include "platform/MessageBox.h"

namespace {

constexpr int kButtonWidth = 85;
constexpr int kButtonHeight = 60;

QString Resource(unsigned nId)
{
    return QString::fromStdString(res::LoadString(nId));
}

// Image n of a strip of 85 x 60 button images.
QPixmap StripImage(const QPixmap& strip, int n)
{
    return strip.copy(n * kButtonWidth, 0, kButtonWidth, kButtonHeight);
}

} // namespace

CMainFrame::CMainFrame()
{
    // Fixed size, no maximise box, the program's name alone in the title.
    setWindowFlags(Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                   Qt::WindowCloseButtonHint);
    setWindowTitle(QStringLiteral("Zelvan"));
    setFixedSize(kWidth, kHeight);
    CreateToolBar();
    CreateMenu();
    CreateStatusBar();
}

CMainFrame::~CMainFrame()
{
    if (m_pPowerView != nullptr)
        m_pPowerView->Shutdown();
}

QAction* CMainFrame::AddCommand(int nId, const QString& text, const QString& tip)
{
    auto* pAction = new QAction(text, this);
    pAction->setObjectName(QString::number(nId));
    pAction->setToolTip(tip);
    pAction->setStatusTip(tip);
    m_commands[nId] = pAction;
    return pAction;
}

QAction* CMainFrame::Command(int nId) const
{
    const auto it = m_commands.find(nId);
    return it == m_commands.end() ? nullptr : it->second;
}

void CMainFrame::CreateToolBar()
{
    struct SButton {
        int nId;
        const char* pszText;
        const char* pszTip;
    };
    static constexpr SButton kButtons[] = {
        {CCommandStates::ID_CONNECT, "Connect", "Connect to the inverter, or disconnect"},
        {CCommandStates::ID_PARAMETERS, "Parameters", "Read and set the grid-protection parameters"},
        {CCommandStates::ID_EXPORT, "Export", "Export a time span of today's data to a workbook"},
        {CCommandStates::ID_TIME_SPAN, "Time span", "Choose the time span the power curve shows"},
        {CCommandStates::ID_CURSOR, "Cursor", "Show the power at a point of the curve"},
        {CCommandStates::ID_TRACKING, "Tracking", "Let the curve follow the newest sample"},
    };
    const QPixmap normal(QStringLiteral(":/toolbar-normal.png"));
    const QPixmap hot(QStringLiteral(":/toolbar-hot.png"));
    QToolBar* pBar = addToolBar(QStringLiteral("Commands"));
    pBar->setObjectName(QStringLiteral("toolbar"));
    pBar->setMovable(false);
    pBar->setIconSize(QSize(kButtonWidth, kButtonHeight));
    pBar->setToolButtonStyle(Qt::ToolButtonIconOnly);
    int n = 0;
    for (const SButton& b : kButtons) {
        QAction* pAction = AddCommand(b.nId, QString::fromLatin1(b.pszText), QString::fromLatin1(b.pszTip));
        QIcon icon(StripImage(normal, n));
        icon.addPixmap(StripImage(hot, n), QIcon::Active);
        pAction->setIcon(icon);
        pAction->setEnabled(false);
        pAction->setCheckable(b.nId == CCommandStates::ID_CURSOR || b.nId == CCommandStates::ID_TRACKING);
        pBar->addAction(pAction);
        ++n;
    }
}

// What the toolbar lacks: help, About and Exit.
void CMainFrame::CreateMenu()
{
    QMenu* pFile = menuBar()->addMenu(QStringLiteral("&File"));
    QAction* pImport = AddCommand(ID_IMPORT_HISTORY, QStringLiteral("&Import history files..."),
                                  QStringLiteral("Read a folder of history workbooks into the energy history"));
    connect(pImport, &QAction::triggered, this, &CMainFrame::OnImportHistory);
    pFile->addAction(pImport);
    pFile->addSeparator();
    QAction* pExit = AddCommand(ID_APP_EXIT, QStringLiteral("E&xit"), QStringLiteral("Quit Zelvan"));
    pExit->setShortcut(QKeySequence::Quit);
    connect(pExit, &QAction::triggered, this, &QWidget::close);
    pFile->addAction(pExit);

    QMenu* pHelp = menuBar()->addMenu(QStringLiteral("&Help"));
    QAction* pTopics = AddCommand(ID_HELP, QStringLiteral("&Help"), QStringLiteral("Open the help"));
    pTopics->setShortcut(QKeySequence::HelpContents);
    connect(pTopics, &QAction::triggered, this, &CMainFrame::OnHelp);
    pHelp->addAction(pTopics);
    QAction* pAbout = AddCommand(ID_APP_ABOUT, QStringLiteral("&About Zelvan..."),
                                 QStringLiteral("Program information and version"));
    connect(pAbout, &QAction::triggered, this, &CMainFrame::OnAbout);
    pHelp->addAction(pAbout);
}

void CMainFrame::CreateStatusBar()
{
    m_pLinkPane = new QLabel(Resource(res::IDS_DISCONNECTED), this);
    m_pLinkPane->setObjectName(QStringLiteral("linkState"));
    m_pLinkPane->setAccessibleName(QStringLiteral("Link state"));
    m_pLinkPane->setMinimumWidth(110);
    m_pLinkPane->setAlignment(Qt::AlignCenter);
    statusBar()->addPermanentWidget(m_pLinkPane);
}

QString CMainFrame::LinkStatus() const
{
    return m_pLinkPane->text();
}

void CMainFrame::OnCreateClient()
{
    m_pTabs = new CTabHolder(this);
    setCentralWidget(m_pTabs);
    m_pPowerView = new CPowerCurveView;
    m_pSysView = new CSysNoteView;
    m_pHistoryView = new CHistoryView;
    m_pTabs->AddView(Resource(res::IDS_POWER_VIEW), 0, m_pPowerView);
    m_pTabs->AddView(Resource(res::IDS_SYSTEM_VIEW), 1, m_pSysView);
    m_pTabs->AddView(Resource(res::IDS_HISTORY_VIEW), 2, m_pHistoryView);
    m_pTabs->SelectView(0);

    m_pPowerView->onStatus = [this](const QString& text) { m_pLinkPane->setText(text); };
    m_pPowerView->onCo2 = [this](float fKg) { m_pSysView->SetCO2(fKg); };
    m_pPowerView->onImportDone = [this](const SImportSummary& summary, bool bRebuild) {
        OnImportDone(summary, bRebuild);
    };

    CCommandStates& states = m_pPowerView->Commands();
    states.SetListener([this](int nId, CCommandStates::SState state) {
        if (QAction* pAction = Command(nId)) {
            pAction->setEnabled(state.bEnabled);
            pAction->setChecked(state.bChecked);
        }
    });
    states.ReportAll();
    connect(Command(CCommandStates::ID_CONNECT), &QAction::triggered, m_pPowerView, &CPowerCurveView::OnConnectToggle);
    connect(Command(CCommandStates::ID_PARAMETERS), &QAction::triggered, m_pPowerView,
            &CPowerCurveView::OnOpenParameters);
    connect(Command(CCommandStates::ID_EXPORT), &QAction::triggered, m_pPowerView, &CPowerCurveView::OnExport);
    connect(Command(CCommandStates::ID_TIME_SPAN), &QAction::triggered, m_pPowerView, &CPowerCurveView::OnTimeSpan);
    connect(Command(CCommandStates::ID_CURSOR), &QAction::triggered, m_pPowerView, &CPowerCurveView::OnToggleCursor);
    connect(Command(CCommandStates::ID_TRACKING), &QAction::triggered, m_pPowerView,
            &CPowerCurveView::OnToggleTracking);

    m_pSysView->OnInitialUpdate();
    m_pPowerView->OnInitialUpdate();
    // The history view reads the store the power view has opened (and
    // checked) by now, through a connection of its own.
    m_pHistoryView->SetStorePath(m_pPowerView->EnergyStoreFile());
}

void CMainFrame::closeEvent(QCloseEvent* pEvent)
{
    if (m_pPowerView != nullptr && m_pPowerView->IsConnected() &&
        platform::ShowMessageBox("Zelvan", kExitQuestion, platform::kMbOkCancel) != platform::kIdOk) {
        pEvent->ignore();
        return;
    }
    if (m_pPowerView != nullptr)
        m_pPowerView->Shutdown();
    pEvent->accept();
}

// The help file beside the program; nothing visible when it is missing.
void CMainFrame::OnHelp()
{
    CHelpCommand::Open(QCoreApplication::applicationDirPath());
}

void CMainFrame::OnAbout()
{
    CAboutDlg dialog(this);
    dialog.exec();
}

void CMainFrame::OnImportHistory()
{
    if (m_pPowerView == nullptr)
        return;
    if (m_pPowerView->EnergyStore() == nullptr) {
        platform::ShowMessageBox("Zelvan", "The energy history database \"" + m_pPowerView->EnergyStoreFile() +
                                               "\" could not be opened; nothing can be imported.",
                                 platform::kMbOk | platform::kMbIconWarning);
        return;
    }
    if (m_pPowerView->IsImporting()) {
        platform::ShowMessageBox("Zelvan", "History files are being imported; try again when that is done.",
                                 platform::kMbOk | platform::kMbIconInformation);
        return;
    }
    const QString folder =
        chooseImportFolder ? chooseImportFolder()
                           : QFileDialog::getExistingDirectory(this, QStringLiteral("Import history files"),
                                                               QString::fromStdString(m_pPowerView->History().Folder()));
    if (folder.isEmpty())
        return;
    m_pPowerView->StartImport(folder.toStdString());
}

void CMainFrame::OnImportDone(const SImportSummary& summary, bool bRebuild)
{
    if (m_pHistoryView != nullptr)
        m_pHistoryView->Refresh();
    // The rebuild was announced with the store's own box; only a failure adds one.
    if (bRebuild && summary.strStoreError.empty())
        return;
    std::string text = summary.Line();
    for (const std::string& skipped : summary.skipped)
        text += "\nskipped " + skipped;
    if (!summary.strStoreError.empty())
        text += "\n\n" + summary.strStoreError;
    const bool bTrouble = !summary.skipped.empty() || !summary.strStoreError.empty();
    platform::ShowMessageBox("Zelvan", text,
                             platform::kMbOk | (bTrouble ? platform::kMbIconWarning : platform::kMbIconInformation));
}

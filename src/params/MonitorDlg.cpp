#include "params/MonitorDlg.h"

#include <QResizeEvent>
#include <QTabBar>
#include <QTabWidget>

#include "params/InvParP1.h"

CMonitorDlg::CMonitorDlg(const ConfigWorkbook& workbook, CInverterCom* pLink, const std::string& strVersion,
                         QWidget* pParent)
    : QDialog(pParent)
{
    const QSize base = dlg::BuildDialog(this, Template());
    // The template helper has no tab control: it is placed here from the
    // template's dialog units.
    m_pTab = new QTabWidget(this);
    m_pTab->setObjectName(dlg::IdName(IDC_TAB));
    m_pTab->setGeometry(dlg::MapDialogRect(QRect(7, 0, 722, 426), base));
    // The focus stays in the page, whose keys (Enter, Escape) it handles.
    m_pTab->tabBar()->setFocusPolicy(Qt::NoFocus);
    m_pTab->setFocusPolicy(Qt::NoFocus);

    m_pPage = new CInvParP1(workbook, m_pTab);
    m_pPage->Open(pLink, strVersion);
    m_pTab->insertTab(0, m_pPage, QStringLiteral("Read Par."));
    PlaceTabs();
}

const dlg::STemplate& CMonitorDlg::Template()
{
    static const dlg::STemplate t{
        IDD, QStringLiteral(" Parameters set and view"), QSize(736, 430), QStringLiteral("MS Shell Dlg"), 8, {},
    };
    return t;
}

// The tab control fills the client area but for a 2-pixel margin; the tab
// control lays the page out inside its frame.
void CMonitorDlg::PlaceTabs()
{
    const QRect client = rect();
    m_pTab->setGeometry(client.left() + 2, client.top() + 2, client.width() - 4, client.height() - 4);
}

void CMonitorDlg::resizeEvent(QResizeEvent* pEvent)
{
    QDialog::resizeEvent(pEvent);
    if (m_pTab != nullptr)
        PlaceTabs();
}

#pragma once
#include <QDialog>

#include <string>

#include "ui/DialogTemplate.h"

class CInvParP1;
class CInverterCom;
class ConfigWorkbook;
class QTabWidget;

// " Parameters set and view": the modal frame around the parameters page.
// It holds one tab, "Read Par.", with the page; it sends nothing itself.
// The power view opens it, hands it the workbook and the link, and routes
// the poll thread's tick and every received value to the page's logic
// while it is open (see CPowerCurveView::OpenParameterDialog). UI thread.
class CMonitorDlg : public QDialog {
    Q_OBJECT
public:
    static constexpr int IDD = 168;
    static constexpr int IDC_TAB = 1184;

    // The page is built and opened here (its logic learns the link's
    // protocol type and the version text), so the dialog is ready to be
    // ticked before it is shown. The workbook and the link are the view's
    // and outlive the dialog.
    CMonitorDlg(const ConfigWorkbook& workbook, CInverterCom* pLink, const std::string& strVersion,
                QWidget* pParent = nullptr);
    static const dlg::STemplate& Template();

    CInvParP1& Page() { return *m_pPage; }
    QTabWidget* Tabs() const { return m_pTab; }

protected:
    void resizeEvent(QResizeEvent* pEvent) override;

private:
    void PlaceTabs();

    // The tab control shows the page of the selected tab itself.
    QTabWidget* m_pTab = nullptr;
    CInvParP1* m_pPage = nullptr;
};

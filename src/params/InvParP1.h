#pragma once
#include <QWidget>

#include <string>

#include "ui/DialogTemplate.h"
#include "params/InvParPage.h"

class CInverterCom;
class ConfigWorkbook;
class QKeyEvent;

// "Read Par.": the parameters set and view page on screen. A thin window
// over CInvParPage: it shows each control as the page logic reports it,
// passes edits, clicks, selections and Enter on, and shows the prompts the
// logic gives back with the focus on the offending field.
//
// Threads: UI thread only, but for the logic's tick (the poll thread runs
// it through the power view's link, see CInvParPage).
class CInvParP1 : public QWidget {
    Q_OBJECT
public:
    static constexpr int IDD = 208;
    static constexpr int IDC_CANCEL = 2;
    static constexpr const char* kNoteText = "note：Grid time par value must be 10 ms unit";

    CInvParP1(const ConfigWorkbook& workbook, QWidget* pParent = nullptr);
    static const dlg::STemplate& Template();

    // Dialog initialisation: the standard list, the page logic's opening
    // (hiding and disabling rules, defaults). Runs before the poll thread
    // sees the logic.
    void Open(CInverterCom* pLink, const std::string& strVersion);

    CInvParPage& Logic() { return m_page; }
    const CInvParPage& Logic() const { return m_page; }

    // The lamp's icon resource id now shown on control 1173 (0: none).
    int LampIcon() const { return m_nLampIcon; }

protected:
    void keyPressEvent(QKeyEvent* pEvent) override;

private:
    void Bind();
    void ShowField(int nId);
    void ShowPrompt(const SPagePrompt& prompt);
    void OnSetAllPars();
    void OnStandardActivated(int nIndex);
    void RequestClose();

    CInvParPage m_page;
    int m_nLampIcon = 0;
};

#include "live/AutoComDlg.h"

#include <QListWidget>
#include <QMetaObject>

CDetectionLines::CDetectionLines(QObject* pParent) : QObject(pParent) {}

void CDetectionLines::Post(const QString& strLine)
{
    QMetaObject::invokeMethod(
        this, [this, strLine] { Deliver(strLine); }, Qt::QueuedConnection);
}

void CDetectionLines::Post(const std::string& strLineUtf8)
{
    Post(QString::fromStdString(strLineUtf8));
}

void CDetectionLines::Attach(CAutoComDlg* pDialog)
{
    m_pDialog = pDialog;
}

void CDetectionLines::Detach(const CAutoComDlg* pDialog)
{
    if (m_pDialog == pDialog)
        m_pDialog = nullptr;
}

void CDetectionLines::Deliver(const QString& strLine)
{
    if (m_pDialog && m_pDialog->IsAlive())
        m_pDialog->AddLine(strLine);
}

const dlg::STemplate& CAutoComDlg::Template()
{
    using namespace dlg;
    static const STemplate t{
        IDD,
        QStringLiteral("Communication detecting"),
        QSize(316, 143),
        QStringLiteral("MS Shell Dlg"),
        8,
        {
            {EKind::ListBox, IDC_PROGRESS, {}, QRect(7, 7, 302, 108), 0, QStringLiteral("Communication detecting")},
            {EKind::Button, IDC_CONTINUE, QStringLiteral("Continue"), QRect(205, 122, 50, 14), kHidden},
            {EKind::DefButton, IDOK, QStringLiteral("Abort"), QRect(259, 122, 50, 14)},
        },
    };
    return t;
}

CAutoComDlg::CAutoComDlg(std::function<void(bool)> setAlive, CDetectionLines* pLines, QWidget* pParent)
    : QDialog(pParent), m_setAlive(std::move(setAlive)), m_pLines(pLines)
{
    setWindowFlags(Qt::Dialog | Qt::WindowTitleHint | Qt::WindowCloseButtonHint | Qt::MSWindowsFixedSizeDialogHint);
    dlg::BuildDialog(this, Template());
}

CAutoComDlg::~CAutoComDlg()
{
    SetAlive(false);
}

QListWidget* CAutoComDlg::List() const
{
    return DlgItem<QListWidget>(this, IDC_PROGRESS);
}

void CAutoComDlg::AddLine(const QString& strLine)
{
    QListWidget* pList = List();
    pList->addItem(strLine);
    pList->scrollToBottom();
}

void CAutoComDlg::End()
{
    done(0);
}

// Escape and the close box abort, as the Abort button does.
void CAutoComDlg::reject()
{
    accept();
}

void CAutoComDlg::done(int nResult)
{
    SetAlive(false);
    QDialog::done(nResult);
}

void CAutoComDlg::showEvent(QShowEvent* pEvent)
{
    QDialog::showEvent(pEvent);
    SetAlive(true);
}

void CAutoComDlg::SetAlive(bool bAlive)
{
    if (m_bAlive == bAlive)
        return;
    m_bAlive = bAlive;
    if (m_pLines) {
        if (bAlive)
            m_pLines->Attach(this);
        else
            m_pLines->Detach(this);
    }
    if (m_setAlive)
        m_setAlive(bAlive);
}

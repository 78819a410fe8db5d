#include "params/InvParP1.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDialog>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPixmap>
#include <QPushButton>

#include "platform/MessageBox.h"

namespace {

using dlg::EKind;
using dlg::kNoId;
using dlg::SControl;

constexpr const char* kPromptCaption = "Zelvan";

// Places of the page, in dialog units. The four groups: "Grid parameter"
// on the left, "Real time data", "DCI" and "Index revise" stacked on the
// right; commands under them.
constexpr int kRow = 15;    // pitch of a row of fields
constexpr int kFieldH = 12; // height of an edit field
constexpr int kLabelDy = 2; // a label's text sits level with its field's

// One label with a current-value field and, unless setId is 0, a
// set-value field, all on one row.
struct SPairPlace {
    int xLabel;
    int wLabel;
    int xCurrent;
    int wField;
    int xSet;
};

void AddPair(std::vector<SControl>& c, const SPairPlace& at, int y, const char* label, int labelId, int currentId,
             int setId, const char* name = nullptr, int labelRows = 1)
{
    const QString text = QString::fromUtf8(label);
    const QString spoken = name != nullptr ? QString::fromUtf8(name) : text;
    const int yLabel = labelRows > 1 ? y - 4 : y + kLabelDy;
    c.push_back({EKind::Static, labelId, text, QRect(at.xLabel, yLabel, at.wLabel, 8 * labelRows + 1), 0});
    c.push_back({EKind::Edit,
                 currentId,
                 {},
                 QRect(at.xCurrent, y, at.wField, kFieldH),
                 dlg::kReadOnly,
                 spoken + QStringLiteral(" current value")});
    if (setId != 0)
        c.push_back(
            {EKind::Edit, setId, {}, QRect(at.xSet, y, at.wField, kFieldH), 0, spoken + QStringLiteral(" set value")});
}

void AddShown(std::vector<SControl>& c, int x, int wLabel, int wField, int y, const char* label, int labelId,
              int fieldId)
{
    const QString text = QString::fromUtf8(label);
    c.push_back({EKind::Static, labelId, text, QRect(x, y + kLabelDy, wLabel, 9), dlg::kNoWrap});
    c.push_back({EKind::Edit, fieldId, {}, QRect(x + wLabel + 2, y, wField, kFieldH), dlg::kReadOnly, text});
}

void AddHeads(std::vector<SControl>& c, const SPairPlace& at, int y)
{
    c.push_back({EKind::Static, kNoId, QStringLiteral("Current"), QRect(at.xCurrent, y, at.wField, 8), dlg::kCentre});
    c.push_back({EKind::Static, kNoId, QStringLiteral("Set"), QRect(at.xSet, y, at.wField, 8), dlg::kCentre});
}

// "Grid parameter": the grid limits with their trip times side by side,
// then the page's other settings and the inverter's identity.
void AddGridGroup(std::vector<SControl>& c)
{
    constexpr SPairPlace left{12, 90, 104, 42, 148};
    constexpr SPairPlace right{200, 82, 284, 42, 328};
    // Fewer, longer rows than the groups beside it: a wider pitch fills the height.
    constexpr int kGridRow = kRow + 2;
    c.push_back({EKind::GroupBox, kNoId, QStringLiteral("Grid parameter"), QRect(4, 2, 374, 360)});
    AddHeads(c, left, 14);
    AddHeads(c, right, 14);
    struct SRow {
        const char* label;
        int cur;
        int set;
        const char* name;
    };
    struct SGridRow {
        SRow a;
        SRow b;
    };
    static const SGridRow rows[] = {
        {{"Vpv-start(V)", 1086, 1100, nullptr}, {"T-start(s)", 1087, 1101, nullptr}},
        {{"Vac low-voltage(V)", 1088, 1102, nullptr}, {"Time(ms)", 1113, 1135, "Vac low-voltage time(ms)"}},
        {{"Vac ultra low-voltage(V)", 1112, 1134, nullptr}, {"Time(ms)", 1114, 1136, "Vac ultra low-voltage time(ms)"}},
        {{"Vac high-voltage(V)", 1090, 1103, nullptr}, {"Time(ms)", 1116, 1138, "Vac high-voltage time(ms)"}},
        {{"Vac ultra high-voltage(V)", 1115, 1137, nullptr},
         {"Time(ms)", 1117, 1139, "Vac ultra high-voltage time(ms)"}},
        {{"Low-frequency(Hz)", 1091, 1104, nullptr}, {"Time(ms)", 1119, 1141, "Low-frequency time(ms)"}},
        {{"Ultra low-frequency(Hz)", 1118, 1140, nullptr}, {"Time(ms)", 1120, 1142, "Ultra low-frequency time(ms)"}},
        {{"High frequency(Hz)", 1092, 1105, nullptr}, {"Time(ms)", 1122, 1144, "High frequency time(ms)"}},
        {{"Ultra high-frequency(Hz)", 1121, 1143, nullptr}, {"Time(ms)", 1123, 1145, "Ultra high-frequency time(ms)"}},
        {{"FacHigh SPI2(Hz)", 1192, 1193, nullptr}, {"Time(ms)", 1196, 1197, "FacHigh SPI2 time(ms)"}},
        {{"FacLow SPI2(Hz)", 1194, 1195, nullptr}, {"Time(ms)", 1198, 1199, "FacLow SPI2 time(ms)"}},
        {{"Connecting FacHigh(Hz)", 1200, 1201, nullptr}, {"ConnectingFacLow(Hz)", 1202, 1203, nullptr}},
    };
    int y = 24;
    for (const SGridRow& row : rows) {
        AddPair(c, left, y, row.a.label, kNoId, row.a.cur, row.a.set, row.a.name);
        AddPair(c, right, y, row.b.label, kNoId, row.b.cur, row.b.set, row.b.name);
        y += kGridRow;
    }
    c.push_back(
        {EKind::Static, kNoId, QString::fromUtf8(CInvParP1::kNoteText), QRect(12, y + 1, 300, 9), dlg::kNoWrap});
    y += 16;

    // The page's other settings.
    AddPair(c, left, y, "Full power limit(%)", kNoId, 1177, 1179);
    AddPair(c, right, y, "Active power reduction Rate(Pf/Hz)", kNoId, 1190, 1191, nullptr, 2);
    y += kGridRow + 4;
    AddPair(c, left, y, "Language", kNoId, 1095, 1108);
    AddPair(c, right, y, "Contrast", 1028, 1097, 1109);
    y += kGridRow + 6;

    // Identity: standard, serial number, address.
    c.push_back({EKind::Static, kNoId, QStringLiteral("Standard"), QRect(left.xLabel, y + kLabelDy, 40, 9)});
    c.push_back({EKind::Edit,
                 CInvParPage::kIdStandardName,
                 {},
                 QRect(left.xCurrent, y, left.wField, kFieldH),
                 dlg::kReadOnly,
                 QStringLiteral("Standard current value")});
    c.push_back({EKind::ComboBox,
                 CInvParPage::kIdStandardCombo,
                 {},
                 QRect(left.xSet, y, 62, 160),
                 dlg::kDisabled,
                 QStringLiteral("Standard set value")});
    // The combo is wider than a field: the code's label moves right.
    AddPair(c, {226, 56, right.xCurrent, right.wField, right.xSet}, y, "StandardCode", kNoId, 1187, 0);
    y += kGridRow;
    c.push_back({EKind::Static, kNoId, QStringLiteral("SN"), QRect(left.xLabel, y + kLabelDy, 40, 9)});
    c.push_back({EKind::Edit,
                 1099,
                 {},
                 QRect(left.xCurrent, y, 60, kFieldH),
                 dlg::kReadOnly,
                 QStringLiteral("SN current value")});
    c.push_back({EKind::Edit,
                 CInvParPage::kIdSerialSet,
                 {},
                 QRect(left.xCurrent + 62, y, 60, kFieldH),
                 0,
                 QStringLiteral("SN set value")});
    c.push_back({EKind::CheckBox, CInvParPage::kIdModbus, QStringLiteral("Modbus"),
                 QRect(right.xCurrent, y + 1, 60, 10), dlg::kDisabled});
    y += kGridRow;
    AddPair(c, left, y, "Addr.", 1022, 1182, 1183);
    AddPair(c, right, y, "Manufacure", 1019, 1185, 1186);
    // Never shown.
    c.push_back({EKind::Static, CInvParPage::kIdMadeLabel, QStringLiteral("Made"),
                 QRect(right.xLabel, y + kGridRow + kLabelDy, 30, 9), dlg::kHidden});
    c.push_back({EKind::ComboBox, CInvParPage::kIdMade, {}, QRect(right.xCurrent, y + kGridRow, 60, 60), dlg::kHidden});
}

// "Real time data": fifteen values in three columns, then the running
// state with its lamp and the list of current faults.
void AddRealTimeGroup(std::vector<SControl>& c)
{
    c.push_back({EKind::GroupBox, kNoId, QStringLiteral("Real time data"), QRect(384, 2, 338, 138)});
    struct SShown {
        const char* label;
        int labelId;
        int field;
    };
    static const SShown columns[3][5] = {
        {{"DC voltage1(V)", kNoId, 1070},
         {"AC voltage1(V)", kNoId, 1071},
         {"AC frequency(Hz)", kNoId, 1072},
         {"AC Power(W)", kNoId, 1073},
         {"AC Current(A)", 1021, 1184}},
        {{"Today(kWh)", kNoId, 1074},
         {"Total(kWh)", kNoId, 1075},
         {"Today run(min)", kNoId, 1076},
         {"Total run(h)", kNoId, 1077},
         {"Temperature", kNoId, 1078}},
        {{"model", kNoId, 1084},
         {"Software version", kNoId, 1085},
         {"B_CPU_AC_U", kNoId, 1159},
         {"A_CPU_BUS_U", kNoId, 1160},
         {"Hardware version", 1018, 1212}},
    };
    constexpr int x[3] = {390, 500, 610};
    for (int col = 0; col < 3; ++col) {
        int y = 14;
        for (const SShown& s : columns[col]) {
            AddShown(c, x[col], 60, 44, y, s.label, s.labelId, s.field);
            y += kRow;
        }
    }
    const int y = 14 + 5 * kRow + 3;
    c.push_back({EKind::Picture,
                 CInvParPage::kIdStateLamp,
                 {},
                 QRect(390, y, 21, 20),
                 0,
                 QStringLiteral("Running state lamp")});
    c.push_back({EKind::Edit,
                 CInvParPage::kIdRunningState,
                 {},
                 QRect(414, y + 4, 126, kFieldH),
                 dlg::kReadOnly,
                 QStringLiteral("Running state")});
    c.push_back(
        {EKind::ListBox, CInvParPage::kIdFaultList, {}, QRect(548, y, 168, 42), 0, QStringLiteral("Current faults")});
}

// "DCI": its two settings, then the current-sensing values.
void AddDciGroup(std::vector<SControl>& c)
{
    constexpr SPairPlace at{390, 46, 438, 38, 478};
    constexpr int y = 166;
    c.push_back({EKind::GroupBox, kNoId, QStringLiteral("DCI"), QRect(384, 144, 338, 70)});
    AddHeads(c, at, y - 10);
    AddPair(c, at, y, "DCI-Limit", kNoId, 1093, 1106);
    AddPair(c, at, y + kRow, "DCI-Shift", kNoId, 1094, 1107);
    AddShown(c, 524, 56, 36, y, "Zero shift1(mA)", 1025, 1079);
    AddShown(c, 524, 56, 36, y + kRow, "DCI1(mA)", kNoId, 1080);
    AddShown(c, 524, 56, 36, y + 2 * kRow, "Is sample", kNoId, 1081);
    AddShown(c, 622, 56, 36, y, "Is max", 1026, 1082);
    AddShown(c, 622, 56, 36, y + kRow, "Is min", 1027, kIsMinField);
    AddShown(c, 622, 56, 36, y + 2 * kRow, "ISO sample", kNoId, 1174);
}

// "Index revise": the calibration pairs, offset beside gain.
void AddIndexReviseGroup(std::vector<SControl>& c)
{
    constexpr SPairPlace offset{390, 66, 458, 42, 502};
    constexpr SPairPlace gain{556, 60, 618, 42, 662};
    c.push_back({EKind::GroupBox, kNoId, QStringLiteral("Index revise"), QRect(384, 218, 338, 144)});
    AddHeads(c, offset, 230);
    AddHeads(c, gain, 230);
    const auto calibration = CalibrationParameters();
    int y = 240;
    for (std::size_t i = 0; i + 1 < calibration.size(); i += 2) {
        const SCalibrationParameter& o = calibration[i];
        const SCalibrationParameter& g = calibration[i + 1];
        // The table lists each pair's offset and gain in either order.
        const SCalibrationParameter& first = o.isOffset ? o : g;
        const SCalibrationParameter& second = o.isOffset ? g : o;
        AddPair(c, offset, y, first.label, kNoId, first.currentField, first.setField);
        AddPair(c, gain, y, second.label, kNoId, second.currentField, second.setField);
        y += kRow;
    }
}

// The switches and commands along the bottom.
void AddCommands(std::vector<SControl>& c)
{
    const int y = 372;
    c.push_back(
        {EKind::CheckBox, CInvParPage::kIdGfci, QStringLiteral("GFCI function"), QRect(12, y, 70, 12), dlg::kDisabled});
    c.push_back(
        {EKind::CheckBox, CInvParPage::kIdIso, QStringLiteral("ISO function"), QRect(90, y, 70, 12), dlg::kDisabled});
    c.push_back({EKind::CheckBox, CInvParPage::kIdIsland, QStringLiteral("Island test switch"), QRect(168, y, 86, 12),
                 dlg::kDisabled});
    c.push_back({EKind::Button, CInvParPage::kIdSetAllPars, QStringLiteral("Set all pars"), QRect(384, y - 2, 70, 16),
                 dlg::kDisabled});
    c.push_back({EKind::Button, CInvParPage::kIdSelfTest, QStringLiteral("Equipment auto test"),
                 QRect(460, y - 2, 84, 16), dlg::kDisabled});
    c.push_back({EKind::Button, CInvParPage::kIdClearEnergy, QStringLiteral("Clear kWh"), QRect(550, y - 2, 70, 16),
                 dlg::kDisabled});
    c.push_back({EKind::Button, CInvParP1::IDC_CANCEL, QStringLiteral("Cancel"), QRect(652, y - 2, 70, 16)});
    c.push_back({EKind::Button, CInvParPage::kIdDefaultPar, QStringLiteral("Default par."), QRect(260, y - 2, 50, 16),
                 dlg::kHidden});
    c.push_back({EKind::DefButton, CInvParPage::kIdSerialButton, QStringLiteral("Button4"), QRect(314, y - 2, 50, 16),
                 dlg::kHidden});
}

std::vector<SControl> PageControls()
{
    std::vector<SControl> c;
    AddGridGroup(c);
    AddRealTimeGroup(c);
    AddDciGroup(c);
    AddIndexReviseGroup(c);
    AddCommands(c);
    return c;
}

} // namespace

CInvParP1::CInvParP1(const ConfigWorkbook& workbook, QWidget* pParent) : QWidget(pParent), m_page(workbook)
{
    dlg::BuildDialog(this, Template());
    m_page.onFieldChanged = [this](int nId) { ShowField(nId); };
    m_page.onPrompt = [this](const SPagePrompt& prompt) { ShowPrompt(prompt); };
    // Poll thread: only a call posted to this window.
    m_page.onRequestsStopped = [this] {
        QMetaObject::invokeMethod(
            this, [this] { m_page.EnableCommands(false); }, Qt::QueuedConnection);
    };
    Bind();
    for (int nId : m_page.FieldIds())
        ShowField(nId);
}

const dlg::STemplate& CInvParP1::Template()
{
    static const dlg::STemplate t{
        IDD, QString(), QSize(726, 392), QStringLiteral("MS Shell Dlg"), 8, PageControls(),
    };
    return t;
}

void CInvParP1::Open(CInverterCom* pLink, const std::string& strVersion)
{
    if (auto* pCombo = DlgItem<QComboBox>(this, CInvParPage::kIdStandardCombo)) {
        const QSignalBlocker block(pCombo);
        pCombo->clear();
        for (const std::string& name : m_page.StandardItems())
            pCombo->addItem(QString::fromStdString(name));
        pCombo->setCurrentIndex(-1);
    }
    m_page.Open(pLink, strVersion);
    for (int nId : m_page.FieldIds())
        ShowField(nId);
}

void CInvParP1::Bind()
{
    // Every change of a field's text counts, not only a key's: assistive
    // tools, paste and undo change it too, and what the field shows is what
    // a command writes. The page's own display sets the text it already holds.
    for (QLineEdit* pEdit : findChildren<QLineEdit*>(QString(), Qt::FindDirectChildrenOnly)) {
        if (pEdit->isReadOnly())
            continue;
        const int nId = pEdit->objectName().toInt();
        connect(pEdit, &QLineEdit::textChanged, this,
                [this, nId](const QString& text) { m_page.SetFieldText(nId, text.toStdString()); });
    }
    // A switch toggled by any means (a click, the space bar, an assistive
    // tool's toggle action) is written; the page shows read states with the
    // box's signals blocked.
    for (int nId : {CInvParPage::kIdGfci, CInvParPage::kIdIso, CInvParPage::kIdIsland}) {
        connect(DlgItem<QCheckBox>(this, nId), &QCheckBox::toggled, this,
                [this, nId](bool bChecked) { m_page.OnSwitchClicked(nId, bChecked); });
    }
    connect(DlgItem<QPushButton>(this, CInvParPage::kIdSetAllPars), &QPushButton::clicked, this,
            &CInvParP1::OnSetAllPars);
    connect(DlgItem<QPushButton>(this, CInvParPage::kIdSelfTest), &QPushButton::clicked, this,
            [this] { m_page.OnSelfTest(); });
    connect(DlgItem<QPushButton>(this, CInvParPage::kIdClearEnergy), &QPushButton::clicked, this,
            [this] { m_page.OnClearEnergy(); });
    connect(DlgItem<QPushButton>(this, CInvParPage::kIdSerialButton), &QPushButton::clicked, this,
            [this] { m_page.OnEnter(); });
    connect(DlgItem<QPushButton>(this, IDC_CANCEL), &QPushButton::clicked, this, &CInvParP1::RequestClose);
    connect(DlgItem<QComboBox>(this, CInvParPage::kIdStandardCombo), &QComboBox::activated, this,
            &CInvParP1::OnStandardActivated);
    // Enter belongs to the page (serial-number processing), not to a
    // focused button's click.
    for (QPushButton* pButton : findChildren<QPushButton*>(QString(), Qt::FindDirectChildrenOnly))
        pButton->setAutoDefault(false);
}

void CInvParP1::ShowField(int nId)
{
    QWidget* pWidget = DlgItem<QWidget>(this, nId);
    if (pWidget == nullptr)
        return;
    const SPageField& field = m_page.Field(nId);
    pWidget->setVisible(field.bVisible);
    pWidget->setEnabled(field.bEnabled);
    if (auto* pEdit = qobject_cast<QLineEdit*>(pWidget)) {
        const QString text = QString::fromStdString(field.strText);
        if (pEdit->text() != text) {
            pEdit->setText(text);
            pEdit->setCursorPosition(0);
        }
    } else if (auto* pCheck = qobject_cast<QCheckBox*>(pWidget)) {
        const QSignalBlocker block(pCheck);
        pCheck->setChecked(field.bChecked);
    } else if (auto* pCombo = qobject_cast<QComboBox*>(pWidget)) {
        if (nId == CInvParPage::kIdStandardCombo) {
            const QSignalBlocker block(pCombo);
            pCombo->setCurrentIndex(field.nSelection);
        }
    } else if (auto* pList = qobject_cast<QListWidget*>(pWidget)) {
        pList->clear();
        for (const std::string& line : field.lines)
            pList->addItem(QString::fromStdString(line));
    } else if (nId == CInvParPage::kIdStateLamp) {
        if (auto* pLamp = qobject_cast<QLabel*>(pWidget); pLamp != nullptr && field.nIcon != m_nLampIcon) {
            m_nLampIcon = field.nIcon;
            pLamp->setPixmap(field.nIcon != 0 ? QPixmap(QStringLiteral(":/lamp-%1.png").arg(field.nIcon)) : QPixmap());
        }
    }
}

void CInvParP1::ShowPrompt(const SPagePrompt& prompt)
{
    platform::ShowMessageBox(kPromptCaption, prompt.strText, platform::kMbOk | platform::kMbIconWarning);
    QWidget* pField = DlgItem<QWidget>(this, prompt.nField);
    if (pField == nullptr || !pField->isEnabled())
        return;
    pField->setFocus(Qt::OtherFocusReason);
    if (auto* pEdit = qobject_cast<QLineEdit*>(pField))
        pEdit->selectAll();
}

void CInvParP1::OnSetAllPars()
{
    if (const std::optional<SPagePrompt> prompt = m_page.OnSetAllPars())
        ShowPrompt(*prompt);
}

void CInvParP1::OnStandardActivated(int nIndex)
{
    if (const std::optional<SPagePrompt> prompt = m_page.OnStandardSelected(nIndex))
        ShowPrompt(*prompt);
}

// Cancel closes the dialog that holds the page, once this click is over.
void CInvParP1::RequestClose()
{
    if (auto* pDialog = qobject_cast<QDialog*>(window()))
        QMetaObject::invokeMethod(pDialog, &QDialog::reject, Qt::QueuedConnection);
}

// Enter runs the serial-number processing; Escape is swallowed, so neither
// reaches the dialog (which would close on Escape).
void CInvParP1::keyPressEvent(QKeyEvent* pEvent)
{
    switch (pEvent->key()) {
    case Qt::Key_Return:
    case Qt::Key_Enter:
        m_page.OnEnter();
        pEvent->accept();
        return;
    case Qt::Key_Escape:
        pEvent->accept();
        return;
    default:
        QWidget::keyPressEvent(pEvent);
    }
}

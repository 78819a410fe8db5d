#include "params/InvParPage.h"

#include <algorithm>
#include <cmath>

#include "config/ConfigWorkbook.h"
#include "link/InverterCom.h"
#include "model/RegisterMap.h"
#include "model/RegisterScale.h"
#include "model/StateTexts.h"
#include "params/FieldText.h"
#include "params/PageTable.h"
#include "platform/StringTable.h"

using namespace fieldtext;

namespace {

constexpr int kIdStandardCodeCurrent = 1187;
constexpr int kIdDci1 = 1080;

// The idle time after which the poll thread's next tick sends.
constexpr int kSendAtNextTick = 501;
// Index of "STANDARD_CODE" in the workbook's setting names.
constexpr int kStandardCodeName = 25;

const std::vector<int> kCommandControls = {
    CInvParPage::kIdSetAllPars, CInvParPage::kIdIsland,      CInvParPage::kIdGfci,         CInvParPage::kIdIso,
    CInvParPage::kIdSelfTest,   CInvParPage::kIdClearEnergy, CInvParPage::kIdStandardCombo};

bool StartsWith(const std::string& text, const std::string& prefix)
{
    return text.compare(0, prefix.size(), prefix) == 0;
}

bool Has(const std::vector<int>& ids, int id)
{
    return std::find(ids.begin(), ids.end(), id) != ids.end();
}

} // namespace

SPagePrompt IntegerRangePrompt(int nField, double low, double high)
{
    return {nField, IntegerRangeText(low, high)};
}

SPagePrompt RealRangePrompt(int nField, double low, double high)
{
    return {nField, RealRangeText(low, high)};
}

CInvParPage::CInvParPage(const ConfigWorkbook& workbook) : m_workbook(workbook)
{
    for (const SSettableParameter& p : SettableParameters()) {
        if (p.hasDefault && IsNumericKind(p.kind))
            m_vars.settings[static_cast<std::size_t>(p.setting)] =
                p.kind == EValueKind::kFloat ? static_cast<float>(p.defaultValue) : p.defaultValue;
    }
    for (std::size_t i = 0; i < CalibrationParameters().size(); ++i)
        m_vars.calibration[i] = static_cast<float>(CalibrationParameters()[i].defaultValue);
    m_vars.strStandardName = kDefaultStandardName;
    m_vars.wStandardCode = static_cast<std::uint16_t>(SettableParameters()[kStandardCode].defaultValue);
    BuildFields();
}

// Every control the page speaks of, in its state as the template creates it.
void CInvParPage::BuildFields()
{
    for (const SSettableParameter& p : SettableParameters()) {
        m_fields[p.currentField];
        if (p.setField != 0)
            m_fields[p.setField];
    }
    for (const SCalibrationParameter& c : CalibrationParameters()) {
        m_fields[c.currentField];
        m_fields[c.setField];
    }
    for (const SShownValue& s : ShownValues())
        m_fields[s.field];
    m_fields[kIsMinField];
    for (int id : {kIdStateLamp, kIdSetAllPars, kIdSelfTest, kIdClearEnergy, kIdModbus})
        m_fields[id];
    for (int id : {kIdDefaultPar, kIdSerialButton})
        m_fields[id].bVisible = false;
    m_fields[kIdModbus].bEnabled = false;
    for (int id : kCommandControls)
        m_fields[id].bEnabled = false;
}

std::vector<int> CInvParPage::HiddenFields(int protocolType)
{
    return PageFacts(protocolType).hiddenFields;
}

std::vector<int> CInvParPage::UnusedFields(int protocolType)
{
    return PageFacts(protocolType).unusedFields;
}

std::vector<int> CInvParPage::LargeModelUnusedFields()
{
    return {1191, 1193, 1195, 1197, 1199, 1201, 1203};
}

void CInvParPage::Open(CInverterCom* pLink, const std::string& strVersion)
{
    SetLink(pLink);
    m_nType = pLink != nullptr ? pLink->ProtocolType() : 0;
    m_strVersion = strVersion;
    m_bEarlyVersion = IsEarlySettingsVersion(strVersion);
    BuildSlots();

    EnableCommands(false);
    SetBlockCount(static_cast<int>(Facts().pageBlocks.size()));
    for (int id : HiddenFields(m_nType)) {
        MutableField(id).bVisible = false;
        Changed(id);
    }
    for (int id : UnusedFields(m_nType)) {
        MutableField(id).bEnabled = false;
        Changed(id);
    }
    MutableField(kIdModbus).bChecked = PageFacts(m_nType).bModbusAddress;
    MutableField(kIdAddressSet).bEnabled = PageFacts(m_nType).bModbusAddress;
    Changed(kIdModbus);
    Changed(kIdAddressSet);
    // The defaults were shown before the combo had its items: none is selected.
    ShowVariables(false);
    SetIdle(kSendAtNextTick);
}

// Where each register of the protocol type goes: settings, calibration and
// shown values, a value of several registers under each of its registers.
void CInvParPage::BuildSlots()
{
    m_slots.clear();
    const bool byIndex = !(Facts().numbering == ERegisterNumbering::kAddress);
    const auto settable = SettableParameters();
    for (std::size_t i = 0; i < settable.size(); ++i) {
        const SSettableParameter& p = settable[i];
        const int first = byIndex ? p.readIndex : p.register2;
        if (first == kNoRegister)
            continue;
        for (int k = 0; k < p.registerCount; ++k)
            m_slots.emplace(first + k, SSlot{ESlot::kSetting, static_cast<int>(i), first, p.registerCount});
    }
    const auto calibration = CalibrationParameters();
    for (std::size_t i = 0; i < calibration.size(); ++i) {
        const int reg = byIndex ? calibration[i].index01 : calibration[i].register2;
        if (reg != kNoRegister)
            m_slots.emplace(reg, SSlot{ESlot::kCalibration, static_cast<int>(i), reg, 1});
    }
    const auto shown = ShownValues();
    for (std::size_t i = 0; i < shown.size(); ++i) {
        const int low = byIndex ? shown[i].index01 : shown[i].register2;
        const int high = byIndex ? shown[i].highIndex01 : shown[i].highRegister2;
        if (low == kNoRegister)
            continue;
        const int parts = high == kNoRegister ? 1 : 2;
        m_slots.emplace(low, SSlot{ESlot::kShown, static_cast<int>(i), parts == 2 ? high : low, parts});
        if (parts == 2)
            m_slots.emplace(high, SSlot{ESlot::kShownHigh, static_cast<int>(i), high, 2});
    }
}

const SPageField& CInvParPage::Field(int nId) const
{
    static const SPageField kNone;
    const auto it = m_fields.find(nId);
    return it != m_fields.end() ? it->second : kNone;
}

std::vector<int> CInvParPage::FieldIds() const
{
    std::vector<int> ids;
    for (const auto& entry : m_fields)
        ids.push_back(entry.first);
    return ids;
}

const std::vector<std::string>& CInvParPage::StandardItems() const
{
    return m_workbook.StandardList();
}

SPageField& CInvParPage::MutableField(int nId)
{
    return m_fields[nId];
}

void CInvParPage::Changed(int nId)
{
    if (onFieldChanged)
        onFieldChanged(nId);
}

void CInvParPage::SetText(int nId, const std::string& text)
{
    SPageField& field = MutableField(nId);
    if (field.strText == text)
        return;
    field.strText = text;
    Changed(nId);
}

void CInvParPage::SetFieldText(int nId, const std::string& strText)
{
    MutableField(nId).strText = strText;
}

void CInvParPage::EnableCommands(bool bEnable)
{
    bEnable = bEnable && !IsStopped();
    for (int id : kCommandControls) {
        MutableField(id).bEnabled = bEnable;
        Changed(id);
    }
}

bool CInvParPage::OnTick()
{
    const bool bStopped = CInvComSet::OnTick();
    if (bStopped && onRequestsStopped)
        onRequestsStopped();
    return bStopped;
}

std::string CInvParPage::TimeOutText() const
{
    return std::string(kTimeOutText) + kTimeOutHint;
}

bool CInvParPage::IsCommandBusy() const
{
    return Mode() != kModeCyclicRead || NextMode() != kModeCyclicRead;
}

// ---------------------------------------------------------------- reading

SRegisterBlock CInvParPage::ReadBlockAt(int block) const
{
    const auto blocks = Facts().pageBlocks;
    if (blocks.empty())
        return {};
    const SPageReadBlock& b =
        blocks[block >= 0 && static_cast<std::size_t>(block) < blocks.size() ? static_cast<std::size_t>(block) : 0];
    if (m_bEarlyVersion && b.earlyVersion.nCount > 0)
        return b.earlyVersion;
    if (m_bLargeModel.load() && b.largeModel.nCount > 0)
        return b.largeModel;
    return b.block;
}

void CInvParPage::OnRegisterValue(platform::WPARAM wParam, platform::LPARAM lParam)
{
    CInverterCom* link = Link();
    if (link == nullptr)
        return;
    // A step that gives the inverter a new address: it is addressed there
    // once the step's reply is in.
    int moveTo = -1;
    if (Mode() == kModeWriteSequence) {
        std::lock_guard lock(m_writeLock);
        const auto step = static_cast<std::size_t>(Repeat());
        if (step < m_writes.size() && m_writes[step].bMoveAfterReply)
            moveTo = m_writes[step].nNewAddress;
    }
    CInvComSet::OnRegisterValue(wParam, lParam);
    if (moveTo >= 0 && link->LinkState() == kLinkIdle)
        link->SetAddressByte(0, static_cast<std::uint8_t>(moveTo));
    // The value has been counted: a box the capture shows cannot shift the numbering.
    if (m_bEndOfCycle)
        EndFirstCycle();
}

std::uint16_t CInvParPage::LastRead(int nRegister) const
{
    const auto it = m_lastRead.find(nRegister);
    return it != m_lastRead.end() ? it->second : 0;
}

void CInvParPage::DisplayRegisterValue(int nRegister, platform::WPARAM, std::uint16_t wValue)
{
    m_lastRead[nRegister] = wValue;
    const auto it = m_slots.find(nRegister);
    if (it == m_slots.end())
        return; // no field of the page
    const SSlot& slot = it->second;
    switch (slot.kind) {
    case ESlot::kSetting:
        ShowSetting(slot, nRegister, wValue);
        break;
    case ESlot::kCalibration:
        ShowCalibration(slot, nRegister, wValue);
        break;
    case ESlot::kShown:
        ShowShown(slot, nRegister);
        break;
    case ESlot::kShownHigh:
        break; // kept for the low word
    }
    const SProtocolFacts& facts = Facts();
    const int end = m_bLargeModel.load() ? facts.nPageCycleEndLarge : facts.nPageCycleEnd;
    if (!m_bFirstReadDone && nRegister == end)
        m_bEndOfCycle = true;
}

void CInvParPage::CopyToSetField(int nSetField, const std::string& text)
{
    if (!m_bFirstReadDone && nSetField != 0)
        SetText(nSetField, text);
}

void CInvParPage::ShowSetting(const SSlot& slot, int nRegister, std::uint16_t wValue)
{
    if (nRegister != slot.nFirst + slot.nParts - 1)
        return; // a word of a longer value: kept until its last one
    const SSettableParameter& p = SettableParameters()[static_cast<std::size_t>(slot.nIndex)];
    switch (p.kind) {
    case EValueKind::kCheckBox: {
        // A box clicked for a write keeps its state until the write is done.
        if (IsCommandBusy())
            return;
        SPageField& box = MutableField(p.currentField);
        box.bChecked = (wValue != 0) != (p.inverted01 && !(Facts().numbering == ERegisterNumbering::kAddress));
        box.bEnabled = true;
        Changed(p.currentField);
        return;
    }
    case EValueKind::kStandardName: {
        std::array<std::uint16_t, 6> words{};
        for (int k = 0; k < 6; ++k)
            words[static_cast<std::size_t>(k)] = LastRead(slot.nFirst + k);
        const std::string name = StandardNameText(words);
        SetText(p.currentField, name);
        if (!name.empty()) {
            m_strReadStandardName = name;
            m_bStandardNameRead = true;
        }
        if (!m_bFirstReadDone)
            ChooseReadStandard(name);
        return;
    }
    case EValueKind::kStandardCode:
        SetText(p.currentField, FormatScaledValue(wValue, GetRegisterScale(m_nType, nRegister)));
        if (!m_bFirstReadDone)
            m_vars.wStandardCode = wValue;
        return;
    case EValueKind::kSerialNumber: {
        const std::string text =
            SerialNumberText({LastRead(slot.nFirst), LastRead(slot.nFirst + 1), LastRead(slot.nFirst + 2)});
        SetText(p.currentField, text);
        if (!m_bFirstReadDone) {
            CopyToSetField(p.setField, text);
            std::uint64_t number = 0;
            if (ParseSerialDigits(text, number))
                m_vars.qwSerial = number;
        }
        return;
    }
    case EValueKind::kShownText: {
        const std::string text = FormatBcdWord(LastRead(slot.nFirst)) + FormatBcdWord(wValue);
        SetText(p.currentField, text);
        CopyToSetField(p.setField, text);
        return;
    }
    default: {
        const std::string text = FormatScaledValue(wValue, GetRegisterScale(m_nType, nRegister));
        SetText(p.currentField, text);
        CopyToSetField(p.setField, text);
        return;
    }
    }
}

void CInvParPage::ShowCalibration(const SSlot& slot, int nRegister, std::uint16_t wValue)
{
    const SCalibrationParameter& c = CalibrationParameters()[static_cast<std::size_t>(slot.nIndex)];
    float scale = GetRegisterScale(m_nType, nRegister);
    // Offsets are signed; the index numbering's table does not say so.
    if (c.isOffset && scale > 0)
        scale = -scale;
    const std::string text = FormatScaledValue(wValue, scale);
    SetText(c.currentField, text);
    CopyToSetField(c.setField, text);
}

void CInvParPage::ShowShown(const SSlot& slot, int nRegister)
{
    const SShownValue& s = ShownValues()[static_cast<std::size_t>(slot.nIndex)];
    const std::uint16_t low = LastRead(nRegister);
    const std::uint32_t value = slot.nParts == 2 ? low + 65536u * LastRead(slot.nFirst) : low;
    const bool byIndex = !(Facts().numbering == ERegisterNumbering::kAddress);
    float scale = ApplyVersionException(nRegister, GetRegisterScale(m_nType, nRegister), m_strVersion);
    if (s.field == kIdDci1 && byIndex && scale > 0)
        scale = -scale;
    const std::string scaled = slot.nParts == 2 ? FormatScaledPair(value, scale) : FormatScaledValue(low, scale);

    switch (s.kind) {
    case EShownKind::kScaled:
        SetText(s.field, scaled);
        return;
    case EShownKind::kFaultList: {
        SPageField& list = MutableField(s.field);
        list.lines.clear();
        for (const std::u16string& line : GetFaultTexts(value, m_nType))
            list.lines.push_back(Utf8FromUtf16(line));
        Changed(s.field);
        return;
    }
    case EShownKind::kRunningState:
        if (const std::optional<SStateText> state = GetStateText(low, m_nType)) {
            SetText(s.field, Utf8FromUtf16(state->strText));
            MutableField(kIdStateLamp).nIcon = state->nIcon;
            Changed(kIdStateLamp);
        }
        return;
    case EShownKind::kModel: {
        const std::string text = byIndex ? scaled : RatedPowerText(low);
        SetText(s.field, text);
        if (!m_bFirstReadDone)
            TakeModelText(text);
        return;
    }
    case EShownKind::kVersion:
        SetText(s.field, byIndex ? scaled : BcdVersionText(low));
        return;
    case EShownKind::kIsMax:
        SetText(s.field, Printf("%d", low + 40));
        SetText(kIsMinField, Printf("%d", low - 35));
        return;
    }
}

// "4K", "4.6K", "5K" (and "4.6" by index) compare greater than "3K".
void CInvParPage::TakeModelText(const std::string& text)
{
    m_strModelText = text;
    const bool large = text > std::string("3K");
    m_bLargeModel.store(large);
    for (int id : LargeModelUnusedFields()) {
        MutableField(id).bEnabled = !large;
        Changed(id);
    }
}

// The standard read in the first cycle selects its combo item: VDE by its
// code, any other by the first list entry that the name begins with.
void CInvParPage::ChooseReadStandard(const std::string& name)
{
    const std::vector<std::string>& items = StandardItems();
    int index = -1;
    const int code = m_vars.wStandardCode;
    if ((code == 1 || code == 2) && StartsWith(name, "VDE") && static_cast<std::size_t>(code) < items.size()) {
        index = code;
    } else {
        for (std::size_t i = 0; i < items.size() && index < 0; ++i) {
            if (StartsWith(name, items[i]))
                index = static_cast<int>(i);
        }
    }
    if (index < 0)
        return;
    MutableField(kIdStandardCombo).nSelection = index;
    Changed(kIdStandardCombo);
}

void CInvParPage::EndFirstCycle()
{
    m_bEndOfCycle = false;
    if (m_bFirstReadDone)
        return;
    m_bFirstReadDone = true;
    if (!IsCommandBusy())
        EnableCommands(true);
    const std::optional<SPagePrompt> prompt = TakeFields();
    if (prompt && onPrompt)
        onPrompt(*prompt);
}

// ------------------------------------------------- fields into variables

bool CInvParPage::IsSkipped(int nField) const
{
    return Has(UnusedFields(m_nType), nField) || (m_bLargeModel.load() && Has(LargeModelUnusedFields(), nField));
}

CInvParPage::STake CInvParPage::TakeSetting(int i, std::map<int, STake>& taken)
{
    if (const auto it = taken.find(i); it != taken.end())
        return it->second;
    const SSettableParameter& p = SettableParameters()[static_cast<std::size_t>(i)];
    STake t;
    if (!IsNumericKind(p.kind) || p.setField == 0 || IsSkipped(p.setField)) {
        taken[i] = t;
        return t;
    }
    const std::string& text = Field(p.setField).strText;
    const bool integerBounds = p.boundRule != EBoundRule::kFloat && p.boundRule != EBoundRule::kNone;
    double value = 0;
    bool outOfRange = false;
    if (p.kind == EValueKind::kFloat) {
        if (!ParseReal(text, value))
            t.prompt = SPagePrompt{p.setField, res::LoadString(res::IDS_PARSE_REAL)};
    } else {
        long long n = 0;
        const EParse parse = ParseInteger(text, n);
        if (parse == EParse::kNotNumber)
            t.prompt = SPagePrompt{p.setField, res::LoadString(res::IDS_PARSE_INT)};
        outOfRange = parse == EParse::kOutOfRange;
        value = static_cast<double>(n);
    }
    if (!t.prompt) {
        double other = 0;
        if (p.minimumFrom != kSettingCount) {
            const STake source = TakeSetting(p.minimumFrom, taken);
            other = source.bValid ? source.value : m_vars.settings[static_cast<std::size_t>(p.minimumFrom)];
        }
        const int reg = WriteRegisterOf(p, Facts());
        if (p.boundRule != EBoundRule::kNone) {
            if (outOfRange || !IsWithinBounds(p, value, other)) {
                const double low = EffectiveMinimum(p, other);
                t.prompt = integerBounds ? IntegerRangePrompt(p.setField, low, p.maximum)
                                         : RealRangePrompt(p.setField, low, p.maximum);
            }
        } else if (reg != kNoRegister) {
            // No bounds: the register's word must hold it.
            const float scale = GetRegisterScale(m_nType, reg);
            if (outOfRange || !FitsRegister(p, value, scale))
                t.prompt = RealRangePrompt(p.setField, p.wordMin / static_cast<double>(scale),
                                           p.wordMax / static_cast<double>(scale));
        }
    }
    t.bValid = !t.prompt;
    t.value = value;
    taken[i] = t;
    return t;
}

CInvParPage::STake CInvParPage::TakeCalibration(int i)
{
    const SCalibrationParameter& c = CalibrationParameters()[static_cast<std::size_t>(i)];
    STake t;
    if (IsSkipped(c.setField))
        return t;
    double value = 0;
    if (!ParseReal(Field(c.setField).strText, value)) {
        t.prompt = SPagePrompt{c.setField, res::LoadString(res::IDS_PARSE_REAL)};
        return t;
    }
    const int reg = (Facts().numbering == ERegisterNumbering::kAddress) ? c.register2 : c.index01;
    if (c.hasBounds) {
        if (!IsWithinBounds(c, value))
            t.prompt = RealRangePrompt(c.setField, c.minimum, c.maximum);
    } else if (reg != kNoRegister) {
        const float scale = std::fabs(GetRegisterScale(m_nType, reg));
        if (!CalibrationFits(c, value, scale))
            t.prompt = c.isOffset ? RealRangePrompt(c.setField, -32768 / scale, 32767 / scale)
                                  : RealRangePrompt(c.setField, 0, 65535 / scale);
    }
    t.bValid = !t.prompt;
    t.value = value;
    return t;
}

// Takes every valid field into its variable; the first invalid one (in
// catalogue order) is prompted for and its variable keeps its value.
std::optional<SPagePrompt> CInvParPage::TakeFields()
{
    std::optional<SPagePrompt> first;
    std::map<int, STake> taken;
    for (int i = 0; i < kSettingCount; ++i)
        TakeSetting(i, taken);
    for (const auto& [i, t] : taken) {
        if (t.bValid) {
            const SSettableParameter& p = SettableParameters()[static_cast<std::size_t>(i)];
            m_vars.settings[static_cast<std::size_t>(i)] =
                p.kind == EValueKind::kUnsigned ? AsUnsigned32(t.value) : t.value;
        } else if (t.prompt && !first) {
            first = t.prompt;
        }
    }
    for (int i = 0; i < kCalibrationCount; ++i) {
        const STake t = TakeCalibration(i);
        if (t.bValid)
            m_vars.calibration[static_cast<std::size_t>(i)] = t.value;
        else if (t.prompt && !first)
            first = t.prompt;
    }
    // A drop-down list without a selection would give an empty name: the
    // name last read stands in for it.
    const int selection = Field(kIdStandardCombo).nSelection;
    const std::vector<std::string>& items = StandardItems();
    if (selection >= 0 && static_cast<std::size_t>(selection) < items.size())
        m_vars.strStandardName = items[static_cast<std::size_t>(selection)];
    else if (m_bStandardNameRead)
        m_vars.strStandardName = m_strReadStandardName;
    m_vars.strManufacture = Field(kIdManufactureSet).strText;
    return first;
}

std::string CInvParPage::VariableText(const SSettableParameter& p) const
{
    const double value = m_vars.settings[static_cast<std::size_t>(p.setting)];
    switch (p.kind) {
    case EValueKind::kUnsigned:
        return Printf("%u", static_cast<unsigned>(AsUnsigned32(value)));
    case EValueKind::kSigned:
        return Printf("%d", static_cast<int>(value));
    default:
        return FloatText(value);
    }
}

void CInvParPage::ShowVariables(bool bStandardChosen)
{
    for (const SSettableParameter& p : SettableParameters()) {
        if (IsNumericKind(p.kind) && p.setField != 0)
            SetText(p.setField, VariableText(p));
    }
    const auto calibration = CalibrationParameters();
    for (std::size_t i = 0; i < calibration.size(); ++i)
        SetText(calibration[i].setField, FloatText(m_vars.calibration[i]));
    SetText(kIdManufactureSet, m_vars.strManufacture);
    // Only the serial number's own processing takes its field: after a
    // standard was chosen the variable may still hold the number read, and
    // showing it would lose one typed but not yet written.
    if (!bStandardChosen) {
        SetText(kIdSerialSet, Printf("%llu", static_cast<unsigned long long>(m_vars.qwSerial)));
        return;
    }
    const std::vector<std::string>& items = StandardItems();
    const auto it = std::find(items.begin(), items.end(), m_vars.strStandardName);
    if (it != items.end()) {
        MutableField(kIdStandardCombo).nSelection = static_cast<int>(it - items.begin());
        Changed(kIdStandardCombo);
    }
}

// ------------------------------------------------------------ commands

// The serial-number field: a 10-character label is decoded first; the text
// must then be 1 to 12 decimal digits.
CInvParPage::ESerial CInvParPage::ProcessSerialNumber(bool bLabelsOnly)
{
    std::string text = Field(kIdSerialSet).strText;
    bool decoded = false;
    if (text.size() == 10) {
        std::string label = text;
        const int year = m_workbook.DecodeSerialLabel(label);
        if (year != 0) {
            if (year == 2010)
                label[0] = '1';
            text = label;
            decoded = true;
        }
    }
    if (bLabelsOnly && !decoded)
        return ESerial::kUnchanged;
    std::uint64_t number = 0;
    if (!ParseSerialDigits(text, number))
        return bLabelsOnly ? ESerial::kUnchanged : ESerial::kInvalid;
    m_vars.qwSerial = number;
    if (decoded)
        SetText(kIdSerialSet, Printf("%llu", static_cast<unsigned long long>(number)));
    return ESerial::kTaken;
}

void CInvParPage::OnEnter()
{
    ProcessSerialNumber(true);
}

std::optional<SPagePrompt> CInvParPage::OnSetAllPars()
{
    if (!Field(kIdSetAllPars).bEnabled || IsCommandBusy())
        return std::nullopt;
    if (std::optional<SPagePrompt> prompt = TakeFields())
        return prompt;
    if (ProcessSerialNumber(false) != ESerial::kTaken || !IsValidSerialNumber(m_vars.qwSerial))
        return SPagePrompt{kIdSerialSet, kSerialInvalidText};
    std::vector<SPageWrite> steps;
    if (std::optional<SPagePrompt> prompt = BuildSetAllSequence(steps))
        return prompt;
    StartWrite(std::move(steps));
    return std::nullopt;
}

void CInvParPage::OnSwitchClicked(int nId, bool bChecked)
{
    if (!Field(nId).bEnabled || IsCommandBusy() || (nId != kIdGfci && nId != kIdIso && nId != kIdIsland)) {
        Changed(nId); // the box shows its old state again
        return;
    }
    MutableField(nId).bChecked = bChecked;
    Changed(nId);
    std::vector<SPageWrite> steps;
    const SProtocolFacts& facts = Facts();
    if (facts.nUnlockRegister != 0 && !m_bUnlockSent) {
        SPageWrite unlock;
        unlock.nStart = facts.nUnlockRegister;
        unlock.words = {facts.wUnlockWord};
        steps.push_back(unlock);
        m_bUnlockSent = true;
    }
    SPageWrite write;
    write.form = SPageWrite::EForm::kSwitch;
    write.nSwitch = nId;
    write.bChecked = bChecked;
    steps.push_back(write);
    StartWrite(std::move(steps));
}

void CInvParPage::OnSelfTest()
{
    if (Field(kIdSelfTest).bEnabled && !IsCommandBusy())
        StartCommand(kModeSelfTest);
}

void CInvParPage::OnClearEnergy()
{
    if (Field(kIdClearEnergy).bEnabled && !IsCommandBusy())
        StartCommand(kModeClearEnergy);
}

std::optional<SPagePrompt> CInvParPage::OnStandardSelected(int nIndex)
{
    const std::vector<std::string>& items = StandardItems();
    if (!Field(kIdStandardCombo).bEnabled || nIndex < 0 || static_cast<std::size_t>(nIndex) >= items.size())
        return std::nullopt;
    const int standard = static_cast<int>(
        std::find(items.begin(), items.end(), items[static_cast<std::size_t>(nIndex)]) - items.begin());
    // Without its code the name would change while the limits stay.
    double code = 0;
    if (LookupStandardValue(kStandardCodeName, m_workbook, standard, code) != 0 || !(code > -1 && code < 65536)) {
        Changed(kIdStandardCombo); // back to the item selected before
        return SPagePrompt{kIdStandardCombo, kNoStandardCodeText};
    }
    MutableField(kIdStandardCombo).nSelection = nIndex;
    Changed(kIdStandardCombo);
    std::optional<SPagePrompt> prompt = TakeFields();

    const auto names = StandardSettings();
    for (std::size_t n = 0; n < names.size(); ++n) {
        const SStandardSetting& s = names[n];
        double value = 0;
        if (s.target == kSettingCount || LookupStandardValue(static_cast<int>(n), m_workbook, standard, value) != 0)
            continue;
        if (s.target == kStandardCode) {
            m_vars.wStandardCode = static_cast<std::uint16_t>(std::trunc(value));
            continue;
        }
        const SSettableParameter& p = SettableParameters()[static_cast<std::size_t>(s.target)];
        double held = s.integer ? std::trunc(value) : value;
        if (p.kind == EValueKind::kFloat)
            held = static_cast<float>(held);
        const bool holds =
            std::isfinite(held) && (p.kind == EValueKind::kFloat ||
                                    (p.kind == EValueKind::kUnsigned ? held >= 0 && held <= 4294967295.0
                                                                     : held >= -2147483648.0 && held <= 2147483647.0));
        if (holds)
            m_vars.settings[static_cast<std::size_t>(s.target)] = held;
    }
    ShowVariables(true);
    return prompt;
}

// The parameter page's write sequences: the words "Set all pars" writes,
// built from the variables, and the requests of a command as the poll
// thread sends them.
#include "params/InvParPage.h"

#include <cmath>

#include "link/InverterCom.h"
#include "model/RegisterScale.h"
#include "params/FieldText.h"
#include "params/PageTable.h"
#include "platform/StringTable.h"

using namespace fieldtext;

namespace {

bool Contains(const SRegisterBlock& block, int reg)
{
    return reg >= block.nStart && reg < block.nStart + block.nCount;
}

} // namespace

int CInvParPage::AddressRegister() const
{
    return WriteRegisterOf(SettableParameters()[kModbusAddress], Facts());
}

std::optional<std::uint16_t> CInvParPage::WordFor(int nRegister, std::optional<SPagePrompt>& prompt) const
{
    const SProtocolFacts& facts = Facts();
    for (const SFixedWord& fixed : facts.pageFixedWords) {
        if (fixed.nRegister == nRegister)
            return fixed.wWord;
    }
    const bool byIndex = Facts().numbering != ERegisterNumbering::kAddress;
    const float scale = GetRegisterScale(m_nType, nRegister);
    for (const SSettableParameter& p : SettableParameters()) {
        const int first = WriteRegisterOf(p, Facts());
        if (first == kNoRegister || nRegister < first || nRegister >= first + p.registerCount)
            continue;
        const auto k = static_cast<std::size_t>(nRegister - first);
        switch (p.kind) {
        case EValueKind::kStandardName:
            return StandardNameWords(m_vars.strStandardName)[k];
        case EValueKind::kStandardCode:
            return m_vars.wStandardCode;
        case EValueKind::kCheckBox: {
            const bool checked = Field(p.currentField).bChecked;
            return static_cast<std::uint16_t>(checked != (p.inverted01 && byIndex) ? 1 : 0);
        }
        case EValueKind::kSerialNumber:
            return SerialNumberWords(m_vars.qwSerial)[k];
        case EValueKind::kProtocolFlag:
            return static_cast<std::uint16_t>(m_nType);
        case EValueKind::kShownText:
            break;
        default: {
            double value = m_vars.settings[static_cast<std::size_t>(p.setting)];
            if (IsIntegerKind(p.kind))
                value = AsUnsigned32(value);
            // Held to its bounds when taken; a word that cannot hold it is never sent.
            if (FitsRegister(p, value, scale))
                return EncodeSetting(p, value, scale);
            prompt = RealRangePrompt(p.setField, p.wordMin / static_cast<double>(scale),
                                     p.wordMax / static_cast<double>(scale));
            return std::nullopt;
        }
        }
    }
    const auto calibration = CalibrationParameters();
    for (std::size_t i = 0; i < calibration.size(); ++i) {
        const SCalibrationParameter& c = calibration[i];
        if ((byIndex ? c.index01 : c.register2) != nRegister)
            continue;
        const double value = m_vars.calibration[i];
        if (!CalibrationFits(c, value, std::fabs(scale))) {
            prompt = SPagePrompt{c.setField, res::LoadString(res::IDS_PARSE_REAL)};
            return std::nullopt;
        }
        return c.isOffset ? EncodeSignedScaledValue(value, scale) : EncodeScaledValue(value, scale);
    }
    // A register no variable owns goes back as it was read in this dialog.
    if (const auto it = m_lastRead.find(nRegister); it != m_lastRead.end())
        return it->second;
    prompt = SPagePrompt{kIdSetAllPars, "Register " + std::to_string(nRegister) + " has not been read yet."};
    return std::nullopt;
}

std::optional<SPagePrompt> CInvParPage::BuildSetAllSequence(std::vector<SPageWrite>& steps) const
{
    const SProtocolFacts& facts = Facts();
    const bool large = m_bLargeModel.load();
    const int addressRegister = AddressRegister();
    for (const SPageWriteStep& st : facts.pageWriteSteps) {
        SRegisterBlock block = st.block;
        if (m_bEarlyVersion && st.earlyVersion.nCount > 0)
            block = st.earlyVersion;
        if (large && st.largeModel.nCount > 0)
            block = st.largeModel;
        SPageWrite write;
        if (st.form == EPageWriteForm::kSerialNumber) {
            write.form = SPageWrite::EForm::kSerialNumber;
            write.qwSerial = m_vars.qwSerial;
            steps.push_back(write);
            continue;
        }
        write.nStart = block.nStart;
        for (int reg = block.nStart; reg < block.nStart + block.nCount; ++reg) {
            std::optional<SPagePrompt> prompt;
            const std::optional<std::uint16_t> word = WordFor(reg, prompt);
            if (!word)
                return prompt ? prompt : SPagePrompt{kIdSetAllPars, res::LoadString(res::IDS_PARSE_REAL)};
            write.words.push_back(*word);
        }
        if ((st.bNewAddressAfterSend || st.bNewAddressAfterReply) && Contains(block, addressRegister)) {
            write.nNewAddress = write.words[static_cast<std::size_t>(addressRegister - block.nStart)] & 0xFF;
            write.bMoveAfterReply = st.bNewAddressAfterReply;
        }
        steps.push_back(write);
    }
    return std::nullopt;
}

void CInvParPage::StartWrite(std::vector<SPageWrite> steps)
{
    const int count = static_cast<int>(steps.size());
    {
        std::lock_guard lock(m_writeLock);
        m_writes = std::move(steps);
    }
    StartCommand(kModeWriteSequence, count);
}

std::vector<SPageWrite> CInvParPage::WriteSequence() const
{
    std::lock_guard lock(m_writeLock);
    return m_writes;
}

void CInvParPage::SendRequest()
{
    CInverterCom* link = Link();
    if (link == nullptr)
        return;
    switch (Mode()) {
    case kModeWriteSequence: {
        std::optional<SPageWrite> step;
        {
            std::lock_guard lock(m_writeLock);
            const auto r = static_cast<std::size_t>(Repeat());
            if (r < m_writes.size())
                step = m_writes[r];
        }
        if (step)
            SendWrite(*step);
        return;
    }
    case kModeClearEnergy:
        link->SendClearEnergy();
        return;
    case kModeSelfTest:
        link->SendSelfTest();
        return;
    default:
        link->ReadBlock(ReadBlockAt(Block()));
        return;
    }
}

void CInvParPage::SendWrite(const SPageWrite& step)
{
    CInverterCom* link = Link();
    switch (step.form) {
    case SPageWrite::EForm::kRegisters:
        // A step holds at most one frame's words (the sequence is cut so);
        // one that did not fit sends nothing and ends in the page's time-out.
        if (!link->WriteRegisters(step.words.data(), step.nStart, static_cast<int>(step.words.size())))
            return;
        // The inverter answers from its new address already.
        if (step.nNewAddress >= 0 && !step.bMoveAfterReply)
            link->SetAddressByte(0, static_cast<std::uint8_t>(step.nNewAddress));
        return;
    case SPageWrite::EForm::kSerialNumber:
        link->WriteSerialNumber(step.qwSerial);
        return;
    case SPageWrite::EForm::kSwitch:
        if (step.nSwitch == kIdGfci)
            link->WriteGfciFunction(step.bChecked);
        else if (step.nSwitch == kIdIso)
            link->WriteIsoFunction(step.bChecked);
        else
            link->WriteIslandTestSwitch(!step.bChecked);
        return;
    }
}

#pragma once
#include <array>
#include <atomic>
#include <cstdint>
#include <functional>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

#include "link/InvComSet.h"
#include "link/ProtocolTable.h"
#include "params/ParameterCatalogue.h"

class ConfigWorkbook;

// What the page shows in one control, by control id. The window copies it
// into the control; which members matter depends on the control's kind.
struct SPageField {
    std::string strText; // edit fields: the text shown
    bool bVisible = true;
    bool bEnabled = true;
    bool bChecked = false;          // check boxes
    int nSelection = -1;            // the standard combo: the item selected, -1 none
    std::vector<std::string> lines; // the fault list
    int nIcon = 0;                  // the running-state lamp (an icon resource id), 0 none
};

// A box for the window to show, then put the focus on the field.
struct SPagePrompt {
    int nField = 0;
    std::string strText;
    bool operator==(const SPagePrompt&) const = default;
};

// The range prompts of the dialogs' data exchange, with their bounds.
SPagePrompt IntegerRangePrompt(int nField, double low, double high);
SPagePrompt RealRangePrompt(int nField, double low, double high);

// The page's variables: what "Set all pars" writes. Float settings hold
// values a 32-bit float holds; integer settings whole numbers.
struct SPageVariables {
    std::array<double, kSettingCount> settings{}; // by ESetting (numeric settings only)
    std::array<double, kCalibrationCount> calibration{};
    std::string strStandardName;
    std::uint16_t wStandardCode = 0;
    std::uint64_t qwSerial = 0;
    std::string strManufacture;
};

// One request of a write sequence, built when the operator commits the
// command; the poll thread only sends it.
struct SPageWrite {
    enum class EForm { kRegisters, kSerialNumber, kSwitch };
    EForm form = EForm::kRegisters;
    int nStart = 0; // first register (kRegisters)
    std::vector<std::uint16_t> words;
    std::uint64_t qwSerial = 0;   // kSerialNumber
    int nSwitch = 0;              // kSwitch: the check box's id
    bool bChecked = false;        // kSwitch: its state at the click
    int nNewAddress = -1;         // the link moves to this slave address (-1: stays)
    bool bMoveAfterReply = false; // ... once the reply is in, else right after sending
};

// The parameters set and view page, free of the window: its fields by
// control id, its variables, the read cycle and what each value shows, the
// standard choice, the serial number, the bounds of entered values and the
// write sequences of its commands. The window binds it to controls: it
// shows Field(id) whenever onFieldChanged names id, passes edits, clicks,
// selections and Enter on, and shows the prompts it gets back. A refused
// click or selection names its control again: the window then shows the
// field's state, which the refusal left as it was.
//
// Threads:
//  - UI thread: Open, every On... operation, SetFieldText, Field, Variables,
//    OnRegisterValue and DisplayRegisterValue (values arrive as posted
//    messages), EnableCommands, and the two callbacks.
//  - Poll thread: OnTick and through it SendRequest. SendRequest reads the
//    request counters (atomics), the read-cycle variants (fixed at Open, or
//    atomic), and the write sequence under m_writeLock; the sequence is a
//    copy built on the UI thread when a command is committed. It never
//    touches fields or variables.
// Open must run before the page is handed to the poll thread.
class CInvParPage : public CInvComSet {
public:
    // Controls of the page beyond the catalogue's value fields.
    static constexpr int kIdSetAllPars = 1000;
    static constexpr int kIdSelfTest = 1001;
    static constexpr int kIdClearEnergy = 1002;
    static constexpr int kIdDefaultPar = 1009;
    static constexpr int kIdSerialButton = 1010; // the hidden default button: serial processing
    static constexpr int kIdStandardCombo = 1096;
    static constexpr int kIdStandardName = 1098;
    static constexpr int kIdFaultList = 1110;
    static constexpr int kIdSerialSet = 1111;
    static constexpr int kIdRunningState = 1156;
    static constexpr int kIdGfci = 1157;
    static constexpr int kIdIso = 1158;
    static constexpr int kIdStateLamp = 1173;
    static constexpr int kIdIsland = 1175;
    static constexpr int kIdMade = 1180;
    static constexpr int kIdMadeLabel = 1020;
    static constexpr int kIdModbus = 1181;
    static constexpr int kIdAddressSet = 1183;
    static constexpr int kIdManufactureCurrent = 1185;
    static constexpr int kIdManufactureSet = 1186;
    static constexpr int kIdIsMax = 1082;

    static constexpr const char* kSerialInvalidText = "Serial No. input invalid!";
    static constexpr const char* kNoStandardCodeText =
        "The workbook holds no STANDARD_CODE for this standard; it was not chosen.";
    // Added to the time-out box: the page reads again only in a new dialog.
    static constexpr const char* kTimeOutHint =
        "\n\nThe page has stopped. Close the dialog and open it again to read the inverter once more.";

    // UI thread: a field's shown state changed.
    std::function<void(int nField)> onFieldChanged;
    // UI thread: a prompt that arises from arriving values (the end of the
    // first read cycle). It is called after the value has been counted, so a
    // modal box that lets further values in shifts nothing.
    std::function<void(const SPagePrompt&)> onPrompt;
    // Poll thread: the time-out stopped the page's requests. The window
    // posts itself a call to EnableCommands(false); it must touch nothing here.
    std::function<void()> onRequestsStopped;

    // The workbook gives the standard list and the standards' values.
    explicit CInvParPage(const ConfigWorkbook& workbook);

    // Dialog initialisation: the link (its protocol type), the version text
    // read at connecting, the hiding and disabling rules, the combo's items,
    // the defaults in the set-value fields. The first read goes out at the
    // poll thread's next tick.
    void Open(CInverterCom* pLink, const std::string& strVersion);

    // --- the window's side (UI thread) ---
    const SPageField& Field(int nId) const;
    bool HasField(int nId) const { return m_fields.count(nId) != 0; }
    std::vector<int> FieldIds() const;
    const std::vector<std::string>& StandardItems() const;
    // A set-value field's text changed, by whatever means (keys, paste, an
    // assistive tool, or the page's own display of the text it holds).
    void SetFieldText(int nId, const std::string& strText);
    // Commands. A command whose control is disabled does nothing.
    std::optional<SPagePrompt> OnSetAllPars();
    // A switch's box was clicked to `bChecked`; refused (the box then shows
    // its old state again) while another command is in progress.
    void OnSwitchClicked(int nId, bool bChecked);
    void OnSelfTest();
    void OnClearEnergy();
    std::optional<SPagePrompt> OnStandardSelected(int nIndex);
    // Enter, or the hidden default button: serial-number processing.
    void OnEnter();

    const SPageVariables& Variables() const { return m_vars; }
    bool IsFirstReadDone() const { return m_bFirstReadDone; }
    bool IsLargeModel() const { return m_bLargeModel.load(); }
    const std::string& ModelText() const { return m_strModelText; }
    // The sequence of the command in progress (UI thread; a copy).
    std::vector<SPageWrite> WriteSequence() const;

    // Fields hidden at opening; set-value fields disabled because the
    // protocol type does not write them; the same for a large model. A
    // disabled field is not taken into the variables.
    static std::vector<int> HiddenFields(int protocolType);
    static std::vector<int> UnusedFields(int protocolType);
    static std::vector<int> LargeModelUnusedFields();
    // The read the cycle sends at block `block` (poll thread and tests).
    SRegisterBlock ReadBlockAt(int block) const;

    // --- CInvComSet ---
    bool OnTick() override; // poll thread
    std::string TimeOutText() const override;
    void OnRegisterValue(platform::WPARAM wParam, platform::LPARAM lParam) override;
    void DisplayRegisterValue(int nRegister, platform::WPARAM wParam, std::uint16_t wValue) override;
    void SendRequest() override; // poll thread
    // Commands stay disabled once the time-out has stopped the requests.
    void EnableCommands(bool bEnable) override;

private:
    // Where a register's value goes.
    enum class ESlot { kSetting, kCalibration, kShown, kShownHigh };
    struct SSlot {
        ESlot kind;
        int nIndex; // into the catalogue table of its kind
        int nFirst; // the value's first register
        int nParts; // registers of the value
    };
    // The outcome of taking one field.
    struct STake {
        bool bValid = false;
        double value = 0;
        std::optional<SPagePrompt> prompt;
    };

    void BuildFields();
    void BuildSlots();
    SPageField& MutableField(int nId);
    void Changed(int nId);
    void SetText(int nId, const std::string& text);

    void ShowSetting(const SSlot& slot, int nRegister, std::uint16_t wValue);
    void ShowCalibration(const SSlot& slot, int nRegister, std::uint16_t wValue);
    void ShowShown(const SSlot& slot, int nRegister);
    void CopyToSetField(int nSetField, const std::string& text);
    void ChooseReadStandard(const std::string& name);
    void TakeModelText(const std::string& text);
    void EndFirstCycle();
    std::uint16_t LastRead(int nRegister) const;

    std::optional<SPagePrompt> TakeFields();
    STake TakeSetting(int i, std::map<int, STake>& taken);
    STake TakeCalibration(int i);
    bool IsSkipped(int nField) const;
    // At opening every variable is shown; after a standard was chosen the
    // combo shows it too, and the serial-number field keeps what it holds.
    void ShowVariables(bool bStandardChosen);
    std::string VariableText(const SSettableParameter& p) const;

    enum class ESerial { kUnchanged, kTaken, kInvalid };
    ESerial ProcessSerialNumber(bool bLabelsOnly);

    bool IsCommandBusy() const;
    std::optional<SPagePrompt> BuildSetAllSequence(std::vector<SPageWrite>& steps) const;
    std::optional<std::uint16_t> WordFor(int nRegister, std::optional<SPagePrompt>& prompt) const;
    int AddressRegister() const;
    void StartWrite(std::vector<SPageWrite> steps);
    void SendWrite(const SPageWrite& step);

    const ConfigWorkbook& m_workbook;
    std::map<int, SPageField> m_fields;                // UI thread
    std::unordered_map<int, SSlot> m_slots;            // by register of the protocol type
    std::unordered_map<int, std::uint16_t> m_lastRead; // words read in this dialog
    SPageVariables m_vars;
    std::string m_strModelText;
    std::string m_strReadStandardName; // last read from the inverter
    bool m_bStandardNameRead = false;
    bool m_bFirstReadDone = false;
    bool m_bEndOfCycle = false;
    bool m_bUnlockSent = false;

    // The link's facts of the protocol type the page was opened under.
    const SProtocolFacts& Facts() const { return ProtocolFacts(m_nType); }

    // Fixed at Open, before the poll thread sees the page.
    int m_nType = 0;
    bool m_bEarlyVersion = false;
    std::string m_strVersion;
    std::atomic<bool> m_bLargeModel{false};

    mutable std::mutex m_writeLock; // the sequence: built on the UI thread, sent from the poll thread
    std::vector<SPageWrite> m_writes;
};

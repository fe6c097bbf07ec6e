#include "plugin/SettingsDialogs.h"

#include "plugin/PeqAlg.h"
#include "plugin/RegistryEx.h"

#include "foundation/kvFMDialogs.h"

#include <wx/combobox.h>
#include <wx/radiobut.h>
#include <wx/slider.h>

#include <algorithm>
#include <cctype>
#include <charconv>
#include <filesystem>

namespace {

bool SameIgnoringCase(const std::string& a, const std::string& b) {
    return a.size() == b.size() &&
           std::equal(a.begin(), a.end(), b.begin(), [](unsigned char x, unsigned char y) {
               return std::tolower(x) == std::tolower(y);
           });
}

std::string FormatNumber(double value, std::chars_format format, int precision) {
    char buffer[64];
    const auto [end, ec] = std::to_chars(buffer, buffer + sizeof buffer, value, format, precision);
    return ec == std::errc() ? std::string(buffer, end) : std::string();
}

// A radio group that shows no button for its value (no button on) keeps
// the value; a button the user picks replaces it.
void ExchangeChoice(CGenericWindow& dialog, int32_t id, int32_t& member, bool save) {
    int32_t value = member;
    ExchangeRadio(dialog, id, value, save);
    if (value >= 0)
        member = value;
}

} // namespace

// "POP Settings".

int32_t CPOPFileSettingsDlg::DataExchange(bool save) {
    ExchangeChoice(*this, kResetAuto, resetSelector, save);
    ExchangeChoice(*this, kEepromDefault, eepromSelector, save);
    ExchangeText(*this, kResetFile, resetFile, save);
    ExchangeText(*this, kEepromFile, eepromFile, save);
    ExchangeComboText(*this, kRunPath, runPath, save);
    return 1;
}

intptr_t CPOPFileSettingsDlg::OnInitDialog() {
    const intptr_t result = CGenericWindow::OnInitDialog();
    if (auto* combo = dynamic_cast<wxComboBox*>(Control(kRunPath)))
        for (const std::string& path : LoadPopRunHistory())
            combo->Append(TextToWx(path));
    return result;
}

intptr_t CPOPFileSettingsDlg::WindowProc(wxWindow* window, uint32_t message, uintptr_t wParam,
                                         intptr_t lParam) {
    if (message == kMsgDestroy && window == GetWindow()) {
        DataExchange(true);
        std::vector<std::string> history;
        if (auto* combo = dynamic_cast<wxComboBox*>(Control(kRunPath)))
            for (const wxString& item : combo->GetStrings())
                history.push_back(WxToText(item));
        SavePopRunHistory(history);
    }
    return CGenericWindow::WindowProc(window, message, wParam, lParam);
}

bool CPOPFileSettingsDlg::Browse(std::string& value) {
    kvFM::KCDialogCreationOptions options;
    options.flags = kvFM::eDialogSelectFile;
    options.fileTypes.emplace_back("POP Files", ".pop", KCFourCC(KV_FOURCC("TEXT")),
                                   KCFourCC(KV_FOURCC("Zorb")));
    options.fileTypes.emplace_back("Text Files", ".txt", KCFourCC(KV_FOURCC("TEXT")),
                                   KCFourCC(KV_FOURCC("Zorb")));
    options.title = "Select POP File";
    options.owner = GetWindow();
    if (!value.empty()) {
        std::error_code ec;
        const std::filesystem::path current(value);
        const std::filesystem::path folder =
            std::filesystem::is_directory(current, ec) ? current : current.parent_path();
        if (!folder.empty())
            options.folder = kvFM::KCStPath(folder.string());
    }
    kvFM::KCDialogReply reply;
    if (kvFM::SelectFileSystemObjectDialog(options, reply) != 0 || !reply.chosen)
        return false;
    value = reply.path.GetPathString();
    return true;
}

void CPOPFileSettingsDlg::Run() {
    DataExchange(true);
    if (!runPath.empty()) {
        const std::string path = runPath;
        if (alg_)
            alg_->ResetAndRunPop(true, path.c_str());
        if (auto* combo = dynamic_cast<wxComboBox*>(Control(kRunPath))) {
            for (unsigned i = combo->GetCount(); i-- > 0;)
                if (SameIgnoringCase(WxToText(combo->GetString(i)), path))
                    combo->Delete(i);
            combo->Insert(TextToWx(path), 0);
        }
        runPath = path;
    }
    DataExchange(false);
}

intptr_t CPOPFileSettingsDlg::OnCommand(int32_t id, int32_t code, wxWindow*) {
    if (code != kNotifyClicked)
        return 0;
    switch (id) {
    case kResetBrowse:
    case kEepromBrowse:
    case kRunBrowse: {
        DataExchange(true);
        std::string& value = id == kResetBrowse    ? resetFile
                             : id == kEepromBrowse ? eepromFile
                                                   : runPath;
        if (Browse(value)) {
            if (id == kResetBrowse)
                resetSelector = 1;
            else if (id == kEepromBrowse)
                eepromSelector = 1;
        }
        DataExchange(false);
        return 1;
    }
    case kClearList:
        if (auto* combo = dynamic_cast<wxComboBox*>(Control(kRunPath)))
            combo->Clear();
        return 1;
    case kRun:
        Run();
        return 1;
    default:
        return 0;
    }
}

// The serial-audio word of "System Configuration".

void SSerialWord::Load(uint16_t w) {
    dataType = w & 3;
    serialMode = (w >> 4) & 1;
    bit5 = (w >> 5) & 1;
    for (int i = 0; i < 4; ++i)
        bits6to9[i] = (w >> (6 + i)) & 1;
    wordSize = (w >> 10) & 3;
    frameSize = (w >> 14) & 1 ? 0 : 1;
}

uint16_t SSerialWord::Word() const {
    uint32_t w = static_cast<uint32_t>(dataType & 3);
    w |= static_cast<uint32_t>(dataType & 3) << 2;
    w |= static_cast<uint32_t>(serialMode & 1) << 4;
    w |= static_cast<uint32_t>(bit5 & 1) << 5;
    for (int i = 0; i < 4; ++i)
        w |= static_cast<uint32_t>(bits6to9[i] & 1) << (6 + i);
    w |= static_cast<uint32_t>(wordSize & 3) << 10;
    w |= static_cast<uint32_t>(wordSize & 3) << 12;
    if (frameSize == 0)
        w |= 1u << 14;
    if (dataType == 1)
        w |= 1u << 15;
    return static_cast<uint16_t>(w);
}

// "System Configuration".

void CSystemConfigDlg::LoadValues(const SSystemConfigValues& v) {
    word.Load(v.digitalIOWord);
    sampleRate = v.sampleRate;
    inputClock = v.inputClock;
    adcInput = v.adcInput;
    analogInput = v.analogInput;
    adcEnable = v.adcEnabled;
    dacEnable = v.dacEnabled;
    preAmpMute = v.preAmpMute;
    adcMute = v.adcVolumeMute;
    dac1Mute = v.dac1Mute;
    dac2Mute = v.dac2Mute;
    preAmp = v.preAmpPosition;
    adcVolume = v.adcVolumePosition;
    dac1 = v.dac1Position;
    dac2 = v.dac2Position;
}

void CSystemConfigDlg::StoreValues(SSystemConfigValues& v) const {
    v.digitalIOWord = word.Word();
    v.sampleRate = sampleRate;
    v.inputClock = inputClock;
    v.adcInput = adcInput;
    v.analogInput = analogInput;
    v.adcEnabled = static_cast<uint8_t>(adcEnable);
    v.dacEnabled = static_cast<uint8_t>(dacEnable);
    v.preAmpMute = static_cast<uint8_t>(preAmpMute);
    v.adcVolumeMute = static_cast<uint8_t>(adcMute);
    v.dac1Mute = static_cast<uint8_t>(dac1Mute);
    v.dac2Mute = static_cast<uint8_t>(dac2Mute);
    v.preAmpPosition = preAmp;
    v.adcVolumePosition = adcVolume;
    v.dac1Position = dac1;
    v.dac2Position = dac2;
}

int32_t CSystemConfigDlg::DataExchange(bool save) {
    ExchangeChoice(*this, kRate48, sampleRate, save);
    ExchangeChoice(*this, kClock11, inputClock, save);
    ExchangeChoice(*this, kAdcMono, adcInput, save);
    ExchangeChoice(*this, kAnalog1, analogInput, save);
    ExchangeChoice(*this, kSlave, word.serialMode, save);
    ExchangeChoice(*this, kLeft, word.dataType, save);
    ExchangeChoice(*this, kWord16, word.wordSize, save);
    ExchangeChoice(*this, kFrame32, word.frameSize, save);
    ExchangeCheck(*this, kAdcEnable, adcEnable, save);
    ExchangeCheck(*this, kDacEnable, dacEnable, save);
    ExchangeCheck(*this, kPreAmpMute, preAmpMute, save);
    ExchangeCheck(*this, kAdcMute, adcMute, save);
    ExchangeCheck(*this, kDac1Mute, dac1Mute, save);
    ExchangeCheck(*this, kDac2Mute, dac2Mute, save);
    ExchangeTrackbar(*this, kPreAmp, preAmp, save);
    ExchangeTrackbar(*this, kAdcVolume, adcVolume, save);
    ExchangeTrackbar(*this, kDac1, dac1, save);
    ExchangeTrackbar(*this, kDac2, dac2, save);
    return 1;
}

std::string CSystemConfigDlg::DclkLabel() const {
    const double rate = sampleRate == 1 ? 44100.0 : 48000.0;
    const double bits = word.frameSize == 1 ? 64.0 : 32.0;
    return "DCLK (" + FormatNumber(rate * bits / 1000000.0, std::chars_format::general, 6) +
           " MHz)";
}

std::string CSystemConfigDlg::DbLabel(double dB) {
    return FormatNumber(dB, std::chars_format::fixed, 1) + " dB";
}

void CSystemConfigDlg::FrameSizeRule() {
    const bool converters = adcEnable != 0 || dacEnable != 0;
    EnableControl(kFrame32, !converters);
    EnableControl(kFrame64, !converters);
    // A converter needs 64-bit frames: back to 64 as a click on it would.
    if (converters && word.frameSize != 1) {
        word.frameSize = 1;
        word.dataType = rememberedDataType_;
        word.wordSize = rememberedWordSize_;
    }
}

void CSystemConfigDlg::WordEnableRule() {
    const bool on = word.frameSize == 1;
    for (int32_t id : {kLeft, kI2S, kRight, kWord16, kWord18, kWord20, kWord24})
        EnableControl(id, on);
}

void CSystemConfigDlg::DataTypeRule() {
    if (word.dataType != 2)
        return;
    for (int32_t id : {kWord16, kWord18, kWord20})
        EnableControl(id, false);
    word.wordSize = 3;
}

void CSystemConfigDlg::ClockRule() {
    const bool dclk = inputClock == 3;
    EnableControl(kMaster, !dclk);
    if (dclk)
        word.serialMode = 0;
}

void CSystemConfigDlg::UpdateDbLabels() {
    const double n1 = preAmpSteps > 0 ? preAmpSteps : 1;
    const double n2 = volumeSteps > 0 ? volumeSteps : 1;
    SetControlText(Control(kPreAmpLabel), DbLabel((n1 - preAmp) / n1 * 52 - 18));
    SetControlText(Control(kAdcLabel), DbLabel((n2 - adcVolume) / n2 * 126 - 96));
    SetControlText(Control(kDac1Label), DbLabel((n2 - dac1) / n2 * 126 - 126));
    SetControlText(Control(kDac2Label), DbLabel((n2 - dac2) / n2 * 126 - 126));
}

void CSystemConfigDlg::UpdateDclkLabel() {
    SetControlText(Control(kClockDclk), DclkLabel());
}

intptr_t CSystemConfigDlg::OnInitDialog() {
    if (auto* s = dynamic_cast<wxSlider*>(Control(kPreAmp)))
        s->SetRange(0, preAmpSteps);
    for (int32_t id : {kAdcVolume, kDac1, kDac2})
        if (auto* s = dynamic_cast<wxSlider*>(Control(id)))
            s->SetRange(0, volumeSteps);
    rememberedDataType_ = word.dataType;
    rememberedWordSize_ = word.wordSize;
    CGenericWindow::OnInitDialog();
    FrameSizeRule();
    WordEnableRule();
    UpdateDbLabels();
    UpdateDclkLabel();
    DataTypeRule();
    ClockRule();
    DataExchange(false);
    return 1;
}

intptr_t CSystemConfigDlg::OnCommand(int32_t id, int32_t code, wxWindow*) {
    if (code != kNotifyClicked)
        return 0;
    const int32_t frameBefore = word.frameSize;
    DataExchange(true);
    switch (id) {
    case kAdcEnable:
    case kDacEnable:
        FrameSizeRule();
        WordEnableRule();
        DataTypeRule();
        UpdateDclkLabel();
        break;
    case kFrame32:
    case kFrame64:
        if (id == kFrame32 && frameBefore == 1) {
            rememberedDataType_ = word.dataType;
            rememberedWordSize_ = word.wordSize;
            word.dataType = 0;
            word.wordSize = 0;
        } else if (id == kFrame64 && frameBefore == 0) {
            word.dataType = rememberedDataType_;
            word.wordSize = rememberedWordSize_;
        }
        WordEnableRule();
        DataTypeRule();
        UpdateDclkLabel();
        break;
    case kLeft:
    case kI2S:
    case kRight:
        WordEnableRule();
        DataTypeRule();
        break;
    case kClock11:
    case kClock12:
    case kClock12288:
    case kClockDclk:
        ClockRule();
        break;
    case kRate48:
    case kRate44:
        UpdateDclkLabel();
        break;
    default:
        return 0;
    }
    DataExchange(false);
    return 1;
}

intptr_t CSystemConfigDlg::WindowProc(wxWindow* window, uint32_t message, uintptr_t wParam,
                                      intptr_t lParam) {
    if (message == kMsgVScroll && window == GetWindow()) {
        ExchangeTrackbar(*this, kPreAmp, preAmp, true);
        ExchangeTrackbar(*this, kAdcVolume, adcVolume, true);
        ExchangeTrackbar(*this, kDac1, dac1, true);
        ExchangeTrackbar(*this, kDac2, dac2, true);
        UpdateDbLabels();
        return 0;
    }
    return CGenericWindow::WindowProc(window, message, wParam, lParam);
}

// "Digital IO Configuration".

void CDigitalIODlg::LoadWord(uint16_t w) {
    dataPosition = w & 3;
    serialClock = (w >> 2) & 1;
    frameSync = (w >> 3) & 1;
    transmitter = (w >> 4) & 1;
    receiver = (w >> 5) & 1;
    transmitterInterrupt = (w >> 6) & 1;
    receiverInterrupt = (w >> 7) & 1;
    wordLength = (w >> 8) & 3;
    frameLength = (w >> 10) & 1 ? 0 : 1;
    upperBits = static_cast<uint16_t>(w & 0xF800);
}

uint16_t CDigitalIODlg::Word() const {
    uint32_t w = static_cast<uint32_t>(dataPosition & 3);
    w |= static_cast<uint32_t>(serialClock & 1) << 2;
    w |= static_cast<uint32_t>(frameSync & 1) << 3;
    w |= static_cast<uint32_t>(transmitter & 1) << 4;
    w |= static_cast<uint32_t>(receiver & 1) << 5;
    w |= static_cast<uint32_t>(transmitterInterrupt & 1) << 6;
    w |= static_cast<uint32_t>(receiverInterrupt & 1) << 7;
    w |= static_cast<uint32_t>(wordLength & 3) << 8;
    if (frameLength == 0)
        w |= 1u << 10;
    return static_cast<uint16_t>(w | upperBits);
}

int32_t CDigitalIODlg::DataExchange(bool save) {
    ExchangeChoice(*this, kLeft, dataPosition, save);
    ExchangeChoice(*this, kClockSlave, serialClock, save);
    ExchangeChoice(*this, kSyncWord, frameSync, save);
    ExchangeCheck(*this, kTransmitter, transmitter, save);
    ExchangeCheck(*this, kReceiver, receiver, save);
    ExchangeCheck(*this, kTransmitterInterrupt, transmitterInterrupt, save);
    ExchangeCheck(*this, kReceiverInterrupt, receiverInterrupt, save);
    ExchangeChoice(*this, kLength16, wordLength, save);
    ExchangeChoice(*this, kFrame32, frameLength, save);
    return 1;
}

void CDigitalIODlg::EnableRule() {
    const bool on = frameLength == 1;
    for (int32_t id :
         {kLeft, kLeftDelayed, kRight, kRightDelayed, kLength16, kLength18, kLength20, kLength24})
        EnableControl(id, on);
}

intptr_t CDigitalIODlg::OnInitDialog() {
    rememberedPosition_ = dataPosition;
    rememberedLength_ = wordLength;
    CGenericWindow::OnInitDialog();
    EnableRule();
    return 1;
}

intptr_t CDigitalIODlg::OnCommand(int32_t id, int32_t code, wxWindow*) {
    if (code != kNotifyClicked || (id != kFrame32 && id != kFrame64))
        return 0;
    const int32_t before = frameLength;
    DataExchange(true);
    if (id == kFrame32 && before == 1) {
        rememberedPosition_ = dataPosition;
        rememberedLength_ = wordLength;
        dataPosition = 0;
        wordLength = 0;
    } else if (id == kFrame64 && before == 0) {
        dataPosition = rememberedPosition_;
        wordLength = rememberedLength_;
    }
    DataExchange(false);
    EnableRule();
    return 1;
}

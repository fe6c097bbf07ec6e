#include "host/RunnerDialogs.h"

#include <wx/event.h>
#include <wx/window.h>

#include "foundation/kvFMDialogs.h"
#include "ui/KCCreationOptions.h"

namespace {

// One row of the dialog's control table.
struct ControlSpec {
    int32_t type;
    const char* text;
    short id;
    KURect<short> bounds;
};

const ControlSpec kPreferenceControls[] = {
    {kControlCheckBox, "Load last session at startup", 99, KURect<short>(10, 10, 30, 490)},
    {kControlCheckBox, "Use Vellix Plug-ins.", 99, KURect<short>(30, 10, 50, 490)},
    {kControlPushButton, "OK", kPrefButtonOK, KURect<short>(190, 500, 210, 580)},
    {kControlPushButton, "Cancel", kPrefButtonCancel, KURect<short>(190, 400, 210, 480)},
};
constexpr int kPreferenceControlCount = 4;

KTErr CreatePreferenceControls(KCWindow& window, KCControl (&controls)[kPreferenceControlCount],
                               const uint8_t prefs[2]) {
    for (int i = 0; i < kPreferenceControlCount; ++i) {
        const ControlSpec& spec = kPreferenceControls[i];
        KCControlCreationOptions options;
        options.controlType = spec.type;
        options.text = spec.text;
        options.controlID = spec.id;
        options.bounds = spec.bounds;
        options.parent = &window;
        KTErr err = KMCreateControl(options, controls[i]);
        if (err == eNoErr && spec.type == kControlCheckBox) {
            const uint32_t bits = prefs[i] & 1u;
            err = KMSetButtonControlState(controls[i], bits);
        }
        if (err != eNoErr)
            return err;
    }
    return eNoErr;
}

KTErr ReadPreferenceBoxes(KCControl (&controls)[kPreferenceControlCount], uint8_t prefs[2]) {
    uint32_t bits[2] = {0, 0};
    for (int i = 0; i < 2; ++i)
        if (KTErr err = KMGetButtonControlState(controls[i], bits[i]); err != eNoErr)
            return err;
    for (int i = 0; i < 2; ++i)
        prefs[i] = static_cast<uint8_t>(bits[i] & 1u);
    return eNoErr;
}

eKMMessageResult Message(int32_t kind, const std::string& line1, const std::string& line2) {
    KMMessageInfo info;
    info.kind = kind;
    info.title = line1;
    info.message = line2;
    eKMMessageResult answer = eKMOther;
    KMStandardMessage(&info, answer);
    return answer;
}

} // namespace

bool PreferencesDialogCallBack(void*, KEEventTypes event, KCEventData* data, void* userData) {
    if (event == eKeyDown && data != nullptr &&
        (data->GetKeyCode() == eKeyEscape || data->GetKeyCode() == eKeyReturn)) {
        KMQuitModalEventLoop(nullptr);
    } else if (event == eCommand && data != nullptr) {
        if (data->GetCommand() == kPrefButtonOK) {
            *static_cast<uint8_t*>(userData) = 1;
            KMQuitModalEventLoop(nullptr);
        } else if (data->GetCommand() == kPrefButtonCancel) {
            KMQuitModalEventLoop(nullptr);
        }
    } else if (event == eWindowClose) {
        KMQuitModalEventLoop(nullptr);
    }
    return false;
}

void ShowPreferencesDialog(uint8_t prefs[2]) {
    uint8_t confirmed = 0;
    KCWinCreateOpts options;
    options.kind = kWinKindPlain;
    options.title = "Plugin Runner Preferences";
    options.bounds = KURect<short>(0, 0, 240, 600);
    options.flags = 0x1F;
    options.handler = &PreferencesDialogCallBack;
    options.userData = &confirmed;
    KCWindow window;
    KCControl controls[kPreferenceControlCount];
    KTErr err = KMCreateWindow(options, window);
    if (err == eNoErr)
        err = CreatePreferenceControls(window, controls, prefs);
    if (err == eNoErr)
        err = KMShowWindow(window);
    if (err == eNoErr)
        err = KMRunModalEventLoop(window);
    if (err == eNoErr && confirmed != 0)
        ReadPreferenceBoxes(controls, prefs);
    for (KCControl& control : controls)
        KMDisposeControl(control);
    KMDisposeWindow(window);
}

KTErr OpenWavFileDialog(KCWindow* owner, kvFM::KCStPath& path, bool pickFolder) {
    kvFM::KCDialogCreationOptions options;
    options.flags = pickFolder ? kvFM::eDialogSelectFolder : kvFM::eDialogSelectFile;
    options.owner = owner != nullptr ? owner->windowHandle : nullptr;
    options.title = "Open";
    options.fileTypes.emplace_back("Wav audio files", "wav", KCFourCC(0x78787878u),
                                   KCFourCC(0x78787878u));
    kvFM::KCDialogReply reply;
    const KTErr err = kvFM::SelectFileSystemObjectDialog(options, reply);
    if (err != eNoErr)
        return err;
    if (!reply.chosen)
        return eUserCanceled;
    if (!(path == reply.path)) {
        path.Clear();
        if (!reply.path.GetPathString().empty())
            path = reply.path;
    }
    return eNoErr;
}

eKMMessageResult ShowMessage(const std::string& line1, const std::string& line2) {
    return Message(0, line1, line2);
}

eKMMessageResult AskQuestion(const std::string& text, int32_t kind) {
    return Message(kind, text, std::string());
}

KTErr PostCommand(KCWindow* window, int command) {
    if (window == nullptr || window->windowHandle == nullptr)
        return eNoErr;
    wxCommandEvent event(wxEVT_MENU, static_cast<int16_t>(command));
    wxQueueEvent(window->windowHandle, event.Clone());
    return eNoErr;
}

// The algorithm's side of its editor: the Utilities menu and its commands,
// the editor window's set-up and the frame's size.
#include "plugin/PeqAlg.h"

#include "guilib/EditorFrame.h"
#include "guilib/MenuEx.h"

using namespace dulm;

namespace {

constexpr int32_t kCollapsedEditorHeight = 556;
constexpr short kFrameIcon = 1;
constexpr uint32_t kResizableSubType = QGLFourCC("PQ5S");

// The menu items that choose a connection: command and connection type.
struct SConnectionItem {
    const char* title;
    short command;
    int32_t type;
};
constexpr SConnectionItem kConnectionItems[] = {
    {"Set Connection to Terovan Device", 7, 2},
    {"Set Connection to Dimax Device", 5, 0},
    {"Set Connection to Terovan Device (Debug)", 6, 1},
};

} // namespace

void cPEQ_ALG::BuildUtilitiesMenu(KCMenuEx& menu) {
    menu.Clear();
    menu.Append("Soft Reset", 0);
    menu.AppendSeparator();
    for (const SConnectionItem& item : kConnectionItems)
        menu.Append(item.title, item.command,
                    currentConnectionType_ == item.type || rememberedConnectionType_ == item.type);
    menu.AppendSeparator();
    menu.Append("POP Settings...", 8);
    menu.Append("Show Commander", 9, services_ && services_->IsCommanderVisible());
    menu.Append("Trace I2C", 10, Connection().GetTrace() != 0);
}

void cPEQ_ALG::ActivatePluginSpecificToolBarSelf(std::string& name) {
    if (name != "Utilities" || !services_)
        return;
    KCMenuEx menu;
    BuildUtilitiesMenu(menu);
    long selection = -1;
    if (services_->PopUpMenu(menu, selection))
        RunUtilitiesCommand(selection);
}

void cPEQ_ALG::RunUtilitiesCommand(long command) {
    switch (command) {
    case 0:
        ResetAndRunPop(true);
        break;
    case 1:
        WriteEeprom();
        break;
    case 2:
    case 3:
    case 4:
        ExportEepromHex(static_cast<int32_t>(command - 2));
        break;
    case 5:
    case 6:
    case 7:
        for (const SConnectionItem& item : kConnectionItems)
            if (item.command == command)
                ChooseConnection(item.type);
        break;
    case 8:
        ShowPopSettings();
        break;
    case 9:
        if (services_)
            services_->ShowCommander(!services_->IsCommanderVisible());
        break;
    case 10:
        Connection().SetTrace(Connection().GetTrace() ? 0 : 1);
        break;
    default:
        break;
    }
}

void cPEQ_ALG::SetUpEditorWindow(KCWindow* pluginWindow) {
    if (!windowSetUpDone_) {
        windowSetUpDone_ = true;
        KCEditorFrame frame(pluginWindow);
        if (frame.Exists()) {
            // The bus library finds the editor by this title.
            frame.SetTitle("Quorl Audio DulmDSP");
            frame.SetIconFromResource(GetPluginResContainerRef(), kFrameIcon);
            int32_t clientHeight = 0;
            if (frame.GetSize(editorWidth_, editorHeight_, clientHeight))
                editorNonClientHeight_ = editorHeight_ - clientHeight;
            ResizeEditorFrame();
        }
        if (services_)
            services_->PrepareCommander(*this, frame.Exists() ? pluginWindow : nullptr,
                                        moduleFolder_ + "Commander.xml");
        if (!SendCommandBytes(0x00, 0x85, 0x00)) {
            lastReportedStatus_ = Connection().GetStatus();
            Connection().ReportStatus(pluginWindow);
        }
        // Detection wrote the device's strings; none ran yet: no device.
        if (GetInfoString(1).empty())
            SetInfoString(1, "Device Detected: <None>");
        SetInfoString(2, "");
    }
    UpdateAnalogInputMenus();
    UpdateControlAvailability();
}

void cPEQ_ALG::UpdateAnalogInputMenus() {
    if (services_)
        services_->SetAnalogInputItems(ChipVersion() >= 0x5010);
}

void cPEQ_ALG::ResizeEditorFrame() {
    if (GetAlgSubType().Get() == kResizableSubType && services_) {
        const int32_t height =
            expanded_ ? editorHeight_ : editorNonClientHeight_ + kCollapsedEditorHeight;
        KCEditorFrame(services_->PluginWindow()).SetSize(editorWidth_, height);
    }
    RefreshAllParams();
}

#include "host/PluginRunnerView.h"

#include <algorithm>
#include <chrono>

#include <wx/event.h>
#include <wx/frame.h>
#include <wx/string.h>

#include "host/CmdLineOptions.h"
#include "host/RunnerDialogs.h"
#include "host/StatisticsWindow.h"
#include "hosting/Plugin.h"
#include "ui/CGraphicManagerAbs.h"
#include "ui/GMRenderer.h"
#include "ui/KCCreationOptions.h"
#include "ui/KMWindowManager.h"

namespace {

// One drop-down of the menu bar: its title, menu id and items.
struct MenuSpec {
    const char* title;
    int16_t menuID;
    std::vector<int16_t> commands;
    std::vector<const char*> texts;
};

// The fixed menus, in bar order; the Plugins menu follows "File" and the
// PortAudio menu precedes "Help".
const std::vector<MenuSpec>& FixedMenus() {
    static const std::vector<MenuSpec> menus = {
        {"File",
         101,
         {101, 100, 102, 103, 104},
         {"Preferences...", "Toggle Statistics Window", "Toggle Automation Window",
          "Rescan Plugins Folder", "Show/Hide Plugin Window"}},
        {"Input Source",
         105,
         {200, 201, 202, 203},
         {"Wav file..", "Pink Noise", "Flying Saucer", "Input Device"}},
        {"Side Chain",
         108,
         {800, 801, 802, 803},
         {"Toggle SideChain", "Wav file..", "Pink Noise", "Flying Saucer"}},
        {"Output", 109, {900, 901, 902}, {"Speakers", "Wav file", "Debug Tests"}},
        {"Sample Rate",
         106,
         {400, 401, 402, 403, 404, 405},
         {"8000", "44100", "48000", "88200", "96000", "192000"}},
        {"HW Buffer Size",
         107,
         {700, 701, 702, 703, 704, 705},
         {"128", "256", "512", "1024", "2048", "4096"}},
        {"Transport", 104, {300, 301, 303}, {"Toggle play", "Rewind", "Toggle bypass"}},
        {"Help", 103, {601}, {"About..."}},
    };
    return menus;
}

std::wstring Wide(const std::string& utf8) {
    return wxString::FromUTF8(utf8).ToStdWstring();
}

KTErr AddDropDown(void* bar, const char* title, void* menu) {
    KCMenuItemInfo info;
    info.title = Wide(title);
    return KMAddSubMenu(bar, info, menu);
}

int64_t NowMicroseconds() {
    return std::chrono::duration_cast<std::chrono::microseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

// Commands of the view.
enum : int16_t {
    kCmdToggleStatistics = 100,
    kCmdPreferences = 101,
    kCmdAutomation = 102,
    kCmdShowHideEditor = 104,
    kCmdCloseCurrent = 600,
    kCmdAbout = 601,
    kCmdClosePlugin = 602,
    kCmdNextPlugin = 603,
    kCmdPrevPlugin = 604,
    kCmdSortNone = 605,
    kCmdSortAlphabet = 608,
    kCmdFirstComponent = 1001,
};

} // namespace

std::unique_ptr<KCPluginRunnerView> CreatePluginRunnerView(KCPluginRunner* runner) {
    const KCCmdLineOptions& options = GetCmdLineOptions();
    return std::make_unique<KCPluginRunnerView>(
        runner, KSRunnerViewOptions{options.exclusive, options.noProcess});
}

KCPluginRunnerView::KCPluginRunnerView(KCPluginRunner* runner, const KSRunnerViewOptions& options)
    : KCPluginRunnerViewBase(runner), options(options), statistics(new KCStatisticsWindow()) {}

KCPluginRunnerView::~KCPluginRunnerView() {
    // Editors left open lose their windows here (Close disposes them in
    // order first).
    CloseAllPluginViews(views);
    delete statistics;
    delete mainWindow;
}

KTErr KCPluginRunnerView::Open() {
    if (!options.exclusive) {
        CreateMainWindow();
        statistics->Init();
    }
    return OpenPluginViews();
}

KTErr KCPluginRunnerView::Close() {
    CloseAllPluginViews(views);
    KMDisposeMenu(portAudioInMenu);
    KMDisposeMenu(portAudioOutMenu);
    KMDisposeMenu(portAudioMenu);
    pluginMenu.ClearMenus();
    if (menuBar != nullptr)
        KMDisposeMenuBar(menuBar);
    if (mainWindow != nullptr)
        KMDisposeWindow(*mainWindow);
    statistics->Dispose();
    return eNoErr;
}

KTErr KCPluginRunnerView::RunEventLoop() {
    return KMRunAppEventLoop();
}

KTErr KCPluginRunnerView::Idle() {
    static int64_t lastRefresh = 0;
    const int64_t now = NowMicroseconds();
    DrawPluginViews(views);
    // Exclusive mode lives only as long as the current plug-in's editor.
    if (options.exclusive && FindPluginViewOfPlugin(views, runner->GetCurrentPlugin()) == nullptr)
        KMQuitAppEventLoop();
    if (lastRefresh == 0)
        lastRefresh = now;
    if (statistics->IsShown() && now / 1000 - lastRefresh / 1000 > 1000) {
        lastRefresh = now;
        statistics->Refresh();
    }
    return eNoErr;
}

KTErr KCPluginRunnerView::GetInfo(int32_t id, void* out, size_t size) {
    if (out == nullptr)
        return eGenericErr;
    if (id == 2000 && size >= sizeof(KCWindow*)) {
        *static_cast<KCWindow**>(out) = mainWindow;
        return eNoErr;
    }
    if (id == 2001) {
        *static_cast<std::string*>(out) = title;
        return eNoErr;
    }
    return eGenericErr;
}

KTErr KCPluginRunnerView::SetInfo(int32_t, const void*, size_t) {
    return eGenericErr;
}

KTErr KCPluginRunnerView::CreateMainWindow() {
    mainWindowBounds = KURect<short>(0, 0, 0, 800);
    mainWindow = new KCWindow();
    KCWinCreateOpts opts;
    opts.kind = kWinKindOpenGL;
    opts.title = title;
    opts.bounds = mainWindowBounds;
    opts.flags = kWinFlagSystemMenu | kWinFlagCaption | kWinFlagMenuBar;
    opts.handler = &KCPluginRunnerView::MainWindowCallBack;
    opts.userData = this;
    KMCreateWindow(opts, *mainWindow);
    BindMainWindowKeys();
    BuildMenuBar();
    KMShowWindow(*mainWindow);
    return eNoErr;
}

KSPluginViewTarget KCPluginRunnerView::EditorTarget() {
    return KSPluginViewTarget{mainWindow, &KCPluginRunnerView::MainWindowCallBack, this};
}

KTErr KCPluginRunnerView::OpenPluginViews() {
    const KCPluginChain& chain = runner->GetPluginChain();
    for (size_t i = 0; i < chain.Count(); ++i) {
        KCPlugin* plugin = chain.PluginAt(i);
        if (FindPluginViewOfPlugin(views, plugin) == nullptr)
            OpenPluginView(views, EditorTarget(), plugin);
    }
    return eNoErr;
}

void KCPluginRunnerView::ClosePlugin(KCPlugin* plugin) {
    ClosePluginView(views, plugin);
    runner->RemovePlugin(plugin);
}

KTErr KCPluginRunnerView::BuildSubMenu(const int16_t* commands, const char* const* texts, int count,
                                       int16_t menuID, void*& menu) {
    KCMenuCreationOptions create;
    create.menuID = menuID;
    KTErr err = KMCreateMenu(create, menu);
    for (int i = 0; i < count && err == eNoErr; ++i) {
        KCMenuItemInfo info;
        info.title = Wide(texts[i]);
        info.command = commands[i];
        err = KMAddMenuItem(menu, info, false);
    }
    return err;
}

KTErr KCPluginRunnerView::BuildDeviceMenu(const KCAudioDeviceMap& devices, void*& menu,
                                          int commandBase, int16_t menuID) {
    if (menu != nullptr)
        KMDisposeMenu(menu);
    KCMenuCreationOptions create;
    create.menuID = menuID;
    KTErr err = KMCreateMenu(create, menu);
    for (const auto& [index, device] : devices) {
        if (err != eNoErr)
            break;
        KCMenuItemInfo info;
        info.title = Wide(device.name);
        info.command = static_cast<int16_t>(commandBase + index);
        err = KMAddMenuItem(menu, info, false);
    }
    return err;
}

KTErr KCPluginRunnerView::BuildMenuBar() {
    KTResContainerType* resources = nullptr;
    runner->GetInfo(1006, &resources, sizeof resources);
    KMCreateMenuBar(menuBar);
    const auto& menus = FixedMenus();
    for (const MenuSpec& spec : menus) {
        if (std::string(spec.title) == "Help") {
            KMDisposeMenu(portAudioMenu);
            KCMenuCreationOptions create;
            create.menuID = 114;
            KMCreateMenu(create, portAudioMenu);
            BuildDeviceMenu(runner->GetInputDevices(), portAudioInMenu, 4000, 115);
            BuildDeviceMenu(runner->GetOutputDevices(), portAudioOutMenu, 5000, 116);
            AddDropDown(portAudioMenu, "PortAudio In", portAudioInMenu);
            AddDropDown(portAudioMenu, "PortAudio Out", portAudioOutMenu);
            AddDropDown(menuBar, "PortAudio", portAudioMenu);
        }
        void* menu = nullptr;
        BuildSubMenu(spec.commands.data(), spec.texts.data(),
                     static_cast<int>(spec.commands.size()), spec.menuID, menu);
        AddDropDown(menuBar, spec.title, menu);
        if (std::string(spec.title) == "File") {
            pluginMenuData.root = KCMenuItemData("Plugins", 1000);
            pluginMenu.SetForImagesSupport(resources, mainWindow);
            pluginMenu.AddToolBarMenu(pluginMenuData, menuBar);
            // Filled now as well as at each opening: a menu that is still
            // empty when it first shows keeps the width of an empty one,
            // whatever is put into it as it opens.
            BuildPluginsMenu();
        }
    }
    return KMSetMenuBar(menuBar, mainWindow) == eNoErr ? eNoErr : eGenericErr;
}

KTErr KCPluginRunnerView::OnMenuOpen(void* menu) {
    if (menu != nullptr && menu == pluginMenu.GetMenuRef())
        BuildPluginsMenu();
    return eNoErr;
}

KTErr KCPluginRunnerView::BuildPluginsMenu() {
    KCFourCC currentSubType;
    runner->GetInfo(1001, &currentSubType, sizeof currentSubType);
    uint8_t shellAllowed = 0;
    runner->GetInfo(1007, &shellAllowed, sizeof shellAllowed);
    const KCQuorlComponentInfoList& list = runner->GetComponents();
    const size_t count = list.Count();

    KCMenuItemData& root = pluginMenuData.root;
    root.disposeSubMenuItems();
    root.flags = 0;
    auto* prev = new KCMenuItemData("Prev Plugin '[' ", kCmdPrevPlugin);
    auto* next = new KCMenuItemData("Next Plugin ']' ", kCmdNextPlugin);
    if (count < 2) {
        prev->flags |= kMenuItemDataDisabled;
        next->flags |= kMenuItemDataDisabled;
    }
    root.insertSubMenuItem(prev);
    root.insertSubMenuItem(next);
    root.insertSubMenuItem(new KCMenuItemData_Seperator());
    auto* sorting = new KCMenuItemData_SubMenu("Sorting");
    sorting->insertSubMenuItem(new KCMenuItemData("None", 605));
    sorting->insertSubMenuItem(new KCMenuItemData("Category", 606));
    sorting->insertSubMenuItem(new KCMenuItemData("Bundle", 607));
    sorting->insertSubMenuItem(new KCMenuItemData("Alphabet", 608));
    root.insertSubMenuItem(sorting);
    root.insertSubMenuItem(new KCMenuItemData_Seperator());

    int16_t checkedID = -1;
    int16_t command = kCmdFirstComponent;
    for (const QuorlComponentInfo& component : list.components) {
        std::vector<KCMenuItemData*> parents;
        std::vector<std::string> groups;
        KSPluginGroupsQuery query{sortMode, &component, &groups};
        runner->GetInfo(1009, &query, sizeof query);
        if (groups.empty())
            parents.push_back(&root);
        for (const std::string& group : groups) {
            KCMenuItemData* parent = root.getChildByName(Wide(group).c_str());
            if (parent == nullptr) {
                parent = new KCMenuItemData_SubMenu(Wide(group).c_str());
                root.insertSubMenuItem(parent);
            }
            parents.push_back(parent);
        }
        const std::wstring fileName = Wide(kvFM::KCStPath(component.Path()).GetLeaf());
        const std::wstring base = fileName.substr(0, fileName.rfind(L'.'));
        for (KCMenuItemData* parent : parents) {
            KCMenuItemData* bundle = parent->getChildByName(base.c_str());
            if (bundle == nullptr) {
                bundle = new KCMenuItemData_SubMenu(base.c_str());
                parent->insertSubMenuItem(bundle);
            }
            auto* item =
                new KCMenuItemData(Wide(runner->GetPluginDisplayName(component)).c_str(), command);
            if (shellAllowed == 0 && component.componentType == KCFourCC(0x76785049u)) // 'vxPI'
                item->flags |= kMenuItemDataDisabled;
            item->userData1 = new KCLoadPluginMenuItemData(component);
            bundle->insertSubMenuItem(item);
        }
        if (component.componentSubType == currentSubType)
            checkedID = command;
        ++command;
    }

    for (KCMenuItemData* item : root.children) {
        if (item->children.empty())
            continue;
        KCMenuData::ApplyFuncOnAllMenuItems(item->children, sortMenuItemsAlphabeticaly, nullptr,
                                            true);
        std::stable_sort(item->children.begin(), item->children.end(),
                         KCMenuItemData::CompareItemTitles);
    }
    if (checkedID >= 0) {
        bool found = false;
        for (KCMenuItemData* item : root.children)
            found = item->CheckItemRecursively(checkedID) || found;
        if (found)
            root.flags |= kMenuItemStateMatch;
    }
    if (sortMode >= 0 && static_cast<size_t>(sortMode) < sorting->children.size())
        sorting->children[static_cast<size_t>(sortMode)]->flags |= kMenuItemDataChecked;
    return pluginMenu.CreateToolBarMenu(pluginMenuData, nullptr, -1);
}

void KCPluginRunnerView::StepPlugin(int step) {
    const long count = static_cast<long>(runner->GetComponents().Count());
    int32_t current = -1;
    runner->GetInfo(1003, &current, sizeof current);
    if (count <= 0 || current < 0 || runner->GetCurrentPlugin() == nullptr)
        return;
    const long index = (current + step + count) % count;
    HandleCommand(kCmdCloseCurrent, nullptr);
    HandleCommand(static_cast<int16_t>(kCmdFirstComponent + index), nullptr);
}

bool KCPluginRunnerView::HandleCommand(int16_t command, void* parameter) {
    const long count = static_cast<long>(runner->GetComponents().Count());
    switch (command) {
    case kCmdToggleStatistics:
        statistics->ShowWindow(!statistics->IsShown());
        return true;
    case kCmdPreferences:
        ShowPreferences();
        return true;
    case kCmdAutomation:
        return true;
    case kCmdShowHideEditor:
        if (KCPluginView* view = FindPluginViewOfPlugin(views, runner->GetCurrentPlugin()))
            view->IsShown() ? view->Hide() : view->Show();
        return true;
    case kCmdCloseCurrent:
        if (KCPlugin* plugin = runner->GetCurrentPlugin())
            ClosePlugin(plugin);
        return true;
    case kCmdAbout:
        ShowAboutBox();
        return true;
    case kCmdClosePlugin:
        if (parameter != nullptr)
            ClosePlugin(static_cast<KCPlugin*>(parameter));
        return false;
    case kCmdNextPlugin:
        StepPlugin(+1);
        return true;
    case kCmdPrevPlugin:
        StepPlugin(-1);
        return true;
    default:
        break;
    }
    if (command >= kCmdSortNone && command <= kCmdSortAlphabet) {
        sortMode = kCmdSortAlphabet - command;
        return true;
    }
    if (command >= kCmdFirstComponent && command < kCmdFirstComponent + count) {
        const QuorlComponentInfo& component =
            runner->GetComponents().components[static_cast<size_t>(command - kCmdFirstComponent)];
        if (runner->OpenPlugin(component) == eNoErr)
            OpenPluginView(views, EditorTarget(), runner->GetCurrentPlugin());
    }
    return false;
}

void KCPluginRunnerView::BindMainWindowKeys() {
    auto* frame = dynamic_cast<wxFrame*>(mainWindow->windowHandle);
    if (frame == nullptr)
        return;
    frame->Bind(wxEVT_CHAR_HOOK, [this, frame](wxKeyEvent& event) {
        // A key typed into another window (an editor, whose frame is a child
        // of this one) goes its own way: the editor offers it to its plug-in
        // first and passes on only what the plug-in does not take.
        auto* origin = wxDynamicCast(event.GetEventObject(), wxWindow);
        if (origin != nullptr && wxGetTopLevelParent(origin) != frame) {
            event.Skip();
            return;
        }
        KCEventData data;
        switch (event.GetKeyCode()) {
        case WXK_RETURN:
        case WXK_NUMPAD_ENTER:
            data.SetKeyCode(eKeyReturn);
            break;
        case WXK_SPACE:
            data.SetKeyCode(eKeySpace);
            break;
        case WXK_ESCAPE:
            data.SetKeyCode(eKeyEscape);
            break;
        default:
            break;
        }
        const wxChar character = event.GetUnicodeKey();
        if (character > 0 && character < 128)
            data.SetKeyChar(static_cast<char>(character));
        if (event.ShiftDown() && data.GetKeyChar() >= 'a' && data.GetKeyChar() <= 'z')
            data.SetKeyChar(static_cast<char>(data.GetKeyChar() - 'a' + 'A'));
        else if (!event.ShiftDown() && data.GetKeyChar() >= 'A' && data.GetKeyChar() <= 'Z')
            data.SetKeyChar(static_cast<char>(data.GetKeyChar() - 'A' + 'a'));
        MainWindowCallBack(mainWindow, eKeyDown, &data, this);
    });
}

bool KCPluginRunnerView::HandleKey(const KCEventData& data) {
    if (data.GetKeyCode() == eKeyReturn)
        runner->Rewind();
    else if (data.GetKeyCode() == eKeySpace && !options.noProcess)
        runner->TogglePlay();
    switch (data.GetKeyChar()) {
    case 'B':
    case 'b':
        runner->ToggleBypass();
        return false;
    case '[':
        return HandleCommand(kCmdPrevPlugin, nullptr);
    case ']':
        return HandleCommand(kCmdNextPlugin, nullptr);
    default:
        return false;
    }
}

bool KCPluginRunnerView::MainWindowCallBack(void* owner, KEEventTypes event, KCEventData* data,
                                            void* userData) {
    auto* view = static_cast<KCPluginRunnerView*>(userData);
    if (view == nullptr || data == nullptr)
        return false;
    switch (event) {
    case eKeyDown:
        return view->HandleKey(*data);
    case eCommand:
        if (view->HandleCommand(data->GetCommand(), nullptr))
            return true;
        return view->runner->HandleCommand(static_cast<uint16_t>(data->GetCommand()));
    case ePreShowMenu:
        if (data->GetMenu_Ref() != nullptr)
            view->OnMenuOpen(data->GetMenu_Ref());
        return false;
    case eWindowClose:
        // An editor's window: its plug-in goes; the main window's close is
        // left to the default, which ends the program.
        if (KCPluginView* editor =
                FindPluginViewOfWindow(view->views, static_cast<KCWindow*>(owner))) {
            view->HandleCommand(kCmdClosePlugin, editor->GetPlugin());
            return true;
        }
        return false;
    default:
        return false;
    }
}

void KCPluginRunnerView::ShowPreferences() {
    uint8_t prefs[2] = {0, 0};
    runner->GetInfo(1015, &prefs[kPrefLoadPrevSession], 1);
    runner->GetInfo(1016, &prefs[kPrefUseVellixPlugins], 1);
    ShowPreferencesDialog(prefs);
    runner->SetInfo(1015, &prefs[kPrefLoadPrevSession], 1);
    runner->SetInfo(1016, &prefs[kPrefUseVellixPlugins], 1);
}

bool KCPluginRunnerView::AboutBoxCallBack(void*, KEEventTypes event, KCEventData* data,
                                          void* userData) {
    if (event == eMouseDown ||
        (event == eKeyDown && data != nullptr && data->GetKeyCode() == eKeyEscape)) {
        KMQuitModalEventLoop(nullptr);
        return true;
    }
    if (event == eDraw && userData != nullptr)
        GMSwapBuffers(*static_cast<KCWindow*>(userData));
    return false;
}

KTErr KCPluginRunnerView::ShowAboutBox() {
    std::string version;
    runner->GetInfo(1000, &version, sizeof version);
    KTResContainerType* resources = nullptr;
    runner->GetInfo(1006, &resources, sizeof resources);
    auto* manager = new CGraphicManagerAbs(resources);
    void* picture = manager->RegisterImageFromResID(1000);

    KCWindow window;
    KCWinCreateOpts opts;
    opts.kind = kWinKindOpenGL;
    opts.title = "About Plugin Runner...";
    opts.bounds = KURect<short>(0, 0, 440, 295);
    opts.flags = kWinFlagCaption | kWinFlagCentreHorizontally | kWinFlagCentreVertically;
    opts.handler = &KCPluginRunnerView::AboutBoxCallBack;
    opts.userData = &window;
    KTErr err = KMCreateWindow(opts, window);
    if (err == eNoErr)
        err = GMCreateRC(window);
    if (err == eNoErr) {
        manager->InitHatch(window, KURect<short>(0, 0, 440, 295));
        manager->SetClearColor(KCRGBAColor(153, 153, 153, 255));
        manager->ClearHatch();
        err = KMShowWindow(window);
    }
    if (err == eNoErr) {
        GMBind2RC(window);
        manager->GotoHatch();
        manager->SetClearColor(KCRGBAColor(204, 204, 204, 255));
        manager->ClearHatch();
        if (picture != nullptr)
            manager->DrawImage(picture, KCPoint<short>(0, 0));
        const KCRGBAColor black(0, 0, 0, 255);
        manager->SetColor(black);
        void* text = nullptr;
        const std::string line = "Version: " + version;
        manager->RenderText(text, line.c_str(), KCFontInfo(), black, eTextJustificationLeft,
                            KCPoint<short>(285, 20));
        manager->DrawRenderedText(text, KCPoint<short>(5, 300));
        manager->UnRegisterText(text);
        GMSwapBuffers(window);
        err = KMRunModalEventLoop(window);
    }
    manager->ReleaseHatch();
    GMDisposeRC(window);
    delete manager;
    KMDisposeWindow(window);
    return err;
}

std::unique_ptr<KCPluginRunnerViewBase> MakePluginRunnerView(KCPluginRunner* runner,
                                                             const KSRunnerViewOptions& options) {
    return std::make_unique<KCPluginRunnerView>(runner, options);
}

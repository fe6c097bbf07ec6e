// The main view of the runner in GUI mode: a main window of a title bar and
// a menu bar, the statistics window, the editors and the About box. It turns
// menu commands and keys into calls of the plug-in runner.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "foundation/KTErr.h"
#include "host/PluginRunner.h"
#include "host/PluginView.h"
#include "ui/KCMenu.h"
#include "ui/KCWindow.h"

class KCStatisticsWindow;

// What an item of the Plugins menu carries: its own copy of the component
// that it loads.
class KCLoadPluginMenuItemData : public KCMenuItemData::Data {
public:
    explicit KCLoadPluginMenuItemData(const QuorlComponentInfo& component) : component(component) {}
    Data* clone() const override { return new KCLoadPluginMenuItemData(*this); }
    const QuorlComponentInfo& GetComponent() const { return component; }

private:
    QuorlComponentInfo component;
};

class KCPluginRunnerViewBase {
public:
    explicit KCPluginRunnerViewBase(KCPluginRunner* runner) : runner(runner) {}
    KCPluginRunnerViewBase(const KCPluginRunnerViewBase&) = delete;
    KCPluginRunnerViewBase& operator=(const KCPluginRunnerViewBase&) = delete;
    virtual ~KCPluginRunnerViewBase() = default;

    virtual KTErr Open() = 0;
    virtual KTErr Close() = 0;
    virtual KTErr RunEventLoop() = 0;
    virtual KTErr Idle() = 0;
    virtual KTErr GetInfo(int32_t id, void* out, size_t size) = 0;
    virtual KTErr SetInfo(int32_t id, const void* in, size_t size) = 0;
    virtual KCWindow* GetMainWindow() = 0;

protected:
    KCPluginRunner* runner; // not owned
};

// What the view's flags are: exclusive mode (no main window) and the
// no-process option (Space does not toggle play).
struct KSRunnerViewOptions {
    bool exclusive = false;
    bool noProcess = false;
};

class KCPluginRunnerView : public KCPluginRunnerViewBase {
public:
    static constexpr const char* kMainWindowTitle = "Rigwell & Runner";

    KCPluginRunnerView(KCPluginRunner* runner, const KSRunnerViewOptions& options);
    ~KCPluginRunnerView() override;

    KTErr Open() override;
    KTErr Close() override;
    KTErr RunEventLoop() override;
    KTErr Idle() override;
    KTErr GetInfo(int32_t id, void* out, size_t size) override;
    KTErr SetInfo(int32_t id, const void* in, size_t size) override;
    KCWindow* GetMainWindow() override { return mainWindow; }
    virtual KTErr BuildMenuBar();
    virtual KTErr OnMenuOpen(void* menu);

    KTErr CreateMainWindow();
    KTErr OpenPluginViews();
    // Whether the view handled the command itself.
    bool HandleCommand(int16_t command, void* parameter);
    static bool MainWindowCallBack(void* owner, KEEventTypes event, KCEventData* data, void* view);
    static KTErr BuildSubMenu(const int16_t* commands, const char* const* texts, int count,
                              int16_t menuID, void*& menu);
    static KTErr BuildDeviceMenu(const KCAudioDeviceMap& devices, void*& menu, int commandBase,
                                 int16_t menuID);
    KTErr BuildPluginsMenu();
    KTErr ShowAboutBox();
    static bool AboutBoxCallBack(void* owner, KEEventTypes event, KCEventData* data, void* window);
    void ShowPreferences();

    int32_t GetSortMode() const { return sortMode; }
    KCStatisticsWindow* GetStatisticsWindow() const { return statistics; }
    void* GetPluginsMenu() const { return pluginMenu.GetMenuRef(); }
    const KCMenuData& GetPluginsMenuData() const { return pluginMenuData; }
    const KCPluginViewList& GetPluginViews() const { return views; }

private:
    bool HandleKey(const KCEventData& data);
    // Keys typed while the main frame is active reach the handler even
    // though its one-pixel surface cannot hold the focus.
    void BindMainWindowKeys();
    // Replaces the current plug-in by the neighbour `step` (+1 or -1) away in
    // the component list; nothing without a current plug-in or components.
    void StepPlugin(int step);
    // Where the editors send what they do not consume: this view.
    KSPluginViewTarget EditorTarget();
    // Closes the plug-in's editor, then the runner removes the plug-in.
    void ClosePlugin(KCPlugin* plugin);

    KSRunnerViewOptions options;
    int32_t sortMode = 1;
    void* menuBar = nullptr;
    KCToolBarMenu pluginMenu;
    KCMenuData pluginMenuData;
    void* portAudioMenu = nullptr;
    void* portAudioInMenu = nullptr;
    void* portAudioOutMenu = nullptr;
    KCStatisticsWindow* statistics;
    KCWindow* mainWindow = nullptr;
    KURect<short> mainWindowBounds{0, 0, 0, 800};
    std::string title = kMainWindowTitle;
    KCPluginViewList views;
};

// The main view of a runner, with the exclusive and no-process options of
// the command line.
std::unique_ptr<KCPluginRunnerView> CreatePluginRunnerView(KCPluginRunner* runner);
// The main view of the windowed program; null in the program without
// windows.
std::unique_ptr<KCPluginRunnerViewBase> MakePluginRunnerView(KCPluginRunner* runner,
                                                             const KSRunnerViewOptions& options);

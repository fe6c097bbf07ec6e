// The plug-in editors of the main view, with the test plug-in of the build:
// opening from the Plugins menu, showing and hiding, moving and resizing,
// keys and closing. The plug-in writes each of its calls to a log file.
#include "host/PluginView.h"

#include <dlfcn.h>

#include <GL/gl.h>
#include <wx/frame.h>
#include <wx/menu.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "gui_support.h"
#include "host/PluginRunnerView.h"
#include "host/StatisticsWindow.h"
#include "ui/GMRenderer.h"

namespace {

using gui::Pixel;
using gui::ReadPixel;

namespace fs = std::filesystem;

std::string LogPath() {
    static const std::string path =
        (fs::temp_directory_path() / ("kv_editor_calls_" + std::to_string(getpid()) + ".txt"))
            .string();
    return path;
}

std::string Calls() {
    std::ifstream in(LogPath());
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

void ClearCalls() {
    std::ofstream(LogPath(), std::ios::trunc);
}

// The colour the test plug-in clears its editor to.
constexpr Pixel kPluginColour{51, 102, 153};

wxSize ClientSize(const KCWindow* window) {
    return window->windowHandle->GetClientSize();
}

// Whether an application loop runs now, or ends at once because a quit was
// asked for; a pending quit is used up either way.
bool LoopRuns() {
    bool ran = false;
    wxTheApp->CallAfter([&ran] {
        ran = true;
        KMQuitAppEventLoop();
    });
    KMRunAppEventLoop();
    if (ran)
        return true;
    display::PumpUntil([&ran] { return ran; }, 2000);
    KMRunAppEventLoop(); // ends at once on the quit the call left
    return false;
}

// A runner for the suite with the build's plug-in folder scanned: one
// component, the test plug-in.
class PluginViewTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        setenv("KV_TEST_PLUGIN_CALL_LOG", LogPath().c_str(), 1);
        InstallPluginViewHooks();
        runner = new KCPluginRunner(kvFM::KCStPath(RIGWELL_PATH));
        ASSERT_EQ(runner->Init(), eNoErr);
        const std::string folder = fs::path(KV_PASSTHROUGH).parent_path().string();
        ASSERT_EQ(runner->ScanPlugins(kvFM::KCStPath(folder)), eNoErr);
    }
    static void TearDownTestSuite() {
        runner->Shutdown();
        delete runner;
        runner = nullptr;
        unsetenv("KV_TEST_PLUGIN_CALL_LOG");
        std::remove(LogPath().c_str());
    }
    void SetUp() override {
        REQUIRE_DISPLAY();
        ASSERT_EQ(runner->GetComponents().Count(), 1u);
        OpenView(KSRunnerViewOptions());
        ClearCalls();
    }
    void TearDown() override {
        CloseView();
        while (KCPlugin* plugin = runner->GetCurrentPlugin())
            runner->RemovePlugin(plugin);
        display::Pump(20);
    }
    void OpenView(const KSRunnerViewOptions& options) {
        view = std::make_unique<KCPluginRunnerView>(runner, options);
        ASSERT_EQ(view->Open(), eNoErr);
        if (view->GetMainWindow() != nullptr)
            frame = dynamic_cast<wxFrame*>(view->GetMainWindow()->windowHandle);
    }
    void CloseView() {
        if (view) {
            view->Close();
            view.reset();
        }
        frame = nullptr;
    }
    bool Command(int16_t id) {
        KCEventData data;
        data.SetCommand(id);
        return KCPluginRunnerView::MainWindowCallBack(nullptr, eCommand, &data, view.get());
    }
    // A key typed in the editor's drawing window; whether it was consumed.
    bool EditorKey(char key) {
        KCEventData data;
        data.SetKeyChar(key);
        return KCPluginView::EventCallBack(Editor()->GetChildWindow(), eKeyDown, &data, Editor());
    }
    // Loads the test plug-in as its menu item does and waits for its editor.
    KCPluginView* OpenEditor() {
        Command(1001);
        if (view->GetPluginViews().size() != 1)
            return nullptr;
        display::PumpUntil([this] { return Editor()->GetFrameWindow()->windowHandle->IsShown(); });
        display::Pump(50);
        return Editor();
    }
    KCPluginView* Editor() const {
        return view->GetPluginViews().empty() ? nullptr : view->GetPluginViews().back();
    }

    static KCPluginRunner* runner;
    std::unique_ptr<KCPluginRunnerView> view;
    wxFrame* frame = nullptr;
};
KCPluginRunner* PluginViewTest::runner = nullptr;

// "<id> <text>" of a menu's items.
std::vector<std::string> Items(wxMenu* menu) {
    std::vector<std::string> items;
    for (wxMenuItem* item : menu->GetMenuItems())
        items.push_back(item->IsSeparator() ? "-"
                                            : std::to_string(item->GetId()) + " " +
                                                  item->GetItemLabelText().utf8_string());
    return items;
}

bool Checked(const wxMenuItem* item) {
    return item != nullptr && item->IsCheckable() && item->IsChecked();
}

wxMenu* SubMenu(wxMenu* menu, const std::string& title) {
    for (wxMenuItem* item : menu->GetMenuItems())
        if (item->GetSubMenu() != nullptr && item->GetItemLabelText().utf8_string() == title)
            return item->GetSubMenu();
    return nullptr;
}

TEST_F(PluginViewTest, ThePluginsMenuOpensTheEditorWhichHidesAndShows) {
    // The menu is filled as it opens, through the frame's own event.
    auto* plugins = static_cast<wxMenu*>(view->GetPluginsMenu());
    wxMenuEvent opening(wxEVT_MENU_OPEN, 0, plugins);
    opening.SetEventObject(frame);
    frame->ProcessWindowEvent(opening);
    wxMenu* group = SubMenu(plugins, "Test");
    ASSERT_NE(group, nullptr) << ::testing::PrintToString(Items(plugins));
    wxMenu* bundle = SubMenu(group, "PassThrough");
    ASSERT_NE(bundle, nullptr);
    EXPECT_EQ(Items(bundle), (std::vector<std::string>{"1001 PassThrough (raPI, PQ5S)"}));
    EXPECT_FALSE(Checked(bundle->FindItem(1001)));
    // The item carries its own copy of the component that it loads.
    const KCMenuItemData* item =
        const_cast<KCMenuData&>(view->GetPluginsMenuData()).GetItemDataByCommand(1001);
    ASSERT_NE(item, nullptr);
    const auto* data = dynamic_cast<const KCLoadPluginMenuItemData*>(item->userData1);
    ASSERT_NE(data, nullptr);
    EXPECT_EQ(data->GetComponent().componentSubType,
              runner->GetComponents().components[0].componentSubType);
    EXPECT_EQ(data->GetComponent().Path(), runner->GetComponents().components[0].Path());
    EXPECT_NE(&data->GetComponent(), &runner->GetComponents().components[0]);

    // Choosing it loads the plug-in and opens its editor.
    wxCommandEvent choose(wxEVT_MENU, 1001);
    choose.SetEventObject(frame);
    frame->ProcessWindowEvent(choose);
    ASSERT_NE(runner->GetCurrentPlugin(), nullptr);
    ASSERT_EQ(view->GetPluginViews().size(), 1u);
    KCPluginView* editor = Editor();
    EXPECT_EQ(editor->GetPlugin(), runner->GetCurrentPlugin());
    display::PumpUntil([&] { return editor->GetFrameWindow()->windowHandle->IsShown(); });
    auto* editorFrame = dynamic_cast<wxFrame*>(editor->GetFrameWindow()->windowHandle);
    ASSERT_NE(editorFrame, nullptr);
    EXPECT_EQ(editorFrame->GetTitle().utf8_string(), "PassThrough (raPI, PQ5S)");
    EXPECT_EQ(editorFrame->GetParent(), frame) << "owned by the main window";
    EXPECT_EQ(ClientSize(editor->GetFrameWindow()), wxSize(300, 200));
    EXPECT_EQ(ClientSize(editor->GetChildWindow()), wxSize(300, 200));
    // The context lives on the child only.
    EXPECT_NE(editor->GetChildWindow()->renderingContext, nullptr);
    EXPECT_EQ(editor->GetFrameWindow()->renderingContext, nullptr);

    // Made, given its window, shown in that order, then redrawn.
    const std::string calls = Calls();
    const size_t made = calls.find("KP_GetViewRect\nKP_SetWindow(window)\n");
    ASSERT_NE(made, std::string::npos) << calls;
    const size_t shown = calls.find("KP_SetWindow(window)\nKP_InitHatch(0,0,200,300)\n"
                                    "KP_SetRefresh(0,0,200,300)\nKP_ActivateWindow\n",
                                    made + 1);
    ASSERT_NE(shown, std::string::npos) << calls;
    EXPECT_NE(calls.find("KP_DoIdle\n", shown), std::string::npos) << calls;

    // An idle tick draws the plug-in's colour.
    EXPECT_TRUE(display::PumpUntil([&] {
        view->Idle();
        return ReadPixel(*editor->GetChildWindow(), 150, 100) == kPluginColour;
    }));
    EXPECT_EQ(ReadPixel(*editor->GetChildWindow(), 1, 198), kPluginColour);

    // The next opening checks the current plug-in's item.
    frame->ProcessWindowEvent(opening);
    bundle = SubMenu(SubMenu(plugins, "Test"), "PassThrough");
    ASSERT_NE(bundle, nullptr);
    EXPECT_TRUE(Checked(bundle->FindItem(1001)));

    // Hiding (104) deletes the context and takes the window away; showing
    // makes both again.
    ClearCalls();
    EXPECT_TRUE(Command(104));
    EXPECT_FALSE(editor->IsShown());
    EXPECT_EQ(editor->GetChildWindow()->renderingContext, nullptr);
    EXPECT_EQ(editor->GetChildWindow()->contextThread, KCWindow::kInvalidThreadID);
    EXPECT_EQ(Calls(), "KP_DeactivateWindow\nKP_SetWindow(null)\n");
    EXPECT_FALSE(editor->GetFrameWindow()->windowHandle->IsShown());
    // A hidden editor is not redrawn.
    ClearCalls();
    view->Idle();
    EXPECT_EQ(Calls(), "");

    EXPECT_TRUE(Command(104));
    EXPECT_TRUE(editor->IsShown());
    EXPECT_NE(editor->GetChildWindow()->renderingContext, nullptr);
    EXPECT_EQ(Calls().rfind("KP_SetWindow(window)\nKP_InitHatch(0,0,200,300)\n"
                            "KP_SetRefresh(0,0,200,300)\nKP_ActivateWindow\n",
                            0),
              0u)
        << Calls();
    display::PumpUntil([&] { return editor->GetFrameWindow()->windowHandle->IsShown(); });
    EXPECT_TRUE(display::PumpUntil([&] {
        view->Idle();
        return ReadPixel(*editor->GetChildWindow(), 20, 20) == kPluginColour;
    }));
}

TEST_F(PluginViewTest, MovingAsksForTheRectangleAgainAndResizeRequestsResizeBothWindows) {
    KCPluginView* editor = OpenEditor();
    ASSERT_NE(editor, nullptr);
    wxWindow* editorFrame = editor->GetFrameWindow()->windowHandle;
    wxWindow* canvas = editor->GetChildWindow()->windowHandle;
    view->Idle();
    display::Pump(50);
    view->Idle();
    ClearCalls();

    // A move: the rectangle is asked for, refreshed and swapped.
    const wxPoint before = canvas->GetScreenPosition();
    editorFrame->Move(editorFrame->GetPosition() + wxPoint(40, 30));
    ASSERT_TRUE(display::PumpUntil([&] { return canvas->GetScreenPosition() != before; }));
    view->Idle();
    EXPECT_EQ(Calls(), "KP_GetViewRect\nKP_SetRefresh(0,0,200,300)\nKP_DoIdle\n");
    // A change of size alone is no move (its repaint refreshes the plug-in).
    editorFrame->SetClientSize(340, 240);
    display::Pump(50);
    ClearCalls();
    view->Idle();
    EXPECT_EQ(Calls(), "KP_DoIdle\n");
    editorFrame->SetClientSize(300, 200);
    display::Pump(50);
    view->Idle();

    // The plug-in asks for (10, 20, 110, 220) on 'r'.
    ClearCalls();
    EXPECT_FALSE(EditorKey('R'));
    EXPECT_EQ(Calls(),
              "KP_DoKeyDown(R)\nKP_DeactivateWindow\nKP_SetWindow(window)\n"
              "KP_ActivateWindow\nKP_InitHatch(0,0,100,200)\nKP_SetRefresh(0,0,100,200)\n");
    EXPECT_TRUE(editor->IsShown());
    EXPECT_EQ(editor->GetViewRect(), KURect<short>(0, 0, 100, 200));
    display::Pump(50);
    EXPECT_EQ(ClientSize(editor->GetFrameWindow()), wxSize(200, 100));
    EXPECT_EQ(ClientSize(editor->GetChildWindow()), wxSize(200, 100));
    EXPECT_TRUE(display::PumpUntil([&] {
        view->Idle();
        return ReadPixel(*editor->GetChildWindow(), 190, 90) == kPluginColour;
    }));

    // Empty and wrapped-around sizes are ignored: the editor keeps its size.
    for (const char* request : {"10,20,10,220", "0,-30000,100,30000", "50,0,-50,100"}) {
        setenv("KV_TEST_PLUGIN_RESIZE", request, 1);
        ClearCalls();
        EditorKey('r');
        EXPECT_EQ(Calls(), "KP_DoKeyDown(r)\n") << request;
        EXPECT_EQ(editor->GetViewRect(), KURect<short>(0, 0, 100, 200)) << request;
        EXPECT_EQ(ClientSize(editor->GetFrameWindow()), wxSize(200, 100)) << request;
    }
    unsetenv("KV_TEST_PLUGIN_RESIZE");
}

TEST_F(PluginViewTest, KeysThePluginDoesNotTakeReachTheMainViewAndMouseReachesThePlugin) {
    ASSERT_NE(OpenEditor(), nullptr);
    // 'x' is the plug-in's: nothing else sees it.
    ClearCalls();
    EXPECT_TRUE(EditorKey('X'));
    EXPECT_EQ(Calls(), "KP_DoKeyDown(X)\n");
    // 'B' goes on to the main view, which toggles bypass.
    ClearCalls();
    EXPECT_FALSE(EditorKey('B'));
    EXPECT_EQ(Calls(), "KP_DoKeyDown(B)\nKP_SetBypass(1)\n");

    // A key typed on the editor's window takes the same way.
    KCPluginView* editor = Editor();
    auto* canvas = static_cast<wxWindow*>(editor->GetChildWindow()->deviceContext);
    ClearCalls();
    wxKeyEvent key(wxEVT_KEY_DOWN);
    key.m_keyCode = 'B';
    key.SetEventObject(canvas);
    canvas->ProcessWindowEvent(key);
    EXPECT_EQ(Calls(), "KP_DoKeyDown(B)\nKP_SetBypass(0)\n");

    // Mouse events reach the plug-in and go on to the default handling.
    ClearCalls();
    wxMouseEvent down(wxEVT_LEFT_DOWN);
    down.SetPosition(wxPoint(10, 20));
    down.SetEventObject(canvas);
    canvas->ProcessWindowEvent(down);
    wxMouseEvent up(wxEVT_LEFT_UP);
    up.SetPosition(wxPoint(12, 22));
    up.SetEventObject(canvas);
    canvas->ProcessWindowEvent(up);
    EXPECT_EQ(Calls(), "KP_DoMouseDown(10,20)\nKP_DoMouseUp(12,22)\n");

    // ']' with one component replaces the plug-in by itself: a new editor.
    EXPECT_TRUE(EditorKey(']'));
    ASSERT_EQ(view->GetPluginViews().size(), 1u);
    EXPECT_NE(Editor()->GetPlugin(), nullptr);
    EXPECT_EQ(Editor()->GetPlugin(), runner->GetCurrentPlugin());
}

TEST_F(PluginViewTest, ClosingAnEditorWindowRemovesItsPluginAndTheProgramGoesOn) {
    // The frame, through the window manager's close request.
    KCPluginView* editor = OpenEditor();
    ASSERT_NE(editor, nullptr);
    editor->GetFrameWindow()->windowHandle->Close();
    display::Pump(50);
    EXPECT_TRUE(view->GetPluginViews().empty());
    EXPECT_EQ(runner->GetCurrentPlugin(), nullptr);
    EXPECT_TRUE(LoopRuns());

    // The child, through its own close message.
    editor = OpenEditor();
    ASSERT_NE(editor, nullptr);
    KSNativeMessage close;
    close.message = eNMClose;
    KCEventMessage message(close);
    EXPECT_TRUE(editor->GetChildWindow()->dispatcher->HandleEvent(message));
    display::Pump(50);
    EXPECT_TRUE(view->GetPluginViews().empty());
    EXPECT_EQ(runner->GetCurrentPlugin(), nullptr);
    EXPECT_TRUE(LoopRuns());

    // Command 600 closes the current plug-in and its editor.
    ASSERT_NE(OpenEditor(), nullptr);
    ClearCalls();
    EXPECT_TRUE(Command(600));
    EXPECT_TRUE(view->GetPluginViews().empty());
    EXPECT_EQ(runner->GetCurrentPlugin(), nullptr);
    EXPECT_EQ(Calls().rfind("KP_DeactivateWindow\nKP_SetWindow(null)\n", 0), 0u) << Calls();
}

TEST_F(PluginViewTest, ExclusiveModeEndsWhenTheEditorCloses) {
    CloseView();
    ASSERT_EQ(runner->OpenPlugin(runner->GetComponents().components[0]), eNoErr);
    OpenView(KSRunnerViewOptions{true, false});
    EXPECT_EQ(view->GetMainWindow(), nullptr);
    EXPECT_EQ(view->GetStatisticsWindow()->GetWindow().windowHandle, nullptr);
    ASSERT_EQ(view->GetPluginViews().size(), 1u) << "the loaded plug-in's editor";
    KCPluginView* editor = Editor();
    EXPECT_EQ(editor->GetFrameWindow()->windowHandle->GetParent(), nullptr);
    view->Idle();
    EXPECT_TRUE(LoopRuns());

    editor->GetFrameWindow()->windowHandle->Close();
    display::Pump(50);
    EXPECT_TRUE(view->GetPluginViews().empty());
    EXPECT_EQ(runner->GetCurrentPlugin(), nullptr);
    view->Idle();
    EXPECT_FALSE(LoopRuns()) << "the next idle tick ends the program";
}

TEST_F(PluginViewTest, AnEditorThatCannotBeMadeIsDroppedAndListRules) {
    // The plug-in fails its rectangle: it stays loaded, without an editor.
    void* library = dlopen(KV_PASSTHROUGH, RTLD_NOW);
    ASSERT_NE(library, nullptr);
    auto inject =
        reinterpret_cast<void (*)(const char*, int32_t)>(dlsym(library, "kv_test_inject"));
    auto reset = reinterpret_cast<void (*)()>(dlsym(library, "kv_test_reset"));
    ASSERT_TRUE(inject != nullptr && reset != nullptr);
    inject("KP_GetViewRect", -5);
    EXPECT_FALSE(Command(1001));
    reset();
    EXPECT_NE(runner->GetCurrentPlugin(), nullptr);
    EXPECT_TRUE(view->GetPluginViews().empty());
    EXPECT_EQ(runner->GetCurrentPlugin()->GetCallbacks().GetView(), nullptr);
    EXPECT_TRUE(Command(104)) << "no editor to show";
    EXPECT_TRUE(view->GetPluginViews().empty());
    dlclose(library);

    // Two editors of one plug-in: look-ups take the last, closing the first.
    KCPlugin* plugin = runner->GetCurrentPlugin();
    KCPluginViewList list;
    CloseAllPluginViews(list);
    // The plug-in's rectangle sets the editor's size.
    setenv("KV_TEST_PLUGIN_VIEW_RECT", "0,0,120,160", 1);
    ASSERT_EQ(OpenPluginView(list, KSPluginViewTarget(), plugin), eNoErr);
    unsetenv("KV_TEST_PLUGIN_VIEW_RECT");
    EXPECT_EQ(ClientSize(list[0]->GetFrameWindow()), wxSize(160, 120));
    EXPECT_EQ(ClientSize(list[0]->GetChildWindow()), wxSize(160, 120));
    ASSERT_EQ(OpenPluginView(list, KSPluginViewTarget(), plugin), eNoErr);
    ASSERT_EQ(list.size(), 2u);
    KCPluginView* second = list[1];
    EXPECT_EQ(FindPluginViewOfPlugin(list, plugin), second);
    EXPECT_EQ(FindPluginViewOfWindow(list, list[0]->GetChildWindow()), list[0]);
    EXPECT_EQ(FindPluginViewOfWindow(list, nullptr), nullptr);
    // Without a forward handler, unconsumed keys and closes are not consumed.
    KCEventData key;
    key.SetKeyChar('B');
    EXPECT_FALSE(KCPluginView::EventCallBack(second->GetChildWindow(), eKeyDown, &key, second));
    EXPECT_FALSE(KCPluginView::EventCallBack(second->GetFrameWindow(), eWindowClose, &key, second));
    ClosePluginView(list, plugin);
    ASSERT_EQ(list.size(), 1u);
    EXPECT_EQ(list[0], second);
    CloseAllPluginViews(list);
    EXPECT_TRUE(list.empty());
}

} // namespace

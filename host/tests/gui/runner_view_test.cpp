#include "host/PluginRunnerView.h"

#include <GL/gl.h>
#include <wx/frame.h>
#include <wx/menu.h>

#include "audio/CpuMeter.h"
#include "gui_support.h"
#include "host/StatisticsWindow.h"
#include "ui/GMRenderer.h"
#include "xdrive/XDrive.h"

#include <wx/timer.h>

namespace {

using gui::Pixel;
using gui::ReadPixel;

// The texts of a wx menu's items, "<id> <text>" (separators "-").
std::vector<std::string> Items(wxMenu* menu) {
    std::vector<std::string> items;
    for (wxMenuItem* item : menu->GetMenuItems()) {
        if (item->IsSeparator())
            items.push_back("-");
        else
            items.push_back(std::to_string(item->GetId()) + " " +
                            item->GetItemLabelText().utf8_string());
    }
    return items;
}

bool Checked(wxMenuItem* item) {
    return item != nullptr && item->IsCheckable() && item->IsChecked();
}

// One runner for the whole suite: the program's resources come from the
// built program.
class RunnerViewTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        runner = new KCPluginRunner(kvFM::KCStPath(RIGWELL_PATH));
        ASSERT_EQ(runner->Init(), eNoErr);
    }
    static void TearDownTestSuite() {
        runner->Shutdown();
        delete runner;
        runner = nullptr;
    }
    void SetUp() override {
        REQUIRE_DISPLAY();
        view = std::make_unique<KCPluginRunnerView>(runner, KSRunnerViewOptions());
        ASSERT_EQ(view->Open(), eNoErr);
        ASSERT_NE(view->GetMainWindow(), nullptr);
        frame = dynamic_cast<wxFrame*>(view->GetMainWindow()->windowHandle);
        ASSERT_NE(frame, nullptr);
    }
    void TearDown() override {
        if (view) {
            view->Close();
            view.reset();
        }
        display::Pump(20);
    }
    bool Command(int16_t id) {
        KCEventData data;
        data.SetCommand(id);
        return KCPluginRunnerView::MainWindowCallBack(nullptr, eCommand, &data, view.get());
    }

    static KCPluginRunner* runner;
    std::unique_ptr<KCPluginRunnerView> view;
    wxFrame* frame = nullptr;
};
KCPluginRunner* RunnerViewTest::runner = nullptr;

TEST_F(RunnerViewTest, MainWindowAndItsMenuBar) {
    EXPECT_EQ(frame->GetTitle().utf8_string(), "Rigwell & Runner");
    EXPECT_EQ(frame->GetClientSize().GetWidth(), 800);
    EXPECT_LE(frame->GetClientSize().GetHeight(), 1);
    wxMenuBar* bar = frame->GetMenuBar();
    ASSERT_NE(bar, nullptr);
    std::vector<std::string> titles;
    for (size_t i = 0; i < bar->GetMenuCount(); ++i)
        titles.push_back(bar->GetMenuLabelText(i).utf8_string());
    EXPECT_EQ(titles, (std::vector<std::string>{"File", "Plugins", "Input Source", "Side Chain",
                                                "Output", "Sample Rate", "HW Buffer Size",
                                                "Transport", "PortAudio", "Help"}));
    EXPECT_EQ(Items(bar->GetMenu(0)),
              (std::vector<std::string>{"101 Preferences...", "100 Toggle Statistics Window",
                                        "102 Toggle Automation Window", "103 Rescan Plugins Folder",
                                        "104 Show/Hide Plugin Window"}));
    EXPECT_EQ(Items(bar->GetMenu(5)),
              (std::vector<std::string>{"400 8000", "401 44100", "402 48000", "403 88200",
                                        "404 96000", "405 192000"}));
    EXPECT_EQ(Items(bar->GetMenu(7)),
              (std::vector<std::string>{"300 Toggle play", "301 Rewind", "303 Toggle bypass"}));
    const auto portAudio = bar->GetMenu(8)->GetMenuItems();
    ASSERT_EQ(portAudio.size(), 2u);
    EXPECT_EQ(portAudio[0]->GetItemLabelText().utf8_string(), "PortAudio In");
    EXPECT_EQ(portAudio[1]->GetItemLabelText().utf8_string(), "PortAudio Out");
    EXPECT_EQ(Items(bar->GetMenu(9)), (std::vector<std::string>{"601 About..."}));
    for (size_t i = 0; i < bar->GetMenuCount(); ++i)
        for (wxMenuItem* item : bar->GetMenu(i)->GetMenuItems())
            EXPECT_FALSE(Checked(item)) << item->GetItemLabelText();

    KCWindow* window = nullptr;
    EXPECT_EQ(view->GetInfo(2000, &window, sizeof window), eNoErr);
    EXPECT_EQ(window, view->GetMainWindow());
    std::string title;
    EXPECT_EQ(view->GetInfo(2001, &title, 0), eNoErr);
    EXPECT_EQ(title, "Rigwell & Runner");
    EXPECT_NE(view->GetInfo(2002, &title, 0), eNoErr);
    EXPECT_NE(view->SetInfo(2000, &window, sizeof window), eNoErr);
}

TEST_F(RunnerViewTest, PluginsMenuWithoutComponentsAndSorting) {
    ASSERT_EQ(runner->GetComponents().Count(), 0u);
    view->OnMenuOpen(view->GetPluginsMenu());
    auto* plugins = static_cast<wxMenu*>(view->GetPluginsMenu());
    const auto items = plugins->GetMenuItems();
    ASSERT_GE(items.size(), 5u);
    EXPECT_EQ(items[0]->GetItemLabelText().utf8_string(), "Prev Plugin '[' ");
    EXPECT_EQ(items[0]->GetId(), 604);
    EXPECT_FALSE(items[0]->IsEnabled());
    EXPECT_EQ(items[1]->GetId(), 603);
    EXPECT_FALSE(items[1]->IsEnabled());
    EXPECT_TRUE(items[2]->IsSeparator());
    wxMenu* sorting = items[3]->GetSubMenu();
    ASSERT_NE(sorting, nullptr);
    EXPECT_EQ(Items(sorting),
              (std::vector<std::string>{"608 Alphabet", "607 Bundle", "606 Category", "605 None"}));
    EXPECT_TRUE(Checked(sorting->FindItem(607)));

    // The sorting commands set the mode and the next opening shows it.
    EXPECT_TRUE(Command(605));
    EXPECT_EQ(view->GetSortMode(), 3);
    EXPECT_TRUE(Command(608));
    EXPECT_EQ(view->GetSortMode(), 0);
    view->OnMenuOpen(view->GetPluginsMenu());
    sorting = plugins->GetMenuItems()[3]->GetSubMenu();
    EXPECT_TRUE(Checked(sorting->FindItem(608)));
    EXPECT_FALSE(Checked(sorting->FindItem(607)));
}

TEST_F(RunnerViewTest, CommandsAndKeysWithoutPlugin) {
    // Next and previous without a plug-in or components do nothing.
    EXPECT_TRUE(Command(603));
    EXPECT_TRUE(Command(604));
    KCEventData key;
    key.SetKeyChar(']');
    EXPECT_TRUE(KCPluginRunnerView::MainWindowCallBack(nullptr, eKeyDown, &key, view.get()));
    key.SetKeyChar('x');
    EXPECT_FALSE(KCPluginRunnerView::MainWindowCallBack(nullptr, eKeyDown, &key, view.get()));
    EXPECT_TRUE(Command(102));
    EXPECT_EQ(runner->GetCurrentPlugin(), nullptr);

    // 100 toggles the statistics window; closing it only hides it.
    KCStatisticsWindow* stats = view->GetStatisticsWindow();
    EXPECT_FALSE(stats->IsShown());
    EXPECT_TRUE(Command(100));
    EXPECT_TRUE(stats->IsShown());
    static_cast<wxFrame*>(stats->GetWindow().windowHandle)->Close();
    display::Pump(20);
    EXPECT_FALSE(stats->IsShown());
    EXPECT_TRUE(Command(100));
    EXPECT_TRUE(stats->IsShown());
    EXPECT_TRUE(Command(100));
    EXPECT_FALSE(stats->IsShown());
}

TEST_F(RunnerViewTest, PreferencesWriteBothValuesBackEvenWhenCancelled) {
    uint8_t before[2] = {0, 0};
    runner->GetInfo(1015, &before[0], 1);
    runner->GetInfo(1016, &before[1], 1);
    gui::WhenModal("Plugin Runner Preferences", [](wxTopLevelWindow* top) { top->Close(); });
    EXPECT_TRUE(Command(101));
    uint8_t after[2] = {9, 9};
    runner->GetInfo(1015, &after[0], 1);
    runner->GetInfo(1016, &after[1], 1);
    EXPECT_EQ(after[0], before[0]);
    EXPECT_EQ(after[1], before[1]);
}

TEST_F(RunnerViewTest, AboutBoxShowsPictureAndVersionUntilEscape) {
    bool checked = false;
    bool escapeMissed = false;
    wxTimer watchdog;
    gui::WhenModal("About Plugin Runner...", [&](wxTopLevelWindow* top) {
        checked = true;
        EXPECT_EQ(top->GetClientSize(), wxSize(295, 440));
        KCWindow* record = KMGetWindowRecord(top);
        ASSERT_NE(record, nullptr);
        // The picture is opaque and covers the top; the grey shows below it,
        // and the text's box is at (5, 300).
        EXPECT_EQ(ReadPixel(*record, 10, 420), (Pixel{204, 204, 204}));
        EXPECT_NE(ReadPixel(*record, 147, 140), (Pixel{204, 204, 204}));
        int dark = 0;
        for (int y = 300; y < 320; ++y)
            for (int x = 5; x < 120; ++x) {
                const Pixel p = ReadPixel(*record, x, y);
                dark += p.r < 100 && p.g < 100 && p.b < 100;
            }
        EXPECT_GT(dark, 20);
        // A real Escape, with the pointer over the main window (where the
        // menu was): no window manager hands the box the keyboard here.
        xdrive::Display x;
        ASSERT_TRUE(x.Ok() && x.HasXTest());
        const xdrive::WindowId main = x.FindWindow(frame->GetTitle().utf8_string(), false);
        ASSERT_NE(main, 0u);
        EXPECT_NE(x.MoveTo(main, 10, 10), 0);
        EXPECT_TRUE(x.Keys({"Escape"}));
        watchdog.StartOnce(5000);
    });
    watchdog.Bind(wxEVT_TIMER, [&](wxTimerEvent&) {
        if (gui::FindTopLevel("About Plugin Runner...") == nullptr)
            return;
        escapeMissed = true;
        KMQuitModalEventLoop(nullptr);
    });
    EXPECT_TRUE(Command(601));
    watchdog.Stop();
    EXPECT_TRUE(checked);
    EXPECT_FALSE(escapeMissed) << "Escape did not close the About box";
    EXPECT_EQ(gui::FindTopLevel("About Plugin Runner..."), nullptr);
}

} // namespace

namespace {

void PressOnFrame(wxFrame* frame, int key) {
    wxKeyEvent event(wxEVT_CHAR_HOOK);
    event.m_keyCode = key;
    event.m_uniChar = static_cast<wxChar>(key < 128 ? key : 0);
    event.SetEventObject(frame);
    frame->ProcessWindowEvent(event);
}

TEST_F(RunnerViewTest, SpaceOnTheMainFrameTogglesPlayUnlessNoProcess) {
    if (runner->ListAudioDevices() != eNoErr || runner->InitDefaultSink() != eNoErr)
        GTEST_SKIP() << "no audio device";
    ASSERT_FALSE(runner->IsSinkRunning());
    PressOnFrame(frame, WXK_SPACE);
    EXPECT_TRUE(runner->IsSinkRunning());
    PressOnFrame(frame, WXK_RETURN); // rewinds, keeps playing
    EXPECT_TRUE(runner->IsSinkRunning());
    PressOnFrame(frame, WXK_SPACE);
    EXPECT_FALSE(runner->IsSinkRunning());

    view->Close();
    view = std::make_unique<KCPluginRunnerView>(runner, KSRunnerViewOptions{false, true});
    ASSERT_EQ(view->Open(), eNoErr);
    frame = dynamic_cast<wxFrame*>(view->GetMainWindow()->windowHandle);
    PressOnFrame(frame, WXK_SPACE);
    EXPECT_FALSE(runner->IsSinkRunning());
}

} // namespace

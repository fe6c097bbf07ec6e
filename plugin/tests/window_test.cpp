// The generic window and dialog base on a real display: class
// registration, the modal loop's OK and Cancel, data exchange; and the
// command-list window against a u2c-sim daemon.
#include "WindowTestSupport.h"

#include "plugin/Commander.h"
#include "plugin/EditorWindows.h"
#include "plugin/PeqAlg.h"
#include "plugin/WaitCursor.h"
#include "sim/SimDaemon.h"

#include <wx/combobox.h>
#include <wx/frame.h>
#include <wx/listctrl.h>
#include <wx/msgdlg.h>
// The generic box needs the toolkit's box declared first.
#include <wx/generic/msgdlgg.h>

#include <wx/textctrl.h>
#include <wx/toplevel.h>
#include <wx/uiaction.h>

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <fstream>
#include <sstream>

namespace {

namespace fs = std::filesystem;
using namespace dulm;
using wintest::Click;
using wintest::RunScripted;

constexpr short kTestDialog = 900;

// Radio group 100 holds a static text between its buttons; group 140 has
// no radio button at all.
const char* const kTestTemplate = R"(<Dialog title="Test" width="300" height="240">
  <Control type="radio" id="100" text="A" rect="10 10 100 30" group="1"/>
  <Control type="static" id="101" text="between" rect="10 30 100 50"/>
  <Control type="radio" id="102" text="B" rect="10 50 100 70"/>
  <Control type="radio" id="103" text="C" rect="10 70 100 90"/>
  <Control type="edit" id="110" rect="110 10 290 34" group="1"/>
  <Control type="edit" id="111" rect="110 40 290 64" group="1"/>
  <Control type="check" id="120" text="check" rect="110 70 290 90" group="1"/>
  <Control type="static" id="140" text="no radios" rect="10 100 100 120" group="1"/>
  <Control type="ipaddress" id="150" rect="110 100 290 124" group="1"/>
  <Control type="combo" id="160" rect="110 130 290 160" group="1"/>
  <Control type="default" id="1" text="OK" rect="110 200 190 230" group="1"/>
  <Control type="button" id="2" text="Cancel" rect="200 200 290 230" group="1"/>
</Dialog>)";

class TestDialog : public CGenericWindow {
public:
    TestDialog() { SetDialogInfo(kTestDialog, nullptr, wintest::SelfContainer()); }
    int32_t DataExchange(bool save) override {
        ++exchanges[save];
        ExchangeRadio(*this, 100, radio, save);
        return save ? acceptSave : 1;
    }
    intptr_t OnCommand(int32_t id, int32_t, wxWindow*) override { return id == 1 && swallowOK; }

    int32_t radio = 0;
    int32_t acceptSave = 1;
    bool swallowOK = false;
    int exchanges[2] = {0, 0};
};

class GenericWindowTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        if (display::Ready()) {
            ASSERT_TRUE(wintest::AddTemplate(kTestDialog, kTestTemplate));
        }
    }
};

TEST_F(GenericWindowTest, PlainWindowsRegisterTheirClassOnceAndCloseForGood) {
    REQUIRE_DISPLAY();
    {
        CGenericWindow a, b;
        ASSERT_TRUE(a.Create("KvTestClass", nullptr, "a", 10, 10, 110, 60, 0, 0, 0));
        ASSERT_TRUE(b.Create("KvTestClass", nullptr, "b", 20, 20, 120, 70, 0, 0, 0));
        EXPECT_NE(a.ClassAtom(), 0);
        EXPECT_EQ(b.ClassAtom(), 0);
        EXPECT_EQ(CGenericWindow::FromWindow(a.GetWindow()), &a);
        EXPECT_FALSE(a.IsDialogMode());
        // A child needs its parent.
        CGenericWindow orphan;
        EXPECT_FALSE(orphan.Create(nullptr, nullptr, "", 0, 0, 10, 10, kStyleChild, 0, 5));
        EXPECT_EQ(orphan.GetWindow(), nullptr);
    }
    EXPECT_FALSE(CGenericWindow::IsClassRegistered("KvTestClass"));

    // A window that wx destroys by itself leaves no stale handle.
    {
        CGenericWindow gone;
        ASSERT_TRUE(gone.Create(nullptr, nullptr, "gone", 10, 10, 110, 60, 0, 0, 0));
        wxWindow* window = gone.GetWindow();
        delete window;
        EXPECT_EQ(gone.GetWindow(), nullptr);
        EXPECT_EQ(CGenericWindow::FromWindow(window), nullptr);
    }

    // The close box of a plain window destroys it.

    CGenericWindow w;
    ASSERT_TRUE(w.Create(nullptr, nullptr, "w", 10, 10, 110, 60, kStyleVisible, 0, 0));
    wxWindow* window = w.GetWindow();
    window->Close();
    EXPECT_EQ(w.GetWindow(), nullptr);
    EXPECT_EQ(CGenericWindow::FromWindow(window), nullptr);
    display::Pump(20);
}

TEST_F(GenericWindowTest, ModalRunsEndAsTheHooksDecide) {
    REQUIRE_DISPLAY();
    // A missing template: -1.
    CGenericWindow missing;
    missing.SetDialogInfo(4242, nullptr, wintest::SelfContainer());
    EXPECT_EQ(missing.RunModal(), -1);
    CGenericWindow noInstance;
    noInstance.SetDialogInfo(kTestDialog, nullptr, nullptr);
    EXPECT_EQ(noInstance.RunModal(), -1);

    // OK that OnCommand swallows does not end; Cancel does.
    TestDialog swallowing;
    swallowing.swallowOK = true;
    bool stillOpen = false;
    EXPECT_EQ(RunScripted(swallowing,
                          [&] {
                              Click(swallowing, 1);
                              stillOpen = swallowing.GetWindow() != nullptr;
                              Click(swallowing, 2);
                          }),
              2);
    EXPECT_TRUE(stillOpen);
    EXPECT_EQ(swallowing.exchanges[1], 0);
    EXPECT_EQ(swallowing.GetWindow(), nullptr);

    // OK ends only when saving agrees.
    TestDialog refusing;
    refusing.acceptSave = 0;
    EXPECT_EQ(RunScripted(refusing,
                          [&] {
                              Click(refusing, 1);
                              stillOpen = refusing.GetWindow() != nullptr;
                              refusing.acceptSave = 1;
                              Click(refusing, 103);
                              Click(refusing, 1);
                          }),
              1);
    EXPECT_TRUE(stillOpen);
    EXPECT_TRUE(refusing.IsDialogMode());
    // The static text between the buttons does not count: C is index 2.
    EXPECT_EQ(refusing.radio, 2);
}

TEST_F(GenericWindowTest, DataExchangeOfNumbersChecksRadiosAndTexts) {
    REQUIRE_DISPLAY();
    TestDialog d;
    struct {
        uint8_t byte = 7;
        uint8_t guard = 0xAA;
    } packed;
    struct {
        int32_t value = 0;
        int32_t guard = 0x55;
    } wide;
    long lp64 = 0;
    unsigned long ulp64 = 0;
    int32_t check = 5, noRadio = 3, loadedCheck = -1;
    std::string longText(300, 'x'), savedLongText;
    RunScripted(d, [&] {
        auto* edit = dynamic_cast<wxTextCtrl*>(d.Control(110));
        edit->ChangeValue("300");
        ExchangeNumber(d, 110, packed.byte, true);
        edit->ChangeValue("  -12");
        ExchangeNumber(d, 110, wide.value, true);
        edit->ChangeValue("4294967296");
        ExchangeNumber(d, 110, lp64, true);
        edit->ChangeValue("-1");
        ExchangeNumber(d, 110, ulp64, true);
        edit->ChangeValue("not a number");
        int32_t untouched = 9;
        ExchangeNumber(d, 110, untouched, true);
        EXPECT_EQ(untouched, 9);
        ExchangeNumber(d, 111, packed.byte, false);
        EXPECT_EQ(ControlText(d.Control(111)), "44");

        // A check box member out of 0..2 loads as unchecked (0).
        ExchangeCheck(d, 120, check, false);
        ExchangeCheck(d, 120, loadedCheck, true);
        // A group without radio buttons saves -1.
        ExchangeRadio(d, 140, noRadio, true);

        // A long text that differs only after character 256 is shown.
        ExchangeText(d, 110, longText, false);
        longText[280] = 'y';
        ExchangeText(d, 110, longText, false);
        ExchangeText(d, 110, savedLongText, true);
        Click(d, 2);
    });
    EXPECT_EQ(packed.byte, 44);
    EXPECT_EQ(packed.guard, 0xAA);
    EXPECT_EQ(wide.value, -12);
    EXPECT_EQ(wide.guard, 0x55);
    EXPECT_EQ(lp64, 4294967296L);
    EXPECT_EQ(ulp64, ~0UL);
    EXPECT_EQ(check, 0);
    EXPECT_EQ(loadedCheck, 0);
    EXPECT_EQ(noRadio, -1);
    EXPECT_EQ(savedLongText, longText);
}

// A value that no button of a group shows leaves every button off: OK with
// nothing touched saves -1 (no button on); a button the user clicks counts.
TEST_F(GenericWindowTest, RadioGroupWithoutTheValueHasNoButtonOn) {
    REQUIRE_DISPLAY();
    for (const bool click : {false, true}) {
        SCOPED_TRACE(click ? "clicked" : "untouched");
        TestDialog d;
        d.radio = 7;
        bool anyOn = true;
        EXPECT_EQ(RunScripted(d,
                              [&] {
                                  anyOn = wintest::Checked(d, 100) || wintest::Checked(d, 102) ||
                                          wintest::Checked(d, 103);
                                  if (click)
                                      wintest::PointerClick(d, 102);
                                  Click(d, 1);
                              }),
                  1);
        EXPECT_FALSE(anyOn);
        EXPECT_EQ(d.radio, click ? 1 : -1);
    }
}

// Texts and paths come back from the controls byte for byte, UTF-8 or not;
// the formatted and the address exchanges read what they write.
TEST_F(GenericWindowTest, TextsFormatsAndAddressesRoundTrip) {
    REQUIRE_DISPLAY();
    TestDialog d;
    const std::vector<std::string> texts = {"/p/r\xe9set.pop", "/a/caf\xc3\xa9.pop",
                                            "\xef\x9e\x80 \xff\xfe", "\xed\xa0\x80 (a surrogate)"};
    std::vector<std::string> back;
    double real = 0;
    unsigned int hex = 0;
    long long big = 0;
    uint32_t address = 0xC0A80101, kept = 0, blank = 0, clipped = 0, refused = 42;
    std::string shownAddress, shownReal;
    RunScripted(d, [&] {
        for (std::string text : texts) {
            ExchangeText(d, 110, text, false);
            std::string out;
            ExchangeText(d, 110, out, true);
            back.push_back(out);
        }
        double pi = 3.14159;
        ExchangeFormatted(d, 110, "%.2f", pi, false);
        shownReal = ControlText(d.Control(110));
        ExchangeFormatted(d, 110, "%lf", real, true);
        SetControlText(d.Control(110), "ff");
        ExchangeFormatted(d, 110, "%x", hex, true);
        SetControlText(d.Control(110), "-9000000000");
        ExchangeFormatted(d, 110, "%I64d", big, true);

        ExchangeIPAddress(d, 150, address, false);
        shownAddress = ControlText(d.Control(150));
        ExchangeIPAddress(d, 150, kept, true);
        SetControlText(d.Control(150), "10. .7.300");
        ExchangeIPAddress(d, 150, clipped, true);
        SetControlText(d.Control(150), "...");
        ExchangeIPAddress(d, 150, blank, true);
        SetControlText(d.Control(150), "10.x.7.1");
        ExchangeIPAddress(d, 150, refused, true);
        Click(d, 2);
    });
    EXPECT_EQ(back, texts);
    EXPECT_EQ(shownReal, "3.14");
    EXPECT_EQ(real, 3.14);
    EXPECT_EQ(hex, 0xFFu);
    EXPECT_EQ(big, -9000000000LL);
    EXPECT_EQ(shownAddress, "192.168.1.1");
    EXPECT_EQ(kept, 0xC0A80101u);
    EXPECT_EQ(clipped, 0x0A0007FFu);
    EXPECT_EQ(blank, 0u);
    EXPECT_EQ(refused, 42u);
}

// What the next modal message box showed; its OK is clicked with the
// pointer. Called before the box comes up; the answer runs inside its loop.
struct SAnsweredBox {
    std::string title, text;
    wxWindow* parent = nullptr;
    bool answered = false;
};

void AnswerNextBox(SAnsweredBox& out, int tries = 2000) {
    wxTheApp->CallAfter([&out, tries] {
        wxGenericMessageDialog* box = nullptr;
        for (wxWindow* w : wxTopLevelWindows)
            if (auto* d = dynamic_cast<wxGenericMessageDialog*>(w); d && d->IsModal())
                box = d;
        if (!box) {
            if (tries > 0)
                AnswerNextBox(out, tries - 1);
            else
                ADD_FAILURE() << "no message box came up";
            return;
        }
        out.title = box->GetTitle().utf8_string();
        out.text = box->GetMessage().utf8_string();
        out.parent = box->GetParent();
        wxWindow* ok = box->FindWindow(wxID_OK);
        ASSERT_NE(ok, nullptr);
        ASSERT_TRUE(display::PumpUntil([&] { return ok->IsShownOnScreen(); }, 3000));
        wxUIActionSimulator pointer;
        pointer.MouseMove(ok->ClientToScreen(wxPoint(ok->GetSize().x / 2, ok->GetSize().y / 2)));
        display::Pump(60);
        pointer.MouseClick();
        out.answered = true;
    });
}

// A NUL byte is a byte like any other: what follows it in a text box or a
// combo box (typed, or an item of its list) comes back too.
TEST_F(GenericWindowTest, TextsKeepWhatFollowsANulByte) {
    REQUIRE_DISPLAY();
    TestDialog d;
    using namespace std::string_literals;
    const std::string withNul = "/p/a\0b.pop"s, item = "\0item"s;
    std::string edit, comboTyped, comboItem, comboExact;
    int selected = -1;
    RunScripted(d, [&] {
        std::string member = withNul;
        ExchangeText(d, 110, member, false);
        ExchangeText(d, 110, edit, true);
        auto* combo = dynamic_cast<wxComboBox*>(d.Control(160));
        ASSERT_NE(combo, nullptr);
        combo->Append(TextToWx("\0other"s));
        combo->Append(TextToWx(item));
        member = withNul;
        ExchangeComboText(d, 160, member, false);
        ExchangeComboText(d, 160, comboTyped, true);
        member = "\0it"s;
        ExchangeComboText(d, 160, member, false);
        selected = combo->GetSelection();
        ExchangeComboText(d, 160, comboItem, true);
        member = item;
        ExchangeComboExact(d, 160, member, false);
        ExchangeComboExact(d, 160, comboExact, true);
        Click(d, 2);
    });
    EXPECT_EQ(edit, withNul);
    EXPECT_EQ(comboTyped, withNul);
    EXPECT_EQ(selected, 1);
    EXPECT_EQ(comboItem, item);
    EXPECT_EQ(comboExact, item);
}

// While an editor's frame exists, the plug-in's boxes are windows over it
// (a POP file error here), answered with the pointer; once the editor is
// gone they are headless again (a line on stderr).
TEST(MessageWindows, PluginBoxesShowOverTheEditorsFrame) {
    REQUIRE_DISPLAY();
    auto* frame = new wxFrame(nullptr, wxID_ANY, "editor frame");
    frame->Show();
    SAnsweredBox box;
    {
        CPeqWindowServices services(wintest::SelfContainer(), frame);
        cPEQ_ALG alg(nullptr, wintest::SelfContainer());
        ASSERT_EQ(alg.FinishCreate(), 0);
        AnswerNextBox(box);
        EXPECT_EQ(alg.RunPopScript("zz\n"), 0u);
    }
    EXPECT_EQ(box.title, "POP File Error");
    EXPECT_EQ(box.text, "Error in POP File at line 1");
    EXPECT_EQ(box.parent, frame);
    frame->Destroy();
    display::Pump(20);

    cPEQ_ALG alg(nullptr, wintest::SelfContainer());
    ASSERT_EQ(alg.FinishCreate(), 0);
    testing::internal::CaptureStderr();
    EXPECT_EQ(alg.RunPopScript("zz\n"), 0u);
    EXPECT_EQ(testing::internal::GetCapturedStderr(),
              "POP File Error: Error in POP File at line 1\n");
}

// A box raised while the editor has no frame yet (a reset at the host's
// start, before the editor is shown) waits, and shows over the frame once
// the editor has one; none of it goes to the terminal. Boxes still waiting
// when the last editor goes are not lost either.
TEST(MessageWindows, ABoxRaisedBeforeTheFrameShowsOverIt) {
    REQUIRE_DISPLAY();
    SAnsweredBox box;
    auto* frame = new wxFrame(nullptr, wxID_ANY, "editor frame");
    {
        CPeqWindowServices services(wintest::SelfContainer());
        cPEQ_ALG alg(nullptr, wintest::SelfContainer());
        ASSERT_EQ(alg.FinishCreate(), 0);
        testing::internal::CaptureStderr();
        EXPECT_EQ(alg.RunPopScript("zz\n"), 0u);
        display::Pump(50);
        EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
        for (wxWindow* w : wxTopLevelWindows)
            EXPECT_EQ(dynamic_cast<wxGenericMessageDialog*>(w), nullptr);

        frame->Show();
        AnswerNextBox(box);
        services.SetOwner(frame);
        EXPECT_TRUE(display::PumpUntil([&] { return box.answered; }, 10000));
        EXPECT_EQ(box.title, "POP File Error");
        EXPECT_EQ(box.text, "Error in POP File at line 1");
        EXPECT_EQ(box.parent, frame);

        // Hidden again, then gone: the box that waited goes to stderr.
        services.SetOwner(nullptr);
        EXPECT_EQ(alg.RunPopScript("zz\n"), 0u);
        testing::internal::CaptureStderr();
    }
    EXPECT_EQ(testing::internal::GetCapturedStderr(),
              "POP File Error: Error in POP File at line 1\n");
    frame->Destroy();
    display::Pump(20);
}

// The reset holds the wait cursor while it runs (the analog-input menus are
// rebuilt inside it), and gives the cursor back at its end.
TEST(WaitCursor, HeldForTheLengthOfTheReset) {
    REQUIRE_DISPLAY();
    struct SWatch final : CPeqEditorServices {
        std::vector<bool> busy;
        void SetAnalogInputItems(bool) override { busy.push_back(CScopedWaitCursor::IsShown()); }
    };
    auto watch = std::make_shared<SWatch>();
    cPEQ_ALG alg(nullptr, wintest::SelfContainer());
    ASSERT_EQ(alg.FinishCreate(), 0);
    alg.SetEditorServices(watch);
    watch->busy.clear();
    EXPECT_FALSE(CScopedWaitCursor::IsShown());
    alg.ResetAndRunPop(true);
    EXPECT_EQ(watch->busy, std::vector<bool>{true});
    EXPECT_FALSE(CScopedWaitCursor::IsShown());
    {
        const CScopedWaitCursor outer;
        alg.ResetAndRunPop(true);
        EXPECT_TRUE(CScopedWaitCursor::IsShown()); // the outer one stays
    }
    EXPECT_FALSE(CScopedWaitCursor::IsShown());
}

// The command-list window against a u2c-sim daemon.

std::vector<std::string> OutTransfers(const std::string& path) {
    std::ifstream in(path);
    std::vector<std::string> out;
    std::string line;
    while (std::getline(in, line)) {
        std::istringstream words(line);
        std::string ms, us, dir, rest;
        words >> ms >> us >> dir;
        if (dir != "OUT")
            continue;
        std::getline(words, rest);
        out.push_back(rest);
    }
    return out;
}

class CommanderTest : public ::testing::Test {
protected:
    void SetUp() override {
        folder_ = fs::temp_directory_path() / ("plugin_window_test." + std::to_string(::getpid()));
        fs::create_directories(folder_ / "registry");
        ::setenv("QUORL_REGISTRY_DIR", (folder_ / "registry").c_str(), 1);
    }
    void TearDown() override {
        ::unsetenv("QUORL_REGISTRY_DIR");
        fs::remove_all(folder_);
    }
    void WriteFile(const std::string& text) { std::ofstream(folder_ / "Commander.xml") << text; }
    std::string Path() const { return (folder_ / "Commander.xml").string(); }

    fs::path folder_;
};

const char* const kCommands = R"(<Commands>
  <Command name="EEPROM page" address="50">10 20 30 40</Command>
  <command name="lower case" address="73">00 85 00</command>
  <Command name="bad address" address="zz">00 85 00</Command>
  <Command name="no text" address="0x73"></Command>
  <Command name="hex form" address="0x173">00 85 00</Command>
</Commands>)";

TEST_F(CommanderTest, DoubleClickRunsTheCommandAtItsAddress) {
    REQUIRE_DISPLAY();
    u2csim::SimDaemon daemon(U2C_SIM_PATH);
    ASSERT_TRUE(daemon.ready());
    ::setenv("TEROVAN_U2C_SOCKET", daemon.socketPath().c_str(), 1);
    WriteFile(kCommands);
    {
        cPEQ_ALG alg(nullptr, wintest::SelfContainer());
        ASSERT_EQ(alg.FinishCreate(), 0);
        alg.SetParamRealWorld(PARAM_CONNECTIVITY_ON_OFF, 1);
        ASSERT_EQ(alg.CurrentConnectionType(), 2);
        auto services = std::make_shared<CPeqWindowServices>(wintest::SelfContainer());
        alg.SetEditorServices(services);
        services->PrepareCommander(alg, nullptr, Path());
        CCommander& commander = services->Commander();
        // Made the first time it is shown.
        EXPECT_EQ(commander.GetWindow(), nullptr);
        EXPECT_FALSE(services->IsCommanderVisible());
        services->ShowCommander(true);
        ASSERT_NE(commander.GetWindow(), nullptr);
        auto* frame = dynamic_cast<wxTopLevelWindow*>(commander.GetWindow());
        ASSERT_NE(frame, nullptr);
        EXPECT_EQ(frame->GetTitle(), "DulmDSP Commander");
        EXPECT_EQ(frame->GetPosition(), wxPoint(30, 30));
        EXPECT_EQ(frame->GetSize(), wxSize(170, 370));

        // "command" is skipped, so is the one without text.
        ASSERT_EQ(commander.Count(), 3u);
        EXPECT_EQ(commander.Name(0), "EEPROM page");
        EXPECT_EQ(commander.Address(0), 0x50);
        EXPECT_EQ(commander.Address(1), 0); // listed, never run
        EXPECT_EQ(commander.Address(2), 0x73);

        EXPECT_TRUE(display::PumpUntil([&] { return frame->IsShownOnScreen(); }, 3000));
        EXPECT_TRUE(services->IsCommanderVisible());
        auto* list = dynamic_cast<wxListCtrl*>(commander.List().GetWindow());
        ASSERT_NE(list, nullptr);
        display::PumpUntil([&] { return list->GetSize().x == frame->GetClientSize().x; }, 1000);
        EXPECT_EQ(list->GetSize(), frame->GetClientSize());

        // A double click on the first item.
        wxListEvent activated(wxEVT_LIST_ITEM_ACTIVATED, CCommander::kListId);
        activated.SetEventObject(list);
        activated.SetIndex(0);
        list->ProcessWindowEvent(activated);
        EXPECT_EQ(alg.Connection().GetSlaveAddress(), 0x50);
        // Later parameter writes go to the same address.
        alg.SetParamRealWorld(PARAM_BALANCE, 0);
        // The listed command without an address does nothing.
        activated.SetIndex(1);
        list->ProcessWindowEvent(activated);
        EXPECT_EQ(alg.Connection().GetSlaveAddress(), 0x50);

        // The close box hides; nothing is destroyed.
        frame->Close();
        EXPECT_FALSE(services->IsCommanderVisible());
        EXPECT_NE(commander.GetWindow(), nullptr);
        EXPECT_EQ(commander.Count(), 3u);

        // "Refresh" shows the edited file.
        WriteFile(R"(<Root><Command name="only" address="73">00 85 00</Command></Root>)");
        CCommander::SetPopupChooser(
            [](wxWindow*, int32_t, int32_t, const std::vector<std::string>& items) {
                return items == std::vector<std::string>{"Refresh"} ? 0 : -1;
            });
        wxContextMenuEvent menu(wxEVT_CONTEXT_MENU, list->GetId(), list->ClientToScreen({5, 5}));
        menu.SetEventObject(list);
        list->ProcessWindowEvent(menu);
        CCommander::SetPopupChooser(nullptr);
        ASSERT_EQ(commander.Count(), 1u);
        EXPECT_EQ(commander.Name(0), "only");

        // Unreadable or broken files leave the list empty.
        EXPECT_FALSE(commander.Load((folder_ / "missing.xml").string()));
        EXPECT_EQ(commander.Count(), 0u);
        WriteFile("<Root><Command");
        EXPECT_TRUE(commander.Load(Path()));
        EXPECT_EQ(list->GetItemCount(), 0);
        // A folder or a named pipe in the file's place is a file that cannot
        // be read: no exception, no wait.
        const fs::path folder = folder_ / "folder.xml", pipe = folder_ / "pipe.xml";
        fs::create_directories(folder);
        ASSERT_EQ(::mkfifo(pipe.c_str(), 0600), 0);
        for (const fs::path& p : {folder, pipe}) {
            WriteFile(kCommands);
            ASSERT_TRUE(commander.Load(Path()));
            EXPECT_FALSE(commander.Load(p.string())) << p;
            EXPECT_EQ(commander.Count(), 0u);
            EXPECT_EQ(list->GetItemCount(), 0);
        }
        alg.SelectConnection(cPEQ_ALG::kConnectionNone);
    }
    EXPECT_EQ(daemon.stop(), 0);
    ::unsetenv("TEROVAN_U2C_SOCKET");
    // The bridge's write frames: C6, four bytes, the slave address, the
    // length, three bytes, the data.
    const std::vector<std::string> out = OutTransfers(daemon.logPath());
    auto at = std::find(out.begin(), out.end(), " C6 00 00 00 00 50 04 00 00 00 10 20 30 40");
    ASSERT_NE(at, out.end());
    // The balance write that follows goes to the same address.
    at = std::find_if(at, out.end(), [](const std::string& frame) {
        return frame.rfind(" C6 00 00 00 00 50 03 00 00 00 ", 0) == 0 &&
               frame.substr(frame.size() - 6, 3) == " C9";
    });
    EXPECT_NE(at, out.end());
}

} // namespace

// The logger's tool pages under the virtual display, on the simulated board
// in-process: tweaks, tone and meters, volume, Script Helper, and the
// table control with its in-place editors.
#include "loggerui/Dialogs.h"
#include "loggerui/ListCtrl.h"
#include "loggerui/ScriptPage.h"
#include "loggerui/TweaksPage.h"
#include "loggerui/VolumePage.h"
#include "loggerui/WxLogger.h"

#include "WxLoggerRig.h"
#include "WxTestApp.h"
#include "busaccess/busgate/LoggerChoice.h"

#include <gtest/gtest.h>
#include <wx/button.h>
#include <wx/checkbox.h>
#include <wx/checklst.h>
#include <wx/choice.h>
#include <wx/combobox.h>
#include <wx/frame.h>
#include <wx/menu.h>
#include <wx/settings.h>
#include <wx/textctrl.h>
#include <wx/timer.h>
#include <wx/uiaction.h>
#include <wx/vlbox.h>

#include <gtk/gtk.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <tuple>
#include <unistd.h>

using namespace loggerui;
using busgate::testing::SimBus;
using busgate::testing::SimBusConfig;
using u2c::Bytes;

namespace {

namespace fs = std::filesystem;

void Command(wxWindow* window, wxEventType type, int id, int value = 0) {
    wxWindow* control = window->FindWindow(id);
    ASSERT_NE(control, nullptr) << id;
    wxCommandEvent event(type, id);
    event.SetEventObject(control);
    event.SetInt(value);
    control->ProcessWindowEvent(event);
}

void Check(wxWindow* window, int id, bool checked) {
    auto* box = dynamic_cast<wxCheckBox*>(window->FindWindow(id));
    ASSERT_NE(box, nullptr) << id;
    box->SetValue(checked);
    Command(window, wxEVT_CHECKBOX, id, checked);
}

class ToolWindows : public ::testing::Test, protected WxLoggerRig {
protected:
    void Start(SimBusConfig config = {}) {
        REQUIRE_DISPLAY();
        images = fs::temp_directory_path() / ("tools-images-" + std::to_string(::getpid()));
        fs::create_directories(images);
        for (auto [name, words] : {std::pair{"tweaks-0606.txt", 180}, {"tweaks-0704.txt", 264}}) {
            std::ofstream out(images / name);
            for (int i = 0; i < words; ++i)
                out << "000000\n";
        }
        ::setenv("QUORL_TWEAKS_DIR", images.c_str(), 1);
        ASSERT_TRUE(OpenRig(config));
        ASSERT_TRUE(wxtest::PumpUntil([&] {
            return logger->PendingEntries() == 0 && logger->TweaksPage() && logger->ScriptPage();
        }));
    }
    void TearDown() override {
        CloseRig();
        ::unsetenv("QUORL_TWEAKS_DIR");
        std::error_code ec;
        if (!images.empty())
            fs::remove_all(images, ec);
    }
    void Click(int id) { Command(logger->MainWindow(), wxEVT_BUTTON, id); }
    bool Wrote(const Bytes& frame) const {
        const auto writes = sim->Writes();
        return std::find(writes.begin(), writes.end(), frame) != writes.end();
    }

    fs::path images;
};

TEST_F(ToolWindows, TweaksPageLoadsTheCodeDrivesTheLinearVolumeAndShowsTheMeters) {
    Start();
    Click(1069);
    auto* page = dynamic_cast<CTweaks_Dialog*>(logger->TweaksPage());
    ASSERT_NE(page, nullptr);
    EXPECT_TRUE(page->IsShown());
    EXPECT_EQ(page->GetTitle(), " Tweaks");
    wxWindow* button = page->FindWindow(tweaksid::kButton);
    EXPECT_EQ(button->GetLabel(), "Enable Tweaks");

    Command(page, wxEVT_BUTTON, tweaksid::kButton);
    EXPECT_EQ(button->GetLabel(), "Disable Tweaks");
    EXPECT_TRUE(sim->chip->tweaksRunning());
    EXPECT_FALSE(page->FindWindow(tweaksid::kSrcPreset)->IsEnabled()); // 0x0606
    EXPECT_FALSE(page->FindWindow(tweaksid::kSrcRatio)->IsEnabled());
    EXPECT_TRUE(page->TimerRunning(TweaksService::kReadyTimer));

    // 3.5 dB is refused and the stored level shown again; 0 dB sends unity.
    Check(page, tweaksid::kLinearBox, true);
    auto* edit = dynamic_cast<wxTextCtrl*>(page->FindWindow(tweaksid::kMainEdit));
    edit->ChangeValue("3.5");
    wxFocusEvent lost(wxEVT_KILL_FOCUS, tweaksid::kMainEdit);
    lost.SetEventObject(edit);
    edit->ProcessWindowEvent(lost);
    wxtest::Pump(20);
    EXPECT_EQ(edit->GetValue(), "0.0 dB");
    EXPECT_EQ(sim->chip->memoryY(0x40E), 8388606u);

    // Meters: a negative peak of -4 dBFS in the second colour.
    Check(page, tweaksid::kLevelBox, true);
    EXPECT_TRUE(page->TimerRunning(TweaksService::kMeterTimer));
    sim->chip->setMemoryY(0x409, 0x800000);
    sim->chip->setMemoryY(0x40C, 0xAF3CCA);
    logger->Tweaks().MeterTimer();
    auto* bar = dynamic_cast<MeterBar*>(page->FindWindow(tweaksid::kMeterBars[3]));
    ASSERT_NE(bar, nullptr);
    EXPECT_EQ(bar->Position(), 960);
    EXPECT_EQ(bar->ColourRef(), kMeterHigh);
    auto text = [&](int i) {
        return dynamic_cast<wxTextCtrl*>(page->FindWindow(tweaksid::kMeterTexts[i]))->GetValue();
    };
    EXPECT_EQ(text(0), "0.0 dBFS");
    EXPECT_EQ(text(1), " -inf dBFS");

    Command(page, wxEVT_BUTTON, tweaksid::kButton);
    EXPECT_EQ(button->GetLabel(), "Enable Tweaks");
    EXPECT_EQ(text(0), " --- ");
    EXPECT_FALSE(page->TimerRunning(TweaksService::kMeterTimer));
    EXPECT_EQ(sim->chip->memoryP(0x000F), 0x300u); // 0x0606 keeps the code's hook
}

TEST_F(ToolWindows, TheSrcPresetBoxChecksTheTweaksBoxAndTheDecoderEnablesTweaksAtSetup) {
    Start(busgate::testing::WithChip(0x7000, 0x0704));
    auto* page = logger->TweaksPage();
    Check(page, tweaksid::kSrcPreset, true);
    EXPECT_TRUE(logger->IsChecked(tweaksid::kTweaksPreset));
    EXPECT_TRUE(dynamic_cast<wxCheckBox*>(page->FindWindow(tweaksid::kTweaksPreset))->GetValue());
    ASSERT_FALSE(sim->boxes->shown.empty());
    EXPECT_EQ(sim->boxes->shown.back().text, kSrcVerifyNote);
    Check(page, tweaksid::kSrcPreset, false);
    EXPECT_TRUE(logger->IsChecked(tweaksid::kTweaksPreset));
    Check(page, tweaksid::kSrcPreset, true);
    auto* ratio = dynamic_cast<wxChoice*>(page->FindWindow(tweaksid::kSrcRatio));
    ratio->SetSelection(1);
    Command(page, wxEVT_CHOICE, tweaksid::kSrcRatio, 1);

    // A setup sequence: tweaks on before Setup Completed, then the SRC.
    const uint8_t setup[] = {0x00, 0xA5, 0x00};
    const uint8_t done[] = {0x00, 0xAC, 0x00};
    bus->Transmit(0x73, setup, 3);
    bus->Transmit(0x73, done, 3);
    wxtest::Pump(20);
    EXPECT_TRUE(logger->TweaksRunning());
    EXPECT_EQ(sim->chip->registerX(0xFFFA), 0x13u);
    EXPECT_EQ(sim->chip->memoryY(0x414), 1u);
    EXPECT_EQ(page->FindWindow(tweaksid::kButton)->GetLabel(), "Tweaks is Enable");
    EXPECT_FALSE(page->FindWindow(tweaksid::kButton)->IsEnabled());

    // A Software Reset switches them off and the SRC back to x1; the hook
    // of 0x0704 is restored.
    const uint8_t reset[] = {0x00, 0xC5, 0x00};
    bus->Transmit(0x73, reset, 3);
    wxtest::Pump(20);
    EXPECT_FALSE(logger->TweaksRunning());
    EXPECT_EQ(page->FindWindow(tweaksid::kButton)->GetLabel(), "Enable Tweaks");
}

TEST_F(ToolWindows, TweaksOnFirmwareWithoutCodeShowTheBox) {
    Start(busgate::testing::WithChip(0x6000, 0x0505));
    auto* page = logger->TweaksPage();
    Command(page, wxEVT_BUTTON, tweaksid::kButton);
    EXPECT_EQ(page->FindWindow(tweaksid::kButton)->GetLabel(), "Enable Tweaks");
    ASSERT_FALSE(sim->boxes->shown.empty());
    EXPECT_EQ(sim->boxes->shown.back().text, kNoTweaksCode);
    EXPECT_EQ(sim->boxes->shown.back().caption, "Tweaks");
}

TEST_F(ToolWindows, VolumePageSendsItsFirstStepAndPutsTheGainBackOnClose) {
    Start();
    const uint8_t gain[] = {0x00, 0xD0, 0x64};
    bus->Transmit(0x73, gain, 3);
    Click(1071);
    auto* page = dynamic_cast<CVolumeControl_Dialog*>(logger->VolumePage(false));
    ASSERT_NE(page, nullptr);
    EXPECT_TRUE(page->IsShown());
    EXPECT_TRUE(Wrote({0x01, 0xD0, 0x90}));
    EXPECT_EQ(dynamic_cast<wxTextCtrl*>(page->FindWindow(volumeid::kCurrent))->GetValue(),
              "0.00 dB (0)");
    EXPECT_EQ(dynamic_cast<wxTextCtrl*>(page->FindWindow(volumeid::kIntervalEdit))->GetValue(),
              "100 msec");
    sim->board->clearLog();
    page->Cancel();
    EXPECT_FALSE(page->IsShown());
    EXPECT_TRUE(Wrote({0x00, 0xD0, 0x64}));
}

TEST_F(ToolWindows, ScriptHelperInsertsRunsAndSavesAScript) {
    Start();
    Click(1347);
    auto* page = dynamic_cast<CScript_Dialog*>(logger->ScriptPage());
    ASSERT_NE(page, nullptr);
    EXPECT_TRUE(page->IsShown());
    EXPECT_FALSE(page->FindWindow(scriptid::kRunAll)->IsEnabled());
    EXPECT_EQ(page->FindWindow(scriptid::kRunAll)->GetLabel(), "Run All");

    Command(page, wxEVT_BUTTON, scriptid::kInsertNew);
    Command(page, wxEVT_BUTTON, scriptid::kInsertNew);
    ListModel& m = page->Model();
    ASSERT_EQ(m.RowCount(), 2u);
    EXPECT_EQ(page->FindWindow(scriptid::kRunAll)->GetLabel(), "Run All (2)");
    EXPECT_EQ(page->List()->GetNumberRows(), 2);
    m.SetCellText(0, kColAction, L"Write");
    m.SetCellText(0, kColData, L"0x00, 0xA5, 0x00");
    m.SetCellText(0, kColComment, L"start");
    m.SetCellText(1, kColAction, L"Read");
    m.SetCellText(1, kColDataLength, L"2");
    m.SetCellText(1, kColData, L"0x0, 0x0");
    page->Refresh();
    sim->board->clearLog();
    EXPECT_EQ(page->RunAll(), 1);
    EXPECT_TRUE(Wrote({0x00, 0xA5, 0x00}));
    EXPECT_EQ(m.GetCellColor(1, kColData)->background, kReadOkColour);

    busgate::testing::ScriptedFiles files;
    files.dialogs.Push(files.Path("first"));
    Command(page, wxEVT_BUTTON, scriptid::kSave);
    const std::string saved = files.Read("first.tqs");
    EXPECT_NE(saved.find("Write\t1\t0x73\t3\t0x00, 0xA5, 0x00\t//start\t\r\n"), std::string::npos)
        << saved;
    EXPECT_FALSE(m.Modified());
    EXPECT_EQ(sim->boxes->shown.back().text,
              "Saved to script file. \n\n" + files.Path("first.tqs"));

    Command(page, wxEVT_BUTTON, scriptid::kDeleteAll);
    EXPECT_EQ(m.RowCount(), 0u);
    files.dialogs.Push(files.Path("first.tqs"));
    Command(page, wxEVT_BUTTON, scriptid::kLoad);
    ASSERT_EQ(m.RowCount(), 2u);
    EXPECT_EQ(m.GetCellText(0, kColComment), L"start\t"); // the TAB before CR LF
    EXPECT_EQ(page->List()->GetNumberRows(), 2);
    auto* recent = dynamic_cast<wxChoice*>(page->FindWindow(scriptid::kFiles));
    EXPECT_EQ(recent->GetString(0), files.Path("first.tqs"));
}

TEST_F(ToolWindows, AnEditFarDownALongScriptChangesOnlyItsOwnRow) {
    Start();
    Click(1347);
    auto* page = dynamic_cast<CScript_Dialog*>(logger->ScriptPage());
    ASSERT_NE(page, nullptr);
    ListModel& m = page->Model();
    constexpr int kRows = 100000, kEdited = 70000, kAlias = kEdited & 0xFFFF;
    for (int r = 0; r < kRows; ++r) {
        m.InsertRow(static_cast<std::size_t>(r));
        m.SetCellText(r, kColAction, L"Write");
        m.SetCellText(r, kColDataLength, L"3");
        m.SetCellText(r, kColData, L"0x00, 0xA5, 0x00");
    }
    page->Refresh();
    ASSERT_TRUE(page->List()->StartCellEdit(kEdited, kColAction));
    CTrComboBoxCell* combo = page->List()->ComboEditor();
    ASSERT_NE(combo, nullptr);
    ASSERT_TRUE(wxtest::PumpUntil([&] { return combo->IsPopupShown(); }));
    combo->SetSelection(2); // Delay
    combo->HidePopup(true);
    EXPECT_TRUE(wxtest::PumpUntil([&] { return m.GetCellText(kEdited, kColDataLength) == L"1"; }));
    EXPECT_EQ(m.GetCellText(kEdited, kColAction), L"Delay");
    EXPECT_EQ(m.GetCellText(kAlias, kColAction), L"Write");
    EXPECT_EQ(m.GetCellText(kAlias, kColDataLength), L"3");
    // The value of the chosen entry belongs to the edited row alone.
    EXPECT_EQ(m.GetCellValue(kEdited, kColAction), 3u);
    EXPECT_FALSE(m.HasCellValue(kAlias, kColAction));
}

// Where the middle of a cell is on the screen.
wxPoint CellOnScreen(CTrListCtrl* list, int row, int column) {
    const wxRect r = list->CellToRect(row, column);
    const wxPoint at = list->CalcScrolledPosition(r.GetPosition());
    return list->GetGridWindow()->ClientToScreen(at + wxPoint(r.width / 2, r.height / 2));
}

// A real left click at a point of the screen.
void ClickAt(wxUIActionSimulator& sim, const wxPoint& at) {
    sim.MouseMove(at);
    wxtest::Pump(50);
    sim.MouseClick();
}

// A real click on a drop-down cell: the editor once it is shown with its
// list open on that row, null when it did not open.
CTrComboBoxCell* ClickOpensDropDown(wxUIActionSimulator& sim, CTrListCtrl* list, int row,
                                    int column) {
    ClickAt(sim, CellOnScreen(list, row, column));
    CTrComboBoxCell* combo = nullptr;
    const bool open = wxtest::PumpUntil(
        [&] {
            combo = list->ComboEditor();
            return combo && combo->IsShown() && combo->Row() == row && combo->IsPopupShown();
        },
        3000);
    return open ? combo : nullptr;
}

// One click on a drop-down cell opens its list; leaving it untouched keeps
// a text that is none of the choices, and an empty cell takes the first.
TEST_F(ToolWindows, TheLengthDropDownOpensOnOneClickAndKeepsAnUnlistedLength) {
    Start();
    Click(1347);
    auto* page = dynamic_cast<CScript_Dialog*>(logger->ScriptPage());
    ASSERT_NE(page, nullptr);
    ListModel& m = page->Model();
    CTrListCtrl* list = page->List();
    struct Case {
        const wchar_t* text;
        int key; // how the open list is left
        int selected;
        const wchar_t* stored;
        uint64_t value;
    };
    const Case cases[] = {
        {L"6", WXK_ESCAPE, -1, L"6", 0},
        {L"6", WXK_RETURN, -1, L"6", 0},
        {L"", WXK_ESCAPE, 0, L"1", 1},
        {L"3", WXK_RETURN, 2, L"3", 3},
    };
    for (std::size_t i = 0; i < std::size(cases); ++i)
        Command(page, wxEVT_BUTTON, scriptid::kInsertNew);
    for (std::size_t i = 0; i < std::size(cases); ++i)
        m.SetCellText(static_cast<int>(i), kColDataLength, cases[i].text);
    page->Refresh();
    wxtest::Pump(50);
    wxUIActionSimulator sim;
    for (std::size_t i = 0; i < std::size(cases); ++i) {
        SCOPED_TRACE(i);
        const int row = static_cast<int>(i);
        CTrComboBoxCell* combo = ClickOpensDropDown(sim, list, row, kColDataLength);
        ASSERT_NE(combo, nullptr);
        EXPECT_EQ(combo->GetSelection(), cases[i].selected);
        sim.Char(cases[i].key);
        ASSERT_TRUE(wxtest::PumpUntil([&] { return !combo->IsShown(); }));
        wxtest::Pump(50);
        EXPECT_EQ(m.GetCellText(row, kColDataLength), cases[i].stored);
        EXPECT_EQ(m.GetCellValue(row, kColDataLength), cases[i].value);
        wxtest::Pump(100);
    }
}

TEST_F(ToolWindows, TheDefaultLineDialogGivesTheEditedLine) {
    Start();
    DefaultLine line;
    CDefaultDialog dialog(logger->MainWindow(), line);
    ListModel& m = dialog.List()->Model();
    EXPECT_EQ(m.GetCellText(0, 1), L"UNKNOWN");
    EXPECT_EQ(m.GetCellText(2, 1), L"0x73");
    m.SetCellText(0, 1, L"Read");
    m.SetCellText(2, 1, L"12x");
    m.SetCellText(3, 1, L"2");
    const DefaultLine result = dialog.Result();
    EXPECT_EQ(result.action, 2);
    EXPECT_EQ(result.slaveId, 12);
    EXPECT_EQ(result.dataLength, 2);
    EXPECT_EQ(result.data, L"0xFF");
}

// A test owner with one column of each editor.
class ListOwner : public ::testing::Test {
protected:
    void SetUp() override {
        REQUIRE_DISPLAY();
        frame = new wxFrame(nullptr, wxID_ANY, "list");
        list = new CTrListCtrl(frame, 1375, wxSize(500, 200));
        list->InsertColumn("#", CTrListCtrl::Align::Left, 40);
        list->InsertColumn("Pick", CTrListCtrl::Align::Right, 80);
        list->InsertColumn("Bytes", CTrListCtrl::Align::Left, 120);
        list->InsertColumn("Set", CTrListCtrl::Align::Left, 120);
        ListModel& m = list->Model();
        m.SetCellEditType(-1, 0, kEditorNone);
        m.SetCellEditType(-1, 1, kEditorDropDown);
        m.SetCellEditType(-1, 3, kEditorCheckList);
        m.SetOptionFunction([](int, int column, std::list<std::wstring>& choices) {
            if (column == 1 || column == 3) {
                choices = {L"A", L"B", L"C"};
                return 1;
            }
            return 0;
        });
        m.InsertRow(0);
        m.SetCellText(0, 0, L"1");
        list->SyncFromModel();
        list->SetNotify([this](int message, int row, int column) {
            messages.push_back({message, row, column});
        });
        frame->Show();
        wxtest::Pump(20);
    }
    void TearDown() override {
        if (frame)
            frame->Destroy();
        if (wxtest::Ready())
            wxtest::Pump(5);
    }
    wxFrame* frame = nullptr;
    CTrListCtrl* list = nullptr;
    std::vector<std::tuple<int, int, int>> messages;
};

TEST_F(ListOwner, EditorsStoreTrimmedTextsChoicesAndSets) {
    ListModel& m = list->Model();
    // A read-only cell opens nothing and leaves the flag.
    EXPECT_FALSE(list->StartCellEdit(0, 0));
    EXPECT_FALSE(m.Modified());

    ASSERT_TRUE(list->StartCellEdit(0, 2));
    EXPECT_TRUE(m.Modified());
    CTrEditCell* text = list->EditEditor();
    ASSERT_NE(text, nullptr);
    wxKeyEvent g(wxEVT_CHAR);
    g.m_keyCode = 'g';
    g.m_uniChar = 'g';
    text->ProcessWindowEvent(g);
    EXPECT_EQ(list->Refused(), 1);
    wxKeyEvent comma(wxEVT_CHAR);
    comma.m_keyCode = ',';
    comma.m_uniChar = ',';
    text->ProcessWindowEvent(comma);
    EXPECT_EQ(list->Refused(), 1);
    text->ChangeValue("  0x12, 0x3  ");
    text->End();
    ASSERT_TRUE(wxtest::PumpUntil([&] { return !messages.empty(); }));
    EXPECT_EQ(m.GetCellText(0, 2), L"0x12, 0x3");
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0], std::make_tuple(kMsgCellChanged, 0, 2));

    // The drop-down closed on its third choice stores 3.
    ASSERT_TRUE(list->StartCellEdit(0, 1));
    CTrComboBoxCell* combo = list->ComboEditor();
    ASSERT_NE(combo, nullptr);
    ASSERT_TRUE(wxtest::PumpUntil([&] { return combo->IsPopupShown(); }));
    combo->SetSelection(2);
    combo->HidePopup(true);
    EXPECT_TRUE(wxtest::PumpUntil([&] { return m.GetCellText(0, 1) == L"C"; }));
    EXPECT_EQ(m.GetCellValue(0, 1), 3u);

    // The check-list combo: items 0 and 2 give the mask 0x5; none, "(None)".
    EXPECT_FALSE(list->StartCellEdit(0, 3));
    CTrOptionComboBox* set = list->CheckListEditor();
    ASSERT_NE(set, nullptr);
    set->Toggle(0);
    set->Toggle(2);
    set->Closed();
    EXPECT_TRUE(wxtest::PumpUntil([&] { return m.GetCellValue(0, 3) == 5u; }));
    list->StartCellEdit(0, 3);
    set = list->CheckListEditor();
    ASSERT_NE(set, nullptr);
    EXPECT_TRUE(set->Model().HasItemFlag(2, kItemChecked));
    set->Toggle(0);
    set->Toggle(2);
    set->Closed();
    EXPECT_TRUE(wxtest::PumpUntil([&] { return m.GetCellText(0, 3) == L"(None)"; }));
    EXPECT_FALSE(m.HasCellValue(0, 3));
}

// The list's cells as GTK draws them, every drawing handler included; the
// pixels as 0xRRGGBB.
class Drawn {
public:
    explicit Drawn(wxWindow* window) {
        GtkWidget* widget = window->GetHandle();
        width_ = gtk_widget_get_allocated_width(widget);
        height_ = gtk_widget_get_allocated_height(widget);
        surface_ = cairo_image_surface_create(CAIRO_FORMAT_RGB24, width_, height_);
        cairo_t* cr = cairo_create(surface_);
        gtk_widget_draw(widget, cr);
        cairo_destroy(cr);
        cairo_surface_flush(surface_);
    }
    ~Drawn() { cairo_surface_destroy(surface_); }
    Drawn(const Drawn&) = delete;
    Drawn& operator=(const Drawn&) = delete;
    uint32_t At(int x, int y) const {
        const unsigned char* row =
            cairo_image_surface_get_data(surface_) + y * cairo_image_surface_get_stride(surface_);
        return reinterpret_cast<const uint32_t*>(row)[x] & 0xFFFFFF;
    }
    int Width() const { return width_; }
    int Height() const { return height_; }

private:
    cairo_surface_t* surface_;
    int width_ = 0, height_ = 0;
};

TEST_F(ListOwner, TheItemMenuMovesTheClickedRowAndKeepsTheModifiedFlag) {
    ListModel& m = list->Model();
    for (int r : {1, 2}) {
        m.InsertRow(static_cast<std::size_t>(r));
        m.SetCellText(r, 0, std::to_wstring(r + 1));
    }
    list->SyncFromModel();
    m.SetModified(true);
    wxUIActionSimulator sim;
    sim.MouseMove(CellOnScreen(list, 2, 2));
    // As constructed, a right click on a row shows no menu.
    bool menuSeen = false;
    wxTimer watch;
    watch.Bind(wxEVT_TIMER, [&](wxTimerEvent&) {
        if (list->OpenMenu()) {
            menuSeen = true;
            sim.Char(WXK_ESCAPE);
        }
    });
    watch.Start(50);
    wxtest::Pump(50);
    sim.MouseClick(wxMOUSE_BTN_RIGHT);
    // Beyond the double-click time, so that the next click is one of its own.
    wxtest::Pump(800);
    watch.Stop();
    EXPECT_FALSE(menuSeen);

    // With the item menu: the menu for the last row, and Move Up chosen by
    // keys.
    list->SetItemMenu(true);
    std::vector<std::pair<std::string, bool>> shown;
    std::vector<int> keys{WXK_DOWN, WXK_DOWN, WXK_DOWN, WXK_DOWN, WXK_RETURN};
    wxTimer typist;
    typist.Bind(wxEVT_TIMER, [&](wxTimerEvent&) {
        const wxMenu* menu = list->OpenMenu();
        if (!menu)
            return;
        if (shown.empty())
            for (const wxMenuItem* item : menu->GetMenuItems())
                shown.push_back({item->GetItemLabel().ToStdString(), item->IsEnabled()});
        if (!keys.empty()) {
            sim.Char(keys.front());
            keys.erase(keys.begin());
        }
    });
    typist.Start(100);
    int rightClicks = 0;
    list->Bind(wxEVT_GRID_CELL_RIGHT_CLICK, [&](wxGridEvent& e) {
        ++rightClicks;
        e.Skip();
    });
    wxtest::Pump(50);
    sim.MouseClick(wxMOUSE_BTN_RIGHT);
    EXPECT_TRUE(wxtest::PumpUntil([&] { return m.GetCellText(1, 0) == L"3"; }));
    EXPECT_EQ(rightClicks, 1);
    typist.Stop();
    const std::vector<std::pair<std::string, bool>> expected{{"&Edit\tF2", true},
                                                             {"", true},
                                                             {"&Insert...\tInsert", true},
                                                             {"&Delete\tDelete", true},
                                                             {"", true},
                                                             {"Move &Up\tCtrl+Up", true},
                                                             {"Move Dow&n\tCtrl+Down", false}};
    EXPECT_EQ(shown, expected);
    EXPECT_EQ(m.GetCellText(2, 0), L"2");
    EXPECT_EQ(m.GetSelectedRows(), std::vector<std::size_t>{1});
    EXPECT_TRUE(m.Modified());
}

TEST_F(ListOwner, MouseMovesAreReportedToTheOwner) {
    wxUIActionSimulator sim;
    sim.MouseMove(CellOnScreen(list, 0, 1));
    wxtest::Pump(30);
    sim.MouseMove(CellOnScreen(list, 0, 2));
    EXPECT_TRUE(wxtest::PumpUntil([&] {
        return std::find(messages.begin(), messages.end(),
                         std::make_tuple(kMsgMouseMove, -1, -1)) != messages.end();
    }));
}

TEST_F(ListOwner, EditsKeepThePlaceholderRowAndReportTrailingBlankRows) {
    ListModel& m = list->Model();
    auto edit = [&](int row, const char* text) {
        ASSERT_TRUE(list->StartCellEdit(row, 2));
        CTrEditCell* field = list->EditEditor();
        ASSERT_NE(field, nullptr);
        field->ChangeValue(text);
        field->End();
        ASSERT_TRUE(wxtest::PumpUntil(
            [&] { return !messages.empty() && std::get<0>(messages.back()) == kMsgCellChanged; }));
    };
    // Two blank rows at the end: a request for each, from the last up,
    // before the cell-changed message.
    m.InsertRow(1);
    m.InsertRow(2);
    list->SyncFromModel();
    edit(0, "0x01");
    EXPECT_EQ(messages,
              (std::vector<std::tuple<int, int, int>>{
                  {kMsgRemoveRow, 2, -1}, {kMsgRemoveRow, 1, -1}, {kMsgCellChanged, 0, 2}}));

    // A placeholder: the list gets its row at once, and keeps one last.
    m.DeleteRow(2);
    m.DeleteRow(1);
    list->SyncFromModel();
    list->SetPlaceholderText(L"(new)");
    ASSERT_EQ(m.RowCount(), 2u);
    EXPECT_EQ(m.GetCellText(1, 0), L"(new)");
    EXPECT_EQ(list->GetNumberRows(), 2);
    m.SetCellText(1, 0, L"2");
    messages.clear();
    edit(1, "0x02");
    ASSERT_EQ(m.RowCount(), 3u);
    EXPECT_EQ(m.GetCellText(2, 0), L"(new)");
    EXPECT_EQ(list->GetNumberRows(), 3);
    // The placeholder row is not blank: no removal requests.
    EXPECT_EQ(messages, (std::vector<std::tuple<int, int, int>>{{kMsgCellChanged, 1, 2}}));
}

TEST_F(ListOwner, OwnCellLinesRunOverTheWholePage) {
    wxtest::Pump(30);
    const uint32_t line = CellLineColour(
        static_cast<uint32_t>(wxSystemSettings::GetColour(wxSYS_COLOUR_WINDOW).GetRGB()));
    const uint32_t rgb = ((line & 0xFF) << 16) | (line & 0xFF00) | ((line >> 16) & 0xFF);
    const int below = list->RowHeight() * 4; // below the only row
    {
        Drawn plain(list->GetGridWindow());
        ASSERT_GT(plain.Height(), below);
        EXPECT_NE(plain.At(40, below), rgb);
    }
    list->SetOwnLines(true);
    wxtest::Pump(30);
    Drawn drawn(list->GetGridWindow());
    // The right edges of the columns, down to the bottom.
    for (int x : {40, 120, 240})
        EXPECT_EQ(drawn.At(x, below), rgb) << x;
    EXPECT_EQ(drawn.At(40, drawn.Height() - 1), rgb);
    EXPECT_NE(drawn.At(41, below), rgb);
    // A line under each row a page holds, across the whole width.
    const int y = list->RowHeight() * 3 + 1;
    EXPECT_EQ(drawn.At(drawn.Width() - 2, y), rgb);
    EXPECT_NE(drawn.At(drawn.Width() - 2, y + 1), rgb);
    // A disabled list draws none of its own.
    list->Disable();
    Drawn disabled(list->GetGridWindow());
    EXPECT_NE(disabled.At(40, below), rgb);
}

TEST_F(ListOwner, SizingTheColumnUnderThePointerAndInsertingByDoubleClick) {
    ListModel& m = list->Model();
    m.SetCellText(0, 2, L"0x01, 0x02, 0x03, 0x04, 0x05, 0x06, 0x07, 0x08, 0x09, 0x0A, 0x0B");
    list->SyncFromModel();
    wxUIActionSimulator sim;
    wxWindow* header = list->GetGridColLabelWindow();
    sim.MouseMove(header->ClientToScreen(wxPoint(40 + 80 + 30, header->GetClientSize().y / 3)));
    wxtest::Pump(50);
    wxCommandEvent command(wxEVT_MENU, kCmdSizeColumn);
    list->ProcessWindowEvent(command);
    EXPECT_GT(list->GetColSize(2), 120);
    EXPECT_EQ(list->GetColSize(1), 80);
    EXPECT_EQ(list->GetColSize(3), 120);

    // Click mode 1: a double click below the last row inserts one.
    list->SetClickMode(1);
    sim.MouseMove(list->GetGridWindow()->ClientToScreen(wxPoint(20, list->RowHeight() * 3)));
    wxtest::Pump(50);
    sim.MouseDblClick();
    EXPECT_TRUE(wxtest::PumpUntil([&] { return m.RowCount() == 2; }));
    EXPECT_EQ(m.GetSelectedRows(), std::vector<std::size_t>{1});
}

// A colour of the screen as the Drawn pictures hold it (0xRRGGBB).
uint32_t Rgb(const wxColour& colour) {
    return (uint32_t{colour.Red()} << 16) | (uint32_t{colour.Green()} << 8) | colour.Blue();
}

// The darkest pixel (least sum of the components) in a rectangle.
int Darkest(const Drawn& drawn, const wxRect& rect) {
    int least = 3 * 255;
    for (int y = rect.y; y <= rect.GetBottom(); ++y)
        for (int x = rect.x; x <= rect.GetRight(); ++x) {
            const uint32_t p = drawn.At(x, y);
            least = std::min(least, static_cast<int>((p >> 16) + ((p >> 8) & 0xFF) + (p & 0xFF)));
        }
    return least;
}

// Where an item of a drop-down list is in its picture, which holds the
// list's border too.
wxRect DrawnItem(const Drawn& drawn, wxVListBox* items, std::size_t n) {
    const int border = (drawn.Width() - items->GetClientSize().x) / 2;
    wxRect r = items->GetItemRect(n);
    r.Offset(border, border);
    return r;
}

TEST_F(ListOwner, OneClickOpensTheDropDownAndTheChoiceClickedInItsListIsStored) {
    ListModel& m = list->Model();
    m.SetCellText(0, 1, L"B");
    list->SyncFromModel();
    wxUIActionSimulator sim;
    CTrComboBoxCell* combo = ClickOpensDropDown(sim, list, 0, 1);
    ASSERT_NE(combo, nullptr);
    EXPECT_TRUE(m.Modified());
    EXPECT_EQ(combo->GetSelection(), 1);
    wxVListBox* items = combo->Items();
    const wxRect third = items->GetItemRect(2);
    ClickAt(sim, items->ClientToScreen(third.GetPosition() + wxPoint(5, third.height / 2)));
    ASSERT_TRUE(wxtest::PumpUntil([&] { return !messages.empty(); }));
    EXPECT_FALSE(combo->IsShown());
    EXPECT_EQ(m.GetCellText(0, 1), L"C");
    EXPECT_EQ(m.GetCellValue(0, 1), 3u);
    EXPECT_EQ(messages.back(), std::make_tuple(kMsgCellChanged, 0, 1));
}

TEST_F(ListOwner, TheDropDownDrawsSeparatorsRightAlignedAndDropsWideEnough) {
    list->SetSeparatorMode(1);
    const std::wstring longest = L"A choice much wider than the cell";
    list->Model().SetOptionFunction([&](int, int column, std::list<std::wstring>& choices) {
        if (column != 1)
            return 0;
        choices = {L"-", L"A", L"-", L"B", longest, L"-"};
        return 1;
    });
    wxUIActionSimulator sim;
    CTrComboBoxCell* combo = ClickOpensDropDown(sim, list, 0, 1);
    ASSERT_NE(combo, nullptr);
    // "-" is no item; the lines before the first item and after the last
    // are not drawn.
    ASSERT_EQ(combo->GetCount(), 3u);
    EXPECT_EQ(combo->SeparatorItems(), std::vector<int>{0});
    const int width = combo->GetTextExtent(longest).x +
                      wxSystemSettings::GetMetric(wxSYS_VSCROLL_X, combo) +
                      combo->GetTextExtent("0").x;
    EXPECT_EQ(combo->GetPopupWindow()->GetSize().x, std::max(width, combo->GetSize().x));

    wxVListBox* items = combo->Items();
    items->SetSelection(wxNOT_FOUND);
    wxtest::Pump(30);
    Drawn drawn(items);
    const wxRect a = DrawnItem(drawn, items, 0), b = DrawnItem(drawn, items, 1);
    EXPECT_EQ(a.height, combo->GetCharHeight() + 2 + 3); // a separator's extra height
    const uint32_t shadow = Rgb(wxSystemSettings::GetColour(wxSYS_COLOUR_BTNSHADOW));
    EXPECT_EQ(drawn.At(a.x + a.width / 2, a.GetBottom()), shadow);
    EXPECT_NE(drawn.At(b.x + b.width / 2, b.GetBottom()), shadow);
    // The right-aligned column's short item: its text at the right end.
    const int background = Darkest(drawn, wxRect(a.x + 2, a.y, a.width / 2, a.height - 2));
    const int text = Darkest(drawn, wxRect(a.x + a.width / 2, a.y, a.width / 2 - 2, a.height - 2));
    EXPECT_LT(text, background);
    sim.Char(WXK_ESCAPE);
    EXPECT_TRUE(wxtest::PumpUntil([&] { return !combo->IsShown(); }));
}

TEST_F(ListOwner, TheEditEditorFollowsTheColumnsAlignmentAndWidensAsTextIsTyped) {
    list->InsertColumn("Right", CTrListCtrl::Align::Right, 50);
    list->InsertColumn("Mid", CTrListCtrl::Align::Centre, 60);
    list->Model().SetCellEditType(-1, 5, kEditorPlain);
    frame->SetClientSize(520, 200); // the list fills it
    wxtest::Pump(50);
    wxUIActionSimulator sim;
    const std::tuple<int, float> alignments[] = {{2, 0.0f}, {5, 0.5f}, {4, 1.0f}};
    CTrEditCell* edit = nullptr;
    for (auto [column, xalign] : alignments) {
        SCOPED_TRACE(column);
        ClickAt(sim, CellOnScreen(list, 0, column));
        ASSERT_TRUE(wxtest::PumpUntil([&, column = column] {
            edit = list->EditEditor();
            return edit && edit->IsShown() && edit->Column() == column && edit->HasFocus();
        }));
        EXPECT_FLOAT_EQ(gtk_entry_get_alignment(GTK_ENTRY(edit->GetHandle())), xalign);
    }
    // Column 4 is 50 pixels wide: the editor grows with its text, up to the
    // list's edge; a character outside the filter is refused.
    const int left = edit->GetPosition().x;
    EXPECT_EQ(edit->GetSize().x, 50);
    sim.Text("0x01, 0x02g");
    ASSERT_TRUE(wxtest::PumpUntil([&] { return edit->GetValue() == "0x01, 0x02"; }));
    wxtest::Pump(30);
    EXPECT_EQ(list->Refused(), 1);
    EXPECT_EQ(edit->GetSize().x, edit->GetTextExtent("0x01, 0x02").x + 5);
    sim.Text(", 0x03, 0x04, 0x05, 0x06, 0x07, 0x08, 0x09, 0x0A, 0x0B, 0x0C, 0x0D");
    ASSERT_TRUE(wxtest::PumpUntil([&] { return edit->GetValue().EndsWith("0x0D"); }));
    wxtest::Pump(30);
    EXPECT_EQ(left + edit->GetSize().x, list->GetGridWindow()->GetClientSize().x);
    sim.Char(WXK_RETURN);
    ASSERT_TRUE(wxtest::PumpUntil([&] { return !messages.empty(); }));
    EXPECT_FALSE(edit->IsShown());
    EXPECT_TRUE(list->Model().GetCellText(0, 4).starts_with(L"0x01, 0x02, 0x03"));
}

TEST_F(ListOwner, ADisabledListIsGreyExceptForItsColouredCells) {
    constexpr uint32_t kGreenRef = 0xC0FFC0;
    list->Model().SetCellColor(-1, 2, kGreenRef, 0x000000);
    list->Model().SetCellText(0, 1, L"B");
    list->ClearSelection();
    list->SyncFromModel();
    wxtest::Pump(30);
    // A point of each cell's background, clear of its text.
    auto background = [&](const Drawn& drawn, int column) {
        const wxRect r = list->CellToRect(0, column);
        const wxPoint at = list->CalcScrolledPosition(r.GetPosition());
        return drawn.At(at.x + r.width - 4, at.y + r.height / 2);
    };
    const uint32_t window = Rgb(wxSystemSettings::GetColour(wxSYS_COLOUR_WINDOW));
    const uint32_t face = Rgb(wxSystemSettings::GetColour(wxSYS_COLOUR_BTNFACE));
    ASSERT_NE(window, face);
    {
        Drawn enabled(list->GetGridWindow());
        EXPECT_EQ(background(enabled, 1), window);
        EXPECT_EQ(background(enabled, 2), 0xC0FFC0u);
    }
    list->Disable();
    wxtest::Pump(30);
    Drawn disabled(list->GetGridWindow());
    EXPECT_EQ(background(disabled, 1), face);
    EXPECT_EQ(background(disabled, 2), 0xC0FFC0u);
}

TEST_F(ListOwner, TheCheckListDropsDownTogglesByClicksAndKeysAndHidesWhenItCloses) {
    ListModel& m = list->Model();
    const std::list<std::wstring> names{L"Alpha", L"Beta", L"Gamma with a long name", L"Delta"};
    m.SetOptionFunction([&](int, int column, std::list<std::wstring>& choices) {
        if (column != 3)
            return 0;
        choices = names;
        return 1;
    });
    m.SetCellText(0, 3, L"Gam");
    list->SyncFromModel();
    wxUIActionSimulator sim;
    ClickAt(sim, CellOnScreen(list, 0, 3));
    CTrOptionComboBox* set = nullptr;
    ASSERT_TRUE(wxtest::PumpUntil([&] {
        set = list->CheckListEditor();
        return set && set->IsPopupShown();
    }));
    wxVListBox* items = set->Items();
    EXPECT_EQ(items->GetSelection(), 2); // the first item that begins with the text
    const int width = set->GetTextExtent("Gamma with a long name").x +
                      wxSystemSettings::GetMetric(wxSYS_VSCROLL_X, set) +
                      set->GetTextExtent("000").x;
    EXPECT_EQ(set->GetPopupWindow()->GetSize().x, std::max(width, set->GetSize().x));

    // Alpha and Beta are exclusive, Delta disabled.
    CheckListModel& model = set->Model();
    model.SetItemFlags(0, kItemExclusive);
    model.SetItemFlags(1, kItemExclusive);
    model.SetItemFlags(3, kItemDisabled);
    items->Refresh();
    auto clickItem = [&](int index) {
        const wxRect r = items->GetItemRect(static_cast<std::size_t>(index));
        ClickAt(sim, items->ClientToScreen(r.GetPosition() + wxPoint(r.width / 2, r.height / 2)));
        // The press selects the item too.
        EXPECT_TRUE(wxtest::PumpUntil([&] { return items->GetSelection() == index; }));
    };
    clickItem(0);
    EXPECT_TRUE(model.HasItemFlag(0, kItemChecked));
    EXPECT_TRUE(set->IsPopupShown()); // a click keeps the list open
    clickItem(1);
    EXPECT_TRUE(model.HasItemFlag(1, kItemChecked));
    EXPECT_FALSE(model.HasItemFlag(0, kItemChecked));
    clickItem(3);
    EXPECT_FALSE(model.HasItemFlag(3, kItemChecked));
    clickItem(2);
    EXPECT_TRUE(model.HasItemFlag(2, kItemChecked));
    sim.Char(' '); // Space toggles the current item
    EXPECT_TRUE(wxtest::PumpUntil([&] { return !model.HasItemFlag(2, kItemChecked); }));
    sim.Char(' ');
    EXPECT_TRUE(wxtest::PumpUntil([&] { return model.HasItemFlag(2, kItemChecked); }));

    // Radio buttons for the exclusive items, check boxes for the others;
    // the disabled item's text is grey.
    items->SetSelection(wxNOT_FOUND);
    wxtest::Pump(30);
    {
        Drawn drawn(items);
        const wxRect alpha = DrawnItem(drawn, items, 0), delta = DrawnItem(drawn, items, 3);
        const wxRect gamma = items->GetItemRect(2);
        const int box = gamma.height; // wider than the mark
        auto boxOf = [&](const wxRect& r) {
            std::vector<uint32_t> pixels;
            for (int y = r.y; y < r.y + r.height; ++y)
                for (int x = r.x; x < r.x + box; ++x)
                    pixels.push_back(drawn.At(x, y));
            return pixels;
        };
        EXPECT_NE(boxOf(alpha), boxOf(delta)); // both unchecked
        auto textOf = [&](const wxRect& r) {
            return wxRect(r.x + box + 4, r.y + 1, 30, r.height - 2);
        };
        EXPECT_GT(Darkest(drawn, textOf(delta)), Darkest(drawn, textOf(alpha)) + 60);
    }

    sim.Char(WXK_ESCAPE);
    ASSERT_TRUE(wxtest::PumpUntil([&] { return !messages.empty(); }));
    EXPECT_FALSE(set->IsShown());
    EXPECT_EQ(m.GetCellValue(0, 3), 0x6u);
    EXPECT_EQ(m.GetCellText(0, 3), L"Beta, Gamma with a long name");
    EXPECT_EQ(messages.back(), std::make_tuple(kMsgCellChanged, 0, 3));
}

} // namespace

// The main window's commands and the rotation dialog under the virtual
// display, on the simulated board and chip in-process.
#include "loggerui/AeqPage.h"
#include "loggerui/Dialogs.h"
#include "loggerui/IoConfig.h"
#include "loggerui/IoPage.h"
#include "loggerui/MainWindowCommands.h"
#include "loggerui/WxLogger.h"

#include "WxLoggerRig.h"
#include "WxTestApp.h"
#include "busaccess/busgate/LoggerChoice.h"

#include <gtest/gtest.h>
#include <wx/app.h>
#include <wx/button.h>
#include <wx/checkbox.h>
#include <wx/choice.h>
#include <wx/listbox.h>
#include <wx/stattext.h>
#include <wx/textctrl.h>
#include <wx/uiaction.h>

using namespace loggerui;

namespace {

class PageWindows : public ::testing::Test, protected WxLoggerRig {
protected:
    void SetUp() override {
        REQUIRE_DISPLAY();
        ASSERT_TRUE(OpenRig());
        ASSERT_TRUE(wxtest::PumpUntil([&] { return logger->PendingEntries() == 0; }));
    }
    void TearDown() override { CloseRig(); }
    void Click(int id) {
        wxCommandEvent event(wxEVT_BUTTON, id);
        event.SetEventObject(logger->MainWindow()->FindWindow(id));
        logger->MainWindow()->ProcessWindowEvent(event);
    }
    // Presses a button of the modal dialog that the next click opens, and
    // records the pictures it showed.
    void AnswerRotation(int button) {
        wxTheApp->CallAfter([this, button] {
            auto* dialog = dynamic_cast<CRotationDialog*>(wxWindow::FindWindowById(131));
            if (!dialog)
                return;
            for (int i = 0; i < 4; ++i)
                shown[i] = dialog->ShownPicture(i);
            if (button == wxID_CANCEL) {
                dialog->EndModal(wxID_CANCEL);
                return;
            }
            wxCommandEvent event(wxEVT_BUTTON, button);
            event.SetEventObject(dialog->FindWindow(button));
            dialog->FindWindow(button)->ProcessWindowEvent(event);
        });
    }

    int shown[4] = {};
};

TEST_F(PageWindows, ARotationAppliedFromTheMainWindowIsCheckedNextTime) {
    AnswerRotation(1105);
    Click(busgate::ctl::kSpeakersRotation);
    EXPECT_EQ(shown[0], 127);
    EXPECT_EQ(shown[2], 129);
    EXPECT_EQ(logger->Pages().rotation.current(), 258);
    EXPECT_EQ(sim->chip->patch(6), (u2csim::PatchResource{0x3008F3, 0x8CF04, 0x8CE05}));
    EXPECT_EQ(sim->chip->patch(7), (u2csim::PatchResource{0x300901, 0x8CF06, 0x8CE07}));

    const size_t before = sim->Writes().size();
    AnswerRotation(wxID_CANCEL);
    Click(busgate::ctl::kSpeakersRotation);
    EXPECT_EQ((std::vector<int>(shown, shown + 4)), (std::vector<int>{127, 128, 136, 130}));
    // Only the unlogged check went out: index and control-word reads.
    for (size_t i = before; i < sim->Writes().size(); ++i)
        EXPECT_NE(sim->Writes()[i], (u2c::Bytes{0x00, 0xC7, 0x01}));
    EXPECT_EQ(logger->Pages().rotation.current(), 258);
}

TEST_F(PageWindows, TheLogButtonTogglesAndTheLogIsSaved) {
    Click(id::kLogButton);
    EXPECT_FALSE(logger->LoggingEnabled());
    EXPECT_EQ(logger->MainWindow()->FindWindow(id::kLogButton)->GetLabel(), "Enable Log");
    Click(id::kLogButton);
    EXPECT_TRUE(logger->LoggingEnabled());

    busgate::testing::ScriptedFiles files;
    files.dialogs.Push(files.Path("log.txt"));
    Click(1065);
    const std::string saved = files.Read("log.txt");
    EXPECT_EQ(saved.rfind(" DulmLogger 3.5.0.7 \n\n", 0), 0u);
    EXPECT_NE(saved.find("Chip Type"), std::string::npos) << saved;
}

} // namespace

namespace {

TEST_F(PageWindows, TheAeqPageSendsItsEnabledFiltersOnUpdateNow) {
    ASSERT_TRUE(wxtest::PumpUntil([&] { return logger->AeqPage() != nullptr; }));
    Click(1141);
    auto* page = dynamic_cast<CAeqCfgDialog*>(logger->AeqPage());
    ASSERT_NE(page, nullptr);
    EXPECT_TRUE(page->IsShown());
    EXPECT_EQ(page->GetTitle(), "AEQ Filter Configuration");
    // Enable filters 2 and 5 through the page's controls.
    for (int index : {1, 4}) {
        page->Select(index);
        auto* box = dynamic_cast<wxCheckBox*>(page->FindWindow(aeqid::kEnable));
        box->SetValue(true);
        wxCommandEvent check(wxEVT_CHECKBOX, aeqid::kEnable);
        check.SetEventObject(box);
        check.SetInt(1);
        box->ProcessWindowEvent(check);
    }
    auto* list = dynamic_cast<wxListBox*>(page->FindWindow(aeqid::kList));
    EXPECT_EQ(list->GetString(1), "CH  2 [Bell]");
    const size_t before = sim->Writes().size();
    wxCommandEvent update(wxEVT_BUTTON, aeqid::kUpdateNow);
    update.SetEventObject(page->FindWindow(aeqid::kUpdateNow));
    page->FindWindow(aeqid::kUpdateNow)->ProcessWindowEvent(update);
    const std::vector<u2c::Bytes> all = sim->Writes();
    ASSERT_EQ(all.size(), before + 3);
    EXPECT_EQ(all[before], (u2c::Bytes{0x00, 0xA3, 0x0C}));
    EXPECT_EQ(all[before + 1].size(), 36u);
    EXPECT_EQ(all[before + 2], (u2c::Bytes{0x00, 0xE6, 0x00}));

    // A frequency out of range is refused and the stored one shown again.
    page->Select(1);
    auto* freq = dynamic_cast<wxTextCtrl*>(page->FindWindow(aeqid::kFreqEdit));
    const wxString shown = freq->GetValue();
    freq->ChangeValue("14");
    wxFocusEvent lost(wxEVT_KILL_FOCUS, aeqid::kFreqEdit);
    lost.SetEventObject(freq);
    freq->ProcessWindowEvent(lost);
    EXPECT_EQ(freq->GetValue(), shown);
}

} // namespace

namespace {

TEST_F(PageWindows, GpiosAppliesTheImagesAndTheClockOutputHidesItsDivider) {
    ASSERT_TRUE(wxtest::PumpUntil([&] { return logger->IoPage() != nullptr; }));
    // Connecting prepared the images and filled the list, and wrote no pin
    // or clock register.
    auto* io = dynamic_cast<CIoCfgDialog*>(logger->IoPage());
    ASSERT_NE(io, nullptr);
    wxtest::Pump(20);
    for (const u2c::Bytes& frame : sim->Writes())
        EXPECT_FALSE(frame.size() >= 2 && frame[0] == 0xFF && frame[1] == 0xAB)
            << std::hex << int(frame[2]);
    EXPECT_NE(dynamic_cast<wxListBox*>(io->FindWindow(ioid::kPins))->GetSelection(), wxNOT_FOUND);
    // The images go to the chip when the page shows a pin.
    Click(1099);
    auto* page = dynamic_cast<CIoCfgDialog*>(logger->IoPage());
    ASSERT_NE(page, nullptr);
    EXPECT_TRUE(page->IsShown());
    EXPECT_EQ(sim->chip->registerX(ioreg::kClockControl), 0xA40000u);
    EXPECT_EQ(sim->chip->registerX(ioreg::kSelection1), logger->Pages().io.Images().selection1);
    const size_t before = sim->Writes().size();
    Click(1099); // nothing differs: only reads go out
    for (size_t i = before; i < sim->Writes().size(); ++i)
        EXPECT_NE(sim->Writes()[i][1], 0xAB);
}

// On the chips whose clock-output row has no second name (GPO07/CLKOUT), the
// function list's "CLKOUT" is the clock output: choosing it sets GPIO
// Selection 2 bit 0 alone and offers the clock source and divider, and a pin
// that already is the clock output shows that choice.
class ClockOutputRow : public ::testing::TestWithParam<std::pair<uint32_t, uint32_t>>,
                       protected WxLoggerRig {
protected:
    void TearDown() override { CloseRig(); }
    template <typename Control>
    Control* Find(int id) {
        auto* control = dynamic_cast<Control*>(page->FindWindow(id));
        EXPECT_NE(control, nullptr) << id;
        return control;
    }
    // Chooses an item by keys, as a user does: the list takes the focus,
    // Home goes to its first item and Down on until the item is reached.
    template <typename List>
    void ChooseByKeys(int id, const wxString& entry) {
        auto* list = Find<List>(id);
        ASSERT_NE(list, nullptr);
        const int item = list->FindString(entry);
        ASSERT_NE(item, wxNOT_FOUND) << entry;
        list->SetFocus();
        ASSERT_TRUE(wxtest::PumpUntil([&] { return list->HasFocus(); })) << id;
        wxUIActionSimulator keys;
        keys.Char(WXK_HOME);
        ASSERT_TRUE(wxtest::PumpUntil([&] { return list->GetSelection() == 0; })) << id;
        for (int at = 0; at < item; ++at) {
            keys.Char(WXK_DOWN);
            ASSERT_TRUE(wxtest::PumpUntil([&] { return list->GetSelection() == at + 1; })) << id;
        }
    }
    void Choose(int id, int item) {
        ChooseByKeys<wxChoice>(id, Find<wxChoice>(id)->GetString(item));
    }
    void SelectPin(const char* entry) { ChooseByKeys<wxListBox>(ioid::kPins, entry); }
    uint32_t Chip(uint16_t reg) { return sim->chip->registerX(reg); }

    CIoCfgDialog* page = nullptr;
    int loadClicks = 0;
};

TEST_P(ClockOutputRow, ChoosingClkoutMakesThePinTheClockOutput) {
    REQUIRE_DISPLAY();
    const auto [hardware, firmware] = GetParam();
    // Straps of the basic flavour: QX410B, or QZ625xB.
    ASSERT_TRUE(OpenRig(busgate::testing::WithChip(hardware, firmware, 0x020000)));
    ASSERT_TRUE(wxtest::PumpUntil(
        [&] { return logger->IoPage() != nullptr && logger->PendingEntries() == 0; }));
    page = dynamic_cast<CIoCfgDialog*>(logger->IoPage());
    ASSERT_NE(page, nullptr);
    // The page on the screen, as the main window's GPIOs button shows it.
    page->Show();
    page->Raise();
    ASSERT_TRUE(wxtest::PumpUntil([&] { return page->IsShownOnScreen(); }));
    SelectPin("GPO07/CLKOUT");
    auto* function = Find<wxChoice>(ioid::kFunction);
    ASSERT_EQ(function->GetCount(), 2u);
    EXPECT_EQ(function->GetString(1), "CLKOUT");
    EXPECT_EQ(function->GetSelection(), 0);
    const uint32_t selection1 = Chip(ioreg::kSelection1);
    EXPECT_EQ(selection1 & 0x80, 0u);

    Choose(ioid::kFunction, 1);
    EXPECT_EQ(Chip(ioreg::kSelection2) & 1, 1u);
    EXPECT_EQ(Chip(ioreg::kSelection1), selection1); // bit 7 is SDO1's
    EXPECT_EQ(function->GetStringSelection(), "CLKOUT");
    EXPECT_TRUE(Find<wxChoice>(ioid::kFirst)->IsShown());
    EXPECT_EQ(Find<wxStaticText>(ioid::kFirstLabel)->GetLabel(), "Source Clock :");
    EXPECT_EQ(Find<wxStaticText>(ioid::kSecondLabel)->GetLabel(), "Clock Divider :");
    EXPECT_EQ(Find<wxChoice>(ioid::kSecond)->GetStringSelection(), "10");

    // Back to the plain pin.
    Choose(ioid::kFunction, 0);
    EXPECT_EQ(Chip(ioreg::kSelection2) & 1, 0u);
    EXPECT_EQ(Chip(ioreg::kSelection1), selection1);
    EXPECT_EQ(Find<wxStaticText>(ioid::kFirstLabel)->GetLabel(), "Output :");

    // The chip's pin already is the clock output: loaded, it shows as such.
    sim->chip->setRegisterX(ioreg::kSelection2, Chip(ioreg::kSelection2) | 1);
    wxWindow* load = page->FindWindow(ioid::kLoad);
    ASSERT_NE(load, nullptr);
    // This handler runs in the same dispatch as the page's own, just before
    // it: once the count is 1 and the dispatch is over, the page has loaded.
    load->Bind(wxEVT_BUTTON, [this](wxCommandEvent& event) {
        ++loadClicks;
        event.Skip();
    });
    wxUIActionSimulator pointer;
    pointer.MouseMove(load->GetScreenRect().GetPosition() + load->GetSize() / 2);
    wxtest::Pump(20);
    pointer.MouseClick();
    ASSERT_TRUE(wxtest::PumpUntil([&] { return loadClicks == 1; }));
    SelectPin("GPO07/CLKOUT");
    EXPECT_EQ(function->GetStringSelection(), "CLKOUT");
    EXPECT_EQ(Find<wxStaticText>(ioid::kFirstLabel)->GetLabel(), "Source Clock :");
}

INSTANTIATE_TEST_SUITE_P(BasicFlavours, ClockOutputRow,
                         ::testing::Values(std::make_pair(0x6000u, 0x0606u),
                                           std::make_pair(0x7000u, 0x0704u)));

} // namespace

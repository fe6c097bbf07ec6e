// The evaluation-board and PWM pages' windows under the virtual display, on
// the simulated board, chip and peripherals in-process.
#include "loggerui/Dialogs.h"
#include "loggerui/EvbPage.h"
#include "loggerui/EvbPages.h"
#include "loggerui/PwrAmpPage.h"
#include "loggerui/WxLogger.h"

#include "WxLoggerRig.h"
#include "WxTestApp.h"
#include "busaccess/busgate/LoggerChoice.h"

#include <gtest/gtest.h>
#include <wx/timer.h>

#include <algorithm>
#include <wx/checkbox.h>
#include <wx/radiobut.h>
#include <wx/slider.h>
#include <wx/stattext.h>
#include <wx/textctrl.h>

using namespace loggerui;

namespace {

busgate::testing::SimBusConfig BoardWithPeripherals(uint32_t chipVersion, uint16_t boardType) {
    busgate::testing::SimBusConfig c;
    c.chip = {chipVersion, 0x0606};
    c.board.boardType = boardType;
    u2csim::PeripheralConfig p;
    p.eeprom.blocks = 0;
    p.amplifier = true;
    p.spdif.tx = true;
    p.spdif.rxAddress = 0x13;
    c.peripherals = p;
    c.model.presetY = {{pwmreg::kPowerControl, 0x30}};
    return c;
}

class BoardWindows : public ::testing::Test, protected WxLoggerRig {
protected:
    void Start(uint32_t chipVersion = 0x6000, uint16_t boardType = 1) {
        ASSERT_TRUE(OpenRig(BoardWithPeripherals(chipVersion, boardType)));
        ASSERT_TRUE(Drained());
    }
    void TearDown() override { CloseRig(); }
    bool Drained() {
        return wxtest::PumpUntil([&] { return logger->PendingEntries() == 0; });
    }
    void Click(wxWindow* window, int id) {
        wxCommandEvent event(wxEVT_BUTTON, id);
        event.SetEventObject(window->FindWindow(id));
        window->ProcessWindowEvent(event);
    }
    void Check(wxWindow* window, int id, bool on) {
        auto* box = dynamic_cast<wxCheckBox*>(window->FindWindow(id));
        ASSERT_NE(box, nullptr) << id;
        box->SetValue(on);
        wxCommandEvent event(wxEVT_CHECKBOX, id);
        event.SetEventObject(box);
        event.SetInt(on ? 1 : 0);
        box->ProcessWindowEvent(event);
    }
    void Slide(wxWindow* window, int position) {
        auto* slider = dynamic_cast<wxSlider*>(window->FindWindow(evbid::kVolume));
        slider->SetValue(position);
        wxCommandEvent event(wxEVT_SLIDER, evbid::kVolume);
        event.SetEventObject(slider);
        event.SetInt(position);
        slider->ProcessWindowEvent(event);
    }
    std::string Label(wxWindow* window, int id) {
        return window->FindWindow(id)->GetLabel().utf8_string();
    }
};

TEST_F(BoardWindows, TheQX410xPageConnectsAndItsStatusPaneTakesTheBoardsReports) {
    REQUIRE_DISPLAY();
    Start();
    ASSERT_TRUE(wxtest::PumpUntil([&] { return logger->EvbWindow() != nullptr; }));
    auto* page = dynamic_cast<CEvbCfgDialog*>(logger->EvbWindow());
    ASSERT_NE(page, nullptr);
    EXPECT_EQ(page->GetTitle(), "QX410x EVB Configuration");
    EXPECT_FALSE(page->IsShown());
    // The connect hook ran with the reset and armed the status timer.
    const std::string log = logger->MainWindow()->LogPane()->GetValue().utf8_string();
    EXPECT_NE(log.find("[EVB] --> Set DulmAudio nRESET LOW. \n "), std::string::npos) << log;
    EXPECT_TRUE(page->StatusTimerRunning());
    auto* sdi = dynamic_cast<wxRadioButton*>(page->FindWindow(evbid::kSdiUsb));
    ASSERT_NE(sdi, nullptr);
    EXPECT_TRUE(sdi->GetValue());

    Click(logger->MainWindow(), busgate::ctl::kEvbConfig);
    EXPECT_TRUE(page->IsShown());

    // The amplifier's reports go to the page's own pane.
    Check(page, evbid::kAmplifier, true);
    ASSERT_TRUE(Drained());
    EXPECT_NE(page->StatusPane()->GetValue().find(" * Found TAS5713 device. \n "), wxString::npos);
    EXPECT_TRUE(page->FindWindow(evbid::kVolumeLabel)->IsShown());
    Slide(page, 248);
    EXPECT_EQ(Label(page, evbid::kVolumeLabel), "-100.0 dBFS");
    EXPECT_EQ(sim->devices.amplifier->get(0x07), (u2c::Bytes{0xF8}));
    Slide(page, 249);
    EXPECT_EQ(Label(page, evbid::kVolumeLabel), " Mute ");

    // Unchecking the reset box unchecks the strap box.
    Check(page, evbid::kReset, false);
    EXPECT_FALSE(dynamic_cast<wxCheckBox*>(page->FindWindow(evbid::kStraps))->GetValue());

    // "No" to the reset question leaves the box and the bridge.
    sim->boxes->answers = {false};
    Check(page, evbid::kSpdif, true);
    EXPECT_FALSE(dynamic_cast<wxCheckBox*>(page->FindWindow(evbid::kSpdif))->GetValue());
    EXPECT_TRUE(sim->board->deviceOpen());
}

TEST_F(BoardWindows, TheQZ625xPageAndThePwmPageOnAQZ625xChip) {
    REQUIRE_DISPLAY();
    Start(0x7000, 4);
    ASSERT_TRUE(wxtest::PumpUntil(
        [&] { return logger->EvbWindow() != nullptr && logger->PwrAmpPage() != nullptr; }));
    EXPECT_EQ(logger->EvbWindow()->GetLabel(), "QZ625x EVB Configuration");
    EXPECT_NE(logger->EvbWindow()->FindWindow(evbid::kHighPower), nullptr);

    auto* pwm = dynamic_cast<CPwrAmpDialog*>(logger->PwrAmpPage());
    ASSERT_NE(pwm, nullptr);
    EXPECT_EQ(pwm->GetTitle(), "PWM and Power Amplifier Configuration");
    EXPECT_TRUE(logger->MainWindow()->FindWindow(busgate::ctl::kPwmAndAmp)->IsEnabled());
    EXPECT_TRUE(pwm->Watching());
    Click(logger->MainWindow(), busgate::ctl::kPwmAndAmp);
    EXPECT_TRUE(pwm->IsShown());
    pwm->PollFaultNow();
    EXPECT_EQ(Label(pwm, pwmid::kFaultText), "FAULTB event status: No fault.");
    EXPECT_EQ(pwm->ShownLamp(), 2);

    // Unchecking the module unchecks and disables both output boxes and
    // clears the module bit.
    sim->chip->setRegisterY(pwmreg::kControl, 0x8C13);
    Check(pwm, pwmid::kModule, false);
    for (int id : {pwmid::kOutputs1, pwmid::kOutputs2}) {
        auto* box = dynamic_cast<wxCheckBox*>(pwm->FindWindow(id));
        EXPECT_FALSE(box->GetValue()) << id;
        EXPECT_FALSE(box->IsEnabled()) << id;
    }
    EXPECT_EQ(sim->chip->registerY(pwmreg::kControl), 0x8C12u);

    // The gain is shown in its fixed form once the edit is left.
    auto* gain = dynamic_cast<wxTextCtrl*>(pwm->FindWindow(pwmid::kGain));
    gain->ChangeValue("3");
    wxFocusEvent lost(wxEVT_KILL_FOCUS, pwmid::kGain);
    lost.SetEventObject(gain);
    gain->ProcessWindowEvent(lost);
    EXPECT_EQ(gain->GetValue(), "3.00000");
    EXPECT_FLOAT_EQ(logger->Pages().pwm.Get().gain, 3.0f);

    // Closed bus: the watch shows no status and stops.
    bus->Close();
    pwm->PollFaultNow();
    EXPECT_EQ(Label(pwm, pwmid::kFaultText), "FAULTB event status: ----");
    EXPECT_EQ(pwm->ShownLamp(), 0);
    EXPECT_FALSE(pwm->Watching());
}

TEST_F(BoardWindows, APwmPageOnAnotherChipIsNotWatched) {
    REQUIRE_DISPLAY();
    Start(0x6000, 1);
    ASSERT_TRUE(wxtest::PumpUntil([&] { return logger->PwrAmpPage() != nullptr; }));
    wxtest::Pump(5);
    auto* pwm = dynamic_cast<CPwrAmpDialog*>(logger->PwrAmpPage());
    EXPECT_FALSE(pwm->Watching());
    EXPECT_FALSE(pwm->IsShown());
    EXPECT_FALSE(logger->MainWindow()->FindWindow(busgate::ctl::kPwmAndAmp)->IsEnabled());
}

// A timer of the test's own that watches the main window while an EEPROM
// operation runs on the GUI thread (holding the library's lock).
class Watcher final : public wxTimer {
public:
    Watcher(CMainDialog& main, busgate::LoggerLock& lock) : main_(main), lock_(lock) {}
    void Notify() override {
        if (!lock_.HeldByThisThread())
            return;
        ++ticks;
        for (int id : {1011, 1007, 1099})
            if (main_.FindWindow(id)->IsEnabled())
                ++buttonsOn;
        paneLength = std::max(paneLength, main_.LogPane()->GetLastPosition());
    }
    int ticks = 0;
    int buttonsOn = 0;
    long paneLength = 0;

private:
    CMainDialog& main_;
    busgate::LoggerLock& lock_;
};

TEST_F(BoardWindows, TheWindowsStayResponsiveWhileTheEepromIsErased) {
    REQUIRE_DISPLAY();
    busgate::testing::SimBusConfig config = BoardWithPeripherals(0x6000, 1);
    config.peripherals->eeprom.blocks = 8;
    ASSERT_TRUE(OpenRig(config));
    ASSERT_TRUE(Drained());
    CMainDialog& main = *logger->MainWindow();
    const long before = main.LogPane()->GetLastPosition();
    Watcher watcher(main, bus->Lock());
    watcher.Start(2);
    Click(&main, 1011); // Erase: runs to its final box
    watcher.Stop();
    ASSERT_FALSE(sim->Boxes().empty());
    EXPECT_EQ(sim->Boxes().back(), "Erase EEPROM device: Erase completed successfully.");
    // The timers ran and the progress lines reached the pane meanwhile, and
    // the buttons were off all along.
    EXPECT_GT(watcher.ticks, 0);
    EXPECT_GT(watcher.paneLength, before);
    EXPECT_EQ(watcher.buttonsOn, 0);
    // Afterwards they are on again.
    for (int id : {1011, 1007, 1099})
        EXPECT_TRUE(main.FindWindow(id)->IsEnabled()) << id;
}

} // namespace

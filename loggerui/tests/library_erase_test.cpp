// libbusgate_c.so loaded by a wx application against the u2c-sim daemon: an
// EEPROM erase clicked in the logger holds the bus while the host's timers
// go on, and a transfer such a timer makes meanwhile (an editor's idle
// check) is told that the bus is busy instead of failing like a lost chip.
#include "BoxAnswerer.h"
#include "LoadedBusgate.h"
#include "WxTestApp.h"
#include "busaccess/busgate/busgate_api.h"
#include "sim/SimDaemon.h"

#include <gtest/gtest.h>
#include <wx/frame.h>
#include <wx/textctrl.h>
#include <wx/timer.h>
#include <wx/toplevel.h>
#include <wx/uiaction.h>

#include <cstdlib>
#include <cstring>
#include <dlfcn.h>
#include <string>

namespace {

constexpr int kEraseButton = 1011;
constexpr int kTrafficPane = 1003;

std::string TrafficText() {
    auto* pane = dynamic_cast<wxTextCtrl*>(wxWindow::FindWindowById(kTrafficPane));
    return pane ? pane->GetValue().utf8_string() : std::string();
}

// The host's idle tick as the editor makes it: one alive check per tick
// through the library's export, on the GUI thread.
class IdleCheck : public wxTimer {
public:
    IdleCheck(wxtest::LoadedBusgate& busgate, busgate_handle handle)
        : busgate_(busgate), handle_(handle) {
        Start(30);
    }
    ~IdleCheck() override { Stop(); }

    void Notify() override {
        const uint8_t alive[3] = {0x00, 0xB7, 0x14};
        busgate_status status{};
        const int32_t result = busgate_.transmit(handle_, &status, 0x73, alive, 3);
        if (result == 3) {
            ++passed;
            passedWithStatus += status.code != 0;
        } else if (status.code == BUSGATE_STATUS_BUSY &&
                   std::strcmp(status.text, BUSGATE_STATUS_BUSY_TEXT) == 0) {
            ++busy;
        } else {
            ++failed;
        }
    }

    int passed = 0;
    int passedWithStatus = 0;
    int busy = 0;
    int failed = 0;

private:
    wxtest::LoadedBusgate& busgate_;
    busgate_handle handle_;
};

TEST(BusgateLibraryErase, ATransferDuringTheEraseIsBusyAndTheEraseCompletes) {
    REQUIRE_DISPLAY();
    u2csim::SimDaemon daemon(U2C_SIM_PATH, {"--eeprom-blocks", "2"});
    ASSERT_TRUE(daemon.ready());
    setenv("TEROVAN_U2C_SOCKET", daemon.socketPath().c_str(), 1);
    wxtest::EditorAndBusgate rig;
    auto& [host, busgate, status, handle] = rig;
    ASSERT_TRUE(busgate.Loaded()) << dlerror();
    ASSERT_NE(handle, 0u);
    EXPECT_EQ(status.code, 0) << "an open leaves the record alone";

    wxWindow* erase = nullptr;
    ASSERT_TRUE(wxtest::PumpUntil([&] {
        erase = wxWindow::FindWindowById(kEraseButton);
        return erase && erase->IsShownOnScreen() && erase->IsEnabled();
    }));
    wxGetTopLevelParent(erase)->Raise();
    wxtest::Pump(50);

    IdleCheck idle(busgate, handle);
    ASSERT_TRUE(wxtest::PumpUntil([&] { return idle.passed > 0; }));

    // The box at the end of the erase is answered from inside its modal
    // loop; the idle checks go on there as well.
    wxtest::BoxAnswerer answers({wxID_OK});
    wxUIActionSimulator pointer;
    pointer.MouseMove(
        erase->ClientToScreen(wxPoint(erase->GetSize().x / 2, erase->GetSize().y / 2)));
    wxtest::Pump(20);
    pointer.MouseClick();
    ASSERT_TRUE(wxtest::PumpUntil([&] { return answers.Done(); }, 60000)) << TrafficText();
    EXPECT_EQ(answers.captions, std::vector<std::string>{"Erase EEPROM device"});
    EXPECT_EQ(answers.texts, std::vector<std::string>{"Erase completed successfully."});
    EXPECT_NE(TrafficText().find("-> Erase EEPROM device ... "), std::string::npos);

    // Checks made while the erase held the bus moved nothing and said so;
    // none failed as if the chip were gone.
    EXPECT_GT(idle.busy, 0);
    EXPECT_EQ(idle.failed, 0);
    // Afterwards they pass again, with the record left alone.
    const int before = idle.passed;
    EXPECT_TRUE(wxtest::PumpUntil([&] { return idle.passed > before; }));
    EXPECT_EQ(idle.passedWithStatus, 0);

    idle.Stop();
    busgate.close(handle, &status);
    host->Destroy();
    wxtest::Pump(20);
    unsetenv("TEROVAN_U2C_SOCKET");
}

} // namespace

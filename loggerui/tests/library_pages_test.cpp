// libbusgate_c.so loaded by a wx application against the u2c-sim daemon:
// the evaluation-board page's connect and preset hooks, the PWM page's
// preset stage on a QZ625x chip, and the real message boxes of the
// S/PDIF box, answered in their modal loops.
#include "BoxAnswerer.h"
#include "LoadedBusgate.h"
#include "WxTestApp.h"
#include "busaccess/busgate/busgate_api.h"
#include "sim/SimDaemon.h"

#include <gtest/gtest.h>
#include <wx/app.h>
#include <wx/checkbox.h>
#include <wx/dialog.h>
#include <wx/frame.h>
#include <wx/msgdlg.h>
#include <wx/textctrl.h>
#include <wx/timer.h>
#include <wx/toplevel.h>

// The boxes the library shows.
#include <wx/generic/msgdlgg.h>

#include <atomic>
#include <cstdlib>
#include <dlfcn.h>
#include <fstream>
#include <sstream>
#include <thread>

namespace {

std::string TextOf(int id) {
    auto* pane = dynamic_cast<wxTextCtrl*>(wxWindow::FindWindowById(id));
    return pane ? pane->GetValue().utf8_string() : std::string();
}

std::string ReadFile(const std::string& path) {
    std::ifstream in(path);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

TEST(BusgateLibraryPages, HooksPresetStageAndTheModalBoxesThroughTheRealLibrary) {
    REQUIRE_DISPLAY();
    u2csim::SimDaemon daemon(U2C_SIM_PATH,
                             {"--chip-version", "0x7000", "--chip-subversion", "0x0704", "--straps",
                              "0x020000", "--amplifier", "--spdif-tx", "--spdif-rx", "0x13",
                              "--register-y", "0xFFA7=0x30"});
    ASSERT_TRUE(daemon.ready());
    setenv("TEROVAN_U2C_SOCKET", daemon.socketPath().c_str(), 1);
    wxtest::EditorAndBusgate rig;
    auto& [host, busgate, status, handle] = rig;
    ASSERT_TRUE(busgate.Loaded()) << dlerror();
    ASSERT_NE(handle, 0u);

    // The QX410x board's page, its connect hook run with the reset.
    ASSERT_TRUE(wxtest::PumpUntil([] {
        return wxWindow::FindWindowById(106) && wxWindow::FindWindowById(145) &&
               TextOf(1003).find("nRESET HIGH") != std::string::npos;
    }));
    EXPECT_EQ(wxWindow::FindWindowById(106)->GetLabel(), "QX410x EVB Configuration");
    EXPECT_NE(TextOf(1003).find("[EVB] --> Set DulmAudio nRESET LOW. \n "), std::string::npos);

    // A preset from the plug-in's thread: SSI, Software Reset, Set Speaker
    // Type; the PWM page's configuration goes out at the preset stage.
    std::atomic<bool> sent{false};
    std::thread plugin([&] {
        const uint8_t groups[][3] = {{0x80, 0xC4, 0x02}, {0x00, 0xC5, 0x00}, {0x00, 0xC2, 0x01}};
        for (const auto& group : groups)
            EXPECT_EQ(busgate.transmit(handle, &status, 0x73, group, 3), 3);
        sent = true;
    });
    const bool logged = wxtest::PumpUntil(
        [&] {
            return sent && TextOf(1003).find(" # Audio PWM and Power Amplifier Initialization.") !=
                               std::string::npos;
        },
        10000);
    plugin.join();
    ASSERT_TRUE(logged) << TextOf(1003);
    EXPECT_NE(TextOf(1003).find("[EVB] --> Mute analog amplifiers (2W and Headphone). \n "),
              std::string::npos);
    // 0xFFA0 := 0x8C13 last among the PWM control writes.
    const std::string frames = ReadFile(daemon.logPath());
    const size_t control = frames.rfind("FF AD A0");
    ASSERT_NE(control, std::string::npos);
    EXPECT_NE(frames.find("00 8C 13", control), std::string::npos);

    // The S/PDIF box with the chip ready: the question, then the steps.
    auto* spdif = dynamic_cast<wxCheckBox*>(wxWindow::FindWindowById(1079));
    ASSERT_NE(spdif, nullptr);
    wxtest::BoxAnswerer answers({wxID_YES, wxID_OK});
    spdif->SetValue(true);
    wxCommandEvent click(wxEVT_CHECKBOX, 1079);
    click.SetEventObject(spdif);
    click.SetInt(1);
    spdif->ProcessWindowEvent(click);
    EXPECT_TRUE(answers.Done());
    EXPECT_EQ(answers.captions,
              (std::vector<std::string>{
                  "S/PDIF Enable/Disable",
                  "S/PDIF Enable - Set S/PDIF RX as I2S Master; set QX410x as I2S Slave"}));
    EXPECT_TRUE(spdif->GetValue());

    busgate.close(handle, &status);
    host->Destroy();
    wxtest::Pump(20);
    unsetenv("TEROVAN_U2C_SOCKET");
}

} // namespace

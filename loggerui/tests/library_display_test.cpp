// libbusgate_c.so loaded with dlopen by a wx application whose editor
// frame it finds, against the u2c-sim daemon in a separate process.
#include "LoadedBusgate.h"
#include "WxTestApp.h"
#include "busaccess/busgate/busgate_api.h"
#include "sim/SimDaemon.h"

#include <gtest/gtest.h>
#include <wx/checkbox.h>
#include <wx/frame.h>
#include <wx/textctrl.h>
#include <wx/toplevel.h>

#include <atomic>
#include <cstdlib>
#include <dlfcn.h>
#include <filesystem>
#include <fstream>
#include <thread>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

wxTextCtrl* PaneById(int id) {
    return dynamic_cast<wxTextCtrl*>(wxWindow::FindWindowById(id));
}

std::string TextOf(wxTextCtrl* pane) {
    return pane ? pane->GetValue().utf8_string() : std::string();
}

wxColour ColourAt(wxTextCtrl* pane, size_t position) {
    wxTextAttr attr;
    pane->GetStyle(static_cast<long>(position), attr);
    return attr.GetTextColour();
}

TEST(BusgateLibraryWindows, ShowsTrafficFromAnotherThreadInTheHostsLogger) {
    REQUIRE_DISPLAY();
    const fs::path dir =
        fs::temp_directory_path() / ("loggerui_library." + std::to_string(getpid()));
    fs::create_directories(dir);
    u2csim::SimDaemon daemon(U2C_SIM_PATH,
                             {"--chip-version", "0x6000", "--chip-subversion", "0x0606"});
    ASSERT_TRUE(daemon.ready());
    setenv("TEROVAN_U2C_SOCKET", daemon.socketPath().c_str(), 1);
    setenv("QUORL_TRACE", (dir / "trace.txt").c_str(), 1);
    {
        std::ofstream image(dir / "tweaks-0606.txt");
        for (int i = 0; i < 180; ++i)
            image << "000000\n";
    }
    setenv("QUORL_TWEAKS_DIR", dir.c_str(), 1);

    wxtest::EditorAndBusgate rig;
    auto& [host, busgate, status, handle] = rig;
    ASSERT_TRUE(busgate.Loaded()) << dlerror();
    ASSERT_NE(handle, 0u);
    EXPECT_EQ(host->GetTitle(), "Quorl Audio DulmDSP (By Terovan)");

    std::atomic<bool> sent{false};
    std::thread bus([&] {
        const uint8_t version[3] = {0x00, 0xB7, 0x00};
        uint8_t reply[3] = {};
        for (int i = 0; i < 5; ++i) {
            EXPECT_EQ(busgate.transmit(handle, &status, 0x73, version, 3), 3);
            EXPECT_EQ(busgate.receive(handle, &status, 0x73, sizeof reply, reply, 3), 3);
        }
        const uint8_t raw[2] = {0x12, 0x34};
        EXPECT_EQ(busgate.transmit(handle, &status, 0x2A, raw, 2), -1); // nobody answers
        sent = true;
    });
    wxTextCtrl* log = nullptr;
    const bool shown = wxtest::PumpUntil(
        [&] {
            log = PaneById(1003);
            return sent && TextOf(log).find("I2C Transaction Failed") != std::string::npos;
        },
        10000);
    bus.join();
    ASSERT_TRUE(shown) << TextOf(log);

    // The logger window belongs to the host's frame.
    EXPECT_EQ(wxGetTopLevelParent(log)->GetParent(), host);
    EXPECT_EQ(wxGetTopLevelParent(log)->GetLabel(), "Terovan DulmLogger 3.5.0.7");
    const std::string text = TextOf(log);
    size_t at = 0;
    for (int i = 0; i < 5; ++i) {
        at = text.find("// Get Firmware Version", at);
        ASSERT_NE(at, std::string::npos) << i << "\n" << text;
        ++at;
    }
    const size_t failed = text.find("==> I2C Transaction Failed");
    EXPECT_GT(failed, at);
    EXPECT_EQ(ColourAt(log, failed + 2), wxColour(255, 0, 0));

    const std::string info = TextOf(PaneById(1005));
    for (const char* line : {"* Board Type: QX41xx Evaluation Board", "* Chip I2C address 0x73",
                             "* Chip Firmware Ver: A2 (0x0606)"}) {
        const size_t found = info.find(line);
        ASSERT_NE(found, std::string::npos) << line << "\n" << info;
        EXPECT_EQ(ColourAt(PaneById(1005), found + 2), wxColour(0, 128, 0)) << line;
    }

    // Tweaks enabled at the Setup Completed of a capture: the daemon's chip
    // runs the downloaded code and reports its signature.
    auto* preset = dynamic_cast<wxCheckBox*>(wxWindow::FindWindowById(1341));
    ASSERT_NE(preset, nullptr);
    preset->SetValue(true);
    wxCommandEvent checked(wxEVT_CHECKBOX, 1341);
    checked.SetEventObject(preset);
    checked.SetInt(1);
    preset->ProcessWindowEvent(checked);
    std::atomic<bool> setup{false};
    std::thread preset_stage([&] {
        const uint8_t start[3] = {0x00, 0xA5, 0x00};
        const uint8_t done[3] = {0x00, 0xAC, 0x00};
        EXPECT_EQ(busgate.transmit(handle, &status, 0x73, start, 3), 3);
        EXPECT_EQ(busgate.transmit(handle, &status, 0x73, done, 3), 3);
        setup = true;
    });
    const bool running = wxtest::PumpUntil(
        [&] {
            return setup &&
                   TextOf(log).find("[TWEAKS] --> Tweaks is running.") != std::string::npos;
        },
        10000);
    preset_stage.join();
    EXPECT_TRUE(running) << TextOf(log);
    wxWindow* button = wxWindow::FindWindowById(1161);
    ASSERT_NE(button, nullptr);
    EXPECT_TRUE(wxtest::PumpUntil([&] { return button->GetLabel() == "Disable Tweaks"; }));

    busgate.close(handle, &status);
    host->Destroy();
    wxtest::Pump(20);
    EXPECT_EQ(PaneById(1003), nullptr);
    unsetenv("TEROVAN_U2C_SOCKET");
    unsetenv("QUORL_TRACE");
    unsetenv("QUORL_TWEAKS_DIR");
    fs::remove_all(dir);
}

} // namespace

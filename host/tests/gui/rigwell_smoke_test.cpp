// The program's windows from start to exit, in this process: the
// application object in GUI mode opens the main view, the test plug-in is
// loaded from the Plugins menu and draws its editor, audio plays through the
// JACK server, and closing the main window closes the editors, saves the
// session and ends the loop.
#include <portaudio.h>
#include <wx/frame.h>
#include <wx/menu.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "audio/CpuMeter.h"
#include "audio/KCPortAudioSession.h"
#include "gui_support.h"
#include "host/Application.h"
#include "host/PluginRunner.h"
#include "host/PluginRunnerView.h"
#include "host/PluginView.h"

namespace {

namespace fs = std::filesystem;

std::string ReadAll(const fs::path& file) {
    std::ifstream in(file);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

// The application object with its view and runner in reach.
class SmokeApp : public KCApplicationBase {
public:
    using KCApplicationBase::KCApplicationBase;
    KCPluginRunnerView* View() const { return static_cast<KCPluginRunnerView*>(view.get()); }
    KCPluginRunner* Runner() const { return dynamic_cast<KCPluginRunner*>(runner.get()); }
};

// An environment variable set for one test, then restored.
class ScopedEnv {
public:
    ScopedEnv(const char* name, const std::string& value) : name(name) {
        const char* old = std::getenv(name);
        hadValue = old != nullptr;
        saved = hadValue ? old : "";
        setenv(name, value.c_str(), 1);
    }
    ~ScopedEnv() {
        if (hadValue)
            setenv(name, saved.c_str(), 1);
        else
            unsetenv(name);
    }

private:
    const char* name;
    bool hadValue = false;
    std::string saved;
};

bool EditorShowsPluginColour(SmokeApp& app, KCPluginView* editor) {
    app.Idle();
    return gui::ReadPixel(*editor->GetChildWindow(), 150, 100) == gui::Pixel{51, 102, 153};
}

TEST(RigwellSmoke, LoadDrawPlayAndCloseThroughTheWindows) {
    REQUIRE_DISPLAY();
    const fs::path scratch = fs::temp_directory_path() / ("kv_smoke_" + std::to_string(getpid()));
    fs::create_directories(scratch);
    const ScopedEnv config("XDG_CONFIG_HOME", (scratch / "config").string());
    const fs::path calls = scratch / "calls.txt";
    const ScopedEnv callLog("KV_TEST_PLUGIN_CALL_LOG", calls.string());
    // The session file exists before the start, so the exit saves it.
    const fs::path prefs = scratch / "config/Quorl Audio/Preferences/Rigwell_SetupPreferences";
    fs::create_directories(prefs.parent_path());
    std::ofstream(prefs) << "<RigwellPrefs/>\n";
    InstallPluginViewHooks();

    KTErr runStatus = eGenericErr;
    {
        SmokeApp app{kvFM::KCStPath(RIGWELL_PATH)};
        const std::string folder = fs::path(KV_PASSTHROUGH).parent_path().string();
        const char* argv[] = {"rigwell", "-p", folder.c_str()};
        ASSERT_EQ(app.Init(3, argv), eNoErr) << app.FailureText();
        KCPluginRunnerView* view = app.View();
        KCPluginRunner* runner = app.Runner();
        ASSERT_TRUE(view != nullptr && runner != nullptr);

        // 1. The main view is open.
        ASSERT_NE(view->GetMainWindow(), nullptr);
        auto* frame = dynamic_cast<wxFrame*>(view->GetMainWindow()->windowHandle);
        ASSERT_NE(frame, nullptr);
        EXPECT_TRUE(display::PumpUntil([&] { return frame->IsShown(); }));

        // 2. The Plugins menu opens and its item is chosen.
        wxMenuEvent opening(wxEVT_MENU_OPEN, 0, static_cast<wxMenu*>(view->GetPluginsMenu()));
        opening.SetEventObject(frame);
        frame->ProcessWindowEvent(opening);
        wxCommandEvent choose(wxEVT_MENU, 1001);
        choose.SetEventObject(frame);
        frame->ProcessWindowEvent(choose);
        ASSERT_NE(runner->GetCurrentPlugin(), nullptr);
        ASSERT_EQ(view->GetPluginViews().size(), 1u);

        // 3. Its editor draws.
        KCPluginView* editor = view->GetPluginViews().front();
        EXPECT_TRUE(display::PumpUntil([&] { return EditorShowsPluginColour(app, editor); }));

        // 4. Speakers, on the JACK server's output device.
        int32_t jackIn = -1, jackOut = -1;
        KCPortAudioSession::GetHostApiDefaults(paJACK, jackIn, jackOut);
        std::string names;
        for (const auto& [index, desc] : runner->GetOutputDevices())
            names += std::to_string(index) + " " + desc.name + "; ";
        ASSERT_EQ(runner->GetOutputDevices().count(jackOut), 1u) << jackOut << ": " << names;
        wxCommandEvent speakers(wxEVT_MENU, 900);
        speakers.SetEventObject(frame);
        frame->ProcessWindowEvent(speakers);
        wxCommandEvent device(wxEVT_MENU, 5000 + jackOut);
        device.SetEventObject(frame);
        frame->ProcessWindowEvent(device);

        // 5. Toggle play until the plug-in's processing is counted.
        wxCommandEvent play(wxEVT_MENU, 300);
        play.SetEventObject(frame);
        frame->ProcessWindowEvent(play);
        EXPECT_TRUE(runner->IsSinkRunning());
        int64_t processed = 0;
        EXPECT_TRUE(display::PumpUntil([&] {
            app.Idle();
            double percentage = 0;
            int64_t microseconds = 0;
            CpuMeter::GetProcessLoad(microseconds, percentage);
            processed += microseconds;
            return processed > 0;
        }));

        // 6. Closing the main window ends the loop.
        std::ofstream(calls, std::ios::trunc);
        wxTheApp->CallAfter([frame] { frame->Close(); });
        runStatus = app.Run();
    }
    EXPECT_EQ(runStatus, eNoErr);
    // The editor went first, then the plug-in; the session names it.
    const std::string log = ReadAll(calls);
    const size_t hidden = log.find("KP_DeactivateWindow\nKP_SetWindow(null)\n");
    EXPECT_NE(hidden, std::string::npos) << log;
    EXPECT_NE(log.find("KP_DeleteInstance", hidden), std::string::npos) << log;
    EXPECT_NE(ReadAll(prefs).find("PQ5S"), std::string::npos) << ReadAll(prefs);
    const char* plain[] = {"rigwell"};
    ParseCommandLine(1, plain, false);
    fs::remove_all(scratch);
}

} // namespace

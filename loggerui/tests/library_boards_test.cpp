// libbusgate_c.so loaded by a wx application with two simulated boards
// plugged in: once the logger's windows exist, the driver says so in a box.
#include "BoxAnswerer.h"
#include "LoadedBusgate.h"
#include "WxTestApp.h"
#include "busaccess/BridgeDriver.h"
#include "busaccess/busgate/busgate_api.h"
#include "sim/SimDaemon.h"

#include <gtest/gtest.h>
#include <wx/frame.h>

#include <cstdlib>
#include <dlfcn.h>

namespace {

TEST(BusgateLibraryBoards, MoreThanOneBoardIsReportedInABoxOverTheWindows) {
    REQUIRE_DISPLAY();
    u2csim::SimDaemon first(U2C_SIM_PATH);
    u2csim::SimDaemon second(U2C_SIM_PATH);
    ASSERT_TRUE(first.ready() && second.ready());
    setenv("TEROVAN_U2C_SOCKET", (first.socketPath() + ":" + second.socketPath()).c_str(), 1);
    wxFrame* host = wxtest::ShowEditorFrame();

    wxtest::LoadedBusgate busgate;
    ASSERT_TRUE(busgate.Loaded()) << dlerror();
    wxtest::BoxAnswerer answers({wxID_OK});
    busgate_status status{};
    EXPECT_NE(busgate.Open(status), 0u); // the first board is used
    ASSERT_TRUE(answers.Done());
    EXPECT_EQ(answers.captions.at(0), busaccess::kManyBoardsCaption);
    EXPECT_EQ(answers.texts.at(0), busaccess::kManyBoardsText);
    busgate.close(0, &status);
    host->Destroy();
    wxtest::Pump(5);
}

} // namespace

// libbusgate_c.so loaded with dlopen, headless, against the u2c-sim daemon
// running in a separate process.
#include "busaccess/busgate/busgate_api.h"
#include "sim/SimDaemon.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <dlfcn.h>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

template <typename F>
F* Bind(void* library, const char* name) {
    return reinterpret_cast<F*>(dlsym(library, name));
}

std::string ReadFile(const fs::path& path) {
    std::ifstream in(path);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

TEST(BusgateLibrary, OpensAndTalksToTheDaemonHeadless) {
    const fs::path dir = fs::temp_directory_path() / ("busgate_c_test." + std::to_string(getpid()));
    fs::create_directories(dir);
    {
        u2csim::SimDaemon daemon(U2C_SIM_PATH,
                                 {"--chip-version", "0x6000", "--chip-subversion", "0x0606"});
        ASSERT_TRUE(daemon.ready());
        setenv("TEROVAN_U2C_SOCKET", daemon.socketPath().c_str(), 1);
        setenv("QUORL_BUSGATE_LOG", (dir / "log.txt").c_str(), 1);
        setenv("QUORL_TRACE", (dir / "trace.txt").c_str(), 1);
        unsetenv("DISPLAY");

        void* library = dlopen(BUSGATE_C_PATH, RTLD_NOW | RTLD_LOCAL);
        ASSERT_NE(library, nullptr) << dlerror();
        const char* names[] = {"busgate_close",
                               "busgate_find_boards",
                               "busgate_find_boards_network",
                               "busgate_get_bitrate",
                               "busgate_get_high_level_threshold",
                               "busgate_get_i2c_vcc",
                               "busgate_get_input_testpin",
                               "busgate_get_low_level_threshold",
                               "busgate_get_output_testpin",
                               "busgate_get_termination",
                               "busgate_open",
                               "busgate_receive",
                               "busgate_set_bitrate",
                               "busgate_set_level_threshold",
                               "busgate_set_output_testpin",
                               "busgate_set_termination",
                               "busgate_transmit",
                               "busgate_transmit_receive"};
        for (const char* name : names)
            EXPECT_NE(dlsym(library, name), nullptr) << name;
        // Nothing of the library's inside is visible.
        EXPECT_EQ(dlsym(library, "_ZN7busgate7BusGate4OpenEv"), nullptr);
        EXPECT_EQ(dlsym(library, "_ZN9busaccess12BridgeDriver10BridgeOpenEv"), nullptr);

        auto findBoards = Bind<decltype(busgate_find_boards)>(library, "busgate_find_boards");
        auto open = Bind<decltype(busgate_open)>(library, "busgate_open");
        auto transmit = Bind<decltype(busgate_transmit)>(library, "busgate_transmit");
        auto receive = Bind<decltype(busgate_receive)>(library, "busgate_receive");
        auto close = Bind<decltype(busgate_close)>(library, "busgate_close");

        auto list = std::make_unique<busgate_board_list>();
        std::memset(list.get(), 0, sizeof *list);
        busgate_status status{};
        EXPECT_EQ(findBoards(list.get(), &status), list.get());
        EXPECT_EQ(list->count, 2);
        for (const busgate_board& b : list->boards)
            EXPECT_EQ(b.id, 0);

        const busgate_handle handle = open(&list->boards[1], &status);
        ASSERT_NE(handle, 0u);
        const uint8_t command[3] = {0x00, 0xB7, 0x00};
        EXPECT_EQ(transmit(handle, &status, 0x73, command, 3), 3);
        uint8_t reply[3] = {};
        EXPECT_EQ(receive(handle, &status, 0x73, sizeof reply, reply, 3), 3);
        EXPECT_EQ(reply[1], 0x06);
        EXPECT_EQ(reply[2], 0x06);
        EXPECT_EQ(receive(handle, &status, 0x73, 2, reply, 3), -1);
        close(handle, &status);
        EXPECT_EQ(transmit(handle, &status, 0x73, command, 3), -1);
        EXPECT_EQ(status.code, 0);
        dlclose(library);

        const std::string log = ReadFile(dir / "log.txt");
        EXPECT_NE(log.find("status 2 \"* Board Type: QX41xx Evaluation Board \\n \""),
                  std::string::npos)
            << log;
        EXPECT_NE(log.find("status 2 \"* Chip I2C address 0x73 \\n \""), std::string::npos);
        EXPECT_NE(log.find("status 2 \"* Chip Type: QX410M (Mobile) \\n \""), std::string::npos);
        EXPECT_NE(log.find("status 2 \"* Chip Firmware Ver: A2 (0x0606)\\n \""), std::string::npos);
        EXPECT_NE(log.find(" // Get Firmware Version \\n "), std::string::npos);
        const std::string trace = ReadFile(dir / "trace.txt");
        EXPECT_NE(trace.find("Beep(700,200)\nBeep(800,100)\n"), std::string::npos) << trace;
        unsetenv("TEROVAN_U2C_SOCKET");
        unsetenv("QUORL_BUSGATE_LOG");
        unsetenv("QUORL_TRACE");
    }
    fs::remove_all(dir);
}

} // namespace

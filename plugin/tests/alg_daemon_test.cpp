// The whole road of a parameter change: the algorithm over its resources
// switches connectivity on (the Terovan bridge), and its parameter changes
// reach a u2c-sim daemon in another process as the expected frames, each
// command frame at least 3 ms after the frame before it.
#include "foundation/RM.h"
#include "plugin/PeqAlg.h"
#include "sim/SimDaemon.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>

namespace {

namespace fs = std::filesystem;
using namespace dulm;

struct LogLine {
    long long ms = 0;
    std::string bytes; // the transfer's bytes as logged (" 00 A1 05 ...")
};

// The OUT transfers of the daemon's log.
std::vector<LogLine> OutTransfers(const std::string& path) {
    std::ifstream in(path);
    std::vector<LogLine> out;
    std::string line;
    while (std::getline(in, line)) {
        std::istringstream words(line);
        LogLine l;
        std::string us, dir;
        words >> l.ms >> us >> dir;
        if (dir != "OUT")
            continue;
        std::getline(words, l.bytes);
        out.push_back(l);
    }
    return out;
}

bool EndsWith(const std::string& s, const std::string& tail) {
    return s.size() >= tail.size() && s.compare(s.size() - tail.size(), tail.size(), tail) == 0;
}

TEST(AlgorithmWithDaemon, ParameterChangesReachTheChipWithPauses) {
    const fs::path registry =
        fs::temp_directory_path() / ("plugin_alg_daemon_test." + std::to_string(::getpid()));
    fs::create_directories(registry);
    ::setenv("QUORL_REGISTRY_DIR", registry.c_str(), 1);
    u2csim::SimDaemon daemon(U2C_SIM_PATH,
                             {"--chip-subversion", "0x0704", "--measurement", "0x4C"});
    ASSERT_TRUE(daemon.ready());
    ::setenv("TEROVAN_U2C_SOCKET", daemon.socketPath().c_str(), 1);

    KTResContainerType* container = nullptr;
    ASSERT_EQ(RMOpenResContainer(kvFM::KCStPath(fs::read_symlink("/proc/self/exe").string()), 0,
                                 container),
              0);
    {
        cPEQ_ALG alg(nullptr, container);
        ASSERT_EQ(alg.FinishCreate(), 0);
        std::vector<sCONTROL_PARAM>& params = *alg.GetParamVector();
        alg.SetParamRealWorld(PARAM_CONNECTIVITY_ON_OFF, 1);
        EXPECT_EQ(alg.CurrentConnectionType(), 2);
        alg.SetChipVersion(0x6000, 0x0704); // as the detection finds it
        params[PARAM_BAND1_STATE].realWorld[0] = 1;
        params[PARAM_BAND1_TYPE].realWorld[0] = 0;
        params[PARAM_BAND1_FRQ].realWorld[0] = 1000;
        params[PARAM_BAND1_QF].realWorld[0] = 3.0;
        alg.SetParamRealWorld(PARAM_BAND1_GAIN, 6.0);
        alg.SetParamRealWorld(PARAM_BALANCE, 0);
        alg.SetParamRealWorld(PARAM_MV_MB_CORRELATION_THRESHOLD, 20);
        EXPECT_EQ(params[PARAM_MV_MB_CORRELATION_INTENSITY].realWorld[0], 100.0);
        alg.SelectConnection(cPEQ_ALG::kConnectionNone);
    }
    RMCloseResContainer(container);
    EXPECT_EQ(daemon.stop(), 0);
    ::unsetenv("TEROVAN_U2C_SOCKET");
    ::unsetenv("QUORL_REGISTRY_DIR");
    fs::remove_all(registry);

    const std::vector<LogLine> out = OutTransfers(daemon.logPath());
    const char* const expected[] = {
        " 00 A1 05", " 00 00 00 00 00 00 00 00 48 00 00 3A 00 00 55",
        " 00 D8 00", " 00 C9 F0",
        " 01 F1 F4", " 03 B1 FA",
    };
    size_t at = 0;
    for (const char* frame : expected) {
        while (at < out.size() && !EndsWith(out[at].bytes, frame))
            ++at;
        ASSERT_LT(at, out.size()) << "missing frame" << frame;
        const bool command = std::string(frame).size() == 9;
        if (command && at > 0) {
            EXPECT_GE(out[at].ms - out[at - 1].ms, 3) << frame;
        }
        ++at;
    }
}

} // namespace

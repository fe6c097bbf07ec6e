// The algorithm object over its resources (attached to the test program)
// and the simulated chip, connected through the Dimax connection.
#pragma once

#include "TestSupport.h"
#include "foundation/RM.h"
#include "plugin/PeqAlg.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <filesystem>

namespace dulmtest {

namespace fs = std::filesystem;
using Bytes = std::vector<uint8_t>;

class AlgTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        registry = fs::temp_directory_path() / ("plugin_alg_test." + std::to_string(::getpid()));
        fs::create_directories(registry);
        ::setenv("QUORL_REGISTRY_DIR", registry.c_str(), 1);
        ASSERT_EQ(RMOpenResContainer(kvFM::KCStPath(fs::read_symlink("/proc/self/exe").string()), 0,
                                     container),
                  0);
    }
    static void TearDownTestSuite() {
        RMCloseResContainer(container);
        ::unsetenv("QUORL_REGISTRY_DIR");
        fs::remove_all(registry);
    }

    // An algorithm over the simulated chip, connected through the Dimax
    // connection (type 0), the bus record cleared; a valid `version` makes
    // the chip known, as a detection does.
    void Make(uint16_t version = 0x6000, uint16_t sub = 0x0704, uint8_t board = 1,
              bool native = true) {
        ASSERT_NO_FATAL_FAILURE(Create(native));
        ASSERT_TRUE(alg->SelectConnection(0));
        // The chip as its detection on this connection would leave it.
        alg->SetChipVersion(version, sub);
        alg->SetBoardType(board);
        Clear();
    }
    // A new algorithm as the host makes it: no connection yet; every
    // connection type it chooses is the Dimax connection to the simulated bus.
    void Create(bool native = true) {
        alg = std::make_unique<cPEQ_ALG>(nullptr, container, native, clock, [this](int32_t) {
            auto c = std::make_unique<CConnectDimax>(SimDimax::Api(), connectionClock);
            c->SetTrace(0);
            return c;
        });
        ASSERT_EQ(alg->FinishCreate(), 0);
    }
    // The chip at 0x73 replaced by one of the given version and firmware.
    void UseChip(uint16_t version, uint16_t sub) {
        sim.chip = std::make_shared<u2csim::Chip>(u2csim::ChipConfig{version, sub});
        sim.bus->attach(0x73, sim.chip);
    }
    void Clear() {
        sim.bus->clearTransfers();
        clock->ClearSleeps();
    }
    sCONTROL_PARAM& P(unsigned long i) { return (*alg->GetParamVector())[i]; }
    // Sets the value without the update hook.
    void Set(unsigned long i, double v) {
        P(i).realWorld[alg->GetActiveSetup()] = v;
        P(i).UpdateStateFromRealWorld(alg->GetActiveSetup());
    }
    double V(unsigned long i) { return P(i).realWorld[alg->GetActiveSetup()]; }
    // Every frame written to the chip so far must follow a pause of at least
    // 3 ms when it is a command frame (3 bytes with a command byte >= 0xA0).
    void ExpectCommandPauses(const std::vector<Bytes>& writes) {
        const auto sleeps = clock->Sleeps();
        for (size_t i = 0; i < writes.size(); ++i) {
            if (writes[i].size() != 3 || writes[i][1] < 0xA0)
                continue;
            bool paused = false;
            for (const auto& s : sleeps)
                paused |= s.mark == i && s.ms >= 3;
            EXPECT_TRUE(paused) << "no pause before frame " << i;
        }
    }

    static inline fs::path registry;
    static inline KTResContainerType* container = nullptr;
    SimDimax sim;
    std::shared_ptr<FakeClock> clock = std::make_shared<FakeClock>();
    std::shared_ptr<FakeClock> connectionClock = std::make_shared<FakeClock>();
    std::unique_ptr<cPEQ_ALG> alg;

    void SetUp() override {
        clock->SetMark([this] { return sim.Writes().size(); });
    }
};

} // namespace dulmtest

// Speaker rotation against the simulated chip's patch resources.
#include "SimBus.h"

#include "loggerui/Rotation.h"

#include <gtest/gtest.h>

using namespace loggerui;
using namespace busgate::testing;
using u2c::Bytes;

namespace {

struct RotationOnChip : ::testing::Test {
    explicit RotationOnChip(uint32_t hardware = 0x6000, uint32_t straps = 0x060000)
        : sim(WithChip(hardware, hardware == 0x7000 ? 0x0704 : 0x0606, straps)) {
        EXPECT_NE(sim.bus->Open(), 0u);
        sim.ClearLog();
        before = sim.Writes().size();
    }
    std::vector<Bytes> Sent() {
        std::vector<Bytes> all = sim.Writes();
        return {all.begin() + static_cast<long>(before), all.end()};
    }
    SimBus sim;
    size_t before = 0;
};

TEST_F(RotationOnChip, StateTwoProgramsBothResourcesUnderSoftMute) {
    EXPECT_EQ(CheckRotationResources(*sim.bus), RotationCheck::Free);
    // The check is not logged.
    EXPECT_EQ(sim.Text(), "");
    before = sim.Writes().size();
    EXPECT_TRUE(ApplyRotation(*sim.bus, 258));
    const std::vector<Bytes> sent = Sent();
    ASSERT_GE(sent.size(), 2u);
    EXPECT_EQ(sent.front(), (Bytes{0x00, 0xC7, 0x01}));
    EXPECT_EQ(sent.back(), (Bytes{0x00, 0xC7, 0x00}));
    EXPECT_EQ(sim.chip->patch(6), (u2csim::PatchResource{0x3008F3, 0x8CF04, 0x8CE05}));
    EXPECT_EQ(sim.chip->patch(7), (u2csim::PatchResource{0x300901, 0x8CF06, 0x8CE07}));
    EXPECT_TRUE(sim.HasLine("traffic", 1, "LOUT1 -> R, ROUT1 -> L  \n ")) << sim.Text();
    EXPECT_TRUE(sim.HasLine("traffic", 1, "LOUT2 -> R, ROUT2 -> L  \n "));
}

TEST_F(RotationOnChip, ResourcesHeldByAnotherPatchBlockTheRotation) {
    sim.chip->setPatch(6, {0x1008F3, 1, 2}); // the rotation's own patch
    EXPECT_EQ(CheckRotationResources(*sim.bus), RotationCheck::Free);
    sim.chip->setPatch(7, {0x100123, 1, 2});
    EXPECT_EQ(CheckRotationResources(*sim.bus), RotationCheck::Occupied);
    sim.chip->setPatch(7, {0x000123, 1, 2}); // not in use
    EXPECT_EQ(CheckRotationResources(*sim.bus), RotationCheck::Free);
}

TEST_F(RotationOnChip, AFailedReadOrAnotherResultSendsNothing) {
    EXPECT_FALSE(ApplyRotation(*sim.bus, 2)); // the close box's cancel code
    EXPECT_TRUE(Sent().empty());
    sim.chip->setHeldInReset(true);
    EXPECT_EQ(CheckRotationResources(*sim.bus), RotationCheck::ReadFailed);
    EXPECT_FALSE(ApplyRotation(*sim.bus, 256));
}

struct RotationOnQZ625x : RotationOnChip {
    RotationOnQZ625x() : RotationOnChip(0x7000, 0x020000) {}
};

TEST_F(RotationOnQZ625x, DoesNothing) {
    EXPECT_EQ(CheckRotationResources(*sim.bus), RotationCheck::NotApplicable);
    EXPECT_TRUE(Sent().empty());
}

} // namespace

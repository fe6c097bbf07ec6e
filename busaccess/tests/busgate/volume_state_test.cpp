// The remembered volume state saved and put back around a page's own
// volume commands.
#include "SimBus.h"

#include <gtest/gtest.h>

using namespace busgate;
using namespace busgate::testing;

TEST(VolumeState, RestoringPutsBackWhatTheDecoderRemembered) {
    SimBus sim;
    sim.OpenBridgeOnly();
    ASSERT_EQ(sim.Send({0x01, 0xD0, 0x2C}), 3); // DulmVolume gain 300
    ASSERT_EQ(sim.Send({0xBC, 0xC4, 0xD5}), 3); // SSI
    ASSERT_EQ(sim.Send({0x00, 0xC2, 0x01}), 3); // speaker type
    const BusGate::VolumeState saved = sim.bus->SaveVolumeState();
    EXPECT_EQ(saved.volumeGain, 300u);
    EXPECT_EQ(saved.ssi, 0xBCD5);
    EXPECT_EQ(saved.speakerType, 1u);

    // The page's own volume commands are remembered like any other ...
    ASSERT_EQ(sim.Send({0x01, 0xD0, 0x90}), 3);
    ASSERT_EQ(sim.Send({0x00, 0xC2, 0x00}), 3);
    EXPECT_EQ(sim.bus->LastVolumeGain(), 400u);
    // ... until the saved state goes back.
    sim.bus->RestoreVolumeState(saved);
    EXPECT_EQ(sim.bus->LastVolumeGain(), 300u);
    EXPECT_EQ(sim.bus->LastSsi(), 0xBCD5);
    EXPECT_EQ(sim.bus->LastSpeakerType(), 1u);
    EXPECT_EQ(sim.bus->MixerGains(), saved.mixerGains);
}

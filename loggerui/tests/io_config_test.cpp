// The I/O page's images, pin table and register traffic on the simulated
// chip.
#include "SimBus.h"

#include "loggerui/IoConfig.h"

#include <gtest/gtest.h>

using namespace loggerui;
using namespace busgate::testing;
using u2c::Bytes;

namespace {

int RowOf(uint32_t chipType, const std::string& entry) {
    for (int row : PinRowsFor(chipType))
        if (PinEntry(row) == entry)
            return row;
    return -1;
}

TEST(IoImages, TheQX410BListsItsSevenPins) {
    EXPECT_EQ(PinRowsFor(1), (std::vector<int>{0, 1, 16, 19, 26, 31, 37}));
    std::vector<std::string> entries;
    for (int row : PinRowsFor(1))
        entries.push_back(PinEntry(row));
    EXPECT_EQ(entries, (std::vector<std::string>{"GPIO00/DCLK", "GPIO01/SYNC", "GPO06/SDO0",
                                                 "GPO07/CLKOUT", "GPO17", "GPO18", "GPIO20/SDI0"}));
    EXPECT_EQ(PinEntry(17), "GPO07/SDO1/CLKOUT");
    EXPECT_EQ(PinRowsFor(0).size(), 38u);
}

TEST(IoImages, ATypeChangeResetsTheImagesBeforeTheFixedBits) {
    IoImages m;
    PrepareIoImages(m, 4, false);
    EXPECT_EQ(m.selection1, (0x3FFFu & 0xDF) | 0x3F20);
    EXPECT_EQ(m.selection2, (0x40u & 0x31) | 0x40);
    EXPECT_EQ(m.clock, 0xA40000u);
    m.outputEnable = 0x5;
    PrepareIoImages(m, 4, false);
    EXPECT_EQ(m.outputEnable, 0x5u); // same type: the user's settings stay
    PrepareIoImages(m, 8, true);
    EXPECT_EQ(m.outputEnable, 0u);
    EXPECT_EQ(m.pullUp, 0xFFFFFFu);
    EXPECT_EQ(m.selection1, (0x3FFFu & 0x7F) | 0x3F00);
    EXPECT_EQ(m.selection2, ((0x9C0u | 0x8) & 0x3FB9) | 0x40);
}

TEST(IoImages, FunctionsAndSettingsOfOnePin) {
    IoImages m;
    PrepareIoImages(m, 2, false);
    const int clkout = RowOf(2, "GPO07/SDO1/CLKOUT");
    ChooseFunction(m, clkout, 2);
    PinView v = ViewOf(m, clkout);
    EXPECT_EQ(v.function, 2);
    EXPECT_EQ(v.firstLabel, "Source Clock :");
    EXPECT_EQ(v.firstSelected, 1);  // PLL
    EXPECT_EQ(v.secondSelected, 9); // divider 10
    ChooseSetting(m, clkout, ioitem::kDivider + 3);
    ChooseSetting(m, clkout, ioitem::kRoout);
    v = ViewOf(m, clkout);
    EXPECT_EQ(v.firstSelected, 2);
    EXPECT_FALSE(v.secondShown);
    ChooseSetting(m, clkout, ioitem::kPll);
    v = ViewOf(m, clkout);
    EXPECT_TRUE(v.secondShown);
    EXPECT_EQ(v.secondLabel, "Clock Divider :");
    EXPECT_EQ(v.second[static_cast<size_t>(v.secondSelected)].text, "4");

    // The clock output takes only its own bit: SDO1's bit stays as it was.
    ChooseFunction(m, clkout, 1);
    ChooseFunction(m, clkout, 2);
    EXPECT_EQ(m.selection1 & 0x80, 0x80u);
    EXPECT_EQ(m.selection2 & 1, 1u);
    EXPECT_EQ(CurrentFunction(m, clkout), 2);
    ChooseFunction(m, clkout, 0);
    EXPECT_EQ(m.selection1 & 0x80, 0u);
    EXPECT_EQ(m.selection2 & 1, 0u);

    const int gpio0 = RowOf(2, "GPIO00/DCLK");
    ChooseFunction(m, gpio0, 0);
    v = ViewOf(m, gpio0);
    EXPECT_EQ(v.secondLabel, "Pull-Up :");
    ChooseSetting(m, gpio0, ioitem::kOutputEnable);
    v = ViewOf(m, gpio0);
    EXPECT_EQ(v.secondLabel, "Output Value :");
    EXPECT_EQ(v.second[0].text, "LOW");
    ChooseFunction(m, gpio0, 1);
    v = ViewOf(m, gpio0);
    EXPECT_FALSE(v.firstShown || v.secondShown);

    // Pins in GPIO Selection 2 with either sense of their bit.
    IoImages qz;
    PrepareIoImages(qz, 8, false);
    for (const char* entry : {"GPO18/SDO2", "GPO17/EVNT", "GPIO16/nMUTE"}) {
        const int row = RowOf(8, entry);
        ASSERT_GE(row, 0) << entry;
        ChooseFunction(qz, row, 1);
        EXPECT_EQ(CurrentFunction(qz, row), 1) << entry;
        ChooseFunction(qz, row, 0);
        EXPECT_EQ(CurrentFunction(qz, row), 0) << entry;
    }
}

struct IoOnChip : ::testing::Test {
    IoOnChip() {
        EXPECT_NE(sim.bus->Open(), 0u);
        PrepareIoImages(images, sim.bus->State().chipTypeCode, false);
        sim.ClearLog();
        before = sim.Writes().size();
    }
    std::vector<Bytes> Written() {
        std::vector<Bytes> all = sim.Writes();
        std::vector<Bytes> writes;
        for (size_t i = before; i < all.size(); ++i)
            if (all[i].size() == 3 && all[i][1] == 0xAB)
                writes.push_back(all[i]);
        before = all.size();
        return writes;
    }
    SimBus sim{WithChip(0x6000, 0x0606)};
    IoImages images;
    size_t before = 0;
};

TEST_F(IoOnChip, ApplyWritesOnlyWhatDiffers) {
    ApplyIoImages(*sim.bus, images);
    // The chip starts with zeros: the clock, pull-ups and both selections.
    EXPECT_EQ(Written().size(), 4u);
    EXPECT_EQ(sim.chip->registerX(ioreg::kClockControl), 0xA40000u);
    EXPECT_EQ(sim.chip->registerX(ioreg::kSelection1), images.selection1);
    ApplyIoImages(*sim.bus, images);
    EXPECT_TRUE(Written().empty());
    images.pullUp &= ~1u;
    ApplyIoImages(*sim.bus, images);
    EXPECT_EQ(Written(), (std::vector<Bytes>{{0xFF, 0xAB, 0xF2}}));
    // The clock's other bits are kept.
    sim.chip->setRegisterX(ioreg::kClockControl, 0x000123);
    ApplyIoImages(*sim.bus, images);
    EXPECT_EQ(sim.chip->registerX(ioreg::kClockControl), 0xA40123u);
}

TEST_F(IoOnChip, InjectAlwaysWritesTheFiveRegisters) {
    ApplyIoImages(*sim.bus, images);
    Written();
    InjectIoImages(*sim.bus, images);
    EXPECT_EQ(Written(), (std::vector<Bytes>{{0xFF, 0xAB, 0xF2},
                                             {0xFF, 0xAB, 0xDB},
                                             {0xFF, 0xAB, 0xDC},
                                             {0xFF, 0xAB, 0xF3},
                                             {0xFF, 0xAB, 0xDA}}));
    EXPECT_NE(sim.Text().find("GPIO"), std::string::npos) << sim.Text();
}

TEST_F(IoOnChip, WithoutAReadyChipNothingIsRead) {
    sim.bus->State().ready = 0;
    IoImages loaded = images;
    EXPECT_FALSE(ReadIoInput(*sim.bus, loaded));
    ApplyIoImages(*sim.bus, images);
    LoadIoImages(*sim.bus, loaded, false);
    EXPECT_EQ(loaded, images);
    EXPECT_EQ(sim.Writes().size(), before);
}

TEST_F(IoOnChip, LoadReadsTheChipIntoTheImages) {
    sim.chip->setRegisterX(ioreg::kOutputEnable, 0x42);
    sim.chip->setRegisterX(ioreg::kInput, 0x1);
    sim.chip->setRegisterX(ioreg::kClockControl, 0x8C0000);
    LoadIoImages(*sim.bus, images, false);
    EXPECT_EQ(images.outputEnable, 0x42u);
    EXPECT_EQ(images.clock, 0x8C0000u);
    EXPECT_EQ(ViewOf(images, 0).input, "HIGH");
    // The fixed bits are forced after the read.
    EXPECT_EQ(images.selection1, 0x3F20u);
}

} // namespace

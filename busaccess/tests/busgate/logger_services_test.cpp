#include "busaccess/busgate/HeadlessLogger.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using namespace busgate;

namespace {

TEST(HeadlessLogger, WritesEveryTextInOrderWithItsPaneAndColour) {
    std::vector<std::string> out;
    HeadlessLogger ui([&](std::string_view r) { out.emplace_back(r); });
    LogQueue log(ui);
    log.SetTrafficColor(3);
    log.Printf("Fail to open %s. \n ", "USB-to-I2C device");
    log.SetTrafficColor(3); // unchanged: nothing queued
    log.SetColorIfChanged(2);
    log.PrintfMain("* Chip I2C address 0x%02X \n ", 0x73);
    log.Append("tab\there \"quoted\" back\\slash");
    log.ResetFormat();
    log.Append("after");
    log.ResetFormatMain();
    log.PrintfMain("x");
    log.SetEvbColor(3);
    log.PrintfEvb(" * Found %s device. \n ", "TAS5713");
    ui.QueueClear(Pane::Evb);
    EXPECT_EQ(out, (std::vector<std::string>{
                       "traffic 3 \"Fail to open USB-to-I2C device. \\n \"\n",
                       "status 2 \"* Chip I2C address 0x73 \\n \"\n",
                       "traffic 3 \"tab\\there \\\"quoted\\\" back\\\\slash\"\n",
                       "traffic clear\n",
                       "traffic 1 \"after\"\n",
                       "status clear\n",
                       "status 1 \"x\"\n",
                       "evb 3 \" * Found TAS5713 device. \\n \"\n",
                       "evb clear\n",
                   }));
}

TEST(HeadlessLogger, KeepsWhatTheWindowsWouldShow) {
    HeadlessLogger ui([](std::string_view) {});
    EXPECT_FALSE(ui.MainWindowExists());
    EXPECT_EQ(ui.FindHostWindow(), nullptr);
    ui.CreateMainDialog(nullptr);
    EXPECT_TRUE(ui.MainWindowExists());
    EXPECT_FALSE(ui.IsChecked(ctl::kClearLogOnStart));
    ui.SetChecked(ctl::kClearLogOnStart, true);
    EXPECT_TRUE(ui.IsChecked(ctl::kClearLogOnStart));
    CEvbCfg_Dialog* evb = ui.CreateEvbDialog(4);
    ASSERT_NE(evb, nullptr);
    EXPECT_EQ(ui.CreateEvbDialog(4), evb);
    ui.DestroyEvbDialogs();
    EXPECT_EQ(ui.EvbDialogType(), 0);
}

TEST(LoggerServices, ColourRefsAndFunctionNames) {
    const uint32_t expected[] = {0, 0, 0x008000, 0x0000FF, 0xFF0000, 0xE22B8A, 0x008CFF, 0x808000};
    for (int code = 0; code < 8; ++code)
        EXPECT_EQ(LogColourRef(code), expected[code]) << code;
    EXPECT_EQ(LogColourRef(99), 0u);
    struct {
        const char* text;
        bool valid;
    } names[] = {{"preset_1", true}, {"_x", true},   {"1abc", false},
                 {"", false},        {"a-b", false}, {"a b", false}};
    for (const auto& n : names)
        EXPECT_EQ(IsValidFunctionName(n.text), n.valid) << n.text;
}

} // namespace

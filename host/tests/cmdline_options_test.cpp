#include "HostTestSupport.h"
#include "host/CmdLineOptions.h"

#include <gtest/gtest.h>

#include <sstream>

namespace {

KTErr Parse(std::vector<std::string> arguments, std::string* printed = nullptr) {
    arguments.insert(arguments.begin(), "rigwell");
    std::vector<const char*> argv;
    for (const std::string& argument : arguments)
        argv.push_back(argument.c_str());
    testing::internal::CaptureStdout();
    const KTErr status = ParseCommandLine(uint16_t(argv.size()), argv.data());
    const std::string out = testing::internal::GetCapturedStdout();
    if (printed)
        *printed = out;
    return status;
}

std::string ErrorLine(const std::string& index, const std::string& pair,
                      const std::string& parameter) {
    return "TestIndex: " + index + "\n\tERROR loading plug-in: " + pair +
           ", Invalid parameter: " + parameter + "\n\n";
}

TEST(CmdLineOptions, FlagsLongAndShortFormsAndReset) {
    ASSERT_EQ(Parse({"-c", "--bypass", "-s", "--test", "-g", "--exclusive", "-mi", "--noprocess"}),
              eNoErr);
    const KCCmdLineOptions& o = GetCmdLineOptions();
    EXPECT_TRUE(o.cmdLineMode && o.bypass && o.silent && o.test && o.gui && o.exclusive &&
                o.multiInstance && o.noProcess);
    EXPECT_FALSE(o.help || o.info);
    // Every parse starts from the reset record.
    ASSERT_EQ(Parse({"-h"}), eNoErr);
    EXPECT_TRUE(o.cmdLineMode && o.help);
    EXPECT_FALSE(o.bypass || o.silent || o.test || o.multiInstance);
    ASSERT_EQ(Parse({"--info"}), eNoErr);
    EXPECT_TRUE(o.cmdLineMode && o.info && !o.help);
    ASSERT_EQ(Parse({}), eNoErr);
    EXPECT_FALSE(o.cmdLineMode);
    EXPECT_TRUE(o.componentType.IsUnset() && o.componentSubType.IsUnset());
    EXPECT_FALSE(o.pluginFolder.IsValid());
    EXPECT_TRUE(o.testIndex.empty());
    EXPECT_EQ(o.instanceCount, 0);
}

TEST(CmdLineOptions, ComponentCodes) {
    const KCCmdLineOptions& o = GetCmdLineOptions();
    ASSERT_EQ(Parse({"-n", "abcd"}), eNoErr);
    EXPECT_EQ(FourCCToString(o.componentSubType), "abcd");
    EXPECT_EQ(FourCCToString(o.componentType), "raPI");
    ASSERT_EQ(Parse({"--name", "abcd", "efgh", "-c"}), eNoErr);
    EXPECT_EQ(FourCCToString(o.componentType), "efgh");
    EXPECT_TRUE(o.cmdLineMode);
    // Any four characters after the sub-type are the type.
    ASSERT_EQ(Parse({"-n", "abcd", "-psn"}), eNoErr);
    EXPECT_EQ(FourCCToString(o.componentType), "-psn");
}

TEST(CmdLineOptions, ErrorsPrintOneLineWithWhatWasParsed) {
    ScratchFolder scratch;
    const std::string missing = scratch.File("nothing-here");
    struct Case {
        std::vector<std::string> arguments;
        std::string expected;
    } cases[] = {
        {{"-c", "-i", "7", "-p"}, ErrorLine("7", "[????, ????]", " -p")},
        {{"-n", "abc"}, ErrorLine("", "[????, ????]", "abc")},
        {{"-n", "abcd", "-n"}, ErrorLine("", "[raPI, abcd]", "-n")},
        {{"--plugin", "abcd"}, ErrorLine("", "[????, ????]", "--plugin")},
        {{"--preset", "x"}, ErrorLine("", "[????, ????]", "--preset")},
        {{"-C"}, ErrorLine("", "[????, ????]", "-C")},
        {{"--CMD"}, ErrorLine("", "[????, ????]", "--CMD")},
        {{"-c=1"}, ErrorLine("", "[????, ????]", "-c=1")},
        {{"-f", missing}, ErrorLine("", "[????, ????]", " " + missing)},
        {{"-i"}, ErrorLine("", "[????, ????]", "-i")},
        {{"-x"}, ErrorLine("", "[????, ????]", "-x")},
    };
    for (const Case& c : cases) {
        std::string printed;
        EXPECT_EQ(Parse(c.arguments, &printed), eGenericErr) << c.arguments[0];
        EXPECT_EQ(printed, c.expected) << c.arguments[0];
    }
    // Quietly, nothing is printed.
    const char* argv[] = {"rigwell", "-q"};
    testing::internal::CaptureStdout();
    EXPECT_EQ(ParseCommandLine(2, argv, false), eGenericErr);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
}

TEST(CmdLineOptions, PathsAbsoluteAndRelative) {
    ScratchFolder scratch;
    const std::string folder = scratch.MakeFolder("plugins");
    WriteText(scratch.File("in.wav"), "x");
    const std::string previous = std::filesystem::current_path();
    std::filesystem::current_path(scratch.path);
    const KTErr status = Parse({"-p", "plugins", "--file", scratch.File("in.wav"), "-o", "."});
    std::filesystem::current_path(previous);
    ASSERT_EQ(status, eNoErr);
    const KCCmdLineOptions& o = GetCmdLineOptions();
    namespace fs = std::filesystem;
    EXPECT_EQ(fs::canonical(o.pluginFolder.GetPathString()), fs::canonical(folder));
    EXPECT_EQ(fs::canonical(o.inputFile.GetPathString()), fs::canonical(scratch.File("in.wav")));
    EXPECT_EQ(fs::canonical(o.outputFolder.GetPathString()), fs::canonical(scratch.path));
    EXPECT_FALSE(o.referenceFile.IsValid());
}

TEST(CmdLineOptions, IndexCountAndProcessSerialNumber) {
    const KCCmdLineOptions& o = GetCmdLineOptions();
    ASSERT_EQ(Parse({"-i", "run 7", "-x", "  12abc"}), eNoErr);
    EXPECT_EQ(o.testIndex, "run 7");
    EXPECT_EQ(o.instanceCount, 12);
    ASSERT_EQ(Parse({"-x", "abc"}), eNoErr);
    EXPECT_EQ(o.instanceCount, 0);
    ASSERT_EQ(Parse({"-psn_0_1234", "-h", "-c"}), eNoErr);
    EXPECT_TRUE(o.cmdLineMode);
    EXPECT_FALSE(o.help);
}

TEST(CmdLineOptions, FourCCPair) {
    std::ostringstream out;
    PrintFourCCPair(out, KV_FOURCC("raPI"), KV_FOURCC("Dulm"));
    EXPECT_EQ(out.str(), "[raPI, Dulm]");
}

} // namespace

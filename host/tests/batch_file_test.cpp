#include "HostTestSupport.h"
#include "host/BatchFile.h"
#include "host/CmdLineOptions.h"

#include <gtest/gtest.h>

namespace {

TEST(SplitCommandLine, Cases) {
    struct Case {
        std::string text;
        KTErr status;
        std::vector<std::string> arguments;
    } cases[] = {
        {"-c -f \"my file.wav\"", eNoErr, {"-c", "-f", "my file.wav"}},
        {"-n abcd -f 'a b'", eNoErr, {"-n", "abcd", "-f", "a b"}},
        {"  -c\t\t-t   ", eNoErr, {"-c", "-t"}},
        {"", eNoErr, {}},
        {"\"\" x", eNoErr, {"", "x"}},
        {"\"a b\"c", eNoErr, {"a b", "c"}},
        {"a\"b c\"", eNoErr, {"a\"b", "c\""}},
        {"'it\"s' x", eNoErr, {"it\"s", "x"}},
        {"-c -f \"unterminated file", eGenericErr, {"-c", "-f"}},
        {"-c '", eGenericErr, {"-c"}},
    };
    for (const Case& c : cases) {
        std::vector<std::string> arguments;
        EXPECT_EQ(SplitCommandLine(c.text, arguments), c.status) << c.text;
        EXPECT_EQ(arguments, c.arguments) << c.text;
    }
}

TEST(BatchFile, LinesEndAtShortLinesAndDropCarriageReturns) {
    using Lines = std::vector<std::string>;
    EXPECT_EQ(SplitBatchLines("-c -t\n-c -s\n"), (Lines{"-c -t", "-c -s"}));
    EXPECT_EQ(SplitBatchLines("-c -t\r\n-c\r\n"), (Lines{"-c -t", "-c"}));
    // An empty second line ends the batch; so does a line of one character.
    EXPECT_EQ(SplitBatchLines("-c -t\n\n-c -s\n"), (Lines{"-c -t"}));
    EXPECT_EQ(SplitBatchLines("-c -t\nx\n-c -s\n"), (Lines{"-c -t"}));
    // The carriage return is kept only as the first character.
    EXPECT_EQ(SplitBatchLines("\r-c\n"), (Lines{"\r-c"}));
    EXPECT_EQ(SplitBatchLines("-c -t\r junk\n"), (Lines{"-c -t"}));
    // A last line without its line end still runs when it is long enough.
    EXPECT_EQ(SplitBatchLines("-c\n-t -c"), (Lines{"-c", "-t -c"}));
    // A line longer than 1023 characters is cut, runs, and ends the batch.
    const std::string longLine(1500, 'a');
    const Lines cut = SplitBatchLines(longLine + "\n-c\n");
    ASSERT_EQ(cut.size(), 1u);
    EXPECT_EQ(cut[0], std::string(1023, 'a'));
}

TEST(BatchFile, ReadStopsAtNulAndReportsMissingFile) {
    ScratchFolder scratch;
    WriteText(scratch.File("list"), std::string("-c -t\n\0-c -s\n", 13));
    std::string text;
    ASSERT_EQ(ReadBatchFile(kvFM::KCStPath(scratch.File("list")), text), eNoErr);
    EXPECT_EQ(text, "-c -t\n");
    EXPECT_EQ(ReadBatchFile(kvFM::KCStPath(scratch.File("none")), text), eFMFileNotFound);
    EXPECT_EQ(text, "");
}

TEST(BatchFile, RunsEveryLineAndKeepsTheLastFailure) {
    ScratchFolder scratch;
    WriteText(scratch.File("inner"), "-c\n");
    const std::string text = "-c -i one\n"
                             "-c -i two -x 3\n"
                             "-c -b " +
                             scratch.File("inner") +
                             "\n"
                             "-c -i \"four 4\"\n"
                             "-q\n";
    std::vector<std::string> ran;
    std::vector<KTErr> handed;
    testing::internal::CaptureStdout();
    const KTErr result = RunBatchLines(text, eNoErr, [&](KTErr parseStatus) {
        handed.push_back(parseStatus);
        if (parseStatus != eNoErr)
            return parseStatus;
        ran.push_back(GetCmdLineOptions().testIndex);
        return GetCmdLineOptions().instanceCount == 3 ? KTErr(-8007) : eNoErr;
    });
    const std::string printed = testing::internal::GetCapturedStdout();
    EXPECT_EQ(ran, (std::vector<std::string>{"one", "two", "four 4"}));
    EXPECT_EQ(handed,
              (std::vector<KTErr>{eNoErr, eNoErr, eCommandLineParameter, eNoErr, eGenericErr}));
    // The last failing line's status: the bad option of the last line.
    EXPECT_EQ(result, eGenericErr);
    EXPECT_NE(printed.find("Invalid parameter: -q\n"), std::string::npos);
    // Without failures the read's status stands.
    EXPECT_EQ(RunBatchLines("-c\n", eNoErr, [](KTErr s) { return s; }), eNoErr);
}

} // namespace

#include "HostTestSupport.h"
#include "host/CmdLineOptions.h"
#include "host/CmdLineRunner.h"
#include "host/TestFramework.h"

#include "audio/KCAudioFileSampleSource.h"
#include "audio/WavFile.h"

#include <gtest/gtest.h>

#include <limits>
#include <sys/stat.h>

namespace {

TEST(TestReports, Lines) {
    EXPECT_EQ(TestAnnouncementLine("Dulm", "DulmAudioDSP", KV_FOURCC("raPI"), KV_FOURCC("Dulm")),
              "Name: 'Dulm', File: 'DulmAudioDSP', [raPI, Dulm]\n");
    EXPECT_EQ(TestResultLine("Dulm", eNoErr), "\tOK loading plug-in: Dulm\n");
    EXPECT_EQ(TestResultLine("Dulm", ePluginOpenFailed),
              "\tERROR loading plug-in: Dulm\n\tePluginOpenFailed (-8007)\n");
    EXPECT_EQ(VerdictLine(eNoErr), "\t*** OK    ***\n");
    EXPECT_EQ(VerdictLine(ePluginOpenFailed), "\t*** ERROR *** err = ePluginOpenFailed (-8007)\n");
    EXPECT_EQ(ComponentListLine("Dulm", KV_FOURCC("raPI"), KV_FOURCC("Dulm")),
              "Name: 'Dulm', compType: 'raPI', subType: 'Dulm'\n");
    EXPECT_EQ(CancellationReport("", eNoErr, "/o/in_Dulm.wav", "\tProcess micSec: 1\n"),
              "TestIndex:\n\tOutput file: /o/in_Dulm.wav\n\tProcess micSec: 1\n");
    EXPECT_EQ(CancellationReport("3", eFMFileNotFound, "/o", "cpu"),
              "TestIndex:3\n\ttError Output file: /o\n");
}

// A test that reports fixed lines and a fixed status.
class ScriptedTest : public KCTestBase {
public:
    explicit ScriptedTest(KTErr status) : status(status) {}
    KTErr Run() override {
        broadcaster.BroadcastTestStart("Name: 'x'\n");
        broadcaster.BroadcastMessage("message\n");
        broadcaster.BroadcastTestResult("result\n");
        return status;
    }
    KTErr status;
};

TEST(TestReports, RunnerPrefixesOnlyTheStartLineAndKeepsTheLastFailure) {
    const char* argv[] = {"rigwell", "-c", "-i", "7"};
    testing::internal::CaptureStdout();
    ASSERT_EQ(ParseCommandLine(4, argv), eNoErr);
    KCCmdLinePluginRunner runner(nullptr);
    runner.AddTest(std::make_unique<ScriptedTest>(-1));
    runner.AddTest(std::make_unique<ScriptedTest>(-8007));
    runner.AddTest(std::make_unique<ScriptedTest>(0));
    const KTErr result = runner.RunTests();
    const std::string out = testing::internal::GetCapturedStdout();
    EXPECT_EQ(result, -8007);
    const std::string one = "TestIndex: 7, Name: 'x'\nmessage\nresult\n";
    EXPECT_EQ(out, one + one + one);
    EXPECT_EQ(runner.RunTests(), eNoErr); // the tests are gone
}

TEST(Cancellation, DifferenceLevels) {
    const float a[] = {0.5f, -0.25f, 0.0f};
    const float b[] = {0.5f, -0.25f, 0.0f};
    KSDifferenceLevels same = ComputeDifferenceLevels(a, b, 3);
    EXPECT_NEAR(same.peak, -200.0f, 0.01f);
    EXPECT_EQ(same.position, 0);
    EXPECT_NEAR(same.mean, -200.0f, 0.01f);
    const float c[] = {0.5f, 0.75f, 0.0f};
    KSDifferenceLevels different = ComputeDifferenceLevels(a, c, 3);
    EXPECT_NEAR(different.peak, 0.0f, 0.001f); // |(-0.25) - 0.75| = 1
    EXPECT_EQ(different.position, 1);
    EXPECT_NEAR(different.mean, (-200.0f + 0.0f - 200.0f) / 3, 0.01f);
    KSDifferenceLevels none = ComputeDifferenceLevels(a, c, 0);
    EXPECT_EQ(none.mean, -200.0f);
}

TEST(Cancellation, MeanLevelHoldsAtAnyLength) {
    // Ten minutes of identical samples: -200 dB, as for three samples.
    const std::vector<float> tenMinutes(size_t(600) * 44100, 0.25f);
    const KSDifferenceLevels same =
        ComputeDifferenceLevels(tenMinutes.data(), tenMinutes.data(), int64_t(tenMinutes.size()));
    EXPECT_NEAR(same.mean, -200.0f, 0.001f);
    EXPECT_EQ(same.position, 0);

    // A constant difference of 2^-15 over four million samples: its own
    // level, about -90.3 dB, however many samples are summed.
    const std::vector<float> a(4000000, 0.5f);
    const std::vector<float> b(a.size(), 0.5f + 0x1p-15f);
    const float one = ComputeDifferenceLevels(a.data(), b.data(), 1).mean;
    EXPECT_NEAR(one, -90.309f, 0.001f);
    EXPECT_EQ(ComputeDifferenceLevels(a.data(), b.data(), int64_t(a.size())).mean, one);

    // Taken in pieces, the same figures as in one go.
    KCDifferenceLevelsSum pieces;
    std::vector<float> mixed(b);
    mixed[2500000] = 0.0f;
    for (size_t at = 0; at < a.size(); at += 300000)
        EXPECT_EQ(pieces.Add(a.data() + at, mixed.data() + at,
                             int64_t(std::min<size_t>(300000, a.size() - at))),
                  -1);
    const KSDifferenceLevels whole =
        ComputeDifferenceLevels(a.data(), mixed.data(), int64_t(a.size()));
    EXPECT_EQ(pieces.Result().peak, whole.peak);
    EXPECT_EQ(pieces.Result().position, 2500000);
    EXPECT_EQ(pieces.Result().mean, whole.mean);
}

void WriteWav(const std::string& file, int64_t frames, int channels, float value = 0.25f,
              int32_t rate = 44100) {
    std::vector<float> samples(size_t(frames * channels), value);
    cWavFileWrite writer{kvFM::KCStPath(file)};
    writer.SetSampleRate(rate);
    writer.SetBitDepth(16);
    writer.SetNumChans(channels);
    writer.SetNumSamples(frames);
    ASSERT_EQ(writer.SaveSampleDataFromFloat(samples.data()), eNoErr);
    ASSERT_EQ(writer.Close(), eNoErr);
}

std::string Compare(const std::string& output, const std::string& reference, bool& compared) {
    KCAudioFileSampleSource out{kvFM::KCStPath(output)};
    KCAudioFileSampleSource ref{kvFM::KCStPath(reference)};
    EXPECT_TRUE(out.IsValid());
    EXPECT_TRUE(ref.IsValid());
    testing::internal::CaptureStdout();
    compared = CompareAudioFiles(out, ref);
    return testing::internal::GetCapturedStdout();
}

TEST(Cancellation, CompareFiles) {
    ScratchFolder scratch;
    WriteWav(scratch.File("in.wav"), 1000, 2);
    WriteWav(scratch.File("ref32.wav"), 1032, 2);
    WriteWav(scratch.File("ref33.wav"), 1033, 2);
    WriteWav(scratch.File("mono.wav"), 1000, 1);
    bool compared = false;
    EXPECT_EQ(Compare(scratch.File("in.wav"), scratch.File("in.wav"), compared),
              "\tCancellation Test Results:\t-200.000000\t-200.000000\t0\n");
    EXPECT_TRUE(compared);
    Compare(scratch.File("in.wav"), scratch.File("ref32.wav"), compared);
    EXPECT_TRUE(compared);
    EXPECT_EQ(Compare(scratch.File("in.wav"), scratch.File("ref33.wav"), compared),
              "Error comparing files, files size does not match source : 1000  reference : 1033 "
              ".\n");
    EXPECT_FALSE(compared);
    EXPECT_EQ(Compare(scratch.File("in.wav"), scratch.File("mono.wav"), compared),
              "Error comparing files, files number of channels does not match.   \n");
    EXPECT_FALSE(compared);
}

TEST(Cancellation, NonFiniteSamplesFailTheComparison) {
    ScratchFolder scratch;
    const float nan = std::numeric_limits<float>::quiet_NaN();
    const float inf = std::numeric_limits<float>::infinity();
    auto floatWav = [&](const char* leaf, std::vector<float> planar) {
        const std::string file = scratch.File(leaf);
        cWavFileWrite writer{kvFM::KCStPath(file)};
        writer.SetBitDepth(32);
        writer.SetNumChans(2);
        writer.SetNumSamples(int64_t(planar.size()) / 2);
        EXPECT_EQ(writer.SaveSampleDataFromFloat(planar.data()), eNoErr);
        EXPECT_EQ(writer.Close(), eNoErr);
        return file;
    };
    std::vector<float> oneInf(200, 0.25f);
    oneInf[100 + 42] = inf; // right channel, sample 42
    const std::string clean = floatWav("clean.wav", std::vector<float>(200, 0.25f));
    const std::string allNan = floatWav("nan.wav", std::vector<float>(200, nan));
    const std::string withInf = floatWav("inf.wav", oneInf);
    struct Case {
        std::string output, reference, line;
    };
    const Case cases[] = {
        {clean, allNan,
         "Error comparing files, the reference file holds a NaN or infinite sample: channel 0, "
         "sample 0.\n"},
        {allNan, clean,
         "Error comparing files, the output file holds a NaN or infinite sample: channel 0, "
         "sample 0.\n"},
        {allNan, allNan,
         "Error comparing files, the output file holds a NaN or infinite sample: channel 0, "
         "sample 0.\n"},
        {withInf, withInf,
         "Error comparing files, the output file holds a NaN or infinite sample: channel 1, "
         "sample 42.\n"},
        {clean, withInf,
         "Error comparing files, the reference file holds a NaN or infinite sample: channel 1, "
         "sample 42.\n"},
    };
    for (const Case& c : cases) {
        bool compared = true;
        EXPECT_EQ(Compare(c.output, c.reference, compared), c.line);
        EXPECT_FALSE(compared);
        testing::internal::CaptureStdout();
        EXPECT_EQ(CompareWithReference(eNoErr, kvFM::KCStPath(c.output),
                                       kvFM::KCStPath(c.reference), 44100),
                  eGenericErr);
        testing::internal::GetCapturedStdout();
    }
}

TEST(Cancellation, ReferenceChecks) {
    ScratchFolder scratch;
    WriteWav(scratch.File("out.wav"), 1000, 2);
    WriteWav(scratch.File("ref.wav"), 1000, 2, 0.5f);
    WriteWav(scratch.File("ref33.wav"), 1033, 2);
    WriteWav(scratch.File("ref48.wav"), 1000, 2, 0.25f, 48000);
    const kvFM::KCStPath out(scratch.File("out.wav"));
    auto path = [&](const char* leaf) { return kvFM::KCStPath(scratch.File(leaf)); };
    testing::internal::CaptureStdout();
    EXPECT_EQ(CompareWithReference(eNoErr, out, path("ref.wav"), 44100), eNoErr);
    EXPECT_EQ(CompareWithReference(eNoErr, out, path("ref33.wav"), 44100), eGenericErr);
    EXPECT_EQ(CompareWithReference(eNoErr, out, path("ref48.wav"), 44100), eFMWrongParameters);
    EXPECT_EQ(CompareWithReference(eNoErr, out, path("none.wav"), 44100), eFMOpenFailed);
    EXPECT_EQ(CompareWithReference(eFMFileNotFound, out, path("ref.wav"), 44100), eFMOpenFailed);
    EXPECT_EQ(CompareWithReference(eNoErr, path("none.wav"), path("ref.wav"), 44100),
              eFMOpenFailed);
    const std::string printed = testing::internal::GetCapturedStdout();
    // 0.25 against 0.5 (16-bit): about -12 dB everywhere.
    EXPECT_EQ(printed.rfind("\tCancellation Test Results:\t-12.04", 0), 0u) << printed;
    EXPECT_NE(printed.find("reference : 1033 .\n"), std::string::npos);
}

TEST(ProcessIdFile, WrittenAtomicallyOverAPlantedLink) {
    ScratchHome home;
    const std::string victim = home.File("victim");
    WriteText(victim, "keep");
    std::filesystem::create_symlink(victim, home.Tmp("rigwell.pId"));
    ASSERT_EQ(WriteProcessIdFile(), eNoErr);
    EXPECT_FALSE(std::filesystem::is_symlink(home.Tmp("rigwell.pId")));
    EXPECT_EQ(ReadText(home.Tmp("rigwell.pId")), std::to_string(getpid()));
    EXPECT_EQ(ReadText(victim), "keep");
}

} // namespace

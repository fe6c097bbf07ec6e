// The plug-in tests of command-line mode, run through the program as a
// separate process against the plug-in folder of the build.
#include "HostTestSupport.h"

#include "audio/WavFile.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <limits>

namespace {

namespace fs = std::filesystem;

const std::string kFolder = KV_PLUGIN_FOLDER;
const char kAnnouncement[] = "Name: 'PassThrough', File: 'PassThrough', [raPI, PQ5S]\n";
const char kCpuLine[] = "\tProcess micSec: ";

ProcessResult Rigwell(const std::vector<std::string>& arguments, const std::string& input = "") {
    return RunProcess(RIGWELL_PATH, arguments, input, std::chrono::seconds(60));
}

// The output with every CPU line replaced by "<cpu>\n".
std::string WithoutCpu(std::string text) {
    for (size_t at = text.find(kCpuLine); at != std::string::npos; at = text.find(kCpuLine, at)) {
        const size_t end = text.find('\n', at);
        if (end == std::string::npos)
            break;
        text.replace(at, end - at, "<cpu>");
    }
    return text;
}

// Runs the program with `arguments` until it asks for its closing key, calls
// `whileWaiting` then, and gives the key; the program's exit status, or -1
// when it does not ask within a minute or does not end afterwards.
int RigwellUntilKey(const std::vector<std::string>& arguments,
                    const std::function<void()>& whileWaiting) {
    int in[2], out[2];
    if (pipe2(in, O_CLOEXEC) != 0 || pipe2(out, O_CLOEXEC) != 0)
        return -1;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, in[0], 0);
    posix_spawn_file_actions_adddup2(&actions, out[1], 1);
    std::vector<std::string> words{RIGWELL_PATH};
    words.insert(words.end(), arguments.begin(), arguments.end());
    std::vector<char*> argv;
    for (std::string& word : words)
        argv.push_back(word.data());
    argv.push_back(nullptr);
    pid_t pid = 0;
    const int spawned = posix_spawn(&pid, RIGWELL_PATH, &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    close(in[0]);
    close(out[1]);
    std::string text;
    pollfd fd{out[0], POLLIN, 0};
    char c = 0;
    while (spawned == 0 && text.find("Type any key to exit\n") == std::string::npos &&
           poll(&fd, 1, 60000) > 0 && read(out[0], &c, 1) == 1)
        text += c;
    const bool asked = text.find("Type any key to exit\n") != std::string::npos;
    if (asked)
        whileWaiting();
    (void)!write(in[1], "k", 1);
    close(in[1]);
    while (spawned == 0 && poll(&fd, 1, 60000) > 0 && read(out[0], &c, 1) == 1) {
    }
    close(out[0]);
    int status = 0;
    if (spawned != 0 || waitpid(pid, &status, 0) != pid)
        return -1;
    return asked && WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

class PluginTests : public testing::Test {
protected:
    std::string Folder(const std::string& leaf) { return home.scratch.MakeFolder(leaf); }
    ScratchHome home;
};

TEST_F(PluginTests, SmokeTestLoadsEveryPluginAndPullsAudio) {
    const ProcessResult result = Rigwell({"-c", "-t", "-p", kFolder});
    EXPECT_EQ(result.exitStatus, 0) << result.err;
    EXPECT_EQ(WithoutCpu(result.out), std::string(kAnnouncement) +
                                          "<cpu>\n\tOK loading plug-in: PassThrough\n"
                                          "\t*** OK    ***\nType any key to exit\n");
    // The process-id file names the process while it runs, and goes with it.
    EXPECT_FALSE(fs::exists(home.Tmp("rigwell.pId")));
    for (const char* test : {"-t", "-g"}) {
        if (std::string(test) == "-g" && std::getenv("DISPLAY") == nullptr)
            continue;
        std::string pid;
        EXPECT_EQ(RigwellUntilKey({"-c", test, "-p", kFolder},
                                  [&] { pid = ReadText(home.Tmp("rigwell.pId")); }),
                  0)
            << test;
        EXPECT_TRUE(!pid.empty() && std::all_of(pid.begin(), pid.end(), ::isdigit)) << pid;
        EXPECT_FALSE(fs::exists(home.Tmp("rigwell.pId"))) << test;
    }
    // A file that another run has written since is left alone.
    EXPECT_EQ(RigwellUntilKey({"-c", "-t", "-p", kFolder},
                              [&] { WriteText(home.Tmp("rigwell.pId"), "1"); }),
              0);
    EXPECT_EQ(ReadText(home.Tmp("rigwell.pId")), "1");

    // The test index prefixes only the announcement.
    const ProcessResult indexed = Rigwell({"-c", "-t", "-i", "7", "-s", "-p", kFolder});
    EXPECT_EQ(indexed.exitStatus, 0);
    EXPECT_EQ(indexed.out.rfind(std::string("TestIndex: 7, ") + kAnnouncement, 0), 0u)
        << indexed.out;
    EXPECT_NE(indexed.out.find("\n\tOK loading plug-in: PassThrough\n"), std::string::npos);
}

TEST_F(PluginTests, ALoadFailureFailsTheRunEvenAfterAPass) {
    // The pass-through plug-in, and a test plug-in that misses an entry
    // point.
    const std::string folder = Folder("plugins");
    fs::copy_file(KV_PASSTHROUGH, folder + "/A.so");
    fs::copy_file(KV_PLUGIN_MISSING, folder + "/B.so");
    const ProcessResult result = Rigwell({"-c", "-t", "-p", folder});
    EXPECT_EQ(result.exitStatus, 255) << result.out;
    EXPECT_NE(result.out.find("\tOK loading plug-in: PassThrough\n"), std::string::npos);
    EXPECT_NE(result.out.find("\tERROR loading plug-in: DulmAudioDSP\n"
                              "\tePluginOpenFailed (-8007)\n"),
              std::string::npos)
        << result.out;
    EXPECT_NE(result.out.find("\t*** ERROR *** err = ePluginOpenFailed (-8007)\nType any key to "
                              "exit\n"),
              std::string::npos);
}

TEST_F(PluginTests, ScanWithoutTestAndFailedScans) {
    const ProcessResult plain = Rigwell({"-c", "-p", kFolder});
    EXPECT_EQ(plain.exitStatus, 0);
    EXPECT_EQ(plain.out, "Type any key to exit\n");
    // A folder without plug-ins: nothing on standard output, exit 1.
    const ProcessResult empty = Rigwell({"-c", "-t", "-p", Folder("empty")});
    EXPECT_EQ(empty.exitStatus, 1);
    EXPECT_EQ(empty.out, "");
    EXPECT_EQ(std::count(empty.err.begin(), empty.err.end(), '\n'), 1) << empty.err;
    // -n naming a component the scan did not find: no test, a failing exit.
    const ProcessResult missing = Rigwell({"-c", "-t", "-n", "zzzz", "-p", kFolder});
    EXPECT_EQ(missing.out, "Type any key to exit\n");
    EXPECT_EQ(missing.exitStatus, 255);
    EXPECT_NE(missing.err.find("rigwell: no plug-in of sub-type zzzz (type raPI) in " + kFolder),
              std::string::npos)
        << missing.err;
    // An input file without the reference that the cancellation test needs:
    // nothing to do is a failure, and one line says what is missing.
    const std::string in = home.File("in.wav");
    MakeWav(in, 100);
    const ProcessResult lacking = Rigwell({"-c", "-n", "PQ5S", "-p", kFolder, "-f", in});
    EXPECT_EQ(lacking.out, "Type any key to exit\n");
    EXPECT_NE(lacking.exitStatus, 0);
    EXPECT_EQ(lacking.err, "rigwell: no test to run: the cancellation test (-f INPUT -r REFERENCE "
                           "-n CODE) lacks -r; rigwell -h lists the tests\n");
    // The component list, only the named one.
    EXPECT_EQ(Rigwell({"-c", "-if", "-n", "PQ5S", "-p", kFolder}).out,
              "Name: 'PassThrough', compType: 'raPI', subType: 'PQ5S'\nType any key to exit\n");
    EXPECT_EQ(Rigwell({"-c", "-if", "-n", "zzzz", "-p", kFolder}).out, "Type any key to exit\n");
}

// Runs the program with one environment variable set (or removed, when
// `value` is null) for the child.
ProcessResult RigwellWith(const char* name, const char* value,
                          const std::vector<std::string>& arguments) {
    const char* old = std::getenv(name);
    const std::string saved = old != nullptr ? old : "";
    if (value != nullptr)
        setenv(name, value, 1);
    else
        unsetenv(name);
    ProcessResult result = Rigwell(arguments);
    if (old != nullptr)
        setenv(name, saved.c_str(), 1);
    else
        unsetenv(name);
    return result;
}

TEST_F(PluginTests, GuiSmokeTestDrawsTheEditorBeforeEveryPull) {
    if (std::getenv("DISPLAY") == nullptr)
        GTEST_SKIP() << "no display";
    const std::string log = home.File("calls.txt");
    const ProcessResult result = RigwellWith("KV_TEST_PLUGIN_CALL_LOG", log.c_str(),
                                             {"-c", "-g", "-n", "PQ5S", "-p", kFolder});
    EXPECT_EQ(result.exitStatus, 0) << result.out << result.err;
    EXPECT_NE(result.out.find("\t*** OK    ***\n"), std::string::npos) << result.out;
    const std::string calls = ReadText(log);
    // Shown on its window, redrawn before each of the 64 pulls, then hidden
    // and given a null window.
    const size_t shown = calls.find("KP_SetWindow(window)\nKP_InitHatch(0,0,200,300)\n"
                                    "KP_SetRefresh(0,0,200,300)\nKP_ActivateWindow\n");
    EXPECT_NE(shown, std::string::npos) << calls;
    size_t idles = 0;
    for (size_t at = calls.find("KP_DoIdle\n"); at != std::string::npos;
         at = calls.find("KP_DoIdle\n", at + 1))
        ++idles;
    EXPECT_GE(idles, 65u);
    EXPECT_NE(calls.find("KP_DeactivateWindow\nKP_SetWindow(null)\n", shown), std::string::npos)
        << calls;

    // Without a display the editor cannot be made, and the test says so.
    const ProcessResult headless =
        RigwellWith("DISPLAY", nullptr, {"-c", "-g", "-n", "PQ5S", "-p", kFolder});
    EXPECT_NE(headless.exitStatus, 0);
    EXPECT_NE(headless.out.find("\t*** ERROR *** err = "), std::string::npos) << headless.out;
    EXPECT_NE(headless.err.find("rigwell: no display"), std::string::npos) << headless.err;
}

TEST_F(PluginTests, CancellationRendersThroughThePassThroughAndCompares) {
    const std::string in = home.File("in.wav");
    MakeWav(in, 1000);
    const std::string out = Folder("out");
    const ProcessResult result =
        Rigwell({"-c", "-n", "PQ5S", "-p", kFolder, "-f", in, "-r", in, "-o", out});
    EXPECT_EQ(result.exitStatus, 0) << result.out << result.err;
    const std::string rendered = out + "/in_PQ5S.wav";
    EXPECT_EQ(WithoutCpu(result.out), std::string(kAnnouncement) +
                                          "TestIndex:\n\tOutput file: " + rendered +
                                          "\n<cpu>\n\tCancellation Test Results:\t-200.000000\t-"
                                          "200.000000\t0\n\tOK loading plug-in: PassThrough\n\t*** "
                                          "OK    ***\nType any key to exit\n");
    // sox reads it: the same samples (the difference is silent).
    const std::string command = "sox -q -m -v 1 '" + in + "' -v -1 '" + rendered +
                                "' -n stats 2>&1 | grep -q 'Pk lev dB *-inf'";
    EXPECT_EQ(std::system(command.c_str()), 0);
    EXPECT_EQ(std::system(("test \"$(soxi -s '" + rendered + "')\" = 1000").c_str()), 0);

    // References 32 and 33 frames longer than the output.
    const std::pair<int, int> cases[] = {{1032, 0}, {1033, 1}};
    for (const auto& [frames, exit] : cases) {
        const std::string reference = home.File("ref" + std::to_string(frames) + ".wav");
        MakeWav(reference, frames);
        const ProcessResult compared =
            Rigwell({"-c", "-n", "PQ5S", "-p", kFolder, "-f", in, "-r", reference, "-o", out});
        EXPECT_EQ(compared.exitStatus, exit) << frames;
        const bool sizeError =
            compared.out.find("Error comparing files, files size does not match source : 1000  "
                              "reference : 1033 .\n") != std::string::npos;
        EXPECT_EQ(sizeError, exit != 0) << compared.out;
    }

    // An input at another rate never becomes the chain's source: no output
    // file is reported or compared.
    const std::string other = home.File("other.wav");
    MakeWav(other, 1000, 48000);
    const ProcessResult refused =
        Rigwell({"-c", "-n", "PQ5S", "-p", kFolder, "-f", other, "-r", in, "-o", out});
    EXPECT_NE(refused.exitStatus, 0);
    EXPECT_EQ(refused.out.find("\tOutput file: "), std::string::npos) << refused.out;
    EXPECT_NE(refused.out.find("\ttError Output file: "), std::string::npos);
    EXPECT_FALSE(fs::exists(out + "/other_PQ5S.wav"));
}

TEST_F(PluginTests, CancellationNamesWhatIsWrongWithItsFiles) {
    const std::string in = home.File("in.wav");
    MakeWav(in, 1000);
    const std::string rate48 = home.File("rate48.wav");
    MakeWav(rate48, 1000, 48000);
    const std::string text = home.File("text.wav");
    std::ofstream(text) << "not audio at all\n";
    // Float files with a NaN or an infinity among ordinary samples.
    auto floatWav = [&](const std::string& leaf, float odd) {
        std::vector<float> planar(2 * 1000, 0.25f);
        planar[1000 + 700] = odd;
        cWavFileWrite writer{kvFM::KCStPath(home.File(leaf))};
        writer.SetBitDepth(32);
        writer.SetNumChans(2);
        writer.SetNumSamples(1000);
        EXPECT_EQ(writer.SaveSampleDataFromFloat(planar.data()), eNoErr);
        EXPECT_EQ(writer.Close(), eNoErr);
        return home.File(leaf);
    };
    const std::string nan = floatWav("nan.wav", std::numeric_limits<float>::quiet_NaN());
    const std::string inf = floatWav("inf.wav", -std::numeric_limits<float>::infinity());
    // A mono file, for the stereo pass-through.
    const std::string mono = home.File("mono.wav");
    ASSERT_EQ(
        std::system(("sox -q -r 44100 -c 1 -n -b 16 '" + mono + "' synth 1000s sine 440").c_str()),
        0);
    const std::string out = home.File("out");
    struct Case {
        std::string input, reference;
        std::string err; // the one line on standard error
        std::string out; // a line of the report
        bool rendered;   // whether the render was made (and kept)
    };
    const std::string refused = "\ttError Output file: ";
    const Case cases[] = {
        {rate48, in, "rigwell: " + rate48 + ": sample rate 48000 Hz, expected 44100 Hz\n", refused,
         false},
        {text, in, "rigwell: " + text + ": not a WAV file\n", refused, false},
        // A reference that the render could not be compared with: refused
        // before rendering.
        {in, text, "rigwell: " + text + ": not a WAV file\n", refused, false},
        {in, rate48, "rigwell: " + rate48 + ": sample rate 48000 Hz, expected 44100 Hz\n", refused,
         false},
        {mono, mono, "rigwell: " + mono + ": 1 channel, the plug-in gives 2 channels\n",
         "Error comparing files, files number of channels does not match.   \n", false},
        {nan, in, "",
         "Error comparing files, the input file holds a NaN or infinite sample: sample 700.\n",
         true},
        {in, inf, "",
         "Error comparing files, the reference file holds a NaN or infinite sample: channel 1, "
         "sample 700.\n",
         true},
    };
    for (const Case& c : cases) {
        const ProcessResult result = Rigwell(
            {"-c", "-s", "-n", "PQ5S", "-p", kFolder, "-f", c.input, "-r", c.reference, "-o", out});
        EXPECT_NE(result.exitStatus, 0) << c.input << " " << c.reference;
        EXPECT_EQ(result.err, c.err);
        EXPECT_NE(result.out.find(c.out), std::string::npos) << result.out;
        EXPECT_NE(result.out.find("\t*** ERROR *** err = "), std::string::npos) << result.out;
        EXPECT_EQ(result.out.find("Cancellation Test Results"), std::string::npos) << result.out;
        const std::string render = out + "/" + fs::path(c.input).stem().string() + "_PQ5S.wav";
        EXPECT_EQ(fs::exists(render), c.rendered) << c.input << " " << c.reference;
        fs::remove(render);
    }

    // A missing output folder is made, with the folders above it.
    const std::string deep = home.File("new/deeper");
    const ProcessResult made =
        Rigwell({"-c", "-s", "-n", "PQ5S", "-p", kFolder, "-f", in, "-r", in, "-o", deep});
    EXPECT_EQ(made.exitStatus, 0) << made.out << made.err;
    EXPECT_TRUE(fs::exists(deep + "/in_PQ5S.wav"));
    // A file where the folder should be is named as such.
    const ProcessResult blocked =
        Rigwell({"-c", "-s", "-n", "PQ5S", "-p", kFolder, "-f", in, "-r", in, "-o", text});
    EXPECT_NE(blocked.exitStatus, 0);
    EXPECT_EQ(blocked.err, "rigwell: " + text + ": not a folder\n");
}

TEST_F(PluginTests, IdenticalFilesCancelCompletelyAtAnyLength) {
    // A minute of a stereo sine, rendered and compared with itself: -200 dB
    // for the mean too, not a figure drifting with the length.
    const std::string in = home.File("minute.wav");
    const std::string command =
        "sox -q -r 44100 -c 2 -n -b 16 '" + in + "' synth 60 sine 440 sine 660 vol 0.5";
    ASSERT_EQ(std::system(command.c_str()), 0);
    const ProcessResult result =
        Rigwell({"-c", "-s", "-n", "PQ5S", "-p", kFolder, "-f", in, "-r", in, "-o", Folder("out")});
    EXPECT_EQ(result.exitStatus, 0) << result.err;
    EXPECT_NE(result.out.find("\tCancellation Test Results:\t-200.000000\t-200.000000\t0\n"),
              std::string::npos)
        << result.out;
}

TEST_F(PluginTests, BatchRunsOneTestPerLine) {
    const std::string batch = home.File("batch.txt");
    // A carriage return before the line end is ignored; the last failing
    // line's status is the result.
    WriteText(batch, "-c -t -p " + kFolder + "\r\n-c -t -n zzzz -p " + kFolder + "\n");
    const ProcessResult result = Rigwell({"-c", "-b", batch, "-p", kFolder});
    EXPECT_EQ(result.exitStatus, 255) << result.out;
    EXPECT_NE(result.out.find(std::string(kAnnouncement)), std::string::npos) << result.out;
    EXPECT_NE(result.out.find("ePluginSubComponentNotFound (-8006)"), std::string::npos);

    // An empty second line ends the batch.
    WriteText(batch, "-c -t -p " + kFolder + "\n\n-c -t -n zzzz -p " + kFolder + "\n");
    const ProcessResult first = Rigwell({"-c", "-b", batch, "-p", kFolder});
    EXPECT_EQ(first.exitStatus, 0) << first.out;
    EXPECT_NE(first.out.find("\t*** OK    ***\n"), std::string::npos);

    // A line asking for a batch of its own fails instead of recursing.
    WriteText(batch, "-c -b " + batch + "\n");
    const ProcessResult nested = Rigwell({"-c", "-b", batch, "-p", kFolder});
    EXPECT_EQ(nested.exitStatus, 11) << nested.out;
}

// Several instances play live on the JACK server of the test script.
TEST_F(PluginTests, MultiInstanceTestPlaysUntilAKey) {
    if (std::getenv("JACK_DEFAULT_SERVER") == nullptr)
        GTEST_SKIP() << "no JACK server for this run";
    const ProcessResult result = Rigwell({"-c", "-n", "PQ5S", "-p", kFolder, "-x", "3"}, "kk");
    EXPECT_EQ(result.exitStatus, 0) << result.out << result.err;
    std::string expected;
    for (int i = 0; i < 3; ++i)
        expected += kAnnouncement;
    expected += "Type any key to exit\n\t*** OK    ***\nType any key to exit\n";
    EXPECT_EQ(result.out, expected);
}

} // namespace

namespace {

// Without a device to play on, the multi-instance test fails with the
// device's status: no verdict of success and no key wait of its own.
TEST_F(PluginTests, MultiInstanceTestFailsWithoutADevice) {
    if (fs::exists("/dev/snd"))
        GTEST_SKIP() << "this machine has sound cards";
    ScopedEnv server("JACK_DEFAULT_SERVER", "kv-no-such-server");
    ScopedEnv noStart("JACK_NO_START_SERVER", "1");
    const ProcessResult result = Rigwell({"-c", "-n", "PQ5S", "-p", kFolder, "-x", "2"});
    EXPECT_NE(result.exitStatus, 0) << result.out;
    EXPECT_EQ(result.out.find("\t*** OK    ***"), std::string::npos) << result.out;
    EXPECT_NE(result.out.find("\t*** ERROR *** err = "), std::string::npos);
    EXPECT_NE(result.err.find("rigwell: no audio device"), std::string::npos) << result.err;
    // Only the command-line runner's own prompt.
    EXPECT_EQ(result.out.find("Type any key to exit\n"),
              result.out.rfind("Type any key to exit\n"));
}

} // namespace

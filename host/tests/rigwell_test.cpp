// The program run as a separate process.
#include "HostTestSupport.h"
#include "host/Application.h"

#include "audio/CpuMeter.h"

#include <termios.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <sstream>

namespace {

const char kUsage[] =
    "Usage:\n"
    "[-h|--help] | [-n component-sub-type [component-type]] [-c|--cmd] | [-s|--silent] | "
    "[-t|--test] | [-g|--gui] [-p|--path]\n\n"
    "--help\t\t  | -h  : This help message\n"
    "--cmd\t\t  | -c  : Command Line mode\n"
    "--path\t\t  | -p  : Plugin path - Set the path for plugin folder  \n"
    "--bypass\t  | -bp  : Plugin in bypass mode\n"
    "--plugin\t  | -n  : Plugin four letter code  - run the specific plugin, optionaly specify "
    "component type (deafult is raPI)\n"
    "--preset\t  | -pr : Preset file - run the plugin with a specific preset file \n"
    "--info\t\t  | -if  : Report of a plugin  - sub component types list  \n"
    "--file\t\t  | -f  : Open the given audio file as input source\n"
    "--test\t\t  | -t  : SmokeTest - run all available plugins \n"
    "--gui\t\t  | -g  : Open all available plugin's GUI SmokeTest \n"
    "--silent\t  | -s  : Run the command and exit automatically\n"
    "--index\t\t  | -i  : Test Index for batch test option , used to save in DB  \n"
    "--output\t  | -o  : output folder for cancellation batch test\n"
    "--batch\t\t  | -b  : Run a set of tests on a given parameter list from an input file.\n"
    "--reference\t  | -r  : Open the given audio file as reference for cancellation test\n"
    "--noprocess\t  | -np  : Plugin without the process code mode\n"
    "--exclusive\t  | -e  : Exclusive execution without main application bar (to be used with "
    "-n) \n"
    "--plugin_file | -pf  : for Exclusive execution - full path of plugin including its name "
    "(to be used with -n) \n"
    "-x  : Open the given number of a specified plugin to run\n";

ProcessResult Rigwell(const std::vector<std::string>& arguments) {
    return RunProcess(RIGWELL_PATH, arguments, "", std::chrono::seconds(30));
}

size_t Lines(const std::string& text) {
    return size_t(std::count(text.begin(), text.end(), '\n'));
}

class RigwellTest : public testing::Test {
protected:
    std::string PrefsFolder() const { return home.Config("Quorl Audio/Preferences"); }
    ScratchHome home;
};

TEST_F(RigwellTest, HelpPrintsTheUsageAndWaitsForAKey) {
    for (const char* option : {"-h", "--help"}) {
        const ProcessResult result = Rigwell({option});
        EXPECT_EQ(result.exitStatus, 0) << result.err;
        EXPECT_EQ(result.out, std::string(kUsage) + "Type any key to exit\n");
        EXPECT_EQ(result.err, "");
    }
    // With a key waiting, the same; the usage text is 21 lines and an empty one.
    const ProcessResult keyed = RunProcess(RIGWELL_PATH, {"-h", "-s"}, "k");
    EXPECT_EQ(keyed.exitStatus, 0);
    EXPECT_EQ(Lines(kUsage), 22u);
    // Help reads and writes no preferences.
    EXPECT_FALSE(std::filesystem::exists(PrefsFolder() + "/Rigwell_SetupPreferences"));
}

TEST_F(RigwellTest, ABadOptionPrintsItsLineOnceAndExits1) {
    const ProcessResult result = Rigwell({"-c", "-i", "7", "-p"});
    EXPECT_EQ(result.exitStatus, 1);
    EXPECT_EQ(result.out,
              "TestIndex: 7\n\tERROR loading plug-in: [????, ????], Invalid parameter:  -p\n\n");
    EXPECT_EQ(Lines(result.err), 1u) << result.err;
    EXPECT_NE(result.err.find("-h"), std::string::npos) << result.err;
    const ProcessResult name = Rigwell({"-c", "-n", "abcd", "efgh", "-x"});
    EXPECT_EQ(name.out, "TestIndex: \n\tERROR loading plug-in: [efgh, abcd], Invalid parameter: "
                        "-x\n\n");
    EXPECT_EQ(name.exitStatus, 1);
}

TEST_F(RigwellTest, GuiStartFailsWithOneLineAndTouchesNoPreferences) {
    // Without a display the GUI mode cannot start.
    const char* display = std::getenv("DISPLAY");
    const std::string saved = display != nullptr ? display : "";
    unsetenv("DISPLAY");
    const ProcessResult result = Rigwell({});
    if (display != nullptr)
        setenv("DISPLAY", saved.c_str(), 1);
    EXPECT_EQ(result.exitStatus, 1);
    EXPECT_EQ(result.out, "");
    EXPECT_EQ(Lines(result.err), 1u) << result.err;
    EXPECT_NE(result.err.find("-c"), std::string::npos);
    EXPECT_NE(result.err.find("-h"), std::string::npos);
    EXPECT_FALSE(std::filesystem::exists(PrefsFolder()));
}

// The windowed program starts on an X server that has no other client: its
// look for a display never leaves the server without a client before the
// toolkit has its own connection (a server without clients resets itself,
// and a toolkit connecting during the reset finds no display).
TEST_F(RigwellTest, StartsOnAnXServerWithoutOtherClients) {
    if (std::system("command -v xvfb-run >/dev/null 2>&1") != 0)
        GTEST_SKIP() << "xvfb-run is not installed";
    // The server logs each client's connection and disconnection. The start
    // brings the toolkit up for the editors of -g, finds no plug-in of the
    // sub-type and ends.
    const std::string log = home.File("server.log");
    const std::string start = std::string("'") + RIGWELL_PATH + "' -c -g -s -n zzzz -p '" +
                              KV_PLUGIN_FOLDER + "' >/dev/null; exit 0";
    // Bounded: timeout ends xvfb-run, its server and the program together.
    const ProcessResult result = RunProcess("/usr/bin/timeout",
                                            {"-k", "5", "120", "xvfb-run", "-a", "-e", log, "-s",
                                             "-screen 0 640x480x24 -audit 4", "sh", "-c", start},
                                            "", std::chrono::seconds(140));
    EXPECT_EQ(result.exitStatus, 0) << result.err;
    EXPECT_NE(result.err.find("rigwell: no plug-in of sub-type zzzz"), std::string::npos)
        << result.err;
    EXPECT_EQ(result.err.find("display"), std::string::npos) << result.err;
    // Once connected, the program keeps at least one connection until it
    // ends.
    std::istringstream lines(ReadText(log));
    int clients = 0, connections = 0;
    bool leftWithoutClient = false;
    for (std::string line; std::getline(lines, line);) {
        if (line.find(" connected from ") != std::string::npos) {
            leftWithoutClient = leftWithoutClient || (connections > 0 && clients == 0);
            ++clients;
            ++connections;
        } else if (line.find(" disconnected") != std::string::npos) {
            --clients;
        }
    }
    EXPECT_GE(connections, 1) << ReadText(log);
    EXPECT_FALSE(leftWithoutClient) << ReadText(log);
}

// Runs that need windows go to the windowed program beside this one: never
// to one of the current folder, and never to this program again.
TEST_F(RigwellTest, HandsOverOnlyToTheWindowedProgramBesideIt) {
    namespace fs = std::filesystem;
    const std::string folder = home.scratch.MakeFolder("bin");
    const std::string copy = folder + "/rigwell";
    fs::copy_file(RIGWELL_PATH, copy);
    fs::permissions(copy, fs::perms::owner_all);
    struct Case {
        const char* what;
        std::function<void(const std::string&)> place;
    } cases[] = {
        {"a link", [&](const std::string& gui) { fs::create_symlink(copy, gui); }},
        {"a copy", [&](const std::string& gui) { fs::copy_file(copy, gui); }},
    };
    for (const Case& c : cases) {
        const std::string gui = folder + "/rigwell-gui";
        fs::remove(gui);
        c.place(gui);
        const ProcessResult result = RunProcess(copy, {"-n", "PQ5S"}, "", std::chrono::seconds(20));
        EXPECT_EQ(result.exitStatus, 1) << c.what;
        EXPECT_EQ(result.err, "rigwell: " + fs::canonical(folder).string() + "/rigwell-gui" +
                                  " is not the windowed program (a link to or a copy of rigwell); "
                                  "install rigwell-gui beside rigwell\n")
            << c.what;
    }
    // No program is looked for in the current folder, with or without /proc.
    if (std::system("unshare -r -m true >/dev/null 2>&1") != 0)
        GTEST_SKIP() << "no user namespaces to hide /proc in";
    const std::string cwd = home.scratch.MakeFolder("cwd");
    const std::string planted = cwd + "/planted";
    WriteText(cwd + "/rigwell-gui", "#!/bin/sh\ntouch '" + planted + "'\n");
    fs::permissions(cwd + "/rigwell-gui", fs::perms::owner_all);
    // Without a display the real windowed program says so and ends.
    const std::string script = "mount -t tmpfs none /proc && cd '" + cwd + "' && DISPLAY= exec '" +
                               RIGWELL_PATH + "' -n PQ5S";
    const ProcessResult hidden = RunProcess("/usr/bin/unshare", {"-r", "-m", "sh", "-c", script},
                                            "", std::chrono::seconds(30));
    EXPECT_FALSE(fs::exists(planted)) << hidden.err;
    EXPECT_NE(hidden.err.find("rigwell: cannot open the display"), std::string::npos) << hidden.err;
}

TEST_F(RigwellTest, CommandLineRunsLoadNoWindowingLibrary) {
    // The program started for command-line runs names no windowing library;
    // runs that need windows go to the windowed program beside it (the GUI
    // start above reaches it).
    const std::string windowed =
        std::filesystem::path(RIGWELL_PATH).parent_path().string() + "/rigwell-gui";
    const ProcessResult libraries = RunProcess("/usr/bin/ldd", {RIGWELL_PATH}, "");
    ASSERT_EQ(libraries.exitStatus, 0);
    for (const char* library : {"libwx_", "libgtk-", "libX11", "libGL"})
        EXPECT_EQ(libraries.out.find(library), std::string::npos) << library << libraries.out;
    const ProcessResult full = RunProcess("/usr/bin/ldd", {windowed}, "");
    EXPECT_NE(full.out.find("libwx_"), std::string::npos) << full.out;
}

TEST(ExitStatus, EveryFailureExitsNonZero) {
    const std::pair<KTErr, int> cases[] = {
        {0, 0},      {-1, 1},      {-7, 7},      {-11, 11}, {-255, 255},
        {-256, 255}, {-1024, 255}, {-8005, 255}, {12, 12},  {INT32_MIN, 255},
    };
    for (const auto& [status, exit] : cases)
        EXPECT_EQ(ExitStatusOf(status), exit) << status;
}

TEST(InstanceName, FromTheSubType) {
    KCCmdLineOptions options;
    EXPECT_EQ(InstanceNameOf(options), "RigwellApp");
    options.componentSubType = KV_FOURCC("abcd");
    options.componentType = KV_FOURCC("raPI");
    EXPECT_EQ(InstanceNameOf(options), "abcd");
}

} // namespace

namespace {

// An application whose idle work takes a known time.
class SlowIdleApplication : public KCApplicationBase {
public:
    SlowIdleApplication() : KCApplicationBase(kvFM::KCStPath()) {}
    void IdleWork() override {
        ++ticks;
        usleep(3000);
    }
    int ticks = 0;
};

TEST(ApplicationIdle, EveryTickIsMeasured) {
    CpuMeter::Reset();
    SlowIdleApplication app;
    EXPECT_EQ(app.Idle(), eNoErr);
    EXPECT_EQ(app.Idle(), eNoErr);
    EXPECT_EQ(app.ticks, 2);
    int64_t average = 0;
    CpuMeter::GetIdleLoad(average);
    EXPECT_GE(average, 3000);
}

} // namespace

namespace {

// `rigwell -h` with a terminal for its standard input, waiting at its key
// prompt with the terminal switched to no-echo, non-canonical mode.
class PromptOnTerminal {
public:
    PromptOnTerminal() {
        master = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
        if (master < 0 || grantpt(master) != 0 || unlockpt(master) != 0)
            return;
        const int slave = open(ptsname(master), O_RDWR | O_NOCTTY | O_CLOEXEC);
        int out[2];
        if (slave < 0 || pipe2(out, O_CLOEXEC) != 0)
            return;
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, slave, 0);
        posix_spawn_file_actions_adddup2(&actions, out[1], 1);
        std::string program = RIGWELL_PATH, help = "-h";
        char* argv[] = {program.data(), help.data(), nullptr};
        if (posix_spawn(&pid, RIGWELL_PATH, &actions, nullptr, argv, environ) != 0)
            pid = -1;
        posix_spawn_file_actions_destroy(&actions);
        close(out[1]);
        close(slave);
        output = out[0];
    }
    ~PromptOnTerminal() {
        if (pid > 0 && waitpid(pid, nullptr, WNOHANG) == 0) {
            kill(pid, SIGKILL);
            waitpid(pid, nullptr, 0);
        }
        if (output >= 0)
            close(output);
        if (master >= 0)
            close(master);
    }

    // Waits for the prompt, then for the terminal to leave canonical mode.
    bool WaitForPrompt() {
        std::string printed;
        pollfd fd{output, POLLIN, 0};
        while (printed.find("Type any key to exit\n") == std::string::npos &&
               poll(&fd, 1, 20000) > 0) {
            char buffer[512];
            const ssize_t got = read(output, buffer, sizeof buffer);
            if (got <= 0)
                return false;
            printed.append(buffer, size_t(got));
        }
        for (int i = 0; i < 2000; ++i) {
            if ((Mode() & ICANON) == 0)
                return true;
            usleep(5000);
        }
        return false;
    }
    tcflag_t Mode() const {
        termios mode{};
        tcgetattr(master, &mode);
        return mode.c_lflag;
    }
    // The wait status once the program ended (-1 when it did not in time).
    int WaitForEnd() {
        int status = -1;
        for (int i = 0; i < 2000 && waitpid(pid, &status, WNOHANG) == 0; ++i)
            usleep(5000);
        return status;
    }

    int master = -1;
    int output = -1;
    pid_t pid = -1;
};

// The key wait takes one key without a line end and without echoing it.
TEST_F(RigwellTest, KeyWaitTakesOneKeyFromATerminalWithoutEcho) {
    PromptOnTerminal terminal;
    ASSERT_TRUE(terminal.pid > 0 && terminal.WaitForPrompt());
    EXPECT_EQ(terminal.Mode() & (ICANON | ECHO), 0u);
    ASSERT_EQ(write(terminal.master, "k", 1), 1); // no line end
    const int status = terminal.WaitForEnd();
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
    // The terminal's mode is put back.
    EXPECT_EQ(terminal.Mode() & (ICANON | ECHO), tcflag_t(ICANON | ECHO));
    // Nothing was echoed back to the terminal.
    pollfd echo{terminal.master, POLLIN, 0};
    EXPECT_EQ(poll(&echo, 1, 100) > 0 && (echo.revents & POLLIN), false);
}

// A signal that ends the program at the prompt (Ctrl-C, a closed terminal,
// kill) still puts the terminal's mode back, and the program ends by it.
TEST_F(RigwellTest, EndingTheKeyWaitBySignalRestoresTheTerminal) {
    for (const int signal : {SIGINT, SIGTERM, SIGHUP}) {
        PromptOnTerminal terminal;
        ASSERT_TRUE(terminal.pid > 0 && terminal.WaitForPrompt()) << signal;
        ASSERT_EQ(kill(terminal.pid, signal), 0);
        const int status = terminal.WaitForEnd();
        EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == signal) << status;
        EXPECT_EQ(terminal.Mode() & (ICANON | ECHO), tcflag_t(ICANON | ECHO)) << signal;
    }
}

} // namespace

namespace {

// The entry point's guard: a windowed start whose name is owned by a
// process with a window asks it forward and ends; command-line runs never
// hand their work over, and -mi and other names run.
TEST_F(RigwellTest, OnlyAWindowedSecondStartGoesToTheOwner) {
    Owner owner("PQ5S");
    ASSERT_EQ(owner.Line(), "owner");
    // A command-line run of the owner's name does its work and says so.
    const ProcessResult test = Rigwell({"-c", "-s", "-t", "-n", "PQ5S", "-p", KV_PLUGIN_FOLDER});
    EXPECT_EQ(test.exitStatus, 0) << test.err;
    EXPECT_NE(test.out.find("OK loading plug-in"), std::string::npos) << test.out;
    const ProcessResult help = Rigwell({"-h", "-n", "PQ5S"});
    EXPECT_EQ(help.out, std::string(kUsage) + "Type any key to exit\n");
    EXPECT_EQ(Rigwell({"-c", "-n", "PQ5S", "-q"}).exitStatus, 1);
    if (std::getenv("DISPLAY") != nullptr) {
        const ProcessResult forwarded = Rigwell({"-n", "PQ5S"});
        EXPECT_EQ(forwarded.exitStatus, 0) << forwarded.err;
        EXPECT_EQ(forwarded.out, "");
        // It says what it did, in one line.
        EXPECT_EQ(forwarded.err, "rigwell: another rigwell runs as PQ5S: its window was brought "
                                 "to the front (-mi starts one more)\n");
        EXPECT_EQ(owner.Line(), "front");
    }
    EXPECT_EQ(Rigwell({"-h", "-mi", "-n", "PQ5S"}).out,
              std::string(kUsage) + "Type any key to exit\n");
    EXPECT_EQ(owner.Stop(), 0);
}

} // namespace

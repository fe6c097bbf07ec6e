// The tool set as a user meets it, timed from outside: the real rigwell
// started as scripts/run.sh starts it (DulmAudioDSP from the module folder,
// u2c-sim behind TEROVAN_U2C_SOCKET), on a display with the software
// rasterizer (under xvfb-run when no display is set).
//   1. start: from spawning rigwell to the first frame its DulmAudioDSP
//      editor shows (the editor window carries more than one colour),
//      polled every 10 ms; the main window's appearance is reported too;
//   2. gesture: from the last pointer event of a drag on a band's gain (the
//      last move, or the mouse-up when nothing left before it) to the
//      control's first and last frame arriving at the simulated board, that
//      is, leaving the bridge library. The simulator's transfer log carries
//      wall-clock milliseconds.
// Targets on this machine class: start under 1 s; the gesture's frames
// within one 30 ms idle period plus the 3 ms pause before a command frame.
//   bench_session [--starts N] [--gestures N]
#include "sim/SimDaemon.h"
#include "xdrive/XDrive.h"

#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <memory>
#include <numeric>
#include <optional>
#include <spawn.h>
#include <sstream>
#include <string>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

extern char** environ;

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

constexpr long kConnectParam = 177; // the connection switch
constexpr long kGainParam = 2;      // the first band's gain
constexpr double kStartTargetMs = 1000.0;
constexpr double kGestureTargetMs = 33.0;

void Sleep(int ms) {
    std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

double MsSince(Clock::time_point t) {
    return std::chrono::duration<double, std::milli>(Clock::now() - t).count();
}

struct Stats {
    std::vector<double> values;
    void Add(double v) { values.push_back(v); }
    std::string Text() const {
        if (values.empty())
            return "no samples";
        std::vector<double> v = values;
        std::sort(v.begin(), v.end());
        const double mean = std::accumulate(v.begin(), v.end(), 0.0) / double(v.size());
        char text[160];
        std::snprintf(text, sizeof text, "mean %.1f ms, median %.1f ms, min %.1f, max %.1f (n=%zu)",
                      mean, v[v.size() / 2], v.front(), v.back(), v.size());
        return text;
    }
    double Mean() const {
        return values.empty()
                   ? 0.0
                   : std::accumulate(values.begin(), values.end(), 0.0) / double(values.size());
    }
};

// The wall-clock times (ms) of the OUT transfers in the simulator's log,
// without the device check of the plug-in's idle ({00 B7 14}, once a second).
std::vector<int64_t> OutTimes(const std::string& log) {
    std::ifstream in(log);
    std::vector<int64_t> times;
    std::string line;
    while (std::getline(in, line)) {
        std::istringstream words(line);
        long long ms = 0, us = 0;
        std::string direction;
        if (!(words >> ms >> us >> direction) || direction != "OUT")
            continue;
        const auto ends = [&line](const char* tail) {
            const size_t n = std::strlen(tail);
            return line.size() >= n && line.compare(line.size() - n, n, tail) == 0;
        };
        if (ends(" 00 B7 14") || ends(" 14 B7 00"))
            continue;
        times.push_back(ms);
    }
    return times;
}

// Waits until the log has been quiet for `quietMs` (at most `limitMs`).
void Settle(const std::string& log, int quietMs, int limitMs) {
    const auto start = Clock::now();
    size_t last = OutTimes(log).size();
    auto since = Clock::now();
    while (MsSince(start) < limitMs) {
        Sleep(20);
        const size_t now = OutTimes(log).size();
        if (now != last) {
            last = now;
            since = Clock::now();
        } else if (MsSince(since) >= quietMs) {
            return;
        }
    }
}

class Rigwell {
public:
    Rigwell(const std::string& program, const std::string& modules) {
        std::vector<std::string> args = {program, "-p", modules, "-n", "PQ5S"};
        std::vector<char*> argv;
        for (std::string& a : args)
            argv.push_back(a.data());
        argv.push_back(nullptr);
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        // Its messages (ALSA probing, traces) would drown the report.
        posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
        posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
        if (posix_spawn(&pid_, program.c_str(), &actions, nullptr, argv.data(), environ) != 0)
            pid_ = -1;
        posix_spawn_file_actions_destroy(&actions);
    }
    ~Rigwell() { Stop(nullptr, 0); }
    bool Running() const { return pid_ > 0; }
    // Closes the main window and waits (bounded); kills it when it hangs.
    int Stop(xdrive::Display* display, xdrive::WindowId main) {
        if (pid_ <= 0)
            return -1;
        if (display != nullptr && main != 0)
            display->Close(main);
        else
            kill(pid_, SIGTERM);
        for (int i = 0; i < 600; ++i) {
            int status = 0;
            if (waitpid(pid_, &status, WNOHANG) == pid_) {
                pid_ = -1;
                return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
            }
            Sleep(50);
        }
        kill(pid_, SIGKILL);
        waitpid(pid_, nullptr, 0);
        pid_ = -1;
        return -1;
    }

private:
    pid_t pid_ = -1;
};

// Waits for a viewable window whose picture has more than one colour.
std::optional<double> WaitForFirstFrame(xdrive::Display& display, const std::string& title,
                                        Clock::time_point start, double limitMs,
                                        xdrive::WindowId& window) {
    while (MsSince(start) < limitMs) {
        window = display.FindWindow(title, true);
        if (window != 0 && display.IsMapped(window)) {
            const auto picture = display.Snap(window);
            if (picture && !picture->IsUniform())
                return MsSince(start);
        }
        Sleep(10);
    }
    return std::nullopt;
}

int Usage() {
    std::fprintf(stderr, "usage: bench_session [--starts N] [--gestures N]\n");
    return 2;
}

} // namespace

int main(int argc, char** argv) {
    int starts = 5, gestures = 10;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if ((arg == "--starts" || arg == "--gestures") && i + 1 < argc)
            (arg == "--starts" ? starts : gestures) = std::max(1, std::atoi(argv[++i]));
        else if (arg.rfind("--benchmark", 0) != 0) // scripts/bench.sh passes those to all
            return Usage();
    }
    const char* display = std::getenv("DISPLAY");
    if (display == nullptr || *display == '\0') {
        std::vector<char*> args = {const_cast<char*>("xvfb-run"), const_cast<char*>("-a"),
                                   const_cast<char*>("-s"),
                                   const_cast<char*>("-screen 0 1280x1024x24")};
        for (int i = 0; i < argc; ++i)
            args.push_back(argv[i]);
        args.push_back(nullptr);
        execvp("xvfb-run", args.data());
        std::fprintf(stderr, "bench_session: no display and no xvfb-run\n");
        return 1;
    }

    // The user's settings stay untouched: a private settings store,
    // session file and single-instance lock.
    std::string scratch = (fs::temp_directory_path() / "bench_session.XXXXXX").string();
    if (mkdtemp(scratch.data()) == nullptr)
        return 1;
    setenv("XDG_CONFIG_HOME", (scratch + "/config").c_str(), 1);
    setenv("XDG_RUNTIME_DIR", scratch.c_str(), 1);
    setenv("TMPDIR", scratch.c_str(), 1);

    u2csim::SimDaemon sim(KV_BENCH_U2C_SIM);
    if (!sim.ready()) {
        std::fprintf(stderr, "bench_session: u2c-sim did not start\n");
        return 1;
    }
    setenv("TEROVAN_U2C_SOCKET", sim.socketPath().c_str(), 1);
    xdrive::Display x;
    if (!x.Ok()) {
        std::fprintf(stderr, "bench_session: cannot open the display\n");
        return 1;
    }

    std::printf("start: rigwell -p %s -n PQ5S, to the first editor frame (target < %.0f ms)\n",
                KV_BENCH_MODULES, kStartTargetMs);
    Stats mainWindow, editorFrame;
    std::unique_ptr<Rigwell> rigwell;
    xdrive::WindowId main = 0, editor = 0;
    for (int run = 0; run < starts; ++run) {
        if (rigwell) {
            rigwell->Stop(&x, main);
            Sleep(300);
        }
        main = editor = 0;
        const auto start = Clock::now();
        rigwell = std::make_unique<Rigwell>(KV_BENCH_RIGWELL, KV_BENCH_MODULES);
        if (!rigwell->Running())
            return 1;
        if (!WaitForFirstFrame(x, "Rigwell & Runner", start, 30000, main)) {
            std::fprintf(stderr, "bench_session: the main window did not appear\n");
            return 1;
        }
        mainWindow.Add(MsSince(start));
        if (const auto ms = WaitForFirstFrame(x, "Quorl Audio DulmDSP", start, 5000, editor))
            editorFrame.Add(*ms);
        else
            editor = 0;
    }
    std::printf("  main window shown:   %s\n", mainWindow.Text().c_str());
    if (editorFrame.values.empty()) {
        std::printf("  editor first frame:  no editor window appeared\n");
    } else {
        std::printf("  editor first frame:  %s -> %s\n", editorFrame.Text().c_str(),
                    editorFrame.Mean() < kStartTargetMs ? "within target" : "OVER TARGET");
    }

    std::string error;
    const std::string module = std::string(KV_BENCH_MODULES) + "/DulmAudioDSP.so";
    const auto connect = xdrive::LayoutRect(module, std::to_string(kConnectParam), error);
    const auto gain = xdrive::LayoutRect(module, std::to_string(kGainParam), error);
    std::printf("gesture: a band's gain dragged, last pointer event to its frames at the board "
                "(target < %.0f ms)\n",
                kGestureTargetMs);
    if (editor == 0 || !connect || !gain) {
        std::printf("  not measured: %s\n", editor == 0 ? "no editor window" : error.c_str());
    } else {
        const int cx = ((*connect)[1] + (*connect)[3]) / 2,
                  cy = ((*connect)[0] + (*connect)[2]) / 2;
        x.Click(editor, cx, cy);
        Settle(sim.logPath(), 500, 15000);
        const int gx = ((*gain)[1] + (*gain)[3]) / 2, gy = ((*gain)[0] + (*gain)[2]) / 2;
        Stats first, last;
        int afterUp = 0, none = 0;
        for (int g = 0; g < gestures; ++g) {
            const int direction = g % 2 == 0 ? -1 : 1;
            x.Press(editor, gx, gy);
            int64_t lastMove = 0;
            for (int step = 1; step <= 5; ++step) {
                lastMove = x.MoveTo(editor, gx - direction * 6 * step, gy); // the fader lies flat
                Sleep(15);
            }
            Sleep(60);
            const int64_t up = x.Release();
            Settle(sim.logPath(), 300, 3000);
            std::vector<int64_t> out = OutTimes(sim.logPath());
            std::erase_if(out, [lastMove](int64_t t) { return t < lastMove; });
            if (out.empty()) {
                ++none;
                continue;
            }
            // Frames before the mouse-up came from the last move.
            const int64_t from = out.front() < up ? lastMove : up;
            afterUp += from == up ? 1 : 0;
            first.Add(double(out.front() - from));
            last.Add(double(out.back() - from));
        }
        std::printf("  to the first frame:  %s -> %s\n", first.Text().c_str(),
                    !first.values.empty() && first.Mean() < kGestureTargetMs ? "within target"
                                                                             : "OVER TARGET");
        std::printf("  to the last frame:   %s\n", last.Text().c_str());
        std::printf("  frames sent on the mouse-up: %d of %d gestures; no frames: %d\n", afterUp,
                    gestures, none);
    }
    if (rigwell)
        rigwell->Stop(&x, main);
    sim.stop();
    fs::remove_all(scratch);
    return 0;
}

// Opening a 5-minute 44.1 kHz stereo 16-bit WAV file as input and rendering
// it through one pass-through plug-in instance into an output file takes at
// most twice the wall time of `sox in.wav out.wav` on the same file.
//
// BM_CmdLineCancellation times the whole program: `rigwell -c` rendering a
// 10-minute file through the pass-through plug-in and comparing the result
// with the input, beside `sox in.wav copy.wav` on the same file, in each
// iteration. Targets: the ratio of the two times at most 1.0, and the
// program's peak memory (peak_MB) under 64 MB whatever the file's length
// (BM_CmdLineCancellation/60 takes an hour-long file).
#include "PassThroughComponent.h"
#include "host/PluginRunner.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <spawn.h>
#include <stdexcept>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

extern char** environ;

namespace {

namespace fs = std::filesystem;

// The input file, made once by sox in a scratch folder.
const fs::path& Folder() {
    static const fs::path folder = [] {
        fs::path path = fs::temp_directory_path() / ("bench_host_" + std::to_string(::getpid()));
        fs::create_directories(path);
        const std::string command = "sox -q -r 44100 -c 2 -n -b 16 '" + (path / "in.wav").string() +
                                    "' synth 300 sine 440 vol 0.5";
        if (std::system(command.c_str()) != 0)
            throw std::runtime_error("sox failed: " + command);
        return path;
    }();
    return folder;
}

double Seconds(std::chrono::steady_clock::time_point start) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

void BM_RunnerRender(benchmark::State& state) {
    const kvFM::KCStPath input((Folder() / "in.wav").string());
    for (auto _ : state) {
        KCPluginRunner runner{kvFM::KCStPath()};
        runner.Init();
        if (runner.LoadPlugin(PassThrough(), false, false) == nullptr)
            throw std::runtime_error("the pass-through plug-in did not load");
        const auto start = std::chrono::steady_clock::now();
        kvFM::KCStPath output(Folder().string());
        KTErr status = runner.OpenInputFile(input, false);
        if (status == eNoErr)
            status = runner.MakeOutputFileNames(input, output, kvFM::KCStPath());
        if (status == eNoErr)
            status = runner.OpenOutputFile(output);
        state.SetIterationTime(Seconds(start));
        if (status != eNoErr)
            throw std::runtime_error("render failed: " + std::to_string(status));
    }
}
BENCHMARK(BM_RunnerRender)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(3);

void BM_SoxCopy(benchmark::State& state) {
    const std::string command = "sox '" + (Folder() / "in.wav").string() + "' '" +
                                (Folder() / "sox_out.wav").string() + "'";
    for (auto _ : state) {
        const auto start = std::chrono::steady_clock::now();
        if (std::system(command.c_str()) != 0)
            throw std::runtime_error("sox failed");
        state.SetIterationTime(Seconds(start));
    }
}
BENCHMARK(BM_SoxCopy)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(3);

// A stereo 16-bit 44.1 kHz file of that many minutes, made once.
std::string MinutesFile(int64_t minutes) {
    const fs::path path = Folder() / ("minutes" + std::to_string(minutes) + ".wav");
    if (!fs::exists(path)) {
        const std::string command = "sox -q -r 44100 -c 2 -n -b 16 '" + path.string() + "' synth " +
                                    std::to_string(minutes * 60) + " sine 440 sine 660 vol 0.5";
        if (std::system(command.c_str()) != 0)
            throw std::runtime_error("sox failed: " + command);
    }
    return path.string();
}

struct ProcessCost {
    double seconds = 0;
    double peakMegabytes = 0;
};

// Runs a program to its end with its output discarded: its wall time and
// its peak resident memory. GNU time runs it and reports the peak: a
// program spawned from here would inherit this process's peak.
ProcessCost RunProcess(const std::vector<std::string>& arguments) {
    const std::string peakFile = (Folder() / "peak.txt").string();
    std::vector<std::string> command = {"/usr/bin/time", "-f", "%M", "-o", peakFile};
    command.insert(command.end(), arguments.begin(), arguments.end());
    std::vector<char*> argv;
    for (const std::string& argument : command)
        argv.push_back(const_cast<char*>(argument.c_str()));
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    const auto start = std::chrono::steady_clock::now();
    pid_t pid = 0;
    const int spawned = posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (spawned != 0)
        throw std::runtime_error("cannot start /usr/bin/time (Debian package time)");
    int status = 0;
    if (waitpid(pid, &status, 0) != pid || !WIFEXITED(status) || WEXITSTATUS(status) != 0)
        throw std::runtime_error(arguments[0] + " failed");
    const double seconds = Seconds(start);
    std::ifstream peak(peakFile);
    double kilobytes = 0;
    peak >> kilobytes;
    return {seconds, kilobytes / 1024.0};
}

void BM_CmdLineCancellation(benchmark::State& state) {
    const std::string input = MinutesFile(state.range(0));
    const std::string output = (Folder() / "rendered").string();
    fs::create_directories(output);
    const std::vector<std::string> rigwell = {KV_BENCH_RIGWELL,
                                              "-c",
                                              "-s",
                                              "-n",
                                              "PQ5S",
                                              "-p",
                                              KV_BENCH_PLUGIN_FOLDER,
                                              "-f",
                                              input,
                                              "-r",
                                              input,
                                              "-o",
                                              output};
    const std::vector<std::string> sox = {"/usr/bin/sox", input, (Folder() / "copy.wav").string()};
    double rigwellSeconds = 0, soxSeconds = 0, peak = 0;
    for (auto _ : state) {
        const ProcessCost ours = RunProcess(rigwell);
        const ProcessCost theirs = RunProcess(sox);
        rigwellSeconds += ours.seconds;
        soxSeconds += theirs.seconds;
        peak = std::max(peak, ours.peakMegabytes);
        state.SetIterationTime(ours.seconds);
    }
    state.counters["rigwell_s"] = rigwellSeconds / double(state.iterations());
    state.counters["sox_s"] = soxSeconds / double(state.iterations());
    state.counters["ratio"] = rigwellSeconds / soxSeconds;
    state.counters["peak_MB"] = peak;
}
BENCHMARK(BM_CmdLineCancellation)
    ->Arg(10)
    ->Arg(60)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond)
    ->Iterations(5);

} // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    std::error_code ec;
    fs::remove_all(Folder(), ec);
    return 0;
}

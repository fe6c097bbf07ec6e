// Opening a 5-minute 44.1 kHz stereo 16-bit WAV file as input and rendering
// it through one pass-through plug-in instance into an output file takes at
// most twice the wall time of `sox in.wav out.wav` on the same file.
#include "PassThroughComponent.h"
#include "host/PluginRunner.h"

#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <stdexcept>
#include <string>
#include <unistd.h>

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

} // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    std::error_code ec;
    fs::remove_all(Folder(), ec);
    return 0;
}

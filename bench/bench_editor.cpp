// One idle tick of the program in GUI mode with the pass-through plug-in's
// editor (300 x 200) shown: the runner's idle work and the view's, in which
// the editor is cleared by the plug-in and swapped. Target: the mean tick
// under 10 % of the 30 ms idle interval (3 ms), the share the CPU meter
// reports as idle load. Reports the mean and the 99th percentile.
#include "PassThroughComponent.h"
#include "audio/CpuMeter.h"
#include "host/GuiApplication.h"
#include "host/PluginRunner.h"
#include "host/PluginRunnerView.h"
#include "host/PluginView.h"
#include "ui/KMWindowManager.h"

#include <benchmark/benchmark.h>
#include <wx/app.h>

#include <algorithm>
#include <chrono>
#include <stdexcept>
#include <vector>

namespace {

void BM_IdleTickWithEditor(benchmark::State& state) {
    if (!StartToolkit("bench_editor")) {
        state.SkipWithError("no display: run under xvfb-run -a");
        return;
    }
    KMInit(nullptr);
    {
        KCPluginRunner runner{kvFM::KCStPath(KV_BENCH_RIGWELL)};
        runner.Init();
        if (runner.LoadPlugin(PassThrough(), false, false) == nullptr)
            throw std::runtime_error("the pass-through plug-in did not load");
        KCPluginRunnerView view(&runner, KSRunnerViewOptions());
        view.Open();
        if (view.GetPluginViews().size() != 1 || !view.GetPluginViews().front()->IsShown())
            throw std::runtime_error("no editor shown");
        CpuMeter::Reset();
        CpuMeter::SetIdleInterval(0.03);
        std::vector<double> ticks;
        for (auto _ : state) {
            const auto start = std::chrono::steady_clock::now();
            runner.Idle();
            view.Idle();
            const auto end = std::chrono::steady_clock::now();
            const double us = std::chrono::duration<double, std::micro>(end - start).count();
            CpuMeter::AddIdleTime(static_cast<int64_t>(us));
            state.SetIterationTime(us / 1e6);
            ticks.push_back(us);
            // The loop's own work between ticks, outside the measure.
            wxTheApp->Yield(true);
        }
        int64_t idleMicroseconds = 0;
        const double idleLoad = CpuMeter::GetIdleLoad(idleMicroseconds);
        std::sort(ticks.begin(), ticks.end());
        double sum = 0;
        for (double t : ticks)
            sum += t;
        const size_t p99 = std::min(ticks.size() - 1, ticks.size() * 99 / 100);
        state.counters["mean_us"] = ticks.empty() ? 0 : sum / double(ticks.size());
        state.counters["p99_us"] = ticks.empty() ? 0 : ticks[p99];
        state.counters["idle_load_pct"] = idleLoad;
        view.Close();
        runner.Shutdown();
    }
    KMDispose();
    StopToolkit();
}
BENCHMARK(BM_IdleTickWithEditor)->UseManualTime()->Iterations(2000)->Unit(benchmark::kMicrosecond);

} // namespace

BENCHMARK_MAIN();

// The program's idle tick in GUI mode with an editor shown: the runner's
// idle work and the view's (the editor's idle draw and the swap).
//
// BM_IdleTickWithEditor: the pass-through plug-in's editor (300 x 200),
// cleared by the plug-in and swapped each tick. Target: the mean tick under
// 10 % of the 30 ms idle interval (3 ms), the share the CPU meter reports as
// idle load. Reports the mean and the 99th percentile.
//
// BM_DulmEditorIdle: DulmAudioDSP's expanded editor shown and nothing
// changing, ticked every 30 ms as the program does, with the event loop run
// between ticks. Target: the program's CPU time (every thread, the
// renderer's included) under 2 % of one core (cpu_pct). With the argument
// 1 every tick redraws the whole editor, as the editor did before it
// redrew only what changed: the figure to compare with.
//
// BM_DulmEditorDrag: the same editor while a slider is dragged, one step per
// tick. Each tick must draw the new value (redraws_per_step is 1) and the
// tick stays under a third of the interval (10 ms).
#include "PassThroughComponent.h"
#include "audio/CpuMeter.h"
#include "guilib/Algorithm.h"
#include "guilib/StandardGUI.h"
#include "host/GuiApplication.h"
#include "host/PluginRunner.h"
#include "host/PluginRunnerView.h"
#include "host/PluginView.h"
#include "hosting/Plugin.h"
#include "ui/KMWindowManager.h"

#include <benchmark/benchmark.h>
#include <wx/app.h>
#include <wx/utils.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <ctime>
#include <stdexcept>
#include <vector>

namespace {

constexpr double kIdleSeconds = 0.03;
// DulmAudioDSP's "Collapse" switch.
constexpr unsigned long kCollapseParam = 124;

double CpuSeconds(clockid_t clock) {
    timespec t{};
    clock_gettime(clock, &t);
    return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) * 1e-9;
}

double ProcessCpuSeconds() {
    return CpuSeconds(CLOCK_PROCESS_CPUTIME_ID);
}

// DulmAudioDSP has the pass-through plug-in's type and sub-type.
QuorlComponentInfo Dulm() {
    QuorlComponentInfo component = PassThrough();
    component.Path() = kvFM::KCStPath(KV_BENCH_DULM);
    return component;
}

// A runner with one plug-in loaded and its editor shown.
struct SShown {
    KCPluginRunner runner{kvFM::KCStPath(KV_BENCH_RIGWELL)};
    KCPluginRunnerView* view = nullptr;
    KCPlugin* plugin = nullptr;

    explicit SShown(const QuorlComponentInfo& component) {
        runner.Init();
        plugin = runner.LoadPlugin(component, false, false);
        if (plugin == nullptr)
            throw std::runtime_error("the plug-in did not load");
        view = new KCPluginRunnerView(&runner, KSRunnerViewOptions());
        view->Open();
        if (view->GetPluginViews().size() != 1 || !view->GetPluginViews().front()->IsShown())
            throw std::runtime_error("no editor shown");
    }
    ~SShown() {
        view->Close();
        delete view;
        runner.Shutdown();
    }
    void Tick() {
        runner.Idle();
        view->Idle();
    }
    // The rest of the interval as the program's loop spends it: what is
    // pending is handled once, then it sleeps until the next tick.
    static void Between(double seconds) {
        wxTheApp->Yield(true);
        if (seconds > 0)
            wxMicroSleep(static_cast<unsigned long>(seconds * 1e6));
    }
    CStandardGUI_X* Editor() const {
        return static_cast<CStandardGUI_X*>(plugin->GetProxy().GetInstance()->gui);
    }
};

void Summarise(benchmark::State& state, std::vector<double>& ticks) {
    std::sort(ticks.begin(), ticks.end());
    double sum = 0;
    for (double t : ticks)
        sum += t;
    const size_t p99 = ticks.empty() ? 0 : std::min(ticks.size() - 1, ticks.size() * 99 / 100);
    state.counters["mean_us"] = ticks.empty() ? 0 : sum / double(ticks.size());
    state.counters["p99_us"] = ticks.empty() ? 0 : ticks[p99];
}

void BM_IdleTickWithEditor(benchmark::State& state) {
    SShown shown(PassThrough());
    CpuMeter::Reset();
    CpuMeter::SetIdleInterval(kIdleSeconds);
    std::vector<double> ticks;
    for (auto _ : state) {
        const auto start = std::chrono::steady_clock::now();
        shown.Tick();
        const auto end = std::chrono::steady_clock::now();
        const double us = std::chrono::duration<double, std::micro>(end - start).count();
        CpuMeter::AddIdleTime(static_cast<int64_t>(us));
        state.SetIterationTime(us / 1e6);
        ticks.push_back(us);
        // The loop's own work between ticks, outside the measure.
        wxTheApp->Yield(true);
    }
    int64_t idleMicroseconds = 0;
    state.counters["idle_load_pct"] = CpuMeter::GetIdleLoad(idleMicroseconds);
    Summarise(state, ticks);
}
BENCHMARK(BM_IdleTickWithEditor)->UseManualTime()->Iterations(2000)->Unit(benchmark::kMicrosecond);

void BM_DulmEditorIdle(benchmark::State& state) {
    SShown shown(Dulm());
    // Expanded ("Collapse" off), and settled: the first ticks draw the
    // whole editor.
    static_cast<cALGORITHM*>(shown.plugin->GetProxy().GetInstance()->algorithm)
        ->SetParamState(kCollapseParam, 0);
    for (int i = 0; i < 20; ++i) {
        shown.Tick();
        SShown::Between(kIdleSeconds);
    }
    const uint64_t drawsBefore = shown.Editor()->GetRedrawCount();
    std::vector<double> ticks;
    const double cpuStart = ProcessCpuSeconds();
    const auto wallStart = std::chrono::steady_clock::now();
    const bool everything = state.range(0) == 1;
    double tickCpu = 0;
    for (auto _ : state) {
        const auto start = std::chrono::steady_clock::now();
        const double cpu = CpuSeconds(CLOCK_THREAD_CPUTIME_ID);
        if (everything)
            shown.Editor()->CDrawable::SetRefresh();
        shown.Tick();
        tickCpu += CpuSeconds(CLOCK_THREAD_CPUTIME_ID) - cpu;
        const double us =
            std::chrono::duration<double, std::micro>(std::chrono::steady_clock::now() - start)
                .count();
        state.SetIterationTime(us / 1e6);
        ticks.push_back(us);
        SShown::Between(kIdleSeconds - us / 1e6);
    }
    const double wall =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - wallStart).count();
    state.counters["cpu_pct"] = 100.0 * (ProcessCpuSeconds() - cpuStart) / wall;
    // The share of the ticks themselves (the editor's idle work and draws).
    state.counters["tick_cpu_pct"] = 100.0 * tickCpu / wall;
    state.counters["target_cpu_pct"] = 2.0;
    state.counters["redraws"] = double(shown.Editor()->GetRedrawCount() - drawsBefore);
    Summarise(state, ticks);
}
BENCHMARK(BM_DulmEditorIdle)
    ->Arg(0)
    ->Arg(1)
    ->UseManualTime()
    ->Iterations(200)
    ->Unit(benchmark::kMicrosecond);

void BM_DulmEditorDrag(benchmark::State& state) {
    SShown shown(Dulm());
    CStandardGUI_X* editor = shown.Editor();
    // The first slider of the layout that is shown.
    cControl_X* slider = nullptr;
    for (long i = 0; i < editor->GetNumControllers() && !slider; ++i) {
        cControl_X* c = editor->GetControl(static_cast<size_t>(i));
        if (std::string(c->GetControlClass()) == "Slider" && !c->IsHidden() && !c->IsReadOnly())
            slider = c;
    }
    if (!slider) {
        state.SkipWithError("no slider in the editor");
        return;
    }
    for (int i = 0; i < 5; ++i)
        shown.Tick();
    const KURect<short> r = slider->GetDrawableRect();
    const bool vertical = r.Height() > r.Width();
    KCEventData e;
    const KCPoint<short> down(static_cast<short>((r.left + r.right) / 2),
                              static_cast<short>(vertical ? r.bottom - 2 : (r.top + r.bottom) / 2));
    e.SetMouseDownLocation(down);
    e.SetMouselocation(down);
    shown.plugin->DoMouseDown(&e);
    shown.Tick();
    std::vector<double> ticks;
    uint64_t steps = 0, drawn = 0;
    short offset = 0;
    for (auto _ : state) {
        offset = static_cast<short>(offset + 1);
        if (offset > (vertical ? r.Height() : r.Width()) - 4)
            offset = 0; // back to the start, and on again
        const double before = slider->LeadState();
        e.SetMouselocation(vertical ? KCPoint<short>(down.x, static_cast<short>(down.y - offset))
                                    : KCPoint<short>(static_cast<short>(down.x + offset), down.y));
        shown.plugin->DoMouseMove(&e);
        const uint64_t draws = editor->GetRedrawCount();
        const auto start = std::chrono::steady_clock::now();
        shown.Tick();
        const double us =
            std::chrono::duration<double, std::micro>(std::chrono::steady_clock::now() - start)
                .count();
        state.SetIterationTime(us / 1e6);
        ticks.push_back(us);
        if (slider->LeadState() != before) {
            ++steps;
            drawn += editor->GetRedrawCount() - draws;
        }
        wxTheApp->Yield(true);
    }
    shown.plugin->DoMouseUp(&e);
    state.counters["redraws_per_step"] = steps ? double(drawn) / double(steps) : 0;
    state.counters["target_tick_us"] = 10000;
    Summarise(state, ticks);
}
BENCHMARK(BM_DulmEditorDrag)->UseManualTime()->Iterations(300)->Unit(benchmark::kMicrosecond);

} // namespace

int main(int argc, char** argv) {
    if (!StartToolkit("bench_editor")) {
        std::fprintf(stderr, "bench_editor needs a display: run it under xvfb-run -a\n");
        return 2;
    }
    KMInit(nullptr);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    KMDispose();
    StopToolkit();
    return 0;
}

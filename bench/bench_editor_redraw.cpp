// One full redraw of the plug-in's expanded editor, as the host's idle tick
// makes it (KP_DoIdle into the editor's OpenGL window, finished with
// glFinish), stays under a third of the host's 30 ms idle period: under
// 10 ms with llvmpipe under Xvfb (measured: about 5.6 ms with one llvmpipe
// thread, LP_NUM_THREADS=0). Needs a display (xvfb-run).
#include "hosting/PluginInterface.h"
#include "ui/GMRenderer.h"
#include "ui/KMWindowManager.h"

#include "BenchToolkit.h"

#include <benchmark/benchmark.h>
#include <dlfcn.h>

#include <GL/gl.h>
#include <wx/app.h>
#include <wx/init.h>

#include <cstdio>
#include <cstdlib>
#include <memory>

namespace {

const char* const kNames[] = {
#define KP_ENTRY(name, params) #name,
#include "hosting/PluginEntryPoints.def"
#undef KP_ENTRY
};

void Pump(int ms) {
    for (int t = 0; t < ms; t += 5) {
        wxTheApp->Yield(true);
        wxTheApp->ProcessPendingEvents();
        wxMilliSleep(5);
    }
}

// The module, its instance and its editor shown in a frame with an OpenGL
// child window, as the host shows it.
struct SEditor {
    void* module = nullptr;
    SPluginEntryPoints kp;
    std::unique_ptr<PluginInstance> instance = std::make_unique<PluginInstance>();
    KCWindow frame;
    KCWindow child;
    KURect<short> view;

    bool Open() {
        module = ::dlopen(KV_BENCH_DULM, RTLD_NOW | RTLD_LOCAL);
        if (!module)
            return false;
        void** slots = reinterpret_cast<void**>(&kp);
        for (size_t i = 0; i < kPluginEntryPointCount; ++i)
            if (!(slots[i] = ::dlsym(module, kNames[i])))
                return false;
        instance->module = static_cast<KTNativeContainerType*>(module);
        instance->componentInfo.componentSubType = KCFourCC(KV_FOURCC("PQ5S"));
        if (kp.KP_CreateInstance(instance.get()) != 0 ||
            kp.KP_InitAlgToHardware(instance.get(), nullptr, 0, 48000) != 0 ||
            kp.KP_CreateGUI(instance.get()) != 0 || kp.KP_InitGUI(instance.get()) != 0)
            return false;
        kp.KP_GetViewRect(instance.get(), &view);
        if (view.IsEmpty())
            return false;
        KCWinCreateOpts f;
        f.kind = kWinKindPlain;
        f.flags = 0x105;
        f.title = "editor";
        f.bounds = KURect<short>(0, 0, view.bottom, view.right);
        KCWinCreateOpts c;
        c.kind = kWinKindOpenGL;
        c.flags = 0x120;
        c.parent = &frame;
        c.bounds = view;
        if (KMCreateWindow(f, frame) != eNoErr || KMCreateWindow(c, child) != eNoErr)
            return false;
        instance->window = &child;
        kp.KP_SetWindow(instance.get());
        if (GMCreateRC(child) != eNoErr)
            return false;
        kp.KP_InitHatch(instance.get(), &view);
        kp.KP_SetRefresh(instance.get(), &view);
        kp.KP_ActivateWindow(instance.get());
        KMShowWindow(child);
        KMShowWindow(frame);
        Pump(300);
        return true;
    }
    void Close() {
        kp.KP_DeactivateWindow(instance.get());
        GMDisposeRC(child);
        instance->window = nullptr;
        kp.KP_SetWindow(instance.get());
        kp.KP_DeleteInstance(instance.get());
        KMDisposeWindow(child);
        KMDisposeWindow(frame);
        ::dlclose(module);
    }
    void Redraw() {
        GMBind2RC(child);
        kp.KP_SetRefresh(instance.get(), &view);
        kp.KP_DoIdle(instance.get());
        glFinish();
    }
};

SEditor* theEditor = nullptr;

void BM_EditorFullRedraw(benchmark::State& state) {
    for (int i = 0; i < 5; ++i) // textures and glyphs made once
        theEditor->Redraw();
    for (auto _ : state)
        theEditor->Redraw();
    GMSwapBuffers(theEditor->child);
    state.counters["target_ms"] = 10.0;
}
BENCHMARK(BM_EditorFullRedraw)->Unit(benchmark::kMillisecond)->MinTime(2.0);

} // namespace

int main(int argc, char** argv) {
    if (!StartBenchToolkit("bench_editor_redraw", argv[0]))
        return 2;
    KMInit(nullptr);
    SEditor editor;
    if (!editor.Open()) {
        std::fprintf(stderr, "bench_editor: the editor could not be opened\n");
        return 1;
    }
    theEditor = &editor;
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    editor.Close();
    wxTheApp->OnExit();
    wxEntryCleanup();
    return 0;
}

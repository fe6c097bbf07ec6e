// The plug-in module's entry points: the host binds these by name and calls
// each with the instance record; they forward to the instance's algorithm
// object (and, once made, its editor object).
#include "hosting/PluginInterface.h"
#include "plugin/PeqAlg.h"
#include "ui/KCWindow.h"
#include "ui/KMWindowManager.h"

#include "MyGUI.h"

#include "foundation/RM.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <new>
#include <string>

#define KP_EXPORT extern "C" __attribute__((visibility("default")))

namespace {

constexpr uint32_t kSetupA = KV_FOURCC("setA");
constexpr uint32_t kSetupB = KV_FOURCC("setB");

cPEQ_ALG* Alg(PluginInstance* instance) {
    return instance ? static_cast<cPEQ_ALG*>(instance->algorithm) : nullptr;
}

CMyGUI* Gui(PluginInstance* instance) {
    return instance ? static_cast<CMyGUI*>(instance->gui) : nullptr;
}

// The component information is the host's record, read in place through its
// inline members only: the module does not link its out-of-line code, so the
// dynamic-type check (which needs its type information) stays off here.
__attribute__((no_sanitize("vptr"))) KCFourCC SubTypeOf(const PluginInstance* instance) {
    return instance->componentInfo.componentSubType;
}

void DeleteGui(PluginInstance* instance) {
    if (CMyGUI* gui = Gui(instance)) {
        gui->Dispose();
        delete gui;
        instance->gui = nullptr;
    }
}

} // namespace

KP_EXPORT int32_t KP_CreateInstance(PluginInstance* instance) {
    if (!instance)
        return -1;
    instance->pluginWord = 0;
    KTResContainerType* container = nullptr;
    const KTErr attach = RMAttachResContainer(instance->module, container);
    cPEQ_ALG* alg = new (std::nothrow) cPEQ_ALG(&instance->componentInfo, container);
    if (!alg) {
        RMDetachResContainer(container);
        return -108;
    }
    instance->algorithm = alg;
    alg->SetEditorFactory([](KTResContainerType* resources) -> CStandardGUI_X* {
        return new (std::nothrow) CMyGUI(resources);
    });
    alg->SetAlgSubType(SubTypeOf(instance));
    instance->idleStarted = 0;
    alg->FinishCreate();
    return static_cast<int32_t>(attach);
}

KP_EXPORT int32_t KP_DeleteInstance(PluginInstance* instance) {
    if (!instance)
        return 0;
    if (CMyGUI* gui = Gui(instance))
        gui->Dispose();
    if (cPEQ_ALG* alg = Alg(instance))
        alg->Dispose();
    delete Gui(instance);
    instance->gui = nullptr;
    delete Alg(instance);
    instance->algorithm = nullptr;
    KTResContainerType* container = nullptr;
    if (RMGetResContainer(instance->module, container) == 0 && container)
        RMDetachResContainer(container);
    return 0;
}

// The editor entries forward to the instance's editor object.
KP_EXPORT int32_t KP_CreateGUI(PluginInstance* instance) {
    if (!instance)
        return -1;
    DeleteGui(instance);
    KTResContainerType* container = nullptr;
    const KTErr err = RMGetResContainer(instance->module, container);
    if (cPEQ_ALG* alg = Alg(instance); container && alg) {
        instance->gui = alg->CreateGUISelf(container);
        if (!instance->gui)
            return -108;
    }
    return static_cast<int32_t>(err);
}
KP_EXPORT int32_t KP_InitGUI(PluginInstance* instance) {
    CMyGUI* gui = Gui(instance);
    if (!gui)
        return -1;
    gui->InitDefaultGUI(Alg(instance));
    return static_cast<int32_t>(gui->FinishCreate(instance));
}
KP_EXPORT int32_t KP_ActivateWindow(PluginInstance* instance) {
    if (CMyGUI* gui = Gui(instance))
        gui->ActivateWindow(instance->window);
    return 0;
}
KP_EXPORT int32_t KP_DeactivateWindow(PluginInstance* instance) {
    if (CMyGUI* gui = Gui(instance))
        gui->DeactivateWindow();
    return 0;
}
KP_EXPORT int32_t KP_SetWindow(PluginInstance* instance) {
    if (CMyGUI* gui = Gui(instance))
        gui->SetWindow(instance->window);
    return 0;
}
KP_EXPORT int32_t KP_InitHatch(PluginInstance* instance, KURect<short>* rect) {
    if (CMyGUI* gui = Gui(instance); gui && rect)
        gui->InitHatch(*rect);
    return 0;
}
KP_EXPORT int32_t KP_MoveHatch(PluginInstance* instance, KCPoint<short>* point) {
    if (CMyGUI* gui = Gui(instance); gui && point)
        gui->MoveHatch(*point);
    return 0;
}
KP_EXPORT int32_t KP_DoMouseDown(PluginInstance* instance, KCEventData* event) {
    CMyGUI* gui = Gui(instance);
    return gui ? static_cast<int32_t>(gui->DoMouseDown(instance, event)) : 0;
}
KP_EXPORT int32_t KP_DoMouseMove(PluginInstance* instance, KCEventData* event) {
    if (CMyGUI* gui = Gui(instance))
        gui->DoMouseMove(instance, event);
    return 0;
}
KP_EXPORT int32_t KP_DoMouseUp(PluginInstance* instance, KCEventData* event) {
    CMyGUI* gui = Gui(instance);
    return gui ? static_cast<int32_t>(gui->DoMouseUp(instance, event)) : 0;
}
KP_EXPORT int32_t KP_DoMouseWheel(PluginInstance* instance, KCEventData* event) {
    CMyGUI* gui = Gui(instance);
    return gui ? static_cast<int32_t>(gui->DoMouseWheel(instance, event)) : 0;
}
KP_EXPORT int32_t KP_DoKeyDown(PluginInstance* instance, KCEventData* event, bool* handled) {
    if (CMyGUI* gui = Gui(instance))
        gui->DoKey(instance, event, handled);
    else if (handled)
        *handled = false;
    return 0;
}
KP_EXPORT int32_t KP_DoKeyUp(PluginInstance*, KCEventData*) {
    return 0;
}
KP_EXPORT int32_t KP_SetRefresh(PluginInstance* instance, KURect<short>* rect) {
    CMyGUI* gui = Gui(instance);
    return gui ? static_cast<int32_t>(gui->SetRefresh(rect)) : CStandardGUI_X::kNotReady;
}
KP_EXPORT int32_t KP_GetViewRect(PluginInstance* instance, KURect<short>* out) {
    KURect<short> rect{};
    if (CMyGUI* gui = Gui(instance))
        gui->GetViewRect(rect);
    if (out)
        *out = rect;
    if (instance)
        instance->viewRect = rect;
    return 0;
}
KP_EXPORT int32_t KP_SetAutomationRefCons(PluginInstance* instance, int32_t controller,
                                          int32_t refcon, int32_t refcon2) {
    CMyGUI* gui = Gui(instance);
    return gui ? static_cast<int32_t>(gui->SetAutomationRefCons(controller, refcon, refcon2)) : 0;
}
KP_EXPORT int32_t KP_SetControlHighlightInfo(PluginInstance* instance, int32_t controller, bool a,
                                             bool b) {
    CMyGUI* gui = Gui(instance);
    return gui ? static_cast<int32_t>(gui->SetControlHighlightInfo(controller, a, b)) : 0;
}
KP_EXPORT int32_t KP_SetControllerValue(PluginInstance* instance, int32_t controller,
                                        double value) {
    CMyGUI* gui = Gui(instance);
    return gui ? static_cast<int32_t>(gui->SetControllerValue(controller, value)) : 0;
}
// The control's value as text, copied with its terminator always written
// (the editor's text, else the parameter's own text).
KP_EXPORT int32_t KP_TranslateController(PluginInstance* instance, int32_t controller, double value,
                                         char* out, int32_t size) {
    cPEQ_ALG* alg = Alg(instance);
    if (!out || size <= 0)
        return 0;
    std::string text;
    long result = 0;
    if (CMyGUI* gui = Gui(instance))
        result = controller >= 0
                     ? gui->TranslateController(static_cast<unsigned long>(controller), value, text)
                     : static_cast<long>(eGenericErr);
    if (text.empty() && alg && controller >= 0)
        alg->TranslateParam(static_cast<unsigned long>(controller), value, text);
    const size_t n = std::min(text.size(), static_cast<size_t>(size - 1));
    std::memcpy(out, text.data(), n);
    out[n] = '\0';
    return static_cast<int32_t>(result);
}
KP_EXPORT int32_t KP_GetControlNameOfLength(PluginInstance* instance, int32_t controller,
                                            int32_t length, char** name) {
    CMyGUI* gui = Gui(instance);
    return gui && name
               ? static_cast<int32_t>(gui->GetControlNameOfLength(controller, length, *name))
               : 0;
}

// The part of the instance's window the user can see, in the editor's
// coordinates (empty without a window).
static KCRegion VisibleRegion(PluginInstance* instance, const CMyGUI& gui) {
    KCRegion region;
    if (!instance->window || KMGetVisibleRegion(*instance->window, region) != eNoErr)
        return KCRegion();
    const KURect<short> hatch = gui.GetHatch();
    region.OffsetBy(
        KCPoint<short>(static_cast<short>(-hatch.left), static_cast<short>(-hatch.top)));
    return region;
}

// Idle: the device check runs only while some of the editor can be seen.
KP_EXPORT int32_t KP_DoIdle(PluginInstance* instance) {
    if (!instance)
        return 0;
    if (CMyGUI* gui = Gui(instance)) {
        gui->SetVisible(VisibleRegion(instance, *gui));
        if (gui->IsVisible())
            if (cPEQ_ALG* alg = Alg(instance))
                alg->DoIdle(1);
        gui->DoIdle();
    }
    instance->idleStarted = 1;
    return 0;
}

KP_EXPORT int32_t KP_InitAlgToHardware(PluginInstance* instance, KTExecCallBack callback,
                                       int32_t refValue, int32_t rate) {
    cPEQ_ALG* alg = Alg(instance);
    if (!alg)
        return -1;
    alg->SetSampleRate(rate);
    alg->SetExecCallBack(callback, refValue);
    if (const long err = alg->InitProcessCode())
        return static_cast<int32_t>(err);
    return static_cast<int32_t>(alg->InitData());
}
KP_EXPORT int32_t KP_InitAlg(PluginInstance* instance) {
    if (cPEQ_ALG* alg = Alg(instance))
        alg->InitAlg(true);
    return 0;
}
KP_EXPORT int32_t KP_UpdateAlg(PluginInstance* instance) {
    if (cPEQ_ALG* alg = Alg(instance))
        alg->UpdateDSPCoefs(true);
    return 0;
}
KP_EXPORT int32_t KP_UpdatePar(PluginInstance* instance, int32_t param, int32_t value,
                               BUFFER_HEADER** out) {
    cPEQ_ALG* alg = Alg(instance);
    if (!alg || param < 0)
        return 0;
    alg->SetParamState(static_cast<unsigned long>(param), static_cast<double>(value));
    BUFFER_HEADER* chain = alg->TakeBuffers().release();
    if (out)
        *out = chain;
    else
        DisposeBufs(chain);
    return 0;
}
KP_EXPORT int32_t KP_GetParamState(PluginInstance* instance, int32_t param, double* out) {
    cPEQ_ALG* alg = Alg(instance);
    if (alg && out && param >= 0)
        *out = alg->GetParamState(static_cast<unsigned long>(param));
    return 0;
}
KP_EXPORT int32_t KP_SaveCoefsToBuffer(PluginInstance* instance, char* buffer) {
    cPEQ_ALG* alg = Alg(instance);
    return alg ? static_cast<int32_t>(alg->GetDSPCoefs(buffer)) : -1;
}
KP_EXPORT int32_t KP_SaveStatesToBuffer(PluginInstance* instance, char* buffer) {
    cPEQ_ALG* alg = Alg(instance);
    return alg && buffer && alg->GetInitialStates(buffer) != 0 ? 0 : -1;
}
KP_EXPORT int32_t KP_ChangeSampleRate(PluginInstance* instance, int32_t rate) {
    cPEQ_ALG* alg = Alg(instance);
    return alg ? static_cast<int32_t>(alg->ChangeSampleRate(rate)) : -1;
}
KP_EXPORT int32_t KP_SetBypass(PluginInstance* instance, int16_t bypass) {
    if (cPEQ_ALG* alg = Alg(instance))
        alg->SetBypass(bypass != 0);
    return 0;
}
KP_EXPORT int32_t KP_SetProcessActive(PluginInstance* instance, int32_t active) {
    if (cPEQ_ALG* alg = Alg(instance))
        alg->SetProcessActive(active);
    return 0;
}
KP_EXPORT int32_t KP_InitProcessing(PluginInstance*) {
    return 0;
}
KP_EXPORT int32_t KP_GetProcessCode(PluginInstance*, void*) {
    return -10;
}
KP_EXPORT int32_t KP_ProcessFunctionLock(PluginInstance* instance, bool lock) {
    if (cPEQ_ALG* alg = Alg(instance)) {
        if (lock)
            alg->GetProcessSemaphoreIDPtr()->obtain();
        else
            alg->GetProcessSemaphoreIDPtr()->release();
    }
    return 0;
}
KP_EXPORT int32_t KP_LocateDSP(PluginInstance* instance, LocateInfo* info, int32_t* a, int32_t* b) {
    cPEQ_ALG* alg = Alg(instance);
    if (!alg)
        return -1;
    long la = a ? *a : 0, lb = b ? *b : 0;
    const long err = alg->Locate(info, &la, &lb);
    if (a)
        *a = static_cast<int32_t>(la);
    if (b)
        *b = static_cast<int32_t>(lb);
    if (err == 0)
        alg->SetProcessActive(1);
    return static_cast<int32_t>(err);
}
// The seven arguments are passed on as they come: pointers and two numbers
// carried in pointer-sized slots.
KP_EXPORT int32_t KP_PreScan(PluginInstance* instance, void* a, void* b, void* c, void* d, void* e,
                             void* f, void* g) {
    if (cPEQ_ALG* alg = Alg(instance))
        alg->PreScanData(static_cast<char*>(a), static_cast<long>(reinterpret_cast<intptr_t>(b)),
                         static_cast<long>(reinterpret_cast<intptr_t>(c)), static_cast<char*>(d),
                         static_cast<char*>(e), static_cast<char*>(f), static_cast<char*>(g));
    return 0;
}
KP_EXPORT int32_t KP_TransportChange(PluginInstance* instance, bool playing, bool recording,
                                     int32_t position, int32_t mode) {
    if (cPEQ_ALG* alg = Alg(instance))
        alg->TransportChange(playing, recording, position, mode);
    return 0;
}
KP_EXPORT int32_t KP_RetrieveVXProcessCode(PluginInstance* instance, int32_t processor, int32_t os,
                                           char* buffer) {
    cPEQ_ALG* alg = Alg(instance);
    return alg ? static_cast<int32_t>(alg->RetrieveVXProcessCode(processor, os, buffer)) : -1;
}
KP_EXPORT int32_t KP_GetVXProcessSize(PluginInstance* instance, int32_t processor, int32_t os,
                                      uint32_t* size) {
    cPEQ_ALG* alg = Alg(instance);
    const unsigned long n = alg ? alg->GetVXProcessSize(processor, os) : 0;
    if (size)
        *size = static_cast<uint32_t>(n);
    return n != 0 ? 0 : -1;
}
KP_EXPORT int32_t KP_LoadFromBuffer(PluginInstance* instance, int32_t* buffer, KCFourCC setup,
                                    int32_t size) {
    cPEQ_ALG* alg = Alg(instance);
    return alg ? static_cast<int32_t>(alg->LoadSetupFromBuffer(buffer, setup, size)) : -1;
}
KP_EXPORT int32_t KP_SaveToBuffer(PluginInstance* instance, char* buffer, KCFourCC setup) {
    cPEQ_ALG* alg = Alg(instance);
    return alg ? static_cast<int32_t>(alg->SaveSetupToBuffer(buffer, setup)) : -1;
}
KP_EXPORT int32_t KP_SetActiveSetupType(PluginInstance* instance, KCFourCC type) {
    cPEQ_ALG* alg = Alg(instance);
    const long setup = type.Get() == kSetupA ? 0 : type.Get() == kSetupB ? 1 : -1;
    // The editor hears of the change through the algorithm's broadcaster.
    if (alg)
        alg->ChangeActiveSetup(setup);
    return 0;
}
KP_EXPORT int32_t KP_GetActiveSetupType(PluginInstance* instance, KCFourCC* out) {
    cPEQ_ALG* alg = Alg(instance);
    if (!alg || !out)
        return -1;
    switch (alg->GetActiveSetup()) {
    case eSetupA:
        *out = KCFourCC(kSetupA);
        return 0;
    case eSetupB:
        *out = KCFourCC(kSetupB);
        return 0;
    }
    return -1;
}
KP_EXPORT int32_t KP_GetNumChunks(PluginInstance* instance, uint32_t* out) {
    cPEQ_ALG* alg = Alg(instance);
    if (alg && out)
        *out = static_cast<uint32_t>(alg->GetNumChunks());
    return 0;
}
KP_EXPORT int32_t KP_GetChunkSize(PluginInstance* instance, uint32_t* size, bool flag,
                                  uint32_t id) {
    cPEQ_ALG* alg = Alg(instance);
    if (!alg || !size)
        return -1;
    unsigned long n = 0;
    const long err = alg->GetChunkSize(id, flag, n);
    *size = static_cast<uint32_t>(n);
    return static_cast<int32_t>(err);
}
// The chunk's text in a block the host frees.
KP_EXPORT int32_t KP_GetChunk(PluginInstance* instance, uint32_t id, char** data, int32_t* size,
                              bool flag) {
    cPEQ_ALG* alg = Alg(instance);
    if (!alg || !data || !size)
        return -1;
    std::string text;
    const long err = alg->GetChunk(id, text, flag);
    if (!text.empty()) {
        char* block = static_cast<char*>(std::malloc(text.size()));
        if (!block)
            return -5023;
        std::memcpy(block, text.data(), text.size());
        *data = block;
        *size = static_cast<int32_t>(text.size());
    }
    return static_cast<int32_t>(err);
}
KP_EXPORT int32_t KP_SetChunk(PluginInstance* instance, uint32_t id, char* data, uint32_t size) {
    cPEQ_ALG* alg = Alg(instance);
    return alg ? static_cast<int32_t>(alg->SetChunk(id, data, size)) : -1;
}
KP_EXPORT int32_t KP_GetIOPortStatus(PluginInstance* instance, int32_t port, uint32_t item,
                                     int32_t* status) {
    cPEQ_ALG* alg = Alg(instance);
    return alg ? static_cast<int32_t>(alg->GetIOPortStatus(port, item, status)) : -1;
}
KP_EXPORT int32_t KP_SetIOPortStatus(PluginInstance* instance, int32_t port, uint32_t item,
                                     int32_t status) {
    cPEQ_ALG* alg = Alg(instance);
    return alg ? static_cast<int32_t>(alg->SetIOPortStatus(port, item, status)) : -1;
}
KP_EXPORT int32_t KP_ReceiveMessage(PluginInstance* instance, char* message, KCFourCC type) {
    cPEQ_ALG* alg = Alg(instance);
    return alg ? static_cast<int32_t>(alg->ReceiveMessage(message, type)) : -1;
}
KP_EXPORT int32_t KP_ProcessMidi(PluginInstance* instance, QuorlMidiEvent* event) {
    cPEQ_ALG* alg = Alg(instance);
    if (alg && event)
        alg->MidiProcessInput(*event);
    return 0;
}
KP_EXPORT int32_t KP_GetPluginInfo(PluginInstance* instance, uint32_t category, uint32_t item,
                                   int32_t* out) {
    cPEQ_ALG* alg = Alg(instance);
    return alg ? static_cast<int32_t>(alg->GetPluginInfo(category, item, out)) : -1;
}
KP_EXPORT int32_t KP_SetPluginInfo(PluginInstance* instance, uint32_t category, uint32_t item,
                                   int32_t count, char* data) {
    cPEQ_ALG* alg = Alg(instance);
    return alg ? static_cast<int32_t>(alg->SetPluginInfo(category, item, count, data)) : -1;
}

KP_EXPORT int32_t KP_MetersGetValue(PluginInstance* instance, int32_t meter, double* value,
                                    int32_t* clip) {
    cPEQ_ALG* alg = Alg(instance);
    if (!alg || meter < 0)
        return -1;
    long c = 0;
    const long err =
        alg->GetMeterManager().GetMeterValue(static_cast<unsigned long>(meter), value, &c);
    if (clip)
        *clip = static_cast<int32_t>(c);
    return static_cast<int32_t>(err);
}
KP_EXPORT int32_t KP_MetersGetInfo(PluginInstance* instance, int32_t meter, QuorlMeterInfo* info) {
    cPEQ_ALG* alg = Alg(instance);
    return alg && info && meter >= 0 ? static_cast<int32_t>(alg->GetMeterManager().GetMeterInfo(
                                           static_cast<unsigned long>(meter), *info))
                                     : -1;
}
KP_EXPORT int32_t KP_MetersResetClip(PluginInstance* instance, int32_t meter) {
    cPEQ_ALG* alg = Alg(instance);
    return alg && meter >= 0 ? static_cast<int32_t>(alg->GetMeterManager().ResetClip(
                                   static_cast<unsigned long>(meter)))
                             : -1;
}
KP_EXPORT int32_t KP_MetersReadFromDSP(PluginInstance* instance) {
    cPEQ_ALG* alg = Alg(instance);
    return alg ? static_cast<int32_t>(alg->ReadFromDSP()) : -1;
}

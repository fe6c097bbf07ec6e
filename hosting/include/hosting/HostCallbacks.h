// The host callbacks: the one function through which a plug-in reaches its
// host, the objects it dispatches to, and the sample converters it hands
// out.
#pragma once

#include "hosting/NativeProcessMemory.h"
#include "hosting/PluginInterface.h"

#include "foundation/KURect.h"

#include <cstdint>

// What the editor view offers the callbacks.
class KCPluginViewHooks {
public:
    virtual ~KCPluginViewHooks() = default;
    virtual void ResizeView(const KURect<short>& rect) = 0;
};

// What the plug-in runner offers the callbacks.
class KCPluginRunnerHooks {
public:
    virtual ~KCPluginRunnerHooks() = default;
    virtual int32_t ReceiveSampleCounts(int32_t first, int32_t second) = 0;
    // Whether the runner feeds its plug-ins a side chain.
    virtual bool IsSideChainOn() const { return false; }
    // Back to the start of the input.
    virtual void Rewind() {}
    // A request without a meaning of its own here: 0.
    virtual int32_t ReservedRequest() { return 0; }
};

class KCCallBackCommon {
public:
    static constexpr int32_t kUnknownSelectorResult = 5;

    // Registers the object under a token (never 0 or -1) for the plug-in's
    // reference value; the destructor forgets it.
    KCCallBackCommon();
    virtual ~KCCallBackCommon();
    KCCallBackCommon(const KCCallBackCommon&) = delete;
    KCCallBackCommon& operator=(const KCCallBackCommon&) = delete;

    int32_t GetToken() const { return token; }

    // The execution callback: selector 0 to 29 call one operation and give
    // 0; any other selector gives OnUnknownSelector's result. An unknown or
    // stale reference value gives -1 and touches nothing.
    static int32_t ExecCallBack(int32_t selector, int32_t refValue, void* p1, void* p2, void* p3);

    // Each operation's slot called from outside the dispatch, one member per
    // slot, in slot order.
    void CallCommitBufferChanges(KSBufferRequest* chain) { CommitBufferChanges(chain); }
    void CallOnSelector1(void* p1) { OnSelector1(p1); }
    void CallOnSelector2() { OnSelector2(); }
    KSBufferRequest* CallAppendBufferRequests(KSBufferRequest* a, KSBufferRequest* b) {
        return AppendBufferRequests(a, b);
    }
    void CallReleaseBuffers(KSBufferRequest* chain) { ReleaseBuffers(chain); }
    void CallRequestBuffer(const KSBufferRequest* request, KSBufferRequest** out) {
        RequestBuffer(request, out);
    }
    void CallOnSelector6() { OnSelector6(); }
    void CallGetDoubleToFloatConverter(void* out) { GetDoubleToFloatConverter(out); }
    void CallGetLongToLongConverter(void* out) { GetLongToLongConverter(out); }
    void CallGetFloatToDoubleConverter(void* out) { GetFloatToDoubleConverter(out); }
    void CallGetLongCopyConverter(void* out) { GetLongCopyConverter(out); }
    void CallGetSampleFormatCode(uint32_t* out) { GetSampleFormatCode(out); }
    void CallGetSampleSize(int32_t* out) { GetSampleSize(out); }
    void CallGetDoubleToFixedConverter(void* out) { GetDoubleToFixedConverter(out); }
    void CallGetFixedToDoubleConverter(void* out) { GetFixedToDoubleConverter(out); }
    void CallOnSelector15() { OnSelector15(); }
    void CallResizeView(const KURect<short>* rect) { ResizeView(rect); }
    void CallOnSelector16(void* p1, double value) { OnSelector16(p1, value); }
    void CallOnSelector17(void* p1) { OnSelector17(p1); }
    void CallOnSelector18(void* p1) { OnSelector18(p1); }
    void CallOnSelector19() { OnSelector19(); }
    void CallGetDoubleToDoubleConverter(void* out) { GetDoubleToDoubleConverter(out); }
    void CallGetDoubleCopyConverter(void* out) { GetDoubleCopyConverter(out); }
    void CallOnSelector25(int32_t* out) { OnSelector25(out); }
    void CallOnSelector24(bool flag) { OnSelector24(flag); }
    void CallOnSelector23(double first, double second) { OnSelector23(first, second); }
    void CallOnSelector22(double value) { OnSelector22(value); }
    void CallOnSelector26(void* p3) { OnSelector26(p3); }
    void CallOnSelector27(void* p1) { OnSelector27(p1); }
    void CallOnSelector29(void* p1, void* p3) { OnSelector29(p1, p3); }
    int32_t CallOnUnknownSelector(int32_t selector, int32_t refValue, void* p1, void* p2,
                                  void* p3) {
        return OnUnknownSelector(selector, refValue, p1, p2, p3);
    }

    // The operations, in slot order.
    virtual void CommitBufferChanges(KSBufferRequest* chain) {}
    virtual void OnSelector1(void* p1) {}
    virtual void OnSelector2() {}
    virtual KSBufferRequest* AppendBufferRequests(KSBufferRequest* a, KSBufferRequest* b) {
        return nullptr;
    }
    virtual void ReleaseBuffers(KSBufferRequest* chain) {}
    virtual void RequestBuffer(const KSBufferRequest* request, KSBufferRequest** out) {}
    virtual void OnSelector6() {}
    virtual void GetDoubleToFloatConverter(void* out) {}
    virtual void GetLongToLongConverter(void* out) {}
    virtual void GetFloatToDoubleConverter(void* out) {}
    virtual void GetLongCopyConverter(void* out) {}
    virtual void GetSampleFormatCode(uint32_t* out) {}
    virtual void GetSampleSize(int32_t* out) {}
    virtual void GetDoubleToFixedConverter(void* out) {}
    virtual void GetFixedToDoubleConverter(void* out) {}
    virtual void OnSelector15() {}
    virtual void ResizeView(const KURect<short>* rect) {}
    virtual void OnSelector16(void* p1, double value) {}
    virtual void OnSelector17(void* p1) {}
    virtual void OnSelector18(void* p1) {}
    virtual void OnSelector19() {}
    virtual void GetDoubleToDoubleConverter(void* out) {}
    virtual void GetDoubleCopyConverter(void* out) {}
    virtual void OnSelector25(int32_t* out) {}
    virtual void OnSelector24(bool flag) {}
    virtual void OnSelector23(double first, double second) {}
    virtual void OnSelector22(double value) {}
    virtual void OnSelector26(void* p3) {}
    virtual void OnSelector27(void* p1) {}
    virtual void OnSelector29(void* p1, void* p3) {}
    virtual int32_t OnUnknownSelector(int32_t selector, int32_t refValue, void* p1, void* p2,
                                      void* p3) {
        return kUnknownSelectorResult;
    }

private:
    int32_t Dispatch(int32_t selector, int32_t refValue, void* p1, void* p2, void* p3);

    int32_t token;
};

// Serves buffer requests and sample formats from one plug-in's memory.
class KCCallBackNative : public KCCallBackCommon {
public:
    explicit KCCallBackNative(KCNativeProcessMemory* memory) : memory(memory) {}

    void CommitBufferChanges(KSBufferRequest* chain) override;
    KSBufferRequest* AppendBufferRequests(KSBufferRequest* a, KSBufferRequest* b) override;
    void ReleaseBuffers(KSBufferRequest* chain) override;
    void RequestBuffer(const KSBufferRequest* request, KSBufferRequest** out) override;
    void GetDoubleToFloatConverter(void* out) override;
    void GetLongToLongConverter(void* out) override;
    void GetFloatToDoubleConverter(void* out) override;
    void GetLongCopyConverter(void* out) override;
    void GetSampleFormatCode(uint32_t* out) override;
    void GetSampleSize(int32_t* out) override;
    void GetDoubleToFixedConverter(void* out) override;
    void GetFixedToDoubleConverter(void* out) override;
    void GetDoubleToDoubleConverter(void* out) override;
    void GetDoubleCopyConverter(void* out) override;

    KCNativeProcessMemory* GetMemory() const { return memory; }

private:
    KCNativeProcessMemory* memory; // not owned
};

// Adds what the plug-in runner offers: resizing the editor, a fixed
// answer, and durations as sample counts.
class KCCallBackNativePR : public KCCallBackNative {
public:
    explicit KCCallBackNativePR(KCNativeProcessMemory* memory) : KCCallBackNative(memory) {}

    void SetRunner(KCPluginRunnerHooks* hooks) { runner = hooks; }
    void SetView(KCPluginViewHooks* hooks) { view = hooks; }
    KCPluginViewHooks* GetView() const { return view; }
    // The plug-in's current sample rate in whole samples per second.
    void SetSampleRate(uint32_t rate) { sampleRate = rate; }

    void ResizeView(const KURect<short>* rect) override;
    void OnSelector23(double first, double second) override;
    void OnSelector25(int32_t* out) override;

private:
    KCPluginRunnerHooks* runner = nullptr; // not owned
    KCPluginViewHooks* view = nullptr;     // not owned; null while no editor
    uint32_t sampleRate = 0;
};

// The converters handed out to plug-ins; each returns the byte size of one
// converted host sample.
int32_t ConvertDoubleToFloat(double value, float* out);
int32_t ConvertFloatToDouble(const float* in, double* out);
int32_t ConvertDoubleToDouble(double value, double* out);
int32_t CopyDouble(const double* in, int32_t unused, double* out);
// Saturates at the 32-bit limits; NaN gives 0.
int32_t ConvertDoubleToFixed31(double value, int32_t* out);
int32_t ConvertFixed31ToDouble(const int32_t* in, double* out);
int32_t ConvertLongToLong(int32_t value, int32_t* out);
int32_t CopyLong(const int32_t* in, int32_t* out);

// A double as a 32-bit integer, truncated toward zero and saturated; NaN
// gives 0.
int32_t SaturatedInt32(double value);

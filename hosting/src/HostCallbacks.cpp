#include "hosting/HostCallbacks.h"

#include <cmath>
#include <limits>
#include <mutex>
#include <unordered_map>

namespace {

// Tokens of the live callback objects: the plug-in's reference value is 32
// bits wide and never trusted as an address.
struct TokenTable {
    std::mutex lock;
    std::unordered_map<int32_t, KCCallBackCommon*> objects;
    int32_t next = 1;

    int32_t Add(KCCallBackCommon* object) {
        const std::lock_guard<std::mutex> guard(lock);
        int32_t token;
        do {
            token = next;
            next = next == std::numeric_limits<int32_t>::max() ? 1 : next + 1;
        } while (token == 0 || token == -1 || objects.count(token) != 0);
        objects[token] = object;
        return token;
    }
    void Remove(int32_t token) {
        const std::lock_guard<std::mutex> guard(lock);
        objects.erase(token);
    }
    KCCallBackCommon* Find(int32_t token) {
        const std::lock_guard<std::mutex> guard(lock);
        const auto it = objects.find(token);
        return it == objects.end() ? nullptr : it->second;
    }
};

TokenTable& Tokens() {
    static TokenTable table;
    return table;
}

// A double a selector reads through a pointer; 0 for a null pointer.
double ReadDouble(const void* p) {
    return p != nullptr ? *static_cast<const double*>(p) : 0.0;
}

template <typename F>
void HandOut(void* out, F function) {
    if (out != nullptr)
        *static_cast<F*>(out) = function;
}

} // namespace

int32_t SaturatedInt32(double value) {
    if (std::isnan(value))
        return 0;
    if (value >= 2147483647.0)
        return std::numeric_limits<int32_t>::max();
    if (value <= -2147483648.0)
        return std::numeric_limits<int32_t>::min();
    return static_cast<int32_t>(value);
}

int32_t ConvertDoubleToFloat(double value, float* out) {
    *out = static_cast<float>(value);
    return 4;
}

int32_t ConvertFloatToDouble(const float* in, double* out) {
    *out = *in;
    return 4;
}

int32_t ConvertDoubleToDouble(double value, double* out) {
    *out = value;
    return 8;
}

int32_t CopyDouble(const double* in, int32_t, double* out) {
    *out = *in;
    return 8;
}

int32_t ConvertDoubleToFixed31(double value, int32_t* out) {
    double x = value * 2147483648.0;
    if (x > 2147483647.0)
        x = 2147483647.0;
    else if (!(x > -2147483648.0) && !std::isnan(x))
        x = -2147483648.0;
    *out = SaturatedInt32(std::floor(x + 0.5));
    return 4;
}

int32_t ConvertFixed31ToDouble(const int32_t* in, double* out) {
    *out = *in * 4.65661287308e-10;
    return 4;
}

int32_t ConvertLongToLong(int32_t value, int32_t* out) {
    *out = value;
    return 4;
}

int32_t CopyLong(const int32_t* in, int32_t* out) {
    *out = *in;
    return 4;
}

// KCCallBackCommon

KCCallBackCommon::KCCallBackCommon() : token(Tokens().Add(this)) {}

KCCallBackCommon::~KCCallBackCommon() {
    Tokens().Remove(token);
}

int32_t KCCallBackCommon::ExecCallBack(int32_t selector, int32_t refValue, void* p1, void* p2,
                                       void* p3) {
    KCCallBackCommon* object = Tokens().Find(refValue);
    if (object == nullptr)
        return -1;
    return object->Dispatch(selector, refValue, p1, p2, p3);
}

int32_t KCCallBackCommon::Dispatch(int32_t selector, int32_t refValue, void* p1, void* p2,
                                   void* p3) {
    auto* request = static_cast<KSBufferRequest*>(p1);
    switch (selector) {
    case 0:
        CommitBufferChanges(request);
        break;
    case 1:
        OnSelector1(p1);
        break;
    case 2:
        OnSelector2();
        break;
    case 3: {
        KSBufferRequest* head = AppendBufferRequests(request, static_cast<KSBufferRequest*>(p2));
        if (p3 != nullptr)
            *static_cast<KSBufferRequest**>(p3) = head;
        break;
    }
    case 4:
        ReleaseBuffers(request);
        break;
    case 5:
        if (p3 != nullptr)
            RequestBuffer(request, static_cast<KSBufferRequest**>(p3));
        break;
    case 6:
        OnSelector6();
        break;
    case 7:
        GetDoubleToFloatConverter(p3);
        break;
    case 8:
        GetLongToLongConverter(p3);
        break;
    case 9:
        GetFloatToDoubleConverter(p3);
        break;
    case 10:
        GetLongCopyConverter(p3);
        break;
    case 11:
        if (p3 != nullptr)
            GetSampleFormatCode(static_cast<uint32_t*>(p3));
        break;
    case 12:
        if (p3 != nullptr)
            GetSampleSize(static_cast<int32_t*>(p3));
        break;
    case 13:
        GetDoubleToFixedConverter(p3);
        break;
    case 14:
        GetFixedToDoubleConverter(p3);
        break;
    case 15:
        OnSelector15();
        break;
    case 16:
        OnSelector16(p1, ReadDouble(p2));
        break;
    case 17:
        OnSelector17(p1);
        break;
    case 18:
        OnSelector18(p1);
        break;
    case 19:
        OnSelector19();
        break;
    case 20:
        GetDoubleToDoubleConverter(p3);
        break;
    case 21:
        GetDoubleCopyConverter(p3);
        break;
    case 22:
        if (p1 != nullptr)
            OnSelector22(ReadDouble(p1));
        break;
    case 23:
        if (p1 != nullptr && p2 != nullptr)
            OnSelector23(ReadDouble(p1), ReadDouble(p2));
        break;
    case 24:
        OnSelector24(p1 != nullptr);
        break;
    case 25:
        if (p3 != nullptr)
            OnSelector25(static_cast<int32_t*>(p3));
        break;
    case 26:
        OnSelector26(p3);
        break;
    case 27:
        OnSelector27(p1);
        break;
    case 28:
        if (p1 != nullptr)
            ResizeView(static_cast<const KURect<short>*>(p1));
        break;
    case 29:
        OnSelector29(p1, p3);
        break;
    default:
        return OnUnknownSelector(selector, refValue, p1, p2, p3);
    }
    return 0;
}

// KCCallBackNative

void KCCallBackNative::CommitBufferChanges(KSBufferRequest* chain) {
    if (memory != nullptr)
        memory->CommitBufferChanges(chain);
}

KSBufferRequest* KCCallBackNative::AppendBufferRequests(KSBufferRequest* a, KSBufferRequest* b) {
    if (a == nullptr)
        return b;
    if (b == nullptr)
        return a;
    KSBufferRequest* last = a;
    while (last->next != nullptr && last->next != b)
        last = last->next;
    last->next = b;
    return a;
}

void KCCallBackNative::ReleaseBuffers(KSBufferRequest* chain) {
    if (memory != nullptr)
        memory->ReleaseBuffers(chain);
}

void KCCallBackNative::RequestBuffer(const KSBufferRequest* request, KSBufferRequest** out) {
    *out = memory != nullptr ? memory->RequestBuffer(request) : nullptr;
}

void KCCallBackNative::GetDoubleToFloatConverter(void* out) {
    HandOut(out, &ConvertDoubleToFloat);
}
void KCCallBackNative::GetLongToLongConverter(void* out) {
    HandOut(out, &ConvertLongToLong);
}
void KCCallBackNative::GetFloatToDoubleConverter(void* out) {
    HandOut(out, &ConvertFloatToDouble);
}
void KCCallBackNative::GetLongCopyConverter(void* out) {
    HandOut(out, &CopyLong);
}
void KCCallBackNative::GetSampleFormatCode(uint32_t* out) {
    *out = 0x20202020;
}
void KCCallBackNative::GetSampleSize(int32_t* out) {
    *out = 4;
}
void KCCallBackNative::GetDoubleToFixedConverter(void* out) {
    HandOut(out, &ConvertDoubleToFixed31);
}
void KCCallBackNative::GetFixedToDoubleConverter(void* out) {
    HandOut(out, &ConvertFixed31ToDouble);
}
void KCCallBackNative::GetDoubleToDoubleConverter(void* out) {
    HandOut(out, &ConvertDoubleToDouble);
}
void KCCallBackNative::GetDoubleCopyConverter(void* out) {
    HandOut(out, &CopyDouble);
}

// KCCallBackNativePR

void KCCallBackNativePR::ResizeView(const KURect<short>* rect) {
    if (view != nullptr)
        view->ResizeView(*rect);
}

void KCCallBackNativePR::OnSelector23(double first, double second) {
    const double rate = static_cast<double>(sampleRate);
    const int32_t a = SaturatedInt32(first / 1000.0 * rate);
    const int32_t b = SaturatedInt32(second / 1000.0 * rate);
    if (runner != nullptr)
        runner->ReceiveSampleCounts(a, b);
}

void KCCallBackNativePR::OnSelector25(int32_t* out) {
    *out = 1;
}

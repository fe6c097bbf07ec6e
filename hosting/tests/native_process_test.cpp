#include "hosting/HostCallbacks.h"
#include "hosting/NativeProcessMemory.h"

#include <gmock/gmock.h>

#include <atomic>
#include <cmath>
#include <thread>

using ::testing::ElementsAre;

namespace {

sEXT_BUFF Buffer(const char (&space)[5], int32_t count) {
    sEXT_BUFF b;
    b.MemSpace = KV_FOURCC(space);
    b.Count = count;
    return b;
}

// Memory of 20 bytes instance data, 8 of coefficients, 12 of states and an
// 'XMEM' and an 'LMEM' buffer.
void Prepare(KCNativeProcessMemory& m, bool buffers = true) {
    m.instanceDataSize = 20;
    m.coefficientSize = 8;
    m.statesSize = 12;
    if (buffers)
        m.externBuffers = {Buffer("XMEM", 3), Buffer("LMEM", 10)};
    ASSERT_EQ(m.Layout(), eNoErr);
}

uintptr_t Offset(const KCNativeProcessMemory& m, const void* p) {
    return reinterpret_cast<uintptr_t>(p) - reinterpret_cast<uintptr_t>(m.instanceData);
}

TEST(NativeProcessMemory, RegionsAreAlignedInOrder) {
    KCNativeProcessMemory m;
    Prepare(m);
    EXPECT_EQ(reinterpret_cast<uintptr_t>(m.instanceData) % 16, 0u);
    EXPECT_EQ(Offset(m, m.coefficients[0]), 32u);
    EXPECT_EQ(Offset(m, m.coefficients[1]), 48u);
    EXPECT_EQ(Offset(m, m.states), 64u);
    EXPECT_EQ(Offset(m, m.externTable), 80u);
    EXPECT_EQ(Offset(m, m.externTable[0].data), 128u);
    EXPECT_EQ(m.externTable[0].size, 12);
    EXPECT_EQ(Offset(m, m.externTable[1].data), 144u);
    EXPECT_EQ(m.externTable[1].size, 80) << "an 'LMEM' buffer of 10 words takes 80 bytes";
    EXPECT_EQ(Offset(m, m.statesSnapshot), 224u);
    EXPECT_EQ(m.externBuffers[1].refCon, 1);
    EXPECT_EQ(m.externBuffers[1].localOfs, 144 - 80);
    EXPECT_EQ(m.externBytes, 16 + 80);

    KCNativeProcessMemory plain;
    Prepare(plain, false);
    EXPECT_EQ(Offset(plain, plain.statesSnapshot), 80u) << "the snapshot follows the states";

    KCNativeProcessMemory negative;
    negative.statesSize = -1;
    EXPECT_EQ(negative.Layout(), eFMWrongParameters);
    KCNativeProcessMemory huge;
    huge.externBuffers = {Buffer("LMEM", 0x7FFFFFFF), Buffer("LMEM", 0x7FFFFFFF)};
    EXPECT_EQ(huge.Layout(), eMemNewTPtrFailed);
}

TEST(NativeProcessMemory, RequestsResolveByKindAndAreReleased) {
    KCNativeProcessMemory m;
    Prepare(m);
    struct Case {
        int32_t kind, subKind, index, offset;
        const void* expected;
    };
    char* lmem = m.externTable[1].data;
    const Case cases[] = {
        {0, 0, 0, 1, m.states + 4},      {0, 1, 0, 0, m.statesSnapshot},
        {1, 0, 0, 0, m.coefficients[1]}, {100, 0, 0, 2, m.externTable[0].data + 8},
        {500, 0, 1, 0, lmem + 40},       {100, 0, 7, 0, nullptr},
        {100, 0, -1, 0, nullptr},
    };
    for (const Case& c : cases) {
        KSBufferRequest r;
        r.kind = c.kind;
        r.subKind = c.subKind;
        r.externalIndex = c.index;
        r.wordOffset = c.offset;
        r.next = &r;
        KSBufferRequest* got = m.RequestBuffer(&r);
        ASSERT_NE(got, nullptr);
        EXPECT_NE(got, &r);
        EXPECT_EQ(got->memory, c.expected) << c.kind << "/" << c.index;
        EXPECT_EQ(got->next, nullptr);
        m.ReleaseBuffers(got);
    }

    std::vector<KSBufferRequest*> held;
    KSBufferRequest r;
    r.kind = 0;
    for (int i = 0; i < KCNativeProcessMemory::kRequestCount; ++i)
        held.push_back(m.RequestBuffer(&r));
    EXPECT_NE(held.back(), nullptr);
    EXPECT_EQ(m.RequestBuffer(&r), nullptr) << "the 1025th outstanding request";
    for (size_t i = 0; i + 1 < held.size(); ++i)
        held[i]->next = held[i + 1];
    m.ReleaseBuffers(held[0]);
    m.ReleaseBuffers(held[0]);
    EXPECT_EQ(held[5]->kind, -1);
    EXPECT_EQ(held[5]->next, nullptr);
    EXPECT_NE(m.RequestBuffer(&r), nullptr);
}

// A release of an address that is not the start of one of the memory's
// records (inside a record, or the plug-in's own) changes nothing.
TEST(NativeProcessMemory, ReleasingAStrayAddressChangesNothing) {
    KCNativeProcessMemory m;
    Prepare(m);
    KSBufferRequest r;
    r.kind = 0;
    std::vector<KSBufferRequest*> held;
    for (int i = 0; i < 6; ++i)
        held.push_back(m.RequestBuffer(&r));
    ASSERT_EQ(held[5], held[0] + 5) << "the records lie side by side";
    // What a stray address 40 bytes into a record reads as its link.
    held[3]->memory = nullptr;
    held[5]->memory = nullptr;
    KSBufferRequest own = r;
    const auto inside = [](KSBufferRequest* record, size_t bytes) {
        return reinterpret_cast<KSBufferRequest*>(reinterpret_cast<char*>(record) + bytes);
    };
    KSBufferRequest* const strays[] = {inside(held[4], 40), inside(held[2], 40), &own};
    for (KSBufferRequest* stray : strays) {
        m.ReleaseBuffers(stray);
        for (int i = 0; i < 6; ++i)
            EXPECT_EQ(held[size_t(i)]->kind, 0) << "record " << i;
    }
    // Every slot taken before is still taken: the next request is a new one.
    KSBufferRequest* next = m.RequestBuffer(&r);
    EXPECT_EQ(next, held[0] + 6);
    m.ReleaseBuffers(held[4]);
    EXPECT_EQ(held[4]->kind, -1);
    EXPECT_EQ(held[5]->kind, 0);
}

KSBufferRequest CoefficientRequest(int32_t changed) {
    KSBufferRequest r;
    r.kind = 1;
    r.subKind = 0;
    r.changed = changed;
    return r;
}

TEST(NativeProcessMemory, CommitsSwitchAndCopyTheCoefficients) {
    KCNativeProcessMemory m;
    Prepare(m);
    KSBufferRequest unchanged = CoefficientRequest(0);
    EXPECT_EQ(m.CommitBufferChanges(&unchanged), eNoErr);
    EXPECT_EQ(m.activeIndex, 0);

    KSBufferRequest* r = m.RequestBuffer(&unchanged);
    std::memcpy(r->memory, "NEWCOEFS", 8);
    r->changed = 1;
    EXPECT_EQ(m.CommitBufferChanges(r), eNoErr);
    EXPECT_EQ(m.activeIndex, 1);
    EXPECT_EQ(std::memcmp(m.coefficients[0], "NEWCOEFS", 8), 0) << "both copies are new";
    EXPECT_EQ(m.CommitBufferChanges(r), eNoErr);
    EXPECT_EQ(m.activeIndex, 0) << "a second commit switches back";
}

TEST(NativeProcessMemory, ACommitDuringAProcessCallWaitsForItsEnd) {
    KCNativeProcessMemory m;
    Prepare(m);
    KSBufferRequest changed = CoefficientRequest(1);
    m.BeginProcess();
    std::atomic<bool> done{false};
    std::thread gui([&] {
        EXPECT_EQ(m.CommitBufferChanges(&changed), eNoErr);
        done = true;
    });
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    EXPECT_FALSE(done);
    EXPECT_EQ(m.activeIndex, 0) << "the running call keeps its buffer";
    m.EndProcess();
    gui.join();
    EXPECT_EQ(m.activeIndex, 1);
    EXPECT_EQ(m.inProcess, 0);

    // A call that never ends: the commit gives up after its bound.
    m.BeginProcess();
    EXPECT_EQ(m.CommitBufferChanges(&changed), eGenericErr);
    m.EndProcess();
}

// Host callbacks

struct Hooks : KCPluginViewHooks, KCPluginRunnerHooks {
    void ResizeView(const KURect<short>& r) override { resized.push_back(r.right); }
    int32_t ReceiveSampleCounts(int32_t a, int32_t b) override {
        counts = {a, b};
        return 0;
    }
    std::vector<short> resized;
    std::vector<int32_t> counts;
};

TEST(HostCallbacks, SelectorsReachTheirOperations) {
    KCNativeProcessMemory memory;
    Prepare(memory);
    KCCallBackNativePR callbacks(&memory);
    const int32_t token = callbacks.GetToken();
    EXPECT_NE(token, 0);
    EXPECT_NE(token, -1);
    auto exec = [token](int32_t selector, void* p1, void* p2, void* p3) {
        return KCCallBackCommon::ExecCallBack(selector, token, p1, p2, p3);
    };

    uint32_t word = 0;
    EXPECT_EQ(exec(30, nullptr, nullptr, &word), 5);
    EXPECT_EQ(exec(-1, nullptr, nullptr, &word), 5);
    EXPECT_EQ(word, 0u);
    EXPECT_EQ(exec(11, nullptr, nullptr, &word), 0);
    EXPECT_EQ(word, 0x20202020u);
    int32_t value = 0;
    exec(12, nullptr, nullptr, &value);
    EXPECT_EQ(value, 4);
    exec(25, nullptr, nullptr, &value);
    EXPECT_EQ(value, 1);
    EXPECT_EQ(exec(25, nullptr, nullptr, nullptr), 0) << "a null out pointer does nothing";

    KURect<short> rect{};
    rect.right = 640;
    EXPECT_EQ(exec(28, &rect, nullptr, nullptr), 0) << "no view: nothing happens";
    Hooks hooks;
    callbacks.SetView(&hooks);
    callbacks.SetRunner(&hooks);
    exec(28, &rect, nullptr, nullptr);
    EXPECT_THAT(hooks.resized, ElementsAre(640));

    callbacks.SetSampleRate(44100);
    double ten = 10.0, half = 0.5;
    EXPECT_EQ(exec(23, &ten, &half, nullptr), 0);
    EXPECT_THAT(hooks.counts, ElementsAre(441, 22));
    double huge = 1e300, nan = std::nan("");
    exec(23, &huge, &nan, nullptr);
    EXPECT_THAT(hooks.counts, ElementsAre(2147483647, 0));

    // Requests, chains and releases through the callback.
    KSBufferRequest ask;
    ask.kind = 0;
    KSBufferRequest *first = nullptr, *second = nullptr, *head = nullptr;
    exec(5, &ask, nullptr, &first);
    exec(5, &ask, nullptr, &second);
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(first->memory, memory.states);
    exec(3, nullptr, nullptr, &head);
    EXPECT_EQ(head, nullptr);
    exec(3, first, nullptr, &head);
    EXPECT_EQ(head, first);
    exec(3, first, second, &head);
    EXPECT_EQ(head, first);
    EXPECT_EQ(first->next, second);
    exec(4, first, nullptr, nullptr);
    EXPECT_EQ(second->kind, -1);

    int32_t (*fixed)(double, int32_t*) = nullptr;
    exec(13, nullptr, nullptr, &fixed);
    EXPECT_EQ(fixed, &ConvertDoubleToFixed31);
}

// Every slot also has a direct caller, outside the dispatch.
TEST(HostCallbacks, DirectCallersReachTheSlots) {
    KCNativeProcessMemory memory;
    Prepare(memory);
    KCCallBackNativePR callbacks(&memory);
    Hooks hooks;
    callbacks.SetView(&hooks);
    callbacks.SetRunner(&hooks);
    callbacks.SetSampleRate(1000);

    uint32_t code = 0;
    int32_t size = 0, answer = 0;
    callbacks.CallGetSampleFormatCode(&code);
    callbacks.CallGetSampleSize(&size);
    callbacks.CallOnSelector25(&answer);
    EXPECT_EQ(code, 0x20202020u);
    EXPECT_EQ(size, 4);
    EXPECT_EQ(answer, 1);
    EXPECT_EQ(callbacks.CallOnUnknownSelector(31, 0, nullptr, nullptr, nullptr), 5);

    KURect<short> rect{};
    rect.right = 320;
    callbacks.CallResizeView(&rect);
    EXPECT_THAT(hooks.resized, ElementsAre(320));
    callbacks.CallOnSelector23(2.0, 3.0);
    EXPECT_THAT(hooks.counts, ElementsAre(2, 3));

    KSBufferRequest ask;
    ask.kind = 0;
    KSBufferRequest *first = nullptr, *second = nullptr;
    callbacks.CallRequestBuffer(&ask, &first);
    callbacks.CallRequestBuffer(&ask, &second);
    ASSERT_NE(second, nullptr);
    EXPECT_EQ(callbacks.CallAppendBufferRequests(first, second), first);
    callbacks.CallReleaseBuffers(first);
    EXPECT_EQ(second->kind, -1);

    int32_t (*copy)(const double*, int32_t, double*) = nullptr;
    callbacks.CallGetDoubleCopyConverter(&copy);
    EXPECT_EQ(copy, &CopyDouble);
}

TEST(HostCallbacks, StaleTokensAndConverters) {
    int32_t token = 0;
    {
        KCCallBackCommon common;
        token = common.GetToken();
        uint32_t word = 7;
        EXPECT_EQ(KCCallBackCommon::ExecCallBack(11, token, nullptr, nullptr, &word), 0);
        EXPECT_EQ(word, 7u) << "the common defaults do nothing";
    }
    EXPECT_EQ(KCCallBackCommon::ExecCallBack(11, token, nullptr, nullptr, nullptr), -1);
    EXPECT_EQ(KCCallBackCommon::ExecCallBack(11, 0, nullptr, nullptr, nullptr), -1);

    struct Case {
        double in;
        int32_t out;
    };
    for (const Case& c : {Case{1.0, 2147483647}, Case{-1.0, -2147483647 - 1}, Case{0.5, 1073741824},
                          Case{-2.0, -2147483647 - 1}, Case{std::nan(""), 0}}) {
        int32_t out = 5;
        EXPECT_EQ(ConvertDoubleToFixed31(c.in, &out), 4);
        EXPECT_EQ(out, c.out) << c.in;
    }
    double d = 0;
    const int32_t half = 1073741824;
    ConvertFixed31ToDouble(&half, &d);
    EXPECT_NEAR(d, 0.5, 1e-9);
    float f = 0;
    EXPECT_EQ(ConvertDoubleToFloat(0.25, &f), 4);
    EXPECT_EQ(f, 0.25f);
    EXPECT_EQ(CopyDouble(&d, 0, &d), 8);
}

} // namespace

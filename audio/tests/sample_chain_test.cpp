#include "audio/KCSampleChain.h"

#include <gtest/gtest.h>

#include <cstring>
#include <stdexcept>
#include <vector>

namespace {

// Writes base + channel * 100 + frame into every entry and counts pulls.
class RampSource : public KCInputSampleSource {
public:
    explicit RampSource(float base = 0.0f, int* deleted = nullptr) : base(base), deleted(deleted) {}
    ~RampSource() override {
        if (deleted)
            ++*deleted;
    }
    KTErr GetSamples(KCSoundBufList& list, KCStreamState& state) override {
        ++pulls;
        lastFlags = state.flags;
        for (uint32_t c = 0; c < list.channels; ++c)
            for (uint32_t f = 0; f < list.frames; ++f)
                list.bufs[c].data[f * list.bufs[c].stride] = base + c * 100.0f + f;
        return status;
    }
    float base;
    int* deleted;
    int pulls = 0;
    uint32_t lastFlags = 0;
    KTErr status = eNoErr;
};

// A sink that records start/stop and whether it was deleted.
class RecordingSink : public KCSampleSink {
public:
    explicit RecordingSink(std::vector<std::string>* log = nullptr) : log(log) {}
    ~RecordingSink() override {
        if (log)
            log->push_back("delete");
    }
    KTErr Start() override {
        if (log)
            log->push_back("start");
        return KCSampleSink::Start();
    }
    KTErr Stop() override {
        if (log)
            log->push_back("stop");
        return KCSampleSink::Stop();
    }
    std::vector<std::string>* log;
};

// An element that adds a constant; counts its deletion.
class AddElement : public KCChainElement {
public:
    AddElement(float add, int* deleted = nullptr) : add(add), deleted(deleted) {}
    ~AddElement() override {
        if (deleted)
            ++*deleted;
    }
    KTErr GetSamples(KCSoundBufList& list, KCStreamState& state) override {
        KTErr s = input ? input->GetSamples(list, state) : eGenericErr;
        for (uint32_t c = 0; c < list.channels; ++c)
            for (uint32_t f = 0; f < list.frames; ++f)
                list.bufs[c].data[f * list.bufs[c].stride] += add;
        return s;
    }
    float add;
    int* deleted;
};

float PullFirst(KCSampleSink* sink) {
    float block[4] = {};
    KCSoundBufList list;
    list.Build(2, block, 2, 2);
    KCStreamState state;
    sink->PullInput(list, state);
    return block[0];
}

} // namespace

TEST(SampleChain, ConnectWiresSourceElementsAndSink) {
    KCSampleChain chain;
    auto* sink = new RecordingSink;
    chain.SetSink(sink);
    EXPECT_EQ(chain.Connect(), eGenericErr); // no input source
    EXPECT_FALSE(chain.IsConnected());

    auto* source = new RampSource(1.0f);
    chain.SetInputSource(source);
    EXPECT_FALSE(chain.IsConnected()); // setters never connect
    ASSERT_EQ(chain.Connect(), eNoErr);
    EXPECT_EQ(sink->GetInput(), source); // empty chain: straight through

    chain.AppendElement(new AddElement(10.0f));
    chain.AppendElement(new AddElement(100.0f));
    EXPECT_FLOAT_EQ(PullFirst(sink), 111.0f);
}

TEST(SampleChain, ConnectWithoutSinkStaysUnconnected) {
    KCSampleChain chain;
    chain.SetInputSource(new RampSource);
    chain.AppendElement(new AddElement(1.0f));
    EXPECT_EQ(chain.Connect(), eGenericErr);
    EXPECT_FALSE(chain.IsConnected());
    chain.SetSink(new RecordingSink);
    EXPECT_FALSE(chain.IsConnected());
    EXPECT_FALSE(chain.IsRunning());
    EXPECT_EQ(chain.Start(), eNoErr);
    EXPECT_FALSE(chain.IsRunning());
}

TEST(SampleChain, ReplaceElementRemovesReplacesAndRefuses) {
    int deleted = 0;
    KCSampleChain chain;
    auto* sink = new RecordingSink;
    chain.SetSink(sink);
    chain.SetInputSource(new RampSource(0.0f));
    EXPECT_EQ(chain.ReplaceElement(new AddElement(1.0f, &deleted), 0), eNoErr); // empty: appends
    chain.AppendElement(new AddElement(10.0f, &deleted));
    chain.AppendElement(new AddElement(100.0f, &deleted));
    ASSERT_EQ(chain.Connect(), eNoErr);
    EXPECT_FLOAT_EQ(PullFirst(sink), 111.0f);

    EXPECT_EQ(chain.ReplaceElement(nullptr, 1), eNoErr); // middle removed, gap closed
    EXPECT_EQ(deleted, 1);
    EXPECT_EQ(chain.GetElementCount(), 2u);
    EXPECT_FLOAT_EQ(PullFirst(sink), 101.0f);

    EXPECT_EQ(chain.ReplaceElement(new AddElement(1000.0f, &deleted), 0), eNoErr);
    EXPECT_EQ(deleted, 2);
    EXPECT_FLOAT_EQ(PullFirst(sink), 1100.0f);

    auto* spare = new AddElement(5.0f);
    EXPECT_EQ(chain.ReplaceElement(spare, 2), eGenericErr);
    EXPECT_TRUE(chain.IsConnected());
    delete spare;

    // An element the chain already holds is never deleted to make room for
    // itself, nor held twice (it would be deleted twice).
    KCChainElement* held = chain.GetElement(1);
    EXPECT_EQ(chain.ReplaceElement(held, 1), eNoErr);
    EXPECT_EQ(chain.ReplaceElement(held, 0), eGenericErr);
    EXPECT_EQ(chain.AppendElement(held), eGenericErr);
    EXPECT_EQ(deleted, 2);
    EXPECT_EQ(chain.GetElementCount(), 2u);
    EXPECT_FLOAT_EQ(PullFirst(sink), 1100.0f);
}

TEST(SampleChain, ChangesWhileRunningStopReconnectAndRestart) {
    std::vector<std::string> log, log2;
    int deleted = 0;
    KCSampleChain chain;
    chain.SetSink(new RecordingSink(&log));
    chain.SetInputSource(new RampSource);
    chain.AppendElement(new AddElement(1.0f, &deleted));
    ASSERT_EQ(chain.Connect(), eNoErr);
    ASSERT_EQ(chain.Start(), eNoErr);
    log.clear();

    EXPECT_EQ(chain.ReplaceElement(new AddElement(2.0f, &deleted), 0), eNoErr);
    EXPECT_EQ(deleted, 1);
    EXPECT_EQ(log, (std::vector<std::string>{"stop", "start"}));
    EXPECT_TRUE(chain.IsRunning());

    // A new sink replaces the old one (deleted after it stopped) and is started.
    log.clear();
    auto* sink2 = new RecordingSink(&log2);
    chain.SetSink(sink2);
    EXPECT_EQ(log, (std::vector<std::string>{"stop", "delete"}));
    EXPECT_EQ(log2, (std::vector<std::string>{"start"}));
    EXPECT_TRUE(sink2->IsRunning());
    EXPECT_FLOAT_EQ(PullFirst(sink2), 2.0f);
}

TEST(SampleChain, OwnershipOfSources) {
    int inputDeleted = 0, sideDeleted = 0;
    auto* keptSource = new RampSource(0.0f, &inputDeleted);
    auto* side1 = new RampSource(0.0f, &sideDeleted);
    auto* side2 = new RampSource(0.0f, &sideDeleted);
    {
        KCSampleChain chain;
        chain.SetInputSource(keptSource);
        chain.SetInputSource(new RampSource(0.0f, &inputDeleted)); // previous kept
        EXPECT_EQ(inputDeleted, 0);
        chain.SetSideChainSource(side1);
        chain.SetSideChainSource(side1); // the same: nothing happens
        EXPECT_EQ(sideDeleted, 0);
        chain.SetSideChainSource(side2);
        EXPECT_EQ(sideDeleted, 1);
    }
    EXPECT_EQ(inputDeleted, 1); // only the current input source
    EXPECT_EQ(sideDeleted, 1);  // the current side chain stays with its owner
    delete keptSource;
    delete side2;
}

// ---------------------------------------------------------------------------
// Processing element

namespace {

struct ProcessCall {
    int calls = 0;
    int32_t inputCount = 0;
    int32_t frames = 0;
    int32_t outputCount = 0;
    char* coefficients = nullptr;
    sNativeShellInfo shell{};
    std::vector<QuorlSoundBuf> inputs;
    bool throwIt = false;
};
ProcessCall g_call;

// Output = main input * 2 + the first side-chain input (when present).
void DoubleProcess(QuorlSoundBuf* in, int32_t inCount, int32_t frames, QuorlSoundBuf* out,
                   int32_t outCount, int32_t* result, char* coefficients, char*, ExternStruct*,
                   sNativeShellInfo* shell) {
    ++g_call.calls;
    g_call.inputCount = inCount;
    g_call.frames = frames;
    g_call.outputCount = outCount;
    g_call.coefficients = coefficients;
    g_call.shell = *shell;
    g_call.inputs.assign(in, in + inCount);
    EXPECT_EQ(*result, 0);
    if (g_call.throwIt)
        throw std::runtime_error("plug-in failure");
    for (int32_t c = 0; c < outCount; ++c)
        for (int32_t f = 0; f < frames; ++f) {
            float v = in[c].data[f * in[c].stride] * 2.0f;
            if (inCount > outCount)
                v += in[outCount].data[f * in[outCount].stride];
            out[c].data[f * out[c].stride] = v;
        }
}

struct Block {
    explicit Block(uint32_t frames, uint32_t channels, float fill = -7.0f)
        : samples(size_t(frames) * channels, fill) {
        list.Build(frames, samples.data(), channels, int32_t(channels));
    }
    std::vector<float> samples;
    KCSoundBufList list;
};

} // namespace

TEST(ProcessElement, RunsTheProcessFunctionWithShellInfoAndCoefficients) {
    g_call = {};
    char coefA[4] = {}, coefB[4] = {};
    KCNativeProcessState memory;
    memory.coefficients[0] = coefA;
    memory.coefficients[1] = coefB;
    memory.requestedIndex = 1; // the GUI asked for a switch

    RampSource source;
    KCQuorlProcessChainElement element(2, 64, 0, nullptr, DoubleProcess, &memory);
    element.input = &source;
    Block out(64, 2);
    KCStreamState state;
    state.flags = KCStreamState::kPositionValid | KCStreamState::kSamplesDelivered;
    state.position = 1000;
    ASSERT_EQ(element.GetSamples(out.list, state), eNoErr);
    EXPECT_EQ(g_call.calls, 1);
    EXPECT_EQ(g_call.inputCount, 2);
    EXPECT_EQ(g_call.outputCount, 2);
    EXPECT_EQ(g_call.frames, 64);
    EXPECT_EQ(g_call.coefficients, coefA); // switched only at the end of the call
    EXPECT_EQ(memory.activeIndex, 1);
    EXPECT_EQ(memory.inProcess, 0);
    EXPECT_FLOAT_EQ(out.samples[2 * 10 + 1], 2.0f * (100.0f + 10.0f));

    const auto& w = g_call.shell.words;
    EXPECT_EQ(w[3], -1);
    EXPECT_EQ(w[4], 1000);
    EXPECT_EQ(w[5], 1000);
    EXPECT_EQ(w[6], 1000);
    EXPECT_EQ(w[7], 64);
    EXPECT_EQ(w[14], 2);
    EXPECT_EQ(w[15], 2);
    EXPECT_EQ(w[16], 1);
    EXPECT_EQ(w[12], -1);
    float four = 0;
    std::memcpy(&four, &w[20], 4);
    EXPECT_EQ(four, 4.0f);
}

TEST(ProcessElement, PositionAndStreamModeWords) {
    struct Case {
        uint32_t flags;
        int32_t pos;
        int32_t w4, w6, w15;
    };
    const Case cases[] = {
        {0, 1000, -1, 0, 2},
        {KCStreamState::kPositionValid, 1000, 1000, 1000, 2},
        {KCStreamState::kSilence | KCStreamState::kLoop, 5, -1, 0, 1},
        {KCStreamState::kLoop, 5, -1, 0, 3},
        {KCStreamState::kSilence, 5, -1, 0, 1},
    };
    RampSource source;
    KCQuorlProcessChainElement element(1, 16, 0, nullptr, nullptr, nullptr);
    element.input = &source;
    for (const auto& c : cases) {
        Block out(16, 1);
        KCStreamState state;
        state.flags = c.flags;
        state.position = c.pos;
        EXPECT_EQ(element.GetSamples(out.list, state), eNoErr);
        const auto& w = element.GetShellInfo().words;
        EXPECT_EQ(w[4], c.w4) << c.flags;
        EXPECT_EQ(w[5], c.w4) << c.flags;
        EXPECT_EQ(w[6], c.w6) << c.flags;
        EXPECT_EQ(w[15], c.w15) << c.flags;
        EXPECT_EQ(w[14], 0);
    }
}

TEST(ProcessElement, WithoutInputOrProcessFunctionWritesSilence) {
    RampSource source(1.0f);
    KCQuorlProcessChainElement noInput(2, 32, 0, nullptr, DoubleProcess, nullptr);
    KCQuorlProcessChainElement noFunction(2, 32, 0, nullptr, nullptr, nullptr);
    noFunction.input = &source;
    for (KCQuorlProcessChainElement* element : {&noInput, &noFunction}) {
        Block out(32, 2, 5.0f); // what the caller's block held before
        KCStreamState state;
        EXPECT_EQ(element->GetSamples(out.list, state), eNoErr);
        for (float v : out.samples)
            ASSERT_EQ(v, 0.0f);
    }
    EXPECT_EQ(source.pulls, 1);
}

TEST(ProcessElement, ExceptionBecomesStatusAndLaterPullsWork) {
    g_call = {};
    KCNativeProcessState memory;
    RampSource source;
    KCQuorlProcessChainElement element(1, 8, 0, nullptr, DoubleProcess, &memory);
    element.input = &source;
    Block out(8, 1);
    KCStreamState state;
    g_call.throwIt = true;
    EXPECT_EQ(element.GetSamples(out.list, state), eExceptionErr);
    EXPECT_EQ(memory.inProcess, 1); // the end step did not run
    g_call.throwIt = false;
    EXPECT_EQ(element.GetSamples(out.list, state), eNoErr);
    EXPECT_EQ(memory.inProcess, 0);
    EXPECT_FLOAT_EQ(out.samples[3], 6.0f);

    // The input's status is passed on even though processing ran.
    source.status = eUninitalized;
    EXPECT_EQ(element.GetSamples(out.list, state), eUninitalized);
    EXPECT_EQ(g_call.calls, 3);
}

TEST(ProcessElement, FollowsTheCallersBlockShape) {
    g_call = {};
    RampSource source;
    KCQuorlProcessChainElement element(2, 64, 0, nullptr, DoubleProcess, nullptr);
    element.input = &source;
    Block mono(100, 1);
    KCStreamState state;
    ASSERT_EQ(element.GetSamples(mono.list, state), eNoErr);
    EXPECT_EQ(g_call.frames, 100);
    EXPECT_EQ(g_call.inputCount, 1); // only descriptors that exist are reported
    ASSERT_EQ(g_call.inputs.size(), 1u);
    EXPECT_EQ(g_call.inputs[0].stride, 1);
    EXPECT_FLOAT_EQ(mono.samples[99], 198.0f);
}

TEST(ProcessElement, SideChainInputsFollowTheMainInputs) {
    g_call = {};
    RampSource source(0.0f);
    RampSource side(1000.0f);
    KCQuorlProcessChainElement element(2, 16, 1, &side, DoubleProcess, nullptr);
    element.input = &source;

    // Given at construction but without storage: nothing is processed.
    Block out(16, 2, 3.0f);
    KCStreamState state;
    EXPECT_EQ(element.GetSamples(out.list, state), eNoErr);
    EXPECT_EQ(g_call.calls, 0);
    EXPECT_EQ(out.samples[0], 0.0f);

    ASSERT_EQ(element.SetSideChainSource(16, &side, 1), eNoErr);
    EXPECT_EQ(element.GetSideChainChannels(), 1);
    state.flags = 0; // the side chain is pulled with a fresh state of its own
    EXPECT_EQ(element.GetSamples(out.list, state), eNoErr);
    EXPECT_EQ(side.lastFlags, KCStreamState::kLoop);
    EXPECT_EQ(g_call.inputCount, 3);
    ASSERT_EQ(g_call.inputs.size(), 3u);
    EXPECT_EQ(g_call.inputs[2].stride, 1);
    EXPECT_FLOAT_EQ(out.samples[2 * 5 + 1], 2.0f * 105.0f + 1005.0f);

    // A larger block than the side chain was set up for gets side-chain
    // storage of its size instead of reading beyond it.
    Block big(40, 2);
    EXPECT_EQ(element.GetSamples(big.list, state), eNoErr);
    EXPECT_FLOAT_EQ(big.samples[2 * 39], 2.0f * 39.0f + 1039.0f);

    // Removing the side chain never deletes the source.
    EXPECT_EQ(element.SetSideChainSource(16, nullptr, 1), eNoErr);
    EXPECT_EQ(element.GetSideChainChannels(), 0);
}

TEST(ProcessElement, RefusesMoreInputsThanAProcessCallTakes) {
    g_call = {};
    RampSource source;
    RampSource side;
    KCQuorlProcessChainElement element(8, 16, 6, nullptr, DoubleProcess, nullptr);
    element.input = &source;
    ASSERT_EQ(element.SetSideChainSource(16, &side, 6), eNoErr);
    Block out(16, 8, 9.0f);
    KCStreamState state;
    EXPECT_EQ(element.GetSamples(out.list, state), eGenericErr);
    EXPECT_EQ(g_call.calls, 0);
    for (float v : out.samples)
        EXPECT_EQ(v, 0.0f);
    EXPECT_EQ(element.SetSideChainSource(16, &side, 17), eGenericErr);
    EXPECT_EQ(element.GetSideChainChannels(), 0);
}

#include "audio/KCSampleChain.h"

#include <algorithm>
#include <new>

// ---------------------------------------------------------------------------
// KCSampleChain

KCSampleChain::~KCSampleChain() {
    if (connected && sink)
        sink->Stop();
    delete sink;
    sink = nullptr;
    for (auto*& e : elements) {
        delete e;
        e = nullptr;
    }
    elements.clear();
    delete inputSource;
    inputSource = nullptr;
}

KTErr KCSampleChain::Connect() {
    connected = false;
    if (!inputSource)
        return eGenericErr;
    KCSampleSource* upstream = inputSource;
    for (KCChainElement* e : elements) {
        if (!e)
            continue;
        e->input = upstream;
        upstream = e;
    }
    if (!sink)
        return eGenericErr;
    sink->SetInput(upstream);
    connected = true;
    return eNoErr;
}

template <class Change>
KTErr KCSampleChain::Rewire(Change&& change) {
    const bool wasConnected = connected;
    const bool wasRunning = connected && sink && sink->IsRunning();
    if (wasRunning)
        sink->Stop();
    KTErr status = change();
    KTErr follow = eNoErr;
    if (wasConnected)
        follow = Connect();
    if (wasRunning && connected && sink)
        follow = sink->Start();
    return status != eNoErr ? status : follow;
}

bool KCSampleChain::Holds(const KCChainElement* element) const {
    return element && std::find(elements.begin(), elements.end(), element) != elements.end();
}

KTErr KCSampleChain::ReplaceElement(KCChainElement* element, int32_t index) {
    if (index >= 0 && static_cast<size_t>(index) < elements.size() && elements[index] == element)
        return eNoErr; // already there
    if (Holds(element))
        return eGenericErr; // held elsewhere: it would be held (and deleted) twice
    return Rewire([&]() -> KTErr {
        if (elements.empty() && index == 0) {
            if (element)
                elements.push_back(element);
            return eNoErr;
        }
        if (index < 0 || static_cast<size_t>(index) >= elements.size())
            return eGenericErr;
        delete elements[index];
        if (element)
            elements[index] = element;
        else
            elements.erase(elements.begin() + index);
        return eNoErr;
    });
}

KTErr KCSampleChain::AppendElement(KCChainElement* element) {
    if (Holds(element))
        return eGenericErr;
    return Rewire([&]() -> KTErr {
        if (element)
            elements.push_back(element);
        return eNoErr;
    });
}

void KCSampleChain::SetInputSource(KCSampleSource* source) {
    if (!source)
        return;
    Rewire([&]() -> KTErr {
        inputSource = source;
        return eNoErr;
    });
}

void KCSampleChain::SetSideChainSource(KCSampleSource* source) {
    if (!source || source == sideChainSource)
        return;
    Rewire([&]() -> KTErr {
        delete sideChainSource;
        sideChainSource = source;
        return eNoErr;
    });
}

void KCSampleChain::SetSink(KCSampleSink* newSink) {
    if (!newSink || newSink == sink)
        return;
    Rewire([&]() -> KTErr {
        delete sink;
        sink = newSink;
        return eNoErr;
    });
}

bool KCSampleChain::IsRunning() const {
    return connected && sink && sink->IsRunning();
}

KTErr KCSampleChain::Start() {
    return connected && sink ? sink->Start() : eNoErr;
}

KTErr KCSampleChain::Stop() {
    return connected && sink ? sink->Stop() : eNoErr;
}

// ---------------------------------------------------------------------------
// KCQuorlProcChainElemBase

KCQuorlProcChainElemBase::KCQuorlProcChainElemBase(int32_t channelCount, uint32_t framesPerBuffer,
                                                   int32_t sideChainChannels,
                                                   KCSampleSource* sideChain)
    : sideChainSource(sideChain), channels(channelCount) {
    shellInfo.words[17] = 0;
    shellInfo.Init();
    shellInfo.words[sNativeShellInfo::kWordReserved1] = 0;
    shellInfo.words[sNativeShellInfo::kWordReserved2] = 0;
    shellInfo.words[sNativeShellInfo::kWordReserved8] = 0;
    shellInfo.words[sNativeShellInfo::kWordReserved9] = 0;
    shellInfo.words[sNativeShellInfo::kWordSideChainChannels] = sideChainChannels;
    if (channelCount > 0 && static_cast<uint32_t>(channelCount) <= kMaxSoundBufChannels)
        PrepareInput(framesPerBuffer, static_cast<uint32_t>(channelCount));
}

KCQuorlProcChainElemBase::~KCQuorlProcChainElemBase() = default;

KTErr KCQuorlProcChainElemBase::SetSideChainSource(uint32_t frames, KCSampleSource* source,
                                                   int32_t sideChannels) {
    sideChainSource = nullptr;
    sideChainList.Build(0, nullptr, 0, 0);
    std::vector<float>().swap(sideChainBuffer);
    shellInfo.words[sNativeShellInfo::kWordSideChainChannels] = 0;
    if (!source)
        return eNoErr;
    if (sideChannels <= 0 || static_cast<uint32_t>(sideChannels) > kMaxSoundBufChannels)
        return eGenericErr;
    shellInfo.words[sNativeShellInfo::kWordSideChainChannels] = sideChannels;
    sideChainBuffer.assign(size_t(frames) * size_t(sideChannels), 0.0f);
    sideChainList.Build(frames, sideChainBuffer.data(), uint32_t(sideChannels), sideChannels);
    sideChainSource = source;
    return eNoErr;
}

KTErr KCQuorlProcChainElemBase::PrepareInput(uint32_t frames, uint32_t channelCount) {
    if (inputList.frames == frames && inputList.channels == channelCount &&
        (inputList.bufs[0].data || frames == 0 || channelCount == 0))
        return eNoErr;
    inputBuffer.assign(size_t(frames) * channelCount, 0.0f);
    return inputList.Build(frames, inputBuffer.data(), channelCount,
                           static_cast<int32_t>(channelCount));
}

void KCQuorlProcChainElemBase::WriteShellInfo(uint32_t frames, const KCStreamState& state) {
    auto& w = shellInfo.words;
    const bool positionValid = (state.flags & KCStreamState::kPositionValid) != 0;
    w[sNativeShellInfo::kWordFrames] = static_cast<int32_t>(frames);
    w[sNativeShellInfo::kWordSamplesDelivered] =
        static_cast<int32_t>(state.flags & KCStreamState::kSamplesDelivered);
    w[sNativeShellInfo::kWordStreamMode] = (state.IsSilent() ? 1 : 2) | (state.IsLoop() ? 1 : 0);
    w[sNativeShellInfo::kWordPosition] = positionValid ? state.position : -1;
    w[sNativeShellInfo::kWordPosition2] = positionValid ? state.position : -1;
    w[sNativeShellInfo::kWordPositionOrZero] = positionValid ? state.position : 0;
    w[sNativeShellInfo::kWordBlockMarker] = -1;
}

KTErr KCQuorlProcChainElemBase::GetSamples(KCSoundBufList& list, KCStreamState& state) {
    const uint32_t frames = list.frames;
    const uint32_t count = list.channels;
    if (count > kMaxSoundBufChannels)
        return eGenericErr;
    try {
        // Allocates only when the block shape changes.
        PrepareInput(frames, count);
        const int32_t sideChannels = shellInfo.words[sNativeShellInfo::kWordSideChainChannels];
        if (sideChainSource && sideChannels > 0 && sideChainList.frames != frames &&
            sideChainList.bufs[0].data)
            SetSideChainSource(frames, sideChainSource, sideChannels);
    } catch (const std::bad_alloc&) {
        list.Clear();
        return eMemNewFailed;
    }

    if (!input) {
        // Nothing to process: the caller gets silence, never stale samples.
        list.Clear();
        return eNoErr;
    }

    KTErr status = input->GetSamples(inputList, state);

    QuorlSoundBuf* inputs = inputList.bufs;
    int32_t inputCount = static_cast<int32_t>(count);
    bool process = true;
    if (sideChainSource) {
        const int32_t sideChannels = GetSideChainChannels();
        if (sideChannels > 0 && sideChainList.bufs[0].data &&
            inputCount + sideChannels <= kMaxProcessInputs) {
            KCStreamState fresh;
            sideChainSource->GetSamples(sideChainList, fresh);
            for (int32_t i = 0; i < inputCount; ++i)
                processInputs[i] = inputList.bufs[i];
            for (int32_t i = 0; i < sideChannels; ++i)
                processInputs[inputCount + i] = sideChainList.bufs[i];
            inputs = processInputs;
            inputCount += sideChannels;
        } else {
            process = false;
            if (sideChannels > 0 && sideChainList.bufs[0].data && status == eNoErr)
                status = eGenericErr; // more inputs than a process call can take
        }
    }

    WriteShellInfo(frames, state);

    if (!process) {
        list.Clear();
        return status;
    }
    processInputCount = inputCount;
    try {
        BeginProcess();
        Process(inputs, list.bufs, static_cast<int32_t>(count));
        EndProcess();
    } catch (...) {
        status = eExceptionErr;
    }
    return status;
}

// ---------------------------------------------------------------------------
// KCQuorlProcessChainElement

KCQuorlProcessChainElement::KCQuorlProcessChainElement(
    int32_t channelCount, uint32_t framesPerBuffer, int32_t sideChainChannels,
    KCSampleSource* sideChain, NativeProcessFunction function, KCNativeProcessState* memory)
    : KCQuorlProcChainElemBase(channelCount, framesPerBuffer, sideChainChannels, sideChain),
      processFunction(function), processMemory(memory) {}

void KCQuorlProcessChainElement::BeginProcess() {
    if (processMemory)
        processMemory->BeginProcess();
}

void KCQuorlProcessChainElement::EndProcess() {
    if (processMemory)
        processMemory->EndProcess();
}

void KCQuorlProcessChainElement::ProcessInPlace(QuorlSoundBuf* bufs, int32_t count) {
    Process(bufs, bufs, count);
}

void KCQuorlProcessChainElement::Process(QuorlSoundBuf* in, QuorlSoundBuf* out, int32_t outputs) {
    if (!processFunction) {
        // Nothing processes the block: its outputs are silence, never what
        // the caller's buffers held before.
        SilenceSoundBufs(out, static_cast<uint32_t>(std::max(outputs, 0)),
                         static_cast<uint32_t>(shellInfo.words[sNativeShellInfo::kWordFrames]));
        return;
    }
    int32_t result = 0;
    processFunction(in, ProcessInputCount(), shellInfo.words[sNativeShellInfo::kWordFrames], out,
                    outputs, &result, processMemory ? processMemory->ActiveCoefficients() : nullptr,
                    processMemory ? processMemory->states : nullptr,
                    processMemory ? processMemory->externTable : nullptr, &shellInfo);
}

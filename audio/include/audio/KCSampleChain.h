// The chain of one stream: an input source, processing elements and a sink.
#pragma once

#include <cstdint>
#include <vector>

#include "audio/KCSampleGraph.h"
#include "audio/ProcessRecords.h"

// A source fed by another source.
class KCChainElement : public KCSampleSource {
public:
    KCSampleSource* input = nullptr; // not owned; set by KCSampleChain::Connect
};

class KCSampleChain {
public:
    KCSampleChain() = default;
    ~KCSampleChain();
    KCSampleChain(const KCSampleChain&) = delete;
    KCSampleChain& operator=(const KCSampleChain&) = delete;

    // Wires source -> elements -> sink. -1 without an input source or sink.
    KTErr Connect();
    // Replaces (deletes) the element at index; a null element removes the
    // slot. On an empty chain index 0 appends. -1 for an index out of range
    // or an element held at another index.
    KTErr ReplaceElement(KCChainElement* element, int32_t index);
    // -1 for an element the chain already holds.
    KTErr AppendElement(KCChainElement* element);
    // The previous input source is not deleted.
    void SetInputSource(KCSampleSource* source);
    // The previous side-chain source is deleted.
    void SetSideChainSource(KCSampleSource* source);
    // The previous sink is deleted.
    void SetSink(KCSampleSink* newSink);

    bool IsRunning() const;
    KTErr Start();
    KTErr Stop();

    bool IsConnected() const { return connected; }
    KCSampleSource* GetInputSource() const { return inputSource; }
    KCSampleSource* GetSideChainSource() const { return sideChainSource; }
    KCSampleSink* GetSink() const { return sink; }
    size_t GetElementCount() const { return elements.size(); }
    KCChainElement* GetElement(size_t i) const {
        return i < elements.size() ? elements[i] : nullptr;
    }

private:
    bool Holds(const KCChainElement* element) const;
    // Runs a change with the sink stopped, then reconnects and restarts.
    template <class Change>
    KTErr Rewire(Change&& change);

    KCSampleSource* inputSource = nullptr;
    std::vector<KCChainElement*> elements;
    int32_t unused = 0;
    KCSampleSource* sideChainSource = nullptr;
    KCSampleSink* sink = nullptr;
    bool connected = false;
};

// A processing element: pulls its input, hands the block to a process call
// with a shell-information record, and leaves the result in the caller's list.
class KCQuorlProcChainElemBase : public KCChainElement {
public:
    // The most input descriptors (main plus side-chain) handed to a process call.
    static constexpr int32_t kMaxProcessInputs = 13;

    KCQuorlProcChainElemBase(int32_t channels, uint32_t framesPerBuffer, int32_t sideChainChannels,
                             KCSampleSource* sideChainSource);
    ~KCQuorlProcChainElemBase() override;

    // Replaces the side chain (never deletes a source). A null source removes
    // it. -1 (and no side chain) when the channels would not fit the lists.
    KTErr SetSideChainSource(uint32_t frames, KCSampleSource* source, int32_t channels);

    KTErr GetSamples(KCSoundBufList& list, KCStreamState& state) override;

    const sNativeShellInfo& GetShellInfo() const { return shellInfo; }
    int32_t GetChannels() const { return channels; }
    int32_t GetSideChainChannels() const {
        return shellInfo.words[sNativeShellInfo::kWordSideChainChannels];
    }

protected:
    virtual void BeginProcess() {}
    virtual void EndProcess() {}
    virtual void ProcessInPlace(QuorlSoundBuf* bufs, int32_t count) = 0;
    virtual void Process(QuorlSoundBuf* in, QuorlSoundBuf* out, int32_t outputs) = 0;

    // The number of input descriptors behind the pointer of the current
    // process call: the block's channels plus the side-chain channels when a
    // side chain was pulled.
    int32_t ProcessInputCount() const { return processInputCount; }

    sNativeShellInfo shellInfo;
    KCSampleSource* sideChainSource = nullptr; // not owned
    KCSoundBufList sideChainList;
    std::vector<float> sideChainBuffer;
    KCSoundBufList inputList;
    std::vector<float> inputBuffer;
    QuorlSoundBuf processInputs[kMaxProcessInputs] = {};
    int32_t channels = 0;

private:
    KTErr PrepareInput(uint32_t frames, uint32_t channelCount);
    void WriteShellInfo(uint32_t frames, const KCStreamState& state);

    int32_t processInputCount = 0;
};

// The processing element of one plug-in's native process function.
class KCQuorlProcessChainElement : public KCQuorlProcChainElemBase {
public:
    KCQuorlProcessChainElement(int32_t channels, uint32_t framesPerBuffer,
                               int32_t sideChainChannels, KCSampleSource* sideChainSource,
                               NativeProcessFunction processFunction,
                               KCNativeProcessState* processMemory);

protected:
    void BeginProcess() override;
    void EndProcess() override;
    void ProcessInPlace(QuorlSoundBuf* bufs, int32_t count) override;
    void Process(QuorlSoundBuf* in, QuorlSoundBuf* out, int32_t outputs) override;

    NativeProcessFunction processFunction = nullptr;
    KCNativeProcessState* processMemory = nullptr; // not owned
};

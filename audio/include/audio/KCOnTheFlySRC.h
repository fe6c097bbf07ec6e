// Windowed-sinc sample-rate conversion of a stream of float frames, one
// input frame at a time: push frames with ReadSample, pull an output frame
// with OutSample whenever the converter needs no more input.
#pragma once

#include <array>
#include <cstdint>
#include <vector>

#include "foundation/KTErr.h"
#include "foundation/KUValidatable.h"

enum E_SRC_Flags : int32_t {
    eSRCDefault = 0,
    eSRCLongFilter = 1,  // long filter when the output rate is at most 44100 Hz
    eSRCShortFilter = 2, // short filter
};

class KCOnTheFlySRC : public KUValidatable {
public:
    static constexpr long kMaxChannels = 8;
    static constexpr long kRingFloats = 4096; // 512 frames of 8 floats
    static constexpr long kTableResolution = 1000;
    // The longest half filter whose tables are built (32 MB of sinc table):
    // rate ratios of about 80 with the default filter. Longer ones are
    // refused rather than allocated.
    static constexpr long kMaxHalfLength = 4096;

    KCOnTheFlySRC();
    KCOnTheFlySRC(long inRate, long outRate, E_SRC_Flags flags, long channels);
    // Computes the filter's lengths and cutoff only (no tables): for length
    // calculations.
    KCOnTheFlySRC(long inRate, long outRate, E_SRC_Flags flags);
    KCOnTheFlySRC(const KCOnTheFlySRC& other);
    KCOnTheFlySRC& operator=(const KCOnTheFlySRC& other);
    ~KCOnTheFlySRC() override;

    // Builds the tables for the setting (only when it changed) and resets
    // the stream. Rates must be positive, channels 0 to 8 and the half
    // filter length at most kMaxHalfLength; eGenericErr otherwise.
    KTErr Init(long inRate, long outRate, E_SRC_Flags flags, long channels);
    // As Init, with the caller's storage: tableSize doubles, H + 1 doubles
    // and 4096 floats. eMemNullPointer when a pointer is null.
    KTErr InitPreallocated(long inRate, long outRate, E_SRC_Flags flags, long channels,
                           double* table, double* window, float* ring);
    void Dispose();
    // Restarts the stream without recomputing the tables.
    void InitFilter();

    void ReadSample(float sample);
    void ReadSample(const float* frame);
    // Writes one output frame and sets need to the number of input frames to
    // push before the next output.
    void OutSample(long& need, float* frame) { (this->*outSample)(need, frame); }
    // Pushes inFrames interleaved frames and writes the output frames they
    // complete, interleaved, to out, which must hold ProcessLength(inFrames)
    // frames; returns how many were written. The same stream as ReadSample
    // and OutSample, a block at a time; a stream uses one way or the other.
    long Process(const float* in, long inFrames, float* out);
    // The most output frames Process gives for inFrames input frames.
    long ProcessLength(long inFrames) const;

    // Converts a whole one-channel buffer; out must hold RateConvertLength
    // frames. eWrongObjectState when the converter is not set up for one
    // channel.
    KTErr Convert(const float* in, float* out, long inFrames, long* latency);

    long RateConvertLength(long inFrames) const;
    long RateUnConvertLength(long outFrames) const;
    long GetInputLatency() const { return inputLatency; }
    long GetOutputLatency() const;

    static double CalcCutoffCorrection(long inRate, long outRate);

    // The vector instructions the filter sums use: the best the processor
    // has, at most `most`. Every choice gives the same sums to within
    // rounding; the lower ones exist so that each can be checked. Not to be
    // called while a converter runs on another thread.
    enum class Instructions { kPortable, kAvx2, kAvx512 };
    static void UseInstructions(Instructions most);

    long GetHalfLength() const { return halfLength; }
    long GetFilterLength() const { return filterLength; }
    long GetTableSize() const { return tableSize; }
    double GetCutoff() const { return cutoff; }
    long GetStep() const { return step; }
    double GetGain() const { return gain; }
    long GetChannels() const { return channels; }
    E_SRC_Flags GetFlags() const { return flags; }
    const double* GetSincTable() const { return sincTable; }
    const double* GetWindow() const { return window; }
    long GetRingFloats() const { return ringMask + 1; }

protected:
    KTErr SetFilter(long inRate, long outRate, long* half, E_SRC_Flags f);
    void CalcTable(double* table, long n) const;
    void CalcWindow(double* w, long n) const;

private:
    using OutputFunction = void (KCOnTheFlySRC::*)(long&, float*);
    // Channels 1 to 4 unrolled; 0 for any count.
    template <int Channels>
    void OutputFrame(long& need, float* frame);
    void Advance(long& need);
    template <int Channels>
    void PushFrame(const float* frame);
    template <int Channels>
    long ProcessFrames(const float* in, long inFrames, float* out, long limit);
    // writeCount once the frames an output sums are all pushed: as many
    // frames ahead of the read position as a reset stream's first output has.
    long ReadyCount() const { return filterLength + 17; }
    OutputFunction ChooseOutput(long channelCount) const;

    bool SetParameters(long inRate, long outRate, E_SRC_Flags f, long channelCount);
    void SetLengths();
    void BuildTables(double* table, double* win, float* callerRing);
    void BuildPhaseTaps();
    void CopyFrom(const KCOnTheFlySRC& other);

    OutputFunction outSample;
    long inRate = 0;
    long outRate = 0;
    long channels = 0;
    long halfLength = 0;
    long inputLatency = 0;
    long filterLength = 0;
    long tableSize = 0;
    double cutoff = 0.0;
    double* sincTable = nullptr;
    double* window = nullptr;
    float* ring = nullptr;
    long ringMask = 0; // ring size in floats - 1
    long step = 0;
    double stepD = 0.0;
    long readPos = 0;
    long writeCount = 0;
    double gain = 0.0;
    double increment = 0.0;
    double phase = 0.0;
    E_SRC_Flags flags = static_cast<E_SRC_Flags>(-1);

    std::vector<double> ownArray; // sinc table, then window
    std::vector<float> largeRing; // for filters that do not fit the inline ring
    std::vector<float> phaseTaps; // step rows of filterLength windowed taps (with gain)
    std::vector<float> history;   // per channel: the ring's frames, twice in a row
    long historyFrames = 0;
    long historyStride = 0; // floats from one channel's history to the next
    long tapStride = 0;     // floats per tap row: filterLength, padded with zero taps
    long tapsOffset = 0;    // floats before the first row in phaseTaps
    long tapsStep = 0;      // the setting the tap rows were built for
    double tapsGain = 0.0;
    const double* tapsTable = nullptr;
    alignas(32) std::array<float, kRingFloats> inlineRing{};
};

// Output frames that a whole-buffer conversion of inFrames gives.
long SampleRateConvertLength(long inFrames, long inRate, long outRate, E_SRC_Flags flags);

// Converts one channel; with table given, the converter uses the caller's
// storage (table, window, ring). Returns the converter's status.
KTErr RateConvertFIR(const float* in, float* out, long inFrames, long inRate, long outRate,
                     E_SRC_Flags flags, long* latency, double* table, double* window, float* ring);

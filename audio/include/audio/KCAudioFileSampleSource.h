// A WAV file held in memory at the head of a chain, played at its own rate.
#pragma once

#include <memory>

#include "audio/KCSampleGraph.h"
#include "audio/WavFile.h"
#include "foundation/KCStPath.h"

class KCAudioFileSampleSource : public KCInputSampleSource {
public:
    explicit KCAudioFileSampleSource(const kvFM::KCStPath& path);
    ~KCAudioFileSampleSource() override;

    // Reads the whole file (planar); returns 0 or the failure's status. Does
    // not change IsValid.
    KTErr LoadFile(const kvFM::KCStPath& path);

    // The position lives in the state: frames are taken from state.position
    // on, which advances (and wraps with the loop bit).
    KTErr GetSamples(KCSoundBufList& list, KCStreamState& state) override;

    bool IsValid() const { return valid; }
    void SetValid(bool v) { valid = v; }
    // The reader of the loaded file (null before a load).
    const cWavFileRead* GetReader() const { return reader.get(); }
    int64_t GetLength() const { return reader ? reader->GetNumSamples() : 0; }
    const float* GetSamplesData() const { return sampleCount == 0 ? nullptr : samples.get(); }

private:
    struct FreeSamples {
        void operator()(float* p) const;
    };
    static std::unique_ptr<float[], FreeSamples> AllocateSamples(size_t count);

    bool valid = false;
    std::unique_ptr<float[], FreeSamples> samples; // planar, channel after channel
    size_t sampleCount = 0;
    std::unique_ptr<cWavFileRead> reader;
};

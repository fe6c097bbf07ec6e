// A WAV file held in memory at the head of a chain, played at its own rate.
#pragma once

#include <memory>
#include <vector>

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
    const float* GetSamplesData() const { return samples.empty() ? nullptr : samples.data(); }

private:
    bool valid = false;
    std::vector<float> samples;
    std::unique_ptr<cWavFileRead> reader;
};

// A WAV file at the head of a chain, played at its own rate. The file is
// read as it is played, a window of frames at a time, so memory stays small
// whatever the file's length.
#pragma once

#include <memory>
#include <vector>

#include "audio/KCSampleGraph.h"
#include "audio/WavFile.h"
#include "foundation/KCStPath.h"

class KCAudioFileSampleSource : public KCInputSampleSource {
public:
    // Frames per channel that one read of the file brings in.
    static constexpr int64_t kWindowFrames = 16384;

    explicit KCAudioFileSampleSource(const kvFM::KCStPath& path);
    ~KCAudioFileSampleSource() override;

    // Opens the file and reads its first window; returns 0 or the failure's
    // status. Does not change IsValid.
    KTErr LoadFile(const kvFM::KCStPath& path);

    // The position lives in the state: frames are taken from state.position
    // on, which advances (and wraps with the loop bit). A read of the file
    // that fails fails the pull, with silence in the block.
    KTErr GetSamples(KCSoundBufList& list, KCStreamState& state) override;

    // Reads `count` frames from frame `first` on straight from the file,
    // planar with channel stride `stride`; frames beyond the end are silence.
    KTErr ReadFrames(int64_t first, int64_t count, float* dst, int64_t stride);
    // The same frames as they are stored, and their conversion (see
    // cWavFileRead::ReadRawFrames and ConvertRawFrames).
    KTErr ReadRawFrames(int64_t first, int64_t count, std::vector<unsigned char>& raw,
                        int64_t& got);
    void ConvertRawFrames(const unsigned char* raw, int64_t frames, float* dst,
                          int64_t stride) const;

    bool IsValid() const { return valid; }
    void SetValid(bool v) { valid = v; }
    // The reader of the loaded file (null before a load).
    const cWavFileRead* GetReader() const { return reader.get(); }
    int64_t GetLength() const { return reader ? reader->GetNumSamples() : 0; }
    // The first frame read so far that holds a NaN or an infinite sample, or
    // -1 when none did.
    int64_t GetFirstNonFiniteFrame() const { return firstNonFinite; }

private:
    // Brings the window to the frames from `position` on.
    KTErr Fill(int64_t position);

    bool valid = false;
    bool loaded = false; // the last load succeeded
    std::unique_ptr<cWavFileRead> reader;
    std::vector<float> window; // planar, channel stride kWindowFrames
    int64_t windowStart = 0;
    int64_t windowFrames = 0; // frames held, 0 when the window is empty
    int64_t firstNonFinite = -1;
};

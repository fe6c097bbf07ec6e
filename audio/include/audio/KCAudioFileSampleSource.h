// A WAV file at the head of a chain, played at its own rate. The file is
// read as it is played, a window of frames at a time, so memory stays small
// whatever the file's length. For a real-time pull (the audio device's
// thread) the file can be read ahead on a thread of the source instead, so
// that a pull never waits for the disk.
#pragma once

#include <atomic>
#include <memory>
#include <mutex>
#include <vector>

#include "audio/KCSampleGraph.h"
#include "audio/WavFile.h"
#include "foundation/KCStPath.h"

class KCFileReadAhead;

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

    // While on, a thread of the source reads the file ahead of the pulls,
    // which then never touch the disk: a pull whose frames are not read yet
    // plays silence for the rest of its block, keeps its position and counts
    // an underrun. Off (the default), every pull reads what it needs itself.
    // Called on the GUI thread.
    void SetReadAhead(bool on);
    bool IsReadingAhead() const { return readingAhead.load(); }
    // Pulls that found their frames not yet read ahead.
    uint64_t GetUnderruns() const { return underruns.load(); }

    bool IsValid() const { return valid; }
    void SetValid(bool v) { valid = v; }
    // The reader of the loaded file (null before a load).
    const cWavFileRead* GetReader() const { return reader.get(); }
    int64_t GetLength() const { return reader ? reader->GetNumSamples() : 0; }
    // The first frame read so far that holds a NaN or an infinite sample, or
    // -1 when none did.
    int64_t GetFirstNonFiniteFrame() const { return firstNonFinite.load(); }

private:
    // Frames of the file in memory: channel c, frame start + f at
    // data[c * stride + f]; no data when they are not there.
    struct Frames {
        const float* data = nullptr;
        int64_t stride = 0;
        int64_t start = 0;
        int64_t frames = 0;
    };

    // Brings the window to the frames from `position` on.
    KTErr Fill(int64_t position);
    // The frames from `position` on: from the window (read now when it does
    // not hold them) or from the read-ahead ring.
    KTErr FramesAt(int64_t position, bool loop, Frames& frames);
    // Reads frames from the file under the reader's lock, noting the first
    // non-finite sample.
    KTErr ReadLocked(int64_t first, int64_t count, float* dst, int64_t stride);
    void NoteNonFinite(const float* data, int64_t stride, int64_t start, int64_t frames);
    void StartReadAhead();
    void StopReadAhead();

    bool valid = false;
    bool loaded = false; // the last load succeeded
    std::unique_ptr<cWavFileRead> reader;
    std::mutex readerLock;     // the reader's file is read by one thread at a time
    std::vector<float> window; // planar, channel stride kWindowFrames
    int64_t windowStart = 0;
    int64_t windowFrames = 0; // frames held, 0 when the window is empty
    std::atomic<int64_t> firstNonFinite{-1};
    std::unique_ptr<KCFileReadAhead> ahead;
    std::atomic<bool> readingAhead{false};
    std::atomic<uint64_t> underruns{0};
    std::atomic<int64_t> lastPosition{0}; // where the last pull ended
};

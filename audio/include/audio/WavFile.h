// WAV files: the reader hands out planar 32-bit floats from 16-, 24- or
// 32-bit files; the writer takes planar floats and writes a 44-byte-header
// file. The variant format ("kvIR"/"ver1") marks 32-bit data with 23 in the
// bits field. Both hold their file open from construction to destruction;
// the writer's file replaces the target only when it is closed after
// successful writes.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "foundation/KCStPath.h"
#include "foundation/KTErr.h"
#include "foundation/KUValidatable.h"

class KCAudioFileIO;

// Largest bit depth times channel count the files take: 10 channels.
inline constexpr int32_t kWavMaxChannels = 10;
inline constexpr int32_t kWavMaxSampleRate = 192000;
// Status of a file whose sample rate is above 192000 Hz.
inline constexpr KTErr kWavRateTooHigh = 5002;

// Bytes moved per I/O chunk: the most whole frames that fit 4096 bytes.
int32_t WavChunkBytes(int32_t bitsPerSample, int32_t channels);

class cWavFileRead : public KUValidatable {
public:
    explicit cWavFileRead(const kvFM::KCStPath& path);
    ~cWavFileRead() override;
    cWavFileRead(const cWavFileRead&) = delete;
    cWavFileRead& operator=(const cWavFileRead&) = delete;

    int32_t GetSampleRate() const { return sampleRate; }
    int32_t GetBitDepth() const { return bitDepth; }
    int32_t GetNumChans() const { return numChans; }
    int64_t GetNumSamples() const { return numSamples; }
    void SetNumSamples(int64_t frames) { numSamples = frames; }
    const kvFM::KCStPath& GetFilePath() const { return filePath; }
    int32_t GetChunkBytes() const { return chunkBytes; }
    int64_t GetDataOffset() const { return dataOffset; }
    // True when the samples are IEEE floats (32 bits).
    bool IsFloatData() const { return bitDepth == 32 && !int32Data; }
    // The status of the last read of the file.
    KTErr GetFileStatus() const { return fileStatus; }
    // Why the file cannot be read, in a few words ("not a WAV file"); empty
    // when it can.
    const std::string& GetProblem() const { return problem; }

    // Reads `stride` frames into dst, planar: channel c, frame f at
    // dst[c * stride + f]. Frames beyond the file's end are silence.
    KTErr GetSampleDataAsFloat(float* dst, int64_t stride);
    // Reads `count` frames from frame `first` on into dst, planar with channel
    // stride `stride` (at least count). Frames beyond the file's end are
    // silence. Does not change the status of GetFileStatus.
    KTErr ReadFramesAsFloat(int64_t first, int64_t count, float* dst, int64_t stride);
    // Reads up to `count` frames from frame `first` on as they are stored
    // (interleaved), growing `raw` as needed; `got` tells how many frames
    // came (fewer only at the file's end).
    KTErr ReadRawFrames(int64_t first, int64_t count, std::vector<unsigned char>& raw,
                        int64_t& got);
    // Converts stored frames to floats, frame f of channel c going to
    // dst[c * stride + f].
    void ConvertRawFrames(const unsigned char* raw, int64_t frames, float* dst,
                          int64_t stride) const;
    // Reads the file converted to outRate, outFrames frames planar with
    // channel stride outFrames.
    KTErr GetConvertedDataAsFloat(float* dst, int64_t outFrames, int32_t outRate);

protected:
    KTErr ParseWAV();

private:
    // Converts `frames` interleaved frames of raw data to floats, frame f
    // of channel c going to dst[c * stride + f].
    void Deinterleave(const unsigned char* raw, int64_t frames, float* dst, int64_t stride) const;

    int32_t sampleRate = 0;
    int32_t bitDepth = 0;
    int32_t numChans = 0;
    int64_t numSamples = 0;
    int32_t chunkBytes = 0;
    int64_t dataOffset = 0;
    bool int32Data = false;                // 32-bit integer samples (PCM format tag)
    std::vector<unsigned char> readBuffer; // one transfer's raw bytes
    std::string problem;
    kvFM::KCStPath filePath;
    std::unique_ptr<KCAudioFileIO> file;
    KTErr fileStatus = eNoErr;
};

class cWavFileWrite : public KUValidatable {
public:
    explicit cWavFileWrite(const kvFM::KCStPath& path);
    // Closes the file; see Close.
    ~cWavFileWrite() override;
    cWavFileWrite(const cWavFileWrite&) = delete;
    cWavFileWrite& operator=(const cWavFileWrite&) = delete;

    void SetSampleRate(int32_t rate) { sampleRate = rate; }
    void SetBitDepth(int32_t bits) { bitDepth = bits; }
    void SetNumChans(int32_t channels) { numChans = channels; }
    void SetNumSamples(int64_t frames) { numSamples = frames; }
    void SetFileFormat(int32_t format) { fileFormat = format; }
    const kvFM::KCStPath& GetFilePath() const { return filePath; }
    int32_t GetChunkBytes() const { return chunkBytes; }
    // The status of the last header or data write.
    KTErr GetFileStatus() const { return fileStatus; }

    // Writes the header and then numSamples frames from planar src (channel
    // c, frame f at src[c * numSamples + f]), rounding to the nearest integer
    // and clipping for 16 and 24 bits.
    KTErr SaveSampleDataFromFloat(const float* src);
    // The same in pieces: the header, then frames in order from planar src
    // (channel c, frame f at src[c * stride + f]) until numSamples frames
    // were written. A write fails once an earlier one failed.
    KTErr BeginSampleData();
    KTErr WriteSampleFrames(const float* src, int64_t frames, int64_t stride);
    // Finishes the file: when every write succeeded it replaces the target,
    // otherwise the target is left as it was. Returns the outcome.
    KTErr Close();
    // Drops whatever was written: the target is left as it was.
    void Discard();

protected:
    KTErr SaveWAVHeader();

private:
    KTErr CheckFormat();

    int32_t sampleRate = 44100;
    int32_t bitDepth = 32;
    int32_t numChans = 1;
    int64_t numSamples = 0;
    int64_t framesWritten = 0; // data frames behind the header
    int32_t chunkBytes = 0;
    int32_t fileFormat = 0;
    kvFM::KCStPath filePath;
    std::unique_ptr<KCAudioFileIO> file;
    KTErr fileStatus = eNoErr;
    std::vector<unsigned char> transferBytes; // one transfer's interleaved bytes
    std::vector<int32_t> transferInts;        // one channel's rounded samples
};

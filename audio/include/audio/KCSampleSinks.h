// Sinks that pull a chain without an audio device: the test sink pulls one
// block on request; the WAV file sink renders a whole input file through the
// chain when it is started and writes the result as a WAV file.
#pragma once

#include <memory>
#include <vector>

#include "audio/KCAudioFileSampleSource.h"
#include "audio/KCSampleGraph.h"
#include "audio/WavFile.h"
#include "foundation/KCStPath.h"

class KCTestSampleSink : public KCSampleSink {
public:
    // A format of more than 16 channels is refused: every pull then fails.
    KCTestSampleSink(uint32_t framesPerBuffer, const KCSampleFormat& format);

    // Pulls one block with the sink's own state: the chain's status, -1 when
    // anything throws, 0 without an input.
    KTErr PullBuffer();

    KTErr GetSetupStatus() const { return setupStatus; }
    const KCSoundBufList& GetBlockList() const { return blockList; }
    const std::vector<float>& GetBuffer() const { return buffer; }
    const KCSampleFormat& GetFormat() const { return format; }

private:
    uint32_t framesPerBuffer;
    KCSampleFormat format;
    std::vector<float> buffer;
    KCSoundBufList blockList;
    KTErr setupStatus = eNoErr;
};

class KCWavFileSampleSink : public KCSampleSink {
public:
    // The output path is copied.
    KCWavFileSampleSink(uint32_t framesPerBuffer, KCAudioFileSampleSource* input,
                        const KCSampleFormat& format, uint32_t preRollFrames,
                        const kvFM::KCStPath* outputPath);
    ~KCWavFileSampleSink() override;

    // Renders the whole input file into the output file. Fails when the file
    // cannot be created, a pull fails or the file cannot be written.
    KTErr Start() override;
    // Closes the output file, which then replaces any file of that name.
    KTErr Stop() override;

    // Pulls one block into the block list: entry 0's data, or null on
    // failure or without an input.
    float* PullBlock();

    KTErr GetSetupStatus() const { return setupStatus; }

protected:
    KTErr Render();

private:
    uint32_t framesPerBuffer;
    KCSampleFormat format;
    std::vector<float> buffer;
    KCSoundBufList blockList;
    std::unique_ptr<cWavFileWrite> writer;
    kvFM::KCStPath outputPath;
    KCAudioFileSampleSource* fileSource; // not owned
    uint32_t preRollFrames;
    KTErr setupStatus = eNoErr;
};

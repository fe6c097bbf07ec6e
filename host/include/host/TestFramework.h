// The command-line tests' framework: the base of the tests with its
// reporting classes, and the report lines the tests print.
#pragma once

#include "foundation/KCFourCC.h"
#include "foundation/KCStPath.h"
#include "foundation/KTErr.h"

#include <cstdint>
#include <string>
#include <vector>

class KCAudioFileSampleSource;

class KCTestBase {
public:
    // Receives a test's report texts; each text carries its own line ends.
    class Listener {
    public:
        virtual ~Listener() = default;
        virtual void OnTestStart(const std::string& text) = 0;
        virtual void OnMessage(const std::string& text) = 0;
        virtual void OnTestResult(const std::string& text) = 0;
    };

    // Hands every text to its listeners (not owned) in the order they were
    // added.
    class Broadcaster {
    public:
        virtual ~Broadcaster() { listeners.clear(); }
        void AddListener(Listener* listener) { listeners.push_back(listener); }
        virtual void BroadcastTestStart(const std::string& text);
        virtual void BroadcastTestResult(const std::string& text);
        virtual void BroadcastMessage(const std::string& text);

    private:
        std::vector<Listener*> listeners;
    };

    KCTestBase() = default;
    virtual ~KCTestBase() = default;
    KCTestBase(const KCTestBase&) = delete;
    KCTestBase& operator=(const KCTestBase&) = delete;

    virtual KTErr Run() = 0;

    void SetPresetPath(const kvFM::KCStPath& path) {
        if (presetPath != path)
            presetPath = path;
    }
    void SetNoProcess(bool value) { noProcess = value; }
    void SetBypass(bool value) { bypass = value; }
    void SetTestIndex(const std::string& index) { testIndex = index; }
    Broadcaster& GetBroadcaster() { return broadcaster; }

protected:
    kvFM::KCStPath presetPath;
    bool noProcess = false;
    bool bypass = false;
    std::string testIndex;
    Broadcaster broadcaster;
};

// "<name of the status> (<status>)".
std::string StatusText(KTErr status);
// "Name: '<short>', File: '<file base>', [<type>, <sub-type>]\n".
std::string TestAnnouncementLine(const std::string& shortName, const std::string& fileBase,
                                 KCFourCC type, KCFourCC subType);
// "\tOK loading plug-in: <short>\n", or the error line and the status line.
std::string TestResultLine(const std::string& shortName, KTErr status);
// "\t*** OK    ***\n" or "\t*** ERROR *** err = <status text>\n".
std::string VerdictLine(KTErr status);
// "Name: '<short>', compType: '<type>', subType: '<sub-type>'\n".
std::string ComponentListLine(const std::string& shortName, KCFourCC type, KCFourCC subType);
// The cancellation test's report: the output file and the CPU line on
// success, the error form otherwise.
std::string CancellationReport(const std::string& testIndex, KTErr status,
                               const std::string& outputPath, const std::string& cpuLine);

// Per sample 20 log10(|output - reference| + 1e-10), each level in 32-bit
// floats: the greatest level (from -200) with the index of its first
// occurrence, and the mean level (-200 for no samples). The levels are summed
// in double precision, so that identical samples give -200 at any length.
struct KSDifferenceLevels {
    float peak = -200.0f;
    int32_t position = 0;
    float mean = -200.0f;
};
KSDifferenceLevels ComputeDifferenceLevels(const float* output, const float* reference,
                                           int64_t count);

// The difference levels of one channel, taken in consecutive runs of samples.
class KCDifferenceLevelsSum {
public:
    // Adds the next `count` samples. Returns the index (within this run) of
    // the first pair with a NaN or infinite sample, which is not added, or -1.
    int64_t Add(const float* output, const float* reference, int64_t count);
    // Adds the next `count` samples, known to be equal and finite.
    void AddCancelled(int64_t count);
    KSDifferenceLevels Result() const;

private:
    KSDifferenceLevels levels;
    int64_t samples = 0;
    int64_t equal = 0; // samples without difference, each at the floor level
    double sum = 0.0;  // the levels of the others
};

// Compares two files channel by channel over the shorter length (lengths
// may differ by at most 32 frames), reading both a piece at a time, and
// prints the result line, or the reason no comparison could be made (a NaN
// or infinite sample in either file among them), to standard output. Whether
// a comparison was made.
bool CompareAudioFiles(KCAudioFileSampleSource& output, KCAudioFileSampleSource& reference);

// Whether `reference` can be compared with a render of `frames` frames of
// `channels` channels at `sessionRate` Hz, asked before rendering so that a
// render that could not be compared is never made: 0, else the status the
// comparison would give (eFMOpenFailed, eFMWrongParameters, -1), with the
// reason on standard error (and, for the lengths and channel counts, the
// comparison's own line on standard output).
KTErr CheckReference(const kvFM::KCStPath& reference, int32_t sessionRate, int32_t channels,
                     int64_t frames);

// The cancellation test's last steps, after the output file was rendered
// with `status`: eFMOpenFailed when the reference cannot be read or the
// status already failed, eFMWrongParameters when the reference's rate is not
// the session's, eFMOpenFailed when the output cannot be read, -1 when the
// files cannot be compared (CompareAudioFiles), else 0.
KTErr CompareWithReference(KTErr status, const kvFM::KCStPath& output,
                           const kvFM::KCStPath& reference, int32_t sessionRate);

// Why a WAV file cannot serve a session at `sessionRate` Hz, in a few words
// ("not a WAV file", "sample rate 48000 Hz, expected 44100 Hz"); empty when
// it can.
std::string WavFileProblem(const kvFM::KCStPath& path, int32_t sessionRate);
// Prints "rigwell: <path>: <problem>" as one line on standard error.
void PrintFileProblem(const kvFM::KCStPath& path, const std::string& problem);

// Writes this process's id, in decimal, to "rigwell.pId" in the user's
// temporary folder; the file is replaced atomically (a link at that path
// is replaced, not followed). The file goes when the process ends, unless
// another run has written its own id there since.
KTErr WriteProcessIdFile();

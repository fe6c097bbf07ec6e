#include "host/TestFramework.h"

#include "audio/KCAudioFileSampleSource.h"
#include "foundation/KCStFile.h"

#include <algorithm>
#include <cfloat>
#include <climits>
#include <clocale>
#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <locale.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace {

constexpr int64_t kMaxFrameDifference = 32;
constexpr float kLevelFloor = 0.0000000001f;

void PrintOut(const char* text) {
    std::fputs(text, stdout);
    std::fflush(stdout);
}

// printf to standard output with numbers in the "C" locale, whatever the
// process locale is.
void PrintC(const char* format, ...) {
    locale_t c = newlocale(LC_ALL_MASK, "C", static_cast<locale_t>(0));
    locale_t previous = c ? uselocale(c) : static_cast<locale_t>(0);
    va_list args;
    va_start(args, format);
    std::vfprintf(stdout, format, args);
    va_end(args);
    std::fflush(stdout);
    if (c) {
        uselocale(previous);
        freelocale(c);
    }
}

// Whether two files' lengths (within 32 frames) and channel counts allow a
// comparison; prints the comparison's line when they do not.
bool ShapesMatch(int64_t outputFrames, int64_t referenceFrames, int32_t outputChannels,
                 int32_t referenceChannels) {
    if (std::llabs(outputFrames - referenceFrames) > kMaxFrameDifference) {
        PrintC("Error comparing files, files size does not match source : %d  reference : %d .\n",
               static_cast<int>(outputFrames), static_cast<int>(referenceFrames));
        return false;
    }
    if (outputChannels != referenceChannels) {
        PrintOut("Error comparing files, files number of channels does not match.   \n");
        return false;
    }
    return true;
}

std::string Quoted(const std::string& text) {
    return "'" + text + "'";
}

} // namespace

void KCTestBase::Broadcaster::BroadcastTestStart(const std::string& text) {
    for (Listener* listener : listeners)
        listener->OnTestStart(text);
}

void KCTestBase::Broadcaster::BroadcastTestResult(const std::string& text) {
    for (Listener* listener : listeners)
        listener->OnTestResult(text);
}

void KCTestBase::Broadcaster::BroadcastMessage(const std::string& text) {
    for (Listener* listener : listeners)
        listener->OnMessage(text);
}

std::string StatusText(KTErr status) {
    return std::string(KTErrName(status)) + " (" + std::to_string(status) + ")";
}

std::string TestAnnouncementLine(const std::string& shortName, const std::string& fileBase,
                                 KCFourCC type, KCFourCC subType) {
    return "Name: " + Quoted(shortName) + ", File: " + Quoted(fileBase) + ", [" +
           FourCCToString(type) + ", " + FourCCToString(subType) + "]\n";
}

std::string TestResultLine(const std::string& shortName, KTErr status) {
    if (status == eNoErr)
        return "\tOK loading plug-in: " + shortName + "\n";
    return "\tERROR loading plug-in: " + shortName + "\n\t" + StatusText(status) + "\n";
}

std::string VerdictLine(KTErr status) {
    if (status == eNoErr)
        return "\t*** OK    ***\n";
    return "\t*** ERROR *** err = " + StatusText(status) + "\n";
}

std::string ComponentListLine(const std::string& shortName, KCFourCC type, KCFourCC subType) {
    return "Name: " + Quoted(shortName) + ", compType: " + Quoted(FourCCToString(type)) +
           ", subType: " + Quoted(FourCCToString(subType)) + "\n";
}

std::string CancellationReport(const std::string& testIndex, KTErr status,
                               const std::string& outputPath, const std::string& cpuLine) {
    if (status == eNoErr)
        return "TestIndex:" + testIndex + "\n\tOutput file: " + outputPath + "\n" + cpuLine;
    return "TestIndex:" + testIndex + "\n\ttError Output file: " + outputPath + "\n";
}

int64_t KCDifferenceLevelsSum::Add(const float* output, const float* reference, int64_t count) {
    static const float floorLevel = 20.0f * std::log10(kLevelFloor);
    // Cancelled samples are the usual case: they are counted, not summed.
    // Equal infinities are no cancellation.
    int64_t same = 0;
    for (int64_t i = 0; i < count; ++i)
        same += (output[i] == reference[i]) & (std::fabs(output[i]) <= FLT_MAX);
    if (same == count) {
        AddCancelled(count);
        return -1;
    }
    for (int64_t i = 0; i < count; ++i, ++samples) {
        float level = floorLevel;
        if (output[i] == reference[i] && std::isfinite(output[i])) {
            ++equal;
        } else {
            if (!std::isfinite(output[i]) || !std::isfinite(reference[i]))
                return i;
            const float difference = output[i] - reference[i];
            const float magnitude = std::fabs(difference) + kLevelFloor;
            level = 20.0f * std::log10(magnitude);
            sum += double(level);
        }
        if (level > levels.peak) {
            levels.peak = level;
            levels.position = static_cast<int32_t>(samples);
        }
    }
    return -1;
}

void KCDifferenceLevelsSum::AddCancelled(int64_t count) {
    static const float floorLevel = 20.0f * std::log10(kLevelFloor);
    if (count > 0 && floorLevel > levels.peak) {
        levels.peak = floorLevel;
        levels.position = static_cast<int32_t>(samples);
    }
    equal += count;
    samples += count;
}

KSDifferenceLevels KCDifferenceLevelsSum::Result() const {
    static const double floorLevel = double(20.0f * std::log10(kLevelFloor));
    KSDifferenceLevels result = levels;
    if (samples > 0)
        result.mean = float((double(equal) * floorLevel + sum) / double(samples));
    return result;
}

KSDifferenceLevels ComputeDifferenceLevels(const float* output, const float* reference,
                                           int64_t count) {
    KCDifferenceLevelsSum levels;
    if (count > 0)
        levels.Add(output, reference, count);
    return levels.Result();
}

bool CompareAudioFiles(KCAudioFileSampleSource& output, KCAudioFileSampleSource& reference) {
    const int64_t outputFrames = output.GetLength();
    const int64_t referenceFrames = reference.GetLength();
    const int32_t channels = output.GetReader() ? output.GetReader()->GetNumChans() : 0;
    const int32_t referenceChannels =
        reference.GetReader() ? reference.GetReader()->GetNumChans() : 0;
    if (!ShapesMatch(outputFrames, referenceFrames, channels, referenceChannels))
        return false;
    if (outputFrames == 0 || referenceFrames == 0) {
        PrintOut("Error comparing files,file data not valid. \n");
        return false;
    }
    const int64_t length = std::min(outputFrames, referenceFrames);
    const int64_t piece = std::min<int64_t>(length, KCAudioFileSampleSource::kWindowFrames);
    std::vector<float> outputData(size_t(piece * channels));
    std::vector<float> referenceData(size_t(piece * channels));
    std::vector<KCDifferenceLevelsSum> sums(size_t(std::max(channels, 0)));
    // Integer files of one format whose stored bytes agree hold equal
    // samples: those pieces need no conversion.
    const cWavFileRead& outputReader = *output.GetReader();
    const cWavFileRead& referenceReader = *reference.GetReader();
    const bool sameStorage = !outputReader.IsFloatData() && !referenceReader.IsFloatData() &&
                             outputReader.GetBitDepth() == referenceReader.GetBitDepth();
    const size_t frameBytes = size_t(channels) * size_t(outputReader.GetBitDepth() / 8);
    std::vector<unsigned char> outputRaw, referenceRaw;
    for (int64_t start = 0; start < length; start += piece) {
        const int64_t frames = std::min(piece, length - start);
        KTErr status = eNoErr;
        if (sameStorage) {
            int64_t outputGot = 0, referenceGot = 0;
            status = output.ReadRawFrames(start, frames, outputRaw, outputGot);
            if (status == eNoErr)
                status = reference.ReadRawFrames(start, frames, referenceRaw, referenceGot);
            if (status == eNoErr && (outputGot != frames || referenceGot != frames))
                status = eFMEndOfFile;
            if (status == eNoErr && std::memcmp(outputRaw.data(), referenceRaw.data(),
                                                size_t(frames) * frameBytes) == 0) {
                for (KCDifferenceLevelsSum& sum : sums)
                    sum.AddCancelled(frames);
                continue;
            }
            if (status == eNoErr) {
                output.ConvertRawFrames(outputRaw.data(), frames, outputData.data(), piece);
                reference.ConvertRawFrames(referenceRaw.data(), frames, referenceData.data(),
                                           piece);
            }
        } else {
            status = output.ReadFrames(start, frames, outputData.data(), piece);
            if (status == eNoErr)
                status = reference.ReadFrames(start, frames, referenceData.data(), piece);
        }
        if (status != eNoErr) {
            PrintOut("Error comparing files,file data not valid. \n");
            return false;
        }
        for (int32_t channel = 0; channel < channels; ++channel) {
            const float* out = outputData.data() + channel * piece;
            const float* ref = referenceData.data() + channel * piece;
            const int64_t bad = sums[size_t(channel)].Add(out, ref, frames);
            if (bad >= 0) {
                PrintC("Error comparing files, the %s file holds a NaN or infinite sample: channel "
                       "%d, sample %lld.\n",
                       std::isfinite(out[bad]) ? "reference" : "output", int(channel),
                       static_cast<long long>(start + bad));
                return false;
            }
        }
    }
    KSDifferenceLevels result;
    for (const KCDifferenceLevelsSum& sum : sums) {
        const KSDifferenceLevels levels = sum.Result();
        if (levels.peak > result.peak) {
            result.peak = levels.peak;
            result.position = levels.position;
        }
        result.mean = std::max(result.mean, levels.mean);
    }
    PrintC("\tCancellation Test Results:\t%f\t%f\t%d\n", double(result.peak), double(result.mean),
           static_cast<int>(result.position));
    return true;
}

std::string WavFileProblem(const kvFM::KCStPath& path, int32_t sessionRate) {
    KTErr status = eNoErr;
    if (!path.IsValid(status) || !path.IsExist())
        return "no such file";
    const cWavFileRead file(path);
    if (!file.IsValid())
        return file.GetProblem();
    if (file.GetSampleRate() != sessionRate)
        return "sample rate " + std::to_string(file.GetSampleRate()) + " Hz, expected " +
               std::to_string(sessionRate) + " Hz";
    return std::string();
}

void PrintFileProblem(const kvFM::KCStPath& path, const std::string& problem) {
    std::fprintf(stderr, "rigwell: %s: %s\n", path.GetNativePathString().c_str(), problem.c_str());
    std::fflush(stderr);
}

KTErr CheckReference(const kvFM::KCStPath& reference, int32_t sessionRate, int32_t channels,
                     int64_t frames) {
    const cWavFileRead file(reference);
    if (!file.IsValid()) {
        PrintFileProblem(reference, WavFileProblem(reference, sessionRate));
        return eFMOpenFailed;
    }
    if (file.GetSampleRate() != sessionRate) {
        PrintFileProblem(reference, WavFileProblem(reference, sessionRate));
        return eFMWrongParameters;
    }
    if (!ShapesMatch(frames, file.GetNumSamples(), channels, file.GetNumChans())) {
        const auto plural = [](int64_t n, const char* unit) {
            return std::to_string(n) + " " + unit + (n == 1 ? "" : "s");
        };
        PrintFileProblem(reference, file.GetNumChans() != channels
                                        ? plural(file.GetNumChans(), "channel") +
                                              ", the plug-in gives " + plural(channels, "channel")
                                        : plural(file.GetNumSamples(), "frame") +
                                              ", the input has " + plural(frames, "frame"));
        return eGenericErr;
    }
    return eNoErr;
}

KTErr CompareWithReference(KTErr status, const kvFM::KCStPath& output,
                           const kvFM::KCStPath& reference, int32_t sessionRate) {
    if (status != eNoErr)
        return eFMOpenFailed;
    KCAudioFileSampleSource referenceFile(reference);
    if (!referenceFile.IsValid()) {
        PrintFileProblem(reference, WavFileProblem(reference, sessionRate));
        return eFMOpenFailed;
    }
    if (referenceFile.GetReader()->GetSampleRate() != sessionRate) {
        PrintFileProblem(reference, WavFileProblem(reference, sessionRate));
        return eFMWrongParameters;
    }
    KCAudioFileSampleSource outputFile(output);
    if (!outputFile.IsValid()) {
        PrintFileProblem(output, WavFileProblem(output, sessionRate));
        return eFMOpenFailed;
    }
    return CompareAudioFiles(outputFile, referenceFile) ? eNoErr : eGenericErr;
}

namespace {

// The process-id file this process wrote, removed when it ends (unless
// another run has written its own there since).
char processIdFile[PATH_MAX] = {};

void RemoveProcessIdFile() {
    if (processIdFile[0] == '\0')
        return;
    char text[32] = {};
    const int fd = ::open(processIdFile, O_RDONLY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0)
        return;
    const ssize_t got = ::read(fd, text, sizeof text - 1);
    ::close(fd);
    if (got > 0 && std::to_string(::getpid()) == std::string(text, size_t(got)))
        ::unlink(processIdFile);
}

void RemoveProcessIdFileAtExit(const std::string& path) {
    static bool registered = false;
    if (path.size() >= sizeof processIdFile)
        return;
    std::memcpy(processIdFile, path.c_str(), path.size() + 1);
    if (!registered)
        registered = std::atexit(&RemoveProcessIdFile) == 0;
}

} // namespace

KTErr WriteProcessIdFile() {
    kvFM::KCStPath file(kvFM::KCStPath(kvFM::eUserDomain, kvFM::eTemporaryFolder), "rigwell.pId");
    KTErr status = eNoErr;
    if (!file.IsValid(status))
        return status != eNoErr ? status : eFMIllegalPathRef;
    // A new file beside it takes its place: whatever sits at the path (a
    // link planted in a shared folder included) is replaced, never written
    // through.
    const std::string target = file.GetPathString();
    std::string temporary = target + ".XXXXXX";
    const int fd = ::mkstemp(temporary.data());
    if (fd < 0)
        return eFMCreateFailed;
    const std::string text = std::to_string(::getpid());
    const bool written =
        ::write(fd, text.data(), text.size()) == ssize_t(text.size()) && ::fchmod(fd, 0644) == 0;
    if (::close(fd) != 0 || !written || ::rename(temporary.c_str(), target.c_str()) != 0) {
        ::unlink(temporary.c_str());
        return eFMWriteFailed;
    }
    RemoveProcessIdFileAtExit(target);
    return eNoErr;
}

#include "audio/KCAudioFileSampleSource.h"
#include "audio/KCSampleChain.h"
#include "audio/KCSampleSinks.h"

#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <cstring>
#include <filesystem>
#include <limits>
#include <poll.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

#include "TempFolder.h"

namespace {

void MakeWav(const std::string& path, int32_t bits, int32_t channels, int32_t rate,
             const std::vector<float>& planar) {
    cWavFileWrite w(path);
    ASSERT_TRUE(w.IsValid());
    w.SetBitDepth(bits);
    w.SetNumChans(channels);
    w.SetSampleRate(rate);
    w.SetNumSamples(int64_t(planar.size()) / channels);
    ASSERT_EQ(w.SaveSampleDataFromFloat(planar.data()), eNoErr);
}

// Frame f of channel c holds (c + 1) * (f + 1) / 32768: exact at 16 bits.
std::vector<float> Ramp(int32_t channels, int32_t frames) {
    std::vector<float> v(size_t(channels) * frames);
    for (int32_t c = 0; c < channels; ++c)
        for (int32_t f = 0; f < frames; ++f)
            v[size_t(c) * frames + f] = float((c + 1) * ((f % 16000) + 1)) / 32768.0f;
    return v;
}

struct Block {
    Block(uint32_t frames, uint32_t channels) : samples(size_t(frames) * channels, 9.0f) {
        list.Build(frames, samples.data(), channels, int32_t(channels));
    }
    float At(uint32_t f, uint32_t c) const { return samples[size_t(f) * list.channels + c]; }
    std::vector<float> samples;
    KCSoundBufList list;
};

// Passes its input on multiplied by a gain, counting pulls and frames, and
// optionally failing from a given pull on.
class GainElement : public KCChainElement {
public:
    explicit GainElement(float gain = 1.0f) : gain(gain) {}
    KTErr GetSamples(KCSoundBufList& list, KCStreamState& state) override {
        ++pulls;
        if (failFrom > 0 && pulls >= failFrom)
            return eUninitalized;
        const KTErr s = input->GetSamples(list, state);
        for (uint32_t c = 0; c < list.channels; ++c)
            for (uint32_t f = 0; f < list.frames; ++f)
                list.bufs[c].data[f * list.bufs[c].stride] *= gain;
        return s;
    }
    float gain;
    int pulls = 0;
    int failFrom = 0;
};

// A child that a signal ends leaves no core file behind.
void NoCoreFiles() {
    const rlimit none{0, 0};
    ::setrlimit(RLIMIT_CORE, &none);
}

std::vector<float> ReadAll(const std::string& path, cWavFileRead& r) {
    std::vector<float> v(size_t(r.GetNumSamples() * r.GetNumChans()));
    EXPECT_EQ(r.GetSampleDataAsFloat(v.data(), r.GetNumSamples()), eNoErr);
    return v;
}

} // namespace

TEST(AudioFileSource, MonoFileIntoStereoBlocksEndsInSilence) {
    TempFolder tmp;
    const auto path = tmp.File("mono.wav");
    MakeWav(path, 16, 1, 44100, Ramp(1, 1000));
    KCAudioFileSampleSource source{kvFM::KCStPath(path)};
    ASSERT_TRUE(source.IsValid());
    KCStreamState state;
    state.flags = 0; // loop off
    Block block(256, 2);
    for (int pull = 0; pull < 3; ++pull)
        ASSERT_EQ(source.GetSamples(block.list, state), eNoErr);
    EXPECT_EQ(state.position, 768);
    ASSERT_EQ(source.GetSamples(block.list, state), eNoErr);
    for (uint32_t f = 0; f < 256; ++f) {
        const float expected = f < 232 ? float(769 + f) / 32768.0f : 0.0f;
        ASSERT_EQ(block.At(f, 0), expected) << f;
        ASSERT_EQ(block.At(f, 1), expected) << f; // the file's last channel again
    }
    EXPECT_EQ(state.position, 1000);
    EXPECT_EQ(state.flags, KCStreamState::kSamplesDelivered);
    ASSERT_EQ(source.GetSamples(block.list, state), eNoErr);
    EXPECT_EQ(state.position, 1000);
    EXPECT_EQ(block.At(0, 0), 0.0f);
}

TEST(AudioFileSource, LoopSilenceAndChannelMap) {
    TempFolder tmp;
    const auto path = tmp.File("stereo.wav");
    MakeWav(path, 16, 2, 48000, Ramp(2, 1000));
    KCAudioFileSampleSource source{kvFM::KCStPath(path)};
    ASSERT_TRUE(source.IsValid());

    KCStreamState state; // loop on
    state.position = 990;
    Block block(20, 2);
    ASSERT_EQ(source.GetSamples(block.list, state), eNoErr);
    EXPECT_EQ(block.At(9, 0), 1000.0f / 32768.0f);
    EXPECT_EQ(block.At(10, 0), 1.0f / 32768.0f); // wrapped from 999 to 0
    EXPECT_EQ(block.At(10, 1), 2.0f / 32768.0f);
    EXPECT_EQ(state.position, 10);
    EXPECT_TRUE(state.flags & KCStreamState::kPositionValid);

    state.flags |= KCStreamState::kSilence;
    ASSERT_EQ(source.GetSamples(block.list, state), eNoErr);
    for (float v : block.samples)
        EXPECT_EQ(v, 0.0f);
    EXPECT_EQ(state.position, 30);

    int32_t swap[2] = {1, 0};
    KCChannelList map{2, swap};
    KCStreamState mapped;
    mapped.channelMap = &map;
    ASSERT_EQ(source.GetSamples(block.list, mapped), eNoErr);
    EXPECT_EQ(block.At(0, 0), 2.0f / 32768.0f);
    EXPECT_EQ(block.At(0, 1), 1.0f / 32768.0f);

    // A map that names one entry twice leaves the other silent, never with
    // what the block held before.
    int32_t twice[2] = {0, 0};
    KCChannelList both{2, twice};
    KCStreamState doubled;
    doubled.channelMap = &both;
    Block fresh(20, 2);
    ASSERT_EQ(source.GetSamples(fresh.list, doubled), eNoErr);
    EXPECT_EQ(fresh.At(0, 0), 2.0f / 32768.0f); // the last write wins
    for (uint32_t f = 0; f < 20; ++f)
        ASSERT_EQ(fresh.At(f, 1), 0.0f) << f;

    // Destinations that name no entry of the list are refused.
    for (int32_t bad : {-1, 2, 16}) {
        int32_t entries[2] = {0, bad};
        KCChannelList badMap{2, entries};
        KCStreamState s;
        s.channelMap = &badMap;
        EXPECT_EQ(source.GetSamples(block.list, s), eGenericErr) << bad;
        EXPECT_EQ(block.At(0, 0), 0.0f);
    }
    KCChannelList shortMap{1, swap}; // entry 1 looks up -1
    mapped.channelMap = &shortMap;
    EXPECT_EQ(source.GetSamples(block.list, mapped), eGenericErr);
}

TEST(AudioFileSource, UnusableFiles) {
    TempFolder tmp;
    const auto fast = tmp.File("fast.wav");
    WriteBytes(fast, WavBytes::Riff().Fmt(1, 1, 192001, 16).Id("data").U32(2).U16(1).Done());
    KCAudioFileSampleSource source{kvFM::KCStPath(fast)};
    EXPECT_FALSE(source.IsValid());
    EXPECT_EQ(source.LoadFile(kvFM::KCStPath(fast)), kWavRateTooHigh);
    Block block(8, 1);
    KCStreamState state;
    EXPECT_EQ(source.GetSamples(block.list, state), eGenericErr);
    EXPECT_EQ(block.At(0, 0), 0.0f);

    const auto empty = tmp.File("empty.wav");
    WriteBytes(empty, WavBytes::Riff().Fmt(1, 1, 8000, 16).Id("data").U32(0).Done());
    EXPECT_EQ(source.LoadFile(kvFM::KCStPath(empty)), eNoErr);
    EXPECT_EQ(source.GetSamples(block.list, state), eGenericErr); // length 0 in loop mode
    EXPECT_TRUE(state.flags & KCStreamState::kPositionValid);
    EXPECT_EQ(state.position, 0);
    state.flags = 0;
    EXPECT_EQ(source.GetSamples(block.list, state), eNoErr);
    EXPECT_EQ(block.At(7, 0), 0.0f);
}

TEST(AudioFileSource, LongFilesArePlayedWindowByWindow) {
    // 40,000 frames span three of the source's windows; blocks of 3000
    // frames straddle their borders, and the loop wraps inside a block.
    TempFolder tmp;
    const auto path = tmp.File("long.wav");
    constexpr int32_t kFrames = 40000;
    const auto ramp = Ramp(2, kFrames);
    MakeWav(path, 16, 2, 44100, ramp);
    KCAudioFileSampleSource source{kvFM::KCStPath(path)};
    ASSERT_TRUE(source.IsValid());
    ASSERT_GT(kFrames, 2 * KCAudioFileSampleSource::kWindowFrames);
    for (const int32_t start : {0, 16000, 39000}) {
        SCOPED_TRACE(start);
        KCStreamState state; // loop on
        state.position = start;
        Block block(3000, 2);
        int64_t expectedFrame = start;
        for (int pull = 0; pull < 20; ++pull) {
            ASSERT_EQ(source.GetSamples(block.list, state), eNoErr);
            for (uint32_t f = 0; f < 3000; ++f, ++expectedFrame) {
                const size_t at = size_t(expectedFrame % kFrames);
                ASSERT_EQ(block.At(f, 0), ramp[at]) << expectedFrame;
                ASSERT_EQ(block.At(f, 1), ramp[kFrames + at]) << expectedFrame;
            }
        }
        EXPECT_EQ(state.position, int32_t(expectedFrame % kFrames));
    }
    // Straight reads from anywhere, beyond the end in silence.
    std::vector<float> piece(2 * 100, 9.0f);
    ASSERT_EQ(source.ReadFrames(kFrames - 50, 100, piece.data(), 100), eNoErr);
    EXPECT_EQ(piece[49], ramp[kFrames - 1]);
    EXPECT_EQ(piece[100 + 49], ramp[2 * kFrames - 1]);
    EXPECT_EQ(piece[50], 0.0f);
    EXPECT_EQ(piece[199], 0.0f);
}

// Pulls one block and checks it against the ramp: the frames the position
// advanced by are the file's, from `expected` on (wrapping at its end), the
// rest are silence. Returns how many frames were played.
int64_t PullAndCheck(KCAudioFileSampleSource& source, KCStreamState& state, Block& block,
                     const std::vector<float>& ramp, int64_t length) {
    const int64_t before = state.position;
    const uint64_t underruns = source.GetUnderruns();
    EXPECT_EQ(source.GetSamples(block.list, state), eNoErr);
    const int64_t played = (state.position - before + length) % length;
    const bool underrun = source.GetUnderruns() != underruns;
    EXPECT_EQ(underrun, played < int64_t(block.list.frames)) << before;
    for (int64_t f = 0; f < int64_t(block.list.frames); ++f) {
        const size_t at = size_t((before + f) % length);
        const bool real = f < played;
        EXPECT_EQ(block.At(uint32_t(f), 0), real ? ramp[at] : 0.0f) << before << "+" << f;
        EXPECT_EQ(block.At(uint32_t(f), 1), real ? ramp[size_t(length) + at] : 0.0f)
            << before << "+" << f;
        if (::testing::Test::HasFailure())
            return played;
    }
    return played;
}

TEST(AudioFileSource, ReadAheadPlaysEveryFrameInOrderWithoutWaitingForTheDisk) {
    TempFolder tmp;
    const auto path = tmp.File("long.wav");
    constexpr int64_t kFrames = 40000;
    const auto ramp = Ramp(2, int32_t(kFrames));
    MakeWav(path, 16, 2, 44100, ramp);
    KCAudioFileSampleSource source{kvFM::KCStPath(path)};
    ASSERT_TRUE(source.IsValid());
    source.SetReadAhead(true);
    ASSERT_TRUE(source.IsReadingAhead());
    KCStreamState state; // loop on
    Block block(3000, 2);
    // Two and a half times through the file, across the loop's wrap; a pull
    // whose frames are not read yet plays silence and keeps its place.
    int64_t played = 0;
    for (int pull = 0; pull < 100000 && played < 100000 && !HasFailure(); ++pull) {
        const int64_t got = PullAndCheck(source, state, block, ramp, kFrames);
        played += got;
        if (got < 3000)
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    ASSERT_GE(played, 100000);

    // A jump far beyond what was read ahead: the pull does not read the
    // disk itself but plays silence, and the reading starts again there.
    const int32_t target = int32_t((state.position + 20000) % kFrames);
    state.position = target;
    const uint64_t underruns = source.GetUnderruns();
    EXPECT_EQ(PullAndCheck(source, state, block, ramp, kFrames), 0);
    EXPECT_EQ(source.GetUnderruns(), underruns + 1);
    EXPECT_EQ(state.position, target);
    for (int pull = 0; pull < 100000 && state.position == target && !HasFailure(); ++pull) {
        PullAndCheck(source, state, block, ramp, kFrames);
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    EXPECT_NE(state.position, target);

    // Off again: every pull reads what it needs, at once.
    source.SetReadAhead(false);
    state.position = 123;
    EXPECT_EQ(PullAndCheck(source, state, block, ramp, kFrames), 3000);
    // On again, and the source goes while its thread reads.
    source.SetReadAhead(true);
}

TEST(AudioFileSource, ReadAheadEndsWithTheFileWithoutTheLoop) {
    TempFolder tmp;
    const auto path = tmp.File("short.wav");
    const auto ramp = Ramp(2, 10000);
    MakeWav(path, 16, 2, 44100, ramp);
    KCAudioFileSampleSource source{kvFM::KCStPath(path)};
    source.SetReadAhead(true);
    KCStreamState state;
    state.flags = 0;
    Block block(4000, 2);
    std::vector<float> left;
    for (int pull = 0; pull < 100000 && state.position < 10000; ++pull) {
        const int32_t before = state.position;
        ASSERT_EQ(source.GetSamples(block.list, state), eNoErr);
        for (int32_t f = 0; f < state.position - before; ++f)
            left.push_back(block.At(uint32_t(f), 0));
        if (state.position - before < 4000)
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    ASSERT_EQ(state.position, 10000);
    EXPECT_EQ(left, std::vector<float>(ramp.begin(), ramp.begin() + 10000));
    // At the end: silence, and no underrun counted for it.
    const uint64_t underruns = source.GetUnderruns();
    ASSERT_EQ(source.GetSamples(block.list, state), eNoErr);
    EXPECT_EQ(block.At(0, 0), 0.0f);
    EXPECT_EQ(source.GetUnderruns(), underruns);
    EXPECT_EQ(state.position, 10000);
}

TEST(AudioFileSource, NotesTheFirstNonFiniteSampleItPlays) {
    TempFolder tmp;
    const auto path = tmp.File("nan.wav");
    std::vector<float> planar(2 * 30000, 0.5f);
    planar[30000 + 20000] = std::numeric_limits<float>::infinity(); // right channel
    planar[25000] = std::numeric_limits<float>::quiet_NaN();
    MakeWav(path, 32, 2, 44100, planar);
    KCAudioFileSampleSource source{kvFM::KCStPath(path)};
    ASSERT_TRUE(source.IsValid());
    EXPECT_EQ(source.GetFirstNonFiniteFrame(), -1); // not played yet
    KCStreamState state;
    state.flags = 0;
    Block block(4096, 2);
    for (int pull = 0; pull < 8; ++pull)
        ASSERT_EQ(source.GetSamples(block.list, state), eNoErr);
    EXPECT_EQ(source.GetFirstNonFiniteFrame(), 20000);
}

TEST(WavFileWriter, ASignalThatEndsTheProcessRemovesTheUnfinishedFile) {
    struct Case {
        int signal;
        bool ignored; // the signal does not end the process, the file is finished
    };
    for (const Case c :
         {Case{SIGINT, false}, Case{SIGTERM, false}, Case{SIGHUP, false}, Case{SIGQUIT, false},
          Case{SIGALRM, false}, Case{SIGUSR1, false}, Case{SIGPIPE, false}, Case{SIGXFSZ, false},
          Case{SIGRTMIN + 1, false}, Case{SIGINT, true}, Case{SIGPIPE, true}}) {
        SCOPED_TRACE(c.signal);
        TempFolder tmp;
        const auto path = tmp.File("out.wav");
        const pid_t child = ::fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            NoCoreFiles();
            if (c.ignored)
                ::signal(c.signal, SIG_IGN);
            {
                cWavFileWrite writer(path);
                writer.SetNumSamples(4);
                const float samples[4] = {};
                if (writer.BeginSampleData() != eNoErr ||
                    writer.WriteSampleFrames(samples, 2, 4) != eNoErr)
                    ::_exit(2);
                ::raise(c.signal);
                if (writer.WriteSampleFrames(samples, 2, 4) != eNoErr || writer.Close() != eNoErr)
                    ::_exit(3);
            }
            ::_exit(0);
        }
        int status = 0;
        ASSERT_EQ(::waitpid(child, &status, 0), child);
        if (c.ignored) {
            ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
            EXPECT_TRUE(std::filesystem::exists(path));
        } else {
            ASSERT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == c.signal) << status;
            EXPECT_TRUE(std::filesystem::is_empty(tmp.path));
        }
    }
    // Outside a write the signals are left as they were.
    struct sigaction current {};
    ASSERT_EQ(::sigaction(SIGINT, nullptr, &current), 0);
    EXPECT_EQ(current.sa_handler, SIG_DFL);
}

TEST(WavFileWriter, ASignalWhileTheFileIsCreatedRemovesItToo) {
    // Writers are made and dropped in a loop until a signal ends the
    // process, at whatever moment: no temporary file may outlive it.
    TempFolder tmp;
    const auto path = tmp.File("out.wav");
    for (int trial = 0; trial < 40; ++trial) {
        SCOPED_TRACE(trial);
        int ready[2];
        ASSERT_EQ(::pipe(ready), 0);
        const pid_t child = ::fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            NoCoreFiles();
            ::close(ready[0]);
            for (bool first = true;; first = false) {
                cWavFileWrite writer(path);
                writer.Discard();
                if (first && ::write(ready[1], "r", 1) != 1)
                    ::_exit(2);
            }
        }
        ::close(ready[1]);
        pollfd waiting{ready[0], POLLIN, 0};
        ASSERT_EQ(::poll(&waiting, 1, 30000), 1);
        ::close(ready[0]);
        ::usleep(useconds_t((trial * 7919) % 3000));
        ASSERT_EQ(::kill(child, SIGTERM), 0);
        int status = 0;
        ASSERT_EQ(::waitpid(child, &status, 0), child);
        ASSERT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGTERM) << status;
        ASSERT_TRUE(std::filesystem::is_empty(tmp.path));
    }
}

TEST(TestSink, PullsBlocksWithItsOwnState) {
    KCTestSampleSink sink(64, KCSampleFormat{2, 48000, 32});
    EXPECT_EQ(sink.PullBuffer(), eNoErr); // no input
    EXPECT_EQ(sink.GetBuffer()[0], 0.0f);

    TempFolder tmp;
    const auto path = tmp.File("in.wav");
    MakeWav(path, 16, 2, 48000, Ramp(2, 100));
    KCAudioFileSampleSource source{kvFM::KCStPath(path)};
    sink.SetInput(&source);
    EXPECT_EQ(sink.PullBuffer(), eNoErr);
    EXPECT_EQ(sink.PullBuffer(), eNoErr);
    EXPECT_EQ(sink.GetState().position, 28); // looped: 128 mod 100
    EXPECT_EQ(sink.GetBuffer()[1], 2.0f * 65.0f / 32768.0f);

    KCTestSampleSink wide(64, KCSampleFormat{17, 48000, 32});
    wide.SetInput(&source);
    EXPECT_EQ(wide.PullBuffer(), eGenericErr);
}

TEST(WavFileSink, RendersTheWholeFileInBlocks) {
    TempFolder tmp;
    const auto in = tmp.File("in.wav");
    const auto input = Ramp(2, 10000);
    MakeWav(in, 16, 2, 44100, input);
    KCAudioFileSampleSource source{kvFM::KCStPath(in)};
    GainElement counter;
    counter.input = &source;
    const kvFM::KCStPath out(tmp.File("out.wav"));
    KCWavFileSampleSink sink(4096, &source, KCSampleFormat{2, 48000, 32}, 0, &out);
    sink.SetInput(&counter);
    KCStreamState looping;
    sink.SetState(looping);
    ASSERT_EQ(sink.Start(), eNoErr);
    EXPECT_EQ(counter.pulls, 3);                // 4096 + 4096 + 1808
    EXPECT_TRUE(sink.GetState().IsLoop());      // restored
    EXPECT_EQ(sink.GetState().position, 10000); // never wrapped
    ASSERT_EQ(sink.Stop(), eNoErr);

    cWavFileRead r(out);
    ASSERT_TRUE(r.IsValid());
    EXPECT_EQ(r.GetNumSamples(), 10000);
    EXPECT_EQ(r.GetSampleRate(), 44100); // the input file's rate and depth
    EXPECT_EQ(r.GetBitDepth(), 16);
    EXPECT_EQ(ReadAll(out.GetPathString(), r), input);
}

TEST(WavFileSink, LongFilesAreWrittenWholeAndAFailedPullLeavesSilenceBehind) {
    // Longer than the writer takes at a time (and held in storage of more
    // than one huge page), in blocks that do not divide it: every frame
    // arrives in place.
    TempFolder tmp;
    const auto in = tmp.File("long.wav");
    const auto input = Ramp(2, 280123);
    MakeWav(in, 16, 2, 44100, input);
    KCAudioFileSampleSource source{kvFM::KCStPath(in)};
    const kvFM::KCStPath out(tmp.File("out.wav"));
    {
        KCWavFileSampleSink sink(1000, &source, KCSampleFormat{2, 44100, 32}, 0, &out);
        ASSERT_EQ(sink.Start(), eNoErr);
        ASSERT_EQ(sink.Stop(), eNoErr);
        cWavFileRead r(out);
        EXPECT_EQ(ReadAll(out.GetPathString(), r), input);
    }
    // Pull 41 fails: 40000 frames rendered, silence to the end.
    GainElement failing;
    failing.input = &source;
    failing.failFrom = 41;
    KCWavFileSampleSink sink(1000, &source, KCSampleFormat{2, 44100, 32}, 0, &out);
    sink.SetInput(&failing);
    EXPECT_EQ(sink.Start(), eUninitalized);
    EXPECT_EQ(sink.Stop(), eNoErr);
    cWavFileRead r(out);
    ASSERT_EQ(r.GetNumSamples(), 280123);
    const auto back = ReadAll(out.GetPathString(), r);
    for (size_t c = 0; c < 2; ++c)
        for (size_t f = 0; f < 280123; ++f)
            ASSERT_EQ(back[c * 280123 + f], f < 40000 ? input[c * 280123 + f] : 0.0f)
                << c << " " << f;
}

TEST(WavFileSink, PassThroughIsBitExactAndLoudSamplesAreClipped) {
    TempFolder tmp;
    for (int bits : {16, 24}) {
        SCOPED_TRACE(bits);
        const double full = bits == 16 ? 32768.0 : 8388608.0;
        std::vector<float> input(2 * 3000);
        for (size_t i = 0; i < input.size(); ++i)
            input[i] = float(double(int64_t(i) * 7919 % int64_t(full) - int64_t(full) / 2) / full);
        input[0] = 0.75f;  // x 2 = 1.5
        input[1] = -0.99f; // x 2 < -1
        const auto in = tmp.File("in" + std::to_string(bits) + ".wav");
        MakeWav(in, bits, 2, 48000, input);
        KCAudioFileSampleSource source{kvFM::KCStPath(in)};

        const kvFM::KCStPath same(tmp.File("same.wav"));
        KCWavFileSampleSink pass(512, &source, KCSampleFormat{2, 48000, 32}, 0, &same);
        ASSERT_EQ(pass.Start(), eNoErr);
        ASSERT_EQ(pass.Stop(), eNoErr);
        const auto a = ReadBytes(in), b = ReadBytes(same.GetPathString());
        EXPECT_EQ(a, b);

        GainElement doubler(2.0f);
        doubler.input = &source;
        const kvFM::KCStPath loud(tmp.File("loud.wav"));
        KCWavFileSampleSink sink(512, &source, KCSampleFormat{2, 48000, 32}, 0, &loud);
        sink.SetInput(&doubler);
        ASSERT_EQ(sink.Start(), eNoErr);
        ASSERT_EQ(sink.Stop(), eNoErr);
        cWavFileRead r(loud);
        const auto back = ReadAll(loud.GetPathString(), r);
        EXPECT_EQ(back[0], float((full - 1) / full));
        EXPECT_EQ(back[1], -1.0f);
    }
}

TEST(WavFileSink, FullScaleThirtyTwoBitFilesPassUnclipped) {
    // 32-bit integers at full scale read as 1.0 and -1.0 (within a float's
    // precision): the render keeps them, so the file cancels against itself.
    TempFolder tmp;
    // Interleaved: the left channel is INT32_MAX, INT32_MIN, -256.
    const int32_t ints[] = {INT32_MAX, 1 << 30, INT32_MIN, INT32_MAX - 64, -(1 << 8), 0};
    std::vector<unsigned char> data(sizeof ints);
    std::memcpy(data.data(), ints, sizeof ints);
    const auto pcm = tmp.File("pcm32.wav");
    WriteBytes(pcm, WavBytes::Riff()
                        .Fmt(1, 2, 48000, 32)
                        .Id("data")
                        .U32(uint32_t(data.size()))
                        .Raw(data)
                        .Done());
    const auto floats = tmp.File("float32.wav");
    MakeWav(floats, 32, 2, 48000, {1.0f, -1.0f, 0.999999f, 0.5f, -0.25f, 0.75f});
    for (const auto& in : {pcm, floats}) {
        SCOPED_TRACE(in);
        KCAudioFileSampleSource source{kvFM::KCStPath(in)};
        ASSERT_TRUE(source.IsValid());
        const kvFM::KCStPath out(tmp.File("out.wav"));
        KCWavFileSampleSink pass(2, &source, KCSampleFormat{2, 48000, 32}, 0, &out);
        ASSERT_EQ(pass.Start(), eNoErr);
        ASSERT_EQ(pass.Stop(), eNoErr);
        cWavFileRead original{kvFM::KCStPath(in)};
        cWavFileRead rendered(out);
        const auto expected = ReadAll(in, original);
        EXPECT_EQ(expected[0], 1.0f);
        EXPECT_EQ(ReadAll(out.GetPathString(), rendered), expected);

        // Beyond full scale, 32-bit output is clipped at full scale.
        GainElement doubler(2.0f);
        doubler.input = &source;
        KCWavFileSampleSink loud(2, &source, KCSampleFormat{2, 48000, 32}, 0, &out);
        loud.SetInput(&doubler);
        ASSERT_EQ(loud.Start(), eNoErr);
        ASSERT_EQ(loud.Stop(), eNoErr);
        cWavFileRead clipped(out);
        const auto back = ReadAll(out.GetPathString(), clipped);
        EXPECT_EQ(back[0], 1.0f);
        EXPECT_EQ(back[1], -1.0f);
    }
}

TEST(WavFileSink, PreRollShiftsTheOutput) {
    TempFolder tmp;
    const auto in = tmp.File("in.wav");
    const auto input = Ramp(1, 1000);
    MakeWav(in, 16, 1, 44100, input);
    KCAudioFileSampleSource source{kvFM::KCStPath(in)};
    const kvFM::KCStPath out(tmp.File("out.wav"));
    KCWavFileSampleSink sink(300, &source, KCSampleFormat{1, 44100, 32}, 64, &out);
    ASSERT_EQ(sink.Start(), eNoErr);
    ASSERT_EQ(sink.Stop(), eNoErr);
    cWavFileRead r(out);
    const auto back = ReadAll(out.GetPathString(), r);
    ASSERT_EQ(back.size(), 1000u);
    for (size_t i = 0; i < 936; ++i)
        ASSERT_EQ(back[i], input[i + 64]) << i;
    for (size_t i = 936; i < 1000; ++i)
        ASSERT_EQ(back[i], 0.0f) << i;
}

TEST(WavFileSink, FailuresAreReported) {
    TempFolder tmp;
    const auto in = tmp.File("in.wav");
    MakeWav(in, 16, 1, 44100, Ramp(1, 5000));
    KCAudioFileSampleSource source{kvFM::KCStPath(in)};

    // The output cannot be created (a folder of that name exists).
    const kvFM::KCStPath folder(tmp.path);
    KCWavFileSampleSink blocked(1024, &source, KCSampleFormat{1, 44100, 32}, 0, &folder);
    EXPECT_NE(blocked.Start(), eNoErr);
    EXPECT_EQ(blocked.Stop(), eNoErr);

    // A pull fails in the third block: Render fails, the file holds the two
    // rendered blocks and silence after them.
    GainElement failing;
    failing.input = &source;
    failing.failFrom = 3;
    const kvFM::KCStPath out(tmp.File("partial.wav"));
    KCWavFileSampleSink sink(1024, &source, KCSampleFormat{1, 44100, 32}, 0, &out);
    sink.SetInput(&failing);
    EXPECT_EQ(sink.Start(), eUninitalized);
    EXPECT_EQ(sink.Stop(), eNoErr);
    cWavFileRead r(out);
    const auto back = ReadAll(out.GetPathString(), r);
    ASSERT_EQ(back.size(), 5000u);
    EXPECT_NE(back[2047], 0.0f);
    for (size_t i = 2048; i < back.size(); ++i)
        ASSERT_EQ(back[i], 0.0f) << i;

    // An input file that could not be read renders nothing and creates no
    // output.
    const auto bad = tmp.File("bad.wav");
    WriteBytes(bad, {'R', 'I', 'F', 'F'});
    KCAudioFileSampleSource badSource{kvFM::KCStPath(bad)};
    const kvFM::KCStPath never(tmp.File("never.wav"));
    KCWavFileSampleSink badSink(1024, &badSource, KCSampleFormat{1, 44100, 32}, 0, &never);
    EXPECT_EQ(badSink.Start(), eGenericErr);
    EXPECT_EQ(badSink.Stop(), eNoErr);
    EXPECT_FALSE(std::filesystem::exists(never.GetPathString()));

    // A failing pre-roll ends the render at once; the loop bit comes back.
    failing.pulls = 0;
    failing.failFrom = 1;
    EXPECT_EQ(sink.Start(), eUninitalized);
    EXPECT_TRUE(sink.GetState().IsLoop());
}

TEST(WavFileSink, ARenderThatWritesNothingLeavesTheOutputAlone) {
    TempFolder tmp;
    const auto in = tmp.File("in.wav");
    MakeWav(in, 16, 1, 44100, Ramp(1, 5000));
    KCAudioFileSampleSource source{kvFM::KCStPath(in)};
    const kvFM::KCStPath out(tmp.File("out.wav"));
    const std::vector<unsigned char> old = {'o', 'l', 'd'};

    // The pre-roll fails before a single frame is rendered.
    GainElement failing;
    failing.input = &source;
    failing.failFrom = 1;
    KCWavFileSampleSink preRolled(1024, &source, KCSampleFormat{1, 44100, 32}, 64, &out);
    preRolled.SetInput(&failing);
    // A format of more channels than a block list holds; blocks of no frames.
    KCWavFileSampleSink tooWide(1024, &source, KCSampleFormat{17, 44100, 32}, 0, &out);
    KCWavFileSampleSink noFrames(0, &source, KCSampleFormat{1, 44100, 32}, 0, &out);
    for (KCWavFileSampleSink* sink : {&preRolled, &tooWide, &noFrames}) {
        WriteBytes(out.GetPathString(), old);
        EXPECT_NE(sink->Start(), eNoErr);
        EXPECT_EQ(sink->Stop(), eNoErr);
        EXPECT_EQ(ReadBytes(out.GetPathString()), old);
        EXPECT_EQ(std::distance(std::filesystem::directory_iterator(tmp.path),
                                std::filesystem::directory_iterator{}),
                  2); // no temporary file left behind
    }
}

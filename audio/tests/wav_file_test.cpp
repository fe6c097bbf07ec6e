#include "audio/WavFile.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <climits>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <numbers>
#include <random>
#include <vector>

#include "TempFolder.h"

#ifdef KV_HAVE_SNDFILE
#include <sndfile.h>
#endif

namespace {

void WriteWav(const std::string& path, int32_t bits, int32_t channels, int32_t rate,
              const std::vector<float>& planar, int32_t format = 0) {
    cWavFileWrite w(path);
    ASSERT_TRUE(w.IsValid());
    w.SetBitDepth(bits);
    w.SetNumChans(channels);
    w.SetSampleRate(rate);
    w.SetFileFormat(format);
    w.SetNumSamples(int64_t(planar.size()) / channels);
    ASSERT_EQ(w.SaveSampleDataFromFloat(planar.data()), eNoErr);
    ASSERT_EQ(w.Close(), eNoErr);
}

std::vector<float> ReadWav(const std::string& path, cWavFileRead** keep = nullptr) {
    cWavFileRead r(path);
    EXPECT_TRUE(r.IsValid()) << r.GetError();
    if (!r.IsValid())
        return {};
    std::vector<float> out(size_t(r.GetNumSamples() * r.GetNumChans()), -9.0f);
    EXPECT_EQ(r.GetSampleDataAsFloat(out.data(), r.GetNumSamples()), eNoErr);
    return out;
}

bool HaveSox() {
    return std::system("sox --version >/dev/null 2>&1") == 0;
}

} // namespace

TEST(WavFile, OneSecondOfStereo16BitHasTheCanonicalHeader) {
    TempFolder tmp;
    const auto path = tmp.File("one.wav");
    WriteWav(path, 16, 2, 44100, std::vector<float>(2 * 44100, 0.25f));
    const auto bytes = ReadBytes(path);
    ASSERT_EQ(bytes.size(), 176444u);
    const std::vector<unsigned char> header = {
        0x52, 0x49, 0x46, 0x46, 0x34, 0xB1, 0x02, 0x00, 0x57, 0x41, 0x56, 0x45, 0x66, 0x6D, 0x74,
        0x20, 0x10, 0x00, 0x00, 0x00, 0x01, 0x00, 0x02, 0x00, 0x44, 0xAC, 0x00, 0x00, 0x10, 0xB1,
        0x02, 0x00, 0x04, 0x00, 0x10, 0x00, 0x64, 0x61, 0x74, 0x61, 0x10, 0xB1, 0x02, 0x00};
    EXPECT_EQ(std::vector<unsigned char>(bytes.begin(), bytes.begin() + 44), header);
    EXPECT_EQ(bytes[44], 0x00); // 0.25 * 32768 = 8192
    EXPECT_EQ(bytes[45], 0x20);

    cWavFileRead r(path);
    ASSERT_TRUE(r.IsValid());
    EXPECT_EQ(r.GetNumSamples(), 44100);
    EXPECT_EQ(r.GetChunkBytes(), 4096);
    EXPECT_EQ(r.GetDataOffset(), 44);
}

TEST(WavFile, ChunkSizes) {
    EXPECT_EQ(WavChunkBytes(24, 2), 4092); // 682 frames
    EXPECT_EQ(WavChunkBytes(16, 2), 4096);
    EXPECT_EQ(WavChunkBytes(32, 10), 4080);
    EXPECT_EQ(WavChunkBytes(8, 0), 0);
    EXPECT_EQ(WavChunkBytes(32, 1025), 0); // a frame wider than a chunk
    EXPECT_EQ(WavChunkBytes(32, INT32_MAX), 0);
}

TEST(WavFile, IntegerDepthsRoundTripBitExactAndClip) {
    TempFolder tmp;
    std::mt19937 rng(7);
    for (int bits : {16, 24}) {
        SCOPED_TRACE(bits);
        const double full = bits == 16 ? 32768.0 : 8388608.0;
        std::uniform_int_distribution<int32_t> dist(int32_t(-full), int32_t(full - 1));
        std::vector<float> planar(2 * 5000);
        for (auto& v : planar)
            v = float(dist(rng) / full);
        // Edges: full scale, beyond full scale, and one step below zero.
        planar[0] = 1.0f;
        planar[1] = -1.0f;
        planar[2] = 1.5f;
        planar[3] = -3.0f;
        planar[4] = float(-1.0 / full);
        planar[5] = float(0.49 / full); // rounds to 0
        planar[6] = float(0.51 / full); // rounds to 1
        planar[7] = std::nanf("");      // written as 0
        const auto path = tmp.File("rt" + std::to_string(bits) + ".wav");
        WriteWav(path, bits, 2, 48000, planar);
        const auto back = ReadWav(path);
        ASSERT_EQ(back.size(), planar.size());
        const float maxPos = float((full - 1) / full);
        EXPECT_EQ(back[0], maxPos);
        EXPECT_EQ(back[1], -1.0f);
        EXPECT_EQ(back[2], maxPos);
        EXPECT_EQ(back[3], -1.0f);
        EXPECT_EQ(back[4], float(-1.0 / full));
        EXPECT_EQ(back[5], 0.0f);
        EXPECT_EQ(back[6], float(1.0 / full));
        EXPECT_EQ(back[7], 0.0f);
        planar[7] = 0.0f;
        for (size_t i = 8; i < planar.size(); ++i)
            ASSERT_EQ(back[i], planar[i]) << i; // pass-through is bit-exact

        // Written again from what was read: the same bytes.
        const auto again = tmp.File("again.wav");
        WriteWav(again, bits, 2, 48000, back);
        EXPECT_EQ(ReadBytes(again), ReadBytes(path));
    }
}

TEST(WavFile, FloatDataAndTheVariantFormat) {
    TempFolder tmp;
    const std::vector<float> planar = {0.1f, -0.7f, 1.5f, -2.0f, 3e-8f, 0.0f};
    const auto plain = tmp.File("float.wav");
    WriteWav(plain, 32, 2, 96000, planar);
    auto bytes = ReadBytes(plain);
    EXPECT_EQ(bytes[20], 3); // IEEE float
    EXPECT_EQ(bytes[34], 32);
    EXPECT_EQ(ReadWav(plain), planar);

    const auto variant = tmp.File("variant.wav");
    WriteWav(variant, 32, 2, 96000, planar, 1);
    bytes = ReadBytes(variant);
    EXPECT_EQ(std::string(bytes.begin(), bytes.begin() + 4), "kvIR");
    EXPECT_EQ(std::string(bytes.begin() + 8, bytes.begin() + 12), "ver1");
    EXPECT_EQ(bytes[34], 23);
    cWavFileRead r(variant);
    ASSERT_TRUE(r.IsValid());
    EXPECT_EQ(r.GetBitDepth(), 32);
    EXPECT_EQ(ReadWav(variant), planar);

    // The variant's 23 bits mean floats whatever the format tag says; any
    // tag but PCM with 32 bits too.
    const float f = 0.375f;
    std::vector<unsigned char> data(4);
    std::memcpy(data.data(), &f, 4);
    for (unsigned tag : {1u, 3u, 0u}) {
        const auto marked = tmp.File("marked.wav");
        WriteBytes(marked, WavBytes::Riff()
                               .Fmt(tag, 1, 44100, tag == 1 ? 23 : 32)
                               .Id("data")
                               .U32(4)
                               .Raw(data)
                               .Done());
        EXPECT_EQ(ReadWav(marked), std::vector<float>{0.375f}) << tag;
    }
}

TEST(WavFile, ThirtyTwoBitPcmIsReadAsIntegers) {
    TempFolder tmp;
    // Format tag 1 with 32 bits: integers, scaled by 2^-31 like the 16- and
    // 24-bit forms by 2^-15 and 2^-23.
    const int32_t ints[] = {1, -1, INT32_MIN, INT32_MAX, 1 << 30, -(1 << 16)};
    std::vector<unsigned char> data(sizeof ints);
    std::memcpy(data.data(), ints, sizeof ints);
    const auto path = tmp.File("pcm32.wav");
    WriteBytes(path, WavBytes::Riff()
                         .Fmt(1, 2, 44100, 32)
                         .Id("data")
                         .U32(uint32_t(data.size()))
                         .Raw(data)
                         .Done());
    cWavFileRead r(path);
    ASSERT_TRUE(r.IsValid());
    EXPECT_FALSE(r.IsFloatData());
    EXPECT_EQ(r.GetNumSamples(), 3);
    // Planar: the left channel's three frames, then the right's.
    const std::vector<float> expected = {0x1p-31f, -1.0f, 0.5f, -0x1p-31f, 1.0f, -0x1p-15f};
    EXPECT_EQ(ReadWav(path), expected);
}

TEST(WavFile, ChunksAreWalkedByTheirHeaders) {
    TempFolder tmp;
    // A LIST chunk (odd size, padded) between "fmt " and "data" whose text
    // holds the bytes "data" and "fmt ".
    std::vector<unsigned char> list = {'I',  'N', 'F', 'O', 'd', 'a', 't', 'a', 0xFF,
                                       0xFF, 0,   0,   'f', 'm', 't', ' ', 9};
    const auto path = tmp.File("list.wav");
    WriteBytes(path, WavBytes::Riff()
                         .Fmt(1, 1, 22050, 16)
                         .Id("LIST")
                         .U32(uint32_t(list.size()))
                         .Raw(list)
                         .Raw({0})
                         .Id("data")
                         .U32(4)
                         .U16(0x4000)
                         .U16(0xC000)
                         .Done());
    cWavFileRead r(path);
    ASSERT_TRUE(r.IsValid()) << r.GetError();
    EXPECT_EQ(r.GetSampleRate(), 22050);
    EXPECT_EQ(r.GetNumSamples(), 2);
    EXPECT_EQ(ReadWav(path), (std::vector<float>{0.5f, -0.5f}));

    // A data size beyond the end of the file is clamped to what is there,
    // with a trailing partial frame ignored.
    const auto clamped = tmp.File("clamped.wav");
    WriteBytes(clamped, WavBytes::Riff()
                            .Fmt(1, 2, 44100, 16)
                            .Id("data")
                            .U32(0xFFFFFFF0u)
                            .U16(0x4000)
                            .U16(0x2000)
                            .U16(0x1000)
                            .Done());
    cWavFileRead c(clamped);
    ASSERT_TRUE(c.IsValid());
    EXPECT_EQ(c.GetNumSamples(), 1);
    EXPECT_EQ(ReadWav(clamped), (std::vector<float>{0.5f, 0.25f}));
}

TEST(WavFile, UnsupportedFilesAreRefused) {
    TempFolder tmp;
    struct Case {
        const char* name;
        std::vector<unsigned char> bytes;
        KTErr status;
        const char* problem; // what the reader says is wrong
    };
    const std::vector<unsigned char> frame(44, 0);
    const std::string text = "RIFF, said the text file, but it was no WAV file at all.\n";
    const Case cases[] = {
        {"11 channels", WavBytes::Riff().Fmt(1, 11, 44100, 16).Id("data").U32(44).Raw(frame).Done(),
         eGenericErr, "11 channels (1 to 10 are read)"},
        {"192001 Hz", WavBytes::Riff().Fmt(1, 2, 192001, 16).Id("data").U32(4).Raw(frame).Done(),
         kWavRateTooHigh, "sample rate 192001 Hz (1 to 192000 Hz are read)"},
        {"8 bits", WavBytes::Riff().Fmt(1, 2, 44100, 8).Id("data").U32(4).Raw(frame).Done(),
         eGenericErr, "8-bit samples (16, 24 and 32 bits are read)"},
        {"0 channels", WavBytes::Riff().Fmt(1, 0, 44100, 16).Id("data").U32(4).Raw(frame).Done(),
         eGenericErr, "0 channels (1 to 10 are read)"},
        {"no data", WavBytes::Riff().Fmt(1, 2, 44100, 16).Done(), eGenericErr, "not a WAV file"},
        {"no fmt", WavBytes::Riff().Id("data").U32(4).Raw(frame).Done(), eGenericErr,
         "not a WAV file"},
        {"short fmt", WavBytes::Riff().Id("fmt ").U32(4).U32(0).Id("data").U32(0).Done(),
         eGenericErr, "damaged WAV format chunk"},
        {"empty file", {}, eGenericErr, "not a WAV file"},
        {"text", std::vector<unsigned char>(text.begin(), text.end()), eGenericErr,
         "not a WAV file"},
    };
    for (const auto& c : cases) {
        const auto path = tmp.File("bad.wav");
        WriteBytes(path, c.bytes);
        cWavFileRead r(path);
        EXPECT_FALSE(r.IsValid()) << c.name;
        EXPECT_EQ(r.GetError(), c.status) << c.name;
        EXPECT_EQ(r.GetProblem(), c.problem) << c.name;
        float dst[4];
        EXPECT_EQ(r.GetSampleDataAsFloat(dst, 1), c.status) << c.name;
    }
    cWavFileRead missing(tmp.File("missing.wav"));
    EXPECT_EQ(missing.GetError(), eFMFileNotFound);
    EXPECT_EQ(missing.GetProblem().rfind("cannot be opened", 0), 0u) << missing.GetProblem();
    // A named pipe is no file to read: refused at once, never waited on.
    const auto pipe = tmp.File("pipe.wav");
    ASSERT_EQ(mkfifo(pipe.c_str(), 0600), 0);
    EXPECT_EQ(cWavFileRead(pipe).GetError(), eFMIsNotAFile);
    // 192000 Hz and 10 channels are the largest accepted.
    const auto edge = tmp.File("edge.wav");
    WriteBytes(edge, WavBytes::Riff().Fmt(1, 10, 192000, 16).Id("data").U32(20).Raw(frame).Done());
    EXPECT_TRUE(cWavFileRead(edge).IsValid());
}

TEST(WavFile, ReadErrorsAreReportedAndLeaveSilence) {
    TempFolder tmp;
    const auto path = tmp.File("shrinks.wav");
    WriteWav(path, 16, 1, 8000, std::vector<float>(1000, 0.5f));
    cWavFileRead r(path);
    ASSERT_TRUE(r.IsValid());
    std::filesystem::resize_file(path, 44 + 2 * 600); // shrinks after parsing
    std::vector<float> out(1200, -9.0f);
    EXPECT_EQ(r.GetSampleDataAsFloat(out.data(), 1200), eFMEndOfFile);
    EXPECT_EQ(out[599], 0.5f);
    for (size_t i = 600; i < out.size(); ++i)
        ASSERT_EQ(out[i], 0.0f) << i;
}

TEST(WavFile, WriterReplacesTheTargetOnlyAfterSuccessfulWrites) {
    TempFolder tmp;
    const auto path = tmp.File("keep.wav");
    WriteBytes(path, {'o', 'l', 'd'});
    {
        cWavFileWrite w(path);
        ASSERT_TRUE(w.IsValid());
        w.SetBitDepth(8); // refused: nothing written
        w.SetNumSamples(1);
        const float x = 0;
        EXPECT_EQ(w.SaveSampleDataFromFloat(&x), eGenericErr);
        EXPECT_EQ(ReadBytes(path), (std::vector<unsigned char>{'o', 'l', 'd'}));
        EXPECT_EQ(w.Close(), eGenericErr);
    }
    EXPECT_EQ(ReadBytes(path), (std::vector<unsigned char>{'o', 'l', 'd'}));
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(tmp.path),
                            std::filesystem::directory_iterator{}),
              1); // no temporary file left behind

    {
        cWavFileWrite w(path);
        w.SetBitDepth(16);
        w.SetNumSamples(2);
        const float x[2] = {0.5f, -0.5f};
        EXPECT_EQ(w.SaveSampleDataFromFloat(x), eNoErr);
        EXPECT_EQ(ReadBytes(path).size(), 3u); // not yet replaced
    }
    EXPECT_EQ(ReadWav(path), (std::vector<float>{0.5f, -0.5f}));

    // A frame wider than one I/O chunk (and than the 16-bit block-align
    // field) is refused before anything is written; 1024 channels of 32
    // bits still fit one chunk.
    struct Wide {
        int32_t bits, channels;
        KTErr status;
    };
    for (const Wide& c : {Wide{32, 1024, eNoErr}, Wide{32, 1025, eGenericErr},
                          Wide{24, 1366, eGenericErr}, Wide{16, 3000, eGenericErr}}) {
        SCOPED_TRACE(testing::Message() << c.bits << " bits x " << c.channels);
        const auto wide = tmp.File("wide.wav");
        std::filesystem::remove(wide);
        cWavFileWrite w(wide);
        w.SetBitDepth(c.bits);
        w.SetNumChans(c.channels);
        w.SetNumSamples(2);
        const std::vector<float> planar(size_t(2 * c.channels), 0.25f);
        EXPECT_EQ(w.SaveSampleDataFromFloat(planar.data()), c.status);
        EXPECT_EQ(w.Close(), c.status);
        EXPECT_EQ(std::filesystem::exists(wide), c.status == eNoErr);
    }

    // Written through a symbolic link, the file it names is replaced and the
    // link stays.
    const auto real = tmp.File("real.wav");
    const auto link = tmp.File("link.wav");
    WriteBytes(real, {'o', 'l', 'd'});
    std::filesystem::create_symlink("real.wav", link);
    WriteWav(link, 16, 1, 8000, {0.25f});
    EXPECT_TRUE(std::filesystem::is_symlink(link));
    EXPECT_EQ(ReadWav(real), std::vector<float>{0.25f});

    // Below a file, no folder can be made.
    cWavFileWrite nowhere(path + "/x.wav");
    EXPECT_FALSE(nowhere.IsValid());
    EXPECT_NE(nowhere.GetError(), eNoErr);
    EXPECT_NE(cWavFileWrite(tmp.path).GetError(), eNoErr); // a folder
}

TEST(WavFile, DataWrittenInPiecesMatchesOneWrite) {
    TempFolder tmp;
    // 24-bit stereo, the planar source held with a wider channel stride.
    constexpr int64_t kFrames = 70000, kStride = 70011;
    std::vector<float> wide(size_t(2 * kStride), 0.0f), planar(size_t(2 * kFrames));
    for (int64_t c = 0; c < 2; ++c)
        for (int64_t f = 0; f < kFrames; ++f)
            planar[size_t(c * kFrames + f)] = wide[size_t(c * kStride + f)] =
                float(((f * 7919 + c * 104729) % 20001) - 10000) / 9000.0f; // some clip
    const auto whole = tmp.File("whole.wav");
    WriteWav(whole, 24, 2, 48000, planar);

    const auto pieces = tmp.File("pieces.wav");
    // 24-bit stereo at 48 kHz, kFrames frames.
    auto Announce = [&](cWavFileWrite& w) {
        w.SetBitDepth(24);
        w.SetNumChans(2);
        w.SetSampleRate(48000);
        w.SetNumSamples(kFrames);
    };
    {
        cWavFileWrite w(pieces);
        Announce(w);
        ASSERT_EQ(w.BeginSampleData(), eNoErr);
        int64_t done = 0;
        for (int64_t n : {0, 1, 4095, 40000}) {
            ASSERT_EQ(w.WriteSampleFrames(wide.data() + done, n, kStride), eNoErr);
            done += n;
        }
        // More frames than the header announced are refused, and so is
        // everything after a failed write.
        EXPECT_EQ(w.WriteSampleFrames(wide.data() + done, kFrames - done + 1, kStride),
                  eGenericErr);
        EXPECT_EQ(w.WriteSampleFrames(wide.data() + done, kFrames - done, kStride), eGenericErr);
        EXPECT_EQ(w.Close(), eGenericErr);
    }
    EXPECT_FALSE(std::filesystem::exists(pieces));
    {
        cWavFileWrite w(pieces);
        Announce(w);
        ASSERT_EQ(w.BeginSampleData(), eNoErr);
        int64_t done = 0;
        for (int64_t n : {1, 4095, 40000, 25904}) {
            ASSERT_EQ(w.WriteSampleFrames(wide.data() + done, n, kStride), eNoErr);
            done += n;
        }
        ASSERT_EQ(w.Close(), eNoErr);
    }
    EXPECT_EQ(ReadBytes(pieces), ReadBytes(whole));
}

TEST(WavFile, ConvertedReadResamplesTheFile) {
    TempFolder tmp;
    const auto path = tmp.File("sine.wav");
    std::vector<float> planar(2 * 22050);
    for (size_t i = 0; i < 22050; ++i) {
        planar[i] = float(0.5 * std::sin(2 * std::numbers::pi * 1000 * double(i) / 44100));
        planar[22050 + i] = -planar[i];
    }
    WriteWav(path, 32, 2, 44100, planar);
    cWavFileRead r(path);
    ASSERT_TRUE(r.IsValid());
    const int64_t outFrames = 24000;
    std::vector<float> out(2 * outFrames, -9.0f);
    ASSERT_EQ(r.GetConvertedDataAsFloat(out.data(), outFrames, 48000), eNoErr);
    const double delay = (55.0 + 18.0) / 44100.0; // the filter's delay
    double sig = 0, err = 0;
    for (int64_t m = 2000; m < 20000; ++m) {
        const double ideal = 0.5 * std::sin(2 * std::numbers::pi * 1000 * (m / 48000.0 - delay));
        sig += ideal * ideal;
        err += (out[m] - ideal) * (out[m] - ideal) +
               (out[outFrames + m] + ideal) * (out[outFrames + m] + ideal);
    }
    EXPECT_GT(10 * std::log10(2 * sig / err), 60);
    for (int64_t m = 23900; m < outFrames; ++m)
        EXPECT_NE(out[m], -9.0f); // never left unwritten
}

#ifdef KV_HAVE_SNDFILE
TEST(WavFile, LibsndfileReadsWhatWeWriteAndWeReadWhatItWrites) {
    TempFolder tmp;
    std::vector<float> planar(2 * 3000);
    for (size_t i = 0; i < planar.size(); ++i)
        planar[i] = float(0.9 * std::sin(double(i) * 0.01));
    for (int bits : {16, 24, 32}) {
        SCOPED_TRACE(bits);
        const auto ours = tmp.File("ours.wav");
        WriteWav(ours, bits, 2, 44100, planar);
        const auto expected = ReadWav(ours);
        SF_INFO info{};
        SNDFILE* f = sf_open(ours.c_str(), SFM_READ, &info);
        ASSERT_NE(f, nullptr) << sf_strerror(nullptr);
        EXPECT_EQ(info.frames, 3000);
        EXPECT_EQ(info.channels, 2);
        EXPECT_EQ(info.samplerate, 44100);
        const int sub = bits == 16   ? SF_FORMAT_PCM_16
                        : bits == 24 ? SF_FORMAT_PCM_24
                                     : SF_FORMAT_FLOAT;
        EXPECT_EQ(info.format, SF_FORMAT_WAV | sub);
        std::vector<float> inter(6000);
        EXPECT_EQ(sf_readf_float(f, inter.data(), 3000), 3000);
        sf_close(f);
        for (size_t i = 0; i < 3000; ++i) {
            ASSERT_EQ(inter[2 * i], expected[i]);
            ASSERT_EQ(inter[2 * i + 1], expected[3000 + i]);
        }

        // Written by libsndfile (with its own header layout), read by us.
        const auto theirs = tmp.File("theirs.wav");
        SF_INFO out{};
        out.samplerate = 48000;
        out.channels = 2;
        out.format = SF_FORMAT_WAV | sub;
        f = sf_open(theirs.c_str(), SFM_WRITE, &out);
        ASSERT_NE(f, nullptr);
        sf_set_string(f, SF_STR_COMMENT, "a LIST chunk");
        if (bits == 32) {
            sf_writef_float(f, inter.data(), 3000);
        } else {
            // Integers at full 32-bit scale, so that no rounding of the
            // library's own float conversion enters.
            std::vector<int> ints(inter.size());
            for (size_t i = 0; i < ints.size(); ++i)
                ints[i] = int(std::lrint(double(inter[i]) * 2147483648.0));
            sf_writef_int(f, ints.data(), 3000);
        }
        sf_close(f);
        const auto back = ReadWav(theirs);
        ASSERT_EQ(back.size(), 6000u);
        for (size_t i = 0; i < 3000; ++i) {
            ASSERT_EQ(back[i], expected[i]);
            ASSERT_EQ(back[3000 + i], expected[3000 + i]);
        }
    }
}
#endif

TEST(WavFile, SoxAgreesWithOurFiles) {
    if (!HaveSox())
        GTEST_SKIP() << "sox is not installed";
    TempFolder tmp;
    // sox writes a 24-bit 3-channel file (an extensible header) that we read...
    const auto soxFile = tmp.File("sox24.wav");
    const std::string make = "sox -n -r 32000 -c 3 -b 24 " + soxFile +
                             " synth 0.1 sine 440 sine 880 sine 1320 gain -3 2>/dev/null";
    ASSERT_EQ(std::system(make.c_str()), 0);
    cWavFileRead r(soxFile);
    ASSERT_TRUE(r.IsValid()) << r.GetError();
    EXPECT_EQ(r.GetNumChans(), 3);
    EXPECT_EQ(r.GetBitDepth(), 24);
    EXPECT_EQ(r.GetNumSamples(), 3200);
    std::vector<float> planar(3 * 3200);
    ASSERT_EQ(r.GetSampleDataAsFloat(planar.data(), 3200), eNoErr);

    // ...and written back by us at 24 bits, sox reads the same samples.
    const auto ours = tmp.File("ours24.wav");
    WriteWav(ours, 24, 3, 32000, planar);
    const auto raw = tmp.File("ours.raw");
    const std::string dump = "sox " + ours + " -t raw -e signed -b 32 " + raw + " 2>/dev/null";
    ASSERT_EQ(std::system(dump.c_str()), 0);
    const auto bytes = ReadBytes(raw);
    ASSERT_EQ(bytes.size(), 3u * 3200 * 4);
    for (size_t i = 0; i < 3200; ++i)
        for (size_t c = 0; c < 3; ++c) {
            int32_t v;
            std::memcpy(&v, &bytes[(i * 3 + c) * 4], 4);
            ASSERT_EQ(double(v) / 2147483648.0, double(planar[c * 3200 + i])) << i;
        }
    // 32-bit integer files, with an extensible header (and a "fact" chunk)
    // or a plain one (format tag 1), are read as integers, not as floats.
    for (const char* type : {"wav", "wavpcm"}) {
        SCOPED_TRACE(type);
        const auto ints = tmp.File("int32.wav");
        const std::string makeInts = "sox -n -r 8000 -c 2 -b 32 -e signed-integer -t " +
                                     std::string(type) + " " + ints +
                                     " synth 0.01 sine 440 sine 660 gain -6 2>/dev/null";
        ASSERT_EQ(std::system(makeInts.c_str()), 0);
        EXPECT_EQ(ReadBytes(ints)[20], std::string(type) == "wav" ? 0xFE : 1);
        const auto intRaw = tmp.File("int32.raw");
        ASSERT_EQ(
            std::system(
                ("sox " + ints + " -t raw -e float -b 32 " + intRaw + " 2>/dev/null").c_str()),
            0);
        cWavFileRead i32(ints);
        ASSERT_TRUE(i32.IsValid());
        EXPECT_FALSE(i32.IsFloatData());
        std::vector<float> intPlanar(2 * 80);
        ASSERT_EQ(i32.GetSampleDataAsFloat(intPlanar.data(), 80), eNoErr);
        const auto intBytes = ReadBytes(intRaw);
        ASSERT_EQ(intBytes.size(), 2u * 80 * 4);
        for (size_t i = 0; i < 80; ++i)
            for (size_t c = 0; c < 2; ++c) {
                float v;
                std::memcpy(&v, &intBytes[i * 8 + c * 4], 4);
                ASSERT_NEAR(intPlanar[c * 80 + i], v, 1e-6) << i;
            }
    }

    // sox sees a float file as float.
    const auto floats = tmp.File("ours32.wav");
    WriteWav(floats, 32, 1, 8000, std::vector<float>(100, 0.25f));
    const std::string info = "sox --i -e " + floats + " 2>/dev/null | grep -q 'Floating Point'";
    EXPECT_EQ(std::system(info.c_str()), 0);
}

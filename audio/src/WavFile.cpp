#include "audio/WavFile.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <new>
#include <vector>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "AudioFileIO.h"
#include "audio/KCOnTheFlySRC.h"

namespace {

constexpr int32_t kChunkLimit = 4096;
// Chunks moved per system call: whole chunks, for throughput.
constexpr int32_t kChunksPerTransfer = 16;
constexpr uint16_t kTagPCM = 1;
constexpr uint16_t kTagFloat = 3;
constexpr uint16_t kTagExtensible = 0xFFFE;

uint16_t Get16(const unsigned char* p) {
    return uint16_t(p[0] | (p[1] << 8));
}
uint32_t Get32(const unsigned char* p) {
    return uint32_t(p[0]) | (uint32_t(p[1]) << 8) | (uint32_t(p[2]) << 16) | (uint32_t(p[3]) << 24);
}
void Put16(unsigned char* p, uint32_t v) {
    p[0] = uint8_t(v);
    p[1] = uint8_t(v >> 8);
}
void Put32(unsigned char* p, uint32_t v) {
    for (int i = 0; i < 4; ++i)
        p[i] = uint8_t(v >> (8 * i));
}

bool IsSupportedDepth(int32_t bits) {
    return bits == 16 || bits == 24 || bits == 32;
}

int32_t ToInt(float x, float scale, int32_t lo, int32_t hi) {
    const float s = x * scale;
    if (!(s == s))
        return 0; // NaN
    if (s <= float(lo))
        return lo;
    if (s >= float(hi))
        return hi;
    return static_cast<int32_t>(std::lrint(s));
}

// n samples scaled, clipped to [lo, hi] and rounded to the nearest integer
// (NaN becomes 0), into out.
void ToInts(const float* in, int64_t n, float scale, int32_t lo, int32_t hi, int32_t* out) {
    int64_t i = 0;
#if defined(__SSE2__)
    const __m128 vs = _mm_set1_ps(scale), vlo = _mm_set1_ps(float(lo)),
                 vhi = _mm_set1_ps(float(hi));
    for (; i + 4 <= n; i += 4) {
        __m128 v = _mm_mul_ps(_mm_loadu_ps(in + i), vs);
        const __m128 ordered = _mm_cmpord_ps(v, v);
        v = _mm_and_ps(_mm_min_ps(_mm_max_ps(v, vlo), vhi), ordered);
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out + i), _mm_cvtps_epi32(v));
    }
#endif
    for (; i < n; ++i)
        out[i] = ToInt(in[i], scale, lo, hi);
}

// Stereo 16-bit frames to two planar channels, each sample times k.
void StereoInt16ToFloats(const unsigned char* raw, int64_t frames, float k, float* left,
                         float* right) {
    int64_t f = 0;
#if defined(__SSE2__)
    const __m128 vk = _mm_set1_ps(k);
    for (; f + 4 <= frames; f += 4) {
        const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(raw + 4 * f));
        const __m128 lo =
            _mm_mul_ps(_mm_cvtepi32_ps(_mm_srai_epi32(_mm_unpacklo_epi16(v, v), 16)), vk);
        const __m128 hi =
            _mm_mul_ps(_mm_cvtepi32_ps(_mm_srai_epi32(_mm_unpackhi_epi16(v, v), 16)), vk);
        _mm_storeu_ps(left + f, _mm_shuffle_ps(lo, hi, _MM_SHUFFLE(2, 0, 2, 0)));
        _mm_storeu_ps(right + f, _mm_shuffle_ps(lo, hi, _MM_SHUFFLE(3, 1, 3, 1)));
    }
#endif
    for (; f < frames; ++f) {
        left[f] = float(int16_t(Get16(raw + 4 * f))) * k;
        right[f] = float(int16_t(Get16(raw + 4 * f + 2))) * k;
    }
}

// Two planar channels to stereo 16-bit frames, as ToInts with 32768 and
// [-32768, 32767] does.
void FloatsToStereoInt16(const float* left, const float* right, int64_t frames,
                         unsigned char* out) {
    int64_t f = 0;
#if defined(__SSE2__)
    const __m128 vs = _mm_set1_ps(32768.0f), vlo = _mm_set1_ps(-32768.0f),
                 vhi = _mm_set1_ps(32767.0f);
    auto convert = [&](const float* in) {
        __m128 v = _mm_mul_ps(_mm_loadu_ps(in), vs);
        const __m128 ordered = _mm_cmpord_ps(v, v);
        v = _mm_and_ps(_mm_min_ps(_mm_max_ps(v, vlo), vhi), ordered);
        return _mm_cvtps_epi32(v);
    };
    for (; f + 4 <= frames; f += 4) {
        const __m128i l = convert(left + f);
        const __m128i r = convert(right + f);
        const __m128i packed = _mm_packs_epi32(_mm_unpacklo_epi32(l, r), _mm_unpackhi_epi32(l, r));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out + 4 * f), packed);
    }
#endif
    for (; f < frames; ++f) {
        Put16(out + 4 * f, uint32_t(ToInt(left[f], 32768.0f, -32768, 32767)));
        Put16(out + 4 * f + 2, uint32_t(ToInt(right[f], 32768.0f, -32768, 32767)));
    }
}

} // namespace

int32_t WavChunkBytes(int32_t bitsPerSample, int32_t channels) {
    const int64_t block = int64_t(bitsPerSample) * channels / 8;
    if (block <= 0 || block > kChunkLimit)
        return 0;
    return int32_t(block * (kChunkLimit / block));
}

// ---------------------------------------------------------------------------
// Reader

cWavFileRead::cWavFileRead(const kvFM::KCStPath& path)
    : filePath(path), file(std::make_unique<KCAudioFileIO>()) {
    KTErr status = file->OpenForReading(path);
    if (status == eNoErr)
        status = ParseWAV();
    else
        problem = "cannot be opened (" + std::string(KTErrName(status)) + ")";
    if (status != eNoErr && problem.empty())
        problem = "cannot be read (" + std::string(KTErrName(status)) + ")";
    SetError(status);
}

cWavFileRead::~cWavFileRead() = default;

KTErr cWavFileRead::ParseWAV() {
    uint64_t fileSize = 0;
    KTErr status = file->GetSize(fileSize);
    if (status != eNoErr)
        return status;

    // Walk the chunk headers behind the 12-byte RIFF header; the ids of the
    // RIFF header and the format tag do not decide how the data is read.
    bool haveFormat = false, haveData = false;
    unsigned char fmt[40] = {};
    uint32_t fmtSize = 0;
    uint64_t dataSize = 0;
    uint64_t pos = 12;
    while (pos + 8 <= fileSize && !(haveFormat && haveData)) {
        unsigned char header[8];
        size_t done = 0;
        if ((status = file->Seek(pos)) != eNoErr ||
            (status = file->Read(header, 8, done)) != eNoErr)
            return status;
        if (done < 8)
            break;
        const uint64_t size = Get32(header + 4);
        const uint64_t body = pos + 8;
        if (std::memcmp(header, "fmt ", 4) == 0 && !haveFormat) {
            fmtSize = uint32_t(std::min<uint64_t>(size, sizeof fmt));
            if ((status = file->Read(fmt, fmtSize, done)) != eNoErr)
                return status;
            haveFormat = fmtSize >= 16 && done == fmtSize;
            if (!haveFormat) {
                problem = "damaged WAV format chunk";
                return eGenericErr;
            }
        } else if (std::memcmp(header, "data", 4) == 0 && !haveData) {
            dataOffset = int64_t(body);
            dataSize = std::min(size, fileSize - body); // a size beyond the file is clamped
            haveData = true;
        }
        pos = body + size + (size & 1);
    }
    if (!haveFormat || !haveData) {
        problem = "not a WAV file";
        return eGenericErr;
    }

    const uint16_t tag = Get16(fmt);
    numChans = Get16(fmt + 2);
    sampleRate = int32_t(std::min<uint32_t>(Get32(fmt + 4), INT32_MAX));
    bitDepth = Get16(fmt + 14);
    // 32 bits are integers when the format says PCM, plainly or in an
    // extensible header; 23 bits (the variant's marking) and every other tag
    // mean floats.
    const bool pcm =
        tag == kTagPCM || (tag == kTagExtensible && fmtSize >= 26 && Get16(fmt + 24) == kTagPCM);
    int32Data = bitDepth == 32 && pcm;
    if (bitDepth == 23)
        bitDepth = 32;

    if (numChans < 1 || numChans > kWavMaxChannels) {
        problem = std::to_string(numChans) + " channels (1 to 10 are read)";
        return eGenericErr;
    }
    if (sampleRate > kWavMaxSampleRate || sampleRate < 1) {
        problem = "sample rate " + std::to_string(sampleRate) + " Hz (1 to 192000 Hz are read)";
        return sampleRate < 1 ? eGenericErr : kWavRateTooHigh;
    }
    if (!IsSupportedDepth(bitDepth)) {
        problem = std::to_string(bitDepth) + "-bit samples (16, 24 and 32 bits are read)";
        return eGenericErr;
    }
    const int64_t block = int64_t(bitDepth / 8) * numChans;
    numSamples = int64_t(dataSize) / block;
    chunkBytes = WavChunkBytes(bitDepth, numChans);
    return eNoErr;
}

void cWavFileRead::Deinterleave(const unsigned char* raw, int64_t frames, float* dst,
                                int64_t stride) const {
    const int32_t channels = numChans;
    switch (bitDepth) {
    case 16: {
        constexpr float k = 1.0f / 32768.0f;
        if (channels == 2) {
            StereoInt16ToFloats(raw, frames, k, dst, dst + stride);
            break;
        }
        for (int32_t c = 0; c < channels; ++c) {
            const unsigned char* p = raw + 2 * c;
            float* out = dst + c * stride;
            for (int64_t f = 0; f < frames; ++f, p += 2 * channels)
                out[f] = float(int16_t(Get16(p))) * k;
        }
        break;
    }
    case 24: {
        constexpr float k = 1.0f / 8388608.0f;
        for (int32_t c = 0; c < channels; ++c) {
            const unsigned char* p = raw + 3 * c;
            float* out = dst + c * stride;
            for (int64_t f = 0; f < frames; ++f, p += 3 * channels) {
                const int32_t v =
                    int32_t(uint32_t(p[0]) << 8 | uint32_t(p[1]) << 16 | uint32_t(p[2]) << 24) >> 8;
                out[f] = float(v) * k;
            }
        }
        break;
    }
    case 32: {
        for (int32_t c = 0; c < channels; ++c) {
            const unsigned char* p = raw + 4 * c;
            float* out = dst + c * stride;
            if (int32Data) {
                constexpr float k = 1.0f / 2147483648.0f;
                for (int64_t f = 0; f < frames; ++f, p += 4 * channels)
                    out[f] = float(int32_t(Get32(p))) * k;
            } else {
                for (int64_t f = 0; f < frames; ++f, p += 4 * channels)
                    std::memcpy(&out[f], p, 4);
            }
        }
        break;
    }
    default:
        break;
    }
}

KTErr cWavFileRead::GetSampleDataAsFloat(float* dst, int64_t stride) {
    if (!IsValid())
        return GetError();
    if (stride < 0 || (!dst && stride > 0))
        return eMemNullPointer;
    const KTErr status = ReadFramesAsFloat(0, stride, dst, stride);
    fileStatus = status;
    return status;
}

KTErr cWavFileRead::ReadFramesAsFloat(int64_t first, int64_t count, float* dst, int64_t stride) {
    if (!IsValid())
        return GetError();
    if (first < 0 || count < 0 || stride < count || (!dst && count > 0))
        return eMemNullPointer;
    if (count == 0)
        return eNoErr;
    const int64_t block = int64_t(bitDepth / 8) * numChans;
    const int64_t framesPerTransfer = int64_t(chunkBytes / block) * kChunksPerTransfer;
    KTErr status = eNoErr;
    int64_t f = 0;
    while (status == eNoErr && f < count) {
        const int64_t want = std::min(framesPerTransfer, count - f);
        int64_t got = 0;
        status = ReadRawFrames(first + f, want, readBuffer, got);
        Deinterleave(readBuffer.data(), got, dst + f, stride);
        f += got;
        if (got < want)
            break; // the file's end
    }
    // Whatever could not be read is silence, never stale memory.
    for (int32_t c = 0; c < numChans; ++c)
        std::fill(dst + c * stride + f, dst + c * stride + count, 0.0f);
    return status;
}

KTErr cWavFileRead::ReadRawFrames(int64_t first, int64_t count, std::vector<unsigned char>& raw,
                                  int64_t& got) {
    got = 0;
    if (!IsValid())
        return GetError();
    if (first < 0 || count < 0)
        return eMemNullPointer;
    const int64_t block = int64_t(bitDepth / 8) * numChans;
    const int64_t frames = std::clamp<int64_t>(numSamples - first, 0, count);
    try {
        if (raw.size() < size_t(frames * block))
            raw.resize(size_t(frames * block));
    } catch (const std::bad_alloc&) {
        return eMemNewFailed;
    }
    if (frames == 0)
        return eNoErr;
    if (const KTErr status = file->Seek(uint64_t(dataOffset + first * block)); status != eNoErr)
        return status;
    size_t done = 0;
    const KTErr status = file->Read(raw.data(), size_t(frames * block), done);
    got = int64_t(done) / block;
    if (status == eNoErr && got < frames)
        return eFMEndOfFile; // the file shrank since it was parsed
    return status;
}

void cWavFileRead::ConvertRawFrames(const unsigned char* raw, int64_t frames, float* dst,
                                    int64_t stride) const {
    Deinterleave(raw, frames, dst, stride);
}

KTErr cWavFileRead::GetConvertedDataAsFloat(float* dst, int64_t outFrames, int32_t outRate) {
    if (!IsValid())
        return GetError();
    if (!IsSupportedDepth(bitDepth))
        return eWrongObjectState;
    if (!dst || outFrames < 0)
        return eMemNullPointer;
    try {
        KCOnTheFlySRC src(sampleRate, outRate, eSRCDefault, numChans);
        KTErr status = eNoErr;
        if (!src.IsValid(status))
            return status;
        const int64_t block = int64_t(bitDepth / 8) * numChans;
        const int64_t inFrames =
            std::min<int64_t>(src.RateUnConvertLength(long(outFrames)), numSamples);
        const int64_t framesPerChunk = chunkBytes / block;
        if ((status = file->Seek(uint64_t(dataOffset))) != eNoErr)
            return status;

        std::vector<unsigned char> raw(static_cast<size_t>(chunkBytes));
        std::vector<float> planar(size_t(framesPerChunk * numChans));
        float frame[KCOnTheFlySRC::kMaxChannels] = {};
        float produced[KCOnTheFlySRC::kMaxChannels] = {};
        int64_t done = 0;
        long need = 0;
        // The file's frames, then one chunk of silence that flushes the filter.
        for (int64_t read = 0; read <= inFrames; read += framesPerChunk) {
            const bool flush = read >= inFrames;
            const int64_t n = flush ? framesPerChunk : std::min(framesPerChunk, inFrames - read);
            if (flush) {
                std::fill(planar.begin(), planar.end(), 0.0f);
            } else {
                size_t got = 0;
                if ((status = file->Read(raw.data(), size_t(n * block), got)) != eNoErr)
                    return status;
                if (int64_t(got) < n * block)
                    return eFMEndOfFile;
                Deinterleave(raw.data(), n, planar.data(), n);
            }
            for (int64_t f = 0; f < n; ++f) {
                for (int32_t c = 0; c < numChans; ++c)
                    frame[c] = flush ? 0.0f : planar[size_t(c * n + f)];
                src.ReadSample(frame);
                while (done < outFrames && need == 0) {
                    src.OutSample(need, produced);
                    for (int32_t c = 0; c < numChans; ++c)
                        dst[done + c * outFrames] = produced[c];
                    ++done;
                }
                --need;
            }
            if (flush)
                break;
        }
        for (int32_t c = 0; c < numChans; ++c)
            std::fill(dst + c * outFrames + done, dst + (c + 1) * outFrames, 0.0f);
        return eNoErr;
    } catch (KTErr thrown) {
        return thrown;
    } catch (...) {
        return eGenericErr;
    }
}

// ---------------------------------------------------------------------------
// Writer

cWavFileWrite::cWavFileWrite(const kvFM::KCStPath& path)
    : filePath(path), file(std::make_unique<KCAudioFileIO>()) {
    SetError(file->CreateReplacing(path));
}

cWavFileWrite::~cWavFileWrite() {
    Close();
}

KTErr cWavFileWrite::Close() {
    if (!file->IsOpen())
        return GetError() != eNoErr ? GetError() : fileStatus;
    if (GetError() != eNoErr || fileStatus != eNoErr) {
        file->Close(); // the target stays as it was
        return GetError() != eNoErr ? GetError() : fileStatus;
    }
    fileStatus = file->Commit();
    return fileStatus;
}

void cWavFileWrite::Discard() {
    file->Close();
}

KTErr cWavFileWrite::SaveWAVHeader() {
    const bool variant = fileFormat == 1;
    const uint64_t block = uint64_t(bitDepth) * uint64_t(numChans) / 8;
    const uint64_t dataSize = uint64_t(numSamples) * block;
    if (dataSize > 0xFFFFFFFFull - 36) {
        fileStatus = eFMFileSizeTooBig;
        return fileStatus;
    }
    unsigned char h[44];
    std::memcpy(h, variant ? "kvIR" : "RIFF", 4);
    Put32(h + 4, uint32_t(dataSize + 36));
    std::memcpy(h + 8, variant ? "ver1" : "WAVE", 4);
    std::memcpy(h + 12, "fmt ", 4);
    Put32(h + 16, 16);
    // 32-bit data are IEEE floats and say so.
    Put16(h + 20, bitDepth == 32 ? kTagFloat : kTagPCM);
    Put16(h + 22, uint32_t(numChans));
    Put32(h + 24, uint32_t(sampleRate));
    Put32(h + 28, uint32_t(uint64_t(bitDepth) * uint64_t(numChans) * uint64_t(sampleRate) / 8));
    Put16(h + 32, uint32_t(block));
    Put16(h + 34, uint32_t(variant && bitDepth == 32 ? 23 : bitDepth));
    std::memcpy(h + 36, "data", 4);
    Put32(h + 40, uint32_t(dataSize));
    chunkBytes = WavChunkBytes(bitDepth, numChans);
    framesWritten = 0;
    fileStatus = file->Write(h, sizeof h);
    return fileStatus;
}

KTErr cWavFileWrite::SaveSampleDataFromFloat(const float* src) {
    if (KTErr status = CheckFormat(); status != eNoErr)
        return status;
    if (!src && numSamples > 0) {
        fileStatus = eMemNullPointer;
        return fileStatus;
    }
    if (KTErr status = SaveWAVHeader(); status != eNoErr)
        return status;
    return WriteSampleFrames(src, numSamples, numSamples);
}

KTErr cWavFileWrite::BeginSampleData() {
    if (KTErr status = CheckFormat(); status != eNoErr)
        return status;
    return SaveWAVHeader();
}

KTErr cWavFileWrite::CheckFormat() {
    if (!IsValid())
        return GetError();
    if (!file->IsOpen())
        return eFMIllegalOpenFileRef;
    // A frame must fit one I/O chunk (which also keeps the block align
    // within its 16-bit field).
    if (!IsSupportedDepth(bitDepth) || numChans < 1 || WavChunkBytes(bitDepth, numChans) == 0 ||
        sampleRate < 1 || numSamples < 0) {
        fileStatus = eGenericErr;
        return fileStatus;
    }
    return eNoErr;
}

KTErr cWavFileWrite::WriteSampleFrames(const float* src, int64_t frames, int64_t stride) {
    if (fileStatus != eNoErr)
        return fileStatus;
    if (chunkBytes == 0 || frames < 0 || stride < frames) {
        fileStatus = eGenericErr;
        return fileStatus;
    }
    // The header promised numSamples frames: no more are written.
    if (frames > numSamples - framesWritten) {
        fileStatus = eGenericErr;
        return fileStatus;
    }
    if (frames == 0)
        return eNoErr;
    if (!src) {
        fileStatus = eMemNullPointer;
        return fileStatus;
    }
    const int32_t bytes = bitDepth / 8;
    const int64_t block = int64_t(bytes) * numChans;
    const int64_t framesPerTransfer = int64_t(chunkBytes / block) * kChunksPerTransfer;
    try {
        transferBytes.resize(size_t(framesPerTransfer * block));
        transferInts.resize(size_t(framesPerTransfer));
    } catch (const std::bad_alloc&) {
        fileStatus = eMemNewFailed;
        return fileStatus;
    }
    for (int64_t f0 = 0; f0 < frames; f0 += framesPerTransfer) {
        const int64_t n = std::min(framesPerTransfer, frames - f0);
        for (int32_t c = 0; c < numChans; ++c) {
            const float* in = src + c * stride + f0;
            unsigned char* p = transferBytes.data() + c * bytes;
            switch (bitDepth) {
            case 16:
                if (numChans == 2) {
                    if (c == 0)
                        FloatsToStereoInt16(in, in + stride, n, transferBytes.data());
                    break;
                }
                ToInts(in, n, 32768.0f, -32768, 32767, transferInts.data());
                for (int64_t f = 0; f < n; ++f, p += block)
                    Put16(p, uint32_t(transferInts[size_t(f)]));
                break;
            case 24:
                ToInts(in, n, 8388608.0f, -8388608, 8388607, transferInts.data());
                for (int64_t f = 0; f < n; ++f, p += block) {
                    const uint32_t v = uint32_t(transferInts[size_t(f)]);
                    p[0] = uint8_t(v);
                    p[1] = uint8_t(v >> 8);
                    p[2] = uint8_t(v >> 16);
                }
                break;
            default:
                for (int64_t f = 0; f < n; ++f, p += block)
                    std::memcpy(p, &in[f], 4);
                break;
            }
        }
        if ((fileStatus = file->Write(transferBytes.data(), size_t(n * block))) != eNoErr)
            return fileStatus;
        framesWritten += n;
    }
    return eNoErr;
}

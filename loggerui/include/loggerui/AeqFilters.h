// The AEQ page's model: ten bi-quad filter records, their design from
// equaliser parameters, the block that loads them into the chip, the
// coefficient file the plug-in reads and the page's own settings file.
// Nothing here touches a window, so the sending thread may use it.
#pragma once

#include <array>
#include <cstdint>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace busgate {
class BusGate;
}

namespace loggerui {

inline constexpr int kAeqFilterCount = 10;
inline constexpr std::size_t kAeqRecordBytes = 52;
inline constexpr std::size_t kAeqRecordsBytes = kAeqRecordBytes * kAeqFilterCount;
inline constexpr int32_t kMantissaScale = 8388607;

enum AeqType : uint32_t { kBell, kLowShelf, kHighShelf, kLowPass, kHighPass, kNotch };
inline constexpr uint32_t kAeqTypeCount = 6;
inline constexpr const char* kAeqTypeLabels[kAeqTypeCount] = {"Bell",     "Low Shelf", "High Shelf",
                                                              "Low Pass", "High Pass", "Notch"};
inline constexpr const char* kAeqRateLabels[2] = {"48 KHz", "44.1 KHz"};

struct AeqRecord {
    uint32_t enabled = 0;
    int32_t a0 = 0, a1 = 0, a2 = 0, b1 = 0, b2 = 0;
    uint8_t shift = 0;
    uint32_t designed = 1; // 1 designed from the parameters, 0 entered
    uint32_t type = kBell;
    uint32_t rate = 0; // 0 48 kHz, 1 44.1 kHz
    uint16_t frequency = 1000;
    float gain = 0.0f;
    float q = 3.0f;

    bool operator==(const AeqRecord&) const = default;
};

using AeqRecords = std::array<AeqRecord, kAeqFilterCount>;

// Designs the record's coefficients from its parameters. False (and all
// five mantissas 0) when the design is unusable: a feedback coefficient
// outside -2..2, a parameter out of its table, or a non-finite value.
bool DesignBiquad(AeqRecord& record);

// A real coefficient to its mantissa: truncate(x * 0.5 / 2^shift * 8388607
// + 0.5), limited to the 24-bit range.
int32_t ToMantissa(double value, unsigned shift);
// The number of halvings that bring |x| below 2.
unsigned ShiftFor(double value);
// The real values as the page shows them (feed-forward with the shift).
double FeedForwardValue(int32_t mantissa, unsigned shift);
double FeedbackValue(int32_t mantissa);

// The page's state when it opens.
AeqRecords InitialAeqRecords();

// "CH %2d %s" with the filter's state.
std::string AeqListEntry(int index, const AeqRecord& record);
// "%.15f (0x%06lX)" of one coefficient (0 a0 .. 4 b2).
std::string AeqCoefficientText(const AeqRecord& record, int coefficient);
inline constexpr const char* kAeqOutOfRange = "--- ERROR --- Out Of Range";

// Typed values: nothing when rejected.
std::optional<uint16_t> ParseAeqFrequency(std::string_view text);
std::optional<float> ParseAeqGain(std::string_view text);
std::optional<float> ParseAeqQ(std::string_view text);
// A typed coefficient (0 a0 .. 4 b2) stored into the record; false when it
// is rejected (the record is unchanged). A feed-forward value may change
// the shift and so all three feed-forward mantissas.
bool SetAeqCoefficient(AeqRecord& record, int coefficient, std::string_view text);
// The type change: the type's fixed Q and gain, then a new design.
void SetAeqType(AeqRecord& record, uint32_t type);

// Slider scales.
uint16_t FrequencyFromPosition(int position);
int PositionFromFrequency(uint16_t frequency);
float GainFromPosition(int position);
int PositionFromGain(float gain);
float QFromPosition(int position);
int PositionFromQ(float q);

// The data frame of "Load AEQ": sum + 1, n - 1, then a2 a0 a1 b2 b1 of each
// enabled filter, 24-bit words most significant byte first.
std::vector<uint8_t> AeqLoadBlock(const AeqRecords& records);
// Sends the enabled filters through the logging transfer under the logger
// lock (nothing unless the chip is ready).
void SendAeqFilters(busgate::BusGate& bus, const AeqRecords& records);

// The coefficient file: why it cannot be written, or nothing.
std::optional<std::string> AeqExportRefusal(const AeqRecords& records);
// "DL6000_5.05_48.aeq" and its kin.
std::string AeqProposedName(int32_t firmwareVersion, const AeqRecords& records);
// The text of the coefficient file, with CR LF line ends.
std::string AeqFileText(const AeqRecords& records);

// The settings file: the ten records (520 bytes) and a text part for people.
std::string AeqCfgBytes(const AeqRecords& records);
// The records of a settings file's head; nothing when it is shorter than
// the ten records.
std::optional<AeqRecords> ParseAeqCfg(std::string_view bytes);

// Replaces the file through a file beside it; false on any failure, which
// leaves the old file as it was.
bool WriteFileReplacing(const std::string& path, std::string_view bytes);

// The page's settings as the sending thread reads them.
class AeqSettings {
public:
    AeqSettings() : records_(InitialAeqRecords()) {}
    AeqRecords Records() const {
        std::lock_guard hold(mutex_);
        return records_;
    }
    void SetRecords(const AeqRecords& records) {
        std::lock_guard hold(mutex_);
        records_ = records;
    }

private:
    mutable std::mutex mutex_;
    AeqRecords records_;
};

} // namespace loggerui

// The tweaks page's settings and chip work, without windows: loading and
// unloading the tweaks code, the check that it runs, the linear volume with
// its patch check, the sample-rate converter, the tone generator's tables
// and the level meters.
//
// Threads: every operation takes the logger's lock for its whole run, so
// the page (GUI thread) and the decoder (inside a transfer) take turns.
// The windows read a copy of the state (Snapshot) that each operation
// publishes at its end; the change callback then tells them to look.
#pragma once

#include "busaccess/busgate/BusGate.h"
#include "loggerui/ToneMath.h"
#include "loggerui/TweaksImages.h"

#include <array>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

namespace loggerui {

inline constexpr const char* kNoTweaksCode =
    "No Tweaks code is available for this chip firmware version.";
inline constexpr const char* kPatchNotLoaded = "Linear Volume patch was not loaded";

enum class Channel { Left, Right };
inline constexpr int kMeters = 5; // pre left, pre right, post left, post right, post sub

struct TweaksState {
    bool enabled = false;
    bool toneOn = false;
    bool metersOn = false;
    bool linearActive = false;
    bool linearTested = false;
    bool srcConfigured = false;
    // The SRC controls can be used (the code for the firmware has an SRC).
    bool srcControls = true;
    std::string button = "Enable Tweaks";
    bool buttonEnabled = true;

    // Boxes and lists of the page.
    bool linearBox = false;
    bool toneBox = false;
    bool levelBox = false;
    uint32_t srcRatio = 1; // item data of the ratio list
    uint16_t updateInterval = 200;

    double mainVolume = 0.0, subVolume = 0.0;

    uint16_t sampleRate = 48000;
    double leftFrequency = 1000.0, rightFrequency = 1000.0;
    double leftLevel = 0.0, rightLevel = 0.0;
    uint16_t phase = 0;
    std::vector<uint32_t> leftTable, rightTable;
    uint8_t changedTables = 3; // bit 0 right, bit 1 left

    std::array<MeterView, kMeters> meters{};
};

class TweaksService {
public:
    // Timers of the page: 1 the meters, 2 the chip-ready watch.
    static constexpr int kMeterTimer = 1;
    static constexpr int kReadyTimer = 2;
    // ms < 0 stops the timer.
    using TimerHook = std::function<void(int timer, int ms)>;

    explicit TweaksService(busgate::BusGate& bus, std::string imageFolder = TweaksImageFolder());

    void SetChangeHook(std::function<void()> hook) { changed_ = std::move(hook); }
    void SetTimerHook(TimerHook hook) { timer_ = std::move(hook); }
    TweaksState Snapshot() const;

    // ---- the code
    // Loads and enables (true) or disables the code; true when enabled.
    bool EnableTweaks(bool enable);
    // Re-sends the page's settings; true when the code reports its
    // signature (logged in green, else in red). False without a word when
    // tweaks are off, the chip is not ready or no capture was completed.
    bool CheckRunning();
    // The tweaks button: toggles, then checks.
    void ToggleTweaks();
    // The button's text and state as the decoder sets them.
    void SetButton(std::string text, bool enabled);
    // Timer 2: the chip gone, tweaks off. The delay to re-arm with (-1:
    // stopped).
    int ReadyTimer();

    // ---- sample-rate converter
    void SetSrcRatio(uint32_t ratio);
    void ConfigureSrc();

    // ---- linear volume
    void SetLinearBox(bool checked);
    // Levels outside -100..3 dB keep the stored one.
    void SetLinearVolume(Channel channel, double levelDb);
    void SetLinearGain(Channel channel, uint32_t gain);

    // ---- tone generator
    void SetToneBox(bool checked);
    void SetSampleRate(uint16_t rate);
    // From the edit: 125..20000 Hz, anything else keeps the stored one.
    void SetFrequency(Channel channel, double hz);
    // From the slider: a new representable frequency only.
    void SetFrequencySlider(Channel channel, int position);
    // From the edit: -100..3 dBFS; from the slider: position.
    void SetLevel(Channel channel, double levelDb);
    void SetLevelSlider(Channel channel, int position);
    void SetPhase(int samples);
    void ToneRebuildBoth();
    void ToneStart();
    void ToneStop();
    void ToneSendTables();

    // ---- level meters
    void SetLevelBox(bool checked);
    void SetUpdateInterval(uint16_t ms);
    void MetersEnable();
    void MetersDisable();
    // Timer 1: reads and shows the peaks. The delay to re-arm with.
    int MeterTimer();

private:
    bool Ready() const;
    bool Load();
    bool LoadImage(const TweaksImage& image);
    void Unload();
    void ResetSrc();
    void LinearOn();
    void LinearOff();
    void ResetMeters();
    void ChangeFrequency(Channel channel, double hz);
    void RebuildLeft();
    void RebuildRight();
    void ClearPeaks();
    std::array<double, kMeters> ReadPeaks();
    void Log(int colour, const char* text);
    void Publish();
    void Arm(int timer, int ms);

    std::optional<uint32_t> ReadWord(uint16_t address, uint8_t command);
    void WriteWord(uint16_t address, uint8_t command, uint32_t value);
    std::optional<uint32_t> ReadX(uint16_t reg);
    void WriteX(uint16_t reg, uint32_t value);
    std::optional<uint32_t> ReadMemY(uint16_t address);
    void WriteMemY(uint16_t address, uint32_t value);

    busgate::BusGate& bus_;
    std::string folder_;
    TweaksState state_;
    uint32_t signature_ = 0;
    uint32_t hookSaved_ = 0;
    int logColour_ = -1; // the colour last queued by the check
    mutable std::mutex publishedMutex_;
    TweaksState published_;
    std::function<void()> changed_;
    TimerHook timer_;
};

// The SRC preset box's one-shot notes, the first time it is checked or
// unchecked in the process.
inline constexpr const char* kSrcVerifyNote =
    "Verify:\n1.\nCrystal/CLKIN is selected as the reference clock after hardware reset (i.e., "
    "REF strap is set LOW). \nnote that clock frequency is not important in this case but should "
    "be around 12MHz. \nWith the the EVB, disable the straps auto-control from 'EVB Config' window "
    "and close jumper JP2. \n2.\nSSI/I2S is configured to Slave mode, 64bit and Crystal is "
    "selected from 'System Configuration' window.";
inline constexpr const char* kSrcAfterResetNote = "The action will take place after reset";

} // namespace loggerui

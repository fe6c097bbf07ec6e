// The volume page's work without windows: the curve with its encodings for
// the chosen control, sending a step, putting the control back as the
// traffic last set it, the timed sweep and curve files.
#pragma once

#include "busaccess/busgate/BusGate.h"
#include "loggerui/TweaksService.h"
#include "loggerui/VolumeCurve.h"

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace loggerui {

struct VolumeTarget {
    const char* text;
    int data;
};
// The controls of the "Mode: " list, in order.
extern const VolumeTarget kVolumeTargets[12];

class VolumeService {
public:
    VolumeService(busgate::BusGate& bus, TweaksService& tweaks);

    // ---- state
    int Target() const { return target_; }
    std::size_t StepCount() const { return levels_.size(); }
    uint16_t CurrentStep() const { return current_; }
    uint16_t StartStep() const { return start_; }
    uint16_t EndStep() const { return end_; }
    uint16_t Interval() const { return interval_; }
    bool Sweeping() const { return sweeping_; }
    double Requested(std::size_t step) const { return levels_.at(step); }
    const EncodedLevel& Encoded(std::size_t step) const { return encoded_.at(step); }
    // "%.2f dB (%u)" of the current step.
    std::string CurrentText() const;
    // "%.2f dB" of a step's actual level.
    std::string StepText(std::size_t step) const;

    // ---- operations
    // Encodes every step for the target, resets the sweep range and sends
    // the current step (unlogged).
    void RecomputeCurve();
    // Sends step i; the remembered volume state stays as it was.
    void ApplyStep(uint16_t step, bool logged);
    // The target back to the value the traffic last gave it.
    void RestoreTarget();
    // The "Mode: " list: the old target restored, then the new curve.
    void SelectTarget(int data);
    void SetStartStep(uint16_t step) { start_ = Clamp(step); }
    void SetEndStep(uint16_t step) { end_ = Clamp(step); }
    void SetInterval(uint16_t interval);
    // The up-down control: a step applied with logging.
    void StepTo(uint16_t step);
    // The curve file's text; the boxes go to the message service. True
    // when the curve was replaced.
    bool LoadCurveText(const std::string& text);
    bool LoadCurveFile(const std::string& path);
    // The sweep, on this thread; `pump` dispatches window messages. While a
    // sweep runs a second call ends it at the end step. The sweep's
    // duration in seconds (negative when it did not run).
    double RunSweep(const std::function<void()>& pump);
    // Called when the state shown changed.
    void SetChangeHook(std::function<void()> hook) { changed_ = std::move(hook); }

private:
    uint16_t Clamp(uint16_t step) const;
    void SendVolume(int32_t raw);
    void Changed();
    bool Ready() const { return bus_.State().ready == 1; }

    busgate::BusGate& bus_;
    TweaksService& tweaks_;
    int target_ = 0;
    std::vector<double> levels_;
    std::vector<EncodedLevel> encoded_;
    uint16_t current_ = 0, start_ = 0, end_ = 99, interval_ = 10;
    bool sweeping_ = false;
    std::function<void()> changed_;
};

} // namespace loggerui

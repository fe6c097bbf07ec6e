// Bridge-flash presets.
#include "busaccess/busgate/BridgePresets.h"

#include "ExportSupport.h"

#include "busaccess/U2CFrame.h"

namespace busgate {

using namespace exports;

namespace {

constexpr const char* kEraseCaption = "Erase MK340 preset";
constexpr const char* kExportCaption = "Export preset to MK340";
constexpr const char* kEraseFailed = "Fail to erase MK340 preset.";
constexpr uint32_t kFlashPiece = 256;
constexpr uint32_t kResetDelayMs = 30;
constexpr uint8_t kSoftwareReset[3] = {0x00, 0xC5, 0x00};
constexpr uint8_t kTuningCategory = 5;

bool ValidArea(uint32_t area) {
    return area < kPresetAreas;
}

bool EraseArea(BusGate& bus, uint32_t area) {
    return bus.Bridge().EraseFlash(PresetAreaStart(area), kPresetAreaSize) == 1;
}

bool WriteWord(BusGate& bus, uint32_t address, uint32_t value) {
    uint8_t word[4];
    u2c::PutLE32(word, value);
    return bus.Bridge().WriteFlash(address, word, 4) == 1;
}

// The recording at +16, then length, hardware and firmware version, and
// the mark last, only when everything before it was written.
bool WriteArea(BusGate& bus, uint32_t area, const std::vector<uint8_t>& recording) {
    const uint32_t start = PresetAreaStart(area);
    const uint32_t length = static_cast<uint32_t>(recording.size());
    bool ok = true;
    for (uint32_t o = 0; ok && o < length; o += kFlashPiece)
        ok = bus.Bridge().WriteFlash(start + kPresetHeaderSize + o, recording.data() + o,
                                     std::min(kFlashPiece, length - o)) == 1;
    const BusState& s = bus.State();
    ok = ok && WriteWord(bus, start + 12, length);
    ok = ok && WriteWord(bus, start + 4, static_cast<uint32_t>(s.chipHardwareVersion));
    ok = ok && WriteWord(bus, start + 8, static_cast<uint32_t>(s.chipFirmwareVersion));
    ok = ok && WriteWord(bus, start + 0, kPresetMark | area);
    return ok;
}

// Arms the recorder for its lifetime.
class Recording {
public:
    explicit Recording(BusGate& bus) : recording_(bus.Recording()) {
        recording_.bytes.clear();
        recording_.bytes.reserve(TrafficRecording::kCapacity);
        recording_.overflow = false;
        recording_.armed = true;
    }
    ~Recording() { recording_.armed = false; }
    Recording(const Recording&) = delete;
    Recording& operator=(const Recording&) = delete;

private:
    TrafficRecording& recording_;
};

void ReplayAll(BusGate& bus) {
    // The hooks below send traffic of their own that may reset or extend
    // the capture: the replay sends the capture as it was before them.
    const std::vector<uint8_t> groups = bus.CaptureGroups();
    LoggerServices& ui = bus.Ui();
    bus.EvbDialog().BoardIdentified();
    bus.EvbDialog().BeforeReset();
    bus.Bridge().Write(kDefaultChipAddress, 3, kSoftwareReset);
    BridgeWait(bus, kResetDelayMs);
    if (ui.IsChecked(ctl::kEnableTweaksAtPreset))
        ui.TweaksEnable(1);
    for (size_t o = 0; o < groups.size(); o += 3)
        bus.Bridge().Write(kDefaultChipAddress, 3, groups.data() + o);
    bus.EvbDialog().AfterSetup();
    if (ui.IsChecked(ctl::kConfigSrcPllAtPreset))
        ui.TweaksConfigureSrc();
    ui.TweaksCheckRunning();
}

void ReplayTuning(BusGate& bus) {
    const std::vector<uint8_t> groups = bus.CaptureGroups();
    CExport2MK340Alg sink(bus);
    BusGate::OfflineReplay replay(bus, sink);
    const bool decode = bus.State().chipAddress == kDefaultChipAddress;
    for (size_t o = 0; o < groups.size(); o += 3) {
        if (decode) {
            replay.Decode(kDefaultChipAddress, groups.data() + o);
            continue;
        }
        sink.SetColor(kColourBlack);
        sink.Transaction(0, kDefaultChipAddress, 3, groups.data() + o, 0);
        sink.Text("\n ");
    }
}

template <typename Replay>
void ProgramArea(BusGate& bus, uint32_t area, Replay&& replay) {
    LoggerLockGuard guard(bus.Lock());
    if (!ValidArea(area))
        return;
    if (!EraseArea(bus, area)) {
        ErrorBox(bus, kEraseFailed, kExportCaption);
        return;
    }
    {
        Recording recording(bus);
        replay(bus);
    }
    const TrafficRecording& recorded = bus.Recording();
    if (recorded.overflow) {
        ErrorBox(bus, "Preset exceed max size.", kExportCaption);
        return;
    }
    if (WriteArea(bus, area, recorded.bytes))
        InfoBox(bus, "Program completed successfully.", kExportCaption);
    else
        ErrorBox(bus, "Fail to Program preset.", kExportCaption);
}

} // namespace

void CExport2MK340Alg::SetColor(int code) {
    colour_ = code;
    if (tuning_)
        bus_.DialogSink().SetColor(code);
}

void CExport2MK340Alg::PutText(std::string_view text) {
    if (tuning_)
        bus_.DialogSink().Text("%.*s", static_cast<int>(text.size()), text.data());
}

void CExport2MK340Alg::Transaction(int direction, uint8_t slave, uint32_t length,
                                   const uint8_t* bytes, uint32_t category) {
    tuning_ = category == kTuningCategory;
    if (!tuning_)
        return;
    bus_.Bridge().Write(slave, length, bytes);
    bus_.DialogSink().SetColor(colour_);
    bus_.DialogSink().Transaction(direction, slave, length, bytes, category);
}

void BridgeRecordTraffic(BusGate& bus, uint32_t length, uint8_t slave, const uint8_t* data,
                         uint8_t) {
    TrafficRecording& r = bus.Recording();
    if (!r.armed || r.overflow)
        return;
    const uint64_t needed = uint64_t{3} + length;
    if (length > 0xFFFF || r.bytes.size() + needed > TrafficRecording::kCapacity) {
        r.overflow = true;
        return;
    }
    r.bytes.push_back(slave);
    r.bytes.push_back(static_cast<uint8_t>(length & 0xFF));
    r.bytes.push_back(static_cast<uint8_t>(length >> 8));
    r.bytes.insert(r.bytes.end(), data, data + length);
}

void EraseBridgePreset(BusGate& bus, uint32_t area) {
    LoggerLockGuard guard(bus.Lock());
    if (ValidArea(area) && EraseArea(bus, area))
        InfoBox(bus, "Erase completed successfully.", kEraseCaption);
    else
        ErrorBox(bus, kEraseFailed, kEraseCaption);
}

void ExportPresetToBridge(BusGate& bus, uint32_t area) {
    ProgramArea(bus, area, ReplayAll);
}

void ProgramBridgePreset(BusGate& bus, uint32_t area) {
    ProgramArea(bus, area, ReplayTuning);
}

} // namespace busgate

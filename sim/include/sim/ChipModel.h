// The simulated chip's registers and memories, beyond identification:
// register access (0xAB/0xB5 peripheral X, 0xAD/0xB6 peripheral Y), the
// generic X/Y/P memory commands, the straps word in register 0xFFF1, the
// address register 0xFFE9, the configuration marker 0x00A500 at X 0x000A,
// soft reset, the patch download into X, Y or program memory, a model of
// the downloaded tweaks code while it is hooked and the DSP runs, and two
// fault modes: held in reset (no acknowledge) and all reads equal (every
// read answers the same word).
#pragma once

#include "sim/Chip.h"

#include <map>
#include <optional>

namespace u2csim {

constexpr uint16_t kStrapsRegister = 0xFFF1;
constexpr uint16_t kAddressRegister = 0xFFE9;
constexpr uint16_t kMarkerAddress = 0x000A;
constexpr uint32_t kConfiguredMarker = 0x00A500;
// Hardware-patch resources: the index register selects whose control word
// and two data words the next three registers read and write.
constexpr uint16_t kPatchIndexRegister = 0xFFF4;
constexpr uint16_t kPatchCtlRegister = 0xFFF5;
constexpr uint16_t kPatchData1Register = 0xFFF7;
// The event status register (Y): writing a 1 clears that bit.
constexpr uint16_t kEventStatusRegister = 0xFF93;
// X register 0xFFFF: bits 0-1 set while the DSP processes.
constexpr uint16_t kDspControlRegister = 0xFFFF;
// Program word the firmware jumps through; its own value after a reset.
constexpr uint16_t kHookWord = 0x000F;
// Patch download: with patch slot 0 active, {00 A2 L} and L words go to
// memory from slot 0's DATA0, into Y or X memory while slot 1 holds one of
// these redirects, else into program memory.
constexpr uint8_t kDownloadCommand = 0xA2;
constexpr uint32_t kRedirectY = 0x5C5800;
constexpr uint32_t kRedirectX = 0x545800;
constexpr uint32_t kPatchActiveBit = 0x100000;

struct PatchResource {
    uint32_t ctl = 0, data0 = 0, data1 = 0;
    bool operator==(const PatchResource&) const = default;
};

struct ChipModelConfig {
    // Bits 17-18: chip type; bit 12: flavour; bit 0 of a second read: DCLK.
    uint32_t straps = 0x060000;
    bool heldInReset = false;
    bool allReadsEqual = false;
    uint32_t allReadsValue = 0;
    // The answer of the measurement read (command 0xB1); unset: X memory.
    std::optional<uint32_t> measurement;
    // Y registers that hold a value from the start and after a soft reset
    // (fault and event bits, for instance).
    std::map<uint16_t, uint32_t> presetY;
};

class ChipModel : public Chip {
public:
    explicit ChipModel(ChipConfig chip = {}, ChipModelConfig model = {});

    bool write(const uint8_t* data, size_t len) override;
    std::optional<Bytes> read(size_t len) override;
    bool acknowledges() const override;

    void setHeldInReset(bool held);
    // The reset line rising again: the chip answers and starts afresh.
    void releaseFromReset();
    void setAllReadsEqual(bool on, uint32_t value = 0);

    uint32_t registerX(uint16_t reg) const;
    uint32_t registerY(uint16_t reg) const;
    uint32_t memoryX(uint16_t address) const;
    uint32_t memoryY(uint16_t address) const;
    // 0 for a word never written.
    uint32_t memoryP(uint16_t address) const;
    void setMemoryY(uint16_t address, uint32_t value);
    // The downloaded add-on code runs (hooked, complete, DSP not paused).
    bool tweaksRunning() const;
    void setRegisterX(uint16_t reg, uint32_t value);
    void setRegisterY(uint16_t reg, uint32_t value);
    void setMemoryX(uint16_t address, uint32_t value);
    unsigned softResets() const;
    PatchResource patch(uint32_t index) const;
    // Marks a resource as held, as another patch would.
    void setPatch(uint32_t index, PatchResource resource);

private:
    enum class Space { regX, regY, memX, memY, memP };
    void command(const uint8_t* group);
    std::map<uint16_t, uint32_t>& space(Space s);
    void reset();
    bool codeRunning() const;
    void download(uint32_t word);

    mutable std::mutex modelMutex_;
    ChipModelConfig model_;
    uint32_t* patchWord(uint16_t reg);
    std::map<uint16_t, uint32_t> regX_, regY_, memX_, memY_, memP_;
    std::map<uint32_t, PatchResource> patches_;
    std::optional<std::pair<Space, uint16_t>> pendingWrite_;
    struct Download {
        Space space;
        uint16_t address;
        uint32_t remaining;
    };
    std::optional<Download> download_;
    std::optional<uint32_t> reply_;
    unsigned softResets_ = 0;
};

} // namespace u2csim

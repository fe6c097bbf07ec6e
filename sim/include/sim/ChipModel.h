// The simulated chip's registers and memories, beyond identification:
// register access (0xAB/0xB5 peripheral X, 0xAD/0xB6 peripheral Y), the
// generic X/Y/P memory commands, the straps word in register 0xFFF1, the
// address register 0xFFE9, the configuration marker 0x00A500 at X 0x000A,
// soft reset, and two fault modes: held in reset (no acknowledge) and all
// reads equal (every read answers the same word).
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

    mutable std::mutex modelMutex_;
    ChipModelConfig model_;
    uint32_t* patchWord(uint16_t reg);
    std::map<uint16_t, uint32_t> regX_, regY_, memX_, memY_, memP_;
    std::map<uint32_t, PatchResource> patches_;
    std::optional<std::pair<Space, uint16_t>> pendingWrite_;
    std::optional<uint32_t> reply_;
    unsigned softResets_ = 0;
};

} // namespace u2csim

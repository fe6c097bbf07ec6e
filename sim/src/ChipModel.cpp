#include "sim/ChipModel.h"

namespace u2csim {

namespace {

// The tweaks code the page downloads, per firmware: where it loads, how
// many words it has, its signature in bits 8-23 of Y 0x400, and the hook
// word of the firmware itself.
struct TweaksCode {
    uint32_t firmware;
    uint16_t load;
    uint16_t words;
    uint32_t signature;
    uint32_t firmwareHook;
};
constexpr TweaksCode kTweaksCodes[] = {
    {0x0606, 0x300, 180, 0xA50100, 0xC1B5},
    {0x0704, 0x200, 264, 0xA50300, 0xC18D},
};
constexpr uint16_t kTweaksControl = 0x400;
constexpr uint16_t kMainGain = 0x40E, kMainCheck = 0x40F;
constexpr uint16_t kSubGain = 0x411, kSubCheck = 0x412;

const TweaksCode* TweaksCodeFor(uint32_t firmware) {
    for (const TweaksCode& code : kTweaksCodes)
        if (code.firmware == firmware)
            return &code;
    return nullptr;
}

} // namespace

ChipModel::ChipModel(ChipConfig chip, ChipModelConfig model) : Chip(chip), model_(model) {
    reset();
    memX_[kMarkerAddress] = kConfiguredMarker;
}

void ChipModel::reset() {
    regX_.clear();
    regY_.clear();
    memX_.clear();
    memY_.clear();
    regX_[kStrapsRegister] = model_.straps & 0xFFFFFF;
    regX_[kAddressRegister] = uint32_t{kChipAddress} << 4;
    for (const auto& [reg, value] : model_.presetY)
        regY_[reg] = value & 0xFFFFFF;
    regX_[kDspControlRegister] = 0x3; // processing
    if (const TweaksCode* code = TweaksCodeFor(config_.subVersion))
        memP_[kHookWord] = code->firmwareHook;
    pendingWrite_.reset();
    download_.reset();
    reply_.reset();
}

std::map<uint16_t, uint32_t>& ChipModel::space(Space s) {
    switch (s) {
    case Space::regX:
        return regX_;
    case Space::regY:
        return regY_;
    case Space::memX:
        return memX_;
    case Space::memY:
        return memY_;
    case Space::memP:
        break;
    }
    return memP_;
}

bool ChipModel::write(const uint8_t* data, size_t len) {
    std::unique_lock lock(modelMutex_);
    if (model_.heldInReset)
        return false;
    for (size_t at = 0; at + 3 <= len; at += 3) {
        const uint8_t* g = data + at;
        if (download_) {
            download(uint32_t{g[0]} << 16 | uint32_t{g[1]} << 8 | g[2]);
            continue;
        }
        if (pendingWrite_) {
            const uint32_t word = uint32_t{g[0]} << 16 | uint32_t{g[1]} << 8 | g[2];
            uint32_t* patch =
                pendingWrite_->first == Space::regX ? patchWord(pendingWrite_->second) : nullptr;
            if (patch)
                *patch = word;
            else if (*pendingWrite_ == std::pair{Space::regY, kEventStatusRegister})
                regY_[kEventStatusRegister] &= ~word;
            else
                space(pendingWrite_->first)[pendingWrite_->second] = word;
            // The running code scales a new gain into its check word.
            if (pendingWrite_->first == Space::memY && codeRunning()) {
                if (pendingWrite_->second == kMainGain)
                    memY_[kMainCheck] = word >> 14;
                else if (pendingWrite_->second == kSubGain)
                    memY_[kSubCheck] = word >> 14;
            }
            pendingWrite_.reset();
            continue;
        }
        command(g);
        // The base model records the command and answers identification.
        lock.unlock();
        Chip::write(g, 3);
        lock.lock();
    }
    return true;
}

void ChipModel::command(const uint8_t* g) {
    const uint16_t p = static_cast<uint16_t>(g[0] << 8 | g[2]);
    reply_.reset(); // a new command drops an answer nobody read
    auto answer = [&](Space s) {
        auto& m = space(s);
        auto it = m.find(p);
        reply_ = it == m.end() ? 0 : it->second;
    };
    switch (g[1]) {
    case 0xAB:
        pendingWrite_ = {Space::regX, p};
        break;
    case 0xAD:
        pendingWrite_ = {Space::regY, p};
        break;
    case 0xA7:
        pendingWrite_ = {Space::memX, p};
        break;
    case 0xA8:
        pendingWrite_ = {Space::memY, p};
        break;
    case 0xA6:
        pendingWrite_ = {Space::memP, p};
        break;
    case 0xB5:
        if (const uint32_t* patch = patchWord(p))
            reply_ = *patch;
        else
            answer(Space::regX);
        break;
    case 0xB6:
        answer(Space::regY);
        break;
    case 0xB1:
        if (model_.measurement)
            reply_ = *model_.measurement;
        else
            answer(Space::memX);
        break;
    case 0xB2:
        answer(Space::memY);
        if (p == kTweaksControl && codeRunning())
            reply_ = (*reply_ & 0xFFu) | TweaksCodeFor(config_.subVersion)->signature;
        break;
    case kDownloadCommand: {
        const auto slot0 = patches_.find(0);
        if (p == 0 || slot0 == patches_.end() || !(slot0->second.ctl & kPatchActiveBit))
            break;
        Space target = Space::memP;
        const auto slot1 = patches_.find(1);
        if (slot1 != patches_.end() && (slot1->second.ctl & kPatchActiveBit)) {
            if (slot1->second.data0 == kRedirectY)
                target = Space::memY;
            else if (slot1->second.data0 == kRedirectX)
                target = Space::memX;
        }
        download_ = Download{target, static_cast<uint16_t>(slot0->second.data0), p};
        break;
    }
    case 0xB0:
        answer(Space::memP);
        break;
    case 0xC5:
        ++softResets_;
        reset();
        break;
    case 0xAC: // setup completed: the chip runs its configuration
        memX_[kMarkerAddress] = kConfiguredMarker;
        break;
    default:
        break;
    }
}

std::optional<Bytes> ChipModel::read(size_t len) {
    std::unique_lock lock(modelMutex_);
    if (model_.heldInReset)
        return std::nullopt;
    std::optional<uint32_t> value = reply_;
    reply_.reset();
    if (model_.allReadsEqual)
        value = model_.allReadsValue;
    if (!value) {
        lock.unlock();
        return Chip::read(len);
    }
    Bytes out(len, 0);
    const uint8_t msbFirst[3] = {static_cast<uint8_t>(*value >> 16),
                                 static_cast<uint8_t>(*value >> 8), static_cast<uint8_t>(*value)};
    for (size_t i = 0; i < len && i < 3; ++i)
        out[i] = msbFirst[i];
    if (model_.allReadsEqual) {
        lock.unlock();
        Chip::read(len); // drops a reply the base model armed
    }
    return out;
}

bool ChipModel::acknowledges() const {
    std::lock_guard lock(modelMutex_);
    return !model_.heldInReset;
}

void ChipModel::setHeldInReset(bool held) {
    std::lock_guard lock(modelMutex_);
    model_.heldInReset = held;
}

void ChipModel::releaseFromReset() {
    std::lock_guard lock(modelMutex_);
    model_.heldInReset = false;
    reset();
}

void ChipModel::setAllReadsEqual(bool on, uint32_t value) {
    std::lock_guard lock(modelMutex_);
    model_.allReadsEqual = on;
    model_.allReadsValue = value;
}

uint32_t ChipModel::registerX(uint16_t reg) const {
    std::lock_guard lock(modelMutex_);
    if (reg >= kPatchCtlRegister && reg <= kPatchData1Register) {
        // The selected resource's word.
        auto index = regX_.find(kPatchIndexRegister);
        auto it = patches_.find(index == regX_.end() ? 0 : index->second);
        if (it == patches_.end())
            return 0;
        const uint32_t words[3] = {it->second.ctl, it->second.data0, it->second.data1};
        return words[reg - kPatchCtlRegister];
    }
    auto it = regX_.find(reg);
    return it == regX_.end() ? 0 : it->second;
}

uint32_t ChipModel::registerY(uint16_t reg) const {
    std::lock_guard lock(modelMutex_);
    auto it = regY_.find(reg);
    return it == regY_.end() ? 0 : it->second;
}

uint32_t ChipModel::memoryX(uint16_t address) const {
    std::lock_guard lock(modelMutex_);
    auto it = memX_.find(address);
    return it == memX_.end() ? 0 : it->second;
}

void ChipModel::setRegisterX(uint16_t reg, uint32_t value) {
    std::lock_guard lock(modelMutex_);
    regX_[reg] = value & 0xFFFFFF;
}

void ChipModel::setRegisterY(uint16_t reg, uint32_t value) {
    std::lock_guard lock(modelMutex_);
    regY_[reg] = value & 0xFFFFFF;
}

void ChipModel::setMemoryX(uint16_t address, uint32_t value) {
    std::lock_guard lock(modelMutex_);
    memX_[address] = value & 0xFFFFFF;
}

void ChipModel::download(uint32_t word) {
    space(download_->space)[download_->address++] = word;
    if (--download_->remaining == 0)
        download_.reset();
}

bool ChipModel::codeRunning() const {
    const TweaksCode* code = TweaksCodeFor(config_.subVersion);
    if (!code)
        return false;
    const auto dsp = regX_.find(kDspControlRegister);
    if (dsp == regX_.end() || (dsp->second & 3u) != 3u)
        return false;
    const auto hook = memP_.find(kHookWord);
    if (hook == memP_.end() || hook->second != code->load)
        return false;
    for (uint16_t a = code->load; a < code->load + code->words; ++a)
        if (!memP_.count(a))
            return false;
    return true;
}

bool ChipModel::tweaksRunning() const {
    std::lock_guard lock(modelMutex_);
    return codeRunning();
}

uint32_t ChipModel::memoryY(uint16_t address) const {
    std::lock_guard lock(modelMutex_);
    auto it = memY_.find(address);
    return it == memY_.end() ? 0 : it->second;
}

uint32_t ChipModel::memoryP(uint16_t address) const {
    std::lock_guard lock(modelMutex_);
    auto it = memP_.find(address);
    return it == memP_.end() ? 0 : it->second;
}

void ChipModel::setMemoryY(uint16_t address, uint32_t value) {
    std::lock_guard lock(modelMutex_);
    memY_[address] = value & 0xFFFFFF;
}

uint32_t* ChipModel::patchWord(uint16_t reg) {
    if (reg < kPatchCtlRegister || reg > kPatchData1Register)
        return nullptr;
    PatchResource& r = patches_[regX_[kPatchIndexRegister]];
    uint32_t* words[3] = {&r.ctl, &r.data0, &r.data1};
    return words[reg - kPatchCtlRegister];
}

PatchResource ChipModel::patch(uint32_t index) const {
    std::lock_guard lock(modelMutex_);
    auto it = patches_.find(index);
    return it == patches_.end() ? PatchResource{} : it->second;
}

void ChipModel::setPatch(uint32_t index, PatchResource resource) {
    std::lock_guard lock(modelMutex_);
    patches_[index] = resource;
}

unsigned ChipModel::softResets() const {
    std::lock_guard lock(modelMutex_);
    return softResets_;
}

} // namespace u2csim

#include "loggerui/IoConfig.h"

#include "busaccess/busgate/BusGate.h"

#include <optional>

namespace loggerui {

namespace {

constexpr uint32_t kAll = 0xFFFFFFFF;
constexpr uint32_t kClockBits = 0xFC0000; // divider 18-22, source 23
constexpr uint32_t kPllBit = 1u << 23;
constexpr int kDividerShift = 18;
constexpr uint32_t kDividerMask = 0x1F;
constexpr uint32_t kRooutBit = 1u << 13;

uint32_t Bit(int n) {
    return 1u << n;
}

void SetBit(uint32_t& word, int n, bool on) {
    if (on)
        word |= Bit(n);
    else
        word &= ~Bit(n);
}

bool Has(uint32_t word, int n) {
    return (word & Bit(n)) != 0;
}

struct FixedBits {
    uint32_t type, keep1, set1, keep2, set2;
};

constexpr FixedBits kFixedBits[] = {
    {1, 0x47, 0x3F20, 0xA1, 0x50},    {2, 0xCF, 0x3F20, 0x31, 0x40},
    {4, 0xDF, 0x3F20, 0x31, 0x40},    {8, 0x7F, 0x3F00, 0x3FB9, 0x40},
    {16, 0x7F, 0x3F00, 0x3FB9, 0x40}, {32, 0xFF, 0x3F00, 0x3FB9, 0x40},
};

// Pins whose function lives in GPIO Selection 2: the bit, and whether the
// bit set means function 2 (true) or function 1 (false).
struct Selection2Pin {
    int pin, bit;
    bool setMeansSecond;
};
constexpr Selection2Pin kSelection2Pins[] = {
    {16, 12, false}, {17, 8, true}, {18, 4, false}, {20, 7, true}};

const Selection2Pin* Selection2PinOf(int pin) {
    for (const Selection2Pin& p : kSelection2Pins)
        if (p.pin == pin)
            return &p;
    return nullptr;
}

int PinOf(int row) {
    return kPinRows.at(static_cast<size_t>(row)).pin;
}

std::optional<uint32_t> Read(busgate::BusGate& bus, uint16_t reg) {
    uint32_t value = 0;
    if (bus.ReadRegister(reg, value) != 0)
        return std::nullopt;
    return value;
}

void Quiet(busgate::BusGate& bus) {
    bus.FdkInit(busgate::BusGate::Transfer::Raw);
}
void Logged(busgate::BusGate& bus) {
    bus.FdkInit(busgate::BusGate::Transfer::Logger);
}

// The registers apply and inject write after the clock, in this order.
struct Image {
    uint16_t reg;
    uint32_t IoImages::*field;
};
constexpr Image kWritten[] = {{ioreg::kPullUp, &IoImages::pullUp},
                              {ioreg::kOutputEnable, &IoImages::outputEnable},
                              {ioreg::kOutputValue, &IoImages::outputValue},
                              {ioreg::kSelection2, &IoImages::selection2},
                              {ioreg::kSelection1, &IoImages::selection1}};

void WriteClockIfChanged(busgate::BusGate& bus, std::optional<uint32_t> chip, uint32_t image) {
    if (chip && (*chip & kClockBits) != (image & kClockBits))
        bus.WriteRegister(ioreg::kClockControl, (*chip & ~kClockBits) | (image & kClockBits));
}

} // namespace

const std::array<PinRow, kPinRowCount> kPinRows{{
    {kAll, 0, {"GPIO00", "DCLK", nullptr}},   {kAll, 1, {"GPIO01", "SYNC", nullptr}},
    {0x02, 2, {"GPIO02", "SDI0", nullptr}},   {0x04, 2, {"GPIO02", "SDI0", nullptr}},
    {0x18, 2, {"GPIO02", "SDI0", nullptr}},   {0x20, 2, {"GPIO02", "SDI0", nullptr}},
    {0x02, 3, {"GPIO03", "SDI1", nullptr}},   {0x04, 3, {"GPIO03", "SDI1", nullptr}},
    {0x18, 3, {"GPIO03", "SDI1", nullptr}},   {0x20, 3, {"GPIO03", "SDI1", nullptr}},
    {0x02, 4, {"GPIO04", nullptr, nullptr}},  {0x04, 4, {"GPIO04", "SDI2", nullptr}},
    {0x18, 4, {"GPIO04", "SDI2", nullptr}},   {0x20, 4, {"GPIO04", "SDI2", nullptr}},
    {0x18, 5, {"GPIO05", "SDI3", nullptr}},   {0x20, 5, {"GPIO05", "SDI3", nullptr}},
    {kAll, 6, {"GPO06", "SDO0", nullptr}},    {0x02, 7, {"GPO07", "SDO1", "CLKOUT"}},
    {0x04, 7, {"GPO07", "SDO1", "CLKOUT"}},   {0x01, 7, {"GPO07", nullptr, "CLKOUT"}},
    {0x18, 7, {"GPO07", nullptr, "CLKOUT"}},  {0x20, 7, {"GPO07", "SDO1", "CLKOUT"}},
    {0x02, 15, {"GPIO15", nullptr, nullptr}}, {0x04, 14, {"GPIO14", nullptr, nullptr}},
    {0x18, 16, {"GPIO16", "nMUTE", nullptr}}, {0x20, 16, {"GPIO16", "nMUTE", nullptr}},
    {0x07, 17, {"GPO17", nullptr, nullptr}},  {0x18, 17, {"GPO17", "EVNT", nullptr}},
    {0x20, 17, {"GPO17", "EVNT", nullptr}},   {0x02, 18, {"GPO18", "SDO2", nullptr}},
    {0x04, 18, {"GPO18", "SDO2", nullptr}},   {0x01, 18, {"GPO18", nullptr, nullptr}},
    {0x18, 18, {"GPO18", "SDO2", nullptr}},   {0x20, 18, {"GPO18", "SDO2", nullptr}},
    {0x02, 19, {"GPIO19", nullptr, nullptr}}, {0x02, 20, {"GPIO20", nullptr, nullptr}},
    {0x04, 20, {"GPIO20", nullptr, nullptr}}, {0x01, 20, {"GPIO20", "SDI0", nullptr}},
}};

void PrepareIoImages(IoImages& m, uint32_t chipType, bool pwmAtPreset) {
    if (!m.prepared || m.chipType != chipType) {
        m = IoImages{};
        m.prepared = true;
        m.chipType = chipType;
        m.selection1 = 0x3FFF;
        m.pullUp = 0xFFFFFF;
        m.clock = 0xA40000;
        const bool pwmFamily = chipType == 0 || chipType == 8 || chipType == 16;
        m.selection2 = pwmFamily ? 0x9C0u | (pwmAtPreset ? 0x8u : 0u) : 0x40u;
    }
    for (const FixedBits& f : kFixedBits)
        if (f.type == chipType) {
            m.selection1 = (m.selection1 & f.keep1) | f.set1;
            m.selection2 = (m.selection2 & f.keep2) | f.set2;
        }
}

std::vector<int> PinRowsFor(uint32_t chipType) {
    std::vector<int> rows;
    for (int i = 0; i < kPinRowCount; ++i)
        if ((kPinRows[static_cast<size_t>(i)].chipTypes & chipType) == chipType)
            rows.push_back(i);
    return rows;
}

std::string PinEntry(int row) {
    const PinRow& r = kPinRows.at(static_cast<size_t>(row));
    std::string text = r.names[0];
    for (int k = 1; k < 3; ++k)
        if (r.names[k])
            text += std::string("/") + r.names[k];
    return text;
}

int CurrentFunction(const IoImages& m, int row) {
    const int pin = PinOf(row);
    if (pin <= 6)
        return Has(m.selection1, pin) ? 1 : 0;
    if (pin == 7)
        return Has(m.selection2, 0) ? 2 : (Has(m.selection1, 7) ? 1 : 0);
    if (const Selection2Pin* p = Selection2PinOf(pin))
        return Has(m.selection2, p->bit) == p->setMeansSecond ? 1 : 0;
    return 0;
}

void ChooseFunction(IoImages& m, int row, int function) {
    const int pin = PinOf(row);
    if (pin <= 6) {
        SetBit(m.selection1, pin, function == 1);
    } else if (pin == 7) {
        // The clock output only takes its bit; the other two choose with
        // both bits.
        if (function != 2)
            SetBit(m.selection1, 7, function == 1);
        SetBit(m.selection2, 0, function == 2);
    } else if (const Selection2Pin* p = Selection2PinOf(pin)) {
        SetBit(m.selection2, p->bit, (function == 1) == p->setMeansSecond);
    }
}

void ChooseSetting(IoImages& m, int row, uint32_t item) {
    const int pin = PinOf(row);
    switch (item) {
    case ioitem::kOutputDisable:
    case ioitem::kOutputEnable:
        SetBit(m.outputEnable, pin, item == ioitem::kOutputEnable);
        return;
    case ioitem::kLow:
    case ioitem::kHigh:
        SetBit(m.outputValue, pin, item == ioitem::kHigh);
        return;
    case ioitem::kPullUpDisable:
    case ioitem::kPullUpEnable:
        SetBit(m.pullUp, pin, item == ioitem::kPullUpEnable);
        return;
    case ioitem::kReference:
        m.clock &= ~kPllBit;
        m.selection2 &= ~kRooutBit;
        return;
    case ioitem::kPll:
        m.clock |= kPllBit;
        m.selection2 &= ~kRooutBit;
        return;
    case ioitem::kRoout:
        m.selection2 |= kRooutBit;
        return;
    default:
        if (item >= ioitem::kDivider && item <= ioitem::kDivider + kDividerMask)
            m.clock = (m.clock & ~(kDividerMask << kDividerShift)) | (item - ioitem::kDivider)
                                                                         << kDividerShift;
        return;
    }
}

PinView ViewOf(const IoImages& m, int row) {
    const PinRow& r = kPinRows.at(static_cast<size_t>(row));
    const int pin = r.pin;
    PinView v;
    v.function = CurrentFunction(m, row);
    for (uint32_t k = 0; k < std::size(r.names); ++k) {
        if (!r.names[k])
            continue;
        if (static_cast<int>(k) == v.function)
            v.functionSelected = static_cast<int>(v.functions.size());
        v.functions.push_back({r.names[k], k});
    }
    if (v.function == 0) {
        v.firstShown = v.secondShown = true;
        v.firstLabel = "Output :";
        v.first = {{"Disable", ioitem::kOutputDisable}, {"Enable", ioitem::kOutputEnable}};
        const bool driving = Has(m.outputEnable, pin);
        v.firstSelected = driving ? 1 : 0;
        if (driving) {
            v.secondLabel = "Output Value :";
            v.second = {{"LOW", ioitem::kLow}, {"HIGH", ioitem::kHigh}};
            v.secondSelected = Has(m.outputValue, pin) ? 1 : 0;
        } else {
            v.secondLabel = "Pull-Up :";
            v.second = {{"Disable", ioitem::kPullUpDisable}, {"Enable", ioitem::kPullUpEnable}};
            v.secondSelected = Has(m.pullUp, pin) ? 1 : 0;
        }
    } else if (v.function == 2) {
        v.firstShown = true;
        v.firstLabel = "Source Clock :";
        v.first = {
            {"Reference", ioitem::kReference}, {"PLL", ioitem::kPll}, {"ROOUT", ioitem::kRoout}};
        if (m.selection2 & kRooutBit) {
            v.firstSelected = 2;
        } else {
            v.firstSelected = (m.clock & kPllBit) ? 1 : 0;
            v.secondShown = true;
            v.secondLabel = "Clock Divider :";
            for (uint32_t d = 1; d <= 32; ++d)
                v.second.push_back({std::to_string(d), ioitem::kDivider + d - 1});
            v.secondSelected = static_cast<int>((m.clock >> kDividerShift) & kDividerMask);
        }
    }
    v.input = Has(m.input, pin) ? "HIGH" : "LOW";
    return v;
}

bool ReadIoInput(busgate::BusGate& bus, IoImages& m) {
    if (bus.State().ready != 1)
        return false;
    busgate::LoggerLockGuard hold(bus.Lock());
    Quiet(bus);
    const std::optional<uint32_t> input = Read(bus, ioreg::kInput);
    if (input)
        m.input = *input;
    return input.has_value();
}

void ApplyIoImages(busgate::BusGate& bus, const IoImages& m) {
    if (bus.State().ready != 1)
        return;
    busgate::LoggerLockGuard hold(bus.Lock());
    Quiet(bus);
    const std::optional<uint32_t> clock = Read(bus, ioreg::kClockControl);
    std::optional<uint32_t> chip[std::size(kWritten)];
    for (size_t i = 0; i < std::size(kWritten); ++i)
        chip[i] = Read(bus, kWritten[i].reg);
    Logged(bus);
    WriteClockIfChanged(bus, clock, m.clock);
    for (size_t i = 0; i < std::size(kWritten); ++i)
        if (chip[i] && *chip[i] != m.*kWritten[i].field)
            bus.WriteRegister(kWritten[i].reg, m.*kWritten[i].field);
}

void LoadIoImages(busgate::BusGate& bus, IoImages& m, bool pwmAtPreset) {
    if (bus.State().ready != 1)
        return;
    busgate::LoggerLockGuard hold(bus.Lock());
    Logged(bus);
    struct Target {
        uint16_t reg;
        uint32_t IoImages::*field;
    };
    const Target targets[] = {{ioreg::kClockControl, &IoImages::clock},
                              {ioreg::kPullUp, &IoImages::pullUp},
                              {ioreg::kOutputEnable, &IoImages::outputEnable},
                              {ioreg::kOutputValue, &IoImages::outputValue},
                              {ioreg::kSelection2, &IoImages::selection2},
                              {ioreg::kSelection1, &IoImages::selection1},
                              {ioreg::kInput, &IoImages::input}};
    for (const Target& t : targets)
        if (const std::optional<uint32_t> v = Read(bus, t.reg))
            m.*t.field = *v;
    m.prepared = true;
    m.chipType = bus.State().chipTypeCode;
    PrepareIoImages(m, m.chipType, pwmAtPreset);
}

void InjectIoImages(busgate::BusGate& bus, const IoImages& m) {
    busgate::LoggerLockGuard hold(bus.Lock());
    Quiet(bus);
    const std::optional<uint32_t> clock = Read(bus, ioreg::kClockControl);
    Logged(bus);
    WriteClockIfChanged(bus, clock, m.clock);
    for (const Image& w : kWritten)
        bus.WriteRegister(w.reg, m.*w.field);
}

} // namespace loggerui

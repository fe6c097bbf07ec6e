#include "SimBus.h"

#include <algorithm>
#include <fstream>
#include <sstream>
#include <stdlib.h>

namespace busgate::testing {

Record ParseRecord(std::string_view line) {
    Record r;
    const size_t space = line.find(' ');
    r.pane = std::string(line.substr(0, space));
    std::string_view rest = line.substr(space + 1);
    if (rest.starts_with("clear")) {
        r.colour = -1;
        return r;
    }
    const size_t quote = rest.find('"');
    r.colour = std::stoi(std::string(rest.substr(0, quote)));
    std::string_view body = rest.substr(quote + 1);
    body = body.substr(0, body.rfind('"'));
    for (size_t i = 0; i < body.size(); ++i) {
        if (body[i] != '\\' || i + 1 == body.size()) {
            r.text += body[i];
            continue;
        }
        const char c = body[++i];
        r.text += c == 'n' ? '\n' : c == 't' ? '\t' : c == 'r' ? '\r' : c;
    }
    return r;
}

SimBus::SimBus(SimBusConfig config) {
    board = std::make_shared<u2csim::Board>(config.board);
    chip = std::make_shared<u2csim::ChipModel>(config.chip, config.model);
    if (config.chipPresent) {
        board->attach(u2csim::kChipAddress, chip);
        u2csim::WireChipReset(*board, chip);
    }
    if (config.peripherals)
        devices = u2csim::AttachPeripherals(*board, *config.peripherals);
    std::vector<std::shared_ptr<u2csim::Board>> boards;
    if (config.boardPresent)
        boards.push_back(board);
    backend = std::make_shared<u2csim::InProcessBackend>(boards, std::chrono::milliseconds(200));
    driver = std::make_unique<busaccess::BridgeDriver>(backend, std::make_shared<NoMessages>());
    port = std::make_unique<DriverBridgePort>(*driver);
    ui = std::make_unique<HeadlessLogger>(
        [this](std::string_view line) { records.push_back(ParseRecord(line)); });
    bus = std::make_unique<BusGate>(*port, *ui, clock);
    bus->SetMessages(boxes);
}

std::string SimBus::Text(const char* pane) const {
    std::string out;
    for (const Record& r : records)
        if (r.pane == pane && r.colour >= 0)
            out += r.text;
    return out;
}

std::string SimBus::TextIn(int colour, const char* pane) const {
    std::string out;
    for (const Record& r : records)
        if (r.pane == pane && r.colour == colour)
            out += r.text;
    return out;
}

bool SimBus::HasLine(const char* pane, int colour, std::string_view text) const {
    return std::any_of(records.begin(), records.end(), [&](const Record& r) {
        return r.pane == pane && r.colour == colour && r.text == text;
    });
}

std::vector<u2c::Bytes> SimBus::Writes(uint8_t slave) const {
    std::vector<u2c::Bytes> out;
    for (const auto& r : board->log()) {
        const u2c::Bytes& b = r.bytes;
        if (r.out && b.size() >= 10 && b[0] == 0xC6 && b[5] == slave)
            out.emplace_back(b.begin() + 10, b.end());
    }
    return out;
}

void SimBus::OpenBridgeOnly(uint32_t firmwareCode, uint32_t chipTypeCode) {
    port->Open();
    ui->CreateMainDialog(nullptr);
    BusState& s = bus->State();
    s.firmwareCode = firmwareCode;
    s.chipTypeCode = chipTypeCode;
    s.chipHardwareVersion = static_cast<int32_t>(chip->config().version);
    s.chipFirmwareVersion = static_cast<int32_t>(chip->config().subVersion);
    s.guiThread = std::this_thread::get_id();
    bus->FdkInit(BusGate::Transfer::Raw); // as busgate_open leaves it
    board->clearLog();
}

int32_t SimBus::Send(std::vector<uint8_t> bytes, uint8_t slave) {
    return bus->Transmit(slave, bytes.data(), static_cast<uint32_t>(bytes.size()));
}

void SimBus::FillCapture(const std::vector<uint8_t>& groups) {
    Send({0x00, 0xA5, 0x00});
    if (!groups.empty())
        Send(groups);
}

std::vector<std::string> SimBus::Boxes() const {
    std::vector<std::string> out;
    for (const auto& b : boxes->shown)
        out.push_back((b.error ? "!" : "") + b.caption + ": " + b.text);
    return out;
}

ScriptedFiles::ScriptedFiles() {
    std::string templ = (std::filesystem::temp_directory_path() / "busgate-XXXXXX").string();
    if (::mkdtemp(templ.data()))
        folder = templ;
    previous_ = kvFM::SetDialogService(&dialogs);
}

ScriptedFiles::~ScriptedFiles() {
    kvFM::SetDialogService(previous_);
    std::error_code ignored;
    if (!folder.empty())
        std::filesystem::remove_all(folder, ignored);
}

std::string ScriptedFiles::Shown(std::size_t i) const {
    if (i >= dialogs.shown.size())
        return "(none)";
    const kvFM::KCDialogCreationOptions& o = dialogs.shown[i].options;
    std::string text = o.title + "; " + o.defaultName + "; " + o.defaultExtension + ";";
    for (const kvFM::KSDialogFilterEntry& entry : o.filter)
        text += " " + entry.description + "|" + entry.pattern + ";";
    return text;
}

std::string ScriptedFiles::Read(const std::string& leaf) const {
    std::ifstream in(folder / leaf, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

std::vector<uint8_t> Repeat(std::vector<uint8_t> group, size_t n) {
    std::vector<uint8_t> out;
    out.reserve(group.size() * n);
    for (size_t i = 0; i < n; ++i)
        out.insert(out.end(), group.begin(), group.end());
    return out;
}

void SimBus::ClearLog() {
    records.clear();
    board->clearLog();
}

} // namespace busgate::testing

// The full device reset, detection and the idle check over the simulated
// chip, with the fake clock.
#include "AlgFixture.h"
#include "guilib/MessageService.h"

#include <algorithm>
#include <cstring>
#include <fstream>
#include <functional>

namespace {

using dulmtest::AlgTest;
using dulmtest::Bytes;
using namespace dulm;
namespace fs = std::filesystem;

// A chip that leaves the first `naks` setup-start pings unacknowledged.
class PickyChip final : public u2csim::Chip {
public:
    explicit PickyChip(int naks) : naks_(naks) {}
    bool write(const uint8_t* data, size_t len) override {
        if (len == 3 && data[1] == 0xA5) {
            ++pings;
            if (naks_ > 0) {
                --naks_;
                return false;
            }
        }
        return Chip::write(data, len);
    }
    std::atomic<int> pings{0};

private:
    int naks_;
};

struct Messages {
    Messages() {
        old = KMMessageService::SetHandler(
            [this](const std::string& text, const std::string& caption, KMMessageService::Kind) {
                shown.push_back(caption + "|" + text);
                return KMMessageService::kOK;
            });
    }
    ~Messages() { KMMessageService::SetHandler(old); }
    std::vector<std::string> shown;
    KMMessageService::Handler old;
};

class ResetTest : public AlgTest {
protected:
    std::string PopFile(const std::string& text) {
        const fs::path p = registry / "mine.pop";
        std::ofstream(p, std::ios::binary) << text;
        return p.string();
    }
    // The index of the first write equal to `frame` at or after `from`.
    static size_t Find(const std::vector<Bytes>& writes, const Bytes& frame, size_t from = 0) {
        for (size_t i = from; i < writes.size(); ++i)
            if (writes[i] == frame)
                return i;
        return writes.size();
    }
};

TEST_F(ResetTest, FullRunInOrder) {
    Make(0, 0, 1);
    alg->SetPopSettings(1, PopFile("# patch\r\n11 22 33\r\n"), 0, "");
    Messages messages;
    alg->SetParamRealWorld(PARAM_BOARD_TYPE, 1);
    const auto w = sim.Writes();
    size_t at = 0;
    // Detection reads, the reset, the ping, the sample rate: in this order.
    for (const Bytes& frame : std::vector<Bytes>{{0x00, 0xB8, 0x00},
                                                 {0x00, 0xB7, 0x00},
                                                 {0xF1, 0xB5, 0xFF},
                                                 {0x00, 0xC5, 0x00},
                                                 {0x00, 0xA5, 0x00},
                                                 {0x00, 0xC3, 0x00},
                                                 {0x00, 0xA4, 0x11}, // exchanged on the bus
                                                 {0xBF, 0xC4, 0xD5},
                                                 {0x11, 0x22, 0x33}, // the POP line, raw
                                                 {0x00, 0xAC, 0x00},
                                                 {0x00, 0xF4, 0x01},
                                                 {0x00, 0x85, 0x00}}) {
        const size_t next = Find(w, frame, at);
        ASSERT_LT(next, w.size()) << int(frame[0]) << " " << int(frame[1]);
        at = next + 1;
    }
    EXPECT_EQ(w.back(), (Bytes{0x00, 0x85, 0x00}));
    EXPECT_EQ(alg->ChipVersion(), 0x6000);
    EXPECT_EQ(alg->ChipSubVersion(), 0x0505);
    EXPECT_EQ(alg->VersionPopPath(), alg->ModuleFolder() + "DL6000_5.05.pop");
    EXPECT_EQ(alg->AeqPath(), alg->ModuleFolder() + "DL6000_5.05_48.aeq");
    EXPECT_EQ(P(PARAM_LABEL_POPFILE).label, "Patch File: mine.pop");
    EXPECT_EQ(V(PARAM_CONNECTIVITY_LED), 1.0);
    EXPECT_EQ(alg->GetInfoString(1), "Device Detected: DL6000 version 5.05");
    bool waited = false;
    for (const auto& s : clock->Sleeps())
        waited |= s.ms == 1000;
    EXPECT_TRUE(waited);
    EXPECT_TRUE(messages.shown.empty());

    // A second reset with the same sample selector and digital-IO word is
    // no full run: no reset, no converter set-up, no POP file.
    alg->ResetHardwareSelf(); // remembers the values
    Clear();
    alg->ResetHardwareSelf();
    const auto again = sim.Writes();
    EXPECT_EQ(Find(again, {0x00, 0xC5, 0x00}), again.size());
    EXPECT_EQ(Find(again, {0xBF, 0xC4, 0xD5}), again.size());
    EXPECT_EQ(Find(again, {0x11, 0x22, 0x33}), again.size());
    EXPECT_EQ(P(PARAM_LABEL_POPFILE).label, "Patch File: <None>");
    EXPECT_TRUE(alg->DeviceAnswered());
}

TEST_F(ResetTest, PingsUntilTheChipAnswers) {
    Make(0, 0, 1);
    auto chip = std::make_shared<PickyChip>(2);
    sim.bus->attach(0x73, chip);
    alg->SetPopSettings(1, PopFile("11 22 33"), 0, "");
    EXPECT_TRUE(alg->ResetAndRunPop(true));
    EXPECT_EQ(chip->pings, 3);
    size_t waits = 0;
    for (const auto& s : clock->Sleeps())
        waits += s.ms == 100;
    EXPECT_EQ(waits, 2u);
}

TEST_F(ResetTest, MissingAndEmptyPopFilesAreReported) {
    Make(0, 0, 1);
    Messages messages;
    alg->SetPopSettings(0, "", 0, "");
    EXPECT_TRUE(alg->ResetAndRunPop(true));
    ASSERT_EQ(messages.shown.size(), 1u);
    EXPECT_EQ(messages.shown[0],
              "POP File|DulmAudio DSP has failed to automatically load the file: "
              "\"DL6000_5.05.pop\"\r\nThe .pop file is needed for proper operation of DulmAudio "
              "DSP.\"\r\nTry to re-check your POP Setting.\r\nFolder searched: \"" +
                  fs::read_symlink("/proc/self/exe").parent_path().string() + "\"");
    const std::string empty = PopFile("");
    alg->SetPopSettings(1, empty, 0, "");
    EXPECT_TRUE(alg->ResetAndRunPop(true));
    ASSERT_EQ(messages.shown.size(), 2u);
    EXPECT_EQ(messages.shown[1],
              "POP File|DulmDSP: POP file has no valid data: \"" + empty + "\"\n");
    // Without a chip answering there is no box at all.
    sim.bus->attach(0x73, std::make_shared<PickyChip>(100));
    Messages none;
    EXPECT_FALSE(alg->ResetAndRunPop(true));
    EXPECT_TRUE(none.shown.empty());
    EXPECT_EQ(V(PARAM_CONNECTIVITY_LED), 0.0);
}

// The full run re-sends what ordinary editing would skip as repeated: the
// chip forgets everything in its reset, so it must not be left unmuted with
// the default speaker setting.
TEST_F(ResetTest, TheFullRunSendsRepeatedValuesAgain) {
    Make(0, 0, 1);
    alg->SetPopSettings(1, PopFile("11 22 33"), 0, "");
    Messages messages;
    alg->SetParamState(PARAM_CONNECTIVITY_ON_OFF, 1);
    alg->SetParamState(PARAM_BOARD_TYPE, 1);
    const Bytes mute{0x00, 0xC7, 0x01}, speaker{0x00, 0xC2, 0x01}; // as on the bus
    Clear();
    alg->SetParamState(PARAM_MUTE, 1);
    alg->SetParamState(PARAM_SPEAKER, 1);
    auto w = sim.Writes();
    EXPECT_LT(Find(w, mute), w.size());
    EXPECT_LT(Find(w, speaker), w.size());
    // Repeated while editing: nothing.
    Clear();
    alg->SetParamState(PARAM_MUTE, 1);
    alg->SetParamState(PARAM_SPEAKER, 1);
    EXPECT_TRUE(sim.Writes().empty());

    Clear();
    alg->SetParamState(PARAM_BOARD_TYPE, 1);
    w = sim.Writes();
    const size_t reset = Find(w, {0x00, 0xC5, 0x00});
    ASSERT_LT(reset, w.size());
    EXPECT_LT(Find(w, mute, reset), w.size());
    EXPECT_LT(Find(w, speaker, reset), w.size());
    // ... without the pauses of single changes, and editing is quiet again.
    for (const auto& s : clock->Sleeps())
        EXPECT_TRUE(s.ms != 117 && s.ms != 347) << s.ms;
    EXPECT_FALSE(alg->Reinitialising());
    Clear();
    alg->SetParamState(PARAM_MUTE, 1);
    EXPECT_TRUE(sim.Writes().empty());
}

// The coefficient area carries its header from the start and after every
// full run.
TEST_F(ResetTest, CoefficientAreaHeader) {
    Make(0, 0, 1);
    auto header = [&] {
        return std::pair(alg->ReadIntegerWord(alg->GetPointerToCoef(alg->GetActiveSetup(), 0)),
                         alg->ReadIntegerWord(alg->GetPointerToCoef(alg->GetActiveSetup(), 1)));
    };
    EXPECT_EQ(header(), std::pair(0x9E3779, 1));
    std::vector<char> area(static_cast<size_t>(alg->GetDSPCoefs(nullptr)));
    ASSERT_GT(area.size(), 16u);
    // Cleared by hand, the full run writes it again.
    std::memset(alg->GetPointerToCoef(alg->GetActiveSetup(), 0), 0, 16);
    alg->SetPopSettings(1, PopFile("11 22 33"), 0, "");
    Messages messages;
    EXPECT_TRUE(alg->ResetAndRunPop(true));
    EXPECT_EQ(header(), std::pair(0x9E3779, 1));
    alg->GetDSPCoefs(area.data());
    EXPECT_EQ(alg->ReadIntegerWord(area.data()), 0x9E3779);
}

// A slave that acknowledges nothing: no chip on the bus.
class AbsentChip final : public u2csim::I2CSlave {
public:
    bool write(const uint8_t*, size_t) override { return false; }
    std::optional<u2csim::Bytes> read(size_t) override { return std::nullopt; }
    bool acknowledges() const override { return false; }
};

// Switching the connection on without a chip says why it went off again;
// the idle check's retries and a session's values stay quiet.
TEST_F(ResetTest, AFailedConnectionSaysWhy) {
    Make(0, 0, 1);
    sim.bus->attach(0x73, std::make_shared<AbsentChip>());
    Messages messages;
    alg->SetParamState(PARAM_CONNECTIVITY_ON_OFF, 1);
    clock->Advance(1000);
    alg->DoIdle(1);
    ASSERT_EQ(messages.shown.size(), 1u);
    EXPECT_EQ(
        messages.shown[0].rfind("DulmDSP|ReadVersion failed, No valid board has been detected.", 0),
        0u)
        << messages.shown[0];
    EXPECT_EQ(V(PARAM_CONNECTIVITY_ON_OFF), 0.0);
    EXPECT_EQ(alg->CurrentConnectionType(), cPEQ_ALG::kConnectionNone);
    clock->Advance(1000);
    alg->DoIdle(1);
    EXPECT_EQ(messages.shown.size(), 1u);
}

// Choosing the Dimax connection in the Utilities menu while the connection
// is on, with no adapter: the connection goes off with a box that says why.
TEST_F(ResetTest, ChoosingADimaxConnectionWithoutAdapterSaysWhy) {
    ASSERT_NO_FATAL_FAILURE(Create());
    alg->SetPopSettings(1, PopFile("11 22 33"), 0, "");
    Messages messages;
    alg->SetParamRealWorld(PARAM_CONNECTIVITY_ON_OFF, 1); // the default choice, type 2
    clock->Advance(1000);
    alg->DoIdle(1);
    ASSERT_TRUE(alg->DeviceAnswered());
    ASSERT_TRUE(messages.shown.empty());

    sim.bus->setPresent(false);
    alg->RunUtilitiesCommand(5);
    EXPECT_EQ(alg->CurrentConnectionType(), 0);
    clock->Advance(1000);
    alg->DoIdle(1);
    EXPECT_EQ(V(PARAM_CONNECTIVITY_ON_OFF), 0.0);
    ASSERT_EQ(messages.shown.size(), 1u);
    EXPECT_EQ(messages.shown[0].rfind("DulmDSP|ReadVersion failed", 0), 0u) << messages.shown[0];
    EXPECT_NE(messages.shown[0].find("\n\nI2C adapter interface not detected."), std::string::npos)
        << messages.shown[0];
    // The idle check's retries stay quiet, and so does a choice made while
    // the connection is off.
    clock->Advance(1000);
    alg->DoIdle(1);
    alg->RunUtilitiesCommand(5);
    clock->Advance(1000);
    alg->DoIdle(1);
    EXPECT_EQ(messages.shown.size(), 1u);
    EXPECT_EQ(alg->ChosenConnectionType(), 0);
}

TEST_F(ResetTest, BoardWithoutReadBack) {
    Make(0, 0, 0);
    alg->SetParamRealWorld(PARAM_BOARD_TYPE, 0);
    EXPECT_EQ(alg->ChipVersion(), 0x6000);
    EXPECT_EQ(alg->ChipSubVersion(), 0x0500);
    EXPECT_EQ(alg->VersionPopPath(), alg->ModuleFolder() + "DL6000_5.00.pop");
}

TEST_F(ResetTest, IdleCheckOncePerSecondAtTheChipOnly) {
    Make(0, 0, 1);
    alg->SetPopSettings(1, PopFile("11 22 33"), 0, "");
    alg->DoIdle(1); // not answered yet: a full run (which takes over a second)
    EXPECT_TRUE(alg->DeviceAnswered());
    Clear();
    alg->DoIdle(1);
    EXPECT_EQ(sim.Writes(), (std::vector<Bytes>{{0x14, 0xB7, 0x00}})); // exchanged on the bus
    Clear();
    alg->DoIdle(1);
    EXPECT_TRUE(sim.Writes().empty()); // within the second
    clock->Advance(996);               // with the alive check's 3 ms pause: 999 ms since the check
    alg->DoIdle(1);
    EXPECT_TRUE(sim.Writes().empty());
    clock->Advance(1);
    alg->DoIdle(1);
    EXPECT_EQ(sim.Writes().size(), 1u);
    clock->Advance(1000);
    Clear();
    alg->Connection().SetSlaveAddress(0x50);
    alg->DoIdle(1);
    EXPECT_TRUE(sim.Writes().empty());
}

} // namespace

namespace {

// The System Configuration dialog, scripted: it changes what `edit` says.
class ScriptedEditor final : public CPeqEditorServices {
public:
    std::function<void(SSystemConfigValues&)> edit;
    bool ok = true;
    std::vector<SSystemConfigValues> shown;
    bool RunSystemConfiguration(SSystemConfigValues& values) override {
        shown.push_back(values);
        if (edit)
            edit(values);
        return ok;
    }
};

TEST_F(ResetTest, SystemConfigurationRoundTrip) {
    Make(0x6000, 0x0704, 0);
    auto editor = std::make_shared<ScriptedEditor>();
    alg->SetEditorServices(editor);
    // Only the pre-amp moves: the codec registers that changed, then the latch.
    editor->edit = [](SSystemConfigValues& v) { v.preAmpPosition = 0; };
    alg->SetParamRealWorld(PARAM_DIGITAL_IO_EDIT, 1);
    ASSERT_EQ(editor->shown.size(), 1u);
    EXPECT_EQ(editor->shown[0].digitalIOWord, 0xBFD5);
    EXPECT_EQ(editor->shown[0].preAmpPosition, 500 - 173); // 0 dB of -18..34 over 500 steps
    EXPECT_EQ(alg->CodecCache().preAmpPosition, 0);
    EXPECT_DOUBLE_EQ(V(PARAM_ADC_PRE_AMP), 34.0);
    const auto w = sim.Writes();
    ASSERT_EQ(w.size(), 2u + 3 * 2);
    EXPECT_EQ(w[0], (Bytes{0x81, 0xAD, 0xFF}));
    EXPECT_EQ(w.back(), (Bytes{0x00, 0x00, 0x00}));
    EXPECT_EQ(Find(w, {0x00, 0xC5, 0x00}), w.size());

    // A new digital-IO word needs the full reset.
    Clear();
    editor->edit = [](SSystemConfigValues& v) { v.digitalIOWord = 0x1234; };
    alg->SetParamRealWorld(PARAM_DIGITAL_IO_EDIT, 0);
    EXPECT_EQ(V(PARAM_DIG_IO_CONFIG_LB), 0x34);
    EXPECT_EQ(V(PARAM_DIG_IO_CONFIG_HB), 0x12);
    EXPECT_LT(Find(sim.Writes(), {0x00, 0xC5, 0x00}), sim.Writes().size());

    // Cancelled: nothing changes, nothing is sent.
    Clear();
    editor->ok = false;
    alg->SetParamRealWorld(PARAM_DIGITAL_IO_EDIT, 1);
    EXPECT_TRUE(sim.Writes().empty());
}

} // namespace

namespace {

// A session's values come back without any dialog, and after the reset that
// follows (the host's start) the response curve shows them.
TEST_F(ResetTest, SessionRestoreOpensNoDialogAndShowsTheCurve) {
    Make(0x6000, 0x0704, 1);
    alg->SetParamState(PARAM_BAND1_STATE, 1);
    alg->SetParamRealWorld(PARAM_BAND1_GAIN, 12);
    alg->SetParamState(PARAM_DIGITAL_IO_EDIT, 1); // no editor: no dialog
    std::string session;
    ASSERT_EQ(alg->GetChunk(cALGORITHM::kChunkID, session, false), 0);

    Make(0x6000, 0x0704, 1);
    auto editor = std::make_shared<ScriptedEditor>();
    alg->SetEditorServices(editor);
    ASSERT_EQ(alg->SetChunk(cALGORITHM::kChunkID, session.data(), session.size()), 0);
    EXPECT_TRUE(editor->shown.empty());
    EXPECT_EQ(V(PARAM_BAND1_GAIN), 12.0);
    alg->SetPopSettings(1, PopFile("11 22 33"), 0, "");
    Messages messages;
    alg->InitAlg(true);
    const auto& curve = alg->DesignBlock(alg->GetActiveSetup()).summed;
    EXPECT_GT(*std::max_element(std::begin(curve), std::end(curve)), 6.0);
    EXPECT_TRUE(editor->shown.empty());
}

} // namespace

namespace {

// The trace lines written while one lives (the file named by QUORL_TRACE).
class TraceFile {
public:
    explicit TraceFile(const fs::path& path) : path_(path) {
        fs::remove(path_);
        ::setenv("QUORL_TRACE", path_.c_str(), 1);
    }
    ~TraceFile() { ::unsetenv("QUORL_TRACE"); }
    std::string Text() const {
        std::ifstream in(path_);
        return std::string(std::istreambuf_iterator<char>(in), {});
    }

private:
    fs::path path_;
};

// A session saved with the connection on, band 1 at 8.2 dB and the
// correlation settings, restored at the next start as the host does it
// (InitAlg and UpdateAlg of the new instance, then the session's chunk,
// InitAlg and UpdateAlg again): nothing reaches the chip before its
// version is read, and the restored values reach it in the full run with
// each 3-byte group in the order this chip takes (most significant first).
TEST_F(ResetTest, ARestoredSessionIdentifiesTheChipBeforeWritingToIt) {
    std::string session;
    Make(0x6000, 0x0505, 1);
    alg->SetParamRealWorld(PARAM_CONNECTIVITY_ON_OFF, 1);
    alg->SetParamState(PARAM_BAND1_STATE, 1);
    alg->SetParamRealWorld(PARAM_BAND1_GAIN, 8.2);
    alg->SetParamRealWorld(PARAM_MV_MB_CORRELATION_THRESHOLD, 14);
    alg->SetParamRealWorld(PARAM_MV_MB_CORRELATION_RATIO, 1);
    ASSERT_EQ(alg->GetChunk(cALGORITHM::kChunkID, session, false), 0);

    const TraceFile trace(registry / "restore.trace");
    Messages messages;
    ASSERT_NO_FATAL_FAILURE(Create());
    alg->SetPopSettings(1, PopFile("11 22 33"), 0, "");
    Clear();
    alg->InitAlg(true);
    alg->UpdateDSPCoefs(true);
    ASSERT_EQ(alg->SetChunk(cALGORITHM::kChunkID, session.data(), session.size()), 0);
    alg->InitAlg(true);
    alg->UpdateDSPCoefs(true);

    const auto w = sim.Writes();
    // Before the version read only the connection's own handshakes.
    const size_t versionRead = Find(w, {0x00, 0xB8, 0x00});
    ASSERT_LT(versionRead, w.size());
    for (size_t i = 0; i < versionRead; ++i)
        EXPECT_EQ(w[i], (Bytes{0x00, 0xA5, 0x00})) << "a write before the version read: " << i;
    // Band 1 (gain code 93 = 0x5D) and the correlation threshold and ratio,
    // each group exchanged on the bus, and never in the order of the frame.
    const size_t band = Find(w, {0x00, 0xA1, 0x05});
    ASSERT_LT(band + 1, w.size());
    ASSERT_EQ(w[band + 1].size(), 15u);
    EXPECT_EQ(Bytes(w[band + 1].end() - 3, w[band + 1].end()), (Bytes{0x00, 0x00, 0x5D}));
    EXPECT_LT(Find(w, {0x01, 0xF1, 0xD6}), w.size());
    EXPECT_LT(Find(w, {0x00, 0xF2, 0x01}), w.size());
    EXPECT_LT(Find(w, {0x03, 0xB1, 0xFA}), w.size());
    for (const Bytes& wrong : {Bytes{0xD6, 0xF1, 0x01}, Bytes{0x01, 0xF2, 0x00},
                               Bytes{0xFA, 0xB1, 0x03}, Bytes{0x05, 0xA1, 0x00}})
        EXPECT_EQ(Find(w, wrong), w.size()) << int(wrong[0]) << " " << int(wrong[1]);
    // No detection was tried before there was a connection to ask.
    EXPECT_EQ(trace.Text().find("ReadVersion failed"), std::string::npos) << trace.Text();
    EXPECT_EQ(alg->ChipVersion(), 0x6000);
    EXPECT_TRUE(alg->DeviceAnswered());
}

// Parameter changes reach a chip only once it is known on the connection:
// a new connection forgets it until its detection.
TEST_F(ResetTest, NoParameterWriteBeforeTheChipIsKnown) {
    Make(0, 0, 1);
    alg->SetParamRealWorld(PARAM_BALANCE, 0);
    alg->SetParamRealWorld(PARAM_MV_MB_CORRELATION_THRESHOLD, 20);
    EXPECT_TRUE(sim.bus->transfers().empty());

    alg->SetPopSettings(1, PopFile("11 22 33"), 0, "");
    Messages messages;
    ASSERT_TRUE(alg->ResetAndRunPop(true));
    alg->ResetHardwareSelf(); // remembers the sample selector and the word
    Clear();
    alg->SetParamRealWorld(PARAM_BALANCE, 10);
    EXPECT_EQ(sim.Writes(), (std::vector<Bytes>{{0x00, 0xC9, 0xE6}}));

    // Another connection: unknown again until the next detection.
    alg->SelectConnection(cPEQ_ALG::kConnectionNone);
    ASSERT_TRUE(alg->SelectConnection(0));
    Clear();
    alg->SetParamRealWorld(PARAM_BALANCE, 20);
    EXPECT_TRUE(sim.bus->transfers().empty());
    // A light run (same sample selector and word) on it is a full one.
    alg->ResetHardwareSelf();
    const auto w = sim.Writes();
    ASSERT_FALSE(w.empty());
    EXPECT_EQ(w[0], (Bytes{0x00, 0xB8, 0x00}));
    EXPECT_TRUE(alg->DeviceAnswered());
    EXPECT_LT(Find(w, {0x00, 0xC5, 0x00}), w.size());
}

// Switching the connection on lets the next full run select the GPIO of a
// newer chip (firmware 7.04) in interface mode 4.
TEST_F(ResetTest, SwitchingTheConnectionOnSelectsTheGpio) {
    UseChip(0x6000, 0x0704);
    sim.chip->onRead(0xB5, [](uint16_t) { return 0x020000u; }); // interface mode 4
    Make(0, 0, 1);
    alg->SetPopSettings(1, PopFile("11 22 33"), 0, "");
    Messages messages;
    alg->SetParamRealWorld(PARAM_CONNECTIVITY_ON_OFF, 1);
    Clear();
    ASSERT_TRUE(alg->ResetAndRunPop(true));
    ASSERT_EQ(alg->ProcessingMode(), 4u);
    const auto w = sim.Writes();
    const size_t ping = Find(w, {0x00, 0xA5, 0x00});
    ASSERT_LT(ping, w.size());
    const size_t gpio = Find(w, {0xFF, 0xAB, 0xF3}, ping); // exchanged on the bus
    ASSERT_LT(gpio + 1, w.size());
    EXPECT_EQ(w[gpio + 1], (Bytes{0x00, 0x00, 0xD0}));
}

// Bands 8-10 before any chip is known: a change shows in the curve at once
// and reaches a ten-band chip in the first full run; a chip without those
// bands never gets them.
TEST_F(ResetTest, BandsEightToTenChangedBeforeAChipIsKnown) {
    UseChip(0x6000, 0x0704);
    Make(0, 0, 1);
    alg->SetPopSettings(1, PopFile("11 22 33"), 0, "");
    Messages messages;
    alg->SetParamState(PARAM_PEQ_BYPASS, 1);
    const unsigned long band8 = 7 * kBandFields;
    alg->SetParamState(band8 + kBandState, 1);
    alg->SetParamState(band8 + kBandType, 0);
    alg->SetParamRealWorld(band8 + kBandFreq, 4096);
    auto peak = [&] {
        const auto& r = alg->DesignBlock(alg->GetActiveSetup()).bandResponse[7];
        return *std::max_element(std::begin(r), std::end(r));
    };
    const double before = peak();
    alg->SetParamRealWorld(band8 + kBandGain, 12.0);
    EXPECT_GT(peak(), before + 6.0);
    EXPECT_TRUE(sim.bus->transfers().empty());

    ASSERT_TRUE(alg->ResetAndRunPop(true));
    auto w = sim.Writes();
    // Band 8's frame: band 7, bell, 12 dB (code 107 = 0x6B), exchanged.
    bool sent = false;
    for (size_t i = 0; i + 1 < w.size(); ++i)
        if (w[i] == Bytes{0x00, 0xA1, 0x05} && w[i + 1].size() == 15 && w[i + 1][2] == 7) {
            EXPECT_EQ(w[i + 1][14], 0x6B);
            sent = true;
        }
    EXPECT_TRUE(sent);

    // A chip without bands 8-10: their changes go nowhere.
    UseChip(0x6000, 0x0505);
    ASSERT_TRUE(alg->ResetAndRunPop(true));
    ASSERT_FALSE(alg->IsTenBandChip());
    Clear();
    alg->SetParamRealWorld(band8 + kBandGain, 3.0);
    EXPECT_TRUE(sim.bus->transfers().empty());
}

} // namespace

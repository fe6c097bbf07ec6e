// The EEPROM image: Intel HEX text, the export with its variants, and the
// image written in pieces at the EEPROM's addresses.
#include "AlgFixture.h"
#include "foundation/kvFMDialogs.h"
#include "guilib/MessageService.h"
#include "sim/Peripherals.h"

#include <algorithm>
#include <fstream>
#include <sstream>

namespace {

using dulmtest::AlgTest;
using dulmtest::Bytes;
using namespace dulm;
namespace fs = std::filesystem;

struct Answers {
    explicit Answers(int answer) {
        old = KMMessageService::SetHandler([this, answer](const std::string& text,
                                                          const std::string& caption,
                                                          KMMessageService::Kind) {
            shown.push_back(caption + "|" + text);
            return answer;
        });
    }
    ~Answers() { KMMessageService::SetHandler(old); }
    std::vector<std::string> shown;
    KMMessageService::Handler old;
};

std::string ReadText(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

// The data bytes of the data records of an Intel HEX text, in order.
Bytes HexImage(const std::string& text) {
    Bytes image;
    std::istringstream lines(text);
    std::string line;
    while (std::getline(lines, line)) {
        if (line.size() < 11 || line[0] != ':' || line.substr(7, 2) != "00")
            continue;
        const size_t n = std::stoul(line.substr(1, 2), nullptr, 16);
        for (size_t i = 0; i < n && 9 + 2 * i + 2 <= line.size(); ++i)
            image.push_back(
                static_cast<uint8_t>(std::stoul(line.substr(9 + 2 * i, 2), nullptr, 16)));
    }
    return image;
}

TEST(IntelHex, RecordsAndChecksums) {
    EXPECT_EQ(IntelHexText({1, 2, 3}), ":03000000010203f7\r\n:00000001FF\r\n");
    EXPECT_EQ(IntelHexText({}), ":00000001FF\r\n");
    const std::string twenty = IntelHexText(Bytes(20, 0xAA));
    EXPECT_EQ(twenty.substr(0, 9), ":10000000");
    EXPECT_NE(twenty.find("\r\n:04001000aaaaaaaa"), std::string::npos);
    const std::string sixteen = IntelHexText(Bytes(16, 1));
    EXPECT_EQ(sixteen, ":10000000010101010101010101010101010101"
                       "01e0\r\n:00000001FF\r\n");

    // The text converts back into exactly the image.
    if (std::system("command -v objcopy > /dev/null 2>&1") != 0)
        GTEST_SKIP() << "no objcopy";
    Bytes image(300);
    for (size_t i = 0; i < image.size(); ++i)
        image[i] = static_cast<uint8_t>(i * 7 + 3);
    const fs::path dir = fs::temp_directory_path() / ("intelhex." + std::to_string(::getpid()));
    fs::create_directories(dir);
    std::ofstream(dir / "image.hex", std::ios::binary) << IntelHexText(image);
    const std::string command = "objcopy -I ihex -O binary " + (dir / "image.hex").string() + " " +
                                (dir / "image.bin").string();
    ASSERT_EQ(std::system(command.c_str()), 0);
    const std::string back = ReadText(dir / "image.bin");
    EXPECT_EQ(Bytes(back.begin(), back.end()), image);
    fs::remove_all(dir);
}

class EepromTest : public AlgTest {
protected:
    void SetUp() override {
        AlgTest::SetUp();
        previous = kvFM::SetDialogService(&dialogs);
    }
    void TearDown() override { kvFM::SetDialogService(previous); }
    std::string PopFile(const std::string& text) {
        const fs::path p = registry / "eeprom.pop";
        std::ofstream(p, std::ios::binary) << text;
        return p.string();
    }
    kvFM::KCScriptedDialogService dialogs;
    kvFM::KCDialogService* previous = nullptr;
};

TEST_F(EepromTest, ExportWritesTheCapturedRunAsHex) {
    Make(0x6000, 0x0704, 1);
    alg->SetPopSettings(0, "", 1, PopFile("AA BB CC\r\n"));
    // A speaker setting already sent to the chip is in the image as well.
    alg->SetParamState(PARAM_SPEAKER, 1);
    Clear();
    const fs::path out = registry / "image.hex";
    dialogs.Push(out.string());
    Answers answers(KMMessageService::kOK);
    EXPECT_TRUE(alg->ExportEepromHex(0));
    ASSERT_EQ(dialogs.shown.size(), 1u);
    EXPECT_EQ(dialogs.shown[0].options.title, "Export to EEPROM File");
    const std::string text = ReadText(out);
    EXPECT_EQ(text.substr(0, 3), ":10");
    EXPECT_EQ(text.substr(text.size() - 13), ":00000001FF\r\n");
    // The POP line, raw (it may run across two records).
    const Bytes image = HexImage(text);
    const Bytes pop{0xAA, 0xBB, 0xCC};
    EXPECT_NE(std::search(image.begin(), image.end(), pop.begin(), pop.end()), image.end());
    const Bytes speaker{0x00, 0xC2, 0x01};
    EXPECT_NE(std::search(image.begin(), image.end(), speaker.begin(), speaker.end()), image.end());
    EXPECT_TRUE(sim.Writes().empty()); // nothing went onto the bus
    EXPECT_EQ(alg->Connection().GetSlaveAddress(), 0x73);
    ASSERT_FALSE(answers.shown.empty());
    EXPECT_EQ(answers.shown.back(), "EEPROM|Succeeded exporting to file \"" + out.string() + "\"");

    // The 28-byte list drops every balance command: variant 2 captures nothing.
    alg->SetPopSettings(0, "", 2, "");
    const fs::path none = registry / "none.hex";
    dialogs.Push(none.string());
    EXPECT_FALSE(alg->ExportEepromHex(2));
    EXPECT_FALSE(fs::exists(none));
    EXPECT_EQ(answers.shown.back(),
              "EEPROM to file|Export has not been performed. Please check active connection.");

    // A cancelled dialog runs nothing.
    dialogs.PushCancel();
    const size_t before = answers.shown.size();
    EXPECT_FALSE(alg->ExportEepromHex(0));
    EXPECT_EQ(answers.shown.size(), before);
}

TEST_F(EepromTest, WriteGoesOutInPiecesAtTheEepromAddresses) {
    Make(0x6000, 0x0704, 1);
    sim.bus->attach(0x51, std::make_shared<u2csim::Chip>());
    sim.bus->attach(0x52, std::make_shared<u2csim::Chip>());
    alg->SetPopSettings(0, "", 1, PopFile("AA BB CC\r\n"));
    {
        Answers no(KMMessageService::kNo);
        EXPECT_FALSE(alg->WriteEeprom());
        EXPECT_TRUE(sim.bus->transfers().empty());
    }
    Answers yes(KMMessageService::kYes);
    ASSERT_TRUE(alg->WriteEeprom());
    const Bytes image = alg->CaptureBuffer();
    ASSERT_GT(image.size(), 256u);
    size_t offset = 0, pieces = 0;
    for (const auto& transfer : sim.bus->transfers())
        for (const auto& m : transfer) {
            if (m.read)
                continue;
            ASSERT_EQ(m.address, 0x50 + offset / 256);
            ASSERT_EQ(m.bytes[0], offset % 256);
            EXPECT_EQ(
                Bytes(m.bytes.begin() + 1, m.bytes.end()),
                Bytes(image.begin() + static_cast<long>(offset),
                      image.begin() + static_cast<long>(std::min(offset + 16, image.size()))));
            offset += m.bytes.size() - 1;
            ++pieces;
        }
    EXPECT_EQ(offset, image.size());
    EXPECT_EQ(pieces, (image.size() + 15) / 16);
    size_t waits = 0;
    for (const auto& s : clock->Sleeps())
        waits += s.ms == 20;
    EXPECT_EQ(waits, pieces);
    EXPECT_EQ(alg->Connection().GetSlaveAddress(), 0x73);

    alg->SelectConnection(cPEQ_ALG::kConnectionNone);
    EXPECT_FALSE(alg->WriteEeprom());
    EXPECT_EQ(yes.shown.back(), "EEPROM|Device is not connected, cannot write EEPROM data.");
}

// The same write into the simulated serial EEPROM (its write cycle over
// within the pause between pieces): afterwards it holds the captured image,
// block by block, and the chip is addressed again.
TEST_F(EepromTest, WriteLandsInTheSimulatedEeprom) {
    Make(0x6000, 0x0704, 1);
    // No write cycle to wait out, and one that refuses the next accesses
    // after every piece: the refused pieces are tried again.
    for (const uint32_t polls : {0u, 3u}) {
        SCOPED_TRACE(polls);
        auto eeprom =
            std::make_shared<u2csim::Eeprom>(u2csim::EepromConfig{8, polls, false, false});
        for (uint32_t b = 0; b < 8; ++b)
            sim.bus->attach(static_cast<uint8_t>(0x50 + b), eeprom->block(b));
        std::string pop;
        for (int line = 0; line < 100; ++line)
            pop += "0x" + std::to_string(10 + line % 80) + " 20 FF\r\n";
        alg->SetPopSettings(0, "", 1, PopFile(pop));
        Answers yes(KMMessageService::kYes);
        ASSERT_TRUE(alg->WriteEeprom());
        const Bytes image = alg->CaptureBuffer();
        ASSERT_GT(image.size(), 256u);
        const Bytes stored = eeprom->contents();
        ASSERT_GE(stored.size(), image.size());
        EXPECT_EQ(Bytes(stored.begin(), stored.begin() + static_cast<long>(image.size())), image);
        EXPECT_EQ(alg->Connection().GetSlaveAddress(), 0x73);
    }
}

// An EEPROM that never answers again after its first piece: the write fails
// with a box and is not reported as done; the chip is addressed again.
TEST_F(EepromTest, AnEepromThatStopsAnsweringFailsTheWrite) {
    Make(0x6000, 0x0704, 1);
    auto eeprom = std::make_shared<u2csim::Eeprom>(u2csim::EepromConfig{8, 0, false, true});
    for (uint32_t b = 0; b < 8; ++b)
        sim.bus->attach(static_cast<uint8_t>(0x50 + b), eeprom->block(b));
    std::string pop;
    for (int line = 0; line < 20; ++line)
        pop += "0x" + std::to_string(10 + line) + " 20 FF\r\n";
    alg->SetPopSettings(0, "", 1, PopFile(pop));
    Answers yes(KMMessageService::kYes);
    EXPECT_FALSE(alg->WriteEeprom());
    ASSERT_FALSE(yes.shown.empty());
    EXPECT_EQ(yes.shown.back(), "EEPROM Device|Failed to write the EEPROM at I2C address 0x50; the "
                                "EEPROM data is incomplete.");
    EXPECT_EQ(alg->Connection().GetSlaveAddress(), 0x73);
}

} // namespace

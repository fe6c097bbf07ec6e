// The C source export: the captured stream replayed into four C files.
#include "SimBus.h"

#include "busaccess/busgate/CExport.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <fstream>
#include <thread>

using namespace busgate;
using namespace busgate::testing;

namespace {

size_t Count(const std::string& text, const std::string& what) {
    size_t n = 0;
    for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1))
        ++n;
    return n;
}

// A setup sequence: Setup Start, a register write (system), speaker type and
// leveler (tuning), Setup Completed.
std::vector<uint8_t> SetupSequence() {
    return {0x00, 0xA5, 0x00, 0xFF, 0xAB, 0xF2, 0x00, 0x00, 0x40,
            0x00, 0xC2, 0x00, 0x00, 0xC6, 0x01, 0x00, 0xAC, 0x00};
}

struct CExport : ::testing::Test {
    CExport() { sim.OpenBridgeOnly(); }
    SimBus sim;
    ScriptedFiles files;
};

TEST_F(CExport, WritesTheFourFilesBesideTheChosenName) {
    sim.ui->SetChecked(ctl::kConfigIoAtPreset, true);
    const std::vector<uint8_t> setup = SetupSequence();
    sim.FillCapture(std::vector<uint8_t>(setup.begin() + 3, setup.end()));
    ASSERT_EQ(sim.bus->Capture().total, 18u);
    std::strncpy(sim.bus->State().chipTypeName, "CHIPTYPE_QX410P", 19);
    std::strncpy(sim.bus->State().chipFirmwareName, "CHIPFW_A2", 19);
    files.dialogs.Push(files.Path("Tune.c"));

    CExport2File::ExportCFiles(*sim.bus);
    EXPECT_EQ(sim.Boxes(),
              (std::vector<std::string>{"Export to Files: Export completed successfully."}));
    ASSERT_EQ(files.dialogs.shown.size(), 1u);
    EXPECT_EQ(files.Shown(0), "Export to Files; DulmAudio_Cmd; ; Enter Func Header Name (*.)|*.;");

    const std::string sys = files.Read("Tune_Sys.c");
    EXPECT_TRUE(sys.starts_with(" \n#define DulmLoggerVer \"3.5.0.7\" \n#define DulmAudioHwVer "
                                "\"CHIPTYPE_QX410P\" \n"))
        << sys;
    EXPECT_NE(sys.find("#define DulmAudioFwVer \"CHIPFW_A2\" \n \nconst unsigned char Tune_Sys[] = "
                       "\n{ \n\t0xFF, 0xAB, 0xF2, "),
              std::string::npos)
        << sys;
    EXPECT_NE(sys.find("\t0x00, 0x00, 0x40, "), std::string::npos); // its data word
    EXPECT_EQ(sys.find("0xC6"), std::string::npos);
    EXPECT_NE(sys.find("}; \n\n#define Tune_Sys_Size (sizeof(Tune_Sys)) \n\n"), std::string::npos);

    const std::string alg = files.Read("Tune_Alg.c");
    EXPECT_NE(alg.find("\t0x00, 0xC6, 0x01,  // Set Leveler : OFF\n "), std::string::npos) << alg;
    EXPECT_NE(alg.find("\t0x00, 0xC2, 0x00, "), std::string::npos);
    EXPECT_EQ(alg.find("0xAB"), std::string::npos);

    const std::string full = files.Read("Tune_FULL.c");
    EXPECT_NE(full.find("\t0x00, 0xA5, 0x00, "), std::string::npos);
    EXPECT_NE(full.find("\t//# I/O Configuration \n \t0xFF, 0xAB, 0xF2, "), std::string::npos)
        << full;
    EXPECT_NE(full.find("\t//#  Start Algorithm Configuration\n \t0x00, 0xC2, 0x00, "),
              std::string::npos);
    // Banners and separators of the live log are not part of the source.
    EXPECT_EQ(full.find("Start Capturing"), std::string::npos);

    const std::string init = files.Read("Tune_Init.c");
    EXPECT_NE(init.find("\t\tstatus = I2C_Write (0x73,3,CmdList);\n"), std::string::npos);
    EXPECT_NE(init.find("const unsigned char Tune_Init [] = \n{ \n\t0x00, 0xC5, 0x00,  // "
                        "Soft-Reset \n"),
              std::string::npos);
    EXPECT_NE(init.find(" DulmDSP_SendCmd (Tune_Final, Tune_Final_Size);\n"), std::string::npos);

    // Each file compiles as C99 with the declarations a product supplies.
    const std::string stub = files.Path("stub.h");
    std::ofstream(stub) << "typedef int BOOL;\n#define TRUE 1\n#define FALSE 0\n"
                           "BOOL I2C_Write(unsigned char, unsigned long, unsigned char*);\n";
    for (const char* leaf : {"Tune_Sys.c", "Tune_Alg.c", "Tune_FULL.c", "Tune_Init.c"}) {
        const std::string command =
            "timeout 60 gcc -std=c99 -fsyntax-only -Werror=implicit -include '" + stub + "' '" +
            files.Path(leaf) + "' 2>&1";
        EXPECT_EQ(std::system(command.c_str()), 0) << leaf;
    }
}

// Runs the compiler's syntax check over a file; 0 when it compiles.
int CompileC99(const std::string& path) {
    const std::string command =
        "timeout 60 gcc -std=c99 -fsyntax-only -Werror=implicit '" + path + "' 2>&1";
    return std::system(command.c_str());
}

TEST_F(CExport, EveryDecodedTextIsACommentAndEveryFileCompiles) {
    struct Case {
        const char* name;
        uint32_t firmware;
        std::vector<uint8_t> groups;
    };
    // Set SSI, and the Set SSI Control with its data word that firmware
    // 0x0606 takes in its place: the word decodes to plain words.
    std::vector<Case> cases{
        {"Ssi", kFirmwareA2, {0x00, 0xC5, 0x00, 0x00, 0xA5, 0x00, 0x3C, 0xC4, 0xC5, 0x00, 0xA7,
                              0x3E, 0x00, 0x3C, 0xC5, 0x00, 0xC6, 0x01, 0x00, 0xAC, 0x00}}};
    sim.bus->State().chipFirmwareVersion = 0x0606;
    // Every command the table knows for each firmware, each followed by the
    // words it announces, of bytes that mean something in C text.
    for (const auto& [name, firmware] :
         {std::pair{"AllA1", kFirmwareA1}, std::pair{"AllA2", kFirmwareA2},
          std::pair{"AllQZ", kFirmwareQZ625x}}) {
        Case all{name, firmware, {}};
        uint8_t fill = 0;
        for (const CommandRow& row : CommandTable()) {
            if (row.category == 0 || !RowApplies(row, firmware))
                continue;
            all.groups.insert(all.groups.end(), {static_cast<uint8_t>(row.value >> 16),
                                                 static_cast<uint8_t>(row.value >> 8),
                                                 static_cast<uint8_t>(row.value)});
            for (uint32_t w = 0; w < std::min<uint32_t>(row.extWords, 8); ++w) {
                for (int b = 0; b < 3; ++b)
                    all.groups.push_back(fill += 0x2F); // '/', '\\', '*' and the rest
            }
        }
        cases.push_back(std::move(all));
    }
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        sim.bus->State().firmwareCode = c.firmware;
        const CSourceFiles out = CExport2File::BuildCFiles(*sim.bus, c.name, c.groups);
        for (const auto& [suffix, text] :
             {std::pair{"_Sys.c", &out.sys}, {"_Alg.c", &out.alg}, {"_FULL.c", &out.full}}) {
            const std::string path = files.Path(std::string(c.name) + suffix);
            std::ofstream(path) << *text;
            EXPECT_EQ(CompileC99(path), 0) << path << "\n" << *text;
        }
    }
    // The SSI word's text sits behind "//" on its row.
    sim.bus->State().firmwareCode = kFirmwareA2;
    const CSourceFiles ssi = CExport2File::BuildCFiles(*sim.bus, "Ssi", cases[0].groups);
    const size_t slave = ssi.full.find("Slave mode");
    ASSERT_NE(slave, std::string::npos) << ssi.full;
    const size_t line = ssi.full.rfind('\n', slave) + 1;
    EXPECT_NE(ssi.full.substr(line, slave - line).find("//"), std::string::npos) << ssi.full;
}

TEST_F(CExport, SectionCommentsComeAgainInEachSetupSequence) {
    std::vector<uint8_t> two = SetupSequence();
    const std::vector<uint8_t> again = SetupSequence();
    two.insert(two.end(), again.begin(), again.end());
    const CSourceFiles out = CExport2File::BuildCFiles(*sim.bus, "N", two);
    EXPECT_EQ(Count(out.full, "\t//#  Start Algorithm Configuration\n "), 2u);
    // The I/O comment only when its box is checked.
    EXPECT_EQ(Count(out.full, "I/O Configuration"), 0u);
}

TEST_F(CExport, ACaptureWithoutTuningGivesAnEmptyTuningArray) {
    const CSourceFiles out =
        CExport2File::BuildCFiles(*sim.bus, "N", {0x00, 0xA5, 0x00, 0x00, 0xAC, 0x00});
    EXPECT_NE(out.alg.find("const unsigned char N_Alg[] = \n{ \n}; \n"), std::string::npos)
        << out.alg;
}

TEST_F(CExport, TheReplayLeavesTheLiveDecoderAndSinkAsTheyWere) {
    // Load PEQ Start announces five words; the replay runs in between.
    EXPECT_EQ(sim.Send({0x00, 0xA1, 0x05}), 3);
    const CSourceFiles out = CExport2File::BuildCFiles(*sim.bus, "N", {0x00, 0xC6, 0x01});
    // The replay starts at a command, whatever the live decoder waits for.
    EXPECT_NE(out.alg.find("// Set Leveler"), std::string::npos) << out.alg;
    EXPECT_EQ(sim.bus->State().offline, 0u);
    EXPECT_EQ(&sim.bus->Sink(), &sim.bus->DialogSink());
    // The five words still belong to Load PEQ Start.
    sim.ClearLog();
    EXPECT_EQ(sim.Send({0, 0, 0, 0, 0, 1, 0, 0, 127, 0, 0, 0, 0, 0, 64}), 15);
    EXPECT_EQ(sim.Text().find("Unknown"), std::string::npos) << sim.Text();

    // A replay that ends inside an extended command leaves nothing pending.
    CExport2File::BuildCFiles(*sim.bus, "N", {0x00, 0xA1, 0x05});
    sim.ClearLog();
    EXPECT_EQ(sim.Send({0x00, 0xC6, 0x01}), 3);
    EXPECT_NE(sim.Text().find(" // Set Leveler"), std::string::npos) << sim.Text();
}

TEST_F(CExport, AnInvalidNameIsRefusedAndTheDialogAsksAgain) {
    sim.FillCapture({0x00, 0xC6, 0x01});
    files.dialogs.Push(files.Path("1ab.c"));
    files.dialogs.Push(files.Path("ok_name"));
    CExport2File::ExportCFiles(*sim.bus);
    EXPECT_EQ(files.dialogs.shown.size(), 2u);
    EXPECT_EQ(sim.Boxes(),
              (std::vector<std::string>{"!Invalid Function Name: Input text \"1ab\" is not a valid "
                                        "function name. \nPlease try another one.",
                                        "Export to Files: Export completed successfully."}));
    EXPECT_TRUE(std::filesystem::exists(files.folder / "ok_name_Init.c"));
    EXPECT_FALSE(std::filesystem::exists(files.folder / "1ab_Init.c"));
}

TEST_F(CExport, CancelWritesNothingAndAFailedWriteReportsItsFile) {
    sim.FillCapture({0x00, 0xC6, 0x01});
    files.dialogs.PushCancel();
    CExport2File::ExportCFiles(*sim.bus);
    EXPECT_TRUE(sim.Boxes().empty());
    EXPECT_TRUE(std::filesystem::is_empty(files.folder));

    std::ofstream(files.Path("blocker")) << "x";
    files.dialogs.Push(files.Path("blocker") + "/N.c");
    CExport2File::ExportCFiles(*sim.bus);
    EXPECT_EQ(sim.Boxes(),
              (std::vector<std::string>{"!Export to Files: Fail to open *_Alg.c file for write."}));
}

// A dialog that lets another thread send while the export runs.
struct RacingDialog : kvFM::KCDialogService {
    RacingDialog(SimBus& sim, std::string path) : sim(sim), path(std::move(path)) {}
    KTErr SaveAs(const kvFM::KCDialogCreationOptions&, kvFM::KCDialogReply& reply) override {
        // The export holds the lock from before its dialog to its end.
        std::thread([this] {
            lockFree = sim.bus->Lock().TryLock();
            if (lockFree)
                sim.bus->Lock().Unlock();
        }).join();
        sender = std::thread([this] {
            std::vector<uint8_t> command = {0x00, 0xC6, 0x00};
            result = sim.bus->Transmit(0x73, command.data(), 3);
        });
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        reply.path = kvFM::KCStPath(path);
        reply.chosen = true;
        return eNoErr;
    }
    KTErr SelectFileSystemObject(const kvFM::KCDialogCreationOptions&,
                                 kvFM::KCDialogReply&) override {
        return eGenericErr;
    }
    SimBus& sim;
    std::string path;
    std::thread sender;
    int32_t result = 0;
    bool lockFree = true;
};

TEST_F(CExport, ATransferFromAnotherThreadWaitsForTheExport) {
    sim.FillCapture({0x00, 0xC6, 0x01});
    RacingDialog racing(sim, files.Path("Race.c"));
    kvFM::KCDialogService* previous = kvFM::SetDialogService(&racing);
    CExport2File::ExportCFiles(*sim.bus);
    racing.sender.join();
    kvFM::SetDialogService(previous);
    EXPECT_FALSE(racing.lockFree);
    // The other thread's command waited, then went to the chip, not into
    // the files.
    EXPECT_EQ(racing.result, 3);
    EXPECT_EQ(sim.Writes().back(), (u2c::Bytes{0x00, 0xC6, 0x00}));
    EXPECT_EQ(files.Read("Race_FULL.c").find("0xC6, 0x00"), std::string::npos);
}

} // namespace

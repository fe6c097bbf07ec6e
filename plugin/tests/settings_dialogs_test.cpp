// "POP Settings" and "System Configuration" on a real display, built from
// the plug-in's dialog resources; the POP dialog's values and run history
// go to the settings store and come back.
#include "WindowTestSupport.h"

#include "plugin/EditorWindows.h"
#include "plugin/PeqAlg.h"
#include "plugin/RegistryEx.h"
#include "plugin/SettingsDialogs.h"
#include "sim/SimDaemon.h"

#include "DaemonLog.h"

#include "foundation/kvFMDialogs.h"
#include "foundation/kvFMWx.h"

#include <wx/button.h>
#include <wx/combobox.h>
#include <wx/slider.h>
#include <wx/textctrl.h>

#include <unistd.h>

#include <algorithm>
#include <fstream>

namespace {

namespace fs = std::filesystem;
using wintest::Checked;
using wintest::Click;
using wintest::Enabled;
using wintest::RunScripted;
using namespace dulm;

class SettingsDialogsTest : public ::testing::Test {
protected:
    void SetUp() override {
        folder_ =
            fs::temp_directory_path() / ("plugin_settings_test." + std::to_string(::getpid()));
        fs::create_directories(folder_ / "registry");
        ::setenv("QUORL_REGISTRY_DIR", (folder_ / "registry").c_str(), 1);
        previous_ = kvFM::SetDialogService(&files_);
    }
    void TearDown() override {
        kvFM::SetDialogService(previous_);
        ::unsetenv("QUORL_REGISTRY_DIR");
        fs::remove_all(folder_);
    }

    fs::path folder_;
    kvFM::KCScriptedDialogService files_;
    kvFM::KCDialogService* previous_ = nullptr;
};

std::vector<std::string> ComboItems(CGenericWindow& d) {
    std::vector<std::string> items;
    for (const wxString& s :
         dynamic_cast<wxComboBox*>(d.Control(CPOPFileSettingsDlg::kRunPath))->GetStrings())
        items.push_back(s.utf8_string());
    return items;
}

TEST_F(SettingsDialogsTest, PopSettingsBrowseRunHistoryAndStore) {
    REQUIRE_DISPLAY();
    const std::string longPath = "/" + std::string(300, 'p') + "/reset.pop";
    files_.Push(longPath);
    std::vector<std::string> afterRuns;
    {
        cPEQ_ALG alg(nullptr, wintest::SelfContainer());
        ASSERT_EQ(alg.FinishCreate(), 0);
        alg.SetEditorServices(std::make_shared<CPeqWindowServices>(wintest::SelfContainer()));
        CPOPFileSettingsDlg d(&alg);
        d.SetDialogInfo(kDialogPopSettings, nullptr, wintest::SelfContainer());
        d.runPath = "/a/One.pop";
        EXPECT_EQ(
            RunScripted(d,
                        [&] {
                            EXPECT_TRUE(Checked(d, CPOPFileSettingsDlg::kResetAuto));
                            // The reset file's browse button chooses "Always".
                            Click(d, CPOPFileSettingsDlg::kResetBrowse);
                            EXPECT_TRUE(Checked(d, CPOPFileSettingsDlg::kResetAlways));
                            EXPECT_EQ(ControlText(d.Control(CPOPFileSettingsDlg::kResetFile)),
                                      longPath);
                            Click(d, CPOPFileSettingsDlg::kRun);
                            SetControlText(d.Control(CPOPFileSettingsDlg::kRunPath), "/b/two.pop");
                            Click(d, CPOPFileSettingsDlg::kRun);
                            SetControlText(d.Control(CPOPFileSettingsDlg::kRunPath), "/A/ONE.POP");
                            Click(d, CPOPFileSettingsDlg::kRun);
                            afterRuns = ComboItems(d);
                            Click(d, 2);
                        }),
            2);
        ASSERT_EQ(files_.shown.size(), 1u);
        EXPECT_EQ(files_.shown[0].options.title, "Select POP File");
        // Cancel leaves the values as they were.
        EXPECT_EQ(alg.PopSettings().popType, 0u);
    }
    EXPECT_EQ(afterRuns, (std::vector<std::string>{"/A/ONE.POP", "/b/two.pop"}));
    // The history is written on Cancel too, and read back on the next run.
    EXPECT_EQ(LoadPopRunHistory(), afterRuns);

    // OK through the algorithm: the values reach the store on its end.
    {
        cPEQ_ALG alg(nullptr, wintest::SelfContainer());
        ASSERT_EQ(alg.FinishCreate(), 0);
        auto services = std::make_shared<CPeqWindowServices>(wintest::SelfContainer());
        alg.SetEditorServices(services);
        std::vector<std::string> loaded;
        wintest::WhenModal([&](CGenericWindow& dialog) {
            CGenericWindow* d = &dialog;
            loaded = ComboItems(*d);
            Click(*d, CPOPFileSettingsDlg::kEepromAlways);
            SetControlText(d->Control(CPOPFileSettingsDlg::kEepromFile), "/e/eeprom.pop");
            Click(*d, 1);
        });
        alg.ShowPopSettings();
        EXPECT_EQ(loaded, afterRuns);
        EXPECT_EQ(alg.PopSettings().popTypeEEPROMExt, 1u);
        EXPECT_EQ(alg.PopSettings().popFilenameEEPROM, "/e/eeprom.pop");
    }
    SDulmSettings stored;
    LoadDulmSettings(stored);
    EXPECT_EQ(stored.popTypeEEPROMExt, 1u);
    EXPECT_EQ(stored.popFilenameEEPROM, "/e/eeprom.pop");
}

// The editor's windows give this module's file manager the toolkit's file
// dialogs (the POP file's and the EEPROM export's), keeping one already set.
TEST_F(SettingsDialogsTest, TheEditorsWindowsBringTheToolkitsFileDialogs) {
    kvFM::SetDialogService(nullptr);
    { CPeqWindowServices services(wintest::SelfContainer()); }
    EXPECT_NE(dynamic_cast<kvFM::KCWxDialogService*>(kvFM::GetDialogService()), nullptr);
    kvFM::SetDialogService(&files_);
    { CPeqWindowServices services(wintest::SelfContainer()); }
    EXPECT_EQ(kvFM::GetDialogService(), &files_);
}

TEST_F(SettingsDialogsTest, SystemConfigurationRules) {
    REQUIRE_DISPLAY();
    // The serial-audio word's layout.
    {
        SSerialWord w;
        w.Load(0x0000);
        EXPECT_EQ(w.dataType, 0);
        EXPECT_EQ(w.serialMode, 0);
        EXPECT_EQ(w.wordSize, 0);
        EXPECT_EQ(w.frameSize, 1);
        w.dataType = 1;
        EXPECT_EQ(w.Word(), 0x8005);
        w.Load(0x83D5);
        EXPECT_EQ(w.Word(), 0x83D5);
    }
    SSystemConfigValues values;
    values.digitalIOWord = 0x0000 | (1 << 4) | 1 | (3 << 10); // I2S, master, 24 bits, 64
    values.sampleRate = 0;
    values.inputClock = 2;
    values.adcEnabled = 0;
    values.dacEnabled = 0;
    values.preAmpPosition = 250;
    CSystemConfigDlg d;
    d.SetDialogInfo(kDialogSystemConfig, nullptr, wintest::SelfContainer());
    d.LoadValues(values);
    EXPECT_EQ(RunScripted(d,
                          [&] {
                              using D = CSystemConfigDlg;
                              EXPECT_EQ(ControlText(d.Control(D::kClockDclk)), "DCLK (3.072 MHz)");
                              EXPECT_EQ(ControlText(d.Control(D::kPreAmpLabel)), "8.0 dB");
                              EXPECT_TRUE(Enabled(d, D::kFrame32));
                              // 32-bit frames: type and size go to index 0.
                              Click(d, D::kFrame32);
                              EXPECT_TRUE(Checked(d, D::kLeft));
                              EXPECT_TRUE(Checked(d, D::kWord16));
                              EXPECT_FALSE(Enabled(d, D::kI2S));
                              EXPECT_EQ(ControlText(d.Control(D::kClockDclk)), "DCLK (1.536 MHz)");
                              Click(d, D::kRate44);
                              EXPECT_EQ(ControlText(d.Control(D::kClockDclk)), "DCLK (1.4112 MHz)");
                              // ADC on: frame size disabled, back to 64 bits.
                              Click(d, D::kAdcEnable);
                              EXPECT_FALSE(Enabled(d, D::kFrame32));
                              EXPECT_FALSE(Enabled(d, D::kFrame64));
                              EXPECT_TRUE(Checked(d, D::kFrame64));
                              EXPECT_TRUE(Checked(d, D::kI2S));
                              EXPECT_TRUE(Checked(d, D::kWord24));
                              // Right: only 24-bit words.
                              Click(d, D::kWord20);
                              Click(d, D::kRight);
                              EXPECT_TRUE(Checked(d, D::kWord24));
                              EXPECT_FALSE(Enabled(d, D::kWord16));
                              EXPECT_FALSE(Enabled(d, D::kWord20));
                              // DCLK: slave only.
                              Click(d, D::kClockDclk);
                              EXPECT_TRUE(Checked(d, D::kSlave));
                              EXPECT_FALSE(Enabled(d, D::kMaster));
                              // A trackbar move updates its label.
                              auto* dac1 = dynamic_cast<wxSlider*>(d.Control(D::kDac1));
                              dac1->SetValue(650);
                              wxCommandEvent moved(wxEVT_SLIDER, D::kDac1);
                              moved.SetEventObject(dac1);
                              dac1->ProcessWindowEvent(moved);
                              EXPECT_EQ(ControlText(d.Control(D::kDac1Label)), "-63.0 dB");
                              Click(d, 1);
                          }),
              1);
    d.StoreValues(values);
    EXPECT_EQ(values.adcEnabled, 1);
    EXPECT_EQ(values.sampleRate, 1);
    EXPECT_EQ(values.inputClock, 3);
    EXPECT_EQ(values.dac1Position, 650);
    SSerialWord w;
    w.Load(values.digitalIOWord);
    EXPECT_EQ(w.dataType, 2);
    EXPECT_EQ(w.wordSize, 3);
    EXPECT_EQ(w.serialMode, 0);
    EXPECT_EQ(w.frameSize, 1);

    // A change of the digital-IO edit control runs the dialog for the
    // algorithm; OK returns its values, Cancel changes nothing.
    {
        cPEQ_ALG alg(nullptr, wintest::SelfContainer());
        ASSERT_EQ(alg.FinishCreate(), 0);
        alg.SetEditorServices(std::make_shared<CPeqWindowServices>(wintest::SelfContainer()));
        std::string title;
        bool was48 = false;
        wintest::WhenModal([&](CGenericWindow& dialog) {
            title = dialog.GetWindow()->GetLabel().utf8_string();
            was48 = Checked(dialog, CSystemConfigDlg::kRate48);
            Click(dialog, CSystemConfigDlg::kRate44);
            Click(dialog, 1);
        });
        alg.SetParamRealWorld(PARAM_DIGITAL_IO_EDIT, 1);
        EXPECT_EQ(title, "System Configuration");
        EXPECT_TRUE(was48);
        EXPECT_EQ(alg.Value(PARAM_SAMPLE), 1.0);

        // Cancel changes nothing.
        wintest::WhenModal([&](CGenericWindow& dialog) {
            Click(dialog, CSystemConfigDlg::kRate48);
            Click(dialog, 2);
        });
        alg.SetParamRealWorld(PARAM_DIGITAL_IO_EDIT, 0);
        EXPECT_EQ(alg.Value(PARAM_SAMPLE), 1.0);
    }
}

// Analog input 2 with the stereo ADC input, chosen in the dialog, reaches
// the chip's input selection register as 0x000099: the ADC-input flag
// (bit 8) is set only for the mono input.
TEST_F(SettingsDialogsTest, SystemConfigurationInputSelectionReachesTheChip) {
    REQUIRE_DISPLAY();
    u2csim::SimDaemon daemon(U2C_SIM_PATH);
    ASSERT_TRUE(daemon.ready());
    ::setenv("TEROVAN_U2C_SOCKET", daemon.socketPath().c_str(), 1);
    const fs::path pop = folder_ / "patch.pop";
    std::ofstream(pop) << "11 22 33\n";
    {
        cPEQ_ALG alg(nullptr, wintest::SelfContainer());
        ASSERT_EQ(alg.FinishCreate(), 0);
        alg.SetPopSettings(1, pop.string(), 0, "");
        alg.SetParamRealWorld(PARAM_CONNECTIVITY_ON_OFF, 1);
        ASSERT_TRUE(alg.ResetAndRunPop(true));
        alg.SetParamRealWorld(PARAM_ANALOG, 0);
        alg.SetEditorServices(std::make_shared<CPeqWindowServices>(wintest::SelfContainer()));
        wintest::WhenModal([&](CGenericWindow& dialog) {
            Click(dialog, CSystemConfigDlg::kAdcStereo);
            Click(dialog, CSystemConfigDlg::kAnalog2);
            Click(dialog, 1);
        });
        alg.SetParamRealWorld(PARAM_DIGITAL_IO_EDIT, 1);
        EXPECT_EQ(alg.Value(PARAM_ANALOG), 1.0);
        EXPECT_EQ(alg.Value(PARAM_ADC_INPUT), 1.0);
        alg.SelectConnection(cPEQ_ALG::kConnectionNone);
    }
    EXPECT_EQ(daemon.stop(), 0);
    ::unsetenv("TEROVAN_U2C_SOCKET");
    // The register write after the dialog: its groups most significant
    // byte first on the bus, as this chip takes them.
    const std::vector<std::string> writes = dulmtest::ChipWrites(daemon.logPath());
    const auto run = std::find(writes.rbegin(), writes.rend(), "00 85 00");
    ASSERT_NE(run, writes.rend());
    const auto select = std::find(writes.rbegin(), run, "FF AD 83");
    ASSERT_NE(select, run) << "no input selection after the full run";
    EXPECT_EQ(*(select - 1), "00 00 99");
}

// OK with nothing touched keeps every setting: values that no button of
// their group shows, and paths that are not UTF-8.
TEST_F(SettingsDialogsTest, OkWithNothingTouchedKeepsEverySetting) {
    REQUIRE_DISPLAY();
    const std::vector<std::string> history = {"/a/caf\xe9.pop", "/b/two.pop"};
    SavePopRunHistory(history);
    {
        cPEQ_ALG alg(nullptr, wintest::SelfContainer());
        ASSERT_EQ(alg.FinishCreate(), 0);
        alg.SetEditorServices(std::make_shared<CPeqWindowServices>(wintest::SelfContainer()));
        alg.SetPopSettings(2, "/p/r\xe9set.pop", 2, "/e/\xff\xfe.pop");
        bool anyOn = true;
        wintest::WhenModal([&](CGenericWindow& d) {
            using D = CPOPFileSettingsDlg;
            anyOn = Checked(d, D::kResetAuto) || Checked(d, D::kResetAlways) ||
                    Checked(d, D::kEepromDefault) || Checked(d, D::kEepromAlways);
            Click(d, 1);
        });
        alg.ShowPopSettings();
        EXPECT_FALSE(anyOn);
        const SPopSettingsValues kept = alg.PopSettings();
        EXPECT_EQ(kept.popType, 2u);
        EXPECT_EQ(kept.popTypeEEPROMExt, 2u);
        EXPECT_EQ(kept.popFilename, "/p/r\xe9set.pop");
        EXPECT_EQ(kept.popFilenameEEPROM, "/e/\xff\xfe.pop");
    }
    EXPECT_EQ(LoadPopRunHistory(), history);

    // Analog input "5" and word data type 3 have no button here.
    SSystemConfigValues values;
    values.analogInput = 4;
    values.digitalIOWord = 0x03E3;
    CSystemConfigDlg d;
    d.SetDialogInfo(kDialogSystemConfig, nullptr, wintest::SelfContainer());
    d.LoadValues(values);
    EXPECT_EQ(RunScripted(d, [&] { Click(d, 1); }), 1);
    SSystemConfigValues back = values;
    d.StoreValues(back);
    EXPECT_EQ(back.analogInput, 4);
    SSerialWord word;
    word.Load(back.digitalIOWord);
    EXPECT_EQ(word.dataType, 3);
    // Bits 2-3 repeat the data type; every other bit comes back.
    EXPECT_EQ(back.digitalIOWord & ~0xCu, 0x03E3u);
}

TEST_F(SettingsDialogsTest, DigitalIOFrameLengthRemembersPositionAndLength) {
    REQUIRE_DISPLAY();
    CDigitalIODlg d;
    d.SetDialogInfo(kDialogDigitalIO, nullptr, wintest::SelfContainer());
    d.LoadWord(0x0203); // Right, one Dclk delay; 20 bits; 64
    EXPECT_EQ(RunScripted(d,
                          [&] {
                              using D = CDigitalIODlg;
                              EXPECT_TRUE(Checked(d, D::kRightDelayed));
                              Click(d, D::kFrame32);
                              EXPECT_TRUE(Checked(d, D::kLeft));
                              EXPECT_TRUE(Checked(d, D::kLength16));
                              EXPECT_FALSE(Enabled(d, D::kRight));
                              Click(d, D::kFrame64);
                              EXPECT_TRUE(Checked(d, D::kRightDelayed));
                              EXPECT_TRUE(Checked(d, D::kLength20));
                              EXPECT_TRUE(Enabled(d, D::kLength24));
                              Click(d, D::kTransmitter);
                              Click(d, 1);
                          }),
              1);
    EXPECT_EQ(d.Word(), 0x0213);
    d.LoadWord(0x0400);
    EXPECT_EQ(d.frameLength, 0);
    d.LoadWord(0xF8FF);
    EXPECT_EQ(d.Word(), 0xF8FF);
}

} // namespace

// Every button, radio button and check box of the three dialogs has a text
// and room for all of it (the size the toolkit asks for it); the POP dialog's
// browse buttons say what they do.
TEST_F(SettingsDialogsTest, EveryButtonShowsItsWholeText) {
    REQUIRE_DISPLAY();
    constexpr int kButtonFrame = 10;
    cPEQ_ALG alg(nullptr, wintest::SelfContainer());
    ASSERT_EQ(alg.FinishCreate(), 0);
    CPOPFileSettingsDlg pop(&alg);
    pop.SetDialogInfo(kDialogPopSettings, nullptr, wintest::SelfContainer());
    CSystemConfigDlg system;
    system.SetDialogInfo(kDialogSystemConfig, nullptr, wintest::SelfContainer());
    CDigitalIODlg io;
    io.SetDialogInfo(kDialogDigitalIO, nullptr, wintest::SelfContainer());
    std::vector<std::string> browse;
    for (CGenericWindow* d : std::initializer_list<CGenericWindow*>{&pop, &system, &io}) {
        int buttons = 0;
        RunScripted(*d, [&] {
            for (wxWindow* w : d->Control(1)->GetParent()->GetChildren()) {
                const bool button = dynamic_cast<wxButton*>(w) != nullptr;
                if ((!button && !dynamic_cast<wxRadioButton*>(w) &&
                     !dynamic_cast<wxCheckBox*>(w)) ||
                    !w->IsShown())
                    continue;
                ++buttons;
                const wxString label = wxStripMenuCodes(w->GetLabel());
                EXPECT_FALSE(label.empty()) << w->GetId() << " has no text";
                // A push button's text with the button's frame around it (a
                // theme may ask more of a button than its text needs).
                const int needed =
                    button ? w->GetTextExtent(label).x + 2 * kButtonFrame : w->GetBestSize().x;
                EXPECT_LE(needed, w->GetSize().x)
                    << w->GetId() << " \"" << label.utf8_string() << "\" is cut";
            }
            if (d == &pop)
                for (int32_t id :
                     {CPOPFileSettingsDlg::kResetBrowse, CPOPFileSettingsDlg::kEepromBrowse,
                      CPOPFileSettingsDlg::kRunBrowse})
                    browse.push_back(wxStripMenuCodes(d->Control(id)->GetLabel()).utf8_string());
            Click(*d, 2);
        });
        EXPECT_GT(buttons, 0);
    }
    EXPECT_EQ(browse, std::vector<std::string>(3, "Browse..."));
}

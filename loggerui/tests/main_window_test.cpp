// The logger's windows under the virtual display, on the simulated board
// and chip in-process.
#include "loggerui/Dialogs.h"
#include "loggerui/WxLogger.h"

#include "SimBus.h"
#include "WxTestApp.h"
#include "busaccess/busgate/LoggerChoice.h"

#include <gtest/gtest.h>
#include <wx/checkbox.h>
#include <wx/choice.h>
#include <wx/frame.h>
#include <wx/stattext.h>
#include <wx/textctrl.h>

#include <thread>

using namespace loggerui;
using busgate::Pane;

namespace {

// The text colour at a position of a pane.
wxColour ColourAt(wxTextCtrl* pane, long position) {
    wxTextAttr attr;
    pane->GetStyle(position, attr);
    return attr.GetTextColour();
}

// A bus on the simulated board whose logger is the windows.
class Windows : public ::testing::Test {
protected:
    void SetUp() override {
        REQUIRE_DISPLAY();
        sim = std::make_unique<busgate::testing::SimBus>();
        choice = std::make_unique<busgate::LoggerChoice>(*sim->ui);
        bus = std::make_unique<busgate::BusGate>(*sim->port, *choice, sim->clock);
        logger = std::make_unique<WxLogger>(*bus);
        choice->Choose(*logger);
    }
    void TearDown() override {
        if (CHintFigureDialog* reminder = logger ? logger->Reminder() : nullptr)
            reminder->Destroy();
        if (CMainDialog* main = logger ? logger->MainWindow() : nullptr)
            main->Destroy();
        for (wxWindow* frame : frames)
            frame->Destroy();
        if (wxtest::Ready())
            wxtest::Pump(5);
        logger.reset();
    }

    // Opens the bus as busgate_open does and waits for the queue.
    void Open() {
        ASSERT_NE(bus->Open(), 0u);
        ASSERT_TRUE(Drained());
    }
    bool Drained() {
        return wxtest::PumpUntil([&] { return logger->PendingEntries() == 0; });
    }
    CMainDialog* Main() { return logger->MainWindow(); }
    std::string LogText() { return Main()->LogPane()->GetValue().utf8_string(); }
    std::string InfoText() { return Main()->InfoPane()->GetValue().utf8_string(); }
    bool Enabled(int control) { return Main()->FindWindow(control)->IsEnabled(); }

    std::unique_ptr<busgate::testing::SimBus> sim;
    std::unique_ptr<busgate::LoggerChoice> choice;
    std::unique_ptr<busgate::BusGate> bus;
    std::unique_ptr<WxLogger> logger;
    std::vector<wxWindow*> frames;
};

TEST_F(Windows, TheMainWindowAfterTheFirstOpen) {
    Open();
    CMainDialog* main = Main();
    ASSERT_NE(main, nullptr);
    EXPECT_EQ(main->GetTitle(), "Terovan DulmLogger 3.5.0.7");
    EXPECT_EQ(main->GetParent(), nullptr); // no host window: no owner
    EXPECT_TRUE(main->IsShown());
    EXPECT_FALSE(logger->LoggingSuspended());
    auto* presets = dynamic_cast<wxChoice*>(main->FindWindow(busgate::ctl::kPresetSelector));
    ASSERT_NE(presets, nullptr);
    ASSERT_EQ(presets->GetCount(), 4u);
    const char* names[] = {"Boot", "Preset 1", "Preset 2", "Preset 3"};
    for (unsigned i = 0; i < 4; ++i) {
        EXPECT_EQ(presets->GetString(i), names[i]);
        EXPECT_EQ(reinterpret_cast<intptr_t>(presets->GetClientData(i)), static_cast<intptr_t>(i));
    }
    EXPECT_EQ(presets->GetSelection(), 0);
    EXPECT_EQ(main->FindWindow(id::kLogButton)->GetLabel(), "Disable Log");
    EXPECT_FALSE(main->Note()->IsEnabled());
    EXPECT_EQ(main->ShownLamp(), Lamp::Red);
    for (int control : {id::kProgram, id::kExportC, id::kExportBin})
        EXPECT_FALSE(main->FindWindow(control)->IsEnabled()) << control;
    EXPECT_TRUE(
        dynamic_cast<wxCheckBox*>(main->FindWindow(busgate::ctl::kClearLogOnStart))->GetValue());
    EXPECT_TRUE(logger->IsChecked(busgate::ctl::kClearLogOnStart));
    // The probe's lines, the board's in green.
    EXPECT_NE(LogText().find("--> Open I2C communication. \n "), std::string::npos);
    const std::string info = InfoText();
    const size_t board = info.find("* Board Type: QX41xx Evaluation Board");
    ASSERT_NE(board, std::string::npos) << info;
    EXPECT_EQ(ColourAt(main->InfoPane(), static_cast<long>(board) + 2), wxColour(0, 128, 0));
    EXPECT_NE(info.find("* Chip I2C address 0x73"), std::string::npos);
    // Unchecking the box reaches the settings the decoder reads.
    auto* box = dynamic_cast<wxCheckBox*>(main->FindWindow(busgate::ctl::kClearLogOnStart));
    box->SetValue(false);
    wxCommandEvent click(wxEVT_CHECKBOX, busgate::ctl::kClearLogOnStart);
    click.SetInt(0);
    click.SetEventObject(box);
    box->GetEventHandler()->ProcessEvent(click);
    EXPECT_FALSE(logger->IsChecked(busgate::ctl::kClearLogOnStart));
}

TEST_F(Windows, ColoursClearsAndLongMessages) {
    Open();
    busgate::LogQueue& log = bus->Log();
    log.ResetFormat();
    ASSERT_TRUE(Drained());
    EXPECT_EQ(LogText(), " ");
    log.SetTrafficColor(3);
    log.Printf("red");
    log.SetTrafficColor(4);
    log.Printf("blue");
    log.SetTrafficColor(2);
    log.Printf("green");
    for (int black : {0, 1, 8}) {
        log.SetTrafficColor(black);
        log.Printf("k%d", black);
    }
    ASSERT_TRUE(Drained());
    wxTextCtrl* pane = Main()->LogPane();
    EXPECT_EQ(LogText(), " redbluegreenk0k1k8");
    EXPECT_EQ(ColourAt(pane, 1), wxColour(255, 0, 0));
    EXPECT_EQ(ColourAt(pane, 4), wxColour(0, 0, 255));
    EXPECT_EQ(ColourAt(pane, 8), wxColour(0, 128, 0));
    for (long at : {13, 15, 17})
        EXPECT_EQ(ColourAt(pane, at), *wxBLACK) << at;

    // 1023 characters are shown whole; longer ones are cut, never split
    // inside a character; bytes that are no UTF-8 read as Latin-1.
    log.ResetFormat();
    const std::string exact(1023, 'x');
    log.Printf("%s", exact.c_str());
    ASSERT_TRUE(Drained());
    EXPECT_EQ(LogText(), " " + exact);
    log.ResetFormat();
    const std::string accented = std::string(1022, 'y') + "\xC3\xA9" + std::string(600, 'z');
    log.Printf("%s", accented.c_str());
    log.Printf("|caf\xE9|");
    ASSERT_TRUE(Drained());
    EXPECT_EQ(LogText(), " " + std::string(1022, 'y') + "|caf\xC3\xA9|");
}

TEST_F(Windows, AColourIsQueuedOnlyWhenItChangesUntilAClear) {
    Open();
    busgate::LogQueue& log = bus->Log();
    // The windows do not drain while this thread holds the lock.
    busgate::LoggerLockGuard hold(bus->Lock());
    const size_t before = logger->PendingEntries();
    log.SetTrafficColor(4);
    log.SetTrafficColor(4);
    EXPECT_EQ(logger->PendingEntries(), before + 1);
    log.ResetFormat(); // a clear and black
    EXPECT_EQ(logger->PendingEntries(), before + 3);
    log.SetTrafficColor(4);
    EXPECT_EQ(logger->PendingEntries(), before + 4);
    log.ResetFormat();
    log.SetTrafficColor(1); // black again after a clear: queued, too
    EXPECT_EQ(logger->PendingEntries(), before + 7);
    log.Printf("held");
    wxtest::Pump(30);
    EXPECT_EQ(LogText().find("held"), std::string::npos);
}

TEST_F(Windows, TextQueuedWhileTheGuiThreadHoldsTheLockAppearsAfterTheRelease) {
    Open();
    std::thread producer;
    {
        busgate::LoggerLockGuard hold(bus->Lock());
        producer = std::thread([&] { bus->Log().Printf("from the bus thread"); });
        wxtest::Pump(40);
        EXPECT_EQ(LogText().find("from the bus thread"), std::string::npos);
    }
    EXPECT_TRUE(wxtest::PumpUntil(
        [&] { return LogText().find("from the bus thread") != std::string::npos; }));
    producer.join();
}

TEST_F(Windows, TrafficFromAnotherThreadInOrderAndInColour) {
    Open();
    bus->Log().ResetFormat();
    std::atomic<bool> done{false};
    std::thread producer([&] {
        for (int i = 0; i < 20; ++i) {
            const std::vector<uint8_t> version{0x00, 0xB7, 0x00};
            uint8_t reply[3] = {};
            bus->Transmit(0x73, version.data(), version.size());
            bus->Receive(0x73, reply, sizeof reply, sizeof reply);
        }
        const std::vector<uint8_t> raw{0x01, 0x02};
        bus->Transmit(0x22, raw.data(), raw.size()); // no chip: fails, in red
        done = true;
    });
    ASSERT_TRUE(wxtest::PumpUntil([&] { return done.load(); }));
    producer.join();
    ASSERT_TRUE(Drained());
    const std::string text = LogText();
    size_t at = 0;
    for (int i = 0; i < 20; ++i) {
        at = text.find("Get Firmware Version", at);
        ASSERT_NE(at, std::string::npos) << i << text;
        ++at;
    }
    const size_t failed = text.find("==> I2C Transaction Failed");
    ASSERT_NE(failed, std::string::npos) << text;
    EXPECT_GT(failed, at);
    EXPECT_EQ(ColourAt(Main()->LogPane(),
                       static_cast<long>(wxString::FromUTF8(text.substr(0, failed)).size())),
              wxColour(255, 0, 0));
}

TEST_F(Windows, ClosingHidesAndTheNextOpenShowsItWithItsText) {
    Open();
    bus->Log().Printf("kept line");
    ASSERT_TRUE(Drained());
    wxCloseEvent close(wxEVT_CLOSE_WINDOW, Main()->GetId());
    close.SetEventObject(Main());
    Main()->GetEventHandler()->ProcessEvent(close);
    EXPECT_FALSE(Main()->IsShown());
    EXPECT_TRUE(logger->LoggingSuspended());
    // The sink writes nothing while the window is hidden.
    const std::vector<uint8_t> status{0x00, 0xB7, 0x00};
    bus->Transmit(0x73, status.data(), status.size());
    ASSERT_TRUE(Drained());
    EXPECT_EQ(LogText().find("Get Firmware Version"), std::string::npos);
    CMainDialog* before = Main();
    sim->clock.Advance(std::chrono::seconds(10));
    ASSERT_NE(bus->Open(), 0u);
    ASSERT_TRUE(Drained());
    EXPECT_EQ(Main(), before);
    EXPECT_TRUE(Main()->IsShown());
    EXPECT_NE(LogText().find("kept line"), std::string::npos);
}

TEST_F(Windows, TheLampFollowsTheConnection) {
    Open();
    // Closed: red at the next timer 3, and the close line in black.
    bus->Close();
    bus->Log().ResetFormat();
    ASSERT_TRUE(
        wxtest::PumpUntil([&] { return LogText().find("--> Close I2C") != std::string::npos; }));
    EXPECT_EQ(Main()->ShownLamp(), Lamp::Red);
    EXPECT_EQ(LogText(), " --> Close I2C communication. \n ");
    EXPECT_EQ(ColourAt(Main()->LogPane(), 3), *wxBLACK);
    EXPECT_FALSE(Main()->Note()->IsEnabled());

    // Connected with the marker: the lamp with the triangle, the note in
    // blue; it blinks through the blank lamp.
    sim->clock.Advance(std::chrono::seconds(10));
    ASSERT_NE(bus->Open(), 0u);
    logger->SetConnectionState(busgate::kChipAliveWithMarker);
    logger->ArmTimer(busgate::kTimerConnection, 1);
    ASSERT_TRUE(wxtest::PumpUntil([&] { return Main()->ShownLamp() == Lamp::Marker; }));
    EXPECT_TRUE(Main()->Note()->IsEnabled());
    EXPECT_EQ(Main()->Note()->GetForegroundColour(), wxColour(0, 0, 255));
    EXPECT_TRUE(Main()->TimerRunning(kTimerBlank));
    logger->OnTimer(kTimerBlank);
    EXPECT_EQ(Main()->ShownLamp(), Lamp::Blank);
    EXPECT_TRUE(Main()->TimerRunning(busgate::kTimerConnection));
    logger->SetConnectionState(busgate::kChipAlive);
    logger->OnTimer(busgate::kTimerConnection);
    EXPECT_EQ(Main()->ShownLamp(), Lamp::Green);
}

TEST_F(Windows, TheCaptureLabelAndTheExportButtons) {
    Open();
    const int exports[] = {id::kProgram, id::kExportC, id::kExportBin, busgate::ctl::kProgramAll,
                           busgate::ctl::kProgramTuningOnly};
    auto field = [&] {
        return dynamic_cast<wxTextCtrl*>(Main()->FindWindow(id::kPresetSize))
            ->GetValue()
            .utf8_string();
    };
    ASSERT_TRUE(wxtest::PumpUntil([&] { return field() == " -- Empty -- "; }));
    for (int control : exports)
        EXPECT_FALSE(Enabled(control)) << control;

    // An armed Setup Start starts a capture: Program, C/C++ and BIN...; the
    // flash buttons only from board firmware 0x10000 on.
    {
        busgate::LoggerLockGuard hold(bus->Lock());
        bus->State().boardFirmwareRevision = 0xFFFF;
    }
    const std::vector<uint8_t> setupStart{0x00, 0xA5, 0x00};
    bus->Transmit(0x73, setupStart.data(), setupStart.size());
    ASSERT_TRUE(wxtest::PumpUntil([&] { return Enabled(id::kProgram); }));
    EXPECT_TRUE(Enabled(id::kExportC));
    EXPECT_TRUE(Enabled(id::kExportBin));
    EXPECT_FALSE(Enabled(busgate::ctl::kProgramAll));
    {
        busgate::LoggerLockGuard hold(bus->Lock());
        bus->State().boardFirmwareRevision = 0x10000;
    }
    logger->ArmTimer(busgate::kTimerCaptureLabel, 1);
    ASSERT_TRUE(wxtest::PumpUntil([&] { return Enabled(busgate::ctl::kProgramAll); }));
    EXPECT_TRUE(Enabled(busgate::ctl::kProgramTuningOnly));
    const std::vector<uint8_t> command{0x00, 0xB7, 0x00};
    bus->Transmit(0x73, command.data(), command.size());
    ASSERT_TRUE(wxtest::PumpUntil([&] { return field() == " 3 bytes"; })) << field();

    // Back to idle: all five off.
    {
        busgate::LoggerLockGuard hold(bus->Lock());
        bus->CaptureReset();
    }
    ASSERT_TRUE(wxtest::PumpUntil([&] { return !Enabled(id::kProgram); }));
    for (int control : exports)
        EXPECT_FALSE(Enabled(control)) << control;
}

TEST_F(Windows, TheHostWindowIsRetitledAndOwnsTheLogger) {
    auto* host = new wxFrame(nullptr, wxID_ANY, kHostTitle);
    host->Show();
    Open();
    EXPECT_EQ(host->GetTitle(), kHostRetitled);
    EXPECT_EQ(Main()->GetParent(), host);
    // The host's window goes and takes the logger with it: the next open
    // builds the windows again.
    host->Destroy();
    ASSERT_TRUE(wxtest::PumpUntil([&] { return !logger->MainWindowExists(); }));
    EXPECT_EQ(logger->MainWindow(), nullptr);
    bus->Log().Printf("nowhere to go");
    wxtest::Pump(20);
    auto* second = new wxFrame(nullptr, wxID_ANY, kHostTitle);
    frames.push_back(second);
    sim->clock.Advance(std::chrono::seconds(10));
    Open();
    ASSERT_NE(Main(), nullptr);
    EXPECT_EQ(Main()->GetParent(), second);
    EXPECT_EQ(LogText().find("nowhere to go"), std::string::npos);
}

// ---- the soft-reset reminder

class Reminder : public Windows {
protected:
    // Each wait of the question runs `answer` once, then pumps.
    void AnswerWith(std::function<void(CHintFigureDialog&)> answer) {
        logger->SetReminderWait([this, answer](uint32_t) {
            ++waits;
            if (CHintFigureDialog* page = logger->Reminder(); page && waits == 1)
                answer(*page);
        });
    }
    int waits = 0;
};

TEST_F(Reminder, OkWithTheBoxSilencesItUntilTheWindowCloses) {
    Open();
    AnswerWith([](CHintFigureDialog& page) {
        EXPECT_TRUE(page.IsShown());
        page.DontRemindBox()->SetValue(true);
        page.Confirm();
    });
    EXPECT_TRUE(logger->ConfirmExport());
    EXPECT_FALSE(logger->Reminder()->IsShown());
    waits = 0;
    EXPECT_TRUE(logger->ConfirmExport());
    EXPECT_EQ(waits, 0); // not asked
    logger->OnMainCancel();
    EXPECT_FALSE(logger->Reminder()->DontRemindBox()->GetValue());
    AnswerWith([](CHintFigureDialog& page) { page.Cancel(); });
    EXPECT_FALSE(logger->ConfirmExport());
    EXPECT_EQ(waits, 1);
}

TEST_F(Reminder, CancelWithTheBoxAsksAgain) {
    Open();
    AnswerWith([](CHintFigureDialog& page) {
        page.DontRemindBox()->SetValue(true);
        page.Cancel();
    });
    EXPECT_FALSE(logger->ConfirmExport());
    EXPECT_FALSE(logger->Reminder()->DontRemindBox()->GetValue());
    waits = 0;
    EXPECT_FALSE(logger->ConfirmExport());
    EXPECT_EQ(waits, 1);
}

TEST_F(Reminder, AQuestionLeftOpenGivesUpAndASecondOneIsRefused) {
    Open();
    bool second = true;
    logger->SetReminderWait([&](uint32_t ms) {
        EXPECT_EQ(ms, 30u);
        if (++waits == 1)
            second = logger->ConfirmExport();
    });
    EXPECT_FALSE(logger->ConfirmExport());
    EXPECT_FALSE(second);
    EXPECT_EQ(waits, 10001);
    EXPECT_FALSE(logger->Reminder()->IsShown());
    EXPECT_FALSE(Main()->reminderShowing);
}

TEST_F(Reminder, TheButtonsOfThePageAnswer) {
    Open();
    // The page is clicked once the display has shown it.
    int clickedAt = 0;
    logger->SetReminderWait([&](uint32_t) {
        ++waits;
        wxtest::Pump(10);
        CHintFigureDialog* page = logger->Reminder();
        if (clickedAt == 0 && waits >= 10) {
            clickedAt = waits;
            wxWindow* button = page->FindWindow(id::kReminderOk);
            wxCommandEvent ok(wxEVT_BUTTON, id::kReminderOk);
            ok.SetEventObject(button);
            button->GetEventHandler()->ProcessEvent(ok);
        }
    });
    EXPECT_TRUE(logger->ConfirmExport());
    EXPECT_EQ(waits, clickedAt);
}

} // namespace

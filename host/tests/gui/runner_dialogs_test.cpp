#include "host/RunnerDialogs.h"

#include <wx/checkbox.h>

#include "foundation/kvFMDialogs.h"
#include "gui_support.h"

namespace {

const char* const kTitle = "Plugin Runner Preferences";

// The check boxes of the dialog, in creation order.
std::vector<wxCheckBox*> CheckBoxes(wxTopLevelWindow* top) {
    std::vector<wxCheckBox*> boxes;
    auto* record = KMGetWindowRecord(top);
    auto* surface = static_cast<wxWindow*>(record->deviceContext);
    for (wxWindow* child : surface->GetChildren())
        if (auto* box = dynamic_cast<wxCheckBox*>(child))
            boxes.push_back(box);
    return boxes;
}

void Click(wxTopLevelWindow* top, short id) {
    KCControl button;
    ASSERT_EQ(KMGetControlByID(*KMGetWindowRecord(top), id, button), eNoErr);
    wxCommandEvent event(wxEVT_BUTTON, id);
    event.SetEventObject(button.windowHandle);
    button.windowHandle->ProcessWindowEvent(event);
    button.windowHandle = nullptr; // the dialog owns it
}

void PressKey(wxTopLevelWindow* top, int key) {
    auto* surface = static_cast<wxWindow*>(KMGetWindowRecord(top)->deviceContext);
    wxKeyEvent event(wxEVT_KEY_DOWN);
    event.m_keyCode = key;
    event.SetEventObject(surface);
    surface->ProcessWindowEvent(event);
}

// How the dialog is ended after both boxes were flipped.
enum class End { OK, Cancel, Escape, Return, Close };

class PreferencesDialogTest : public ::testing::TestWithParam<End> {
protected:
    void SetUp() override { REQUIRE_DISPLAY(); }
};

TEST_P(PreferencesDialogTest, OnlyOKAppliesTheBoxes) {
    const End end = GetParam();
    uint8_t prefs[2] = {1, 0};
    bool checked = false;
    gui::WhenModal(kTitle, [&](wxTopLevelWindow* top) {
        EXPECT_EQ(top->GetClientSize(), wxSize(600, 240));
        auto boxes = CheckBoxes(top);
        ASSERT_EQ(boxes.size(), 2u);
        EXPECT_EQ(boxes[0]->GetLabel().utf8_string(), "Load last session at startup");
        EXPECT_EQ(boxes[1]->GetLabel().utf8_string(), "Use Vellix Plug-ins.");
        EXPECT_TRUE(boxes[0]->GetValue());
        EXPECT_FALSE(boxes[1]->GetValue());
        boxes[0]->SetValue(false);
        boxes[1]->SetValue(true);
        checked = true;
        switch (end) {
        case End::OK:
            Click(top, kPrefButtonOK);
            break;
        case End::Cancel:
            Click(top, kPrefButtonCancel);
            break;
        case End::Escape:
            PressKey(top, WXK_ESCAPE);
            break;
        case End::Return:
            PressKey(top, WXK_RETURN);
            break;
        case End::Close:
            top->Close();
            break;
        }
    });
    ShowPreferencesDialog(prefs);
    EXPECT_TRUE(checked);
    if (end == End::OK) {
        EXPECT_EQ(prefs[0], 0);
        EXPECT_EQ(prefs[1], 1);
    } else {
        EXPECT_EQ(prefs[0], 1);
        EXPECT_EQ(prefs[1], 0);
    }
    EXPECT_EQ(gui::FindTopLevel(kTitle), nullptr);
}

INSTANTIATE_TEST_SUITE_P(Endings, PreferencesDialogTest,
                         ::testing::Values(End::OK, End::Cancel, End::Escape, End::Return,
                                           End::Close));

class ScriptedDialogs : public ::testing::Test {
protected:
    void SetUp() override { previous = kvFM::SetDialogService(&script); }
    void TearDown() override { kvFM::SetDialogService(previous); }
    kvFM::KCScriptedDialogService script;
    kvFM::KCDialogService* previous = nullptr;
};

TEST_F(ScriptedDialogs, WavFileDialogOptionsChoiceAndCancel) {
    kvFM::KCStPath path("/tmp/old.wav");
    script.Push("/tmp/new.wav");
    EXPECT_EQ(OpenWavFileDialog(nullptr, path, false), eNoErr);
    EXPECT_EQ(path.GetPathString(), "/tmp/new.wav");
    ASSERT_EQ(script.shown.size(), 1u);
    const auto& shown = script.shown[0].options;
    EXPECT_EQ(shown.flags, kvFM::eDialogSelectFile);
    EXPECT_EQ(shown.title, "Open");
    ASSERT_EQ(shown.fileTypes.size(), 1u);
    EXPECT_EQ(shown.fileTypes[0].description, "Wav audio files");
    EXPECT_EQ(shown.fileTypes[0].extension, "wav");

    script.PushCancel();
    EXPECT_EQ(OpenWavFileDialog(nullptr, path, true), eUserCanceled);
    EXPECT_EQ(script.shown[1].options.flags, kvFM::eDialogSelectFolder);
    EXPECT_EQ(path.GetPathString(), "/tmp/new.wav");

    script.PushFailure(-1002);
    EXPECT_EQ(OpenWavFileDialog(nullptr, path, false), -1002);
    EXPECT_EQ(path.GetPathString(), "/tmp/new.wav");
}

// A message service that records what it was asked and answers Yes.
class RecordingMessages : public KMMessageService {
public:
    KTErr Show(KCWindow*, int32_t k, const std::string& caption, const std::string& t,
               eKMMessageResult& answer) override {
        kind = k;
        text = caption + "|" + t;
        answer = eKMYes;
        return eNoErr;
    }
    int32_t kind = -1;
    std::string text;
};

TEST(RunnerMessages, MessageAndQuestionGoThroughTheMessageService) {
    RecordingMessages messages;
    KMMessageService* previous = KMSetMessageService(&messages);
    EXPECT_EQ(ShowMessage("first", "second"), eKMYes);
    EXPECT_EQ(messages.kind, 0);
    EXPECT_EQ(messages.text, "Alert|first\nsecond");
    EXPECT_EQ(AskQuestion("Continue?", 2), eKMYes);
    EXPECT_EQ(messages.kind, 2);
    EXPECT_EQ(messages.text, "Alert|Continue?\n");
    KMSetMessageService(previous);
}

TEST(RunnerMessages, PostCommandReachesTheWindowAsMenuCommand) {
    REQUIRE_DISPLAY();
    EXPECT_EQ(PostCommand(nullptr, 100), eNoErr);
    display::Log log;
    KCWindow window;
    ASSERT_EQ(
        KMCreateWindow(display::Options(log, KURect<short>(0, 0, 50, 80), kWinKindPlain), window),
        eNoErr);
    EXPECT_EQ(PostCommand(&window, 104), eNoErr);
    EXPECT_EQ(PostCommand(&window, 40000), eNoErr); // beyond 16 bits signed
    display::PumpUntil([&] { return log.Count(eCommand) >= 2; }, 2000);
    std::vector<short> commands;
    for (const display::Call& call : log.calls)
        if (call.event == eCommand)
            commands.push_back(call.data.GetCommand());
    EXPECT_EQ(commands, (std::vector<short>{104, static_cast<int16_t>(40000)}));
    KMDisposeWindow(window);
}

} // namespace

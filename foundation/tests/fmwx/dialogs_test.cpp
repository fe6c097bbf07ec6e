#include "WxTestApp.h"
#include "foundation/kvFMWx.h"

#include <wx/dialog.h>
#include <wx/dirdlg.h>
#include <wx/filedlg.h>
#include <wx/modalhook.h>
#include <wx/msgdlg.h>
#include <wx/timer.h>

#include <gtest/gtest.h>

#include <dlfcn.h>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

using namespace kvFM;

namespace {

// Answers the next modal dialog that opens, as a user would: `prepare`
// fills it in, and a moment later (the toolkit loads folders in the
// background) the dialog gets its toolkit response, so the dialog's own
// code runs exactly as for a click. wx reports every modal dialog to its
// hooks before showing it.
class DialogAnswerer : public wxTimer, public wxModalDialogHook {
public:
    // With `ready`, the response waits until the dialog shows that path.
    // With several responses, the dialog is answered each time it shows.
    DialogAnswerer(int response, std::function<void(wxDialog*)> prepare = {},
                   std::string ready = std::string())
        : DialogAnswerer(std::vector<int>{response}, std::move(prepare), std::move(ready)) {}
    DialogAnswerer(std::vector<int> responses, std::function<void(wxDialog*)> prepare,
                   std::string ready)
        : responses(std::move(responses)), prepare(std::move(prepare)), ready(std::move(ready)) {
        Register();
        Start(50);
    }
    ~DialogAnswerer() override { Unregister(); }

    int Enter(wxDialog* dialog) override {
        // Message boxes are answered elsewhere (MessageBoxAnswer).
        if (current == nullptr && dynamic_cast<wxMessageDialogBase*>(dialog) == nullptr)
            current = dialog;
        return wxID_NONE; // show it
    }
    void Exit(wxDialog* dialog) override {
        if (dialog == current)
            current = nullptr;
    }

    void Notify() override;

    bool seen = false;
    int shown = 0;

private:
    std::vector<int> responses;
    size_t next = 0;
    std::function<void(wxDialog*)> prepare;
    std::string ready;
    wxDialog* current = nullptr;
    int ticks = 0;
};

// The toolkit's dialog response (GTK_RESPONSE_ACCEPT / CANCEL).
void Respond(wxDialog* dialog, int response) {
    using Fn = void (*)(void*, int);
    static auto fn = reinterpret_cast<Fn>(dlsym(RTLD_DEFAULT, "gtk_dialog_response"));
    ASSERT_NE(fn, nullptr);
    fn(dialog->GetHandle(), response);
}
constexpr int kAccept = -3;
constexpr int kCancel = -6;

// The path the toolkit's chooser shows right now (loaded in the background).
std::string ChooserPath(wxDialog* dialog) {
    using GetFn = char* (*)(void*);
    using FreeFn = void (*)(void*);
    static auto get = reinterpret_cast<GetFn>(dlsym(RTLD_DEFAULT, "gtk_file_chooser_get_filename"));
    static auto release = reinterpret_cast<FreeFn>(dlsym(RTLD_DEFAULT, "g_free"));
    if (get == nullptr || release == nullptr)
        return std::string();
    char* name = get(dialog->GetHandle());
    const std::string path = name ? name : "";
    release(name);
    return path;
}

void DialogAnswerer::Notify() {
    if (current == nullptr || !current->IsShown())
        return;
    ++ticks;
    if (ticks == 1) {
        seen = true;
        ++shown;
        if (prepare)
            prepare(current);
    } else if (ticks > 100) { // 5 s without an end: close it, the test fails
        ADD_FAILURE() << "the dialog did not close; it shows " << ChooserPath(current);
        current->EndModal(wxID_CANCEL);
        Stop();
    } else if (ticks >= 4 && (ready.empty() || ChooserPath(current) == ready)) {
        // The next showing starts over; until it comes, the closing dialog
        // gets nothing more.
        wxDialog* dialog = current;
        current = nullptr;
        ticks = 0;
        if (++next == responses.size())
            Stop();
        Respond(dialog, responses[next - 1]);
    }
}

// Answers every message box without showing it, and counts them.
class MessageBoxAnswer : public wxModalDialogHook {
public:
    explicit MessageBoxAnswer(std::vector<int> answers) : answers(std::move(answers)) {
        Register();
    }
    ~MessageBoxAnswer() override { Unregister(); }
    int Enter(wxDialog* dialog) override {
        auto* box = dynamic_cast<wxMessageDialogBase*>(dialog);
        if (box == nullptr)
            return wxID_NONE;
        messages.push_back(box->GetMessage().utf8_string());
        return asked < answers.size() ? answers[asked++] : wxID_CANCEL;
    }
    void Exit(wxDialog*) override {}

    std::vector<std::string> messages;

private:
    std::vector<int> answers;
    size_t asked = 0;
};

class WxDialogs : public ::testing::Test {
protected:
    void SetUp() override {
        if (!HasDisplay() || !wxAppConsole::GetInstance()->IsGUI())
            GTEST_SKIP() << "needs a display";
        std::string pattern = (std::filesystem::temp_directory_path() / "kvdlgXXXXXX").string();
        ASSERT_NE(mkdtemp(pattern.data()), nullptr);
        folder = pattern;
        InstallWxDialogService();
    }
    void TearDown() override {
        SetDialogService(nullptr);
        std::error_code ec;
        if (!folder.empty())
            std::filesystem::remove_all(folder, ec);
    }
    std::string folder;
};

} // namespace

TEST_F(WxDialogs, SaveAsTakesTheNameAndAddsTheExtension) {
    KCDialogCreationOptions options;
    options.title = "Export EEPROM image";
    options.folder = KCStPath(folder);
    options.fileTypes = {KCFileType("Intel HEX files", ".hex", 0, 0)};
    wxString shownWildcard;
    DialogAnswerer answer(
        kAccept,
        [&](wxDialog* d) {
            auto* file = wxDynamicCast(d, wxFileDialog);
            ASSERT_NE(file, nullptr);
            shownWildcard = file->GetWildcard();
            file->SetPath(wxString::FromUTF8(folder + "/image"));
        },
        folder + "/image");
    KCDialogReply reply;
    EXPECT_EQ(SaveAsDialog(options, reply), eNoErr);
    EXPECT_TRUE(answer.seen);
    EXPECT_TRUE(reply.chosen);
    EXPECT_EQ(reply.path.GetPathString(), folder + "/image.hex");
    EXPECT_EQ(shownWildcard, "Intel HEX files (*.hex)|*.hex");
}

// With several file types the first entry of the filter lists them all, so
// the toolkit adds no extension and asks about the name as typed. When the
// first type's extension, added afterwards, names a file that is there, the
// user is asked before it is replaced, and "No" shows the dialog again.
TEST_F(WxDialogs, SaveAsAsksBeforeReplacingTheFileTheExtensionNames) {
    std::ofstream(folder + "/image.wav") << "old";
    // A second file of the types whose name begins alike keeps the chooser
    // from completing the typed name to the existing one.
    std::ofstream(folder + "/image-2.wav") << "";
    KCDialogCreationOptions options;
    options.folder = KCStPath(folder);
    options.fileTypes = {KCFileType("Wav audio files", ".wav", 0, 0),
                         KCFileType("Intel HEX files", ".hex", 0, 0)};
    const auto typeName = [&](wxDialog* d) {
        auto* file = wxDynamicCast(d, wxFileDialog);
        ASSERT_NE(file, nullptr);
        file->SetPath(wxString::FromUTF8(folder + "/image"));
    };
    {
        MessageBoxAnswer no({wxID_NO});
        DialogAnswerer answer({kAccept, kCancel}, typeName, folder + "/image");
        KCDialogReply reply;
        EXPECT_EQ(SaveAsDialog(options, reply), eNoErr);
        ASSERT_EQ(no.messages.size(), 1u);
        EXPECT_EQ(no.messages[0].rfind("image.wav already exists.", 0), 0u);
        EXPECT_EQ(answer.shown, 2); // shown again after "No", then cancelled
        EXPECT_FALSE(reply.chosen);
    }
    std::ifstream kept(folder + "/image.wav");
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(kept), {}), "old");
    {
        MessageBoxAnswer yes({wxID_YES});
        DialogAnswerer answer(kAccept, typeName, folder + "/image");
        KCDialogReply reply;
        EXPECT_EQ(SaveAsDialog(options, reply), eNoErr);
        EXPECT_EQ(yes.messages.size(), 1u);
        EXPECT_TRUE(reply.chosen);
        EXPECT_EQ(reply.path.GetPathString(), folder + "/image.wav");
    }
}

TEST_F(WxDialogs, CancelChoosesNothing) {
    KCDialogCreationOptions options;
    options.flags = eDialogSelectFile;
    options.fileTypes = {KCFileType("Wav audio files", ".wav", 0, 0),
                         KCFileType("Text files", ".txt", 0, 0)};
    DialogAnswerer answer(kCancel);
    KCDialogReply reply;
    reply.chosen = true;
    EXPECT_EQ(SelectFileSystemObjectDialog(options, reply), eNoErr);
    EXPECT_TRUE(answer.seen);
    EXPECT_FALSE(reply.chosen);
}

TEST_F(WxDialogs, OpenAnExistingFile) {
    const std::string file = folder + "/take.wav";
    std::ofstream(file) << "x";
    KCDialogCreationOptions options;
    options.flags = eDialogSelectFile;
    options.folder = KCStPath(folder);
    options.fileTypes = {KCFileType("Wav audio files", ".wav", 0, 0)};
    DialogAnswerer answer(
        kAccept,
        [&](wxDialog* d) {
            auto* dialog = wxDynamicCast(d, wxFileDialog);
            ASSERT_NE(dialog, nullptr);
            dialog->SetPath(wxString::FromUTF8(file));
        },
        file);
    KCDialogReply reply;
    EXPECT_EQ(SelectFileSystemObjectDialog(options, reply), eNoErr);
    EXPECT_TRUE(reply.chosen);
    EXPECT_EQ(reply.path.GetPathString(), file);
}

TEST_F(WxDialogs, ChooseAFolder) {
    std::filesystem::create_directories(folder + "/plugins");
    KCDialogCreationOptions options;
    options.flags = eDialogSelectFolder;
    options.title = "Select the plug-in folder";
    options.folder = KCStPath(folder + "/plugins");
    DialogAnswerer answer(
        kAccept,
        [&](wxDialog* d) {
            auto* dialog = wxDynamicCast(d, wxDirDialog);
            ASSERT_NE(dialog, nullptr);
            dialog->SetPath(wxString::FromUTF8(folder + "/plugins"));
        },
        folder + "/plugins");
    KCDialogReply reply;
    EXPECT_EQ(SelectFileSystemObjectDialog(options, reply), eNoErr);
    EXPECT_TRUE(reply.chosen);
    EXPECT_EQ(reply.path.GetPathString(), folder + "/plugins");
}

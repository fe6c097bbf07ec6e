// The one way every logger page is made: a step that fails shows the
// "Debug" box naming the step and the page, removes a page whose window
// failed, and ends the process with exit status -1.
#include "loggerui/PageCreation.h"

#include <gtest/gtest.h>

#include <cstdio>

namespace {

using loggerui::MakePage;
using loggerui::PageName;

// A page whose window step answers as told.
struct Page {
    bool windowMade = true;
    bool Create(const void*) const { return windowMade; }
};

// The boxes, written to stderr with their kind.
struct BoxesOnStderr : busaccess::MessageService {
    static void Write(const char* kind, const std::string& text, const std::string& caption) {
        std::fprintf(stderr, "[%s] %s: %s\n", kind, caption.c_str(), text.c_str());
    }
    void showInformation(const std::string& text, const std::string& caption) override {
        Write("information", text, caption);
    }
    void showError(const std::string& text, const std::string& caption) override {
        Write("error", text, caption);
    }
    void showPlain(const std::string& text, const std::string& caption) override {
        Write("plain", text, caption);
    }
};

void Destroyed() {
    std::fputs("page destroyed\n", stderr);
}

TEST(PageCreationDeathTest, AFailedStepShowsItsBoxAndEndsTheProcess) {
    BoxesOnStderr boxes;
    const void* parent = nullptr;
    EXPECT_EXIT(MakePage<Page>(
                    boxes, PageName{"AeqCfgDlg", true}, parent,
                    [] { return static_cast<Page*>(nullptr); }, Destroyed),
                ::testing::ExitedWithCode(255),
                "\\[error\\] Debug: DulmLogger Init\nnew AeqCfgDlg Fail\n$");
    Page refusing{false};
    EXPECT_EXIT(
        MakePage<Page>(
            boxes, PageName{"IoCfgDlg", false}, parent, [&] { return &refusing; }, Destroyed),
        ::testing::ExitedWithCode(255),
        "\\[plain\\] Debug: DulmLogger Init\nCreate IoCfgDlg Fail\npage destroyed\n$");
}

TEST(PageCreation, APageMadeInBothStepsIsKeptWithoutABox) {
    BoxesOnStderr boxes;
    Page made;
    const void* parent = nullptr;
    EXPECT_EQ(&MakePage<Page>(
                  boxes, PageName{"ScriptDlg", true}, parent, [&] { return &made; },
                  [] { ADD_FAILURE() << "destroyed"; }),
              &made);
}

} // namespace

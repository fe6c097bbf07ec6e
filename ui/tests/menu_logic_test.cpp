#include <dlfcn.h>

#include <gtest/gtest.h>

#include "ui/KMWindowManager.h"

TEST(MenuIdentifiers, CounterStartsAt128AndWraps) {
    KMSetMenuIDCounter(127);
    EXPECT_EQ(KMNextMenuID(), 128);
    EXPECT_EQ(KMNextMenuID(), 129);
    EXPECT_EQ(KMNextMenuID(), 130);
    KMSetMenuIDCounter(32765);
    EXPECT_EQ(KMNextMenuID(), 32766);
    EXPECT_EQ(KMNextMenuID(), 127);
    EXPECT_EQ(KMNextMenuID(), 128);
}

TEST(MenuTexts, PaddingOnlyWithImages) {
    std::vector<std::wstring> texts{L"Open", L"Close window"};
    KMPadMenuTexts(texts, {false, false});
    EXPECT_EQ(texts[0], L"Open");

    KMPadMenuTexts(texts, {true, false});
    EXPECT_EQ(texts[0], L"  Open");
    EXPECT_EQ(texts[1], L"  Close window" + std::wstring(6, L' ')); // 12 + 8 = 20
}

TEST(MenusWithoutDisplay, RefuseAndReportFailures) {
    void* menu = nullptr;
    KCMenuCreationOptions options;
    EXPECT_EQ(KMCreatePopupMenu(options, menu), eGenericSystemError);
    EXPECT_EQ(menu, nullptr);
    int unknown = 0;
    const void* bogus = &unknown;
    KCMenuItemInfo info;
    info.title = L"x";
    EXPECT_NE(KMAddMenuItem(bogus, info, false), eNoErr);
    void* bogusMenu = &unknown;
    EXPECT_NE(KMDisposeMenu(bogusMenu), eNoErr);
    EXPECT_EQ(bogusMenu, nullptr);
}

namespace {
class ScriptedMessages : public KMMessageService {
public:
    KTErr Show(KCWindow*, int32_t kind, const std::string& caption, const std::string& text,
               eKMMessageResult& answer) override {
        seenKind = kind;
        seenCaption = caption;
        seenText = text;
        if (fail)
            return eGenericSystemError;
        answer = reply;
        return eNoErr;
    }
    int32_t seenKind = -1;
    std::string seenCaption, seenText;
    eKMMessageResult reply = eKMOther;
    bool fail = false;
};
} // namespace

TEST(MessageBoxes, GoThroughTheService) {
    ScriptedMessages script;
    KMMessageService* previous = KMSetMessageService(&script);
    KMMessageInfo info;
    info.kind = 3;
    info.title = "Save";
    info.message = "Save changes?";
    eKMMessageResult answer = eKMYes;
    script.reply = eKMCancel;
    EXPECT_EQ(KMStandardMessage(&info, answer), eNoErr);
    EXPECT_EQ(answer, eKMCancel);
    EXPECT_EQ(script.seenKind, 3);
    EXPECT_EQ(script.seenCaption, "Alert");
    EXPECT_EQ(script.seenText, "Save\nSave changes?");

    script.fail = true;
    answer = eKMNo;
    EXPECT_NE(KMStandardMessage(&info, answer), eNoErr);
    EXPECT_EQ(answer, eKMNo); // unchanged when nothing was shown
    KMSetMessageService(previous);

    // The built-in service cannot show anything without a display.
    answer = eKMNo;
    EXPECT_EQ(KMStandardMessage(&info, answer), eGenericSystemError);
    EXPECT_EQ(answer, eKMNo);
}

TEST(WindowManagerState, InitBuildsClassNames) {
    EXPECT_EQ(KMInit(nullptr), eNoErr);
    const std::string plain = KMGetWindowClassName(false);
    EXPECT_EQ(plain, "ui_tests Generic Window Class");
    EXPECT_EQ(KMGetWindowClassName(true), "ui_tests Generic openGL Window Class");
    EXPECT_EQ(KMInit(nullptr), eNoErr); // the same instance again: nothing changes
    EXPECT_EQ(KMGetWindowClassName(false), plain);

    // Another module: the names follow its leaf name.
    void* other = dlopen("libm.so.6", RTLD_NOW | RTLD_NOLOAD);
    if (other == nullptr)
        other = dlopen("libm.so.6", RTLD_NOW);
    ASSERT_NE(other, nullptr);
    EXPECT_EQ(KMInit(other), eNoErr);
    EXPECT_EQ(KMGetWindowClassName(true), "libm.so.6 Generic openGL Window Class");
    dlclose(other);
    EXPECT_EQ(KMDispose(), eNoErr);
    EXPECT_TRUE(KMGetWindowClassName(false).empty());

    KCWinCreateOpts options;
    options.kind = 2;
    KCWindow w;
    EXPECT_EQ(KMCreateWindow(options, w), eGenericSystemError);
    EXPECT_EQ(w.windowHandle, nullptr);
    KCControl c;
    EXPECT_EQ(KMGetControlByID(w, 5, c), eSomeThingNotInitailzed);
}

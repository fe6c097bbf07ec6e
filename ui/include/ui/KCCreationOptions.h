// Options from which windows and native controls are created.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "ui/KCWindow.h"

// Window style flags.
enum : uint32_t {
    kWinFlagSystemMenu = 0x1,
    kWinFlagDefault = 0x2,
    kWinFlagCaption = 0x4,
    kWinFlagCentreHorizontally = 0x8,
    kWinFlagCentreVertically = 0x10,
    kWinFlagChild = 0x20,
    kWinFlagUnused = 0x40,
    kWinFlagMenuBar = 0x80,
    kWinFlagMinimiseBox = 0x100,
    kWinFlagMaximiseBox = 0x200,
};

// Window kinds.
enum : int32_t {
    kWinKindPlain = 0,
    kWinKindOpenGL = 1,
};

struct KCWinCreateOpts {
    uint32_t flags = 0x7;
    KCWindow* parent = nullptr;
    std::string title;
    KURect<short> bounds;
    uint32_t unused = 0;
    KTDispatcherCallBack handler = nullptr;
    void* userData = nullptr;
    int32_t kind = kWinKindOpenGL;
};

// Control types.
enum : int32_t {
    kControlNone = 0,
    kControlStaticText = 1,
    kControlEdit = 2,
    kControlPushButton = 3,
    kControlCheckBox = 4,
};

class KCControlCreationOptionsBase {
public:
    virtual ~KCControlCreationOptionsBase() = default;

    KURect<short> bounds;
    int16_t controlID = 99;
    KCWindow* parent = nullptr;
    void* userData = nullptr;
};

class KCControlCreationOptions : public KCControlCreationOptionsBase {
public:
    int32_t controlType = kControlNone;
    std::string text;
    std::string allowedCharacters; // empty: any character
    uint32_t maxLength = 0;        // 0: unlimited
    KTDispatcherCallBack handler = nullptr;
    bool selectAll = false; // false: the caret goes after the last character
};

class KCListControlCreationOptions : public KCControlCreationOptionsBase {
public:
    std::vector<std::string> items;
    int16_t unused1 = 1;
    int16_t unused2 = 50;
};

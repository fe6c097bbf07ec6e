// The plug-in's own windows and modal dialogs: one small base class over
// wx. One object per window; one shared procedure finds the object from the
// window and hands it the window's messages (creation, dialog
// initialisation, commands, size, close, notifications, trackbar moves,
// destruction). Dialog templates are XML resources of the module ('XDlg'),
// built into a wxDialog. Data-exchange functions move values between member
// variables and dialog controls in both directions.
#pragma once

#include <cstdint>
#include <set>
#include <string>
#include <vector>

class wxWindow;
class wxDialog;
class wxString;
struct KTResContainerType;

// Messages of the shared window procedure.
enum : uint32_t {
    kMsgCreate = 0x0001,
    kMsgDestroy = 0x0002,
    kMsgSize = 0x0005, // lParam: client width (low 16 bits), height (high 16)
    kMsgClose = 0x0010,
    kMsgNotify = 0x004E, // wParam: control id; lParam: SGenericNotify*
    kMsgNcCreate = 0x0081,
    kMsgNcDestroy = 0x0082,
    kMsgInitDialog = 0x0110,
    kMsgCommand = 0x0111, // wParam: id | code << 16; lParam: the control
    kMsgVScroll = 0x0115, // lParam: the control
};

// Notification codes of commands and of list notifications.
enum : int32_t {
    kNotifyClicked = 0,     // button, radio button, check box
    kNotifySelChange = 1,   // combo box
    kNotifyDblClick = -3,   // list item activated
    kNotifyRightClick = -5, // right click on a list
};

enum : int32_t { kIdOK = 1, kIdCancel = 2 };

// The record a notification carries.
struct SGenericNotify {
    wxWindow* from = nullptr;
    int32_t id = 0;
    int32_t code = 0;
    int32_t item = -1;    // the list item under the mouse, -1 for none
    int32_t x = 0, y = 0; // the mouse, in screen coordinates
};

// The record a creation message carries.
struct SGenericCreate {
    void* param = nullptr; // the creating object
    int32_t left = 0, top = 0, width = 0, height = 0;
    uint32_t style = 0;
};

// Window styles understood by Create.
enum : uint32_t {
    kStylePopup = 0x80000000u,
    kStyleChild = 0x40000000u,
    kStyleVisible = 0x10000000u,
    kStyleCaption = 0x00C00000u,
    kStyleSysMenu = 0x00080000u,
    kStyleSizing = 0x00040000u,
    kStyleMinimizeBox = 0x00020000u,
};

class CGenericWindow {
public:
    // The class name used when Create gets none.
    static constexpr const char* kDefaultClass = "QuorlGenericWindow";
    // The class name of a report-view list control.
    static constexpr const char* kListViewClass = "SysListView32";
    // The resource type of dialog templates.
    static constexpr const char* kDialogResourceType = "XDlg";

    CGenericWindow() = default;
    CGenericWindow(const CGenericWindow&) = delete;
    CGenericWindow& operator=(const CGenericWindow&) = delete;
    // Destroys a remaining window, then unregisters the class it registered.
    virtual ~CGenericWindow();

    // Creates the window at (left, top), right - left wide and bottom - top
    // high; true when the window exists.
    virtual bool Create(const char* className, wxWindow* parent, const char* title, int32_t left,
                        int32_t top, int32_t right, int32_t bottom, uint32_t style,
                        uint32_t exStyle, int32_t id);
    // Ends a modal run with 1 when DataExchange(save) agrees.
    virtual void OnOK();
    virtual void OnCancel();
    virtual intptr_t WindowProc(wxWindow* window, uint32_t message, uintptr_t wParam,
                                intptr_t lParam);
    // save: controls to members; load: members to controls. 0 refuses.
    virtual int32_t DataExchange(bool save) { return 1; }
    virtual intptr_t OnCreate(const SGenericCreate* create) { return 0; }
    virtual intptr_t OnInitDialog();
    // Non-zero: handled.
    virtual intptr_t OnCommand(int32_t id, int32_t code, wxWindow* control) { return 0; }

    // Runs the dialog resource as a modal dialog: its end code (1 OK,
    // 2 Cancel), or -1 when the resource does not exist or cannot be read.
    intptr_t RunModal();
    void EndDialog(intptr_t code);
    void SetDialogInfo(int32_t resource, wxWindow* parent, KTResContainerType* instance);

    // The shared procedure of every window and dialog.
    static intptr_t StaticWindowProc(wxWindow* window, uint32_t message, uintptr_t wParam,
                                     intptr_t lParam);
    // The object of a window (null when none is known).
    static CGenericWindow* FromWindow(wxWindow* window);
    // Whether a class of that name is registered, and how many are.
    static bool IsClassRegistered(const std::string& name);

    wxWindow* GetWindow() const { return window_; }
    bool IsDialogMode() const { return dialogMode_ != 0; }
    uint16_t ClassAtom() const { return classAtom_; }
    // A control of the dialog by id (null when none).
    wxWindow* Control(int32_t id) const;
    // Whether the control starts a group (for radio groups).
    bool StartsGroup(const wxWindow* control) const;
    // Enables or disables a control by id.
    void EnableControl(int32_t id, bool on) const;

    // Filled by owners before creation.
    int32_t dialogResource = 0;
    wxWindow* parentWindow = nullptr;
    KTResContainerType* instance = nullptr;

protected:
    // The default procedure: a close destroys the window.
    intptr_t DefaultProc(wxWindow* window, uint32_t message, uintptr_t wParam, intptr_t lParam);
    // Destroys the window now: destruction messages first.
    void DestroyWindow();

private:
    void Attach(wxWindow* window);
    void BindEvents(wxWindow* window);

    wxWindow* window_ = nullptr;
    int32_t dialogMode_ = 0;
    uint16_t classAtom_ = 0;
    std::set<const wxWindow*> groupStarts_;
};

// Data exchange: each takes the dialog, a control id, the member and the
// save flag. Text is set on a control only when it differs.
//
// Numbers as text: the text is scanned into a full-width temporary and only
// the member's width is stored; text that does not hold a number leaves
// the member as it was.
template <typename T>
void ExchangeNumber(CGenericWindow& dialog, int32_t id, T& member, bool save);
// Formatted text: save scans the control's text (at most 63 characters)
// with `format`, whose one conversion writes a T, and stores the value only
// when the scan read one; load prints the member with `format` (at most 63
// characters). Numbers read and print in the "C" locale; "I64" in a format
// is the 64-bit length.
template <typename T>
void ExchangeFormatted(CGenericWindow& dialog, int32_t id, const char* format, T& member,
                       bool save);
// The address control's 32-bit address, "a.b.c.d" with a in the high byte.
// A blank field reads 0 and a field above 255 reads 255; text that is no
// address leaves the member as it was.
void ExchangeIPAddress(CGenericWindow& dialog, int32_t id, uint32_t& member, bool save);
void ExchangeText(CGenericWindow& dialog, int32_t id, std::string& member, bool save);
// A buffer of `capacity` bytes: at most capacity - 1 characters are saved.
void ExchangeTextBuffer(CGenericWindow& dialog, int32_t id, char* buffer, size_t capacity,
                        bool save);
// 0, 1 or 2; a value outside loads as 0.
void ExchangeCheck(CGenericWindow& dialog, int32_t id, int32_t& member, bool save);
// The index among the radio buttons from `id` to the next group start; -1
// when none is on.
void ExchangeRadio(CGenericWindow& dialog, int32_t id, int32_t& member, bool save);
// List and combo boxes: by text (first item starting with it), by exact
// text, or by index. A combo box without a matching item shows the text.
void ExchangeListText(CGenericWindow& dialog, int32_t id, std::string& member, bool save);
void ExchangeListExact(CGenericWindow& dialog, int32_t id, std::string& member, bool save);
void ExchangeComboText(CGenericWindow& dialog, int32_t id, std::string& member, bool save);
void ExchangeComboExact(CGenericWindow& dialog, int32_t id, std::string& member, bool save);
void ExchangeListIndex(CGenericWindow& dialog, int32_t id, int32_t& member, bool save);
void ExchangeComboIndex(CGenericWindow& dialog, int32_t id, int32_t& member, bool save);
void ExchangeScrollBar(CGenericWindow& dialog, int32_t id, int32_t& member, bool save);
void ExchangeTrackbar(CGenericWindow& dialog, int32_t id, int32_t& member, bool save);

// Texts are bytes: UTF-8 shows as its characters, and bytes that are no
// part of a UTF-8 character show as stand-in characters that turn back into
// the same bytes, so that every text (a path in a legacy encoding too)
// comes back from a control unchanged.
wxString TextToWx(const std::string& bytes);
std::string WxToText(const wxString& text);

// Sets a control's text only when it differs from the current text.
void SetControlText(wxWindow* control, const std::string& text);
std::string ControlText(wxWindow* control);

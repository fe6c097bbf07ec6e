// The editor's controls: each is bound to one or more parameters of the
// algorithm, draws itself through the graphic manager, and turns mouse and
// key gestures into parameter states through the algorithm's update path.
// A drag maps the mouse movement along the control's long side onto the
// lead parameter's states (0..1000 for continuous scales), from the state
// it had at mouse-down, so a drag past either end stops at the scale's end.
#pragma once

#include "foundation/KCTimer.h"
#include "foundation/KURect.h"
#include "guilib/Algorithm.h"
#include "guilib/GraphData.h"
#include "guilib/MenuEx.h"
#include "guilib/QGLExport.h"
#include "ui/CKVImage.h"
#include "ui/KCWindow.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

class cALGORITHM;
struct sCONTROL_PARAM;
class CGraphicManagerAbs;
class KCFontInfo;
struct BUFFER_HEADER;

// Where a one-line text of `font` is drawn (its top-left corner): centred
// vertically in `box`, `inset` pixels in from the box's left side.
QGL_API KCPoint<short> TextOriginInBox(const KCFontInfo& font, const KURect<short>& box,
                                       short inset = 0);
// A control's label: above the control, its lowest pixel row 2 pixels over
// the control's top.
QGL_API KCPoint<short> LabelOrigin(const KCFontInfo& font, const KURect<short>& control);

class QGL_API CSelectable {
public:
    virtual ~CSelectable() = default;
    int32_t GetMinSelection() const { return minSelection_; }
    int32_t GetMaxSelection() const { return maxSelection_; }

    // A selection level the object can take: one of its range.
    virtual bool CanDoSelectionSelf(long level) const {
        return level >= minSelection_ && level <= maxSelection_;
    }
    virtual bool IsStrictSelectSelf() { return false; }
    virtual void SetModeSelf() {}
    virtual bool CanDoModeSelf(unsigned long) const { return true; }
    // Two objects may swap selections when they take the same levels.
    virtual bool CanSwapSelectionsSelf(const CSelectable* other) const {
        return other != nullptr && other->minSelection_ == minSelection_ &&
               other->maxSelection_ == maxSelection_;
    }

protected:
    int32_t minSelection_ = 0;
    int32_t maxSelection_ = 0;
};

class QGL_API KCMouseHover {
public:
    KCMouseHover() = default;
    KCMouseHover(const KCMouseHover&) = default;
    KCMouseHover& operator=(const KCMouseHover&) = default;
    virtual ~KCMouseHover() = default;

    void SetMeasureTime(bool on) { measureTime_ = on; }
    int32_t GetHoverState() const { return hover_; }
    int32_t GetPreviousHoverState() const { return previousHover_; }

protected:
    void setHoverState(long state) {
        previousHover_ = hover_;
        hover_ = static_cast<int32_t>(state);
    }

private:
    uint32_t word_ = 0;
    int32_t hover_ = 0;
    int32_t previousHover_ = 0;
    bool measureTime_ = false;
};

struct QGL_API KCRegisterInfo {
    uint32_t word1 = 0;
    uint32_t word2 = 0;
    bool flags[4] = {false, false, false, false};
};

class KCStaticText;

class QGL_API KCParamRegistrationData {
public:
    explicit KCParamRegistrationData(uint32_t param = 0, bool updatesController = true)
        : paramID_(param), updateController_(updatesController) {}

    uint32_t GetParamID() const { return paramID_; }
    bool IsRegisteredToUpdateController() const { return updateController_; }
    double GetFixedState() const { return fixedState_; }
    void SetFixedState(double s) { fixedState_ = s; }
    const KURect<short>& GetImageRect() const { return imageRect_; }
    void SetImageRect(const KURect<short>& r) { imageRect_ = r; }
    bool HasImageWin() const { return !imageRect_.IsEmpty(); }
    KCRegisterInfo& GetRegisterInfo() { return registerInfo_; }
    KCStaticText* GetLabelWin() const { return label_; }
    KCStaticText* GetUnitsWin() const { return units_; }
    KCStaticText* GetValueWin() const { return value_; }
    void SetTextWins(KCStaticText* label, KCStaticText* units, KCStaticText* value) {
        label_ = label;
        units_ = units;
        value_ = value;
    }

private:
    uint32_t word_ = 0;
    double d1_ = 0, d2_ = 0;
    uint32_t paramID_;
    bool updateController_;
    double fixedState_ = 0;
    KURect<short> imageRect_;
    KCRegisterInfo registerInfo_;
    KCStaticText* label_ = nullptr;
    KCStaticText* units_ = nullptr;
    KCStaticText* value_ = nullptr;
    uint32_t word2_ = 0;
};

// A text on the editor, drawn in its rectangle with its colour.
class QGL_API KCStaticText : public kvXML::CXMLable, public CDrawable {
public:
    // Out of line: the background image's type stays inside this library.
    KCStaticText();
    KCStaticText(const KCStaticText& other);
    KCStaticText& operator=(const KCStaticText& other);
    ~KCStaticText() override;

    ETextJustification GetJustification() const { return justification_; }
    void SetJustification(ETextJustification j) {
        justification_ = j;
        layout_ = true;
    }
    KCRGBAColor GetTextColor() const { return color_; }
    void SetTextColor(const KCRGBAColor& c) { color_ = c; }
    KCFontInfo& GetFontInfo() { return font_; }
    const KCFontInfo& GetFontInfo() const { return font_; }
    // Takes the font's size, name, style, ascent, quality and size type.
    void SetFontInfo(const KCFontInfo& font);
    // Shows `text` only when it differs from the text shown (the whole text
    // is compared); true when it changed.
    bool SetText(const std::string& text);
    const std::string& GetText() const { return text_; }
    bool IsShowOnHover() const { return showOnHover_; }
    bool NeedsLayout() const { return layout_; }
    // Where the text lies in the drawable rectangle, placed by its
    // justification at the last draw (empty before it).
    const KURect<short>& GetTextRect() const { return textRect_; }
    // The image drawn behind the text at the rectangle's top-left corner
    // (none: not valid).
    CKVImage& GetBackgroundImage() { return background_; }
    void SetBackgroundImage(short resID) { background_.SetResID(resID); }
    // The background image, then the text in its colour and font (the
    // manager's font when it has none of its own).
    void Draw(CGraphicManagerAbs& gm);

private:
    // Places the text rectangle for `font`.
    void Layout(const KCFontInfo& font);

    ETextJustification justification_ = eTextJustificationLeft;
    KCRGBAColor color_{255, 255, 255, 255};
    KCFontInfo font_;
    std::string text_;
    bool layout_ = false;
    KURect<short> textRect_;
    CKVImage background_;
    bool showOnHover_ = false;
};

class QGL_API KCSelectionTextWin : public KCStaticText {
public:
    void SetSelectedText(int32_t start, int32_t end) {
        start_ = start;
        end_ = end;
    }
    bool IsSelection() const { return start_ != 0 && end_ != 0; }

private:
    int32_t start_ = 0;
    int32_t end_ = 0;
};

// What a host's automation needs of one control: the parameter it moves,
// its number of states and the control's automation reference values.
struct QGL_API ControllerAutomationInfoVer6 {
    uint32_t paramIndex = 0;
    double states = 0;
    int32_t refCon1 = 0;
    int32_t refCon2 = 0;
};

class QGL_API cControl_X : public CSelectable, public CDrawable, public KCMouseHover {
public:
    using ETranslateTextRetType = cALGORITHM::ETranslateTextRetType;

    cControl_X() = default;
    cControl_X(const cControl_X&) = default;
    cControl_X& operator=(const cControl_X&) = default;
    ~cControl_X() override = default;

    // The class name the layout uses ("Slider", "Toggle", ...).
    virtual const char* GetControlClass() const = 0;

    void SetAlgorithm(cALGORITHM* alg) { alg_ = alg; }
    cALGORITHM* GetAlgorithm() const { return alg_; }
    // Binds a parameter; the first bound one leads.
    void RegisterParam(uint32_t param);
    std::vector<KCParamRegistrationData>& GetParamDataVec() { return params_; }
    const std::vector<KCParamRegistrationData>& GetParamDataVecConst() const { return params_; }
    std::vector<unsigned long> GetParamIndices() const;
    uint32_t GetLeadParamIndex() const { return lead_; }
    int32_t GetAutomationRefCon1() const { return refCon1_; }
    int32_t GetAutomationRefCon2() const { return refCon2_; }
    // The host's automation reference values for the control.
    void SetAutomationRefCons(long refCon1, long refCon2) {
        refCon1_ = static_cast<int32_t>(refCon1);
        refCon2_ = static_cast<int32_t>(refCon2);
    }
    // Chosen by the editor's drag-select; a selected control is outlined.
    void SetSelected(bool on);
    bool IsSelected() const { return selected_; }
    // The host's automation highlight (`on`: the control is highlighted;
    // `touched`: the host is writing it): a highlighted control is outlined.
    void SetHighlightInfo(bool on, bool touched);
    bool IsHighlighted() const { return highlighted_; }
    // True when the control lies (in part) inside `r` (a drag-select).
    bool DoYouIntersect(const KURect<short>& r) const { return DoYouIntersectSelf(r, nullptr); }
    void AddDependentPtr(cControl_X* c) { dependents_.push_back(c); }
    void ClearDependentsList() { dependents_.clear(); }
    const std::vector<cControl_X*>& GetDependents() const { return dependents_; }
    bool IsChild() const { return flags_ & (1u << 4); }
    KURect<short> GetGeneralRect1() const { return general1_; }
    KURect<short> GetGeneralRect2() const { return general2_; }
    // Images by resource number: the control's frames (a strip of equal
    // frames stacked vertically, or one image per state).
    void SetImages(const std::vector<short>& numbers) { imageNumbers_ = numbers; }
    const std::vector<short>& GetImages() const { return imageNumbers_; }
    bool IsReadOnly() const { return readOnly_; }
    void SetReadOnly(bool r) { readOnly_ = r; }

    bool IsDisabled() const { return disabled_ != 0; }
    bool IsPointInside(const KCPoint<short>& p) const { return IsPointInsideSelf(p, nullptr); }
    // Draws the control (and its outline when it is selected or
    // highlighted) and remembers what it showed.
    void Draw(CGraphicManagerAbs& gm);
    // True when what the control would show differs from what it showed at
    // its last draw (its parameters' states, disabled modes and images, its
    // hover state, and what its class adds), or it was asked to redraw.
    bool NeedsRedraw();
    // The lead parameter's state in the active setup, and its number of
    // states (1001 for continuous scales).
    double LeadState() const;
    double LeadStates() const;
    // The same for the parameter registered at `slot` (0 is the lead).
    double StateAt(size_t slot) const;
    double StatesAt(size_t slot) const;

    // The virtual operations below keep the order of the family's slots
    // (public and protected ones interleaved as the slots are).
    virtual void SetSelectionSelf() {}
    virtual void FinishCreate(CGraphicManagerAbs& gm);

protected:
    virtual void FinishCreateSelf() {}

public:
    virtual kvXML::CXMLElement* WriteToXMLSelf(kvXML::CXMLElement* parent, cALGORITHM*) const {
        return parent;
    }
    virtual void ReadFromXMLSelf(const kvXML::CXMLElement*, cALGORITHM*) {}
    virtual void Move(int dx, int dy);
    // Grows (or shrinks) the control by `dw` and `dh` pixels.
    virtual void Resize(int dw, int dh);
    virtual KURect<short> GetBounds() const { return GetDrawableRect(); }

protected:
    virtual void GetValueRectSelf(KURect<short>) {}

public:
    // The lead parameter's value as text; false when it has none.
    virtual bool GetValueWinText(std::string* text);
    virtual bool CanEnterText() { return false; }
    virtual unsigned long WhichParamIndexCanEnterText() { return lead_; }
    virtual bool GetControlAutomationInfo(ControllerAutomationInfoVer6* info);
    // Automation values run from 0 to 1 over the lead parameter's states.
    virtual void SetControllerValueSelf(double value);
    virtual void TranslateController(double value, std::string& text);

protected:
    virtual bool IsPointInsideSelf(const KCPoint<short>& p, KCEventData*) const;
    virtual bool DoYouIntersectSelf(const KURect<short>& r, KCEventData*) const;

public:
    // A disabled control draws and takes no gestures.
    virtual void UpdateDisabledMode(unsigned long mode);
    virtual void SetDisabled() { UpdateDisabledMode(1); }
    virtual void ClearDisabled() { UpdateDisabledMode(0); }

protected:
    virtual KURect<short> GetSelectionBitmapRect() { return GetDrawableRect(); }
    // A selected control is outlined.
    virtual void DrawDefaultSelectionLevel(CGraphicManagerAbs& gm, const KURect<short>& r);
    virtual void DrawSelectionBitmap(CGraphicManagerAbs& gm) {
        DrawDefaultSelectionLevel(gm, GetSelectionBitmapRect());
    }

public:
    virtual void DrawSelf(CGraphicManagerAbs& gm);
    virtual void UpdatePointerSelf(unsigned long) {}
    // The control shows no cursor of its own: `changed` is set false.
    virtual void ChangeCursor(KCEventData*, bool, bool* changed) {
        if (changed)
            *changed = false;
    }
    virtual BUFFER_HEADER* DoControlPopupMenuSelf(KCEventData*) { return nullptr; }
    // The pointer over (or off) the control: its hover state, then its
    // MouseOverSelf; `redraw` tells whether the hover state changed.
    virtual BUFFER_HEADER* MouseOver(KCEventData* e, bool inside, bool* redraw);
    // Gestures, each through its protected hook, returning the hook's
    // buffers (the library's controls send through the algorithm's update
    // path and return null).
    virtual BUFFER_HEADER* MouseDown(KCEventData* e, KURect<double>* r, bool& handled);
    virtual BUFFER_HEADER* MouseDrag(KCEventData* e, double dx, double dy, KURect<double>* r);
    virtual BUFFER_HEADER* MouseUp(KCEventData* e);
    // The wheel over the control: its MouseWheelSelf (default: nothing).
    virtual BUFFER_HEADER* MouseWheel(KCEventData* e, double dx, double dy, KURect<double>* r);
    // Types a value as text into the lead parameter (through its
    // EnterTextSelf): eTranslateValid when it was taken.
    virtual BUFFER_HEADER* EnterText(const std::string& text, ETranslateTextRetType& result);
    virtual BUFFER_HEADER* Key(KCEventData* e, bool& handled);

protected:
    virtual BUFFER_HEADER* MouseDownSelf(KCEventData*, KURect<double>*, bool&) { return nullptr; }
    virtual BUFFER_HEADER* MouseDragSelf(KCEventData*, double, double, KURect<double>*) {
        return nullptr;
    }
    virtual BUFFER_HEADER* MouseUpSelf(KCEventData*) { return nullptr; }
    // Arrow keys step the lead parameter by one state.
    virtual BUFFER_HEADER* KeySelf(KCEventData* e, bool& handled);
    // 1 for the up and right arrows, -1 for down and left, else 0.
    static double ArrowStep(const KCEventData* e);
    void SetLeadState(double state);
    // Sets the state of the parameter registered at `slot`, clamped into
    // its states; redraws the control and its dependents on a change.
    void SetStateAt(size_t slot, double state);
    virtual BUFFER_HEADER* MouseWheelSelf(KCEventData*, double, double, KURect<double>*) {
        return nullptr;
    }
    virtual BUFFER_HEADER* MouseOverSelf(KCEventData*, bool) { return nullptr; }
    // The lead parameter takes the text through the algorithm's translation.
    virtual BUFFER_HEADER* EnterTextSelf(const std::string& text, ETranslateTextRetType& result);
    void* Image(size_t i) const { return i < images_.size() ? images_[i] : nullptr; }
    double DownState() const { return downState_; }
    // What the control shows, as numbers compared bit for bit between idle
    // ticks; a class that shows more than its parameters' states adds it.
    virtual void AppendShown(std::vector<double>& out) const;
    // Runs the lead parameter's update once more (its value goes out again).
    void ResendLeadState();
    // The lead parameter's record, null without one.
    const sCONTROL_PARAM* LeadParam() const;

private:
    cALGORITHM* alg_ = nullptr;
    std::vector<KCParamRegistrationData> params_;
    int32_t refCon1_ = 0;
    int32_t refCon2_ = 0;
    uint32_t lead_ = 0;
    std::vector<cControl_X*> dependents_;
    std::vector<short> imageNumbers_;
    std::vector<void*> images_; // owned by the graphic manager
    uint32_t flags_ = 0;
    KURect<short> general1_;
    KURect<short> general2_;
    bool readOnly_ = false;
    bool selected_ = false;
    bool highlighted_ = false;
    bool touched_ = false;
    uint32_t disabled_ = 0;
    double downState_ = 0;
    std::vector<double> shown_;   // at the last draw
    std::vector<double> current_; // scratch of NeedsRedraw
};

// A fader: the drag runs along the long side; drawn as a frame of its
// strip image chosen by the state, or as a track and a thumb.
class QGL_API CSlider_X : public cControl_X {
public:
    const char* GetControlClass() const override { return "Slider"; }
    void DrawSelf(CGraphicManagerAbs& gm) override;
    // Places the thumb for the lead parameter's state: `thumb` holds its
    // size on entry (empty: the default 6 pixels across the track) and its
    // place in the control on return; the slider draws it there.
    virtual void SetThumbRect(KURect<short>& thumb);
    const KURect<short>& GetThumbRect() const { return thumb_; }

protected:
    BUFFER_HEADER* MouseDragSelf(KCEventData* e, double dx, double dy, KURect<double>* r) override;
    // The release ends the drag where the pointer is and sends the value
    // once more, so that the device holds the value shown.
    BUFFER_HEADER* MouseUpSelf(KCEventData* e) override;

private:
    KURect<short> thumb_;
};

// Steps through its states on a click; images are one per state.
class QGL_API CToggle_X : public cControl_X {
public:
    const char* GetControlClass() const override { return "Toggle"; }
    void DrawSelf(CGraphicManagerAbs& gm) override;

protected:
    BUFFER_HEADER* MouseDownSelf(KCEventData* e, KURect<double>* r, bool& handled) override;
};

// A menu of the parameter's states: a click opens a pop-up menu at the
// control over the editor's window, and the chosen item's command becomes
// the state. Its items are those set with AppendPopupItem (the item tree of
// getMenuData), else one per state titled by the parameter's text; the
// current state is checked. Without a window nothing opens.
class QGL_API CPopup_X : public cControl_X {
public:
    CPopup_X();
    CPopup_X(const CPopup_X& other);
    CPopup_X& operator=(const CPopup_X& other);
    ~CPopup_X() override;

    const char* GetControlClass() const override { return "Popup"; }
    void DrawSelf(CGraphicManagerAbs& gm) override;
    // Empties the item tree (the menu then lists the states).
    virtual void ClearPopupItems();
    void AppendPopupItem(const std::string& title, short command, bool disabled = false);
    // Makes the pop-up menu from the item tree (or the states), the
    // current state checked; 0.
    virtual long CreatePopUpMenu();
    // Opens the menu made by CreatePopUpMenu at `where` (client coordinates
    // of `window`): 0 with `selection` the chosen command, else non-zero
    // with `selection` -1.
    virtual long ActivatePopUpMenu(const KCWindow& window, const KCPoint<short>& where,
                                   long& selection);
    KCMenuData& getMenuData() { return *items_; }
    const KCMenuData& getMenuData() const { return *items_; }
    KCMenuEx& GetPopupMenu() { return menu_; }
    // The window the menu opens over (not owned; null: none).
    void SetMenuWindow(KCWindow* w) { menuWindow_ = w; }

protected:
    BUFFER_HEADER* MouseDownSelf(KCEventData* e, KURect<double>* r, bool& handled) override;
    // A drag changes nothing.
    BUFFER_HEADER* MouseDragSelf(KCEventData*, double, double, KURect<double>*) override {
        return nullptr;
    }

private:
    std::unique_ptr<KCMenuData> items_;
    KCMenuEx menu_;
    KCWindow* menuWindow_ = nullptr;
};

// Pressed while the mouse is down (state 1), released on mouse-up (0).
class QGL_API CButton_X : public cControl_X {
public:
    const char* GetControlClass() const override { return "Button"; }
    void DrawSelf(CGraphicManagerAbs& gm) override;

protected:
    BUFFER_HEADER* MouseDownSelf(KCEventData* e, KURect<double>* r, bool& handled) override;
    BUFFER_HEADER* MouseUpSelf(KCEventData* e) override;
};

// A level bar; it takes no gestures.
class QGL_API CVuMeter_X : public cControl_X {
public:
    CVuMeter_X() { SetReadOnly(true); }
    const char* GetControlClass() const override { return "VuMeter"; }
    void DrawSelf(CGraphicManagerAbs& gm) override;

protected:
    // A meter never takes part in a drag-select.
    bool DoYouIntersectSelf(const KURect<short>&, KCEventData*) const override { return false; }
    BUFFER_HEADER* MouseDragSelf(KCEventData*, double, double, KURect<double>*) override {
        return nullptr;
    }
};

// The lead parameter's value text, or its label text (a parameter that is
// only a label).
class QGL_API CText_X : public cControl_X {
public:
    CText_X() { SetReadOnly(true); }
    const char* GetControlClass() const override { return "Text"; }
    void DrawSelf(CGraphicManagerAbs& gm) override;
    KCStaticText& GetTextWin() { return text_; }
    void SetShowsLabel(bool on) { showsLabel_ = on; }

protected:
    void AppendShown(std::vector<double>& out) const override;

private:
    // The text the control shows now; false without a parameter.
    bool ShownText(std::string& text) const;

    KCStaticText text_;
    bool showsLabel_ = false;
};

class CMarker_X;

// A control that owns draggable markers (not owned: the editor owns every
// control). Markers tell their home when they move, take the focus or are
// let go; the home keeps the markers inside its bounds rectangle.
class QGL_API KCMarkerHome {
public:
    KCMarkerHome() = default;
    KCMarkerHome(const KCMarkerHome&) = default;
    KCMarkerHome& operator=(const KCMarkerHome&) = default;
    virtual ~KCMarkerHome() = default;

    virtual void UpdateMarkersRelease(CMarker_X* marker, bool changed);
    // Asks for the home to be drawn again (default: nothing).
    virtual void RequestGraphicRefresh() {}
    virtual void UpdateMarkersFocus(CMarker_X* marker, bool focus);
    // A marker moved to a position in parameter states (x, y).
    virtual void UpdateMarkersPosition(CMarker_X* marker, double x, double y);
    // A marker moved to a point of the editor.
    virtual void UpdateMarkersPosition(CMarker_X* marker, KCPoint<short> point);
    virtual void UpdateMarkersKey(CMarker_X* marker, KEKeyCode key, bool& handled);
    // Numbers the markers by their place in the list.
    virtual void UpdateMarkersIndex();
    virtual void SetMasterMarker(long index) { master_ = static_cast<int32_t>(index); }
    virtual long GetMasterMarker() { return master_; }

    const KURect<short>& GetBoundsRect() const { return bounds_; }
    void SetBoundsRect(const KURect<short>& r) { bounds_ = r; }
    // Adds a marker (not owned) and makes this its home.
    void AddMarker(CMarker_X* marker);
    // Forgets every marker (the markers are not touched).
    void ClearMarkers() { markers_.clear(); }
    const std::vector<CMarker_X*>& GetMarkers() const { return markers_; }

private:
    uint32_t word1_ = 0;
    bool flag_ = false;
    int32_t master_ = -1;
    KURect<short> bounds_;
    std::vector<CMarker_X*> markers_;
};

// A marker inside its home's bounds: its first parameter runs along the
// width, its second (when it has one) along the height, bottom to top; a
// drag moves it and its parameters.
class QGL_API CMarker_X : public cControl_X {
public:
    const char* GetControlClass() const override { return "Marker"; }
    long GetIndex() const { return index_; }
    void SetIndex(long i) { index_ = static_cast<int32_t>(i); }
    void SetMarkerHome(KCMarkerHome* home) { home_ = home; }
    KCMarkerHome* GetMarkerHome() const { return home_; }
    // Places the control's rectangle at its parameters' position in the
    // home's bounds.
    virtual void UpdateControlRect();
    // The marker's size: its rectangle's as laid out, at least 6 x 6.
    virtual KCPoint<short> CalcMarkerSize();
    void DrawSelf(CGraphicManagerAbs& gm) override;

protected:
    BUFFER_HEADER* MouseDownSelf(KCEventData* e, KURect<double>* r, bool& handled) override;
    BUFFER_HEADER* MouseDragSelf(KCEventData* e, double dx, double dy, KURect<double>* r) override;
    BUFFER_HEADER* MouseUpSelf(KCEventData* e) override;
    BUFFER_HEADER* KeySelf(KCEventData* e, bool& handled) override;
    void AppendShown(std::vector<double>& out) const override;

private:
    // The marker's centre for the states (x, y) in the home's bounds.
    KCPoint<short> PointOf(double x, double y) const;

    int32_t index_ = 0;
    KCMarkerHome* home_ = nullptr;
    KCPoint<short> size_;
    double downX_ = 0;
    double downY_ = 0;
};

// One of several buttons side by side along the long side: a click on the
// n-th selects state n; images are one per state (the chosen one shows).
class QGL_API CRadioButton_X : public cControl_X {
public:
    const char* GetControlClass() const override { return "RadioButton"; }
    void DrawSelf(CGraphicManagerAbs& gm) override;
    // The rectangle of the button of `state`.
    KURect<short> ButtonRect(long state) const;

protected:
    BUFFER_HEADER* MouseDownSelf(KCEventData* e, KURect<double>* r, bool& handled) override;
};

// The lead parameter's value as digits in a box; text can be typed into it.
class QGL_API CDigitDisplay_X : public cControl_X {
public:
    const char* GetControlClass() const override { return "DigitDisplay"; }
    void DrawSelf(CGraphicManagerAbs& gm) override;
    // The value text shown (empty without a parameter).
    bool GetValueWinText(std::string* text) override;
    bool CanEnterText() override { return true; }

protected:
    void AppendShown(std::vector<double>& out) const override;
};

// Steps the lead parameter up (upper or right half) or down (the other
// half) on a click, and again and again while the mouse stays down.
class QGL_API CIncDec : public CToggle_X, public KCTimer {
public:
    CIncDec();
    CIncDec(const CIncDec& other);
    CIncDec& operator=(const CIncDec& other);
    const char* GetControlClass() const override { return "IncDec"; }
    void DrawSelf(CGraphicManagerAbs& gm) override;
    // One step in the direction of the press.
    virtual void UpdateValue();
    void YourCallbackFunc() override;
    int GetDirection() const { return direction_; }

protected:
    BUFFER_HEADER* MouseDownSelf(KCEventData* e, KURect<double>* r, bool& handled) override;
    BUFFER_HEADER* MouseDragSelf(KCEventData* e, double dx, double dy, KURect<double>* r) override {
        return nullptr;
    }
    BUFFER_HEADER* MouseUpSelf(KCEventData* e) override;

private:
    int direction_ = 0;
    int repeats_ = 0;
};

// A left and a right parameter (the first two registered) with a channel
// selector along the top (Left, Right, Both): a click on the bars sets the
// selected channel to the height clicked, or moves both by the same amount
// when both are selected (linked). A drag changes nothing.
class QGL_API CLRB_X : public cControl_X {
public:
    enum : short { kLeft = 0, kRight = 1, kBoth = 2 };
    const char* GetControlClass() const override { return "LRB"; }
    short GetCurrentChan() const { return channel_; }
    bool AreBothChannelsLinked() const { return channel_ == kBoth; }
    void SetCurrentChan(short channel);
    void DrawSelf(CGraphicManagerAbs& gm) override;
    // The selector button of a channel.
    KURect<short> SelectorRect(short channel) const;

protected:
    BUFFER_HEADER* MouseDownSelf(KCEventData* e, KURect<double>* r, bool& handled) override;
    // A drag changes nothing.
    BUFFER_HEADER* MouseDragSelf(KCEventData*, double, double, KURect<double>*) override {
        return nullptr;
    }
    void AppendShown(std::vector<double>& out) const override;

private:
    short channel_ = kBoth;
};

// One field per registered parameter, side by side, each showing its
// value; a click selects a field (with Shift it adds or removes one), and
// the arrow keys step every selected field.
class QGL_API X_CMultiField : public cControl_X {
public:
    const char* GetControlClass() const override { return "MultiField"; }
    void DrawSelf(CGraphicManagerAbs& gm) override;
    size_t GetNumFields() const { return GetParamDataVecConst().size(); }
    const std::vector<int32_t>& GetSelectedFields() const { return selected_; }
    KURect<short> FieldRect(size_t field) const;

protected:
    BUFFER_HEADER* MouseDownSelf(KCEventData* e, KURect<double>* r, bool& handled) override;
    BUFFER_HEADER* KeySelf(KCEventData* e, bool& handled) override;
    bool AreAllFieldsSelected() const { return selected_.size() == GetNumFields(); }
    void AppendShown(std::vector<double>& out) const override;

private:
    std::vector<int32_t> selected_;
};

// A scroll bar: a thumb whose length is the track's share of one state
// step and more; dragging it, or a click beside it, moves the state.
class QGL_API CScroller : public cControl_X {
public:
    const char* GetControlClass() const override { return "Scroller"; }
    void DrawSelf(CGraphicManagerAbs& gm) override;
    const KURect<short>& GetThumb() const { return thumb_; }
    void UpdatePointerSelf(unsigned long) override;

protected:
    BUFFER_HEADER* MouseDownSelf(KCEventData* e, KURect<double>* r, bool& handled) override;
    BUFFER_HEADER* MouseDragSelf(KCEventData* e, double dx, double dy, KURect<double>* r) override;

private:
    KURect<short> thumb_;
};

// A control that shows graph primitives (owned) over a background.
class QGL_API KCGraph : public cControl_X, public KCMarkerHome {
public:
    // Out of line: the background image's type stays inside this library.
    KCGraph();
    ~KCGraph() override;
    KCGraph(const KCGraph& o);
    KCGraph& operator=(const KCGraph& o);
    const char* GetControlClass() const override { return "Graph"; }
    void AddPrimitive(std::unique_ptr<KCGraphData> primitive);
    // Feeds the first primitive, before each draw, from the lead
    // parameter's graph points of the active setup: `bottom` at the
    // rectangle's bottom, `top` at its top.
    void SetGraphFeed(double bottom, double top) {
        feedBottom_ = bottom;
        feedTop_ = top;
        fed_ = top != bottom;
    }
    std::vector<std::unique_ptr<KCGraphData>>& GetPrimitives() { return primitives_; }
    void FinishCreate(CGraphicManagerAbs& gm) override;
    void DrawSelf(CGraphicManagerAbs& gm) override;
    // Draws the controls that depend on the graph (its markers) after it.
    virtual void DrawDependents(CGraphicManagerAbs& gm);
    // Draws the background: the background image, else a dark fill.
    virtual void EraseBG(CGraphicManagerAbs& gm);
    // The whole graph is drawn again.
    void RequestGraphicRefresh() override { SetRefresh(); }
    void SetBackgroundImage(short resID) { background_.SetResID(resID); }

protected:
    // A graph never takes part in a drag-select.
    bool DoYouIntersectSelf(const KURect<short>&, KCEventData*) const override { return false; }
    void AppendShown(std::vector<double>& out) const override;
    // The value at the rectangle's bottom and top.
    double FeedBottom() const { return feedBottom_; }
    double FeedTop() const { return feedTop_; }
    virtual void Feed();

private:
    std::vector<std::unique_ptr<KCGraphData>> primitives_;
    double feedBottom_ = 0;
    double feedTop_ = 0;
    bool fed_ = false;
    CKVImage background_;
};

// A graph that zooms: the wheel narrows (up) or widens (down) the shown
// range of values around the value under the pointer; a double click shows
// the whole range again. Its markers' refresh redraws the whole graph.
class QGL_API KCZoomVerticesGraph : public KCGraph {
public:
    KCZoomVerticesGraph() { SetReadOnly(false); }
    const char* GetControlClass() const override { return "ZoomGraph"; }
    // The shown part of the full range: left..right 0..1 across, bottom
    // (top field) .. top (bottom field) as fractions of the value range.
    const KURect<double>& GetZoom() const { return zoom_; }
    void SetZoom(double bottom, double top);
    void ResetZoom() { SetZoom(0, 1); }
    void RequestGraphicRefresh() override { SetRefresh(); }

protected:
    BUFFER_HEADER* MouseWheelSelf(KCEventData* e, double dx, double dy, KURect<double>* r) override;
    BUFFER_HEADER* MouseDownSelf(KCEventData* e, KURect<double>* r, bool& handled) override;
    void Feed() override;
    void AppendShown(std::vector<double>& out) const override;

private:
    KURect<double> zoom_{1.0, 0.0, 0.0, 1.0};
};

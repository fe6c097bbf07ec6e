// The editor's controls: each is bound to one or more parameters of the
// algorithm, draws itself through the graphic manager, and turns mouse and
// key gestures into parameter states through the algorithm's update path.
// A drag maps the mouse movement along the control's long side onto the
// lead parameter's states (0..1000 for continuous scales), from the state
// it had at mouse-down, so a drag past either end stops at the scale's end.
#pragma once

#include "foundation/KURect.h"
#include "guilib/GraphData.h"
#include "guilib/MenuEx.h"
#include "guilib/QGLExport.h"
#include "ui/KCWindow.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

class cALGORITHM;
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
    int32_t GetMinSelection() const { return minSelection_; }
    int32_t GetMaxSelection() const { return maxSelection_; }

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
    ETextJustification GetJustification() const { return justification_; }
    void SetJustification(ETextJustification j) {
        justification_ = j;
        layout_ = true;
    }
    KCRGBAColor GetTextColor() const { return color_; }
    void SetTextColor(const KCRGBAColor& c) { color_ = c; }
    // Shows `text` only when it differs from the text shown (the whole text
    // is compared); true when it changed.
    bool SetText(const std::string& text);
    const std::string& GetText() const { return text_; }
    bool IsShowOnHover() const { return showOnHover_; }
    bool NeedsLayout() const { return layout_; }
    void Draw(CGraphicManagerAbs& gm);

private:
    ETextJustification justification_ = eTextJustificationLeft;
    KCRGBAColor color_{255, 255, 255, 255};
    std::string text_;
    bool layout_ = false;
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

class QGL_API cControl_X : public CSelectable, public CDrawable, public KCMouseHover {
public:
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
    std::vector<unsigned long> GetParamIndices() const;
    uint32_t GetLeadParamIndex() const { return lead_; }
    int32_t GetAutomationRefCon1() const { return refCon1_; }
    int32_t GetAutomationRefCon2() const { return refCon2_; }
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

    virtual void FinishCreate(CGraphicManagerAbs& gm);
    virtual KURect<short> GetBounds() const { return GetDrawableRect(); }
    virtual void Move(int dx, int dy);
    bool IsPointInside(const KCPoint<short>& p) const;

    void Draw(CGraphicManagerAbs& gm);
    virtual void DrawSelf(CGraphicManagerAbs& gm);
    virtual void UpdatePointerSelf(unsigned long) {}

    // Gestures: the update goes through the algorithm's update path (the
    // algorithm hands the frames on), so each returns null.
    BUFFER_HEADER* MouseDown(KCEventData* e, KURect<double>* r, bool& handled);
    BUFFER_HEADER* MouseDrag(KCEventData* e, double dx, double dy, KURect<double>* r);
    BUFFER_HEADER* MouseUp(KCEventData* e);
    BUFFER_HEADER* Key(KCEventData* e, bool& handled);
    void MouseOver(bool inside) { setHoverState(inside ? 1 : 0); }

    // The lead parameter's state in the active setup, and its number of
    // states (1001 for continuous scales).
    double LeadState() const;
    double LeadStates() const;

protected:
    virtual void MouseDownSelf(KCEventData*, KURect<double>*, bool&) {}
    virtual void MouseDragSelf(KCEventData*, double, double, KURect<double>*) {}
    virtual void MouseUpSelf(KCEventData*) {}
    // Arrow keys step the lead parameter by one state.
    virtual void KeySelf(KCEventData* e, bool& handled);
    void SetLeadState(double state);
    void* Image(size_t i) const { return i < images_.size() ? images_[i] : nullptr; }
    double DownState() const { return downState_; }

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
    double downState_ = 0;
};

// A fader: the drag runs along the long side; drawn as a frame of its
// strip image chosen by the state, or as a track and a thumb.
class QGL_API CSlider_X : public cControl_X {
public:
    const char* GetControlClass() const override { return "Slider"; }
    void DrawSelf(CGraphicManagerAbs& gm) override;

protected:
    void MouseDragSelf(KCEventData* e, double dx, double dy, KURect<double>* r) override;
};

// Steps through its states on a click; images are one per state.
class QGL_API CToggle_X : public cControl_X {
public:
    const char* GetControlClass() const override { return "Toggle"; }
    void DrawSelf(CGraphicManagerAbs& gm) override;

protected:
    void MouseDownSelf(KCEventData* e, KURect<double>* r, bool& handled) override;
};

// A menu of the parameter's states: a click opens it at the control (its
// items: those set with AppendPopupItem, else one per state, titled by the
// parameter's text) and the chosen item's command becomes the state. Without
// a window to open it over, a click selects the next state.
class QGL_API CPopup_X : public CToggle_X {
public:
    const char* GetControlClass() const override { return "Popup"; }
    void DrawSelf(CGraphicManagerAbs& gm) override;
    void ClearPopupItems() { menu_.Clear(); }
    void AppendPopupItem(const std::string& title, short command, bool disabled = false) {
        menu_.Append(title, command, false, disabled);
    }
    KCMenuEx& GetPopupMenu() { return menu_; }
    // The window the menu opens over (not owned; null: none).
    void SetMenuWindow(KCWindow* w) { menuWindow_ = w; }

protected:
    void MouseDownSelf(KCEventData* e, KURect<double>* r, bool& handled) override;

private:
    KCMenuEx menu_;
    KCWindow* menuWindow_ = nullptr;
};

// Pressed while the mouse is down (state 1), released on mouse-up (0).
class QGL_API CButton_X : public cControl_X {
public:
    const char* GetControlClass() const override { return "Button"; }
    void DrawSelf(CGraphicManagerAbs& gm) override;

protected:
    void MouseDownSelf(KCEventData* e, KURect<double>* r, bool& handled) override;
    void MouseUpSelf(KCEventData* e) override;
};

// A level bar; it takes no gestures.
class QGL_API CVuMeter_X : public cControl_X {
public:
    CVuMeter_X() { SetReadOnly(true); }
    const char* GetControlClass() const override { return "VuMeter"; }
    void DrawSelf(CGraphicManagerAbs& gm) override;
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

private:
    KCStaticText text_;
    bool showsLabel_ = false;
};

// A control that shows graph primitives (owned) over a background.
class QGL_API KCGraph : public cControl_X {
public:
    KCGraph() { SetReadOnly(true); }
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

private:
    void Feed();

    std::vector<std::unique_ptr<KCGraphData>> primitives_;
    double feedBottom_ = 0;
    double feedTop_ = 0;
    bool fed_ = false;
};

// The plug-in editor: the controls built from the layout tree, the system
// bar's buttons, the undo stack, and the host's mouse, key and idle calls
// turned into control gestures and full redraws through the window's
// graphic manager.
//
// Layout tree: a root with Width, Height (the expanded view) and
// CollapsedHeight; one `Control` element per control with Class ("Slider",
// "Toggle", "Popup", "Button", "VuMeter", "Text", "Graph"), Params (indices
// separated by commas, the first leading), Rect ("top,left,bottom,right"),
// optional Images (resource numbers separated by commas) and Label (drawn
// above the control); a "Graph" draws its lead parameter's points as a line
// strip in Color ("r,g,b") over Range ("bottom,top"); a "Text" with
// Show="Label" shows the parameter's label text; ReadOnly="1" makes a control
// that takes no gestures. A `ToolBar` element holds
// one `Button` element per system-bar button (Name, Rect).
//
// Drawing: while a window is active the editor draws through a graphic
// manager of its own over that window (unless one was set with SetGM), with
// images from its resource container.
#pragma once

#include "foundation/KURect.h"
#include "foundation/XMLElement.h"
#include "guilib/Controls.h"
#include "guilib/QGLExport.h"
#include "guilib/SystemBar.h"
#include "guilib/Undo.h"

#include <memory>
#include <string>
#include <vector>

class cALGORITHM;
class CGraphicManagerAbs;
class KCWindow;
class KCEventData;
struct KTResContainerType;

// The selection group of the editor's controls: the controls that take the
// keyboard focus, in the order Tab walks them.
class QGL_API CSelectableHome {
public:
    virtual ~CSelectableHome() = default;
    void BuildSelectableList() { BuildSelectableListSelf(); }
    // Where Tab moves the focus: 1 forward, -1 back with Shift, 0 for any
    // other key.
    static int DirectionFromTabModifiers(const KCEventData* e);

protected:
    virtual void BuildSelectableListSelf() {}
};

// One button of the system bar: its name and rectangle.
struct QGL_API X_CToolbarButton {
    std::string name;
    KURect<short> rect;
};

class QGL_API CStandardGUI_X : public KCAlgorithmListener,
                               public KCSystemBarListener,
                               public CSelectableHome,
                               public kvXML::CXMLable,
                               public CDrawable {
public:
    explicit CStandardGUI_X(cALGORITHM* alg);
    CStandardGUI_X(const CStandardGUI_X&) = delete;
    CStandardGUI_X& operator=(const CStandardGUI_X&) = delete;
    ~CStandardGUI_X() override;

    // Builds the controls and the system bar from a layout tree; 0, or -1
    // for a tree that is not a layout (nothing is kept then).
    long ReadLayout(const kvXML::CXMLElement& root);
    // The layout from the 'XGUI' resource `number` of the resource
    // container; 0 or the error.
    long ReadLayoutResource(short number);
    void SetResContainer(KTResContainerType* container) { container_ = container; }
    KTResContainerType* GetResContainer() const { return container_; }
    KCPoint<short> GetViewSize() const { return viewSize_; }
    short GetCollapsedHeight() const { return collapsedHeight_; }

    // Answer of SetRefresh while there is no window to draw into.
    static constexpr long kNotReady = -3500;

    // Ties the editor to its algorithm (when it was made without one).
    virtual void InitDefaultGUI(cALGORITHM* alg);
    // Called once the host has made the editor; 0.
    virtual long FinishCreate(void* host);
    // Lets go of the window and the graphic manager before deletion.
    virtual void Dispose();
    virtual long PresetModified(long preset);

    virtual void SetPluginWindow(KCWindow* w) { window_ = w; }
    // Attaches the editor to the window and starts drawing into it.
    virtual void ActivateWindow(KCWindow* w);
    // Stops drawing (the window's context is still there).
    virtual void DeactivateWindow();
    // Null: the editor lets go of its window.
    virtual void SetWindow(KCWindow* w);
    // The editor's place inside the host's window.
    virtual void InitHatch(KURect<short>* rect);
    virtual void MoveHatch(KCPoint<short>* point);
    KURect<short> GetHatch() const { return hatch_; }

    // Host slots: with no window, no event is handled and nothing is drawn.
    virtual long DoMouseDown(void* host, KCEventData* e);
    virtual long DoMouseMove(void* host, KCEventData* e);
    virtual long DoMouseUp(void* host, KCEventData* e);
    virtual long DoMouseWheel(void* host, KCEventData* e);
    virtual long DoKeyDown(void* host, KCEventData* e, bool* handled);
    using CDrawable::SetRefresh;
    // Marks the editor for a redraw: 0, or kNotReady with no window.
    virtual long SetRefresh(KURect<short>* rect);
    // The expanded view from the layout; empty without a layout.
    virtual void GetViewRect(KURect<short>& out);
    // On a screen: a window is set.
    virtual bool IsVisible() const { return window_ != nullptr; }

    virtual long GetControlNameOfLength(long controller, long length, char* name);
    virtual long SetControllerValue(long controller, double value);
    virtual long SetAutomationRefCons(long controller, long refcon, long refcon2);
    virtual long SetControlHighlightInfo(long controller, bool a, bool b);
    // The editor's own text for a control's value (empty: none).
    virtual long TranslateController(long controller, double value, std::string& text);

    KCWindow* GetPluginWindow() const { return window_; }
    // The image of the about box: the 'PNG ' resource named by the layout's
    // "About" attribute (none: not valid).
    CKVImage* GetAboutImage() { return &aboutImage_; }
    KTResContainerType* GetPluginResourceRef() const { return container_; }
    // The controls that take the focus (not read-only, not hidden), made
    // again from the controls.
    void BuildSelectableList() { CSelectableHome::BuildSelectableList(); }
    const std::vector<cControl_X*>& GetSelectableList() const { return selectable_; }
    cControl_X* GetFocus() const { return focus_; }
    virtual long GetNumControllers() const { return static_cast<long>(controls_.size()); }
    cControl_X* GetControl(size_t i) const {
        return i < controls_.size() ? controls_[i].get() : nullptr;
    }
    // The first control bound to `param`, or null.
    cControl_X* FindControlForParam(unsigned long param) const;
    const std::vector<X_CToolbarButton>& GetToolbarButtons() const { return toolbar_; }
    cALGORITHM* GetAlg() const { return alg_; }
    kvUndo::KTUndoManagerType* GetUndoManagerRef() { return &undo_; }
    void SetGM(CGraphicManagerAbs* gm);
    CGraphicManagerAbs* GetGM() const { return gm_; }
    const X_CToolbarButton* GetPressedToolbarButton() const { return pressed_; }
    void ResetPressedToolbarButtonMember() { pressed_ = nullptr; }
    void SetDragSelect(bool on) { dragSelect_ = on; }
    void SetEmbededGraphicManager(bool on) { embeddedGM_ = on; }

    // Host calls (coordinates are the editor's). Each returns 0.
    long DoMouseDown(KCEventData* e);
    long DoMouseMove(KCEventData* e);
    long DoMouseUp(KCEventData* e);
    long DoKey(KCEventData* e, bool& handled);
    // Redraws what changed since the last draw, once: nothing when nothing
    // changed; the area of the changed controls (with every control that
    // overlaps it) when that is small; else the whole editor.
    virtual void DoIdle();
    // A part of the editor to redraw at the next idle call (editor
    // coordinates).
    void SetRefresh(const KURect<short>& rect) override;
    // The draws made so far, and the area of the last one (the whole view
    // for a full redraw).
    uint64_t GetRedrawCount() const { return redrawCount_; }
    const KURect<short>& GetLastRedrawArea() const { return lastRedrawArea_; }

    // System bar hooks the editor serves itself.
    void System_ExecuteUndo(unsigned short count) override;
    void System_ExecuteRedo(unsigned short count) override;
    // A plug-in button: handed to the algorithm.
    void System_ExecutePluginSpecific(const std::string& name) override;
    // The preset menus of the algorithm's preset manager, at `where`.
    void System_ExecuteLoadPreset(KCPoint<short> where) override;
    void System_ExecuteSavePreset(KCPoint<short> where) override;
    void System_ExecuteNextPreset() override;
    void System_ExecutePrevPreset() override;

protected:
    // Makes a control of a layout class; null for an unknown class. A
    // derived editor adds its own classes.
    virtual std::unique_ptr<cControl_X> CreateControl(const std::string& className);
    // Draws what lies behind the controls in `area` (editor coordinates;
    // drawing is limited to it): default a dark fill.
    virtual void DrawBackground(CGraphicManagerAbs& gm, const KURect<short>& area);
    void BuildSelectableListSelf() override;

private:
    void ExecuteToolbarButton(const X_CToolbarButton& button);
    void ReleaseOwnGM();
    // The window the menu controls open over.
    void SetPopupWindow(KCWindow* w);
    void DrawLabels(CGraphicManagerAbs& gm, const KURect<short>& area);
    // The area to redraw now: empty for none; `whole` for the whole view.
    KURect<short> ChangedArea(bool& whole);
    void Redraw(const KURect<short>& area, bool whole);
    const X_CToolbarButton* ToolbarButtonAt(const KCPoint<short>& p) const;
    cControl_X* ControlAt(const KCPoint<short>& p) const;
    // Moves the focus along the selectable list; true when it moved.
    bool MoveFocus(int direction);
    // Gives each marker the graph it sits on as its home.
    void AttachMarkers();
    void AfterPresetChange();
    void FinishGesture();

    cALGORITHM* alg_;
    std::vector<std::unique_ptr<cControl_X>> controls_;
    std::vector<X_CToolbarButton> toolbar_;
    kvUndo::KCUndoManager undo_;
    std::unique_ptr<kvUndo::KCUndoCommandParams> gesture_;
    cControl_X* active_ = nullptr; // under a mouse gesture
    cControl_X* focus_ = nullptr;  // takes the keys: the last control clicked
    const X_CToolbarButton* pressed_ = nullptr;
    CGraphicManagerAbs* gm_ = nullptr;
    std::unique_ptr<CGraphicManagerAbs> ownGM_;
    KTResContainerType* container_ = nullptr;
    KCWindow* window_ = nullptr;
    struct SLabel {
        KURect<short> rect;
        std::string text;
    };
    std::vector<SLabel> labels_;
    KURect<short> hatch_;
    KCPoint<short> viewSize_;
    short collapsedHeight_ = 0;
    bool dragSelect_ = false;
    bool embeddedGM_ = false;
    CKVImage aboutImage_;
    std::vector<cControl_X*> selectable_;
    KURect<short> pendingArea_;
    const X_CToolbarButton* drawnPressed_ = nullptr;
    uint64_t redrawCount_ = 0;
    KURect<short> lastRedrawArea_;
};

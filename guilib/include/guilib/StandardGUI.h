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
#include "ui/KCRegion.h"

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

// One button of the system bar: its name and rectangle, the text it shows
// (its name when empty) and whether it can act now (Undo and Redo only
// when there is something to undo or redo).
struct QGL_API X_CToolbarButton {
    std::string name;
    KURect<short> rect;
    std::string text;
    bool available = true;
};

class QGL_API CStandardGUI_X : public KCAlgorithmListener,
                               public KCSystemBarListener,
                               public CSelectableHome,
                               public kvXML::CXMLable,
                               public CDrawable {
public:
    // What an undo step holds: the parameters of the controls under the
    // gesture (the chosen controls for keys when there are any), or every
    // parameter a preset holds (a reset, a preset load).
    enum EUndoType : int32_t { eUndoControls = 0, eUndoAllParams = 1 };

    explicit CStandardGUI_X(cALGORITHM* alg);
    // A copy has its own copies of the controls (of the library's classes;
    // see the constructor's notes) and an undo list of its own, empty until
    // its first step: the commands stay with the editor they were made in.
    CStandardGUI_X(const CStandardGUI_X& other);
    CStandardGUI_X& operator=(const CStandardGUI_X& other);
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

    // The algorithm's events (the editor's bodies of the listener hooks):
    // a preset was loaded (every control shows its value again, the setup
    // counts as unmodified); a setup's values were changed from outside
    // the editor; a setup's title changed; the active setup changed (the
    // system bar and every control show it).
    void PresetLoaded() override;
    void PresetModified(EPluginSetup setup) override;
    void SetupTitleChanged(EPluginSetup setup, const std::string* title) override;
    void ActiveSetupChanged(EPluginSetup setup) override;

    virtual void SetPluginWindow(KCWindow* w) { window_ = w; }
    // Called once the host has made the editor; 0.
    virtual long FinishCreate(void* host);
    // Lets go of the window and the graphic manager before deletion.
    virtual void Dispose();
    // An element of the layout's root that the editor does not know (not a
    // Control or a ToolBar): 0 to go on, non-zero to refuse the layout.
    // Default: ignored.
    virtual long ReadXML_PluginSpecific(const kvXML::CXMLElement* element);

    // Makes a control of a layout class, which the caller then owns: the
    // algorithm's own control of that class when it makes one, else the
    // library's; null for an unknown class. A derived editor adds its own
    // classes.
    virtual cControl_X* CreateSpecificControls(std::string& className);
    // Host automation; a controller is a control by its place in the
    // layout. `info` holds GetNumControllers() records, filled in order (a
    // control without a parameter leaves its record as it was); returns the
    // number of records filled.
    virtual long GetControlAutomationInfo(ControllerAutomationInfoVer6* info);
    // The controller's name (its lead parameter's label, else its name),
    // cut to `length` - 1 bytes and ended by a 0; 0, or eGenericErr for an
    // unknown controller or no room.
    virtual long GetControlNameOfLength(unsigned long controller, long length, char* name);
    // Slots that go to the controller's control; 0, or eGenericErr for an
    // unknown controller.
    virtual long SetControllerValue(unsigned long controller, double value);
    virtual long SetAutomationRefCons(unsigned long controller, long refcon, long refcon2);
    virtual long SetControlHighlightInfo(unsigned long controller, bool on, bool touched);
    // The control's text for an automation value (empty for an unknown
    // controller).
    virtual long TranslateController(unsigned long controller, double value, std::string& text);
    // The control under `p` that takes gestures (the last drawn on top),
    // and its controller number in `index` (-1 when none).
    virtual cControl_X* InsideWhichControl(const KCPoint<short>& p, long* index);
    virtual long GetNumControllers() const { return static_cast<long>(controls_.size()); }
    // Attaches the editor to the window and starts drawing into it.
    virtual void ActivateWindow(KCWindow* w);
    // Stops drawing (the window's context is still there).
    virtual void DeactivateWindow();
    // Null: the editor lets go of its window.
    virtual void SetWindow(KCWindow* w);
    // The editor's place inside the host's window.
    virtual void InitHatch(const KURect<short>& rect);
    virtual void MoveHatch(const KCPoint<short>& point);
    // Redraws what changed since the last draw, once: nothing when nothing
    // changed; the area of the changed controls (with every control that
    // overlaps it) when that is small; else the whole editor.
    virtual void DoIdle();

    // The gestures the host's calls turn into (each returns 0). Down: the
    // control under the mouse starts its gesture (`handled` when one did),
    // or, with drag-select, a selection rectangle starts; drag: the
    // gesture's control follows; hover: every control learns whether the
    // mouse is over it; up: the gesture ends (one undo step when it changed
    // something); key: Tab moves the focus, other keys go to
    // ModifyControlsOnKeySelf as one undo step; wheel: the control under
    // the mouse.
    virtual long ModifyControlsOnMouseDown(KCEventData* e, bool& handled);
    virtual long ModifyControlsOnMouseDrag(KCEventData* e);
    virtual long ModifyControlsOnMouseHover(KCEventData* e);
    virtual long ModifyControlsOnMouseUp(KCEventData* e);
    virtual long ModifyControlsOnKey(KCEventData* e, bool& handled);
    virtual long ModifyControlsOnMouseWheel(KCEventData* e);
    // A press on the system bar (`handled` when it is on the bar): the
    // button under it is pressed; the release over the same button runs it.
    virtual long ModifyToolBarControlsOnMouseDown(KCEventData* e, bool& handled);
    virtual long ModifyToolBarControlsOnMouseUp(KCEventData* e);
    // A key for the chosen controls (by drag-select), else for the focused
    // control; the first control's buffers.
    virtual BUFFER_HEADER* ModifyControlsOnKeySelf(KCEventData* e, bool& handled);

    // Host slots: with no window, no event is handled and nothing is drawn.
    virtual long DoMouseDown(void* host, KCEventData* e);
    virtual long DoMouseMove(void* host, KCEventData* e);
    virtual long DoMouseUp(void* host, KCEventData* e);
    virtual long DoMouseWheel(void* host, KCEventData* e);
    virtual long DoKey(void* host, KCEventData* e, bool* handled);

    // Makes the undo manager (the editor owns it); made at first use.
    virtual kvUndo::KTUndoManagerType* CreateUndoManager();
    // Names every saveable parameter of the chosen controls as a pending
    // event of the undo manager (the next undo step reacts to them).
    virtual void AddUndoEventForSaveableSelectedControllers();
    // Takes the states the parameters of `type` have now as the undo step
    // of the gesture that starts; it goes onto the list `where` when the
    // gesture ends, if it changed something.
    virtual void RecordUndo(kvUndo::EInsertToStackType where, EUndoType type);
    // The setup's values count as those of its preset again (after a load
    // or a reset); for the active setup the undo manager is clean.
    virtual void PresetModifiedReset(EPluginSetup setup);
    // The system-bar button under `p`, null when none; `onBar` (when given)
    // tells whether `p` lies on the system bar at all.
    virtual X_CToolbarButton* ToolbarButtonUnderMouse(const KCPoint<short>& p, bool* onBar);
    // The button `name` takes its state from the editor again (Undo and
    // Redo: whether there is something to undo or redo).
    virtual void NotifyToolbar_updateIndex(const char* name);
    // The button `name` shows `text` (empty: its name); `text` gets the
    // text it showed before.
    virtual void NotifyToolbar_update(const char* name, std::string& text);
    // The number of controls chosen by drag-select.
    virtual long GetNumSelectedControllers() const;
    // The controls that take the focus (not read-only, not hidden), made
    // again from the controls.
    virtual void BuildSelectableList() { CSelectableHome::BuildSelectableList(); }
    // The selection rectangle of a drag-select: drawn over the controls (at
    // a draw while it is open), erased (its area drawn again), and moved to
    // the mouse (the controls it touches are chosen).
    virtual void DrawSelectRect();
    virtual void EraseSelectRect();
    virtual void UpdateSelectRect(KCEventData* e);

    // Ties the editor to its algorithm (when it was made without one).
    virtual void InitDefaultGUI(cALGORITHM* alg);
    using CDrawable::SetRefresh;
    // Marks the editor for a redraw: 0, or kNotReady with no window.
    virtual long SetRefresh(KURect<short>* rect);
    // The expanded view from the layout; empty without a layout.
    virtual void GetViewRect(KURect<short>& out);
    // The part of the editor the host shows, in the editor's coordinates: a
    // change asks for a redraw. Until the host gives one, the whole editor
    // counts as shown.
    using CDrawable::SetVisible;
    void SetVisible(const KCRegion& region) override;
    // On a screen: a window is set and some of the editor is shown.
    virtual bool IsVisible() const;
    // A part of the editor to redraw at the next idle call (editor
    // coordinates).
    void SetRefresh(const KURect<short>& rect) override;

    // The system bar's hooks, the editor's bodies: About shows the about
    // image over the editor until the next click (a box with the plug-in's
    // name without one); Copy copies the active setup onto the other one;
    // Help shows what the buttons and gestures do; the preset menus of the
    // algorithm's preset manager at `where`; the next and previous preset;
    // a plug-in button goes to the algorithm; Undo and Redo step through
    // the undo list; Switch makes the other setup active (the device takes
    // its values); RenameSetup asks for the active setup's title; Reset
    // gives every parameter a preset holds its reset value (one undo step).
    void System_ExecuteAbout() override;
    void System_ExecuteCopy() override;
    void System_ExecuteHelp() override;
    void System_ExecuteLoadPreset(KCPoint<short> where) override;
    void System_ExecuteSavePreset(KCPoint<short> where) override;
    void System_ExecuteNextPreset() override;
    void System_ExecutePrevPreset() override;
    void System_ExecutePluginSpecific(const std::string& name) override;
    void System_ExecuteUndo(unsigned short count) override;
    void System_ExecuteRedo(unsigned short count) override;
    void System_ExecuteSwitch() override;
    void System_ExecuteRenameSetup() override;
    void System_ExecuteReset() override;

    KCWindow* GetPluginWindow() const { return window_; }
    // The image of the about box: the 'PNG ' resource named by the layout's
    // "About" attribute (none: not valid).
    CKVImage* GetAboutImage() { return &aboutImage_; }
    bool IsAboutShown() const { return aboutShown_; }
    KTResContainerType* GetPluginResourceRef() const { return container_; }
    KURect<short> GetHatch() const { return hatch_; }
    const std::vector<cControl_X*>& GetSelectableList() const { return selectable_; }
    cControl_X* GetFocus() const { return focus_; }
    cControl_X* GetControl(size_t i) const {
        return i < controls_.size() ? controls_[i].get() : nullptr;
    }
    // The first control bound to `param`, or null.
    cControl_X* FindControlForParam(unsigned long param) const;
    const std::vector<X_CToolbarButton>& GetToolbarButtons() const { return toolbar_; }
    cALGORITHM* GetAlg() const { return alg_; }
    kvUndo::KTUndoManagerType* GetUndoManagerRef();
    void SetGM(CGraphicManagerAbs* gm);
    CGraphicManagerAbs* GetGM() const { return gm_; }
    const X_CToolbarButton* GetPressedToolbarButton() const { return pressed_; }
    void ResetPressedToolbarButtonMember() { pressed_ = nullptr; }
    void SetDragSelect(bool on) { dragSelect_ = on; }
    void SetEmbededGraphicManager(bool on) { embeddedGM_ = on; }
    // The open selection rectangle (empty when none).
    const KURect<short>& GetSelectRect() const { return selectRect_; }
    // Whether the setup's values changed since its preset was loaded.
    bool IsPresetModified(EPluginSetup setup) const { return modified_[setup]; }

    // Host calls (coordinates are the editor's). Each returns 0.
    long DoMouseDown(KCEventData* e);
    long DoMouseMove(KCEventData* e);
    long DoMouseUp(KCEventData* e);
    long DoKey(KCEventData* e, bool& handled);
    // The draws made so far, and the area of the last one (the whole view
    // for a full redraw).
    uint64_t GetRedrawCount() const { return redrawCount_; }
    const KURect<short>& GetLastRedrawArea() const { return lastRedrawArea_; }

protected:
    // Draws what lies behind the controls in `area` (editor coordinates;
    // drawing is limited to it): default a dark fill.
    virtual void DrawBackground(CGraphicManagerAbs& gm, const KURect<short>& area);
    void BuildSelectableListSelf() override;

private:
    void ExecuteToolbarButton(const X_CToolbarButton& button);
    void ReleaseOwnGM();
    void ListenTo(cALGORITHM* alg);
    // The window the menu controls open over.
    void SetPopupWindow(KCWindow* w);
    void DrawLabels(CGraphicManagerAbs& gm, const KURect<short>& area);
    void DrawToolbar(CGraphicManagerAbs& gm, const KURect<short>& area, bool whole);
    void DrawAbout(CGraphicManagerAbs& gm);
    // The area to redraw now: empty for none; `whole` for the whole view.
    KURect<short> ChangedArea(bool& whole);
    void Redraw(const KURect<short>& area, bool whole);
    // The control of a controller number, null when none.
    cControl_X* Controller(unsigned long controller) const;
    // Up to `count` undo (or redo) steps, then the tool bar and the view.
    void StepUndo(unsigned short count, bool redo);
    // The controls a key acts on: the chosen ones, else the focused one.
    std::vector<cControl_X*> KeyTargets() const;
    // The parameters an undo step of `type` holds.
    std::vector<unsigned long> UndoParams(EUndoType type) const;
    // A parameter a preset holds (a reset or a preset load changes it).
    static bool HeldByPresets(const sCONTROL_PARAM& p);
    void ClearSelection();
    // Moves the focus along the selectable list; true when it moved.
    bool MoveFocus(int direction);
    // Gives each marker the graph it sits on as its home.
    void AttachMarkers();
    // After the editor's own change of many values: the controls show them.
    void AfterPresetChange();
    void FinishGesture();
    // The buttons that follow the undo list and the active setup.
    void UpdateToolbarStates();
    // Each control's copy, of its own class (a class the library does not
    // know is left out), with its markers and dependents made anew.
    void CopyControls(const CStandardGUI_X& other);

    cALGORITHM* alg_ = nullptr;
    std::vector<std::unique_ptr<cControl_X>> controls_;
    std::vector<X_CToolbarButton> toolbar_;
    std::unique_ptr<kvUndo::KTUndoManagerType> undo_;
    std::unique_ptr<kvUndo::KCUndoCommandParams> gesture_;
    kvUndo::EInsertToStackType gestureStack_ = kvUndo::eInsertToUndoStack;
    cControl_X* active_ = nullptr; // under a mouse gesture
    cControl_X* focus_ = nullptr;  // takes the keys: the last control clicked
    X_CToolbarButton* pressed_ = nullptr;
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
    KCRegion visible_;
    bool visibleGiven_ = false;
    short collapsedHeight_ = 0;
    bool dragSelect_ = false;
    bool embeddedGM_ = false;
    CKVImage aboutImage_;
    bool aboutShown_ = false;
    std::vector<cControl_X*> selectable_;
    KCPoint<short> selectStart_;
    KURect<short> selectRect_;
    bool selecting_ = false;
    bool modified_[kNumSetups] = {false, false};
    KURect<short> pendingArea_;
    const X_CToolbarButton* drawnPressed_ = nullptr;
    uint64_t redrawCount_ = 0;
    KURect<short> lastRedrawArea_;
};

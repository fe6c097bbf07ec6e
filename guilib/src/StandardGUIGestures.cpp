// The editor's gestures: the host's mouse and key calls turned into the
// system bar's and the controls' gestures, the focus, the drag-select, the
// undo steps, and the host's automation of the controls.
#include "guilib/Algorithm.h"
#include "guilib/StandardGUI.h"
#include "ui/CGraphicManagerAbs.h"

#include <algorithm>
#include <cstring>
#include <limits>
#include <set>

namespace {

// The rectangle with corners `a` and `b` (both inside it).
KURect<short> Spanned(const KCPoint<short>& a, const KCPoint<short>& b) {
    return KURect<short>(std::min(a.y, b.y), std::min(a.x, b.x),
                         static_cast<short>(std::max(a.y, b.y) + 1),
                         static_cast<short>(std::max(a.x, b.x) + 1));
}

} // namespace

bool CStandardGUI_X::HeldByPresets(const sCONTROL_PARAM& p) {
    return !(p.flags & (kParamNotSavable | kParamDontSaveToPreset)) && p.type != eParamGraph &&
           p.type != eParamLabel;
}

// --- The host's calls ---------------------------------------------------------

long CStandardGUI_X::DoMouseDown(void*, KCEventData* e) {
    return window_ ? DoMouseDown(e) : 0;
}

long CStandardGUI_X::DoMouseMove(void*, KCEventData* e) {
    return window_ ? DoMouseMove(e) : 0;
}

long CStandardGUI_X::DoMouseUp(void*, KCEventData* e) {
    return window_ ? DoMouseUp(e) : 0;
}

long CStandardGUI_X::DoMouseWheel(void*, KCEventData* e) {
    return window_ && e ? ModifyControlsOnMouseWheel(e) : 0;
}

long CStandardGUI_X::DoKey(void*, KCEventData* e, bool* handled) {
    bool h = false;
    if (window_)
        DoKey(e, h);
    if (handled)
        *handled = h;
    return 0;
}

long CStandardGUI_X::DoMouseDown(KCEventData* e) {
    if (!e)
        return 0;
    FinishGesture();
    // The about image goes with the next click, which does nothing else.
    if (aboutShown_) {
        aboutShown_ = false;
        CDrawable::SetRefresh();
        return 0;
    }
    bool handled = false;
    ModifyToolBarControlsOnMouseDown(e, handled);
    if (!handled)
        ModifyControlsOnMouseDown(e, handled);
    return 0;
}

long CStandardGUI_X::DoMouseMove(KCEventData* e) {
    if (!e)
        return 0;
    if (active_)
        return ModifyControlsOnMouseDrag(e);
    if (selecting_) {
        UpdateSelectRect(e);
        return 0;
    }
    return ModifyControlsOnMouseHover(e);
}

long CStandardGUI_X::DoMouseUp(KCEventData* e) {
    if (!e)
        return 0;
    if (pressed_)
        return ModifyToolBarControlsOnMouseUp(e);
    if (selecting_) {
        UpdateSelectRect(e);
        EraseSelectRect();
        selecting_ = false;
        selectRect_ = KURect<short>();
        return 0;
    }
    return ModifyControlsOnMouseUp(e);
}

long CStandardGUI_X::DoKey(KCEventData* e, bool& handled) {
    handled = false;
    return ModifyControlsOnKey(e, handled);
}

// --- The gestures ---------------------------------------------------------------

long CStandardGUI_X::ModifyToolBarControlsOnMouseDown(KCEventData* e, bool& handled) {
    bool onBar = false;
    pressed_ = e ? ToolbarButtonUnderMouse(e->GetMouseLocation(), &onBar) : nullptr;
    handled = onBar;
    return 0;
}

long CStandardGUI_X::ModifyToolBarControlsOnMouseUp(KCEventData* e) {
    X_CToolbarButton* button = pressed_;
    pressed_ = nullptr;
    // A button acts only when the mouse is released over it.
    if (button && e && ToolbarButtonUnderMouse(e->GetMouseLocation(), nullptr) == button)
        ExecuteToolbarButton(*button);
    return 0;
}

long CStandardGUI_X::ModifyControlsOnMouseDown(KCEventData* e, bool& handled) {
    handled = false;
    if (!e)
        return 0;
    const KCPoint<short> at = e->GetMouseLocation();
    long index = -1;
    cControl_X* c = InsideWhichControl(at, &index);
    ClearSelection();
    if (!c) {
        if (dragSelect_) {
            selecting_ = true;
            selectStart_ = at;
            selectRect_ = Spanned(at, at);
            handled = true;
        }
        return 0;
    }
    if (!alg_)
        return 0;
    active_ = focus_ = c;
    RecordUndo(kvUndo::eInsertToUndoStack, eUndoControls);
    c->MouseDown(e, nullptr, handled);
    return 0;
}

long CStandardGUI_X::ModifyControlsOnMouseDrag(KCEventData* e) {
    if (!active_ || !e)
        return 0;
    const KCPoint<short> d = e->GetMouseDistanceFromDragStart();
    active_->MouseDrag(e, d.x, d.y, nullptr);
    return 0;
}

long CStandardGUI_X::ModifyControlsOnMouseHover(KCEventData* e) {
    if (!e)
        return 0;
    for (auto& c : controls_)
        c->MouseOver(e, c->IsPointInside(e->GetMouseLocation()), nullptr);
    return 0;
}

long CStandardGUI_X::ModifyControlsOnMouseUp(KCEventData* e) {
    if (active_ && e)
        active_->MouseUp(e);
    FinishGesture();
    return 0;
}

long CStandardGUI_X::ModifyControlsOnKey(KCEventData* e, bool& handled) {
    handled = false;
    if (const int direction = DirectionFromTabModifiers(e)) {
        FinishGesture();
        handled = MoveFocus(direction);
        return 0;
    }
    if (!e || !alg_ || KeyTargets().empty())
        return 0;
    FinishGesture(); // a mouse gesture still open ends here
    RecordUndo(kvUndo::eInsertToUndoStack, eUndoControls);
    ModifyControlsOnKeySelf(e, handled);
    FinishGesture();
    return 0;
}

BUFFER_HEADER* CStandardGUI_X::ModifyControlsOnKeySelf(KCEventData* e, bool& handled) {
    handled = false;
    BUFFER_HEADER* first = nullptr;
    for (cControl_X* c : KeyTargets()) {
        bool took = false;
        BUFFER_HEADER* buffers = c->Key(e, took);
        handled = handled || took;
        first = first ? first : buffers;
    }
    return first;
}

long CStandardGUI_X::ModifyControlsOnMouseWheel(KCEventData* e) {
    if (!e)
        return 0;
    long index = -1;
    cControl_X* c = InsideWhichControl(e->GetMouseLocation(), &index);
    if (!c || !alg_)
        return 0;
    FinishGesture();
    active_ = c;
    RecordUndo(kvUndo::eInsertToUndoStack, eUndoControls);
    c->MouseWheel(e, 0, static_cast<double>(e->GetMouseWheelDelta()), nullptr);
    FinishGesture();
    return 0;
}

cControl_X* CStandardGUI_X::InsideWhichControl(const KCPoint<short>& p, long* index) {
    // The last drawn control lies on top.
    for (size_t i = controls_.size(); i-- > 0;) {
        cControl_X* c = controls_[i].get();
        if (!c->IsHidden() && !c->IsReadOnly() && c->IsPointInside(p)) {
            if (index)
                *index = static_cast<long>(i);
            return c;
        }
    }
    if (index)
        *index = -1;
    return nullptr;
}

X_CToolbarButton* CStandardGUI_X::ToolbarButtonUnderMouse(const KCPoint<short>& p, bool* onBar) {
    KURect<short> bar;
    X_CToolbarButton* under = nullptr;
    for (X_CToolbarButton& b : toolbar_) {
        if (b.rect.PointInRect(p))
            under = &b;
        bar = bar.IsEmpty()
                  ? b.rect
                  : KURect<short>(std::min(bar.top, b.rect.top), std::min(bar.left, b.rect.left),
                                  std::max(bar.bottom, b.rect.bottom),
                                  std::max(bar.right, b.rect.right));
    }
    if (onBar)
        *onBar = under || bar.PointInRect(p);
    return under;
}

int CSelectableHome::DirectionFromTabModifiers(const KCEventData* e) {
    if (!e || e->GetKeyCode() != eKeyTab)
        return 0;
    return e->GetKeyModifiers()[eModifierShift] ? -1 : 1;
}

bool CStandardGUI_X::MoveFocus(int direction) {
    BuildSelectableList();
    if (direction == 0 || selectable_.empty())
        return false;
    const auto n = static_cast<long>(selectable_.size());
    long at = -1;
    for (long i = 0; i < n; ++i)
        if (selectable_[static_cast<size_t>(i)] == focus_)
            at = i;
    // From no focus, Tab starts at the first control and Shift+Tab at the last.
    const long next = at < 0 ? (direction > 0 ? 0 : n - 1) : ((at + direction) % n + n) % n;
    cControl_X* old = focus_;
    focus_ = selectable_[static_cast<size_t>(next)];
    if (old)
        old->SetRefresh();
    focus_->SetRefresh();
    return true;
}

std::vector<cControl_X*> CStandardGUI_X::KeyTargets() const {
    std::vector<cControl_X*> targets;
    for (const auto& c : controls_)
        if (c->IsSelected())
            targets.push_back(c.get());
    if (targets.empty() && focus_)
        targets.push_back(focus_);
    return targets;
}

// --- The drag-select -------------------------------------------------------------

long CStandardGUI_X::GetNumSelectedControllers() const {
    return static_cast<long>(std::count_if(controls_.begin(), controls_.end(),
                                           [](const auto& c) { return c->IsSelected(); }));
}

void CStandardGUI_X::ClearSelection() {
    for (auto& c : controls_)
        c->SetSelected(false);
}

void CStandardGUI_X::DrawSelectRect() {
    if (!gm_ || selectRect_.IsEmpty())
        return;
    gm_->SetColor(KCRGBAColor(255, 255, 255, 255));
    gm_->DrawWireRect(selectRect_);
}

namespace {

// The area a rectangle's outline covers (its lines may fall a pixel out).
KURect<short> OutlineArea(const KURect<short>& r) {
    return KURect<short>(static_cast<short>(r.top - 1), static_cast<short>(r.left - 1),
                         static_cast<short>(r.bottom + 1), static_cast<short>(r.right + 1));
}

} // namespace

void CStandardGUI_X::EraseSelectRect() {
    // Its edges are drawn again without it at the next draw.
    if (!selectRect_.IsEmpty())
        SetRefresh(OutlineArea(selectRect_));
}

void CStandardGUI_X::UpdateSelectRect(KCEventData* e) {
    if (!selecting_ || !e)
        return;
    EraseSelectRect();
    selectRect_ = Spanned(selectStart_, e->GetMouseLocation());
    // Hidden and read-only controls take no keys and are never chosen.
    for (auto& c : controls_)
        c->SetSelected(!c->IsHidden() && !c->IsReadOnly() && c->DoYouIntersect(selectRect_));
    SetRefresh(OutlineArea(selectRect_));
}

// --- Undo ----------------------------------------------------------------------------

kvUndo::KTUndoManagerType* CStandardGUI_X::GetUndoManagerRef() {
    if (!undo_)
        undo_.reset(CreateUndoManager());
    return undo_.get();
}

kvUndo::KTUndoManagerType* CStandardGUI_X::CreateUndoManager() {
    auto* manager = new kvUndo::KTUndoManagerType();
    if (alg_ && alg_->GetUndoLevel() > 0)
        manager->setUndoLevel(static_cast<unsigned short>(
            std::min<uint32_t>(alg_->GetUndoLevel(), std::numeric_limits<unsigned short>::max())));
    return manager;
}

std::vector<unsigned long> CStandardGUI_X::UndoParams(EUndoType type) const {
    std::vector<unsigned long> params;
    if (!alg_)
        return params;
    if (type == eUndoAllParams) {
        const std::vector<sCONTROL_PARAM>& all = *alg_->GetParamVector();
        for (unsigned long i = 0; i < all.size(); ++i)
            if (HeldByPresets(all[i]))
                params.push_back(i);
        return params;
    }
    const std::vector<cControl_X*> controls =
        active_ ? std::vector<cControl_X*>{active_} : KeyTargets();
    for (cControl_X* c : controls)
        for (unsigned long p : c->GetParamIndices())
            if (std::find(params.begin(), params.end(), p) == params.end())
                params.push_back(p);
    return params;
}

void CStandardGUI_X::AddUndoEventForSaveableSelectedControllers() {
    if (!alg_)
        return;
    const std::vector<sCONTROL_PARAM>& all = *alg_->GetParamVector();
    for (const auto& c : controls_) {
        if (!c->IsSelected())
            continue;
        for (unsigned long p : c->GetParamIndices())
            if (p < all.size() && !(all[p].flags & kParamNotSavable))
                GetUndoManagerRef()->addEvent(all[p].name);
    }
}

void CStandardGUI_X::RecordUndo(kvUndo::EInsertToStackType where, EUndoType type) {
    gesture_.reset();
    if (!alg_)
        return;
    const std::vector<unsigned long> params = UndoParams(type);
    if (params.empty())
        return;
    const char* name = type == eUndoAllParams ? "All Parameters"
                       : active_              ? active_->GetControlClass()
                                              : KeyTargets().front()->GetControlClass();
    gesture_ = std::make_unique<kvUndo::KCUndoCommandParams>(name, *alg_, params);
    gestureStack_ = where;
    if (type == eUndoControls && !active_)
        AddUndoEventForSaveableSelectedControllers();
    // The step reacts to the parameters it holds.
    std::set<std::string> events;
    for (const auto& [param, state] : gesture_->GetStates())
        events.insert((*alg_->GetParamVector())[param].name);
    gesture_->SetEvents(events);
}

// One undo step per gesture, and only when it changed something.
void CStandardGUI_X::FinishGesture() {
    active_ = nullptr;
    std::unique_ptr<kvUndo::KCUndoCommandParams> gesture = std::move(gesture_);
    if (!gesture)
        return;
    kvUndo::KTUndoManagerType& undo = *GetUndoManagerRef();
    undo.clearEvents();
    if (!gesture->DiffersFromCurrent() || !alg_)
        return;
    undo.InsertCommand(gesture.release(), gestureStack_);
    modified_[alg_->GetActiveSetup()] = true;
    UpdateToolbarStates();
}

void CStandardGUI_X::PresetModifiedReset(EPluginSetup setup) {
    modified_[setup] = false;
    if (alg_ && alg_->GetActiveSetup() == setup)
        GetUndoManagerRef()->SetClean();
}

// --- The host's automation ----------------------------------------------------------

cControl_X* CStandardGUI_X::Controller(unsigned long controller) const {
    return controller < controls_.size() ? controls_[controller].get() : nullptr;
}

long CStandardGUI_X::GetControlAutomationInfo(ControllerAutomationInfoVer6* info) {
    if (!info)
        return 0;
    long filled = 0;
    for (size_t i = 0; i < controls_.size(); ++i)
        if (controls_[i]->GetControlAutomationInfo(&info[i]))
            ++filled;
    return filled;
}

long CStandardGUI_X::GetControlNameOfLength(unsigned long controller, long length, char* name) {
    cControl_X* c = Controller(controller);
    if (!c || !name || length <= 0 || !alg_ ||
        c->GetLeadParamIndex() >= alg_->GetParamVector()->size())
        return eGenericErr;
    const sCONTROL_PARAM& p = (*alg_->GetParamVector())[c->GetLeadParamIndex()];
    const std::string& text = p.label.empty() ? p.name : p.label;
    const size_t n = std::min(text.size(), static_cast<size_t>(length - 1));
    std::memcpy(name, text.data(), n);
    name[n] = '\0';
    return 0;
}

namespace {

// Passes a controller slot on to its control: 0, or eGenericErr when the
// controller names none.
template <typename F>
long OnControl(cControl_X* c, F&& f) {
    if (!c)
        return eGenericErr;
    f(*c);
    return 0;
}

} // namespace

long CStandardGUI_X::SetControllerValue(unsigned long controller, double value) {
    return OnControl(Controller(controller),
                     [&](cControl_X& c) { c.SetControllerValueSelf(value); });
}

long CStandardGUI_X::SetAutomationRefCons(unsigned long controller, long refcon, long refcon2) {
    return OnControl(Controller(controller),
                     [&](cControl_X& c) { c.SetAutomationRefCons(refcon, refcon2); });
}

long CStandardGUI_X::SetControlHighlightInfo(unsigned long controller, bool on, bool touched) {
    return OnControl(Controller(controller),
                     [&](cControl_X& c) { c.SetHighlightInfo(on, touched); });
}

long CStandardGUI_X::TranslateController(unsigned long controller, double value,
                                         std::string& text) {
    text.clear();
    return OnControl(Controller(controller),
                     [&](cControl_X& c) { c.TranslateController(value, text); });
}

// The editor's layout reader, gesture handling and redraw.
#include "guilib/StandardGUI.h"

#include "foundation/ResConverters.h"
#include "guilib/Algorithm.h"
#include "ui/CGraphicManagerAbs.h"
#include "ui/KCWindow.h"

#include <charconv>

namespace {

// Numbers separated by commas, read in the "C" form; false on any junk.
bool ParseNumbers(const std::string& text, std::vector<long>& out) {
    out.clear();
    const char* p = text.data();
    const char* end = p + text.size();
    while (p < end) {
        while (p < end && *p == ' ')
            ++p;
        long v = 0;
        auto [next, ec] = std::from_chars(p, end, v);
        if (ec != std::errc())
            return false;
        out.push_back(v);
        p = next;
        while (p < end && *p == ' ')
            ++p;
        if (p < end && *p++ != ',')
            return false;
    }
    return true;
}

bool ParseRect(const kvXML::CXMLElement& e, KURect<short>& r) {
    std::string text;
    std::vector<long> v;
    if (!e.GetAttrib("Rect", text) || !ParseNumbers(text, v) || v.size() != 4)
        return false;
    r.Set(static_cast<short>(v[0]), static_cast<short>(v[1]), static_cast<short>(v[2]),
          static_cast<short>(v[3]));
    return !r.IsEmpty();
}

bool Named(const kvXML::CXMLElement& e, const char* name) {
    return std::string(e.name.c_str()) == name;
}

// What only some classes read: a graph's colour and range, a text's source.
bool ReadClassAttributes(const kvXML::CXMLElement& e, cControl_X& c) {
    std::string text;
    std::vector<long> v;
    if (auto* graph = dynamic_cast<KCGraph*>(&c)) {
        long color[3] = {255, 255, 255};
        if (e.GetAttrib("Color", text)) {
            if (!ParseNumbers(text, v) || v.size() != 3)
                return false;
            std::copy(v.begin(), v.end(), color);
        }
        if (e.GetAttrib("Range", text)) {
            if (!ParseNumbers(text, v) || v.size() != 2 || v[0] == v[1])
                return false;
            auto strip = std::make_unique<KCDrawGraph_LineStrip>();
            strip->SetLineColor(KCRGBAColor(static_cast<uint8_t>(color[0]),
                                            static_cast<uint8_t>(color[1]),
                                            static_cast<uint8_t>(color[2]), 255));
            graph->AddPrimitive(std::move(strip));
            graph->SetGraphFeed(static_cast<double>(v[0]), static_cast<double>(v[1]));
        }
    }
    if (e.GetAttrib("ReadOnly", text) && text == "1")
        c.SetReadOnly(true);
    if (auto* t = dynamic_cast<CText_X*>(&c))
        t->SetShowsLabel(e.GetAttrib("Show", text) && text == "Label");
    return true;
}

} // namespace

CStandardGUI_X::CStandardGUI_X(cALGORITHM* alg) : alg_(alg) {}

CStandardGUI_X::~CStandardGUI_X() {
    ReleaseOwnGM();
}

void CStandardGUI_X::ReleaseOwnGM() {
    if (!ownGM_)
        return;
    if (gm_ == ownGM_.get())
        gm_ = nullptr;
    ownGM_.reset();
}

void CStandardGUI_X::ActivateWindow(KCWindow* w) {
    window_ = w;
    SetPopupWindow(w);
    if (!w || (gm_ && gm_ != ownGM_.get()))
        return;
    ReleaseOwnGM();
    ownGM_ = std::make_unique<CGraphicManagerAbs>(container_);
    KURect<short> hatch = hatch_;
    if (hatch.IsEmpty())
        hatch.Set(0, 0, viewSize_.y, viewSize_.x);
    ownGM_->InitHatch(*w, hatch);
    SetGM(ownGM_.get());
    SetRefresh();
}

void CStandardGUI_X::SetPopupWindow(KCWindow* w) {
    for (auto& c : controls_)
        if (auto* popup = dynamic_cast<CPopup_X*>(c.get()))
            popup->SetMenuWindow(w);
}

void CStandardGUI_X::DeactivateWindow() {
    FinishGesture();
    ReleaseOwnGM();
    SetPopupWindow(nullptr);
}

void CStandardGUI_X::SetWindow(KCWindow* w) {
    if (!w || w != window_) {
        ReleaseOwnGM();
        SetPopupWindow(nullptr);
    }
    window_ = w;
}

void CStandardGUI_X::InitDefaultGUI(cALGORITHM* alg) {
    alg_ = alg;
    for (auto& c : controls_)
        c->SetAlgorithm(alg);
}

long CStandardGUI_X::FinishCreate(void*) {
    return 0;
}

void CStandardGUI_X::Dispose() {
    FinishGesture();
    ReleaseOwnGM();
    SetPopupWindow(nullptr);
    focus_ = nullptr;
    pressed_ = nullptr;
    gm_ = nullptr;
    window_ = nullptr;
}

long CStandardGUI_X::PresetModified(long) {
    SetRefresh();
    return 0;
}

void CStandardGUI_X::InitHatch(KURect<short>* rect) {
    if (!rect)
        return;
    hatch_ = *rect;
    if (ownGM_ && window_)
        ownGM_->InitHatch(*window_, hatch_);
}

void CStandardGUI_X::MoveHatch(KCPoint<short>* point) {
    if (!point)
        return;
    const short h = static_cast<short>(hatch_.bottom - hatch_.top);
    const short w = static_cast<short>(hatch_.right - hatch_.left);
    hatch_.Set(point->y, point->x, static_cast<short>(point->y + h),
               static_cast<short>(point->x + w));
}

long CStandardGUI_X::DoMouseDown(void*, KCEventData* e) {
    return window_ ? DoMouseDown(e) : 0;
}

long CStandardGUI_X::DoMouseMove(void*, KCEventData* e) {
    return window_ ? DoMouseMove(e) : 0;
}

long CStandardGUI_X::DoMouseUp(void*, KCEventData* e) {
    return window_ ? DoMouseUp(e) : 0;
}

long CStandardGUI_X::DoMouseWheel(void*, KCEventData*) {
    return 0;
}

long CStandardGUI_X::DoKeyDown(void*, KCEventData* e, bool* handled) {
    bool h = false;
    if (window_)
        DoKey(e, h);
    if (handled)
        *handled = h;
    return 0;
}

long CStandardGUI_X::SetRefresh(KURect<short>* rect) {
    if (!window_)
        return kNotReady;
    if (rect)
        SetRefresh(*rect);
    else
        SetRefresh();
    return 0;
}

void CStandardGUI_X::GetViewRect(KURect<short>& out) {
    out = KURect<short>{};
    // The host asks before it makes the window, to size it.
    if (viewSize_.x > 0 && viewSize_.y > 0)
        out.Set(0, 0, viewSize_.y, viewSize_.x);
}

long CStandardGUI_X::GetControlNameOfLength(long, long, char*) {
    return 0;
}

long CStandardGUI_X::SetControllerValue(long, double) {
    return 0;
}

long CStandardGUI_X::SetAutomationRefCons(long, long, long) {
    return 0;
}

long CStandardGUI_X::SetControlHighlightInfo(long, bool, bool) {
    return 0;
}

long CStandardGUI_X::TranslateController(long, double, std::string& text) {
    text.clear();
    return 0;
}

std::unique_ptr<cControl_X> CStandardGUI_X::CreateControl(const std::string& className) {
    if (className == "Slider")
        return std::make_unique<CSlider_X>();
    if (className == "Toggle")
        return std::make_unique<CToggle_X>();
    if (className == "Popup")
        return std::make_unique<CPopup_X>();
    if (className == "Button")
        return std::make_unique<CButton_X>();
    if (className == "VuMeter")
        return std::make_unique<CVuMeter_X>();
    if (className == "Text")
        return std::make_unique<CText_X>();
    if (className == "Graph")
        return std::make_unique<KCGraph>();
    return nullptr;
}

long CStandardGUI_X::ReadLayout(const kvXML::CXMLElement& root) {
    long width = 0, height = 0, collapsed = 0;
    if (!root.GetAttrib("Width", width) || !root.GetAttrib("Height", height) || width <= 0 ||
        height <= 0)
        return -1;
    root.GetAttrib("CollapsedHeight", collapsed);
    std::vector<std::unique_ptr<cControl_X>> controls;
    std::vector<X_CToolbarButton> toolbar;
    std::vector<SLabel> labels;
    for (const kvXML::CXMLElement* e : root.children) {
        if (Named(*e, "ToolBar")) {
            for (const kvXML::CXMLElement* b : e->children) {
                X_CToolbarButton button;
                if (!Named(*b, "Button") || !b->GetAttrib("Name", button.name) ||
                    !ParseRect(*b, button.rect))
                    return -1;
                toolbar.push_back(button);
            }
            continue;
        }
        if (!Named(*e, "Control"))
            continue;
        std::string className, params, images, label;
        KURect<short> rect;
        std::vector<long> indices, numbers;
        e->GetAttrib("Class", className);
        std::unique_ptr<cControl_X> c = CreateControl(className);
        if (!c || !ParseRect(*e, rect) || !e->GetAttrib("Params", params) ||
            !ParseNumbers(params, indices) || indices.empty())
            return -1;
        if (e->GetAttrib("Images", images) && !ParseNumbers(images, numbers))
            return -1;
        c->SetAlgorithm(alg_);
        c->SetDrawableRect(rect);
        for (long i : indices)
            c->RegisterParam(static_cast<uint32_t>(i));
        c->SetImages(std::vector<short>(numbers.begin(), numbers.end()));
        if (e->GetAttrib("Label", label) && !label.empty())
            labels.push_back(SLabel{rect, label});
        if (!ReadClassAttributes(*e, *c))
            return -1;
        controls.push_back(std::move(c));
    }
    controls_ = std::move(controls);
    toolbar_ = std::move(toolbar);
    labels_ = std::move(labels);
    viewSize_.Set(static_cast<short>(width), static_cast<short>(height));
    collapsedHeight_ = static_cast<short>(collapsed > 0 ? collapsed : height);
    active_ = focus_ = nullptr;
    pressed_ = nullptr;
    if (gm_)
        SetGM(gm_);
    return 0;
}

long CStandardGUI_X::ReadLayoutResource(short number) {
    if (!container_)
        return eMemNullPointer;
    kvXML::CXMLElement* root = nullptr;
    KTResourceType* resource = nullptr;
    long err = GetXMLResource(container_, KCFourCC(QGLFourCC("XGUI")), number, root, resource);
    if (err == 0)
        err = root ? ReadLayout(*root) : static_cast<long>(eXMLTreeEmpty);
    RMReleaseResource(resource);
    return err;
}

cControl_X* CStandardGUI_X::FindControlForParam(unsigned long param) const {
    for (const auto& c : controls_)
        for (unsigned long p : c->GetParamIndices())
            if (p == param)
                return c.get();
    return nullptr;
}

void CStandardGUI_X::SetGM(CGraphicManagerAbs* gm) {
    gm_ = gm;
    if (!gm)
        return;
    for (auto& c : controls_)
        c->FinishCreate(*gm);
}

const X_CToolbarButton* CStandardGUI_X::ToolbarButtonAt(const KCPoint<short>& p) const {
    for (const X_CToolbarButton& b : toolbar_)
        if (p.x >= b.rect.left && p.x < b.rect.right && p.y >= b.rect.top && p.y < b.rect.bottom)
            return &b;
    return nullptr;
}

cControl_X* CStandardGUI_X::ControlAt(const KCPoint<short>& p) const {
    // The last drawn control lies on top.
    for (auto it = controls_.rbegin(); it != controls_.rend(); ++it)
        if (!(*it)->IsHidden() && !(*it)->IsReadOnly() && (*it)->IsPointInside(p))
            return it->get();
    return nullptr;
}

long CStandardGUI_X::DoMouseDown(KCEventData* e) {
    if (!e)
        return 0;
    FinishGesture();
    const KCPoint<short> at = e->GetMouseLocation();
    if ((pressed_ = ToolbarButtonAt(at)))
        return 0;
    cControl_X* c = ControlAt(at);
    if (!c || !alg_)
        return 0;
    gesture_ = std::make_unique<kvUndo::KCUndoCommandParams>(c->GetControlClass(), *alg_,
                                                             c->GetParamIndices());
    active_ = focus_ = c;
    bool handled = false;
    c->MouseDown(e, nullptr, handled);
    return 0;
}

long CStandardGUI_X::DoMouseMove(KCEventData* e) {
    if (!e)
        return 0;
    if (active_) {
        const KCPoint<short> d = e->GetMouseDistanceFromDragStart();
        active_->MouseDrag(e, d.x, d.y, nullptr);
        return 0;
    }
    for (auto& c : controls_)
        c->MouseOver(c->IsPointInside(e->GetMouseLocation()));
    return 0;
}

long CStandardGUI_X::DoMouseUp(KCEventData* e) {
    if (!e)
        return 0;
    if (pressed_) {
        const X_CToolbarButton* button = pressed_;
        pressed_ = nullptr;
        if (ToolbarButtonAt(e->GetMouseLocation()) == button)
            ExecuteToolbarButton(*button);
        return 0;
    }
    if (active_)
        active_->MouseUp(e);
    FinishGesture();
    return 0;
}

long CStandardGUI_X::DoKey(KCEventData* e, bool& handled) {
    handled = false;
    cControl_X* c = focus_;
    if (!e || !alg_ || !c)
        return 0;
    FinishGesture(); // a mouse gesture still open ends here
    gesture_ = std::make_unique<kvUndo::KCUndoCommandParams>(c->GetControlClass(), *alg_,
                                                             c->GetParamIndices());
    c->Key(e, handled);
    FinishGesture();
    return 0;
}

// One undo step per gesture, and only when it changed something.
void CStandardGUI_X::FinishGesture() {
    active_ = nullptr;
    if (gesture_ && gesture_->DiffersFromCurrent())
        undo_.InsertCommand(gesture_.release(), kvUndo::eInsertToUndoStack);
    gesture_.reset();
}

void CStandardGUI_X::ExecuteToolbarButton(const X_CToolbarButton& button) {
    if (button.name == "Undo")
        System_ExecuteUndo(1);
    else if (button.name == "Redo")
        System_ExecuteRedo(1);
    else if (button.name == "Reset")
        System_ExecuteReset();
    else if (button.name == "Switch")
        System_ExecuteSwitch();
    else if (button.name == "Next")
        System_ExecuteNextPreset();
    else if (button.name == "Prev")
        System_ExecutePrevPreset();
    else
        System_ExecutePluginSpecific(button.name);
}

void CStandardGUI_X::System_ExecutePluginSpecific(const std::string& name) {
    FinishGesture();
    if (alg_)
        alg_->ActivatePluginSpecificToolBar(name);
    SetRefresh();
}

void CStandardGUI_X::System_ExecuteUndo(unsigned short count) {
    FinishGesture();
    for (unsigned short i = 0; i < count && undo_.CanUndo(); ++i)
        undo_.Undo();
    SetRefresh();
}

void CStandardGUI_X::System_ExecuteRedo(unsigned short count) {
    FinishGesture();
    for (unsigned short i = 0; i < count && undo_.CanRedo(); ++i)
        undo_.Redo();
    SetRefresh();
}

void CStandardGUI_X::DrawBackground(CGraphicManagerAbs& gm) {
    // A clear costs far less than a filled rectangle of the whole view.
    gm.SetClearColor(KCRGBAColor(24, 24, 28, 255));
    gm.ClearHatch();
}

void CStandardGUI_X::DoIdle() {
    if (!gm_ || !gm_->IsInitialized())
        return;
    // Our own manager draws only while its window has a context.
    if (gm_ == ownGM_.get() && (!window_ || !window_->renderingContext))
        return;
    gm_->GotoHatch();
    DrawBackground(*gm_);
    for (auto& c : controls_)
        c->Draw(*gm_);
    DrawLabels(*gm_);
    for (const X_CToolbarButton& b : toolbar_) {
        gm_->SetColor(&b == pressed_ ? KCRGBAColor(200, 200, 205, 255)
                                     : KCRGBAColor(70, 70, 78, 255));
        gm_->DrawSolidRect(b.rect);
        gm_->DrawTextCached(gm_->GetFontInfo(), b.name.c_str(), KCRGBAColor(255, 255, 255, 255),
                            TextOriginInBox(gm_->GetFontInfo(), b.rect, 3));
    }
    ClearRefresh();
}

void CStandardGUI_X::DrawLabels(CGraphicManagerAbs& gm) {
    const KCRGBAColor color(200, 200, 205, 255);
    for (const SLabel& l : labels_)
        gm.DrawTextCached(gm.GetFontInfo(), l.text.c_str(), color,
                          LabelOrigin(gm.GetFontInfo(), l.rect));
}

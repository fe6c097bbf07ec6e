// The editor's layout reader, gesture handling and redraw.
#include "guilib/StandardGUI.h"

#include "foundation/ResConverters.h"
#include "guilib/Algorithm.h"
#include "ui/CGraphicManagerAbs.h"
#include "ui/GMRenderer.h"
#include "ui/GMText.h"
#include "ui/KCWindow.h"

#include <algorithm>
#include <charconv>
#include <map>
#include <typeinfo>

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

CStandardGUI_X::CStandardGUI_X(cALGORITHM* alg) {
    ListenTo(alg);
}

// The editor hears its algorithm's events (a preset loaded, a setup renamed,
// the active setup switched) through the algorithm's broadcaster, whoever
// caused them: the host, the tool bar or the preset manager.
void CStandardGUI_X::ListenTo(cALGORITHM* alg) {
    if (alg_)
        alg_->Broadcaster()->erase(this);
    alg_ = alg;
    if (alg_)
        alg_->Broadcaster()->insert(this);
}

// The undo list is not copied: its commands belong to one manager, and a
// copy that shared them would free them a second time or use them freed.
// The copy's own graphic manager is made when it is activated; a gesture,
// a pressed button and an open selection rectangle stay with the original.
CStandardGUI_X::CStandardGUI_X(const CStandardGUI_X& other)
    : KCAlgorithmListener(other), KCSystemBarListener(other),
      CSelectableHome(other), kvXML::CXMLable(other), CDrawable(other), toolbar_(other.toolbar_),
      gm_(other.gm_ == other.ownGM_.get() ? nullptr : other.gm_), container_(other.container_),
      window_(other.window_), labels_(other.labels_), hatch_(other.hatch_),
      viewSize_(other.viewSize_), visible_(other.visible_), visibleGiven_(other.visibleGiven_),
      collapsedHeight_(other.collapsedHeight_), dragSelect_(other.dragSelect_),
      embeddedGM_(other.embeddedGM_), aboutImage_(other.aboutImage_),
      aboutShown_(other.aboutShown_), pendingArea_(other.pendingArea_),
      redrawCount_(other.redrawCount_), lastRedrawArea_(other.lastRedrawArea_) {
    std::copy(std::begin(other.modified_), std::end(other.modified_), std::begin(modified_));
    CopyControls(other);
    ListenTo(other.alg_);
}

CStandardGUI_X& CStandardGUI_X::operator=(const CStandardGUI_X& other) {
    if (this == &other)
        return *this;
    FinishGesture();
    ReleaseOwnGM();
    CDrawable::operator=(other);
    ListenTo(other.alg_);
    toolbar_ = other.toolbar_;
    undo_.reset();
    pressed_ = nullptr;
    drawnPressed_ = nullptr;
    gm_ = other.gm_ == other.ownGM_.get() ? nullptr : other.gm_;
    container_ = other.container_;
    window_ = other.window_;
    labels_ = other.labels_;
    hatch_ = other.hatch_;
    viewSize_ = other.viewSize_;
    visible_ = other.visible_;
    visibleGiven_ = other.visibleGiven_;
    collapsedHeight_ = other.collapsedHeight_;
    dragSelect_ = other.dragSelect_;
    embeddedGM_ = other.embeddedGM_;
    aboutImage_ = other.aboutImage_;
    aboutShown_ = other.aboutShown_;
    selecting_ = false;
    selectRect_ = KURect<short>();
    std::copy(std::begin(other.modified_), std::end(other.modified_), std::begin(modified_));
    pendingArea_ = other.pendingArea_;
    redrawCount_ = other.redrawCount_;
    lastRedrawArea_ = other.lastRedrawArea_;
    CopyControls(other);
    return *this;
}

namespace {

// A copy of `c` of its own class, when that is one of the library's.
template <typename... Classes>
std::unique_ptr<cControl_X> CopyOfLibraryControl(const cControl_X& c) {
    std::unique_ptr<cControl_X> out;
    ((typeid(c) == typeid(Classes)
          ? void(out = std::make_unique<Classes>(static_cast<const Classes&>(c)))
          : void()),
     ...);
    return out;
}

} // namespace

void CStandardGUI_X::CopyControls(const CStandardGUI_X& other) {
    std::vector<std::unique_ptr<cControl_X>> copies;
    std::map<const cControl_X*, cControl_X*> made;
    for (const auto& c : other.controls_) {
        std::unique_ptr<cControl_X> copy =
            CopyOfLibraryControl<CSlider_X, CToggle_X, CPopup_X, CButton_X, CVuMeter_X, CText_X,
                                 KCGraph, KCZoomVerticesGraph, CMarker_X, CRadioButton_X,
                                 CDigitDisplay_X, CIncDec, CLRB_X, X_CMultiField, CScroller>(*c);
        if (!copy)
            continue;
        made[c.get()] = copy.get();
        copies.push_back(std::move(copy));
    }
    // Dependents, markers and homes point at the copies, never at the
    // original's controls.
    for (auto& copy : copies)
        if (auto* marker = dynamic_cast<CMarker_X*>(copy.get()))
            marker->SetMarkerHome(nullptr);
    for (auto& copy : copies) {
        std::vector<cControl_X*> dependents = copy->GetDependents();
        copy->ClearDependentsList();
        for (cControl_X* d : dependents)
            if (const auto it = made.find(d); it != made.end())
                copy->AddDependentPtr(it->second);
        if (auto* home = dynamic_cast<KCMarkerHome*>(copy.get())) {
            std::vector<CMarker_X*> markers = home->GetMarkers();
            home->ClearMarkers();
            for (CMarker_X* m : markers)
                if (const auto it = made.find(m); it != made.end())
                    home->AddMarker(static_cast<CMarker_X*>(it->second));
        }
    }
    controls_ = std::move(copies);
    focus_ = other.focus_ && made.count(other.focus_) ? made[other.focus_] : nullptr;
    active_ = nullptr;
    BuildSelectableList();
}

CStandardGUI_X::~CStandardGUI_X() {
    ListenTo(nullptr);
    // The window may be gone by now: its surface is not touched.
    window_ = nullptr;
    ReleaseOwnGM();
}

void CStandardGUI_X::ReleaseOwnGM() {
    if (!ownGM_)
        return;
    if (window_ && window_->deviceContext)
        GMSetPresentsOwnFrames(*window_, false);
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
    // The editor swaps after it drew; an unchanged editor costs no swap.
    GMSetPresentsOwnFrames(*w, true);
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

void CStandardGUI_X::SetVisible(const KCRegion& region) {
    if (visibleGiven_ && region == visible_)
        return;
    visible_ = region;
    visibleGiven_ = true;
    CDrawable::SetVisible(region);
}

bool CStandardGUI_X::IsVisible() const {
    return window_ != nullptr &&
           (!visibleGiven_ ||
            visible_.IsIntersecting(KURect<short>(0, 0, viewSize_.y, viewSize_.x)));
}

void CStandardGUI_X::InitDefaultGUI(cALGORITHM* alg) {
    ListenTo(alg);
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
    selecting_ = false;
    aboutShown_ = false;
    gm_ = nullptr;
    window_ = nullptr;
}

void CStandardGUI_X::InitHatch(const KURect<short>& rect) {
    hatch_ = rect;
    if (ownGM_ && window_)
        ownGM_->InitHatch(*window_, hatch_);
}

void CStandardGUI_X::MoveHatch(const KCPoint<short>& point) {
    const short h = static_cast<short>(hatch_.bottom - hatch_.top);
    const short w = static_cast<short>(hatch_.right - hatch_.left);
    hatch_.Set(point.y, point.x, static_cast<short>(point.y + h), static_cast<short>(point.x + w));
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

namespace {
std::unique_ptr<cControl_X> LibraryControl(const std::string& className) {
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
    if (className == "ZoomGraph")
        return std::make_unique<KCZoomVerticesGraph>();
    if (className == "Marker")
        return std::make_unique<CMarker_X>();
    if (className == "RadioButton")
        return std::make_unique<CRadioButton_X>();
    if (className == "DigitDisplay")
        return std::make_unique<CDigitDisplay_X>();
    if (className == "IncDec")
        return std::make_unique<CIncDec>();
    if (className == "LRB")
        return std::make_unique<CLRB_X>();
    if (className == "MultiField")
        return std::make_unique<X_CMultiField>();
    if (className == "Scroller")
        return std::make_unique<CScroller>();
    return nullptr;
}
} // namespace

cControl_X* CStandardGUI_X::CreateSpecificControls(std::string& className) {
    if (alg_)
        if (cControl_X* c = alg_->CreateSpecificControls(this, className))
            return c;
    return LibraryControl(className).release();
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
    std::vector<const kvXML::CXMLElement*> others;
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
        if (!Named(*e, "Control")) {
            others.push_back(e);
            continue;
        }
        std::string className, params, images, label;
        KURect<short> rect;
        std::vector<long> indices, numbers;
        e->GetAttrib("Class", className);
        std::unique_ptr<cControl_X> c(CreateSpecificControls(className));
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
    for (const kvXML::CXMLElement* e : others)
        if (ReadXML_PluginSpecific(e) != 0)
            return -1;
    long about = -1;
    root.GetAttrib("About", about);
    FinishGesture();
    selecting_ = false;
    aboutShown_ = false;
    controls_ = std::move(controls);
    toolbar_ = std::move(toolbar);
    labels_ = std::move(labels);
    viewSize_.Set(static_cast<short>(width), static_cast<short>(height));
    collapsedHeight_ = static_cast<short>(collapsed > 0 ? collapsed : height);
    aboutImage_ = CKVImage();
    if (about > 0 && about < 32768)
        aboutImage_.SetResID(static_cast<short>(about));
    active_ = focus_ = nullptr;
    pressed_ = nullptr;
    drawnPressed_ = nullptr;
    AttachMarkers();
    BuildSelectableList();
    UpdateToolbarStates();
    CDrawable::SetRefresh();
    if (gm_)
        SetGM(gm_);
    return 0;
}

long CStandardGUI_X::ReadXML_PluginSpecific(const kvXML::CXMLElement*) {
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
    if (aboutImage_.IsValid())
        aboutImage_.FinishCreate(*gm);
    CDrawable::SetRefresh();
}

void CStandardGUI_X::AttachMarkers() {
    for (size_t i = 0; i < controls_.size(); ++i) {
        auto* marker = dynamic_cast<CMarker_X*>(controls_[i].get());
        if (!marker)
            continue;
        const KURect<short>& m = marker->GetDrawableRect();
        const KCPoint<short> centre(static_cast<short>((m.left + m.right) / 2),
                                    static_cast<short>((m.top + m.bottom) / 2));
        // The nearest graph before the marker that holds its centre.
        for (size_t j = i; j-- > 0;) {
            auto* graph = dynamic_cast<KCGraph*>(controls_[j].get());
            if (!graph || !graph->GetDrawableRect().PointInRect(centre))
                continue;
            if (graph->GetBoundsRect().IsEmpty())
                graph->SetBoundsRect(graph->GetDrawableRect());
            graph->AddMarker(marker);
            graph->AddDependentPtr(marker);
            marker->AddDependentPtr(graph);
            break;
        }
    }
}

void CStandardGUI_X::BuildSelectableListSelf() {
    selectable_.clear();
    for (auto& c : controls_)
        if (!c->IsReadOnly() && !c->IsHidden())
            selectable_.push_back(c.get());
}

namespace {

// The smallest rectangle holding both (an empty one adds nothing).
KURect<short> Union(const KURect<short>& a, const KURect<short>& b) {
    if (a.IsEmpty())
        return b;
    if (b.IsEmpty())
        return a;
    return KURect<short>(std::min(a.top, b.top), std::min(a.left, b.left),
                         std::max(a.bottom, b.bottom), std::max(a.right, b.right));
}

bool Intersect(const KURect<short>& a, const KURect<short>& b) {
    KURect<short> unused;
    return a.GetIntersection(b, unused);
}

// A label's text sits above its control: the rectangle its text covers.
KURect<short> LabelRect(const KCFontInfo& font, const KURect<short>& control,
                        const std::string& text) {
    KCPoint<short> size;
    GMGetTextWidthInPixels(font, text.c_str(), size);
    const KCPoint<short> at = LabelOrigin(font, control);
    return KURect<short>(at.y, at.x, static_cast<short>(at.y + size.y),
                         static_cast<short>(at.x + size.x));
}

} // namespace

void CStandardGUI_X::SetRefresh(const KURect<short>& rect) {
    // The host asks for its whole view when it shows or moves the editor.
    const KURect<short> view(0, 0, viewSize_.y, viewSize_.x);
    if (rect.IsEmpty() ||
        (rect.left <= 0 && rect.top <= 0 && rect.right >= view.right && rect.bottom >= view.bottom))
        CDrawable::SetRefresh();
    else
        pendingArea_ = Union(pendingArea_, rect);
}

void CStandardGUI_X::DrawBackground(CGraphicManagerAbs& gm, const KURect<short>& area) {
    const KCRGBAColor background(24, 24, 28, 255);
    if (area.left <= 0 && area.top <= 0 && area.right >= viewSize_.x &&
        area.bottom >= viewSize_.y) {
        // A clear costs far less than a filled rectangle of the whole view.
        gm.SetClearColor(background);
        gm.ClearHatch();
        return;
    }
    gm.SetColor(background);
    gm.DrawSolidRect(area);
}

KURect<short> CStandardGUI_X::ChangedArea(bool& whole) {
    whole = NeedRefresh();
    KURect<short> area = pendingArea_;
    // Every control is asked, so that each one's record stays current.
    for (auto& c : controls_)
        if (c->NeedsRedraw())
            area = Union(area, c->GetBounds());
    if (pressed_ != drawnPressed_) {
        if (pressed_)
            area = Union(area, pressed_->rect);
        if (drawnPressed_)
            area = Union(area, drawnPressed_->rect);
    }
    if (whole || area.IsEmpty())
        return area;
    // A control drawn in part would show a seam: the area takes in every
    // control it touches, until it takes in no more.
    for (bool grew = true; grew;) {
        grew = false;
        for (auto& c : controls_) {
            const KURect<short> b = c->GetBounds();
            if (Intersect(area, b)) {
                const KURect<short> bigger = Union(area, b);
                grew = grew || bigger != area;
                area = bigger;
            }
        }
    }
    // Past half the view one full redraw costs about the same.
    const long view = static_cast<long>(viewSize_.x) * viewSize_.y;
    whole = 2L * area.Width() * area.Height() >= view;
    return area;
}

void CStandardGUI_X::DoIdle() {
    if (!gm_ || !gm_->IsInitialized())
        return;
    // Our own manager draws only while its window has a context.
    if (gm_ == ownGM_.get() && (!window_ || !window_->renderingContext))
        return;
    bool whole = false;
    const KURect<short> area = ChangedArea(whole);
    if (area.IsEmpty() && !whole)
        return;
    const bool ownFrames = gm_ == ownGM_.get() && window_ && window_->renderingContext;
    // A part is drawn over the frame shown last only when the back buffer
    // still holds it.
    if (ownFrames && !whole) {
        const int age = GMBackBufferAge(*window_);
        whole = age != 1 && age != -1;
    }
    if (whole)
        Redraw(KURect<short>(0, 0, viewSize_.y, viewSize_.x), true);
    else
        Redraw(area, false);
    if (ownFrames)
        GMSwapBuffers(*window_);
}

void CStandardGUI_X::Redraw(const KURect<short>& area, bool whole) {
    gm_->GotoHatch();
    if (!whole)
        gm_->LimitDrawToRect(area, false);
    DrawBackground(*gm_, area);
    for (auto& c : controls_) {
        // A marker is drawn by its graph, over it.
        auto* marker = dynamic_cast<CMarker_X*>(c.get());
        if ((whole || Intersect(area, c->GetBounds())) && !(marker && marker->GetMarkerHome()))
            c->Draw(*gm_);
    }
    DrawLabels(*gm_, area);
    DrawToolbar(*gm_, area, whole);
    if (selecting_)
        DrawSelectRect();
    if (aboutShown_)
        DrawAbout(*gm_);
    if (!whole)
        gm_->UnLimitDrawToRect();
    drawnPressed_ = pressed_;
    pendingArea_ = KURect<short>();
    lastRedrawArea_ = area;
    ++redrawCount_;
    ClearRefresh();
}

void CStandardGUI_X::DrawToolbar(CGraphicManagerAbs& gm, const KURect<short>& area, bool whole) {
    for (const X_CToolbarButton& b : toolbar_) {
        if (!whole && !Intersect(area, b.rect))
            continue;
        gm.SetColor(&b == pressed_ ? KCRGBAColor(200, 200, 205, 255)
                                   : KCRGBAColor(70, 70, 78, 255));
        gm.DrawSolidRect(b.rect);
        // A button that cannot act now shows a dimmed caption.
        const KCRGBAColor caption =
            b.available ? KCRGBAColor(255, 255, 255, 255) : KCRGBAColor(130, 130, 138, 255);
        const std::string& text = b.text.empty() ? b.name : b.text;
        gm.DrawTextCached(gm.GetFontInfo(), text.c_str(), caption,
                          TextOriginInBox(gm.GetFontInfo(), b.rect, 3));
    }
}

void CStandardGUI_X::DrawAbout(CGraphicManagerAbs& gm) {
    const KCPoint<short> size = aboutImage_.GetImageSize(gm);
    aboutImage_.DrawImage(gm, KCPoint<short>(static_cast<short>((viewSize_.x - size.x) / 2),
                                             static_cast<short>((viewSize_.y - size.y) / 2)));
}

void CStandardGUI_X::DrawLabels(CGraphicManagerAbs& gm, const KURect<short>& area) {
    const KCRGBAColor color(200, 200, 205, 255);
    for (const SLabel& l : labels_)
        if (Intersect(area, LabelRect(gm.GetFontInfo(), l.rect, l.text)))
            gm.DrawTextCached(gm.GetFontInfo(), l.text.c_str(), color,
                              LabelOrigin(gm.GetFontInfo(), l.rect));
}

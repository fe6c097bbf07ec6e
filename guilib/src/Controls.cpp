// Controls: state mapping of gestures and drawing.
#include "guilib/Controls.h"

#include "guilib/Algorithm.h"
#include "ui/CGraphicManagerAbs.h"
#include "ui/GMText.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstring>
#include <functional>

namespace {
const KCRGBAColor kTrack(60, 60, 66, 255);
const KCRGBAColor kThumb(220, 220, 225, 255);
const KCRGBAColor kOn(90, 200, 110, 255);
const KCRGBAColor kOff(40, 40, 44, 255);

KURect<short> Shrunk(const KURect<short>& r, short by) {
    return KURect<short>(static_cast<short>(r.top + by), static_cast<short>(r.left + by),
                         static_cast<short>(r.bottom - by), static_cast<short>(r.right - by));
}

void FillRect(CGraphicManagerAbs& gm, const KURect<short>& r, const KCRGBAColor& c) {
    gm.SetColor(c);
    gm.DrawSolidRect(r);
}
short LineHeight(const KCFontInfo& font) {
    KCPoint<short> size;
    GMGetTextWidthInPixels(font, " ", size);
    return size.y;
}
} // namespace

KCStaticText::KCStaticText() = default;
KCStaticText::KCStaticText(const KCStaticText& other) = default;
KCStaticText& KCStaticText::operator=(const KCStaticText& other) = default;
KCStaticText::~KCStaticText() = default;

void KCStaticText::SetFontInfo(const KCFontInfo& font) {
    font_.SetFontSize(font.GetFontSize());
    font_.SetFontName(font.GetFontName());
    font_.SetFontStyle(font.GetFontStyle());
    font_.SetFontAscent(font.GetFontAscent());
    font_.SetFontQuality(font.GetFontQuality());
    font_.SetFontSizeType(font.GetFontSizeType());
    layout_ = true;
    SetRefresh();
}

KCPoint<short> TextOriginInBox(const KCFontInfo& font, const KURect<short>& box, short inset) {
    const int top = box.top + (box.bottom - box.top - LineHeight(font)) / 2;
    return KCPoint<short>(static_cast<short>(box.left + inset), static_cast<short>(top));
}

KCPoint<short> LabelOrigin(const KCFontInfo& font, const KURect<short>& control) {
    return KCPoint<short>(control.left, static_cast<short>(control.top - 2 - LineHeight(font)));
}

bool KCStaticText::SetText(const std::string& text) {
    if (text == text_)
        return false;
    text_ = text;
    layout_ = true;
    SetRefresh();
    return true;
}

void KCStaticText::Layout(const KCFontInfo& font) {
    const KURect<short>& box = GetDrawableRect();
    KCPoint<short> size;
    GMGetTextWidthInPixels(font, text_.c_str(), size);
    const KCPoint<short> origin = TextOriginInBox(font, box);
    short left = box.left;
    if (justification_ == eTextJustificationCenter)
        left = static_cast<short>(box.left + (box.Width() - size.x) / 2);
    else if (justification_ == eTextJustificationRight)
        left = static_cast<short>(box.right - size.x);
    textRect_.Set(origin.y, left, static_cast<short>(origin.y + size.y),
                  static_cast<short>(left + size.x));
    layout_ = false;
}

void KCStaticText::Draw(CGraphicManagerAbs& gm) {
    if (IsHidden())
        return;
    const KURect<short>& box = GetDrawableRect();
    if (background_.IsValid())
        background_.DrawImage(gm, KCPoint<short>(box.left, box.top));
    if (text_.empty())
        return;
    // A text without a font of its own takes the editor's.
    const KCFontInfo& font = font_.GetFontName().empty() ? gm.GetFontInfo() : font_;
    // Placed at each draw: the box may have moved since the text changed.
    Layout(font);
    gm.DrawTextCached(font, text_.c_str(), color_, KCPoint<short>(textRect_.left, textRect_.top));
}

void cControl_X::RegisterParam(uint32_t param) {
    if (params_.empty())
        lead_ = param;
    params_.emplace_back(param);
}

std::vector<unsigned long> cControl_X::GetParamIndices() const {
    std::vector<unsigned long> out;
    for (const KCParamRegistrationData& p : params_)
        out.push_back(p.GetParamID());
    return out;
}

void cControl_X::FinishCreate(CGraphicManagerAbs& gm) {
    images_.clear();
    for (short n : imageNumbers_)
        images_.push_back(gm.RegisterImageFromResID(n));
    FinishCreateSelf();
}

void cControl_X::Move(int dx, int dy) {
    KURect<short> r = GetDrawableRect();
    r.Offset(static_cast<short>(dx), static_cast<short>(dy));
    SetDrawableRect(r);
}

void cControl_X::Draw(CGraphicManagerAbs& gm) {
    if (!IsHidden()) {
        DrawSelf(gm);
        if (selected_ || highlighted_)
            DrawSelectionBitmap(gm);
    }
    shown_.clear();
    AppendShown(shown_);
    ClearRefresh();
}

void cControl_X::AppendShown(std::vector<double>& out) const {
    out.push_back(IsHidden() ? 1 : 0);
    out.push_back(GetHoverState());
    out.push_back(disabled_);
    out.push_back((selected_ ? 1 : 0) + (highlighted_ ? 2 : 0) + (touched_ ? 4 : 0));
    if (!alg_)
        return;
    const std::vector<sCONTROL_PARAM>& params = *alg_->GetParamVector();
    const EPluginSetup setup = alg_->GetActiveSetup();
    for (const KCParamRegistrationData& r : params_) {
        if (r.GetParamID() >= params.size())
            continue;
        const sCONTROL_PARAM& p = params[r.GetParamID()];
        out.push_back(p.state[setup]);
        out.push_back(p.disabledMode[setup]);
        out.push_back(p.currentImage);
        out.push_back(p.numStates);
    }
}

bool cControl_X::NeedsRedraw() {
    if (NeedRefresh())
        return true;
    current_.clear();
    AppendShown(current_);
    // Bit for bit: a value that is not a number still compares equal.
    return current_.size() != shown_.size() ||
           std::memcmp(current_.data(), shown_.data(), current_.size() * sizeof(double)) != 0;
}

void cControl_X::DrawSelf(CGraphicManagerAbs& gm) {
    if (void* image = Image(0))
        gm.DrawImage(image, KCPoint<short>(GetDrawableRect().left, GetDrawableRect().top));
}

double cControl_X::LeadState() const {
    return StateAt(0);
}

double cControl_X::LeadStates() const {
    return StatesAt(0);
}

double cControl_X::StateAt(size_t slot) const {
    if (!alg_ || slot >= params_.size() ||
        params_[slot].GetParamID() >= alg_->GetParamVector()->size())
        return 0;
    return (*alg_->GetParamVector())[params_[slot].GetParamID()].state[alg_->GetActiveSetup()];
}

double cControl_X::StatesAt(size_t slot) const {
    if (!alg_ || slot >= params_.size() ||
        params_[slot].GetParamID() >= alg_->GetParamVector()->size())
        return 1;
    return std::max(1, (*alg_->GetParamVector())[params_[slot].GetParamID()].GetNumStates());
}

void cControl_X::SetLeadState(double state) {
    SetStateAt(0, state);
}

void cControl_X::SetStateAt(size_t slot, double state) {
    if (!alg_ || slot >= params_.size() ||
        params_[slot].GetParamID() >= alg_->GetParamVector()->size())
        return;
    state = std::clamp(state, 0.0, StatesAt(slot) - 1);
    if (state == StateAt(slot))
        return;
    alg_->SetParamState(params_[slot].GetParamID(), state);
    SetRefresh();
    for (cControl_X* d : dependents_)
        d->SetRefresh();
}

BUFFER_HEADER* cControl_X::EnterText(const std::string& text, ETranslateTextRetType& result) {
    result = cALGORITHM::eTranslateInvalid;
    if (readOnly_ || disabled_ || !alg_ || !CanEnterText() || params_.empty())
        return nullptr;
    return EnterTextSelf(text, result);
}

BUFFER_HEADER* cControl_X::EnterTextSelf(const std::string& text, ETranslateTextRetType& result) {
    double state = 0;
    result = cALGORITHM::eTranslateInvalid;
    if (!alg_ || alg_->TranslateTextToState(lead_, text, state) != cALGORITHM::eTranslateValid)
        return nullptr;
    result = cALGORITHM::eTranslateValid;
    SetLeadState(state);
    return nullptr;
}

const sCONTROL_PARAM* cControl_X::LeadParam() const {
    if (!alg_ || params_.empty() || lead_ >= alg_->GetParamVector()->size())
        return nullptr;
    return &(*alg_->GetParamVector())[lead_];
}

void cControl_X::Resize(int dw, int dh) {
    KURect<short> r = GetDrawableRect();
    r.right = static_cast<short>(std::max<int>(r.left, r.right + dw));
    r.bottom = static_cast<short>(std::max<int>(r.top, r.bottom + dh));
    SetDrawableRect(r);
}

bool cControl_X::GetValueWinText(std::string* text) {
    const sCONTROL_PARAM* p = LeadParam();
    if (!text || !p)
        return false;
    text->clear();
    p->TranslateValueString(LeadState(), *text);
    return true;
}

bool cControl_X::GetControlAutomationInfo(ControllerAutomationInfoVer6* info) {
    if (!info || !LeadParam())
        return false;
    info->paramIndex = lead_;
    info->states = LeadStates();
    info->refCon1 = refCon1_;
    info->refCon2 = refCon2_;
    return true;
}

namespace {
double StateOfControllerValue(double value, double states) {
    return std::round(std::clamp(value, 0.0, 1.0) * std::max(0.0, states - 1));
}
} // namespace

void cControl_X::SetControllerValueSelf(double value) {
    if (LeadParam() && !readOnly_ && !disabled_)
        SetLeadState(StateOfControllerValue(value, LeadStates()));
}

void cControl_X::TranslateController(double value, std::string& text) {
    text.clear();
    if (const sCONTROL_PARAM* p = LeadParam())
        p->TranslateValueString(StateOfControllerValue(value, LeadStates()), text);
}

void cControl_X::SetSelected(bool on) {
    if (selected_ == on)
        return;
    selected_ = on;
    SetSelectionSelf();
    SetRefresh();
}

void cControl_X::SetHighlightInfo(bool on, bool touched) {
    if (highlighted_ == on && touched_ == touched)
        return;
    highlighted_ = on;
    touched_ = touched;
    SetRefresh();
}

void cControl_X::UpdateDisabledMode(unsigned long mode) {
    if (disabled_ == mode)
        return;
    disabled_ = static_cast<uint32_t>(mode);
    SetRefresh();
}

BUFFER_HEADER* cControl_X::MouseOver(KCEventData* e, bool inside, bool* redraw) {
    const int32_t before = GetHoverState();
    setHoverState(inside ? 1 : 0);
    if (redraw)
        *redraw = GetHoverState() != before;
    return MouseOverSelf(e, inside);
}

bool cControl_X::IsPointInsideSelf(const KCPoint<short>& p, KCEventData*) const {
    const KURect<short> r = GetBounds();
    return p.x >= r.left && p.x < r.right && p.y >= r.top && p.y < r.bottom;
}

bool cControl_X::DoYouIntersectSelf(const KURect<short>& r, KCEventData*) const {
    KURect<short> unused;
    return GetBounds().GetIntersection(r, unused);
}

void cControl_X::DrawDefaultSelectionLevel(CGraphicManagerAbs& gm, const KURect<short>& r) {
    gm.SetColor(KCRGBAColor(255, 255, 255, 255));
    gm.DrawWireRect(r);
}

BUFFER_HEADER* cControl_X::MouseWheel(KCEventData* e, double dx, double dy, KURect<double>* r) {
    return !readOnly_ && !disabled_ && e ? MouseWheelSelf(e, dx, dy, r) : nullptr;
}

void cControl_X::ResendLeadState() {
    if (alg_)
        alg_->UpdateParamState(lead_);
}

BUFFER_HEADER* cControl_X::MouseDown(KCEventData* e, KURect<double>* r, bool& handled) {
    handled = false;
    if (readOnly_ || disabled_ || !e)
        return nullptr;
    downState_ = LeadState();
    handled = true;
    return MouseDownSelf(e, r, handled);
}

BUFFER_HEADER* cControl_X::MouseDrag(KCEventData* e, double dx, double dy, KURect<double>* r) {
    return !readOnly_ && !disabled_ && e ? MouseDragSelf(e, dx, dy, r) : nullptr;
}

BUFFER_HEADER* cControl_X::MouseUp(KCEventData* e) {
    return !readOnly_ && !disabled_ && e ? MouseUpSelf(e) : nullptr;
}

BUFFER_HEADER* cControl_X::Key(KCEventData* e, bool& handled) {
    handled = false;
    return !readOnly_ && !disabled_ && e ? KeySelf(e, handled) : nullptr;
}

double cControl_X::ArrowStep(const KCEventData* e) {
    if (!e)
        return 0;
    if (e->GetKeyCode() == eKeyUpArrow || e->GetKeyCode() == eKeyRightArrow)
        return 1;
    if (e->GetKeyCode() == eKeyDownArrow || e->GetKeyCode() == eKeyLeftArrow)
        return -1;
    return 0;
}

BUFFER_HEADER* cControl_X::KeySelf(KCEventData* e, bool& handled) {
    const double step = ArrowStep(e);
    if (step == 0)
        return nullptr;
    handled = true;
    SetLeadState(std::round(LeadState()) + step);
    return nullptr;
}

BUFFER_HEADER* CSlider_X::MouseDragSelf(KCEventData* e, double, double, KURect<double>*) {
    const KURect<short>& r = GetDrawableRect();
    const int width = r.right - r.left;
    const int height = r.bottom - r.top;
    const bool vertical = height > width;
    // Moving up or right raises the state.
    const KCPoint<short> moved = e->GetMouseDistanceFromDragStart();
    const int delta = vertical ? -moved.y : moved.x;
    const int travel = std::max(1, vertical ? height : width);
    const double span = LeadStates() - 1;
    SetLeadState(std::round(DownState() + delta * span / travel));
    return nullptr;
}

BUFFER_HEADER* CSlider_X::MouseUpSelf(KCEventData* e) {
    MouseDragSelf(e, 0, 0, nullptr);
    if (LeadState() != DownState())
        ResendLeadState();
    return nullptr;
}

void CSlider_X::DrawSelf(CGraphicManagerAbs& gm) {
    const KURect<short>& r = GetDrawableRect();
    if (void* strip = Image(0)) {
        const double fraction = LeadState() / std::max(1.0, LeadStates() - 1);
        // A strip of frames stacked vertically, each as high as the control.
        KCPoint<short> size;
        gm.GetImageSize(strip, size);
        const short frameHeight = static_cast<short>(r.bottom - r.top);
        const int frames = frameHeight > 0 ? std::max(1, size.y / frameHeight) : 1;
        const short frame = static_cast<short>(std::lround(fraction * (frames - 1)));
        const KURect<short> part(static_cast<short>(frame * frameHeight), 0,
                                 static_cast<short>((frame + 1) * frameHeight), size.x);
        gm.DrawImage(strip, KCPoint<short>(r.left, r.top), part);
        return;
    }
    FillRect(gm, r, kTrack);
    KURect<short> thumb;
    SetThumbRect(thumb);
    FillRect(gm, thumb, kThumb);
}

void CSlider_X::SetThumbRect(KURect<short>& thumb) {
    const KURect<short>& r = GetDrawableRect();
    const double fraction = LeadState() / std::max(1.0, LeadStates() - 1);
    const bool vertical = r.bottom - r.top > r.right - r.left;
    const short along = thumb.IsEmpty() ? short{6} : (vertical ? thumb.Height() : thumb.Width());
    if (vertical) {
        const auto y = static_cast<short>(r.bottom - fraction * (r.bottom - r.top - along) - along);
        thumb.Set(y, r.left, static_cast<short>(y + along), r.right);
    } else {
        const auto x = static_cast<short>(r.left + fraction * (r.right - r.left - along));
        thumb.Set(r.top, x, r.bottom, static_cast<short>(x + along));
    }
    thumb_ = thumb;
}

BUFFER_HEADER* CToggle_X::MouseDownSelf(KCEventData*, KURect<double>*, bool&) {
    const double states = LeadStates();
    const double next = std::round(LeadState()) + 1;
    SetLeadState(next >= states ? 0 : next);
    return nullptr;
}

void CToggle_X::DrawSelf(CGraphicManagerAbs& gm) {
    const size_t state = static_cast<size_t>(std::max(0.0, std::round(LeadState())));
    const size_t last = GetImages().empty() ? 0 : GetImages().size() - 1;
    if (void* image = Image(std::min(state, last))) {
        gm.DrawImage(image, KCPoint<short>(GetDrawableRect().left, GetDrawableRect().top));
        return;
    }
    FillRect(gm, GetDrawableRect(), state ? kOn : kOff);
}

BUFFER_HEADER* CButton_X::MouseDownSelf(KCEventData*, KURect<double>*, bool&) {
    SetLeadState(1);
    return nullptr;
}

BUFFER_HEADER* CButton_X::MouseUpSelf(KCEventData*) {
    SetLeadState(0);
    return nullptr;
}

void CButton_X::DrawSelf(CGraphicManagerAbs& gm) {
    if (void* image = Image(LeadState() > 0 && Image(1) ? 1 : 0)) {
        gm.DrawImage(image, KCPoint<short>(GetDrawableRect().left, GetDrawableRect().top));
        return;
    }
    FillRect(gm, GetDrawableRect(), LeadState() > 0 ? kThumb : kTrack);
}

void CVuMeter_X::DrawSelf(CGraphicManagerAbs& gm) {
    const KURect<short>& r = GetDrawableRect();
    FillRect(gm, r, kOff);
    const double fraction = LeadState() / std::max(1.0, LeadStates() - 1);
    KURect<short> bar = Shrunk(r, 1);
    bar.top = static_cast<short>(bar.bottom - fraction * (bar.bottom - bar.top));
    if (!bar.IsEmpty())
        FillRect(gm, bar, kOn);
}

bool CText_X::ShownText(std::string& text) const {
    cALGORITHM* alg = GetAlgorithm();
    if (!alg || GetLeadParamIndex() >= alg->GetParamVector()->size())
        return false;
    const sCONTROL_PARAM& p = (*alg->GetParamVector())[GetLeadParamIndex()];
    if (showsLabel_)
        text = p.label;
    else
        p.TranslateValueString(LeadState(), text);
    return true;
}

void CText_X::AppendShown(std::vector<double>& out) const {
    cControl_X::AppendShown(out);
    std::string text;
    if (ShownText(text))
        out.push_back(std::bit_cast<double>(static_cast<uint64_t>(std::hash<std::string>{}(text))));
}

void CText_X::DrawSelf(CGraphicManagerAbs& gm) {
    std::string text;
    if (ShownText(text))
        text_.SetText(text);
    text_.SetDrawableRect(GetDrawableRect());
    text_.Draw(gm);
}

KCGraph::KCGraph() {
    SetReadOnly(true);
}

KCGraph::~KCGraph() = default;

KCGraph::KCGraph(const KCGraph& o)
    : cControl_X(o), KCMarkerHome(o), feedBottom_(o.feedBottom_), feedTop_(o.feedTop_),
      fed_(o.fed_), background_(o.background_) {
    for (const auto& p : o.primitives_)
        if (KCGraphData* c = p->Clone())
            primitives_.emplace_back(c);
}

KCGraph& KCGraph::operator=(const KCGraph& o) {
    if (this != &o) {
        KCGraph copy(o);
        cControl_X::operator=(o);
        KCMarkerHome::operator=(o);
        primitives_ = std::move(copy.primitives_);
        feedBottom_ = o.feedBottom_;
        feedTop_ = o.feedTop_;
        fed_ = o.fed_;
        background_ = o.background_;
    }
    return *this;
}

void KCGraph::AddPrimitive(std::unique_ptr<KCGraphData> primitive) {
    if (!primitive)
        return;
    if (primitive->GetDrawableRect().IsEmpty())
        primitive->SetDrawableRect(GetDrawableRect());
    primitives_.push_back(std::move(primitive));
}

void KCGraph::FinishCreate(CGraphicManagerAbs& gm) {
    cControl_X::FinishCreate(gm);
    if (background_.IsValid())
        background_.FinishCreate(gm);
    for (auto& p : primitives_)
        p->FinishCreate(&gm);
}

void KCGraph::Feed() {
    cALGORITHM* alg = GetAlgorithm();
    if (!fed_ || primitives_.empty() || !alg ||
        GetLeadParamIndex() >= alg->GetParamVector()->size())
        return;
    const std::vector<double>& points =
        (*alg->GetParamVector())[GetLeadParamIndex()].graph[alg->GetActiveSetup()];
    std::vector<float>& data = primitives_.front()->GetData();
    data.resize(points.size());
    for (size_t i = 0; i < points.size(); ++i)
        data[i] = static_cast<float>((points[i] - feedBottom_) / (feedTop_ - feedBottom_));
}

void KCGraph::AppendShown(std::vector<double>& out) const {
    cControl_X::AppendShown(out);
    cALGORITHM* alg = GetAlgorithm();
    if (!fed_ || !alg || GetLeadParamIndex() >= alg->GetParamVector()->size())
        return;
    const std::vector<double>& points =
        (*alg->GetParamVector())[GetLeadParamIndex()].graph[alg->GetActiveSetup()];
    out.insert(out.end(), points.begin(), points.end());
}

void KCGraph::DrawSelf(CGraphicManagerAbs& gm) {
    EraseBG(gm);
    Feed();
    gm.LimitDrawToRect(GetDrawableRect(), true);
    for (auto& p : primitives_)
        p->Draw();
    gm.UnLimitDrawToRect();
    DrawDependents(gm);
}

// Controls: state mapping of gestures and drawing.
#include "guilib/Controls.h"

#include "guilib/Algorithm.h"
#include "ui/CGraphicManagerAbs.h"
#include "ui/GMText.h"

#include <algorithm>
#include <cmath>

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
    SetRefresh();
    return true;
}

void KCStaticText::Draw(CGraphicManagerAbs& gm) {
    if (IsHidden() || text_.empty())
        return;
    gm.DrawTextCached(gm.GetFontInfo(), text_.c_str(), color_,
                      TextOriginInBox(gm.GetFontInfo(), GetDrawableRect()));
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
}

void cControl_X::Move(int dx, int dy) {
    KURect<short> r = GetDrawableRect();
    r.Offset(static_cast<short>(dx), static_cast<short>(dy));
    SetDrawableRect(r);
}

bool cControl_X::IsPointInside(const KCPoint<short>& p) const {
    const KURect<short> r = GetBounds();
    return p.x >= r.left && p.x < r.right && p.y >= r.top && p.y < r.bottom;
}

void cControl_X::Draw(CGraphicManagerAbs& gm) {
    if (!IsHidden())
        DrawSelf(gm);
    ClearRefresh();
}

void cControl_X::DrawSelf(CGraphicManagerAbs& gm) {
    if (void* image = Image(0))
        gm.DrawImage(image, KCPoint<short>(GetDrawableRect().left, GetDrawableRect().top));
}

double cControl_X::LeadState() const {
    if (!alg_ || lead_ >= alg_->GetParamVector()->size())
        return 0;
    return (*alg_->GetParamVector())[lead_].state[alg_->GetActiveSetup()];
}

double cControl_X::LeadStates() const {
    if (!alg_ || lead_ >= alg_->GetParamVector()->size())
        return 1;
    return std::max(1, (*alg_->GetParamVector())[lead_].GetNumStates());
}

void cControl_X::SetLeadState(double state) {
    if (!alg_ || lead_ >= alg_->GetParamVector()->size())
        return;
    state = std::clamp(state, 0.0, LeadStates() - 1);
    if (state == LeadState())
        return;
    alg_->SetParamState(lead_, state);
    SetRefresh();
    for (cControl_X* d : dependents_)
        d->SetRefresh();
}

BUFFER_HEADER* cControl_X::MouseDown(KCEventData* e, KURect<double>* r, bool& handled) {
    handled = false;
    if (readOnly_ || !e)
        return nullptr;
    downState_ = LeadState();
    handled = true;
    MouseDownSelf(e, r, handled);
    return nullptr;
}

BUFFER_HEADER* cControl_X::MouseDrag(KCEventData* e, double dx, double dy, KURect<double>* r) {
    if (!readOnly_ && e)
        MouseDragSelf(e, dx, dy, r);
    return nullptr;
}

BUFFER_HEADER* cControl_X::MouseUp(KCEventData* e) {
    if (!readOnly_ && e)
        MouseUpSelf(e);
    return nullptr;
}

BUFFER_HEADER* cControl_X::Key(KCEventData* e, bool& handled) {
    handled = false;
    if (!readOnly_ && e)
        KeySelf(e, handled);
    return nullptr;
}

void cControl_X::KeySelf(KCEventData* e, bool& handled) {
    double step = 0;
    if (e->GetKeyCode() == eKeyUpArrow || e->GetKeyCode() == eKeyRightArrow)
        step = 1;
    else if (e->GetKeyCode() == eKeyDownArrow || e->GetKeyCode() == eKeyLeftArrow)
        step = -1;
    if (step == 0)
        return;
    handled = true;
    SetLeadState(std::round(LeadState()) + step);
}

void CSlider_X::MouseDragSelf(KCEventData* e, double, double, KURect<double>*) {
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
}

void CSlider_X::DrawSelf(CGraphicManagerAbs& gm) {
    const KURect<short>& r = GetDrawableRect();
    const double span = std::max(1.0, LeadStates() - 1);
    const double fraction = LeadState() / span;
    if (void* strip = Image(0)) {
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
    KURect<short> thumb = r;
    if (r.bottom - r.top > r.right - r.left) {
        const short y = static_cast<short>(r.bottom - fraction * (r.bottom - r.top - 6) - 6);
        thumb.Set(y, r.left, static_cast<short>(y + 6), r.right);
    } else {
        const short x = static_cast<short>(r.left + fraction * (r.right - r.left - 6));
        thumb.Set(r.top, x, r.bottom, static_cast<short>(x + 6));
    }
    FillRect(gm, thumb, kThumb);
}

void CToggle_X::MouseDownSelf(KCEventData*, KURect<double>*, bool&) {
    const double states = LeadStates();
    const double next = std::round(LeadState()) + 1;
    SetLeadState(next >= states ? 0 : next);
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

void CPopup_X::MouseDownSelf(KCEventData* e, KURect<double>* r, bool& handled) {
    cALGORITHM* alg = GetAlgorithm();
    if (!menuWindow_ || !menuWindow_->windowHandle || !alg ||
        GetLeadParamIndex() >= alg->GetParamVector()->size()) {
        CToggle_X::MouseDownSelf(e, r, handled);
        return;
    }
    const short current = static_cast<short>(std::lround(LeadState()));
    KCMenuEx menu;
    if (menu_.GetItems().empty()) {
        const sCONTROL_PARAM& p = (*alg->GetParamVector())[GetLeadParamIndex()];
        for (short s = 0; s < static_cast<short>(LeadStates()); ++s) {
            std::string text;
            p.TranslateValueString(s, text);
            menu.Append(text.empty() ? std::to_string(s + 1) : text, s, s == current);
        }
    } else {
        for (const KCMenuEx::Item& item : menu_.GetItems()) {
            if (item.separator)
                menu.AppendSeparator();
            else
                menu.Append(item.title, item.command, item.command == current, item.disabled);
        }
    }
    const KURect<short>& at = GetDrawableRect();
    long chosen = -1;
    if (menu.ActivatePopUpMenu(*menuWindow_, KCPoint<short>(at.left, at.bottom), chosen) == 0 &&
        chosen >= 0)
        SetLeadState(static_cast<double>(chosen));
}

void CPopup_X::DrawSelf(CGraphicManagerAbs& gm) {
    FillRect(gm, GetDrawableRect(), kOff);
    cALGORITHM* alg = GetAlgorithm();
    if (!alg || GetLeadParamIndex() >= alg->GetParamVector()->size())
        return;
    std::string text;
    (*alg->GetParamVector())[GetLeadParamIndex()].TranslateValueString(LeadState(), text);
    gm.DrawTextCached(gm.GetFontInfo(), text.c_str(), kThumb,
                      TextOriginInBox(gm.GetFontInfo(), GetDrawableRect(), 3));
}

void CButton_X::MouseDownSelf(KCEventData*, KURect<double>*, bool&) {
    SetLeadState(1);
}

void CButton_X::MouseUpSelf(KCEventData*) {
    SetLeadState(0);
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

void CText_X::DrawSelf(CGraphicManagerAbs& gm) {
    cALGORITHM* alg = GetAlgorithm();
    if (alg && GetLeadParamIndex() < alg->GetParamVector()->size()) {
        const sCONTROL_PARAM& p = (*alg->GetParamVector())[GetLeadParamIndex()];
        std::string text;
        if (showsLabel_)
            text = p.label;
        else
            p.TranslateValueString(LeadState(), text);
        text_.SetText(text);
    }
    text_.SetDrawableRect(GetDrawableRect());
    text_.Draw(gm);
}

KCGraph::KCGraph(const KCGraph& o) : cControl_X(o) {
    for (const auto& p : o.primitives_)
        if (KCGraphData* c = p->Clone())
            primitives_.emplace_back(c);
}

KCGraph& KCGraph::operator=(const KCGraph& o) {
    if (this != &o) {
        KCGraph copy(o);
        cControl_X::operator=(o);
        primitives_ = std::move(copy.primitives_);
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

void KCGraph::DrawSelf(CGraphicManagerAbs& gm) {
    cControl_X::DrawSelf(gm);
    Feed();
    gm.LimitDrawToRect(GetDrawableRect(), true);
    for (auto& p : primitives_)
        p->Draw();
    gm.UnLimitDrawToRect();
}

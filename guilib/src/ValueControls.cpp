// The controls that pick or step values: the menu button, radio buttons,
// the digit display, the increment/decrement buttons, the left/right/both
// control, the multi-field and the scroll bar.
#include "guilib/Controls.h"

#include "guilib/Algorithm.h"
#include "ui/CGraphicManagerAbs.h"
#include "ui/KCMenu.h"

#include <algorithm>
#include <cmath>

namespace {
const KCRGBAColor kTrack(60, 60, 66, 255);
const KCRGBAColor kThumb(220, 220, 225, 255);
const KCRGBAColor kOn(90, 200, 110, 255);
const KCRGBAColor kOff(40, 40, 44, 255);
const KCRGBAColor kSelected(70, 110, 170, 255);

void FillRect(CGraphicManagerAbs& gm, const KURect<short>& r, const KCRGBAColor& c) {
    gm.SetColor(c);
    gm.DrawSolidRect(r);
}

void DrawText(CGraphicManagerAbs& gm, const KURect<short>& r, const std::string& text) {
    if (!text.empty())
        gm.DrawTextCached(gm.GetFontInfo(), text.c_str(), kThumb,
                          TextOriginInBox(gm.GetFontInfo(), r, 3));
}

bool IsVertical(const KURect<short>& r) {
    return r.Height() > r.Width();
}

// The n-th of `count` equal parts of `r` along its long side (the first at
// the left, or at the top).
KURect<short> Part(const KURect<short>& r, long n, long count) {
    count = std::max(1L, count);
    KURect<short> p = r;
    if (IsVertical(r)) {
        p.top = static_cast<short>(r.top + r.Height() * n / count);
        p.bottom = static_cast<short>(r.top + r.Height() * (n + 1) / count);
    } else {
        p.left = static_cast<short>(r.left + r.Width() * n / count);
        p.right = static_cast<short>(r.left + r.Width() * (n + 1) / count);
    }
    return p;
}

// The parameter text of a control's registered parameter for a state.
std::string ValueText(const cControl_X& c, cALGORITHM* alg, size_t slot, double state) {
    std::string text;
    auto& regs = const_cast<cControl_X&>(c).GetParamDataVec();
    if (alg && slot < regs.size() && regs[slot].GetParamID() < alg->GetParamVector()->size())
        (*alg->GetParamVector())[regs[slot].GetParamID()].TranslateValueString(state, text);
    return text;
}

bool ShiftDown(const KCEventData* e) {
    return e && e->GetKeyModifiers()[eModifierShift];
}

} // namespace

// --- CPopup_X ---------------------------------------------------------------

CPopup_X::CPopup_X() : items_(std::make_unique<KCMenuData>()) {}

CPopup_X::CPopup_X(const CPopup_X& other)
    : cControl_X(other), items_(std::make_unique<KCMenuData>()), menu_(other.menu_),
      menuWindow_(other.menuWindow_) {
    items_->flags = other.items_->flags;
    for (const KCMenuItemData* item : other.items_->root.children)
        items_->root.insertSubMenuItem(new KCMenuItemData(*item));
}

CPopup_X& CPopup_X::operator=(const CPopup_X& other) {
    if (this != &other) {
        CPopup_X copy(other);
        cControl_X::operator=(other);
        ClearPopupItems();
        items_->flags = copy.items_->flags;
        items_->root.children.swap(copy.items_->root.children);
        menu_ = copy.menu_;
        menuWindow_ = copy.menuWindow_;
    }
    return *this;
}

CPopup_X::~CPopup_X() {
    items_->root.disposeSubMenuItems();
}

void CPopup_X::ClearPopupItems() {
    items_->root.disposeSubMenuItems();
    menu_.Clear();
}

void CPopup_X::AppendPopupItem(const std::string& title, short command, bool disabled) {
    auto* item = new KCMenuItemData(title.c_str(), command);
    if (disabled)
        item->flags |= kMenuItemDataDisabled;
    items_->root.insertSubMenuItem(item);
}

long CPopup_X::CreatePopUpMenu() {
    menu_.Clear();
    const short current = static_cast<short>(std::lround(LeadState()));
    if (items_->root.children.empty()) {
        for (short s = 0; s < static_cast<short>(LeadStates()); ++s) {
            const std::string text = ValueText(*this, GetAlgorithm(), 0, s);
            menu_.Append(text.empty() ? std::to_string(s + 1) : text, s, s == current);
        }
        return 0;
    }
    // The tree's items as they are, the current state's command checked.
    KCMenuData& tree = menu_.GetMenuData();
    for (const KCMenuItemData* item : items_->root.children) {
        auto* copy = new KCMenuItemData(*item);
        if (!(copy->flags & kMenuItemDataSeparator) && copy->command == current)
            copy->flags |= kMenuItemDataChecked;
        tree.root.insertSubMenuItem(copy);
    }
    return 0;
}

long CPopup_X::ActivatePopUpMenu(const KCWindow& window, const KCPoint<short>& where,
                                 long& selection) {
    return menu_.ActivatePopUpMenu(window, where, selection);
}

BUFFER_HEADER* CPopup_X::MouseDownSelf(KCEventData*, KURect<double>*, bool&) {
    if (!menuWindow_ || !menuWindow_->windowHandle || !GetAlgorithm() || CreatePopUpMenu() != 0)
        return nullptr;
    const KURect<short>& at = GetDrawableRect();
    long chosen = -1;
    if (ActivatePopUpMenu(*menuWindow_, KCPoint<short>(at.left, at.bottom), chosen) == 0 &&
        chosen >= 0)
        SetLeadState(static_cast<double>(chosen));
    menu_.Clear();
    return nullptr;
}

void CPopup_X::DrawSelf(CGraphicManagerAbs& gm) {
    FillRect(gm, GetDrawableRect(), kOff);
    DrawText(gm, GetDrawableRect(), ValueText(*this, GetAlgorithm(), 0, LeadState()));
}

// --- CRadioButton_X ---------------------------------------------------------

KURect<short> CRadioButton_X::ButtonRect(long state) const {
    return Part(GetDrawableRect(), state, static_cast<long>(LeadStates()));
}

BUFFER_HEADER* CRadioButton_X::MouseDownSelf(KCEventData* e, KURect<double>*, bool&) {
    const KCPoint<short> at = e->GetMouseLocation();
    for (long s = 0; s < static_cast<long>(LeadStates()); ++s)
        if (ButtonRect(s).PointInRect(at)) {
            SetLeadState(static_cast<double>(s));
            return nullptr;
        }
    return nullptr;
}

void CRadioButton_X::DrawSelf(CGraphicManagerAbs& gm) {
    const long chosen = std::lround(LeadState());
    for (long s = 0; s < static_cast<long>(LeadStates()); ++s) {
        const KURect<short> b = ButtonRect(s);
        if (void* image = Image(static_cast<size_t>(s)); image && s == chosen) {
            gm.DrawImage(image, KCPoint<short>(b.left, b.top));
            continue;
        }
        FillRect(gm, KURect<short>(b.top, b.left, b.bottom, static_cast<short>(b.right - 1)),
                 s == chosen ? kOn : kOff);
    }
}

// --- CDigitDisplay_X ----------------------------------------------------------

bool CDigitDisplay_X::GetValueWinText(std::string* text) {
    if (!text)
        return false;
    *text = ValueText(*this, GetAlgorithm(), 0, LeadState());
    return true;
}

void CDigitDisplay_X::AppendShown(std::vector<double>& out) const {
    cControl_X::AppendShown(out);
    // The text follows the state; the number of characters is what a
    // display function may change on its own.
    out.push_back(static_cast<double>(ValueText(*this, GetAlgorithm(), 0, LeadState()).size()));
}

void CDigitDisplay_X::DrawSelf(CGraphicManagerAbs& gm) {
    const KURect<short>& r = GetDrawableRect();
    FillRect(gm, r, kTrack);
    std::string text;
    GetValueWinText(&text);
    DrawText(gm, r, text);
}

// --- CIncDec ------------------------------------------------------------------

namespace {
constexpr double kFirstRepeatMs = 400;
constexpr double kRepeatMs = 80;
} // namespace

CIncDec::CIncDec() : KCTimer(kFirstRepeatMs / 1000.0) {
    SetInterval(kFirstRepeatMs);
}

CIncDec::CIncDec(const CIncDec& other)
    : CToggle_X(other), KCTimer(other), direction_(0), repeats_(0) {}

CIncDec& CIncDec::operator=(const CIncDec& other) {
    if (this != &other) {
        Stop();
        CToggle_X::operator=(other);
        KCTimer::operator=(other);
        direction_ = 0;
        repeats_ = 0;
    }
    return *this;
}

BUFFER_HEADER* CIncDec::MouseDownSelf(KCEventData* e, KURect<double>*, bool&) {
    const KURect<short>& r = GetDrawableRect();
    const KCPoint<short> at = e->GetMouseLocation();
    // Up is the upper half of a tall control, the right half of a wide one.
    direction_ = IsVertical(r) ? (at.y < r.top + r.Height() / 2 ? 1 : -1)
                               : (at.x >= r.left + r.Width() / 2 ? 1 : -1);
    repeats_ = 0;
    UpdateValue();
    SetInterval(kFirstRepeatMs);
    Start();
    return nullptr;
}

BUFFER_HEADER* CIncDec::MouseUpSelf(KCEventData*) {
    Stop();
    direction_ = 0;
    SetRefresh();
    return nullptr;
}

void CIncDec::UpdateValue() {
    if (direction_ != 0)
        SetLeadState(std::round(LeadState()) + direction_);
}

void CIncDec::YourCallbackFunc() {
    if (direction_ == 0) {
        Stop();
        return;
    }
    UpdateValue();
    if (++repeats_ == 1) { // faster after the first repeat
        Stop();
        SetInterval(kRepeatMs);
        Start();
    }
}

void CIncDec::DrawSelf(CGraphicManagerAbs& gm) {
    const KURect<short>& r = GetDrawableRect();
    const KURect<short> up = Part(r, IsVertical(r) ? 0 : 1, 2);
    const KURect<short> down = Part(r, IsVertical(r) ? 1 : 0, 2);
    FillRect(gm, up, direction_ > 0 ? kThumb : kTrack);
    FillRect(gm, down, direction_ < 0 ? kThumb : kTrack);
    DrawText(gm, up, "+");
    DrawText(gm, down, "-");
}

// --- CLRB_X -------------------------------------------------------------------

namespace {
const char* const kChannelNames[] = {"L", "R", "B"};
constexpr short kSelectorHeight = 14;
} // namespace

KURect<short> CLRB_X::SelectorRect(short channel) const {
    const KURect<short>& r = GetDrawableRect();
    const KURect<short> strip(r.top, r.left, static_cast<short>(r.top + kSelectorHeight), r.right);
    KURect<short> p = strip;
    p.left = static_cast<short>(strip.left + strip.Width() * channel / 3);
    p.right = static_cast<short>(strip.left + strip.Width() * (channel + 1) / 3);
    return p;
}

void CLRB_X::SetCurrentChan(short channel) {
    if (channel < kLeft || channel > kBoth || channel == channel_)
        return;
    channel_ = channel;
    SetRefresh();
}

BUFFER_HEADER* CLRB_X::MouseDownSelf(KCEventData* e, KURect<double>*, bool&) {
    const KCPoint<short> at = e->GetMouseLocation();
    for (short c = kLeft; c <= kBoth; ++c)
        if (SelectorRect(c).PointInRect(at)) {
            SetCurrentChan(c);
            return nullptr;
        }
    // A click on the bars sets the selected channel to the height clicked;
    // linked, the other follows by the same amount.
    const KURect<short>& r = GetDrawableRect();
    const int travel = std::max(1, r.Height() - kSelectorHeight - 1);
    const double fraction = std::clamp((r.bottom - at.y) / double(travel), 0.0, 1.0);
    const size_t lead = channel_ == kRight ? 1 : 0;
    const double delta = std::round(fraction * (StatesAt(lead) - 1)) - StateAt(lead);
    if (channel_ != kRight)
        SetStateAt(0, StateAt(0) + delta);
    if (channel_ != kLeft)
        SetStateAt(1, StateAt(1) + delta);
    return nullptr;
}

void CLRB_X::AppendShown(std::vector<double>& out) const {
    cControl_X::AppendShown(out);
    out.push_back(channel_);
}

void CLRB_X::DrawSelf(CGraphicManagerAbs& gm) {
    const KURect<short>& r = GetDrawableRect();
    for (short c = kLeft; c <= kBoth; ++c) {
        const KURect<short> s = SelectorRect(c);
        FillRect(gm,
                 KURect<short>(s.top, s.left, static_cast<short>(s.bottom - 1),
                               static_cast<short>(s.right - 1)),
                 c == channel_ ? kSelected : kOff);
        DrawText(gm, s, kChannelNames[c]);
    }
    const KURect<short> bars(static_cast<short>(r.top + kSelectorHeight + 1), r.left, r.bottom,
                             r.right);
    for (size_t slot = 0; slot < 2; ++slot) {
        KURect<short> bar = bars;
        bar.left = static_cast<short>(bars.left + bars.Width() * static_cast<int>(slot) / 2 + 1);
        bar.right =
            static_cast<short>(bars.left + bars.Width() * static_cast<int>(slot + 1) / 2 - 1);
        FillRect(gm, bar, kTrack);
        const double fraction = StateAt(slot) / std::max(1.0, StatesAt(slot) - 1);
        bar.top = static_cast<short>(bar.bottom - fraction * bar.Height());
        if (!bar.IsEmpty())
            FillRect(gm, bar, kOn);
    }
}

// --- X_CMultiField ------------------------------------------------------------

KURect<short> X_CMultiField::FieldRect(size_t field) const {
    return Part(GetDrawableRect(), static_cast<long>(field), static_cast<long>(GetNumFields()));
}

BUFFER_HEADER* X_CMultiField::MouseDownSelf(KCEventData* e, KURect<double>*, bool&) {
    const KCPoint<short> at = e->GetMouseLocation();
    for (size_t f = 0; f < GetNumFields(); ++f) {
        if (!FieldRect(f).PointInRect(at))
            continue;
        const auto field = static_cast<int32_t>(f);
        auto it = std::find(selected_.begin(), selected_.end(), field);
        if (!ShiftDown(e))
            selected_.assign(1, field);
        else if (it != selected_.end())
            selected_.erase(it);
        else
            selected_.push_back(field);
        SetRefresh();
        return nullptr;
    }
    return nullptr;
}

BUFFER_HEADER* X_CMultiField::KeySelf(KCEventData* e, bool& handled) {
    const double step = ArrowStep(e);
    if (step == 0 || selected_.empty())
        return nullptr;
    handled = true;
    for (int32_t f : selected_)
        SetStateAt(static_cast<size_t>(f), std::round(StateAt(static_cast<size_t>(f))) + step);
    return nullptr;
}

void X_CMultiField::AppendShown(std::vector<double>& out) const {
    cControl_X::AppendShown(out);
    out.push_back(AreAllFieldsSelected() ? 1 : 0);
    for (int32_t f : selected_)
        out.push_back(f);
}

void X_CMultiField::DrawSelf(CGraphicManagerAbs& gm) {
    for (size_t f = 0; f < GetNumFields(); ++f) {
        const KURect<short> r = FieldRect(f);
        const bool chosen = std::find(selected_.begin(), selected_.end(),
                                      static_cast<int32_t>(f)) != selected_.end();
        FillRect(gm, KURect<short>(r.top, r.left, r.bottom, static_cast<short>(r.right - 1)),
                 chosen ? kSelected : kTrack);
        DrawText(gm, r, ValueText(*this, GetAlgorithm(), f, StateAt(f)));
    }
}

// --- CScroller ----------------------------------------------------------------

void CScroller::UpdatePointerSelf(unsigned long) {
    const KURect<short>& r = GetDrawableRect();
    const double states = std::max(1.0, LeadStates());
    const bool vertical = IsVertical(r);
    const int track = vertical ? r.Height() : r.Width();
    const int length = std::clamp(static_cast<int>(track / states), 8, std::max(8, track));
    const double fraction = LeadState() / std::max(1.0, states - 1);
    const auto start = static_cast<short>(fraction * (track - length));
    thumb_ = vertical ? KURect<short>(static_cast<short>(r.top + start), r.left,
                                      static_cast<short>(r.top + start + length), r.right)
                      : KURect<short>(r.top, static_cast<short>(r.left + start), r.bottom,
                                      static_cast<short>(r.left + start + length));
}

BUFFER_HEADER* CScroller::MouseDownSelf(KCEventData* e, KURect<double>*, bool&) {
    UpdatePointerSelf(0);
    const KCPoint<short> at = e->GetMouseLocation();
    if (thumb_.PointInRect(at))
        return nullptr; // the drag moves it
    // A click beside the thumb pages one tenth of the range towards it.
    const bool before = IsVertical(GetDrawableRect()) ? at.y < thumb_.top : at.x < thumb_.left;
    const double page = std::max(1.0, std::round((LeadStates() - 1) / 10));
    SetLeadState(std::round(LeadState()) + (before ? -page : page));
    return nullptr;
}

BUFFER_HEADER* CScroller::MouseDragSelf(KCEventData* e, double, double, KURect<double>*) {
    const KURect<short>& r = GetDrawableRect();
    const bool vertical = IsVertical(r);
    const int length = vertical ? thumb_.Height() : thumb_.Width();
    const int travel = std::max(1, (vertical ? r.Height() : r.Width()) - length);
    const KCPoint<short> moved = e->GetMouseDistanceFromDragStart();
    const int delta = vertical ? moved.y : moved.x;
    SetLeadState(std::round(DownState() + delta * (LeadStates() - 1) / travel));
    return nullptr;
}

void CScroller::DrawSelf(CGraphicManagerAbs& gm) {
    UpdatePointerSelf(0);
    FillRect(gm, GetDrawableRect(), kTrack);
    FillRect(gm, thumb_, kThumb);
}

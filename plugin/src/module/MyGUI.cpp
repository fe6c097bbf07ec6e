// The plug-in's editor object.
#include "MyGUI.h"

#include "foundation/ResConverters.h"
#include "guilib/Algorithm.h"
#include "guilib/MenuEx.h"
#include "plugin/DisplayFunctions.h"
#include "plugin/EditorWindows.h"
#include "plugin/PeqAlg.h"
#include "ui/KCWindow.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

#include <wx/window.h>

// What the algorithm asks of its editor, answered by the editor while it
// exists: its window and pop-up menus here, the dialogs and the command-list
// window (built from the module's resources) by the window services.
class CMyGUI::CServices final : public CPeqWindowServices {
public:
    CServices(CMyGUI* gui, KTResContainerType* container)
        : CPeqWindowServices(container), gui_(gui) {}
    void Forget() { gui_ = nullptr; }

    KCWindow* PluginWindow() override {
        KCWindow* w = gui_ ? gui_->GetPluginWindow() : nullptr;
        return w && w->windowHandle ? w : nullptr;
    }
    bool PopUpMenu(KCMenuEx& menu, long& selection) override {
        selection = -1;
        KCWindow* w = PluginWindow();
        return w && menu.ActivatePopUpMenu(*w, KMMouseInWindow(*w), selection) == 0;
    }

    void SetAnalogInputItems(bool fiveInputs) override {
        if (!gui_)
            return;
        for (long i = 0; i < gui_->GetNumControllers(); ++i) {
            cControl_X* c = gui_->GetControl(static_cast<size_t>(i));
            auto* popup = dynamic_cast<CPopup_X*>(c);
            if (!popup || popup->GetLeadParamIndex() != dulm::PARAM_ANALOG ||
                std::string(c->GetControlClass()) != "Popup")
                continue;
            popup->ClearPopupItems();
            for (short item = 0; item < 5; ++item)
                popup->AppendPopupItem(std::to_string(item + 1), item, item >= 3 && !fiveInputs);
        }
    }

private:
    CMyGUI* gui_;
};

namespace {

// How a value text of the layout shows its parameter's value ("Form"):
// "whole" a whole number, "ratio" n:1, "balance" the side and the distance
// from the centre ("L 12", "Centre", "R 12"); false for no form.
bool FormText(const std::string& form, double value, std::string& text) {
    const long whole = std::lround(value);
    if (form == "whole") {
        text = std::to_string(whole);
    } else if (form == "ratio") {
        text = std::to_string(whole) + ":1";
    } else if (form == "balance") {
        const int steps = dulm::BalanceSteps(value);
        text = steps == 0  ? std::string("Centre")
               : steps < 0 ? "L " + std::to_string(-steps)
                           : "R " + std::to_string(steps);
    } else {
        return false;
    }
    return true;
}

// A value text that shows its parameter's value in the layout's form (the
// parameter's own text without one) and its unit after the value.
class CValueText final : public CText_X {
public:
    void SetUnits(const std::string& units) { units_ = units; }
    void SetForm(const std::string& form) { form_ = form; }
    bool HasForm() const { return !form_.empty(); }
    // The text for a state of the parameter, without the unit; false when
    // the parameter has none.
    bool ValueTextAt(double state, std::string& text) {
        cALGORITHM* alg = GetAlgorithm();
        if (!alg || GetLeadParamIndex() >= alg->GetParamVector()->size())
            return false;
        const sCONTROL_PARAM& p = (*alg->GetParamVector())[GetLeadParamIndex()];
        if (!FormText(form_, p.StateToRealWorld(state), text))
            p.TranslateValueString(state, text);
        return true;
    }
    void DrawSelf(CGraphicManagerAbs& gm) override {
        std::string text;
        if ((units_.empty() && form_.empty()) || !ValueTextAt(LeadState(), text)) {
            CText_X::DrawSelf(gm);
            return;
        }
        if (!text.empty() && !units_.empty())
            text += " " + units_;
        GetTextWin().SetText(text);
        GetTextWin().SetDrawableRect(GetDrawableRect());
        GetTextWin().Draw(gm);
    }

private:
    std::string units_;
    std::string form_;
};

// The scale a parameter list gives a parameter: where its faders place a
// value, whatever scale the parameter has for the moment (a shelf's Q has a
// narrower one), so that one value sits at one place on every fader.
struct SListScale {
    double minimum = 0, maximum = 0;
    bool logarithmic = false;
    bool Valid() const { return maximum > minimum && (!logarithmic || minimum > 0); }
    double Fraction(double value) const {
        const double f = logarithmic ? std::log(value / minimum) / std::log(maximum / minimum)
                                     : (value - minimum) / (maximum - minimum);
        return std::clamp(f, 0.0, 1.0);
    }
};

// A fader: placed by its value on the parameter list's scale; one that has
// no effect (its parameter disabled) shows its track without a thumb.
class CFader final : public CSlider_X {
public:
    void SetListScale(const SListScale& scale) { list_ = scale; }
    void DrawSelf(CGraphicManagerAbs& gm) override {
        if (IsDisabled()) {
            DrawTrack(gm);
            return;
        }
        sCONTROL_PARAM* p = LeadParamRecord();
        if (!p || !list_.Valid() ||
            (p->scaleInfo.minimum == list_.minimum && p->scaleInfo.maximum == list_.maximum)) {
            CSlider_X::DrawSelf(gm);
            return;
        }
        // Drawn at the place of the value on the list's scale: the state
        // the list's scale gives the value, for the length of the drawing.
        double& state = p->state[GetAlgorithm()->GetActiveSetup()];
        const double kept = state;
        state = std::round(list_.Fraction(p->StateToRealWorld(kept)) * (LeadStates() - 1));
        CSlider_X::DrawSelf(gm);
        state = kept;
    }

private:
    sCONTROL_PARAM* LeadParamRecord() {
        cALGORITHM* alg = GetAlgorithm();
        if (!alg || GetLeadParamIndex() >= alg->GetParamVector()->size())
            return nullptr;
        return &(*alg->GetParamVector())[GetLeadParamIndex()];
    }
    void DrawTrack(CGraphicManagerAbs& gm) {
        const KURect<short>& r = GetDrawableRect();
        const bool vertical = r.Height() > r.Width();
        const auto mid =
            static_cast<short>(vertical ? (r.left + r.right) / 2 : (r.top + r.bottom) / 2);
        const auto before = static_cast<short>(mid - 1), after = static_cast<short>(mid + 1);
        Fill(gm, r, KCRGBAColor(36, 36, 40, 255));
        Fill(gm,
             vertical ? KURect<short>(r.top, before, r.bottom, after)
                      : KURect<short>(before, r.left, after, r.right),
             KCRGBAColor(54, 54, 60, 255));
    }
    static void Fill(CGraphicManagerAbs& gm, const KURect<short>& r, const KCRGBAColor& c) {
        KCDrawGraph_ColorRect fill;
        fill.FinishCreate(&gm);
        fill.SetDrawableRect(r);
        fill.SetFillColor(c);
        fill.Draw();
    }

    SListScale list_;
};

// The parameter list resource ('XPRM').
constexpr short kParameterListId = 1000;

// The scales of the parameter list resource, in index order.
std::vector<SListScale> ReadListScales(KTResContainerType* container) {
    std::vector<SListScale> scales;
    kvXML::CXMLElement* root = nullptr;
    KTResourceType* resource = nullptr;
    if (!container ||
        GetXMLResource(container, KCFourCC(QGLFourCC("XPRM")), kParameterListId, root, resource) !=
            0 ||
        !root) {
        RMReleaseResource(resource);
        return scales;
    }
    auto child = [](const kvXML::CXMLElement& e, const char* name) -> const kvXML::CXMLElement* {
        for (const kvXML::CXMLElement* c : e.children)
            if (std::string(c->name.c_str()) == name)
                return c;
        return nullptr;
    };
    auto number = [&](const kvXML::CXMLElement& e, const char* name) {
        const kvXML::CXMLElement* c = child(e, name);
        double v = 0;
        if (c)
            std::from_chars(c->text.data(), c->text.data() + c->text.size(), v);
        return v;
    };
    for (const kvXML::CXMLElement* p : root->children) {
        SListScale s;
        if (const kvXML::CXMLElement* scale = child(*p, "Scale")) {
            const kvXML::CXMLElement* type = child(*scale, "ScaleType");
            const std::string kind = type ? type->text : std::string();
            if (kind == "linear" || kind == "logarithmic") {
                s.minimum = number(*scale, "Minimum");
                s.maximum = number(*scale, "Maximum");
                s.logarithmic = kind == "logarithmic";
            }
        }
        scales.push_back(s);
    }
    RMReleaseResource(resource);
    return scales;
}

// What the layout adds around the controls: a titled frame ("Section") or
// a free text ("Caption", e.g. a graph's scale mark), drawn from the
// library's graph primitives beneath the controls that follow it.
class CDecoration final : public KCGraph {
public:
    explicit CDecoration(bool section) : section_(section) {}
    const char* GetControlClass() const override { return section_ ? "Section" : "Caption"; }
    void FinishCreate(CGraphicManagerAbs& gm) override {
        gm_ = &gm;
        KCGraph::FinishCreate(gm);
    }
    // A caption in its own colour names what is drawn in that colour.
    void SetColor(const KCRGBAColor& color) { color_ = color; }
    void SetText(const std::string& text, const KCFontInfo& font) {
        const KURect<short> r = GetDrawableRect();
        if (section_) {
            // A frame one pixel wide around the editor's own background, and
            // a title bar: small fills, for a software renderer too.
            const KCRGBAColor frame(58, 58, 66, 255);
            const short t = r.top, l = r.left, b = r.bottom, rt = r.right;
            Add(KURect<short>(t, l, static_cast<short>(t + 1), rt), frame);
            Add(KURect<short>(static_cast<short>(b - 1), l, b, rt), frame);
            Add(KURect<short>(t, l, b, static_cast<short>(l + 1)), frame);
            Add(KURect<short>(t, static_cast<short>(rt - 1), b, rt), frame);
            Add(KURect<short>(static_cast<short>(t + 1), static_cast<short>(l + 1),
                              static_cast<short>(t + CMyGUI::kSectionTitleHeight),
                              static_cast<short>(rt - 1)),
                KCRGBAColor(40, 40, 47, 255));
        }
        const KURect<short> box =
            section_
                ? KURect<short>(r.top, r.left,
                                static_cast<short>(r.top + CMyGUI::kSectionTitleHeight), r.right)
                : r;
        const KCPoint<short> at = TextOriginInBox(font, box, section_ ? 6 : 0);
        auto text_ = std::make_unique<KCDrawGraph_Text>();
        text_->SetDrawableRect(r);
        text_->Items().push_back(sTextItem{
            KCPoint<short>(static_cast<short>(at.x - r.left), static_cast<short>(at.y - r.top)),
            text, section_ ? KCRGBAColor(235, 235, 240, 255) : color_});
        Keep(std::move(text_));
    }

private:
    void Add(const KURect<short>& r, const KCRGBAColor& c) {
        auto fill = std::make_unique<KCDrawGraph_ColorRect>();
        fill->SetDrawableRect(r);
        fill->SetFillColor(c);
        Keep(std::move(fill));
    }
    void Keep(std::unique_ptr<KCGraphData> p) {
        if (gm_)
            p->FinishCreate(gm_);
        AddPrimitive(std::move(p));
    }

    bool section_;
    CGraphicManagerAbs* gm_ = nullptr;
    KCRGBAColor color_ = KCRGBAColor(175, 175, 182, 255);
};

// "r,g,b" of the layout.
bool ParseColor(const std::string& text, KCRGBAColor& color) {
    int r = 0, g = 0, b = 0;
    if (std::sscanf(text.c_str(), "%d,%d,%d", &r, &g, &b) != 3)
        return false;
    color =
        KCRGBAColor(static_cast<uint8_t>(r), static_cast<uint8_t>(g), static_cast<uint8_t>(b), 255);
    return true;
}

} // namespace

CMyGUI::CMyGUI(KTResContainerType* container)
    : CStandardGUI_X(nullptr), services_(std::make_shared<CServices>(this, container)) {
    SetResContainer(container);
}

void CMyGUI::SetWindow(KCWindow* w) {
    CStandardGUI_X::SetWindow(w);
    // Without its window the editor's boxes are headless again.
    if (!w || !w->windowHandle)
        services_->SetOwner(nullptr);
}

CMyGUI::~CMyGUI() {
    services_->Forget();
    if (auto* alg = dynamic_cast<cPEQ_ALG*>(GetAlg()))
        alg->SetEditorServices(nullptr);
}

void CMyGUI::InitDefaultGUI(cALGORITHM* alg) {
    CStandardGUI_X::InitDefaultGUI(alg);
    ReadLayoutResource(kLayoutId);
    ReadDecorations();
    if (auto* peq = dynamic_cast<cPEQ_ALG*>(alg))
        peq->SetEditorServices(services_);
}

void CMyGUI::ActivateWindow(KCWindow* w) {
    CStandardGUI_X::ActivateWindow(w);
    // The editor's frame owns the plug-in's dialogs and message boxes.
    if (w && w->windowHandle)
        services_->SetOwner(wxGetTopLevelParent(w->windowHandle));
    if (auto* alg = dynamic_cast<cPEQ_ALG*>(GetAlg()))
        alg->SetUpEditorWindow(w && w->windowHandle ? w : nullptr);
}

long CMyGUI::TranslateController(unsigned long controller, double value, std::string& text) {
    // The host's controllers are the plug-in's parameters: a value text with
    // a form of its own gives its text, any other parameter is left to the
    // parameter's own text (the text stays empty).
    text.clear();
    for (long i = 0; i < GetNumControllers(); ++i) {
        auto* shown = dynamic_cast<CValueText*>(GetControl(static_cast<size_t>(i)));
        if (shown && shown->HasForm() &&
            static_cast<unsigned long>(shown->GetLeadParamIndex()) == controller) {
            if (!shown->ValueTextAt(value, text))
                text.clear();
            return 0;
        }
    }
    return 0;
}

void CMyGUI::DoIdle() {
    // A control whose parameter has no effect takes no gestures.
    cALGORITHM* alg = GetAlg();
    for (long i = 0; alg && i < GetNumControllers(); ++i) {
        cControl_X* c = GetControl(static_cast<size_t>(i));
        if (c->GetLeadParamIndex() < alg->GetParamVector()->size())
            c->UpdateDisabledMode(static_cast<unsigned long>(
                (*alg->GetParamVector())[c->GetLeadParamIndex()].GetDisabledMode(
                    alg->GetActiveSetup()) != 0));
    }
    CStandardGUI_X::DoIdle();
}

cControl_X* CMyGUI::CreateSpecificControls(std::string& className) {
    if (className == "Text")
        return new CValueText();
    if (className == "Slider")
        return new CFader();
    if (className == "Section" || className == "Caption")
        return new CDecoration(className == "Section");
    return CStandardGUI_X::CreateSpecificControls(className);
}

void CMyGUI::ReadDecorations() {
    kvXML::CXMLElement* root = nullptr;
    KTResourceType* resource = nullptr;
    if (!GetResContainer() ||
        GetXMLResource(GetResContainer(), KCFourCC(QGLFourCC("XGUI")), kLayoutId, root, resource) !=
            0 ||
        !root) {
        RMReleaseResource(resource);
        return;
    }
    // The library made one control per Control element, in their order.
    const std::vector<SListScale> scales = ReadListScales(GetResContainer());
    const KCFontInfo font;
    size_t index = 0;
    for (const kvXML::CXMLElement* e : root->children) {
        if (std::string(e->name.c_str()) != "Control")
            continue;
        cControl_X* c = GetControl(index++);
        std::string text;
        if (auto* fader = dynamic_cast<CFader*>(c); fader && c->GetLeadParamIndex() < scales.size())
            fader->SetListScale(scales[c->GetLeadParamIndex()]);
        if (auto* value = dynamic_cast<CValueText*>(c)) {
            if (e->GetAttrib("Units", text))
                value->SetUnits(text);
            if (e->GetAttrib("Form", text))
                value->SetForm(text);
        }
        auto* d = dynamic_cast<CDecoration*>(c);
        KCRGBAColor color;
        if (d && e->GetAttrib("Color", text) && ParseColor(text, color))
            d->SetColor(color);
        if (d && (e->GetAttrib("Title", text) || e->GetAttrib("Text", text)))
            d->SetText(text, font);
    }
    RMReleaseResource(resource);
}

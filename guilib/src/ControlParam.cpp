#include "guilib/ControlParam.h"

#include "foundation/KTErr.h"
#include "foundation/KUUtils.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <map>

namespace {

constexpr double kStates = 1000.0;

double Span(const sSCALE_INFO* s) {
    return s->maximum - s->minimum;
}

std::string Fixed(double value, int decimals) {
    // A value that shows as zero shows without a sign.
    if (std::fabs(value) < 0.5 * std::pow(10.0, -decimals))
        value = 0.0;
    char buffer[64];
    const auto r =
        std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::fixed, decimals);
    return r.ec == std::errc() ? std::string(buffer, r.ptr) : std::string();
}

void DisplayFloat0(double, double value, std::string& text) {
    text = Fixed(value, 0);
}
void DisplayFloat1(double, double value, std::string& text) {
    text = Fixed(value, 1);
}
void DisplayFloat2(double, double value, std::string& text) {
    text = Fixed(value, 2);
}
void DisplayOnOff(double, double value, std::string& text) {
    text = std::trunc(value) != 0 ? "On" : "Off";
}
void DisplayIgnore(double, double, std::string& text) {
    text.clear();
}
void DisplayVuHold(double, double value, std::string& text) {
    text = value <= -144.0 ? "-Inf" : Fixed(value, 1);
}

} // namespace

double LinearStateToRealWorld(double state, const sSCALE_INFO* s) {
    return s->minimum + Span(s) * state / kStates;
}

double LinearRealWorldToState(double value, const sSCALE_INFO* s) {
    return Span(s) != 0 ? (value - s->minimum) * kStates / Span(s) : 0.0;
}

double LogStateToRealWorld(double state, const sSCALE_INFO* s) {
    if (s->minimum <= 0 || s->maximum <= 0)
        return LinearStateToRealWorld(state, s);
    return s->minimum * std::pow(s->maximum / s->minimum, state / kStates);
}

double LogRealWorldToState(double value, const sSCALE_INFO* s) {
    if (s->minimum <= 0 || s->maximum <= 0 || s->maximum == s->minimum || value <= 0)
        return LinearRealWorldToState(value, s);
    return kStates * std::log(value / s->minimum) / std::log(s->maximum / s->minimum);
}

double ToggleStateToRealWorld(double state, const sSCALE_INFO* s) {
    const double n = s->numStates;
    return n > 1 ? s->minimum + state * Span(s) / (n - 1) : s->minimum;
}

double ToggleRealWorldToState(double value, const sSCALE_INFO* s) {
    const double n = s->numStates;
    if (n <= 1 || Span(s) == 0)
        return 0.0;
    const double state = std::floor((value - s->minimum) * (n - 1) / Span(s) + 0.5);
    return std::clamp(state, 0.0, n - 1);
}

DisplayFunc FrameworkDisplayFunc(const std::string& name) {
    static const std::map<std::string, DisplayFunc> table = {
        {"DisplayFloat0", DisplayFloat0}, {"DisplayFloat1", DisplayFloat1},
        {"DisplayFloat2", DisplayFloat2}, {"DisplayState", DisplayOnOff},
        {"DisplayOnOff", DisplayOnOff},   {"DisplayIgnore", DisplayIgnore},
        {"DisplayVuHold", DisplayVuHold},
    };
    const auto it = table.find(name);
    return it == table.end() ? nullptr : it->second;
}

double sCONTROL_PARAM::StateToRealWorld(double s) const {
    return stateToRealWorld ? stateToRealWorld(s, &scaleInfo) : 0.0;
}

double sCONTROL_PARAM::RealWorldToState(double value) const {
    return realWorldToState ? realWorldToState(value, &scaleInfo) : 0.0;
}

double sCONTROL_PARAM::UpdateRealWorldFromState(EPluginSetup setup) {
    const double mapped = RealWorldToState(realWorld[setup]);
    if (mapped != state[setup] && stateToRealWorld)
        realWorld[setup] = StateToRealWorld(state[setup]);
    return realWorld[setup];
}

double sCONTROL_PARAM::UpdateStateFromRealWorld(EPluginSetup setup) {
    if (realWorldToState)
        state[setup] = RealWorldToState(realWorld[setup]);
    return state[setup];
}

void sCONTROL_PARAM::SetRealWorldAndUpdate(double value, EPluginSetup setup) {
    realWorld[setup] = value;
    UpdateStateFromRealWorld(setup);
    updateFlag = 3;
}

void sCONTROL_PARAM::UpdateValueString(EPluginSetup setup) {
    if (displayFunc)
        displayFunc(state[setup], realWorld[setup], valueString);
}

void sCONTROL_PARAM::TranslateValueString(double s, std::string& text) const {
    if (displayFunc)
        displayFunc(s, StateToRealWorld(s), text);
}

void sCONTROL_PARAM::SetScaleLinear(double minimum, double maximum, double resolution) {
    scaleInfo.minimum = minimum;
    scaleInfo.maximum = maximum;
    scaleInfo.resolution = resolution;
    scaleInfo.numStates = kStates + 1;
    scaleInfo.kind = sSCALE_INFO::kLinear;
    stateToRealWorld = LinearStateToRealWorld;
    realWorldToState = LinearRealWorldToState;
    numStates = static_cast<int32_t>(kStates) + 1;
    stateStep = 1.0;
    type = eParamContinuous;
}

void sCONTROL_PARAM::SetScaleLog(double minimum, double maximum, double resolution) {
    SetScaleLinear(minimum, maximum, resolution);
    scaleInfo.kind = sSCALE_INFO::kLogarithmic;
    stateToRealWorld = LogStateToRealWorld;
    realWorldToState = LogRealWorldToState;
}

void sCONTROL_PARAM::SetScaleToggle(long count) {
    const long n = std::max(1L, count);
    scaleInfo.numStates = static_cast<double>(n);
    scaleInfo.resolution = static_cast<double>(n);
    scaleInfo.kind = sSCALE_INFO::kToggle;
    stateToRealWorld = ToggleStateToRealWorld;
    realWorldToState = ToggleRealWorldToState;
    numStates = static_cast<int32_t>(n);
    stateStep = 1.0;
    type = eParamToggle;
}

bool sCONTROL_PARAM::ValidateRealWorld(double value) const {
    if (scaleInfo.kind == static_cast<double>(sSCALE_INFO::kNone))
        return true;
    const double lo = std::min(scaleInfo.minimum, scaleInfo.maximum);
    const double hi = std::max(scaleInfo.minimum, scaleInfo.maximum);
    return std::isfinite(value) && value >= lo && value <= hi;
}

void sCONTROL_PARAM::LimitRealWorld(double& value) const {
    if (scaleInfo.kind == static_cast<double>(sSCALE_INFO::kNone))
        return;
    const double lo = std::min(scaleInfo.minimum, scaleInfo.maximum);
    const double hi = std::max(scaleInfo.minimum, scaleInfo.maximum);
    value = std::isnan(value) ? lo : std::clamp(value, lo, hi);
}

namespace {

using kvXML::CXMLElement;

const CXMLElement* Child(const CXMLElement& e, const char* name) {
    for (const CXMLElement* c : e.children)
        if (c && std::string(c->name.c_str()) == name)
            return c;
    return nullptr;
}

double NumberOf(const CXMLElement* e, double fallback) {
    return e && !e->text.empty() ? KUAtof(e->text.c_str()) : fallback;
}

std::string TextOf(const CXMLElement* e) {
    return e ? e->text : std::string();
}

// The entry's definition with its parent's inherited: children given here
// replace the inherited ones of the same name.
CXMLElement Effective(const CXMLElement& entry, const std::map<std::string, CXMLElement>& known,
                      long& err) {
    std::string parent;
    if (!entry.GetAttrib("Parent", parent) || parent.empty())
        return entry;
    const auto it = known.find(parent);
    if (it == known.end()) {
        err = eXMLAttribMissing;
        return entry;
    }
    CXMLElement merged(it->second);
    for (const CXMLElement* c : entry.children) {
        auto& kids = merged.children;
        for (auto k = kids.begin(); k != kids.end();) {
            if (std::string((*k)->name.c_str()) == c->name.c_str()) {
                delete *k;
                k = kids.erase(k);
            } else {
                ++k;
            }
        }
        merged.push_back(new CXMLElement(*c));
    }
    return merged;
}

void ApplyScale(const CXMLElement* scale, sCONTROL_PARAM& p) {
    if (!scale) {
        p.scaleInfo.kind = sSCALE_INFO::kNone;
        p.type = eParamLabel;
        return;
    }
    const double minimum = NumberOf(Child(*scale, "Minimum"), 0.0);
    const double maximum = NumberOf(Child(*scale, "Maximum"), 1.0);
    const double resolution = NumberOf(Child(*scale, "Resolution"), 1.0);
    p.scaleType = TextOf(Child(*scale, "ScaleType"));
    p.SetScaleLinear(minimum, maximum, resolution);
    if (p.scaleType == "toggle")
        p.SetScaleToggle(static_cast<long>(resolution));
    else if (p.scaleType == "logarithmic")
        p.SetScaleLog(minimum, maximum, resolution);
}

// Sets `state` and `value` from an "InitialValue"/"ResetValue" element.
void ReadValue(const CXMLElement* e, const sCONTROL_PARAM& p, double& state, double& value) {
    if (!e || e->text.empty())
        return;
    std::string kind;
    e->GetAttrib("Type", kind);
    const double v = KUAtof(e->text.c_str());
    if (kind == "state") {
        state = v;
        value = p.StateToRealWorld(v);
    } else {
        value = v;
        p.LimitRealWorld(value);
        state = p.RealWorldToState(value);
    }
}

uint32_t FlagsOf(const CXMLElement* flags) {
    static const std::map<std::string, uint32_t> bits = {
        {"NotSavable", kParamNotSavable},
        {"DontSaveToPreset", kParamDontSaveToPreset},
        {"DontUpdateWhileDrag", kParamDontUpdateWhileDrag},
    };
    uint32_t out = 0;
    if (flags)
        for (const CXMLElement* c : flags->children)
            if (const auto it = bits.find(c->name.c_str()); it != bits.end())
                out |= it->second;
    return out;
}

sCONTROL_PARAM RecordOf(const CXMLElement& def, const std::string& name) {
    sCONTROL_PARAM p;
    p.name = name;
    ApplyScale(Child(def, "Scale"), p);
    p.label = TextOf(Child(def, "Label"));
    p.units = TextOf(Child(def, "Units"));
    p.displayFuncName = TextOf(Child(def, "DisplayFunction"));
    p.displayFunc = FrameworkDisplayFunc(p.displayFuncName);
    p.flags = FlagsOf(Child(def, "Flags"));
    if (const CXMLElement* draw = Child(def, "DrawClass")) {
        p.type = eParamGraph;
        const size_t points = static_cast<size_t>(std::max(0.0, NumberOf(Child(*draw, "Data"), 0)));
        for (auto& g : p.graph)
            g.assign(points, 0.0);
    }
    double state = 0.0, value = p.StateToRealWorld(0.0);
    ReadValue(Child(def, "InitialValue"), p, state, value);
    p.resetState = state;
    p.resetRealWorld = value;
    ReadValue(Child(def, "ResetValue"), p, p.resetState, p.resetRealWorld);
    for (int s = 0; s < kNumSetups; ++s) {
        p.state[s] = state;
        p.realWorld[s] = value;
    }
    return p;
}

} // namespace

long ReadParameterList(const CXMLElement& root, std::vector<sCONTROL_PARAM>& out) {
    out.clear();
    if (std::string(root.name.c_str()) != "Parameter_List")
        return eXMLElementMissing;
    std::map<std::string, CXMLElement> known;
    for (const CXMLElement* entry : root.children) {
        if (std::string(entry->name.c_str()) != "Parameter")
            continue;
        std::string name;
        if (!entry->GetAttrib("Name", name) || name.empty())
            return eXMLAttribMissing;
        long err = 0;
        CXMLElement def = Effective(*entry, known, err);
        if (err)
            return err;
        out.push_back(RecordOf(def, name));
        known.emplace(name, std::move(def));
    }
    return 0;
}

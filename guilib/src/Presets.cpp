#include "guilib/Presets.h"

#include "foundation/KTErr.h"
#include "foundation/KUUtils.h"
#include "guilib/Algorithm.h"

#include <cstring>
#include <sstream>

namespace {

using kvXML::CXMLElement;

bool SameText(const char* a, const char* b) {
    return std::strcmp(a, b) == 0;
}

const CXMLElement* Child(const CXMLElement& e, const char* name) {
    for (const CXMLElement* c : e.children)
        if (SameText(c->name.c_str(), name))
            return c;
    return nullptr;
}

std::string TextOf(const CXMLElement* e) {
    return e ? e->text : std::string();
}

// "Parameters": white-space separated values, "*" for one left out.
void ReadValues(const std::string& text, sPresetData& data) {
    std::istringstream in(text);
    std::string word;
    while (in >> word) {
        const bool given = word != "*";
        data.present.push_back(given ? 1 : 0);
        data.parameterValues.push_back(given ? KUAtof(word.c_str()) : 0.0);
    }
    data.numParameterData = static_cast<uint32_t>(data.parameterValues.size());
}

std::unique_ptr<CPresetInfo> PresetOf(const CXMLElement& e) {
    auto info = std::make_unique<CPresetInfo>();
    std::string text;
    if (e.GetAttrib("Name", text))
        info->SetPresetName(text);
    if (e.GetAttrib("GenericType", text) && text.size() == 4)
        info->SetGenericType(KCFourCC(QGLFourCC(text.c_str())));
    if (const CXMLElement* header = Child(e, "PresetHeader")) {
        info->SetPluginName(TextOf(Child(*header, "PluginName")));
        info->SetPluginVersion(TextOf(Child(*header, "PluginVersion")));
        info->SetFlag(ePresetReadOnly, TextOf(Child(*header, "ReadOnly")) == "true");
    }
    info->SetFlag(ePresetFactory, true);
    for (const CXMLElement* c : e.children) {
        if (!SameText(c->name.c_str(), "PresetData"))
            continue;
        auto* data = new sPresetData(info.get());
        if (c->GetAttrib("Setup", text))
            info->SetActiveSetup(text);
        if (const CXMLElement* values = Child(*c, "Parameters"))
            ReadValues(values->text, *data);
        info->SetPresetData(data);
    }
    return info;
}

} // namespace

bool sPluginSpecific::IsSameData(const sPluginSpecific& a, const sPluginSpecific& b) {
    if (a.descriptors_.size() != b.descriptors_.size())
        return false;
    for (size_t i = 0; i < a.descriptors_.size(); ++i)
        if (!SameText(a.descriptors_[i].name.c_str(), b.descriptors_[i].name.c_str()) ||
            !SameText(a.descriptors_[i].value.c_str(), b.descriptors_[i].value.c_str()))
            return false;
    return true;
}

bool XMLElementsAreSame(const CXMLElement& a, const CXMLElement& b) {
    if (!SameText(a.name.c_str(), b.name.c_str()) || a.text != b.text || a.cdata != b.cdata)
        return false;
    const auto& aa = a.GetAttribVec();
    const auto& ba = b.GetAttribVec();
    if (aa.size() != ba.size() || a.children.size() != b.children.size())
        return false;
    for (size_t i = 0; i < aa.size(); ++i)
        if (!SameText(aa[i].name.c_str(), ba[i].name.c_str()) ||
            !SameText(aa[i].value.c_str(), ba[i].value.c_str()))
            return false;
    for (size_t i = 0; i < a.children.size(); ++i)
        if (!XMLElementsAreSame(*a.children[i], *b.children[i]))
            return false;
    return true;
}

sPresetData::sPresetData(CPresetInfo* owner) : owner(owner) {}

sPresetData::sPresetData(const sPresetData& other)
    : firstValue(other.firstValue), secondValue(other.secondValue),
      pluginSpecificXML(other.pluginSpecificXML), numParameterData(other.numParameterData),
      present(other.present), parameterValues(other.parameterValues),
      reservedList(other.reservedList), controlData(other.controlData), text(other.text),
      reservedWord(other.reservedWord), owner(other.owner) {
    for (const sPluginSpecific* p : other.pluginSpecific)
        pluginSpecific.push_back(new sPluginSpecific(*p));
}

sPresetData& sPresetData::operator=(const sPresetData& other) {
    if (this == &other)
        return *this;
    sPresetData copy(other);
    ClearPluginSpecific();
    firstValue = copy.firstValue;
    secondValue = copy.secondValue;
    pluginSpecific.swap(copy.pluginSpecific);
    pluginSpecificXML = copy.pluginSpecificXML;
    numParameterData = copy.numParameterData;
    present = copy.present;
    parameterValues = copy.parameterValues;
    reservedList = copy.reservedList;
    controlData = copy.controlData;
    text = copy.text;
    reservedWord = copy.reservedWord;
    owner = copy.owner;
    return *this;
}

sPresetData::~sPresetData() {
    ClearPluginSpecific();
}

void sPresetData::ClearPluginSpecific() {
    for (sPluginSpecific* p : pluginSpecific)
        delete p;
    pluginSpecific.clear();
}

bool sPresetData::IsSameData(const sPresetData& a, const sPresetData& b) {
    bool same = a.pluginSpecific.size() == b.pluginSpecific.size() &&
                a.firstValue == b.firstValue && a.secondValue == b.secondValue &&
                XMLElementsAreSame(a.pluginSpecificXML, b.pluginSpecificXML);
    const size_t n = std::min(a.parameterValues.size(), b.parameterValues.size());
    for (size_t i = 0; same && i < n; ++i)
        same = a.parameterValues[i] == b.parameterValues[i];
    for (size_t i = 0; same && i < a.pluginSpecific.size(); ++i)
        same = sPluginSpecific::IsSameData(*a.pluginSpecific[i], *b.pluginSpecific[i]);
    return same;
}

CPresetInfo::CPresetInfo(const CPresetInfo& other) {
    *this = other;
}

CPresetInfo& CPresetInfo::operator=(const CPresetInfo& other) {
    if (this == &other)
        return *this;
    for (sPresetData* d : presetData_)
        delete d;
    presetData_.clear();
    for (const sPresetData* d : other.presetData_) {
        auto* copy = new sPresetData(*d);
        copy->owner = this;
        presetData_.push_back(copy);
    }
    name_ = other.name_;
    flags_ = other.flags_;
    presetVersion_ = other.presetVersion_;
    groupType_ = other.groupType_;
    pluginName_ = other.pluginName_;
    pluginVersion_ = other.pluginVersion_;
    info_ = other.info_;
    activeSetup_ = other.activeSetup_;
    index_ = other.index_;
    genericType_ = other.genericType_;
    menuItemType_ = other.menuItemType_;
    resourceType_ = other.resourceType_;
    resId_ = other.resId_;
    return *this;
}

CPresetInfo::~CPresetInfo() {
    for (sPresetData* d : presetData_)
        delete d;
}

long ReadFactoryPresets(const CXMLElement& root, std::vector<std::unique_ptr<CPresetInfo>>& out) {
    out.clear();
    if (!SameText(root.name.c_str(), "PresetXMLTree"))
        return eXMLElementMissing;
    for (const CXMLElement* c : root.children)
        if (SameText(c->name.c_str(), "Preset"))
            out.push_back(PresetOf(*c));
    return 0;
}

CPresetsManager::~CPresetsManager() = default;

void CPresetsManager::SetFactoryPresets(std::vector<std::unique_ptr<CPresetInfo>> presets) {
    factory_ = std::move(presets);
    for (size_t i = 0; i < factory_.size(); ++i)
        factory_[i]->SetPresetIndex(static_cast<uint32_t>(i));
}

CPresetInfo* CPresetsManager::FindFactoryPreset(const std::string& name) const {
    for (const auto& p : factory_)
        if (p->GetPresetName() == name)
            return p.get();
    return nullptr;
}

long CPresetsManager::LoadFactoryPresetToPlugin(const CPublicAlg& alg, const std::string& name) {
    CPresetInfo* preset = FindFactoryPreset(name);
    if (!preset)
        return ePresetInfoNotFound;
    return LoadPresetToPlugin(alg, *preset);
}

long CPresetsManager::LoadPresetToPlugin(const CPublicAlg& alg, CPresetInfo& preset) {
    cALGORITHM* a = alg.Get();
    if (!a || preset.GetPresetDataVec()->empty())
        return ePresetInfoNotFound;
    const sPresetData& data = *preset.GetPresetDataVec()->front();
    a->ApplyPresetValues(data);
    current_[currentIndex_ & 1] = preset;
    return 0;
}

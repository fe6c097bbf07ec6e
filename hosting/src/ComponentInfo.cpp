#include "hosting/ComponentInfo.h"

#include "HostingText.h"
#include "foundation/XMLTyped.h"
#include "ui/XMLPathRef.h"

#include <algorithm>

using kvXML::CXMLElement;

namespace {

bool SamePath(const kvFM::KCStPath& a, const kvFM::KCStPath& b) {
    if (a.GetPathRef() == nullptr || b.GetPathRef() == nullptr)
        return a.GetPathRef() == b.GetPathRef();
    return a == b;
}

bool SameDescription(const CProcCodeDesc* a, const CProcCodeDesc* b) {
    if (a == nullptr || b == nullptr)
        return a == b;
    return *a == *b;
}

} // namespace

QuorlComponentInfo::QuorlComponentInfo() = default;

QuorlComponentInfo::QuorlComponentInfo(const QuorlComponentInfo& other)
    : kvFM::KCStPath(other), componentType(other.componentType),
      componentSubType(other.componentSubType), componentManufacturer(other.componentManufacturer),
      shortName(other.shortName), pluginInternalVersion(other.pluginInternalVersion),
      pluginAPIVersion(other.pluginAPIVersion), ePluginInstanceType(other.ePluginInstanceType) {
    SetProcCodeDesc(other.compProcCodeDesc.get());
}

QuorlComponentInfo& QuorlComponentInfo::operator=(const QuorlComponentInfo& other) {
    if (&other == this)
        return *this;
    kvFM::KCStPath::operator=(other);
    componentType = other.componentType;
    componentSubType = other.componentSubType;
    componentManufacturer = other.componentManufacturer;
    shortName = other.shortName;
    pluginInternalVersion = other.pluginInternalVersion;
    pluginAPIVersion = other.pluginAPIVersion;
    ePluginInstanceType = other.ePluginInstanceType;
    if (other.compProcCodeDesc && compProcCodeDesc)
        *compProcCodeDesc = *other.compProcCodeDesc;
    else
        SetProcCodeDesc(other.compProcCodeDesc.get());
    return *this;
}

QuorlComponentInfo::~QuorlComponentInfo() = default;

void QuorlComponentInfo::SetProcCodeDesc(const CProcCodeDesc* desc) {
    compProcCodeDesc = desc ? std::make_unique<CProcCodeDesc>(*desc) : nullptr;
}

bool QuorlComponentInfo::operator==(const QuorlComponentInfo& o) const {
    return SamePath(*this, o) && componentType.Get() == o.componentType.Get() &&
           componentSubType.Get() == o.componentSubType.Get() &&
           componentManufacturer.Get() == o.componentManufacturer.Get() &&
           pluginInternalVersion == o.pluginInternalVersion &&
           pluginAPIVersion == o.pluginAPIVersion && ePluginInstanceType == o.ePluginInstanceType &&
           shortName == o.shortName &&
           SameDescription(compProcCodeDesc.get(), o.compProcCodeDesc.get());
}

int QuorlComponentInfo::CompareName(const QuorlComponentInfo& a, const QuorlComponentInfo& b) {
    return a.shortName.compare(b.shortName);
}

void Read_QuorlComponentInfo_FromXML(const CXMLElement* element, QuorlComponentInfo& record) {
    for (const CXMLElement* child : element->children) {
        if (child->name == "pluginFilePath") {
            kvXML::ReadFromXML_KTPathRef(child, record.Path());
        } else if (child->name == "componentType") {
            kvXML::ReadFromXML_KCFourCC(child, record.componentType);
        } else if (child->name == "componentSubType") {
            record.componentSubType = kvhosting::FourCCFromText(child->text);
        } else if (child->name == "componentManufacturer") {
            kvXML::ReadFromXML_KCFourCC(child, record.componentManufacturer);
        } else if (child->name == "shortName") {
            record.shortName = child->text.c_str();
        } else if (child->name == "pluginInternalVersion") {
            record.pluginInternalVersion = static_cast<float>(kvhosting::TextToDouble(child->text));
        } else if (child->name == "pluginAPIVersion") {
            kvXML::ReadFromXML_Float<float>(child, record.pluginAPIVersion);
        } else if (child->name == "ePluginInstanceType") {
            int value = 0;
            kvXML::ReadFromXML_Int<int>(child, value);
            record.ePluginInstanceType = static_cast<int16_t>(value);
        } else if (child->name == "compProcCodeDesc") {
            auto desc = std::make_unique<CProcCodeDesc>();
            desc->ReadFromXML(child);
            record.compProcCodeDesc = std::move(desc);
        }
    }
}

CXMLElement* Write_QuorlComponentInfo_ToXML(const QuorlComponentInfo& record,
                                            CXMLElement* element) {
    using kvhosting::AppendChild;
    kvXML::WriteToXML_KTPathRef(record.Path(), AppendChild(element, "pluginFilePath", ""));
    AppendChild(element, "componentType", FourCCToString(record.componentType));
    AppendChild(element, "componentSubType", FourCCToString(record.componentSubType));
    AppendChild(element, "componentManufacturer", FourCCToString(record.componentManufacturer));
    AppendChild(element, "shortName", std::string(record.shortName.c_str()));
    element->push_back(new CXMLElement(
        "pluginInternalVersion", static_cast<double>(record.pluginInternalVersion), std::fixed));
    element->push_back(new CXMLElement("pluginAPIVersion",
                                       static_cast<double>(record.pluginAPIVersion), std::fixed));
    AppendChild(element, "ePluginInstanceType", static_cast<long>(record.ePluginInstanceType));
    if (record.compProcCodeDesc)
        record.compProcCodeDesc->WriteToXML(AppendChild(element, "compProcCodeDesc", ""));
    return element;
}

std::string AppendChannelLayout(long in, const std::string& name, long out) {
    const long room = 62 - static_cast<long>(name.size());
    if (room <= 2)
        return name;
    const auto layoutName = [](long layout) -> std::string {
        switch (layout) {
        case 5:
            return "5.0";
        case 6:
            return "5.1";
        default:
            return "?";
        }
    };
    std::string suffix = " ";
    bool bracket = false;
    if (in == 1) {
        bracket = (in == out && room < 4) || room < 8;
        suffix += bracket ? "[M" : "Mono";
    } else if (in == 2) {
        bracket = (in == out && room < 6) || room < 10;
        suffix += bracket ? "[S" : "Stereo";
    } else {
        suffix += layoutName(in);
    }
    if (in != out) {
        suffix += "/";
        const long room2 = 63 - static_cast<long>(suffix.size()) - static_cast<long>(name.size());
        if (out == 1)
            suffix += room2 > 3 ? "Mono" : "M";
        else if (out == 2)
            suffix += room2 > 5 ? "Stereo" : "S";
        else
            suffix += layoutName(out);
    }
    if (bracket)
        suffix += "]";
    return KCFixedString<63>((name + suffix).c_str()).c_str();
}

// KCQuorlComponentInfoList

KTErr KCQuorlComponentInfoList::Find(KCFourCC type, KCFourCC subType,
                                     QuorlComponentInfo& out) const {
    for (const QuorlComponentInfo& c : components) {
        if (c.componentType.Get() == type.Get() && c.componentSubType.Get() == subType.Get()) {
            out = c;
            return eNoErr;
        }
    }
    return ePluginSubComponentNotFound;
}

long KCQuorlComponentInfoList::IndexOfSubType(KCFourCC subType) const {
    for (size_t i = 0; i < components.size(); ++i) {
        if (components[i].componentSubType.Get() == subType.Get())
            return static_cast<long>(i);
    }
    return -1;
}

size_t KCQuorlComponentInfoList::RemoveType(KCFourCC type) {
    return std::erase_if(components, [type](const QuorlComponentInfo& c) {
        return c.componentType.Get() == type.Get();
    });
}

void KCQuorlComponentInfoList::SortByName() {
    std::stable_sort(components.begin(), components.end(), QuorlComponentInfo::IsNameBefore);
}

void KCQuorlComponentInfoList::OffsetSubTypesOfType(KCFourCC type, long count,
                                                    const std::string& text) {
    for (QuorlComponentInfo& c : components) {
        if (c.componentType.Get() != type.Get())
            continue;
        c.componentSubType = OffsetOSTypeAlphanumerically(c.componentSubType, count);
        c.shortName = (std::string(c.shortName.c_str()) + " " + text).c_str();
    }
}

void KCQuorlComponentInfoList::AppendChannelLayoutToNames() {
    for (QuorlComponentInfo& c : components) {
        long in = 0, out = 0;
        if (c.compProcCodeDesc) {
            in = static_cast<long>(c.compProcCodeDesc->TotalInputs()) -
                 static_cast<long>(c.compProcCodeDesc->SideChainInputs());
            out = static_cast<long>(c.compProcCodeDesc->Outputs());
        }
        c.shortName = AppendChannelLayout(in, c.shortName.c_str(), out).c_str();
    }
}

void KCQuorlComponentInfoList::ReadFromXML(const CXMLElement* element) {
    for (const CXMLElement* child : element->children) {
        if (!(child->name == "QuorlComponentInfo"))
            continue;
        QuorlComponentInfo record;
        Read_QuorlComponentInfo_FromXML(child, record);
        components.push_back(record);
    }
}

CXMLElement* KCQuorlComponentInfoList::WriteToXML(CXMLElement* element) const {
    for (const QuorlComponentInfo& c : components)
        Write_QuorlComponentInfo_ToXML(c,
                                       kvhosting::AppendChild(element, "QuorlComponentInfo", ""));
    return element;
}

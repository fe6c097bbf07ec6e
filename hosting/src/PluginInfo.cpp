#include "hosting/PluginInfo.h"

#include "HostingText.h"
#include "hosting/ProcessCodeManager.h"

#include "foundation/ResConverters.h"
#include "foundation/XMLNameMaps.h"

using kvXML::CXMLElement;

namespace {

// Holds one XML resource and releases it at the end of the scope.
class XMLResource {
public:
    KTErr Load(KTResContainerType* container, KCFourCC type, short id) {
        return static_cast<KTErr>(GetXMLResource(container, type, id, root, resource));
    }
    ~XMLResource() {
        if (resource != nullptr)
            RMReleaseResource(resource);
    }
    // A loaded tree without children.
    bool IsEmpty() const { return root == nullptr || root->children.empty(); }
    const CXMLElement& Root() const { return *root; }

private:
    CXMLElement* root = nullptr;
    KTResourceType* resource = nullptr;
};

// A resource in the container's file, or one added to it and not yet
// written.
bool HasResource(KTResContainerType* container, KCFourCC type, short id) {
    bool loaded = false;
    RMIsResourceLoaded(container, type, id, loaded);
    return loaded || RMDoesNativeResourceExist(container, type, id);
}

void ReadVersion(const CXMLElement* element, double& value) {
    if (element != nullptr)
        value = kvhosting::TextToDouble(element->text);
}

} // namespace

KTErr ReadPluginVersions(KTResContainerType* container, double& apiVersion,
                         double& internalVersion) {
    apiVersion = 0.0;
    internalVersion = 0.0;
    if (!HasResource(container, kPluginInfoType, kPluginInfoID))
        return eRMResNotFound;
    XMLResource info;
    if (KTErr err = info.Load(container, kPluginInfoType, kPluginInfoID))
        return err;
    if (info.IsEmpty())
        return eXMLTreeEmpty;
    const kvXML::CMapNames map(&info.Root());
    ReadVersion(map.FindElement("APIVersion"), apiVersion);
    ReadVersion(map.FindElement("InternalVersion"), internalVersion);
    return eNoErr;
}

KTErr ReadSubComponentList(KTResContainerType* container, std::vector<QuorlComponentInfo>& out) {
    double apiVersion = 0.0, internalVersion = 0.0;
    if (KTErr err = ReadPluginVersions(container, apiVersion, internalVersion))
        return err;
    XMLResource definitions;
    if (KTErr err =
            definitions.Load(container, kComponentDefinitionsType, kOwnComponentDefinitionsID))
        return err;
    if (definitions.IsEmpty())
        return eXMLTreeEmpty;

    KTErr result = eNoErr;
    for (const CXMLElement* sub : definitions.Root().children) {
        if (!(sub->name == "SubComponent"))
            continue;
        for (const CXMLElement* subType : sub->children) {
            if (!(subType->name == "SubComponentType"))
                continue;
            std::string name;
            subType->GetAttrib("Name", name);
            for (const CXMLElement* match : sub->children) {
                if (!(match->name == "ProcessCodeMatch"))
                    continue;
                for (const CXMLElement* thng : match->children) {
                    if (!(thng->name == "thng"))
                        continue;
                    QuorlComponentInfo component;
                    result = RMGetPath(container, component.Path());
                    component.shortName = name.c_str();
                    component.componentSubType = kvhosting::FourCCFromText(subType->text);
                    component.componentType = kvhosting::FourCCFromText(thng->text);
                    component.pluginInternalVersion = static_cast<float>(internalVersion);
                    component.pluginAPIVersion = static_cast<float>(apiVersion);
                    out.push_back(component);
                }
            }
        }
    }
    return result;
}

// CQuorlInfo

void CQuorlInfo::ReadFromXML(const CXMLElement* element) {
    for (const CXMLElement* child : element->children) {
        if (child->name == "CompanyInfo") {
            for (const CXMLElement* s : child->children) {
                long id = -1;
                if (s->name == "string" && s->GetAttrib("ID", id) && id >= 0 &&
                    id < eQuorlInfoStringCount)
                    SetInfoString(static_cast<int>(id), s->text);
            }
        } else if (child->name == "DynamicPluginLibName") {
            libNames.push_back(child->text);
        } else if (child->name == "Versions") {
            ReadVersion(kvhosting::FirstChild(*child, "APIVersion"), apiVersion);
            ReadVersion(kvhosting::FirstChild(*child, "InternalVersion"), internalVersion);
        }
    }
}

CXMLElement* CQuorlInfo::WriteToXML(CXMLElement* element) const {
    for (const std::string& name : libNames)
        kvhosting::AppendChild(element, "DynamicPluginLibName", name);
    auto* versions = kvhosting::AppendChild(element, "Versions", "");
    versions->push_back(new CXMLElement("APIVersion", apiVersion, std::fixed));
    versions->push_back(new CXMLElement("InternalVersion", internalVersion, std::fixed));
    auto* company = kvhosting::AppendChild(element, "CompanyInfo", "");
    for (int i = 0; i < eQuorlInfoStringCount; ++i) {
        auto* s = kvhosting::AppendChild(company, "string", infoStrings[i]);
        s->AddAttrib("ID", std::to_string(i));
    }
    return element;
}

void CQuorlInfo::SetInfoString(int type, const std::string& text) {
    if (type >= 0 && type < eQuorlInfoStringCount)
        infoStrings[type] = text;
}

std::string CQuorlInfo::GetInfoString(int type) const {
    return type >= 0 && type < eQuorlInfoStringCount ? infoStrings[type] : std::string();
}

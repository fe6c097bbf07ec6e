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
    kvhosting::ReadNumber(map.FindElement("APIVersion"), apiVersion);
    kvhosting::ReadNumber(map.FindElement("InternalVersion"), internalVersion);
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

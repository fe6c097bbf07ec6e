#include "hosting/PluginLoadSpec.h"

#include "HostingText.h"
#include "foundation/ResConverters.h"
#include "foundation/XMLNameMaps.h"

#include <algorithm>

using kvXML::CXMLElement;

namespace {

// The "Minimal" and "Maximal" children of the first element of that name,
// each moved by `widen` outwards; bounds without a child stay.
void ReadWindow(const kvXML::CMapNames& map, const char* name, double widen, double& min,
                double& max) {
    const CXMLElement* window = map.FindElement(name);
    if (window == nullptr)
        return;
    for (const CXMLElement* child : window->children) {
        if (child->name == "Minimal")
            min = kvhosting::TextToDouble(child->text) - widen;
        else if (child->name == "Maximal")
            max = kvhosting::TextToDouble(child->text) + widen;
    }
}

void WriteWindow(CXMLElement* parent, const char* name, double min, double max) {
    auto* window = kvhosting::AppendChild(parent, name, "");
    window->push_back(new CXMLElement("Minimal", min, std::fixed));
    window->push_back(new CXMLElement("Maximal", max, std::fixed));
}

bool Within(float value, double min, double max) {
    const double v = static_cast<double>(value);
    return min <= v && v <= max; // false for a value that is not a number
}

} // namespace

void KCPluginLoadSpec::ReadFromXML(const CXMLElement* element) {
    const kvXML::CMapNames map(element);
    ReadWindow(map, "Version", 0.0, minVersion, maxVersion);
    ReadWindow(map, "APIVersion", kTolerance, minAPIVersion, maxAPIVersion);
    std::vector<CXMLElement*> found;
    map.FindElements("Thng", found);
    for (const CXMLElement* thng : found)
        AddThng(kvhosting::FourCCFromText(thng->text));
}

CXMLElement* KCPluginLoadSpec::WriteToXML(CXMLElement* element) const {
    WriteWindow(element, "Version", minVersion, maxVersion);
    WriteWindow(element, "APIVersion", minAPIVersion, maxAPIVersion);
    auto* list = kvhosting::AppendChild(element, "Thngs", "");
    for (KCFourCC thng : thngs)
        kvhosting::AppendChild(list, "Thng", FourCCToString(thng));
    return element;
}

KTErr KCPluginLoadSpec::ReadFromResource(KTResContainerType* container) {
    CXMLElement* root = nullptr;
    KTResourceType* resource = nullptr;
    if (KTErr err = static_cast<KTErr>(
            GetXMLResource(container, kShellInfoType, kLoadSpecID, root, resource)))
        return err;
    if (root != nullptr)
        ReadFromXML(root);
    RMReleaseResource(resource);
    minVersion -= kTolerance;
    maxVersion += kTolerance;
    return eNoErr;
}

void KCPluginLoadSpec::AddThng(KCFourCC type) {
    if (std::find(thngs.begin(), thngs.end(), type) == thngs.end())
        thngs.push_back(type);
}

void KCPluginLoadSpec::RemoveThng(KCFourCC type) {
    if (auto it = std::find(thngs.begin(), thngs.end(), type); it != thngs.end())
        thngs.erase(it);
}

bool KCPluginLoadSpec::IsComponentLoadable(const QuorlComponentInfo& component) const {
    if (acceptAll)
        return true;
    if (std::find(thngs.begin(), thngs.end(), component.componentType) == thngs.end())
        return false;
    return Within(component.pluginInternalVersion, minVersion, maxVersion) &&
           Within(component.pluginAPIVersion, minAPIVersion, maxAPIVersion);
}

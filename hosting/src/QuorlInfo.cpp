// The object form of the plug-in information. Kept apart from the readers
// of the resources, so that the GUI library carries it too (its algorithm
// keeps the plug-in's information).
#include "HostingText.h"
#include "hosting/PluginInfo.h"

using kvXML::CXMLElement;

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
            kvhosting::ReadNumber(kvhosting::FirstChild(*child, "APIVersion"), apiVersion);
            kvhosting::ReadNumber(kvhosting::FirstChild(*child, "InternalVersion"),
                                  internalVersion);
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

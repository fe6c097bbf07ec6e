#include "hosting/ShellPreferences.h"

#include "HostingText.h"
#include "foundation/KUUtils.h"

#include <charconv>

namespace {

constexpr const char* kRootName = "ShellPrefs";
constexpr const char* kFolderLocation = "PluginFolderLocation";
constexpr const char* kManagerAddress = "PluginManagerAddress";

// The first child of that name, appended when there is none.
kvXML::CXMLElement* FindOrAppend(kvXML::CXMLElement& root, const char* name) {
    if (kvXML::CXMLElement* child = kvhosting::FirstChild(root, name))
        return child;
    return kvhosting::AppendChild(&root, name, "");
}

// A decimal port: digits only (blanks around allowed), at most 65535.
bool ParsePort(const std::string& text, uint16_t& port) {
    const size_t first = text.find_first_not_of(" \t");
    const size_t last = text.find_last_not_of(" \t");
    if (first == std::string::npos)
        return false;
    unsigned long value = 0;
    const char* begin = text.data() + first;
    const char* end = text.data() + last + 1;
    const auto [ptr, ec] = std::from_chars(begin, end, value);
    if (ec != std::errc() || ptr != end || value > 65535)
        return false;
    port = static_cast<uint16_t>(value);
    return true;
}

} // namespace

KCShellPreferences::KCShellPreferences(const std::string& name) : KCXMLPreferencesFile(name) {
    root.name = kRootName;
}

KTErr KCShellPreferences::Read() {
    const KTErr result = KCXMLPreferencesFile::Read();
    if (result != eNoErr)
        root.name = kRootName;
    return result;
}

bool KCShellPreferences::GetPluginFolderLocation(std::string& location) const {
    const kvXML::CXMLElement* child = kvhosting::FirstChild(root, kFolderLocation);
    if (child == nullptr)
        return false;
    location = child->text;
    return !location.empty();
}

void KCShellPreferences::SetPluginFolderLocation(const std::string& location) {
    FindOrAppend(root, kFolderLocation)->text = location;
}

bool KCShellPreferences::GetPluginManagerAddress(std::string& ip, uint16_t& port) const {
    const kvXML::CXMLElement* child = kvhosting::FirstChild(root, kManagerAddress);
    std::string address, portText;
    if (child == nullptr || !child->GetAttrib("IP", address) || !child->GetAttrib("Port", portText))
        return false;
    if (!ParsePort(portText, port))
        return false;
    ip = address;
    return true;
}

void KCShellPreferences::SetPluginManagerAddress(const std::string& ip, uint16_t port) {
    kvXML::CXMLElement* child = FindOrAppend(root, kManagerAddress);
    child->SetAttrib("IP", ip);
    std::string text;
    child->SetAttrib("Port", KUUtoa(port, text, 10));
}

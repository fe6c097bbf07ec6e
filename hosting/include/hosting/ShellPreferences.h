// The shell preferences file: where plug-ins were last found, and the
// address of a plug-in manager service.
#pragma once

#include "foundation/XMLFile.h"

#include <cstdint>
#include <string>

class KCShellPreferences : public KCXMLPreferencesFile {
public:
    // The file `name` in the user's preferences folder, root "ShellPrefs".
    explicit KCShellPreferences(const std::string& name);

    // Keeps the root's name when the file cannot be read.
    KTErr Read() override;

    // True with the text of "PluginFolderLocation" when it is not empty.
    bool GetPluginFolderLocation(std::string& location) const;
    void SetPluginFolderLocation(const std::string& location);

    // True when "PluginManagerAddress" has both "IP" and a "Port" that is a
    // number from 0 to 65535; otherwise false with the port left alone.
    bool GetPluginManagerAddress(std::string& ip, uint16_t& port) const;
    void SetPluginManagerAddress(const std::string& ip, uint16_t port);
};

// Glue to the networked-DSP client library: its settings in the registry,
// and loading it from the configured path with its 75 functions bound by
// name into process-wide slots.
#pragma once

#include <map>
#include <stdexcept>
#include <string>

// Base of the process-wide settings objects.
template <typename T>
class SingletonBase {
public:
    virtual ~SingletonBase() = default;
};

namespace Vellix {

// The client's settings: defaults, overwritten from HKEY_LOCAL_MACHINE
// "Software\Quorl\Vellix\Client" (a missing key keeps every default).
class CConfigurationParameters : public SingletonBase<CConfigurationParameters> {
public:
    class unknown_parameter_error : public std::runtime_error {
    public:
        explicit unknown_parameter_error(const std::string& name)
            : std::runtime_error("unknown parameter: " + name), name(name) {}
        std::string name;
    };

    static constexpr const char* kKey = "Software\\Quorl\\Vellix\\Client";

    CConfigurationParameters();

    // True with the value when the name is known; false, value untouched,
    // otherwise.
    bool GetBool(const std::string& name, bool& value) const;
    bool GetLong(const std::string& name, long& value) const;
    bool GetString(const std::string& name, std::string& value) const;
    bool GetPath(const std::string& name, std::string& value) const;
    // Throws unknown_parameter_error for a name that is no text.
    std::string GetStringValue(const std::string& name) const;

    // Writes "LatencySamples" to the registry (the settings read stay).
    bool SetLatencySamples(unsigned long samples);

    // One '/' between path and component; an empty side gives the other.
    static std::string AppendPathComponent(const std::string& path, const std::string& component);
    // Every backslash becomes '/'.
    static std::string ConvertPath(const std::string& path);

private:
    void ReadRegistry();

    std::map<std::string, bool> flags;
    std::map<std::string, unsigned long> numbers;
    std::map<std::string, std::string> texts;
    std::map<std::string, std::string> paths;
};

} // namespace Vellix

// Loads the client library named by "VXClientPath" (or adds a reference to
// the loaded one) and binds its functions; true when its "Initialize"
// succeeds. A missing name or a failed "Initialize" unloads it again.
bool LoadVellixClient();
// Drops one reference; the last one calls "Cleanup", unloads the library,
// clears every slot and gives true.
bool UnloadVellixClient();
// The client's "IsVellixActive", false when it is not bound.
bool IsVellixActive();

// The address bound for a client function, null while unbound (or for a
// name the client does not have).
void* VellixClientEntry(const std::string& name);
// The number of references to the loaded client (0 while not loaded).
int VellixClientReferences();

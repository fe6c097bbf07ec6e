// The plug-in's registry settings: one class through which every read and
// write goes. Values live under the current user's key
// "Software\Quorl Audio\DulmDSP\General", in the file-backed registry
// store (readable and writable by the user only). Keys are created when
// missing. Made on the stack for each batch of reads or writes, on the GUI
// thread.
#pragma once

#include "foundation/KCFourCC.h"
#include "registry/KVRegistry.h"

#include <cstdint>
#include <string>
#include <vector>

class CRegistryEx {
public:
    static constexpr const char* kGeneral = "General";
    static constexpr size_t kTextBufferSize = 260;

    // The type of the string resources of the host program's module.
    static constexpr uint32_t kStringResourceType = KV_FOURCC("STR_");

    // Sets only the access data; the names stay unset.
    CRegistryEx();
    CRegistryEx(KVHKEY root, const char* company, const char* product,
                const char* subKey = nullptr);
    virtual ~CRegistryEx();
    CRegistryEx(const CRegistryEx&) = delete;
    CRegistryEx& operator=(const CRegistryEx&) = delete;

    // Root HKEY_CURRENT_USER and, as the company, the text of the host
    // program's string resource `id` (up to its first zero byte and at most
    // kTextBufferSize - 1 characters); false, and nothing changed, when the
    // program has no such resource.
    bool SetRootAndCompanyFromResource(short id);

    // "Software\<company>[\<product>][\<sub-key>]".
    std::string BaseKeyPath() const;

    bool WriteDWORD(const char* subKey, const char* name, uint32_t value);
    // A missing value leaves `value` unchanged and gives false.
    bool ReadDWORD(const char* name, uint32_t& value);
    bool ReadMaxBands(uint32_t& value);
    // Into a buffer of kTextBufferSize bytes; a missing value gives an
    // empty text. Always true.
    bool ReadText(const char* name, char* buffer);
    // A missing value leaves `text` unchanged and gives false.
    bool ReadString(const char* name, std::string& text);
    // No text deletes the value; no value name deletes the "General" key
    // itself, with every value in it. Deleting what is missing succeeds.
    bool WriteText(const char* name, const char* text);

    bool WriteBinary(const char* subKey, const char* name, const void* data, uint32_t size);
    bool Write8Bytes(const char* subKey, const char* name, uint64_t value);
    bool Read8Bytes(const char* subKey, const char* name, uint64_t& value);
    // Any value, into a buffer of its size.
    bool ReadValue(const char* subKey, const char* name, std::vector<uint8_t>& data);

private:
    // Opens the base key, creating it when missing.
    KVHKEY OpenBaseKey();
    // Opens (creating when missing) the base key's sub-key.
    KVHKEY OpenSubKey(const char* subKey);

    std::string company_;
    std::string product_;
    std::string subKey_;
    bool hasNames_ = false;
    KVHKEY root_ = nullptr;
};

// The settings the algorithm object keeps in the registry.
struct SDulmSettings {
    uint32_t popType = 0;
    uint32_t popTypeEEPROMExt = 0;
    std::string popFilename;
    std::string popFilenameEEPROM;
    std::string popRunPath;
    uint32_t maxBands = 10; // the band count; never written back
};

// Reads what is present; absent values leave the fields unchanged.
void LoadDulmSettings(SDulmSettings& settings);
// Writes everything but the band limit.
bool SaveDulmSettings(const SDulmSettings& settings);

// The POP dialog's run history ("PopRunHistoryCount", "PopRunHistoryPath%d").
std::vector<std::string> LoadPopRunHistory();
bool SavePopRunHistory(const std::vector<std::string>& paths);

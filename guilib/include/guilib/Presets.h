// The preset model of the plug-in framework: preset descriptors, preset
// payloads, their equality, and the factory presets a plug-in carries as
// an XML resource ("PresetXMLTree").
#pragma once

#include "foundation/KCFixedString.h"
#include "foundation/KCFourCC.h"
#include "foundation/KCStPath.h"
#include "foundation/KURect.h"
#include "foundation/XMLElement.h"
#include "guilib/QGLExport.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

class CPresetInfo;

struct QGL_API sPresetControlData {
    std::string text;
    int32_t words[3] = {0, 0, 0};
};

// One plug-in specific entry: name/value pairs and a cache file.
class QGL_API sPluginSpecific {
public:
    using DescriptorMap = std::vector<KCFixedStringPair<63, 127>>;
    DescriptorMap& GetDescriptorMap() { return descriptors_; }
    const DescriptorMap& GetDescriptorMap() const { return descriptors_; }
    void SetCacheFilePath(const kvFM::KCStPath& path) { cachePath_ = path; }
    static bool IsSameData(const sPluginSpecific& a, const sPluginSpecific& b);

private:
    DescriptorMap descriptors_;
    kvFM::KCStPath cachePath_;
};

// Element equality: name, text, CDATA flag, attributes in order, children
// in order.
QGL_API bool XMLElementsAreSame(const kvXML::CXMLElement& a, const kvXML::CXMLElement& b);

struct QGL_API sPresetData {
    explicit sPresetData(CPresetInfo* owner = nullptr);
    sPresetData(const sPresetData& other);
    sPresetData& operator=(const sPresetData& other);
    ~sPresetData();

    void ClearPluginSpecific();
    uint32_t GetNumParametersData() const { return numParameterData; }
    size_t GetNumPluginSpecific() const { return pluginSpecific.size(); }
    // True when the value at `index` is given (not "*").
    bool HasValue(size_t index) const {
        return index < parameterValues.size() && (index >= present.size() || present[index]);
    }
    static bool IsSameData(const sPresetData& a, const sPresetData& b);

    int32_t firstValue = -1;
    int32_t secondValue = -1;
    std::vector<sPluginSpecific*> pluginSpecific;
    kvXML::CXMLElement pluginSpecificXML{"PluginSpecificXMLData", ""};
    uint32_t numParameterData = 0;
    // 1 for a value the preset gives, 0 for one it leaves out.
    std::vector<int32_t> present;
    std::vector<double> parameterValues;
    std::vector<int32_t> reservedList;
    std::vector<sPresetControlData> controlData;
    std::string text;
    int32_t reservedWord = 0;
    CPresetInfo* owner = nullptr;
};

enum EPresetInfoFlags : int32_t { ePresetReadOnly = 0, ePresetFactory = 1, ePresetModified = 2 };
enum EMenuItemType : int32_t { eMenuItemPreset = 0, eMenuItemCommand = 1 };

class QGL_API CPresetInfo {
public:
    CPresetInfo() = default;
    CPresetInfo(const CPresetInfo& other);
    CPresetInfo& operator=(const CPresetInfo& other);
    ~CPresetInfo();

    std::vector<sPresetData*>* GetPresetDataVec() { return &presetData_; }
    // Appends the pointer; the descriptor owns it from then on.
    void SetPresetData(sPresetData* data) { presetData_.push_back(data); }

    const std::string& GetPresetName() const { return name_; }
    void SetPresetName(const std::string& s) { name_ = s; }
    bool GetFlag(int32_t flag) const { return (flags_ >> (static_cast<uint32_t>(flag) % 32)) & 1; }
    void SetFlag(int32_t flag, bool on) {
        const uint32_t bit = 1u << (static_cast<uint32_t>(flag) % 32);
        flags_ = on ? (flags_ | bit) : (flags_ & ~bit);
    }
    const std::string& GetPresetVersion() const { return presetVersion_; }
    void SetPresetVersion(const std::string& s) { presetVersion_ = s; }
    const std::string& GetGroupType() const { return groupType_; }
    void SetGroupType(const std::string& s) { groupType_ = s; }
    const std::string& GetPluginName() const { return pluginName_; }
    void SetPluginName(const std::string& s) { pluginName_ = s; }
    const std::string& GetPluginVersion() const { return pluginVersion_; }
    void SetPluginVersion(const std::string& s) { pluginVersion_ = s; }
    const std::string& GetInfoString() const { return info_; }
    void SetInfoString(const std::string& s) { info_ = s; }
    const std::string& GetActiveSetup() const { return activeSetup_; }
    void SetActiveSetup(const std::string& s) { activeSetup_ = s; }
    uint32_t GetPresetIndex() const { return index_; }
    void SetPresetIndex(uint32_t i) { index_ = i; }
    KCFourCC GetGenericType() const { return genericType_; }
    void SetGenericType(KCFourCC t) { genericType_ = t; }
    EMenuItemType GetChosenMenuItemType() const { return menuItemType_; }
    void SetChosenMenuItemType(EMenuItemType t) { menuItemType_ = t; }
    KCFourCC GetResourceType() const { return resourceType_; }
    void SetResourceType(KCFourCC t) { resourceType_ = t; }
    short GetResID() const { return resId_; }
    void SetResID(short id) { resId_ = id; }

private:
    std::vector<sPresetData*> presetData_;
    std::string name_;
    uint32_t flags_ = 0;
    std::string presetVersion_;
    std::string groupType_;
    std::string pluginName_;
    std::string pluginVersion_;
    std::string info_;
    std::string activeSetup_;
    uint32_t index_ = 0;
    KCFourCC genericType_;
    EMenuItemType menuItemType_ = eMenuItemPreset;
    KCFourCC resourceType_;
    short resId_ = 0;
};

// Reads the presets of a "PresetXMLTree" document, in document order.
// eXMLElementMissing when the root is not a preset tree.
QGL_API long ReadFactoryPresets(const kvXML::CXMLElement& root,
                                std::vector<std::unique_ptr<CPresetInfo>>& out);

// Writes presets as a "PresetXMLTree" document (the form ReadFactoryPresets
// reads): each preset's header when it names its plug-in, and its first
// payload's values ("*" for one it leaves out), in the "C" locale. 0, or
// the error of a text that could not be made (`text` then as it was).
QGL_API long WritePresetTree(const std::vector<const CPresetInfo*>& presets, std::string& text);

// One preset file: where it is and the name it shows as.
class QGL_API CPresetsFileInfo {
public:
    CPresetsFileInfo() = default;
    CPresetsFileInfo(const kvFM::KCStPath& path, const std::string& name)
        : path_(path), name_(name) {}
    const kvFM::KCStPath& GetPath() const { return path_; }
    const std::string& GetName() const { return name_; }
    bool IsSet() const { return !path_.GetPathString().empty(); }

private:
    int32_t reserved_ = 0;
    kvFM::KCStPath path_;
    std::string name_;
};

// One group of dynamic factory presets: the file, its name, the names of
// its presets and their places in the file.
struct QGL_API SPresetGroupDesc {
    kvFM::KCStPath path;
    std::string name;
    std::vector<std::string> presetNames;
    std::vector<uint32_t> presetIndices;
};

// A folder of dynamic factory presets a plug-in names, and the menu title
// of its group.
struct QGL_API KCDynamicFactoryPreset {
    kvFM::KCStPath folder;
    std::string name;
};

// One item of a preset menu: its title, command, kind and the index of the
// preset it stands for.
class QGL_API CMenuItem {
public:
    CMenuItem() = default;
    CMenuItem(const std::wstring& title, int32_t command, int32_t kind, int32_t index)
        : title(title), command(command), kind(kind), index(index) {}
    std::wstring title;
    int32_t command = 0;
    int32_t kind = 0;
    int32_t index = 0;
};

// One preset menu (or a part of one): its title, its id, a word, its
// items and a trailing word.
class QGL_API CMenuDescription {
public:
    std::wstring title;
    int16_t menuID = 0;
    int32_t flags = 0;
    std::vector<CMenuItem> items;
    int16_t reserved = 0;
};

// What a plug-in's preset filter is asked about a preset, and its answer.
enum EQueryPresetFilter : int32_t {
    eQueryPresetFilterShow = 0, // may the preset be listed in a menu?
    eQueryPresetFilterLoad = 1, // may it be loaded?
    eQueryPresetFilterSave = 2, // may it be saved (under the name given)?
};
enum EReplyFromPresetFilter : int32_t {
    eReplyFromPresetFilterAccept = 0,
    eReplyFromPresetFilterReject = 1,
};

class CPublicAlg;
class KCWindow;
class KCMenuEx;
using CPresetMenu = KCMenuEx;

// The presets of one algorithm: its factory presets, the user presets of
// the open user presets file, dynamic factory presets from the folders the
// plug-in names, and the preset menus.
//
// User preset files are "PresetXMLTree" documents in the user presets
// folder (<application data>/Quorl Audio/Presets/<plug-in name>, unless
// GetSaveDirectoryDefaultPath gives another). A save or a delete re-reads
// the file under an exclusive lock on "<file>.lock" and merges its change
// into what the file holds; files are written through a temporary file and
// a rename, and never larger than the reader takes. A file that cannot be
// read, is not a preset tree or holds presets of another plug-in is
// refused with a status and changes nothing.
class QGL_API CPresetsManager {
public:
    // Menu commands.
    enum : int32_t {
        kCmdOpenUserFile = 10,
        kCmdSavePreset = 20,
        kCmdSaveToNewFile = 21,
        kCmdSaveToFileAs = 22,
        kCmdSaveAsDefault = 23,
        kCmdFactoryBase = 1000,
        kCmdUserBase = 2000,
        kCmdDeleteBase = 3000,
        kCmdDynamicBase = 4000,
        kCmdRange = 1000,
    };
    // The largest preset file read.
    static constexpr uint64_t kMaxPresetFileBytes = 8u << 20;
    static constexpr const char* kDefaultUserFileName = "User Presets.xml";
    static constexpr const char* kDefaultPresetFileName = "Default Preset.xml";

    // The groups of dynamic factory presets found so far, and the folders
    // they were looked for in.
    class QGL_API KCDynamicFactoryPresetsJustInTime {
    public:
        int32_t searched = 0;
        std::vector<SPresetGroupDesc> groups;
        std::vector<kvFM::KCStPath> folders;
    };

    CPresetsManager() = default;
    CPresetsManager(const CPresetsManager& other);
    CPresetsManager& operator=(const CPresetsManager& other);
    virtual ~CPresetsManager();

    void SetFactoryPresets(std::vector<std::unique_ptr<CPresetInfo>> presets);
    const std::vector<std::unique_ptr<CPresetInfo>>& FactoryPresets() const { return factory_; }
    const std::vector<std::unique_ptr<CPresetInfo>>& UserPresets() const { return user_; }
    const std::vector<std::unique_ptr<CPresetInfo>>& DynamicPresets() const { return dynamic_; }
    // The first factory preset of exactly that name, or null.
    CPresetInfo* FindFactoryPreset(const std::string& name) const;
    CPresetInfo* FindUserPreset(const std::string& name) const;
    // Gives the algorithm's parameters the values of the named factory
    // preset (clamped into range); ePresetInfoNotFound when there is none.
    long LoadFactoryPresetToPlugin(const CPublicAlg& alg, const std::string& name);

    // The window the preset menus open over (not owned; null: none).
    void SetMenuWindow(KCWindow* window) { menuWindow_ = window; }
    // The plug-in name presets are saved with and checked against (default:
    // the factory presets' plug-in name).
    const std::string& GetPluginName() const { return pluginName_; }
    void SetPluginName(const std::string& name) { pluginName_ = name; }
    // The user presets folder.
    kvFM::KCStPath GetUserPresetsFolder();
    const CPresetsFileInfo& GetUserPresetsFile() const { return files_[kUserFile]; }

    CPresetInfo& GetCurrentPreset() { return current_[currentIndex_ & 1]; }

    // The operations of the menus' commands, for scripted use.
    long RunLoadMenuCommand(const CPublicAlg& alg, long command);
    long RunSaveMenuCommand(const CPublicAlg& alg, long command);
    // Saves the plug-in's values as a user preset named `name` (made unique
    // among the presets the file holds now) in the user presets file; 0 or
    // the error.
    long SaveUserPreset(const CPublicAlg& alg, const std::string& name);
    // The next or the previous preset of the factory and user presets.
    long StepPreset(const CPublicAlg& alg, bool next);

    // The preset manager's operations, in the framework's order.
    virtual long LoadPresetMenu(const CPublicAlg& alg, KCPoint<short> where);
    virtual long SavePresetMenu(const CPublicAlg& alg, KCPoint<short> where);
    virtual long SetUserPresetsFile(const CPublicAlg& alg, CPresetsFileInfo file);
    virtual long UserPresetFile_Open(const CPublicAlg& alg, const kvFM::KCStPath& path);

protected:
    virtual void UserPresetFile_Close();
    virtual long GetSaveDirectoryDefaultPath(kvFM::KCStPath&) { return -1002; }
    virtual long SaveMenu_PreparePresetUniqueName(const CPublicAlg& alg, CPresetInfo& preset,
                                                  const std::vector<CPresetInfo*>& others);

public:
    virtual long SaveMenu_SaveToNewFile(const CPublicAlg& alg);

protected:
    virtual long SaveMenu_SaveActiveSetup(const CPublicAlg& alg);
    virtual long SaveMenu_SaveToFileAs(const CPublicAlg& alg);
    virtual long SaveMenu_SaveAsDefaultPreset(const CPublicAlg& alg);
    virtual void SaveMenu_PrepareMenu(CMenuDescription& menu);
    virtual long LoadMenu_PrepareMenu(const CPublicAlg& alg, CPresetMenu& menu,
                                      std::vector<CMenuDescription*>& descriptions);
    virtual long LoadMenu_IterateDynamicFactoryPresetsFiles(const CPublicAlg& alg);
    virtual long LoadMenu_IterateOneDynamicFactoryPresetsFile(
        CPresetMenu& menu, std::vector<CMenuDescription*>& descriptions, SPresetGroupDesc& group);
    virtual long LoadMenu_LoadPreset(const CPublicAlg& alg, CPresetInfo* preset);
    virtual long LoadMenu_DeletePreset(const CPublicAlg& alg, CPresetInfo* preset);
    virtual long LoadMenu_LoadPluginSpecificPreset(const CPublicAlg& alg, size_t item);
    virtual long ComputePresetIndex(unsigned long& index, bool next, int count);

public:
    virtual long LoadPresetToPlugin(const CPublicAlg& alg, CPresetInfo& preset);
    virtual long SavePresetFromPlugin(const CPublicAlg& alg, CPresetInfo& preset);
    // Loads the current preset into the plug-in; with `fromDefault`, first
    // makes the saved default preset (if any) the current one.
    virtual long LoadPresetFromCurrentPresetSection(const CPublicAlg& alg, bool fromDefault);
    // Asks for a presets file and opens it; a file that cannot be opened is
    // refused with a message box that says why.
    virtual long LoadMenu_OpenUserPresetsFile(const CPublicAlg& alg);

private:
    enum { kUserFile = 0, kDefaultFile = 1, kLastSavedFile = 2 };
    // Reads a preset file of this plug-in; the presets or the error.
    long ReadPresetFile(const CPublicAlg& alg, const kvFM::KCStPath& path,
                        std::vector<std::unique_ptr<CPresetInfo>>& out);
    using PresetList = std::vector<std::unique_ptr<CPresetInfo>>;
    // Writes a preset file (the caller holds its lock); a file larger than
    // the reader takes is refused with a message.
    long WritePresetFile(const kvFM::KCStPath& path,
                         const std::vector<const CPresetInfo*>& presets);
    // WritePresetFile under the file's lock: replaces the whole file.
    long WriteWholePresetFile(const kvFM::KCStPath& path,
                              const std::vector<const CPresetInfo*>& presets);
    // Under the lock file beside the user presets file: reads what the file
    // holds now, lets `change` alter that list (a non-zero result ends the
    // update and writes nothing), writes it back and makes it the user
    // presets. So two writers (instances, sessions) never lose each
    // other's presets.
    long UpdateUserFile(const CPublicAlg& alg, const std::function<long(PresetList&)>& change);
    // The user presets file, made (empty) when none is open.
    long EnsureUserFile(const CPublicAlg& alg);
    // Asks the file dialog for a preset file to save to or to open.
    long AskPresetPath(const std::string& title, bool save, kvFM::KCStPath& path);
    bool Accepted(const CPublicAlg& alg, EQueryPresetFilter query, CPresetInfo& preset, long index);
    void MakeCurrent(const CPresetInfo& preset);
    // Shows a description list as one menu at `where`: the chosen command.
    long PopUp(const std::vector<CMenuDescription*>& descriptions, KCPoint<short> where,
               long& command);

    int32_t currentIndex_ = 0;
    CPresetInfo current_[2];
    CPresetsFileInfo files_[3];
    std::vector<int32_t> factoryOrder_;
    std::vector<int32_t> userOrder_;
    std::vector<int32_t> dynamicOrder_;
    KCDynamicFactoryPresetsJustInTime dynamicGroups_;
    bool userFileOpen_ = false;
    CPresetsFileInfo dynamicFile_;

    std::vector<std::unique_ptr<CPresetInfo>> factory_;
    std::vector<std::unique_ptr<CPresetInfo>> user_;
    std::vector<std::unique_ptr<CPresetInfo>> dynamic_;
    std::string pluginName_;
    KCWindow* menuWindow_ = nullptr;
    uint32_t stepIndex_ = 0;
};

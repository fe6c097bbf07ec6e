// The preset model of the plug-in framework: preset descriptors, preset
// payloads, their equality, and the factory presets a plug-in carries as
// an XML resource ("PresetXMLTree").
#pragma once

#include "foundation/KCFixedString.h"
#include "foundation/KCFourCC.h"
#include "foundation/KCStPath.h"
#include "foundation/XMLElement.h"
#include "guilib/QGLExport.h"

#include <cstdint>
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

class CPublicAlg;

// The presets of one algorithm: its factory presets and the current one.
class QGL_API CPresetsManager {
public:
    CPresetsManager() = default;
    virtual ~CPresetsManager();

    void SetFactoryPresets(std::vector<std::unique_ptr<CPresetInfo>> presets);
    const std::vector<std::unique_ptr<CPresetInfo>>& FactoryPresets() const { return factory_; }
    // The first factory preset of exactly that name, or null.
    CPresetInfo* FindFactoryPreset(const std::string& name) const;
    // Gives the algorithm's parameters the values of the named factory
    // preset (clamped into range); ePresetInfoNotFound when there is none.
    long LoadFactoryPresetToPlugin(const CPublicAlg& alg, const std::string& name);
    virtual long LoadPresetToPlugin(const CPublicAlg& alg, CPresetInfo& preset);

    CPresetInfo& GetCurrentPreset() { return current_[currentIndex_ & 1]; }

protected:
    virtual long GetSaveDirectoryDefaultPath(kvFM::KCStPath&) { return -1002; }

private:
    int32_t currentIndex_ = 0;
    CPresetInfo current_[2];
    std::vector<std::unique_ptr<CPresetInfo>> factory_;
};

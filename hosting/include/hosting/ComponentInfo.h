// The identification of one plug-in component, and lists of them as a scan
// produces them. Both read and write themselves as XML.
#pragma once

#include "hosting/ProcCodeDesc.h"

#include "foundation/KCFixedString.h"
#include "foundation/KCFourCC.h"
#include "foundation/KCStPath.h"
#include "foundation/KTErr.h"
#include "foundation/XMLElement.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

inline constexpr KCFourCC kQuorlManufacturer{KV_FOURCC("ksKV")};
inline constexpr KCFourCC kNetworkedShellType{KV_FOURCC("vxPI")};

// Component-definition resources: the defaults every plug-in carries, and
// the plug-in's own.
inline constexpr KCFourCC kComponentDefinitionsType{KV_FOURCC("XCli")};
inline constexpr short kDefaultComponentDefinitionsID = 1000;
inline constexpr short kOwnComponentDefinitionsID = 1001;

// A plain record with value semantics; it owns its description.
class QuorlComponentInfo : public kvFM::KCStPath {
public:
    QuorlComponentInfo();
    QuorlComponentInfo(const QuorlComponentInfo& other);
    QuorlComponentInfo& operator=(const QuorlComponentInfo& other);
    ~QuorlComponentInfo() override;

    kvFM::KCStPath& Path() { return *this; }
    const kvFM::KCStPath& Path() const { return *this; }

    bool operator==(const QuorlComponentInfo& other) const;
    bool operator!=(const QuorlComponentInfo& other) const { return !(*this == other); }

    // Replaces the description by a copy of `desc` (none for null).
    void SetProcCodeDesc(const CProcCodeDesc* desc);

    static int CompareName(const QuorlComponentInfo& a, const QuorlComponentInfo& b);
    static bool IsNameBefore(const QuorlComponentInfo& a, const QuorlComponentInfo& b) {
        return CompareName(a, b) < 0;
    }

    KCFourCC componentType;
    KCFourCC componentSubType;
    KCFourCC componentManufacturer = kQuorlManufacturer;
    KCFixedString<63> shortName;
    float pluginInternalVersion = 0.0f;
    float pluginAPIVersion = 0.0f;
    int16_t ePluginInstanceType = 1; // 0: no native process function to load
    std::unique_ptr<CProcCodeDesc> compProcCodeDesc;
};

void Read_QuorlComponentInfo_FromXML(const kvXML::CXMLElement* element, QuorlComponentInfo& record);
kvXML::CXMLElement* Write_QuorlComponentInfo_ToXML(const QuorlComponentInfo& record,
                                                   kvXML::CXMLElement* element);

// The name with a suffix for its channel layouts (1 mono, 2 stereo, 5 "5.0",
// 6 "5.1"), cut to 63 characters.
std::string AppendChannelLayout(long inputs, const std::string& name, long outputs);

class KCQuorlComponentInfoList : public kvXML::CXMLable {
public:
    KCQuorlComponentInfoList() = default;
    KCQuorlComponentInfoList(const KCQuorlComponentInfoList&) = default;
    KCQuorlComponentInfoList& operator=(const KCQuorlComponentInfoList&) = default;
    ~KCQuorlComponentInfoList() override = default;

    size_t Count() const { return components.size(); }
    // Copies the first record of that type and sub-type into `out`;
    // ePluginSubComponentNotFound (out untouched) when there is none.
    KTErr Find(KCFourCC type, KCFourCC subType, QuorlComponentInfo& out) const;
    // The position of the first record of that sub-type, -1 when none.
    long IndexOfSubType(KCFourCC subType) const;
    // Removes every record of that type; returns how many went.
    size_t RemoveType(KCFourCC type);
    void PushBack(const QuorlComponentInfo& record) { components.push_back(record); }
    // Stable sort by QuorlComponentInfo::IsNameBefore.
    void SortByName();
    void Clear() { components.clear(); }

    // Gives every record of `type` the sub-type shifted by `count` and the
    // text appended to its name after a blank.
    void OffsetSubTypesOfType(KCFourCC type, long count, const std::string& text);
    // Every name gets the suffix of its description's channel layouts.
    void AppendChannelLayoutToNames();

    // Appends one record per child "QuorlComponentInfo".
    void ReadFromXML(const kvXML::CXMLElement* element) override;
    // One child "QuorlComponentInfo" per record.
    kvXML::CXMLElement* WriteToXML(kvXML::CXMLElement* element) const override;

    std::vector<QuorlComponentInfo> components;
};

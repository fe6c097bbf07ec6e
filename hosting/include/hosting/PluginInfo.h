// A plug-in's information resource ('Xinf' 1000) and its component list
// ('XCli' 1001), read without loading the library as code.
#pragma once

#include "hosting/ComponentInfo.h"

#include "foundation/KCFourCC.h"
#include "foundation/KTErr.h"
#include "foundation/RM.h"
#include "foundation/XMLElement.h"

#include <string>
#include <vector>

inline constexpr KCFourCC kPluginInfoType{KV_FOURCC("Xinf")};
inline constexpr short kPluginInfoID = 1000;

// Both outputs are 0.0 unless found. eRMResNotFound without the plug-in
// information, eXMLTreeEmpty for an empty one.
KTErr ReadPluginVersions(KTResContainerType* container, double& apiVersion,
                         double& internalVersion);

// Appends one component per "SubComponentType" and "thng" of each
// "SubComponent" of the plug-in's component definitions.
KTErr ReadSubComponentList(KTResContainerType* container, std::vector<QuorlComponentInfo>& out);

enum eQuorlInfoStringTypes : int {
    eQuorlInfoString0 = 0,
    eQuorlInfoString1 = 1,
    eQuorlInfoString2 = 2,
    eQuorlInfoString3 = 3,
    eQuorlInfoStringCount = 4,
};

// The object form of the plug-in information.
class CQuorlInfo : public kvXML::CXMLable {
public:
    CQuorlInfo() = default;
    CQuorlInfo(const CQuorlInfo&) = default;
    CQuorlInfo& operator=(const CQuorlInfo&) = default;
    ~CQuorlInfo() override = default;

    void ReadFromXML(const kvXML::CXMLElement* element) override;
    kvXML::CXMLElement* WriteToXML(kvXML::CXMLElement* element) const override;

    // Types outside 0 to 3 are ignored (and read as an empty text).
    void SetInfoString(int type, const std::string& text);
    std::string GetInfoString(int type) const;

    double apiVersion = 0.0;
    double internalVersion = 0.0;
    std::vector<std::string> libNames;
    uint8_t debug = 0;
    std::string infoStrings[eQuorlInfoStringCount];
};

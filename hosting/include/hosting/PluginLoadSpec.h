// Which components this host loads: accepted component types and windows
// for the plug-in and interface versions.
#pragma once

#include "hosting/ComponentInfo.h"

#include "foundation/KCFourCC.h"
#include "foundation/KTErr.h"
#include "foundation/RM.h"
#include "foundation/XMLElement.h"

#include <vector>

// The host's resources: the load specification and the scanner texts.
inline constexpr KCFourCC kShellInfoType{KV_FOURCC("XPll")};
inline constexpr short kLoadSpecID = 1001;
inline constexpr short kScannerInfoID = 1002;

class KCPluginLoadSpec : public kvXML::CXMLable {
public:
    // 0.0001 in single precision, as a double: how far each bound is widened.
    static constexpr double kTolerance = static_cast<double>(0.0001f);

    KCPluginLoadSpec() = default;
    KCPluginLoadSpec(const KCPluginLoadSpec&) = default;
    KCPluginLoadSpec& operator=(const KCPluginLoadSpec&) = default;
    ~KCPluginLoadSpec() override = default;

    // "Version", "APIVersion" (widened) and every "Thng" at any depth.
    void ReadFromXML(const kvXML::CXMLElement* element) override;
    // "Version", "APIVersion" and "Thngs", numbers with six decimals.
    kvXML::CXMLElement* WriteToXML(kvXML::CXMLElement* element) const override;

    // Reads 'XPll' 1001 of the container and widens the version window; a
    // failure to load leaves the specification as it was.
    KTErr ReadFromResource(KTResContainerType* container);

    void AddThng(KCFourCC type);
    void RemoveThng(KCFourCC type);
    const std::vector<KCFourCC>& GetThngs() const { return thngs; }

    double GetMinimalVersion() const { return minVersion; }
    double GetMaximalVersion() const { return maxVersion; }
    double GetMinimalAPIVersion() const { return minAPIVersion; }
    double GetMaximalAPIVersion() const { return maxAPIVersion; }
    bool GetAcceptAll() const { return acceptAll; }
    void SetAcceptAll(bool accept) { acceptAll = accept; }

    bool IsComponentLoadable(const QuorlComponentInfo& component) const;

private:
    std::vector<KCFourCC> thngs;
    double minVersion = 0.0;
    double maxVersion = 0.0;
    double minAPIVersion = 0.0;
    double maxAPIVersion = 0.0;
    bool acceptAll = false;
};

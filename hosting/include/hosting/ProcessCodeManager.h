// The process-code descriptions of one component with its resource base:
// processor choice, DSP requirements, and the merge of the default and the
// plug-in's own component definitions into finished descriptions.
#pragma once

#include "hosting/ComponentInfo.h"
#include "hosting/DSPReqRes.h"
#include "hosting/ProcCodeDesc.h"
#include "hosting/ProcessorSpec.h"

#include "foundation/KCFourCC.h"
#include "foundation/KTErr.h"
#include "foundation/RM.h"
#include "foundation/XMLElement.h"

#include <cstdint>
#include <memory>
#include <vector>

// The default and the plug-in's own component definitions of one file,
// filtered for this system and indexed, so that each component's
// descriptions are found without walking every definition again: a scan
// loads them once per file and reads every component from them.
class CComponentDefinitions {
public:
    CComponentDefinitions();
    CComponentDefinitions(const CComponentDefinitions&) = delete;
    CComponentDefinitions& operator=(const CComponentDefinitions&) = delete;
    ~CComponentDefinitions();

    // Loads 'XCli' 1000 and 1001 from the container and filters them; a
    // missing resource gives the resource manager's status. The container's
    // loaded resources are never changed: trees that others hold are copied
    // first.
    KTErr Load(KTResContainerType* container);
    // Indexes two trees that the caller keeps (and has filtered) for as long
    // as this is used; an invalid `defaults` is left out, an invalid `own`
    // defines nothing.
    void Use(const kvXML::CXMLElement& defaults, const kvXML::CXMLElement& own);

    struct Index;
    const Index& GetIndex() const { return *index; }

private:
    struct Trees;
    std::unique_ptr<Trees> trees;
    std::unique_ptr<Index> index;
};

class CProcessCodeManager : public kvXML::CXMLable {
public:
    CProcessCodeManager() = default;
    CProcessCodeManager(const CProcessCodeManager&) = default;
    CProcessCodeManager& operator=(const CProcessCodeManager&) = default;
    ~CProcessCodeManager() override = default;

    std::vector<CProcCodeDesc>& ProcCodeDescs() { return descs; }
    const std::vector<CProcCodeDesc>& ProcCodeDescs() const { return descs; }
    int16_t GetResBase() const { return resBase; }
    void SetResBase(int16_t base) { resBase = base; }

    bool operator==(const CProcessCodeManager& other) const;

    // "resBase" and one description per "ProcessCodeDescription", appended.
    void ReadFromXML(const kvXML::CXMLElement* element) override;
    kvXML::CXMLElement* WriteToXML(kvXML::CXMLElement* element) const override;

    // The weakest processor over the descriptions (false when none, or when
    // the last usable description is of another family than the choice).
    bool FindWeakestProcessor(SProcessorSpec& spec) const;
    // An exact match anywhere wins; otherwise `actual` holds the generic
    // fallback of the last description that offered one.
    bool CanRunOnSpecificProcessor(const SProcessorSpec& requested, SProcessorSpec& actual) const;
    // The first description that runs on the processor (or its generic
    // member) fills `req`; false, `req` untouched, when none does.
    bool GetDSPReqResForSpecificProcessor(const SProcessorSpec& requested, SDSPReqRes& req) const;

    void FixCodeNum(int16_t resourceNumber, long size);
    void FixIdleCodeNum(int16_t resourceNumber, long size);

    // Loads 'XCli' 1000 and 1001 from the container, filters them for this
    // system and appends the component's finished descriptions. A missing
    // resource gives the resource manager's status and appends nothing. The
    // container's loaded resources are never changed: trees that others hold
    // are copied first.
    KTErr ReadProcCodeDescForComponent(const QuorlComponentInfo& component,
                                       KTResContainerType* container);
    // The same from definitions loaded before (a scan's one load per file).
    // Always 0.
    KTErr ReadProcCodeDescForComponent(const QuorlComponentInfo& component,
                                       const CComponentDefinitions& definitions);
    // The merge itself, over two trees filtered by the caller; the trees are
    // left as they are. Always 0.
    KTErr ReadProcCodeDescForComponentFromXMLTrees(const QuorlComponentInfo& component,
                                                   kvXML::CXMLElement& defaults,
                                                   kvXML::CXMLElement& own);

    // Removes every element below `element` (at any depth) whose attribute
    // "os" is not exactly "Win"; the element itself is not tested.
    static void FilterOS(kvXML::CXMLElement& element);

private:
    std::vector<CProcCodeDesc> descs;
    int16_t resBase = 0;
};

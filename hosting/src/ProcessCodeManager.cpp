#include "hosting/ProcessCodeManager.h"

#include "HostingText.h"
#include "foundation/ResConverters.h"

#include <algorithm>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <unordered_set>

using kvXML::CXMLElement;

bool CProcessCodeManager::operator==(const CProcessCodeManager& other) const {
    return resBase == other.resBase && descs == other.descs;
}

void CProcessCodeManager::ReadFromXML(const CXMLElement* element) {
    for (const CXMLElement* child : element->children) {
        if (child->name == "resBase") {
            resBase = static_cast<int16_t>(kvhosting::LeadingInteger(child->text));
        } else if (child->name == "ProcessCodeDescription") {
            CProcCodeDesc desc;
            desc.ReadFromXML(child);
            descs.push_back(desc);
        }
    }
}

CXMLElement* CProcessCodeManager::WriteToXML(CXMLElement* element) const {
    kvhosting::AppendChild(element, "resBase", static_cast<long>(resBase));
    for (const CProcCodeDesc& desc : descs)
        desc.WriteToXML(kvhosting::AppendChild(element, "ProcessCodeDescription", ""));
    return element;
}

bool CProcessCodeManager::FindWeakestProcessor(SProcessorSpec& spec) const {
    bool found = false;
    SProcessorSpec choice;
    for (const CProcCodeDesc& desc : descs) {
        SProcessorSpec weakest;
        if (!desc.FindWeakestProcessor(weakest))
            continue;
        if (!found)
            choice = weakest;
        found = weakest.family == choice.family;
        if (found && weakest.specific <= choice.specific)
            choice = weakest;
    }
    if (found)
        spec = choice;
    return found;
}

bool CProcessCodeManager::CanRunOnSpecificProcessor(const SProcessorSpec& requested,
                                                    SProcessorSpec& actual) const {
    bool result = false;
    for (const CProcCodeDesc& desc : descs) {
        SProcessorSpec candidate;
        long cycles = -1;
        if (!desc.CyclesForSpecificProcessor(requested, candidate, cycles))
            continue;
        actual = candidate;
        result = true;
        if (actual == requested)
            return true;
    }
    return result;
}

bool CProcessCodeManager::GetDSPReqResForSpecificProcessor(const SProcessorSpec& requested,
                                                           SDSPReqRes& req) const {
    for (const CProcCodeDesc& desc : descs) {
        SProcessorSpec actual;
        long cycles = -1;
        if (desc.CyclesForSpecificProcessor(requested, actual, cycles)) {
            desc.DSPReqResForSpecificProcessor(requested, req);
            return true;
        }
    }
    return false;
}

void CProcessCodeManager::FixCodeNum(int16_t resourceNumber, long size) {
    for (CProcCodeDesc& desc : descs) {
        if (desc.ResID_() == resourceNumber)
            desc.InternalP() = static_cast<uint32_t>(size);
    }
}

void CProcessCodeManager::FixIdleCodeNum(int16_t resourceNumber, long size) {
    for (CProcCodeDesc& desc : descs) {
        if (desc.IdleResID_() == resourceNumber)
            desc.IdleInternalP() = static_cast<uint32_t>(size);
    }
}

// The merge of the component definitions.

namespace {

bool HasName(const CXMLElement* element, std::string_view name) {
    return std::string_view(element->name.c_str()) == name;
}

// The value of the first attribute of that name, or null.
const char* AttributeValue(const CXMLElement* element, std::string_view name) {
    for (const KTXMLAttribute& a : element->GetAttribVec()) {
        if (std::string_view(a.name.c_str()) == name)
            return a.value.c_str();
    }
    return nullptr;
}

bool IsForOtherSystem(const CXMLElement* element) {
    const char* os = AttributeValue(element, "os");
    return os != nullptr && std::string_view(os) != "Win";
}

// Deletes the children of `list` for which `drop` holds.
template <typename Pred>
void DeleteChildren(CXMLElement& list, Pred drop) {
    size_t kept = 0;
    for (CXMLElement* child : list.children) {
        if (drop(child))
            delete child;
        else
            list.children[kept++] = child;
    }
    list.children.resize(kept);
}

// Calls `visit` for every element below `root`, parents before children;
// no recursion, so a deeply nested document cannot exhaust the stack.
template <typename Visit>
void ForEachDescendant(CXMLElement& root, Visit visit) {
    std::vector<CXMLElement*> pending(root.children.rbegin(), root.children.rend());
    while (!pending.empty()) {
        CXMLElement* element = pending.back();
        pending.pop_back();
        visit(*element);
        pending.insert(pending.end(), element->children.rbegin(), element->children.rend());
    }
}

// A text of four characters matches the code when every position is equal
// or holds '?' on either side.
bool MatchesSubType(const std::string& text, const std::string& code) {
    if (text.size() != code.size())
        return false;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] != code[i] && text[i] != '?' && code[i] != '?')
            return false;
    }
    return true;
}

template <typename Test>
bool AnyChild(const CXMLElement* element, std::string_view name, Test test) {
    for (const CXMLElement* child : element->children) {
        if (HasName(child, name) && test(child))
            return true;
    }
    return false;
}

// Every "resID" below the lists whose text is exactly `from` gets `to`.
void ReplaceResIDText(CXMLElement& templates, CXMLElement& finals, const char* from,
                      const std::string& to) {
    for (CXMLElement* list : {&templates, &finals}) {
        ForEachDescendant(*list, [&](CXMLElement& e) {
            if (HasName(&e, "resID") && e.text == from)
                e.text = to;
        });
    }
}

} // namespace

void CProcessCodeManager::FilterOS(CXMLElement& element) {
    std::vector<CXMLElement*> pending{&element};
    while (!pending.empty()) {
        CXMLElement* parent = pending.back();
        pending.pop_back();
        DeleteChildren(*parent, IsForOtherSystem);
        pending.insert(pending.end(), parent->children.begin(), parent->children.end());
    }
}

// --- the definitions of one file, indexed -------------------------------------

// Every sub-component and description of both trees in document order
// (defaults first); sub-components by the text of their sub-type elements,
// descriptions by their "ID".
struct CComponentDefinitions::Index {
    std::vector<const CXMLElement*> subComponents;
    std::vector<const CXMLElement*> descriptions;
    std::unordered_map<std::string, std::vector<size_t>> subComponentsByType;
    std::vector<size_t> wildcardSubComponents; // a sub-type text holds '?'
    std::unordered_map<std::string, std::vector<size_t>> descriptionsByID;
};

namespace {

// One component-definition tree: the resource's own tree when this call
// loaded it (filtering may change it), else a copy, so that other holders of
// the resource never see it change.
class DefinitionTree {
public:
    KTErr Load(KTResContainerType* container, short id) {
        bool wasLoaded = false;
        RMIsResourceLoaded(container, kComponentDefinitionsType, id, wasLoaded);
        CXMLElement* root = nullptr;
        if (KTErr err = static_cast<KTErr>(
                GetXMLResource(container, kComponentDefinitionsType, id, root, resource)))
            return err;
        if (root == nullptr)
            return eMemNullPointer;
        if (wasLoaded) {
            copy = std::make_unique<CXMLElement>(*root);
            tree = copy.get();
        } else {
            tree = root;
        }
        return eNoErr;
    }
    ~DefinitionTree() {
        copy.reset();
        if (resource != nullptr)
            RMReleaseResource(resource);
    }
    CXMLElement& Tree() { return *tree; }

private:
    KTResourceType* resource = nullptr;
    std::unique_ptr<CXMLElement> copy;
    CXMLElement* tree = nullptr;
};

void AddOnce(std::vector<size_t>& list, size_t value) {
    if (list.empty() || list.back() != value)
        list.push_back(value);
}

bool HasSubType(const CXMLElement* sub, const std::string& code) {
    return AnyChild(sub, "SubComponentType",
                    [&](const CXMLElement* t) { return MatchesSubType(t->text, code); });
}

// The sub-components whose sub-type matches the code, in document order.
std::vector<size_t> SubComponentsFor(const CComponentDefinitions::Index& index,
                                     const std::string& code) {
    std::vector<size_t> found;
    if (code.find('?') != std::string::npos) {
        for (size_t k = 0; k < index.subComponents.size(); ++k)
            if (HasSubType(index.subComponents[k], code))
                found.push_back(k);
        return found;
    }
    if (auto it = index.subComponentsByType.find(code); it != index.subComponentsByType.end())
        found = it->second;
    for (size_t k : index.wildcardSubComponents)
        if (HasSubType(index.subComponents[k], code))
            found.push_back(k);
    std::sort(found.begin(), found.end());
    found.erase(std::unique(found.begin(), found.end()), found.end());
    return found;
}

// Copies into `to`, for each ID in order, every description of that ID not
// taken yet.
void CopyDescriptionsByID(const CComponentDefinitions::Index& index,
                          const std::vector<std::string>& ids, std::unordered_set<size_t>& taken,
                          CXMLElement& to) {
    for (const std::string& id : ids) {
        auto it = index.descriptionsByID.find(id);
        if (it == index.descriptionsByID.end())
            continue;
        for (size_t j : it->second) {
            if (taken.insert(j).second)
                to.children.push_back(new CXMLElement(*index.descriptions[j]));
        }
    }
}

} // namespace

struct CComponentDefinitions::Trees {
    DefinitionTree defaults;
    DefinitionTree own;
};

CComponentDefinitions::CComponentDefinitions() : index(std::make_unique<Index>()) {}
CComponentDefinitions::~CComponentDefinitions() = default;

KTErr CComponentDefinitions::Load(KTResContainerType* container) {
    auto loaded = std::make_unique<Trees>();
    if (KTErr err = loaded->defaults.Load(container, kDefaultComponentDefinitionsID))
        return err;
    CProcessCodeManager::FilterOS(loaded->defaults.Tree());
    if (KTErr err = loaded->own.Load(container, kOwnComponentDefinitionsID))
        return err;
    CProcessCodeManager::FilterOS(loaded->own.Tree());
    Use(loaded->defaults.Tree(), loaded->own.Tree());
    trees = std::move(loaded);
    return eNoErr;
}

void CComponentDefinitions::Use(const CXMLElement& defaults, const CXMLElement& own) {
    index = std::make_unique<Index>();
    if (!own.IsValid())
        return;
    for (const CXMLElement* tree : {&defaults, &own}) {
        if (tree == &defaults && !defaults.IsValid())
            continue;
        for (const CXMLElement* child : tree->children) {
            if (HasName(child, "SubComponent"))
                index->subComponents.push_back(child);
            else if (HasName(child, "ProcessCodeDescription"))
                index->descriptions.push_back(child);
        }
    }
    for (size_t k = 0; k < index->subComponents.size(); ++k) {
        for (const CXMLElement* type : index->subComponents[k]->children) {
            if (!HasName(type, "SubComponentType"))
                continue;
            if (type->text.find('?') != std::string::npos)
                AddOnce(index->wildcardSubComponents, k);
            else
                AddOnce(index->subComponentsByType[type->text], k);
        }
    }
    for (size_t j = 0; j < index->descriptions.size(); ++j) {
        if (const char* id = AttributeValue(index->descriptions[j], "ID"))
            index->descriptionsByID[id].push_back(j);
    }
}

KTErr CProcessCodeManager::ReadProcCodeDescForComponent(const QuorlComponentInfo& component,
                                                        const CComponentDefinitions& definitions) {
    const CComponentDefinitions::Index& index = definitions.GetIndex();
    const std::string subType = FourCCToString(component.componentSubType);
    const std::string type = FourCCToString(component.componentType);

    // The description IDs of the matches for the component's type, in
    // order; those marked final apart.
    std::vector<std::string> templateIDs, finalIDs;
    for (size_t k : SubComponentsFor(index, subType)) {
        for (const CXMLElement* match : index.subComponents[k]->children) {
            if (!HasName(match, "ProcessCodeMatch") ||
                !AnyChild(match, "thng", [&](const CXMLElement* t) { return t->text == type; }))
                continue;
            for (const CXMLElement* id : match->children) {
                if (!HasName(id, "ProcessCodeDescriptionID"))
                    continue;
                const char* final = AttributeValue(id, "final");
                const bool isFinal = final != nullptr && std::string_view(final) == "yes";
                (isFinal ? finalIDs : templateIDs).push_back(id->text);
            }
        }
    }

    // A description serves the first ID that names it.
    std::unordered_set<size_t> taken;
    CXMLElement templates("templateProcessCodeDescriptionList", "");
    CXMLElement finals("finalProcessCodeDescriptionList", "");
    CopyDescriptionsByID(index, templateIDs, taken, templates);
    CopyDescriptionsByID(index, finalIDs, taken, finals);

    const std::string base = std::to_string(resBase);
    const std::string negated = std::to_string(-static_cast<long>(resBase));
    ReplaceResIDText(templates, finals, "ResBase", base);
    ReplaceResIDText(templates, finals, "-ResBase", negated);

    CProcCodeDesc templ;
    for (const CXMLElement* desc : templates.children)
        templ.ReadFromXML(desc);
    for (const CXMLElement* desc : finals.children) {
        CProcCodeDesc finished(templ);
        finished.ReadFromXML(desc);
        descs.push_back(finished);
    }
    return eNoErr;
}

KTErr CProcessCodeManager::ReadProcCodeDescForComponentFromXMLTrees(
    const QuorlComponentInfo& component, CXMLElement& defaults, CXMLElement& own) {
    CComponentDefinitions definitions;
    definitions.Use(defaults, own);
    return ReadProcCodeDescForComponent(component, definitions);
}

KTErr CProcessCodeManager::ReadProcCodeDescForComponent(const QuorlComponentInfo& component,
                                                        KTResContainerType* container) {
    CComponentDefinitions definitions;
    if (KTErr err = definitions.Load(container))
        return err;
    return ReadProcCodeDescForComponent(component, definitions);
}

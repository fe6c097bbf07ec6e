#include "hosting/ProcessCodeManager.h"

#include "HostingText.h"
#include "foundation/ResConverters.h"

#include <memory>
#include <string_view>

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

// Moves the children of `from` for which `take` holds to the end of `to`,
// keeping the order of both the moved and the remaining ones.
template <typename Pred>
void MoveChildren(CXMLElement& from, CXMLElement& to, Pred take) {
    size_t kept = 0;
    for (CXMLElement* child : from.children) {
        if (take(child))
            to.children.push_back(child);
        else
            from.children[kept++] = child;
    }
    from.children.resize(kept);
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

// Moves into `to`, for each ID element of `ids` in order, every description
// of `descriptions` whose attribute "ID" equals the ID's text.
void MoveDescriptionsByID(const CXMLElement& ids, CXMLElement& descriptions, CXMLElement& to) {
    for (const CXMLElement* id : ids.children) {
        MoveChildren(descriptions, to, [id](const CXMLElement* desc) {
            const char* value = AttributeValue(desc, "ID");
            return value != nullptr && id->text == value;
        });
    }
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

KTErr CProcessCodeManager::ReadProcCodeDescForComponentFromXMLTrees(
    const QuorlComponentInfo& component, CXMLElement& defaults, CXMLElement& own) {
    if (!own.IsValid())
        return eNoErr;

    CXMLElement subComponents("SubComponentList", "");
    CXMLElement descriptions("ProcessCodeDescriptionList", "");
    CXMLElement matches("ProcessCodeMatchList", "");
    CXMLElement templateIDs("templateProcessDescriptionIDs", "");
    CXMLElement finalIDs("finalProcessDescriptionIDs", "");
    CXMLElement templates("templateProcessCodeDescriptionList", "");
    CXMLElement finals("finalProcessCodeDescriptionList", "");

    const auto named = [](std::string_view name) {
        return [name](const CXMLElement* e) { return HasName(e, name); };
    };
    for (CXMLElement* tree : {&defaults, &own}) {
        if (tree == &defaults && !defaults.IsValid())
            continue;
        MoveChildren(*tree, subComponents, named("SubComponent"));
    }
    for (CXMLElement* tree : {&defaults, &own}) {
        if (tree == &defaults && !defaults.IsValid())
            continue;
        MoveChildren(*tree, descriptions, named("ProcessCodeDescription"));
    }

    const std::string subType = FourCCToString(component.componentSubType);
    DeleteChildren(subComponents, [&](const CXMLElement* sub) {
        return !AnyChild(sub, "SubComponentType",
                         [&](const CXMLElement* t) { return MatchesSubType(t->text, subType); });
    });
    for (CXMLElement* sub : subComponents.children)
        MoveChildren(*sub, matches, named("ProcessCodeMatch"));

    const std::string type = FourCCToString(component.componentType);
    DeleteChildren(matches, [&](const CXMLElement* match) {
        return !AnyChild(match, "thng", [&](const CXMLElement* t) { return t->text == type; });
    });
    for (CXMLElement* match : matches.children)
        MoveChildren(*match, templateIDs, named("ProcessCodeDescriptionID"));
    MoveChildren(templateIDs, finalIDs, [](const CXMLElement* id) {
        const char* final = AttributeValue(id, "final");
        return final != nullptr && std::string_view(final) == "yes";
    });

    MoveDescriptionsByID(templateIDs, descriptions, templates);
    MoveDescriptionsByID(finalIDs, descriptions, finals);

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

namespace {

// One component-definition tree for the merge: the resource's own tree
// when this call loaded it (the merge may consume it), else a copy, so that
// other holders of the resource never see it change.
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

} // namespace

KTErr CProcessCodeManager::ReadProcCodeDescForComponent(const QuorlComponentInfo& component,
                                                        KTResContainerType* container) {
    DefinitionTree defaults;
    if (KTErr err = defaults.Load(container, kDefaultComponentDefinitionsID))
        return err;
    FilterOS(defaults.Tree());
    DefinitionTree own;
    if (KTErr err = own.Load(container, kOwnComponentDefinitionsID))
        return err;
    FilterOS(own.Tree());
    return ReadProcCodeDescForComponentFromXMLTrees(component, defaults.Tree(), own.Tree());
}

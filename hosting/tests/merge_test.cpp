#include "hosting/ComponentInfo.h"
#include "hosting/ProcessCodeManager.h"

#include "HostingFixture.h"
#include "HostingText.h"

#include "foundation/ResConverters.h"

#include <gmock/gmock.h>

using kvXML::CXMLElement;
using ::testing::ElementsAre;

namespace {

QuorlComponentInfo Component(const char (&type)[5], const char (&subType)[5]) {
    QuorlComponentInfo c;
    c.componentType = KV_FOURCC(type);
    c.componentSubType = KV_FOURCC(subType);
    return c;
}

// The worked example's one finished description.
void ExpectWorkedExample(const CProcCodeDesc& desc, int16_t resID) {
    CProcCodeDesc d = desc;
    EXPECT_EQ(d.ProcessorFamily(), eProcessorFamilyx86);
    EXPECT_THAT(d.CyclesList(), ElementsAre(0));
    EXPECT_EQ(d.ResType_().Get(), KV_FOURCC("????"));
    EXPECT_EQ(d.ResID_(), resID);
    EXPECT_STREQ(d.GetProcessFuncName(), "PEQSproc");
    EXPECT_EQ(d.InternalX(), 13u);
    EXPECT_EQ(d.InternalY(), 2u);
    EXPECT_EQ(d.TotalInputs(), 2u);
    EXPECT_EQ(d.SideChainInputs(), 0u);
    EXPECT_EQ(d.Outputs(), 2u);
    EXPECT_EQ(d.GetMaxSampleRate(), 192000u);
    EXPECT_FALSE(d.HasMIDIInput());
    ASSERT_EQ(d.ExternBuffDescs().size(), 1u);
    const CProcCodeDesc::SExternBuffDesc& b = d.ExternBuffDescs()[0];
    EXPECT_EQ(b.memSpace.Get(), KV_FOURCC("XMEM"));
    EXPECT_EQ(b.theSize, 0);
    EXPECT_EQ(b.accessCount, 0);
    EXPECT_EQ(b.flags, 1) << "cyclic";
}

using ComponentMerge = HostingResources;

TEST_F(ComponentMerge, WorkedExampleFromThePackedPlugin) {
    for (const QuorlComponentInfo& c : {Component("raPI", "PQ5S"), Component("vxPI", "PQ5S")}) {
        SCOPED_TRACE(FourCCToString(c.componentType));
        CProcessCodeManager manager;
        ASSERT_EQ(manager.ReadProcCodeDescForComponent(c, plugin), eNoErr);
        ASSERT_EQ(manager.ProcCodeDescs().size(), 1u);
        ExpectWorkedExample(manager.ProcCodeDescs()[0], 4400);
    }
    bool loaded = true;
    RMIsResourceLoaded(plugin, kComponentDefinitionsType, kOwnComponentDefinitionsID, loaded);
    EXPECT_FALSE(loaded) << "both resources are released";
}

TEST_F(ComponentMerge, TreesOthersHoldAreNotChanged) {
    CXMLElement* root = nullptr;
    KTResourceType* held = nullptr;
    ASSERT_EQ(
        GetXMLResource(plugin, kComponentDefinitionsType, kOwnComponentDefinitionsID, root, held),
        eNoErr);
    const std::string before = TextOf(*root);
    CProcessCodeManager manager;
    ASSERT_EQ(manager.ReadProcCodeDescForComponent(Component("raPI", "PQ5S"), plugin), eNoErr);
    EXPECT_EQ(manager.ProcCodeDescs().size(), 1u);
    EXPECT_EQ(TextOf(*root), before);
    RMReleaseResource(held);
}

TEST_F(ComponentMerge, MissingResourcesEndTheReadWithTheirStatus) {
    CProcessCodeManager manager;
    // The host carries the defaults but no component definitions of its own.
    EXPECT_EQ(manager.ReadProcCodeDescForComponent(Component("raPI", "PQ5S"), host),
              eRMResNotFound);
    EXPECT_TRUE(manager.ProcCodeDescs().empty());
}

// Merges two documents given as text for a component.
std::vector<CProcCodeDesc> Merge(const std::string& defaults, const std::string& own,
                                 const QuorlComponentInfo& component, int16_t resBase = 0) {
    const auto d = ParseXML(defaults);
    const auto o = ParseXML(own);
    CProcessCodeManager::FilterOS(*d);
    CProcessCodeManager::FilterOS(*o);
    CProcessCodeManager manager;
    manager.SetResBase(resBase);
    EXPECT_EQ(manager.ReadProcCodeDescForComponentFromXMLTrees(component, *d, *o), eNoErr);
    return manager.ProcCodeDescs();
}

const std::string kNoDefaults = "<ComponentDefinitions/>";

std::string SubComponent(const std::string& subType, const std::string& ids,
                         const std::string& thng = "raPI") {
    return "<SubComponent><SubComponentType>" + subType + "</SubComponentType>" +
           "<ProcessCodeMatch><thng>" + thng + "</thng>" + ids +
           "</ProcessCodeMatch></SubComponent>";
}

TEST(ComponentMergeTrees, SelectionBySubTypeTypeAndFinalIDs) {
    const std::string descs =
        "<ProcessCodeDescription ID=\"A\"><resID>1</resID></ProcessCodeDescription>"
        "<ProcessCodeDescription ID=\"F\"><States>3</States></ProcessCodeDescription>";
    const std::string ids = "<ProcessCodeDescriptionID>A</ProcessCodeDescriptionID>"
                            "<ProcessCodeDescriptionID final=\"yes\">F</ProcessCodeDescriptionID>";
    struct Case {
        const char* subType;
        const char* component;
        const char* type;
        size_t found;
    };
    const Case cases[] = {
        {"PQ?S", "PQ5S", "raPI", 1}, {"PQ?S", "PQ9S", "raPI", 1}, {"PQ?S", "PQ5L", "raPI", 0},
        {"PQ5S", "P??S", "raPI", 1}, {"PQ5", "PQ5 ", "raPI", 0},  {"PQ5S", "PQ5S", "ofPI", 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.subType) + " / " + c.component + " / " + c.type);
        QuorlComponentInfo component;
        component.componentSubType = kvhosting::FourCCFromText(c.component);
        component.componentType = kvhosting::FourCCFromText(c.type);
        const auto result = Merge(kNoDefaults,
                                  "<ComponentDefinitions>" + SubComponent(c.subType, ids) + descs +
                                      "</ComponentDefinitions>",
                                  component);
        ASSERT_EQ(result.size(), c.found);
        if (c.found == 1) {
            CProcCodeDesc d = result[0];
            EXPECT_EQ(d.ResID_(), 1);
            EXPECT_EQ(d.InternalX(), 3u);
        }
    }

    // IDs without final="yes", or a final ID that names nothing.
    for (const std::string& noFinal :
         {std::string("<ProcessCodeDescriptionID final=\"no\">F</ProcessCodeDescriptionID>"),
          std::string(
              "<ProcessCodeDescriptionID>A</ProcessCodeDescriptionID>"
              "<ProcessCodeDescriptionID final=\"yes\">Missing</ProcessCodeDescriptionID>")}) {
        EXPECT_TRUE(Merge(kNoDefaults,
                          "<ComponentDefinitions>" + SubComponent("PQ5S", noFinal) + descs +
                              "</ComponentDefinitions>",
                          Component("raPI", "PQ5S"))
                        .empty());
    }
}

TEST(ComponentMergeTrees, TemplatesDefaultsFirstEachReadOnce) {
    const std::string defaults =
        "<ComponentDefinitions><ProcessCodeDescription ID=\"T\"><States>1</States><Coefs>1</Coefs>"
        "<ExternalReq><theSize>5</theSize></ExternalReq></ProcessCodeDescription>"
        "</ComponentDefinitions>";
    const std::string own =
        "<ComponentDefinitions>" +
        SubComponent("PQ5S",
                     "<ProcessCodeDescriptionID>T</ProcessCodeDescriptionID>"
                     "<ProcessCodeDescriptionID>U</ProcessCodeDescriptionID>"
                     "<ProcessCodeDescriptionID>T</ProcessCodeDescriptionID>"
                     "<ProcessCodeDescriptionID final=\"yes\">F</ProcessCodeDescriptionID>") +
        "<ProcessCodeDescription ID=\"T\"><States>2</States></ProcessCodeDescription>"
        "<ProcessCodeDescription ID=\"U\"><ExternalReq><theSize>6</theSize></ExternalReq>"
        "</ProcessCodeDescription>"
        "<ProcessCodeDescription ID=\"F\"><ExternalReq><theSize>7</theSize></ExternalReq>"
        "</ProcessCodeDescription></ComponentDefinitions>";
    const auto result = Merge(defaults, own, Component("raPI", "PQ5S"));
    ASSERT_EQ(result.size(), 1u);
    CProcCodeDesc d = result[0];
    EXPECT_EQ(d.InternalX(), 2u) << "the plug-in's field overrides the default's";
    EXPECT_EQ(d.InternalY(), 1u);
    ASSERT_EQ(d.ExternBuffDescs().size(), 1u) << "each read's buffers replace the earlier ones";
    EXPECT_EQ(d.ExternBuffDescs()[0].theSize, 7);
}

TEST(ComponentMergeTrees, ResourceBaseAndOperatingSystemFilter) {
    const std::string own =
        "<ComponentDefinitions>" +
        SubComponent("PQ5S",
                     "<ProcessCodeDescriptionID>T</ProcessCodeDescriptionID>"
                     "<ProcessCodeDescriptionID final=\"yes\">F</ProcessCodeDescriptionID>"
                     "<ProcessCodeDescriptionID final=\"yes\">G</ProcessCodeDescriptionID>") +
        "<ProcessCodeDescription ID=\"T\"><resID>ResBase</resID>"
        "<IdleCodeResID>-ResBase</IdleCodeResID></ProcessCodeDescription>"
        "<ProcessCodeDescription ID=\"F\"><IdleCodeResID> -ResBase </IdleCodeResID>"
        "<Nested><resID>-ResBase</resID></Nested></ProcessCodeDescription>"
        "<ProcessCodeDescription ID=\"G\"><resID> -ResBase </resID></ProcessCodeDescription>"
        "</ComponentDefinitions>";
    const auto result = Merge(kNoDefaults, own, Component("raPI", "PQ5S"), 7000);
    ASSERT_EQ(result.size(), 2u);
    CProcCodeDesc f = result[0], g = result[1];
    EXPECT_EQ(f.ResID_(), 7000);
    EXPECT_EQ(f.IdleResID_(), 0) << "only resID elements are substituted";
    EXPECT_EQ(g.ResID_(), -7000) << "texts arrive trimmed";

    const auto filtered =
        ParseXML("<r><a os=\"Win\"><b os=\"Mac\"/><c><d os=\"Mac\"/><e os=\"win\"/><f/></c></a>"
                 "<g os=\"Linux\"/><h/></r>");
    CProcessCodeManager::FilterOS(*filtered);
    EXPECT_EQ(TextOf(*filtered), TextOf(*ParseXML("<r><a os=\"Win\"><c><f/></c></a><h/></r>")));

    const std::string macOnly = "<ComponentDefinitions><SubComponent os=\"Mac\">"
                                "<SubComponentType>PQ5S</SubComponentType><ProcessCodeMatch>"
                                "<thng>raPI</thng><ProcessCodeDescriptionID final=\"yes\">F"
                                "</ProcessCodeDescriptionID></ProcessCodeMatch></SubComponent>"
                                "<ProcessCodeDescription ID=\"F\"/></ComponentDefinitions>";
    EXPECT_TRUE(Merge(kNoDefaults, macOnly, Component("raPI", "PQ5S")).empty());
}

// A scan loads a file's definitions once and reads every component from
// them: each component finds what a merge of fresh trees finds, however many
// were read before it (nothing is used up, no text substituted for good).
TEST(ComponentMergeTrees, OneLoadServesEveryComponentAlike) {
    const std::string defaults =
        "<ComponentDefinitions><ProcessCodeDescription ID=\"T\">"
        "<States>1</States></ProcessCodeDescription></ComponentDefinitions>";
    const std::string own =
        "<ComponentDefinitions>" +
        SubComponent("PQ5S",
                     "<ProcessCodeDescriptionID>T</ProcessCodeDescriptionID>"
                     "<ProcessCodeDescriptionID final=\"yes\">F</ProcessCodeDescriptionID>") +
        SubComponent("PQ?S",
                     "<ProcessCodeDescriptionID>U</ProcessCodeDescriptionID>"
                     "<ProcessCodeDescriptionID final=\"yes\">G</ProcessCodeDescriptionID>") +
        SubComponent("PQ7S",
                     "<ProcessCodeDescriptionID final=\"yes\">F</ProcessCodeDescriptionID>") +
        "<ProcessCodeDescription ID=\"U\"><Coefs>4</Coefs></ProcessCodeDescription>"
        "<ProcessCodeDescription ID=\"F\"><resID>ResBase</resID></ProcessCodeDescription>"
        "<ProcessCodeDescription ID=\"G\"><resID>-ResBase</resID><States>5</States>"
        "</ProcessCodeDescription></ComponentDefinitions>";
    const QuorlComponentInfo components[] = {
        Component("raPI", "PQ5S"), Component("raPI", "PQ7S"), Component("raPI", "PQ9S"),
        Component("ofPI", "PQ5S"), Component("raPI", "P??S"), Component("raPI", "XQ5S"),
    };
    const auto d = ParseXML(defaults);
    const auto o = ParseXML(own);
    CComponentDefinitions definitions;
    definitions.Use(*d, *o);
    size_t found = 0;
    for (int round = 0; round < 2; ++round) {
        for (const QuorlComponentInfo& component : components) {
            SCOPED_TRACE(FourCCToString(component.componentSubType) + " / " +
                         FourCCToString(component.componentType));
            CProcessCodeManager manager;
            manager.SetResBase(7000);
            EXPECT_EQ(manager.ReadProcCodeDescForComponent(component, definitions), eNoErr);
            const auto fresh = Merge(defaults, own, component, 7000);
            EXPECT_TRUE(manager.ProcCodeDescs() == fresh);
            found += fresh.size();
        }
    }
    EXPECT_EQ(found, 2u * 7u) << "PQ5S: F, G; PQ7S: G, F; PQ9S: G; P??S: F, G";
}

TEST(ComponentMergeTrees, AnInvalidComponentTreeGivesNothing) {
    CXMLElement defaults, own; // never filled: not valid
    CProcessCodeManager manager;
    EXPECT_EQ(
        manager.ReadProcCodeDescForComponentFromXMLTrees(Component("raPI", "PQ5S"), defaults, own),
        eNoErr);
    EXPECT_TRUE(manager.ProcCodeDescs().empty());
}

} // namespace

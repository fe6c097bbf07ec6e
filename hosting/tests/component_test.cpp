#include "hosting/ComponentInfo.h"
#include "hosting/PluginInfo.h"
#include "hosting/PluginLoadSpec.h"
#include "hosting/ShellPreferences.h"

#include "HostingFixture.h"
#include "HostingText.h"

#include "foundation/ResConverters.h"
#include "testsupport/CompiledLocale.h"
#include "testsupport/ScopedEnv.h"

#include <gmock/gmock.h>

#include <clocale>
#include <cmath>
#include <filesystem>
#include <fstream>

using kvXML::CXMLElement;
using ::testing::ElementsAre;

namespace {

QuorlComponentInfo Named(const char* name, const char (&type)[5] = "raPI") {
    QuorlComponentInfo c;
    c.shortName = name;
    c.componentType = KV_FOURCC(type);
    return c;
}

std::vector<std::string> Names(const KCQuorlComponentInfoList& list) {
    std::vector<std::string> names;
    for (const QuorlComponentInfo& c : list.components)
        names.push_back(c.shortName.c_str());
    return names;
}

// Component information

TEST(ComponentInfo, RecordsRoundTripThroughXML) {
    QuorlComponentInfo plain;
    CXMLElement element("QuorlComponentInfo", "");
    Write_QuorlComponentInfo_ToXML(plain, &element);
    EXPECT_EQ(element.children.size(), 8u);
    EXPECT_THAT(ChildTexts(element),
                ElementsAre("", "????", "????", "ksKV", "", "0.000000", "0.000000", "1"));
    QuorlComponentInfo reread;
    reread.ePluginInstanceType = 3;
    Read_QuorlComponentInfo_FromXML(ParseXML(TextOf(element)).get(), reread);
    EXPECT_TRUE(reread == plain);

    QuorlComponentInfo full;
    full.Path() = kvFM::KCStPath("/opt/quorl/DulmAudioDSP.so");
    full.componentType = KV_FOURCC("raPI");
    full.componentSubType = KV_FOURCC("PQ5S");
    full.shortName = "DulmAudioDSP";
    full.pluginInternalVersion = 9.3f;
    full.pluginAPIVersion = 3.9f;
    full.ePluginInstanceType = 0;
    CProcCodeDesc desc;
    desc.ProcessorFamily() = eProcessorFamilyx86;
    desc.CyclesList() = {0};
    desc.SetProcessFuncName("PEQSproc");
    full.SetProcCodeDesc(&desc);
    CXMLElement fullElement("QuorlComponentInfo", "");
    Write_QuorlComponentInfo_ToXML(full, &fullElement);
    EXPECT_EQ(fullElement.children.size(), 9u);
    QuorlComponentInfo fullReread;
    Read_QuorlComponentInfo_FromXML(ParseXML(TextOf(fullElement)).get(), fullReread);
    EXPECT_TRUE(fullReread == full);

    QuorlComponentInfo copy(full), assigned;
    EXPECT_TRUE(copy == full);
    EXPECT_NE(copy.compProcCodeDesc.get(), full.compProcCodeDesc.get());
    assigned = full;
    assigned = assigned;
    EXPECT_TRUE(assigned == full);
    assigned = plain;
    EXPECT_EQ(assigned.compProcCodeDesc, nullptr);
    copy.compProcCodeDesc->InternalX() = 1;
    EXPECT_FALSE(copy == full);
}

TEST(ComponentInfo, ShortCodeTextsAndQuotes) {
    struct Case {
        const char* text;
        uint32_t code;
    };
    for (const Case& c : {Case{"'PQ5S'", KV_FOURCC("PQ5S")}, Case{"PQ5S", KV_FOURCC("PQ5S")},
                          Case{"'PQ5S", KV_FOURCC("PQ5S")}, Case{"PQ", KV_FOURCC("PQ  ")},
                          Case{"'", KV_FOURCC("    ")}, Case{"PQ5SX", KV_FOURCC("PQ5S")}}) {
        SCOPED_TRACE(c.text);
        CXMLElement element("c", "");
        element.push_back(new CXMLElement("componentSubType", c.text));
        QuorlComponentInfo info;
        Read_QuorlComponentInfo_FromXML(&element, info);
        EXPECT_EQ(info.componentSubType.Get(), c.code);
    }
}

TEST(ComponentInfo, ListOperations) {
    KCQuorlComponentInfoList list;
    for (const char* name : {"Zeta", "EQ", "Beta", "Alfa", "Q1"})
        list.PushBack(Named(name));
    list.components[1].componentSubType = KV_FOURCC("PQ5S");
    list.components[4].componentType = KV_FOURCC("vxPI");
    list.SortByName();
    EXPECT_THAT(Names(list), ElementsAre("EQ", "Q1", "Alfa", "Beta", "Zeta"));

    QuorlComponentInfo found = Named("untouched");
    EXPECT_EQ(list.Find(KV_FOURCC("raPI"), KV_FOURCC("PQ9S"), found), ePluginSubComponentNotFound);
    EXPECT_EQ(found.shortName, "untouched");
    EXPECT_EQ(list.Find(KV_FOURCC("raPI"), KV_FOURCC("PQ5S"), found), eNoErr);
    EXPECT_EQ(found.shortName, "EQ");
    EXPECT_EQ(KCQuorlComponentInfoList().Find(KV_FOURCC("raPI"), KV_FOURCC("PQ5S"), found),
              ePluginSubComponentNotFound);
    EXPECT_EQ(list.IndexOfSubType(KV_FOURCC("PQ5S")), 0);
    EXPECT_EQ(list.IndexOfSubType(KV_FOURCC("none")), -1);

    EXPECT_EQ(list.RemoveType(KV_FOURCC("ofPI")), 0u);
    EXPECT_EQ(list.RemoveType(KV_FOURCC("vxPI")), 1u);
    EXPECT_THAT(Names(list), ElementsAre("EQ", "Alfa", "Beta", "Zeta"));

    CXMLElement element("Components", "");
    list.WriteToXML(&element);
    element.push_back(new CXMLElement("Other", ""));
    KCQuorlComponentInfoList reread;
    reread.PushBack(Named("Kept"));
    reread.ReadFromXML(ParseXML(TextOf(element)).get());
    EXPECT_THAT(Names(reread), ElementsAre("Kept", "EQ", "Alfa", "Beta", "Zeta"));
}

TEST(ComponentInfo, ChannelLayoutSuffixes) {
    struct Case {
        long in;
        std::string name;
        long out;
        std::string result;
    };
    const std::string long56(56, 'n'), long60(60, 'n');
    const Case cases[] = {
        {1, "PEQ", 1, "PEQ Mono"},
        {2, "PEQ", 2, "PEQ Stereo"},
        {1, "PEQ", 2, "PEQ Mono/Stereo"},
        {5, "PEQ", 6, "PEQ 5.0/5.1"},
        {3, "PEQ", 3, "PEQ ?"},
        {2, long56, 2, long56 + " [S]"},
        {1, long56, 2, long56 + " [M/S]"},
        {2, long60, 2, long60},
    };
    for (const Case& c : cases)
        EXPECT_EQ(AppendChannelLayout(c.in, c.name, c.out), c.result) << c.name;
}

// Plug-in information and component lists from the packed files

using PluginResources = HostingResources;

TEST_F(PluginResources, VersionsAndComponentsOfThePlugin) {
    double api = -1, internal = -1;
    EXPECT_EQ(ReadPluginVersions(plugin, api, internal), eNoErr);
    EXPECT_EQ(api, 3.9);
    EXPECT_EQ(internal, 9.3);
    EXPECT_EQ(ReadPluginVersions(host, api, internal), eRMResNotFound);
    EXPECT_EQ(api, 0.0);

    std::vector<QuorlComponentInfo> components(1);
    ASSERT_EQ(ReadSubComponentList(plugin, components), eNoErr);
    ASSERT_EQ(components.size(), 3u) << "appended";
    const QuorlComponentInfo& raPI = components[1];
    EXPECT_EQ(raPI.componentType.Get(), KV_FOURCC("raPI"));
    EXPECT_EQ(components[2].componentType.Get(), KV_FOURCC("vxPI"));
    EXPECT_EQ(raPI.componentSubType.Get(), KV_FOURCC("PQ5S"));
    EXPECT_EQ(raPI.shortName, "DulmAudioDSP");
    EXPECT_EQ(raPI.pluginInternalVersion, 9.3f);
    EXPECT_EQ(raPI.pluginAPIVersion, 3.9f);
    EXPECT_EQ(raPI.componentManufacturer.Get(), KV_FOURCC("ksKV"));
    EXPECT_EQ(raPI.ePluginInstanceType, 1);
    EXPECT_EQ(raPI.compProcCodeDesc, nullptr);
    EXPECT_TRUE(raPI.Path() == kvFM::KCStPath(KV_HOSTING_FIXTURE_PLUGIN));
    QuorlComponentInfo onlyType = raPI;
    onlyType.componentType = KV_FOURCC("vxPI");
    EXPECT_TRUE(onlyType == components[2]) << "the two differ only in type";

    EXPECT_EQ(ReadSubComponentList(host, components), eRMResNotFound);
}

TEST_F(PluginResources, EmptyOrMissingResourcesInAContainer) {
    // Resources added in memory to the open host container.
    auto addXML = [this](KCFourCC type, short id, const char* text) {
        KTResourceType* r = nullptr;
        ASSERT_EQ(AddXMLResource(host, type, id, ParseXML(text).release(), r), eNoErr);
    };
    double api = 0, internal = 0;
    addXML(kPluginInfoType, kPluginInfoID, "<PluginInfoDefault/>");
    EXPECT_EQ(ReadPluginVersions(host, api, internal), eXMLTreeEmpty);
}

TEST_F(PluginResources, ComponentListWithoutNamesAndWithBlanks) {
    auto addXML = [this](KCFourCC type, short id, const char* text) {
        KTResourceType* r = nullptr;
        ASSERT_EQ(AddXMLResource(host, type, id, ParseXML(text).release(), r), eNoErr);
    };
    addXML(kPluginInfoType, kPluginInfoID,
           "<PluginInfoDefault><Versions><APIVersion> 3.9 </APIVersion>"
           "<InternalVersion>\t9.25\n</InternalVersion></Versions></PluginInfoDefault>");
    addXML(kComponentDefinitionsType, kOwnComponentDefinitionsID,
           "<ComponentDefinitions><SubComponent><SubComponentType>'AB'</SubComponentType>"
           "<ProcessCodeMatch><thng>of</thng></ProcessCodeMatch></SubComponent>"
           "</ComponentDefinitions>");
    std::vector<QuorlComponentInfo> components;
    ASSERT_EQ(ReadSubComponentList(host, components), eNoErr);
    ASSERT_EQ(components.size(), 1u);
    EXPECT_TRUE(components[0].shortName.empty());
    EXPECT_EQ(components[0].componentSubType.Get(), KV_FOURCC("AB' "))
        << "only one leading quote is skipped; missing characters are blanks";
    EXPECT_EQ(components[0].componentType.Get(), KV_FOURCC("of  "));
    EXPECT_EQ(components[0].pluginInternalVersion, 9.25f);
}

TEST(PluginInfo, ObjectFormReadsAndWrites) {
    const auto root = ParseXML(
        "<PluginInfoDefault><DynamicPluginLibName OS=\"Win\">A.dll</DynamicPluginLibName>"
        "<DynamicPluginLibName>B.so</DynamicPluginLibName>"
        "<Versions><APIVersion>3.9</APIVersion><InternalVersion>9.3</InternalVersion></Versions>"
        "<CompanyInfo><string ID=\"0\">Quorl</string><string ID=\"3\">three</string>"
        "<string ID=\"7\">seven</string><string ID=\"x\">none</string></CompanyInfo>"
        "</PluginInfoDefault>");
    CQuorlInfo info;
    info.ReadFromXML(root.get());
    EXPECT_THAT(info.libNames, ElementsAre("A.dll", "B.so"));
    EXPECT_EQ(info.apiVersion, 3.9);
    EXPECT_EQ(info.internalVersion, 9.3);
    EXPECT_EQ(info.GetInfoString(0), "Quorl");
    EXPECT_EQ(info.GetInfoString(1), "");
    EXPECT_EQ(info.GetInfoString(3), "three");

    CXMLElement element("PluginInfoDefault", "");
    info.WriteToXML(&element);
    EXPECT_THAT(ChildNames(element), ElementsAre("DynamicPluginLibName", "DynamicPluginLibName",
                                                 "Versions", "CompanyInfo"));
    CQuorlInfo reread;
    reread.ReadFromXML(ParseXML(TextOf(element)).get());
    EXPECT_EQ(reread.libNames, info.libNames);
    EXPECT_EQ(reread.apiVersion, 3.9);
    for (int i = 0; i < 4; ++i)
        EXPECT_EQ(reread.GetInfoString(i), info.GetInfoString(i));
}

// Load specification

using LoadSpecification = HostingResources;

TEST_F(LoadSpecification, HostResourceWindowsAndTypes) {
    KCPluginLoadSpec fresh;
    QuorlComponentInfo component = Named("PEQ");
    component.pluginInternalVersion = 9.3f;
    component.pluginAPIVersion = 3.9f;
    EXPECT_FALSE(fresh.IsComponentLoadable(component));
    fresh.SetAcceptAll(true);
    QuorlComponentInfo anything = Named("x", "pDPI");
    anything.pluginAPIVersion = NAN;
    EXPECT_TRUE(fresh.IsComponentLoadable(anything));

    KCPluginLoadSpec spec;
    ASSERT_EQ(spec.ReadFromResource(host), eNoErr);
    constexpr double tol = 9.999999747378752e-05;
    EXPECT_EQ(spec.GetMinimalVersion(), 9.3 - tol);
    EXPECT_EQ(spec.GetMaximalVersion(), 9.3 + tol);
    EXPECT_EQ(spec.GetMinimalAPIVersion(), 3.9 - tol);
    EXPECT_EQ(spec.GetMaximalAPIVersion(), 3.9 + tol);
    EXPECT_EQ(spec.GetThngs().size(), 5u);

    struct Case {
        const char* what;
        const char* type;
        float version;
        float api;
        bool loadable;
    };
    const Case cases[] = {
        {"host's versions", "raPI", 9.3f, 3.9f, true},
        {"other accepted type", "hbiN", 9.3f, 3.9f, true},
        {"API 3.8", "raPI", 9.3f, 3.8f, false},
        {"version 9.31", "raPI", 9.31f, 3.9f, false},
        {"type not accepted", "pDPI", 9.3f, 3.9f, false},
        {"not a number", "raPI", NAN, 3.9f, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        QuorlComponentInfo info;
        info.componentType = kvhosting::FourCCFromText(c.type);
        info.pluginInternalVersion = c.version;
        info.pluginAPIVersion = c.api;
        EXPECT_EQ(spec.IsComponentLoadable(info), c.loadable);
    }

    // Without the widening the single-precision 9.3 lies above the maximum.
    EXPECT_GT(static_cast<double>(9.3f), 9.3);

    KCPluginLoadSpec unchanged;
    unchanged.AddThng(KV_FOURCC("raPI"));
    EXPECT_NE(unchanged.ReadFromResource(plugin), eNoErr);
    EXPECT_EQ(unchanged.GetThngs().size(), 1u);
    EXPECT_EQ(unchanged.GetMinimalVersion(), 0.0);
}

TEST(LoadSpecificationXML, ThngsWindowsAndWriting) {
    const auto root = ParseXML("<ShellInfo><PluginLoadSpec><Thngs><Thng>raPI</Thng>"
                               "<Thng>'raPI'</Thng><Thng>ofPI</Thng></Thngs>"
                               "<Version><Minimal>1.5</Minimal><Maximal>2</Maximal></Version>"
                               "<APIVersion><Minimal>3</Minimal></APIVersion>"
                               "</PluginLoadSpec></ShellInfo>");
    KCPluginLoadSpec spec;
    spec.ReadFromXML(root.get());
    spec.ReadFromXML(root.get());
    EXPECT_THAT(spec.GetThngs(),
                ElementsAre(KCFourCC(KV_FOURCC("raPI")), KCFourCC(KV_FOURCC("ofPI"))));
    EXPECT_EQ(spec.GetMinimalVersion(), 1.5) << "a bare read widens only the API window";
    EXPECT_EQ(spec.GetMinimalAPIVersion(), 3 - KCPluginLoadSpec::kTolerance)
        << "recomputed from the text each time";
    EXPECT_EQ(spec.GetMaximalAPIVersion(), 0.0);

    CXMLElement element("PluginLoadSpec", "");
    spec.WriteToXML(&element);
    EXPECT_THAT(ChildNames(element), ElementsAre("Version", "APIVersion", "Thngs"));
    EXPECT_EQ(element.children[0]->children[0]->text, "1.500000");
    EXPECT_THAT(ChildTexts(*element.children[2]), ElementsAre("raPI", "ofPI"));

    spec.AddThng(KV_FOURCC("vxPI"));
    spec.RemoveThng(KV_FOURCC("raPI"));
    spec.RemoveThng(KV_FOURCC("none"));
    EXPECT_THAT(spec.GetThngs(),
                ElementsAre(KCFourCC(KV_FOURCC("ofPI")), KCFourCC(KV_FOURCC("vxPI"))));
}

// Numbers read from text ignore a comma-decimal process locale.
TEST_F(LoadSpecification, NumbersReadInTheCLocale) {
    CompiledLocale compiled;
    std::string why;
    if (!SetCommaDecimalLocale(compiled, why))
        GTEST_SKIP() << "no comma-decimal locale: " << why;
    struct Restore {
        ~Restore() { std::setlocale(LC_NUMERIC, "C"); }
    } restore;

    double api = 0, internal = 0;
    EXPECT_EQ(ReadPluginVersions(plugin, api, internal), eNoErr);
    EXPECT_EQ(internal, 9.3);
    KCPluginLoadSpec spec;
    ASSERT_EQ(spec.ReadFromResource(host), eNoErr);
    EXPECT_EQ(spec.GetMaximalVersion(), 9.3 + KCPluginLoadSpec::kTolerance);
    CXMLElement element("c", "");
    element.push_back(new CXMLElement("pluginInternalVersion", "9.3"));
    QuorlComponentInfo info;
    Read_QuorlComponentInfo_FromXML(&element, info);
    EXPECT_EQ(info.pluginInternalVersion, 9.3f);
}

// Shell preferences

class ShellPreferencesFile : public ::testing::Test {
protected:
    std::string Folder() const { return config + "/Quorl Audio/Preferences"; }

    std::string config = [] {
        std::string pattern = std::filesystem::temp_directory_path().string() + "/kvprefsXXXXXX";
        return std::string(mkdtemp(pattern.data()));
    }();
    ScopedEnv env{"XDG_CONFIG_HOME", config};

    ~ShellPreferencesFile() override { std::filesystem::remove_all(config); }
};

TEST_F(ShellPreferencesFile, FolderLocationAndManagerAddressRoundTrip) {
    KCShellPreferences prefs("Rigwell_Preferences_5.9.7a20");
    EXPECT_EQ(prefs.GetFilePath().GetPathString(), Folder() + "/Rigwell_Preferences_5.9.7a20");
    EXPECT_EQ(prefs.Read(), eFMFileNotFound);
    std::string location = "unchanged";
    EXPECT_FALSE(prefs.GetPluginFolderLocation(location));

    prefs.SetPluginFolderLocation("/first");
    prefs.SetPluginFolderLocation("/opt/Quorl Plugins");
    prefs.SetPluginManagerAddress("10.0.0.2", 65535);
    ASSERT_EQ(prefs.Write(), eNoErr);

    KCShellPreferences reread("Rigwell_Preferences_5.9.7a20");
    ASSERT_EQ(reread.Read(), eNoErr);
    EXPECT_EQ(reread.GetXML().name, "ShellPrefs");
    EXPECT_THAT(ChildNames(reread.GetXML()),
                ElementsAre("PluginFolderLocation", "PluginManagerAddress"));
    EXPECT_TRUE(reread.GetPluginFolderLocation(location));
    EXPECT_EQ(location, "/opt/Quorl Plugins");
    std::string ip;
    uint16_t port = 0;
    EXPECT_TRUE(reread.GetPluginManagerAddress(ip, port));
    EXPECT_EQ(ip, "10.0.0.2");
    EXPECT_EQ(port, 65535);
}

TEST_F(ShellPreferencesFile, EmptyLocationsAndBadPortsReadAsAbsent) {
    std::filesystem::create_directories(Folder());
    struct Case {
        const char* xml;
        bool location;
        bool address;
    };
    const Case cases[] = {
        {"<ShellPrefs><PluginFolderLocation/></ShellPrefs>", false, false},
        {"<ShellPrefs><PluginManagerAddress IP=\"h\" Port=\"70000\"/></ShellPrefs>", false, false},
        {"<ShellPrefs><PluginManagerAddress IP=\"h\" Port=\"port\"/></ShellPrefs>", false, false},
        {"<ShellPrefs><PluginManagerAddress IP=\"h\" Port=\"-1\"/></ShellPrefs>", false, false},
        {"<ShellPrefs><PluginManagerAddress Port=\"80\"/></ShellPrefs>", false, false},
        {"<ShellPrefs><PluginManagerAddress IP=\"h\" Port=\" 80 \"/></ShellPrefs>", false, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.xml);
        std::ofstream(Folder() + "/prefs") << c.xml;
        KCShellPreferences prefs("prefs");
        ASSERT_EQ(prefs.Read(), eNoErr);
        std::string location;
        EXPECT_EQ(prefs.GetPluginFolderLocation(location), c.location);
        std::string ip;
        uint16_t port = 1234;
        EXPECT_EQ(prefs.GetPluginManagerAddress(ip, port), c.address);
        EXPECT_EQ(port, c.address ? 80 : 1234) << "a refused port is left alone";
    }

    std::ofstream(Folder() + "/broken") << "<ShellPrefs><unclosed>";
    KCShellPreferences broken("broken");
    EXPECT_NE(broken.Read(), eNoErr);
    EXPECT_EQ(broken.GetXML().name, "ShellPrefs");
}

} // namespace

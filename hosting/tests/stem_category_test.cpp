#include "hosting/PlugInCategory.h"
#include "hosting/StemFormats.h"

#include "HostingFixture.h"

#include <gmock/gmock.h>

using kv::PlugInCategory_type;
using ::testing::ElementsAre;

namespace {

TEST(StemFormats, ChannelCountsAndMapsByCode) {
    struct Case {
        unsigned code;
        long status;
        long channels;
        std::vector<long> map;
    };
    const Case cases[] = {
        {99, -1, 0, {}},
        {128, -1, 0, {}},
        {100, 0, 1, {0}},
        {101, 0, 2, {0, 1}},
        {127, 0, 2, {-1, -1}},
        {121, 0, 5, {0, 4, 1, 2, 3}},
        {122, 0, 6, {0, 4, 1, 2, 3, 5}},
        {111, 0, 5, {0, 1, 2, 3, 4}},
        {110, 0, 8, {-1, -1, -1, -1, -1, -1, -1, -1}},
        {126, 0, 3, {-1, -1, -1}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.code);
        long count = 77;
        EXPECT_EQ(StemFormatChannelCount(count, c.code), c.status);
        EXPECT_EQ(count, c.channels);
        std::unique_ptr<KCStemChannelMap> map(CreateStemChannelMap(c.code));
        if (c.status != 0) {
            EXPECT_EQ(map, nullptr);
            continue;
        }
        ASSERT_NE(map, nullptr);
        std::vector<long> entries;
        for (long i = 0; i < map->GetChannelCount(); ++i)
            entries.push_back(map->GetChannel(i));
        EXPECT_EQ(entries, c.map);
        EXPECT_EQ(map->GetChannel(map->GetChannelCount()), -1);
    }
}

TEST(StemFormats, SetChannelOutsideTheMapWritesNothing) {
    KCStemChannelMap map(2);
    map.SetChannel(1, 7);
    map.SetChannel(2, 9);
    map.SetChannel(-1, 9);
    EXPECT_EQ(map.GetChannel(0), -1);
    EXPECT_EQ(map.GetChannel(1), 7);
    EXPECT_EQ(map.GetChannel(2), -1);
}

TEST(PlugInCategories, NamesLookupsAndIteration) {
    std::string eq = "eq", EQ = "EQ", reverb = "Reverb";
    EXPECT_EQ(PlugInCategory_type::GetCategoryFromName(eq).Value(), 15);
    EXPECT_EQ(PlugInCategory_type::GetCategoryFromName(EQ).Value(), 1);
    EXPECT_EQ(PlugInCategory_type::GetCategoryFromName(reverb).Value(), 4);

    PlugInCategory_type sixteen(16), effect(14), none(0);
    EXPECT_EQ(PlugInCategory_type::GetNameFromCategory(sixteen), "");
    EXPECT_EQ(PlugInCategory_type::GetNameFromCategory(effect), "Effect");
    EXPECT_EQ(PlugInCategory_type::GetNameFromCategory(none), "None");

    PlugInCategory_type c(15);
    EXPECT_EQ((++c).Value(), 16);
    EXPECT_EQ((c++).Value(), 17) << "the postfix form yields the advanced value too";
    EXPECT_EQ(c.Value(), 17);

    int visited = 0;
    for (PlugInCategory_type i = PlugInCategory_type::Begin(); !(i == PlugInCategory_type::End());
         ++i)
        ++visited;
    EXPECT_EQ(visited, 15);

    const PlugInCategory_type array[] = {PlugInCategory_type::ePlugInCategory_EQ,
                                         PlugInCategory_type::ePlugInCategory_Reverb,
                                         PlugInCategory_type::ePlugInCategory_Delay};
    std::vector<PlugInCategory_type> out{PlugInCategory_type(3)};
    PlugInCategory_type::Convert(array, 3, out);
    EXPECT_THAT(
        out, ElementsAre(PlugInCategory_type(5), PlugInCategory_type(4), PlugInCategory_type(1)));
}

TEST(PlugInCategories, ReadFromHostFlagsByWildcardAndOwnType) {
    const auto root = ParseXML(R"(<DAEFlags>
        <SubComponent Type="????"><DAECategory>ePlugInCategory_EQ</DAECategory></SubComponent>
        <SubComponent Type="PQ5S"><DAECategory>ePlugInCategory_Dynamics</DAECategory>
            <DAECategory>NotACategory</DAECategory></SubComponent>
        <SubComponent Type="PQ9S"/>
        <SubComponent><DAECategory>ePlugInCategory_Delay</DAECategory></SubComponent>
        <Other Type="????"><DAECategory>ePlugInCategory_Dither</DAECategory></Other>
    </DAEFlags>)");
    std::vector<PlugInCategory_type> out{PlugInCategory_type(9)};
    PlugInCategory_type::ReadCategoriesFromXML(*root, KCFourCC(KV_FOURCC("PQ5S")), out);
    EXPECT_THAT(
        out, ElementsAre(PlugInCategory_type(1), PlugInCategory_type(2), PlugInCategory_type(15)));
    PlugInCategory_type::ReadCategoriesFromXML(*root, KCFourCC(KV_FOURCC("PQ9S")), out);
    EXPECT_THAT(out, ElementsAre(PlugInCategory_type(1)));
}

} // namespace

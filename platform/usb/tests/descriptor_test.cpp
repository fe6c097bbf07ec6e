#include "usb/LibusbBackend.h"
#include "usb/SocketBackend.h"

#include <gtest/gtest.h>

#include <string>

using namespace kvusb;

namespace {

void Put16(std::vector<uint8_t>& b, uint16_t v) {
    b.push_back(uint8_t(v));
    b.push_back(uint8_t(v >> 8));
}
void Put32(std::vector<uint8_t>& b, uint32_t v) {
    for (int i = 0; i < 4; ++i)
        b.push_back(uint8_t(v >> (8 * i)));
}
std::vector<uint8_t> Utf16(const std::string& s) {
    std::vector<uint8_t> b;
    for (char c : s)
        Put16(b, uint8_t(c));
    Put16(b, 0);
    return b;
}

// A Microsoft OS 1.0 extended-properties descriptor with the given
// properties {type, name, text}.
std::vector<uint8_t>
ExtendedProperties(const std::vector<std::tuple<uint32_t, std::string, std::string>>& props) {
    std::vector<uint8_t> body;
    for (const auto& [type, name, text] : props) {
        std::vector<uint8_t> n = Utf16(name), v = Utf16(text);
        if (type == 7)
            Put16(v, 0); // REG_MULTI_SZ ends with an empty string
        Put32(body, uint32_t(14 + n.size() + v.size()));
        Put32(body, type);
        Put16(body, uint16_t(n.size()));
        body.insert(body.end(), n.begin(), n.end());
        Put32(body, uint32_t(v.size()));
        body.insert(body.end(), v.begin(), v.end());
    }
    std::vector<uint8_t> d;
    Put32(d, uint32_t(10 + body.size()));
    Put16(d, 0x0100);
    Put16(d, 0x0005);
    Put16(d, uint16_t(props.size()));
    d.insert(d.end(), body.begin(), body.end());
    return d;
}

} // namespace

TEST(UsbIds, ParsesListedVendorAndProductIds) {
    EXPECT_EQ(ParseUsbIdList("1234:abcd"), (std::vector<UsbId>{{0x1234, 0xABCD}}));
    EXPECT_EQ(ParseUsbIdList("1234:0001, 04d8:F00D;x:y 12345:1 :1 1:"),
              (std::vector<UsbId>{{0x1234, 0x0001}, {0x04D8, 0xF00D}}));
    EXPECT_TRUE(ParseUsbIdList("").empty());
}

TEST(SocketPaths, SplitOnColonsSkippingEmptyItems) {
    EXPECT_EQ(SocketBackend::SplitPathList("/a.sock::/tmp/b.sock:"),
              (std::vector<std::string>{"/a.sock", "/tmp/b.sock"}));
    EXPECT_TRUE(SocketBackend::SplitPathList("").empty());
}

TEST(ExtendedProperties, FindsTheInterfaceGuidInEitherPropertyForm) {
    auto single =
        ExtendedProperties({{1, "Label", "x"}, {1, "DeviceInterfaceGUID", kBridgeInterfaceGuid}});
    EXPECT_EQ(InterfaceGuidsFromExtendedProperties(single.data(), single.size()),
              std::vector<std::string>{kBridgeInterfaceGuid});
    auto multi = ExtendedProperties({{7, "DeviceInterfaceGUIDs", "{0-1}"}});
    EXPECT_EQ(InterfaceGuidsFromExtendedProperties(multi.data(), multi.size()),
              std::vector<std::string>{"{0-1}"});
    // A property of the wrong type or name is not a GUID.
    auto wrongType = ExtendedProperties({{2, "DeviceInterfaceGUID", kBridgeInterfaceGuid}});
    EXPECT_TRUE(InterfaceGuidsFromExtendedProperties(wrongType.data(), wrongType.size()).empty());
}

TEST(ExtendedProperties, MalformedDescriptorsYieldNothingAndStayInBounds) {
    auto d = ExtendedProperties({{1, "DeviceInterfaceGUID", kBridgeInterfaceGuid}});
    for (size_t cut = 0; cut < d.size(); ++cut) // every truncation
        EXPECT_TRUE(InterfaceGuidsFromExtendedProperties(d.data(), cut).empty()) << cut;
    auto bad = d;
    bad[10] = 0xFF; // section size beyond the descriptor
    EXPECT_TRUE(InterfaceGuidsFromExtendedProperties(bad.data(), bad.size()).empty());
    auto name = d;
    name[18] = 0xF0; // name length beyond the section
    EXPECT_TRUE(InterfaceGuidsFromExtendedProperties(name.data(), name.size()).empty());
}

TEST(Os20DescriptorSet, FindsRegistryPropertiesInsideSubsetsAndStaysInBounds) {
    std::vector<uint8_t> name = Utf16("DeviceInterfaceGUIDs"), value = Utf16(kBridgeInterfaceGuid);
    Put16(value, 0);
    std::vector<uint8_t> prop;
    Put16(prop, uint16_t(10 + name.size() + value.size()));
    Put16(prop, 4);
    Put16(prop, 7);
    Put16(prop, uint16_t(name.size()));
    prop.insert(prop.end(), name.begin(), name.end());
    Put16(prop, uint16_t(value.size()));
    prop.insert(prop.end(), value.begin(), value.end());
    // Set header, configuration subset, function subset, then the property.
    std::vector<uint8_t> set;
    uint16_t total = uint16_t(10 + 8 + 8 + prop.size());
    Put16(set, 10);
    Put16(set, 0);
    Put32(set, 0x06030000);
    Put16(set, total);
    set.insert(set.end(), {8, 0, 1, 0, 0, 0, uint8_t(total - 10), 0});
    set.insert(set.end(), {8, 0, 2, 0, 0, 0, uint8_t(total - 18), 0});
    set.insert(set.end(), prop.begin(), prop.end());
    EXPECT_EQ(InterfaceGuidsFromOs20DescriptorSet(set.data(), set.size()),
              std::vector<std::string>{kBridgeInterfaceGuid});
    for (size_t cut = 0; cut < set.size(); ++cut) {
        auto guids = InterfaceGuidsFromOs20DescriptorSet(set.data(), cut);
        EXPECT_TRUE(guids.empty()) << cut;
    }
    auto bad = set;
    bad[26 + 6] = 0xF0; // name length beyond the property
    EXPECT_TRUE(InterfaceGuidsFromOs20DescriptorSet(bad.data(), bad.size()).empty());
}

// Plug-in categories: names, the categories a host-flags resource
// ('XDAE' 1000) gives a sub-type, and iteration.
#pragma once

#include "foundation/KCFourCC.h"
#include "foundation/XMLElement.h"

#include <cstdint>
#include <string>
#include <vector>

namespace kv {

class PlugInCategory_type {
public:
    enum : int32_t {
        ePlugInCategory_None = 0,
        ePlugInCategory_EQ = 1,
        ePlugInCategory_Dynamics = 2,
        ePlugInCategory_PitchShift = 3,
        ePlugInCategory_Reverb = 4,
        ePlugInCategory_Delay = 5,
        ePlugInCategory_Modulation = 6,
        ePlugInCategory_Harmonic = 7,
        ePlugInCategory_NoiseReduction = 8,
        ePlugInCategory_Dither = 9,
        ePlugInCategory_SoundField = 10,
        ePlugInCategory_HWGenerators = 11,
        ePlugInCategory_SWGenerators = 12,
        ePlugInCategory_WrappedPlugin = 13,
        ePlugInCategory_Effect = 14,
        ePlugInCategory_Undefined = 15,
    };

    constexpr PlugInCategory_type(int32_t value = ePlugInCategory_None) : value(value) {}
    constexpr int32_t Value() const { return value; }
    constexpr bool operator==(const PlugInCategory_type&) const = default;

    // Both advance by one and yield the advanced value.
    PlugInCategory_type& operator++() {
        ++value;
        return *this;
    }
    PlugInCategory_type operator++(int) {
        ++value;
        return *this;
    }

    // The value of a name ("EQ", "Reverb", ...); Undefined for any other
    // text. Case-sensitive.
    static PlugInCategory_type GetCategoryFromName(std::string& name);
    // The value of an XML name ("ePlugInCategory_EQ", ...); Undefined for any
    // other text.
    static PlugInCategory_type GetCategoryFromXMLName(const std::string& name);
    // The name of 0 to 15, an empty text for any other value.
    static std::string GetNameFromCategory(PlugInCategory_type& category);
    // The categories of the "SubComponent" children of `root` whose "Type" is
    // "????" or the sub-type, in document order.
    static void ReadCategoriesFromXML(kvXML::CXMLElement& root, const KCFourCC& subType,
                                      std::vector<PlugInCategory_type>& out);
    // The `count` entries of `array`, last first.
    static void Convert(const PlugInCategory_type* array, unsigned short count,
                        std::vector<PlugInCategory_type>& out);
    static PlugInCategory_type Begin() { return ePlugInCategory_None; }
    static PlugInCategory_type End() { return ePlugInCategory_Undefined; }

private:
    int32_t value;
};

} // namespace kv

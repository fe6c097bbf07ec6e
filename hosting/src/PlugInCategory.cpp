#include "hosting/PlugInCategory.h"

#include <array>
#include <string_view>

namespace kv {

namespace {

// Names and XML names by value.
struct CategoryRow {
    const char* name;
    const char* xmlName;
};

constexpr std::array<CategoryRow, 16> kCategories = {{
    {"None", "ePlugInCategory_None"},
    {"EQ", "ePlugInCategory_EQ"},
    {"Dynamics", "ePlugInCategory_Dynamics"},
    {"PitchShift", "ePlugInCategory_PitchShift"},
    {"Reverb", "ePlugInCategory_Reverb"},
    {"Delay", "ePlugInCategory_Delay"},
    {"Modulation", "ePlugInCategory_Modulation"},
    {"Harmonic", "ePlugInCategory_Harmonic"},
    {"NoiseReduction", "ePlugInCategory_NoiseReduction"},
    {"Dither", "ePlugInCategory_Dither"},
    {"SoundField", "ePlugInCategory_SoundField"},
    {"HWGenerators", "ePlugInCategory_HWGenerators"},
    {"SWGenerators", "ePlugInCategory_SWGenerators"},
    {"WrappedPlugin", "ePlugInCategory_WrappedPlugin"},
    {"Effect", "ePlugInCategory_Effect"},
    {"Undefined", "ePlugInCategory_Undefined"},
}};

template <typename Column>
PlugInCategory_type Lookup(std::string_view text, Column column) {
    for (size_t i = 0; i < kCategories.size(); ++i) {
        if (text == column(kCategories[i]))
            return PlugInCategory_type(static_cast<int32_t>(i));
    }
    return PlugInCategory_type::ePlugInCategory_Undefined;
}

} // namespace

PlugInCategory_type PlugInCategory_type::GetCategoryFromName(std::string& name) {
    return Lookup(name, [](const CategoryRow& r) { return r.name; });
}

PlugInCategory_type PlugInCategory_type::GetCategoryFromXMLName(const std::string& name) {
    return Lookup(name, [](const CategoryRow& r) { return r.xmlName; });
}

std::string PlugInCategory_type::GetNameFromCategory(PlugInCategory_type& category) {
    const int32_t v = category.Value();
    if (v < 0 || v >= static_cast<int32_t>(kCategories.size()))
        return std::string();
    return kCategories[static_cast<size_t>(v)].name;
}

void PlugInCategory_type::ReadCategoriesFromXML(kvXML::CXMLElement& root, const KCFourCC& subType,
                                                std::vector<PlugInCategory_type>& out) {
    out.clear();
    const std::string own = FourCCToString(subType);
    for (const kvXML::CXMLElement* sub : root.children) {
        std::string type;
        if (!(sub->name == "SubComponent") || !sub->GetAttrib("Type", type))
            continue;
        if (type != "????" && type != own)
            continue;
        for (const kvXML::CXMLElement* category : sub->children) {
            if (category->name == "DAECategory")
                out.push_back(GetCategoryFromXMLName(category->text));
        }
    }
}

void PlugInCategory_type::Convert(const PlugInCategory_type* array, unsigned short count,
                                  std::vector<PlugInCategory_type>& out) {
    out.clear();
    for (unsigned short i = count; i > 0; --i)
        out.push_back(array[i - 1]);
}

} // namespace kv

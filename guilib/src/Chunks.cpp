// The algorithm's session chunk: its parameter values as a preset tree.
#include "foundation/KTErr.h"
#include "foundation/XMLText.h"
#include "guilib/Algorithm.h"

#include <charconv>

namespace {

using kvXML::CXMLElement;

// The shortest text that reads back as the same double, in the C locale.
std::string NumberText(double v) {
    char buffer[64];
    const auto r = std::to_chars(buffer, buffer + sizeof buffer, v);
    return r.ec == std::errc() ? std::string(buffer, r.ptr) : std::string("0");
}

} // namespace

long cALGORITHM::GetChunk(unsigned id, std::string& text, bool) {
    text.clear();
    if (id != kChunkID)
        return eGenericErr;
    std::string values;
    for (const sCONTROL_PARAM& p : params_) {
        if (!values.empty())
            values += ' ';
        values += (p.flags & (kParamNotSavable | kParamDontSaveToPreset))
                      ? std::string("*")
                      : NumberText(p.realWorld[activeSetup_]);
    }
    CXMLElement root("PresetXMLTree", "");
    root.AddAttrib("version", "1");
    auto* preset = new CXMLElement("Preset", "");
    preset->AddAttrib("Name", "Session");
    auto* data = new CXMLElement("PresetData", "");
    data->AddAttrib("Setup", "CURRENT");
    auto* parameters = new CXMLElement("Parameters", values);
    parameters->AddAttrib("Type", "RealWorld");
    data->push_back(parameters);
    preset->push_back(data);
    root.push_back(preset);
    kvXML::WriteElementText(root, text);
    return 0;
}

long cALGORITHM::GetChunkSize(unsigned id, bool flag, unsigned long& size) {
    std::string text;
    const long err = GetChunk(id, text, flag);
    size = err == 0 ? static_cast<unsigned long>(text.size()) : 0;
    return err;
}

long cALGORITHM::GetIndexedChunkID(unsigned long index, KCFourCC& id) {
    if (index != 0)
        return eGenericErr;
    id = KCFourCC(kChunkID);
    return 0;
}

long cALGORITHM::SetChunk(unsigned id, char* data, unsigned long size) {
    if (id != kChunkID)
        return eGenericErr;
    if (!data || size == 0)
        return eMemNullPointer;
    CXMLElement root;
    kvXML::CXMLTreeBuilder builder(root);
    const KTErr err = builder.BuildFromSingleBuffer(data, size);
    if (err != 0)
        return err;
    std::vector<std::unique_ptr<CPresetInfo>> presets;
    const long read = ReadFactoryPresets(root, presets);
    if (read != 0)
        return read;
    if (presets.empty() || presets.front()->GetPresetDataVec()->empty())
        return eXMLElementMissing;
    ApplyPresetValues(*presets.front()->GetPresetDataVec()->front());
    return 0;
}

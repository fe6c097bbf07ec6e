#include "host/SessionPrefs.h"

#include "Base64.h"
#include "foundation/XMLFile.h"
#include "foundation/kvFMFolders.h"

#include <algorithm>
#include <cstring>

namespace {

// The file's element and attribute names.
const char kRootName[] = "RigwellPrefs";
const char kRecentPluginInfo[] = "RecentPluginInfo";
const char kFileID[] = "FileID";
const char kComponentType[] = "ComponentType";
const char kComponentSubType[] = "ComponentSubType";
const char kCurrentSetup[] = "CurrentSetup";
const char kChunk[] = "Chunk";
const char kSetupFlagsHeader[] = "SetupFlagsHeader";
const char kLoadPrevSession[] = "LoadPrevSession";
const char kUseVellixPlugins[] = "UseVellixPlugins";
const char kValue[] = "Value";
const char kEncoding[] = "Encoding";
const char kBase64[] = "base64";
const char kPrefFileLeaf[] = "Rigwell_SetupPreferences";

// The longest value the XML layer keeps in an attribute.
constexpr size_t kMaxAttributeValue = 127;

using kvXML::CXMLElement;

bool IsParseFailure(KTErr status) {
    return status == eXMLParserFailed || status == eXMLElementIncomplete;
}

bool HasName(const CXMLElement& element, const char* name) {
    return element.name == name;
}

CXMLElement* AddValueChild(CXMLElement& parent, const char* name, const std::string& value) {
    auto* child = new CXMLElement(name, "");
    child->SetAttrib(kValue, value);
    parent.push_back(child);
    return child;
}

// The element's text when it has one, else its "Value" attribute.
bool TextOrValue(const CXMLElement& element, std::string& out) {
    if (!element.text.empty()) {
        out = element.text;
        return true;
    }
    return element.GetAttrib(kValue, out);
}

KCFourCC FourCCOfText(const std::string& text) {
    char four[4] = {0, 0, 0, 0};
    std::memcpy(four, text.data(), std::min<size_t>(text.size(), 4));
    return StringToFourCC(four);
}

void ReadFourCC(const CXMLElement& element, KCFourCC& value) {
    std::string text;
    if (element.GetAttrib(kValue, text))
        value = FourCCOfText(text);
}

void ReadChunk(const CXMLElement& element, std::string& chunk) {
    std::string encoding;
    if (element.GetAttrib(kEncoding, encoding) && encoding == kBase64) {
        DecodeBase64(element.text, chunk);
        return;
    }
    TextOrValue(element, chunk);
}

RecentPluginInfo ReadRecord(const CXMLElement& element, int32_t position) {
    RecentPluginInfo record;
    record.position = position;
    for (const CXMLElement* child : element.children) {
        if (HasName(*child, kFileID)) {
            std::string text;
            if (TextOrValue(*child, text) && !text.empty())
                record.file = kvFM::KCStPath(text);
        } else if (HasName(*child, kComponentType)) {
            ReadFourCC(*child, record.componentType);
        } else if (HasName(*child, kComponentSubType)) {
            ReadFourCC(*child, record.componentSubType);
        } else if (HasName(*child, kCurrentSetup)) {
            ReadFourCC(*child, record.currentSetup);
        } else if (HasName(*child, kChunk)) {
            ReadChunk(*child, record.chunk);
        }
    }
    return record;
}

void ReadFlags(const CXMLElement& element, KCSessionInfo& session) {
    for (const CXMLElement* child : element.children) {
        bool* flag = HasName(*child, kLoadPrevSession)    ? &session.loadPrevSession
                     : HasName(*child, kUseVellixPlugins) ? &session.useVellixPlugins
                                                          : nullptr;
        std::string value;
        if (flag && child->GetAttrib(kValue, value))
            *flag = value == "true";
    }
}

void WriteRecord(CXMLElement& parent, const RecentPluginInfo& record) {
    auto* element = new CXMLElement(kRecentPluginInfo, "");
    parent.push_back(element);
    const std::string file = record.file.IsValid() ? record.file.GetPathString() : std::string();
    if (file.size() <= kMaxAttributeValue)
        AddValueChild(*element, kFileID, file);
    else
        element->push_back(new CXMLElement(kFileID, file)); // too long for an attribute
    AddValueChild(*element, kComponentType, FourCCToString(record.componentType));
    AddValueChild(*element, kComponentSubType, FourCCToString(record.componentSubType));
    AddValueChild(*element, kCurrentSetup, FourCCToString(record.currentSetup));
    auto* chunk = new CXMLElement(kChunk, EncodeBase64(record.chunk));
    chunk->SetAttrib(kEncoding, kBase64);
    element->push_back(chunk);
}

} // namespace

bool RecentPluginInfo::operator==(const RecentPluginInfo& other) const {
    return position == other.position && componentSubType == other.componentSubType &&
           componentType == other.componentType && file == other.file && chunk == other.chunk &&
           currentSetup == other.currentSetup;
}

std::string RecentPluginInfo::Description() const {
    return file.GetBase() + ": " + FourCCToString(componentType) + "," +
           FourCCToString(componentSubType);
}

bool KCSessionInfo::operator==(const KCSessionInfo& other) const {
    return recentPlugins == other.recentPlugins && loadPrevSession == other.loadPrevSession &&
           useVellixPlugins == other.useVellixPlugins && bufferSize == other.bufferSize &&
           sampleRate == other.sampleRate && bitDepth == other.bitDepth &&
           bypassRecentPlugins == other.bypassRecentPlugins && tempo == other.tempo &&
           outputMode == other.outputMode;
}

RecentPluginInfo MakeRecentPluginInfo(KCSessionPlugin& plugin, int32_t position) {
    RecentPluginInfo record;
    record.file = plugin.GetFile();
    record.componentType = plugin.GetComponentType();
    record.componentSubType = plugin.GetComponentSubType();
    record.position = position;
    void* buffer = nullptr;
    uint32_t size = 0;
    const KTErr status = plugin.GetChunk(buffer, size);
    if (status == eNoErr && buffer != nullptr && size > 0)
        record.chunk.assign(static_cast<const char*>(buffer), size);
    if (buffer != nullptr)
        plugin.FreeChunk(buffer);
    KCFourCC setup;
    if (plugin.GetActiveSetupType(setup) == eNoErr)
        record.currentSetup = setup;
    return record;
}

bool RecordMatches(const RecentPluginInfo& record, KCSessionPlugin& plugin, int32_t position) {
    const kvFM::KCStPath file = plugin.GetFile();
    return record.position == position && record.file.IsExist() && file.IsExist() &&
           record.file == file && record.componentType == plugin.GetComponentType() &&
           record.componentSubType == plugin.GetComponentSubType();
}

KTErr RestoreRecentPlugin(KCSessionPlugin& plugin, const RecentPluginInfo& record) {
    plugin.SetChunk(record.chunk.data(), static_cast<uint32_t>(record.chunk.size()));
    const KTErr status = plugin.InitAlg();
    if (status != eNoErr)
        return status;
    return plugin.SetActiveSetupType(record.currentSetup);
}

KTErr KCPluginRunnerPrefFile::Init() {
    try {
        const KTErr status = GetPrefFileID(path);
        if (status != eNoErr)
            return status;
        valid = path.IsExist();
        return eNoErr;
    } catch (...) {
        return eGenericErr;
    }
}

KTErr KCPluginRunnerPrefFile::GetPrefFileID(kvFM::KCStPath& out) {
    kvFM::KCStPath folder(kvFM::eUserDomain, kvFM::eQuorlPreferencesFolder);
    KTErr status = eNoErr;
    if (!folder.IsValid(status))
        return status != eNoErr ? status : eFMIllegalPathRef;
    status = kvFM::CreateFolder(folder);
    if (status != eNoErr)
        return status;
    kvFM::KCStPath file(folder, kPrefFileLeaf);
    if (!file.IsValid(status))
        return status != eNoErr ? status : eFMIllegalPathRef;
    out = file;
    return eNoErr;
}

KTErr KCPluginRunnerPrefFile::LoadPrefInfo(KCSessionInfo& session) {
    KTErr result = eNoErr;
    if (path.IsExist()) {
        KCXMLFile file(path);
        result = file.Read();
        if (result == eNoErr)
            result = ReadFromXML(file.GetXML(), session);
        else if (IsParseFailure(result))
            result = kvFM::DeleteFileSystemObject(path); // not XML: replaced below
        // A file that cannot be read now (its permissions, the disk) is
        // left as it is.
    }
    if (path.IsExist())
        return result;
    return SavePrefInfo(session);
}

KTErr KCPluginRunnerPrefFile::SavePrefInfo(const KCSessionInfo& session) {
    try {
        KCXMLFile file(path);
        CXMLElement& root = file.GetXML();
        root.Clear();
        root.name = kRootName;
        WriteToXML(&root, session);
        return file.Write();
    } catch (...) {
        return eGenericErr;
    }
}

KTErr KCPluginRunnerPrefFile::ReadFromXML(const CXMLElement& root, KCSessionInfo& session) {
    int32_t read = 0;
    for (const CXMLElement* child : root.children) {
        if (HasName(*child, kRecentPluginInfo))
            session.recentPlugins.push_back(ReadRecord(*child, read++));
        else if (HasName(*child, kSetupFlagsHeader))
            ReadFlags(*child, session);
    }
    return eNoErr;
}

CXMLElement* KCPluginRunnerPrefFile::WriteToXML(CXMLElement* root, const KCSessionInfo& session) {
    for (const RecentPluginInfo& record : session.recentPlugins)
        WriteRecord(*root, record);
    auto* flags = new CXMLElement(kSetupFlagsHeader, "");
    root->push_back(flags);
    AddValueChild(*flags, kLoadPrevSession, session.loadPrevSession ? "true" : "false");
    AddValueChild(*flags, kUseVellixPlugins, session.useVellixPlugins ? "true" : "false");
    return root;
}

#include "guilib/Presets.h"

#include "foundation/KCStFile.h"
#include "foundation/KTErr.h"
#include "foundation/KUUtils.h"
#include "foundation/XMLText.h"
#include "foundation/kvFMDialogs.h"
#include "foundation/kvFMFolders.h"
#include "foundation/kvFMWx.h"
#include "guilib/Algorithm.h"
#include "guilib/MenuEx.h"
#include "guilib/MessageService.h"
#include "ui/KCMenu.h"
#include "ui/KCWindow.h"

#include <wx/app.h>

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <sstream>
#include <thread>

namespace {

using kvXML::CXMLElement;

bool SameText(const char* a, const char* b) {
    return std::strcmp(a, b) == 0;
}

const CXMLElement* Child(const CXMLElement& e, const char* name) {
    for (const CXMLElement* c : e.children)
        if (SameText(c->name.c_str(), name))
            return c;
    return nullptr;
}

std::string TextOf(const CXMLElement* e) {
    return e ? e->text : std::string();
}

// "Parameters": white-space separated values, "*" for one left out.
void ReadValues(const std::string& text, sPresetData& data) {
    std::istringstream in(text);
    std::string word;
    while (in >> word) {
        const bool given = word != "*";
        data.present.push_back(given ? 1 : 0);
        data.parameterValues.push_back(given ? KUAtof(word.c_str()) : 0.0);
    }
    data.numParameterData = static_cast<uint32_t>(data.parameterValues.size());
}

std::unique_ptr<CPresetInfo> PresetOf(const CXMLElement& e) {
    auto info = std::make_unique<CPresetInfo>();
    std::string text;
    if (e.GetAttrib("Name", text))
        info->SetPresetName(text);
    if (e.GetAttrib("GenericType", text) && text.size() == 4)
        info->SetGenericType(KCFourCC(QGLFourCC(text.c_str())));
    if (const CXMLElement* header = Child(e, "PresetHeader")) {
        info->SetPluginName(TextOf(Child(*header, "PluginName")));
        info->SetPluginVersion(TextOf(Child(*header, "PluginVersion")));
        info->SetFlag(ePresetReadOnly, TextOf(Child(*header, "ReadOnly")) == "true");
    }
    info->SetFlag(ePresetFactory, true);
    for (const CXMLElement* c : e.children) {
        if (!SameText(c->name.c_str(), "PresetData"))
            continue;
        auto* data = new sPresetData(info.get());
        if (c->GetAttrib("Setup", text))
            info->SetActiveSetup(text);
        if (const CXMLElement* values = Child(*c, "Parameters"))
            ReadValues(values->text, *data);
        info->SetPresetData(data);
    }
    return info;
}

// The same preset: the same name and the same values.
bool SamePreset(CPresetInfo& a, const CPresetInfo& b) {
    const std::vector<sPresetData*>& da = *a.GetPresetDataVec();
    const std::vector<sPresetData*>& db = *const_cast<CPresetInfo&>(b).GetPresetDataVec();
    if (a.GetPresetName() != b.GetPresetName() || da.size() != db.size())
        return false;
    for (size_t i = 0; i < da.size(); ++i)
        if (!sPresetData::IsSameData(*da[i], *db[i]))
            return false;
    return true;
}

} // namespace

bool sPluginSpecific::IsSameData(const sPluginSpecific& a, const sPluginSpecific& b) {
    if (a.descriptors_.size() != b.descriptors_.size())
        return false;
    for (size_t i = 0; i < a.descriptors_.size(); ++i)
        if (!SameText(a.descriptors_[i].name.c_str(), b.descriptors_[i].name.c_str()) ||
            !SameText(a.descriptors_[i].value.c_str(), b.descriptors_[i].value.c_str()))
            return false;
    return true;
}

bool XMLElementsAreSame(const CXMLElement& a, const CXMLElement& b) {
    if (!SameText(a.name.c_str(), b.name.c_str()) || a.text != b.text || a.cdata != b.cdata)
        return false;
    const auto& aa = a.GetAttribVec();
    const auto& ba = b.GetAttribVec();
    if (aa.size() != ba.size() || a.children.size() != b.children.size())
        return false;
    for (size_t i = 0; i < aa.size(); ++i)
        if (!SameText(aa[i].name.c_str(), ba[i].name.c_str()) ||
            !SameText(aa[i].value.c_str(), ba[i].value.c_str()))
            return false;
    for (size_t i = 0; i < a.children.size(); ++i)
        if (!XMLElementsAreSame(*a.children[i], *b.children[i]))
            return false;
    return true;
}

sPresetData::sPresetData(CPresetInfo* owner) : owner(owner) {}

sPresetData::sPresetData(const sPresetData& other)
    : firstValue(other.firstValue), secondValue(other.secondValue),
      pluginSpecificXML(other.pluginSpecificXML), numParameterData(other.numParameterData),
      present(other.present), parameterValues(other.parameterValues),
      reservedList(other.reservedList), controlData(other.controlData), text(other.text),
      reservedWord(other.reservedWord), owner(other.owner) {
    for (const sPluginSpecific* p : other.pluginSpecific)
        pluginSpecific.push_back(new sPluginSpecific(*p));
}

sPresetData& sPresetData::operator=(const sPresetData& other) {
    if (this == &other)
        return *this;
    sPresetData copy(other);
    ClearPluginSpecific();
    firstValue = copy.firstValue;
    secondValue = copy.secondValue;
    pluginSpecific.swap(copy.pluginSpecific);
    pluginSpecificXML = copy.pluginSpecificXML;
    numParameterData = copy.numParameterData;
    present = copy.present;
    parameterValues = copy.parameterValues;
    reservedList = copy.reservedList;
    controlData = copy.controlData;
    text = copy.text;
    reservedWord = copy.reservedWord;
    owner = copy.owner;
    return *this;
}

sPresetData::~sPresetData() {
    ClearPluginSpecific();
}

void sPresetData::ClearPluginSpecific() {
    for (sPluginSpecific* p : pluginSpecific)
        delete p;
    pluginSpecific.clear();
}

bool sPresetData::IsSameData(const sPresetData& a, const sPresetData& b) {
    bool same = a.pluginSpecific.size() == b.pluginSpecific.size() &&
                a.firstValue == b.firstValue && a.secondValue == b.secondValue &&
                XMLElementsAreSame(a.pluginSpecificXML, b.pluginSpecificXML);
    const size_t n = std::min(a.parameterValues.size(), b.parameterValues.size());
    for (size_t i = 0; same && i < n; ++i)
        same = a.parameterValues[i] == b.parameterValues[i];
    for (size_t i = 0; same && i < a.pluginSpecific.size(); ++i)
        same = sPluginSpecific::IsSameData(*a.pluginSpecific[i], *b.pluginSpecific[i]);
    return same;
}

CPresetInfo::CPresetInfo(const CPresetInfo& other) {
    *this = other;
}

CPresetInfo& CPresetInfo::operator=(const CPresetInfo& other) {
    if (this == &other)
        return *this;
    for (sPresetData* d : presetData_)
        delete d;
    presetData_.clear();
    for (const sPresetData* d : other.presetData_) {
        auto* copy = new sPresetData(*d);
        copy->owner = this;
        presetData_.push_back(copy);
    }
    name_ = other.name_;
    flags_ = other.flags_;
    presetVersion_ = other.presetVersion_;
    groupType_ = other.groupType_;
    pluginName_ = other.pluginName_;
    pluginVersion_ = other.pluginVersion_;
    info_ = other.info_;
    activeSetup_ = other.activeSetup_;
    index_ = other.index_;
    genericType_ = other.genericType_;
    menuItemType_ = other.menuItemType_;
    resourceType_ = other.resourceType_;
    resId_ = other.resId_;
    return *this;
}

CPresetInfo::~CPresetInfo() {
    for (sPresetData* d : presetData_)
        delete d;
}

long ReadFactoryPresets(const CXMLElement& root, std::vector<std::unique_ptr<CPresetInfo>>& out) {
    out.clear();
    if (!SameText(root.name.c_str(), "PresetXMLTree"))
        return eXMLElementMissing;
    for (const CXMLElement* c : root.children)
        if (SameText(c->name.c_str(), "Preset"))
            out.push_back(PresetOf(*c));
    return 0;
}

namespace {

// The shortest text that reads back as the same double, in the C locale.
std::string NumberText(double v) {
    char buffer[64];
    const auto r = std::to_chars(buffer, buffer + sizeof buffer, v);
    return r.ec == std::errc() ? std::string(buffer, r.ptr) : std::string("0");
}

CXMLElement* TextElement(const char* name, const std::string& text) {
    return new CXMLElement(name, text);
}

CXMLElement* PresetElement(const CPresetInfo& preset) {
    auto* element = new CXMLElement("Preset", "");
    element->AddAttrib("Name", preset.GetPresetName());
    const uint32_t type = preset.GetGenericType().Get();
    if (type != 0) {
        const char code[5] = {char(type >> 24), char(type >> 16), char(type >> 8), char(type), 0};
        element->AddAttrib("GenericType", code);
    }
    if (!preset.GetPluginName().empty()) {
        auto* header = new CXMLElement("PresetHeader", "");
        header->push_back(TextElement("PluginName", preset.GetPluginName()));
        header->push_back(TextElement("PluginVersion", preset.GetPluginVersion()));
        header->push_back(
            TextElement("ReadOnly", preset.GetFlag(ePresetReadOnly) ? "true" : "false"));
        element->push_back(header);
    }
    auto* data = new CXMLElement("PresetData", "");
    data->AddAttrib("Setup", preset.GetActiveSetup().empty() ? "CURRENT" : preset.GetActiveSetup());
    std::string values;
    if (!const_cast<CPresetInfo&>(preset).GetPresetDataVec()->empty()) {
        const sPresetData& d = *const_cast<CPresetInfo&>(preset).GetPresetDataVec()->front();
        for (size_t i = 0; i < d.parameterValues.size(); ++i) {
            if (!values.empty())
                values += ' ';
            values += d.HasValue(i) ? NumberText(d.parameterValues[i]) : std::string("*");
        }
    }
    auto* parameters = new CXMLElement("Parameters", values);
    parameters->AddAttrib("Type", "RealWorld");
    data->push_back(parameters);
    element->push_back(data);
    return element;
}

// Menu titles are wide: the menu item's own conversion from UTF-8.
std::wstring Wide(const std::string& text) {
    return KCMenuItemData(text.c_str(), 0).title;
}

} // namespace

long WritePresetTree(const std::vector<const CPresetInfo*>& presets, std::string& text) {
    CXMLElement root("PresetXMLTree", "");
    root.AddAttrib("version", "1");
    for (const CPresetInfo* p : presets)
        if (p)
            root.push_back(PresetElement(*p));
    return kvXML::WriteElementText(root, text);
}

CPresetsManager::CPresetsManager(const CPresetsManager& other) {
    *this = other;
}

CPresetsManager& CPresetsManager::operator=(const CPresetsManager& other) {
    if (this == &other)
        return *this;
    auto copyList = [](const std::vector<std::unique_ptr<CPresetInfo>>& from,
                       std::vector<std::unique_ptr<CPresetInfo>>& to) {
        to.clear();
        for (const auto& p : from)
            to.push_back(std::make_unique<CPresetInfo>(*p));
    };
    currentIndex_ = other.currentIndex_;
    current_[0] = other.current_[0];
    current_[1] = other.current_[1];
    for (int i = 0; i < 3; ++i)
        files_[i] = other.files_[i];
    factoryOrder_ = other.factoryOrder_;
    userOrder_ = other.userOrder_;
    dynamicOrder_ = other.dynamicOrder_;
    dynamicGroups_ = other.dynamicGroups_;
    userFileOpen_ = other.userFileOpen_;
    dynamicFile_ = other.dynamicFile_;
    copyList(other.factory_, factory_);
    copyList(other.user_, user_);
    copyList(other.dynamic_, dynamic_);
    pluginName_ = other.pluginName_;
    menuWindow_ = other.menuWindow_;
    stepIndex_ = other.stepIndex_;
    return *this;
}

CPresetsManager::~CPresetsManager() = default;

void CPresetsManager::SetFactoryPresets(std::vector<std::unique_ptr<CPresetInfo>> presets) {
    factory_ = std::move(presets);
    for (size_t i = 0; i < factory_.size(); ++i)
        factory_[i]->SetPresetIndex(static_cast<uint32_t>(i));
    if (pluginName_.empty())
        for (const auto& p : factory_)
            if (!p->GetPluginName().empty()) {
                pluginName_ = p->GetPluginName();
                break;
            }
}

CPresetInfo* CPresetsManager::FindUserPreset(const std::string& name) const {
    for (const auto& p : user_)
        if (p->GetPresetName() == name)
            return p.get();
    return nullptr;
}

CPresetInfo* CPresetsManager::FindFactoryPreset(const std::string& name) const {
    for (const auto& p : factory_)
        if (p->GetPresetName() == name)
            return p.get();
    return nullptr;
}

long CPresetsManager::LoadFactoryPresetToPlugin(const CPublicAlg& alg, const std::string& name) {
    CPresetInfo* preset = FindFactoryPreset(name);
    if (!preset)
        return ePresetInfoNotFound;
    return LoadPresetToPlugin(alg, *preset);
}

long CPresetsManager::LoadPresetToPlugin(const CPublicAlg& alg, CPresetInfo& preset) {
    cALGORITHM* a = alg.Get();
    if (!a || preset.GetPresetDataVec()->empty())
        return ePresetInfoNotFound;
    const sPresetData& data = *preset.GetPresetDataVec()->front();
    a->ApplyPresetValues(data);
    MakeCurrent(preset);
    a->Broadcaster()->Broadcast_PresetLoaded();
    return 0;
}

void CPresetsManager::MakeCurrent(const CPresetInfo& preset) {
    if (&preset == &GetCurrentPreset())
        return;
    // The other of the two becomes current, so that `preset` may be the
    // current one's own copy.
    current_[(currentIndex_ + 1) & 1] = preset;
    currentIndex_ = (currentIndex_ + 1) & 1;
}

// --- User presets, files and menus -----------------------------------------

kvFM::KCStPath CPresetsManager::GetUserPresetsFolder() {
    kvFM::KCStPath folder;
    if (GetSaveDirectoryDefaultPath(folder) == 0 && !folder.GetPathString().empty())
        return folder;
    kvFM::KCStPath base(kvFM::eUserDomain, kvFM::eQuorlAppDataFolder);
    if (base.GetPathString().empty())
        return base;
    base.Append("Presets");
    // A name that cannot be a single folder name is not used as one.
    const std::string name = pluginName_.empty() ? std::string("Plug-in") : pluginName_;
    base.Append(name.find('/') == std::string::npos && name != "." && name != ".." ? name
                                                                                   : "Plug-in");
    return base;
}

bool CPresetsManager::Accepted(const CPublicAlg& alg, EQueryPresetFilter query, CPresetInfo& preset,
                               long index) {
    cALGORITHM* a = alg.Get();
    if (!a)
        return true;
    std::string name = preset.GetPresetName();
    return a->QueryPresetFilter(query, &name, &preset, index) == eReplyFromPresetFilterAccept;
}

long CPresetsManager::ReadPresetFile(const CPublicAlg&, const kvFM::KCStPath& path,
                                     std::vector<std::unique_ptr<CPresetInfo>>& out) {
    out.clear();
    std::string bytes;
    const KTErr read = kvFM::ReadRegularFile(path.GetPathString(), bytes, kMaxPresetFileBytes);
    if (read != eNoErr)
        return read;
    CXMLElement root;
    kvXML::CXMLTreeBuilder builder(root);
    if (bytes.empty() || builder.BuildFromSingleBuffer(bytes.data(), bytes.size()) != eNoErr)
        return ePresetFileProblem;
    std::vector<std::unique_ptr<CPresetInfo>> presets;
    if (ReadFactoryPresets(root, presets) != 0)
        return eInvalidFileFormatProblem;
    for (auto& p : presets) {
        // Presets of another plug-in are not this plug-in's values.
        if (!pluginName_.empty() && p->GetPluginName() != pluginName_)
            return eInvalidFileFormatProblem;
        p->SetFlag(ePresetFactory, false);
    }
    out = std::move(presets);
    return 0;
}

namespace {

// How long a writer waits for another one to finish with a preset file.
constexpr auto kPresetLockWait = std::chrono::seconds(5);

// Holds the lock file beside a preset file ("<file>.lock") against every
// other writer, in this process or another, waiting a bounded time for it.
class PresetFileLock {
public:
    explicit PresetFileLock(const kvFM::KCStPath& file) {
        const std::filesystem::path lock(file.GetPathString() + ".lock");
        std::error_code ignored; // a folder that cannot be made fails the open
        std::filesystem::create_directories(lock.parent_path(), ignored);
        do
            fd_ = ::open(lock.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0666);
        while (fd_ < 0 && errno == EINTR);
        if (fd_ < 0) {
            status_ = ConvertErrorPOSIX(errno);
            return;
        }
        const auto deadline = std::chrono::steady_clock::now() + kPresetLockWait;
        while (::flock(fd_, LOCK_EX | LOCK_NB) != 0) {
            if ((errno != EWOULDBLOCK && errno != EINTR) ||
                std::chrono::steady_clock::now() > deadline) {
                status_ = errno == EWOULDBLOCK ? eFMBusyErr : ConvertErrorPOSIX(errno);
                return;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
        }
        status_ = eNoErr;
    }
    ~PresetFileLock() {
        if (fd_ >= 0)
            ::close(fd_);
    }
    PresetFileLock(const PresetFileLock&) = delete;
    PresetFileLock& operator=(const PresetFileLock&) = delete;
    KTErr Status() const { return status_; }

private:
    int fd_ = -1;
    KTErr status_ = eGenericErr;
};

void ShowPresetError(const std::string& text) {
    KMMessageService::Show(text, "Presets", KMMessageService::kError);
}

// Why a presets file could not be opened, in words.
std::string OpenFailureReason(long err) {
    switch (err) {
    case ePresetFileProblem:
        return "The file is damaged or empty: it is not a well-formed presets file.";
    case eInvalidFileFormatProblem:
        return "The file holds no presets, or presets of another plug-in.";
    case eFMFileSizeTooBig:
        return "The file is larger than 8 MB.";
    case eFMIsAFolder:
        return "It is a folder, not a file.";
    default:
        return std::string("It cannot be read (") + KTErrName(static_cast<KTErr>(err)) + ", " +
               std::to_string(err) + ").";
    }
}

// Why a save or a delete did not change a presets file, in words.
std::string WriteFailureReason(long err) {
    switch (err) {
    case eFMBusyErr:
        return "Another program kept the presets file locked for more than 5 seconds; try "
               "again.";
    case ePresetFileProblem:
    case eInvalidFileFormatProblem:
    case eFMFileSizeTooBig:
    case eFMIsAFolder:
        return "The presets file on disk was left as it is. " + OpenFailureReason(err);
    default:
        return std::string("The presets file could not be written (") +
               KTErrName(static_cast<KTErr>(err)) + ", " + std::to_string(err) + ").";
    }
}

// A save or a delete that failed says so, except where the user cancelled,
// the plug-in refused the preset, or the failure has already been shown.
long ReportUnchanged(const char* what, long err) {
    if (err != 0 && err != eUserCanceled && err != ePresetLockedProblem && err != eFMFileSizeTooBig)
        ShowPresetError(std::string(what) + " " + WriteFailureReason(err));
    return err;
}

} // namespace

long CPresetsManager::WritePresetFile(const kvFM::KCStPath& path,
                                      const std::vector<const CPresetInfo*>& presets) {
    std::string text;
    if (const long err = WritePresetTree(presets, text))
        return err; // nothing is written in place of presets that could not be
    if (text.size() > kMaxPresetFileBytes) {
        // A file the reader refuses would put every preset in it out of reach.
        ShowPresetError("The presets were not saved: the file \"" + path.GetLeaf() +
                        "\" would be larger than 8 MB, the most a presets file may hold. "
                        "Delete some presets or save to a new file.");
        return eFMFileSizeTooBig;
    }
    KTPathType* ref = path.CreatePathRefCopy();
    if (!ref)
        return ePresetFileProblem;
    const KTErr err = kvFM::WriteFileAtomically(ref, text.data(), text.size());
    kvFM::DisposePathRef(ref);
    return err;
}

long CPresetsManager::WriteWholePresetFile(const kvFM::KCStPath& path,
                                           const std::vector<const CPresetInfo*>& presets) {
    const PresetFileLock lock(path);
    if (lock.Status() != eNoErr)
        return lock.Status();
    return WritePresetFile(path, presets);
}

long CPresetsManager::UpdateUserFile(const CPublicAlg& alg,
                                     const std::function<long(PresetList&)>& change) {
    const kvFM::KCStPath path = files_[kUserFile].GetPath();
    const PresetFileLock lock(path);
    if (lock.Status() != eNoErr)
        return lock.Status();
    PresetList presets;
    if (path.IsExist())
        if (const long err = ReadPresetFile(alg, path, presets))
            return err; // a file that cannot be read is not written over
    if (const long err = change(presets))
        return err;
    std::vector<const CPresetInfo*> list;
    for (const auto& p : presets)
        list.push_back(p.get());
    if (const long err = WritePresetFile(path, list))
        return err;
    // The user presets are what the file holds now, as it holds them.
    if (const long err = ReadPresetFile(alg, path, presets))
        return err;
    user_ = std::move(presets);
    for (size_t i = 0; i < user_.size(); ++i)
        user_[i]->SetPresetIndex(static_cast<uint32_t>(i));
    return 0;
}

long CPresetsManager::SetUserPresetsFile(const CPublicAlg& alg, CPresetsFileInfo file) {
    return UserPresetFile_Open(alg, file.GetPath());
}

long CPresetsManager::UserPresetFile_Open(const CPublicAlg& alg, const kvFM::KCStPath& path) {
    std::vector<std::unique_ptr<CPresetInfo>> presets;
    const long err = ReadPresetFile(alg, path, presets);
    if (err != 0)
        return err; // the open file and its presets stay as they were
    UserPresetFile_Close();
    user_ = std::move(presets);
    for (size_t i = 0; i < user_.size(); ++i)
        user_[i]->SetPresetIndex(static_cast<uint32_t>(i));
    files_[kUserFile] = CPresetsFileInfo(path, path.GetBase());
    userFileOpen_ = true;
    return 0;
}

void CPresetsManager::UserPresetFile_Close() {
    user_.clear();
    files_[kUserFile] = CPresetsFileInfo();
    userFileOpen_ = false;
}

long CPresetsManager::EnsureUserFile(const CPublicAlg& alg) {
    if (userFileOpen_)
        return 0;
    const kvFM::KCStPath folder = GetUserPresetsFolder();
    if (folder.GetPathString().empty())
        return eFMFileNotFound;
    const kvFM::KCStPath path(folder, kDefaultUserFileName);
    if (path.IsExist())
        return UserPresetFile_Open(alg, path);
    // Made under the lock: a file another writer made meanwhile is kept.
    files_[kUserFile] = CPresetsFileInfo(path, path.GetBase());
    const long err = UpdateUserFile(alg, [](PresetList&) { return 0L; });
    userFileOpen_ = err == 0;
    if (err != 0)
        files_[kUserFile] = CPresetsFileInfo();
    return err;
}

long CPresetsManager::SavePresetFromPlugin(const CPublicAlg& alg, CPresetInfo& preset) {
    cALGORITHM* a = alg.Get();
    if (!a)
        return ePresetInfoNotFound;
    for (sPresetData* d : *preset.GetPresetDataVec())
        delete d;
    preset.GetPresetDataVec()->clear();
    auto* data = new sPresetData(&preset);
    const EPluginSetup setup = a->GetActiveSetup();
    for (const sCONTROL_PARAM& p : *a->GetParamVector()) {
        const bool saved = !(p.flags & (kParamNotSavable | kParamDontSaveToPreset));
        data->present.push_back(saved ? 1 : 0);
        data->parameterValues.push_back(saved ? p.realWorld[setup] : 0.0);
    }
    data->numParameterData = static_cast<uint32_t>(data->parameterValues.size());
    preset.SetPresetData(data);
    preset.SetPluginName(pluginName_);
    if (preset.GetActiveSetup().empty())
        preset.SetActiveSetup("CURRENT");
    if (!factory_.empty()) {
        preset.SetGenericType(factory_.front()->GetGenericType());
        preset.SetPluginVersion(factory_.front()->GetPluginVersion());
    }
    preset.SetFlag(ePresetFactory, false);
    preset.SetFlag(ePresetReadOnly, false);
    return a->SaveToPresetSelf(&preset, setup);
}

namespace {
// Bytes a preset file keeps of a name (an attribute value).
constexpr size_t kStoredNameBytes = 127;

// A name as a preset file keeps it, in at most `room` bytes (cut between
// characters).
std::string StoredName(const std::string& name, size_t room = kStoredNameBytes) {
    size_t end = 0;
    const auto* bytes = reinterpret_cast<const unsigned char*>(name.data());
    while (end < name.size()) {
        const size_t n = std::max<size_t>(1, KUUtf8CharLength(bytes + end, bytes + name.size()));
        if (end + n > room)
            break;
        end += n;
    }
    return name.substr(0, end);
}
} // namespace

long CPresetsManager::SaveMenu_PreparePresetUniqueName(const CPublicAlg&, CPresetInfo& preset,
                                                       const std::vector<CPresetInfo*>& others) {
    const std::string base =
        preset.GetPresetName().empty() ? "User Preset" : preset.GetPresetName();
    auto taken = [&](const std::string& name) {
        for (const CPresetInfo* p : others)
            if (p && p != &preset && p->GetPresetName() == name)
                return true;
        return false;
    };
    // Unique as stored: a long name gives way to its number.
    std::string name = StoredName(base);
    for (int n = 2; taken(name); ++n) {
        const std::string number = " " + std::to_string(n);
        name = StoredName(base, kStoredNameBytes - number.size()) + number;
    }
    preset.SetPresetName(name);
    return 0;
}

long CPresetsManager::SaveUserPreset(const CPublicAlg& alg, const std::string& name) {
    if (const long err = EnsureUserFile(alg))
        return err;
    CPresetInfo preset;
    preset.SetPresetName(name);
    if (const long err = SavePresetFromPlugin(alg, preset))
        return err;
    size_t at = 0;
    const long err = UpdateUserFile(alg, [&](PresetList& presets) -> long {
        std::vector<CPresetInfo*> others;
        for (const auto& p : presets)
            others.push_back(p.get());
        SaveMenu_PreparePresetUniqueName(alg, preset, others);
        if (!Accepted(alg, eQueryPresetFilterSave, preset, static_cast<long>(presets.size())))
            return ePresetLockedProblem;
        at = presets.size();
        presets.push_back(std::make_unique<CPresetInfo>(preset));
        return 0;
    });
    if (err != 0)
        return err;
    MakeCurrent(*user_[at]);
    files_[kLastSavedFile] = files_[kUserFile];
    return 0;
}

long CPresetsManager::SaveMenu_SaveActiveSetup(const CPublicAlg& alg) {
    return SaveUserPreset(alg, "User Preset");
}

namespace {
// The file dialogs: the editor's when the program has none of its own.
void EnsureDialogService() {
    if (!kvFM::GetDialogService() && wxTheApp)
        kvFM::InstallWxDialogService();
}
} // namespace

long CPresetsManager::AskPresetPath(const std::string& title, bool save, kvFM::KCStPath& path) {
    EnsureDialogService();
    kvFM::KCDialogCreationOptions options;
    options.title = title;
    options.flags = save ? 0L : static_cast<long>(kvFM::eDialogSelectFile);
    options.folder = GetUserPresetsFolder();
    options.filter = {{"Preset files (*.xml)", "*.xml"}};
    if (save) {
        options.defaultName = kDefaultUserFileName;
        options.defaultExtension = ".xml";
    }
    kvFM::KCDialogReply reply;
    const KTErr err = save ? kvFM::SaveAsDialog(options, reply)
                           : kvFM::SelectFileSystemObjectDialog(options, reply);
    if (err != eNoErr)
        return err;
    if (!reply.chosen)
        return eUserCanceled;
    path = reply.path;
    return 0;
}

long CPresetsManager::SaveMenu_SaveToNewFile(const CPublicAlg& alg) {
    kvFM::KCStPath path;
    if (const long err = AskPresetPath("Save Preset To New File", true, path))
        return err;
    CPresetInfo preset;
    preset.SetPresetName("User Preset");
    if (const long err = SavePresetFromPlugin(alg, preset))
        return err;
    if (const long err = WriteWholePresetFile(path, {&preset}))
        return err;
    files_[kLastSavedFile] = CPresetsFileInfo(path, path.GetBase());
    return UserPresetFile_Open(alg, path);
}

long CPresetsManager::SaveMenu_SaveToFileAs(const CPublicAlg& alg) {
    kvFM::KCStPath path;
    if (const long err = AskPresetPath("Save Presets To File As", true, path))
        return err;
    std::vector<const CPresetInfo*> presets;
    for (const auto& p : user_)
        presets.push_back(p.get());
    if (const long err = WriteWholePresetFile(path, presets))
        return err;
    files_[kLastSavedFile] = CPresetsFileInfo(path, path.GetBase());
    return UserPresetFile_Open(alg, path);
}

long CPresetsManager::SaveMenu_SaveAsDefaultPreset(const CPublicAlg& alg) {
    const kvFM::KCStPath folder = GetUserPresetsFolder();
    if (folder.GetPathString().empty())
        return eFMFileNotFound;
    CPresetInfo preset;
    preset.SetPresetName("Default");
    if (const long err = SavePresetFromPlugin(alg, preset))
        return err;
    const kvFM::KCStPath path(folder, kDefaultPresetFileName);
    if (const long err = WriteWholePresetFile(path, {&preset}))
        return err;
    files_[kDefaultFile] = CPresetsFileInfo(path, path.GetBase());
    return 0;
}

long CPresetsManager::LoadPresetFromCurrentPresetSection(const CPublicAlg& alg, bool fromDefault) {
    if (fromDefault) {
        const kvFM::KCStPath folder = GetUserPresetsFolder();
        std::vector<std::unique_ptr<CPresetInfo>> presets;
        const kvFM::KCStPath path(folder, kDefaultPresetFileName);
        if (!folder.GetPathString().empty() && path.IsExist()) {
            if (const long err = ReadPresetFile(alg, path, presets))
                return err;
            if (presets.empty())
                return ePresetInfoNotFound;
            MakeCurrent(*presets.front());
            files_[kDefaultFile] = CPresetsFileInfo(path, path.GetBase());
        }
    }
    CPresetInfo current = GetCurrentPreset();
    return LoadPresetToPlugin(alg, current);
}

long CPresetsManager::LoadMenu_OpenUserPresetsFile(const CPublicAlg& alg) {
    kvFM::KCStPath path;
    if (const long err = AskPresetPath("Open User Presets File", false, path))
        return err;
    const long err = UserPresetFile_Open(alg, path);
    if (err != 0)
        ShowPresetError("The presets file \"" + path.GetLeaf() + "\" was not opened. " +
                        OpenFailureReason(err));
    return err;
}

long CPresetsManager::LoadMenu_LoadPreset(const CPublicAlg& alg, CPresetInfo* preset) {
    if (!preset)
        return ePresetInfoNotFound;
    if (!Accepted(alg, eQueryPresetFilterLoad, *preset,
                  static_cast<long>(preset->GetPresetIndex())))
        return ePresetLockedProblem;
    const long err = LoadPresetToPlugin(alg, *preset);
    if (err == 0 && alg.Get())
        alg.Get()->LoadFromPresetSelf(preset, alg.Get()->GetActiveSetup());
    return err;
}

long CPresetsManager::LoadMenu_DeletePreset(const CPublicAlg& alg, CPresetInfo* preset) {
    auto it = std::find_if(user_.begin(), user_.end(), [&](const std::unique_ptr<CPresetInfo>& p) {
        return p.get() == preset;
    });
    if (!preset || it == user_.end())
        return ePresetInfoNotFound;
    if (preset->GetFlag(ePresetReadOnly))
        return ePresetLockedProblem;
    // The preset as the file holds it now: same name, same values. One that
    // another writer deleted already is gone either way.
    const CPresetInfo gone = *preset;
    return UpdateUserFile(alg, [&](PresetList& presets) {
        const auto same = std::find_if(presets.begin(), presets.end(),
                                       [&](const auto& p) { return SamePreset(*p, gone); });
        if (same != presets.end())
            presets.erase(same);
        return 0L;
    });
}

long CPresetsManager::LoadMenu_IterateDynamicFactoryPresetsFiles(const CPublicAlg& alg) {
    cALGORITHM* a = alg.Get();
    dynamicGroups_ = KCDynamicFactoryPresetsJustInTime();
    dynamic_.clear();
    std::vector<KCDynamicFactoryPreset> folders;
    if (!a || a->GetPluginDynamicFactoryPresetsDirectories(folders) < 0)
        return 0;
    dynamicGroups_.searched = 1;
    for (const KCDynamicFactoryPreset& f : folders) {
        dynamicGroups_.folders.push_back(f.folder);
        void* iterator = nullptr;
        KTPathType* item = nullptr;
        std::vector<std::string> files;
        if (kvFM::FindFirstFolderItem(f.folder.GetPathRef(), iterator, item) == eNoErr) {
            do {
                kvFM::KCStPath path;
                path.TakeOver(item);
                item = nullptr;
                if (path.IsFile() && path.GetExtension() == "xml")
                    files.push_back(path.GetPathString());
            } while (kvFM::FindNextFolderItem(iterator, item) == eNoErr);
            kvFM::DisposeFolderIterator(iterator);
        }
        std::sort(files.begin(), files.end()); // one order, whatever the folder's
        for (const std::string& file : files) {
            SPresetGroupDesc group;
            group.path = kvFM::KCStPath(file);
            group.name =
                f.name.empty() ? group.path.GetBase() : f.name + " - " + group.path.GetBase();
            std::vector<std::unique_ptr<CPresetInfo>> presets;
            if (ReadPresetFile(alg, group.path, presets) != 0)
                continue; // a damaged group is left out, the others stay
            for (auto& p : presets) {
                group.presetNames.push_back(p->GetPresetName());
                group.presetIndices.push_back(static_cast<uint32_t>(dynamic_.size()));
                p->SetFlag(ePresetFactory, true);
                p->SetFlag(ePresetReadOnly, true);
                dynamic_.push_back(std::move(p));
            }
            dynamicGroups_.groups.push_back(std::move(group));
        }
    }
    return 0;
}

long CPresetsManager::LoadMenu_IterateOneDynamicFactoryPresetsFile(
    CPresetMenu&, std::vector<CMenuDescription*>& descriptions, SPresetGroupDesc& group) {
    auto* d = new CMenuDescription();
    d->title = Wide(group.name);
    d->menuID = static_cast<int16_t>(descriptions.size());
    for (size_t i = 0; i < group.presetNames.size(); ++i)
        d->items.emplace_back(Wide(group.presetNames[i]),
                              kCmdDynamicBase + static_cast<int32_t>(group.presetIndices[i]),
                              eMenuItemPreset, static_cast<int32_t>(group.presetIndices[i]));
    descriptions.push_back(d);
    return 0;
}

long CPresetsManager::LoadMenu_LoadPluginSpecificPreset(const CPublicAlg& alg, size_t item) {
    return item < dynamic_.size() ? LoadMenu_LoadPreset(alg, dynamic_[item].get())
                                  : static_cast<long>(ePresetInfoNotFound);
}

long CPresetsManager::LoadMenu_PrepareMenu(const CPublicAlg& alg, CPresetMenu& menu,
                                           std::vector<CMenuDescription*>& descriptions) {
    auto list = [&](const char* title, const std::vector<std::unique_ptr<CPresetInfo>>& presets,
                    int32_t base) {
        auto* d = new CMenuDescription();
        d->title = Wide(title);
        d->menuID = static_cast<int16_t>(descriptions.size());
        for (size_t i = 0; i < presets.size() && i < kCmdRange; ++i)
            if (Accepted(alg, eQueryPresetFilterShow, *presets[i], static_cast<long>(i)))
                d->items.emplace_back(Wide(presets[i]->GetPresetName()),
                                      base + static_cast<int32_t>(i), eMenuItemPreset,
                                      static_cast<int32_t>(i));
        descriptions.push_back(d);
        return d;
    };
    list("Factory Presets", factory_, kCmdFactoryBase);
    LoadMenu_IterateDynamicFactoryPresetsFiles(alg);
    for (SPresetGroupDesc& group : dynamicGroups_.groups)
        LoadMenu_IterateOneDynamicFactoryPresetsFile(menu, descriptions, group);
    EnsureUserFile(alg); // an unreadable file leaves the user list empty
    const std::string userTitle = files_[kUserFile].IsSet()
                                      ? "User Presets (" + files_[kUserFile].GetName() + ")"
                                      : std::string("User Presets");
    list(userTitle.c_str(), user_, kCmdUserBase);
    CMenuDescription* del = list("Delete User Preset", user_, kCmdDeleteBase);
    for (CMenuItem& item : del->items)
        item.kind = eMenuItemCommand;
    auto* commands = new CMenuDescription();
    commands->menuID = static_cast<int16_t>(descriptions.size());
    commands->items.emplace_back(Wide("Open User Presets File..."), kCmdOpenUserFile,
                                 eMenuItemCommand, 0);
    descriptions.push_back(commands);
    return 0;
}

void CPresetsManager::SaveMenu_PrepareMenu(CMenuDescription& menu) {
    menu.title = Wide("Save Preset");
    menu.items.clear();
    menu.items.emplace_back(Wide("Save Preset"), kCmdSavePreset, eMenuItemCommand, 0);
    menu.items.emplace_back(Wide("Save Preset To New File..."), kCmdSaveToNewFile, eMenuItemCommand,
                            0);
    menu.items.emplace_back(Wide("Save Presets To File As..."), kCmdSaveToFileAs, eMenuItemCommand,
                            0);
    menu.items.emplace_back(Wide("Save As Default Preset"), kCmdSaveAsDefault, eMenuItemCommand, 0);
}

long CPresetsManager::PopUp(const std::vector<CMenuDescription*>& descriptions,
                            KCPoint<short> where, long& command) {
    command = -1;
    KCMenuEx menu;
    KCMenuData& tree = menu.GetMenuData();
    for (const CMenuDescription* d : descriptions) {
        if (!tree.root.children.empty())
            menu.AppendSeparator();
        if (!d->title.empty()) { // the group's title, not choosable
            auto* title = new KCMenuItemData(d->title.c_str(), -1);
            title->flags |= kMenuItemDataDisabled;
            tree.root.insertSubMenuItem(title);
        }
        for (const CMenuItem& item : d->items)
            tree.root.insertSubMenuItem(
                new KCMenuItemData(item.title.c_str(), static_cast<short>(item.command)));
    }
    if (menuWindow_)
        return menu.ActivatePopUpMenu(*menuWindow_, where, command);
    const KCWindow none; // a chooser may still answer
    return menu.ActivatePopUpMenu(none, where, command);
}

long CPresetsManager::RunLoadMenuCommand(const CPublicAlg& alg, long command) {
    auto pick = [&](const std::vector<std::unique_ptr<CPresetInfo>>& list, long base) {
        const long i = command - base;
        return i >= 0 && i < static_cast<long>(list.size()) ? list[static_cast<size_t>(i)].get()
                                                            : nullptr;
    };
    if (command == kCmdOpenUserFile)
        return LoadMenu_OpenUserPresetsFile(alg);
    if (command >= kCmdFactoryBase && command < kCmdFactoryBase + kCmdRange)
        return LoadMenu_LoadPreset(alg, pick(factory_, kCmdFactoryBase));
    if (command >= kCmdUserBase && command < kCmdUserBase + kCmdRange)
        return LoadMenu_LoadPreset(alg, pick(user_, kCmdUserBase));
    if (command >= kCmdDeleteBase && command < kCmdDeleteBase + kCmdRange)
        return ReportUnchanged("The preset was not deleted.",
                               LoadMenu_DeletePreset(alg, pick(user_, kCmdDeleteBase)));
    if (command >= kCmdDynamicBase && command < kCmdDynamicBase + kCmdRange)
        return LoadMenu_LoadPluginSpecificPreset(alg,
                                                 static_cast<size_t>(command - kCmdDynamicBase));
    return ePresetInfoNotFound;
}

long CPresetsManager::RunSaveMenuCommand(const CPublicAlg& alg, long command) {
    const char* const unsaved = "The preset was not saved.";
    switch (command) {
    case kCmdSavePreset:
        return ReportUnchanged(unsaved, SaveMenu_SaveActiveSetup(alg));
    case kCmdSaveToNewFile:
        return ReportUnchanged(unsaved, SaveMenu_SaveToNewFile(alg));
    case kCmdSaveToFileAs:
        return ReportUnchanged("The presets were not saved.", SaveMenu_SaveToFileAs(alg));
    case kCmdSaveAsDefault:
        return ReportUnchanged(unsaved, SaveMenu_SaveAsDefaultPreset(alg));
    default:
        return ePresetInfoNotFound;
    }
}

long CPresetsManager::LoadPresetMenu(const CPublicAlg& alg, KCPoint<short> where) {
    KCMenuEx menu;
    std::vector<CMenuDescription*> descriptions;
    LoadMenu_PrepareMenu(alg, menu, descriptions);
    long command = -1;
    const long shown = PopUp(descriptions, where, command);
    for (CMenuDescription* d : descriptions)
        delete d;
    if (shown != 0 || command < 0)
        return shown != 0 ? shown : static_cast<long>(eUserCanceled);
    return RunLoadMenuCommand(alg, command);
}

long CPresetsManager::SavePresetMenu(const CPublicAlg& alg, KCPoint<short> where) {
    CMenuDescription description;
    SaveMenu_PrepareMenu(description);
    description.title.clear();
    long command = -1;
    const long shown = PopUp({&description}, where, command);
    if (shown != 0 || command < 0)
        return shown != 0 ? shown : static_cast<long>(eUserCanceled);
    return RunSaveMenuCommand(alg, command);
}

long CPresetsManager::ComputePresetIndex(unsigned long& index, bool next, int count) {
    if (count <= 0)
        return ePresetInfoNotFound;
    const auto n = static_cast<unsigned long>(count);
    index = next ? (index % n + 1) % n : (index % n + n - 1) % n;
    return 0;
}

long CPresetsManager::StepPreset(const CPublicAlg& alg, bool next) {
    std::vector<CPresetInfo*> all;
    for (const auto& p : factory_)
        all.push_back(p.get());
    for (const auto& p : user_)
        all.push_back(p.get());
    unsigned long index = stepIndex_;
    if (const long err = ComputePresetIndex(index, next, static_cast<int>(all.size())))
        return err;
    stepIndex_ = static_cast<uint32_t>(index);
    return LoadMenu_LoadPreset(alg, all[index]);
}

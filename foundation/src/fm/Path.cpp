#include "FMInternal.h"
#include "foundation/KCStFile.h"
#include "foundation/kvFMFolders.h"

#include <cerrno>
#include <cstring>
#include <sys/stat.h>
#include <vector>

namespace kvFM {

namespace detail {

KTPathType* NewPathRef(std::string text) {
    auto* ref = new KTPathType;
    ref->text = std::move(text);
    return ref;
}

KTErr StatusOfErrno(int err) {
    return StatusOfFSError(std::error_code(err, std::generic_category()));
}

std::string ParentText(const std::string& text) {
    const size_t slash = text.rfind('/');
    if (slash == std::string::npos || slash == 0)
        return "/";
    return text.substr(0, slash);
}

char* CopyOut(const std::string& text, KTPathString& out) {
    const size_t n = std::min<size_t>(text.size(), kPathStringSize - 1);
    std::memcpy(out, text.data(), n);
    out[n] = '\0';
    return out;
}

namespace {

bool IsSeparator(char c) {
    return c == '/' || c == '\\';
}

bool ComponentFollowsNameRule(const std::string& c) {
    if (c.empty())
        return false;
    for (unsigned char ch : c) {
        if ((ch >= 1 && ch <= 31) || ch == '<' || ch == '>' || ch == '|' || ch == '"')
            return false;
    }
    return true;
}

// Splits on both separators; empty components (doubled separators) vanish.
std::vector<std::string> Split(const char* text) {
    std::vector<std::string> parts;
    std::string cur;
    for (const char* p = text; *p != '\0'; ++p) {
        if (IsSeparator(*p)) {
            if (!cur.empty())
                parts.push_back(std::move(cur));
            cur.clear();
        } else {
            cur.push_back(*p);
        }
    }
    if (!cur.empty())
        parts.push_back(std::move(cur));
    return parts;
}

// Builds a normalised text: "." vanishes, "x/.." pairs vanish, a ".." with
// nothing before it stays.
std::string Join(bool absolute, const std::vector<std::string>& parts) {
    std::vector<const std::string*> kept;
    for (const auto& p : parts) {
        if (p == ".")
            continue;
        if (p == ".." && !kept.empty() && *kept.back() != "..") {
            kept.pop_back();
            continue;
        }
        kept.push_back(&p);
    }
    std::string out = absolute ? "/" : "";
    for (size_t i = 0; i < kept.size(); ++i) {
        if (i > 0)
            out += '/';
        out += *kept[i];
    }
    return out;
}

KTErr CheckParts(const std::vector<std::string>& parts) {
    for (const auto& p : parts)
        if (p != "." && p != ".." && !ComponentFollowsNameRule(p))
            return eFMTranslateFileNameFailed;
    return eNoErr;
}

} // namespace

KTErr BuildText(const char* text, std::string& out) {
    const auto parts = Split(text);
    if (KTErr err = CheckParts(parts))
        return err;
    out = Join(IsSeparator(text[0]), parts);
    if (out.size() > kMaxNativePath)
        return eFMPathTooLong;
    return eNoErr;
}

KTErr AppendComponents(std::string& text, const char* leaf) {
    auto parts = Split(text.c_str());
    const auto extra = Split(leaf);
    if (KTErr err = CheckParts(extra))
        return err;
    parts.insert(parts.end(), extra.begin(), extra.end());
    std::string result = Join(!text.empty() && text[0] == '/', parts);
    if (result.size() > kMaxNativePath)
        return eFMPathTooLong;
    text = std::move(result);
    return eNoErr;
}

} // namespace detail

using detail::CopyOut;

namespace {

bool IsNotFoundErrno(int err) {
    return err == ENOENT || err == ENOTDIR || err == ENAMETOOLONG || err == EINVAL || err == ELOOP;
}

bool StatOf(KTPathType* ref, struct stat& st) {
    return ref != nullptr && IsValid(ref) && ::stat(ref->text.c_str(), &st) == 0;
}

size_t LeafStart(const std::string& text) {
    if (text == "/")
        return 0;
    const size_t slash = text.rfind('/');
    return slash == std::string::npos ? 0 : slash + 1;
}

std::string LeafOf(const std::string& text) {
    return text.substr(LeafStart(text));
}

std::vector<std::string> Components(const std::string& text) {
    std::vector<std::string> parts;
    size_t i = 0;
    while (i < text.size()) {
        while (i < text.size() && text[i] == '/')
            ++i;
        const size_t j = text.find('/', i);
        const size_t end = j == std::string::npos ? text.size() : j;
        if (end > i)
            parts.push_back(text.substr(i, end - i));
        i = end;
    }
    return parts;
}

} // namespace

KTErr NormalizePathString(const char* text, KTPathString& out) {
    out[0] = '\0';
    if (text == nullptr)
        return eMemNullPointer;
    const size_t len = std::strlen(text);
    // A text is never cut: one that does not fit would name another file.
    if (len > kPathStringSize - 1 || len > detail::kMaxNativePath)
        return eFMPathTooLong;
    std::memcpy(out, text, len + 1);
    return eNoErr;
}

KTErr CreatePathRefFromString(const char* text, KTPathType*& out) {
    out = nullptr;
    if (text == nullptr)
        return eMemNullPointer;
    if (text[0] == '\0')
        return eFMPathTooShort;
    const size_t len = std::strlen(text);
    if (len > detail::kMaxNativePath)
        return eFMPathTooLong;
    std::string built;
    if (KTErr err = detail::BuildText(text, built))
        return err;
    if (built.empty() || built[0] != '/')
        return eFMIncompletePath;
    out = detail::NewPathRef(std::move(built));
    return eNoErr;
}

KTErr CreatePathRef(KTPathType* parent, const char* leaf, KTPathType*& out) {
    if (parent == nullptr)
        return eMemNullPointer;
    const bool inPlace = out == parent;
    std::string text = parent->text;
    KTErr err = eNoErr;
    if (leaf != nullptr && leaf[0] != '\0')
        err = detail::AppendComponents(text, leaf);
    if (err == eNoErr && (text.empty() || text[0] != '/'))
        err = eFMIncompletePath;
    if (err != eNoErr) {
        if (inPlace)
            DisposePathRef(out);
        else
            out = nullptr;
        return err;
    }
    if (inPlace)
        parent->text = std::move(text);
    else
        out = detail::NewPathRef(std::move(text));
    return eNoErr;
}

KTErr CreatePathRefToCacheFile(KTPathType* path, KTPathType*& out) {
    if (!IsValid(path))
        return eFMIllegalPathRef;
    KTPathType* cache = nullptr;
    KTErr err = CreateSystemFolderPathRef(eUserDomain, eQuorlCacheFolder, cache);
    if (err != eNoErr)
        return err;
    err = CreatePathRef(cache, path->text.c_str(), cache);
    if (err != eNoErr)
        return err;
    if (out == path)
        DisposePathRef(out);
    out = cache;
    return eNoErr;
}

KTErr DisposePathRef(KTPathType*& ref) {
    delete ref;
    ref = nullptr;
    return eNoErr;
}

bool IsValid(KTPathType* ref) {
    return ref != nullptr && !ref->text.empty() && ref->text[0] == '/';
}

bool DoesFileExist(KTPathType* ref) {
    if (ref == nullptr)
        return false;
    struct stat st;
    if (::lstat(ref->text.c_str(), &st) == 0)
        return true;
    return !IsNotFoundErrno(errno);
}

bool IsFolder(KTPathType* ref) {
    struct stat st;
    return StatOf(ref, st) && S_ISDIR(st.st_mode);
}

bool IsFile(KTPathType* ref) {
    struct stat st;
    return StatOf(ref, st) && !S_ISDIR(st.st_mode);
}

bool IsSamePath(KTPathType* a, KTPathType* b) {
    return a != nullptr && b != nullptr && a->text == b->text;
}

bool IsSameFile(KTPathType* a, KTPathType* b) {
    struct stat sa, sb;
    return StatOf(a, sa) && StatOf(b, sb) && sa.st_dev == sb.st_dev && sa.st_ino == sb.st_ino;
}

const char* GetPathAsString(KTPathType* ref) {
    return ref ? ref->text.c_str() : "";
}

char* GetNativePathAsString(KTPathType* ref, KTPathString& out) {
    return CopyOut(ref ? ref->text : std::string(), out);
}

char* GetPathAsPosixString(KTPathType* ref, KTPathString& out) {
    return CopyOut(ref ? ref->text : std::string(), out);
}

char* GetLeaf(KTPathType* ref, KTPathString& out) {
    return CopyOut(ref ? LeafOf(ref->text) : std::string(), out);
}

char* GetBase(KTPathType* ref, KTPathString& out) {
    if (ref == nullptr)
        return CopyOut(std::string(), out);
    const std::string leaf = LeafOf(ref->text);
    const size_t dot = leaf.rfind('.');
    return CopyOut(dot == std::string::npos ? leaf : leaf.substr(0, dot), out);
}

char* GetExtension(KTPathType* ref, KTPathString& out) {
    if (ref == nullptr)
        return CopyOut(std::string(), out);
    const std::string leaf = LeafOf(ref->text);
    const size_t dot = leaf.rfind('.');
    return CopyOut(dot == std::string::npos ? std::string() : leaf.substr(dot + 1), out);
}

// Works on whole components: "../" once for every component of `from` that
// `to` does not share, then the rest of `to`.
KTErr GetRelativeDifference(KTPathType* from, KTPathType* to, KTPathString& out) {
    out[0] = '\0';
    if (from == nullptr || to == nullptr)
        return eMemNullPointer;
    const auto a = Components(from->text);
    const auto b = Components(to->text);
    size_t common = 0;
    while (common < a.size() && common < b.size() && a[common] == b[common])
        ++common;
    std::string result;
    for (size_t i = common; i < a.size(); ++i)
        result += i + 1 < a.size() || common < b.size() ? "../" : "..";
    for (size_t i = common; i < b.size(); ++i) {
        result += b[i];
        if (i + 1 < b.size())
            result += '/';
    }
    CopyOut(result, out);
    return eNoErr;
}

KTErr GetFileSizeFromPathRef(KTPathType* ref, uint64_t& size) {
    size = 0;
    struct stat st;
    if (!StatOf(ref, st) || S_ISDIR(st.st_mode))
        return eFMIsNotAFile;
    size = static_cast<uint64_t>(st.st_size);
    return eNoErr;
}

KTErr GetFileLastWriteTimeFromPathRef(KTPathType* ref, int64_t& time) {
    time = 0;
    if (ref == nullptr)
        return eMemNullPointer;
    struct stat st;
    if (::stat(ref->text.c_str(), &st) != 0)
        return detail::StatusOfErrno(errno);
    time = static_cast<int64_t>(st.st_mtime);
    return eNoErr;
}

KTErr IsLocked(KTPathType* ref, bool& locked) {
    locked = false;
    if (ref == nullptr)
        return eMemNullPointer;
    if (!DoesFileExist(ref))
        return eFMFileNotFound;
    struct stat st;
    if (::stat(ref->text.c_str(), &st) != 0)
        return ConvertErrorPOSIX(errno);
    locked = (st.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0;
    return eNoErr;
}

bool IsWritable(KTPathType* ref) {
    KTOpenFileType* file = nullptr;
    if (OpenFile(ref, eWritePermission, file) != eNoErr)
        return false;
    CloseFile(file);
    return true;
}

// KCStPath

KCStPath::KCStPath() : KUValidatable(eFMIllegalPathRef), ref(nullptr) {}

KCStPath::KCStPath(const std::string& text) : KUValidatable(eFMIllegalPathRef), ref(nullptr) {
    if (!text.empty())
        error = CreatePathRefFromString(text.c_str(), ref);
}

KCStPath::KCStPath(KTPathType* folder, const std::string& leaf)
    : KUValidatable(eFMIllegalPathRef), ref(nullptr) {
    if (kvFM::IsValid(folder))
        error = CreatePathRef(folder, leaf.c_str(), ref);
}

KCStPath::KCStPath(const KCStPath& folder, const std::string& leaf)
    : KCStPath(folder.IsValid() ? folder.ref : nullptr, leaf) {}

KCStPath::KCStPath(const KCStPath& other) : KUValidatable(eFMIllegalPathRef), ref(nullptr) {
    if (&other != this && other.IsValid())
        error = CreatePathRef(other.ref, "", ref);
}

KCStPath::KCStPath(KEFoldersDomain domain, KESystemFolders kind)
    : KUValidatable(eFMIllegalPathRef), ref(nullptr) {
    error = CreateSystemFolderPathRef(domain, kind, ref);
}

KCStPath::~KCStPath() {
    DisposePathRef(ref);
}

KCStPath& KCStPath::operator=(const KCStPath& other) {
    return *this = other.ref;
}

KCStPath& KCStPath::operator=(KTPathType* other) {
    if (ref != nullptr && other != nullptr && IsSamePath(ref, other))
        return *this;
    Clear();
    if (other != nullptr)
        error = CreatePathRef(other, "", ref);
    return *this;
}

bool KCStPath::operator==(const KCStPath& other) const {
    return IsSamePath(ref, other.ref);
}

bool KCStPath::operator==(KTPathType* other) const {
    return IsSamePath(ref, other);
}

bool operator==(KTPathType* a, const KCStPath& b) {
    return b == a;
}

void KCStPath::Clear() {
    DisposePathRef(ref);
    error = eFMIllegalPathRef;
}

void KCStPath::TakeOver(KTPathType* other) {
    if (other == ref)
        return;
    DisposePathRef(ref);
    ref = other;
    error = kvFM::IsValid(ref) ? eNoErr : eFMIllegalPathRef;
}

void KCStPath::Append(const std::string& leaf) {
    if (ref == nullptr) {
        error = eFMIllegalPathRef;
        return;
    }
    error = CreatePathRef(ref, leaf.c_str(), ref);
}

void KCStPath::ResolveFileSystemLink() {
    if (ref == nullptr) {
        error = eFMIllegalPathRef;
        return;
    }
    if (!kvFM::IsFileSystemLink(ref))
        return;
    KTPathType* target = nullptr;
    const KTErr err = kvFM::ResolveFileSystemLink(ref, target);
    if (err == eNoErr) {
        DisposePathRef(ref);
        ref = target;
    }
    error = err;
}

bool KCStPath::IsValidSelf() const {
    return kvFM::IsValid(ref);
}

bool KCStPath::IsFolder() const {
    return kvFM::IsFolder(ref);
}
bool KCStPath::IsFile() const {
    return kvFM::IsFile(ref);
}
bool KCStPath::IsFileSystemLink() const {
    return kvFM::IsFileSystemLink(ref);
}
bool KCStPath::IsWritable() const {
    return kvFM::IsWritable(ref);
}
bool KCStPath::IsExist() const {
    return IsValid() && DoesFileExist(ref);
}

bool KCStPath::IsLocked() const {
    bool locked = false;
    return kvFM::IsLocked(ref, locked) == eNoErr && locked;
}

uint64_t KCStPath::GetFileSize() const {
    uint64_t size = 0;
    error = GetFileSizeFromPathRef(ref, size);
    return size;
}

int64_t KCStPath::GetFileLastWriteTime() const {
    int64_t time = 0;
    error = GetFileLastWriteTimeFromPathRef(ref, time);
    return time;
}

KTPathType* KCStPath::CreatePathRefCopy() const {
    KTPathType* copy = nullptr;
    if (ref != nullptr)
        CreatePathRef(ref, "", copy);
    return copy;
}

std::string KCStPath::GetPathString() const {
    return ref ? ref->text : std::string();
}

std::string KCStPath::GetNativePathString() const {
    KTPathString s;
    return GetNativePathAsString(ref, s);
}

std::string KCStPath::GetPosixPathString() const {
    KTPathString s;
    return GetPathAsPosixString(ref, s);
}

std::string KCStPath::GetLeaf() const {
    KTPathString s;
    return kvFM::GetLeaf(ref, s);
}

std::string KCStPath::GetBase() const {
    KTPathString s;
    return kvFM::GetBase(ref, s);
}

std::string KCStPath::GetExtension() const {
    KTPathString s;
    return kvFM::GetExtension(ref, s);
}

std::string KCStPath::GetRelativeDifference(KTPathType* to) const {
    KTPathString s;
    if (kvFM::GetRelativeDifference(ref, to, s) != eNoErr)
        return std::string();
    return s;
}

std::string KCStPath::GetRelativeDifference(const KCStPath& to) const {
    return GetRelativeDifference(to.ref);
}

KCStCachePath::KCStCachePath(const KCStPath& file) : KCStPath(file) {
    if (IsValid())
        error = CreatePathRefToCacheFile(ref, ref);
}

KCStPathAbsoluteOrRelative::KCStPathAbsoluteOrRelative(const std::string& text) : KCStPath(text) {
    if (IsValid() || text.empty())
        return;
    KTPathType* current = nullptr;
    error = CreateSystemFolderPathRef(eUserDomain, eCurrentFolder, current);
    if (error != eNoErr)
        return;
    const KTErr err = CreatePathRef(current, text.c_str(), current);
    TakeOver(current);
    if (err != eNoErr)
        error = err;
}

} // namespace kvFM

#include "foundation/KUDLL.h"

#include <cerrno>
#include <cstring>
#include <dlfcn.h>
#include <sys/stat.h>

namespace {

void* HandleOf(KTNativeDLLRefType* ref) {
    return reinterpret_cast<void*>(ref);
}

// dlerror gives only a text: a missing file is found by looking for it, a
// missing dependency by the loader's wording.
KTErr StatusOfLoadFailure(const std::string& file, const char* message) {
    struct stat st;
    if (::stat(file.c_str(), &st) != 0 && (errno == ENOENT || errno == ENOTDIR))
        return eFMFileNotFound;
    if (message != nullptr && std::strstr(message, "No such file or directory") != nullptr)
        return eFMFileNotFound;
    return eGenericErr;
}

} // namespace

KTErr KULoadDLL(const kvFM::KCStPath& path, long, KTNativeDLLRefType*& out) {
    out = nullptr;
    if (!path.IsValid())
        return path.GetError() != eNoErr ? path.GetError() : eFMIllegalPathRef;
    const std::string file = path.GetPathString();
    ::dlerror();
    void* handle = ::dlopen(file.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (handle == nullptr)
        return StatusOfLoadFailure(file, ::dlerror());
    out = reinterpret_cast<KTNativeDLLRefType*>(handle);
    return eNoErr;
}

void* KUGetSymbol(KTNativeDLLRefType* ref, const char* name) {
    if (ref == nullptr || name == nullptr)
        return nullptr;
    return ::dlsym(HandleOf(ref), name);
}

KTErr KUGetSymbol(KTNativeDLLRefType* ref, const std::string& name, void*& address) {
    address = nullptr;
    if (ref == nullptr)
        return eMemNullPointer;
    ::dlerror();
    void* symbol = ::dlsym(HandleOf(ref), name.c_str());
    if (::dlerror() != nullptr)
        return eGenericErr; // a missing procedure
    address = symbol;
    return eNoErr;
}

void KUReleaseDLL(KTNativeDLLRefType*& ref) {
    if (ref != nullptr)
        ::dlclose(HandleOf(ref));
    ref = nullptr;
}

#include "hosting/PluginLoader.h"

#include "foundation/KUDLL.h"

#include <dlfcn.h>

const char* const kPluginEntryPointNames[kPluginEntryPointCount] = {
#define KP_ENTRY(name, params) #name,
#include "hosting/PluginEntryPoints.def"
#undef KP_ENTRY
};

namespace {
void (*beforeLibraryClose)() = nullptr;
} // namespace

void SetBeforePluginLibraryClose(void (*hook)()) {
    beforeLibraryClose = hook;
}

CPluginLoaderAbs::CPluginLoaderAbs() {
    InitEntryNames();
}

void CPluginLoaderAbs::InitEntryNames() {
    for (const char* name : kPluginEntryPointNames)
        names[name] = nullptr;
}

void CPluginLoaderAbs::CopyEntryTable() {
    // The table is the names' function pointers in order.
    auto* slots = reinterpret_cast<void**>(&entries);
    for (size_t i = 0; i < kPluginEntryPointCount; ++i)
        slots[i] = translate(GetEntry(kPluginEntryPointNames[i]));
}

void* CPluginLoaderAbs::GetEntry(const std::string& name) {
    return names[name];
}

KTErr CPluginLoaderDL::Load(const QuorlComponentInfo& component) {
    KTErr status = eNoErr;
    try {
        KTNativeDLLRefType* library = nullptr;
        status = KULoadDLL(component.Path(), 0, library);
        module = reinterpret_cast<KTNativeContainerType*>(library);
        if (status == eNoErr && library == nullptr)
            status = eGenericErr;
        if (status == eNoErr)
            status = RMAttachResContainer(module, container);
        if (status == eNoErr) {
            for (auto& [name, address] : names) {
                void* resolved = nullptr;
                if ((status = KUGetSymbol(library, name, resolved)) != eNoErr ||
                    resolved == nullptr) {
                    status = eGenericErr;
                    break;
                }
                address = resolved;
            }
        }
        if (status == eNoErr) {
            CopyEntryTable();
            return eNoErr;
        }
    } catch (...) {
        if (status == eNoErr)
            status = eGenericErr;
    }
    Unload();
    return status;
}

KTErr CPluginLoaderDL::Unload() {
    KTErr result = eNoErr;
    if (container != nullptr)
        result = RMDetachResContainer(container);
    container = nullptr;
    if (module != nullptr && beforeLibraryClose != nullptr)
        beforeLibraryClose();
    if (module != nullptr && ::dlclose(module) != 0 && result == eNoErr)
        result = eGenericErr;
    module = nullptr;
    InitEntryNames();
    CopyEntryTable();
    return result;
}

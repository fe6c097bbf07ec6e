// Turning a plug-in file into a table of entry points: the library is
// loaded, attached as a resource container and every entry point bound by
// name. Binding is all or nothing.
#pragma once

#include "hosting/ComponentInfo.h"
#include "hosting/PluginInterface.h"

#include "foundation/KTErr.h"
#include "foundation/RM.h"

#include <map>
#include <string>

class CPluginLoaderAbs {
public:
    // Maps a resolved address to the pointer the table stores.
    using TranslateFunc = void* (*)(void* address);
    static void* TranslateEntry(void* address) { return address; }

    CPluginLoaderAbs();
    virtual ~CPluginLoaderAbs() = default;
    CPluginLoaderAbs(const CPluginLoaderAbs&) = delete;
    CPluginLoaderAbs& operator=(const CPluginLoaderAbs&) = delete;

    // Binds the library named by the component's file path.
    virtual KTErr Load(const QuorlComponentInfo& component) = 0;
    // Releases the library; the table and every name are null again.
    virtual KTErr Unload() = 0;

    // Every name with a null address.
    void InitEntryNames();
    // Each table position from its name's address, through the translator.
    void CopyEntryTable();
    // The address bound to a name (null when unbound).
    void* GetEntry(const std::string& name);

    bool IsLoaded() const { return module != nullptr; }
    KTNativeContainerType* GetModule() const { return module; }
    KTResContainerType* GetResContainer() const { return container; }
    const SPluginEntryPoints& Entries() const { return entries; }

protected:
    SPluginEntryPoints entries;
    TranslateFunc translate = TranslateEntry;
    std::map<std::string, void*> names;
    KTResContainerType* container = nullptr;
    KTNativeContainerType* module = nullptr;
};

// The loader over the dynamic linker.
class CPluginLoaderDL : public CPluginLoaderAbs {
public:
    ~CPluginLoaderDL() override = default;

    // eFMFileNotFound for a missing library (or dependency), the resource
    // manager's status when it cannot be attached, eGenericErr for a
    // missing entry point; nothing of a failed load is kept.
    KTErr Load(const QuorlComponentInfo& component) override;
    // eGenericErr when the library cannot be closed (it is forgotten all
    // the same).
    KTErr Unload() override;
};

// Called before a plug-in's library is closed: the program deletes what the
// library's code may still be reached from (windows waiting for deletion
// with the library's event handlers). Null: nothing to do.
void SetBeforePluginLibraryClose(void (*hook)());

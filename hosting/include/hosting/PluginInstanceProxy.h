// The host's handle of one plug-in instance: it owns the loader and the
// instance record, keeps the loaded, instantiated and editor flags, and
// calls the bound entry points with the record first.
#pragma once

#include "hosting/ComponentInfo.h"
#include "hosting/NativeProcessMemory.h"
#include "hosting/PluginInterface.h"
#include "hosting/PluginLoader.h"

#include "foundation/KCStPath.h"
#include "foundation/KTErr.h"
#include "foundation/KUDLL.h"
#include "foundation/KUValidatable.h"
#include "foundation/XMLElement.h"

#include <string>
#include <vector>

// The module and the function of a plug-in's native processing.
class KCNativeProcessFunc : public KUValidatable {
public:
    KCNativeProcessFunc() : KUValidatable(eSomeThingNotInitailzed) {}
    KCNativeProcessFunc(const kvFM::KCStPath& path, const std::string& name);
    ~KCNativeProcessFunc() override { UnloadProcessFunc(); }
    KCNativeProcessFunc(const KCNativeProcessFunc&) = delete;
    KCNativeProcessFunc& operator=(const KCNativeProcessFunc&) = delete;

    // Loads the module and fetches the function; the status tells how.
    KTErr LoadProcessFunc(const kvFM::KCStPath& path, const std::string& name);
    // The address of a name in the loaded module (null when invalid or not
    // found; the status tells which).
    void* GetAFunc(const std::string& name);
    NativeProcessFunction GetMainProcessFunc() const { return IsValid() ? function : nullptr; }
    void UnloadProcessFunc();
    const kvFM::KCStPath& GetPath() const { return path; }

private:
    kvFM::KCStPath path;
    KTNativeDLLRefType* module = nullptr;
    NativeProcessFunction function = nullptr;
};

class KCPluginInstanceProxy : public KUValidatable {
public:
    enum : uint32_t { kLoaded = 1, kInstantiated = 2, kEditor = 4 };

    KCPluginInstanceProxy() : KCPluginInstanceProxy(QuorlComponentInfo()) {}
    explicit KCPluginInstanceProxy(const QuorlComponentInfo& component);
    // Over a loader that another proxy owns and has loaded: the record takes
    // its module and the proxy counts as loaded; it never unloads it.
    explicit KCPluginInstanceProxy(CPluginLoaderAbs& sharedLoader);
    ~KCPluginInstanceProxy() override = default;
    KCPluginInstanceProxy(const KCPluginInstanceProxy&) = delete;
    KCPluginInstanceProxy& operator=(const KCPluginInstanceProxy&) = delete;

    // The stateful operations: each stores its result as the status.
    KTErr Load();
    KTErr Unload();
    KTErr CreateInstance();
    // Clears the record's window field afterwards (the editor view owns
    // the window).
    KTErr DeleteInstance();
    KTErr CreateGUI();
    KTErr InitGUI();

    bool IsLoaded() const { return (flags & kLoaded) && IsValid(); }
    bool IsInstantiated() const { return (flags & kInstantiated) && IsValid(); }
    bool HasGUI() const { return (flags & kEditor) && IsValid(); }
    uint32_t GetFlags() const { return flags; }
    KCFourCC GetComponentType() const { return component.componentType; }
    KCFourCC GetComponentSubType() const { return component.componentSubType; }
    const QuorlComponentInfo& GetComponent() const { return component; }
    PluginInstance* GetInstance() const { return instance; }
    CPluginLoaderAbs& GetLoader() const { return *loader; }
    bool SharesLoader() const { return loader != &ownLoader; }

    // While loaded and not instantiated, the record's module becomes the one
    // the resource manager holds for the loader's resource container; the
    // resource manager's status, or the current status when the state does
    // not allow it (the record unchanged then).
    KTErr SetModuleFromResourceManager();
    // A new component for the proxy and its record.
    void SetComponent(const QuorlComponentInfo& newComponent);
    // Shifts the component's sub-type code alphanumerically by `count` and
    // copies the component into the record.
    void OffsetSubType(long count);
    // The component is of the networked-shell type 'vxPI'.
    bool IsNetworkedShell() const;
    const SPluginEntryPoints& Entries() const { return loader->Entries(); }

    // Calls one entry point with the record first; -1 when it is not bound.
    template <auto Entry, typename... Args>
    int32_t Call(Args... args) const {
        const auto function = loader->Entries().*Entry;
        return function != nullptr ? function(instance, args...) : eGenericErr;
    }

    // Forwarders with a rule of their own.
    int32_t SetWindow(KCWindow* window);
    KCWindow* GetWindowRecord() const { return instance->window; }
    void SetWindowRecord(KCWindow* window) { instance->window = window; }
    int32_t InitAlgToHardware(int32_t sampleRate, int32_t refValue);
    int32_t GetChunk(char** data, int32_t* size);
    int32_t SetChunk(char* data, uint32_t size);
    // The plug-in's 'XPst' chunk copied into `out`, and the plug-in's block
    // freed. A failing call, or one that hands back no block, copies and
    // frees nothing.
    int32_t CopyChunk(std::vector<char>& out);
    int32_t GetPluginInfo(uint32_t category, uint32_t item, int32_t* out);
    int32_t SetPluginInfo(uint32_t category, uint32_t item, int32_t count, char* data);
    int32_t GetViewRect(KURect<short>* rect);
    int32_t DoIdle();

    // The native processing (sizes, buffers, the process function).
    KTErr QuerySizes(KCNativeProcessMemory& memory);
    KTErr Allocate(KCNativeProcessMemory& memory);
    KTErr LoadNativeProcessFunc(KCNativeProcessFunc& holder);
    // The plug-in's own XML description ('mmob'/'pcmX': the plug-in stores
    // the address of a malloc'd, zero-terminated text, which is freed here)
    // read by `object` from its root element.
    KTErr ReadInfoXML(kvXML::CXMLable& object);
    // The plug-in's external buffer descriptions ('numb'/'ebuf', then
    // 'fill'/'reqR' over that many default records).
    KTErr GetExternBuffers(std::vector<sEXT_BUFF>& buffers);

private:
    KTErr Store(KTErr status);

    QuorlComponentInfo component;
    CPluginLoaderAbs* loader;
    PluginInstance* instance;
    uint32_t flags = 0;
    PluginInstance ownInstance;
    CPluginLoaderDL ownLoader;
};

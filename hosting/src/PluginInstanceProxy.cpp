#include "hosting/PluginInstanceProxy.h"

#include "hosting/HostCallbacks.h"

#include "foundation/XMLText.h"

#include <cstdlib>
#include <cstring>
#include <memory>
#include <vector>

namespace {

constexpr uint32_t Code(const char (&s)[5]) {
    return KV_FOURCC(s);
}

// A text the plug-in writes into a zero-filled buffer: cut at its last
// byte, whatever the plug-in wrote.
std::string TextOf(std::vector<char>& buffer) {
    buffer.back() = '\0';
    return std::string(buffer.data());
}

} // namespace

// KCNativeProcessFunc

KCNativeProcessFunc::KCNativeProcessFunc(const kvFM::KCStPath& path, const std::string& name)
    : KCNativeProcessFunc() {
    LoadProcessFunc(path, name);
}

KTErr KCNativeProcessFunc::LoadProcessFunc(const kvFM::KCStPath& newPath, const std::string& name) {
    UnloadProcessFunc();
    if (path.GetPathRef() == nullptr || newPath.GetPathRef() == nullptr || !(path == newPath))
        path = newPath;
    error = KULoadDLL(path, 0, module);
    if (error == eNoErr)
        function = reinterpret_cast<NativeProcessFunction>(GetAFunc(name));
    return error;
}

void* KCNativeProcessFunc::GetAFunc(const std::string& name) {
    if (!IsValid())
        return nullptr;
    void* address = nullptr;
    error = KUGetSymbol(module, name, address);
    return error == eNoErr ? address : nullptr;
}

void KCNativeProcessFunc::UnloadProcessFunc() {
    if (module != nullptr)
        KUReleaseDLL(module);
    module = nullptr;
    function = nullptr;
    error = eSomeThingNotInitailzed;
}

// KCPluginInstanceProxy

KCPluginInstanceProxy::KCPluginInstanceProxy(const QuorlComponentInfo& component)
    : component(component), loader(&ownLoader), instance(&ownInstance) {}

KCPluginInstanceProxy::KCPluginInstanceProxy(CPluginLoaderAbs& sharedLoader)
    : loader(&sharedLoader), instance(&ownInstance) {
    instance->module = sharedLoader.GetModule();
    flags = kLoaded;
}

KTErr KCPluginInstanceProxy::SetModuleFromResourceManager() {
    if (!(flags & kLoaded) || (flags & kInstantiated))
        return error;
    KTNativeContainerType* module = nullptr;
    const KTErr status = RMGetNativeContainer(loader->GetResContainer(), module);
    if (status == eNoErr)
        instance->module = module;
    return status;
}

void KCPluginInstanceProxy::SetComponent(const QuorlComponentInfo& newComponent) {
    component = newComponent;
    instance->componentInfo = component;
}

void KCPluginInstanceProxy::OffsetSubType(long count) {
    component.componentSubType = OffsetOSTypeAlphanumerically(component.componentSubType, count);
    instance->componentInfo = component;
}

bool KCPluginInstanceProxy::IsNetworkedShell() const {
    return component.componentType.Get() == kNetworkedShellType.Get();
}

KTErr KCPluginInstanceProxy::Store(KTErr status) {
    error = status;
    return status;
}

KTErr KCPluginInstanceProxy::Load() {
    const KTErr status = loader->Load(component);
    if (status == eNoErr) {
        instance->componentInfo = component;
        instance->module = loader->GetModule();
        flags |= kLoaded;
    }
    return Store(status);
}

KTErr KCPluginInstanceProxy::Unload() {
    if (!(flags & kLoaded) || loader != &ownLoader)
        return error;
    const KTErr status = loader->Unload();
    if (status == eNoErr) {
        flags &= ~kLoaded;
        instance->module = nullptr;
    }
    return Store(status);
}

KTErr KCPluginInstanceProxy::CreateInstance() {
    if (!(flags & kLoaded) || (flags & kInstantiated))
        return error;
    instance->componentInfo = component;
    const KTErr status = Call<&SPluginEntryPoints::KP_CreateInstance>();
    if (status == eNoErr)
        flags |= kInstantiated;
    return Store(status);
}

KTErr KCPluginInstanceProxy::DeleteInstance() {
    if (!(flags & kInstantiated))
        return error;
    const KTErr status = Call<&SPluginEntryPoints::KP_DeleteInstance>();
    instance->window = nullptr; // the editor view owns and deletes it
    if (status == eNoErr)
        flags &= ~(kInstantiated | kEditor);
    return Store(status);
}

KTErr KCPluginInstanceProxy::CreateGUI() {
    if (!(flags & kInstantiated) || (flags & kEditor))
        return error;
    const KTErr status = Call<&SPluginEntryPoints::KP_CreateGUI>();
    if (status == eNoErr)
        flags |= kEditor;
    else
        flags &= ~kEditor;
    return Store(status);
}

KTErr KCPluginInstanceProxy::InitGUI() {
    return Store(Call<&SPluginEntryPoints::KP_InitGUI>());
}

int32_t KCPluginInstanceProxy::SetWindow(KCWindow* window) {
    instance->window = window;
    Call<&SPluginEntryPoints::KP_SetWindow>();
    return 0;
}

int32_t KCPluginInstanceProxy::InitAlgToHardware(int32_t sampleRate, int32_t refValue) {
    return Call<&SPluginEntryPoints::KP_InitAlgToHardware>(&KCCallBackCommon::ExecCallBack,
                                                           refValue, sampleRate);
}

int32_t KCPluginInstanceProxy::GetChunk(char** data, int32_t* size) {
    return Call<&SPluginEntryPoints::KP_GetChunk>(Code("XPst"), data, size, true);
}

int32_t KCPluginInstanceProxy::CopyChunk(std::vector<char>& out) {
    char* data = nullptr;
    int32_t size = 0;
    const int32_t status = GetChunk(&data, &size);
    if (status != eNoErr || data == nullptr)
        return status;
    if (size > 0)
        out.assign(data, data + size);
    else
        out.clear();
    std::free(data); // the plug-in allocated it on the process heap
    return eNoErr;
}

int32_t KCPluginInstanceProxy::SetChunk(char* data, uint32_t size) {
    return Call<&SPluginEntryPoints::KP_SetChunk>(Code("XPst"), data, size);
}

int32_t KCPluginInstanceProxy::GetPluginInfo(uint32_t category, uint32_t item, int32_t* out) {
    return Call<&SPluginEntryPoints::KP_GetPluginInfo>(category, item, out);
}

int32_t KCPluginInstanceProxy::SetPluginInfo(uint32_t category, uint32_t item, int32_t count,
                                             char* data) {
    return Call<&SPluginEntryPoints::KP_SetPluginInfo>(category, item, count, data);
}

int32_t KCPluginInstanceProxy::GetViewRect(KURect<short>* rect) {
    return Call<&SPluginEntryPoints::KP_GetViewRect>(rect);
}

int32_t KCPluginInstanceProxy::DoIdle() {
    return Call<&SPluginEntryPoints::KP_DoIdle>();
}

KTErr KCPluginInstanceProxy::QuerySizes(KCNativeProcessMemory& memory) {
    const std::pair<uint32_t, int32_t*> sizes[] = {{Code("abst"), &memory.instanceDataSize},
                                                   {Code("coef"), &memory.coefficientSize},
                                                   {Code("stat"), &memory.statesSize}};
    for (const auto& [item, field] : sizes) {
        if (KTErr err = GetPluginInfo(Code("size"), item, field))
            return err;
        if (*field < 0)
            return eFMWrongParameters;
    }
    int32_t count = 0;
    if (KTErr err = GetPluginInfo(Code("numb"), Code("ebuf"), &count))
        return err;
    if (count < 0 || count > 1200)
        return eFMWrongParameters;
    memory.externBuffers.assign(static_cast<size_t>(count), sEXT_BUFF());
    if (count == 0)
        return eNoErr;
    // The plug-in fills the records in place through the value pointer.
    if (KTErr err = GetPluginInfo(Code("fill"), Code("ebuf"),
                                  reinterpret_cast<int32_t*>(memory.externBuffers.data())))
        return err;
    uint64_t bytes = 0;
    for (const sEXT_BUFF& b : memory.externBuffers)
        bytes += KCNativeProcessMemory::BufferBytes(b);
    if (bytes > INT32_MAX)
        return eMemNewTPtrFailed;
    memory.externBytes = static_cast<int32_t>(bytes);
    return eNoErr;
}

KTErr KCPluginInstanceProxy::Allocate(KCNativeProcessMemory& memory) {
    if (KTErr err = memory.Layout())
        return err;
    if (memory.externBuffers.empty())
        return eNoErr;
    return SetPluginInfo(Code("ebuf"), Code("ebuf"),
                         static_cast<int32_t>(memory.externBuffers.size()),
                         reinterpret_cast<char*>(memory.externBuffers.data()));
}

KTErr KCPluginInstanceProxy::LoadNativeProcessFunc(KCNativeProcessFunc& holder) {
    std::vector<char> path(2048, '\0'), name(256, '\0');
    if (KTErr err =
            GetPluginInfo(Code("gstr"), Code("sPTP"), reinterpret_cast<int32_t*>(path.data())))
        return err;
    const kvFM::KCStPath module(TextOf(path));
    if (!module.IsValid())
        return module.GetError();
    if (KTErr err =
            GetPluginInfo(Code("gstr"), Code("sPFN"), reinterpret_cast<int32_t*>(name.data())))
        return err;
    return holder.LoadProcessFunc(module, TextOf(name));
}

KTErr KCPluginInstanceProxy::ReadInfoXML(kvXML::CXMLable& object) {
    char* text = nullptr;
    const KTErr status =
        GetPluginInfo(Code("mmob"), Code("pcmX"), reinterpret_cast<int32_t*>(&text));
    // The block is the host's to free, whatever the plug-in answered.
    const std::unique_ptr<char, decltype(&std::free)> block(text, &std::free);
    if (status != eNoErr)
        return status;
    kvXML::CXMLElement root;
    kvXML::CXMLTreeBuilder builder(root);
    if (KTErr err = builder.BuildFromSingleBuffer(text, text != nullptr ? std::strlen(text) : 0))
        return err;
    object.ReadFromXML(&root);
    return eNoErr;
}

KTErr KCPluginInstanceProxy::GetExternBuffers(std::vector<sEXT_BUFF>& buffers) {
    buffers.clear();
    int32_t count = 0;
    if (KTErr err = GetPluginInfo(Code("numb"), Code("ebuf"), &count))
        return err;
    if (count < 0 || count > 1200)
        return eFMWrongParameters;
    buffers.assign(static_cast<size_t>(count), sEXT_BUFF());
    if (count == 0)
        return eNoErr;
    return GetPluginInfo(Code("fill"), Code("reqR"), reinterpret_cast<int32_t*>(buffers.data()));
}

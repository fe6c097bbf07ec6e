// Loads a plug-in module, binds its 59 entry points (all or none), fills an
// instance record and runs the entry points named on the command line, one
// line of output per call: "<name> <status>" (and the value it read back).
//
//   kp_harness MODULE CALL...
//   CALL: KP_CreateInstance | KP_InitAlgToHardware=RATE | KP_UpdatePar=INDEX,VALUE
//         | KP_GetParamState=INDEX | KP_InitAlg | KP_UpdateAlg | KP_DeleteInstance | ...
#include "hosting/PluginInterface.h"

#include <dlfcn.h>

#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

const char* const kNames[] = {
#define KP_ENTRY(name, params) #name,
#include "hosting/PluginEntryPoints.def"
#undef KP_ENTRY
};

bool Bind(void* module, SPluginEntryPoints& table) {
    void** slots = reinterpret_cast<void**>(&table);
    for (size_t i = 0; i < kPluginEntryPointCount; ++i) {
        slots[i] = ::dlsym(module, kNames[i]);
        if (!slots[i]) {
            std::printf("missing %s\n", kNames[i]);
            table = SPluginEntryPoints{};
            return false;
        }
    }
    return true;
}

// The arguments after '=' as numbers (comma separated).
long Arg(const std::string& call, int index) {
    size_t at = call.find('=');
    if (at == std::string::npos)
        return 0;
    ++at;
    for (int i = 0; i < index; ++i) {
        at = call.find(',', at);
        if (at == std::string::npos)
            return 0;
        ++at;
    }
    return std::strtol(call.c_str() + at, nullptr, 0);
}

int32_t Callback(int32_t, int32_t, void*, void*, void*) {
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: kp_harness MODULE CALL...\n");
        return 2;
    }
    void* module = ::dlopen(argv[1], RTLD_NOW | RTLD_LOCAL);
    if (!module) {
        std::printf("dlopen failed: %s\n", ::dlerror());
        return 1;
    }
    SPluginEntryPoints kp;
    if (!Bind(module, kp)) {
        ::dlclose(module);
        return 1;
    }
    std::printf("bound %zu\n", kPluginEntryPointCount);
    std::fflush(stdout);
    auto* instance = new PluginInstance;
    instance->module = static_cast<KTNativeContainerType*>(module);
    int failures = 0;
    for (int i = 2; i < argc; ++i) {
        const std::string call = argv[i];
        const std::string name = call.substr(0, call.find('='));
        int32_t status = 0;
        std::string extra;
        if (name == "KP_CreateInstance") {
            status = kp.KP_CreateInstance(instance);
        } else if (name == "KP_DeleteInstance") {
            status = kp.KP_DeleteInstance(instance);
        } else if (name == "KP_InitAlgToHardware") {
            status =
                kp.KP_InitAlgToHardware(instance, &Callback, 0, static_cast<int32_t>(Arg(call, 0)));
        } else if (name == "KP_InitAlg") {
            status = kp.KP_InitAlg(instance);
        } else if (name == "KP_UpdateAlg") {
            status = kp.KP_UpdateAlg(instance);
        } else if (name == "KP_UpdatePar") {
            BUFFER_HEADER* out = nullptr;
            status = kp.KP_UpdatePar(instance, static_cast<int32_t>(Arg(call, 0)),
                                     static_cast<int32_t>(Arg(call, 1)), &out);
            extra = out ? " buffers" : "";
        } else if (name == "KP_GetParamState") {
            double value = 0;
            status = kp.KP_GetParamState(instance, static_cast<int32_t>(Arg(call, 0)), &value);
            extra = " " + std::to_string(value);
        } else if (name == "KP_CreateGUI") {
            status = kp.KP_CreateGUI(instance);
        } else if (name == "KP_InitGUI") {
            status = kp.KP_InitGUI(instance);
        } else if (name == "KP_DoIdle") {
            status = kp.KP_DoIdle(instance);
        } else if (name == "KP_GetProcessCode") {
            status = kp.KP_GetProcessCode(instance, nullptr);
        } else {
            std::printf("%s unknown\n", call.c_str());
            ++failures;
            continue;
        }
        std::printf("%s %d%s\n", call.c_str(), status, extra.c_str());
        std::fflush(stdout);
    }
    delete instance;
    ::dlclose(module);
    return failures == 0 ? 0 : 1;
}

// Loads a plug-in module, binds its 59 entry points (all or none), fills an
// instance record and runs the entry points named on the command line, one
// line of output per call: "<name> <status>" (and the value it read back).
//
//   kp_harness MODULE CALL...
//   CALL: KP_CreateInstance | KP_InitAlgToHardware=RATE | KP_UpdatePar=INDEX,VALUE
//         | KP_GetParamState=INDEX | KP_InitAlg | KP_UpdateAlg | KP_DeleteInstance
//         | KP_GetPluginInfo=CATEGORY,ITEM (four-character codes)
//         | KP_SetPluginInfo=ebuf (the host's external-buffer hand-over)
//         | KP_MetersGetInfo=METER | KP_LocateDSP | KP_TransportChange | ...
#include "hosting/BufferDescriptors.h"
#include "hosting/MeterInfo.h"
#include "hosting/PluginInterface.h"

#include <dlfcn.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

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

// The four-character code given as argument `index` ("size" -> 'size').
uint32_t CodeArg(const std::string& call, int index) {
    size_t at = call.find('=');
    for (int i = 0; at != std::string::npos && i < index; ++i)
        at = call.find(',', at + 1);
    if (at == std::string::npos || call.size() < at + 5)
        return 0;
    uint32_t code = 0;
    for (size_t k = 1; k <= 4; ++k)
        code = (code << 8) | static_cast<uint8_t>(call[at + k]);
    return code;
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
        } else if (name == "KP_GetPluginInfo") {
            int32_t value = 0;
            status = kp.KP_GetPluginInfo(instance, CodeArg(call, 0), CodeArg(call, 1), &value);
            extra = " " + std::to_string(value);
        } else if (name == "KP_SetPluginInfo") {
            // As the host does: the count, the records filled in place, each
            // given its place (Offset 0, refCon its index), then handed back.
            int32_t count = 0;
            status = kp.KP_GetPluginInfo(instance, KV_FOURCC("numb"), KV_FOURCC("ebuf"), &count);
            std::vector<sEXT_BUFF> records(static_cast<size_t>(count > 0 ? count : 0));
            if (status == 0 && !records.empty())
                status = kp.KP_GetPluginInfo(instance, KV_FOURCC("fill"), KV_FOURCC("ebuf"),
                                             reinterpret_cast<int32_t*>(records.data()));
            for (size_t k = 0; k < records.size(); ++k) {
                records[k].Offset = 0;
                records[k].refCon = static_cast<int32_t>(k);
            }
            if (status == 0)
                status = kp.KP_SetPluginInfo(instance, KV_FOURCC("ebuf"), KV_FOURCC("ebuf"), count,
                                             reinterpret_cast<char*>(records.data()));
            for (const sEXT_BUFF& r : records)
                extra += " " + FourCCToString(r.MemSpace) + ":" + std::to_string(r.Count);
        } else if (name == "KP_MetersGetInfo") {
            QuorlMeterInfo info;
            status = kp.KP_MetersGetInfo(instance, static_cast<int32_t>(Arg(call, 0)), &info);
            char text[160];
            std::snprintf(text, sizeof text, " %d %d %g %g %g %s %s", info.meterCount, info.channel,
                          info.minimumDb, info.maximumDb, info.clipDb, info.name, info.units);
            extra = text;
        } else if (name == "KP_MetersReadFromDSP") {
            status = kp.KP_MetersReadFromDSP(instance);
        } else if (name == "KP_MetersGetValue") {
            double value = 0;
            int32_t clip = 0;
            status =
                kp.KP_MetersGetValue(instance, static_cast<int32_t>(Arg(call, 0)), &value, &clip);
            extra = " " + std::to_string(value) + " " + std::to_string(clip);
        } else if (name == "KP_LocateDSP") {
            int32_t a = 0, b = 0;
            status = kp.KP_LocateDSP(instance, nullptr, &a, &b);
        } else if (name == "KP_RetrieveVXProcessCode") {
            char buffer[64] = {};
            status = kp.KP_RetrieveVXProcessCode(instance, 0, 0, buffer);
        } else if (name == "KP_GetVXProcessSize") {
            uint32_t size = 7;
            status = kp.KP_GetVXProcessSize(instance, 0, 0, &size);
            extra = " " + std::to_string(size);
        } else if (name == "KP_LoadFromBuffer") {
            int32_t buffer[16] = {};
            status = kp.KP_LoadFromBuffer(instance, buffer, KCFourCC(KV_FOURCC("setA")),
                                          static_cast<int32_t>(sizeof buffer));
        } else if (name == "KP_SaveToBuffer") {
            char buffer[64] = {};
            status = kp.KP_SaveToBuffer(instance, buffer, KCFourCC(KV_FOURCC("setA")));
        } else if (name == "KP_GetIOPortStatus") {
            int32_t value = 0;
            status = kp.KP_GetIOPortStatus(instance, 0, 0, &value);
        } else if (name == "KP_SetIOPortStatus") {
            status = kp.KP_SetIOPortStatus(instance, 0, 0, 1);
        } else if (name == "KP_ReceiveMessage") {
            char message[] = "hello";
            status = kp.KP_ReceiveMessage(instance, message, KCFourCC(KV_FOURCC("text")));
        } else if (name == "KP_ProcessMidi") {
            uint8_t event[16] = {0x90, 60, 100};
            status = kp.KP_ProcessMidi(instance, reinterpret_cast<QuorlMidiEvent*>(event));
        } else if (name == "KP_TransportChange") {
            status = kp.KP_TransportChange(instance, true, false, 0, 0);
        } else if (name == "KP_SetProcessActive") {
            status = kp.KP_SetProcessActive(instance, static_cast<int32_t>(Arg(call, 0)));
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

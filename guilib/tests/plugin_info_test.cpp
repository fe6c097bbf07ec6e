// The process function the framework names to the host: its pass-through.
#include "audio/ProcessRecords.h"
#include "guilib/Algorithm.h"

#include <gtest/gtest.h>

#include <dlfcn.h>

#include <cstring>
#include <string>
#include <vector>

extern "C" void QuorlProcessThrough(QuorlSoundBuf*, int32_t, int32_t, QuorlSoundBuf*, int32_t,
                                    int32_t*, char*, char*, ExternStruct*, sNativeShellInfo*);

namespace {

constexpr uint32_t Code(const char (&s)[5]) {
    return KV_FOURCC(s);
}

TEST(PluginInfo, NamesAProcessFunctionTheHostCanBind) {
    cALGORITHM alg(nullptr, nullptr);
    std::vector<char> path(2048, '\0'), name(256, '\0');
    ASSERT_EQ(
        alg.GetPluginInfo(Code("gstr"), Code("sPTP"), reinterpret_cast<int32_t*>(path.data())), 0);
    ASSERT_EQ(
        alg.GetPluginInfo(Code("gstr"), Code("sPFN"), reinterpret_cast<int32_t*>(name.data())), 0);
    void* module = dlopen(path.data(), RTLD_NOW | RTLD_NOLOAD);
    ASSERT_NE(module, nullptr) << path.data();
    EXPECT_EQ(dlsym(module, name.data()), reinterpret_cast<void*>(&QuorlProcessThrough));
    dlclose(module);
}

TEST(PluginInfo, ProcessPassesEachChannelThroughAndSilencesUnmatchedOutputs) {
    // Interleaved stereo input, three planar outputs.
    std::vector<float> in = {1, -1, 2, -2, 3, -3};
    std::vector<float> out(9, 42.0f);
    QuorlSoundBuf inputs[2] = {{in.data(), 2, 1, 0, 0}, {in.data() + 1, 2, 1, 0, 0}};
    QuorlSoundBuf outputs[3] = {
        {out.data(), 1, 1, 0, 0}, {out.data() + 3, 1, 1, 0, 0}, {out.data() + 6, 1, 1, 0, 0}};
    int32_t result = -1;
    QuorlProcessThrough(inputs, 2, 3, outputs, 3, &result, nullptr, nullptr, nullptr, nullptr);
    EXPECT_EQ(result, 0);
    EXPECT_EQ(out, (std::vector<float>{1, 2, 3, -1, -2, -3, 0, 0, 0}));
}

} // namespace

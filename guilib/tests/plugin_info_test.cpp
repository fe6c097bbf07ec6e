// The framework's answers to the host's load questions and its pass-through
// process function.
#include "guilib/Algorithm.h"
#include "hosting/ProcessRecords.h"

#include <gtest/gtest.h>

#include <dlfcn.h>

#include <cstring>
#include <string>
#include <vector>

extern "C" void QuorlProcessThrough(QuorlSoundBuf*, int32_t, int32_t, QuorlSoundBuf*, int32_t,
                                    int32_t*, char*, char*, ExternStruct*, sNativeShellInfo*);

namespace {

// The four characters as a code, the first in the most significant byte.
uint32_t Code(const char* s) {
    return uint32_t(uint8_t(s[0])) << 24 | uint32_t(uint8_t(s[1])) << 16 |
           uint32_t(uint8_t(s[2])) << 8 | uint32_t(uint8_t(s[3]));
}

TEST(PluginInfo, AnswersTheHostsLoadQuestions) {
    static_assert(KV_FOURCC("size") == 0x73697A65);
    cALGORITHM alg(nullptr, nullptr);
    struct Case {
        const char* category;
        const char* item;
        long expected;
    };
    const Case cases[] = {
        {"size", "abst", 0},
        {"size", "coef", alg.GetCoefsSize()},
        {"size", "stat", alg.GetStatesSize()},
        {"size", "dlay", 0},
        {"numb", "ebuf", 0},
        {"numb", "inpu", 2},
        {"numb", "nsci", 0},
        {"numb", "outp", 2},
        {"askQ", "isml", 0},
        {"askQ", "ismb", 0},
        {"stem", "inpu", 0},
    };
    for (const Case& c : cases) {
        int32_t value = -7;
        EXPECT_EQ(alg.GetPluginInfo(Code(c.category), Code(c.item), &value), 0)
            << c.category << "/" << c.item;
        EXPECT_EQ(value, c.expected) << c.category << "/" << c.item;
    }
    EXPECT_GT(alg.GetCoefsSize(), 0);
    int32_t value = 0;
    EXPECT_EQ(alg.GetPluginInfo(Code("size"), Code("what"), &value), -1);
    EXPECT_EQ(alg.GetPluginInfo(Code("xxxx"), Code("coef"), &value), -1);
    EXPECT_EQ(alg.GetPluginInfo(Code("size"), Code("coef"), nullptr), -1);
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

TEST(PluginInfo, TakesTheTempoAndNoExternalBuffers) {
    cALGORITHM alg(nullptr, nullptr);
    double tempo = 98.5;
    EXPECT_EQ(alg.SetPluginInfo(Code("muti"), Code("temp"), 1, reinterpret_cast<char*>(&tempo)), 0);
    EXPECT_DOUBLE_EQ(alg.GetTempo(), 98.5);
    EXPECT_EQ(alg.SetPluginInfo(Code("ebuf"), Code("ebuf"), 0, nullptr), 0);
    EXPECT_EQ(alg.SetPluginInfo(Code("ebuf"), Code("ebuf"), 2, nullptr), -1);
    EXPECT_EQ(alg.SetPluginInfo(Code("muti"), Code("temp"), 1, nullptr), -1);
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

// The ASIO driver list over a private registry store, with a class factory
// that makes fake drivers honouring the driver interface's slot order.
#include "audio/KCAsioDrivers.h"

#include <gtest/gtest.h>

#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "TempFolder.h"
#include "registry/KVRegistry.h"
#include "testsupport/ScopedEnv.h"

namespace {

// Every driver object the factory made, by class id's first word.
struct FakeWorld {
    std::map<uint32_t, long> failing; // classes whose creation fails, with the result
    int created = 0;
    int released = 0;
    std::vector<std::string> calls;
    long preferredBufferSize = 256;
    bool initSucceeds = true;
};
FakeWorld g_world;

class FakeDriver final : public KCAsioDriverInterface {
public:
    explicit FakeDriver(uint32_t id) : id(id) {}
    long QueryInterface(const KVCLSID&, void**) override { return -1; }
    unsigned long AddRef() override { return ++refs; }
    unsigned long Release() override {
        ++g_world.released;
        const unsigned long left = --refs;
        if (left == 0)
            delete this;
        return left;
    }
    ASIOBool init(void* sysRef) override {
        Note("init");
        return g_world.initSucceeds ? 1 : 0;
    }
    void getDriverName(char* name) override { std::snprintf(name, 32, "Fake %u", id); }
    long getDriverVersion() override { return 7; }
    void getErrorMessage(char* text) override { std::strcpy(text, "fake failed"); }
    ASIOError start() override { return Note("start"); }
    ASIOError stop() override { return Note("stop"); }
    ASIOError getChannels(long* in, long* out) override {
        *in = 2;
        *out = 4;
        return Note("getChannels");
    }
    ASIOError getLatencies(long* in, long* out) override {
        *in = *out = 64;
        return Note("getLatencies");
    }
    ASIOError getBufferSize(long* minSize, long* maxSize, long* preferred,
                            long* granularity) override {
        *minSize = 64;
        *maxSize = 2048;
        *preferred = g_world.preferredBufferSize;
        *granularity = -1;
        return Note("getBufferSize");
    }
    ASIOError canSampleRate(ASIOSampleRate) override { return Note("canSampleRate"); }
    ASIOError getSampleRate(ASIOSampleRate* r) override {
        *r = 48000.0;
        return Note("getSampleRate");
    }
    ASIOError setSampleRate(ASIOSampleRate) override { return Note("setSampleRate"); }
    ASIOError getClockSources(ASIOClockSource*, long* n) override {
        *n = 1;
        return Note("getClockSources");
    }
    ASIOError setClockSource(long) override { return Note("setClockSource"); }
    ASIOError getSamplePosition(ASIOSamples*, ASIOTimeStamp*) override {
        return Note("getSamplePosition");
    }
    ASIOError getChannelInfo(ASIOChannelInfo*) override { return Note("getChannelInfo"); }
    ASIOError createBuffers(ASIOBufferInfo*, long, long, ASIOCallbacks*) override {
        return Note("createBuffers");
    }
    ASIOError disposeBuffers() override { return Note("disposeBuffers"); }
    ASIOError controlPanel() override { return Note("controlPanel"); }
    ASIOError future(long, void*) override { return Note("future"); }
    ASIOError outputReady() override { return Note("outputReady"); }

private:
    ASIOError Note(const char* call) {
        g_world.calls.push_back(std::to_string(id) + ":" + call);
        return ASE_OK;
    }
    uint32_t id;
    unsigned long refs = 1;
};

long FakeFactory(const KVCLSID& clsid, KCAsioDriverInterface** driver) {
    *driver = nullptr;
    auto failing = g_world.failing.find(clsid.data1);
    if (failing != g_world.failing.end())
        return failing->second;
    ++g_world.created;
    *driver = new FakeDriver(clsid.data1);
    return 0;
}

std::string Clsid(uint32_t n) {
    char text[64];
    std::snprintf(text, sizeof text, "{%08X-1111-2222-3344-556677889900}", n);
    return text;
}

class AsioDrivers : public ::testing::Test {
protected:
    AsioDrivers() : registryDir("QUORL_REGISTRY_DIR", folder.File("reg")) {}
    void SetUp() override {
        g_world = {};
        KCDestroyAsioDriverList();
    }
    void TearDown() override {
        KCDestroyAsioDriverList();
        KCSetAsioClassFactory(nullptr);
    }

    // A driver key; a class with a server file unless told otherwise.
    enum Server { kWithServer, kNoClass, kMissingFile };
    void AddDriver(const std::string& key, uint32_t clsid, Server server = kWithServer,
                   const char* description = nullptr) {
        KVHKEY k = nullptr;
        ASSERT_EQ(KVRegCreateKey(KV_HKEY_LOCAL_MACHINE, ("software\\asio\\" + key).c_str(), &k),
                  KV_REG_SUCCESS);
        KVRegSetString(k, "clsid", Clsid(clsid));
        if (description)
            KVRegSetString(k, "description", description);
        KVRegCloseKey(k);
        if (server == kNoClass)
            return;
        // Class keys are stored in upper case: the search ignores case.
        const std::string classKey =
            "Software\\Classes\\clsid\\" + Clsid(clsid) + "\\InprocServer32";
        ASSERT_EQ(KVRegCreateKey(KV_HKEY_LOCAL_MACHINE, classKey.c_str(), &k), KV_REG_SUCCESS);
        const std::string file = folder.File("driver" + std::to_string(clsid) + ".so");
        if (server == kWithServer)
            WriteBytes(file, {0x7f, 'E', 'L', 'F'});
        KVRegSetString(k, nullptr, file);
        KVRegCloseKey(k);
    }

    TempFolder folder;
    ScopedEnv registryDir;
};

TEST_F(AsioDrivers, WithoutDriversEveryCallAnswersNotPresent) {
    KCAsioDriverList list;
    EXPECT_EQ(list.GetCount(), 0);
    EXPECT_FALSE(loadAsioDriver("Anything"));
    EXPECT_EQ(KCGetCurrentAsioDriver(), nullptr);

    long a = 9, b = 9, c = 9, d = 9;
    EXPECT_EQ(ASIOGetBufferSize(&a, &b, &c, &d), ASE_NotPresent);
    EXPECT_EQ(a + b + c + d, 0);
    a = b = 9;
    EXPECT_EQ(ASIOGetChannels(&a, &b), ASE_NotPresent);
    EXPECT_EQ(a + b, 0);
    a = b = 9;
    EXPECT_EQ(ASIOGetLatencies(&a, &b), ASE_NotPresent);
    EXPECT_EQ(a + b, 0);
    a = 9;
    EXPECT_EQ(ASIOGetClockSources(nullptr, &a), ASE_NotPresent);
    EXPECT_EQ(a, 0);
    ASIOChannelInfo info;
    info.type = 5;
    EXPECT_EQ(ASIOGetChannelInfo(&info), ASE_NotPresent);
    EXPECT_EQ(info.channelGroup, -1);
    EXPECT_EQ(info.type, 0);
    EXPECT_STREQ(info.name, "None");
    int dummy = 0;
    ASIOBufferInfo buffers[2];
    buffers[0].buffers[0] = buffers[1].buffers[1] = &dummy;
    EXPECT_EQ(ASIOCreateBuffers(buffers, 2, 256, nullptr), ASE_NotPresent);
    EXPECT_EQ(buffers[0].buffers[0], nullptr);
    EXPECT_EQ(buffers[1].buffers[1], nullptr);
    ASIODriverInfo driverInfo;
    driverInfo.driverVersion = 3;
    EXPECT_EQ(ASIOInit(&driverInfo), ASE_NotPresent);
    EXPECT_STREQ(driverInfo.name, "No ASIO Driver");
    EXPECT_EQ(driverInfo.driverVersion, 0);
    for (auto call : {ASIOStart, ASIOStop, ASIODisposeBuffers, ASIOControlPanel, ASIOOutputReady})
        EXPECT_EQ(call(), ASE_NotPresent);
    EXPECT_EQ(ASIOExit(), ASE_OK);
}

TEST_F(AsioDrivers, ListsQualifyingDriversWithTheirNames) {
    const std::string forty(40, 'x');
    const std::string tooLong(200, 'y');
    AddDriver("A Plain", 1);                            // no description: the key name
    AddDriver("B NoClass", 2, kNoClass, "Lost");        // not listed
    AddDriver("C NoFile", 3, kMissingFile, "Gone");     // not listed
    AddDriver("D Long", 4, kWithServer, forty.c_str()); // takes id 1
    AddDriver("E Longer", 5, kWithServer, tooLong.c_str());
    KCAsioDriverList list;
    ASSERT_EQ(list.GetCount(), 3);

    char name[32];
    ASSERT_EQ(list.GetDriverName(0, name), ASE_OK);
    EXPECT_STREQ(name, "A Plain");
    ASSERT_EQ(list.GetDriverName(1, name), ASE_OK);
    EXPECT_EQ(std::string(name), std::string(28, 'x') + "...");
    EXPECT_EQ(std::string(list.GetFullName(2)), std::string(127, 'y'));
    EXPECT_EQ(list.GetDriverName(3, name), ASE_NoSuchDriver);
    EXPECT_EQ(list.GetDriverName(0, nullptr), ASE_InvalidParameter);

    KVCLSID clsid;
    ASSERT_EQ(list.GetDriverClsid(1, &clsid), ASE_OK);
    EXPECT_EQ(clsid.data1, 4u);
    EXPECT_EQ(clsid.data2, 0x1111);
    EXPECT_EQ(clsid.data3, 0x2222);
    EXPECT_EQ(clsid.data4[0], 0x33);
    EXPECT_EQ(clsid.data4[7], 0x00);
    EXPECT_EQ(list.GetDriverClsid(1, nullptr), ASE_InvalidParameter);
    EXPECT_EQ(list.GetDriverClsid(9, &clsid), ASE_NoSuchDriver);

    char first[32] = {}, second[32] = {};
    char* names[] = {first, nullptr, second};
    EXPECT_EQ(list.getDriverNames(names, 2), 2);
    EXPECT_STREQ(first, "A Plain");
    EXPECT_STREQ(second, "");
    EXPECT_EQ(list.getDriverNames(names, 10), 3);

    // The default factory knows no class.
    EXPECT_EQ(list.OpenDriver(0), kClassNotRegistered);
    EXPECT_FALSE(loadAsioDriver("A Plain"));
}

TEST(AsioClsid, ParsesOnlyTheBracedForm) {
    KVCLSID id;
    EXPECT_TRUE(KVCLSIDFromString("{A96B8BBC-D41A-42A5-8793-CFFBDEC815EF}", id));
    EXPECT_EQ(id.data1, 0xA96B8BBCu);
    EXPECT_EQ(id.data4[7], 0xEF);
    for (const char* bad :
         {"", "A96B8BBC-D41A-42A5-8793-CFFBDEC815EF", "{A96B8BBC-D41A-42A5-8793-CFFBDEC815EG}",
          "{A96B8BBC+D41A-42A5-8793-CFFBDEC815EF}"}) {
        EXPECT_FALSE(KVCLSIDFromString(bad, id)) << bad;
        EXPECT_EQ(id, KVCLSID{});
    }
}

TEST_F(AsioDrivers, OpeningAndLoadingThroughTheFactory) {
    AddDriver("Alpha", 10);
    AddDriver("Beta", 11);
    AddDriver("Gamma", 12);
    KCSetAsioClassFactory(&FakeFactory);
    {
        KCAsioDriverList list;
        EXPECT_EQ(list.OpenDriver(0), 0);
        EXPECT_EQ(list.OpenDriver(0), ASE_DriverAlreadyOpen);
        EXPECT_EQ(list.OpenDriver(7), ASE_NoSuchDriver);
        EXPECT_EQ(list.CloseDriver(0), 0);
        EXPECT_EQ(list.CloseDriver(7), 0);
        EXPECT_EQ(g_world.released, 1);
    }

    g_world.failing[11] = kClassNotRegistered;
    ASSERT_TRUE(loadAsioDriver("Alpha"));
    KCAsioDriverList* list = KCGetAsioDriverList();
    ASSERT_NE(list, nullptr);
    char name[32];
    EXPECT_TRUE(list->getCurrentDriverName(name));
    EXPECT_STREQ(name, "Alpha");

    // Beta cannot be created: Alpha is loaded again.
    EXPECT_FALSE(loadAsioDriver("Beta"));
    EXPECT_EQ(list->GetCurrentIndex(), 0);
    ASSERT_NE(KCGetCurrentAsioDriver(), nullptr);
    EXPECT_TRUE(list->getCurrentDriverName(name));
    EXPECT_STREQ(name, "Alpha");

    ASSERT_TRUE(loadAsioDriver("Gamma"));
    EXPECT_EQ(list->GetCurrentIndex(), 2);
    EXPECT_FALSE(loadAsioDriver("gamma")); // names compare exactly
    EXPECT_EQ(list->GetCurrentIndex(), 2);

    // The host calls reach the current driver by their slots.
    ASIODriverInfo info;
    EXPECT_EQ(ASIOInit(&info), ASE_OK);
    EXPECT_STREQ(info.name, "Fake 12");
    EXPECT_STREQ(info.errorMessage, "No ASIO Driver Error");
    EXPECT_EQ(info.driverVersion, 7);
    long a = 0, b = 0, c = 0, d = 0;
    EXPECT_EQ(ASIOGetBufferSize(&a, &b, &c, &d), ASE_OK);
    EXPECT_EQ(c, 256);
    g_world.calls.clear();
    ASIOStart();
    ASIOOutputReady();
    ASIOStop();
    EXPECT_EQ(g_world.calls, (std::vector<std::string>{"12:start", "12:outputReady", "12:stop"}));

    const int releasedBefore = g_world.released;
    EXPECT_EQ(ASIOExit(), ASE_OK);
    EXPECT_EQ(KCGetCurrentAsioDriver(), nullptr);
    EXPECT_EQ(g_world.released, releasedBefore + 1);
    EXPECT_EQ(list->GetCurrentIndex(), -1);
    EXPECT_FALSE(list->getCurrentDriverName(name));
    EXPECT_STREQ(name, "");
}

TEST_F(AsioDrivers, AFailedInitHandsBackTheDriversMessage) {
    AddDriver("Alpha", 20);
    KCSetAsioClassFactory(&FakeFactory);
    ASSERT_TRUE(loadAsioDriver("Alpha"));
    g_world.initSucceeds = false;
    ASIODriverInfo info;
    EXPECT_EQ(ASIOInit(&info), ASE_NotPresent);
    EXPECT_STREQ(info.errorMessage, "fake failed");
    EXPECT_STREQ(info.name, "No ASIO Driver");
    EXPECT_EQ(KCGetCurrentAsioDriver(), nullptr);
    long a = 1, b = 1, c = 1, d = 1;
    EXPECT_EQ(ASIOGetBufferSize(&a, &b, &c, &d), ASE_NotPresent);
}

} // namespace

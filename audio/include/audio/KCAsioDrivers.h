// The host side of the ASIO driver interface: the list of installed
// drivers, the process's current driver, and the host calls forwarded to it.
//
// Drivers are listed from the registry store: HKLM "software\asio" holds one
// key per driver with its "clsid" (and optional "description"); the class's
// server is found below HKLM "Software\Classes\clsid\{...}\InprocServer32",
// whose default value names a file that must exist. Driver objects are made
// by a replaceable class factory; the default one knows no class, so on this
// platform no listed driver can be loaded unless a factory is installed.
//
// Everything here runs on the GUI thread, except ASIOOutputReady, which the
// driver's thread calls.
#pragma once

#include <cstdint>

// A 16-byte class id in its binary layout.
struct KVCLSID {
    uint32_t data1 = 0;
    uint16_t data2 = 0;
    uint16_t data3 = 0;
    uint8_t data4[8] = {};

    bool operator==(const KVCLSID&) const = default;
};
static_assert(sizeof(KVCLSID) == 16);

// Parses "{xxxxxxxx-xxxx-xxxx-xxxx-xxxxxxxxxxxx}"; false (and `out` zero)
// for anything else.
bool KVCLSIDFromString(const char* text, KVCLSID& out);

using ASIOError = long;
using ASIOBool = long;
using ASIOSampleRate = double;

enum : ASIOError {
    ASE_OK = 0,
    ASE_NotPresent = -1000,
    ASE_InvalidParameter = -5001, // also "driver list: invalid parameter"
    ASE_DriverAlreadyOpen = -5002,
    ASE_NoSuchDriver = -5003,
};

// The class factory's answer for an unknown class (REGDB_E_CLASSNOTREG).
inline constexpr long kClassNotRegistered = static_cast<int32_t>(0x80040154u);

struct ASIODriverInfo {
    long asioVersion = 0;
    long driverVersion = 0;
    char name[32] = {};
    char errorMessage[124] = {};
    void* sysRef = nullptr;
};

struct ASIOClockSource {
    long index = 0;
    long associatedChannel = 0;
    long associatedGroup = 0;
    ASIOBool isCurrentSource = 0;
    char name[32] = {};
};

struct ASIOChannelInfo {
    long channel = 0;
    ASIOBool isInput = 0;
    ASIOBool isActive = 0;
    long channelGroup = 0;
    long type = 0; // sample type
    char name[32] = {};
};

struct ASIOBufferInfo {
    ASIOBool isInput = 0;
    long channelNum = 0;
    void* buffers[2] = {};
};

// A 64-bit count as two 32-bit halves.
struct ASIOWideValue {
    uint32_t hi = 0;
    uint32_t lo = 0;
};
using ASIOSamples = ASIOWideValue;
using ASIOTimeStamp = ASIOWideValue;

struct ASIOCallbacks {
    void (*bufferSwitch)(long index, ASIOBool directProcess);
    void (*sampleRateDidChange)(ASIOSampleRate rate);
    long (*asioMessage)(long selector, long value, void* message, double* opt);
    void* (*bufferSwitchTimeInfo)(void* params, long index, ASIOBool directProcess);
};

// A driver object: the COM object's interface, called by slot order
// (0-2 the object's reference counting, 3 init ... 23 outputReady).
class KCAsioDriverInterface {
public:
    virtual long QueryInterface(const KVCLSID& iid, void** object) = 0; // 0
    virtual unsigned long AddRef() = 0;                                 // 1
    virtual unsigned long Release() = 0;                                // 2
    virtual ASIOBool init(void* sysHandle) = 0;                         // 3
    virtual void getDriverName(char* name) = 0;                         // 4
    virtual long getDriverVersion() = 0;                                // 5
    virtual void getErrorMessage(char* text) = 0;                       // 6
    virtual ASIOError start() = 0;                                      // 7
    virtual ASIOError stop() = 0;                                       // 8
    virtual ASIOError getChannels(long* inputs, long* outputs) = 0;     // 9
    virtual ASIOError getLatencies(long* input, long* output) = 0;      // 10
    virtual ASIOError getBufferSize(long* minSize, long* maxSize, long* preferred,
                                    long* granularity) = 0;                           // 11
    virtual ASIOError canSampleRate(ASIOSampleRate rate) = 0;                         // 12
    virtual ASIOError getSampleRate(ASIOSampleRate* rate) = 0;                        // 13
    virtual ASIOError setSampleRate(ASIOSampleRate rate) = 0;                         // 14
    virtual ASIOError getClockSources(ASIOClockSource* clocks, long* count) = 0;      // 15
    virtual ASIOError setClockSource(long reference) = 0;                             // 16
    virtual ASIOError getSamplePosition(ASIOSamples* position, ASIOTimeStamp* t) = 0; // 17
    virtual ASIOError getChannelInfo(ASIOChannelInfo* info) = 0;                      // 18
    virtual ASIOError createBuffers(ASIOBufferInfo* infos, long count, long bufferSize,
                                    ASIOCallbacks* callbacks) = 0; // 19
    virtual ASIOError disposeBuffers() = 0;                        // 20
    virtual ASIOError controlPanel() = 0;                          // 21
    virtual ASIOError future(long selector, void* params) = 0;     // 22
    virtual ASIOError outputReady() = 0;                           // 23

protected:
    ~KCAsioDriverInterface() = default; // released through Release, never deleted
};

// Makes the driver object of a class: 0 (or another non-negative result)
// and the object in `driver`, else a negative result and null.
using KCAsioClassFactory = long (*)(const KVCLSID& clsid, KCAsioDriverInterface** driver);
// Installs a factory; null restores the default, which knows no class.
void KCSetAsioClassFactory(KCAsioClassFactory factory);

class KCAsioDriverList {
public:
    static constexpr int kNameSize = 128;     // name with its terminator
    static constexpr int kShortNameSize = 32; // names handed out

    // Lists the drivers of the registry store.
    KCAsioDriverList();
    // Releases every open driver object.
    ~KCAsioDriverList();
    KCAsioDriverList(const KCAsioDriverList&) = delete;
    KCAsioDriverList& operator=(const KCAsioDriverList&) = delete;

    // Creates the driver of record `id` as the current driver: the factory's
    // result, -5003 for no such record, -5002 when it is already open.
    long OpenDriver(int32_t id);
    // Releases record `id`'s driver; 0, also for an unknown id.
    long CloseDriver(int32_t id);
    // The name by the 32-character rule (28 characters and "..." when it does
    // not fit): -5001 for a null buffer, -5003 for an unknown id.
    long GetDriverName(int32_t id, char* name) const;
    long GetDriverClsid(int32_t id, KVCLSID* clsid) const;
    int32_t GetCount() const { return count; }
    int32_t GetCurrentIndex() const { return currentIndex; }
    // The full name as listed (up to 127 characters); empty for an unknown id.
    const char* GetFullName(int32_t id) const;

    // Writes the names of the first min(count, max) drivers into the non-null
    // entries (32-character buffers); returns min(count, max).
    long getDriverNames(char** names, long max) const;
    // The current driver's name, or "" without one; true when a name was
    // written.
    bool getCurrentDriverName(char* buffer) const;
    void removeCurrentDriver();
    // Makes the named driver current; on failure the previous driver is
    // restored where possible. True when the named driver is now current.
    bool loadDriver(const char* name);

private:
    struct Record {
        int32_t id = 0;
        KVCLSID clsid;
        char name[kNameSize] = {};
        KCAsioDriverInterface* driver = nullptr;
        Record* next = nullptr;
    };

    void Build();
    Record* Find(int32_t id) const;

    Record* head = nullptr;
    int32_t count = 0;
    int32_t currentIndex = -1;
};

// Creates the process's driver list when there is none, then loads the
// named driver. False when it is not current afterwards.
bool loadAsioDriver(const char* name);
// The process's driver list, null before the first loadAsioDriver.
KCAsioDriverList* KCGetAsioDriverList();
// Releases the process's driver list and forgets the current driver.
void KCDestroyAsioDriverList();
// The current driver, null when none.
KCAsioDriverInterface* KCGetCurrentAsioDriver();

// The host calls, forwarded to the current driver. Without one they answer
// -1000 (ASE_NotPresent) and write neutral values into their out-parameters.
ASIOError ASIOInit(ASIODriverInfo* info);
ASIOError ASIOExit();
ASIOError ASIOStart();
ASIOError ASIOStop();
ASIOError ASIOGetChannels(long* inputs, long* outputs);
ASIOError ASIOGetLatencies(long* input, long* output);
ASIOError ASIOGetBufferSize(long* minSize, long* maxSize, long* preferred, long* granularity);
ASIOError ASIOCanSampleRate(ASIOSampleRate rate);
ASIOError ASIOGetSampleRate(ASIOSampleRate* rate);
ASIOError ASIOSetSampleRate(ASIOSampleRate rate);
ASIOError ASIOGetClockSources(ASIOClockSource* clocks, long* count);
ASIOError ASIOSetClockSource(long reference);
ASIOError ASIOGetSamplePosition(ASIOSamples* position, ASIOTimeStamp* timeStamp);
ASIOError ASIOGetChannelInfo(ASIOChannelInfo* info);
ASIOError ASIOCreateBuffers(ASIOBufferInfo* infos, long count, long bufferSize,
                            ASIOCallbacks* callbacks);
ASIOError ASIODisposeBuffers();
ASIOError ASIOControlPanel();
ASIOError ASIOFuture(long selector, void* params);
ASIOError ASIOOutputReady();

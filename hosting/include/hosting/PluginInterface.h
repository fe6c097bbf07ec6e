// The plug-in interface: the record host and plug-in share for one
// instance, the execution callback, and the table of the 59 entry points
// that the host binds by name. Both sides include this header; its layout
// must not change.
#pragma once

#include "hosting/ComponentInfo.h"

#include "foundation/KCFourCC.h"
#include "foundation/KURect.h"
#include "foundation/RM.h"

#include <cstddef>
#include <cstdint>

class KCWindow;
class KCEventData;
struct BUFFER_HEADER;
struct LocateInfo;
struct QuorlMidiEvent;
struct QuorlMeterInfo;

// The host's execution callback: (selector, reference value, p1, p2, p3).
using KTExecCallBack = int32_t (*)(int32_t selector, int32_t refValue, void* p1, void* p2,
                                   void* p3);

// One plug-in instance, first argument of every entry point. The host owns
// the record; the plug-in keeps its objects in its fields.
class PluginInstance {
public:
    PluginInstance() = default;
    PluginInstance(const PluginInstance&) = delete;
    PluginInstance& operator=(const PluginInstance&) = delete;
    ~PluginInstance() = default;

    int32_t GetVersion() const { return version; }
    void SetVersion(long v) { version = static_cast<int32_t>(v); }

    int32_t reserved = 0;                    // the host's; nobody reads it
    QuorlComponentInfo componentInfo;        // the component of this instance
    KTNativeContainerType* module = nullptr; // the loaded plug-in library
    void* algorithm = nullptr;               // the plug-in's algorithm object
    void* gui = nullptr;                     // the plug-in's editor object
    int32_t pluginWord = 0;                  // the plug-in's
    int32_t spareWord = 0;                   // zero
    KURect<short> viewRect{};                // as the last KP_GetViewRect reported
    KCWindow* window = nullptr;              // the editor's window while shown
    int16_t idleStarted = 0;                 // set by the plug-in's first idle call
    int32_t version = 0;
};

// The entry points: one function type and one table field each, in order.
#define KP_ENTRY(name, params) using name##_Type = int32_t(*) params;
#include "hosting/PluginEntryPoints.def"
#undef KP_ENTRY

struct SPluginEntryPoints {
#define KP_ENTRY(name, params) name##_Type name = nullptr;
#include "hosting/PluginEntryPoints.def"
#undef KP_ENTRY
};

inline constexpr size_t kPluginEntryPointCount = 59;
static_assert(sizeof(SPluginEntryPoints) == kPluginEntryPointCount * sizeof(void*));
static_assert(offsetof(SPluginEntryPoints, KP_CreateInstance) == 0);
static_assert(offsetof(SPluginEntryPoints, KP_GetVXProcessSize) == 58 * sizeof(void*));

// The entry-point names in table order.
extern const char* const kPluginEntryPointNames[kPluginEntryPointCount];

// The record's layout: fields in the order above, each on its own size.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Winvalid-offsetof"
static_assert(offsetof(PluginInstance, reserved) == 0);
static_assert(offsetof(PluginInstance, componentInfo) == alignof(QuorlComponentInfo));
static_assert(offsetof(PluginInstance, module) ==
              offsetof(PluginInstance, componentInfo) + sizeof(QuorlComponentInfo));
static_assert(offsetof(PluginInstance, algorithm) == offsetof(PluginInstance, module) + 8);
static_assert(offsetof(PluginInstance, gui) == offsetof(PluginInstance, algorithm) + 8);
static_assert(offsetof(PluginInstance, pluginWord) == offsetof(PluginInstance, gui) + 8);
static_assert(offsetof(PluginInstance, spareWord) == offsetof(PluginInstance, pluginWord) + 4);
static_assert(offsetof(PluginInstance, viewRect) == offsetof(PluginInstance, spareWord) + 4);
static_assert(offsetof(PluginInstance, window) == offsetof(PluginInstance, viewRect) + 8);
static_assert(offsetof(PluginInstance, idleStarted) == offsetof(PluginInstance, window) + 8);
static_assert(offsetof(PluginInstance, version) == offsetof(PluginInstance, idleStarted) + 4);
#pragma GCC diagnostic pop

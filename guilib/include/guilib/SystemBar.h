// The editor's listener and broadcaster classes: algorithm events, the
// system bar's commands and their broadcaster, and the editor's flag set.
#pragma once

#include "foundation/KURect.h"
#include "guilib/ControlParam.h"
#include "guilib/QGLExport.h"

#include <cstdint>
#include <list>
#include <string>
#include <vector>

class QGL_API KCAlgorithmListener {
public:
    virtual void PresetLoaded() {}
    virtual void PresetModified(EPluginSetup) {}
    virtual void SetupTitleChanged(EPluginSetup, const std::string*) {}
    virtual void ActiveSetupChanged(EPluginSetup) {}

protected:
    ~KCAlgorithmListener() = default;
};

class QGL_API KCSystemBarListener {
public:
    virtual void System_ExecuteAbout() {}
    virtual void System_ExecuteCopy() {}
    virtual void System_ExecuteHelp() {}
    virtual void System_ExecuteLoadPreset(KCPoint<short>) {}
    virtual void System_ExecuteSavePreset(KCPoint<short>) {}
    virtual void System_ExecuteNextPreset() {}
    virtual void System_ExecutePrevPreset() {}
    virtual void System_ExecutePluginSpecific(const std::string&) {}
    virtual void System_ExecuteUndo(unsigned short) {}
    virtual void System_ExecuteRedo(unsigned short) {}
    virtual void System_ExecuteSwitch() {}
    virtual void System_ExecuteRenameSetup() {}
    virtual void System_ExecuteReset() {}

protected:
    ~KCSystemBarListener() = default;
};

// Calls every inserted listener, first inserted first; listeners are not
// owned, and one inserted twice is called twice.
class QGL_API KCSystemBarBroadcaster {
public:
    KCSystemBarBroadcaster() = default;
    KCSystemBarBroadcaster(const KCSystemBarBroadcaster&) = default;
    KCSystemBarBroadcaster& operator=(const KCSystemBarBroadcaster&) = default;
    virtual ~KCSystemBarBroadcaster() = default;

    void insert(KCSystemBarListener* listener) { listeners_.push_back(listener); }

    virtual void Broadcast_ExecuteAbout() { Each(&KCSystemBarListener::System_ExecuteAbout); }
    virtual void Broadcast_ExecuteCopy() { Each(&KCSystemBarListener::System_ExecuteCopy); }
    virtual void Broadcast_ExecuteHelp() { Each(&KCSystemBarListener::System_ExecuteHelp); }
    virtual void Broadcast_ExecuteLoadPreset(KCPoint<short> p) {
        Each(&KCSystemBarListener::System_ExecuteLoadPreset, p);
    }
    virtual void Broadcast_ExecuteSavePreset(KCPoint<short> p) {
        Each(&KCSystemBarListener::System_ExecuteSavePreset, p);
    }
    virtual void Broadcast_ExecuteNextPreset() {
        Each(&KCSystemBarListener::System_ExecuteNextPreset);
    }
    virtual void Broadcast_ExecutePrevPreset() {
        Each(&KCSystemBarListener::System_ExecutePrevPreset);
    }
    virtual void Broadcast_ExecutePluginSpecific(const std::string& name) {
        Each(&KCSystemBarListener::System_ExecutePluginSpecific, name);
    }
    virtual void Broadcast_ExecuteUndo(unsigned short n) {
        Each(&KCSystemBarListener::System_ExecuteUndo, n);
    }
    virtual void Broadcast_ExecuteRedo(unsigned short n) {
        Each(&KCSystemBarListener::System_ExecuteRedo, n);
    }
    virtual void Broadcast_ExecuteSwitch() { Each(&KCSystemBarListener::System_ExecuteSwitch); }
    virtual void Broadcast_ExecuteRenameSetup() {
        Each(&KCSystemBarListener::System_ExecuteRenameSetup);
    }
    virtual void Broadcast_ExecuteReset() { Each(&KCSystemBarListener::System_ExecuteReset); }

private:
    template <typename... Hook, typename... Args>
    void Each(void (KCSystemBarListener::*hook)(Hook...), Args&&... args) {
        for (KCSystemBarListener* l : listeners_)
            (l->*hook)(args...);
    }

    std::list<KCSystemBarListener*> listeners_;
};

namespace kv {
class QGL_API GuiFlags_type {
public:
    std::vector<bool>& GetVec() { return flags_; }
    const std::vector<bool>& GetVec() const { return flags_; }

private:
    std::vector<bool> flags_;
    uint32_t word_ = 0;
};
} // namespace kv

class QGL_API KCCursorUtilities {};

// The editor base as a plug-in without a display sees it: every slot the
// host's calls reach, with a body that has no window, an empty view
// rectangle, events that are not handled and no drawing.
#pragma once

#include "guilib/QGLExport.h"

#include "foundation/KURect.h"

#include <string>

struct KTResContainerType;
class KCWindow;
class KCEventData;
class cALGORITHM;

class QGL_API CStandardGUI_X {
public:
    explicit CStandardGUI_X(KTResContainerType* container) : container_(container) {}
    virtual ~CStandardGUI_X() = default;
    CStandardGUI_X(const CStandardGUI_X&) = delete;
    CStandardGUI_X& operator=(const CStandardGUI_X&) = delete;

    // Ties the editor to its algorithm (before FinishCreate).
    void InitDefaultGUI(cALGORITHM* algorithm) { algorithm_ = algorithm; }
    cALGORITHM* GetAlgorithm() const { return algorithm_; }
    KTResContainerType* GetResContainer() const { return container_; }

    virtual long PresetModified(long) { return 0; }
    virtual long FinishCreate(void*) { return 0; }
    virtual void Dispose() {}
    virtual long GetControlNameOfLength(long, long, char*) { return 0; }
    virtual long SetControllerValue(long, double) { return 0; }
    virtual long SetAutomationRefCons(long, long, long) { return 0; }
    virtual long SetControlHighlightInfo(long, bool, bool) { return 0; }
    virtual long TranslateController(long, double, std::string& text) {
        text.clear();
        return 0;
    }
    virtual void ActivateWindow(KCWindow* window) { window_ = window; }
    virtual void DeactivateWindow() {}
    virtual void SetWindow(KCWindow* window) { window_ = window; }
    virtual void InitHatch(KURect<short>*) {}
    virtual void MoveHatch(KCPoint<short>*) {}
    virtual void DoIdle() {}
    virtual long DoMouseDown(void*, KCEventData*) { return 0; }
    virtual long DoMouseMove(void*, KCEventData*) { return 0; }
    virtual long DoMouseUp(void*, KCEventData*) { return 0; }
    virtual long DoMouseWheel(void*, KCEventData*) { return 0; }
    virtual long DoKeyDown(void*, KCEventData*, bool* handled) {
        if (handled)
            *handled = false;
        return 0;
    }
    // No graphic manager: nothing is drawn.
    virtual long SetRefresh(KURect<short>*) { return kNotReady; }
    virtual void GetViewRect(KURect<short>& out) { out = KURect<short>{}; }
    // Nothing of the editor is on a screen.
    virtual bool IsVisible() const { return false; }

    static constexpr long kNotReady = -3500;

protected:
    KTResContainerType* container_ = nullptr;
    cALGORITHM* algorithm_ = nullptr;
    KCWindow* window_ = nullptr;
};

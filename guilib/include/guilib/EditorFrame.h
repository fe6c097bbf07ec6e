// The host's window that holds an editor's drawing window (its owner): the
// top-level window the drawing window sits in, or the drawing window itself.
// The editor names it, gives it its icon and sizes it.
#pragma once

#include "guilib/QGLExport.h"

#include <cstdint>
#include <string>

class KCWindow;
class wxWindow;
struct KTResContainerType;

class QGL_API KCEditorFrame {
public:
    // No owner when the record has no native window.
    explicit KCEditorFrame(const KCWindow* pluginWindow);

    bool Exists() const { return owner_ != nullptr; }
    bool SetTitle(const std::string& title);
    std::string GetTitle() const;
    // The 'PNG_' resource `number` as the window's small and large icon;
    // false when the image cannot be read or the owner takes no icon.
    bool SetIconFromResource(KTResContainerType* container, short number);
    bool HasIcon() const;
    // Outer width and height, and the client height.
    bool GetSize(int32_t& width, int32_t& height, int32_t& clientHeight) const;
    // Outer size; the position stays and the stacking order is not changed.
    bool SetSize(int32_t width, int32_t height);

private:
    wxWindow* owner_ = nullptr;
};

#include "host/PluginView.h"

#include <algorithm>

#include <wx/window.h>

#include "host/PluginRunner.h"
#include "hosting/Plugin.h"
#include "hosting/PluginLoader.h"
#include "ui/GMRenderer.h"
#include "ui/KCCreationOptions.h"
#include "ui/KMWindowManager.h"

namespace {

// The redraw's status when the plug-in's idle work throws.
constexpr KTErr kDrawException = static_cast<KTErr>(-3);

// The frame: a caption with system menu and minimise box, not resizable.
constexpr uint32_t kFrameFlags = kWinFlagSystemMenu | kWinFlagCaption | kWinFlagMinimiseBox;
// The child: the frame's flags without the low three, as a child window.
constexpr uint32_t kChildFlags = (kFrameFlags & ~0x7u) | kWinFlagChild;

template <auto Entry, typename... Args>
int32_t CallEntry(KCPlugin* plugin, Args... args) {
    return plugin->GetProxy().Call<Entry>(args...);
}

} // namespace

KCPluginView::KCPluginView(KCPlugin* plugin, KCWindow* ownerWindow)
    : ownerWindow(ownerWindow),
      title(plugin != nullptr ? PluginDisplayName(plugin->GetProxy().GetComponent()) : ""),
      plugin(plugin) {}

void KCPluginView::SetTarget(const KSPluginViewTarget& target) {
    forwardOwner = target.window;
    forwardHandler = target.handler;
    forwardUserData = target.userData;
}

KTErr KCPluginView::Create() {
    try {
        plugin->GetCallbacks().SetView(this);
        if (KTErr err = plugin->GetProxy().GetViewRect(&viewRect))
            return err;
        if (KTErr err = CreateWindows())
            return err;
        plugin->GetProxy().SetWindow(child);
        return eNoErr;
    } catch (...) {
        return eGenericErr;
    }
}

KTErr KCPluginView::CreateWindows() {
    frame = new KCWindow();
    KCWinCreateOpts options;
    options.kind = kWinKindPlain;
    options.parent = ownerWindow;
    options.title = title;
    options.bounds = viewRect;
    options.flags = kFrameFlags;
    options.handler = &KCPluginView::EventCallBack;
    options.userData = this;
    KMCreateWindow(options, *frame);

    child = new KCWindow();
    options.kind = kWinKindOpenGL;
    options.flags = kChildFlags;
    options.parent = frame;
    const KTErr status = KMCreateWindow(options, *child);
    KMGetWindowBounds(*child, lastBounds);
    return status;
}

KTErr KCPluginView::Show() {
    // Windows that could not be made are never shown.
    if (child == nullptr || child->windowHandle == nullptr)
        return eNoErr;
    shown = true;
    plugin->GetProxy().SetWindow(child);
    GMCreateRC(*child);
    CallEntry<&SPluginEntryPoints::KP_InitHatch>(plugin, &viewRect);
    CallEntry<&SPluginEntryPoints::KP_SetRefresh>(plugin, &viewRect);
    CallEntry<&SPluginEntryPoints::KP_ActivateWindow>(plugin);
    KMShowWindow(*child);
    if (frame != nullptr)
        KMShowWindow(*frame);
    Draw();
    return eNoErr;
}

KTErr KCPluginView::Hide() {
    shown = false;
    CallEntry<&SPluginEntryPoints::KP_DeactivateWindow>(plugin);
    if (child != nullptr && child->renderingContext != nullptr)
        GMDisposeRC(*child);
    if (frame != nullptr)
        KMHideWindow(*frame);
    if (child != nullptr)
        KMHideWindow(*child);
    plugin->GetProxy().SetWindow(nullptr);
    return eNoErr;
}

void KCPluginView::ResizeView(const KURect<short>& requested) {
    const auto height = static_cast<short>(requested.bottom - requested.top);
    const auto width = static_cast<short>(requested.right - requested.left);
    // An empty or wrapped-around size would make an editor of some 65,000
    // pixels: the editor keeps its size.
    if (height <= 0 || width <= 0 || child == nullptr)
        return;
    const bool wasShown = shown;
    shown = false;
    CallEntry<&SPluginEntryPoints::KP_DeactivateWindow>(plugin);
    viewRect = KURect<short>(0, 0, height, width);
    if (frame != nullptr)
        KMResizeWindow(*frame, static_cast<unsigned short>(width),
                       static_cast<unsigned short>(height), true);
    KMResizeWindow(*child, static_cast<unsigned short>(width), static_cast<unsigned short>(height),
                   true);
    child->bounds = viewRect;
    // A hidden editor has no context and no active view to restore.
    if (!wasShown)
        return;
    CallEntry<&SPluginEntryPoints::KP_SetWindow>(plugin);
    CallEntry<&SPluginEntryPoints::KP_ActivateWindow>(plugin);
    GMResizeRC(*child, viewRect);
    CallEntry<&SPluginEntryPoints::KP_InitHatch>(plugin, &viewRect);
    CallEntry<&SPluginEntryPoints::KP_SetRefresh>(plugin, &viewRect);
    shown = true;
}

KTErr KCPluginView::Draw() {
    if (!shown || child == nullptr)
        return eNoErr;
    KTErr result = eNoErr;
    GMBind2RC(*child);
    KURect<short> bounds;
    if (KMGetWindowBounds(*child, bounds) == eNoErr &&
        (bounds.top != lastBounds.top || bounds.left != lastBounds.left)) {
        lastBounds = bounds;
        KURect<short> asked;
        result = plugin->GetProxy().GetViewRect(&asked);
        if (!(asked == viewRect))
            ResizeView(asked);
        CallEntry<&SPluginEntryPoints::KP_SetRefresh>(plugin, &viewRect);
        GMSwapBuffers(*child);
    }
    try {
        // A native control of the plug-in's own draws itself, and a plug-in
        // that presents its own frames swaps after it drew: no swap then.
        const auto* surface = static_cast<const wxWindow*>(child->deviceContext);
        const bool ownControls = surface != nullptr && !surface->GetChildren().empty();
        plugin->GetProxy().DoIdle();
        if (!ownControls && !GMPresentsOwnFrames(*child))
            GMSwapBuffers(*child);
    } catch (...) {
        result = kDrawException;
    }
    return result;
}

KTErr KCPluginView::DisposeWindows() {
    plugin->GetCallbacks().SetView(nullptr);
    if (shown)
        Hide();
    plugin->GetProxy().SetWindowRecord(nullptr);
    KTErr status = eNoErr;
    if (child != nullptr && child->windowHandle != nullptr)
        status = KMDisposeWindow(*child);
    if (frame != nullptr && frame->windowHandle != nullptr)
        status = KMDisposeWindow(*frame);
    delete child;
    child = nullptr;
    delete frame;
    frame = nullptr;
    return status;
}

bool KCPluginView::EventCallBack(void* owner, KEEventTypes event, KCEventData* data, void* user) {
    auto* view = static_cast<KCPluginView*>(user);
    if (view == nullptr)
        return false;
    KCPlugin* plugin = view->plugin;
    switch (event) {
    case eMouseDown:
        if (view->shown)
            plugin->DoMouseDown(data);
        return false;
    case eMouseUp:
        if (view->shown)
            plugin->DoMouseUp(data);
        return false;
    case eMouseMove:
        if (view->shown)
            plugin->DoMouseMove(data);
        return false;
    case eMouseWheel:
        if (view->shown)
            plugin->DoMouseWheel(data);
        return false;
    case eKeyDown: {
        bool handled = false;
        if (view->shown)
            plugin->DoKeyDown(handled, data);
        if (handled)
            return true;
        // The key may close this editor: nothing of the view is used after.
        if (view->forwardHandler != nullptr)
            return view->forwardHandler(view->forwardOwner, eKeyDown, data, view->forwardUserData);
        return false;
    }
    case eWindowClose:
        // Closing disposes of this view inside the call.
        if (view->forwardHandler != nullptr)
            return view->forwardHandler(owner, eWindowClose, data, view->forwardUserData);
        return false;
    case eDraw:
        if (view->shown && data != nullptr) {
            // The plug-in draws into this editor's context, whichever was
            // current.
            GMBind2RC(*view->child);
            KURect<short> rect = data->GetUpdateRect();
            CallEntry<&SPluginEntryPoints::KP_SetRefresh>(plugin, &rect);
        }
        return false;
    default:
        return false;
    }
}

// ---------------------------------------------------------------------------
// The list

KTErr OpenPluginView(KCPluginViewList& list, const KSPluginViewTarget& target, KCPlugin* plugin) {
    if (plugin == nullptr)
        return eGenericErr;
    auto* view = new KCPluginView(plugin, target.window);
    const KTErr status = view->Create();
    if (status != eNoErr) {
        view->DisposeWindows();
        delete view;
        return status;
    }
    view->Show();
    view->SetTarget(target);
    list.push_back(view);
    return eNoErr;
}

KCPluginView* FindPluginViewOfPlugin(const KCPluginViewList& list, const KCPlugin* plugin) {
    const auto it = std::find_if(list.rbegin(), list.rend(), [plugin](const KCPluginView* view) {
        return view->GetPlugin() == plugin;
    });
    return it == list.rend() ? nullptr : *it;
}

KCPluginView* FindPluginViewOfWindow(const KCPluginViewList& list, const KCWindow* window) {
    if (window == nullptr)
        return nullptr;
    const auto it = std::find_if(list.rbegin(), list.rend(), [window](const KCPluginView* view) {
        return view->GetFrameWindow() == window || view->GetChildWindow() == window;
    });
    return it == list.rend() ? nullptr : *it;
}

namespace {

void CloseView(KCPluginViewList& list, KCPluginViewList::iterator it) {
    KCPluginView* view = *it;
    // Out of the list first: nothing reached while closing finds it.
    list.erase(it);
    view->Hide();
    view->DisposeWindows();
    delete view;
}

} // namespace

void ClosePluginView(KCPluginViewList& list, const KCPlugin* plugin) {
    const auto it = std::find_if(list.begin(), list.end(), [plugin](const KCPluginView* view) {
        return view->GetPlugin() == plugin;
    });
    if (it != list.end())
        CloseView(list, it);
}

KTErr DrawPluginViews(KCPluginViewList& list) {
    // A plug-in's idle work cannot close editors: the list stays as it is.
    for (KCPluginView* view : list)
        view->Draw();
    return eNoErr;
}

void CloseAllPluginViews(KCPluginViewList& list) {
    while (!list.empty())
        CloseView(list, std::prev(list.end()));
}

// ---------------------------------------------------------------------------
// The GUI smoke test's editors

namespace {

KCPluginViewList AsList(const std::vector<void*>& views) {
    KCPluginViewList list;
    for (void* view : views)
        list.push_back(static_cast<KCPluginView*>(view));
    return list;
}

void Store(const KCPluginViewList& list, std::vector<void*>& views) {
    views.assign(list.begin(), list.end());
}

} // namespace

void InstallPluginViewHooks() {
    // A closed editor's windows are deleted before its plug-in's library
    // (which bound their handlers) is closed.
    SetBeforePluginLibraryClose(&KMDeleteDisposedWindows);
    KSPluginViewHooks& hooks = PluginViewHooks();
    hooks.open = [](KCPlugin* plugin, std::vector<void*>& views) {
        KCPluginViewList list = AsList(views);
        const KTErr status = OpenPluginView(list, KSPluginViewTarget(), plugin);
        Store(list, views);
        return status;
    };
    hooks.close = [](KCPlugin* plugin, std::vector<void*>& views) {
        KCPluginViewList list = AsList(views);
        ClosePluginView(list, plugin);
        Store(list, views);
        return eNoErr;
    };
    hooks.draw = [](std::vector<void*>& views) {
        KCPluginViewList list = AsList(views);
        DrawPluginViews(list);
    };
}

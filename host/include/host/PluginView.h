// A plug-in's editor: a top-level frame titled with the plug-in's display
// name and a drawing child that fills its client area and belongs to the
// plug-in. The host gives the child an OpenGL context while the editor is
// shown, forwards the child's events to the plug-in's entry points and
// redraws it on every idle tick; the plug-in draws.
#pragma once

#include <string>
#include <vector>

#include "foundation/KTErr.h"
#include "foundation/KURect.h"
#include "hosting/HostCallbacks.h"
#include "ui/KCWindow.h"

class KCPlugin;

// Where an editor sends what it does not consume (all null: nowhere), and
// the owner of its frame.
struct KSPluginViewTarget {
    KCWindow* window = nullptr;
    KTDispatcherCallBack handler = nullptr;
    void* userData = nullptr;
};

class KCPluginView : public KCPluginViewHooks {
public:
    KCPluginView(KCPlugin* plugin, KCWindow* ownerWindow);
    // The windows must have been disposed.
    ~KCPluginView() override = default;
    KCPluginView(const KCPluginView&) = delete;
    KCPluginView& operator=(const KCPluginView&) = delete;

    // Asks the plug-in for its rectangle, makes the windows and hands the
    // child to the plug-in; the first failing status.
    KTErr Create();
    // The frame (plain) and the child (a drawing surface); the child's
    // status.
    KTErr CreateWindows();
    KTErr Show();
    KTErr Hide();
    // The plug-in's resize request, also the redraw's.
    void ResizeView(const KURect<short>& requested) override;
    // The idle redraw.
    KTErr Draw();
    KTErr DisposeWindows();
    static bool EventCallBack(void* owner, KEEventTypes event, KCEventData* data, void* view);

    bool IsShown() const { return shown; }
    KCPlugin* GetPlugin() const { return plugin; }
    KCWindow* GetFrameWindow() const { return frame; }
    KCWindow* GetChildWindow() const { return child; }
    const KURect<short>& GetViewRect() const { return viewRect; }
    const std::string& GetTitle() const { return title; }
    void SetTarget(const KSPluginViewTarget& target);

private:
    void* forwardOwner = nullptr;
    KTDispatcherCallBack forwardHandler = nullptr;
    void* forwardUserData = nullptr;
    KCWindow* frame = nullptr; // owned
    KCWindow* child = nullptr; // owned
    KCWindow* ownerWindow;     // not owned
    bool shown = false;
    KURect<short> lastBounds;
    KURect<short> viewRect;
    std::string title;
    KCPlugin* plugin; // not owned
};

// The editors of a view, in opening order; the list owns them.
using KCPluginViewList = std::vector<KCPluginView*>;

// Creates, shows and appends an editor of the plug-in. An editor whose
// windows cannot be made is disposed of at once and not listed; its status
// is returned.
KTErr OpenPluginView(KCPluginViewList& list, const KSPluginViewTarget& target, KCPlugin* plugin);
// The last editor of the plug-in, or null.
KCPluginView* FindPluginViewOfPlugin(const KCPluginViewList& list, const KCPlugin* plugin);
// The last editor whose frame or child is the window, or null.
KCPluginView* FindPluginViewOfWindow(const KCPluginViewList& list, const KCWindow* window);
// Hides, disposes and deletes the first editor of the plug-in.
void ClosePluginView(KCPluginViewList& list, const KCPlugin* plugin);
KTErr DrawPluginViews(KCPluginViewList& list);
// Closes every editor, from the last to the first.
void CloseAllPluginViews(KCPluginViewList& list);

// Lets the runner's GUI smoke test open, draw and close editors.
void InstallPluginViewHooks();

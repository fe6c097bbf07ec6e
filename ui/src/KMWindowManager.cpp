// Windows, capture, coordinates and message loops over wxWidgets.
#include "ui/KMWindowManager.h"

#include <dlfcn.h>
#include <link.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <unordered_map>
#include <vector>

#include <GL/glx.h>
#include <gtk/gtk.h>

#include <wx/app.h>
#include <wx/apptrait.h>
#include <wx/dcclient.h>
#include <wx/evtloop.h>
#include <wx/frame.h>
#include <wx/glcanvas.h>
#include <wx/settings.h>
#include <wx/weakref.h>
#include <wx/window.h>

#include "KMNative.h"
#include "KMWindows.h"
#include "foundation/KCStPath.h"
#include "ui/GMRenderer.h"
#include "ui/KCDispatcherWX.h"

namespace {

struct ClassState {
    void* instance = nullptr;
    bool initialised = false;
    std::string plainName;
    std::string openGLName;
    bool plainRegistered = false;
    bool openGLRegistered = false;
};

ClassState& Classes() {
    static ClassState state;
    return state;
}

std::string ModulePath(void* instance) {
    if (instance != nullptr) {
        link_map* map = nullptr;
        if (dlinfo(instance, RTLD_DI_LINKMAP, &map) == 0 && map != nullptr && map->l_name &&
            map->l_name[0] != '\0')
            return map->l_name;
    }
    std::error_code ec;
    auto exe = std::filesystem::read_symlink("/proc/self/exe", ec);
    return ec ? std::string() : exe.string();
}

// --- records of native windows --------------------------------------------

std::unordered_map<const wxWindow*, KCWindow*>& Records() {
    static std::unordered_map<const wxWindow*, KCWindow*> map;
    return map;
}

wxWeakRef<wxWindow>& CapturedWindow() {
    static wxWeakRef<wxWindow> window;
    return window;
}

wxWindow* Surface(const KCWindow& w) {
    return static_cast<wxWindow*>(w.deviceContext);
}

bool Alive(const wxWindow* w) {
    return w != nullptr && !w->IsBeingDeleted() &&
           !(wxTheApp != nullptr && wxTheApp->IsScheduledForDestruction(const_cast<wxWindow*>(w)));
}

// --- event routing ---------------------------------------------------------

void Route(wxWindow* source, wxEvent& event, KSNativeMessage message, bool restoreFocus) {
    KCWindow* record = KMGetWindowRecord(source);
    if (record == nullptr) {
        event.Skip();
        return;
    }
    wxWeakRef<wxWindow> focus(restoreFocus ? wxWindow::FindFocus() : nullptr);
    const bool handled = KMNative::WindowEventHandler(record, message);
    if (restoreFocus && focus) {
        wxWindow* now = wxWindow::FindFocus();
        if (now != focus.get() && Alive(focus.get()))
            focus->SetFocus();
    }
    if (!handled)
        event.Skip();
}

void BindSurface(wxWindow* surface) {
    surface->Bind(wxEVT_PAINT, [surface](wxPaintEvent& e) {
        wxPaintDC dc(surface);
        KSNativeMessage m;
        m.message = eNMPaint;
        m.rect = KMNative::RectOf(surface->GetUpdateRegion().GetBox());
        Route(surface, e, m, true);
    });
    auto mouse = [surface](wxMouseEvent& e) {
        KSNativeMessage m;
        if (!KMNative::TranslateMouse(e, m)) {
            e.Skip();
            return;
        }
        // A wheel event left by a child window arrives here with the child's
        // coordinates.
        auto* origin = wxDynamicCast(e.GetEventObject(), wxWindow);
        if (origin != nullptr && origin != surface) {
            const wxPoint p = surface->ScreenToClient(origin->ClientToScreen(e.GetPosition()));
            m.point = KCPoint<short>(static_cast<short>(p.x), static_cast<short>(p.y));
        }
        if (m.message == eNMRightDown)
            surface->SetFocus();
        Route(surface, e, m, true);
    };
    for (auto type : {wxEVT_LEFT_DOWN, wxEVT_LEFT_UP, wxEVT_LEFT_DCLICK, wxEVT_RIGHT_DOWN,
                      wxEVT_RIGHT_UP, wxEVT_RIGHT_DCLICK, wxEVT_MIDDLE_DOWN, wxEVT_MIDDLE_UP,
                      wxEVT_MIDDLE_DCLICK, wxEVT_MOTION, wxEVT_MOUSEWHEEL})
        surface->Bind(type, mouse);
    surface->Bind(wxEVT_KEY_DOWN, [surface](wxKeyEvent& e) {
        KSNativeMessage m;
        KMNative::TranslateKey(e, true, m);
        Route(surface, e, m, true);
    });
    surface->Bind(wxEVT_KEY_UP, [surface](wxKeyEvent& e) {
        KSNativeMessage m;
        KMNative::TranslateKey(e, false, m);
        Route(surface, e, m, true);
    });
    auto command = [surface](wxCommandEvent& e) {
        KSNativeMessage m;
        m.message = eNMCommand;
        m.id = e.GetId();
        KMNative::FillModifiers(wxGetMouseState(), m);
        Route(surface, e, m, false);
        e.Skip(false); // a child's command goes to its own window only
    };
    surface->Bind(wxEVT_BUTTON, command);
    surface->Bind(wxEVT_CHECKBOX, command);
    surface->Bind(wxEVT_MOUSE_CAPTURE_LOST, [surface](wxMouseCaptureLostEvent& e) {
        if (CapturedWindow().get() == surface)
            CapturedWindow().Release();
        KSNativeMessage m;
        m.message = eNMCancelMode;
        Route(surface, e, m, true);
        e.Skip(false); // a lost capture must always count as processed
    });
}

void BindFrame(wxFrame* frame) {
    frame->Bind(wxEVT_CLOSE_WINDOW, [frame](wxCloseEvent& e) {
        KSNativeMessage m;
        m.message = eNMClose;
        KCWindow* record = KMGetWindowRecord(frame);
        if (record == nullptr) {
            e.Skip();
            return;
        }
        KMNative::WindowEventHandler(record, m);
        if (e.CanVeto())
            e.Veto(); // the window stays; its handler disposes of it
        else
            frame->Destroy();
    });
    frame->Bind(wxEVT_ACTIVATE, [frame](wxActivateEvent& e) {
        KSNativeMessage m;
        m.message = eNMActivate;
        m.param = e.GetActive() ? 1 : 0;
        Route(frame, e, m, true);
    });
    frame->Bind(wxEVT_MENU, [frame](wxCommandEvent& e) {
        KSNativeMessage m;
        m.message = eNMCommand;
        m.id = e.GetId();
        KMNative::FillModifiers(wxGetMouseState(), m);
        Route(frame, e, m, false);
    });
    frame->Bind(wxEVT_MENU_OPEN, [frame](wxMenuEvent& e) {
        if (KMWindows::TrackingPopup()) {
            e.Skip();
            return;
        }
        KSNativeMessage m;
        m.message = eNMInitMenuPopup;
        m.pointer = e.GetMenu();
        Route(frame, e, m, true);
    });
}

// --- loops -----------------------------------------------------------------

struct LoopState {
    std::vector<wxEventLoopBase*> loops;
    bool quitPending = false;
};

LoopState& Loops() {
    static LoopState state;
    return state;
}

KTErr RunLoop() {
    LoopState& state = Loops();
    if (state.quitPending) {
        state.quitPending = false;
        return eNoErr;
    }
    if (wxTheApp == nullptr)
        return eGenericSystemError;
    std::unique_ptr<wxEventLoopBase> loop(wxTheApp->GetTraits()->CreateEventLoop());
    if (!loop)
        return eGenericSystemError;
    state.loops.push_back(loop.get());
    loop->Run();
    state.loops.pop_back();
    return eNoErr;
}

void PostQuit() {
    LoopState& state = Loops();
    if (!state.loops.empty() && state.loops.back()->IsRunning())
        state.loops.back()->ScheduleExit(0);
    else
        state.quitPending = true;
}

void SendEnableState(wxWindow* window, bool enabled) {
    KCWindow* record = KMGetWindowRecord(window);
    if (record == nullptr)
        return;
    KSNativeMessage m;
    m.message = eNMEnable;
    m.param = enabled ? 1 : 0;
    KMNative::WindowEventHandler(record, m);
}

} // namespace

// ---------------------------------------------------------------------------
// Native windows of records

KMFrame::KMFrame(wxWindow* parent, const wxString& title, const wxPoint& pos, long style)
    : wxFrame(parent, wxID_ANY, title, pos, wxDefaultSize, style) {
    BindFrame(this);
}

KMFrame::~KMFrame() {
    KMWindows::ForgetMenuBarOf(this);
    KMWindows::NativeWindowGone(this);
}

KMPanel::KMPanel(wxWindow* parent, const wxPoint& pos, const wxSize& size)
    : wxWindow(parent, wxID_ANY, pos, size, wxFULL_REPAINT_ON_RESIZE | wxWANTS_CHARS) {
    SetBackgroundColour(wxSystemSettings::GetColour(wxSYS_COLOUR_BTNFACE));
    BindSurface(this);
}

KMPanel::~KMPanel() {
    KMWindows::NativeWindowGone(this);
}

KMCanvas::KMCanvas(wxWindow* parent, const wxGLAttributes& attrs, const wxPoint& pos,
                   const wxSize& size)
    : wxGLCanvas(parent, attrs, wxID_ANY, pos, size, wxFULL_REPAINT_ON_RESIZE | wxWANTS_CHARS) {
    SetBackgroundStyle(wxBG_STYLE_PAINT); // no background: the contents are drawn with OpenGL
    BindSurface(this);
}

KMCanvas::~KMCanvas() {
    KMWindows::NativeWindowGone(this);
}

void KMWindows::NativeWindowGone(wxWindow* window) {
    auto& records = Records();
    auto it = records.find(window);
    if (it == records.end())
        return;
    KCWindow* record = it->second;
    records.erase(it);
    if (record->windowHandle == window) {
        record->windowHandle = nullptr;
        record->deviceContext = nullptr;
    } else if (record->deviceContext == window) {
        record->deviceContext = nullptr;
    }
}

bool KMWindows::IsAlive(const wxWindow* window) {
    return Alive(window);
}

void KMNative::DetachRecord(KCWindow* record) {
    auto& records = Records();
    for (auto it = records.begin(); it != records.end();)
        it = it->second == record ? records.erase(it) : std::next(it);
}

KCWindow* KMGetWindowRecord(wxWindow* native) {
    auto& records = Records();
    auto it = records.find(native);
    return it == records.end() ? nullptr : it->second;
}

bool KMNative::WindowEventHandler(KCWindow* record, const KSNativeMessage& message) {
    KCEventMessage wrapped(message);
    const bool handled = record != nullptr && record->dispatcher != nullptr &&
                         record->dispatcher->HandleEvent(wrapped);
    if (message.message == eNMClose && !handled)
        PostQuit();
    return handled;
}

// ---------------------------------------------------------------------------
// Process-wide state

bool KMHasDisplay() {
    const char* display = std::getenv("DISPLAY");
    const char* wayland = std::getenv("WAYLAND_DISPLAY");
    return wxTheApp != nullptr && wxTheApp->IsGUI() &&
           ((display && *display) || (wayland && *wayland));
}

KTErr KMInit(void* instance) {
    ClassState& s = Classes();
    if (s.initialised && s.instance == instance)
        return eNoErr;
    if (s.initialised)
        KMDispose();
    try {
        s.instance = instance;
        s.initialised = true;
        const std::string leaf = kvFM::KCStPath(ModulePath(instance)).GetLeaf();
        s.plainName = leaf + " Generic Window Class";
        s.plainRegistered = true;
        s.openGLName = leaf + " Generic openGL Window Class";
        s.openGLRegistered = true;
        return eNoErr;
    } catch (KTErr e) {
        return e;
    } catch (...) {
        return eGenericSystemError;
    }
}

KTErr KMDispose() {
    ClassState& s = Classes();
    s = ClassState();
    return eNoErr;
}

const std::string& KMGetWindowClassName(bool openGL) {
    return openGL ? Classes().openGLName : Classes().plainName;
}

// ---------------------------------------------------------------------------
// Windows

namespace {

// The attributes of the probed configuration (probing first when needed);
// false while the probe runs (its own window takes the toolkit's default) or
// when it found none.
bool ChosenConfigAttributes(wxGLAttributes& attrs) {
    if (GMProbing())
        return false;
    KCRendererInfo info;
    if (GMGetRendererInfo(info) != eNoErr || GMChosenFBConfigID() == 0)
        return false;
    attrs.Reset();
    attrs.AddAttribute(GLX_FBCONFIG_ID);
    attrs.AddAttribute(GMChosenFBConfigID());
    attrs.EndList();
    return true;
}

} // namespace

KTErr KMCreateWindow(const KCWinCreateOpts& options, KCWindow& window) {
    window.dispatcher->InstallEventHandler(&window, options.userData, options.handler);
    if (options.kind != kWinKindPlain && options.kind != kWinKindOpenGL)
        return eGenericSystemError;
    // A record holds one native window: a second one would be orphaned.
    if (!KMHasDisplay() || window.windowHandle != nullptr)
        return eGenericSystemError;

    const uint32_t flags = options.flags;
    long style = 0;
    if (flags & kWinFlagSystemMenu)
        style |= wxSYSTEM_MENU | wxCLOSE_BOX;
    if (flags & kWinFlagMinimiseBox)
        style |= wxMINIMIZE_BOX | wxSYSTEM_MENU | wxCLOSE_BOX;
    if (flags & kWinFlagMaximiseBox)
        style |= wxMAXIMIZE_BOX | wxSYSTEM_MENU | wxCLOSE_BOX;
    if (flags & kWinFlagCaption)
        style |= wxCAPTION;

    const KURect<short>& b = options.bounds;
    const wxPoint pos(b.left, b.top);
    const wxSize size(std::max(0, int(b.Width())), std::max(0, int(b.Height())));
    const bool child = (flags & kWinFlagChild) != 0;

    wxGLAttributes attrs;
    if (options.kind == kWinKindOpenGL && ChosenConfigAttributes(attrs)) {
        // made on the configuration every drawing window uses
    } else {
        attrs.PlatformDefaults().Defaults().EndList();
    }
    if (options.kind == kWinKindOpenGL && !wxGLCanvas::IsDisplaySupported(attrs)) {
        attrs.Reset();
        attrs.PlatformDefaults().RGBA().DoubleBuffer().EndList();
        if (!wxGLCanvas::IsDisplaySupported(attrs))
            return eGenericSystemError;
    }

    wxWindow* outer = nullptr;
    wxWindow* surface = nullptr;
    if (child) {
        wxWindow* parent = options.parent ? Surface(*options.parent) : nullptr;
        if (parent == nullptr)
            return eGenericSystemError;
        if (options.kind == kWinKindOpenGL)
            surface = new KMCanvas(parent, attrs, pos, size);
        else
            surface = new KMPanel(parent, pos, size);
        outer = surface;
    } else {
        wxWindow* parent = nullptr;
        if (options.parent && options.parent->windowHandle)
            parent = wxGetTopLevelParent(options.parent->windowHandle);
        auto* frame = new KMFrame(parent, wxString::FromUTF8(options.title), pos, style);
        if (options.kind == kWinKindOpenGL)
            surface = new KMCanvas(frame, attrs, wxPoint(0, 0), size);
        else
            surface = new KMPanel(frame, wxPoint(0, 0), size);
        frame->SetClientSize(size);
        outer = frame;
    }
    Records()[outer] = &window;
    Records()[surface] = &window;
    window.windowHandle = outer;
    window.deviceContext = surface;
    window.bounds = options.bounds;
    window.textHeight = static_cast<int16_t>(surface->GetCharHeight());
    if (window.textHeight < 1)
        return eGenericSystemError;
    if (flags & (kWinFlagCentreHorizontally | kWinFlagCentreVertically)) {
        if (KMRepositionWindow(window, options.parent, b.TopLeft(),
                               (flags & kWinFlagCentreHorizontally) != 0,
                               (flags & kWinFlagCentreVertically) != 0, true) != eNoErr)
            return eGenericSystemError;
    }
    return eNoErr;
}

KTErr KMDisposeWindow(KCWindow& window) {
    window.deviceContext = nullptr;
    wxWindow* handle = window.windowHandle;
    if (handle == nullptr)
        return eGenericSystemError;
    if (wxWindow* captured = CapturedWindow().get()) {
        if (KMGetWindowRecord(captured) == &window && captured->HasCapture())
            captured->ReleaseMouse();
        CapturedWindow().Release();
    }
    KMNative::DetachRecord(&window);
    KMWindows::DetachControlsOf(handle);
    window.windowHandle = nullptr;
    handle->Hide();
    // The window may be handling one of its own events right now: it is
    // deleted once the loop is idle.
    if (handle->IsTopLevel())
        handle->Destroy();
    else if (wxTheApp != nullptr)
        wxTheApp->ScheduleForDestruction(handle);
    else
        delete handle;
    return eNoErr;
}

void KMDeleteDisposedWindows() {
    if (wxTheApp == nullptr)
        return;
    // What the idle loop does with the list, done now.
    while (!wxPendingDelete.IsEmpty()) {
        wxObject* object = wxPendingDelete.GetFirst()->GetData();
        wxPendingDelete.DeleteObject(object);
        delete object;
    }
}

KTErr KMShowWindow(const KCWindow& window) {
    if (window.windowHandle == nullptr)
        return eGenericSystemError;
    window.windowHandle->Show(true);
    return eNoErr;
}

KTErr KMHideWindow(const KCWindow& window) {
    if (window.windowHandle == nullptr)
        return eGenericSystemError;
    window.windowHandle->Show(false);
    return eNoErr;
}

KTErr KMInvalidateRect(const KCWindow& window, const KURect<short>& r) {
    wxWindow* surface = Surface(window);
    if (surface == nullptr)
        return eGenericSystemError;
    surface->RefreshRect(wxRect(r.left, r.top, r.Width(), r.Height()), true);
    return eNoErr;
}

KTErr KMSetWindowTitle(KCWindow* window, const std::string& title) {
    if (window == nullptr || window->windowHandle == nullptr)
        return eGenericErr;
    const wxString text = wxString::FromUTF8(title);
    if (auto* tlw = dynamic_cast<wxTopLevelWindow*>(window->windowHandle))
        tlw->SetTitle(text);
    else
        window->windowHandle->SetLabel(text);
    return eNoErr;
}

KTErr KMGetWindowBounds(const KCWindow& window, KURect<short>& bounds) {
    if (window.windowHandle == nullptr)
        return eGenericSystemError;
    bounds = KMNative::RectOf(window.windowHandle->GetScreenRect());
    return eNoErr;
}

KTErr KMRepositionWindow(const KCWindow& window, const KCWindow* relative,
                         const KCPoint<short>& point, bool centreH, bool centreV, bool repaint) {
    KURect<short> outer;
    if (KTErr err = KMGetWindowBounds(window, outer); err != eNoErr)
        return err;
    const short width = outer.Width(), height = outer.Height();
    const bool isChild = !window.windowHandle->IsTopLevel();
    short x = point.x, y = point.y;
    auto toClient = [&](KCPoint<short> p) -> KTErr {
        KCPoint<short> local;
        KTErr err = eNoErr;
        if (relative != nullptr) {
            err = KMGlobalToLocal(*relative, p, local);
        } else {
            const wxPoint l = window.windowHandle->GetParent()->ScreenToClient(wxPoint(p.x, p.y));
            local = KCPoint<short>(static_cast<short>(l.x), static_cast<short>(l.y));
        }
        if (err == eNoErr) {
            x = local.x;
            y = local.y;
        }
        return err;
    };
    if (!centreH && !centreV) {
        if (isChild)
            if (KTErr err = toClient(point); err != eNoErr)
                return err;
    } else if (relative != nullptr) {
        KURect<short> rel;
        if (KTErr err = KMGetWindowBounds(*relative, rel); err != eNoErr)
            return err;
        if (centreH)
            x = static_cast<short>(rel.left + short(rel.Width() - width) / 2 + outer.left);
        if (centreV)
            y = static_cast<short>(rel.top + short(rel.Height() - height) / 2 + outer.top);
        if (isChild)
            if (KTErr err = toClient(KCPoint<short>(x, y)); err != eNoErr)
                return err;
    } else {
        const wxSize screen = wxGetDisplaySize();
        if (centreH)
            x = static_cast<short>(short(screen.x - width) / 2);
        if (centreV)
            y = static_cast<short>(short(screen.y - height) / 2);
    }
    window.windowHandle->SetSize(x, y, width, height);
    if (repaint)
        window.windowHandle->Refresh();
    return eNoErr;
}

KTErr KMResizeWindow(KCWindow& window, unsigned short width, unsigned short height, bool repaint) {
    wxWindow* handle = window.windowHandle;
    if (handle == nullptr)
        return eGenericSystemError;
    const wxSize outer = handle->GetSize();
    const wxSize client = handle->GetClientSize();
    const int frameW = outer.x - client.x, frameH = outer.y - client.y;
    const wxPoint pos = handle->IsTopLevel() ? handle->GetPosition() : wxPoint(0, 0);
    handle->SetSize(pos.x, pos.y, width + frameW, height + frameH);
    if (handle->IsTopLevel())
        handle->SetClientSize(width, height);
    if (repaint)
        handle->Refresh();
    window.bounds = KURect<short>(0, 0, static_cast<short>(height), static_cast<short>(width));
    return eNoErr;
}

namespace {

// Sizes the windows inside `window` to reach from where they are to the
// right and bottom of a client area of `client` pixels.
void FillClientArea(wxWindow& window, const wxSize& client) {
    for (wxWindow* child : window.GetChildren()) {
        if (child->IsTopLevel())
            continue;
        const wxPoint at = child->GetPosition();
        const wxSize size(std::max(client.x - at.x, 1), std::max(client.y - at.y, 1));
        const wxSize decoration = child->GetSize() - child->GetClientSize();
        child->SetSize(size);
        FillClientArea(*child, size - decoration);
    }
}

} // namespace

bool KMSetTopLevelSize(wxWindow* top, int width, int height) {
    if (top == nullptr || !top->IsTopLevel() || width <= 0 || height <= 0)
        return false;
    const wxSize decoration = top->GetSize() - top->GetClientSize();
    FillClientArea(*top, wxSize(width - decoration.x, height - decoration.y));
    // A frame that is not resizable keeps the size hints of its old size,
    // and the toolkit keeps it at the client size last set.
    top->SetSizeHints(width, height, width, height);
    top->SetSize(width, height);
    top->SetClientSize(width - decoration.x, height - decoration.y);
    return true;
}

KTErr KMLocalToGlobal(const KCWindow& window, const KCPoint<short>& in, KCPoint<short>& out) {
    wxWindow* surface = Surface(window);
    if (surface == nullptr)
        return eGenericSystemError;
    const wxPoint p = surface->ClientToScreen(wxPoint(in.x, in.y));
    out = KCPoint<short>(static_cast<short>(p.x), static_cast<short>(p.y));
    return eNoErr;
}

KTErr KMGlobalToLocal(const KCWindow& window, const KCPoint<short>& in, KCPoint<short>& out) {
    wxWindow* surface = Surface(window);
    if (surface == nullptr)
        return eGenericSystemError;
    const wxPoint p = surface->ScreenToClient(wxPoint(in.x, in.y));
    out = KCPoint<short>(static_cast<short>(p.x), static_cast<short>(p.y));
    return eNoErr;
}

KTErr KMGetVisibleRegion(const KCWindow& window, KCRegion& region) {
    wxWindow* surface = Surface(window);
    if (surface == nullptr || region.GetHandle() == nullptr)
        return eGenericErr;
    if (!surface->IsShownOnScreen()) {
        region = KURect<short>();
        return eNoErr;
    }
    // The client area clipped by every enclosing client area and the screen.
    const wxPoint origin = surface->ClientToScreen(wxPoint(0, 0));
    wxRect visible(wxPoint(0, 0), surface->GetClientSize());
    for (wxWindow* p = surface->GetParent(); p != nullptr; p = p->GetParent()) {
        const wxPoint o = p->ClientToScreen(wxPoint(0, 0)) - origin;
        visible.Intersect(wxRect(o, p->GetClientSize()));
        if (p->IsTopLevel())
            break;
    }
    visible.Intersect(wxRect(-origin, wxGetDisplaySize()));
    region = visible.IsEmpty() ? KURect<short>() : KMNative::RectOf(visible);
    return eNoErr;
}

KTErr KMSetCapture(const KCWindow& window) {
    wxWindow* surface = Surface(window);
    if (surface == nullptr)
        return eGenericSystemError;
    wxWindow* current = CapturedWindow().get();
    if (current == surface && surface->HasCapture())
        return eNoErr;
    if (current != nullptr && current->HasCapture())
        current->ReleaseMouse();
    surface->CaptureMouse();
    CapturedWindow() = surface;
    return eNoErr;
}

KTErr KMReleaseCapture() {
    wxWindow* current = CapturedWindow().get();
    CapturedWindow().Release();
    if (current != nullptr && current->HasCapture())
        current->ReleaseMouse();
    return eNoErr;
}

wxGLCanvas* KMGetGLCanvas(const KCWindow& window) {
    return dynamic_cast<wxGLCanvas*>(Surface(window));
}

// ---------------------------------------------------------------------------
// Loops

KTErr KMRunAppEventLoop() {
    return RunLoop();
}

KTErr KMQuitAppEventLoop() {
    PostQuit();
    return eNoErr;
}

KTErr KMQuitModalEventLoop(void*) {
    PostQuit();
    return eNoErr;
}

int KMEventLoopDepth() {
    return static_cast<int>(Loops().loops.size());
}

KTErr KMRunModalEventLoop(KCWindow& window) {
    if (wxTheApp == nullptr)
        return eGenericSystemError;
    std::vector<wxWeakRef<wxWindow>> disabled;
    for (wxWindow* w : wxTopLevelWindows)
        if (w != window.windowHandle && w->IsShown() && w->IsThisEnabled() && Alive(w))
            disabled.emplace_back(w);
    for (auto& w : disabled) {
        if (!w)
            continue;
        w->Enable(false);
        SendEnableState(w.get(), false);
    }
    // The keyboard goes to the modal window: without a window manager to
    // focus it, keys follow the pointer and reach a window just disabled,
    // which drops them.
    if (window.windowHandle != nullptr && window.windowHandle->IsShown()) {
        wxWindow* top = wxGetTopLevelParent(window.windowHandle);
        GtkWidget* widget = top != nullptr ? top->GetHandle() : nullptr;
        GdkWindow* native = widget != nullptr ? gtk_widget_get_window(widget) : nullptr;
        if (native != nullptr)
            gdk_window_focus(native, GDK_CURRENT_TIME);
    }
    const KTErr result = RunLoop();
    // Only what this loop disabled is enabled again: windows disabled by an
    // enclosing modal loop stay disabled.
    for (auto& w : disabled) {
        if (!w || !Alive(w.get()) || w->IsThisEnabled())
            continue;
        w->Enable(true);
        SendEnableState(w.get(), true);
    }
    return result;
}

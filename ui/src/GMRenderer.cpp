// Rendering contexts over GLX and the once-per-process renderer probe.
#include "ui/GMRenderer.h"

#include <GL/gl.h>
#include <GL/glx.h>
#include <gdk/gdkx.h>
#include <gtk/gtk.h>

#include <cstring>
#include <map>
#include <mutex>
#include <string>
#include <vector>

#include <wx/glcanvas.h>

#include "foundation/KThread.h"
#include "ui/KMWindowManager.h"

#ifndef GLX_SWAP_METHOD_OML
#define GLX_SWAP_METHOD_OML 0x8060
#define GLX_SWAP_EXCHANGE_OML 0x8061
#define GLX_SWAP_COPY_OML 0x8062
#define GLX_SWAP_UNDEFINED_OML 0x8063
#endif

namespace {

// What an unexpected failure while a context is set up returns.
constexpr KTErr kUnexpectedFailure = -3;

struct ProbeState {
    KCRendererInfo info;
    bool computed = false;
    bool probing = false;
    int chosenID = 0; // GLX_FBCONFIG_ID of the chosen configuration
};

ProbeState& State() {
    static ProbeState state;
    return state;
}

// --- the table of renderers with exceptions ----------------------------------

enum class Match { Exactly, Contains };

struct RendererException {
    const char* vendor; // null: any vendor
    const char* renderer;
    Match match;
    uint32_t clear;
    uint32_t set;
};

constexpr RendererException kExceptions[] = {
    {nullptr, "Matrox G400", Match::Exactly, eRendererLineStipple | eRendererSmoothing, 0},
    {nullptr, "Matrox G200", Match::Exactly, eRendererLineStipple | eRendererSmoothing, 0},
    {nullptr, "Matrox ICD for Parhelia", Match::Exactly, eRendererSmoothing, eRendererVendorFlag},
    {"NVIDIA Corporation", "GeForce4 MX 440", Match::Contains, eRendererLineStipple, 0},
    {"NVIDIA Corporation", "GeForce FX 5700", Match::Contains, eRendererSmoothing, 0},
    {"NVIDIA Corporation", "", Match::Contains, 0, eRendererVendorFlag},
    {"Intel", "Intel 915G", Match::Exactly, eRendererLineStipple, 0},
};

bool Same(const char* a, const char* b) {
    return a != nullptr && b != nullptr && std::strcmp(a, b) == 0;
}

bool Applies(const RendererException& e, const char* vendor, const char* renderer) {
    if (e.vendor != nullptr && !Same(e.vendor, vendor))
        return false;
    if (renderer == nullptr)
        return false;
    return e.match == Match::Exactly ? Same(e.renderer, renderer)
                                     : std::strstr(renderer, e.renderer) != nullptr;
}

// --- GLX helpers ---------------------------------------------------------------

Display* XDisplay() {
    GdkDisplay* display = gdk_display_get_default();
    if (display == nullptr || !GDK_IS_X11_DISPLAY(display))
        return nullptr;
    return GDK_DISPLAY_XDISPLAY(display);
}

int Attrib(Display* d, GLXFBConfig c, int attribute) {
    int value = 0;
    if (glXGetFBConfigAttrib(d, c, attribute, &value) != Success)
        return 0;
    return value;
}

bool Acceptable(Display* d, GLXFBConfig c) {
    return (Attrib(d, c, GLX_RENDER_TYPE) & GLX_RGBA_BIT) &&
           (Attrib(d, c, GLX_DRAWABLE_TYPE) & GLX_WINDOW_BIT) && Attrib(d, c, GLX_VISUAL_ID) != 0 &&
           Attrib(d, c, GLX_BUFFER_SIZE) == 32 && Attrib(d, c, GLX_ALPHA_SIZE) == 8 &&
           Attrib(d, c, GLX_STENCIL_SIZE) >= 1 &&
           Attrib(d, c, GLX_CONFIG_CAVEAT) != GLX_SLOW_CONFIG;
}

// What the choice needs of each configuration, in the screen's order.
std::vector<KSConfigTraits> TraitsOf(Display* d, GLXFBConfig* configs, int count, bool omlSwap) {
    std::vector<KSConfigTraits> traits(size_t(std::max(count, 0)));
    for (int i = 0; i < count; ++i) {
        KSConfigTraits& t = traits[size_t(i)];
        t.acceptable = Acceptable(d, configs[i]);
        if (!t.acceptable)
            continue;
        t.doubleBuffered = Attrib(d, configs[i], GLX_DOUBLEBUFFER) != 0;
        const int method = omlSwap ? Attrib(d, configs[i], GLX_SWAP_METHOD_OML) : 0;
        t.swapMethod = method == GLX_SWAP_COPY_OML        ? kSwapCopy
                       : method == GLX_SWAP_UNDEFINED_OML ? kSwapUndefined
                       : method == GLX_SWAP_EXCHANGE_OML  ? kSwapExchange
                                                          : kSwapUnknown;
    }
    return traits;
}

// The configuration the display suggests for the request: RGBA, window,
// double-buffered, 32 colour bits with 8 of alpha.
int SuggestedConfig(Display* d, int screen, GLXFBConfig* configs, int count) {
    const int request[] = {GLX_RENDER_TYPE,
                           GLX_RGBA_BIT,
                           GLX_DRAWABLE_TYPE,
                           GLX_WINDOW_BIT,
                           GLX_DOUBLEBUFFER,
                           True,
                           GLX_BUFFER_SIZE,
                           32,
                           GLX_ALPHA_SIZE,
                           8,
                           None};
    int n = 0;
    GLXFBConfig* suggested = glXChooseFBConfig(d, screen, request, &n);
    int index = 0;
    if (suggested != nullptr && n > 0) {
        const int id = Attrib(d, suggested[0], GLX_FBCONFIG_ID);
        for (int i = 0; i < count && index == 0; ++i)
            if (Attrib(d, configs[i], GLX_FBCONFIG_ID) == id)
                index = i + 1;
    }
    if (suggested != nullptr)
        XFree(suggested);
    return index;
}

void BindBufferEntryPoints() {
    KSBufferEntryPoints& e = GMBufferEntryPoints();
    e.bindBuffer = reinterpret_cast<decltype(e.bindBuffer)>(GMGetProcAddress("glBindBufferARB"));
    e.genBuffers = reinterpret_cast<decltype(e.genBuffers)>(GMGetProcAddress("glGenBuffersARB"));
    e.deleteBuffers =
        reinterpret_cast<decltype(e.deleteBuffers)>(GMGetProcAddress("glDeleteBuffersARB"));
    e.bufferData = reinterpret_cast<decltype(e.bufferData)>(GMGetProcAddress("glBufferDataARB"));
    e.bufferSubData =
        reinterpret_cast<decltype(e.bufferSubData)>(GMGetProcAddress("glBufferSubDataARB"));
}

wxGLContextAttrs ContextAttributes() {
    wxGLContextAttrs attrs;
    attrs.PlatformDefaults().CompatibilityProfile().EndList();
    return attrs;
}

wxGLCanvas* CanvasOf(const KCWindow& window) {
    auto* surface = static_cast<wxWindow*>(window.deviceContext);
    return surface ? dynamic_cast<wxGLCanvas*>(surface) : nullptr;
}

// Makes the canvas's X window exist even while the window is not shown, so
// that a context can be bound before the window appears.
bool Realize(wxGLCanvas* canvas) {
    GtkWidget* widget = canvas->m_wxwindow ? canvas->m_wxwindow : canvas->m_widget;
    if (widget == nullptr)
        return false;
    if (!gtk_widget_get_realized(widget))
        gtk_widget_realize(widget);
    return canvas->GetXWindow() != 0;
}

// The last binding this thread made through these functions: GLX names the
// current context, the record says which window's context it is.
struct Binding {
    const wxGLContext* context = nullptr;
    GLXDrawable drawable = 0;
    GLXContext glx = nullptr;
};

Binding& LastBinding() {
    thread_local Binding binding;
    return binding;
}

bool MakeCurrent(const KCWindow& window) {
    wxGLCanvas* canvas = CanvasOf(window);
    LastBinding() = Binding();
    if (canvas == nullptr || window.renderingContext == nullptr || !Realize(canvas) ||
        !window.renderingContext->SetCurrent(*canvas))
        return false;
    LastBinding() = Binding{window.renderingContext, canvas->GetXWindow(), glXGetCurrentContext()};
    return true;
}

// "Already current" asks GLX: the thread's current context and drawable are
// those of the window's last binding.
bool IsCurrent(const KCWindow& window) {
    wxGLCanvas* canvas = CanvasOf(window);
    const Binding& last = LastBinding();
    if (canvas == nullptr || window.renderingContext == nullptr ||
        last.context != window.renderingContext)
        return false;
    return last.glx != nullptr && glXGetCurrentContext() == last.glx &&
           glXGetCurrentDrawable() == last.drawable && last.drawable == canvas->GetXWindow();
}

// The size each context's drawing was set up for, and the canvas height its
// viewport was last fitted to.
struct Projection {
    int width = 0;
    int height = 0;
    int canvasHeight = -1;
};

std::mutex& ProjectionsLock() {
    static std::mutex lock;
    return lock;
}

std::map<const wxGLContext*, Projection>& Projections() {
    static std::map<const wxGLContext*, Projection> projections;
    return projections;
}

// The drawing keeps its top-left corner at the window's: a canvas clipped
// shorter than its drawing (an editor frame sized down around it) shows the
// drawing's top, as a window clipped by its parent does. Needs the window's
// context current.
void FitViewport(const KCWindow& window) {
    wxGLCanvas* canvas = CanvasOf(window);
    if (canvas == nullptr)
        return;
    const int canvasHeight = canvas->GetClientSize().y;
    std::lock_guard guard(ProjectionsLock());
    auto it = Projections().find(window.renderingContext);
    if (it == Projections().end() || it->second.canvasHeight == canvasHeight)
        return;
    Projection& p = it->second;
    // A canvas without a size yet (not laid out) keeps the plain viewport.
    const int offset = canvasHeight > 0 ? canvasHeight - p.height : 0;
    glViewport(0, offset, p.width, p.height);
    if (canvasHeight > 0)
        p.canvasHeight = canvasHeight;
}

void SetUpProjection(const KCWindow& window, int width, int height) {
    {
        std::lock_guard guard(ProjectionsLock());
        Projections()[window.renderingContext] = Projection{width, height, -1};
    }
    glViewport(0, 0, width, height);
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    glOrtho(0, width, height, 0, -1, 1);
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    FitViewport(window);
}

bool AlwaysHandled(void*, KEEventTypes, KCEventData*, void*) {
    return true;
}

struct ProbeResult {
    uint32_t flags = 0;
    int format = 0;
    int chosenID = 0;
};

// Steps 2-9 of the probe, with the probe window's canvas.
void ProbeWithCanvas(wxGLCanvas* canvas, ProbeResult& result) {
    Display* d = XDisplay();
    if (d == nullptr || canvas == nullptr || !Realize(canvas))
        return;
    const int screen = DefaultScreen(d);
    int count = 0;
    GLXFBConfig* configs = glXGetFBConfigs(d, screen, &count);
    if (configs == nullptr || count <= 0)
        return;
    const int suggested = SuggestedConfig(d, screen, configs, count);
    const wxGLContextAttrs attrs = ContextAttributes();
    wxGLContext context(canvas, nullptr, &attrs);
    if (!context.IsOK() || !context.SetCurrent(*canvas)) {
        XFree(configs);
        return;
    }
    const auto* vendor = reinterpret_cast<const char*>(glGetString(GL_VENDOR));
    const auto* renderer = reinterpret_cast<const char*>(glGetString(GL_RENDERER));
    const auto* glExtensions = reinterpret_cast<const char*>(glGetString(GL_EXTENSIONS));
    const char* glxExtensions = glXQueryExtensionsString(d, screen);
    result.flags = GMRendererFlagsFor(vendor, renderer, glExtensions, glxExtensions);
    if (result.flags & eRendererVertexBuffers)
        BindBufferEntryPoints();
    const KSConfigChoice choice = GMChooseConfig(
        TraitsOf(d, configs, count, GMHasExtension(glxExtensions, "GLX_OML_swap_method")), vendor,
        renderer, suggested);
    glXMakeCurrent(d, None, nullptr);
    result.format = choice.pixelFormat;
    if (choice.singleBuffered)
        result.flags &= ~eRendererDoubleBuffer;
    if (result.format > 0)
        result.chosenID = Attrib(d, configs[result.format - 1], GLX_FBCONFIG_ID);
    XFree(configs);
}

KTErr Probe() {
    ProbeState& s = State();
    KCWindow window;
    KCWinCreateOpts options;
    options.kind = kWinKindOpenGL;
    options.flags = 1;
    options.bounds = KURect<short>(0, 0, 10, 10);
    options.title = "Choosing PixelFormatDescriptor";
    options.handler = AlwaysHandled;
    s.probing = true;
    const KTErr created = KMCreateWindow(options, window);
    s.probing = false;
    if (created != eNoErr) {
        if (window.windowHandle != nullptr)
            KMDisposeWindow(window);
        return created;
    }
    ProbeResult result;
    ProbeWithCanvas(KMGetGLCanvas(window), result);
    s.info.flags = result.flags;
    s.info.pixelFormat = result.format;
    s.chosenID = result.chosenID;
    const KTErr disposed = KMDisposeWindow(window);
    if (disposed == eNoErr)
        s.computed = true;
    return disposed;
}

} // namespace

// ---------------------------------------------------------------------------

bool GMHasExtension(const char* list, const char* name) {
    if (list == nullptr || name == nullptr || *name == '\0')
        return false;
    const size_t n = std::strlen(name);
    for (const char* p = list; (p = std::strstr(p, name)) != nullptr; p += n) {
        const bool startsWord = p == list || p[-1] == ' ';
        const bool endsWord = p[n] == ' ' || p[n] == '\0';
        if (startsWord && endsWord)
            return true;
    }
    return false;
}

uint32_t GMRendererFlagsFor(const char* vendor, const char* renderer, const char* glExtensions,
                            const char* glxExtensions) {
    uint32_t flags = eRendererLineStipple | eRendererSmoothing | eRendererDoubleBuffer;
    if (GMHasExtension(glxExtensions, "GLX_EXT_swap_control") ||
        GMHasExtension(glxExtensions, "GLX_MESA_swap_control"))
        flags |= eRendererSwapControl;
    if (GMHasExtension(glExtensions, "GL_ARB_vertex_buffer_object"))
        flags |= eRendererVertexBuffers;
    for (const RendererException& e : kExceptions) {
        if (Applies(e, vendor, renderer)) {
            flags &= ~e.clear;
            flags |= e.set;
        }
    }
    return flags;
}

KSConfigChoice GMChooseConfig(const std::vector<KSConfigTraits>& configs, const char* vendor,
                              const char* renderer, int suggested) {
    const bool radeon = Same(vendor, "ATI Technologies Inc.") && renderer != nullptr &&
                        std::strstr(renderer, "Radeon") != nullptr;
    int best = 0, undefinedSwap = 0, singleBuffer = 0;
    for (size_t i = 0; i < configs.size() && best == 0; ++i) {
        const KSConfigTraits& c = configs[i];
        const int index = int(i) + 1;
        if (!c.acceptable)
            continue;
        if (!c.doubleBuffered) {
            if (singleBuffer == 0)
                singleBuffer = index;
        } else if (c.swapMethod == kSwapCopy) {
            best = index;
        } else if (!radeon && c.swapMethod == kSwapUndefined && undefinedSwap == 0) {
            undefinedSwap = index;
        }
    }
    if (Same(vendor, "Intel"))
        undefinedSwap = 0;
    KSConfigChoice choice;
    if (best != 0)
        choice.pixelFormat = best;
    else if (undefinedSwap != 0)
        choice.pixelFormat = undefinedSwap;
    else if (singleBuffer != 0) {
        choice.pixelFormat = singleBuffer;
        choice.singleBuffered = true;
    } else
        choice.pixelFormat = suggested;
    return choice;
}

KSBufferEntryPoints& GMBufferEntryPoints() {
    static KSBufferEntryPoints points;
    return points;
}

int GMChosenFBConfigID() {
    return State().computed ? State().chosenID : 0;
}

bool GMProbing() {
    return State().probing;
}

KTErr GMGetRendererInfo(KCRendererInfo& info) {
    ProbeState& s = State();
    if (!s.computed) {
        if (s.probing)
            return eGMGenericErr;
        if (KTErr err = Probe(); err != eNoErr)
            return err;
    }
    info = s.info;
    return eNoErr;
}

void* GMGetProcAddress(const char* name) {
    if (name == nullptr)
        return nullptr;
    return reinterpret_cast<void*>(glXGetProcAddressARB(reinterpret_cast<const GLubyte*>(name)));
}

void* GMGetCurrentRC() {
    return glXGetCurrentContext();
}

KTErr GMCreateRC(KCWindow& window) {
    try {
        wxGLCanvas* canvas = CanvasOf(window);
        if (canvas == nullptr)
            return eGMGenericErr;
        KCRendererInfo info;
        if (KTErr err = GMGetRendererInfo(info); err != eNoErr)
            return err;
        window.doubleBuffered = (info.flags & eRendererDoubleBuffer) ? 1 : 0;
        Display* d = XDisplay();
        GLXFBConfig* own = canvas->GetGLXFBConfig();
        if (d == nullptr || own == nullptr || State().chosenID == 0 ||
            Attrib(d, *own, GLX_FBCONFIG_ID) != State().chosenID || !Realize(canvas))
            return eGenericSystemError;
        const wxGLContextAttrs attrs = ContextAttributes();
        auto* context = new wxGLContext(canvas, nullptr, &attrs);
        if (!context->IsOK()) {
            delete context;
            return eGenericSystemError;
        }
        window.renderingContext = context;
        window.contextThread = kvThread::current_thread_id();
        GMBind2RC(window);
        if (info.flags & eRendererSwapControl) {
            using SwapEXT = void (*)(Display*, GLXDrawable, int);
            using SwapMESA = int (*)(unsigned);
            if (auto ext = reinterpret_cast<SwapEXT>(GMGetProcAddress("glXSwapIntervalEXT")))
                ext(d, canvas->GetXWindow(), 0);
            else if (auto mesa =
                         reinterpret_cast<SwapMESA>(GMGetProcAddress("glXSwapIntervalMESA")))
                mesa(0);
        }
        SetUpProjection(window, window.bounds.Width(), window.bounds.Height());
        if (info.flags & eRendererVertexBuffers)
            glEnableClientState(GL_VERTEX_ARRAY);
        glEnable(GL_BLEND);
        glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
        return eNoErr;
    } catch (...) {
        return kUnexpectedFailure;
    }
}

KTErr GMResizeRC(KCWindow& window, KURect<short>& bounds) {
    if (!IsCurrent(window) && !MakeCurrent(window))
        return eGMGenericErr;
    SetUpProjection(window, bounds.Width(), bounds.Height());
    return eNoErr;
}

void GMBind2RC(const KCWindow& window, bool) {
    if (window.renderingContext == nullptr)
        return;
    if (IsCurrent(window) || MakeCurrent(window))
        FitViewport(window);
}

void GMUnBind2RC(const KCWindow&) {
    LastBinding() = Binding();
    if (Display* d = XDisplay())
        glXMakeCurrent(d, None, nullptr);
}

KTErr GMSwapBuffers(const KCWindow& window) {
    // Without a context the window's drawable has nothing to present: GLX
    // would answer the swap with an X error, which ends the process.
    if (window.renderingContext == nullptr)
        return eGMGenericErr;
    wxGLCanvas* canvas = CanvasOf(window);
    if (window.doubleBuffered && canvas != nullptr && canvas->GetXWindow() != 0) {
        Display* d = XDisplay();
        if (d == nullptr)
            return eGMGenericErr;
        glXSwapBuffers(d, canvas->GetXWindow());
    } else {
        glFlush();
    }
    return eNoErr;
}

namespace {
constexpr const char* kOwnFramesKey = "kv-presents-own-frames";

GObject* SurfaceObject(const KCWindow& window) {
    auto* surface = static_cast<wxWindow*>(window.deviceContext);
    GtkWidget* widget = surface ? surface->m_widget : nullptr;
    return widget ? G_OBJECT(widget) : nullptr;
}
} // namespace

void GMSetPresentsOwnFrames(const KCWindow& window, bool on) {
    if (GObject* object = SurfaceObject(window))
        g_object_set_data(object, kOwnFramesKey, GINT_TO_POINTER(on ? 1 : 0));
}

bool GMPresentsOwnFrames(const KCWindow& window) {
    GObject* object = SurfaceObject(window);
    return object && GPOINTER_TO_INT(g_object_get_data(object, kOwnFramesKey)) != 0;
}

int GMBackBufferAge(const KCWindow& window) {
#ifdef GLX_BACK_BUFFER_AGE_EXT
    wxGLCanvas* canvas = CanvasOf(window);
    Display* d = XDisplay();
    if (canvas == nullptr || d == nullptr || canvas->GetXWindow() == 0)
        return -1;
    const char* extensions = glXQueryExtensionsString(d, DefaultScreen(d));
    if (extensions == nullptr || std::strstr(extensions, "GLX_EXT_buffer_age") == nullptr)
        return -1;
    unsigned int age = 0;
    glXQueryDrawable(d, canvas->GetXWindow(), GLX_BACK_BUFFER_AGE_EXT, &age);
    return static_cast<int>(age);
#else
    (void)window;
    return -1;
#endif
}

void GMDisposeRC(KCWindow& window) {
    GMUnBind2RC(window);
    {
        std::lock_guard guard(ProjectionsLock());
        Projections().erase(window.renderingContext);
    }
    delete window.renderingContext;
    window.renderingContext = nullptr;
    window.doubleBuffered = 1;
    window.contextThread = KCWindow::kInvalidThreadID;
}

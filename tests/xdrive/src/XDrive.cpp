#include "xdrive/XDrive.h"

#include "foundation/KCFourCC.h"
#include "foundation/KCStPath.h"
#include "foundation/RM.h"
#include "foundation/ResConverters.h"
#include "foundation/XMLElement.h"

#include <png.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <sstream>
#include <thread>

// Xlib's macros come after every C++ header that they could break.
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/XTest.h>

namespace xdrive {

namespace {

::Display* Dpy(void* d) {
    return static_cast<::Display*>(d);
}

std::string TitleOf(::Display* d, Window w) {
    char* name = nullptr;
    if (!XFetchName(d, w, &name) || name == nullptr)
        return {};
    std::string title = name;
    XFree(name);
    return title;
}

Window Search(::Display* d, Window w, const std::string& title, bool prefix) {
    const std::string name = TitleOf(d, w);
    if (!name.empty() && (prefix ? name.rfind(title, 0) == 0 : name == title))
        return w;
    Window root = 0, parent = 0, *children = nullptr;
    unsigned int count = 0;
    if (!XQueryTree(d, w, &root, &parent, &children, &count))
        return 0;
    Window found = 0;
    for (unsigned int i = 0; i < count && found == 0; ++i)
        found = Search(d, children[i], title, prefix);
    if (children != nullptr)
        XFree(children);
    return found;
}

// Errors of requests on windows that went away meanwhile are not fatal.
int IgnoreErrors(::Display*, XErrorEvent*) {
    return 0;
}

void Pause(int ms) {
    std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

int ShiftOf(unsigned long mask) {
    int shift = 0;
    while (mask != 0 && (mask & 1) == 0) {
        mask >>= 1;
        ++shift;
    }
    return shift;
}

uint8_t Channel(unsigned long pixel, unsigned long mask) {
    if (mask == 0)
        return 0;
    const unsigned long max = mask >> ShiftOf(mask);
    return static_cast<uint8_t>(((pixel & mask) >> ShiftOf(mask)) * 255 / max);
}

} // namespace

bool Picture::IsUniform() const {
    for (size_t i = 3; i + 2 < rgb.size(); i += 3)
        if (std::memcmp(&rgb[i], &rgb[0], 3) != 0)
            return false;
    return true;
}

Display::Display() : display_(XOpenDisplay(nullptr)) {
    if (display_ != nullptr)
        XSetErrorHandler(&IgnoreErrors);
}

Display::~Display() {
    if (display_ != nullptr)
        XCloseDisplay(Dpy(display_));
}

bool Display::HasXTest() const {
    int event = 0, error = 0, major = 0, minor = 0;
    return XTestQueryExtension(Dpy(display_), &event, &error, &major, &minor) != 0;
}

void Display::Sync() const {
    XSync(Dpy(display_), False);
}

WindowId Display::FindWindow(const std::string& title, bool prefix) const {
    ::Display* d = Dpy(display_);
    return Search(d, DefaultRootWindow(d), title, prefix);
}

bool Display::IsMapped(WindowId w) const {
    XWindowAttributes attributes{};
    return XGetWindowAttributes(Dpy(display_), w, &attributes) &&
           attributes.map_state == IsViewable;
}

std::vector<WindowId> Display::Popups() const {
    ::Display* d = Dpy(display_);
    Window root = 0, parent = 0, *children = nullptr;
    unsigned int count = 0;
    std::vector<WindowId> popups;
    if (!XQueryTree(d, DefaultRootWindow(d), &root, &parent, &children, &count))
        return popups;
    for (unsigned int i = 0; i < count; ++i) {
        XWindowAttributes attributes{};
        if (XGetWindowAttributes(d, children[i], &attributes) && attributes.override_redirect &&
            attributes.map_state == IsViewable)
            popups.push_back(children[i]);
    }
    if (children != nullptr)
        XFree(children);
    return popups;
}

WindowId Display::WaitForWindow(const std::string& title, bool prefix, double seconds) const {
    const auto end = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
    do {
        const WindowId w = FindWindow(title, prefix);
        if (w != 0 && IsMapped(w))
            return w;
        Pause(20);
    } while (std::chrono::steady_clock::now() < end);
    return 0;
}

std::optional<Geometry> Display::GetGeometry(WindowId w) const {
    ::Display* d = Dpy(display_);
    XWindowAttributes attributes{};
    if (!XGetWindowAttributes(d, w, &attributes))
        return std::nullopt;
    Window child = 0;
    Geometry g;
    if (!XTranslateCoordinates(d, w, DefaultRootWindow(d), 0, 0, &g.x, &g.y, &child))
        return std::nullopt;
    g.width = attributes.width;
    g.height = attributes.height;
    return g;
}

std::string Display::GetTitle(WindowId w) const {
    return TitleOf(Dpy(display_), w);
}

int64_t Display::MoveTo(WindowId w, int x, int y) {
    const std::optional<Geometry> g = GetGeometry(w);
    if (!g || !HasXTest())
        return 0;
    ::Display* d = Dpy(display_);
    XTestFakeMotionEvent(d, DefaultScreen(d), g->x + x, g->y + y, CurrentTime);
    Sync();
    return WallClockMs();
}

int64_t Display::Press(WindowId w, int x, int y) {
    if (MoveTo(w, x, y) == 0)
        return 0;
    Pause(30);
    XTestFakeButtonEvent(Dpy(display_), 1, True, CurrentTime);
    Sync();
    return WallClockMs();
}

int64_t Display::Release() {
    if (!HasXTest())
        return 0;
    const int64_t now = WallClockMs();
    XTestFakeButtonEvent(Dpy(display_), 1, False, CurrentTime);
    Sync();
    return now;
}

bool Display::Click(WindowId w, int x, int y) {
    return Drag(w, x, y, x, y, 1);
}

bool Display::Drag(WindowId w, int x1, int y1, int x2, int y2, int steps) {
    return DragTimed(w, x1, y1, x2, y2, steps) != 0;
}

int64_t Display::DragTimed(WindowId w, int x1, int y1, int x2, int y2, int steps) {
    if (Press(w, x1, y1) == 0)
        return 0;
    Pause(30);
    steps = std::max(steps, 1);
    for (int i = 1; i <= steps; ++i) {
        MoveTo(w, x1 + (x2 - x1) * i / steps, y1 + (y2 - y1) * i / steps);
        Pause(15);
    }
    return Release();
}

bool Display::Keys(const std::vector<std::string>& names) {
    if (!HasXTest())
        return false;
    ::Display* d = Dpy(display_);
    for (const std::string& name : names) {
        const KeySym symbol = XStringToKeysym(name.c_str());
        const KeyCode code = symbol == NoSymbol ? 0 : XKeysymToKeycode(d, symbol);
        if (code == 0)
            return false;
        XTestFakeKeyEvent(d, code, True, CurrentTime);
        XTestFakeKeyEvent(d, code, False, CurrentTime);
        Sync();
        Pause(60);
    }
    return true;
}

bool Display::Close(WindowId w) {
    ::Display* d = Dpy(display_);
    XEvent event;
    std::memset(&event, 0, sizeof event);
    event.xclient.type = ClientMessage;
    event.xclient.window = w;
    event.xclient.message_type = XInternAtom(d, "WM_PROTOCOLS", False);
    event.xclient.format = 32;
    event.xclient.data.l[0] = static_cast<long>(XInternAtom(d, "WM_DELETE_WINDOW", False));
    event.xclient.data.l[1] = CurrentTime;
    const bool sent = XSendEvent(d, w, False, NoEventMask, &event) != 0;
    Sync();
    return sent;
}

bool Display::Move(WindowId w, int x, int y) {
    ::Display* d = Dpy(display_);
    if (!GetGeometry(w))
        return false;
    XMoveWindow(d, w, x, y);
    XRaiseWindow(d, w);
    Sync();
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(2);
    do {
        const std::optional<Geometry> g = GetGeometry(w);
        if (g && g->x == x && g->y == y)
            return true;
        Pause(20);
    } while (std::chrono::steady_clock::now() < end);
    return false;
}

std::optional<Picture> Display::Snap(WindowId w) const {
    ::Display* d = Dpy(display_);
    std::optional<Geometry> g = GetGeometry(w);
    if (!g)
        return std::nullopt;
    // The root window's pixels under the window: what is on the screen,
    // children (the editors' drawing surfaces) included.
    const int screenWidth = DisplayWidth(d, DefaultScreen(d));
    const int screenHeight = DisplayHeight(d, DefaultScreen(d));
    const int x0 = std::max(g->x, 0), y0 = std::max(g->y, 0);
    const int x1 = std::min(g->x + g->width, screenWidth);
    const int y1 = std::min(g->y + g->height, screenHeight);
    if (x1 <= x0 || y1 <= y0)
        return std::nullopt;
    XImage* image = XGetImage(d, DefaultRootWindow(d), x0, y0, static_cast<unsigned>(x1 - x0),
                              static_cast<unsigned>(y1 - y0), AllPlanes, ZPixmap);
    if (image == nullptr)
        return std::nullopt;
    Picture picture;
    picture.width = x1 - x0;
    picture.height = y1 - y0;
    picture.rgb.reserve(static_cast<size_t>(picture.width) * picture.height * 3);
    for (int y = 0; y < picture.height; ++y)
        for (int x = 0; x < picture.width; ++x) {
            const unsigned long pixel = XGetPixel(image, x, y);
            picture.rgb.push_back(Channel(pixel, image->red_mask));
            picture.rgb.push_back(Channel(pixel, image->green_mask));
            picture.rgb.push_back(Channel(pixel, image->blue_mask));
        }
    XDestroyImage(image);
    return picture;
}

namespace {

// libpng reports errors by longjmp: nothing here lives across it but the
// two libpng records.
bool EncodePng(FILE* file, const Picture& picture) {
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    if (png == nullptr)
        return false;
    png_infop info = png_create_info_struct(png);
    if (info == nullptr || setjmp(png_jmpbuf(png)) != 0) {
        png_destroy_write_struct(&png, &info);
        return false;
    }
    png_init_io(png, file);
    png_set_IHDR(png, info, static_cast<png_uint_32>(picture.width),
                 static_cast<png_uint_32>(picture.height), 8, PNG_COLOR_TYPE_RGB,
                 PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    png_write_info(png, info);
    for (int y = 0; y < picture.height; ++y)
        png_write_row(png, picture.rgb.data() + static_cast<size_t>(y) * picture.width * 3);
    png_write_end(png, info);
    png_destroy_write_struct(&png, &info);
    return true;
}

} // namespace

bool WritePng(const Picture& picture, const std::string& path, std::string& error) {
    const std::string temporary = path + ".part";
    FILE* file = std::fopen(temporary.c_str(), "wb");
    if (file == nullptr) {
        error = "cannot create " + temporary + ": " + std::strerror(errno);
        return false;
    }
    bool ok = EncodePng(file, picture);
    ok = std::fclose(file) == 0 && ok;
    ok = ok && std::rename(temporary.c_str(), path.c_str()) == 0;
    if (!ok) {
        std::remove(temporary.c_str());
        error = "cannot write " + path;
    }
    return ok;
}

int64_t WallClockMs() {
    return std::chrono::duration_cast<std::chrono::milliseconds>(
               std::chrono::system_clock::now().time_since_epoch())
        .count();
}

namespace {

std::optional<std::vector<int>> RectOf(const kvXML::CXMLElement& e) {
    std::string text;
    if (!e.GetAttrib("Rect", text))
        return std::nullopt;
    for (char& c : text)
        c = c == ',' ? ' ' : c;
    std::istringstream in(text);
    std::vector<int> numbers;
    for (int n = 0; in >> n;)
        numbers.push_back(n);
    if (numbers.size() != 4)
        return std::nullopt;
    return numbers;
}

// The first control led by parameter `what` (a number), or the tool-bar
// button named `what`.
std::optional<std::vector<int>> FindInLayout(const kvXML::CXMLElement& root,
                                             const std::string& what) {
    char* end = nullptr;
    const long param = std::strtol(what.c_str(), &end, 10);
    const bool byParam = !what.empty() && *end == '\0';
    for (const kvXML::CXMLElement* e : root.children) {
        const std::string name = e->name.c_str();
        std::string text;
        if (byParam && name == "Control" && e->GetAttrib("Params", text) &&
            std::strtol(text.c_str(), nullptr, 10) == param)
            return RectOf(*e);
        if (!byParam && name == "ToolBar")
            for (const kvXML::CXMLElement* b : e->children)
                if (b->GetAttrib("Name", text) && text == what)
                    return RectOf(*b);
    }
    return std::nullopt;
}

} // namespace

std::optional<std::vector<int>> LayoutRect(const std::string& module, const std::string& what,
                                           std::string& error) {
    RMInit(0);
    KTResContainerType* container = nullptr;
    const std::string path = std::filesystem::absolute(module).string();
    if (RMOpenResContainer(kvFM::KCStPath(path), 0, container) != eNoErr || !container) {
        error = "cannot open " + module + " as a resource container";
        return std::nullopt;
    }
    std::optional<std::vector<int>> rect;
    kvXML::CXMLElement* root = nullptr;
    KTResourceType* resource = nullptr;
    if (GetXMLResource(container, KCFourCC(KV_FOURCC("XGUI")), 1000, root, resource) != 0 ||
        root == nullptr) {
        error = module + " has no editor layout";
    } else {
        rect = FindInLayout(*root, what);
        if (!rect)
            error = "the editor layout has no control or button \"" + what + "\"";
    }
    if (resource != nullptr)
        RMReleaseResource(resource);
    RMCloseResContainer(container);
    RMDispose();
    return rect;
}

} // namespace xdrive

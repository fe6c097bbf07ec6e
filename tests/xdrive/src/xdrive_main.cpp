// xdrive: the window driver for scripts (the whole-system test, the
// README's pictures). Windows are named by their X id, which `wait` prints.
#include "xdrive/XDrive.h"

#include <cstdio>
#include <cstdlib>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

const char kUsage[] =
    "usage: xdrive COMMAND ...\n"
    "  probe                        exit 0 when the display opens\n"
    "  wait [--prefix] TITLE SECS   print the id of the viewable window so titled\n"
    "  title WINDOW                 print the window's title\n"
    "  geometry WINDOW              print x y width height (root coordinates)\n"
    "  click WINDOW X Y             press and release button 1 there\n"
    "  drag WINDOW X1 Y1 X2 Y2      drag with button 1; prints the release time (ms)\n"
    "  keys KEYSYM...               press and release keys (X keysym names)\n"
    "  close WINDOW                 ask the window to close (WM_DELETE_WINDOW)\n"
    "  move WINDOW X Y              move the window there (root coordinates), raise it\n"
    "  snap WINDOW FILE.png         save the window's pixels\n"
    "  drawn WINDOW SECS            wait until the window shows more than one colour\n"
    "  layout-rect MODULE WHAT      print top left bottom right of the control led\n"
    "                               by parameter WHAT (a number), or of the tool-bar\n"
    "                               button named WHAT, in the module's editor layout\n"
    "Coordinates are relative to the window's top-left corner.\n";

int Usage() {
    std::fputs(kUsage, stderr);
    return 2;
}

int Fail(const std::string& message) {
    std::fprintf(stderr, "xdrive: %s\n", message.c_str());
    return 1;
}

bool Number(const std::string& text, long& out) {
    char* end = nullptr;
    out = std::strtol(text.c_str(), &end, 0);
    return !text.empty() && *end == '\0';
}

} // namespace

int main(int argc, char** argv) {
    std::vector<std::string> args(argv + 1, argv + argc);
    if (args.empty())
        return Usage();
    const std::string command = args[0];
    args.erase(args.begin());

    if (command == "layout-rect") {
        if (args.size() != 2)
            return Usage();
        std::string error;
        const auto rect = xdrive::LayoutRect(args[0], args[1], error);
        if (!rect)
            return Fail(error);
        std::printf("%d %d %d %d\n", (*rect)[0], (*rect)[1], (*rect)[2], (*rect)[3]);
        return 0;
    }

    xdrive::Display display;
    if (command == "probe")
        return display.Ok() ? 0 : 1;
    if (!display.Ok())
        return Fail("cannot open the display");

    if (command == "wait") {
        const bool prefix = !args.empty() && args[0] == "--prefix";
        if (prefix)
            args.erase(args.begin());
        long seconds = 0;
        if (args.size() != 2 || !Number(args[1], seconds))
            return Usage();
        const xdrive::WindowId w =
            display.WaitForWindow(args[0], prefix, static_cast<double>(seconds));
        if (w == 0)
            return Fail("no window titled \"" + args[0] + "\" appeared");
        std::printf("%lu\n", w);
        return 0;
    }

    if (command == "keys" && !args.empty())
        return display.Keys(args) ? 0 : Fail("unknown key or no XTest");

    long window = 0;
    if (args.empty() || !Number(args[0], window) || window <= 0)
        return Usage();
    const auto w = static_cast<xdrive::WindowId>(window);
    std::vector<long> n;
    for (size_t i = 1; i < args.size(); ++i) {
        long value = 0;
        if (Number(args[i], value))
            n.push_back(value);
    }

    if (command == "title" && args.size() == 1) {
        std::printf("%s\n", display.GetTitle(w).c_str());
        return 0;
    }
    if (command == "geometry" && args.size() == 1) {
        const auto g = display.GetGeometry(w);
        if (!g)
            return Fail("no such window");
        std::printf("%d %d %d %d\n", g->x, g->y, g->width, g->height);
        return 0;
    }
    if (command == "click" && n.size() == 2)
        return display.Click(w, int(n[0]), int(n[1])) ? 0 : Fail("no pointer events (XTest)");
    if (command == "drag" && n.size() == 4) {
        const int64_t released =
            display.DragTimed(w, int(n[0]), int(n[1]), int(n[2]), int(n[3]), 10);
        if (released == 0)
            return Fail("no pointer events (XTest)");
        std::printf("%lld\n", static_cast<long long>(released));
        return 0;
    }
    if (command == "close" && args.size() == 1)
        return display.Close(w) ? 0 : Fail("cannot send to the window");
    if (command == "move" && n.size() == 2)
        return display.Move(w, int(n[0]), int(n[1])) ? 0 : Fail("the window did not move");
    if (command == "snap" && args.size() == 2) {
        const auto picture = display.Snap(w);
        if (!picture)
            return Fail("the window is not on the screen");
        std::string error;
        return xdrive::WritePng(*picture, args[1], error) ? 0 : Fail(error);
    }
    if (command == "drawn" && n.size() == 1) {
        for (long tries = 0; tries <= n[0] * 50; ++tries) {
            const auto picture = display.Snap(w);
            if (picture && !picture->IsUniform())
                return 0;
            usleep(20000);
        }
        return Fail("the window shows one colour only");
    }
    return Usage();
}

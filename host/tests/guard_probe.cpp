// Drives the single-instance guard from its own process:
//   guard_probe own NAME      owns NAME, stores its window, prints "owner"
//                             (or "taken") and, for every come-to-front
//                             request, "front"; ends at the end of stdin
//   guard_probe start NAME [-mi]
//                             starts as the program does: prints "forwarded"
//                             (exit 0) when an owner with a window answered,
//                             else "runs" with "owner" or "not-owner"
#include "host/SingleInstance.h"

#include <cstdio>
#include <cstring>
#include <string>
#include <unistd.h>

namespace {

void Say(const char* text) {
    std::printf("%s\n", text);
    std::fflush(stdout);
}

int Own(const std::string& name) {
    if (AcquireSingleInstance(name, nullptr) != 1) {
        Say("taken");
        return 1;
    }
    SetSingleInstanceWindow([] { Say("front"); });
    Say("owner");
    char byte;
    while (::read(STDIN_FILENO, &byte, 1) > 0) {
    }
    ReleaseSingleInstance();
    return 0;
}

int Start(const std::string& name, bool multiInstance) {
    KCInstanceWindow other;
    const int owner = AcquireSingleInstance(name, &other);
    if (!multiInstance && !other.IsNull()) {
        Say(SetForegroundWindow(other) ? "forwarded" : "forward-failed");
        return 0;
    }
    Say(owner ? "runs owner" : "runs not-owner");
    ReleaseSingleInstance();
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    if (argc >= 3 && std::strcmp(argv[1], "own") == 0)
        return Own(argv[2]);
    if (argc >= 3 && std::strcmp(argv[1], "start") == 0)
        return Start(argv[2], argc >= 4 && std::strcmp(argv[3], "-mi") == 0);
    std::fprintf(stderr, "usage: guard_probe own|start NAME [-mi]\n");
    return 2;
}

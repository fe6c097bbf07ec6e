// The toolkit for benchmarks that open windows: started once for the run,
// with the program's name alone.
#pragma once

#include <wx/app.h>
#include <wx/init.h>

#include <cstdio>
#include <cstdlib>

class BenchApp : public wxApp {
public:
    bool OnInit() override { return true; }
};

// Starts wx; false, with one line on stderr naming `name`, when there is no
// display or the toolkit does not start.
inline bool StartBenchToolkit(const char* name, char* argv0) {
    const char* display = std::getenv("DISPLAY");
    if (display == nullptr || *display == '\0') {
        std::fprintf(stderr, "%s needs a display: run it under xvfb-run -a\n", name);
        return false;
    }
    wxApp::SetInstance(new BenchApp());
    int argc = 1;
    char* argv[] = {argv0, nullptr};
    if (!wxEntryStart(argc, argv) || !wxTheApp->CallOnInit()) {
        std::fprintf(stderr, "%s: the toolkit did not start\n", name);
        return false;
    }
    return true;
}

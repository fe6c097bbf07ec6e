#include "host/Application.h"

#include <cstdlib>

#ifdef KV_RIGWELL_WITHOUT_WINDOWS
// Hands a run that needs windows to the windowed program (which replaces
// this process); -1 when this program does the run, else the exit status.
int RunWindowedProgramWhenNeeded(int argc, char** argv);
#endif

int main(int argc, char** argv) {
#ifdef KV_RIGWELL_WITHOUT_WINDOWS
    if (const int status = RunWindowedProgramWhenNeeded(argc, argv); status >= 0)
        return status;
#else
    // The mark is for the program without windows alone: programs started
    // from here (a batch line's tools, say) start afresh.
    ::unsetenv(kHandedOverMark);
#endif
    return RigwellMain(argc, argv);
}

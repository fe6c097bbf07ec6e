// The main of the logger's window tests: starts wx once for the run.
#include "testsupport/WxTestMain.h"

int main(int argc, char** argv) {
    return wxtest::RunTests(argc, argv);
}

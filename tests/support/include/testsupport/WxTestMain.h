// The main of the test programs that open real windows: wx is started once
// for the run when a display is named; tests pump its events with bounded
// waits.
#pragma once

#include <functional>

namespace wxtest {

// True when the test main could open the display.
bool Ready();
// Dispatches events for about ms milliseconds.
void Pump(int ms);
// How long a test waits by default for what an event brings about: long
// enough for a loaded machine running the sanitizer build (only a failing
// wait lasts that long).
constexpr int kPatientWaitMs = 20000;
// Dispatches events until done answers true or ms milliseconds pass.
bool PumpUntil(const std::function<bool()>& done, int ms = kPatientWaitMs);

// Runs the program's tests: starts wx first when a display is named (and
// the tests are not only listed), then calls started; after the tests,
// stopping is called and wx is stopped. A failed wx assertion fails the
// running test. Returns the tests' result.
int RunTests(int argc, char** argv, const std::function<void()>& started = {},
             const std::function<void()>& stopping = {});

} // namespace wxtest

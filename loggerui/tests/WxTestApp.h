// wx started once by the test main; tests pump its events with bounded
// waits.
#pragma once

#include <functional>

namespace wxtest {

// True when the test main could open the display.
bool Ready();
// Dispatches events for about ms milliseconds.
void Pump(int ms);
// Dispatches events until done answers true or ms milliseconds pass.
bool PumpUntil(const std::function<bool()>& done, int ms = 5000);

} // namespace wxtest

// Skips a test that needs windows when there is no display.
#define REQUIRE_DISPLAY()                                                                          \
    if (!wxtest::Ready())                                                                          \
    GTEST_SKIP() << "no display"

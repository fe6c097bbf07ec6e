// wx started once by the test main; tests pump its events with bounded
// waits.
#pragma once

#include "testsupport/WxTestMain.h"

// Skips a test that needs windows when there is no display.
#define REQUIRE_DISPLAY()                                                                          \
    if (!wxtest::Ready())                                                                          \
    GTEST_SKIP() << "no display"

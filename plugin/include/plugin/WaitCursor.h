// The wait cursor held for the length of a long operation (a reset, a POP
// run, an EEPROM write): made, it puts the system's wait cursor up and keeps
// the cursor that was in force; destroyed, it puts that cursor back.
// Without a running GUI (headless, or off the GUI thread) it does nothing.
#pragma once

class CScopedWaitCursor {
public:
    CScopedWaitCursor();
    ~CScopedWaitCursor();
    CScopedWaitCursor(const CScopedWaitCursor&) = delete;
    CScopedWaitCursor& operator=(const CScopedWaitCursor&) = delete;

    // True while any wait cursor is up (on the GUI thread).
    static bool IsShown();

private:
    bool shown_ = false;
};

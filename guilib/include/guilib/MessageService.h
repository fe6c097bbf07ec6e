// Message boxes of the plug-in framework. Without a handler (headless), the
// caption and the text go to stderr (and to the trace file when one is set)
// and the box answers OK, or No for a Yes/No question; tests and editors
// install a handler.
#pragma once

#include "guilib/QGLExport.h"

#include <functional>
#include <string>

class QGL_API KMMessageService {
public:
    enum Kind { kInformation = 0, kError = 1, kWarning = 2, kYesNo = 3 };
    enum Answer { kOK = 1, kYes = 6, kNo = 7 };
    using Handler = std::function<int(const std::string& text, const std::string& caption, Kind)>;

    static int Show(const std::string& text, const std::string& caption, Kind kind);
    // Replaces the handler (null: the headless default); returns the old one.
    static Handler SetHandler(Handler handler);
};

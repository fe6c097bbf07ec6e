// Message boxes and text questions of the plug-in framework. Without a handler (headless), the
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

    // Asks for a line of text: `text` holds the proposal and, when the user
    // answered OK, the answer (true). Without a handler: the window
    // framework's text box when a program with windows runs, else no answer
    // (false, `text` unchanged).
    using TextHandler = std::function<bool(const std::string& prompt, const std::string& caption,
                                           std::string& text)>;
    static bool AskText(const std::string& prompt, const std::string& caption, std::string& text);
    static TextHandler SetTextHandler(TextHandler handler);
};

#include "AudioLibraryMessages.h"

#include <alsa/asoundlib.h>
#include <jack/jack.h>

#include <cstdarg>
#include <cstdio>
#include <mutex>
#include <string>

#include "foundation/KUTrace.h"

namespace KCAudioLibraryMessages {
namespace {

void TraceLine(std::string line) {
    if (line.empty() || line.back() != '\n')
        line += '\n';
    KUDebugTrace(line);
}

// ALSA's form of its messages: "ALSA lib file:line:(function) text".
void OnAlsaMessage(const char* file, int line, const char* function, int error, const char* format,
                   ...) {
    char text[1024];
    va_list arguments;
    va_start(arguments, format);
    std::vsnprintf(text, sizeof text, format, arguments);
    va_end(arguments);
    std::string message = std::string("ALSA lib ") + (file ? file : "") + ":" +
                          std::to_string(line) + ":(" + (function ? function : "") + ") " + text;
    if (error != 0)
        message += std::string(": ") + snd_strerror(error);
    TraceLine(std::move(message));
}

void OnJackMessage(const char* text) {
    TraceLine(std::string("JACK: ") + (text ? text : ""));
}

} // namespace

void Install() {
    static std::once_flag once;
    std::call_once(once, [] {
        snd_lib_error_set_handler(&OnAlsaMessage);
        jack_set_error_function(&OnJackMessage);
        jack_set_info_function(&OnJackMessage);
    });
}

} // namespace KCAudioLibraryMessages

#include "ExportSupport.h"

#include "foundation/KCStFile.h"
#include "foundation/kvFMDialogs.h"

#include "busaccess/U2CFrame.h"

#include <cstdarg>

namespace busgate::exports {

namespace {

constexpr uint32_t kStepWaitMs = 100;

// Where the leaf's extension begins, or npos.
size_t ExtensionStart(const std::string& path) {
    const size_t slash = path.rfind('/');
    const size_t leaf = slash == std::string::npos ? 0 : slash + 1;
    const size_t dot = path.rfind('.');
    return dot == std::string::npos || dot <= leaf ? std::string::npos : dot;
}

} // namespace

void Step(BusGate& bus, int colour, const char* format, ...) {
    va_list args;
    va_start(args, format);
    const std::string text = FormatC(1024, format, args);
    va_end(args);
    bus.Log().SetTrafficColor(colour);
    bus.Log().Append(text);
    bus.WaitWithMessagePump(kStepWaitMs);
}

void BridgeWait(BusGate& bus, uint32_t milliseconds) {
    if (bus.Bridge().ServiceAddress() == u2c::kOldServiceAddress)
        bus.Time().SleepFor(std::chrono::milliseconds(milliseconds));
    else
        bus.Bridge().Delay(milliseconds);
}

void ErrorBox(BusGate& bus, const char* text, const char* caption) {
    bus.Messages().showError(text, caption);
}

void InfoBox(BusGate& bus, const char* text, const char* caption) {
    bus.Messages().showInformation(text, caption);
}

std::optional<std::string> AskSavePath(const char* title, const char* defaultName,
                                       const char* extension, const char* filter) {
    return kvFM::AskFilePath(true, kvFM::FileDialogOptions(title, defaultName, extension, filter));
}

std::string WithExtension(const std::string& path, const char* extension) {
    return WithoutExtension(path) + extension;
}

std::string WithoutExtension(const std::string& path) {
    const size_t dot = ExtensionStart(path);
    return dot == std::string::npos ? path : path.substr(0, dot);
}

std::string FileTitle(const std::string& path) {
    const std::string base = WithoutExtension(path);
    const size_t slash = base.rfind('/');
    return slash == std::string::npos ? base : base.substr(slash + 1);
}

bool WriteWholeFile(const std::string& path, const std::string& bytes) {
    kvFM::KCStPath target(path);
    if (!target.IsValid())
        return false;
    return kvFM::WriteFileAtomically(target.GetPathRef(), bytes.data(), bytes.size()) == eNoErr;
}

} // namespace busgate::exports

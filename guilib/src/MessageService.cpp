#include "guilib/MessageService.h"

#include "foundation/KUTrace.h"

#include <mutex>

namespace {

std::mutex gMutex;
KMMessageService::Handler gHandler;

} // namespace

int KMMessageService::Show(const std::string& text, const std::string& caption, Kind kind) {
    Handler handler;
    {
        std::lock_guard lock(gMutex);
        handler = gHandler;
    }
    if (handler)
        return handler(text, caption, kind);
    KUUserLine(caption + ": " + text);
    return kind == kYesNo ? kNo : kOK;
}

KMMessageService::Handler KMMessageService::SetHandler(Handler handler) {
    std::lock_guard lock(gMutex);
    Handler old = std::move(gHandler);
    gHandler = std::move(handler);
    return old;
}

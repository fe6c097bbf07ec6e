// The eighteen busgate_ exports over the library's one bus: the bridge
// driver on this machine's boards (or the simulated boards named by
// TEROVAN_U2C_SOCKET), and the logger services.
#include "busaccess/BridgeDriver.h"
#include "busaccess/busgate/BusGate.h"
#include "busaccess/busgate/DriverBridgePort.h"
#include "busaccess/busgate/HeadlessLogger.h"
#include "busaccess/busgate/LoggerChoice.h"
#include "busaccess/busgate/busgate_api.h"
#include "loggerui/WxLogger.h"

#include <cstdio>
#include <functional>
#include <mutex>

namespace {

// The driver's messages go where the library's own go: boxes once the
// logger's windows are chosen, trace lines before that and without them.
class LibraryMessages final : public busaccess::MessageService {
public:
    explicit LibraryMessages(std::function<busaccess::MessageService&()> current)
        : current_(std::move(current)) {}
    void showInformation(const std::string& text, const std::string& caption) override {
        current_().showInformation(text, caption);
    }
    void showError(const std::string& text, const std::string& caption) override {
        current_().showError(text, caption);
    }
    bool askYesNo(const std::string& text, const std::string& caption) override {
        return current_().askYesNo(text, caption);
    }

private:
    std::function<busaccess::MessageService&()> current_;
};

// The library's start-up objects, built when it loads and destroyed in the
// reverse order when it unloads.
struct Library {
    busaccess::BridgeDriver driver{
        nullptr, std::make_shared<LibraryMessages>(
                     [this]() -> busaccess::MessageService& { return bus.Messages(); })};
    busgate::DriverBridgePort port{driver};
    busgate::HeadlessLogger headless;
    std::unique_ptr<busgate::LoggerServices> windows;
    busgate::LoggerChoice ui{headless};
    busgate::BusGate bus{port, ui};
    std::once_flag chosen;

    Library() { loggerui::KeepToolkitLoaded(); }

    // The logger is chosen at the first open: the windows when the caller
    // is the GUI thread of a wx application, else the headless logger.
    void ChooseLogger() {
        std::call_once(chosen, [this] {
            windows = loggerui::CreateWxLogger(bus);
            if (windows)
                ui.Choose(*windows);
        });
    }
};

Library& TheLibrary() {
    static Library library;
    return library;
}

// Built at load, as the application object would be.
[[maybe_unused]] Library& g_atLoad = TheLibrary();

// No exception leaves the library: a call that fails that way reports the
// failure its caller already handles.
template <typename Result, typename F>
Result Guarded(Result failure, F&& f) noexcept {
    try {
        return f();
    } catch (...) {
        return failure;
    }
}

int32_t Zero() {
    return 0;
}
int32_t False() {
    return 0;
}
void Nothing() {}

// The caller's status record learns that the bus was busy; nothing else of
// the library writes it.
void ReportBusy(busgate_status* status) {
    if (!status)
        return;
    status->code = BUSGATE_STATUS_BUSY;
    std::snprintf(status->text, sizeof status->text, "%s", BUSGATE_STATUS_BUSY_TEXT);
}

} // namespace

extern "C" {

void busgate_close(busgate_handle, busgate_status*) {
    Guarded(0, [] {
        TheLibrary().bus.Close();
        return 0;
    });
}

busgate_board_list* busgate_find_boards(busgate_board_list* list, busgate_status*) {
    if (list)
        list->count = 2;
    return list;
}

void busgate_find_boards_network(busgate_board_list*, busgate_status*) {
    Nothing();
}
int32_t busgate_get_bitrate(busgate_handle, busgate_status*) {
    return Zero();
}
int32_t busgate_get_high_level_threshold(busgate_handle, busgate_status*) {
    return False();
}
int32_t busgate_get_i2c_vcc(busgate_handle, busgate_status*) {
    return Zero();
}
int32_t busgate_get_input_testpin(busgate_handle, busgate_status*) {
    return False();
}
int32_t busgate_get_low_level_threshold(busgate_handle, busgate_status*) {
    return False();
}
int32_t busgate_get_output_testpin(busgate_handle, busgate_status*) {
    return False();
}
int32_t busgate_get_termination(busgate_handle, busgate_status*) {
    return Zero();
}

busgate_handle busgate_open(busgate_board*, busgate_status*) {
    return Guarded(busgate_handle{0}, [] {
        Library& library = TheLibrary();
        library.ChooseLogger();
        return library.bus.Open();
    });
}

int32_t busgate_receive(busgate_handle, busgate_status* status, uint32_t slave, uint32_t bufferSize,
                        uint8_t* buffer, uint32_t length) {
    return Guarded(int32_t{-1}, [&] {
        bool busy = false;
        const int32_t result = TheLibrary().bus.Receive(slave, buffer, bufferSize, length, &busy);
        if (busy)
            ReportBusy(status);
        return result;
    });
}

void busgate_set_bitrate(busgate_handle, busgate_status*, uint32_t) {
    Nothing();
}
void busgate_set_level_threshold(busgate_handle, busgate_status*, int32_t) {
    Nothing();
}
void busgate_set_output_testpin(busgate_handle, busgate_status*, int32_t) {
    Nothing();
}
void busgate_set_termination(busgate_handle, busgate_status*, int32_t) {
    Nothing();
}

int32_t busgate_transmit(busgate_handle, busgate_status* status, uint32_t slave,
                         const uint8_t* data, uint32_t length) {
    return Guarded(int32_t{-1}, [&] {
        bool busy = false;
        const int32_t result = TheLibrary().bus.Transmit(slave, data, length, &busy);
        if (busy)
            ReportBusy(status);
        return result;
    });
}

int32_t busgate_transmit_receive(busgate_handle, busgate_status*, uint32_t, const uint8_t*,
                                 uint32_t, uint8_t*, uint32_t) {
    return Zero();
}

} // extern "C"

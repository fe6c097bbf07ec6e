// The logger's windows over the bus library core and the in-process
// simulated board: the rig the pages' display tests drive.
#pragma once

#include "loggerui/Dialogs.h"
#include "loggerui/WxLogger.h"

#include "SimBus.h"
#include "WxTestApp.h"
#include "busaccess/busgate/LoggerChoice.h"

#include <memory>

struct WxLoggerRig {
    // Wires the logger to a bus on a simulated board made from `config` and
    // opens the bus; false when it did not open.
    bool OpenRig(busgate::testing::SimBusConfig config = {}) {
        sim = std::make_unique<busgate::testing::SimBus>(std::move(config));
        choice = std::make_unique<busgate::LoggerChoice>(*sim->ui);
        bus = std::make_unique<busgate::BusGate>(*sim->port, *choice, sim->clock);
        bus->SetMessages(sim->boxes);
        logger = std::make_unique<loggerui::WxLogger>(*bus);
        choice->Choose(*logger);
        return bus->Open() != 0;
    }
    // Destroys the main window and the logger (the bus stays for checks).
    void CloseRig() {
        if (loggerui::CMainDialog* main = logger ? logger->MainWindow() : nullptr)
            main->Destroy();
        if (wxtest::Ready())
            wxtest::Pump(5);
        logger.reset();
    }

    std::unique_ptr<busgate::testing::SimBus> sim;
    std::unique_ptr<busgate::LoggerChoice> choice;
    std::unique_ptr<busgate::BusGate> bus;
    std::unique_ptr<loggerui::WxLogger> logger;
};

// The settings models of the logger's pages, as one object the windows and
// the bus's preset-stage hooks share.
#pragma once

#include "loggerui/AeqFilters.h"
#include "loggerui/IoConfig.h"
#include "loggerui/PwrAmp.h"
#include "loggerui/Rotation.h"

namespace loggerui {

struct PageModels {
    AeqSettings aeq;
    IoSettings io;
    PwmModel pwm;
    RotationSettings rotation;
};

// The PWM page's preset-stage step: an unchecked module unchecks both
// output boxes; the amplifier's GPIO Selection 2 goes to the I/O page.
void ApplyPwmAtPreset(busgate::BusGate& bus, PageModels& pages);

} // namespace loggerui

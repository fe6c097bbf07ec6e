#include "loggerui/PageModels.h"

namespace loggerui {

void ApplyPwmAtPreset(busgate::BusGate& bus, PageModels& pages) {
    PwmSettings s = pages.pwm.Get();
    if (!s.module) {
        s.outputs1 = s.outputs2 = false;
        pages.pwm.Set(s);
    }
    uint32_t selection2 = pages.io.Selection2();
    PwmApplyConfig(bus, s, selection2);
    pages.io.SetSelection2(selection2);
}

} // namespace loggerui

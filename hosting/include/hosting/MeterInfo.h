// What a plug-in tells the host about one of its meters (KP_MetersGetInfo).
#pragma once

#include <cstdint>

struct QuorlMeterInfo {
    int32_t meterCount = 0; // meters of the plug-in
    int32_t channel = 0;    // the output the meter shows
    double minimumDb = 0.0; // lowest level shown
    double maximumDb = 0.0; // highest level shown
    double clipDb = 0.0;    // a level at or above it latches the clip flag
    char name[32] = {};     // terminated
    char units[16] = {};    // terminated
};

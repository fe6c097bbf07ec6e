// The component of the build's pass-through plug-in, for the benchmarks
// that load it (KV_BENCH_PASSTHROUGH names its file).
#pragma once

#include "hosting/ComponentInfo.h"

inline QuorlComponentInfo PassThrough() {
    QuorlComponentInfo component;
    component.Path() = kvFM::KCStPath(KV_BENCH_PASSTHROUGH);
    component.componentType = KV_FOURCC("raPI");
    component.componentSubType = KV_FOURCC("PQ5S");
    return component;
}

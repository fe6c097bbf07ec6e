// The host's load specification, read from the resources of the file at
// `path` (the host program or its resource library) for the scan
// benchmarks. The resource manager is started here; the caller disposes it.
#pragma once

#include "foundation/RM.h"
#include "hosting/PluginLoadSpec.h"

#include <stdexcept>
#include <string>

inline KCPluginLoadSpec ReadHostLoadSpec(const char* path) {
    RMInit(0);
    KTResContainerType* host = nullptr;
    if (RMOpenResContainer(kvFM::KCStPath(path), 0, host) != eNoErr)
        throw std::runtime_error(std::string("cannot open the host's resources in ") + path);
    KCPluginLoadSpec spec;
    spec.ReadFromResource(host);
    RMCloseResContainer(host);
    return spec;
}

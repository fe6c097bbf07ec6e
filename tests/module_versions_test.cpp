// Every module the tool set ships carries its version: the programs, the
// plug-ins and each library they load.
#include "foundation/CGeneralSysUtils.h"
#include "foundation/KCStPath.h"

#include <gtest/gtest.h>

#include <sstream>
#include <string>

namespace {

TEST(ModuleVersions, EveryShippedModuleCarriesTheProjectVersion) {
    std::istringstream modules(KV_SHIPPED_MODULES);
    std::string module;
    int seen = 0;
    while (std::getline(modules, module, '|')) {
        ++seen;
        std::string version;
        EXPECT_EQ(CGeneralSysUtils::GetVersionString(kvFM::KCStPath(module), version), eNoErr)
            << module;
        EXPECT_EQ(version, KV_PROJECT_VERSION) << module;
    }
    EXPECT_GT(seen, 0);
}

} // namespace

// libFuzzer entry of the hive reader: whatever it reads, the hive it writes
// back must read back the same.
#include "../../src/HiveText.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (KVRegHiveRoundTrip(std::string(reinterpret_cast<const char*>(data), size)) < 0)
        __builtin_trap();
    return 0;
}

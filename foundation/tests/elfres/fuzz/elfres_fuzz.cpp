// libFuzzer entry of the ELF header and resource index parser.
#include "ExerciseImage.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    volatile uint32_t sink = ExerciseImage(data, size);
    (void)sink;
    return 0;
}

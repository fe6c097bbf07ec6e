#include "plugin/ConnectI2C.h"

int32_t CConnectI2C::WriteTriple(uint8_t command, uint8_t first, uint8_t third, int32_t force) {
    const uint8_t frame[3] = {first, command, third};
    return Write(frame, 3, force);
}

// The exported functions of libTerovanU2C.so. No exception leaves the
// library: a failure is a result of 0 (-1 for opening).
#include "TerovanBridge.h"

namespace {

template <typename F>
auto Guard(decltype(std::declval<F>()()) failure, F&& f) noexcept {
    try {
        return f();
    } catch (...) {
        return failure;
    }
}

terovan::TerovanBridge& L() {
    return terovan::Library();
}

} // namespace

extern "C" {

int32_t TerovanU2C_CloseDevice(int32_t handle) {
    return Guard(0, [&] { return L().CloseDevice(handle); });
}

int32_t TerovanU2C_EraseFlash(int32_t handle, uint32_t address, uint32_t length) {
    return Guard(0, [&] { return L().EraseFlash(handle, address, length); });
}

uint32_t TerovanU2C_GetI2CFreq(int32_t handle) {
    return Guard(0u, [&] { return L().GetI2CFreq(handle); });
}

int32_t TerovanU2C_GetVersion(int32_t handle, uint32_t* values) {
    return Guard(0, [&] { return L().GetVersion(handle, values); });
}

int32_t TerovanU2C_IsAlive(int32_t handle, uint8_t slave) {
    return Guard(0, [&] { return L().IsAlive(handle, slave); });
}

int32_t TerovanU2C_OpenDevice(uint32_t channel, uint32_t clockHz) {
    return Guard(-1, [&] { return L().OpenDevice(channel, clockHz); });
}

int32_t TerovanU2C_Read(int32_t handle, uint8_t slave, uint32_t length, uint8_t* buffer) {
    return Guard(0, [&] { return L().Read(handle, slave, length, buffer); });
}

int32_t TerovanU2C_ReadFlash(int32_t handle, uint32_t address, uint8_t* buffer, uint32_t length) {
    return Guard(0, [&] { return L().ReadFlash(handle, address, buffer, length); });
}

int32_t TerovanU2C_ReadMem(int32_t handle, uint32_t address, uint8_t* buffer, uint32_t length) {
    return Guard(0, [&] { return L().ReadMem(handle, address, buffer, length); });
}

int32_t TerovanU2C_SetI2CFreq(int32_t handle, uint32_t clockHz) {
    return Guard(0, [&] { return L().SetI2CFreq(handle, clockHz); });
}

int32_t TerovanU2C_Write(int32_t handle, uint8_t slave, uint32_t length, const uint8_t* data) {
    return Guard(0, [&] { return L().Write(handle, slave, length, data); });
}

int32_t TerovanU2C_WriteFlash(int32_t handle, uint32_t address, const uint8_t* data,
                              uint32_t length) {
    return Guard(0, [&] { return L().WriteFlash(handle, address, data, length); });
}

int32_t TerovanU2C_WriteMem(int32_t handle, uint32_t address, const uint8_t* data,
                            uint32_t length) {
    return Guard(0, [&] { return L().WriteMem(handle, address, data, length); });
}

} // extern "C"

// The exported C functions of libi2cbrdg.so.
#include "dimax/I2cDeviceLayer.h"

extern "C" {

U2C_HANDLE U2C_OpenDevice(uint8_t device) {
    return dimax::OpenDevice(device);
}
U2C_RESULT U2C_CloseDevice(U2C_HANDLE handle) {
    return dimax::CloseDevice(handle);
}
U2C_RESULT U2C_SetI2cFreq(U2C_HANDLE handle, uint8_t frequency) {
    return dimax::SetI2cFreq(handle, frequency);
}
U2C_RESULT U2C_Write(U2C_HANDLE handle, const U2C_TRANSACTION* transaction) {
    return dimax::Write(handle, transaction);
}
U2C_RESULT U2C_Read(U2C_HANDLE handle, U2C_TRANSACTION* transaction) {
    return dimax::Read(handle, transaction);
}

} // extern "C"

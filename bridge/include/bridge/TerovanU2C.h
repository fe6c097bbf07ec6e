/* TerovanU2C: drives the USB-to-I2C bridge board. Thirteen plain C
 * functions open and close the board, set and read the I2C clock, probe,
 * read and write I2C slaves, and read and write the bridge's memory and
 * flash. A handle of 0 or -1 means no device. The library is not safe for
 * concurrent calls: its caller serialises them. */
#ifndef BRIDGE_TEROVANU2C_H
#define BRIDGE_TEROVANU2C_H

#include <stddef.h>
#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

#define TEROVANU2C_API __attribute__((visibility("default")))

/* The record of the one open bridge. */
typedef struct TerovanU2CDevice {
    void* fileHandle;      /* the open board connection, null when closed */
    void* interfaceHandle; /* the claimed interface session, null when closed */
    uint8_t speed;         /* device speed; stored, not used */
    uint8_t bulkInPipe;    /* bulk endpoint with bit 7 set */
    uint8_t bulkOutPipe;   /* bulk endpoint with bit 7 clear */
    uint8_t interruptPipe; /* interrupt endpoint; stored, never used */
    uint32_t channel;      /* sent after every command byte */
} TerovanU2CDevice;

#ifdef __cplusplus
static_assert(offsetof(TerovanU2CDevice, fileHandle) == 0);
static_assert(offsetof(TerovanU2CDevice, interfaceHandle) == sizeof(void*));
static_assert(offsetof(TerovanU2CDevice, speed) == 2 * sizeof(void*));
static_assert(offsetof(TerovanU2CDevice, bulkInPipe) == 2 * sizeof(void*) + 1);
static_assert(offsetof(TerovanU2CDevice, bulkOutPipe) == 2 * sizeof(void*) + 2);
static_assert(offsetof(TerovanU2CDevice, interruptPipe) == 2 * sizeof(void*) + 3);
static_assert(offsetof(TerovanU2CDevice, channel) == 2 * sizeof(void*) + 4);
static_assert(sizeof(TerovanU2CDevice) == 2 * sizeof(void*) + 8);
#endif

TEROVANU2C_API int32_t TerovanU2C_CloseDevice(int32_t handle);
TEROVANU2C_API int32_t TerovanU2C_EraseFlash(int32_t handle, uint32_t address, uint32_t length);
TEROVANU2C_API uint32_t TerovanU2C_GetI2CFreq(int32_t handle);
/* values: five 32-bit values: board type, firmware revision, and the three
 * leading words of the version reply. */
TEROVANU2C_API int32_t TerovanU2C_GetVersion(int32_t handle, uint32_t* values);
TEROVANU2C_API int32_t TerovanU2C_IsAlive(int32_t handle, uint8_t slave);
TEROVANU2C_API int32_t TerovanU2C_OpenDevice(uint32_t channel, uint32_t clockHz);
TEROVANU2C_API int32_t TerovanU2C_Read(int32_t handle, uint8_t slave, uint32_t length,
                                       uint8_t* buffer);
TEROVANU2C_API int32_t TerovanU2C_ReadFlash(int32_t handle, uint32_t address, uint8_t* buffer,
                                            uint32_t length);
TEROVANU2C_API int32_t TerovanU2C_ReadMem(int32_t handle, uint32_t address, uint8_t* buffer,
                                          uint32_t length);
TEROVANU2C_API int32_t TerovanU2C_SetI2CFreq(int32_t handle, uint32_t clockHz);
TEROVANU2C_API int32_t TerovanU2C_Write(int32_t handle, uint8_t slave, uint32_t length,
                                        const uint8_t* data);
TEROVANU2C_API int32_t TerovanU2C_WriteFlash(int32_t handle, uint32_t address, const uint8_t* data,
                                             uint32_t length);
TEROVANU2C_API int32_t TerovanU2C_WriteMem(int32_t handle, uint32_t address, const uint8_t* data,
                                           uint32_t length);

#ifdef __cplusplus
}
#endif

#endif

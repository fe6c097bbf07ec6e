/* i2cbrdg: the Dimax USB-to-I2C adapter interface over the kernel's i2c-dev
 * driver (/dev/i2c-N, I2C_RDWR). A handle is a 32-bit token, -1 when no
 * adapter could be opened; results are U2C_RESULT codes, 0 = success.
 *
 * Adapters: the device nodes listed in DIMAX_U2C_DEVICES (':'-separated),
 * in that order; without it, every i2c-dev adapter that sits on USB, in
 * the order of its bus number (buses on the mainboard are never touched).
 * The bus clock is set by the adapter's kernel driver; U2C_SetI2cFreq only
 * records the wish. */
#ifndef DIMAX_I2CBRDG_H
#define DIMAX_I2CBRDG_H

#include <stddef.h>
#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

#define U2C_API __attribute__((visibility("default")))

typedef int32_t U2C_HANDLE;
#define U2C_INVALID_HANDLE ((U2C_HANDLE)-1)

typedef enum U2C_RESULT {
    U2C_SUCCESS = 0,
    U2C_BAD_PARAMETER = 1,
    U2C_HARDWARE_NOT_FOUND = 2,
    U2C_SLAVE_DEVICE_NOT_FOUND = 3,
    U2C_TRANSACTION_FAILED = 4,
    U2C_SLAVE_OPENING_FOR_WRITE_FAILED = 5,
    U2C_SLAVE_OPENING_FOR_READ_FAILED = 6,
    U2C_SENDING_MEMORY_ADDRESS_FAILED = 7,
    U2C_SENDING_DATA_FAILED = 8,
    U2C_NOT_IMPLEMENTED = 9,
    U2C_NO_ACK = 10,
    U2C_DEVICE_BUSY = 11,
    U2C_MEMORY_ERROR = 12,
    U2C_UNKNOWN_ERROR = 13,
    U2C_I2C_CLOCK_SYNCH_TIMEOUT = 14
} U2C_RESULT;

#define U2C_MAX_BUFFER 256

/* One I2C transaction: an optional memory-address phase (up to 4 bytes,
 * most significant first), then nBufferLength data bytes. */
typedef struct __attribute__((packed)) U2C_TRANSACTION {
    uint8_t nSlaveDeviceAddress; /* 7-bit address */
    uint8_t nMemoryAddressLength;
    uint32_t nMemoryAddress;
    uint16_t nBufferLength; /* at most U2C_MAX_BUFFER */
    uint8_t Buffer[U2C_MAX_BUFFER];
} U2C_TRANSACTION;

/* Opens the adapter with index `device` (0 = the first). */
U2C_API U2C_HANDLE U2C_OpenDevice(uint8_t device);
U2C_API U2C_RESULT U2C_CloseDevice(U2C_HANDLE handle);
U2C_API U2C_RESULT U2C_SetI2cFreq(U2C_HANDLE handle, uint8_t frequency);
U2C_API U2C_RESULT U2C_Write(U2C_HANDLE handle, const U2C_TRANSACTION* transaction);
U2C_API U2C_RESULT U2C_Read(U2C_HANDLE handle, U2C_TRANSACTION* transaction);

#ifdef __cplusplus
} /* extern "C" */

static_assert(offsetof(U2C_TRANSACTION, nSlaveDeviceAddress) == 0);
static_assert(offsetof(U2C_TRANSACTION, nMemoryAddressLength) == 1);
static_assert(offsetof(U2C_TRANSACTION, nMemoryAddress) == 2);
static_assert(offsetof(U2C_TRANSACTION, nBufferLength) == 6);
static_assert(offsetof(U2C_TRANSACTION, Buffer) == 8);
static_assert(sizeof(U2C_TRANSACTION) == 264);
static_assert(sizeof(U2C_HANDLE) == 4);
#endif

#endif /* DIMAX_I2CBRDG_H */

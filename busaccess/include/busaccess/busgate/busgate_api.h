/* The busgate_ programming interface of libbusgate_c.so: an I2C adapter's
 * functions over the USB-to-I2C bridge, with every chip command decoded and
 * logged. The records belong to the caller; the library never writes them,
 * except the board count of busgate_find_boards. */
#ifndef BUSACCESS_BUSGATE_API_H
#define BUSACCESS_BUSGATE_API_H

#include <stddef.h>
#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

#define BUSGATE_EXPORT __attribute__((visibility("default")))

/* One board descriptor; neither side fills or reads its content. */
typedef struct busgate_board {
    uint16_t id;
    uint8_t reserved[30102];
} busgate_board;

typedef struct busgate_board_list {
    busgate_board boards[20];
    int32_t count;
} busgate_board_list;

typedef struct busgate_status {
    int32_t code;
    char text[1000];
} busgate_status;

/* The only status the library writes: a transmit or receive it refused
   without traffic because the bus is busy (another operation of the library
   holds it, on the caller's own thread or past the bounded wait). Every
   other call leaves the record as it was. */
#define BUSGATE_STATUS_BUSY 16
#define BUSGATE_STATUS_BUSY_TEXT "The bus is busy: the logger is using it"

/* Non-zero token of an open library; never read back by the library. */
typedef uint32_t busgate_handle;

BUSGATE_EXPORT void busgate_close(busgate_handle handle, busgate_status* status);
BUSGATE_EXPORT busgate_board_list* busgate_find_boards(busgate_board_list* list,
                                                       busgate_status* status);
BUSGATE_EXPORT void busgate_find_boards_network(busgate_board_list* list, busgate_status* status);
BUSGATE_EXPORT int32_t busgate_get_bitrate(busgate_handle handle, busgate_status* status);
BUSGATE_EXPORT int32_t busgate_get_high_level_threshold(busgate_handle handle,
                                                        busgate_status* status);
BUSGATE_EXPORT int32_t busgate_get_i2c_vcc(busgate_handle handle, busgate_status* status);
BUSGATE_EXPORT int32_t busgate_get_input_testpin(busgate_handle handle, busgate_status* status);
BUSGATE_EXPORT int32_t busgate_get_low_level_threshold(busgate_handle handle,
                                                       busgate_status* status);
BUSGATE_EXPORT int32_t busgate_get_output_testpin(busgate_handle handle, busgate_status* status);
BUSGATE_EXPORT int32_t busgate_get_termination(busgate_handle handle, busgate_status* status);
BUSGATE_EXPORT busgate_handle busgate_open(busgate_board* board, busgate_status* status);
/* Returns the length, or -1. */
BUSGATE_EXPORT int32_t busgate_receive(busgate_handle handle, busgate_status* status,
                                       uint32_t slave, uint32_t bufferSize, uint8_t* buffer,
                                       uint32_t length);
BUSGATE_EXPORT void busgate_set_bitrate(busgate_handle handle, busgate_status* status,
                                        uint32_t bitrate);
BUSGATE_EXPORT void busgate_set_level_threshold(busgate_handle handle, busgate_status* status,
                                                int32_t value);
BUSGATE_EXPORT void busgate_set_output_testpin(busgate_handle handle, busgate_status* status,
                                               int32_t value);
BUSGATE_EXPORT void busgate_set_termination(busgate_handle handle, busgate_status* status,
                                            int32_t value);
/* Returns the length, or -1. */
BUSGATE_EXPORT int32_t busgate_transmit(busgate_handle handle, busgate_status* status,
                                        uint32_t slave, const uint8_t* data, uint32_t length);
BUSGATE_EXPORT int32_t busgate_transmit_receive(busgate_handle handle, busgate_status* status,
                                                uint32_t slave, const uint8_t* data,
                                                uint32_t writeLength, uint8_t* buffer,
                                                uint32_t readLength);

#ifdef __cplusplus
} /* extern "C" */

static_assert(sizeof(busgate_board) == 30104, "busgate_board layout");
static_assert(offsetof(busgate_board_list, count) == 602080, "busgate_board_list layout");
static_assert(sizeof(busgate_board_list) == 602084, "busgate_board_list layout");
static_assert(offsetof(busgate_status, text) == 4 && sizeof(busgate_status) == 1004,
              "busgate_status layout");
static_assert(sizeof(busgate_handle) == 4, "busgate_handle is a 32-bit token");
#endif

#endif /* BUSACCESS_BUSGATE_API_H */

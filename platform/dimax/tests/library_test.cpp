// libi2cbrdg.so loaded as its callers load it, on a machine without an
// I2C adapter.
#include "dimax/i2cbrdg.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <dlfcn.h>

namespace {

TEST(DimaxLibrary, ExportsTheFiveFunctionsAndFailsCleanlyWithoutAnAdapter) {
    ::setenv("DIMAX_U2C_DEVICES", "/nonexistent/i2c-0", 1);
    void* library = dlopen(I2CBRDG_PATH, RTLD_NOW | RTLD_LOCAL);
    ASSERT_NE(library, nullptr) << dlerror();
    EXPECT_EQ(dlsym(library, "_ZN5dimax10OpenDeviceEh"), nullptr); // internals stay hidden

    auto open = reinterpret_cast<decltype(&U2C_OpenDevice)>(dlsym(library, "U2C_OpenDevice"));
    auto freq = reinterpret_cast<decltype(&U2C_SetI2cFreq)>(dlsym(library, "U2C_SetI2cFreq"));
    auto write = reinterpret_cast<decltype(&U2C_Write)>(dlsym(library, "U2C_Write"));
    auto read = reinterpret_cast<decltype(&U2C_Read)>(dlsym(library, "U2C_Read"));
    auto close = reinterpret_cast<decltype(&U2C_CloseDevice)>(dlsym(library, "U2C_CloseDevice"));
    ASSERT_TRUE(open && freq && write && read && close);

    EXPECT_EQ(open(0), U2C_INVALID_HANDLE);
    U2C_TRANSACTION t{};
    t.nSlaveDeviceAddress = 0x73;
    t.nBufferLength = 3;
    EXPECT_EQ(freq(U2C_INVALID_HANDLE, 1), U2C_BAD_PARAMETER);
    EXPECT_EQ(write(U2C_INVALID_HANDLE, &t), U2C_BAD_PARAMETER);
    EXPECT_EQ(read(U2C_INVALID_HANDLE, &t), U2C_BAD_PARAMETER);
    EXPECT_EQ(close(U2C_INVALID_HANDLE), U2C_BAD_PARAMETER);
    dlclose(library);
    ::unsetenv("DIMAX_U2C_DEVICES");
}

} // namespace

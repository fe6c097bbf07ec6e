// The adapter functions over a simulated bus: the chip model at 0x73 and
// nothing else on the bus.
#include "dimax/I2cDeviceLayer.h"
#include "sim/Chip.h"
#include "sim/SimBusLayer.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>

namespace {

using dimax::SimBusLayer;

U2C_TRANSACTION Record(uint8_t slave, std::initializer_list<uint8_t> data) {
    U2C_TRANSACTION t{};
    t.nSlaveDeviceAddress = slave;
    t.nBufferLength = static_cast<uint16_t>(data.size());
    std::copy(data.begin(), data.end(), t.Buffer);
    return t;
}

class AdapterTest : public ::testing::Test {
protected:
    void SetUp() override {
        bus = std::make_shared<SimBusLayer>(std::vector<std::string>{"sim:a", "sim:b"});
        chip = std::make_shared<u2csim::Chip>();
        bus->attach(0x73, chip);
        dimax::SetDeviceLayer(bus);
    }
    void TearDown() override { dimax::SetDeviceLayer(nullptr); }

    std::shared_ptr<SimBusLayer> bus;
    std::shared_ptr<u2csim::Chip> chip;
};

TEST_F(AdapterTest, WritesAndReadsTheChip) {
    const U2C_HANDLE h = dimax::OpenDevice(0);
    ASSERT_NE(h, U2C_INVALID_HANDLE);
    EXPECT_NE(h, 0);
    EXPECT_EQ(dimax::SetI2cFreq(h, 1), U2C_SUCCESS);

    U2C_TRANSACTION command = Record(0x73, {0x00, 0xB8, 0x00});
    EXPECT_EQ(dimax::Write(h, &command), U2C_SUCCESS);
    U2C_TRANSACTION reply = Record(0x73, {0xEE, 0xEE, 0xEE});
    EXPECT_EQ(dimax::Read(h, &reply), U2C_SUCCESS);
    EXPECT_EQ(reply.Buffer[0], 0x00);
    EXPECT_EQ(reply.Buffer[1], 0x60);
    EXPECT_EQ(reply.Buffer[2], 0x00);

    ASSERT_FALSE(chip->frames().empty());
    EXPECT_EQ(chip->frames().front(), (u2csim::Bytes{0x00, 0xB8, 0x00}));
    EXPECT_EQ(dimax::CloseDevice(h), U2C_SUCCESS);
    EXPECT_EQ(bus->openCount(), 0u);
}

TEST_F(AdapterTest, MissingAdaptersAndBadHandlesFailCleanly) {
    EXPECT_EQ(dimax::OpenDevice(2), U2C_INVALID_HANDLE); // only two adapters
    U2C_TRANSACTION t = Record(0x73, {1, 2, 3});
    for (U2C_HANDLE bad : {U2C_HANDLE{0}, U2C_INVALID_HANDLE, U2C_HANDLE{12345}}) {
        EXPECT_EQ(dimax::Write(bad, &t), U2C_BAD_PARAMETER);
        EXPECT_EQ(dimax::Read(bad, &t), U2C_BAD_PARAMETER);
        EXPECT_EQ(dimax::SetI2cFreq(bad, 1), U2C_BAD_PARAMETER);
        EXPECT_EQ(dimax::CloseDevice(bad), U2C_BAD_PARAMETER);
    }
    const U2C_HANDLE h = dimax::OpenDevice(1);
    ASSERT_NE(h, U2C_INVALID_HANDLE);
    EXPECT_EQ(dimax::Write(h, nullptr), U2C_BAD_PARAMETER);
    EXPECT_EQ(dimax::CloseDevice(h), U2C_SUCCESS);
    EXPECT_EQ(dimax::Write(h, &t), U2C_BAD_PARAMETER); // closed
    EXPECT_TRUE(bus->transfers().empty());

    bus->setPresent(false);
    EXPECT_EQ(dimax::OpenDevice(0), U2C_INVALID_HANDLE);
}

TEST_F(AdapterTest, EveryOpenHasItsOwnHandle) {
    const U2C_HANDLE a = dimax::OpenDevice(0);
    const U2C_HANDLE b = dimax::OpenDevice(0);
    ASSERT_NE(a, U2C_INVALID_HANDLE);
    ASSERT_NE(b, U2C_INVALID_HANDLE);
    EXPECT_NE(a, b);
    EXPECT_EQ(dimax::CloseDevice(a), U2C_SUCCESS);
    U2C_TRANSACTION t = Record(0x73, {0, 0xA5, 0});
    EXPECT_EQ(dimax::Write(b, &t), U2C_SUCCESS);
    EXPECT_EQ(dimax::CloseDevice(b), U2C_SUCCESS);
}

TEST_F(AdapterTest, RecordsOutsideTheirLimitsAreRefusedBeforeTheBus) {
    const U2C_HANDLE h = dimax::OpenDevice(0);
    ASSERT_NE(h, U2C_INVALID_HANDLE);
    U2C_TRANSACTION t{};
    t.nSlaveDeviceAddress = 0x73;

    t.nBufferLength = U2C_MAX_BUFFER + 1; // would run past the record
    EXPECT_EQ(dimax::Write(h, &t), U2C_BAD_PARAMETER);
    EXPECT_EQ(dimax::Read(h, &t), U2C_BAD_PARAMETER);
    t.nBufferLength = 3;
    t.nSlaveDeviceAddress = 0x80; // not a 7-bit address
    EXPECT_EQ(dimax::Write(h, &t), U2C_BAD_PARAMETER);
    t.nSlaveDeviceAddress = 0x73;
    t.nMemoryAddressLength = 5;
    EXPECT_EQ(dimax::Write(h, &t), U2C_BAD_PARAMETER);
    t.nMemoryAddressLength = 0;
    t.nBufferLength = 0; // a read of nothing
    EXPECT_EQ(dimax::Read(h, &t), U2C_BAD_PARAMETER);
    EXPECT_TRUE(bus->transfers().empty());

    t.nBufferLength = U2C_MAX_BUFFER; // the largest frame goes out whole
    for (int i = 0; i < U2C_MAX_BUFFER; ++i)
        t.Buffer[i] = static_cast<uint8_t>(i);
    EXPECT_EQ(dimax::Write(h, &t), U2C_SUCCESS);
    ASSERT_EQ(bus->transfers().size(), 1u);
    EXPECT_EQ(bus->transfers()[0][0].bytes.size(), 256u);
    EXPECT_EQ(bus->transfers()[0][0].bytes[255], 255);
    dimax::CloseDevice(h);
}

TEST_F(AdapterTest, MemoryAddressPhaseGoesFirstMostSignificantByteFirst) {
    auto eeprom = std::make_shared<u2csim::Chip>(); // any acknowledging slave
    bus->attach(0x50, eeprom);
    const U2C_HANDLE h = dimax::OpenDevice(0);
    U2C_TRANSACTION t = Record(0x50, {0xAA, 0xBB});
    t.nMemoryAddressLength = 2;
    t.nMemoryAddress = 0x1234;
    EXPECT_EQ(dimax::Write(h, &t), U2C_SUCCESS);
    EXPECT_EQ(dimax::Read(h, &t), U2C_SUCCESS);
    const auto transfers = bus->transfers();
    ASSERT_EQ(transfers.size(), 2u);
    ASSERT_EQ(transfers[0].size(), 1u);
    EXPECT_EQ(transfers[0][0].bytes, (std::vector<uint8_t>{0x12, 0x34, 0xAA, 0xBB}));
    ASSERT_EQ(transfers[1].size(), 2u); // address write, repeated start, read
    EXPECT_FALSE(transfers[1][0].read);
    EXPECT_EQ(transfers[1][0].bytes, (std::vector<uint8_t>{0x12, 0x34}));
    EXPECT_TRUE(transfers[1][1].read);
    EXPECT_EQ(transfers[1][1].bytes.size(), 2u);
    dimax::CloseDevice(h);
}

TEST_F(AdapterTest, BusFailuresBecomeResultCodes) {
    const U2C_HANDLE h = dimax::OpenDevice(0);
    U2C_TRANSACTION t = Record(0x22, {1, 2, 3}); // nobody at 0x22
    EXPECT_EQ(dimax::Write(h, &t), U2C_SLAVE_OPENING_FOR_WRITE_FAILED);
    EXPECT_EQ(dimax::Read(h, &t), U2C_SLAVE_OPENING_FOR_READ_FAILED);

    struct Case {
        int err;
        U2C_RESULT write;
        U2C_RESULT read;
    };
    const Case cases[] = {
        {ETIMEDOUT, U2C_I2C_CLOCK_SYNCH_TIMEOUT, U2C_I2C_CLOCK_SYNCH_TIMEOUT},
        {EREMOTEIO, U2C_SLAVE_OPENING_FOR_WRITE_FAILED, U2C_SLAVE_OPENING_FOR_READ_FAILED},
        {EBUSY, U2C_DEVICE_BUSY, U2C_DEVICE_BUSY},
        {ESHUTDOWN, U2C_HARDWARE_NOT_FOUND, U2C_HARDWARE_NOT_FOUND},
        {EIO, U2C_TRANSACTION_FAILED, U2C_TRANSACTION_FAILED},
    };
    t.nSlaveDeviceAddress = 0x73;
    for (const Case& c : cases) {
        bus->failNext(c.err);
        EXPECT_EQ(dimax::Write(h, &t), c.write) << c.err;
        bus->failNext(c.err);
        t.Buffer[0] = 0x5A;
        EXPECT_EQ(dimax::Read(h, &t), c.read) << c.err;
        EXPECT_EQ(t.Buffer[0], 0x5A) << "a failed read leaves the record alone";
    }
    EXPECT_EQ(dimax::Write(h, &t), U2C_SUCCESS); // the adapter stays usable
    dimax::CloseDevice(h);
}

// The i2c-dev layer itself, on nodes that are not I2C adapters.
TEST(SystemLayer, NoAdapterMeansNoHandle) {
    namespace fs = std::filesystem;
    const fs::path dir = fs::temp_directory_path() / ("dimax_test." + std::to_string(getpid()));
    fs::create_directories(dir);
    const fs::path plain = dir / "i2c-0";
    std::ofstream(plain) << "not a device";

    dimax::SetDeviceLayer(nullptr);
    for (const std::string& list :
         {std::string(""), (dir / "missing").string(), plain.string(), std::string("/dev/null")}) {
        ::setenv("DIMAX_U2C_DEVICES", list.c_str(), 1);
        EXPECT_EQ(dimax::OpenDevice(0), U2C_INVALID_HANDLE) << list;
    }
    ::setenv("DIMAX_U2C_DEVICES", ("::" + plain.string()).c_str(), 1);
    EXPECT_EQ(dimax::SystemDeviceLayer()->ListAdapters(), std::vector<std::string>{plain.string()});
    ::unsetenv("DIMAX_U2C_DEVICES");
    fs::remove_all(dir);
}

} // namespace

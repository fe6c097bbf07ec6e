// The libusb backend against a fake bridge board presented by umockdev:
// the testbed supplies the device to the real libusb, and an ioctl handler
// plays the board's side of usbfs (control requests for the Microsoft OS
// descriptors, bulk URBs into the simulated board). Runs with the umockdev
// preload library.
#include "sim/Board.h"
#include "sim/Chip.h"
#include "usb/LibusbBackend.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <deque>
#include <linux/ioctl.h>
#include <linux/usbdevice_fs.h>
#include <mutex>
#include <thread>
#include <umockdev.h>

using namespace kvusb;

namespace {

constexpr const char* kDevNode = "/dev/bus/usb/001/001";
constexpr uint8_t kVendorCode = 0x21;

// Device, configuration, vendor interface 0, bulk IN 0x81, bulk OUT 0x02,
// interrupt 0x83; VID:PID 1234:5678, full speed.
constexpr const char* kDescriptors =
    "12010002000000403412785600010102030109022700010100803209040000"
    "03ff00000007058102400000070502024000000705830308000a";

std::vector<uint8_t> Utf16(const std::string& s, bool terminate) {
    std::vector<uint8_t> b;
    for (char c : s) {
        b.push_back(uint8_t(c));
        b.push_back(0);
    }
    if (terminate) {
        b.push_back(0);
        b.push_back(0);
    }
    return b;
}

void Put32(std::vector<uint8_t>& b, uint32_t v) {
    for (int i = 0; i < 4; ++i)
        b.push_back(uint8_t(v >> (8 * i)));
}

std::vector<uint8_t> ExtendedProperties(const std::string& guid) {
    std::vector<uint8_t> name = Utf16("DeviceInterfaceGUIDs", true);
    std::vector<uint8_t> value = Utf16(guid, true);
    value.push_back(0);
    value.push_back(0);
    std::vector<uint8_t> d;
    Put32(d, uint32_t(10 + 14 + name.size() + value.size()));
    d.insert(d.end(), {0x00, 0x01, 0x05, 0x00, 0x01, 0x00});
    Put32(d, uint32_t(14 + name.size() + value.size()));
    Put32(d, 7);
    d.push_back(uint8_t(name.size()));
    d.push_back(0);
    d.insert(d.end(), name.begin(), name.end());
    Put32(d, uint32_t(value.size()));
    d.insert(d.end(), value.begin(), value.end());
    return d;
}

constexpr uint8_t kVendorCode20 = 0x22;

// A Microsoft OS 2.0 descriptor set with one registry property.
std::vector<uint8_t> Os20DescriptorSet(const std::string& guid) {
    std::vector<uint8_t> name = Utf16("DeviceInterfaceGUIDs", true);
    std::vector<uint8_t> value = Utf16(guid, true);
    value.push_back(0);
    value.push_back(0);
    size_t propLen = 10 + name.size() + value.size();
    size_t total = 10 + propLen;
    std::vector<uint8_t> d = {10, 0, 0, 0, 0, 0, 3, 6, uint8_t(total), uint8_t(total >> 8)};
    d.insert(d.end(),
             {uint8_t(propLen), uint8_t(propLen >> 8), 4, 0, 7, 0, uint8_t(name.size()), 0});
    d.insert(d.end(), name.begin(), name.end());
    d.push_back(uint8_t(value.size()));
    d.push_back(0);
    d.insert(d.end(), value.begin(), value.end());
    return d;
}

// The BOS descriptor with the Microsoft OS 2.0 platform capability.
std::vector<uint8_t> Os20Bos(size_t setLength) {
    std::vector<uint8_t> d = {5, 0x0F, 5 + 28, 0, 1, 28, 0x10, 0x05, 0x00};
    const uint8_t uuid[16] = {0xDF, 0x60, 0xDD, 0xD8, 0x89, 0x45, 0xC7, 0x4C,
                              0x9C, 0xD2, 0x65, 0x9D, 0x9E, 0x64, 0x8A, 0x9F};
    d.insert(d.end(), uuid, uuid + 16);
    d.insert(d.end(), {0x00, 0x00, 0x03, 0x06, uint8_t(setLength), uint8_t(setLength >> 8),
                       kVendorCode20, 0});
    return d;
}

// The board's side of usbfs.
class FakeBoard {
public:
    std::shared_ptr<u2csim::Board> board = std::make_shared<u2csim::Board>();
    std::string guid;  // empty: no Microsoft OS descriptors
    bool os20 = false; // declare it in OS 2.0 descriptors instead of 1.0
    // Read and set from the test while the testbed's thread serves ioctls.
    std::vector<uint8_t> ClearedHalts() {
        std::lock_guard lock(mutex_);
        return clearedHalts_;
    }
    unsigned IoctlsAfterGone() {
        std::lock_guard lock(mutex_);
        return ioctlsAfterGone_;
    }
    void Unplug() {
        std::lock_guard lock(mutex_);
        gone_ = true;
    }
    // The reply to the next frame is sent `delay` later: it is released at
    // the first transfer the host starts after that time.
    void HoldNextReply(std::chrono::milliseconds delay) {
        std::lock_guard lock(mutex_);
        holdFor_ = delay;
    }

    FakeBoard() { board->attach(u2csim::kChipAddress, std::make_shared<u2csim::Chip>()); }
    ~FakeBoard() {
        for (auto* d : inFlight_)
            g_object_unref(d);
        for (auto& c : completed_)
            g_object_unref(c);
    }

    static gboolean OnIoctl(UMockdevIoctlBase*, UMockdevIoctlClient* client, gpointer self) {
        return static_cast<FakeBoard*>(self)->handle(client);
    }

private:
    gboolean handle(UMockdevIoctlClient* client) {
        std::lock_guard lock(mutex_);
        const gulong request = umockdev_ioctl_client_get_request(client);
        UMockdevIoctlData* arg = umockdev_ioctl_client_get_arg(client);
        if (gone_) {
            ++ioctlsAfterGone_;
            umockdev_ioctl_client_complete(client, -1, ENODEV);
            return TRUE;
        }
        switch (request) {
        case USBDEVFS_GET_CAPABILITIES: {
            UMockdevIoctlData* d = umockdev_ioctl_data_resolve(arg, 0, sizeof(guint32), nullptr);
            *reinterpret_cast<guint32*>(d->data) =
                USBDEVFS_CAP_BULK_CONTINUATION | USBDEVFS_CAP_NO_PACKET_SIZE_LIM;
            g_object_unref(d);
            umockdev_ioctl_client_complete(client, 0, 0);
            return TRUE;
        }
        case USBDEVFS_GETDRIVER:
            umockdev_ioctl_client_complete(client, -1, ENODATA);
            return TRUE;
        case USBDEVFS_CLEAR_HALT: {
            UMockdevIoctlData* d = umockdev_ioctl_data_resolve(arg, 0, sizeof(unsigned), nullptr);
            clearedHalts_.push_back(uint8_t(*reinterpret_cast<unsigned*>(d->data)));
            g_object_unref(d);
            umockdev_ioctl_client_complete(client, 0, 0);
            return TRUE;
        }
        case USBDEVFS_SUBMITURB:
            return submit(client, arg);
        case USBDEVFS_REAPURB:
        case USBDEVFS_REAPURBNDELAY: {
            if (completed_.empty()) {
                umockdev_ioctl_client_complete(client, -1, EAGAIN);
                return TRUE;
            }
            UMockdevIoctlData* urb = completed_.front();
            completed_.pop_front();
            UMockdevIoctlData* ptr = umockdev_ioctl_data_resolve(arg, 0, sizeof(gpointer), nullptr);
            umockdev_ioctl_data_set_ptr(ptr, 0, urb);
            g_object_unref(ptr);
            g_object_unref(urb);
            umockdev_ioctl_client_complete(client, 0, 0);
            return TRUE;
        }
        case USBDEVFS_DISCARDURB: {
            gulong addr = *reinterpret_cast<gulong*>(arg->data);
            auto it = std::find_if(inFlight_.begin(), inFlight_.end(),
                                   [&](UMockdevIoctlData* d) { return d->client_addr == addr; });
            if (it == inFlight_.end()) {
                umockdev_ioctl_client_complete(client, -1, EINVAL);
                return TRUE;
            }
            reinterpret_cast<usbdevfs_urb*>((*it)->data)->status = -ENOENT;
            completed_.push_back(*it);
            inFlight_.erase(it);
            umockdev_ioctl_client_complete(client, 0, 0);
            return TRUE;
        }
        default: // claim, release, reset and the like simply succeed
            umockdev_ioctl_client_complete(client, 0, 0);
            return TRUE;
        }
    }

    gboolean submit(UMockdevIoctlClient* client, UMockdevIoctlData* arg) {
        UMockdevIoctlData* urbData =
            umockdev_ioctl_data_resolve(arg, 0, sizeof(usbdevfs_urb), nullptr);
        auto* urb = reinterpret_cast<usbdevfs_urb*>(urbData->data);
        UMockdevIoctlData* buf = umockdev_ioctl_data_resolve(
            urbData, offsetof(usbdevfs_urb, buffer), size_t(urb->buffer_length), nullptr);
        uint8_t* bytes = buf ? buf->data : nullptr;
        urb->status = 0;
        urb->actual_length = 0;
        if (!held_.empty() && std::chrono::steady_clock::now() >= releaseAt_) {
            packets_.insert(packets_.end(), held_.begin(), held_.end());
            held_.clear();
        }
        if (urb->type == USBDEVFS_URB_TYPE_CONTROL) {
            control(urb, bytes);
            completed_.push_back(urbData);
        } else if (urb->endpoint == 0x02) {
            const bool hold = holdFor_.count() > 0;
            for (auto& p : board->transfer(bytes, size_t(urb->buffer_length)))
                (hold ? held_ : packets_).push_back(std::move(p));
            if (hold)
                releaseAt_ = std::chrono::steady_clock::now() + holdFor_;
            holdFor_ = {};
            urb->actual_length = urb->buffer_length;
            completed_.push_back(urbData);
        } else {
            inFlight_.push_back(urbData); // an IN transfer waits for a packet
        }
        deliverPackets();
        if (buf)
            g_object_unref(buf);
        umockdev_ioctl_client_complete(client, 0, 0);
        return TRUE;
    }

    void control(usbdevfs_urb* urb, uint8_t* bytes) {
        const uint8_t type = bytes[0], request = bytes[1];
        const uint16_t value = uint16_t(bytes[2] | bytes[3] << 8);
        const uint16_t index = uint16_t(bytes[4] | bytes[5] << 8);
        std::vector<uint8_t> reply;
        if (!guid.empty() && os20 && type == 0x80 && request == 6 && value == 0x0F00) {
            reply = Os20Bos(Os20DescriptorSet(guid).size());
        } else if (!guid.empty() && os20 && type == 0xC0 && request == kVendorCode20 &&
                   index == 7) {
            reply = Os20DescriptorSet(guid);
        } else if (!guid.empty() && !os20 && type == 0x80 && request == 6 && value == 0x03EE) {
            reply = {0x12, 0x03};
            auto sig = Utf16("MSFT100", false);
            reply.insert(reply.end(), sig.begin(), sig.end());
            reply.push_back(kVendorCode);
            reply.push_back(0);
        } else if (!guid.empty() && !os20 && (type & 0xE0) == 0xC0 && request == kVendorCode &&
                   index == 5) {
            reply = ExtendedProperties(guid);
        } else {
            urb->status = -EPIPE; // the control pipe stalls on anything else
            return;
        }
        size_t n = std::min(reply.size(), size_t(urb->buffer_length - 8));
        std::memcpy(bytes + 8, reply.data(), n);
        urb->actual_length = int(n);
    }

    void deliverPackets() {
        while (!packets_.empty() && !inFlight_.empty()) {
            UMockdevIoctlData* urbData = inFlight_.front();
            inFlight_.erase(inFlight_.begin());
            auto* urb = reinterpret_cast<usbdevfs_urb*>(urbData->data);
            UMockdevIoctlData* buf = umockdev_ioctl_data_resolve(
                urbData, offsetof(usbdevfs_urb, buffer), size_t(urb->buffer_length), nullptr);
            const u2c::Bytes& p = packets_.front();
            size_t n = std::min(p.size(), size_t(urb->buffer_length));
            std::memcpy(buf->data, p.data(), n);
            urb->actual_length = int(n);
            urb->status = 0;
            packets_.pop_front();
            g_object_unref(buf);
            completed_.push_back(urbData);
        }
    }

    std::mutex mutex_;
    std::vector<uint8_t> clearedHalts_;
    bool gone_ = false;
    unsigned ioctlsAfterGone_ = 0;
    std::vector<UMockdevIoctlData*> inFlight_;
    std::deque<UMockdevIoctlData*> completed_;
    std::deque<u2c::Bytes> packets_;
    std::chrono::milliseconds holdFor_{0};
    std::deque<u2c::Bytes> held_; // a late reply
    std::chrono::steady_clock::time_point releaseAt_;
};

struct UsbUnderUmockdev : ::testing::Test {
    UMockdevTestbed* testbed = nullptr;
    UMockdevIoctlBase* handler = nullptr;
    FakeBoard fake;

    void SetUp() override {
        if (!getenv("LD_PRELOAD") || !strstr(getenv("LD_PRELOAD"), "umockdev"))
            GTEST_SKIP() << "needs the umockdev preload library";
        testbed = umockdev_testbed_new();
        handler = umockdev_ioctl_base_new();
        g_signal_connect(handler, "handle-ioctl", G_CALLBACK(FakeBoard::OnIoctl), &fake);
    }
    void plug() {
        ASSERT_TRUE(umockdev_testbed_attach_ioctl(testbed, kDevNode, handler, nullptr));
        std::string record = std::string("P: /devices/usb1\nN: bus/usb/001/001\n"
                                         "E: SUBSYSTEM=usb\nE: DRIVER=usb\nE: BUSNUM=001\n"
                                         "E: DEVNUM=001\nE: DEVNAME=/dev/bus/usb/001/001\n"
                                         "E: DEVTYPE=usb_device\nA: bConfigurationValue=1\\n\n"
                                         "A: busnum=1\\n\nA: devnum=1\\n\nA: speed=12\\n\n"
                                         "H: descriptors=") +
                             kDescriptors + "\n";
        ASSERT_TRUE(umockdev_testbed_add_from_string(testbed, record.c_str(), nullptr));
    }
    void TearDown() override {
        if (testbed)
            g_object_unref(testbed);
        if (handler)
            g_object_unref(handler);
    }
};

u2c::Bytes OpenFrame() {
    return {0xC0, 0, 0, 0, 0, 0xA0, 0x86, 0x01, 0x00};
}

} // namespace

TEST_F(UsbUnderUmockdev, BoardsAreFoundByTheirInterfaceGuidOrAListedId) {
    struct Case {
        const char* guid;
        bool os20;
        std::vector<UsbId> ids;
        bool found;
    } cases[] = {
        {kBridgeInterfaceGuid, false, {}, true},
        {kBridgeInterfaceGuid, true, {}, true},
        {"{a96b8bbc-d41a-42a5-8793-cfffbdec815ef}", false, {}, false}, // not the same GUID
        {"{a96b8bbc-d41a-42a5-8793-cfffbdec815ef}", true, {}, false},
        {"{a96b8bbc-d41a-42a5-8793-cffbdec815ef}", false, {}, true}, // case does not matter
        {"", false, {}, false},
        {"", false, {{0x1234, 0x5678}}, true},
        {"", false, {{0x1234, 0x5679}}, false},
    };
    plug();
    for (const auto& c : cases) {
        fake.guid = c.guid;
        fake.os20 = c.os20;
        LibusbBackend backend(c.ids);
        auto boards = backend.listBoards();
        EXPECT_EQ(boards,
                  c.found ? std::vector<std::string>{"usb:1:1"} : std::vector<std::string>{})
            << c.guid << (c.os20 ? " (OS 2.0)" : "");
    }
}

TEST_F(UsbUnderUmockdev, FramesGoOutOnBulkOutAndRepliesComeBackInWholePackets) {
    fake.guid = kBridgeInterfaceGuid;
    plug();
    LibusbBackend backend({}, std::chrono::milliseconds(500));
    auto pipe = backend.open("usb:1:1");
    ASSERT_TRUE(pipe);
    EXPECT_EQ(pipe->ids().bulkIn, 0x81);
    EXPECT_EQ(pipe->ids().bulkOut, 0x02);
    EXPECT_EQ(pipe->ids().interrupt, 0x83);

    u2c::Bytes open = OpenFrame();
    ASSERT_EQ(WriteAll(*pipe, open.data(), open.size()), IoStatus::ok);
    uint8_t st = 0;
    ASSERT_EQ(ReadAll(*pipe, &st, 1), IoStatus::ok);
    EXPECT_EQ(st, 1);
    EXPECT_TRUE(fake.board->deviceOpen());

    // 100 bytes of memory: a reply of 105 bytes in two packets, read in
    // pieces of any size from the reply buffer.
    fake.board->setMemWord(96, 0xA1B2C3D4);
    u2c::Bytes readMem = u2c::ReadMemPacket(0, 100);
    u2c::Bytes frame = u2c::WriteReadFrame(0, 0x80, readMem.data(), 9, 100);
    ASSERT_EQ(WriteAll(*pipe, frame.data(), frame.size()), IoStatus::ok);
    uint8_t head[5], data[100];
    ASSERT_EQ(ReadAll(*pipe, head, 5), IoStatus::ok);
    EXPECT_EQ(u2c::GetLE32(head + 1), 100u);
    ASSERT_EQ(ReadAll(*pipe, data, 100), IoStatus::ok);
    EXPECT_EQ(u2c::GetLE32(data + 96), 0xA1B2C3D4u);
}

TEST_F(UsbUnderUmockdev, ATimeOutClearsBothPipesAndTheNextFrameWorks) {
    fake.guid = kBridgeInterfaceGuid;
    plug();
    LibusbBackend backend({}, std::chrono::milliseconds(100));
    auto pipe = backend.open("usb:1:1");
    ASSERT_TRUE(pipe);
    fake.board->injectFault(u2csim::Fault::stall);
    u2c::Bytes open = OpenFrame();
    ASSERT_EQ(WriteAll(*pipe, open.data(), open.size()), IoStatus::ok);
    uint8_t st = 0;
    EXPECT_EQ(ReadAll(*pipe, &st, 1), IoStatus::timeout);
    EXPECT_EQ(fake.ClearedHalts(), (std::vector<uint8_t>{0x81, 0x02}));
    ASSERT_EQ(WriteAll(*pipe, open.data(), open.size()), IoStatus::ok);
    ASSERT_EQ(ReadAll(*pipe, &st, 1), IoStatus::ok);
    EXPECT_EQ(st, 1);
}

TEST_F(UsbUnderUmockdev, AGoneDeviceClosesTheHandle) {
    plug();
    LibusbBackend backend({{0x1234, 0x5678}}, std::chrono::milliseconds(200));
    auto pipe = backend.open("usb:1:1");
    ASSERT_TRUE(pipe);
    fake.Unplug();
    u2c::Bytes open = OpenFrame();
    EXPECT_EQ(WriteAll(*pipe, open.data(), open.size()), IoStatus::noDevice);
    unsigned seen = fake.IoctlsAfterGone();
    uint8_t st = 0;
    EXPECT_EQ(ReadAll(*pipe, &st, 1), IoStatus::noDevice);
    EXPECT_EQ(WriteAll(*pipe, open.data(), open.size()), IoStatus::noDevice);
    EXPECT_EQ(fake.IoctlsAfterGone(), seen) << "a closed handle touches the device no more";
}

TEST_F(UsbUnderUmockdev, AReplyAfterATimeOutNeverAnswersALaterFrame) {
    fake.guid = kBridgeInterfaceGuid;
    plug();
    LibusbBackend backend({}, std::chrono::milliseconds(100));
    auto pipe = backend.open("usb:1:1");
    ASSERT_TRUE(pipe);
    u2c::Bytes open = OpenFrame();
    uint8_t st = 0;
    ASSERT_EQ(WriteAll(*pipe, open.data(), open.size()), IoStatus::ok);
    ASSERT_EQ(ReadAll(*pipe, &st, 1), IoStatus::ok);
    fake.board->setMemWord(0, 0x11111111);
    fake.board->setMemWord(4, 0x22222222);
    // Reads one memory word: the reply's status and count, then the word.
    auto readWord = [&](uint32_t address, uint32_t& word) {
        u2c::Bytes packet = u2c::ReadMemPacket(address, 4);
        u2c::Bytes frame = u2c::WriteReadFrame(0, 0x80, packet.data(), 9, 4);
        if (IoStatus st = WriteAll(*pipe, frame.data(), frame.size()); st != IoStatus::ok)
            return st;
        uint8_t reply[9];
        IoStatus st = ReadAll(*pipe, reply, sizeof reply);
        if (st != IoStatus::ok)
            pipe->discardInput();
        word = u2c::GetLE32(reply + 5);
        return st;
    };
    uint32_t word = 0;
    fake.HoldNextReply(std::chrono::milliseconds(150));
    EXPECT_EQ(readWord(0, word), IoStatus::timeout);
    // Frames over the next few hundred milliseconds, while the late reply
    // arrives: each gets its own answer.
    for (int i = 0; i < 8; ++i) {
        ASSERT_EQ(readWord(4, word), IoStatus::ok) << i;
        EXPECT_EQ(word, 0x22222222u) << i;
        std::this_thread::sleep_for(std::chrono::milliseconds(40));
    }
}

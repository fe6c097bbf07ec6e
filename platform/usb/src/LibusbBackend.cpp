#include "usb/LibusbBackend.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <climits>
#include <cstring>
#include <libusb.h>

namespace kvusb {

struct LibusbBackend::Context {
    libusb_context* ctx = nullptr;
    ~Context() {
        if (ctx)
            libusb_exit(ctx);
    }
};

namespace {

using ContextPtr = std::shared_ptr<LibusbBackend::Context>;

// Control requests of the discovery never take longer than this.
constexpr std::chrono::milliseconds kControlTimeout{500};
// Settling time of a drain after a refused reply.
constexpr unsigned kDrainTimeoutMs = 5;
constexpr size_t kMaxExtendedProperties = 4096;

unsigned Millis(std::chrono::milliseconds t) {
    return static_cast<unsigned>(std::max<int64_t>(1, t.count()));
}

uint32_t Le32(const uint8_t* p) {
    return p[0] | p[1] << 8 | p[2] << 16 | uint32_t(p[3]) << 24;
}
uint16_t Le16(const uint8_t* p) {
    return static_cast<uint16_t>(p[0] | p[1] << 8);
}

// UTF-16LE text made of ASCII characters (the property names and GUIDs).
std::string AsciiFromUtf16(const uint8_t* p, size_t bytes) {
    std::string s;
    for (size_t i = 0; i + 1 < bytes; i += 2) {
        uint16_t c = Le16(p + i);
        s.push_back(c < 0x80 ? static_cast<char>(c) : '?');
    }
    return s;
}

// Appends the GUID texts of a "DeviceInterfaceGUID" (REG_SZ) or
// "DeviceInterfaceGUIDs" (REG_MULTI_SZ) property.
void CollectGuids(uint32_t type, std::string name, const uint8_t* value, size_t bytes,
                  std::vector<std::string>& guids) {
    while (!name.empty() && name.back() == '\0')
        name.pop_back();
    bool wanted = (type == 1 && name == "DeviceInterfaceGUID") ||
                  (type == 7 && name == "DeviceInterfaceGUIDs");
    if (!wanted)
        return;
    std::string all = AsciiFromUtf16(value, bytes); // texts separated by NULs
    size_t s = 0;
    while (s < all.size()) {
        size_t z = all.find('\0', s);
        if (z == std::string::npos)
            z = all.size();
        if (z > s)
            guids.push_back(all.substr(s, z - s));
        s = z + 1;
    }
}

bool SameText(const std::string& a, const std::string& b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return std::toupper(static_cast<unsigned char>(x)) ==
                      std::toupper(static_cast<unsigned char>(y));
           });
}

class LibusbPipe final : public BulkPipe {
public:
    LibusbPipe(ContextPtr ctx, libusb_device_handle* h, PipeIds ids, uint16_t inPacket,
               std::string path, std::chrono::milliseconds timeout)
        : ctx_(std::move(ctx)), h_(h), ids_(ids), path_(std::move(path)), timeout_(timeout) {
        // Whole packets only: a read buffer that is a multiple of the packet
        // size never overflows.
        size_t packet = inPacket ? inPacket : 64;
        packet_.resize(((1024 + packet - 1) / packet) * packet);
    }
    ~LibusbPipe() override { closeHandle(); }

    IoStatus write(const uint8_t* data, size_t len, size_t& moved) override {
        moved = 0;
        if (!h_)
            return IoStatus::noDevice;
        dropLateReplies();
        if (!h_)
            return IoStatus::noDevice;
        // What is left of earlier replies is no part of the coming one's.
        reply_.clear();
        pos_ = 0;
        int transferred = 0;
        int chunk = static_cast<int>(std::min<size_t>(len, 1u << 16));
        int r = libusb_bulk_transfer(h_, ids_.bulkOut, const_cast<uint8_t*>(data), chunk,
                                     &transferred, Millis(timeout_));
        moved = static_cast<size_t>(std::max(0, transferred));
        return settle(r);
    }

    IoStatus read(uint8_t* buf, size_t len, size_t& got) override {
        got = 0;
        if (pos_ == reply_.size()) {
            if (!h_)
                return IoStatus::noDevice;
            int n = 0;
            int r = libusb_bulk_transfer(h_, ids_.bulkIn, packet_.data(),
                                         static_cast<int>(packet_.size()), &n, Millis(timeout_));
            IoStatus st = settle(r);
            if (st != IoStatus::ok)
                return st;
            reply_.assign(packet_.begin(), packet_.begin() + n);
            pos_ = 0;
        }
        got = std::min(len, reply_.size() - pos_);
        std::memcpy(buf, reply_.data() + pos_, got);
        pos_ += got;
        return IoStatus::ok;
    }

    void discardInput() override {
        reply_.clear();
        pos_ = 0;
        for (int i = 0; h_ && i < 64; ++i) {
            int n = 0;
            int r = libusb_bulk_transfer(h_, ids_.bulkIn, packet_.data(),
                                         static_cast<int>(packet_.size()), &n, kDrainTimeoutMs);
            if (r == LIBUSB_ERROR_NO_DEVICE)
                closeHandle();
            if (r != 0)
                break;
        }
    }

    PipeIds ids() const override { return ids_; }
    std::string path() const override { return path_; }

private:
    using Clock = std::chrono::steady_clock;

    // A board may still answer a frame after its time-out ran out; taken
    // as the answer to the next frame, that reply would be wrong. So the
    // next frame goes out only once the board has been quiet for one more
    // time-out after it, and whatever arrives meanwhile is dropped. The IN
    // pipe is polled in short reads so that a reply is taken as it comes.
    void dropLateReplies() {
        if (!lateUntil_)
            return;
        constexpr std::chrono::milliseconds kPoll{10};
        while (h_ && Clock::now() < *lateUntil_) {
            const auto left =
                std::chrono::duration_cast<std::chrono::milliseconds>(*lateUntil_ - Clock::now());
            int n = 0;
            int r = libusb_bulk_transfer(h_, ids_.bulkIn, packet_.data(),
                                         static_cast<int>(packet_.size()), &n,
                                         Millis(std::min(left, kPoll)));
            if (r == LIBUSB_ERROR_NO_DEVICE)
                closeHandle();
            else if (r != 0 && r != LIBUSB_ERROR_TIMEOUT)
                break;
        }
        lateUntil_.reset();
    }

    IoStatus settle(int r) {
        switch (r) {
        case 0:
            return IoStatus::ok;
        case LIBUSB_ERROR_TIMEOUT:
            // Resynchronise the data toggles of both pipes and forget any
            // partial answer; a late answer is waited out before the next
            // frame.
            libusb_clear_halt(h_, ids_.bulkIn);
            libusb_clear_halt(h_, ids_.bulkOut);
            reply_.clear();
            pos_ = 0;
            lateUntil_ = Clock::now() + timeout_;
            return IoStatus::timeout;
        case LIBUSB_ERROR_NO_DEVICE:
            closeHandle();
            return IoStatus::noDevice;
        default:
            reply_.clear();
            pos_ = 0;
            return IoStatus::failed;
        }
    }

    void closeHandle() {
        if (!h_)
            return;
        libusb_release_interface(h_, 0);
        libusb_close(h_);
        h_ = nullptr;
        reply_.clear();
        pos_ = 0;
    }

    ContextPtr ctx_;
    libusb_device_handle* h_;
    PipeIds ids_;
    std::string path_;
    std::chrono::milliseconds timeout_;
    std::vector<uint8_t> packet_;
    std::vector<uint8_t> reply_;
    size_t pos_ = 0;
    std::optional<Clock::time_point> lateUntil_; // set by a time-out
};

std::string DevicePath(libusb_device* dev) {
    return "usb:" + std::to_string(libusb_get_bus_number(dev)) + ":" +
           std::to_string(libusb_get_device_address(dev));
}

// Interface 0 of the active configuration is vendor-specific.
bool HasVendorInterface(libusb_device* dev) {
    libusb_config_descriptor* cfg = nullptr;
    if (libusb_get_active_config_descriptor(dev, &cfg) != 0 || !cfg)
        return false;
    bool vendor = cfg->bNumInterfaces > 0 && cfg->interface[0].num_altsetting > 0 &&
                  cfg->interface[0].altsetting[0].bInterfaceClass == LIBUSB_CLASS_VENDOR_SPEC;
    libusb_free_config_descriptor(cfg);
    return vendor;
}

// Reads the Microsoft OS 1.0 descriptors of an open device and tells
// whether they declare the bridge's device-interface GUID.
bool HasBridgeGuid(const std::vector<std::string>& guids) {
    return std::any_of(guids.begin(), guids.end(),
                       [](const std::string& g) { return SameText(g, kBridgeInterfaceGuid); });
}

// The Microsoft OS 2.0 platform capability in the BOS descriptor names the
// vendor request that returns the descriptor set.
bool DeclaresBridgeGuidOs20(libusb_device_handle* h) {
    static const uint8_t kPlatformUuid[16] = {0xDF, 0x60, 0xDD, 0xD8, 0x89, 0x45, 0xC7, 0x4C,
                                              0x9C, 0xD2, 0x65, 0x9D, 0x9E, 0x64, 0x8A, 0x9F};
    libusb_bos_descriptor* bos = nullptr;
    if (libusb_get_bos_descriptor(h, &bos) != 0 || !bos)
        return false;
    bool found = false;
    for (uint8_t i = 0; i < bos->bNumDeviceCaps && !found; ++i) {
        const libusb_bos_dev_capability_descriptor* cap = bos->dev_capability[i];
        // bReserved, the UUID, dwWindowsVersion, wTotalLength, bVendorCode, bAltEnum
        if (!cap || cap->bDevCapabilityType != 0x05 || cap->bLength < 3 + 1 + 16 + 8 ||
            std::memcmp(cap->dev_capability_data + 1, kPlatformUuid, 16) != 0)
            continue;
        const uint8_t* info = cap->dev_capability_data + 17;
        uint16_t total = Le16(info + 4);
        uint8_t vendorCode = info[6];
        if (total < 10)
            continue;
        std::vector<uint8_t> set(total);
        int r = libusb_control_transfer(h, 0xC0, vendorCode, 0, 0x0007, set.data(), total,
                                        Millis(kControlTimeout));
        if (r > 0)
            found = HasBridgeGuid(InterfaceGuidsFromOs20DescriptorSet(set.data(), size_t(r)));
    }
    libusb_free_bos_descriptor(bos);
    return found;
}

bool DeclaresBridgeGuid(libusb_device_handle* h) {
    if (DeclaresBridgeGuidOs20(h))
        return true;
    const unsigned t = Millis(kControlTimeout);
    uint8_t os[18] = {};
    int r = libusb_control_transfer(h, LIBUSB_ENDPOINT_IN, LIBUSB_REQUEST_GET_DESCRIPTOR,
                                    (LIBUSB_DT_STRING << 8) | 0xEE, 0, os, sizeof os, t);
    if (r < 18 || os[1] != LIBUSB_DT_STRING || AsciiFromUtf16(os + 2, 14) != "MSFT100")
        return false;
    const uint8_t vendorCode = os[16];
    for (uint8_t type : {uint8_t(0xC1), uint8_t(0xC0)}) { // interface, then device recipient
        uint8_t header[10] = {};
        r = libusb_control_transfer(h, type, vendorCode, 0, 0x0005, header, sizeof header, t);
        if (r < 10)
            continue;
        size_t total = std::min<size_t>(Le32(header), kMaxExtendedProperties);
        std::vector<uint8_t> props(total);
        r = libusb_control_transfer(h, type, vendorCode, 0, 0x0005, props.data(),
                                    static_cast<uint16_t>(total), t);
        if (r <= 0)
            continue;
        if (HasBridgeGuid(InterfaceGuidsFromExtendedProperties(props.data(), size_t(r))))
            return true;
    }
    return false;
}

} // namespace

std::vector<UsbId> ParseUsbIdList(const std::string& text) {
    std::vector<UsbId> ids;
    size_t i = 0;
    while (i < text.size()) {
        size_t end = text.find_first_of(",; \t", i);
        if (end == std::string::npos)
            end = text.size();
        std::string item = text.substr(i, end - i);
        i = end + 1;
        size_t colon = item.find(':');
        if (colon == std::string::npos)
            continue;
        unsigned vid = 0, pid = 0;
        const char* b = item.data();
        auto [pv, ev] = std::from_chars(b, b + colon, vid, 16);
        auto [pp, ep] = std::from_chars(b + colon + 1, b + item.size(), pid, 16);
        if (ev != std::errc() || ep != std::errc() || pv != b + colon || pp != b + item.size() ||
            vid > 0xFFFF || pid > 0xFFFF || colon == 0)
            continue;
        ids.push_back({static_cast<uint16_t>(vid), static_cast<uint16_t>(pid)});
    }
    return ids;
}

std::vector<std::string> InterfaceGuidsFromExtendedProperties(const uint8_t* data, size_t len) {
    std::vector<std::string> guids;
    if (len < 10 || Le16(data + 6) != 0x0005)
        return guids;
    size_t total = std::min<size_t>(len, Le32(data));
    unsigned count = Le16(data + 8);
    size_t pos = 10;
    for (unsigned n = 0; n < count && pos + 14 <= total; ++n) {
        size_t size = Le32(data + pos);
        if (size < 14 || size > total - pos)
            break;
        const uint8_t* sec = data + pos;
        uint32_t type = Le32(sec + 4);
        size_t nameLen = Le16(sec + 8);
        if (10 + nameLen + 4 > size)
            break;
        size_t dataLen = Le32(sec + 10 + nameLen);
        if (dataLen > size - 14 - nameLen)
            break;
        CollectGuids(type, AsciiFromUtf16(sec + 10, nameLen), sec + 14 + nameLen, dataLen, guids);
        pos += size;
    }
    return guids;
}

std::vector<std::string> InterfaceGuidsFromOs20DescriptorSet(const uint8_t* data, size_t len) {
    std::vector<std::string> guids;
    // Set header: wLength 10, wDescriptorType 0, dwWindowsVersion, wTotalLength.
    if (len < 10 || Le16(data) != 10 || Le16(data + 2) != 0)
        return guids;
    size_t total = std::min<size_t>(len, Le16(data + 8));
    size_t pos = 0;
    while (pos + 4 <= total) {
        size_t size = Le16(data + pos);
        if (size < 4 || size > total - pos)
            break;
        const uint8_t* d = data + pos;
        if (Le16(d + 2) == 4 && size >= 10) { // registry property
            uint16_t type = Le16(d + 4);
            size_t nameLen = Le16(d + 6);
            if (8 + nameLen + 2 <= size) {
                size_t dataLen = Le16(d + 8 + nameLen);
                if (8 + nameLen + 2 + dataLen <= size)
                    CollectGuids(type, AsciiFromUtf16(d + 8, nameLen), d + 10 + nameLen, dataLen,
                                 guids);
            }
        }
        pos += size; // subset headers are walked through like any descriptor
    }
    return guids;
}

LibusbBackend::LibusbBackend(std::vector<UsbId> ids, std::chrono::milliseconds timeout)
    : ctx_(std::make_shared<Context>()), ids_(std::move(ids)), timeout_(timeout) {
    if (libusb_init(&ctx_->ctx) != 0)
        ctx_->ctx = nullptr;
}

LibusbBackend::~LibusbBackend() = default;

std::vector<std::string> LibusbBackend::listBoards() {
    std::vector<std::string> boards;
    if (!ctx_->ctx)
        return boards;
    libusb_device** list = nullptr;
    ssize_t n = libusb_get_device_list(ctx_->ctx, &list);
    for (ssize_t i = 0; i < n; ++i) {
        libusb_device* dev = list[i];
        libusb_device_descriptor d{};
        if (libusb_get_device_descriptor(dev, &d) != 0)
            continue;
        bool listed =
            std::find(ids_.begin(), ids_.end(), UsbId{d.idVendor, d.idProduct}) != ids_.end();
        bool declared = false;
        if (!listed && HasVendorInterface(dev)) {
            libusb_device_handle* h = nullptr;
            if (libusb_open(dev, &h) == 0) {
                declared = DeclaresBridgeGuid(h);
                libusb_close(h);
            }
        }
        if (listed || declared)
            boards.push_back(DevicePath(dev));
    }
    if (list)
        libusb_free_device_list(list, 1);
    return boards;
}

std::unique_ptr<BulkPipe> LibusbBackend::open(const std::string& path) {
    if (!ctx_->ctx)
        return nullptr;
    libusb_device** list = nullptr;
    ssize_t n = libusb_get_device_list(ctx_->ctx, &list);
    libusb_device* dev = nullptr;
    for (ssize_t i = 0; i < n && !dev; ++i)
        if (DevicePath(list[i]) == path)
            dev = list[i];
    std::unique_ptr<BulkPipe> pipe;
    libusb_device_handle* h = nullptr;
    if (dev && libusb_open(dev, &h) == 0) {
        libusb_set_auto_detach_kernel_driver(h, 1);
        PipeIds ids;
        uint16_t inPacket = 0;
        libusb_config_descriptor* cfg = nullptr;
        bool ok = libusb_claim_interface(h, 0) == 0 &&
                  libusb_get_active_config_descriptor(dev, &cfg) == 0 && cfg &&
                  cfg->bNumInterfaces > 0 && cfg->interface[0].num_altsetting > 0;
        if (ok) {
            const libusb_interface_descriptor& alt = cfg->interface[0].altsetting[0];
            for (int e = 0; e < alt.bNumEndpoints; ++e) {
                const libusb_endpoint_descriptor& ep = alt.endpoint[e];
                int kind = ep.bmAttributes & LIBUSB_TRANSFER_TYPE_MASK;
                if (kind == LIBUSB_TRANSFER_TYPE_BULK && (ep.bEndpointAddress & 0x80)) {
                    ids.bulkIn = ep.bEndpointAddress;
                    inPacket = ep.wMaxPacketSize;
                } else if (kind == LIBUSB_TRANSFER_TYPE_BULK) {
                    ids.bulkOut = ep.bEndpointAddress;
                } else if (kind == LIBUSB_TRANSFER_TYPE_INTERRUPT) {
                    ids.interrupt = ep.bEndpointAddress;
                }
            }
            ok = ids.bulkIn != 0 && ids.bulkOut != 0;
        }
        if (cfg)
            libusb_free_config_descriptor(cfg);
        if (ok) {
            ids.speed = static_cast<uint8_t>(libusb_get_device_speed(dev));
            pipe = std::make_unique<LibusbPipe>(ctx_, h, ids, inPacket, path, timeout_);
        } else {
            libusb_release_interface(h, 0);
            libusb_close(h);
        }
    }
    if (list)
        libusb_free_device_list(list, 1);
    return pipe;
}

} // namespace kvusb

// Boards on the USB bus, through libusb-1.0.
//
// A board is a device that declares the bridge's device-interface GUID in
// its Microsoft OS descriptors (2.0, or 1.0 extended properties), or whose
// VID:PID is listed in
// TEROVAN_U2C_USB_IDS ("vvvv:pppp", several separated by ',', ';' or
// spaces). Opening claims interface 0 and takes its bulk IN, bulk OUT and
// interrupt endpoints. After a time-out both bulk pipes are cleared so their
// data toggles resynchronise, and the reply buffer is emptied; a board that
// is gone (LIBUSB_ERROR_NO_DEVICE) closes its handle.
#pragma once

#include "usb/BulkPipe.h"

#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace kvusb {

struct UsbId {
    uint16_t vendor = 0;
    uint16_t product = 0;
    bool operator==(const UsbId&) const = default;
};

// Parses TEROVAN_U2C_USB_IDS; malformed entries are skipped.
std::vector<UsbId> ParseUsbIdList(const std::string& text);

// Finds the device-interface GUIDs in a Microsoft OS 1.0 extended-properties
// descriptor ("DeviceInterfaceGUID" or "DeviceInterfaceGUIDs"). Returns the
// GUID texts; malformed descriptors give none.
std::vector<std::string> InterfaceGuidsFromExtendedProperties(const uint8_t* data, size_t len);

// The same from a Microsoft OS 2.0 descriptor set (its registry-property
// descriptors).
std::vector<std::string> InterfaceGuidsFromOs20DescriptorSet(const uint8_t* data, size_t len);

class LibusbBackend final : public Backend {
public:
    explicit LibusbBackend(std::vector<UsbId> ids,
                           std::chrono::milliseconds timeout = kDefaultTransferTimeout);
    ~LibusbBackend() override;

    // Board paths are "usb:BUS:ADDRESS" (decimal).
    std::vector<std::string> listBoards() override;
    std::unique_ptr<BulkPipe> open(const std::string& path) override;

    struct Context;

private:
    std::shared_ptr<Context> ctx_;
    std::vector<UsbId> ids_;
    std::chrono::milliseconds timeout_;
};

} // namespace kvusb

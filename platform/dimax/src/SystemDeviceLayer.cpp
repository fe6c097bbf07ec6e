// The device layer over the kernel's i2c-dev driver.
#include "dimax/I2cDeviceLayer.h"

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <linux/i2c-dev.h>
#include <linux/i2c.h>
#include <sys/ioctl.h>
#include <unistd.h>

namespace dimax {
namespace {

constexpr const char* kDevicesVariable = "DIMAX_U2C_DEVICES";
constexpr const char* kSysClass = "/sys/class/i2c-dev";

std::vector<std::string> SplitList(const std::string& text) {
    std::vector<std::string> out;
    size_t start = 0;
    while (start <= text.size()) {
        size_t end = text.find(':', start);
        if (end == std::string::npos)
            end = text.size();
        if (end > start)
            out.push_back(text.substr(start, end - start));
        start = end + 1;
    }
    return out;
}

// True when the adapter's device sits on USB (its sysfs path runs through
// a USB device), so that buses of the mainboard are never addressed.
bool OnUsb(const std::string& entry) {
    const std::string link = std::string(kSysClass) + "/" + entry + "/device";
    char resolved[PATH_MAX];
    if (!::realpath(link.c_str(), resolved))
        return false;
    return std::strstr(resolved, "/usb") != nullptr;
}

// "i2c-12" -> 12; -1 for other names.
int BusNumber(const char* name) {
    if (std::strncmp(name, "i2c-", 4) != 0)
        return -1;
    int n = -1;
    const char* end = name + std::strlen(name);
    auto [p, ec] = std::from_chars(name + 4, end, n);
    return (ec == std::errc() && p == end) ? n : -1;
}

class SystemLayer final : public I2cDeviceLayer {
public:
    std::vector<std::string> ListAdapters() override {
        if (const char* list = std::getenv(kDevicesVariable))
            return SplitList(list);
        std::vector<int> buses;
        if (DIR* dir = ::opendir(kSysClass)) {
            while (const dirent* e = ::readdir(dir)) {
                const int n = BusNumber(e->d_name);
                if (n >= 0 && OnUsb(e->d_name))
                    buses.push_back(n);
            }
            ::closedir(dir);
        }
        std::sort(buses.begin(), buses.end());
        std::vector<std::string> out;
        for (int n : buses)
            out.push_back("/dev/i2c-" + std::to_string(n));
        return out;
    }

    int Open(const std::string& node) override {
        const int fd = ::open(node.c_str(), O_RDWR | O_CLOEXEC);
        if (fd < 0)
            return -errno;
        unsigned long funcs = 0;
        if (::ioctl(fd, I2C_FUNCS, &funcs) < 0 || !(funcs & I2C_FUNC_I2C)) {
            const int err = errno ? errno : EOPNOTSUPP;
            ::close(fd);
            return -err;
        }
        return fd;
    }

    int Transfer(int fd, I2cMessage* messages, size_t count) override {
        i2c_msg msgs[I2C_RDWR_IOCTL_MAX_MSGS];
        if (count == 0 || count > I2C_RDWR_IOCTL_MAX_MSGS)
            return EINVAL;
        for (size_t i = 0; i < count; ++i) {
            msgs[i].addr = messages[i].address;
            msgs[i].flags = messages[i].read ? I2C_M_RD : 0;
            msgs[i].len = messages[i].length;
            msgs[i].buf = messages[i].data;
        }
        i2c_rdwr_ioctl_data data{msgs, static_cast<__u32>(count)};
        const int done = ::ioctl(fd, I2C_RDWR, &data);
        if (done < 0)
            return errno ? errno : EIO;
        return static_cast<size_t>(done) == count ? 0 : EIO;
    }

    void Close(int fd) override { ::close(fd); }
};

} // namespace

std::shared_ptr<I2cDeviceLayer> SystemDeviceLayer() {
    static const std::shared_ptr<I2cDeviceLayer> layer = std::make_shared<SystemLayer>();
    return layer;
}

} // namespace dimax

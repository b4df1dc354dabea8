#include "hid/linux/SysfsNode.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace zm880::hid::hidraw {
namespace {

// Sysfs attributes are at most a page; a report descriptor at most 4096 bytes.
constexpr std::size_t kMaxSysfsFile = 8192;

std::optional<std::string> ReadSysfsFile(const std::string& path) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        return std::nullopt;
    }
    std::string content;
    char chunk[1024];
    while (content.size() < kMaxSysfsFile) {
        const ssize_t got = ::read(fd, chunk, sizeof chunk);
        if (got < 0 && errno == EINTR) {
            continue;
        }
        if (got < 0) {
            ::close(fd);
            return std::nullopt;
        }
        if (got == 0) {
            break;
        }
        content.append(chunk, static_cast<std::size_t>(got));
    }
    ::close(fd);
    return content;
}

std::optional<std::string> ReadAttribute(const char* syspath, const char* name) {
    const auto text = ReadSysfsFile(std::string(syspath) + "/" + name);
    return text ? AttributeText(*text) : std::nullopt;
}

}  // namespace

std::optional<SysfsNode> DescribeHidraw(udev_device* device) {
    const char* subsystem = udev_device_get_subsystem(device);
    if (subsystem == nullptr || std::strcmp(subsystem, "hidraw") != 0) {
        return std::nullopt;
    }
    SysfsNode node;
    udev_device* hid = udev_device_get_parent_with_subsystem_devtype(device, "hid", nullptr);
    std::optional<std::string> hidName;
    if (hid != nullptr) {
        node.hidSyspath = udev_device_get_syspath(hid);
        if (const auto uevent = ReadSysfsFile(node.hidSyspath + "/uevent")) {
            if (const auto hidId = UeventValue(*uevent, "HID_ID")) {
                node.hidId = ParseHidId(*hidId);
            }
            if (const auto name = UeventValue(*uevent, "HID_NAME")) {
                hidName = AttributeText(*name);
            }
        }
    }
    node.identity = ChooseIdentity(node.hidSyspath, udev_device_get_syspath(device));

    udev_device* usb = udev_device_get_parent_with_subsystem_devtype(device, "usb", "usb_device");
    node.onUsb = usb != nullptr;
    std::optional<std::string> usbProduct;
    if (usb != nullptr) {
        const char* usbSyspath = udev_device_get_syspath(usb);
        if (const auto bcd = ReadAttribute(usbSyspath, "bcdDevice")) {
            node.bcdDevice = ParseBcdDevice(*bcd);
        }
        node.manufacturer = ReadAttribute(usbSyspath, "manufacturer");
        usbProduct = ReadAttribute(usbSyspath, "product");
    }
    node.product = ChooseProductString(node.onUsb, usbProduct, hidName);
    return node;
}

std::optional<SysfsNode> DescribeHidraw(udev* context, dev_t number) {
    const UdevDevicePtr device(udev_device_new_from_devnum(context, 'c', number));
    if (!device) {
        return std::nullopt;
    }
    return DescribeHidraw(device.get());
}

std::optional<std::vector<std::uint8_t>> ReadSysfsReportDescriptor(const SysfsNode& node) {
    if (node.hidSyspath.empty()) {
        return std::nullopt;
    }
    const auto content = ReadSysfsFile(node.hidSyspath + "/report_descriptor");
    if (!content) {
        return std::nullopt;
    }
    return std::vector<std::uint8_t>(content->begin(), content->end());
}

}  // namespace zm880::hid::hidraw

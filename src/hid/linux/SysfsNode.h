#pragma once

#include "hid/linux/SysfsProperties.h"
#include "hid/linux/UdevPtr.h"

#include <sys/types.h>

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace zm880::hid::hidraw {

// What sysfs tells about one hidraw node and the HID (and, if any, USB) device behind it. All
// of it is world-readable, so it is known even when the node itself may not be opened.
struct SysfsNode {
    std::string identity;
    std::string hidSyspath;  // empty when the node has no HID parent
    std::optional<HidId> hidId;
    bool onUsb = false;
    std::optional<std::uint16_t> bcdDevice;
    std::optional<std::string> manufacturer;
    std::optional<std::string> product;
};

// Describes the hidraw node `device`; nullopt when it is not a hidraw node.
std::optional<SysfsNode> DescribeHidraw(udev_device* device);

// The same for the character device number of a node (as stat() gives it).
std::optional<SysfsNode> DescribeHidraw(udev* context, dev_t number);

// The report descriptor the kernel keeps beside the HID device; nullopt when unreadable.
std::optional<std::vector<std::uint8_t>> ReadSysfsReportDescriptor(const SysfsNode& node);

}  // namespace zm880::hid::hidraw

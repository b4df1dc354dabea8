#include "hid/linux/SysfsChannel.h"

#include <cerrno>

namespace zm880::hid::hidraw {

std::optional<Attributes> SysfsChannel::GetAttributes() {
    if (!node_.hidId) {
        return std::nullopt;
    }
    Attributes attributes;
    attributes.VendorID = node_.hidId->vendor;
    attributes.ProductID = node_.hidId->product;
    attributes.VersionNumber = node_.bcdDevice.value_or(0);
    return attributes;
}

std::optional<std::vector<std::uint8_t>> SysfsChannel::GetReportDescriptor() {
    return ReadSysfsReportDescriptor(node_);
}

InputRead SysfsChannel::ReadInput(std::span<std::uint8_t>, std::chrono::milliseconds) {
    return {false, 0, EACCES};
}

}  // namespace zm880::hid::hidraw

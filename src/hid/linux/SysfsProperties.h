#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

// Reading of the text that sysfs gives about a hidraw node and the HID device behind it. Pure
// functions, so that the odd shapes of that text can be checked without a device.
namespace zm880::hid::hidraw {

// The HID_ID value of a HID device's uevent: "BBBB:VVVVVVVV:PPPPPPPP" in hexadecimal.
struct HidId {
    std::uint16_t bus = 0;
    std::uint16_t vendor = 0;
    std::uint16_t product = 0;

    bool operator==(const HidId&) const = default;
};

// Bus number the kernel gives USB devices in HID_ID.
constexpr std::uint16_t kBusUsb = 0x03;

// The value of `key` in uevent text (KEY=value lines); nullopt when the key is absent.
std::optional<std::string> UeventValue(std::string_view uevent, std::string_view key);

// nullopt unless the text is exactly three hexadecimal fields whose values fit 16 bits.
std::optional<HidId> ParseHidId(std::string_view text);

// The USB device release number from a `bcdDevice` attribute ("0100\n"); nullopt when it is
// not one to four hexadecimal digits.
std::optional<std::uint16_t> ParseBcdDevice(std::string_view text);

// The text of a sysfs attribute without its line end; nullopt when nothing is left, since an
// empty string attribute means the device has no such string.
std::optional<std::string> AttributeText(std::string_view text);

// A device instance identity for a hidraw node. The HID device's sysfs path ends in a sequence
// number the kernel gives every newly plugged device, so a replug is a new identity while the
// hidraw node name may be reused; the node's own path stands in only if no HID parent is known.
std::string ChooseIdentity(std::string_view hidSyspath, std::string_view hidrawSyspath);

// N of a "hidrawN" node name, for a stable listing order; nullopt for other names.
std::optional<unsigned> HidrawNumber(std::string_view sysname);

// The product string: a USB device's own string descriptor (none when it has none); for other
// buses the name the HID device was registered with, as that is the only name they carry.
std::optional<std::string> ChooseProductString(bool onUsb,
                                               const std::optional<std::string>& usbProduct,
                                               const std::optional<std::string>& hidName);

}  // namespace zm880::hid::hidraw

#include "hid/linux/SysfsProperties.h"

#include <charconv>
#include <cstddef>

namespace zm880::hid::hidraw {
namespace {

std::optional<std::uint32_t> ParseHexField(std::string_view text, std::size_t maxDigits) {
    if (text.empty() || text.size() > maxDigits) {
        return std::nullopt;
    }
    std::uint32_t value = 0;
    const char* end = text.data() + text.size();
    const auto [ptr, ec] = std::from_chars(text.data(), end, value, 16);
    if (ec != std::errc() || ptr != end) {
        return std::nullopt;
    }
    return value;
}

std::optional<std::uint16_t> ParseHex16(std::string_view text, std::size_t maxDigits) {
    const auto value = ParseHexField(text, maxDigits);
    if (!value || *value > 0xFFFF) {
        return std::nullopt;
    }
    return static_cast<std::uint16_t>(*value);
}

std::string_view WithoutLineEnd(std::string_view text) {
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) {
        text.remove_suffix(1);
    }
    return text;
}

}  // namespace

std::optional<std::string> UeventValue(std::string_view uevent, std::string_view key) {
    while (!uevent.empty()) {
        const std::size_t lineEnd = uevent.find('\n');
        const std::string_view line = uevent.substr(0, lineEnd);
        uevent =
            lineEnd == std::string_view::npos ? std::string_view() : uevent.substr(lineEnd + 1);
        if (line.size() > key.size() && line.starts_with(key) && line[key.size()] == '=') {
            return std::string(line.substr(key.size() + 1));
        }
    }
    return std::nullopt;
}

std::optional<HidId> ParseHidId(std::string_view text) {
    const std::size_t first = text.find(':');
    if (first == std::string_view::npos) {
        return std::nullopt;
    }
    const std::size_t second = text.find(':', first + 1);
    if (second == std::string_view::npos) {
        return std::nullopt;
    }
    const auto bus = ParseHex16(text.substr(0, first), 4);
    const auto vendor = ParseHex16(text.substr(first + 1, second - first - 1), 8);
    const auto product = ParseHex16(text.substr(second + 1), 8);
    if (!bus || !vendor || !product) {
        return std::nullopt;
    }
    return HidId{*bus, *vendor, *product};
}

std::optional<std::uint16_t> ParseBcdDevice(std::string_view text) {
    return ParseHex16(WithoutLineEnd(text), 4);
}

std::optional<std::string> AttributeText(std::string_view text) {
    const std::string_view value = WithoutLineEnd(text);
    if (value.empty()) {
        return std::nullopt;
    }
    return std::string(value);
}

std::string ChooseIdentity(std::string_view hidSyspath, std::string_view hidrawSyspath) {
    return std::string(hidSyspath.empty() ? hidrawSyspath : hidSyspath);
}

std::optional<unsigned> HidrawNumber(std::string_view sysname) {
    constexpr std::string_view kPrefix = "hidraw";
    if (!sysname.starts_with(kPrefix) || sysname.size() == kPrefix.size()) {
        return std::nullopt;
    }
    const std::string_view digits = sysname.substr(kPrefix.size());
    unsigned number = 0;
    const char* end = digits.data() + digits.size();
    const auto [ptr, ec] = std::from_chars(digits.data(), end, number);
    if (ec != std::errc() || ptr != end) {
        return std::nullopt;
    }
    return number;
}

std::optional<std::string> ChooseProductString(bool onUsb,
                                               const std::optional<std::string>& usbProduct,
                                               const std::optional<std::string>& hidName) {
    return onUsb ? usbProduct : hidName;
}

}  // namespace zm880::hid::hidraw

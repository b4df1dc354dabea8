#pragma once

#include <cstdint>
#include <optional>
#include <span>

namespace zm880::hid {

// Report byte lengths of a HID interface, report ID byte included, as the device's capabilities
// give them: for each kind, the longest report in bytes plus one; 0 when it has none.
struct Caps {
    std::uint16_t InputReportByteLength = 0;
    std::uint16_t OutputReportByteLength = 0;
    std::uint16_t FeatureReportByteLength = 0;

    bool operator==(const Caps&) const = default;
};

// Computes the lengths from a raw report descriptor; nullopt when it cannot be parsed.
std::optional<Caps> ComputeCaps(std::span<const std::uint8_t> descriptor);

}  // namespace zm880::hid

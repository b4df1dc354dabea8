#pragma once

#include <cstdint>
#include <map>
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

// Byte length of every feature report the descriptor declares, by report ID, the ID byte
// included (ID 0 stands for a descriptor without report IDs); nullopt when it cannot be parsed.
using FeatureLengths = std::map<std::uint8_t, std::uint16_t>;
std::optional<FeatureLengths> ComputeFeatureLengths(std::span<const std::uint8_t> descriptor);

}  // namespace zm880::hid

#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

namespace zm880 {

// The window's one report buffer: byte 0 is the report ID, bytes 1 and up the payload. It holds
// a feature report of at most 65 bytes plus the copy of byte 1 that every decode puts at 64.
inline constexpr std::size_t kReportBufferSize = 66;
// Longest feature report (report ID included) that any transfer through the buffer may move.
inline constexpr std::size_t kMaxFeatureReportLength = 65;

using ReportBuffer = std::array<std::uint8_t, kReportBufferSize>;

}  // namespace zm880

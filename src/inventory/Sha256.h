#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <string>

namespace zm880::inventory {

// SHA-256 (FIPS 180-4) of a short byte string, for the settings digest: a few dozen bytes per
// reader, so a plain one-shot implementation is all that is needed.
std::array<std::uint8_t, 32> Sha256(std::span<const std::uint8_t> data);

// The same as 64 lower-case hexadecimal digits.
std::string Sha256Hex(std::span<const std::uint8_t> data);

}  // namespace zm880::inventory

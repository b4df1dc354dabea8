#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>

namespace zm880::flasher {

// The firmware image: 20 pages of 512 bytes from flash address 0x1400, filled with 0xFF.
inline constexpr std::size_t kPageSize = 512;
inline constexpr std::size_t kPageCount = 20;
inline constexpr std::size_t kImageSize = kPageSize * kPageCount;
inline constexpr std::uint32_t kImageBase = 0x1400;
// Image page p is flash page p + kFlashPageOffset on the device.
inline constexpr int kFlashPageOffset = 10;

using FirmwareImage = std::array<std::uint8_t, kImageSize>;

inline std::span<const std::uint8_t, kPageSize> ImagePage(const FirmwareImage& image,
                                                          std::size_t page) {
    return std::span<const std::uint8_t, kPageSize>(image.data() + page * kPageSize, kPageSize);
}

// The loader's 16-bit page checksum (a CRC-like shift register that tests bit 15 after the
// shift, so it is not CRC-16/XMODEM).
std::uint16_t PageChecksum(std::span<const std::uint8_t> bytes);

}  // namespace zm880::flasher

#include "flasher/FirmwareImage.h"

namespace zm880::flasher {

std::uint16_t PageChecksum(std::span<const std::uint8_t> bytes) {
    std::uint16_t value = 0;
    for (std::uint8_t byte : bytes) {
        value ^= static_cast<std::uint16_t>(byte << 8);
        for (int bit = 0; bit < 8; ++bit) {
            value = static_cast<std::uint16_t>(value << 1);
            if (value & 0x8000) {
                value ^= 0x1021;
            }
        }
    }
    return value;
}

}  // namespace zm880::flasher

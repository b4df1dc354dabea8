#include "support/HexFiles.h"

#include <cstdio>

namespace zm880::test {

std::string HexRecord(int type, unsigned address, const std::vector<std::uint8_t>& data) {
    std::vector<std::uint8_t> fields{
        static_cast<std::uint8_t>(data.size()), static_cast<std::uint8_t>(address >> 8),
        static_cast<std::uint8_t>(address), static_cast<std::uint8_t>(type)};
    fields.insert(fields.end(), data.begin(), data.end());
    unsigned sum = 0;
    std::string text = ":";
    char digits[3];
    for (std::uint8_t byte : fields) {
        sum += byte;
        std::snprintf(digits, sizeof digits, "%02X", byte);
        text += digits;
    }
    std::snprintf(digits, sizeof digits, "%02X", (0x100 - (sum & 0xFF)) & 0xFF);
    return text + digits;
}

const std::string kSmallUpdateFile =
    ":10140000000102030405060708090A0B0C0D0E0F64\n"
    ":023A0000ABCD4C\n"
    ":00000001FF\n";

flasher::FirmwareImage SmallUpdateImage() {
    flasher::FirmwareImage image;
    image.fill(0xFF);
    for (std::uint8_t i = 0; i < 16; ++i) {
        image[i] = i;
    }
    image[19 * flasher::kPageSize] = 0xAB;
    image[19 * flasher::kPageSize + 1] = 0xCD;
    return image;
}

}  // namespace zm880::test

#include "reader/HexText.h"

namespace zm880 {

namespace {

int DigitValue(char c) {
    if (c >= '0' && c <= '9') {
        return c - '0';
    }
    if (c >= 'a' && c <= 'f') {
        return c - 'a' + 10;
    }
    if (c >= 'A' && c <= 'F') {
        return c - 'A' + 10;
    }
    return -1;
}

}  // namespace

std::string HexByte(std::uint8_t value) {
    static constexpr char kDigits[] = "0123456789ABCDEF";
    return {kDigits[value >> 4], kDigits[value & 0x0F]};
}

std::uint8_t ParseHexInput(std::string_view text) {
    if (text.empty() || text.size() > 8) {
        return 0;
    }
    std::uint32_t value = 0;
    for (char c : text) {
        const int digit = DigitValue(c);
        if (digit < 0) {
            return 0;
        }
        value = (value << 4) | static_cast<std::uint32_t>(digit);
    }
    return static_cast<std::uint8_t>(value & 0xFF);
}

}  // namespace zm880

#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace zm880 {

// Two upper-case hexadecimal digits, the way every byte is shown to the user.
std::string HexByte(std::uint8_t value);

// Reads user input as "$" + text would be read: a hexadecimal number of one to eight digits,
// either case, nothing else (no blanks, sign or "0x"); anything else counts as 0. The low eight
// bits are the result, so "1ff" gives 0xFF.
std::uint8_t ParseHexInput(std::string_view text);

}  // namespace zm880

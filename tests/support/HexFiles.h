#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "flasher/FirmwareImage.h"

namespace zm880::test {

// One Intel HEX record with a correct checksum, upper-case digits, no line end.
std::string HexRecord(int type, unsigned address, const std::vector<std::uint8_t>& data);

// A small valid update file (LF line ends): 16 bytes 00..0F at 0x1400 and AB CD at 0x3A00
// (page 19), then the end-of-file record.
extern const std::string kSmallUpdateFile;

// The firmware image that kSmallUpdateFile gives.
flasher::FirmwareImage SmallUpdateImage();

}  // namespace zm880::test

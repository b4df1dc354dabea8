#pragma once

#include <bitset>
#include <string>
#include <string_view>

#include "flasher/FirmwareImage.h"

namespace zm880::flasher {

// Outcome of reading an update file: code 0 read, 1 refused (shown as "ERROR: File not found!").
// A refused file names its fault in `reason`, with the line number where there is one
// ("line 12: checksum mismatch").
struct HexReadResult {
    int code = 0;
    std::string reason;
    int line = 0;                          // 1-based line of the fault, 0 when none
    std::bitset<kPageCount> pagesTouched;  // pages that data records wrote to

    bool ok() const { return code == 0; }
};

// Fills `image` with 0xFF and stores every data byte of the file that falls inside it.
HexReadResult ReadUpdateFile(const std::string& path, FirmwareImage& image);
// The same on text already in memory.
HexReadResult ParseUpdateText(std::string_view text, FirmwareImage& image);

}  // namespace zm880::flasher

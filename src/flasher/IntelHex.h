#pragma once

#include <bitset>
#include <cstddef>
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
    std::size_t line = 0;                  // 1-based line of the fault, 0 when none
    std::bitset<kPageCount> pagesTouched;  // pages that data bytes were stored in

    bool ok() const { return code == 0; }
};

// Fills `image` with 0xFF and stores every data byte of the file that falls inside it. Records
// are placed by their 16-bit load address alone (the record type is not looked at), a later
// record overwrites an earlier one, and reading goes on past the end-of-file record. A line with
// a wrong checksum, a character that is not a hex digit, too few characters for its byte count,
// text after its checksum, or no ':' in front of a non-zero count refuses the whole file, and
// so does an empty line. After a refusal the image is incomplete and must not be used.
HexReadResult ReadUpdateFile(const std::string& path, FirmwareImage& image);
// The same on text already in memory.
HexReadResult ParseUpdateText(std::string_view text, FirmwareImage& image);

}  // namespace zm880::flasher

#pragma once

#include <cstddef>
#include <string>

#include "flasher/IntelHex.h"

namespace zm880::flasher {

// An update file looked at before anything is sent: whether it can be read, and how many of the
// 20 pages its data reaches. Every page it leaves out is sent as 0xFF, that is erased.
struct UpdateFileCheck {
    HexReadResult read;
    std::size_t pagesFilled = 0;

    bool Readable() const { return read.ok(); }
    // Readable but without a byte for the firmware: updating would erase it.
    bool Empty() const { return read.ok() && pagesFilled == 0; }
    bool Partial() const { return read.ok() && pagesFilled > 0 && pagesFilled < kPageCount; }
};

UpdateFileCheck CheckUpdateFile(const std::string& path);

// Why a file without data for the firmware is refused.
std::string NoDataReason();

// The warning for a file that fills only some pages, naming the file.
std::string PartialFileWarning(const std::string& path, std::size_t pagesFilled);

}  // namespace zm880::flasher

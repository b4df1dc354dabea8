#pragma once

#include <string>

namespace zm880::cli {

// The checks on an update file before any reader is touched: a name that does not end in
// exactly ".hex" is refused (exit 2), a file that would erase the firmware (exit 1, the update's
// step code), and one that fills only some of the pages unless `allowPartial` (exit 2; with it a
// warning on stderr). Throws CommandError.
void CheckUpdateFileBeforeSending(const std::string& file, bool allowPartial);

}  // namespace zm880::cli

#pragma once

#include <string>
#include <string_view>

namespace zm880::cli {

// Text from a device, a file or a path made safe for a terminal and for one-line messages:
// control characters (C0, DEL, C1) and bytes that are not UTF-8 become \xNN, other UTF-8 stays.
std::string Printable(std::string_view text);

}  // namespace zm880::cli

#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace zm880::inventory {

// One record of comma-separated values as RFC 4180 writes it: a field holding a comma, a quote,
// a line break or a leading/trailing blank is quoted, its quotes doubled; the record ends in
// CR LF.
std::string CsvRecord(const std::vector<std::string>& fields);

// One field, quoted when it needs to be.
std::string CsvField(std::string_view field);

}  // namespace zm880::inventory

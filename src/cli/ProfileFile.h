#pragma once

#include <string>

#include <nlohmann/json.hpp>

namespace zm880::cli {

// Reads and checks a profile file before anything is written: a file that cannot be read
// fails with exit 1, one that is not a JSON object or names a key that no reader type takes
// (unknown, shown only, a value out of range) with exit 2, naming the key. `command` (when not
// empty) leads the message.
nlohmann::ordered_json ReadProfileFile(const std::string& command, const std::string& path);

// A profile as its file holds it: indented, one key a line, ending in a line end.
std::string ProfileText(const nlohmann::ordered_json& profile);

}  // namespace zm880::cli

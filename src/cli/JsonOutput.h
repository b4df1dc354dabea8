#pragma once

#include <string>

#include <nlohmann/json.hpp>

namespace zm880::cli {

// The document as printed, indented; text that is not UTF-8 (a device's string) is replaced
// rather than ending the program.
std::string JsonText(const nlohmann::ordered_json& document);

// {"error": {"message": MESSAGE, "exitCode": CODE}}: how a failure reads in --json mode.
nlohmann::ordered_json ErrorJson(const std::string& message, int exitCode);

}  // namespace zm880::cli

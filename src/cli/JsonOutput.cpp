#include "cli/JsonOutput.h"

namespace zm880::cli {

std::string JsonText(const nlohmann::ordered_json& document) {
    return document.dump(2, ' ', false, nlohmann::json::error_handler_t::replace);
}

nlohmann::ordered_json ErrorJson(const std::string& message, int exitCode) {
    return {{"error", {{"message", message}, {"exitCode", exitCode}}}};
}

}  // namespace zm880::cli

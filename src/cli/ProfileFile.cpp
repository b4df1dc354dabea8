#include "cli/ProfileFile.h"

#include <vector>

#include "cli/Cli.h"
#include "cli/FileAccess.h"
#include "reader/Profile.h"
#include "reader/SettingsFields.h"

namespace zm880::cli {

nlohmann::ordered_json ReadProfileFile(const std::string& command, const std::string& path) {
    const std::vector<std::uint8_t> bytes = ReadInputFile(command, path, kProfileReadLimit);
    const std::string lead = (command.empty() ? "" : command + ": ") + path + ": ";
    std::string error;
    std::optional<nlohmann::ordered_json> profile =
        ParseProfile(std::string(bytes.begin(), bytes.end()), error);
    if (!profile) {
        throw CommandError(kExitUsage, lead + error + "; nothing written");
    }
    if (const std::optional<std::string> refusal = CheckProfileFields(*profile)) {
        throw CommandError(kExitUsage, lead + *refusal + "; nothing written");
    }
    return std::move(*profile);
}

std::string ProfileText(const nlohmann::ordered_json& profile) {
    return zm880::ProfileText(profile);
}

}  // namespace zm880::cli

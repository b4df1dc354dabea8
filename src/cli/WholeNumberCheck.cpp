#include "cli/WholeNumberCheck.h"

#include <algorithm>

namespace zm880::cli {

CLI::Validator WholeNumberFrom(std::uint64_t least, const std::string& what) {
    return CLI::Validator(
        [least, what](std::string& text) -> std::string {
            const std::string wanted =
                "must be " + what + " (" + std::to_string(least) + " or more), not '" + text + "'";
            if (text.empty() || text.size() > 18 ||
                !std::all_of(text.begin(), text.end(),
                             [](char c) { return c >= '0' && c <= '9'; })) {
                return wanted;
            }
            return std::stoull(text) < least ? wanted : std::string{};
        },
        "");
}

}  // namespace zm880::cli

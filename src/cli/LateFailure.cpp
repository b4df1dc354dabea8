#include <optional>
#include <string>

#include "cli/Cli.h"

namespace zm880::cli {

namespace {

std::optional<std::string>& Pending() {
    static std::optional<std::string> pending;
    return pending;
}

}  // namespace

void ReportLateFailure(const std::string& message) {
    if (!Pending()) {
        Pending() = message;
    }
}

std::optional<std::string> TakeLateFailure() {
    std::optional<std::string> failure = std::move(Pending());
    Pending().reset();
    return failure;
}

}  // namespace zm880::cli

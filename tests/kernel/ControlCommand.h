#pragma once

#include <optional>
#include <string>
#include <vector>

namespace zm880::kernel {

// One line of the control FIFO: a verb and its arguments, separated by blanks.
struct ControlCommand {
    std::string verb;
    std::vector<std::string> words;

    // Argument `index`; throws std::runtime_error when it is missing.
    const std::string& Word(std::size_t index) const;
    // Argument `index` as a decimal number; `fallback` when missing (throws without one).
    long Number(std::size_t index, std::optional<long> fallback = std::nullopt) const;
};

ControlCommand ParseControlCommand(const std::string& line);

}  // namespace zm880::kernel

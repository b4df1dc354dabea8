#include "ControlCommand.h"

#include <sstream>
#include <stdexcept>

namespace zm880::kernel {

const std::string& ControlCommand::Word(std::size_t index) const {
    if (index >= words.size()) {
        throw std::runtime_error(verb + ": argument " + std::to_string(index + 1) + " missing");
    }
    return words[index];
}

long ControlCommand::Number(std::size_t index, std::optional<long> fallback) const {
    if (index >= words.size() && fallback) {
        return *fallback;
    }
    const std::string& text = Word(index);
    std::size_t used = 0;
    long value = 0;
    try {
        value = std::stol(text, &used);
    } catch (const std::exception&) {
        used = 0;
    }
    if (used == 0 || used != text.size()) {
        throw std::runtime_error(verb + ": not a number: '" + text + "'");
    }
    return value;
}

ControlCommand ParseControlCommand(const std::string& line) {
    std::istringstream stream(line);
    ControlCommand command;
    stream >> command.verb;
    for (std::string word; stream >> word;) {
        command.words.push_back(word);
    }
    return command;
}

}  // namespace zm880::kernel

#include "hid/windows/SystemMessage.h"

#include <array>

namespace zm880::hid::windows {

std::string SystemMessage(DWORD code) {
    std::array<char, 256> text{};
    const DWORD length =
        FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, code, 0,
                       text.data(), static_cast<DWORD>(text.size()), nullptr);
    std::string message(text.data(), length);
    while (!message.empty() && (message.back() == '\n' || message.back() == '\r' ||
                                message.back() == ' ' || message.back() == '.')) {
        message.pop_back();
    }
    return message.empty() ? "system error " + std::to_string(code) : message;
}

}  // namespace zm880::hid::windows

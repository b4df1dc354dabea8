#include "cli/Printable.h"

#include <cstdint>

namespace zm880::cli {

namespace {

void AppendEscaped(std::string& out, std::uint8_t byte) {
    static constexpr char kDigits[] = "0123456789ABCDEF";
    out += "\\x";
    out += kDigits[byte >> 4];
    out += kDigits[byte & 0xF];
}

// Length of the well-formed UTF-8 sequence at the start of `text`, 0 when there is none.
std::size_t Utf8SequenceLength(std::string_view text, char32_t& codePoint) {
    const auto byte = [&](std::size_t i) { return static_cast<std::uint8_t>(text[i]); };
    const std::uint8_t lead = byte(0);
    std::size_t length = 0;
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
        codePoint = lead & 0x1F;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        codePoint = lead & 0x0F;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        codePoint = lead & 0x07;
    } else {
        return 0;
    }
    if (text.size() < length) {
        return 0;
    }
    for (std::size_t i = 1; i < length; ++i) {
        if ((byte(i) & 0xC0) != 0x80) {
            return 0;
        }
        codePoint = (codePoint << 6) | (byte(i) & 0x3F);
    }
    // Overlong forms, surrogates and values beyond Unicode are not characters.
    const bool overlong =
        (length == 3 && codePoint < 0x800) || (length == 4 && codePoint < 0x10000);
    const bool invalid = (codePoint >= 0xD800 && codePoint <= 0xDFFF) || codePoint > 0x10FFFF;
    return overlong || invalid ? 0 : length;
}

}  // namespace

std::string Printable(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    std::size_t i = 0;
    while (i < text.size()) {
        const auto byte = static_cast<std::uint8_t>(text[i]);
        if (byte >= 0x20 && byte < 0x7F) {
            out += text[i++];
            continue;
        }
        char32_t codePoint = 0;
        const std::size_t length = byte < 0x80 ? 0 : Utf8SequenceLength(text.substr(i), codePoint);
        if (length == 0 || (codePoint >= 0x80 && codePoint <= 0x9F)) {
            AppendEscaped(out, byte);
            ++i;
            continue;
        }
        out.append(text.substr(i, length));
        i += length;
    }
    return out;
}

}  // namespace zm880::cli

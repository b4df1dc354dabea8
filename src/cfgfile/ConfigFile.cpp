#include "cfgfile/ConfigFile.h"

#include <algorithm>
#include <filesystem>
#include <system_error>

#include "cfgfile/SafeFile.h"
#include "cfgfile/Utf8Path.h"

namespace zm880::cfgfile {

namespace fs = std::filesystem;

namespace {

constexpr std::size_t kShownPathMax = 60;
constexpr std::size_t kShownHead = 23;
constexpr std::size_t kShownTail = 31;

// A directory does not count as a file; anything else is tried, so that a FIFO, a device or a
// path the system cannot follow (a link loop, a folder without access) is refused with its
// reason instead of being called missing.
bool IsExistingFile(const std::string& path) {
    std::error_code ec;
    const fs::file_status status = fs::status(Utf8Path(path), ec);
    return status.type() != fs::file_type::not_found && !fs::is_directory(status);
}

// UTF-8 continuation bytes belong to the character before them.
bool IsContinuationByte(char c) {
    return (static_cast<unsigned char>(c) & 0xC0) == 0x80;
}

std::size_t CountCharacters(std::string_view text) {
    std::size_t count = 0;
    for (const char c : text) {
        count += IsContinuationByte(c) ? 0 : 1;
    }
    return count;
}

// Byte offset where character number `index` starts.
std::size_t CharacterOffset(std::string_view text, std::size_t index) {
    std::size_t offset = 0;
    for (std::size_t seen = 0; offset < text.size(); ++offset) {
        if (!IsContinuationByte(text[offset])) {
            if (seen == index) {
                return offset;
            }
            ++seen;
        }
    }
    return offset;
}

}  // namespace

FileResult LoadConfigFile(const std::string& path, ReportBuffer& buffer,
                          const std::function<void()>& onFound) {
    if (!IsExistingFile(path)) {
        return {"file not found: " + path, {}};
    }
    if (onFound) {
        onFound();
    }
    const SafeReadResult read = ReadFileSafely(path, kConfigFileReadLimit);
    if (!read.error.ok()) {
        return {"unable to open file: " + path, read.error.message};
    }
    // A short file replaces only its leading bytes; byte 1 stays the buffer's own.
    const std::uint8_t controlByte = buffer[1];
    std::copy_n(read.bytes.begin(), std::min(read.bytes.size(), kConfigFileSize), buffer.begin());
    buffer[1] = controlByte;
    return {};
}

FileResult SaveConfigFile(const std::string& path, const ReportBuffer& buffer) {
    const SafeFileError written = WriteFileSafely(path, std::span(buffer.data(), kConfigFileSize));
    if (!written.ok()) {
        return {"unable to create file: " + path, written.message};
    }
    return {};
}

std::string ShownPath(std::string_view path) {
    const std::size_t length = CountCharacters(path);
    if (length <= kShownPathMax) {
        return std::string(path);
    }
    const std::string_view head = path.substr(0, CharacterOffset(path, kShownHead));
    const std::string_view tail = path.substr(CharacterOffset(path, length - kShownTail));
    std::string shown(head);
    shown += " ... ";
    shown += tail;
    return shown;
}

}  // namespace zm880::cfgfile

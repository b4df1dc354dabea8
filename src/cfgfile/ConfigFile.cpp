#include "cfgfile/ConfigFile.h"

#include "cfgfile/SafeFile.h"
#include "cfgfile/Utf8Path.h"

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <random>
#include <system_error>

namespace zm880::cfgfile {

namespace fs = std::filesystem;

namespace {

constexpr std::size_t kShownPathMax = 60;
constexpr std::size_t kShownHead = 23;
constexpr std::size_t kShownTail = 31;

// Only a regular file (after links) counts: a directory, a FIFO or a device has no settings,
// and opening a FIFO would block.
bool IsExistingFile(const std::string& path) {
    std::error_code ec;
    return fs::is_regular_file(Utf8Path(path), ec);
}

// The file that a save replaces: the target of a link, so the link itself survives.
fs::path SaveTarget(const fs::path& path) {
    std::error_code ec;
    if (fs::is_symlink(path, ec)) {
        const fs::path resolved = fs::canonical(path, ec);
        if (!ec) {
            return resolved;
        }
    }
    return path;
}

// Same folder, so that the rename cannot cross file systems; a short name, so that a long target
// name still leaves room for it.
fs::path TempPathBeside(const fs::path& target) {
    std::random_device random;
    const std::uint64_t tag = (std::uint64_t{random()} << 32) ^ random();
    return target.parent_path() / (".cfg-" + std::to_string(tag) + ".tmp");
}

// Creates `temp` (never over an existing file) and writes the 64 bytes. On any failure the
// file is gone again and the result is false.
bool WriteNewFile(const fs::path& temp, const ReportBuffer& buffer) {
    bool taken = false;
    return CreateFileExclusively(temp, std::span(buffer.data(), kConfigFileSize), taken).ok();
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
        return {"file not found: " + path};
    }
    if (onFound) {
        onFound();
    }
    std::ifstream file(Utf8Path(path), std::ios::binary);
    if (!file.is_open()) {
        return {"unable to open file: " + path};
    }
    // A short file replaces only its leading bytes; byte 1 stays the buffer's own.
    const std::uint8_t controlByte = buffer[1];
    file.read(reinterpret_cast<char*>(buffer.data()),
              static_cast<std::streamsize>(kConfigFileSize));
    buffer[1] = controlByte;
    return {};
}

FileResult SaveConfigFile(const std::string& path, const ReportBuffer& buffer) {
    const FileResult failure{"unable to create file: " + path};
    const fs::path target = SaveTarget(Utf8Path(path));
    std::error_code ec;
    if (fs::is_directory(target, ec)) {
        return failure;
    }
    const fs::path temp = TempPathBeside(target);
    if (!WriteNewFile(temp, buffer)) {
        return failure;
    }
    // A replaced file keeps its permissions.
    const fs::file_status old = fs::status(target, ec);
    if (!ec && fs::exists(old)) {
        fs::permissions(temp, old.permissions(), ec);
    }
    fs::rename(temp, target, ec);
    if (ec) {
        fs::remove(temp, ec);
        return failure;
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

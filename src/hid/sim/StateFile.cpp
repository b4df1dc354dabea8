#include "hid/sim/StateFileAccess.h"

#include <filesystem>
#include <stdexcept>
#include <utility>

#include "cfgfile/SafeFile.h"
#include "cfgfile/Utf8Path.h"

// The state file's reading and writing, the same on every system; the stamps and the lock are
// each system's own (StateFileAccess.cpp, StateFileAccessWindows.cpp).
namespace zm880::hid::simfile {

std::filesystem::path FinalTarget(const std::filesystem::path& path) {
    namespace fs = std::filesystem;
    constexpr int kMaxHops = 40;
    fs::path current = path;
    for (int hop = 0; hop < kMaxHops; ++hop) {
        std::error_code error;
        if (!fs::is_symlink(fs::symlink_status(current, error))) {
            return current;
        }
        const fs::path target = fs::read_symlink(current, error);
        if (error) {
            return current;
        }
        current = target.is_absolute() ? target : current.parent_path() / target;
    }
    return current;
}

StateFile::StateFile(std::string path) : path_(std::move(path)) {}

std::string StateFile::LockPath() const {
    return cfgfile::Utf8Text(FinalTarget(cfgfile::Utf8Path(path_))) + ".lock";
}

std::optional<FileSnapshot> StateFile::Read() {
    // Nobody needs the lock to read, so a writer may replace the file meanwhile: the text
    // belongs to the stamp only when the stamp is the same before and after.
    constexpr int kAttempts = 8;
    for (int attempt = 0; attempt < kAttempts; ++attempt) {
        const std::optional<FileStamp> before = CurrentStamp();
        const cfgfile::SafeReadResult read =
            cfgfile::ReadFileSafely(cfgfile::Utf8Path(path_), kMaxStateFileSize);
        if (read.error.kind == cfgfile::FileErrorKind::NotFound) {
            return std::nullopt;
        }
        if (!read.error.ok()) {
            throw std::runtime_error(read.error.message);
        }
        const std::optional<FileStamp> after = CurrentStamp();
        if (before && before == after) {
            Pin(*after);
            return FileSnapshot{std::string(read.bytes.begin(), read.bytes.end()), *after};
        }
    }
    throw std::runtime_error(path_ + ": cannot be read: it keeps changing");
}

FileStamp StateFile::Write(const std::string& text) {
    const auto* bytes = reinterpret_cast<const std::uint8_t*>(text.data());
    const cfgfile::SafeFileError error =
        cfgfile::WriteFileSafely(cfgfile::Utf8Path(path_), {bytes, text.size()});
    if (!error.ok()) {
        // The message names the file; the user's line names it once, so only the reason stays.
        const std::size_t reason = error.message.rfind(": ");
        throw SaveError(reason == std::string::npos ? error.message
                                                    : error.message.substr(reason + 2));
    }
    // Writers hold the lock, so what the path names now is what was just written.
    const std::optional<FileStamp> stamp = CurrentStamp();
    if (!stamp) {
        throw SaveError("it vanished right after being written");
    }
    Pin(*stamp);
    return *stamp;
}

}  // namespace zm880::hid::simfile

#include "reader/VerifiedWrite.h"

#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <ctime>
#include <iomanip>
#include <span>
#include <sstream>
#include <system_error>

#include "cfgfile/ConfigFile.h"
#include "cfgfile/SafeFile.h"
#include "cfgfile/Utf8Path.h"
#include "hid/HidDevice.h"
#include "hid/OsServices.h"

namespace zm880 {

namespace {

// Local time to the millisecond, so that two writes in one second get separate backups.
std::string TimeStamp() {
    const auto now = std::chrono::system_clock::now();
    const std::time_t seconds = std::chrono::system_clock::to_time_t(now);
    const auto millis =
        std::chrono::duration_cast<std::chrono::milliseconds>(now.time_since_epoch()).count() %
        1000;
    const std::tm local = hid::LocalTime(seconds);
    std::ostringstream out;
    out << std::put_time(&local, "%Y%m%d-%H%M%S") << '.' << std::setw(3) << std::setfill('0')
        << millis;
    return out.str();
}

std::string IndexList(const std::vector<std::size_t>& indices) {
    std::string list;
    for (std::size_t index : indices) {
        list += (list.empty() ? "" : ", ") + std::to_string(index);
    }
    return list;
}

std::vector<std::size_t> VerifiedIndices(VerifyScope scope, std::uint8_t readerType,
                                         std::size_t length) {
    if (scope == VerifyScope::EncodedFields) {
        return EncodedByteIndices(readerType);
    }
    std::vector<std::size_t> indices;
    for (std::size_t i = 1; i < length; ++i) {
        indices.push_back(i);
    }
    return indices;
}

// The first folder of `directory` that is a link to nothing, which creating the folders would
// only call "File exists".
std::optional<std::filesystem::path> LinkToNothingIn(const std::filesystem::path& directory) {
    std::filesystem::path folder;
    for (const std::filesystem::path& part : directory) {
        folder /= part;
        std::error_code error;
        if (std::filesystem::is_symlink(std::filesystem::symlink_status(folder, error)) &&
            std::filesystem::status(folder, error).type() ==
                std::filesystem::file_type::not_found) {
            return folder;
        }
    }
    return std::nullopt;
}

}  // namespace

std::optional<std::filesystem::path> DefaultBackupDirectory() {
#ifdef _WIN32
    // Windows keeps a user's program data, that does not roam, in the local application folder.
    const char* localAppData = std::getenv("LOCALAPPDATA");
    if (localAppData == nullptr || *localAppData == '\0') {
        return std::nullopt;
    }
    return cfgfile::Utf8Path(localAppData) / "zm880" / "backups";
#else
    // The XDG base directory rules take a relative value for invalid, to be ignored.
    const char* stateHome = std::getenv("XDG_STATE_HOME");
    if (stateHome != nullptr && std::filesystem::path(stateHome).is_absolute()) {
        return std::filesystem::path(stateHome) / "zm880" / "backups";
    }
    const char* home = std::getenv("HOME");
    if (home == nullptr || *home == '\0') {
        return std::nullopt;
    }
    return std::filesystem::path(home) / ".local" / "state" / "zm880" / "backups";
#endif
}

std::string BackupReaderName(const ReaderSession& session) {
    const ReaderDevice device = session.SelectedDevice();
    std::string name =
        device ? std::filesystem::path(device->PnPInfo().DevicePath).filename().string() : "";
    for (char& c : name) {
        const bool safe = (c >= '0' && c <= '9') || (c >= 'a' && c <= 'z') ||
                          (c >= 'A' && c <= 'Z') || c == '-' || c == '_' || c == '.';
        if (!safe) {
            c = '_';
        }
    }
    return name.empty() ? "reader" + std::to_string(session.SelectedIndex()) : name;
}

BackupResult WriteBackup(const std::filesystem::path& directory, const std::string& readerName,
                         const ReportBuffer& record) {
    constexpr int kNameAttempts = 100;
    std::error_code error;
    std::filesystem::create_directories(directory, error);
    if (error) {
        const std::optional<std::filesystem::path> dangling = LinkToNothingIn(directory);
        const std::string reason =
            dangling ? cfgfile::Utf8Text(*dangling) + " is a link to nothing" : error.message();
        return {{},
                "cannot create the backup directory " + cfgfile::Utf8Text(directory) + ": " +
                    reason + "; nothing written"};
    }
    const std::string stem = TimeStamp() + "-" + readerName;
    const std::span<const std::uint8_t> bytes(record.data(), cfgfile::kConfigFileSize);
    for (int n = 1; n <= kNameAttempts; ++n) {
        const std::filesystem::path path =
            directory / (n == 1 ? stem + ".cfg" : stem + "-" + std::to_string(n) + ".cfg");
        bool taken = false;
        const cfgfile::SafeFileError written = cfgfile::CreateFileExclusively(path, bytes, taken);
        if (written.ok()) {
            return {path, {}};
        }
        if (!taken) {
            return {{}, "backup failed: " + written.message + "; nothing written"};
        }
    }
    return {{},
            "backup failed: no free name for " + stem + ".cfg in " + cfgfile::Utf8Text(directory) +
                "; nothing written"};
}

WriteOutcome WriteAndVerify(ReaderSession& session, VerifyScope scope,
                            const std::filesystem::path& backup) {
    WriteOutcome outcome;
    outcome.backup = backup;
    const ReportBuffer written = session.Buffer();
    const TransferResult write = session.WriteReport(kSettingsReportId);
    if (!write.Ok) {
        outcome.message = write.Message;
        return outcome;
    }
    outcome.length = write.Length;

    ReportBuffer& buffer = session.Buffer();
    for (std::size_t i = 0; i < buffer.size(); ++i) {
        buffer[i] = static_cast<std::uint8_t>(~written[i]);
    }
    const TransferResult readBack = session.ReadReport(kSettingsReportId);
    if (!readBack.Ok) {
        outcome.message = "written, but the read-back failed: " + readBack.Message;
        return outcome;
    }
    if (readBack.Length < write.Length) {
        outcome.message = "written, but the read-back returned " + std::to_string(readBack.Length) +
                          " of " + std::to_string(write.Length) + " bytes";
        return outcome;
    }
    std::vector<std::size_t> differing;
    for (std::size_t index : VerifiedIndices(scope, session.StoredReaderType(), write.Length)) {
        if (index < write.Length && buffer[index] != written[index]) {
            differing.push_back(index);
        }
    }
    if (!differing.empty()) {
        outcome.message = std::string("the reader did not keep the ") +
                          (scope == VerifyScope::WholeReport ? "record" : "settings") + ": bytes " +
                          IndexList(differing) + " differ after the write" +
                          (backup.empty() ? "" : " (backup: " + cfgfile::Utf8Text(backup) + ")");
        return outcome;
    }
    outcome.ok = true;
    return outcome;
}

WriteOutcome BackUpWriteAndVerify(ReaderSession& session, const ReportBuffer& before,
                                  const std::filesystem::path& backupDirectory, VerifyScope scope) {
    const BackupResult backup = WriteBackup(backupDirectory, BackupReaderName(session), before);
    if (!backup.ok()) {
        return {false, {}, backup.error, 0};
    }
    return WriteAndVerify(session, scope, backup.path);
}

}  // namespace zm880

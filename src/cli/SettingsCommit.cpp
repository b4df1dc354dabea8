#include "cli/SettingsCommit.h"

#include <chrono>
#include <cstdlib>
#include <ctime>
#include <iomanip>
#include <iostream>
#include <span>
#include <sstream>
#include <string>

#include "cfgfile/ConfigFile.h"
#include "cfgfile/SafeFile.h"
#include "cfgfile/Utf8Path.h"
#include "cli/Cli.h"
#include "cli/Printable.h"
#include "hid/HidDevice.h"
#include "reader/SettingsFields.h"

namespace zm880::cli {

namespace {

// Local time to the millisecond, so that two writes in one second get separate backups.
std::string TimeStamp() {
    const auto now = std::chrono::system_clock::now();
    const std::time_t seconds = std::chrono::system_clock::to_time_t(now);
    const auto millis =
        std::chrono::duration_cast<std::chrono::milliseconds>(now.time_since_epoch()).count() %
        1000;
    std::ostringstream out;
    out << std::put_time(std::localtime(&seconds), "%Y%m%d-%H%M%S") << '.' << std::setw(3)
        << std::setfill('0') << millis;
    return out.str();
}

// The reader as a file-name part: the last element of its device path, reduced to safe
// characters, or its list index when it has no path.
std::string ReaderName(const ReaderSession& session) {
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

void PrintDifference(const ReaderSettings& before, const ReaderSettings& after) {
    const std::vector<FieldChange> changes = DiffSettings(before, after);
    if (changes.empty()) {
        std::cout << "no field changes\n";
    }
    for (const FieldChange& change : changes) {
        std::cout << change.field << ": " << change.before << " -> " << change.after << '\n';
    }
}

}  // namespace

std::string IndexList(const std::vector<std::size_t>& indices) {
    std::string list;
    for (std::size_t index : indices) {
        list += (list.empty() ? "" : ", ") + std::to_string(index);
    }
    return list;
}

std::filesystem::path WriteBackup(const ReaderSession& session, const ReportBuffer& record) {
    constexpr int kNameAttempts = 100;
    const std::filesystem::path directory = BackupDirectory();
    std::error_code error;
    std::filesystem::create_directories(directory, error);
    if (error) {
        throw CommandError(kExitFailed, "cannot create the backup directory " +
                                            cfgfile::Utf8Text(directory) +
                                            ": " + error.message() + "; nothing written");
    }
    const std::string stem = TimeStamp() + "-" + ReaderName(session);
    const std::span<const std::uint8_t> bytes(record.data(), cfgfile::kConfigFileSize);
    for (int n = 1; n <= kNameAttempts; ++n) {
        const std::filesystem::path path =
            directory / (n == 1 ? stem + ".cfg" : stem + "-" + std::to_string(n) + ".cfg");
        bool taken = false;
        const cfgfile::SafeFileError written = cfgfile::CreateFileExclusively(path, bytes, taken);
        if (written.ok()) {
            std::cout << "backup: " << Printable(cfgfile::Utf8Text(path)) << " (undo with: zm880ctl restore "
                      << Printable(cfgfile::Utf8Text(path)) << ")\n";
            return path;
        }
        if (!taken) {
            throw CommandError(kExitFailed,
                               "backup failed: " + written.message + "; nothing written");
        }
    }
    throw CommandError(kExitFailed, "backup failed: no free name for " + stem + ".cfg in " +
                                        cfgfile::Utf8Text(directory) + "; nothing written");
}

void ReadSettingsRecord(ReaderSession& session) {
    const TransferResult read = session.ReadConfig();
    if (!read.Ok) {
        throw CommandError(kExitFailed, read.Message);
    }
}

ReaderSettings ReadReaderSettings(ReaderSession& session) {
    ReadSettingsRecord(session);
    ReaderSettings settings;
    session.Decode(settings);
    return settings;
}

std::vector<std::size_t> ReadBackDifferences(ReaderSession& session, const ReportBuffer& written,
                                             const std::vector<std::size_t>& indices,
                                             std::size_t length) {
    ReportBuffer& buffer = session.Buffer();
    for (std::size_t i = 0; i < buffer.size(); ++i) {
        buffer[i] = static_cast<std::uint8_t>(~written[i]);
    }
    const TransferResult readBack = session.ReadReport(kSettingsReportId);
    if (!readBack.Ok) {
        throw CommandError(kExitFailed, "written, but the read-back failed: " + readBack.Message);
    }
    if (readBack.Length < length) {
        throw CommandError(kExitFailed, "written, but the read-back returned " +
                                            std::to_string(readBack.Length) + " of " +
                                            std::to_string(length) + " bytes");
    }
    std::vector<std::size_t> differing;
    for (std::size_t index : indices) {
        if (index < length && buffer[index] != written[index]) {
            differing.push_back(index);
        }
    }
    return differing;
}

std::filesystem::path BackupDirectory() {
#ifdef _WIN32
    // Windows keeps a user's program data, that does not roam, in the local application folder.
    const char* localAppData = std::getenv("LOCALAPPDATA");
    if (localAppData == nullptr || *localAppData == '\0') {
        throw CommandError(kExitFailed, "LOCALAPPDATA is not set; no place for the backup");
    }
    return cfgfile::Utf8Path(localAppData) / "zm880" / "backups";
#else
    const char* stateHome = std::getenv("XDG_STATE_HOME");
    if (stateHome != nullptr && *stateHome != '\0') {
        return std::filesystem::path(stateHome) / "zm880" / "backups";
    }
    const char* home = std::getenv("HOME");
    if (home == nullptr || *home == '\0') {
        throw CommandError(kExitFailed,
                           "neither XDG_STATE_HOME nor HOME is set; no place for the backup");
    }
    return std::filesystem::path(home) / ".local" / "state" / "zm880" / "backups";
#endif
}

void CommitSettings(ReaderSession& session, const SettingsSnapshot& before,
                    const ReaderSettings& after, bool dryRun) {
    if (dryRun) {
        PrintDifference(before.settings, after);
        std::cout << "dry run: nothing written\n";
        return;
    }
    const std::filesystem::path backup = WriteBackup(session, before.record);

    const std::uint8_t readerType = session.StoredReaderType();
    const ReportBuffer written = session.Buffer();
    const TransferResult write = session.WriteReport(kSettingsReportId);
    if (!write.Ok) {
        throw CommandError(kExitFailed, write.Message);
    }
    const std::vector<std::size_t> differing =
        ReadBackDifferences(session, written, EncodedByteIndices(readerType), write.Length);
    if (!differing.empty()) {
        throw CommandError(kExitFailed,
                           "the reader did not keep the settings: bytes " + IndexList(differing) +
                               " differ after the write (backup: " + cfgfile::Utf8Text(backup) + ")");
    }
    std::cout << "settings written and verified\n";
}

}  // namespace zm880::cli

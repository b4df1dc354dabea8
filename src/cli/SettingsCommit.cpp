#include "cli/SettingsCommit.h"

#include <algorithm>
#include <cctype>
#include <iostream>
#include <string>
#include <string_view>
#include <vector>

#include "cfgfile/Utf8Path.h"
#include "cli/Cli.h"
#include "cli/Printable.h"
#include "reader/SettingsFields.h"

namespace zm880::cli {

namespace {

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

std::string ShellQuoted(const std::string& path) {
#ifdef _WIN32
    // cmd and PowerShell both take a double-quoted path; a Windows path holds no double quote.
    return path.find_first_of(" \t&()[]{}^=;!'+,`~%$@#") == std::string::npos ? path
                                                                              : "\"" + path + "\"";
#else
    const bool plain = !path.empty() && std::all_of(path.begin(), path.end(), [](char c) {
        return std::isalnum(static_cast<unsigned char>(c)) != 0 ||
               std::string_view("@%+=:,./_-").find(c) != std::string_view::npos;
    });
    if (plain) {
        return path;
    }
    std::string quoted = "'";
    for (const char c : path) {
        quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
    }
    return quoted + "'";
#endif
}

std::filesystem::path BackupDirectory() {
    const std::optional<std::filesystem::path> directory = DefaultBackupDirectory();
    if (!directory) {
        throw CommandError(kExitFailed,
#ifdef _WIN32
                           "LOCALAPPDATA is not set; no place for the backup");
#else
                           "neither XDG_STATE_HOME nor HOME is set; no place for the backup");
#endif
    }
    return *directory;
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

void WriteVerifiedPrintingBackup(ReaderSession& session, const ReportBuffer& before,
                                 VerifyScope scope) {
    const BackupResult backup = WriteBackup(BackupDirectory(), BackupReaderName(session), before);
    if (!backup.ok()) {
        throw CommandError(kExitFailed, backup.error);
    }
    const std::string path = cfgfile::Utf8Text(backup.path);
    std::cout << "backup: " << Printable(path) << " (undo with: zm880ctl restore "
              << Printable(ShellQuoted(path)) << ")\n";
    const WriteOutcome written = WriteAndVerify(session, scope, backup.path);
    if (!written.ok) {
        throw CommandError(kExitFailed, written.message);
    }
}

void CommitSettings(ReaderSession& session, const SettingsSnapshot& before,
                    const ReaderSettings& after, bool dryRun) {
    if (dryRun) {
        PrintDifference(before.settings, after);
        std::cout << "dry run: nothing written\n";
        return;
    }
    WriteVerifiedPrintingBackup(session, before.record, VerifyScope::EncodedFields);
    HoldOutput("settings written and verified\n");
}

}  // namespace zm880::cli

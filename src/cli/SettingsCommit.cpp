#include "cli/SettingsCommit.h"

#include <iostream>
#include <string>
#include <vector>

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

std::filesystem::path BackupDirectory() {
    const std::optional<std::filesystem::path> directory = DefaultBackupDirectory();
    if (!directory) {
        throw CommandError(kExitFailed,
                           "neither XDG_STATE_HOME nor HOME is set; no place for the backup");
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
    std::cout << "backup: " << Printable(backup.path.string())
              << " (undo with: zm880ctl restore " << Printable(backup.path.string()) << ")\n";
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
    std::cout << "settings written and verified\n";
}

}  // namespace zm880::cli

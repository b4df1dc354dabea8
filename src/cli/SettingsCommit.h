#pragma once

#include <filesystem>
#include <string>

#include "reader/ReaderSession.h"
#include "reader/ReaderSettings.h"
#include "reader/VerifiedWrite.h"

namespace zm880::cli {

// The reader's record as read before a settings command changed the buffer, and its decode.
struct SettingsSnapshot {
    ReportBuffer record;
    ReaderSettings settings;
};

// The path as a command line needs it: as it is when it holds only plain characters, otherwise
// quoted for the system's shell (POSIX: single quotes; Windows: double quotes).
std::string ShellQuoted(const std::string& path);

// DefaultBackupDirectory, or CommandError (exit 1) when there is no place for backups.
std::filesystem::path BackupDirectory();

// Reads the settings record of the selected reader into the session's buffer, as the reader sent
// it. Throws CommandError (exit 1) when the read fails or the reader's report is too short to
// carry the settings, naming its length, so nothing is ever shown or written from the program's
// own buffer.
void ReadSettingsRecord(ReaderSession& session);
// The same, then decoded (which also changes the buffer's byte 64, as every decode does).
ReaderSettings ReadReaderSettings(ReaderSession& session);

// BackUpWriteAndVerify of the session's buffer with `before` as the backup; prints
// "backup: PATH" and how to undo it once the backup is written. Throws CommandError (exit 1)
// on any failure.
void WriteVerifiedPrintingBackup(ReaderSession& session, const ReportBuffer& before,
                                 VerifyScope scope);

// Writes the settings encoded in the session's buffer to the selected reader, safely: with
// `dryRun` only the field-by-field difference is printed; otherwise the reader's previous record
// is first saved as a backup *.cfg (path printed), then the buffer is written as report 3, read
// back, and every byte the encode writes is compared. Throws CommandError on any failure.
void CommitSettings(ReaderSession& session, const SettingsSnapshot& before,
                    const ReaderSettings& after, bool dryRun);

}  // namespace zm880::cli

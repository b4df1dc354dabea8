#pragma once

#include <cstddef>
#include <filesystem>
#include <string>
#include <vector>

#include "reader/ReaderSession.h"
#include "reader/ReaderSettings.h"

namespace zm880::cli {

// The reader's record as read before a settings command changed the buffer, and its decode.
struct SettingsSnapshot {
    ReportBuffer record;
    ReaderSettings settings;
};

// Where backups of reader records go: $XDG_STATE_HOME/zm880/backups, or
// ~/.local/state/zm880/backups without it; %LOCALAPPDATA%\zm880\backups on Windows.
std::filesystem::path BackupDirectory();

// Saves `record` as a new backup *.cfg of the selected reader (never over another backup, even
// one written by another process in the same millisecond), prints "backup: PATH" and how to undo,
// and returns the path. Throws CommandError (exit 1) when it cannot be written.
std::filesystem::path WriteBackup(const ReaderSession& session, const ReportBuffer& record);

// Bytes 0 to 25 carry the settings; a reader whose settings report is shorter cannot hold them.
inline constexpr std::size_t kSettingsBytes = 26;

// Reads the settings record of the selected reader into the session's buffer, as the reader sent
// it. Throws CommandError (exit 1) when the read fails or the reader's report is too short to
// carry the settings, naming its length, so nothing is ever shown or written from the program's
// own buffer.
void ReadSettingsRecord(ReaderSession& session);
// The same, then decoded (which also changes the buffer's byte 64, as every decode does).
ReaderSettings ReadReaderSettings(ReaderSession& session);

// Reads report 3 back after a write into a buffer where every byte differs from `written`, so
// only bytes the reader returned can match. Returns the indices below `length` (within
// `indices`) that differ; throws CommandError (exit 1) when the read fails or returns fewer than
// `length` bytes.
std::vector<std::size_t> ReadBackDifferences(ReaderSession& session, const ReportBuffer& written,
                                             const std::vector<std::size_t>& indices,
                                             std::size_t length);

// Indices as the failure messages list them: "3, 7, 12".
std::string IndexList(const std::vector<std::size_t>& indices);

// Writes the settings encoded in the session's buffer to the selected reader, safely: with
// `dryRun` only the field-by-field difference is printed; otherwise the reader's previous record
// is first saved as a backup *.cfg (path printed), then the buffer is written as report 3, read
// back, and every byte the encode writes is compared. Throws CommandError on any failure.
void CommitSettings(ReaderSession& session, const SettingsSnapshot& before,
                    const ReaderSettings& after, bool dryRun);

}  // namespace zm880::cli

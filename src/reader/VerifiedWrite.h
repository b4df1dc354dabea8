#pragma once

#include <cstddef>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "reader/ReaderSession.h"
#include "reader/ReportBuffer.h"

namespace zm880 {

// The one safe way to change a reader's settings record, shared by the command line, the
// window and provisioning: back up the record as read, write, read back, compare.

// Where backups of reader records go: $XDG_STATE_HOME/zm880/backups, or
// ~/.local/state/zm880/backups without it (a relative XDG_STATE_HOME counts as unset, as the XDG
// rules say); nullopt when neither variable is set.
std::optional<std::filesystem::path> DefaultBackupDirectory();

// The selected reader as a file-name part: the last element of its device path reduced to safe
// characters, or "reader" and its list index when it has no path.
std::string BackupReaderName(const ReaderSession& session);

struct BackupResult {
    std::filesystem::path path;
    std::string error;  // one line, ending in "; nothing written"

    bool ok() const { return error.empty(); }
};

// Saves bytes 0 to 63 of `record` as a new file TIME-READER.cfg in `directory` (created when
// missing), never over another file, even one written by another process in the same
// millisecond.
BackupResult WriteBackup(const std::filesystem::path& directory, const std::string& readerName,
                         const ReportBuffer& record);

// Which bytes a read-back must give back as written.
enum class VerifyScope {
    EncodedFields,  // those the encode writes for the session's stored reader type
    WholeReport,    // every byte after the report ID
};

struct WriteOutcome {
    bool ok = false;
    std::filesystem::path backup;  // set once a backup was written
    std::string message;           // why it failed, for the user
    std::size_t length = 0;        // bytes written, report ID included
};

// Writes the session's buffer as the settings record to the selected reader, reads it back into
// a buffer where every byte differs from the one written (so only bytes the reader returned can
// match) and compares the bytes of `scope`. The buffer then holds what the reader returned.
// `backup` is only named in the message when the reader did not keep the record.
WriteOutcome WriteAndVerify(ReaderSession& session, VerifyScope scope,
                            const std::filesystem::path& backup = {});

// Saves `before` (the record as read from the reader) as a backup, then WriteAndVerify. Nothing
// is written when the backup fails.
WriteOutcome BackUpWriteAndVerify(ReaderSession& session, const ReportBuffer& before,
                                  const std::filesystem::path& backupDirectory, VerifyScope scope);

}  // namespace zm880

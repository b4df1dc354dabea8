#pragma once

#include <filesystem>

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

// Writes the settings encoded in the session's buffer to the selected reader, safely: with
// `dryRun` only the field-by-field difference is printed; otherwise the reader's previous record
// is first saved as a backup *.cfg (path printed), then the buffer is written as report 3, read
// back, and every byte the encode writes is compared. Throws CommandError on any failure.
void CommitSettings(ReaderSession& session, const SettingsSnapshot& before,
                    const ReaderSettings& after, bool dryRun);

}  // namespace zm880::cli

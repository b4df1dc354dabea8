#include <algorithm>
#include <iostream>
#include <memory>
#include <string>
#include <vector>

#include "cfgfile/ConfigFile.h"
#include "cli/Cli.h"
#include "cli/FileAccess.h"
#include "cli/ReaderAccess.h"
#include "cli/SettingsCommit.h"

namespace zm880::cli {

namespace {

// The saved record: exactly 64 bytes starting with the settings report ID, as a backup holds.
std::vector<std::uint8_t> ReadSavedRecord(const std::string& path) {
    std::vector<std::uint8_t> saved = ReadInputFile("", path, cfgfile::kConfigFileReadLimit);
    if (saved.size() != cfgfile::kConfigFileSize) {
        throw CommandError(kExitUsage, path + " holds " + std::to_string(saved.size()) +
                                           " bytes; a saved settings record has 64");
    }
    if (saved[0] != kSettingsReportId) {
        throw CommandError(kExitUsage, path + " holds no settings record (byte 0 is " +
                                           std::to_string(saved[0]) + ", not 3)");
    }
    return saved;
}

// Bytes 0 to 63 of the reader's report become the saved ones, a longer report keeps the rest as
// the reader holds it; the reader's answer must then hold exactly those bytes.
void Restore(ReaderSession& session, const std::vector<std::uint8_t>& saved) {
    ReadSettingsRecord(session);
    const ReportBuffer current = session.Buffer();
    const std::size_t length = ReaderSession::FeatureLength(session.SelectedDevice());
    const std::size_t restored = std::min(length, saved.size());
    std::copy_n(saved.begin(), restored, session.Buffer().begin());
    WriteVerifiedPrintingBackup(session, current, VerifyScope::WholeReport);
    HoldOutput("record restored and verified (" + std::to_string(restored) + " bytes)\n");
}

}  // namespace

void AddRestoreCommand(CLI::App& app, const std::shared_ptr<GlobalOptions>& options,
                       int& exitCode) {
    auto file = std::make_shared<std::string>();
    CLI::App* restore = app.add_subcommand(
        "restore",
        "Write a saved record (a backup) back byte for byte and verify it by reading it back; "
        "the current record is backed up first");
    restore->add_option("BACKUP", *file, "A 64-byte settings file, as the backups are")->required();
    AddReaderOptions(*restore, *options);
    restore->callback([options, file, &exitCode] {
        const std::vector<std::uint8_t> saved = ReadSavedRecord(*file);
        ReaderAccess access(*options);
        exitCode = RunOnReaders(access, [&](ReaderSession& session) { Restore(session, saved); });
    });
}

}  // namespace zm880::cli

#include <iostream>
#include <memory>
#include <string>
#include <vector>

#include "cfgfile/ConfigFile.h"
#include "cli/Cli.h"
#include "cli/FileAccess.h"
#include "cli/ProfileFile.h"
#include "reader/Profile.h"
#include "reader/ReaderSettings.h"
#include "reader/SettingsFields.h"

namespace zm880::cli {

namespace {

constexpr const char* kAssignmentHelp =
    "FIELD=VALUE assignments (names and captions in any case):\n"
    "  Baud=9600|19200|38400|115200   Suffix=0-2 or None|Enter|Tab\n"
    "  Interface=0-2 or USB-HID-Keyboard|USB-VCOM|RS-232\n"
    "  AddType, UsedAltKey, ByteMirror, BitMirror, LegicReadData=true|false|1|0|on|off\n"
    "  CharDelay=0-2000 (ms, stored in 10 ms steps)   DoubleTimeout=0-99 (s)\n"
    "  UserCmd=-1-9 or off   MultiLegicSegment=0-255   MultiLegicOffset=0-255\n"
    "  MultiLegicCount=1-128   LegicStartAddr=0-9999   LegicLength=1-200   LegicSegment=0-99\n"
    "  MaxLength=0-99\n"
    "  LfTags, HfTags, Tags125=comma-separated captions that are on, empty for none\n"
    "    (e.g. LfTags=EM4102,HITAG2; 'cfg show' lists the captions that are on)\n"
    "A field that the file's reader type does not store is refused: UserCmd, LfTags, HfTags and\n"
    "the MultiLegic fields need type 0 or 4, LegicReadData type 4, the Legic fields type 3,\n"
    "MaxLength and Tags125 any other type. ReaderVersion and ReaderType cannot be set.\n"
    "--profile PROFILE.json: a JSON object with any of the keys of 'cfg show --json' and their\n"
    "value forms; only the bits of the fields it names change. ReaderType and ReaderTypeName in\n"
    "it must be the file's.\n"
    "Exit status: 0 done, 1 a file could not be read or written, 2 bad usage or input.";

constexpr const char* kExitHelp =
    "Exit status: 0 done, 1 a file could not be read or written, 2 bad usage or input.";

// A configuration file read into a zero buffer and decoded from the initial field values.
struct LoadedRecord {
    ReportBuffer buffer{};
    ReaderSettings settings;
    std::uint8_t readerType = 0;
};

LoadedRecord LoadRecord(const std::string& command, const std::string& path) {
    LoadedRecord record;
    const cfgfile::FileResult loaded = cfgfile::LoadConfigFile(path, record.buffer);
    if (!loaded.ok()) {
        throw CommandError(kExitFailed,
                           command + ": " + (loaded.reason.empty() ? loaded.error : loaded.reason));
    }
    if (record.buffer[0] != kSettingsReportId) {
        throw CommandError(kExitUsage, command + ": " + path +
                                           " is not a settings record (byte 0 is " +
                                           std::to_string(record.buffer[0]) + ", not 3)");
    }
    DecodeSettings(record.buffer, record.settings, record.readerType);
    return record;
}

// Prints each field whose stored value changed from `before` to the record now in `buffer`.
void PrintStoredChanges(const LoadedRecord& before, ReportBuffer buffer, const std::string& out) {
    ReaderSettings stored = before.settings;
    std::uint8_t readerType = before.readerType;
    DecodeSettings(buffer, stored, readerType);
    for (const FieldChange& change : DiffSettings(before.settings, stored)) {
        ReportStream(out) << change.field << ": " << change.before << " -> " << change.after
                          << '\n';
    }
}

// Encodes, writes 64 bytes and prints each field whose stored value changed, as the file now
// decodes (so "CharDelay=15" shows the 20 ms that is stored).
void EncodeAndSave(const std::string& command, const LoadedRecord& before,
                   const ReaderSettings& settings, ReportBuffer buffer, const std::string& out) {
    EncodeSettings(settings, before.readerType, buffer);
    WriteOutputFile(command, out, std::span(buffer.data(), cfgfile::kConfigFileSize));
    PrintStoredChanges(before, buffer, out);
}

struct ShowOptions {
    std::string file;
    bool json = false;
};

struct WriteOptions {
    std::string file;
    std::vector<std::string> assignments;
    std::string profile;
    std::string out;
};

// Sets the fields the profile names; every other byte stays as the file has it.
void SaveWithProfile(const std::string& command, const LoadedRecord& record,
                     const std::string& profilePath, const std::string& file,
                     const std::string& out) {
    const nlohmann::ordered_json profile = ReadProfileFile(command, profilePath);
    ReportBuffer buffer = record.buffer;
    if (const std::optional<std::string> refusal = ApplyProfileToRecord(profile, buffer)) {
        throw CommandError(kExitUsage, command + ": " + profilePath + ": " + *refusal +
                                           " (for " + file + "); nothing written");
    }
    WriteOutputFile(command, out, std::span(buffer.data(), cfgfile::kConfigFileSize));
    PrintStoredChanges(record, buffer, out);
}

void AddShow(CLI::App& cfg) {
    auto options = std::make_shared<ShowOptions>();
    CLI::App* show = cfg.add_subcommand(
        "show",
        "Print the settings stored in a configuration file: ReaderVersion, ReaderType and the "
        "fields that the file's reader type uses (with --json as a complete profile)");
    show->add_option("FILE", options->file,
                     "Configuration file; its first 64 bytes are read, a shorter file as far as "
                     "it goes. Byte 0 must be 3 (a settings record)")
        ->required();
    show->add_flag("--json", options->json,
                   "Print the complete profile, as zm880ctl load and cfg set --profile take it: "
                   "ReaderType, ReaderTypeName and every field the reader type stores, tag lists "
                   "as arrays of the captions that are on");
    show->footer(kExitHelp);
    show->callback([options] {
        const LoadedRecord record = LoadRecord("cfg show", options->file);
        if (options->json) {
            std::cout << ProfileText(RecordToProfile(record.buffer));
        } else {
            std::cout << SettingsToText(record.settings);
        }
    });
}

void AddSet(CLI::App& cfg) {
    auto options = std::make_shared<WriteOptions>();
    CLI::App* set = cfg.add_subcommand(
        "set",
        "Change settings fields in a configuration file, by assignments or by a profile, and "
        "write its 64 bytes back, or to OUT; prints each field whose stored value changed. A "
        "refused value writes nothing");
    set->add_option("FILE", options->file, "Configuration file holding a settings record")
        ->required();
    set->add_option("FIELD=VALUE", options->assignments, "Fields to set, applied in order");
    set->add_option("--profile", options->profile,
                    "Set the fields that this JSON profile names (instead of assignments); every "
                    "other byte stays as the file has it")
        ->type_name("PROFILE");
    set->add_option("-o,--output", options->out,
                    "Write to OUT instead of FILE (FILE stays as it is); - for standard output, "
                    "the changes then go to standard error")
        ->type_name("OUT");
    set->footer(kAssignmentHelp);
    set->callback([options] {
        const std::string command = "cfg set";
        if (options->assignments.empty() == options->profile.empty()) {
            throw CommandError(kExitUsage,
                               command + ": give either FIELD=VALUE assignments or --profile");
        }
        const LoadedRecord record = LoadRecord(command, options->file);
        const std::string out = options->out.empty() ? options->file : options->out;
        if (!options->profile.empty()) {
            SaveWithProfile(command, record, options->profile, options->file, out);
            return;
        }
        ReaderSettings settings = record.settings;
        if (const std::optional<std::string> refusal =
                ApplyAssignments(settings, options->assignments, record.readerType)) {
            throw CommandError(kExitUsage, command + ": " + options->file + ": " + *refusal);
        }
        EncodeAndSave(command, record, settings, record.buffer, out);
    });
}

void AddDefaults(CLI::App& cfg) {
    auto options = std::make_shared<WriteOptions>();
    CLI::App* defaults = cfg.add_subcommand(
        "defaults",
        "Reset the settings in a configuration file to the default record (bytes 3 to 25; the "
        "version, the reader type and bytes 26 to 63 stay) and write it back, or to OUT; prints "
        "each field whose stored value changed");
    defaults->add_option("FILE", options->file, "Configuration file holding a settings record")
        ->required();
    defaults
        ->add_option("-o,--output", options->out,
                     "Write to OUT instead of FILE (FILE stays as it is); - for standard output, "
                     "the changes then go to standard error")
        ->type_name("OUT");
    defaults->footer(kExitHelp);
    defaults->callback([options] {
        const std::string command = "cfg defaults";
        const LoadedRecord record = LoadRecord(command, options->file);
        ReportBuffer buffer = record.buffer;
        ApplyDefaults(buffer);
        ReaderSettings settings = record.settings;
        std::uint8_t readerType = record.readerType;
        DecodeSettings(buffer, settings, readerType);
        EncodeAndSave(command, record, settings, buffer,
                      options->out.empty() ? options->file : options->out);
    });
}

}  // namespace

void AddCfgCommands(CLI::App& app, int& /*exitCode*/) {
    CLI::App* cfg =
        app.add_subcommand("cfg", "Show and edit settings files (*.cfg) without a reader")
            ->require_subcommand(1);
    AddShow(*cfg);
    AddSet(*cfg);
    AddDefaults(*cfg);
}

}  // namespace zm880::cli

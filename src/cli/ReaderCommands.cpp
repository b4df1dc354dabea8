#include <iostream>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "cfgfile/ConfigFile.h"
#include "cli/Cli.h"
#include "cli/FileAccess.h"
#include "cli/JsonOutput.h"
#include "cli/Printable.h"
#include "cli/ProfileFile.h"
#include "cli/ReaderAccess.h"
#include "cli/SettingsCommit.h"
#include "diag/RawConsole.h"
#include "hid/HidDevice.h"
#include "reader/HexText.h"
#include "reader/Profile.h"
#include "reader/SettingsFields.h"

namespace zm880::cli {

namespace {

// A report ID or byte on the command line: the console's hexadecimal input, but text that is not
// a number, or a number above FF that would be cut to its low byte, is refused.
std::string CheckedHex(const std::string& text, const char* what) {
    const bool digitsOnly =
        !text.empty() && text.find_first_not_of("0123456789abcdefABCDEF") == std::string::npos;
    if (!digitsOnly) {
        throw CommandError(
            kExitUsage, std::string("not a hexadecimal ") + what + ": '" + Printable(text) + "'");
    }
    const std::size_t significant = text.find_first_not_of('0');
    if (significant != std::string::npos && text.size() - significant > 2) {
        throw CommandError(kExitUsage,
                           std::string("hexadecimal ") + what + " " + text + " is above FF");
    }
    return text;
}

void ThrowIfFailed(const TransferResult& result) {
    if (!result.Ok) {
        throw CommandError(kExitFailed, result.Message);
    }
}

nlohmann::ordered_json ListEntryJson(ReaderAccess& access, std::size_t index) {
    const DeviceEntry& entry = access.Session().Entries()[index];
    nlohmann::ordered_json item{
        {"index", index}, {"path", access.PathOf(index)}, {"text", entry.Text}};
    if (!entry.Device) {
        item.update({{"version", nullptr}, {"featureReportLength", 0}, {"accessible", false}});
        return item;
    }
    item["version"] = entry.Device->Attributes().VersionNumber;
    item["featureReportLength"] = ReaderSession::FeatureLength(entry.Device);
    item["accessible"] = !entry.Device->AccessDenied();
    return item;
}

std::string ListEntryText(const nlohmann::ordered_json& item) {
    std::string line = std::to_string(item["index"].get<std::size_t>()) + "  " +
                       Printable(item["path"].get<std::string>()) + "  " +
                       Printable(item["text"].get<std::string>());
    if (item["version"].is_number()) {
        const auto version = item["version"].get<std::uint16_t>();
        line += "  version " + HexByte(static_cast<std::uint8_t>(version >> 8)) +
                HexByte(static_cast<std::uint8_t>(version & 0xFF));
    }
    line += "  feature report " + std::to_string(item["featureReportLength"].get<std::size_t>()) +
            " bytes  ";
    if (item["accessible"].get<bool>()) {
        return line + "accessible";
    }
    return line + "present but not accessible (" + kAccessHint + ")";
}

void AddListCommand(CLI::App& app, const std::shared_ptr<GlobalOptions>& options) {
    auto json = std::make_shared<bool>(false);
    CLI::App* list = app.add_subcommand("list", "List the attached readers");
    list->add_flag("--json", *json, "Print a JSON array");
    AddReaderOptions(*list, *options, ReaderChoice::None);
    list->callback([options, json] {
        RefuseReaderChoice(*options, ReaderChoice::None,
                           "list shows every reader: --device and --all do not apply");
        ReaderAccess access(*options);
        const std::size_t count = access.Session().Entries().size();
        if (*json) {
            nlohmann::ordered_json items = nlohmann::ordered_json::array();
            for (std::size_t i = 0; i < count; ++i) {
                items.push_back(ListEntryJson(access, i));
            }
            HoldOutput(JsonText(items) + '\n');
            return;
        }
        if (count == 0) {
            std::cout << "no reader attached\n";
        }
        // A line at a time, so that the list of a large bus is not kept twice.
        for (std::size_t i = 0; i < count; ++i) {
            std::cout << ListEntryText(ListEntryJson(access, i)) << '\n';
        }
    });
}

void AddRawCommands(CLI::App& app, const std::shared_ptr<GlobalOptions>& options, int& exitCode) {
    CLI::App* raw = app.add_subcommand("raw", "Read and write raw feature reports");
    raw->require_subcommand(1);

    struct GetArgs {
        std::string id;
        bool json = false;
    };
    auto get = std::make_shared<GetArgs>();
    CLI::App* getCmd = raw->add_subcommand("get", "Read one feature report");
    getCmd->add_option("ID", get->id, "Report ID (hexadecimal)")->required();
    getCmd->add_flag("--json", get->json, "Print JSON");
    AddReaderOptions(*getCmd, *options);
    getCmd->callback([options, get, &exitCode] {
        const std::string id = CheckedHex(get->id, "report ID");
        ReaderAccess access(*options);
        // Reads the report; returns the line the console shows for it.
        const auto read = [&](ReaderSession& session, TransferResult& result) {
            RawConsole console(session);
            std::vector<std::string> cells(kByteCellCount);
            result = console.Read(id, cells);
            ThrowIfFailed(result);
            return console.History().back();
        };
        if (!get->json) {
            exitCode = RunOnReaders(access, [&](ReaderSession& session) {
                TransferResult result;
                std::cout << read(session, result) << '\n';
            });
            return;
        }
        exitCode = RunOnReadersJson(access, "report", [&](ReaderSession& session) {
            TransferResult result;
            read(session, result);
            const ReportBuffer& buffer = session.Buffer();
            const std::vector<int> bytes(buffer.begin(),
                                         buffer.begin() + static_cast<long>(result.Length));
            return nlohmann::ordered_json{
                {"reportId", buffer[0]}, {"length", result.Length}, {"bytes", bytes}};
        });
    });

    struct SetArgs {
        std::string id;
        std::vector<std::string> bytes;
    };
    auto set = std::make_shared<SetArgs>();
    CLI::App* setCmd = raw->add_subcommand("set", "Write one feature report");
    setCmd->add_option("ID", set->id, "Report ID (hexadecimal)")->required();
    setCmd->add_option("BYTE", set->bytes, "Payload bytes (hexadecimal); missing ones are 00");
    AddReaderOptions(*setCmd, *options);
    setCmd->callback([options, set, &exitCode] {
        std::string id = CheckedHex(set->id, "report ID");
        for (const std::string& byte : set->bytes) {
            CheckedHex(byte, "byte");
        }
        ReaderAccess access(*options);
        exitCode = RunOnReaders(access, [&](ReaderSession& session) {
            const std::size_t length = ReaderSession::FeatureLength(session.SelectedDevice());
            if (set->bytes.size() > RawConsole::VisibleCells(length)) {
                throw CommandError(kExitUsage,
                                   std::to_string(set->bytes.size()) +
                                       " bytes given; the report holds " +
                                       std::to_string(RawConsole::VisibleCells(length)));
            }
            RawConsole console(session);
            std::vector<std::string> cells = set->bytes;
            cells.resize(kByteCellCount);
            session.TakeSelectedAsCurrent();
            ThrowIfFailed(console.Write(id, cells));
            std::cout << console.History().back() << '\n';
        });
    });
}

void AddResetCommand(CLI::App& app, const std::shared_ptr<GlobalOptions>& options, int& exitCode) {
    CLI::App* reset = app.add_subcommand("reset", "Send the reset report 06 00 00 00");
    AddReaderOptions(*reset, *options);
    reset->callback([options, &exitCode] {
        ReaderAccess access(*options);
        exitCode = RunOnReaders(access, [](ReaderSession& session) {
            RawConsole console(session);
            ThrowIfFailed(console.Reset());
            std::cout << "reset report sent\n";
        });
    });
}

void AddShowCommand(CLI::App& app, const std::shared_ptr<GlobalOptions>& options, int& exitCode) {
    auto json = std::make_shared<bool>(false);
    CLI::App* show = app.add_subcommand("show", "Show the reader's settings");
    show->add_flag("--json", *json, "Print JSON");
    AddReaderOptions(*show, *options);
    show->callback([options, json, &exitCode] {
        ReaderAccess access(*options);
        if (*json) {
            exitCode = RunOnReadersJson(access, "settings", [](ReaderSession& session) {
                return SettingsToJson(ReadReaderSettings(session));
            });
            return;
        }
        exitCode = RunOnReaders(access, [](ReaderSession& session) {
            std::cout << SettingsToText(ReadReaderSettings(session));
        });
    });
}

void AddSaveCommand(CLI::App& app, const std::shared_ptr<GlobalOptions>& options, int& exitCode) {
    auto file = std::make_shared<std::string>();
    CLI::App* save = app.add_subcommand(
        "save", "Save the reader's settings to a *.cfg file, or as a complete profile to *.json");
    save->add_option("FILE", *file,
                     "Settings file to write (replaced atomically); a name ending in .json gets "
                     "the profile; - for the 64 bytes on standard output")
        ->required();
    AddReaderOptions(*save, *options, ReaderChoice::OneOnly);
    save->callback([options, file, &exitCode] {
        RefuseReaderChoice(*options, ReaderChoice::OneOnly,
                           "save writes one FILE: --all would write every reader to it in turn; "
                           "choose the reader with --device");
        ReaderAccess access(*options);
        exitCode = RunOnReaders(access, [&](ReaderSession& session) {
            if (IsProfileName(*file)) {
                ReadSettingsRecord(session);
                const std::string text = ProfileText(RecordToProfile(session.Buffer()));
                WriteOutputFile(
                    "", *file,
                    std::span(reinterpret_cast<const std::uint8_t*>(text.data()), text.size()));
            } else {
                session.Encode(ReadReaderSettings(session));
                WriteOutputFile("", *file,
                                std::span(session.Buffer().data(), cfgfile::kConfigFileSize));
            }
            ReportStream(*file) << "settings saved to " << Printable(*file) << '\n';
        });
    });
}

// Sets the fields a profile names in the record just read; every other byte stays as the reader
// sent it.
void LoadProfile(ReaderSession& session, const nlohmann::ordered_json& profile,
                 const std::string& file, bool dryRun) {
    const ReaderSettings before = ReadReaderSettings(session);
    const SettingsSnapshot snapshot{session.Buffer(), before};
    ReportBuffer record = session.Buffer();
    if (const std::optional<std::string> refusal = ApplyProfileToRecord(profile, record)) {
        throw CommandError(kExitUsage, file + ": " + *refusal + "; nothing written");
    }
    session.Buffer() = record;
    ReaderSettings after = before;
    std::uint8_t readerType = 0;
    DecodeSettings(record, after, readerType);
    CommitSettings(session, snapshot, after, dryRun);
}

// Options of the commands that write settings.
struct WriteArgs {
    bool dryRun = false;
    bool force = false;
    std::string file;
    std::vector<std::string> assignments;
};

CLI::App* AddWriteCommand(CLI::App& app, const std::shared_ptr<GlobalOptions>& options,
                          const std::shared_ptr<WriteArgs>& args, const char* name,
                          const char* description) {
    CLI::App* command = app.add_subcommand(name, description);
    command->add_flag("--dry-run", args->dryRun, "Show the changes and write nothing");
    AddReaderOptions(*command, *options);
    return command;
}

void AddSettingsWriteCommands(CLI::App& app, const std::shared_ptr<GlobalOptions>& options,
                              int& exitCode) {
    auto load = std::make_shared<WriteArgs>();
    CLI::App* loadCmd =
        AddWriteCommand(app, options, load, "load",
                        "Write the settings of a *.cfg file, or the fields a *.json profile names");
    loadCmd
        ->add_option("FILE", load->file,
                     "Settings file to read; a name ending in .json is a profile: only the "
                     "fields it names are set, a field the reader's type does not store or a "
                     "value out of range refuses it (exit 2, nothing written)")
        ->required();
    loadCmd->add_flag("--force", load->force,
                      "Write the file even when it is for another reader type (byte 8)");
    loadCmd->callback([options, load, &exitCode] {
        if (IsProfileName(load->file)) {
            if (load->force) {
                throw CommandError(kExitUsage,
                                   "--force is for *.cfg files; a profile is refused "
                                   "by any reader type that does not store its fields");
            }
            const nlohmann::ordered_json profile = ReadProfileFile("", load->file);
            ReaderAccess access(*options);
            exitCode = RunOnReaders(access, [&](ReaderSession& session) {
                LoadProfile(session, profile, load->file, load->dryRun);
            });
            return;
        }
        ReaderAccess access(*options);
        exitCode = RunOnReaders(access, [&](ReaderSession& session) {
            const ReaderSettings before = ReadReaderSettings(session);
            const SettingsSnapshot snapshot{session.Buffer(), before};
            if (const cfgfile::FileResult loaded =
                    cfgfile::LoadConfigFile(load->file, session.Buffer());
                !loaded.ok()) {
                throw CommandError(kExitFailed,
                                   loaded.reason.empty() ? loaded.error : loaded.reason);
            }
            ReaderSettings after = before;
            if (!session.Decode(after)) {
                throw CommandError(kExitUsage, load->file +
                                                   " holds no settings record (byte 0 is " +
                                                   HexByte(session.Buffer()[0]) + ", not 03)");
            }
            if (const std::uint8_t fileType = session.Buffer()[8];
                fileType != snapshot.record[8] && !load->force) {
                throw CommandError(
                    kExitUsage, load->file + " is for reader type " + std::to_string(fileType) +
                                    ", the reader is type " + std::to_string(snapshot.record[8]) +
                                    "; --force writes it anyway");
            }
            session.Encode(after);
            CommitSettings(session, snapshot, after, load->dryRun);
        });
    });

    auto set = std::make_shared<WriteArgs>();
    CLI::App* setCmd = AddWriteCommand(app, options, set, "set", "Change settings fields");
    setCmd->add_option("FIELD=VALUE", set->assignments, "Assignments, applied in order")
        ->required();
    setCmd->callback([options, set, &exitCode] {
        ReaderAccess access(*options);
        exitCode = RunOnReaders(access, [&](ReaderSession& session) {
            const ReaderSettings before = ReadReaderSettings(session);
            const SettingsSnapshot snapshot{session.Buffer(), before};
            ReaderSettings after = before;
            if (const auto refused =
                    ApplyAssignments(after, set->assignments, session.StoredReaderType())) {
                throw CommandError(kExitUsage, *refused);
            }
            session.Encode(after);
            CommitSettings(session, snapshot, after, set->dryRun);
        });
    });

    auto defaults = std::make_shared<WriteArgs>();
    CLI::App* defaultsCmd =
        AddWriteCommand(app, options, defaults, "defaults", "Write the default settings");
    defaultsCmd->callback([options, defaults, &exitCode] {
        ReaderAccess access(*options);
        exitCode = RunOnReaders(access, [&](ReaderSession& session) {
            const ReaderSettings before = ReadReaderSettings(session);
            const SettingsSnapshot snapshot{session.Buffer(), before};
            session.ResetDefault();
            ReaderSettings after = before;
            session.Decode(after);
            session.Encode(after);
            CommitSettings(session, snapshot, after, defaults->dryRun);
        });
    });
}

}  // namespace

void AddReaderCommands(CLI::App& app, const std::shared_ptr<GlobalOptions>& options,
                       int& exitCode) {
    AddListCommand(app, options);
    AddRawCommands(app, options, exitCode);
    AddResetCommand(app, options, exitCode);
    AddWatchCommand(app, options, exitCode);
    AddShowCommand(app, options, exitCode);
    AddSaveCommand(app, options, exitCode);
    AddSettingsWriteCommands(app, options, exitCode);
}

}  // namespace zm880::cli

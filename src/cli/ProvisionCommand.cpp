#include <atomic>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <map>
#include <memory>
#include <string>

#include "cfgfile/Utf8Path.h"
#include "cli/Cli.h"
#include "cli/Printable.h"
#include "cli/ProfileFile.h"
#include "cli/ReaderAccess.h"
#include "cli/SettingsCommit.h"
#include "cli/UpdateFileGate.h"
#include "cli/WholeNumberCheck.h"
#include "hid/TracingPlatform.h"
#include "inventory/Csv.h"
#include "provision/Provisioner.h"

namespace zm880::cli {

namespace {

enum class ReportFormat { JsonLines, Csv };

struct ProvisionArgs {
    std::string profile;
    std::string firmware;
    std::size_t count = 0;
    std::string report;
    ReportFormat reportFormat = ReportFormat::JsonLines;
    bool allowPartial = false;
};

// The run that Ctrl+C or SIGTERM ends after the reader in hand.
std::atomic<provision::Provisioner*> runToStop{nullptr};

void StopRun(int) {
    if (provision::Provisioner* run = runToStop.load()) {
        run->Stop();
    }
}

// Routes SIGINT and SIGTERM to the run's stop for as long as it goes on.
class StopOnSignals {
  public:
    explicit StopOnSignals(provision::Provisioner& run) {
        runToStop.store(&run);
        previousInt_ = std::signal(SIGINT, StopRun);
        previousTerm_ = std::signal(SIGTERM, StopRun);
    }
    ~StopOnSignals() {
        std::signal(SIGINT, previousInt_);
        std::signal(SIGTERM, previousTerm_);
        runToStop.store(nullptr);
    }
    StopOnSignals(const StopOnSignals&) = delete;
    StopOnSignals& operator=(const StopOnSignals&) = delete;

  private:
    void (*previousInt_)(int) = SIG_DFL;
    void (*previousTerm_)(int) = SIG_DFL;
};

// The report: appended to, so that earlier runs' records stay, and written after every reader,
// so that an interrupted run keeps what it did. Each record is one whole line or nothing: a line
// cut short (by a write error here, or by an earlier run that was killed) is cut off, so the next
// record never joins it.
class ReportFile {
  public:
    ReportFile(const std::string& path, ReportFormat format) : path_(path), format_(format) {
        if (path.empty()) {
            return;
        }
        const std::filesystem::path file = cfgfile::Utf8Path(path);
        std::ofstream probe(file, std::ios::app | std::ios::binary);
        if (!probe) {
            throw CommandError(kExitFailed,
                               "cannot open the report " + Printable(path) + "; no reader touched");
        }
        probe.close();
        if (!TrimToWholeLines(file)) {
            throw CommandError(kExitFailed, "cannot cut the unfinished last line of the report " +
                                                Printable(path) + "; no reader touched");
        }
    }

    // False when the record could not be written in full; the file then ends as before.
    bool Add(const provision::ProvisionResult& result) {
        if (path_.empty()) {
            return true;
        }
        const std::filesystem::path file = cfgfile::Utf8Path(path_);
        std::error_code error;
        const std::uintmax_t before = std::filesystem::file_size(file, error);
        if (error) {
            return false;
        }
        std::string text =
            format_ == ReportFormat::Csv ? CsvLine(result, before == 0) : JsonLine(result);
        std::ofstream out(file, std::ios::app | std::ios::binary);
        out.write(text.data(), static_cast<std::streamsize>(text.size()));
        out.flush();
        out.close();
        if (out) {
            return true;
        }
        std::filesystem::resize_file(file, before, error);
        return false;
    }

    const std::string& Path() const { return path_; }

  private:
    // One line per object, keys in their order; text that is not UTF-8 is replaced.
    static std::string JsonLine(const provision::ProvisionResult& result) {
        return provision::ResultToJson(result).dump(-1, ' ', false,
                                                    nlohmann::json::error_handler_t::replace) +
               '\n';
    }

    // The same fields as columns; the changes as "Field: before -> after" joined by "; ". A new
    // file starts with the header line.
    static std::string CsvLine(const provision::ProvisionResult& result, bool withHeader) {
        std::string changes;
        for (const FieldChange& change : result.changes) {
            changes += (changes.empty() ? "" : "; ") + change.field + ": " + change.before +
                       " -> " + change.after;
        }
        const std::string record = inventory::CsvRecord(
            {result.time, result.path,
             result.readerType ? std::to_string(*result.readerType) : std::string(),
             result.backupPath, changes, result.ok ? "ok" : "failed", result.reason});
        if (!withHeader) {
            return record;
        }
        return inventory::CsvRecord(
                   {"time", "path", "readerType", "backup", "changes", "result", "reason"}) +
               record;
    }

    // Cuts the file back to just after its last line end (to nothing when it has none).
    static bool TrimToWholeLines(const std::filesystem::path& file) {
        std::ifstream in(file, std::ios::binary);
        in.seekg(0, std::ios::end);
        std::streamoff end = in.tellg();
        if (end <= 0) {
            return end == 0;
        }
        std::streamoff keep = end;
        char last = '\n';
        while (keep > 0) {
            in.seekg(keep - 1);
            if (!in.get(last)) {
                return false;
            }
            if (last == '\n') {
                break;
            }
            --keep;
        }
        if (keep == end) {
            return true;
        }
        in.close();
        std::error_code error;
        std::filesystem::resize_file(file, static_cast<std::uintmax_t>(keep), error);
        return !error;
    }

    std::string path_;
    ReportFormat format_;
};

void Provision(const GlobalOptions& options, const ProvisionArgs& args, int& exitCode) {
    if (options.all || !options.device.empty()) {
        throw CommandError(kExitUsage,
                           "provision handles every reader: --device and --all do not apply");
    }
    provision::ProvisionPlan plan;
    plan.profile = ReadProfileFile("", args.profile);
    if (!args.firmware.empty()) {
        CheckUpdateFileBeforeSending(args.firmware, args.allowPartial);
        plan.firmwareFile = args.firmware;
    }
    plan.backupDirectory = BackupDirectory();
    ReportFile report(args.report, args.reportFormat);
    const CommandPlatform opened = OpenCommandPlatform(options);

    provision::Provisioner run(opened.platform, plan);
    bool anyFailed = false;
    bool reportLost = false;
    {
        const StopOnSignals stopOnSignals(run);
        run.Run(
            [&](const provision::ProvisionResult& result) {
                anyFailed = anyFailed || !result.ok;
                std::cout << "reader " << Printable(result.path) << ": "
                          << (result.ok ? "ok" : "failed: " + Printable(result.reason))
                          << std::endl;
                if (!report.Add(result)) {
                    // Going on would provision readers that nobody has a record of.
                    reportLost = true;
                    run.Stop();
                }
            },
            args.count);
    }
    if (opened.tracing != nullptr && opened.tracing->LostLines()) {
        ReportLateFailure("the trace " + options.trace +
                          " is incomplete: a line could not be written");
    }
    if (reportLost) {
        throw CommandError(kExitFailed, "the report " + Printable(report.Path()) +
                                            " could not be written; provisioning stopped");
    }
    exitCode = anyFailed ? kExitFailed : kExitOk;
}

}  // namespace

void AddProvisionCommand(CLI::App& app, const std::shared_ptr<GlobalOptions>& options,
                         int& exitCode) {
    auto args = std::make_shared<ProvisionArgs>();
    CLI::App* command = app.add_subcommand(
        "provision",
        "Give every reader attached now and every reader plugged in later the fields of a "
        "profile: each is backed up, optionally updated, written and verified by read-back, "
        "once per plug, until Ctrl+C or --count readers are done");
    command
        ->add_option("PROFILE", args->profile,
                     "JSON profile (as 'save FILE.json' writes); a key no reader type takes "
                     "refuses it before any reader is touched (exit 2)")
        ->required();
    command->add_option("--firmware", args->firmware, "Update the firmware first from FILE.hex")
        ->type_name("FILE.hex");
    command->add_flag("--allow-partial", args->allowPartial,
                      "Update even when the file fills only some of the 20 pages");
    command->add_option("--count", args->count, "Stop after N readers")
        ->type_name("N")
        ->check(WholeNumberFrom(1, "a number of readers"));
    command
        ->add_option("--report", args->report,
                     "Append one record per reader to FILE (see --report-format): time, path, "
                     "readerType, backup, changes, result, reason")
        ->type_name("FILE.jsonl");
    command
        ->add_option("--report-format", args->reportFormat,
                     "jsonl (the default): one JSON object a line; csv: RFC 4180 with a header "
                     "line when the file is new, the changes as 'Field: before -> after; ...'")
        ->transform(CLI::CheckedTransformer(std::map<std::string, ReportFormat>{
            {"jsonl", ReportFormat::JsonLines}, {"csv", ReportFormat::Csv}}))
        ->type_name("jsonl|csv");
    command
        ->add_option("--simulate", options->simulate,
                     "Use the simulated bus; with STATE, the bus kept in that file")
        ->expected(0, 1)
        ->type_name("STATE");
    command->add_option("--trace", options->trace, "Append every feature transfer to FILE")
        ->type_name("FILE");
    command->footer(
        "One line per reader: 'reader PATH: ok' or 'reader PATH: failed: REASON'.\n"
        "Exit status: 0 every reader ok, 1 a reader failed or a file could not be read or "
        "written, 2 bad usage, a refused profile or update file.");
    command->callback([options, args, &exitCode] { Provision(*options, *args, exitCode); });
}

}  // namespace zm880::cli

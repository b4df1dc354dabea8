#include <atomic>
#include <csignal>
#include <fstream>
#include <iostream>
#include <memory>
#include <string>

#include "cli/Cli.h"
#include "cli/Printable.h"
#include "cli/ProfileFile.h"
#include "cli/ReaderAccess.h"
#include "cli/SettingsCommit.h"
#include "cli/UpdateFileGate.h"
#include "cli/WholeNumberCheck.h"
#include "hid/TracingPlatform.h"
#include "provision/Provisioner.h"

namespace zm880::cli {

namespace {

struct ProvisionArgs {
    std::string profile;
    std::string firmware;
    std::size_t count = 0;
    std::string report;
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

// The JSON lines report: appended to, so that earlier runs' lines stay, and flushed after every
// reader, so that an interrupted run keeps what it did.
class ReportFile {
  public:
    explicit ReportFile(const std::string& path) : path_(path) {
        if (path.empty()) {
            return;
        }
        out_.open(path, std::ios::app);
        if (!out_) {
            throw CommandError(kExitFailed,
                               "cannot open the report " + Printable(path) + "; no reader touched");
        }
    }

    // False when the line could not be written in full.
    bool Add(const provision::ProvisionResult& result) {
        if (path_.empty()) {
            return true;
        }
        // One line per object, keys in their order; text that is not UTF-8 is replaced.
        out_ << provision::ResultToJson(result).dump(-1, ' ', false,
                                                     nlohmann::json::error_handler_t::replace)
             << '\n';
        out_.flush();
        return static_cast<bool>(out_);
    }

    const std::string& Path() const { return path_; }

  private:
    std::string path_;
    std::ofstream out_;
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
    ReportFile report(args.report);
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
                     "Append one JSON object per reader to FILE.jsonl: time, path, "
                     "readerType, backup, changes, result, reason")
        ->type_name("FILE.jsonl");
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

#pragma once

#include <cstddef>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "cli/Cli.h"
#include "hid/sim/SimulatedBus.h"
#include "reader/ReaderSession.h"

namespace zm880::hid {
class TracingPlatform;
}  // namespace zm880::hid

namespace zm880::cli {

// Which of --device and --all a reader command takes besides --simulate and --trace.
enum class ReaderChoice {
    OneOrAll,  // both
    OneOnly,   // --device: a command with one output file
    None,      // neither: a command about every reader
};

// Adds --simulate[=STATE], --trace FILE and those of --device SEL and --all that `choice` takes
// to a reader command. --all with --device is refused when the access opens.
void AddReaderOptions(CLI::App& command, GlobalOptions& options,
                      ReaderChoice choice = ReaderChoice::OneOrAll);

// Throws CommandError (exit 2) with `refusal` when an option that `choice` does not take is given,
// before the command or after it.
void RefuseReaderChoice(const GlobalOptions& options, ReaderChoice choice,
                        const std::string& refusal);

// The platform the options choose: the system's, or the simulated bus; wrapped in the tracing
// decorator with --trace.
struct CommandPlatform {
    std::shared_ptr<hid::Platform> platform;
    hid::SimulatedBus* simulatedBus = nullptr;      // within platform, when it is simulated
    const hid::TracingPlatform* tracing = nullptr;  // platform itself, with --trace
};
// Throws CommandError: exit 2 for a state file that is not one, exit 1 when it or the trace
// cannot be opened or saved.
CommandPlatform OpenCommandPlatform(const GlobalOptions& options);

// Everything a reader command talks through: the platform chosen by the options (the system's,
// or the simulated bus; wrapped in the tracing decorator with --trace), its device controller and
// a session whose device list is already built. A simulated bus with a state file is saved after
// each change, or once at the end of a RunOnReaders command.
class ReaderAccess {
  public:
    explicit ReaderAccess(const GlobalOptions& options);
    ~ReaderAccess();
    ReaderAccess(const ReaderAccess&) = delete;
    ReaderAccess& operator=(const ReaderAccess&) = delete;

    const GlobalOptions& Options() const { return options_; }
    hid::Platform& Platform();
    hid::THidDeviceController& Controller();
    ReaderSession& Session();

    // Processes pending device changes and rebuilds the session's device list when the
    // controller reports one; returns whether the list was rebuilt.
    bool PollChanges();

    // Entry indices the options choose: every entry with --all, else the one --device names
    // (list index or device path), else entry 0. Throws CommandError: exit 1 when no reader
    // is listed, exit 2 when --device names none.
    std::vector<std::size_t> ChosenReaders() const;

    // Device path of an entry ("" when unknown).
    std::string PathOf(std::size_t entry) const;

    // Keeps a simulated bus to this command until Commit (nullptr on other platforms);
    // CommitSimulatedBus saves it and throws CommandError (exit 1) when it cannot.
    std::unique_ptr<hid::SimulatedBus::Hold> HoldSimulatedBus();
    void CommitSimulatedBus(hid::SimulatedBus::Hold& hold) const;

  private:
    struct Parts;
    const GlobalOptions options_;
    std::unique_ptr<Parts> parts_;
};

// Runs `action` once per chosen reader with that reader selected in the session. Without --all
// an error propagates as CommandError. With --all every reader gets one result line on stdout,
// "reader N (PATH): ok" or "reader N (PATH): failed: MESSAGE", and the result is exit code 1
// when any failed (2 when a failure was bad input). A simulated bus is kept to the command for
// its whole run; exit 1 when it cannot be saved at the end.
int RunOnReaders(ReaderAccess& access, const std::function<void(ReaderSession&)>& action);

// The same for --json: stdout gets exactly one document. For one reader it is what `action`
// returns; with --all an array holding per reader {"index", "path", "ok": true, KEY: document}
// or {"index", "path", "ok": false, "error": {"message", "exitCode"}}.
int RunOnReadersJson(ReaderAccess& access, const std::string& key,
                     const std::function<nlohmann::ordered_json(ReaderSession&)>& action);

// `watch`: one line per arrival and removal of a reader until SIGINT or SIGTERM.
void AddWatchCommand(CLI::App& app, const std::shared_ptr<GlobalOptions>& options, int& exitCode);

}  // namespace zm880::cli

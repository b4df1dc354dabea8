#pragma once

#include <memory>
#include <optional>
#include <sstream>
#include <stdexcept>
#include <string>

#include <CLI/CLI.hpp>

namespace zm880::cli {

// Exit codes of every command.
inline constexpr int kExitOk = 0;
inline constexpr int kExitFailed = 1;  // the operation failed (file unreadable, transfer failed)
inline constexpr int kExitUsage = 2;   // bad usage or bad input

// Thrown by a command to end the program with one line on stderr and the given exit code.
class CommandError : public std::runtime_error {
  public:
    CommandError(int exitCode, const std::string& message)
        : std::runtime_error(message), exitCode_(exitCode) {}
    int exitCode() const { return exitCode_; }

  private:
    int exitCode_;
};

// A failure noticed only after a command did its work (a trace line that could not be written):
// the command's output stands, but the program ends with exit code 1 and this message. The first
// one reported is kept.
void ReportLateFailure(const std::string& message);
std::optional<std::string> TakeLateFailure();

// Output that claims success (a JSON document, "settings written and verified") is held, and main
// prints it only once the command has ended and nothing failed after it (the simulated bus saved,
// every trace line written). Held text that claims nothing (`claimsSuccess` false) keeps its
// place and is printed in any case.
void HoldOutput(std::string text, bool claimsSuccess = true);
// The held text to print, in order: all of it after a success, only what claims nothing after a
// failure.
std::string TakeHeldOutput(bool succeeded);

// While alive, what is written to std::cout is held as text that claims nothing, in its place
// among the held text (for the report of one reader of several).
class HeldOutputScope {
  public:
    HeldOutputScope();
    ~HeldOutputScope();
    HeldOutputScope(const HeldOutputScope&) = delete;
    HeldOutputScope& operator=(const HeldOutputScope&) = delete;

  private:
    std::unique_ptr<std::ostringstream> capture_;
    std::streambuf* previous_ = nullptr;
};

// Options that every reader command honours.
struct GlobalOptions {
    std::optional<std::string> simulate;  // set by --simulate; "" without a state file
    std::string device;                   // --device: list index or device path
    std::string trace;                    // --trace FILE
    bool all = false;                     // --all
};

// The command groups; each lives in its own file and registers its subcommands. A callback
// returns normally for exit code 0 or throws CommandError.
void AddCfgCommands(CLI::App& app, int& exitCode);
void AddFwCommands(CLI::App& app, int& exitCode);
// The reader commands share one set of global options, which may stand before the command
// (`zm880ctl --simulate=bus.json list`) or after it.
void AddReaderCommands(CLI::App& app, const std::shared_ptr<GlobalOptions>& options, int& exitCode);
void AddFlashCommand(CLI::App& app, const std::shared_ptr<GlobalOptions>& options, int& exitCode);
void AddSimCommand(CLI::App& app, const std::shared_ptr<GlobalOptions>& options, int& exitCode);
// `provision PROFILE`: every reader present and plugged in later gets the profile.
void AddProvisionCommand(CLI::App& app, const std::shared_ptr<GlobalOptions>& options,
                         int& exitCode);
// `inventory` and `check PROFILE`: what every reader is and holds, read without writing.
void AddInventoryCommands(CLI::App& app, const std::shared_ptr<GlobalOptions>& options,
                          int& exitCode);
// `restore BACKUP.cfg`: puts a saved record back byte for byte.
void AddRestoreCommand(CLI::App& app, const std::shared_ptr<GlobalOptions>& options, int& exitCode);

}  // namespace zm880::cli

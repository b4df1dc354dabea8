#include <cstdio>
#include <exception>
#include <iostream>
#include <optional>
#include <string>
#include <string_view>

#include "cfgfile/SafeFile.h"
#include "cli/Cli.h"
#include "cli/CliVersion.h"
#include "cli/JsonOutput.h"
#include "cli/Printable.h"
#include "cli/ReaderAccess.h"

namespace {

using namespace zm880::cli;

// Whether the command line asks for JSON, so that even a failure to parse it answers in JSON.
bool WantsJson(int argc, char** argv) {
    for (int i = 1; i < argc; ++i) {
        const std::string_view arg = argv[i];
        if (arg == "--") {
            return false;
        }
        if (arg == "--json") {
            return true;
        }
    }
    return false;
}

// Every error is one line on stderr, and in --json mode also the one document on stdout.
int Fail(const std::string& message, int exitCode, bool json) {
    std::cerr << "zm880ctl: " << Printable(message) << '\n';
    if (json) {
        std::cout << JsonText(ErrorJson(message, exitCode)) << '\n';
    }
    return exitCode;
}

// The first word that names no command where one is expected, e.g. `zm880ctl lsit` or
// `zm880ctl cfg shwo`; options and the values of the options that take one are skipped.
std::optional<std::string> UnknownCommand(CLI::App& app, int argc, char** argv) {
    CLI::App* current = &app;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--device" || arg == "--trace" || arg == "-o" || arg == "--output") {
            ++i;
            continue;
        }
        // --simulate takes the next word as its state file unless that word names a command.
        if (arg == "--simulate" && i + 1 < argc && argv[i + 1][0] != '-' &&
            current->get_subcommands([&](CLI::App* command) {
                       return command->check_name(argv[i + 1]);
                   }).empty()) {
            ++i;
            continue;
        }
        if (arg.empty() || arg[0] == '-') {
            continue;
        }
        const std::vector<CLI::App*> commands =
            current->get_subcommands([](CLI::App*) { return true; });
        if (commands.empty()) {
            return std::nullopt;
        }
        CLI::App* next = nullptr;
        for (CLI::App* command : commands) {
            if (command->check_name(arg)) {
                next = command;
            }
        }
        if (next == nullptr) {
            return arg;
        }
        current = next;
    }
    return std::nullopt;
}

// Output that did not reach its place (a full disk, a closed pipe) means the command failed.
bool OutputLost() {
    std::cout.flush();
    return !std::cout || std::fflush(stdout) != 0 || std::ferror(stdout) != 0;
}

int Run(int argc, char** argv) {
    CLI::App app{"zm880ctl - configure ZM-880 RFID readers and prepare their files"};
    app.require_subcommand(1);
    // On Windows CLI11 would take "/name" for an option, and a path of the current drive's root
    // given as a command's file would go missing. Options are spelled "--" everywhere.
    app.allow_windows_style_options(false);
    app.set_version_flag("--version", std::string("zm880ctl ") + kProgramVersion);
    app.footer(
        "Exit status: 0 done, 1 the operation failed (file unreadable or unwritable, transfer "
        "failed, no reader, output lost), 2 bad usage or bad input.");

    int exitCode = kExitOk;
    AddCfgCommands(app, exitCode);
    AddFwCommands(app, exitCode);
    auto options = std::make_shared<GlobalOptions>();
    AddReaderOptions(app, *options);
    AddReaderCommands(app, options, exitCode);
    AddRestoreCommand(app, options, exitCode);
    AddFlashCommand(app, options, exitCode);
    AddSimCommand(app, options, exitCode);
    AddProvisionCommand(app, options, exitCode);
    AddInventoryCommands(app, options, exitCode);

    const bool json = WantsJson(argc, argv);
    try {
        app.parse(argc, argv);
    } catch (const CLI::CallForHelp& e) {
        // Help for a command that does not exist would be the main help, as if it did.
        if (const std::optional<std::string> unknown = UnknownCommand(app, argc, argv)) {
            return Fail("unknown command '" + *unknown + "' (see --help)", kExitUsage, json);
        }
        return app.exit(e);
    } catch (const CLI::CallForAllHelp& e) {
        return app.exit(e);
    } catch (const CLI::CallForVersion& e) {
        return app.exit(e);
    } catch (const CLI::ParseError& e) {
        if (const std::optional<std::string> unknown = UnknownCommand(app, argc, argv)) {
            return Fail("unknown command '" + *unknown + "' (see --help)", kExitUsage, json);
        }
        // One line that says what is wrong; --help tells the rest.
        return Fail(std::string(e.what()) + " (see --help)", kExitUsage, json);
    } catch (const CommandError& e) {
        std::cout << TakeHeldOutput(false);
        return Fail(e.what(), e.exitCode(), json);
    }
    const std::optional<std::string> late = TakeLateFailure();
    std::cout << TakeHeldOutput(!late);
    if (late) {
        return Fail(*late, kExitFailed, json);
    }
    if (OutputLost()) {
        return Fail("the output could not be written in full", kExitFailed, false);
    }
    return exitCode;
}

}  // namespace

int main(int argc, char** argv) {
    zm880::cfgfile::ReportFileSizeLimitAsWriteError();
    // No exception may end the program without a word: one line, exit code 1.
    try {
        return Run(argc, argv);
    } catch (const std::exception& e) {
        std::cerr << "zm880ctl: unexpected failure: " << Printable(e.what()) << '\n';
    } catch (...) {
        std::cerr << "zm880ctl: unexpected failure\n";
    }
    return kExitFailed;
}

#include <iostream>

#include "cli/Cli.h"

int main(int argc, char** argv) {
    using namespace zm880::cli;
    CLI::App app{"zm880ctl - configure ZM-880 RFID readers and prepare their files"};
    app.require_subcommand(1);
    app.set_version_flag("--version", "zm880ctl 1.2.6");

    int exitCode = kExitOk;
    AddCfgCommands(app, exitCode);
    AddFwCommands(app, exitCode);
    AddReaderCommands(app, exitCode);
    AddFlashCommand(app, exitCode);

    try {
        app.parse(argc, argv);
    } catch (const CLI::ParseError& e) {
        const int code = app.exit(e);
        return code == 0 ? kExitOk : kExitUsage;
    } catch (const CommandError& e) {
        std::cerr << "zm880ctl: " << e.what() << '\n';
        return e.exitCode();
    }
    return exitCode;
}

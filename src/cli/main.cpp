#include <iostream>

#include "cli/Cli.h"
#include "cli/ReaderAccess.h"

int main(int argc, char** argv) {
    using namespace zm880::cli;
    CLI::App app{"zm880ctl - configure ZM-880 RFID readers and prepare their files"};
    app.require_subcommand(1);
    app.set_version_flag("--version", "zm880ctl 1.2.6");

    int exitCode = kExitOk;
    AddCfgCommands(app, exitCode);
    AddFwCommands(app, exitCode);
    auto options = std::make_shared<GlobalOptions>();
    AddReaderOptions(app, *options);
    AddReaderCommands(app, options, exitCode);
    AddFlashCommand(app, options, exitCode);
    AddSimCommand(app, options, exitCode);

    try {
        app.parse(argc, argv);
    } catch (const CLI::CallForHelp& e) {
        return app.exit(e);
    } catch (const CLI::CallForAllHelp& e) {
        return app.exit(e);
    } catch (const CLI::CallForVersion& e) {
        return app.exit(e);
    } catch (const CLI::ParseError& e) {
        // One line that says what is wrong; --help tells the rest.
        std::cerr << "zm880ctl: " << e.what() << " (see --help)\n";
        return kExitUsage;
    } catch (const CommandError& e) {
        std::cerr << "zm880ctl: " << e.what() << '\n';
        return e.exitCode();
    }
    return exitCode;
}

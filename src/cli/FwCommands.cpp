#include "cli/Cli.h"

namespace zm880::cli {

void AddFwCommands(CLI::App& app, int& /*exitCode*/) {
    app.add_subcommand("fw", "Check firmware update files (*.hex)")->require_subcommand(1);
}

}  // namespace zm880::cli

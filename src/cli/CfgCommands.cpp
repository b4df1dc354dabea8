#include "cli/Cli.h"

namespace zm880::cli {

void AddCfgCommands(CLI::App& app, int& /*exitCode*/) {
    app.add_subcommand("cfg", "Show and edit settings files (*.cfg) without a reader")
        ->require_subcommand(1);
}

}  // namespace zm880::cli
